#include "tests/shellext/harness/explorer_session.h"

#include "shellext/clsid.h"

#include <cstring>

namespace kestrel::shellext::test {

ExplorerSession::ExplorerSession() {
    // OLE, as on Explorer's threads: the clipboard and drag and drop need it.
    com_ = OleInitialize(nullptr);
    library_ = std::make_unique<ShellExtLibrary>();
}

ExplorerSession::~ExplorerSession() {
    library_.reset();
    if (SUCCEEDED(com_)) OleUninitialize();
}

std::string ExplorerSession::error() const { return library_ ? library_->error() : "no library"; }

ComRef<IShellFolder> ExplorerSession::openRoot() {
    ComRef<IClassFactory> factory;
    const HRESULT got = library_->getClassObject(CLSID_DeviceFolder, IID_IClassFactory, factory.outVoid());
    EXPECT_EQ(got, S_OK) << hresultText(got);
    if (FAILED(got)) return {};
    ComRef<IShellFolder> folder;
    const HRESULT made = factory->CreateInstance(nullptr, IID_IShellFolder, folder.outVoid());
    EXPECT_EQ(made, S_OK) << hresultText(made);
    EXPECT_EQ(factory.release(), 0u) << "the class factory outlives its last release";
    if (FAILED(made)) return {};
    ComRef<IPersistFolder> persist;
    const HRESULT queried = folder->QueryInterface(IID_IPersistFolder, persist.outVoid());
    EXPECT_EQ(queried, S_OK) << hresultText(queried);
    if (FAILED(queried)) return {};
    const ShellList absolute = deviceRootIdentifier();
    EXPECT_EQ(persist->Initialize(absolute.get()), S_OK);
    return folder;
}

void ExplorerSession::finish() {
    ASSERT_TRUE(ready());
    finished_ = true;
    EXPECT_EQ(library_->canUnloadNow(), S_OK) << "objects of the library are still alive";
    EXPECT_TRUE(library_->unload()) << "FreeLibrary left the library loaded";
}

std::vector<ShellList> enumerate(IShellFolder* folder, SHCONTF flags) {
    std::vector<ShellList> items;
    ComRef<IEnumIDList> enumerator;
    const HRESULT made = folder->EnumObjects(nullptr, flags, enumerator.out());
    EXPECT_EQ(made, S_OK) << hresultText(made);
    if (made != S_OK) return items;
    for (;;) {
        LPITEMIDLIST item = deadbeef<ITEMIDLIST>();
        ULONG fetched = 0xdeadbeef;
        const HRESULT next = enumerator->Next(1, &item, &fetched);
        if (next != S_OK) {
            EXPECT_EQ(next, S_FALSE);
            EXPECT_EQ(fetched, 0u);
            break;
        }
        EXPECT_EQ(fetched, 1u);
        items.emplace_back(item);
    }
    EXPECT_EQ(enumerator.release(), 0u) << "the enumerator outlives its last release";
    return items;
}

std::vector<ReadItem> listItems(IShellFolder* folder, SHCONTF flags) {
    std::vector<ReadItem> read;
    for (const auto& item : enumerate(folder, flags)) read.push_back(readItem(item.get()));
    return read;
}

ShellList findItem(IShellFolder* folder, const std::string& name) {
    for (auto& item : enumerate(folder))
        if (readItem(item.get()).name == name) return std::move(item);
    return nullptr;
}

ComRef<IShellFolder> bindTo(IShellFolder* folder, LPCITEMIDLIST item) {
    ComRef<IShellFolder> child;
    const HRESULT bound = folder->BindToObject(item, nullptr, IID_IShellFolder, child.outVoid());
    EXPECT_EQ(bound, S_OK) << hresultText(bound);
    if (FAILED(bound)) return {};
    return child;
}

std::string displayName(IShellFolder* folder, LPCITEMIDLIST item, SHGDNF flags) {
    STRRET name;
    std::memset(&name, 0xEF, sizeof name);
    const HRESULT got = folder->GetDisplayNameOf(item, flags, &name);
    if (FAILED(got)) return "<" + hresultText(got) + ">";
    if (name.uType != STRRET_WSTR) return "<not STRRET_WSTR>";
    return strretText(name);
}

}  // namespace kestrel::shellext::test
