#include "fwupdate/core/host_file.h"

#include "platform/file_status.h"

#include <cstdio>

namespace kestrel::fwupdate {

namespace {

class StdioHostFile final : public HostFile {
public:
    explicit StdioHostFile(std::FILE* file) : file_(file) {}
    ~StdioHostFile() override { std::fclose(file_); }
    StdioHostFile(const StdioHostFile&) = delete;
    StdioHostFile& operator=(const StdioHostFile&) = delete;

    std::optional<HostFileStatus> status() override {
        const auto info = platform::fileStatus(file_);
        if (!info) return std::nullopt;
        return HostFileStatus{info->size, info->modified, info->regular};
    }

    size_t read(void* buffer, size_t length) override { return std::fread(buffer, 1, length, file_); }

    bool rewind() override { return std::fseek(file_, 0, SEEK_SET) == 0; }

private:
    std::FILE* file_;
};

}  // namespace

std::unique_ptr<HostFile> openHostFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return nullptr;
    return std::make_unique<StdioHostFile>(file);
}

std::string pathIn(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return (last == '/' || last == '\\') ? folder + name : folder + "/" + name;
}

HostFileOpener hostFilesIn(const std::string& folder) {
    return [folder](const std::string& name) { return openHostFile(pathIn(folder, name)); };
}

}  // namespace kestrel::fwupdate
