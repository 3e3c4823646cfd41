// Device items offered to Explorer: the data object's formats, the file
// group descriptor of a folder item with everything below it, the contents
// streams, the identifier-list array, and device names that try to leave
// the destination folder.
#include "shellext/item_data_object.h"
#include "shellext/transfer.h"
#include "tests/shellext/scripted_device.h"
#include "tests/shellext/transfer_fixture.h"

#include <cstring>

namespace kestrel::shellext::test {
namespace {

CLIPFORMAT format(const char* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatA(name)); }

FORMATETC request(CLIPFORMAT cf, DWORD tymed, LONG index = -1) {
    return FORMATETC{cf, nullptr, DVASPECT_CONTENT, index, tymed};
}

struct Descriptor {
    std::string name;
    DWORD flags;
    DWORD attributes;
    DWORD sizeLow;
    DWORD sizeHigh;
    FILETIME written;
};

std::vector<Descriptor> descriptors(IDataObject* data) {
    FORMATETC asked = request(format("FileGroupDescriptor"), TYMED_HGLOBAL);
    STGMEDIUM medium{};
    EXPECT_EQ(data->GetData(&asked, &medium), S_OK);
    std::vector<Descriptor> out;
    if (medium.hGlobal == nullptr) return out;
    EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(medium.hGlobal));
    uint32_t count = 0;
    std::memcpy(&count, bytes, 4);
    EXPECT_GE(GlobalSize(medium.hGlobal), 4 + count * 332u);
    for (uint32_t i = 0; i < count; ++i) {
        FILEDESCRIPTORA record;
        std::memcpy(&record, bytes + 4 + i * 332, 332);
        EXPECT_NE(std::memchr(record.cFileName, 0, sizeof record.cFileName), nullptr) << "name without its zero";
        out.push_back(Descriptor{record.cFileName, record.dwFlags, record.dwFileAttributes, record.nFileSizeLow,
                                 record.nFileSizeHigh, record.ftLastWriteTime});
    }
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    return out;
}

std::vector<uint8_t> contents(IDataObject* data, LONG index, HRESULT* result = nullptr) {
    FORMATETC asked = request(format("FileContents"), TYMED_ISTREAM, index);
    STGMEDIUM medium{};
    const HRESULT got = data->GetData(&asked, &medium);
    if (result != nullptr) *result = got;
    std::vector<uint8_t> bytes;
    if (got != S_OK) return bytes;
    EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_ISTREAM));
    uint8_t buffer[7000];
    for (;;) {
        ULONG read = 0;
        const HRESULT r = medium.pstm->Read(buffer, sizeof buffer, &read);
        bytes.insert(bytes.end(), buffer, buffer + read);
        if (r != S_OK) break;
    }
    ReleaseStgMedium(&medium);
    return bytes;
}

class DataObjectTest : public TransferTest {
protected:
    ComRef<IDataObject> dataFor(DeviceFolder* folder, std::vector<LPCITEMIDLIST> items, bool cut = false) {
        ComRef<IDataObject> data;
        const HRESULT made = CreateItemDataObject(folder, items.data(), static_cast<UINT>(items.size()), cut,
                                                  data.out());
        EXPECT_EQ(made, S_OK);
        return data;
    }
};

TEST_F(DataObjectTest, AFolderItemOffersEveryFileAndFolderBelowItDepthFirst) {
    device.put("/Music/a.mp3", "first song");
    device.put("/Music/Live/b.mp3", std::string(3000, 'b'));
    device.put("/Music/Live/Old/");
    device.put("/notes.txt", "n");
    auto data = dataFor(root, {item(root, "Music"), item(root, "notes.txt")});
    ASSERT_TRUE(data);
    const auto found = descriptors(data.get());
    std::vector<std::string> names;
    for (const auto& d : found) names.push_back(d.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Music", "Music/Live", "Music/Live/Old", "Music/Live/b.mp3",
                                               "Music/a.mp3", "notes.txt"}));
    for (const auto& d : found) {
        EXPECT_EQ(d.flags, 0x407Cu) << d.name;
        EXPECT_EQ(d.sizeHigh, 0u);
        EXPECT_NE(d.written.dwHighDateTime | d.written.dwLowDateTime, 0u) << d.name << " has no time";
    }
    EXPECT_EQ(found[0].attributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(found[3].attributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(found[3].sizeLow, 3000u);

    // 2024-05-17 12:34:56 local time, as the device lists it
    FILETIME local{};
    FileTimeToLocalFileTime(&found[3].written, &local);
    SYSTEMTIME time{};
    FileTimeToSystemTime(&local, &time);
    EXPECT_EQ(time.wYear, 2024);
    EXPECT_EQ(time.wMonth, 5);
    EXPECT_EQ(time.wDay, 17);
    EXPECT_EQ(time.wHour, 12);
    EXPECT_EQ(time.wMinute, 34);

    EXPECT_EQ(contents(data.get(), 3), std::vector<uint8_t>(3000, 'b')) << "the stream of Music/Live/b.mp3";
    const std::string first = "first song";
    EXPECT_EQ(contents(data.get(), 4), std::vector<uint8_t>(first.begin(), first.end()));
    HRESULT result = S_OK;
    contents(data.get(), 6, &result);
    EXPECT_EQ(result, DV_E_LINDEX);
    contents(data.get(), -1, &result);
    EXPECT_EQ(result, DV_E_LINDEX);
    expectLastRelease(data, "data object");
}

TEST_F(DataObjectTest, AnswersWhatItOffersAndTheShellConventions) {
    device.put("/a.txt", "abc");
    auto data = dataFor(root, {item(root, "a.txt")}, true);
    ASSERT_TRUE(data);
    FORMATETC descriptor = request(format("FileGroupDescriptor"), TYMED_HGLOBAL);
    EXPECT_EQ(data->QueryGetData(&descriptor), S_OK);
    FORMATETC stream = request(format("FileContents"), TYMED_ISTREAM | TYMED_HGLOBAL);
    EXPECT_EQ(data->QueryGetData(&stream), S_OK);
    FORMATETC wrongMedium = request(format("FileContents"), TYMED_HGLOBAL);
    EXPECT_EQ(data->QueryGetData(&wrongMedium), DV_E_TYMED);
    FORMATETC notOffered = request(CF_HDROP, TYMED_HGLOBAL);
    EXPECT_EQ(data->QueryGetData(&notOffered), DV_E_TYMED);
    FORMATETC thumbnail = descriptor;
    thumbnail.dwAspect = DVASPECT_THUMBNAIL;
    EXPECT_EQ(data->QueryGetData(&thumbnail), DV_E_DVASPECT);
    STGMEDIUM medium{};
    EXPECT_EQ(data->GetData(&notOffered, &medium), E_INVALIDARG);

    FORMATETC preferred = request(format("Preferred DropEffect"), TYMED_HGLOBAL);
    ASSERT_EQ(data->GetData(&preferred, &medium), S_OK);
    EXPECT_EQ(*static_cast<DWORD*>(GlobalLock(medium.hGlobal)), static_cast<DWORD>(DROPEFFECT_MOVE)) << "a cut";
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    FORMATETC loop = request(format("InShellDragLoop"), TYMED_HGLOBAL);
    ASSERT_EQ(data->GetData(&loop, &medium), S_OK);
    EXPECT_EQ(*static_cast<DWORD*>(GlobalLock(medium.hGlobal)), 1u);
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);

    FORMATETC canonical{};
    canonical.ptd = deadbeef<DVTARGETDEVICE>();
    EXPECT_EQ(data->GetCanonicalFormatEtc(&descriptor, &canonical), DATA_S_SAMEFORMATETC);
    EXPECT_EQ(canonical.ptd, nullptr);
    EXPECT_EQ(data->GetCanonicalFormatEtc(&descriptor, nullptr), E_INVALIDARG);

    ComRef<IEnumFORMATETC> formats;
    EXPECT_EQ(data->EnumFormatEtc(DATADIR_SET, formats.out()), E_NOTIMPL);
    ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, formats.out()), S_OK);
    FORMATETC listed[5] = {};
    ULONG fetched = 0xdeadbeef;
    EXPECT_EQ(formats->Next(5, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 4u);
    EXPECT_EQ(listed[0].cfFormat, format("FileGroupDescriptor"));
    EXPECT_EQ(listed[1].cfFormat, format("FileContents"));
    EXPECT_EQ(listed[1].tymed, static_cast<DWORD>(TYMED_ISTREAM));
    EXPECT_EQ(listed[2].cfFormat, format("Shell IDList Array"));
    EXPECT_EQ(listed[3].cfFormat, format("qlxshlextDataFormat"));
    EXPECT_EQ(listed[3].tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    for (const auto& record : listed) {
        if (record.cfFormat == 0) continue;
        EXPECT_EQ(record.lindex, -1);
        EXPECT_EQ(record.dwAspect, static_cast<DWORD>(DVASPECT_CONTENT));
    }
    EXPECT_EQ(formats->Next(1, nullptr, &fetched), E_INVALIDARG);
    EXPECT_EQ(formats->Reset(), S_OK);
    EXPECT_EQ(formats->Skip(4), S_FALSE) << "a skip that reaches the end does not move";
    EXPECT_EQ(formats->Skip(1), S_OK);
    ComRef<IEnumFORMATETC> clone;
    ASSERT_EQ(formats->Clone(clone.out()), S_OK);
    EXPECT_EQ(clone->Next(1, listed, nullptr), S_OK);
    EXPECT_EQ(listed[0].cfFormat, format("FileContents")) << "the clone starts where the original was";
    expectLastRelease(clone, "clone");
    expectLastRelease(formats, "format enumerator");
    expectLastRelease(data, "data object");
}

// A device folder takes device items in the extension's own format on a
// paste or a drop: the object offers the items it was made for (not what
// lies below a folder item) with the folder and the cut flag.
TEST_F(DataObjectTest, TheDeviceItemsFormatHoldsTheGivenItemsTheirFolderAndTheCut) {
    device.put("/Music/a.mp3", "a");
    device.put("/Music/Live/b.mp3", "b");
    DeviceFolder* music = folderAt("Music");
    ASSERT_NE(music, nullptr);
    const LPCITEMIDLIST file = item(music, "a.mp3");
    const LPCITEMIDLIST folder = item(music, "Live");
    for (const bool cut : {false, true}) {
        auto data = dataFor(music, {folder, file}, cut);
        ASSERT_TRUE(data);
        FORMATETC asked = request(format("qlxshlextDataFormat"), TYMED_HGLOBAL);
        EXPECT_EQ(data->QueryGetData(&asked), S_OK);
        STGMEDIUM medium{};
        ASSERT_EQ(data->GetData(&asked, &medium), S_OK);
        ASSERT_EQ(medium.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
        const auto* bytes = static_cast<const uint8_t*>(GlobalLock(medium.hGlobal));
        ASSERT_NE(bytes, nullptr);
        const auto expected = deviceItemsBlock(cut, music->absoluteId(), {folder, file});
        ASSERT_GE(GlobalSize(medium.hGlobal), expected.size());
        EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + expected.size()), expected) << "cut " << cut;
        GlobalUnlock(medium.hGlobal);
        ReleaseStgMedium(&medium);
        expectLastRelease(data, "data object");
    }
}

TEST_F(DataObjectTest, TheIdListArrayHoldsTheFolderAndEveryEntry) {
    device.put("/Music/a.mp3", "a");
    DeviceFolder* music = folderAt("Music");
    ASSERT_NE(music, nullptr);
    auto data = dataFor(music, {item(music, "a.mp3")});
    ASSERT_TRUE(data);
    FORMATETC asked = request(format("Shell IDList Array"), TYMED_HGLOBAL);
    STGMEDIUM medium{};
    ASSERT_EQ(data->GetData(&asked, &medium), S_OK);
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(medium.hGlobal));
    uint32_t header[3];
    std::memcpy(header, bytes, sizeof header);
    EXPECT_EQ(header[0], 1u);
    EXPECT_EQ(header[1], 12u) << "the folder follows the offsets";
    const auto folderList = reinterpret_cast<LPCITEMIDLIST>(bytes + header[1]);
    EXPECT_EQ(ILGetSize(folderList), ILGetSize(music->absoluteId()));
    EXPECT_EQ(std::memcmp(folderList, music->absoluteId(), ILGetSize(folderList) - 2), 0);
    const auto entry = readList(reinterpret_cast<LPCITEMIDLIST>(bytes + header[2]));
    ASSERT_EQ(entry.size(), 1u);
    EXPECT_EQ(entry[0].name, "a.mp3");
    EXPECT_EQ(GlobalSize(medium.hGlobal), header[2] + entry[0].cb + 3 + 1u) << "one spare zero byte at the end";
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    expectLastRelease(data, "data object");
}

// Device names are not trusted: a name that could reach another entry or
// that FAT cannot hold is not listed, so it never reaches Explorer; every
// other name stays inside the folder Explorer copies into.
TEST_F(DataObjectTest, DeviceNamesThatTryToEscapeStayInsideTheDestination) {
    device.put("/Bad/keep.txt", "kept");
    device.listAlso("/Bad", fileEntry(".."));
    device.listAlso("/Bad", fileEntry("x\\..\\..\\evil.txt"));
    device.listAlso("/Bad", fileEntry("../evil.txt"));
    device.listAlso("/Bad", fileEntry("c:evil"));
    device.listAlso("/Bad", fileEntry("tab\there"));
    device.put("/Bad/CON.txt", "device");
    device.put("/Bad/trailing. ", "dots");
    device.put("/Bad/" + std::string(200, 'L') + "/" + std::string(200, 'M'), "long");
    auto data = dataFor(root, {item(root, "Bad")});
    ASSERT_TRUE(data);
    const auto found = descriptors(data.get());
    ASSERT_EQ(found.size(), 6u);
    std::vector<std::string> names;
    for (const auto& d : found) {
        names.push_back(d.name);
        EXPECT_LT(d.name.size(), 260u);
        EXPECT_EQ(d.name.find('\\'), std::string::npos) << d.name;
        EXPECT_EQ(d.name.find(':'), std::string::npos) << d.name;
        EXPECT_EQ(d.name.find('\t'), std::string::npos) << d.name;
        EXPECT_EQ(d.name.find("evil"), std::string::npos) << d.name;
        EXPECT_EQ(d.name.rfind("Bad/", 0), d.name == "Bad" ? std::string::npos : 0u) << d.name;
        // no component the host would take as a way up or out
        size_t begin = 0;
        while (begin <= d.name.size()) {
            const size_t slash = d.name.find('/', begin);
            const std::string part = d.name.substr(begin, slash == std::string::npos ? std::string::npos
                                                                                     : slash - begin);
            EXPECT_FALSE(part.empty() || part.find_first_not_of(". ") == std::string::npos) << d.name;
            EXPECT_NE(part.back(), '.') << d.name;
            EXPECT_NE(part.substr(0, 4), "CON.") << d.name;
            if (slash == std::string::npos) break;
            begin = slash + 1;
        }
    }
    EXPECT_NE(std::find(names.begin(), names.end(), "Bad/keep.txt"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "Bad/_CON.txt"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "Bad/trailing__"), names.end());
    expectLastRelease(data, "data object");
}

}  // namespace
}  // namespace kestrel::shellext::test
