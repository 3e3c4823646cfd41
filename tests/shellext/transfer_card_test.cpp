// The road of a dropped file, end to end: host files and folders dropped onto
// the device folder of qlxshlext.dll (loaded as Explorer loads it) travel
// over filex to a simulated Kestrel's file server; copied out again through
// the library's data object; and, with the device stopped, read back from
// the card through the ORYX file system and checked with fsck.fat.
#include "tests/shellext/harness/card_readback.h"
#include "tests/shellext/harness/drop_files.h"
#include "tests/shellext/harness/explorer_session.h"
#include "tests/shellext/harness/modal_answerer.h"
#include "tests/shellext/harness/progress_recorder.h"
#include "tests/shellext/harness/served_card.h"
#include "tests/shellext/harness/test_window.h"
#include "tests/sim/sim_test_support.h"

#include <cstring>
#include <fstream>

namespace kestrel::shellext::test {
namespace {

std::vector<uint8_t> pattern(size_t length, uint32_t seed) {
    std::vector<uint8_t> bytes(length);
    uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

void writeHost(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void dropOnto(IShellFolder* folder, HWND window, const std::vector<std::string>& paths) {
    ComRef<IDropTarget> target;
    ASSERT_EQ(folder->CreateViewObject(window, IID_IDropTarget, target.outVoid()), S_OK);
    FileDropData data(paths);
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(&data, MK_LBUTTON, POINTL{}, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->Drop(&data, 0, POINTL{}, &effect), S_OK);
    expectLastRelease(target, "drop target");
}

TEST(TransferCardTest, DroppedFilesArriveOnTheCardByteForByteAndComeBackOut) {
    const auto song = pattern(150000, 11);
    const auto one = pattern(1000, 12);
    const auto two = pattern(70000, 13);
    const auto replacement = pattern(5000, 14);
    sim::test::TempFolder host;
    const std::string hostRoot = host.path();
    writeHost(hostRoot + "\\SONG.MP3", song);
    CreateDirectoryA((hostRoot + "\\ALBUM").c_str(), nullptr);
    CreateDirectoryA((hostRoot + "\\ALBUM\\DISC2").c_str(), nullptr);
    CreateDirectoryA((hostRoot + "\\EMPTY").c_str(), nullptr);
    writeHost(hostRoot + "\\ALBUM\\ONE.MP3", one);
    writeHost(hostRoot + "\\ALBUM\\DISC2\\TWO.MP3", two);
    CreateDirectoryA((hostRoot + "\\NEW").c_str(), nullptr);
    writeHost(hostRoot + "\\NEW\\SONG.MP3", replacement);

    ServedCard card;
    ASSERT_TRUE(card.ready());
    {
        ExplorerSession session;
        ASSERT_TRUE(session.ready()) << session.error();
        ProgressRecorder progress;
        ModalAnswerer dialogs;
        TestWindow window;
        ComRef<IShellFolder> root = session.openRoot();
        ASSERT_TRUE(root);

        dropOnto(root.get(), window.child(), {hostRoot + "\\SONG.MP3", hostRoot + "\\ALBUM", hostRoot + "\\EMPTY"});
        ASSERT_EQ(progress.dialogs().size(), 1u);
        std::vector<std::string> percents;
        for (const auto& line : progress.dialogs()[0]->line3) {
            const std::string text = narrow(line);
            percents.push_back(text.substr(text.rfind('(')));
        }
        ASSERT_GE(percents.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(percents.begin(), percents.begin() + 3),
                  (std::vector<std::string>{"(40%)", "(81%)", "(100%)"}));
        EXPECT_TRUE(dialogs.seen().empty());

        // A second drop replaces the song with a shorter file after the question.
        dialogs.answer({IDYES});
        dropOnto(root.get(), window.child(), {hostRoot + "\\NEW\\SONG.MP3"});
        ASSERT_EQ(dialogs.seen().size(), 1u);
        EXPECT_EQ(dialogs.seen()[0].caption, "Confirm File Replace");
        EXPECT_TRUE(dialogs.seen()[0].says("SONG.MP3"));

        // Out again: the folder item's descriptors and a stream's bytes.
        const ShellList album = findItem(root.get(), "ALBUM");
        ASSERT_TRUE(album);
        LPCITEMIDLIST items[] = {album.get()};
        ComRef<IDataObject> data;
        ASSERT_EQ(root->GetUIObjectOf(window.child(), 1, items, IID_IDataObject, nullptr, data.outVoid()), S_OK);
        FORMATETC asked{static_cast<CLIPFORMAT>(RegisterClipboardFormatA("FileGroupDescriptor")), nullptr,
                        DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        ASSERT_EQ(data->GetData(&asked, &medium), S_OK);
        std::vector<std::string> names;
        LONG twoIndex = -1;
        {
            const auto* bytes = static_cast<const uint8_t*>(GlobalLock(medium.hGlobal));
            uint32_t count = 0;
            std::memcpy(&count, bytes, 4);
            for (uint32_t i = 0; i < count; ++i) {
                FILEDESCRIPTORA record;
                std::memcpy(&record, bytes + 4 + i * 332, 332);
                names.push_back(record.cFileName);
                if (names.back() == "ALBUM/DISC2/TWO.MP3") {
                    twoIndex = static_cast<LONG>(i);
                    EXPECT_EQ(record.nFileSizeLow, 70000u);
                    EXPECT_EQ(record.dwFlags, 0x407Cu);
                }
            }
            GlobalUnlock(medium.hGlobal);
        }
        ReleaseStgMedium(&medium);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"ALBUM", "ALBUM/DISC2", "ALBUM/DISC2/TWO.MP3", "ALBUM/ONE.MP3"}));
        ASSERT_GE(twoIndex, 0);
        FORMATETC contents{static_cast<CLIPFORMAT>(RegisterClipboardFormatA("FileContents")), nullptr,
                           DVASPECT_CONTENT, twoIndex, TYMED_ISTREAM};
        ASSERT_EQ(data->GetData(&contents, &medium), S_OK);
        std::vector<uint8_t> streamed(80000);
        ULONG read = 0;
        EXPECT_EQ(medium.pstm->Read(streamed.data(), static_cast<ULONG>(streamed.size()), &read), S_FALSE);
        streamed.resize(read);
        EXPECT_EQ(streamed, two);
        ReleaseStgMedium(&medium);
        expectLastRelease(data, "data object");
        expectLastRelease(root, "root folder");
        session.finish();
    }
    card.stop();

    CardReadback back(card.folder());
    ASSERT_TRUE(back.ready()) << back.error();
    EXPECT_EQ(back.file("dev0:\\SONG.MP3"), replacement) << "the replaced file, without the old one's tail";
    EXPECT_EQ(back.file("dev0:\\ALBUM\\ONE.MP3"), one);
    EXPECT_EQ(back.file("dev0:\\ALBUM\\DISC2\\TWO.MP3"), two);
    EXPECT_EQ(back.entries("dev0:\\EMPTY"), std::optional<uint32_t>(2)) << "only . and ..";
    EXPECT_TRUE(back.fsckClean());
}

}  // namespace
}  // namespace kestrel::shellext::test
