// The device folder as Explorer uses it, against a simulated Kestrel:
// listing the root and the folders below it, attributes, binding, order,
// display names and icons, and the interfaces a folder answers.
#include "fatfs/fs_results.h"
#include "filex/hflx.h"
#include "shellext/clsid.h"
#include "tests/shellext/harness/explorer_session.h"
#include "tests/shellext/harness/icon_pixels.h"
#include "tests/shellext/harness/simulated_kestrel.h"
#include "tests/shellext/harness/strict_double.h"
#include "tests/shellext/harness/test_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace kestrel::shellext::test {
namespace {

// One device for the whole suite, with this tree (names in the case the
// card's short names have):
//   /LIVE/               /MUSIC/LIVE/X.TXT   /A.TXT
//   /MUSIC/A.MP3         /MUSIC/B.TXT        /PHOTO.XYZ
//   /MUSIC/A song with a long name.mp3       /README
//   /CLONE/1 to /CLONE/4
class FolderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        device_ = new SimulatedKestrel();
        if (!device_->ready()) return;
        ready_ = device_->put({"/LIVE/", "/MUSIC/A.MP3", "/MUSIC/B.TXT", "/MUSIC/A song with a long name.mp3",
                               "/MUSIC/LIVE/X.TXT", "/A.TXT", "/PHOTO.XYZ", "/README", "/CLONE/1", "/CLONE/2",
                               "/CLONE/3", "/CLONE/4"});
    }
    static void TearDownTestSuite() {
        delete device_;
        device_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(device_->ready()) << device_->error();
        ASSERT_TRUE(ready_) << device_->error();
        ASSERT_TRUE(session_.ready()) << session_.error();
        root_ = session_.openRoot();
        ASSERT_TRUE(root_);
    }
    void TearDown() override {
        if (root_) expectLastRelease(root_, "root folder");
        if (session_.ready()) session_.finish();
    }

    ShellList item(IShellFolder* folder, const std::string& name) {
        ShellList found = findItem(folder, name);
        EXPECT_TRUE(found) << name << " is not listed";
        return found;
    }
    // The device's own listing of a folder without "." and "..".
    static std::vector<std::string> filesOf(const std::string& path) {
        std::vector<std::string> names;
        for (const auto& name : device_->list(path).value_or(std::vector<std::string>{}))
            if (name != "." && name != "..") names.push_back(name);
        return names;
    }
    ComRef<IShellFolder> music() {
        const ShellList entry = item(root_.get(), "MUSIC");
        return entry ? bindTo(root_.get(), entry.get()) : ComRef<IShellFolder>();
    }

    static SimulatedKestrel* device_;
    static bool ready_;
    ExplorerSession session_;
    ComRef<IShellFolder> root_;
};

SimulatedKestrel* FolderTest::device_ = nullptr;
bool FolderTest::ready_ = false;

std::string systemTypeName(const std::string& extension) {
    SHFILEINFOA info{};
    SHGetFileInfoA(extension.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                   SHGFI_USEFILEATTRIBUTES | SHGFI_TYPENAME);
    return info.szTypeName;
}

const ReadItem* named(const std::vector<ReadItem>& items, const std::string& name) {
    for (const auto& item : items)
        if (item.name == name) return &item;
    return nullptr;
}

TEST_F(FolderTest, TheRootListsItsFoldersAsDisksAndFoldersBelowAsFolders) {
    const auto top = listItems(root_.get());
    ASSERT_NE(named(top, "LIVE"), nullptr);
    EXPECT_EQ(named(top, "LIVE")->type, TYPE_DISK);
    EXPECT_EQ(named(top, "LIVE")->typeText, "Disk");
    EXPECT_EQ(named(top, "MUSIC")->type, TYPE_DISK);
    ASSERT_NE(named(top, "A.TXT"), nullptr);
    EXPECT_EQ(named(top, "A.TXT")->type, TYPE_FILE);
    EXPECT_EQ(top.size(), 6u) << "the volume label is not listed";

    auto folder = music();
    ASSERT_TRUE(folder);
    const auto below = listItems(folder.get());
    ASSERT_NE(named(below, "LIVE"), nullptr);
    EXPECT_EQ(named(below, "LIVE")->type, TYPE_FOLDER) << "the same name one level down";
    EXPECT_EQ(named(below, "LIVE")->typeText, "Folder");
    expectLastRelease(folder, "Music");
}

TEST_F(FolderTest, FilesCarryTheSystemsTypeNameAndTheirRecord) {
    const auto top = listItems(root_.get());
    const ReadItem* text = named(top, "A.TXT");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->typeText, systemTypeName(".TXT"));
    EXPECT_EQ(text->cb, 33 + 6 + text->typeText.size());
    if (text->typeText.size() == 13) {
        EXPECT_EQ(text->cb, 52);
    }
    EXPECT_EQ(text->size, std::string("content of /A.TXT").size());
    EXPECT_TRUE(text->paddingZero);
    EXPECT_EQ(named(top, "PHOTO.XYZ")->typeText, systemTypeName(".XYZ"));
    EXPECT_EQ(named(top, "README")->typeText, systemTypeName(""));
}

TEST_F(FolderTest, DotEntriesAreSkippedAndFlagsChooseFoldersOrFiles) {
    auto folder = music();
    ASSERT_TRUE(folder);
    const auto all = namesOf(listItems(folder.get()));
    EXPECT_EQ(std::count(all.begin(), all.end(), "."), 0);
    EXPECT_EQ(std::count(all.begin(), all.end(), ".."), 0);
    EXPECT_EQ(std::count(all.begin(), all.end(), "A song with a long name.mp3"), 1);
    EXPECT_EQ(all.size(), 4u);

    const auto device = device_->list("/MUSIC");
    ASSERT_TRUE(device.has_value());
    EXPECT_EQ(std::count(device->begin(), device->end(), ".."), 1) << "the device does deliver dot entries";
    std::vector<std::string> files;
    for (const auto& name : filesOf("/MUSIC"))
        if (name != "LIVE") files.push_back(name);
    EXPECT_EQ(namesOf(listItems(folder.get(), SHCONTF_NONFOLDERS)), files)
        << "the files in the device's order, those after the folder too";
    EXPECT_EQ(namesOf(listItems(folder.get(), SHCONTF_FOLDERS)), (std::vector<std::string>{"LIVE"}));
    expectLastRelease(folder, "Music");
}

TEST_F(FolderTest, TheEnumeratorHandsOutCopiesAndClonesListTheDeviceAfresh) {
    const ShellList entry = item(root_.get(), "CLONE");
    ASSERT_TRUE(entry);
    auto folder = bindTo(root_.get(), entry.get());
    ASSERT_TRUE(folder);
    ComRef<IEnumIDList> enumerator;
    ASSERT_EQ(folder->EnumObjects(nullptr, SHCONTF_NONFOLDERS, enumerator.out()), S_OK);

    LPITEMIDLIST items[5] = {deadbeef<ITEMIDLIST>(), deadbeef<ITEMIDLIST>()};
    EXPECT_EQ(enumerator->Next(5, items, nullptr), E_INVALIDARG);
    EXPECT_EQ(items[0], deadbeef<ITEMIDLIST>());
    std::vector<std::string> seen;
    for (int i = 0; i < 2; ++i) {
        LPITEMIDLIST one = deadbeef<ITEMIDLIST>();
        ASSERT_EQ(enumerator->Next(1, &one, nullptr), S_OK);
        seen.push_back(readItem(one).name);
        CoTaskMemFree(one);
    }
    const auto before = filesOf("/CLONE");
    ASSERT_EQ(before.size(), 4u);
    ASSERT_EQ(hflx::_unlink(("/CLONE/" + before.front()).c_str()), 0);

    ComRef<IEnumIDList> clone;
    ASSERT_EQ(enumerator->Clone(clone.out()), S_OK);
    LPITEMIDLIST third = deadbeef<ITEMIDLIST>();
    ASSERT_EQ(clone->Next(1, &third, nullptr), S_OK);
    const auto fresh = filesOf("/CLONE");
    ASSERT_EQ(fresh.size(), 3u);
    EXPECT_EQ(readItem(third).name, fresh[2]) << "the third entry of a fresh listing";
    CoTaskMemFree(third);
    ULONG fetched = 0xdeadbeef;
    LPITEMIDLIST rest[4] = {};
    EXPECT_EQ(clone->Next(4, rest, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(enumerator->Next(1, items, nullptr), S_OK) << "the original keeps its own list";
    CoTaskMemFree(items[0]);
    expectLastRelease(clone, "clone");
    expectLastRelease(enumerator, "enumerator");
    expectLastRelease(folder, "Clone");
}

TEST_F(FolderTest, AttributesAreThoseOfTheLastItem) {
    const ShellList file = item(root_.get(), "A.TXT");
    const ShellList disk = item(root_.get(), "MUSIC");
    ASSERT_TRUE(file && disk);
    SFGAOF attributes = 0xdeadbeef;
    EXPECT_EQ(root_->GetAttributesOf(0, nullptr, &attributes), S_OK);
    EXPECT_EQ(attributes, 0xB8000100u) << "the folder itself";
    LPCITEMIDLIST fileThenFolder[] = {file.get(), disk.get()};
    attributes = SFGAO_VALIDATE;
    EXPECT_EQ(root_->GetAttributesOf(2, fileThenFolder, &attributes), S_OK);
    EXPECT_EQ(attributes, 0xB8000137u);
    LPCITEMIDLIST folderThenFile[] = {disk.get(), file.get()};
    attributes = 0xdeadbeef;
    EXPECT_EQ(root_->GetAttributesOf(2, folderThenFile, &attributes), S_OK);
    EXPECT_EQ(attributes, 0x80000033u) << "the caller's bits are not consulted";

    EXPECT_EQ(root_->GetAttributesOf(1, fileThenFolder, nullptr), E_INVALIDARG);
    auto* readOnly = static_cast<SFGAOF*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY));
    ASSERT_NE(readOnly, nullptr);
    EXPECT_EQ(root_->GetAttributesOf(1, fileThenFolder, readOnly), E_INVALIDARG);
    VirtualFree(readOnly, 0, MEM_RELEASE);
}

TEST_F(FolderTest, OnlyFolderLikeItemsCanBeBound) {
    const ShellList file = item(root_.get(), "A.TXT");
    ASSERT_TRUE(file);
    StrictBindCtx context;
    ComRef<IShellFolder> bound;
    EXPECT_EQ(root_->BindToObject(file.get(), &context, IID_IShellFolder, bound.outVoid()), E_INVALIDARG);
    EXPECT_TRUE(bound.cleared());

    const ShellList disk = item(root_.get(), "MUSIC");
    EXPECT_EQ(root_->BindToObject(disk.get(), &context, IID_IShellFolder, bound.outVoid()), S_OK);
    EXPECT_EQ(context.references(), 0) << "the bind context is neither used nor kept";
    ComRef<IShellView> view;
    EXPECT_EQ(root_->BindToObject(disk.get(), &context, IID_IShellView, view.outVoid()), E_NOINTERFACE);
    EXPECT_TRUE(view.cleared());
    expectLastRelease(bound, "Music");

    // A folder the device does not have lists nothing.
    const TestList missing({diskItem("Nowhere")});
    auto nowhere = bindTo(root_.get(), missing.get());
    ASSERT_TRUE(nowhere);
    EXPECT_TRUE(listItems(nowhere.get()).empty());
    expectLastRelease(nowhere, "Nowhere");

    // A two-element list binds to the folder two levels down.
    const TestList deep({diskItem("Music"), folderItem("Live")});
    auto live = bindTo(root_.get(), deep.get());
    ASSERT_TRUE(live);
    EXPECT_EQ(namesOf(listItems(live.get())), (std::vector<std::string>{"X.TXT"}));
    expectLastRelease(live, "Music/Live");
}

TEST_F(FolderTest, FoldersSortFirstAndNamesIgnoreCase) {
    const TestList folderB({folderItem("b")});
    const TestList fileUpper({fileItem("A.TXT")});
    const TestList fileLower({fileItem("a.txt")});
    const TestList music({diskItem("Music")});
    const TestList musicX({diskItem("Music"), fileItem("x")});
    const TestList diskZ({diskItem("Z")});

    EXPECT_EQ(root_->CompareIDs(0, folderB.get(), fileUpper.get()), 0x0000FFFF);
    EXPECT_EQ(root_->CompareIDs(0, fileUpper.get(), folderB.get()), 1);
    EXPECT_EQ(root_->CompareIDs(0, fileLower.get(), fileUpper.get()), 0);
    EXPECT_EQ(root_->CompareIDs(0, music.get(), musicX.get()), 0x0000FFFF);
    EXPECT_EQ(root_->CompareIDs(0, musicX.get(), music.get()), 1);
    EXPECT_EQ(root_->CompareIDs(0, folderB.get(), diskZ.get()), 0x0000FFFF) << "disks and folders by name";
    EXPECT_EQ(root_->CompareIDs(SHCIDS_ALLFIELDS, music.get(), music.get()), 0);
    EXPECT_EQ(root_->CompareIDs(0, TestList().get(), TestList().get()), 0);
}

TEST_F(FolderTest, DisplayNamesInTheirThreeForms) {
    auto folder = music();
    ASSERT_TRUE(folder);
    const ShellList b = item(folder.get(), "B.TXT");
    ASSERT_TRUE(b);
    EXPECT_EQ(displayName(folder.get(), b.get(), SHGDN_FORPARSING), "/MUSIC/B.TXT");
    EXPECT_EQ(displayName(folder.get(), b.get(), SHGDN_FORPARSING | SHGDN_INFOLDER), "B.TXT");
    EXPECT_EQ(displayName(folder.get(), b.get(), SHGDN_NORMAL), "B.TXT");
    EXPECT_EQ(displayName(folder.get(), b.get(), SHGDN_INFOLDER), "B.TXT");

    const TestList deep({folderItem("Live"), fileItem("x.txt")});
    EXPECT_EQ(displayName(folder.get(), deep.get(), SHGDN_FORPARSING), "/MUSIC/Live/x.txt");
    EXPECT_EQ(displayName(folder.get(), deep.get(), SHGDN_FORPARSING | SHGDN_INFOLDER), "Live/x.txt");
    EXPECT_EQ(displayName(folder.get(), deep.get(), SHGDN_NORMAL), "x.txt");

    const ShellList a = item(root_.get(), "A.TXT");
    EXPECT_EQ(displayName(root_.get(), a.get(), SHGDN_FORPARSING), "/A.TXT");
    EXPECT_EQ(displayName(root_.get(), TestList().get(), SHGDN_FORPARSING), "") << "the root itself";
    EXPECT_EQ(displayName(folder.get(), TestList().get(), SHGDN_FORPARSING), "/MUSIC");
    EXPECT_EQ(root_->GetDisplayNameOf(a.get(), SHGDN_NORMAL, nullptr), E_INVALIDARG);
    expectLastRelease(folder, "Music");
}

TEST_F(FolderTest, IconsComeFromTheLibraryForFoldersAndFromTheSystemForFiles) {
    const ShellList disk = item(root_.get(), "MUSIC");
    const ShellList file = item(root_.get(), "README");
    auto folder = music();
    ASSERT_TRUE(disk && file && folder);
    const ShellList live = item(folder.get(), "LIVE");

    struct Case {
        IShellFolder* folder;
        LPCITEMIDLIST item;
        UINT flags;
        int index;
        UINT answer;
    };
    const Case cases[] = {
        {root_.get(), disk.get(), GIL_FORSHELL, 1, GIL_NOTFILENAME},
        {folder.get(), live.get(), GIL_FORSHELL, 2, GIL_NOTFILENAME},
        {folder.get(), live.get(), GIL_FORSHELL | GIL_OPENICON, 3, GIL_NOTFILENAME},
        {root_.get(), file.get(), GIL_FORSHELL, 0, GIL_SIMULATEDOC},
    };
    for (const Case& c : cases) {
        ComRef<IExtractIconA> icon;
        LPCITEMIDLIST items[] = {c.item};
        ASSERT_EQ(c.folder->GetUIObjectOf(nullptr, 1, items, IID_IExtractIconA, nullptr, icon.outVoid()), S_OK);
        char file[MAX_PATH] = "untouched";
        int index = 0xdeadbeef;
        UINT answer = 0xdeadbeef;
        EXPECT_EQ(icon->GetIconLocation(c.flags, file, sizeof file, &index, &answer), S_OK);
        EXPECT_EQ(index, c.index);
        EXPECT_EQ(answer, c.answer);
        EXPECT_STREQ(file, "untouched") << "the icon file is never written";
        expectLastRelease(icon, "icon");
    }

    // The device's own picture for a disk; the system's file icon for a
    // file without an extension.
    ComRef<IExtractIconA> icon;
    LPCITEMIDLIST diskItems[] = {disk.get()};
    ASSERT_EQ(root_->GetUIObjectOf(nullptr, 1, diskItems, IID_IExtractIconA, nullptr, icon.outVoid()), S_OK);
    HICON large = deadbeef<HICON__>(), small = deadbeef<HICON__>();
    EXPECT_EQ(icon->Extract(nullptr, 1, &large, &small, MAKELONG(32, 16)), S_OK);
    const int size = GetSystemMetrics(SM_CXICON);
    HICON picture = static_cast<HICON>(
        LoadImageA(session_.library().module(), MAKEINTRESOURCEA(9), IMAGE_ICON, size, size, 0));
    EXPECT_EQ(iconPixels(large).colour, iconPixels(picture).colour);
    EXPECT_EQ(iconPixels(small).width, GetSystemMetrics(SM_CXSMICON));
    DestroyIcon(picture);
    DestroyIcon(large);
    DestroyIcon(small);
    expectLastRelease(icon, "disk icon");

    LPCITEMIDLIST fileItems[] = {file.get()};
    ASSERT_EQ(root_->GetUIObjectOf(nullptr, 1, fileItems, IID_IExtractIconA, nullptr, icon.outVoid()), S_OK);
    large = deadbeef<HICON__>();
    small = deadbeef<HICON__>();
    EXPECT_EQ(icon->Extract(nullptr, static_cast<UINT>(-1), &large, &small, 0xFFFFFFFF), S_OK);
    SHFILEINFOA generic{};
    HIMAGELIST system = reinterpret_cast<HIMAGELIST>(SHGetFileInfoA(
        "", FILE_ATTRIBUTE_NORMAL, &generic, sizeof generic, SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX));
    ASSERT_NE(system, nullptr);
    HICON expected = ImageList_GetIcon(system, generic.iIcon, ILD_TRANSPARENT);
    ASSERT_NE(large, deadbeef<HICON__>());
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(iconPixels(large), iconPixels(expected));
    EXPECT_NE(small, nullptr);
    DestroyIcon(expected);
    DestroyIcon(large);
    if (small != nullptr) DestroyIcon(small);
    expectLastRelease(icon, "file icon");
    expectLastRelease(folder, "Music");
}

TEST_F(FolderTest, ObjectsOfOneItemRefuseTwo) {
    const ShellList a = item(root_.get(), "A.TXT");
    const ShellList music = item(root_.get(), "MUSIC");
    LPCITEMIDLIST two[] = {a.get(), music.get()};
    for (const IID* riid : {&IID_IExtractIconA, &IID_IDropTarget}) {
        ComRef<IUnknown> object;
        EXPECT_EQ(root_->GetUIObjectOf(nullptr, 2, two, *riid, nullptr, object.outVoid()), E_INVALIDARG);
        EXPECT_TRUE(object.cleared());
    }
    ComRef<IUnknown> object;
    LPCITEMIDLIST file[] = {a.get()};
    EXPECT_EQ(root_->GetUIObjectOf(nullptr, 1, file, IID_IDropTarget, nullptr, object.outVoid()), E_NOINTERFACE)
        << "a file is no folder to drop into";
    EXPECT_TRUE(object.cleared());
    EXPECT_EQ(root_->GetUIObjectOf(nullptr, 1, file, IID_IExtractIconW, nullptr, object.outVoid()), E_NOINTERFACE);
    EXPECT_TRUE(object.cleared());
}

TEST_F(FolderTest, OneObjectWithTwoInterfaces) {
    ComRef<IPersistFolder> persist;
    ASSERT_EQ(root_->QueryInterface(IID_IPersistFolder, persist.outVoid()), S_OK);
    ComRef<IPersist> plain;
    ASSERT_EQ(root_->QueryInterface(IID_IPersist, plain.outVoid()), S_OK);
    EXPECT_EQ(static_cast<IPersist*>(persist.get()), plain.get());
    CLSID clsid;
    std::memset(&clsid, 0xEF, sizeof clsid);
    EXPECT_EQ(plain->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_DeviceFolder));

    ComRef<IUnknown> viaFolder, viaPersist;
    ASSERT_EQ(root_->QueryInterface(IID_IUnknown, viaFolder.outVoid()), S_OK);
    ASSERT_EQ(persist->QueryInterface(IID_IUnknown, viaPersist.outVoid()), S_OK);
    EXPECT_EQ(viaFolder.get(), viaPersist.get()) << "one identity";
    ComRef<IShellFolder> back;
    ASSERT_EQ(persist->QueryInterface(IID_IShellFolder, back.outVoid()), S_OK);
    EXPECT_EQ(back.get(), root_.get());

    ComRef<IShellFolder2> newer;
    EXPECT_EQ(root_->QueryInterface(IID_IShellFolder2, newer.outVoid()), E_NOINTERFACE);
    EXPECT_TRUE(newer.cleared());
    EXPECT_EQ(back.release(), 5u);
    EXPECT_EQ(viaPersist.release(), 4u);
    EXPECT_EQ(viaFolder.release(), 3u);
    EXPECT_EQ(plain.release(), 2u);
    EXPECT_EQ(persist.release(), 1u);
}

TEST_F(FolderTest, WhatIsNotSupportedSaysSo) {
    const ShellList a = item(root_.get(), "A.TXT");
    TestWindow window;
    ComRef<IUnknown> object;
    EXPECT_EQ(root_->CreateViewObject(window.child(), IID_IPersistFile, object.outVoid()), E_NOINTERFACE);
    EXPECT_TRUE(object.cleared());
    EXPECT_EQ(root_->CreateViewObject(window.child(), IID_IShellView, object.outVoid()), S_OK) << "the view";
    expectLastRelease(object, "folder view");
    EXPECT_EQ(root_->CreateViewObject(window.child(), IID_IDropTarget, object.outVoid()), S_OK)
        << "the folder's drop target";
    expectLastRelease(object, "drop target");
    EXPECT_EQ(root_->BindToStorage(a.get(), nullptr, IID_IStream, object.outVoid()), E_NOTIMPL);
    EXPECT_TRUE(object.cleared());

    wchar_t name[] = L"a.txt";
    ULONG eaten = 0;
    LPITEMIDLIST parsed = nullptr;
    EXPECT_EQ(root_->ParseDisplayName(nullptr, nullptr, name, &eaten, &parsed, nullptr), E_NOTIMPL);
    LPITEMIDLIST renamed = nullptr;
    EXPECT_EQ(root_->SetNameOf(nullptr, a.get(), L"b.txt", SHGDN_NORMAL, &renamed), E_NOTIMPL);
    EXPECT_FALSE(findItem(root_.get(), "b.txt")) << "nothing was renamed";
}

// The road from the update tool to Explorer: what ORYX wrote on the card is
// what the folder lists.
TEST(CardRoadTest, FilesWrittenThroughOryxAreListed) {
    const std::vector<uint8_t> code(24320, 0x5A);
    SimulatedKestrel device([&](fatfs::FileSystem& files) {
        uint32_t handle = 0;
        return files.createDir("dev0:\\MAIN") == fatfs::FS_OK &&
               files.createFile("dev0:\\MAIN\\L1_1.BIN", 1, &handle) == fatfs::FS_OK &&
               files.writeFile(handle, code.data(), static_cast<uint32_t>(code.size())) == fatfs::FS_OK &&
               files.closeFile(handle) == fatfs::FS_OK;
    });
    ASSERT_TRUE(device.ready()) << device.error();
    ExplorerSession session;
    ASSERT_TRUE(session.ready()) << session.error();
    auto root = session.openRoot();
    ASSERT_TRUE(root);
    const ShellList main = findItem(root.get(), "MAIN");
    ASSERT_TRUE(main);
    EXPECT_EQ(readItem(main.get()).type, TYPE_DISK);
    auto folder = bindTo(root.get(), main.get());
    ASSERT_TRUE(folder);
    const auto items = listItems(folder.get());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, "L1_1.BIN");
    EXPECT_EQ(items[0].size, code.size());
    EXPECT_NE(items[0].dosDate, 0u) << "the time stamp ORYX wrote";
    expectLastRelease(folder, "MAIN");
    expectLastRelease(root, "root folder");
    session.finish();
}

}  // namespace
}  // namespace kestrel::shellext::test
