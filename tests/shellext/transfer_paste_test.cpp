// Device items dropped in the extension's own format: the source folder is
// bound from the Desktop (with the library registered, as Explorer has it)
// and the items are copied on the device; onto their own folder nothing
// happens. A program of its own: COM keeps the library it loaded for the
// Desktop's bind until the process ends.
#include "filex/hflx.h"
#include "platform/byte_order.h"
#include "tests/shellext/harness/drop_files.h"
#include "tests/shellext/harness/explorer_session.h"
#include "tests/shellext/harness/modal_answerer.h"
#include "tests/shellext/harness/progress_recorder.h"
#include "tests/shellext/harness/served_card.h"
#include "tests/shellext/harness/test_window.h"

namespace kestrel::shellext::test {
namespace {

std::string deviceText(const std::string& path) {
    const int32_t fd = hflx::_open(path.c_str(), 0);
    if (fd == 0 || fd == -1) return "<none>";
    char buffer[256] = {};
    const int32_t got = hflx::_read(fd, buffer, sizeof buffer);
    hflx::_close(fd);
    return std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0);
}

TEST(TransferPasteTest, DeviceItemsDroppedOntoAnotherFolderAreCopiedThere) {
    ServedCard card;
    ASSERT_TRUE(card.ready());
    ASSERT_EQ(hflx::_mkdir("/MUSIC", 0), 0);
    {
        const int32_t fd = hflx::_open("/A.TXT", 0x601);
        ASSERT_NE(fd, -1);
        ASSERT_EQ(hflx::_write(fd, "device text", 11), 11);
        hflx::_close(fd);
    }
    {
        ExplorerSession session;
        ASSERT_TRUE(session.ready()) << session.error();
        ASSERT_EQ(session.library().registerServer(), S_OK);
        {
            ProgressRecorder progress;
            ModalAnswerer dialogs;
            TestWindow window;
            ComRef<IShellFolder> root = session.openRoot();
            ASSERT_TRUE(root);
            const ShellList file = findItem(root.get(), "A.TXT");
            const ShellList music = findItem(root.get(), "MUSIC");
            ASSERT_TRUE(file && music);
            const ShellList rootId = deviceRootIdentifier();
            BlockData data("qlxshlextDataFormat", deviceItemsBlock(false, rootId.get(), {file.get()}));

            LPCITEMIDLIST into[] = {music.get()};
            ComRef<IDropTarget> target;
            ASSERT_EQ(root->GetUIObjectOf(window.child(), 1, into, IID_IDropTarget, nullptr, target.outVoid()), S_OK);
            DWORD effect = DROPEFFECT_COPY;
            EXPECT_EQ(target->DragEnter(&data, MK_LBUTTON, POINTL{}, &effect), S_OK);
            EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
            effect = DROPEFFECT_COPY;
            EXPECT_EQ(target->Drop(&data, 0, POINTL{}, &effect), S_OK);
            expectLastRelease(target, "drop target");
            EXPECT_EQ(deviceText("/MUSIC/A.TXT"), "device text");
            EXPECT_EQ(deviceText("/A.TXT"), "device text") << "a copy keeps the source";

            ComRef<IDropTarget> own;
            ASSERT_EQ(root->CreateViewObject(window.child(), IID_IDropTarget, own.outVoid()), S_OK);
            const size_t dialogsBefore = progress.dialogs().size();
            effect = DROPEFFECT_COPY;
            EXPECT_EQ(own->DragEnter(&data, MK_LBUTTON, POINTL{}, &effect), S_OK);
            effect = DROPEFFECT_COPY;
            EXPECT_EQ(own->Drop(&data, 0, POINTL{}, &effect), S_OK);
            EXPECT_EQ(progress.dialogs().size(), dialogsBefore) << "items dropped onto their own folder stay";
            expectLastRelease(own, "drop target");
            EXPECT_TRUE(dialogs.seen().empty());
            expectLastRelease(root, "root folder");
        }
        EXPECT_EQ(session.library().unregisterServer(), S_OK);
        // COM loaded the library for the Desktop's bind and keeps its own
        // hold; every object of the library is gone all the same.
        EXPECT_EQ(session.library().canUnloadNow(), S_OK);
    }
}

}  // namespace
}  // namespace kestrel::shellext::test
