// The device folder reached through the shell's own paths, as a program or
// a common dialog reaches it: SHParseDisplayName of its parsing names,
// SHBindToObject from the Desktop (COM loads the registered library; the
// test never calls the library's class factory itself), then enumeration,
// display names and attributes through the IShellFolder the shell gave.
// A program of its own: COM keeps the library it loaded until the process
// ends.
#include "shellext/clsid.h"
#include "tests/shellext/harness/explorer_session.h"
#include "tests/shellext/harness/simulated_kestrel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace kestrel::shellext::test {
namespace {

constexpr const wchar_t* MY_COMPUTER = L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";

std::wstring folderParsingName() {
    wchar_t text[64] = {};
    return StringFromGUID2(CLSID_DeviceFolder, text, 64) == 0 ? std::wstring() : std::wstring(L"::") + text;
}

// An absolute identifier from the shell, freed with the object.
class AbsoluteList {
public:
    ~AbsoluteList() { CoTaskMemFree(list_); }
    PIDLIST_ABSOLUTE* out() { return &list_; }
    PCIDLIST_ABSOLUTE get() const { return list_; }

private:
    PIDLIST_ABSOLUTE list_ = nullptr;
};

class ShellParseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(device.ready()) << device.error();
        ASSERT_TRUE(device.put({"/MUSIC/TRACK01.MP3", "/README.TXT"})) << device.error();
        ASSERT_TRUE(session.ready()) << session.error();
        ASSERT_EQ(session.library().registerServer(), S_OK);
        registered_ = true;
    }
    void TearDown() override {
        if (registered_) {
            EXPECT_EQ(session.library().unregisterServer(), S_OK);
        }
    }

    // Parses `name`, binds it through the Desktop and lists its names.
    // `boundClass` is the class of the folder the shell bound.
    std::vector<std::string> namesThroughTheShell(const std::wstring& name, CLSID* boundClass = nullptr) {
        AbsoluteList list;
        SFGAOF attributes = SFGAO_FOLDER | SFGAO_FILESYSTEM;
        const HRESULT parsed = SHParseDisplayName(name.c_str(), nullptr, list.out(), attributes, &attributes);
        EXPECT_EQ(parsed, S_OK) << hresultText(parsed);
        if (FAILED(parsed)) return {};
        EXPECT_TRUE(attributes & SFGAO_FOLDER);
        EXPECT_FALSE(attributes & SFGAO_FILESYSTEM) << "the device folder is no host folder";
        ComRef<IShellFolder> folder;
        const HRESULT bound = SHBindToObject(nullptr, list.get(), nullptr, IID_IShellFolder, folder.outVoid());
        EXPECT_EQ(bound, S_OK) << hresultText(bound);
        if (FAILED(bound) || !folder) return {};
        ComRef<IPersist> persist;
        if (boundClass != nullptr && SUCCEEDED(folder->QueryInterface(IID_IPersist, persist.outVoid()))) {
            EXPECT_EQ(persist->GetClassID(boundClass), S_OK);
        }
        std::vector<std::string> names;
        for (const ReadItem& item : listItems(folder.get())) names.push_back(item.name);
        return names;
    }

    SimulatedKestrel device;
    ExplorerSession session;

private:
    bool registered_ = false;
};

TEST_F(ShellParseTest, TheFolderParsedByItsClassIdentifierListsTheDeviceFiles) {
    CLSID bound = CLSID_NULL;
    const auto names = namesThroughTheShell(folderParsingName(), &bound);
    // wine parses "::{CLSID}" (S_OK, a class item of the Desktop) but binds
    // a class item that is not in the Desktop's own name space to the
    // Desktop itself (SHBindToObject S_OK, class CLSID_ShellDesktop).
    if (bound == CLSID_ShellDesktop) GTEST_SKIP() << "the shell bound \"::{CLSID}\" to the Desktop itself";
    EXPECT_EQ(bound, CLSID_DeviceFolder);
    EXPECT_EQ(names, (std::vector<std::string>{"MUSIC", "README.TXT"}));
}

TEST_F(ShellParseTest, TheFolderParsedBelowMyComputerListsTheDeviceFiles) {
    const auto names = namesThroughTheShell(std::wstring(MY_COMPUTER) + L"\\" + folderParsingName());
    EXPECT_EQ(names, (std::vector<std::string>{"MUSIC", "README.TXT"}));
}

TEST_F(ShellParseTest, ItemsBoundThroughTheShellAreNoHostFiles) {
    AbsoluteList list;
    const std::wstring name = std::wstring(MY_COMPUTER) + L"\\" + folderParsingName();
    ASSERT_EQ(SHParseDisplayName(name.c_str(), nullptr, list.out(), 0, nullptr), S_OK);
    ComRef<IShellFolder> folder;
    ASSERT_EQ(SHBindToObject(nullptr, list.get(), nullptr, IID_IShellFolder, folder.outVoid()), S_OK);
    ASSERT_TRUE(folder);

    const ShellList file = findItem(folder.get(), "README.TXT");
    const ShellList music = findItem(folder.get(), "MUSIC");
    ASSERT_TRUE(file && music);
    EXPECT_EQ(displayName(folder.get(), file.get(), SHGDN_NORMAL), "README.TXT");
    EXPECT_EQ(displayName(folder.get(), file.get(), SHGDN_INFOLDER), "README.TXT");

    LPCITEMIDLIST items[] = {file.get()};
    SFGAOF attributes = SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_CANCOPY | SFGAO_STREAM;
    ASSERT_EQ(folder->GetAttributesOf(1, items, &attributes), S_OK);
    EXPECT_FALSE(attributes & SFGAO_FILESYSTEM) << "a device file must not claim a host path";
    EXPECT_FALSE(attributes & SFGAO_FOLDER);
    EXPECT_TRUE(attributes & SFGAO_CANCOPY);

    LPCITEMIDLIST folders[] = {music.get()};
    SFGAOF folderAttributes = SFGAO_FILESYSTEM | SFGAO_FOLDER;
    ASSERT_EQ(folder->GetAttributesOf(1, folders, &folderAttributes), S_OK);
    EXPECT_TRUE(folderAttributes & SFGAO_FOLDER);
    EXPECT_FALSE(folderAttributes & SFGAO_FILESYSTEM);

    wchar_t path[MAX_PATH] = L"unchanged";
    EXPECT_FALSE(SHGetPathFromIDListW(list.get(), path)) << "the device folder has no host path";
    ComRef<IShellFolder> musicFolder = bindTo(folder.get(), music.get());
    ASSERT_TRUE(musicFolder);
    const auto inside = listItems(musicFolder.get());
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(inside[0].name, "TRACK01.MP3");
}

TEST_F(ShellParseTest, APathBelowTheFolderIsNotParsed) {
    // The folder parses no names of its own: the shell hands "MUSIC" to its
    // ParseDisplayName, which refuses it.
    AbsoluteList list;
    const std::wstring name = std::wstring(MY_COMPUTER) + L"\\" + folderParsingName() + L"\\MUSIC";
    const HRESULT parsed = SHParseDisplayName(name.c_str(), nullptr, list.out(), 0, nullptr);
    EXPECT_TRUE(FAILED(parsed)) << hresultText(parsed);
    std::printf("a path below the folder: SHParseDisplayName %s\n", hresultText(parsed).c_str());
    EXPECT_EQ(list.get(), nullptr);
}

}  // namespace
}  // namespace kestrel::shellext::test
