#include "tools/host_output.h"

#include "platform/file_replace.h"
#include "tools/failure.h"

#include <cerrno>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace kestrel::cli {

namespace {

constexpr int NAME_ATTEMPTS = 100;

// "<path>.<8 hex digits>.part" beside the file, a name not taken.
std::string temporaryBeside(const std::string& path) {
    std::random_device random;
    for (int n = 0; n < NAME_ATTEMPTS; ++n) {
        char tag[16] = {};
        std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(random()));
        const std::string candidate = path + "." + tag + ".part";
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::path(candidate), error) && !error) return candidate;
    }
    fail("cannot open " + path + ": no free temporary name beside it");
}

}  // namespace

HostOutput::HostOutput(std::string path)
    : path_(std::move(path)), temporary_(temporaryBeside(path_)), file_(std::fopen(temporary_.c_str(), "wb")) {
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
