// Opening device items from the context menu: folders through the shell
// (explore or open an identifier list of class "folder"), files through the
// class registered for their extension.
#pragma once

#include "shellext/shell_api.h"

#include <string>

namespace kestrel::shellext {

// The extension of `path`: from its last "." that is not followed later by
// a space or "/"; empty when there is none.
std::string extensionOf(const std::string& path);

// The class of `extension`: the default value of HKEY_CLASSES_ROOT\extension
// when it is a REG_SZ, otherwise the extension itself (at most 260
// characters).
std::string fileClassOf(const std::string& extension);

// ShellExecuteEx of the identifier list `absolute` with class "folder" and
// `verb` ("explore" or "open").
void executeFolder(LPCITEMIDLIST absolute, const char* verb, HWND window);

// ShellExecuteEx "open" of the host file `hostPath` (a temporary copy of a
// device file) with the class of its extension; a failure is shown in a
// message box.
void executeFile(const std::string& hostPath);

}  // namespace kestrel::shellext
