// A test that keeps a picture of the screen: with the environment variable
// named `variable` set to a folder (a host path), it writes "ready" there
// and waits (pumping its messages) until "taken" appears: the script that
// runs the test takes the picture with ImageMagick's import in between.
// Nothing happens when the variable is not set.
#pragma once

#include <string>

namespace kestrel::shellext::test {

// False when the variable is set but no picture was taken in time.
[[nodiscard]] bool screenshotHandshake(const char* variable, const std::string& what);

}  // namespace kestrel::shellext::test
