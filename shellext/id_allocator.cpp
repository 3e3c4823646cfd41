#include "shellext/id_allocator.h"

#include "shellext/memory_check.h"

#include <algorithm>
#include <cstring>

namespace kestrel::shellext {

namespace {

const uint8_t* bytes(LPCITEMIDLIST list) { return reinterpret_cast<const uint8_t*>(list); }

// Bytes of the elements up to (not including) the terminator.
uint32_t elementBytes(LPCITEMIDLIST list) {
    uint32_t total = 0;
    for (const uint8_t* at = bytes(list); elementSize(at) != 0; at += elementSize(at)) total += elementSize(at);
    return total;
}

}  // namespace

std::unique_ptr<IdAllocator> IdAllocator::create() {
    IMalloc* malloc = nullptr;
    if (FAILED(SHGetMalloc(&malloc)) || malloc == nullptr) return nullptr;
    return std::unique_ptr<IdAllocator>(new IdAllocator(malloc));
}

IdAllocator::~IdAllocator() { malloc_->Release(); }

LPCITEMIDLIST IdAllocator::next(LPCITEMIDLIST element) {
    if (element == nullptr) return nullptr;
    return reinterpret_cast<LPCITEMIDLIST>(bytes(element) + elementSize(bytes(element)));
}

uint32_t IdAllocator::size(LPCITEMIDLIST list) {
    if (list == nullptr) return 0;
    return elementBytes(list) + item_layout::TERMINATOR;
}

LPCITEMIDLIST IdAllocator::last(LPCITEMIDLIST list) {
    if (list == nullptr) return nullptr;
    LPCITEMIDLIST found = nullptr;
    for (LPCITEMIDLIST at = list; elementSize(bytes(at)) != 0; at = next(at)) found = at;
    return found;
}

const uint8_t* IdAllocator::data(LPCITEMIDLIST element) {
    return element == nullptr ? nullptr : bytes(element) + item_layout::TYPE;
}

uint32_t IdAllocator::name(LPCITEMIDLIST element, char* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) return 0;
    const ItemView item(element == nullptr ? nullptr : bytes(element));
    const uint32_t limit = std::min<uint32_t>(size, item.nameLength());
    const std::string_view text = item.name();
    const size_t length = limit == 0 ? 0 : std::min<size_t>(text.size(), limit - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<uint32_t>(length);
}

uint32_t IdAllocator::path(LPCITEMIDLIST list, char* buffer, uint32_t size) {
    if (size == 0 || !writableMemory(buffer, size)) return 0;
    const std::string text = pathText(list);
    const size_t length = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<uint32_t>(length);
}

bool IdAllocator::isFolderLike(LPCITEMIDLIST element) {
    return element != nullptr && ItemView(bytes(element)).folderLike();
}

ItemType IdAllocator::type(LPCITEMIDLIST element) {
    if (element == nullptr || elementSize(bytes(element)) == 0) return ItemType::None;
    return ItemView(bytes(element)).type();
}

std::string IdAllocator::nameText(LPCITEMIDLIST element) {
    if (element == nullptr || elementSize(bytes(element)) == 0) return {};
    return std::string(ItemView(bytes(element)).name());
}

std::string IdAllocator::pathText(LPCITEMIDLIST list) {
    std::string text;
    if (list == nullptr) return text;
    for (LPCITEMIDLIST at = list; elementSize(bytes(at)) != 0; at = next(at)) {
        if (at != list) text += '/';
        text += ItemView(bytes(at)).name();
    }
    return text;
}

LPITEMIDLIST IdAllocator::clone(LPCITEMIDLIST list) const {
    if (list == nullptr) return nullptr;
    return concatenate(list, nullptr);
}

LPITEMIDLIST IdAllocator::concatenate(LPCITEMIDLIST first, LPCITEMIDLIST second) const {
    if (first == nullptr && second == nullptr) return nullptr;
    const uint32_t firstBytes = first == nullptr ? 0 : elementBytes(first);
    const uint32_t secondBytes = second == nullptr ? 0 : elementBytes(second);
    const uint32_t total = firstBytes + secondBytes + item_layout::TERMINATOR;
    auto* out = static_cast<uint8_t*>(malloc_->Alloc(total));
    if (out == nullptr) return nullptr;
    // Only the elements are copied and the terminator written here: a
    // shell list ends with two zero bytes, so reading three could run past
    // the end of its block.
    if (firstBytes != 0) std::memcpy(out, first, firstBytes);
    if (secondBytes != 0) std::memcpy(out + firstBytes, second, secondBytes);
    std::memset(out + firstBytes + secondBytes, 0, item_layout::TERMINATOR);
    return reinterpret_cast<LPITEMIDLIST>(out);
}

void IdAllocator::free(LPITEMIDLIST list) const {
    if (list != nullptr) malloc_->Free(list);
}

LPITEMIDLIST IdAllocator::buildItem(const filex::FilexDirEntry& entry, ItemType type,
                                    const std::string& typeText) const {
    ItemFields fields;
    fields.type = type;
    fields.size = entry.fileSize();
    fields.attributes = entry.attributes();
    fields.dosTime = entry.dosTime();
    fields.dosDate = entry.dosDate();
    fields.name = entry.name();
    fields.typeText = typeText;
    return buildItem(fields);
}

LPITEMIDLIST IdAllocator::buildItem(const ItemFields& fields) const {
    ItemFields item = fields;
    if (item.name.size() > item_layout::MAX_NAME) item.name.resize(item_layout::MAX_NAME);
    if (item.typeText.size() > item_layout::MAX_TYPE_TEXT) item.typeText.resize(item_layout::MAX_TYPE_TEXT);
    const size_t total = newItemBytes(item);
    auto* out = static_cast<uint8_t*>(malloc_->Alloc(total));
    if (out == nullptr) return nullptr;
    std::memset(out, 0, total);
    encodeItem(out, item);
    return reinterpret_cast<LPITEMIDLIST>(out);
}

}  // namespace kestrel::shellext
