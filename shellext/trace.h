// Traces of the extension's COM methods. Every method writes one line with
// its arguments through the extension's diagnostic sink (DebugTrace of the
// filex client, which passes the text to the system debug output).
#pragma once

#include "shellext/shell_api.h"

#include <string>

namespace kestrel::shellext {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, as StringFromIID
// writes it (in the ANSI code page).
std::string guidText(REFGUID guid);

}  // namespace kestrel::shellext

// printf-style trace line: SHX_TRACE("ItemEnumerator::Skip(%lu)\n", count).
#define SHX_TRACE(...) ::kestrel::shellext::traceLine(__VA_ARGS__)

namespace kestrel::shellext {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void traceLine(const char* format, ...);

}  // namespace kestrel::shellext
