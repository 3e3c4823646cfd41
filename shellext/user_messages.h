// The extension's messages to the user while it copies and deletes: boxes
// without an owner, captioned "filex", system modal, an error icon for
// errors and a question icon with Yes and No for questions.
#pragma once

#include <string>

namespace kestrel::shellext {

inline constexpr char MESSAGE_CAPTION[] = "filex";

// printf-style text, cut to 1023 characters.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string formatText(const char* format, ...);

void showError(const std::string& text);
// True for Yes.
bool askYesNo(const std::string& text);

}  // namespace kestrel::shellext
