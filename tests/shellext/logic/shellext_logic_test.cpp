// The extension's logic that makes no Windows call: item identifiers, the
// device-items block, the names and paths of device entries and the host
// names of copied-out items. Built into the Windows test programs and, the
// same file, natively (64-bit and 32-bit), where size_t and pointer sizes
// differ from the 64-bit DLL's.
#include "platform/byte_order.h"
#include "shellext/device_items_block.h"
#include "shellext/device_names.h"
#include "shellext/device_paths.h"
#include "shellext/host_names.h"
#include "shellext/item_id.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kestrel::shellext {
namespace {

using namespace item_layout;

#ifdef KESTREL_EXPECT_32BIT
TEST(LogicBuildTest, ThisProgramIs32BitCode) {
    EXPECT_EQ(sizeof(void*), 4u);
    EXPECT_EQ(sizeof(size_t), 4u);
}
#endif

std::vector<uint8_t> encoded(const ItemFields& fields) {
    std::vector<uint8_t> bytes(newItemBytes(fields), 0);
    encodeItem(bytes.data(), fields);
    return bytes;
}

ItemFields fileNamed(const std::string& name, const std::string& typeText = "Text Document") {
    ItemFields fields;
    fields.type = ItemType::File;
    fields.size = 0xFEDCBA98u;
    fields.attributes = 0x21;
    fields.dosTime = 0x1234;
    fields.dosDate = 0x5678;
    fields.name = name;
    fields.typeText = typeText;
    return fields;
}

// ---- item identifiers -----------------------------------------------------

TEST(ItemIdLogicTest, AnEncodedItemReadsBackFieldForFieldAndEndsItsList) {
    const ItemFields fields = fileNamed("a.txt");
    const auto bytes = encoded(fields);
    ASSERT_EQ(bytes.size(), 39u + 6 + 13);
    EXPECT_EQ(elementSize(bytes.data()), 33u + 6 + 13);
    // the list's terminator and the three extra zero bytes
    EXPECT_EQ(elementSize(bytes.data() + elementSize(bytes.data())), 0u);
    for (size_t at = elementSize(bytes.data()); at < bytes.size(); ++at) EXPECT_EQ(bytes[at], 0) << at;

    const ItemView view(bytes.data());
    ASSERT_TRUE(view.valid());
    EXPECT_EQ(view.type(), ItemType::File);
    EXPECT_EQ(view.size(), 0xFEDCBA98u);
    EXPECT_EQ(view.attributes(), 0x21u);
    EXPECT_EQ(view.dosTime(), 0x1234u);
    EXPECT_EQ(view.dosDate(), 0x5678u);
    EXPECT_EQ(view.nameLength(), 6u);
    EXPECT_EQ(view.name(), "a.txt");
    EXPECT_EQ(view.typeText(), "Text Document");
    EXPECT_FALSE(view.folderLike());
    // little-endian on the wire whatever the host
    EXPECT_EQ(bytes[SIZE], 0x98);
    EXPECT_EQ(bytes[SIZE + 3], 0xFE);
}

TEST(ItemIdLogicTest, TheLongestNameAndTypeTextFitTheSizeField) {
    ItemFields fields = fileNamed(std::string(MAX_NAME, 'n'), std::string(MAX_TYPE_TEXT, 't'));
    fields.type = ItemType::Folder;
    const auto bytes = encoded(fields);
    const ItemView view(bytes.data());
    ASSERT_TRUE(view.valid());
    EXPECT_EQ(view.name().size(), MAX_NAME);
    EXPECT_EQ(view.typeText().size(), MAX_TYPE_TEXT);
    EXPECT_TRUE(view.folderLike());
}

TEST(ItemIdLogicTest, ElementsWhoseFieldsDoNotAddUpReadAsNone) {
    const auto good = encoded(fileNamed("b.bin", "T"));
    struct Damage {
        const char* what;
        size_t offset;
        uint32_t value;
        bool wide;
    };
    const Damage damages[] = {
        {"cb one too small", CB, static_cast<uint32_t>(FIXED + 6 + 1 - 1), false},
        {"cb one too large", CB, static_cast<uint32_t>(FIXED + 6 + 1 + 1), false},
        {"cb below the fixed part", CB, static_cast<uint32_t>(FIXED), false},
        {"name length zero", NAME_LENGTH, 0, true},
        {"name length past cb", NAME_LENGTH, 0xFFFFFFF0u, true},
        {"type length wraps the sum", TYPE_LENGTH, 0xFFFFFFFFu, true},
    };
    for (const Damage& damage : damages) {
        auto bytes = good;
        if (damage.wide)
            storeLe32(bytes.data() + damage.offset, damage.value);
        else
            storeLe16(bytes.data() + damage.offset, static_cast<uint16_t>(damage.value));
        const ItemView view(bytes.data());
        EXPECT_FALSE(view.valid()) << damage.what;
        EXPECT_EQ(view.type(), ItemType::None) << damage.what;
        EXPECT_TRUE(view.name().empty()) << damage.what;
        EXPECT_TRUE(view.typeText().empty()) << damage.what;
    }
    auto noName = good;  // sizes that add up, but no name at all
    storeLe32(noName.data() + NAME_LENGTH, 0);
    storeLe32(noName.data() + TYPE_LENGTH, 6 + 1);
    EXPECT_FALSE(ItemView(noName.data()).valid()) << "an element without a name";
    auto unterminated = good;
    unterminated[NAME + 5] = 'x';  // the name's zero
    EXPECT_FALSE(ItemView(unterminated.data()).valid());
    EXPECT_FALSE(ItemView(nullptr).valid());
    EXPECT_EQ(ItemView(nullptr).size(), 0u);
}

// ---- the device-items block -----------------------------------------------

// A block: cut flag, count, folder offset, item offsets, then the lists.
class BlockBuilder {
public:
    BlockBuilder& cut(bool value) { cut_ = value; return *this; }
    BlockBuilder& folder(std::vector<uint8_t> list) { folder_ = std::move(list); return *this; }
    BlockBuilder& item(std::vector<uint8_t> list) { items_.push_back(std::move(list)); return *this; }
    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out(12 + 4 * items_.size(), 0);
        storeLe32(out.data(), cut_ ? 1 : 0);
        storeLe32(out.data() + 4, static_cast<uint32_t>(items_.size()));
        storeLe32(out.data() + 8, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), folder_.begin(), folder_.end());
        for (size_t i = 0; i < items_.size(); ++i) {
            storeLe32(out.data() + 12 + 4 * i, static_cast<uint32_t>(out.size()));
            out.insert(out.end(), items_[i].begin(), items_[i].end());
        }
        return out;
    }

private:
    bool cut_ = false;
    std::vector<uint8_t> folder_;
    std::vector<std::vector<uint8_t>> items_;
};

std::vector<uint8_t> listOf(const std::string& name) {
    auto bytes = encoded(fileNamed(name, ""));
    bytes.resize(elementSize(bytes.data()) + 2);  // element and two-byte terminator
    return bytes;
}

TEST(DeviceItemsBlockLogicTest, AWellFormedBlockGivesTheFolderAndEachItem) {
    const auto block = BlockBuilder().cut(true).folder(listOf("Music")).item(listOf("a.mp3")).item(listOf("b.mp3")).bytes();
    const auto read = readDeviceItems(block.data(), block.size());
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->cut);
    ASSERT_EQ(read->items.size(), 2u);
    EXPECT_EQ(ItemView(read->folder.data()).name(), "Music");
    EXPECT_EQ(ItemView(read->items[0].data()).name(), "a.mp3");
    EXPECT_EQ(ItemView(read->items[1].data()).name(), "b.mp3");
    // each list comes with the full three-byte terminator
    EXPECT_EQ(read->items[1].size(), listOf("b.mp3").size() + 1);
    EXPECT_EQ(read->items[1].back(), 0);

    const auto empty = BlockBuilder().folder({0, 0}).bytes();
    const auto none = readDeviceItems(empty.data(), empty.size());
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->cut);
    EXPECT_TRUE(none->items.empty());
}

TEST(DeviceItemsBlockLogicTest, BlocksThatClaimMoreThanTheyHoldAreRefused) {
    const auto good = BlockBuilder().folder(listOf("F")).item(listOf("a")).bytes();
    ASSERT_TRUE(readDeviceItems(good.data(), good.size()));

    EXPECT_FALSE(readDeviceItems(nullptr, 100));
    EXPECT_FALSE(readDeviceItems(good.data(), 11)) << "shorter than the header";
    EXPECT_FALSE(readDeviceItems(good.data(), good.size() - 1)) << "the last list's terminator cut off";

    struct Damage {
        const char* what;
        size_t offset;
        uint32_t value;
    };
    const Damage damages[] = {
        {"count one more than the offsets held", 4, 2},
        {"count whose offsets overflow 32-bit arithmetic", 4, 0x40000000u},
        {"count at its maximum", 4, 0xFFFFFFFFu},
        {"folder offset past the end", 8, static_cast<uint32_t>(good.size())},
        {"folder offset at the last byte", 8, static_cast<uint32_t>(good.size() - 1)},
        {"folder offset far past the end", 8, 0xFFFFFFFFu},
        {"item offset past the end", 12, 0xFFFFFFFEu},
    };
    for (const Damage& damage : damages) {
        auto bytes = good;
        storeLe32(bytes.data() + damage.offset, damage.value);
        EXPECT_FALSE(readDeviceItems(bytes.data(), bytes.size())) << damage.what;
    }

    auto runsOver = good;  // an element whose size runs past the block
    storeLe16(runsOver.data() + 16, 0xFFFF);
    EXPECT_FALSE(readDeviceItems(runsOver.data(), runsOver.size()));
    auto tiny = good;  // a size of one would never advance
    storeLe16(tiny.data() + 16, 1);
    EXPECT_FALSE(readDeviceItems(tiny.data(), tiny.size()));
    // A one-byte "element" whose next two bytes read as a terminator.
    const auto oneByte = BlockBuilder().folder({1, 0, 0}).bytes();
    EXPECT_FALSE(readDeviceItems(oneByte.data(), oneByte.size())) << "an element smaller than its size field";
}

// ---- names and paths of device entries --------------------------------------

TEST(DeviceNamesLogicTest, OnlyNamesOfExactlyOneEntryAreActionable) {
    for (const char* name : {"a", "a.mp3", "...", ". x", "x..", "My Music", "\xE4\xF6"})
        EXPECT_TRUE(isActionableName(name)) << name;
    for (const char* name : {"", ".", "..", "x/..", "../x", "a/b", "a\\b", "\\", "a:b", "a*", "a?", "a\"", "a<",
                             "a>", "a|", "a\x01", "a\x1F", "a\x7F"})
        EXPECT_FALSE(isActionableName(name)) << name;
    EXPECT_FALSE(isActionableName(std::string_view("a\0b", 3)));
}

TEST(DeviceNamesLogicTest, ChildPathsAreBuiltOnlyFromActionableNamesAndFitADevicePath) {
    EXPECT_EQ(deviceChildPath("", "a.txt"), "/a.txt");
    EXPECT_EQ(deviceChildPath("/Music", "a.mp3"), "/Music/a.mp3");
    EXPECT_FALSE(deviceChildPath("", ".."));
    EXPECT_FALSE(deviceChildPath("/Music", "x/.."));
    EXPECT_FALSE(deviceChildPath("/x/..", "keep.txt")) << "a folder path through \"..\"";
    EXPECT_FALSE(deviceChildPath("Music", "a")) << "a folder path without its leading slash";
    EXPECT_FALSE(deviceChildPath("/", "a"));

    const std::string folder = "/" + std::string(250, 'f');  // 251 characters
    EXPECT_EQ(deviceChildPath(folder, std::string(7, 'n'))->size(), MAX_DEVICE_PATH);
    EXPECT_FALSE(deviceChildPath(folder, std::string(8, 'n'))) << "260 characters";
}

TEST(DeviceNamesLogicTest, TheLeafOfADevicePathIsAfterTheLastSlash) {
    EXPECT_EQ(deviceLeafName("/Music/Live/a.mp3"), "a.mp3");
    EXPECT_EQ(deviceLeafName("/a"), "a");
    EXPECT_EQ(deviceLeafName("a.mp3"), "a.mp3");
    EXPECT_EQ(deviceLeafName("/Music/"), "");
}

TEST(DeviceNamesLogicTest, APathIsInsideAFolderOnlyByWholeNames) {
    EXPECT_TRUE(isActionablePath("/a"));
    EXPECT_TRUE(isActionablePath("/a/b c/d.txt"));
    for (const char* path : {"", "/", "a", "//a", "/a/", "/a//b", "/a/../b", "/a/./b", "/..", "/a\\b"})
        EXPECT_FALSE(isActionablePath(path)) << path;
    EXPECT_TRUE(isActionablePath("/" + std::string(258, 'p')));
    EXPECT_FALSE(isActionablePath("/" + std::string(259, 'p')));

    EXPECT_TRUE(isPathInside("", "/keep.txt"));
    EXPECT_TRUE(isPathInside("/Music", "/Music/a.mp3"));
    EXPECT_TRUE(isPathInside("/Music", "/Music/Live/b.mp3"));
    EXPECT_FALSE(isPathInside("/Music", "/Music"));
    EXPECT_FALSE(isPathInside("/Music", "/Musical/a.mp3"));
    EXPECT_FALSE(isPathInside("/Music", "/Music/../keep.txt"));
    EXPECT_FALSE(isPathInside("/x/..", "/x/../keep.txt"));
    EXPECT_FALSE(isPathInside("", "/"));
    EXPECT_FALSE(isPathInside("/Music", "/Music/"));
}

TEST(DevicePathsLogicTest, ChildFolderPathsAreCutAt259AndMarked) {
    const DevicePath root{"", true};
    EXPECT_EQ(childDevicePath(root, "Music").text, "Music");
    const DevicePath live = childDevicePath(childDevicePath(root, "Music"), "Live/2024");
    EXPECT_EQ(live.text, "Music/Live/2024");
    EXPECT_TRUE(live.complete);

    const DevicePath exact = childDevicePath(root, std::string(MAX_DEVICE_PATH, 'e'));
    EXPECT_TRUE(exact.complete);
    EXPECT_EQ(exact.text.size(), MAX_DEVICE_PATH);
    const DevicePath cut = childDevicePath(root, std::string(MAX_DEVICE_PATH + 1, 'e'));
    EXPECT_FALSE(cut.complete);
    EXPECT_EQ(cut.text.size(), MAX_DEVICE_PATH);
    EXPECT_FALSE(childDevicePath(cut, "x").complete) << "a child of a cut path stays marked";
    EXPECT_FALSE(childDevicePath(DevicePath{"a", false}, "b").complete);
}

TEST(DevicePathsLogicTest, FullPathsJoinFolderAndItemWithOneSlash) {
    EXPECT_EQ(fullDevicePath({"", true}, false).text, "");
    EXPECT_EQ(fullDevicePath({"", true}, true, "a.txt").text, "/a.txt");
    EXPECT_EQ(fullDevicePath({"Music", true}, false).text, "/Music");
    EXPECT_EQ(fullDevicePath({"Music", true}, true, "a.mp3").text, "/Music/a.mp3");
    EXPECT_EQ(fullDevicePath({"Music", true}, true, "Live/").text, "/Music/Live");

    const std::string folder(250, 'f');  // "/" + 250 + "/" + 8 = 260
    EXPECT_TRUE(fullDevicePath({folder, true}, true, std::string(7, 'n')).complete);
    const DevicePath tooLong = fullDevicePath({folder, true}, true, std::string(8, 'n'));
    EXPECT_FALSE(tooLong.complete);
    EXPECT_EQ(tooLong.text.size(), 260u) << "never cut, only marked";
    EXPECT_FALSE(fullDevicePath({"a", false}, true, "b").complete);
}

// ---- host names of copied-out items -------------------------------------------

TEST(HostNamesLogicTest, EachComponentBecomesAPlainHostName) {
    EXPECT_EQ(hostComponent("a.txt"), "a.txt");
    EXPECT_EQ(hostComponent(""), "_");
    EXPECT_EQ(hostComponent("."), "_");
    EXPECT_EQ(hostComponent(".."), "__");
    EXPECT_EQ(hostComponent("a/b\\c:d"), "a_b_c_d");
    EXPECT_EQ(hostComponent("*?\"<>|"), "______");
    EXPECT_EQ(hostComponent("a\x01\x1F\x7F"), "a___");
    EXPECT_EQ(hostComponent("name. . "), "name____");
    EXPECT_EQ(hostComponent("PRN "), "PRN_") << "the dropped space is kept as \"_\", which is no device name";
    EXPECT_EQ(hostComponent(".hidden"), ".hidden");
    for (const char* reserved : {"CON", "con", "Nul.txt", "aux.tar.gz", "COM1", "lpt9.log", "prn.txt", "CONIN$"})
        EXPECT_EQ(hostComponent(reserved)[0], '_') << reserved;
    for (const char* plain : {"CONSOLE", "COM0", "COM10", "LPT", "NULL.txt", "xCON"})
        EXPECT_EQ(hostComponent(plain), plain);
}

TEST(HostNamesLogicTest, RelativePathsStayWithinTheDescriptorField) {
    EXPECT_EQ(hostRelativePath({"Music", "..", "a.mp3"}), "Music/__/a.mp3");
    EXPECT_EQ(hostRelativePath({}), "");

    const std::string fits(HOST_NAME_FIELD - 1, 'x');
    EXPECT_EQ(hostRelativePath({fits}), fits);
    const std::string cut = hostRelativePath({std::string(200, 'd'), std::string(100, 'f')});
    EXPECT_EQ(cut.size(), HOST_NAME_FIELD - 1);
    EXPECT_EQ(cut.substr(0, 201), std::string(200, 'd') + "/");

    // A cut that ends the last name with dots, or with the separator.
    const std::string dots = hostRelativePath({std::string(257, 'd'), "....x"});
    EXPECT_EQ(dots.size(), HOST_NAME_FIELD - 1);
    EXPECT_EQ(dots.substr(257), "/_");
    const std::string slash = hostRelativePath({std::string(258, 'd'), "x"});
    EXPECT_EQ(slash.size(), HOST_NAME_FIELD - 1);
    EXPECT_EQ(slash.back(), '_');
}

TEST(HostNamesLogicTest, TheLeafOfAHostPathIsAfterTheLastSeparator) {
    EXPECT_EQ(hostLeafName("C:\\Users\\me\\a.txt"), "a.txt");
    EXPECT_EQ(hostLeafName("/tmp/x/b.bin"), "b.bin");
    EXPECT_EQ(hostLeafName("C:\\mixed/dir\\c"), "c");
    EXPECT_EQ(hostLeafName("plain"), "plain");
    EXPECT_EQ(hostLeafName("C:\\dir\\"), "");
}

}  // namespace
}  // namespace kestrel::shellext
