// The "Confirm File Replace" question (dialog 111): the file's name in its
// text 1007; the button pressed is the answer.
#pragma once

#include <string>

namespace kestrel::shellext {

enum ReplaceAnswer : int {
    REPLACE_NONE = 0,        // not asked yet in this drop
    REPLACE_CANCEL = 2,      // IDCANCEL
    REPLACE_YES = 6,         // IDYES
    REPLACE_NO = 7,          // IDNO
    REPLACE_YES_TO_ALL = 8,  // IDC_YES_TO_ALL
};

// Shows the dialog modally without an owner. A dialog that cannot be shown
// counts as Cancel.
int askReplace(const std::string& name);

}  // namespace kestrel::shellext
