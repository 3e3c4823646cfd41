// The Explorer side of a test: COM initialised on the test's thread as a
// single-threaded apartment (Explorer's windows run so), the library
// loaded, and folders made the way Explorer makes them: DllGetClassObject,
// IClassFactory::CreateInstance for IShellFolder, IPersistFolder::Initialize
// with the folder's absolute identifier. finish() ends like Explorer ends
// with a library: once the test released everything, DllCanUnloadNow must
// answer S_OK and FreeLibrary must remove the library.
#pragma once

#include "tests/shellext/harness/com_testing.h"
#include "tests/shellext/harness/item_lists.h"
#include "tests/shellext/harness/shellext_library.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrel::shellext::test {

class ExplorerSession {
public:
    ExplorerSession();
    // Unloads without checks when finish() was not called.
    ~ExplorerSession();
    ExplorerSession(const ExplorerSession&) = delete;
    ExplorerSession& operator=(const ExplorerSession&) = delete;

    bool ready() const { return library_ && library_->loaded(); }
    std::string error() const;
    ShellExtLibrary& library() { return *library_; }

    // The device root folder, initialised with deviceRootIdentifier().
    // Records a failure and gives null when a step fails.
    ComRef<IShellFolder> openRoot();

    // Checks DllCanUnloadNow (S_OK) and that FreeLibrary unloads the library.
    void finish();

private:
    HRESULT com_ = E_FAIL;
    std::unique_ptr<ShellExtLibrary> library_;
    bool finished_ = false;
};

// Everything an enumerator of `folder` lists with `flags`, in its order.
std::vector<ShellList> enumerate(IShellFolder* folder, SHCONTF flags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
std::vector<ReadItem> listItems(IShellFolder* folder, SHCONTF flags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
// The item of `folder` named `name` (a copy from its enumerator); null
// when it has none.
ShellList findItem(IShellFolder* folder, const std::string& name);
// BindToObject for IShellFolder; null (failure recorded) when it fails.
ComRef<IShellFolder> bindTo(IShellFolder* folder, LPCITEMIDLIST item);
// GetDisplayNameOf as text; "<HRESULT>" when it fails.
std::string displayName(IShellFolder* folder, LPCITEMIDLIST item, SHGDNF flags);

}  // namespace kestrel::shellext::test
