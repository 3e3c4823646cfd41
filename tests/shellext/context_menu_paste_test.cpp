// Paste from the context menu: device items copied to the clipboard in one
// folder are pasted into another. A program of its own: once the Desktop
// has bound a device folder, COM keeps the library loaded until the thread
// leaves COM, so this case cannot end with the unload check of the others.
#include "tests/shellext/view_fixture.h"

#include <algorithm>

namespace kestrel::shellext::test {
namespace {

using PasteTest = ViewFixture;

HRESULT invoke(IContextMenu* menu, const char* verb) {
    CMINVOKECOMMANDINFO information{};
    information.cbSize = sizeof information;
    information.lpVerb = verb;
    return menu->InvokeCommand(&information);
}

TEST_F(PasteTest, PasteCopiesTheClipboardItemsIntoTheFolder) {
    // The source folder is bound from the Desktop: the class must be known.
    ASSERT_EQ(session_.library().registerServer(), S_OK);
    {
        const ShellList file = findItem(root_.get(), "C.TXT");
        ASSERT_TRUE(file);
        LPCITEMIDLIST items[] = {file.get()};
        ComRef<IContextMenu> copy;
        ASSERT_EQ(root_->GetUIObjectOf(nullptr, 1, items, IID_IContextMenu, nullptr, copy.outVoid()), S_OK);
        EXPECT_EQ(invoke(copy.get(), "copy"), S_OK);
        expectLastRelease(copy, "item menu");

        const ShellList musicItem = findItem(root_.get(), "MUSIC");
        ComRef<IShellFolder> music = bindTo(root_.get(), musicItem.get());
        ASSERT_TRUE(music);
        ComRef<IContextMenu> background;
        ASSERT_EQ(music->CreateViewObject(nullptr, IID_IContextMenu, background.outVoid()), S_OK);
        EXPECT_EQ(invoke(background.get(), "Paste"), S_OK) << "verbs are matched in any case";
        expectLastRelease(background, "background menu");
        expectLastRelease(music, "MUSIC");
    }
    EXPECT_EQ(session_.library().unregisterServer(), S_OK);
    expectLastRelease(root_, "root folder");
    EXPECT_EQ(session_.library().canUnloadNow(), S_OK) << "objects of the library are still alive";
    sessionFinished_ = true;
    const auto names = device_->list("/MUSIC").value_or(std::vector<std::string>{});
    EXPECT_NE(std::find(names.begin(), names.end(), "C.TXT"), names.end()) << "nothing was pasted";
    const auto top = device_->list("/").value_or(std::vector<std::string>{});
    EXPECT_NE(std::find(top.begin(), top.end(), "C.TXT"), top.end()) << "a copy leaves the source";
}

}  // namespace
}  // namespace kestrel::shellext::test
