#include "tools/host_output.h"

#include "platform/file_replace.h"
#include "tools/failure.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace kestrel::cli {

HostOutput::HostOutput(std::string path)
    : path_(std::move(path)),
      temporary_(unusedHostPath(path_ + ".", ".part")),
      file_(std::fopen(temporary_.c_str(), "wb")) {
    if (!file_) fail("cannot open " + path_ + ": " + std::strerror(errno));
}

HostOutput::~HostOutput() {
    if (committed_) return;
    file_.reset();
    removeHostFile(temporary_);
}

void HostOutput::write(const void* data, size_t length) { writeHostBytes(file_.get(), path_, data, length); }

void HostOutput::commit() {
    closeHostFile(file_, path_);
    if (!platform::replaceFile(temporary_, path_)) fail("cannot write " + path_ + ": it could not take the place of the file there");
    committed_ = true;
}

}  // namespace kestrel::cli
