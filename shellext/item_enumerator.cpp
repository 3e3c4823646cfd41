#include "shellext/item_enumerator.h"

#include "platform/clock.h"
#include "platform/named_mutex.h"
#include "shellext/device_names.h"
#include "shellext/trace.h"
#include "shellext/type_text.h"

#include <new>

namespace kestrel::shellext {

HRESULT ItemEnumerator::create(DeviceFiles& device, const DevicePath& path, DWORD flags, ItemEnumerator** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    auto allocator = IdAllocator::create();
    if (!allocator) return E_OUTOFMEMORY;
    auto* enumerator = new (std::nothrow) ItemEnumerator(device, path, flags, std::move(allocator));
    if (enumerator == nullptr) return E_OUTOFMEMORY;
    enumerator->fill();
    *out = enumerator;
    return S_OK;
}

ItemEnumerator::ItemEnumerator(DeviceFiles& device, DevicePath path, DWORD flags,
                               std::unique_ptr<IdAllocator> allocator)
    : device_(device), path_(std::move(path)), flags_(flags), allocator_(std::move(allocator)) {}

ItemEnumerator::~ItemEnumerator() {
    for (LPITEMIDLIST item : items_) allocator_->free(item);
}

void ItemEnumerator::fill() {
    if (!path_.complete || path_.text.size() > MAX_DEVICE_PATH) return;
    auto mutex = platform::NamedMutex::open(ENUM_LIST_MUTEX);
    if (!mutex) return;
    const platform::NamedMutexLock lock(*mutex, platform::WAIT_FOREVER);
    if (!lock.owned()) return;
    const bool root = path_.text.empty();
    const int32_t dir = device_.opendir(root ? "/" : path_.text.c_str());
    if (dir == 0) return;
    readEntries(dir, root);
    device_.closedir(dir);
}

void ItemEnumerator::readEntries(int32_t dir, bool root) {
    filex::FilexDirEntry entry;
    // Bounded: the listing runs under the machine-wide listing mutex, and
    // every process that shows the folder waits for it.
    for (uint32_t read = 0; read < MAX_LISTED_ENTRIES && device_.readdir(dir, &entry) != 0; ++read) {
        const uint8_t attributes = entry.attributes();
        ItemType type = ItemType::File;
        if (attributes & filex::ATTR_VOLUME_LABEL) continue;
        if (attributes & filex::ATTR_DIRECTORY) {
            if (!(flags_ & SHCONTF_FOLDERS)) continue;
            const std::string name = entry.name();
            if (name == "." || name == "..") continue;
            type = root ? ItemType::Disk : ItemType::Folder;
        } else if (!(flags_ & SHCONTF_NONFOLDERS)) {
            continue;
        }
        // A name that would reach another entry than this one, or that the
        // card cannot hold, is not listed: nothing may act on it.
        if (!isActionableName(entry.name())) continue;
        LPITEMIDLIST item = allocator_->buildItem(entry, type, itemTypeText(type, entry.name()));
        if (item == nullptr) return;
        try {
            items_.push_back(item);
        } catch (const std::bad_alloc&) {
            allocator_->free(item);
            return;
        }
    }
}

HRESULT ItemEnumerator::QueryInterface(REFIID riid, void** out) {
    SHX_TRACE("ItemEnumerator::QueryInterface(%s,%p)\n", guidText(riid).c_str(), static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumIDList)) {
        *out = static_cast<IEnumIDList*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG ItemEnumerator::AddRef() {
    SHX_TRACE("ItemEnumerator::AddRef() %lu\n", references_ + 1);
    return ++references_;
}

ULONG ItemEnumerator::Release() {
    SHX_TRACE("ItemEnumerator::Release() %lu\n", references_ - 1);
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT ItemEnumerator::Next(ULONG count, LPITEMIDLIST* items, ULONG* fetched) {
    SHX_TRACE("ItemEnumerator::Next(%lu,%p,%p)\n", count, static_cast<void*>(items), static_cast<void*>(fetched));
    if (count > 1 && fetched == nullptr) return E_INVALIDARG;
    if (count > 0 && items == nullptr) return E_INVALIDARG;
    ULONG delivered = 0;
    while (delivered < count && position_ < items_.size()) {
        LPITEMIDLIST copy = allocator_->clone(items_[position_]);
        if (copy == nullptr) break;
        items[delivered++] = copy;
        ++position_;
    }
    if (fetched != nullptr) *fetched = delivered;
    return delivered == count ? S_OK : S_FALSE;
}

HRESULT ItemEnumerator::Skip(ULONG count) {
    SHX_TRACE("ItemEnumerator::Skip(%lu)\n", count);
    const size_t left = items_.size() - position_;
    if (count > left) {
        position_ = items_.size();
        return S_FALSE;
    }
    position_ += count;
    return S_OK;
}

HRESULT ItemEnumerator::Reset() {
    SHX_TRACE("ItemEnumerator::Reset()\n");
    position_ = 0;
    return S_OK;
}

HRESULT ItemEnumerator::Clone(IEnumIDList** out) {
    SHX_TRACE("ItemEnumerator::Clone(%p)\n", static_cast<void*>(out));
    if (out == nullptr) return E_POINTER;
    ItemEnumerator* clone = nullptr;
    const HRESULT result = create(device_, path_, flags_, &clone);
    *out = clone;
    if (FAILED(result)) return E_OUTOFMEMORY;
    for (size_t i = 0; i < position_; ++i) clone->Skip(1);
    return S_OK;
}

}  // namespace kestrel::shellext
