// DeviceFolder: the shell folder of the device root and of every folder
// below it. One object with two interfaces: IShellFolder, continued by the
// folder's own operations (IDeviceFolder), and IPersistFolder. It answers
// Explorer's questions about items (attributes, names, order, icons) and
// creates the companion objects.
#pragma once

#include "shellext/device_files.h"
#include "shellext/device_paths.h"
#include "shellext/id_allocator.h"
#include "shellext/progress_dialog.h"
#include "shellext/server_module.h"
#include "shellext/shell_api.h"

#include <memory>
#include <optional>
#include <string>

namespace kestrel::shellext {

// IShellFolder followed by the folder's own operations, in this slot order
// (3 to 12 are IShellFolder's).
struct IDeviceFolder : public IShellFolder {
    // 13, 14: creating folders and items is not supported (E_NOTIMPL).
    virtual HRESULT STDMETHODCALLTYPE CreateFolder(LPCWSTR name, LPITEMIDLIST* out) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateItem(LPCWSTR name, DWORD reserved, LPITEMIDLIST* out) = 0;
    // 15: reserved (E_NOTIMPL).
    virtual HRESULT STDMETHODCALLTYPE Reserved(void* first, void* second) = 0;
    // 16: a name for a new folder or item that no entry has yet.
    virtual HRESULT STDMETHODCALLTYPE MakeNewName(BOOL isFolder, LPSTR buffer, UINT size) = 0;
    // 17: deletes items of this folder from the device.
    virtual HRESULT STDMETHODCALLTYPE DeleteItems(LPCITEMIDLIST* lists, UINT count) = 0;
    // 18: copies (or moves) items of another device folder into this one.
    virtual HRESULT STDMETHODCALLTYPE MoveCopyItems(IShellFolder* source, LPCITEMIDLIST* lists, UINT count,
                                                    BOOL move) = 0;
    // 19: copies dropped host files and folders into this folder. S_OK
    // when every file arrived whole, S_FALSE when any did not (refused,
    // skipped, cancelled or failed): a move must then not be completed.
    virtual HRESULT STDMETHODCALLTYPE CopyDroppedFiles(HDROP drop, BOOL move) = 0;
    // 20: the order of two elements: 0xFFFF (first sorts first), 0 or 1.
    virtual HRESULT STDMETHODCALLTYPE CompareItems(LPCITEMIDLIST element1, LPCITEMIDLIST element2) = 0;
    // 21 to 24: device and host file operations behind the above.
    virtual HRESULT STDMETHODCALLTYPE DeleteDeviceFile(LPCSTR fullPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteDeviceFolder(LPCSTR fullPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyFileToDevice(LPCSTR hostPath, LPCSTR deviceFolderPath, BOOL move) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyFolderToDevice(LPCSTR hostPath, LPCSTR deviceFolderPath, BOOL move) = 0;
};

// Attribute answers of GetAttributesOf. Device items are not file-system
// items: their parsing names are device paths ("/Music/a.mp3"), which the
// shell and host programs would take for paths on the current drive, so
// SFGAO_FILESYSTEM is never claimed.
inline constexpr SFGAOF FOLDER_ITSELF_ATTRIBUTES =
    SFGAO_HASSUBFOLDER | SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_BROWSABLE | SFGAO_DROPTARGET;
inline constexpr SFGAOF FOLDER_ITEM_ATTRIBUTES = FOLDER_ITSELF_ATTRIBUTES | SFGAO_CANCOPY | SFGAO_CANMOVE |
                                                 SFGAO_CANLINK | SFGAO_CANRENAME | SFGAO_CANDELETE;
inline constexpr SFGAOF FILE_ITEM_ATTRIBUTES =
    SFGAO_HASSUBFOLDER | SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANRENAME | SFGAO_CANDELETE;
static_assert(FOLDER_ITSELF_ATTRIBUTES == 0xB8000100);
static_assert(FOLDER_ITEM_ATTRIBUTES == 0xB8000137);
static_assert(FILE_ITEM_ATTRIBUTES == 0x80000033);

// Results of CompareItems and CompareIDs (the low word of an HRESULT).
inline constexpr HRESULT ORDER_FIRST = 0x0000FFFF;
inline constexpr HRESULT ORDER_SAME = 0;
inline constexpr HRESULT ORDER_SECOND = 1;

class ReplacedFileBackup;

class DeviceFolder final : public IDeviceFolder, public IPersistFolder, LiveObject {
public:
    // The device root: no parent, no item identifier, empty device path.
    // E_OUTOFMEMORY (and null) when it cannot be made.
    static HRESULT createRoot(DeviceFiles& device, DeviceFolder** out);

    // IUnknown (both interfaces)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IShellFolder
    HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND owner, IBindCtx* context, LPWSTR name, ULONG* eaten,
                                               PIDLIST_RELATIVE* list, ULONG* attributes) override;
    HRESULT STDMETHODCALLTYPE EnumObjects(HWND owner, SHCONTF flags, IEnumIDList** out) override;
    HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE list, IBindCtx* context, REFIID riid,
                                           void** out) override;
    HRESULT STDMETHODCALLTYPE BindToStorage(PCUIDLIST_RELATIVE list, IBindCtx* context, REFIID riid,
                                            void** out) override;
    HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM column, PCUIDLIST_RELATIVE list1, PCUIDLIST_RELATIVE list2) override;
    HRESULT STDMETHODCALLTYPE CreateViewObject(HWND owner, REFIID riid, void** out) override;
    HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT count, PCUITEMID_CHILD_ARRAY lists, SFGAOF* attributes) override;
    HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND owner, UINT count, PCUITEMID_CHILD_ARRAY lists, REFIID riid,
                                            UINT* reserved, void** out) override;
    HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD list, SHGDNF flags, STRRET* name) override;
    HRESULT STDMETHODCALLTYPE SetNameOf(HWND owner, PCUITEMID_CHILD list, LPCWSTR name, SHGDNF flags,
                                        PITEMID_CHILD* out) override;

    // IDeviceFolder
    HRESULT STDMETHODCALLTYPE CreateFolder(LPCWSTR name, LPITEMIDLIST* out) override;
    HRESULT STDMETHODCALLTYPE CreateItem(LPCWSTR name, DWORD reserved, LPITEMIDLIST* out) override;
    HRESULT STDMETHODCALLTYPE Reserved(void* first, void* second) override;
    HRESULT STDMETHODCALLTYPE MakeNewName(BOOL isFolder, LPSTR buffer, UINT size) override;
    HRESULT STDMETHODCALLTYPE DeleteItems(LPCITEMIDLIST* lists, UINT count) override;
    HRESULT STDMETHODCALLTYPE MoveCopyItems(IShellFolder* source, LPCITEMIDLIST* lists, UINT count,
                                            BOOL move) override;
    HRESULT STDMETHODCALLTYPE CopyDroppedFiles(HDROP drop, BOOL move) override;
    HRESULT STDMETHODCALLTYPE CompareItems(LPCITEMIDLIST element1, LPCITEMIDLIST element2) override;
    HRESULT STDMETHODCALLTYPE DeleteDeviceFile(LPCSTR fullPath) override;
    HRESULT STDMETHODCALLTYPE DeleteDeviceFolder(LPCSTR fullPath) override;
    HRESULT STDMETHODCALLTYPE CopyFileToDevice(LPCSTR hostPath, LPCSTR deviceFolderPath, BOOL move) override;
    HRESULT STDMETHODCALLTYPE CopyFolderToDevice(LPCSTR hostPath, LPCSTR deviceFolderPath, BOOL move) override;

    // IPersist, IPersistFolder
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override;
    HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE list) override;

    // For the companion objects.
    const DevicePath& devicePath() const { return devicePath_; }
    // True when every element of `list` has an actionable name (and there
    // is at least one).
    static bool allNamesActionable(LPCITEMIDLIST list);
    // MoveCopyItems with the absolute identifier of the source folder (null
    // when unknown): the items a move removed at the source are told to the
    // shell and to the open views of that folder.
    HRESULT moveCopyItems(IShellFolder* source, LPCITEMIDLIST sourceAbsolute, LPCITEMIDLIST* lists, UINT count,
                          bool move);
    // The full device path of `list` in this folder (null: the folder).
    DevicePath fullPathOf(LPCITEMIDLIST list) const;
    // The full device path of `list` for an action that changes the device:
    // none unless it is complete, every name in it is actionable and it
    // lies inside this folder (device_names.h).
    std::optional<std::string> actionPathOf(LPCITEMIDLIST list) const;
    LPCITEMIDLIST absoluteId() const { return absolute_.get(); }
    LPCITEMIDLIST relativeId() const { return relative_.get(); }
    IdAllocator& allocator() const { return *allocator_; }
    DeviceFiles& device() const { return device_; }
    HWND ownerWindow() const { return ownerWindow_; }

private:
    DeviceFolder(DeviceFiles& device, std::unique_ptr<IdAllocator> allocator);
    ~DeviceFolder();
    // A folder: the root (no parent) or the child `relative` of `parent`.
    static HRESULT create(DeviceFiles& device, DeviceFolder* parent, LPCITEMIDLIST relative, DeviceFolder** out);
    // The attributes of the last list, or of the folder itself for none.
    SFGAOF attributesOf(UINT count, PCUITEMID_CHILD_ARRAY lists) const;
    HRESULT makeIcon(PCUITEMID_CHILD list, void** out) const;

    ULONG references_ = 1;
    DeviceFiles& device_;
    std::unique_ptr<IdAllocator> allocator_;
    OwnedItemList relative_;  // none for the root
    OwnedItemList absolute_;  // set by Initialize
    DeviceFolder* parent_ = nullptr;  // holds a reference; none for the root
    DevicePath devicePath_;
    bool actionable_ = true;  // every name on the way from the root is actionable
    // Copying and deleting (folder_copy_in.cpp, folder_delete.cpp,
    // folder_move_copy.cpp).
    std::unique_ptr<ProgressDialog> progress_;  // while a copy or delete runs
    uint32_t totalBytes_ = 0;
    uint32_t bytesDone_ = 0;
    int overwriteAnswer_ = 0;  // the last "Confirm File Replace" answer of this drop or paste
    bool dropComplete_ = true;  // every file of this drop so far arrived whole
    // CopyFileToDevice; `whole` tells whether the file arrived complete.
    HRESULT copyFileToDevice(LPCSTR hostPath, LPCSTR deviceFolderPath, bool* whole);
    bool userCancelled() const;
    // The host file's bytes into the open device file `fd`; false when the
    // copy stopped (an error was shown, or the user cancelled).
    bool copyHostData(HANDLE host, int32_t fd, const std::string& hostPath, const std::string& devicePath,
                      uint32_t size);
    // MoveCopyItems of one item: copies the device entry `sourcePath` to
    // `destinationPath`; true when all of it arrived.
    bool copyDeviceEntry(const std::string& sourcePath, const std::string& destinationPath, bool folder);
    // A file that does not arrive whole leaves the file it was to replace as
    // it was (or no file when there was none).
    bool copyDeviceFile(const std::string& sourcePath, const std::string& destinationPath);
    // The bytes of the open device file `from` into `to`; false when the
    // copy stopped (an error was shown, or the user cancelled).
    bool copyDeviceData(int32_t from, int32_t to, const std::string& sourcePath, const std::string& destinationPath);
    // Set when the file `destinationPath` may be written: nothing is there
    // (an empty backup), or the user confirmed its replacement (it is
    // removed then, its contents kept in the backup). None after No or
    // Cancel, or when no backup could be made; the file stays as it was.
    [[nodiscard]] std::optional<std::unique_ptr<ReplacedFileBackup>> replaceAllowed(
        const std::string& destinationPath);
    // The user cancelled the progress dialog or the replace question.
    bool copyStopped() const;
    // A moved item is gone from its source folder `sourceAbsolute`.
    void tellRemoved(LPCITEMIDLIST sourceAbsolute, LPCITEMIDLIST item, bool folder) const;
    HWND ownerWindow_ = nullptr;
};

}  // namespace kestrel::shellext
