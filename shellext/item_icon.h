// ItemIcon: the IExtractIconA of one item. Disk and folder items take their
// icons from the module's image lists (GIL_NOTFILENAME); files get the
// system's icon for their extension (GIL_SIMULATEDOC).
#pragma once

#include "shellext/id_allocator.h"
#include "shellext/server_module.h"
#include "shellext/shell_api.h"

#include <memory>

namespace kestrel::shellext {

class ItemIcon final : public IExtractIconA, LiveObject {
public:
    // An extractor for `absolute` (copied). E_OUTOFMEMORY (and null) when
    // it cannot be made.
    static HRESULT create(LPCITEMIDLIST absolute, ItemIcon** out);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetIconLocation(UINT flags, LPSTR iconFile, UINT size, int* index,
                                              UINT* outFlags) override;
    HRESULT STDMETHODCALLTYPE Extract(LPCSTR file, UINT index, HICON* large, HICON* small, UINT sizes) override;

private:
    explicit ItemIcon(std::unique_ptr<IdAllocator> allocator);
    ~ItemIcon() = default;

    ULONG references_ = 1;
    std::unique_ptr<IdAllocator> allocator_;
    OwnedItemList absolute_;
};

}  // namespace kestrel::shellext
