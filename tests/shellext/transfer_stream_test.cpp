// Device files streamed out to Explorer: CopyTo with its progress dialog,
// the cancel guard that refuses the rest of a cancelled transfer, and the
// end of a move through "Paste Succeeded".
#include "platform/clock.h"
#include "shellext/cancel_guard.h"
#include "shellext/transfer.h"
#include "tests/shellext/transfer_fixture.h"

#include <cstring>

namespace kestrel::shellext::test {
namespace {

CLIPFORMAT format(const char* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatA(name)); }

FORMATETC request(CLIPFORMAT cf, DWORD tymed, LONG index = -1) {
    return FORMATETC{cf, nullptr, DVASPECT_CONTENT, index, tymed};
}

ComRef<IStream> memoryStream() {
    ComRef<IStream> stream;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.out()), S_OK);
    return stream;
}

std::vector<uint8_t> streamBytes(IStream* stream) {
    HGLOBAL block = nullptr;
    EXPECT_EQ(GetHGlobalFromStream(stream, &block), S_OK);
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
    std::vector<uint8_t> out(bytes, bytes + stat.cbSize.QuadPart);
    GlobalUnlock(block);
    return out;
}

void setEffect(IDataObject* data, const char* name, DWORD effect) {
    FORMATETC asked = request(format(name), TYMED_HGLOBAL);
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = GlobalAlloc(GMEM_MOVEABLE, 4);
    *static_cast<DWORD*>(GlobalLock(medium.hGlobal)) = effect;
    GlobalUnlock(medium.hGlobal);
    EXPECT_EQ(data->SetData(&asked, &medium, TRUE), S_OK) << name;
}

class StreamTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        // a guard left up by an earlier test lowers after a pause
        CancelGuard::process().admit(platform::tickMs() + 2 * CancelGuard::HOLD_MS);
    }
    ComRef<IDataObject> dataFor(std::vector<LPCITEMIDLIST> items) {
        ComRef<IDataObject> data;
        EXPECT_EQ(CreateItemDataObject(root, items.data(), static_cast<UINT>(items.size()), false, data.out()), S_OK);
        return data;
    }
    // The "FileContents" stream of entry `index`.
    ComRef<IStream> streamOf(IDataObject* data, LONG index, HRESULT expected = S_OK) {
        FORMATETC asked = request(format("FileContents"), TYMED_ISTREAM, index);
        STGMEDIUM medium{};
        EXPECT_EQ(data->GetData(&asked, &medium), expected);
        return ComRef<IStream>(expected == S_OK ? medium.pstm : nullptr);
    }
};

TEST_F(StreamTest, CopyToOfASmallFileKeepsItsDialogUpForOneAndAHalfSeconds) {
    const auto bytes = patternBytes(100, 1);
    device.putBytes("/small.bin", bytes);
    auto data = dataFor({item(root, "small.bin")});
    auto stream = streamOf(data.get(), 0);
    ASSERT_TRUE(stream);
    auto destination = memoryStream();
    ULARGE_INTEGER read{}, written{};
    ASSERT_EQ(stream->CopyTo(destination.get(), ULARGE_INTEGER{{1000, 0}}, &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, 100u);
    EXPECT_EQ(written.QuadPart, 100u);
    EXPECT_EQ(streamBytes(destination.get()), bytes);
    ASSERT_EQ(progress->dialogs().size(), 1u);
    const auto& dialog = *progress->dialogs()[0];
    EXPECT_EQ(narrow(dialog.title), "File copy from Kestrel ...");
    EXPECT_EQ(narrow(dialog.cancelMessage), "Cancelling...");
    EXPECT_EQ(dialog.animation, 103u);
    EXPECT_EQ(narrow(dialog.lines[1]), "from /small.bin");
    EXPECT_EQ(narrow(dialog.lines[3]), "100 bytes of 100 bytes (100%)");
    EXPECT_EQ(dialog.startFlags, static_cast<DWORD>(PROGDLG_MODAL | PROGDLG_NOTIME | PROGDLG_NOMINIMIZE));
    ASSERT_TRUE(dialog.stopped);
    EXPECT_GE(dialog.stopMs - dialog.startMs, 1500u) << "1000 ms before and 500 ms after the data";
    EXPECT_TRUE(dialog.released);

    // the stream's other requests
    EXPECT_EQ(stream->CopyTo(destination.get(), ULARGE_INTEGER{}, nullptr, nullptr), S_OK) << "count 0";
    LARGE_INTEGER to{};
    to.QuadPart = 90;
    ULARGE_INTEGER at{};
    ASSERT_EQ(stream->Seek(to, STREAM_SEEK_SET, &at), S_OK);
    EXPECT_EQ(at.QuadPart, 90u);
    uint8_t tail[20];
    ULONG got = 0;
    EXPECT_EQ(stream->Read(tail, sizeof tail, &got), S_FALSE) << "fewer bytes than asked";
    EXPECT_EQ(got, 10u);
    EXPECT_EQ(std::memcmp(tail, bytes.data() + 90, 10), 0);
    EXPECT_EQ(stream->Read(nullptr, 4, &got), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream->Write(tail, 1, nullptr), E_NOTIMPL);
    EXPECT_EQ(device.openFiles(), 1);
    expectLastRelease(stream, "stream");
    EXPECT_EQ(device.openFiles(), 0) << "the last release closes the device file";
    expectLastRelease(destination, "destination");
    expectLastRelease(data, "data object");
}

TEST_F(StreamTest, AfterACancelTheRestOfTheTransferIsRefusedWhileRequestsKeepComing) {
    device.putBytes("/one.bin", patternBytes(40000, 2));
    device.putBytes("/two.bin", patternBytes(100, 3));
    device.putBytes("/three.bin", patternBytes(100, 4));
    auto data = dataFor({item(root, "one.bin"), item(root, "two.bin"), item(root, "three.bin")});
    auto first = streamOf(data.get(), 0);
    ASSERT_TRUE(first);
    auto destination = memoryStream();
    progress->cancelAfterProgress(1);  // the user cancels after the first piece
    EXPECT_EQ(first->CopyTo(destination.get(), ULARGE_INTEGER{{40000, 0}}, nullptr, nullptr), STG_E_REVERTED);
    EXPECT_EQ(streamBytes(destination.get()).size(), 2 * 16384u) << "the piece read when the cancel was seen";
    progress->cancelAfterProgress(-1);

    // Explorer asks on for the other files: each request is refused, and
    // renews the refusal.
    auto second = streamOf(data.get(), 1);
    ASSERT_TRUE(second) << "the stream comes without a file";
    uint8_t byte = 0;
    EXPECT_EQ(second->Read(&byte, 1, nullptr), STG_E_INVALIDHANDLE);
    ComRef<IStream> again;
    EXPECT_EQ(first->QueryInterface(IID_IStream, again.outVoid()), E_NOINTERFACE);
    EXPECT_EQ(first->CopyTo(destination.get(), ULARGE_INTEGER{{1, 0}}, nullptr, nullptr), STG_E_REVERTED);

    // After a pause longer than the guard's hold, requests go through again.
    platform::sleepMs(CancelGuard::HOLD_MS + 200);
    auto third = streamOf(data.get(), 2);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->Read(&byte, 1, nullptr), S_OK);
    EXPECT_EQ(device.opens().back().second, 0x10000) << "streams open their file with 0x10000";
    third.reset();
    second.reset();
    first.reset();
    destination.reset();
    expectLastRelease(data, "data object");
}

TEST_F(StreamTest, TheGuardRefusesWithinItsHoldAndLowersAfterALongerPause) {
    CancelGuard guard;
    EXPECT_TRUE(guard.admit(100));
    guard.raise(1000);
    EXPECT_FALSE(guard.admit(2500)) << "1500 ms after the cancel";
    EXPECT_FALSE(guard.admit(4000)) << "1500 ms after the last refusal";
    EXPECT_TRUE(guard.admit(5501)) << "a longer pause lowers the guard";
    EXPECT_TRUE(guard.admit(5502));
}

TEST_F(StreamTest, PasteSucceededWithACopyDeletesNothingAndAPerformedMoveDeletesTheSources) {
    device.put("/a.txt", "a");
    device.put("/Music/x.mp3", "x");
    device.put("/Music/Live/y.mp3", "y");
    {
        auto data = dataFor({item(root, "a.txt")});
        setEffect(data.get(), "Performed DropEffect", DROPEFFECT_COPY);
        setEffect(data.get(), "Paste Succeeded", DROPEFFECT_COPY);
        setEffect(data.get(), "Performed DropEffect", DROPEFFECT_MOVE);
        setEffect(data.get(), "Paste Succeeded", DROPEFFECT_COPY);
        EXPECT_TRUE(device.exists("/a.txt"));
        EXPECT_TRUE(dialogs->seen().empty());
        expectLastRelease(data, "data object");
    }
    {
        auto data = dataFor({item(root, "a.txt")});
        dialogs->answer({IDYES});
        setEffect(data.get(), "Performed DropEffect", DROPEFFECT_MOVE);
        setEffect(data.get(), "Paste Succeeded", DROPEFFECT_MOVE);
        EXPECT_FALSE(device.exists("/a.txt"));
        ASSERT_EQ(dialogs->seen().size(), 1u);
        EXPECT_TRUE(dialogs->seen()[0].says("Are you sure to delete file '/a.txt's?"));
        expectLastRelease(data, "data object");
    }
    dialogs->clear();
    {
        // A moved folder goes with everything in it: only the two items the
        // object was made for are deleted, the question counts them, and no
        // error is shown for what went with the folder.
        device.put("/b.txt", "b");
        auto data = dataFor({item(root, "Music"), item(root, "b.txt")});
        dialogs->answer({IDYES});
        setEffect(data.get(), "Performed DropEffect", DROPEFFECT_MOVE);
        setEffect(data.get(), "Logical Performed DropEffect", DROPEFFECT_MOVE);
        EXPECT_EQ(device.paths(), std::vector<std::string>{});
        ASSERT_EQ(dialogs->seen().size(), 1u) << dialogs->seen().back().text();
        EXPECT_TRUE(dialogs->seen()[0].says("Are you sure you want to delete these 2 items?"));
        expectLastRelease(data, "data object");
    }
    EXPECT_EQ(dialogs->unanswered(), 0);
}

}  // namespace
}  // namespace kestrel::shellext::test
