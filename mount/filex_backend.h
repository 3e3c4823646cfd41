// The mount's file system over the device's own file server (the filex
// client), while the device keeps running its main firmware. The server
// has no rename, no way to set times or attributes and no volume figures:
// those answer EXDEV, EPERM and ENOSYS.
#pragma once

#include "filex/filex_client.h"
#include "mount/backend.h"

#include <memory>
#include <string>

namespace kestrel::mount {

class FilexBackend : public Backend {
public:
    // Starts the filex link; null with `error` when the device's file
    // server cannot be reached.
    static std::unique_ptr<FilexBackend> start(std::string& error);

    int32_t stat(const NodePath& path, NodeInfo& info) override;
    int32_t list(const NodePath& path, std::vector<DirItem>& items) override;
    int32_t openRead(const NodePath& path, std::unique_ptr<FileReader>& reader) override;
    int32_t openWrite(const NodePath& path, std::unique_ptr<FileWriter>& writer) override;
    int32_t removeFile(const NodePath& path) override;
    int32_t makeDirectory(const NodePath& path) override;
    int32_t removeDirectory(const NodePath& path) override;
    int32_t rename(const NodePath& from, const NodePath& to) override;
    int32_t setTime(const NodePath& path, uint16_t dosDate, uint16_t dosTime) override;
    int32_t setReadOnly(const NodePath& path, bool readOnly) override;
    int32_t space(VolumeSpace& space) override;
    bool deviceLost() const override { return lost_; }

    // -EIO (and the device noted as lost) when the last operation's
    // exchange did not complete; else `refused`, the errno for the
    // device's own refusal.
    int32_t failure(int32_t refused);
    filex::FilexClient& client() { return client_; }

private:
    FilexBackend() : client_(filex::FilexNames{}, false) {}
    // The parent of `path` exists and is a directory, and `path` is free.
    int32_t checkPlace(const NodePath& path);

    filex::FilexClient client_;
    bool lost_ = false;
};

}  // namespace kestrel::mount
