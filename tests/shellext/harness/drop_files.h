// Host files handed to a drop target as Explorer hands them: a CF_HDROP
// block (DROPFILES with ANSI paths) in a data object double, which may also
// carry "Preferred DropEffect" and records what is set on it.
#pragma once

#include "tests/shellext/harness/strict_double.h"

#include <map>
#include <string>
#include <vector>

namespace kestrel::shellext::test {

// A DROPFILES block for `paths`, from the global heap.
HGLOBAL dropFilesBlock(const std::vector<std::string>& paths);

class FileDropData final : public StrictDouble<IDataObject> {
public:
    explicit FileDropData(std::vector<std::string> paths);
    // Also offers "Preferred DropEffect" with `effect`.
    void preferEffect(DWORD effect) { preferred_ = effect; }
    // The values SetData was given, by format name.
    const std::map<std::string, DWORD>& setValues() const { return set_; }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return unexpected("GetDataHere"); }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out != nullptr) out->ptd = nullptr;
        return DATA_S_SAMEFORMATETC;
    }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    std::vector<std::string> paths_;
    DWORD preferred_ = 0xFFFFFFFF;  // none
    std::map<std::string, DWORD> set_;
};

// A data object double holding one block in one registered format (the
// extension's own "qlxshlextDataFormat", for instance).
class BlockData final : public StrictDouble<IDataObject> {
public:
    BlockData(const std::string& formatName, std::vector<uint8_t> block);

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return unexpected("GetDataHere"); }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override {
        return unexpected("GetCanonicalFormatEtc");
    }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    CLIPFORMAT format_;
    std::vector<uint8_t> block_;
};

// The name of a registered clipboard format.
std::string formatName(CLIPFORMAT format);

}  // namespace kestrel::shellext::test
