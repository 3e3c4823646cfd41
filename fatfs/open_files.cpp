#include "fatfs/open_files.h"

namespace kestrel::fatfs {

OpenFile* OpenFiles::find(uint32_t firstCluster, uint32_t instance) {
    for (auto& file : files_) {
        if (file.firstCluster == firstCluster && file.instance == instance) return &file;
    }
    return nullptr;
}

uint32_t OpenFiles::freeInstance(uint32_t firstCluster) const {
    for (uint32_t i = 0; i < MAX_INSTANCES; ++i) {
        bool used = false;
        for (const auto& file : files_) used = used || (file.firstCluster == firstCluster && file.instance == i);
        if (!used) return i;
    }
    return MAX_INSTANCES;
}

OpenFile& OpenFiles::add(OpenFile file) {
    files_.push_back(std::move(file));
    return files_.back();
}

void OpenFiles::remove(const OpenFile* file) {
    files_.remove_if([file](const OpenFile& f) { return &f == file; });
}

}  // namespace kestrel::fatfs
