// File-system figures through the device link to a simulated device in
// process: the mount of a formatted 128 MB card and the creation of 200
// directories with long names; writing and reading back 1 MiB on a 16 MB
// card the update tool's way (extend first) and without the extend. Device
// requests, bytes each way, block erases, modelled device time, host CPU
// time. Figures only; nothing here passes or fails.
#include "bench/linked_card.h"
#include "fatfs/file_system.h"
#include "platform/message_box.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace kestrel;

std::vector<uint8_t> randomBytes(size_t length) {
    std::mt19937 random(7);
    std::vector<uint8_t> bytes(length);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

struct Mounted {
    explicit Mounted(bench::LinkedCard& card) : media(card.device().cardCommands()), fs(media, nullptr) {}
    media::Media media;
    fatfs::FileSystem fs;
};

void benchDirectories(int runs) {
    bench::LinkedCard card(128, bench::programFolder());
    if (!card.ok()) return;
    {
        Mounted setup(card);
        uint32_t bad = 0;
        setup.fs.init();
        if (setup.fs.formatVol("dev0:", "NO NAME", 0, &bad, {}) != 0) return;
    }
    std::vector<bench::Phase> mounts, creates;
    for (int run = 0; run < runs; ++run) {
        Mounted m(card);
        m.fs.init();
        uint32_t count = 0;
        mounts.push_back(card.measure([&] { return m.fs.getListNumDir("dev0:\\", &count); }));
        const std::string parent = "dev0:\\RUN" + std::to_string(run);
        creates.push_back(card.measure([&] {
            if (const uint32_t e = m.fs.createDir(parent)) return e;
            for (int i = 0; i < 200; ++i) {
                const std::string path = parent + "\\DIR" + std::to_string(i);
                if (const uint32_t e = m.fs.createDir(path)) return e;
                const std::string longName = "Directory number " + std::to_string(i) + " of the run";
                std::vector<uint16_t> name(longName.begin(), longName.end());
                name.push_back(0);
                if (const uint32_t e = m.fs.setLongName(path, name.data())) return e;
            }
            return uint32_t{0};
        }));
    }
    bench::printPhase("mount", 128, mounts);
    bench::printPhase("200 dirs, long names", 128, creates);
}

uint32_t writeFile(fatfs::FileSystem& fs, const char* path, const std::vector<uint8_t>& data, bool extend) {
    uint32_t handle = 0;
    if (const uint32_t e = fs.createFile(path, 1, &handle)) return e;
    if (extend) {
        if (const uint32_t e = fs.fileExtend(handle, static_cast<uint32_t>(data.size()))) return e;
    }
    for (size_t at = 0; at < data.size(); at += 2048) {
        const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(2048, data.size() - at));
        if (const uint32_t e = fs.writeFile(handle, data.data() + at, piece)) return e;
    }
    return fs.closeFile(handle);
}

uint32_t readFile(fatfs::FileSystem& fs, const char* path, std::vector<uint8_t>& out) {
    uint32_t handle = 0, delivered = 0;
    if (const uint32_t e = fs.openFile(path, 1, &handle)) return e;
    const uint32_t result = fs.readFile(handle, out.data(), static_cast<uint32_t>(out.size()), &delivered);
    fs.closeFile(handle);
    return result;
}

void benchFile(int runs) {
    bench::LinkedCard card(16, bench::programFolder());
    if (!card.ok()) return;
    Mounted m(card);
    uint32_t bad = 0;
    m.fs.init();
    if (m.fs.formatVol("dev0:", "NO NAME", 0, &bad, {}) != 0) return;
    const auto data = randomBytes(1u << 20);
    std::vector<uint8_t> back(data.size());
    for (bool extend : {true, false}) {
        std::vector<bench::Phase> writes, reads;
        bool same = true;
        for (int run = 0; run < runs; ++run) {
            writes.push_back(card.measure([&] { return writeFile(m.fs, "dev0:\\MIB.BIN", data, extend); }));
            reads.push_back(card.measure([&] { return readFile(m.fs, "dev0:\\MIB.BIN", back); }));
            same = same && back == data;
        }
        bench::printPhase(extend ? "1 MiB write, extend" : "1 MiB write, no extend", 16, writes);
        bench::printPhase(same ? "1 MiB read (same)" : "1 MiB read (DIFFERS)", 16, reads);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: fatfs_bench [--runs N]\n"
                        "File-system figures through the device link to a simulated device in process.\n");
            return 0;
        }
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "fatfs_bench: unknown argument %s (see --help)\n", argv[i]);
            return 2;
        }
    }
    platform::setMessageSink(platform::consoleMessageSink);
    std::printf("File system through the link (in-process simulated device); erases count block erases\n");
    benchDirectories(runs);
    benchFile(runs);
    return 0;
}
