// Putting a finished file in the place of another in one step: the target,
// when there is one, is replaced by `from` or stays as it was.
#pragma once

#include <string>

namespace kestrel::platform {

// Renames `from` to `to`, replacing a file already at `to`; false (with
// errno or the system's last error set) when it did not happen.
bool replaceFile(const std::string& from, const std::string& to);

}  // namespace kestrel::platform
