// IdAllocator: the list operations on item identifier lists, over the shell
// allocator it holds. Every folder, enumerator and icon extractor (and the
// later companions) owns one; each one counts as a live object of the
// library. Every operation accepts null where a list is expected and then
// gives null, 0 or an empty text.
//
// Lists handed in may be any shell identifier list (a list from the
// Desktop ends with a two-byte zero); lists this class allocates end with
// three zero bytes.
#pragma once

#include "filex/filex_records.h"
#include "shellext/item_id.h"
#include "shellext/server_module.h"
#include "shellext/shell_api.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kestrel::shellext {

class IdAllocator;

// Frees a list through the allocator that made it.
struct ItemListFree {
    IMalloc* malloc = nullptr;
    void operator()(ITEMIDLIST* list) const {
        if (list != nullptr && malloc != nullptr) malloc->Free(list);
    }
};
using OwnedItemList = std::unique_ptr<ITEMIDLIST, ItemListFree>;

class IdAllocator : LiveObject {
public:
    // Null when the shell allocator cannot be obtained.
    [[nodiscard]] static std::unique_ptr<IdAllocator> create();
    ~IdAllocator();

    IMalloc* malloc() const { return malloc_; }

    // The element after `element` (its address plus cb).
    static LPCITEMIDLIST next(LPCITEMIDLIST element);
    // Sum of the cb fields up to the terminator, plus 3.
    static uint32_t size(LPCITEMIDLIST list);
    // The last element before the terminator; null for an empty list.
    static LPCITEMIDLIST last(LPCITEMIDLIST list);
    // The address of the element's type field (element plus 2).
    static const uint8_t* data(LPCITEMIDLIST element);
    // Copies the name, at most min(size, N) bytes including a terminating
    // zero; the resulting length.
    static uint32_t name(LPCITEMIDLIST element, char* buffer, uint32_t size);
    // The names of all elements joined with "/", cut to fit `size` bytes
    // with its zero; its length. 0 for a buffer that cannot be written.
    static uint32_t path(LPCITEMIDLIST list, char* buffer, uint32_t size);
    static bool isFolderLike(LPCITEMIDLIST element);
    // The element's type; ItemType::None when there is no element.
    static ItemType type(LPCITEMIDLIST element);

    // The same as texts, without a length limit.
    static std::string nameText(LPCITEMIDLIST element);
    static std::string pathText(LPCITEMIDLIST list);

    // A copy: the elements and a three-byte terminator (Size bytes).
    LPITEMIDLIST clone(LPCITEMIDLIST list) const;
    // The elements of first, then those of second, then the terminator; a
    // clone of the other when one is null; null when both are.
    LPITEMIDLIST concatenate(LPCITEMIDLIST first, LPCITEMIDLIST second) const;
    void free(LPITEMIDLIST list) const;
    OwnedItemList own(LPITEMIDLIST list) const { return OwnedItemList(list, ItemListFree{malloc_}); }

    // A new one-element list for a directory entry: its name (up to the
    // first zero of the 276-byte field, never beyond it), size, attributes,
    // time and date, the given type and the type text. Null when the
    // allocator fails.
    LPITEMIDLIST buildItem(const filex::FilexDirEntry& entry, ItemType type, const std::string& typeText) const;
    LPITEMIDLIST buildItem(const ItemFields& fields) const;

private:
    explicit IdAllocator(IMalloc* malloc) : malloc_(malloc) {}
    IMalloc* malloc_;
};

}  // namespace kestrel::shellext
