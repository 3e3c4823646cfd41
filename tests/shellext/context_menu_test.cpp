// The context menus of device items and of the folder background: their
// entries, verbs and command strings, the clipboard block of Copy and Cut,
// Paste, Rename through the view, and new names.
#include "tests/shellext/view_fixture.h"

#include "platform/byte_order.h"
#include "shellext/device_folder.h"

#include <algorithm>

namespace kestrel::shellext::test {
namespace {

using ContextMenuTest = ViewFixture;

constexpr UINT FIRST = 1;  // the first command identifier granted

// An entry as the test expects it, with the identifier of `offset`.
MenuEntry entry(const std::string& text, UINT offset, UINT state = 0) { return {text, FIRST + offset, state, false}; }
MenuEntry separator() { return {"-", 0, 0, false}; }

class MenuOf {
public:
    MenuOf(IShellFolder* folder, const std::vector<std::string>& names) {
        for (const auto& name : names) {
            lists_.push_back(findItem(folder, name));
            EXPECT_TRUE(lists_.back()) << name;
            items_.push_back(lists_.back().get());
        }
        const HRESULT made =
            names.empty()
                ? folder->CreateViewObject(nullptr, IID_IContextMenu, object_.outVoid())
                : folder->GetUIObjectOf(nullptr, static_cast<UINT>(items_.size()), items_.data(), IID_IContextMenu,
                                        nullptr, object_.outVoid());
        EXPECT_EQ(made, S_OK) << hresultText(made);
        menu_ = CreatePopupMenu();
    }
    ~MenuOf() {
        DestroyMenu(menu_);
        if (object_) {
            EXPECT_EQ(object_.release(), 0u) << "context menu: references left";
        }
    }
    std::vector<MenuEntry> build(UINT flags) {
        const HRESULT result = object_->QueryContextMenu(menu_, 0, FIRST, 0x7FFF, flags);
        EXPECT_EQ(result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 18));
        return menuEntries(menu_);
    }
    HRESULT invoke(const char* verb, HWND window = nullptr, DWORD size = sizeof(CMINVOKECOMMANDINFO)) {
        CMINVOKECOMMANDINFO information{};
        information.cbSize = size;
        information.hwnd = window;
        information.lpVerb = verb;
        return object_->InvokeCommand(&information);
    }
    HRESULT invoke(UINT offset, HWND window = nullptr) { return invoke(MAKEINTRESOURCEA(offset), window); }
    IContextMenu* get() const { return object_.get(); }
    HMENU menu() const { return menu_; }
    const std::vector<LPCITEMIDLIST>& items() const { return items_; }

private:
    std::vector<ShellList> lists_;
    std::vector<LPCITEMIDLIST> items_;
    ComRef<IContextMenu> object_;
    HMENU menu_ = nullptr;
};

TEST_F(ContextMenuTest, ASingleFileGetsTheWholeItemMenu) {
    MenuOf file(root_.get(), {"A.TXT"});
    EXPECT_EQ(file.build(CMF_NORMAL),
              (std::vector<MenuEntry>{entry("&Open", CMD_OPEN, MFS_DEFAULT), entry("&Explore", CMD_EXPLORE),
                                      separator(), entry("&Rename", CMD_RENAME), separator(),
                                      entry("Cu&t", CMD_CUT), entry("&Copy", CMD_COPY), separator(),
                                      entry("&Delete", CMD_DELETE), separator(),
                                      entry("&Modify Data", CMD_MODIFY_DATA)}));
}

TEST_F(ContextMenuTest, AFolderInExplorerOffersExploreFirstAndNoModifyData) {
    MenuOf folder(root_.get(), {"MUSIC"});
    EXPECT_EQ(folder.build(CMF_EXPLORE),
              (std::vector<MenuEntry>{entry("&Explore", CMD_EXPLORE, MFS_DEFAULT), entry("&Open", CMD_OPEN),
                                      separator(), entry("&Rename", CMD_RENAME), separator(),
                                      entry("Cu&t", CMD_CUT), entry("&Copy", CMD_COPY), separator(),
                                      entry("&Delete", CMD_DELETE)}));
    MenuOf defaults(root_.get(), {"MUSIC"});
    EXPECT_EQ(defaults.build(CMF_DEFAULTONLY), (std::vector<MenuEntry>{entry("&Open", CMD_OPEN, MFS_DEFAULT)}));
}

TEST_F(ContextMenuTest, TwoFilesGrayRenameAndModifyData) {
    MenuOf files(root_.get(), {"A.TXT", "b.txt"});
    const auto entries = files.build(CMF_NORMAL | MANY_ITEMS);
    EXPECT_EQ(entryWith(files.menu(), FIRST + CMD_RENAME).state, static_cast<UINT>(MFS_GRAYED));
    EXPECT_EQ(entryWith(files.menu(), FIRST + CMD_MODIFY_DATA).state, static_cast<UINT>(MFS_GRAYED));
    EXPECT_EQ(entryWith(files.menu(), FIRST + CMD_CUT).state, 0u);
    EXPECT_EQ(entryWith(files.menu(), FIRST + CMD_DELETE).state, 0u);
    EXPECT_EQ(entries.size(), 11u);
}

TEST_F(ContextMenuTest, TheBackgroundMenuGraysPasteWithoutDeviceItems) {
    emptyClipboard();
    MenuOf background(root_.get(), {});
    const auto entries = background.build(CMF_NORMAL);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].text, "View");
    EXPECT_EQ(entries[0].id, FIRST + CMD_VIEW);
    EXPECT_TRUE(entries[0].submenu);
    EXPECT_EQ(entries[1], separator());
    EXPECT_EQ(entries[2], entry("&Paste", CMD_PASTE, MFS_GRAYED));
    HMENU modes = GetSubMenu(background.menu(), 0);
    EXPECT_EQ(menuEntries(modes),
              (std::vector<MenuEntry>{entry("Lar&ge Icons", CMD_LARGE_ICONS), entry("S&mall Icons", CMD_SMALL_ICONS),
                                      entry("&List", CMD_LIST), entry("&Details", CMD_DETAILS)}));

    MenuOf file(root_.get(), {"A.TXT"});
    EXPECT_EQ(file.invoke("copy"), S_OK);
    MenuOf again(root_.get(), {});
    again.build(CMF_NORMAL);
    EXPECT_EQ(entryWith(again.menu(), FIRST + CMD_PASTE).state, 0u) << "device items on the clipboard";
}

TEST_F(ContextMenuTest, InvokeCommandChecksSizeVerbsAndOffsets) {
    MenuOf background(root_.get(), {});
    EXPECT_EQ(background.invoke("properties"), E_INVALIDARG);
    EXPECT_EQ(background.invoke(17u), S_OK) << "view modes are the view's";
    EXPECT_EQ(background.invoke(18u), E_INVALIDARG);
    EXPECT_EQ(background.invoke("paste", nullptr, sizeof(CMINVOKECOMMANDINFO) - 1), E_INVALIDARG);
    EXPECT_EQ(background.invoke("ModifyData"), S_OK);
    EXPECT_EQ(background.get()->InvokeCommand(nullptr), E_INVALIDARG);
}

TEST_F(ContextMenuTest, GetCommandStringGivesVerbs) {
    MenuOf file(root_.get(), {"A.TXT"});
    char verb[64];
    std::fill(std::begin(verb), std::end(verb), 'x');
    EXPECT_EQ(file.get()->GetCommandString(CMD_CUT, GCS_VERBA, nullptr, verb, sizeof verb), S_OK);
    EXPECT_STREQ(verb, "cut");
    EXPECT_EQ(file.get()->GetCommandString(CMD_SEPARATOR, GCS_VERBA, nullptr, verb, sizeof verb), E_INVALIDARG);
    WCHAR wide[64] = {};
    EXPECT_EQ(file.get()->GetCommandString(CMD_COPY, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(wide), 64), S_OK);
    EXPECT_STREQ(wide, L"copy");
    EXPECT_EQ(file.get()->GetCommandString(CMD_OPEN, GCS_VERBA, nullptr, verb, 3), S_OK);
    EXPECT_STREQ(verb, "op") << "cut to the buffer";
    EXPECT_EQ(file.get()->GetCommandString(CMD_DELETE, GCS_VALIDATEA, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(file.get()->GetCommandString(0, GCS_HELPTEXTA, nullptr, verb, sizeof verb), S_OK);
    EXPECT_EQ(file.get()->GetCommandString(1, GCS_HELPTEXTA, nullptr, verb, sizeof verb), E_INVALIDARG);
}

TEST_F(ContextMenuTest, MakeNewNameSkipsTakenNamesInAnyCase) {
    auto* folder = static_cast<IDeviceFolder*>(root_.get());
    char name[260];
    std::fill(std::begin(name), std::end(name), 'x');
    EXPECT_EQ(folder->MakeNewName(TRUE, name, sizeof name), S_OK);
    EXPECT_STREQ(name, "New Folder 2");
    EXPECT_EQ(folder->MakeNewName(FALSE, name, sizeof name), S_OK);
    EXPECT_STREQ(name, "New Item");
    char small[11];
    EXPECT_NE(folder->MakeNewName(TRUE, small, sizeof small), S_OK) << "no room for a number";
}

// The block as the layout gives it, for the device root and `items`.
void expectBlock(const std::vector<uint8_t>& block, bool cut, const std::vector<LPCITEMIDLIST>& items) {
    const ShellList folder = deviceRootIdentifier();
    const std::vector<uint8_t> expected = deviceItemsBlock(cut, folder.get(), items);
    ASSERT_GE(block.size(), expected.size());
    EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + expected.size()), expected);
}

TEST_F(ContextMenuTest, CopyAndCutPutTheDeviceItemsBlockOnTheClipboard) {
    MenuOf files(root_.get(), {"A.TXT", "MUSIC"});
    ASSERT_EQ(files.invoke("copy"), S_OK);
    expectBlock(clipboardBytes(DEVICE_ITEMS_FORMAT), false, files.items());

    auto view = openView(FVM_DETAILS);
    ASSERT_TRUE(view);
    HWND list = listOf(view.get());
    HWND window = GetParent(list);
    ASSERT_EQ(files.invoke("Cut", window), S_OK);
    expectBlock(clipboardBytes(DEVICE_ITEMS_FORMAT), true, files.items());
    EXPECT_EQ(ListView_GetItemState(list, rowOf(list, "A.TXT"), LVIS_CUT), static_cast<UINT>(LVIS_CUT));
    EXPECT_EQ(ListView_GetItemState(list, rowOf(list, "MUSIC"), LVIS_CUT), static_cast<UINT>(LVIS_CUT));
    EXPECT_EQ(ListView_GetItemState(list, rowOf(list, "b.txt"), LVIS_CUT), 0u);
    closeView(view);
}

TEST_F(ContextMenuTest, RenameStartsEditingAndTheNameStays) {
    auto view = openView(FVM_DETAILS);
    ASSERT_TRUE(view);
    HWND list = listOf(view.get());
    MenuOf file(root_.get(), {"b.txt"});
    ASSERT_EQ(file.invoke("rename", GetParent(list)), S_OK);
    HWND edit = ListView_GetEditControl(list);
    ASSERT_NE(edit, nullptr) << "editing did not start";
    SetWindowTextA(edit, "renamed.txt");
    SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    pumpMessages(50);
    EXPECT_EQ(ListView_GetEditControl(list), nullptr);
    EXPECT_EQ(rowOf(list, "b.txt") >= 0, true) << "the old name stays";
    const auto names = device_->list("/").value_or(std::vector<std::string>{});
    EXPECT_NE(std::find(names.begin(), names.end(), "b.txt"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "renamed.txt"), names.end());
    closeView(view);
}

}  // namespace
}  // namespace kestrel::shellext::test
