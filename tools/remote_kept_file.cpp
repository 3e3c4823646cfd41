#include "tools/remote_kept_file.h"

#include "tools/failure.h"
#include "tools/host_files.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace kestrel::cli {

namespace {

// "kestrel-kept-<8 hex digits>.bin" in the host's temporary folder.
std::string newKeptPath() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) fail("cannot keep the file being replaced: the host has no temporary folder");
    return unusedHostPath((folder / "kestrel-kept-").string(), ".bin");
}

void copyToHost(RemoteFile& file, const std::string& hostPath) {
    HostFile out = openHostFile(hostPath, true);
    const uint32_t size = file.size();
    std::vector<uint8_t> block(REMOTE_READ_BLOCK);
    uint64_t done = 0;
    for (uint32_t n; (n = file.read(block.data(), REMOTE_READ_BLOCK)) != 0; done += n)
        writeHostBytes(out.get(), hostPath, block.data(), n);
    if (done != size) fail("read " + std::to_string(done) + " of the " + std::to_string(size) + " bytes");
    file.close();
    closeHostFile(out, hostPath);
}

}  // namespace

RemoteKeptFile::RemoteKeptFile(RemoteDevice& device, const DevicePath& path)
    : device_(device), path_(path), hostPath_(newKeptPath()) {
    try {
        RemoteFile file(device_.client(), path_, REMOTE_READ);
        copyToHost(file, hostPath_);
    } catch (const Failure& failure) {
        removeHostFile(hostPath_);
        throw Failure(failure.exitCode(), "cannot keep " + path_.text() + " while it is replaced (" +
                                              failure.what() + "); it was left as it was");
    }
}

RemoteKeptFile::~RemoteKeptFile() {
    if (!keep_) removeHostFile(hostPath_);
}

std::string RemoteKeptFile::restore() {
    (void)device_.client().unlink(path_.text().c_str());
    try {
        writeBack();
        return "; " + path_.text() + " was left as it was";
    } catch (const Failure&) {
        keep_ = true;
        return "; the earlier contents of " + path_.text() + " could not be put back and are kept in " + hostPath_;
    }
}

void RemoteKeptFile::writeBack() {
    HostFile in = openHostFile(hostPath_, false);
    const uint64_t size = hostFileSize(hostPath_);
    RemoteFile file(device_.client(), path_, REMOTE_WRITE);
    std::vector<uint8_t> block(REMOTE_WRITE_BLOCK);
    for (uint64_t done = 0; done < size;) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(REMOTE_WRITE_BLOCK, size - done));
        readHostBytes(in.get(), hostPath_, block.data(), n);
        file.write(block.data(), n);
        done += n;
    }
    file.close();
}

}  // namespace kestrel::cli
