#include "platform/terminal.h"

#include <cstdio>
#include <unistd.h>

namespace kestrel::platform {

bool standardErrorIsTerminal() { return isatty(fileno(stderr)) != 0; }

}  // namespace kestrel::platform
