// Putting files onto a 64 MB card the way the kestrel tool puts them: 40
// files of 3,000 bytes into a folder, and one of 4 MiB. Each operation
// gathers its writes as the exported functions do. Before: one session per
// file (the map scan, then create, pre-extend, writes of 2048 bytes,
// close, the time set by an operation of its own), and the 40 files in one
// session without a write batch. After: the time given before the close,
// and the 40 files in one session inside a write batch (entries and FAT
// written out together at its end), as the tool's many-file put runs.
// Device requests, page programs, block erases and modelled device time
// through the device link to a simulated device in process, medians of
// the runs (each on a fresh card). Figures only.
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

// How the tool gives a file its host time.
enum class Stamp { AfterClose, BeforeClose };

uint32_t putInto(Session& s, const std::string& path, const std::vector<uint8_t>& data, Stamp stamp) {
    uint32_t handle = 0;
    if (const uint32_t e = s.op([&] { return s.fs.createFile(path, 0, &handle); })) return e;
    const auto size = static_cast<uint32_t>(data.size());
    if (const uint32_t e = s.op([&] { return s.fs.fileExtend(handle, size); })) return e;
    for (uint32_t at = 0; at < size; at += PIECE) {
        const uint32_t length = std::min(PIECE, size - at);
        if (const uint32_t e = s.op([&] { return s.fs.writeFile(handle, data.data() + at, length); })) return e;
    }
    uint8_t stat[20] = {};
    if (stamp == Stamp::BeforeClose) {
        stat[12] = 0xE8;  // 2024-05-17 12:00:00
        stat[13] = 0x07;
        stat[14] = 5;
        stat[15] = 17;
        stat[16] = 12;
        if (const uint32_t e = s.op([&] { return s.fs.setFileTime(handle, stat); })) return e;
        return s.op([&] { return s.fs.closeFile(handle); });
    }
    if (const uint32_t e = s.op([&] { return s.fs.closeFile(handle); })) return e;
    if (const uint32_t e = s.fs.readStat(path, stat)) return e;
    stat[16] = 12;
    return s.op([&] { return s.fs.writeStat(path, stat); });
}

uint32_t putOne(bench::LinkedCard& card, const std::string& path, const std::vector<uint8_t>& data, Stamp stamp,
                bool batch = false) {
    Session s(card);
    if (const uint32_t e = s.fs.init()) return e;
    if (batch) {
        if (const uint32_t e = s.fs.beginBatch(0)) return e;
    }
    if (const uint32_t e = putInto(s, path, data, stamp)) return e;
    return batch ? s.op([&] { return s.fs.endBatch(0); }) : 0u;
}

// The 40 small files in one session into a new folder, inside a write
// batch or not.
uint32_t putAlbumInOneSession(bench::LinkedCard& card, const std::string& folder, bool batch) {
    Session s(card);
    if (const uint32_t e = s.fs.init()) return e;
    if (const uint32_t e = s.op([&] { return s.fs.createDir(folder); })) return e;
    if (batch) {
        if (const uint32_t e = s.fs.beginBatch(0)) return e;
    }
    for (uint32_t i = 0; i < 40; ++i) {
        const std::string path = folder + "\\P" + std::to_string(i) + ".JPG";
        if (const uint32_t e = putInto(s, path, randomBytes(3000, i), batch ? Stamp::BeforeClose : Stamp::AfterClose)) {
            return e;
        }
    }
    return batch ? s.op([&] { return s.fs.endBatch(0); }) : 0u;
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
    std::printf("  %-38s %9llu req %8llu programs %6llu erases  modelled %9.3f s  host CPU %7.3f s\n", name,
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
                        "per file and in one batched session: device requests, page programs, block erases,\n"
                        "modelled device time, before and after.\n");
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
    std::vector<bench::Phase> scans, smallsBefore, smallsAfter, oneSession, batched, bigsBefore, bigsAfter, bigsBatched, oneBefore,
        oneAfter;
    for (int run = 0; run < runs; ++run) {
        bench::LinkedCard card(CARD_MB, bench::programFolder());
        if (!card.ok()) return 1;
        {
            Session setup(card);
            uint32_t bad = 0;
            if (setup.fs.init() != 0 || setup.fs.formatVol("dev0:", "NO NAME", 0, &bad, {}) != 0 ||
                setup.op([&] { return setup.fs.createDir("dev0:\\ALBUM"); }) != 0 ||
                setup.op([&] { return setup.fs.createDir("dev0:\\ALBUM2"); }) != 0) {
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
        // The tool's single put of one small file into a folder that exists
        // (after the first file, whose folder block is new).
        const auto first = randomBytes(3000, 1000);
        if (putOne(card, "dev0:\\ALBUM2\\FIRST.JPG", first, Stamp::AfterClose) != 0) return 1;
        oneBefore.push_back(card.measure([&] { return putOne(card, "dev0:\\ALBUM2\\ONE.JPG", first, Stamp::AfterClose); }));
        oneAfter.push_back(card.measure([&] { return putOne(card, "dev0:\\ALBUM2\\TWO.JPG", first, Stamp::BeforeClose); }));
        smallsBefore.push_back(card.measure([&] {
            for (uint32_t i = 0; i < 40; ++i) {
                const std::string path = "dev0:\\ALBUM\\P" + std::to_string(i) + ".JPG";
                if (const uint32_t e = putOne(card, path, randomBytes(3000, i), Stamp::AfterClose)) return e;
            }
            return 0u;
        }));
        smallsAfter.push_back(card.measure([&] {
            for (uint32_t i = 0; i < 40; ++i) {
                const std::string path = "dev0:\\ALBUM\\Q" + std::to_string(i) + ".JPG";
                if (const uint32_t e = putOne(card, path, randomBytes(3000, i), Stamp::BeforeClose)) return e;
            }
            return 0u;
        }));
        bigsBefore.push_back(
            card.measure([&] { return putOne(card, "dev0:\\BIG.BIN", randomBytes(4u << 20, 99), Stamp::AfterClose); }));
        bigsAfter.push_back(
            card.measure([&] { return putOne(card, "dev0:\\BIG2.BIN", randomBytes(4u << 20, 99), Stamp::BeforeClose); }));
        bigsBatched.push_back(card.measure(
            [&] { return putOne(card, "dev0:\\BIG3.BIN", randomBytes(4u << 20, 99), Stamp::BeforeClose, true); }));
        oneSession.push_back(card.measure([&] { return putAlbumInOneSession(card, "dev0:\\ALBUM3", false); }));
        batched.push_back(card.measure([&] { return putAlbumInOneSession(card, "dev0:\\ALBUM4", true); }));
    }
    std::printf("Puts onto a %u MB card (median of %d runs)\n", CARD_MB, runs);
    print("session start (scan, mount)", scans);
    std::printf("one small file into a folder, one session:\n");
    print("  before: time set after close", oneBefore);
    print("  after: time given before close", oneAfter);
    std::printf("40 files of 3,000 bytes:\n");
    print("  before: a session per file", smallsBefore);
    print("  a session per file, time folded", smallsAfter);
    print("  one session, no batch (+mkdir)", oneSession);
    print("  after: one batched session (+mkdir)", batched);
    std::printf("one file of 4 MiB, one session:\n");
    print("  before: time set after close", bigsBefore);
    print("  after: time given before close", bigsAfter);
    print("  after: in a write batch", bigsBatched);
    const bench::Phase scan = medianPhase(scans), batch = medianPhase(batched);
    if (scan.modelledUs > 0) {
        std::printf("batched 40 files: %.2f x one session's scan in modelled time (target: within 1.5 x the scan plus "
                    "the data's own pages)\n",
                    static_cast<double>(batch.modelledUs) / static_cast<double>(scan.modelledUs));
    }
    return 0;
}
