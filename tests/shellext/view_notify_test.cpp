// Changes made through the folder's own operations reach an open view of
// the folder: a dropped host file is appended to its list, deleted items
// leave it, and a view of another folder keeps its rows.
#include "shellext/device_folder.h"
#include "tests/shellext/harness/drop_files.h"
#include "tests/shellext/harness/modal_answerer.h"
#include "tests/shellext/harness/progress_recorder.h"
#include "tests/shellext/view_fixture.h"

#include <algorithm>
#include <fstream>

namespace kestrel::shellext::test {
namespace {

using ViewNotifyTest = ViewFixture;

bool lists(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// A host file `name` of `size` bytes in a folder of its own under the
// temporary folder; its path.
std::string hostFile(const std::string& name, size_t size) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + "kshx-view-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string path = folder + "\\" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << std::string(size, 'v');
    return path;
}

TEST_F(ViewNotifyTest, ADroppedFileIsAppendedAndDeletedItemsLeaveTheList) {
    ProgressRecorder progress;
    ModalAnswerer dialogs;
    auto view = openView(FVM_DETAILS);
    ASSERT_TRUE(view);
    const HWND list = listOf(view.get());
    const auto before = column(list, 0);
    ASSERT_TRUE(lists(before, "b.txt"));
    ASSERT_FALSE(lists(before, "dropped.bin"));

    // A host file dropped onto the folder.
    const std::string host = hostFile("dropped.bin", 3000);
    ComRef<IDropTarget> target;
    ASSERT_EQ(root_->CreateViewObject(browser_->frame(), IID_IDropTarget, target.outVoid()), S_OK);
    FileDropData data({host});
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(&data, MK_LBUTTON, POINTL{5, 5}, &effect), S_OK);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->Drop(&data, 0, POINTL{6, 6}, &effect), S_OK);
    expectLastRelease(target, "drop target");
    DeleteFileA(host.c_str());
    RemoveDirectoryA(host.substr(0, host.rfind('\\')).c_str());
    pumpMessages(50);
    const auto afterDrop = column(list, 0);
    EXPECT_EQ(afterDrop.size(), before.size() + 1);
    const int row = rowOf(list, "dropped.bin");
    ASSERT_GE(row, 0);
    WCHAR size[64] = {};
    StrFormatByteSizeW(3000, size, 64);
    char expected[64] = {};
    WideCharToMultiByte(CP_ACP, 0, size, -1, expected, sizeof expected, nullptr, nullptr);
    EXPECT_EQ(cell(list, row, 1), expected) << "size column of the appended row";

    // Two items deleted through the folder (the multi-item question answered Yes).
    auto* folder = static_cast<IDeviceFolder*>(root_.get());
    const ShellList first = findItem(root_.get(), "b.txt");
    const ShellList second = findItem(root_.get(), "new folder");
    ASSERT_TRUE(first && second);
    LPCITEMIDLIST items[] = {first.get(), second.get()};
    dialogs.answer({IDYES});
    EXPECT_EQ(folder->DeleteItems(items, 2), S_OK);
    pumpMessages(50);
    const auto afterDelete = column(list, 0);
    EXPECT_FALSE(lists(afterDelete, "b.txt"));
    EXPECT_FALSE(lists(afterDelete, "new folder"));
    EXPECT_TRUE(lists(afterDelete, "dropped.bin"));
    EXPECT_TRUE(lists(afterDelete, "New Folder 1"));
    EXPECT_EQ(afterDelete.size(), afterDrop.size() - 2);
    EXPECT_EQ(dialogs.unanswered(), 0);
    closeView(view);
}

}  // namespace
}  // namespace kestrel::shellext::test
