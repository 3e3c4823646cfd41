// Fuzz target: the namespace extension's readers of data from outside,
// built natively. The first byte chooses the reader, the rest is its input:
//
//   0  an item identifier list as the shell hands it back: elements of cb
//      bytes each (every one in an allocation of exactly that size), read
//      through ItemView, re-encoded and read again; their names made host
//      names and device paths as a copy out and a listing make them
//   1  the device-items block ("qlxshlextDataFormat") of another process,
//      then every list it yields walked element by element
//   2  device names (zero-separated) turned into host names and a host
//      relative path
//   3  a dropped-file list: a DROPFILES block (offset of the names, wide
//      flag at 16) whose names, taken as DragQueryFile takes them, become
//      device paths through the leaf name the copy onto the device uses
#include "fuzz/fuzz_support.h"
#include "platform/byte_order.h"
#include "shellext/device_items_block.h"
#include "shellext/device_paths.h"
#include "shellext/host_names.h"
#include "shellext/item_id.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrel::fuzz {
namespace {

using namespace shellext;

constexpr size_t MAX_HOST_PATH = HOST_NAME_FIELD - 1;

bool endsBadly(const std::string& name) { return !name.empty() && (name.back() == '.' || name.back() == ' '); }

void checkHostPath(const std::vector<std::string>& names) {
    const std::string path = hostRelativePath(names);
    if (path.size() > MAX_HOST_PATH) fail("host relative path longer than its descriptor field");
    if (!names.empty() && (path.empty() || endsBadly(path) || path.back() == '/'))
        fail("host relative path '" + path + "' names the parent or nothing");
}

void checkComponent(const std::string& name) {
    const std::string clean = hostComponent(name);
    if (clean.empty() || endsBadly(clean)) fail("host name '" + clean + "' the host would shorten");
    if (clean == "." || clean == "..") fail("host name that leaves the folder");
}

// An element read and, when well formed, written anew and read again.
void checkElement(const uint8_t* element) {
    const ItemView view(element);
    (void)view.type();
    (void)view.folderLike();
    if (!view.valid()) return;
    ItemFields fields;
    fields.type = view.type();
    fields.size = view.size();
    fields.attributes = view.attributes();
    fields.dosTime = view.dosTime();
    fields.dosDate = view.dosDate();
    fields.name = std::string(view.name());
    fields.typeText = std::string(view.typeText());
    if (fields.name.size() > item_layout::MAX_NAME || fields.typeText.size() > item_layout::MAX_TYPE_TEXT) return;
    std::vector<uint8_t> again(newItemBytes(fields), 0);
    encodeItem(again.data(), fields);
    const ItemView copy(again.data());
    if (!copy.valid() || copy.name() != fields.name || copy.typeText() != fields.typeText ||
        copy.size() != fields.size || copy.type() != fields.type)
        fail("an element does not survive being written again");
    checkComponent(fields.name);
}

// The elements of a list, each copied into an allocation of its own size.
std::vector<std::vector<uint8_t>> elementsOf(const std::vector<uint8_t>& list) {
    std::vector<std::vector<uint8_t>> elements;
    size_t at = 0;
    while (list.size() - at >= 2) {
        const uint16_t cb = loadLe16(&list[at]);
        if (cb < 2 || cb > list.size() - at) break;
        elements.emplace_back(list.begin() + static_cast<ptrdiff_t>(at), list.begin() + static_cast<ptrdiff_t>(at + cb));
        at += cb;
    }
    return elements;
}

void readList(const std::vector<uint8_t>& list) {
    std::vector<std::string> names;
    DevicePath folder{"", true};
    for (const auto& bytes : elementsOf(list)) {
        const auto element = std::make_unique<uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), element.get());
        checkElement(element.get());
        const ItemView view(element.get());
        if (!view.valid()) return;
        names.emplace_back(view.name());
        const DevicePath item = fullDevicePath(folder, true, names.back());
        if (item.complete && item.text.size() > MAX_DEVICE_PATH) fail("complete device path too long");
        folder = childDevicePath(folder, names.back());
        if (folder.text.size() > MAX_DEVICE_PATH) fail("child device path not cut");
    }
    checkHostPath(names);
}

void readDeviceItemsBlock(const std::vector<uint8_t>& input) {
    // An allocation of exactly the block's size, as a locked global block.
    const auto block = std::make_unique<uint8_t[]>(input.size() + (input.empty() ? 1 : 0));
    std::copy(input.begin(), input.end(), block.get());
    const auto items = readDeviceItems(block.get(), input.size());
    if (!items) return;
    for (const auto* list : {&items->folder}) readList(*list);
    for (const auto& list : items->items) {
        if (list.size() < 3 || list[list.size() - 1] != 0 || list[list.size() - 2] != 0 || list[list.size() - 3] != 0)
            fail("an item list without its terminator");
        readList(list);
    }
}

std::vector<std::string> zeroSeparated(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> texts(1);
    for (const uint8_t b : bytes) {
        if (b == 0) texts.emplace_back();
        else texts.back() += static_cast<char>(b);
    }
    return texts;
}

void readHostNames(const std::vector<uint8_t>& input) {
    const std::vector<std::string> names = zeroSeparated(input);
    for (const auto& name : names) checkComponent(name);
    checkHostPath(names);
}

// The names of a DROPFILES block the way DragQueryFile delivers them: from
// the offset at 0 on, zero-terminated, up to an empty one; wide names
// (flag at 16) as their low bytes.
std::vector<std::string> droppedNames(const std::vector<uint8_t>& block) {
    std::vector<std::string> names;
    if (block.size() < 20) return names;
    const size_t start = loadLe32(block.data());
    const bool wide = loadLe32(block.data() + 16) != 0;
    const size_t unit = wide ? 2 : 1;
    std::string name;
    for (size_t at = start; at + unit <= block.size() && at >= start; at += unit) {
        const uint16_t c = wide ? loadLe16(&block[at]) : block[at];
        if (c != 0) {
            name += static_cast<char>(c & 0xFF);
            continue;
        }
        if (name.empty()) break;
        names.push_back(name);
        name.clear();
    }
    return names;
}

void readDroppedFiles(const std::vector<uint8_t>& input) {
    const DevicePath folder{"Music/Live", true};
    for (const std::string& path : droppedNames(input)) {
        const std::string leaf = hostLeafName(path);
        if (leaf.find('\\') != std::string::npos) fail("a leaf name with a folder in it");
        if (leaf.size() > path.size()) fail("a leaf name longer than its path");
        (void)fullDevicePath(folder, true, leaf);
    }
}

}  // namespace
}  // namespace kestrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrel::fuzz;
    ByteReader input(data, size);
    const uint8_t reader = input.u8();
    const std::vector<uint8_t> rest = input.rest();
    switch (reader & 3) {
    case 0: readList(rest); break;
    case 1: readDeviceItemsBlock(rest); break;
    case 2: readHostNames(rest); break;
    default: readDroppedFiles(rest); break;
    }
    return 0;
}
