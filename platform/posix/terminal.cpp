#include "platform/terminal.h"

#include <cstdio>
#include <unistd.h>

namespace kestrel::platform {

bool standardOutputIsTerminal() { return isatty(fileno(stdout)) != 0; }

bool standardErrorIsTerminal() { return isatty(fileno(stderr)) != 0; }

}  // namespace kestrel::platform
