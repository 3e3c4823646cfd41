#include "tests/shellext/harness/drop_files.h"

#include <cstring>

namespace kestrel::shellext::test {

HGLOBAL dropFilesBlock(const std::vector<std::string>& paths) {
    size_t size = sizeof(DROPFILES) + 1;
    for (const auto& path : paths) size += path.size() + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (block == nullptr) return nullptr;
    auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
    auto* header = reinterpret_cast<DROPFILES*>(bytes);
    header->pFiles = sizeof(DROPFILES);
    header->fWide = FALSE;
    size_t at = sizeof(DROPFILES);
    for (const auto& path : paths) {
        std::memcpy(bytes + at, path.c_str(), path.size() + 1);
        at += path.size() + 1;
    }
    GlobalUnlock(block);
    return block;
}

std::string formatName(CLIPFORMAT format) {
    if (format == CF_HDROP) return "CF_HDROP";
    char name[256] = {};
    GetClipboardFormatNameA(format, name, sizeof name);
    return name;
}

FileDropData::FileDropData(std::vector<std::string> paths)
    : StrictDouble("file drop data"), paths_(std::move(paths)) {}

HRESULT FileDropData::QueryGetData(FORMATETC* format) {
    if (format == nullptr) return E_INVALIDARG;
    if (format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL)) return S_OK;
    if (preferred_ != 0xFFFFFFFF && formatName(format->cfFormat) == "Preferred DropEffect") return S_OK;
    return DV_E_FORMATETC;
}

HRESULT FileDropData::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    medium->tymed = TYMED_HGLOBAL;
    medium->pUnkForRelease = nullptr;
    if (format->cfFormat == CF_HDROP) {
        medium->hGlobal = dropFilesBlock(paths_);
    } else {
        medium->hGlobal = GlobalAlloc(GMEM_MOVEABLE, sizeof(DWORD));
        *static_cast<DWORD*>(GlobalLock(medium->hGlobal)) = preferred_;
        GlobalUnlock(medium->hGlobal);
    }
    return medium->hGlobal != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT FileDropData::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (direction != DATADIR_GET) return E_NOTIMPL;
    FORMATETC formats[2] = {{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
                            {static_cast<CLIPFORMAT>(RegisterClipboardFormatA("Preferred DropEffect")), nullptr,
                             DVASPECT_CONTENT, -1, TYMED_HGLOBAL}};
    return SHCreateStdEnumFmtEtc(preferred_ != 0xFFFFFFFF ? 2 : 1, formats, out);
}

HRESULT FileDropData::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
    if (format == nullptr || medium == nullptr || medium->tymed != TYMED_HGLOBAL) return E_INVALIDARG;
    DWORD value = 0;
    std::memcpy(&value, GlobalLock(medium->hGlobal), sizeof value);
    GlobalUnlock(medium->hGlobal);
    set_[formatName(format->cfFormat)] = value;
    if (release) ReleaseStgMedium(medium);
    return S_OK;
}

BlockData::BlockData(const std::string& formatName, std::vector<uint8_t> block)
    : StrictDouble("block data"), format_(static_cast<CLIPFORMAT>(RegisterClipboardFormatA(formatName.c_str()))),
      block_(std::move(block)) {}

HRESULT BlockData::QueryGetData(FORMATETC* format) {
    if (format == nullptr) return E_INVALIDARG;
    return format->cfFormat == format_ && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
}

HRESULT BlockData::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    medium->tymed = TYMED_HGLOBAL;
    medium->pUnkForRelease = nullptr;
    medium->hGlobal = GlobalAlloc(GMEM_MOVEABLE, block_.size());
    if (medium->hGlobal == nullptr) return E_OUTOFMEMORY;
    std::memcpy(GlobalLock(medium->hGlobal), block_.data(), block_.size());
    GlobalUnlock(medium->hGlobal);
    return S_OK;
}

}  // namespace kestrel::shellext::test
