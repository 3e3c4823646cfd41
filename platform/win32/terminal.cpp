#include "platform/terminal.h"

#include <cstdio>
#include <io.h>

namespace kestrel::platform {

bool standardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace kestrel::platform
