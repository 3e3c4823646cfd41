#include "tests/powercut/workload.h"

#include "oryx/oryx.h"

#include <algorithm>
#include <random>

namespace kestrel::powercut {

namespace {

constexpr uint32_t OPEN_WRITE = 2;
constexpr uint32_t OPEN_READ = 1;
constexpr uint32_t ORIGIN_START = 1;
constexpr uint32_t ORIGIN_END = 2;

std::string path(const std::string& name) { return "dev0:\\" + name; }

// Writes `data` in pieces of the given sizes (the last one repeated), then
// closes; the handle is closed on failure too.
uint32_t writePieces(oryx_handle handle, const Bytes& data, const std::vector<uint32_t>& pieces) {
    size_t done = 0;
    for (size_t i = 0; done < data.size(); ++i) {
        const size_t piece = std::min<size_t>(pieces[std::min(i, pieces.size() - 1)], data.size() - done);
        if (const uint32_t error = mt_smWriteFile(handle, data.data() + done, static_cast<uint32_t>(piece))) {
            (void)mt_smCloseFile(handle);
            return error;
        }
        done += piece;
    }
    return mt_smCloseFile(handle);
}

Step createFile(const std::string& name, size_t length, uint32_t seed, std::vector<uint32_t> pieces) {
    const std::string p = path(name);
    return {"create " + name + " (" + std::to_string(length) + " bytes)", {p},
            [p, length, seed, pieces](CardContents& contents) {
                const Bytes data = patternBytes(length, seed);
                oryx_handle handle = 0;
                if (const uint32_t error = mt_smCreateFile(p.c_str(), 1, &handle)) return error;
                if (const uint32_t error = writePieces(handle, data, pieces)) return error;
                contents.files[p] = data;
                return 0u;
            }};
}

// Writes `length` bytes at `offset` of an existing file (the end when
// `offset` is negative).
Step changeFile(const std::string& what, const std::string& name, int32_t offset, size_t length, uint32_t seed) {
    const std::string p = path(name);
    return {what + " " + name, {p}, [p, offset, length, seed](CardContents& contents) {
                const Bytes data = patternBytes(length, seed);
                oryx_handle handle = 0;
                if (const uint32_t error = mt_smOpenFile(p.c_str(), OPEN_WRITE, &handle)) return error;
                uint32_t previous = 0;
                const uint32_t seek = offset < 0 ? mt_smSeekFile(handle, ORIGIN_END, 0, &previous)
                                                 : mt_smSeekFile(handle, ORIGIN_START, offset, &previous);
                if (seek != 0) {
                    (void)mt_smCloseFile(handle);
                    return seek;
                }
                if (const uint32_t error = writePieces(handle, data, {static_cast<uint32_t>(length)})) return error;
                Bytes& file = contents.files[p];
                const size_t at = offset < 0 ? file.size() : static_cast<size_t>(offset);
                if (file.size() < at + length) file.resize(at + length);
                std::copy(data.begin(), data.end(), file.begin() + static_cast<long>(at));
                return 0u;
            }};
}

Step removeFile(const std::string& name) {
    const std::string p = path(name);
    return {"remove " + name, {p}, [p](CardContents& contents) {
                if (const uint32_t error = mt_smRemoveFile(p.c_str())) return error;
                contents.files.erase(p);
                return 0u;
            }};
}

Step moveFile(const std::string& from, const std::string& to) {
    const std::string a = path(from), b = path(to);
    return {"rename " + from + " to " + to, {a, b}, [a, b](CardContents& contents) {
                if (const uint32_t error = mt_smMoveFile(a.c_str(), b.c_str())) return error;
                contents.files[b] = contents.files[a];
                contents.files.erase(a);
                return 0u;
            }};
}

Step setLongName(const std::string& name, const std::string& longName) {
    const std::string p = path(name);
    return {"long name of " + name, {p}, [p, longName](CardContents&) {
                std::vector<uint16_t> wide(longName.begin(), longName.end());
                wide.push_back(0);
                return mt_smSetLongName(p.c_str(), wide.data());
            }};
}

Step makeDir(const std::string& name) {
    const std::string p = path(name);
    return {"make directory " + name, {p}, [p](CardContents& contents) {
                if (const uint32_t error = mt_smCreateDir(p.c_str(), 0)) return error;
                contents.dirs.insert(p);
                return 0u;
            }};
}

Step removeDir(const std::string& name) {
    const std::string p = path(name);
    return {"remove directory " + name, {p}, [p](CardContents& contents) {
                if (const uint32_t error = mt_smRemoveDir(p.c_str(), 0)) return error;
                contents.dirs.erase(p);
                return 0u;
            }};
}

}  // namespace

std::vector<Step> seedSteps() {
    return {
        makeDir("DOCS"),
        createFile("OLD1.BIN", 3000, 1, {3000}),
        createFile("OLD2.BIN", 20000, 2, {2048}),
        createFile("DOCS\\README.TXT", 700, 3, {700}),
        createFile("DOCS\\BIG.DAT", 40000, 4, {2048}),
        createFile("KEEP.TXT", 100, 5, {100}),
    };
}

std::vector<Step> workloadSteps() {
    return {
        createFile("A.BIN", 513, 11, {513}),
        createFile("B.BIN", 4024, 12, {1, 511, 512, 3000}),
        createFile("C.BIN", 20000, 13, {2048}),
        changeFile("append to", "OLD1.BIN", -1, 1500, 14),
        changeFile("overwrite in place", "OLD2.BIN", 5000, 3000, 15),
        createFile("B.BIN", 700, 16, {700}),
        moveFile("C.BIN", "D.BIN"),
        setLongName("D.BIN", "Holiday pictures of the sea.bin"),
        removeFile("OLD1.BIN"),
        makeDir("SUB"),
        createFile("SUB\\X.BIN", 9000, 17, {4096}),
        makeDir("SUB\\DEEP"),
        removeDir("SUB\\DEEP"),
        removeFile("DOCS\\BIG.DAT"),
        createFile("E.BIN", 12000, 18, {512}),
        changeFile("append to", "D.BIN", -1, 600, 19),
        removeFile("SUB\\X.BIN"),
        removeDir("SUB"),
        moveFile("A.BIN", "DOCS\\A.BIN"),
    };
}

uint32_t readWholeFile(const std::string& p, Bytes* data) {
    uint32_t size = 0;
    if (const uint32_t error = mt_smGetSizeFile(p.c_str(), &size)) return error;
    oryx_handle handle = 0;
    if (const uint32_t error = mt_smOpenFile(p.c_str(), OPEN_READ, &handle)) return error;
    data->assign(size, 0);
    uint32_t delivered = 0;
    const uint32_t read = size == 0 ? 0 : mt_smReadFile(handle, data->data(), size, &delivered);
    const uint32_t closed = mt_smCloseFile(handle);
    if (read != 0) return read;
    data->resize(delivered);
    return closed;
}

Bytes patternBytes(size_t length, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(length);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

}  // namespace kestrel::powercut
