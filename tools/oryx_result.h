// ORYX result codes as people read them, and the check every library call
// of the tool goes through.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::cli {

// "what the code means", e.g. "name already exists" for 17.
const char* oryxResultMeaning(uint32_t result);

// "ORYX result 17 (name already exists)".
std::string describeOryxResult(uint32_t result);

// Fails with "<what>: ORYX result N (meaning)" unless `result` is 0.
void checkOryx(uint32_t result, const std::string& what);

}  // namespace kestrel::cli
