// Putting files onto a 64 MB card the way the kestrel tool puts one, one
// session per file (the map scan, then create, pre-extend, writes of 2048
// bytes, close, the time set): 40 files of 3,000 bytes into a folder, and
// one of 4 MiB. Each operation gathers its writes as the exported
// functions do. Device requests, page programs, block erases and modelled
// device time through the device link to a simulated device in process,
// medians of the runs (each on a fresh card); beside them the 40 files in
// one session, for comparison. Figures only.
#include "bench/linked_card.h"
#include "fatfs/file_system.h"
#include "platform/message_box.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace kestrel;

constexpr uint32_t CARD_MB = 64;
constexpr uint32_t PIECE = 2048;

std::vector<uint8_t> randomBytes(size_t length, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(length);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

// One session: a fresh media object (which scans the card for its maps)
// and file system.
struct Session {
    explicit Session(bench::LinkedCard& card) : media(card.device().cardCommands()), fs(media, nullptr) {}
    uint32_t op(const std::function<uint32_t()>& work) {
        fatfs::WriteBatch batch(fs.clusters());
        return batch.finish(work());
    }
    media::Media media;
    fatfs::FileSystem fs;
};

uint32_t putInto(Session& s, const std::string& path, const std::vector<uint8_t>& data) {
    uint32_t handle = 0;
    if (const uint32_t e = s.op([&] { return s.fs.createFile(path, 0, &handle); })) return e;
    const auto size = static_cast<uint32_t>(data.size());
    if (const uint32_t e = s.op([&] { return s.fs.fileExtend(handle, size); })) return e;
    for (uint32_t at = 0; at < size; at += PIECE) {
        const uint32_t length = std::min(PIECE, size - at);
        if (const uint32_t e = s.op([&] { return s.fs.writeFile(handle, data.data() + at, length); })) return e;
    }
    if (const uint32_t e = s.op([&] { return s.fs.closeFile(handle); })) return e;
    uint8_t stat[20] = {};
    if (const uint32_t e = s.fs.readStat(path, stat)) return e;
    stat[16] = 12;
    return s.op([&] { return s.fs.writeStat(path, stat); });
}

uint32_t putOne(bench::LinkedCard& card, const std::string& path, const std::vector<uint8_t>& data) {
    Session s(card);
    if (const uint32_t e = s.fs.init()) return e;
    return putInto(s, path, data);
}

bench::Phase medianPhase(const std::vector<bench::Phase>& runs) {
    const auto pick = [&runs](uint64_t bench::Phase::*field) {
        std::vector<double> values;
        for (const auto& p : runs) values.push_back(static_cast<double>(p.*field));
        return static_cast<uint64_t>(bench::median(values));
    };
    bench::Phase m;
    m.requests = pick(&bench::Phase::requests);
    m.programs = pick(&bench::Phase::programs);
    m.erases = pick(&bench::Phase::erases);
    m.modelledUs = pick(&bench::Phase::modelledUs);
    m.cpuUs = pick(&bench::Phase::cpuUs);
    return m;
}

void print(const char* name, const std::vector<bench::Phase>& runs) {
    const bench::Phase m = medianPhase(runs);
    std::printf("  %-28s %9llu req %8llu programs %6llu erases  modelled %9.3f s  host CPU %7.3f s\n", name,
                static_cast<unsigned long long>(m.requests), static_cast<unsigned long long>(m.programs),
                static_cast<unsigned long long>(m.erases), static_cast<double>(m.modelledUs) / 1e6,
                static_cast<double>(m.cpuUs) / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: put_bench [--runs N]\n"
                        "40 files of 3,000 bytes and one of 4 MiB put onto a 64 MB simulated card, one session\n"
                        "per file: device requests, page programs, block erases, modelled device time.\n");
            return 0;
        }
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "put_bench: unknown argument %s (see --help)\n", argv[i]);
            return 2;
        }
    }
    platform::setMessageSink(platform::consoleMessageSink);
    std::vector<bench::Phase> scans, smalls, oneSession, bigs;
    for (int run = 0; run < runs; ++run) {
        bench::LinkedCard card(CARD_MB, bench::programFolder());
        if (!card.ok()) return 1;
        {
            Session setup(card);
            uint32_t bad = 0;
            if (setup.fs.init() != 0 || setup.fs.formatVol("dev0:", "NO NAME", 0, &bad, {}) != 0 ||
                setup.op([&] { return setup.fs.createDir("dev0:\\ALBUM"); }) != 0) {
                std::fprintf(stderr, "cannot prepare the card\n");
                return 1;
            }
        }
        scans.push_back(card.measure([&] {
            Session s(card);
            uint32_t count = 0;
            if (const uint32_t e = s.fs.init()) return e;
            return s.fs.getListNumDir("dev0:\\ALBUM", &count);
        }));
        smalls.push_back(card.measure([&] {
            for (uint32_t i = 0; i < 40; ++i) {
                const std::string path = "dev0:\\ALBUM\\P" + std::to_string(i) + ".JPG";
                if (const uint32_t e = putOne(card, path, randomBytes(3000, i))) return e;
            }
            return 0u;
        }));
        bigs.push_back(card.measure([&] { return putOne(card, "dev0:\\BIG.BIN", randomBytes(4u << 20, 99)); }));
        // For comparison: the same 40 files in one session, into a second
        // folder.
        oneSession.push_back(card.measure([&] {
            Session s(card);
            if (const uint32_t e = s.fs.init()) return e;
            if (const uint32_t e = s.op([&] { return s.fs.createDir("dev0:\\ALBUM2"); })) return e;
            for (uint32_t i = 0; i < 40; ++i) {
                const std::string path = "dev0:\\ALBUM2\\P" + std::to_string(i) + ".JPG";
                if (const uint32_t e = putInto(s, path, randomBytes(3000, i))) return e;
            }
            return 0u;
        }));
    }
    std::printf("Puts onto a %u MB card, one session per file (median of %d runs)\n", CARD_MB, runs);
    print("session start (scan, mount)", scans);
    print("40 files of 3,000 bytes", smalls);
    print("one file of 4 MiB", bigs);
    print("40 files, one session (+mkdir)", oneSession);
    return 0;
}
