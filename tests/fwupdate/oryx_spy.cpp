#include "tests/fwupdate/oryx_spy.h"

namespace kestrel::fwupdate::test {

void OryxSpy::failCall(const std::string& name, uint32_t code, int nth) { failures_[name] = {nth, code}; }

bool OryxSpy::record(const std::string& name, const std::string& detail, uint32_t& code) {
    calls.push_back({name, detail});
    const auto failure = failures_.find(name);
    if (failure == failures_.end() || --failure->second.countdown != 0) return false;
    code = failure->second.code;
    failures_.erase(failure);
    return true;
}

std::vector<std::string> OryxSpy::names() const {
    std::vector<std::string> names;
    for (const auto& call : calls) names.push_back(call.name);
    return names;
}

std::vector<std::string> OryxSpy::details(const std::string& name) const {
    std::vector<std::string> details;
    for (const auto& call : calls)
        if (call.name == name) details.push_back(call.detail);
    return details;
}

OryxApi OryxSpy::api() {
    OryxApi api;
    api.init = [this] {
        uint32_t code = 0;
        return record("init", "", code) ? code : library_.init();
    };
    api.formatVol = [this](const char* path, const char* label, uint32_t mode, uint32_t* bad, oryx_progress progress) {
        uint32_t code = 0;
        return record("formatVol", std::string(path) + " mode " + std::to_string(mode), code)
                   ? code
                   : library_.formatVol(path, label, quickFormats ? 0 : mode, bad, progress);
    };
    api.getListNumDir = [this](const char* path, uint32_t* count) {
        uint32_t code = 0;
        return record("getListNumDir", path, code) ? code : library_.getListNumDir(path, count);
    };
    api.getSizeFile = [this](const char* path, uint32_t* size) {
        uint32_t code = 0;
        return record("getSizeFile", path, code) ? code : library_.getSizeFile(path, size);
    };
    api.removeFile = [this](const char* path) {
        uint32_t code = 0;
        return record("removeFile", path, code) ? code : library_.removeFile(path);
    };
    api.createFile = [this](const char* path, uint32_t overwrite, oryx_handle* handle) {
        uint32_t code = 0;
        return record("createFile", path, code) ? code : library_.createFile(path, overwrite, handle);
    };
    api.fileExtend = [this](oryx_handle handle, uint32_t bytes) {
        uint32_t code = 0;
        return record("fileExtend", std::to_string(bytes), code) ? code : library_.fileExtend(handle, bytes);
    };
    api.writeFile = [this](oryx_handle handle, const void* data, uint32_t length) {
        uint32_t code = 0;
        return record("writeFile", std::to_string(length), code) ? code : library_.writeFile(handle, data, length);
    };
    api.closeFile = [this](oryx_handle handle) {
        uint32_t code = 0;
        return record("closeFile", "", code) ? code : library_.closeFile(handle);
    };
    api.readStat = [this](const char* path, oryx_stat* stat) {
        uint32_t code = 0;
        return record("readStat", path, code) ? code : library_.readStat(path, stat);
    };
    api.writeStat = [this](const char* path, const oryx_stat* stat) {
        uint32_t code = 0;
        return record("writeStat", path, code) ? code : library_.writeStat(path, stat);
    };
    api.readLC = [this](uint16_t address, void* buffer) {
        uint32_t code = 0;
        return record("readLC", std::to_string(address), code) ? code : library_.readLC(address, buffer);
    };
    api.writeLC = [this](uint16_t address, const void* data) {
        uint32_t code = 0;
        return record("writeLC", std::to_string(address), code) ? code : library_.writeLC(address, data);
    };
    api.close = [this] {
        calls.push_back({"close", ""});
        library_.close();
    };
    return api;
}

}  // namespace kestrel::fwupdate::test
