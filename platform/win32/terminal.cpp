#include "platform/terminal.h"

#include <cstdio>
#include <io.h>

namespace kestrel::platform {

bool standardOutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

bool standardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace kestrel::platform
