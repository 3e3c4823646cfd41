// Fuzz target: a card whose file system came from outside. The fuzzer's
// bytes are laid over the logical sectors a mount and a walk read first (the
// partition table, then from the boot sector on: the FATs, the root folder
// and the first data clusters) of a freshly formatted, populated 1 MB card;
// the rest of the card stays as it was. The card is then mounted afresh and
// walked through every read path: volume information (the free-space
// count), each folder listed by name and with long names, every entry's
// stat and size, every file opened and read to its end.
//
// Input: byte i lands at byte i of the region (sector 0, then sector P,
// P + 1, ... with P the partition's first sector as formatted).
#include "fatfs/file_system.h"
#include "fatfs/fs_results.h"
#include "fuzz/fuzz_support.h"
#include "media/media.h"
#include "platform/byte_order.h"
#include "sim/sim_device.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::fuzz {
namespace {

using namespace fatfs;

constexpr uint32_t SECTOR_BYTES = 512;
constexpr uint32_t DATA_CLUSTERS_COVERED = 8;
// Bounds of one walk, so that a folder cycle or a huge listing ends.
constexpr uint32_t MAX_DEPTH = 6;
constexpr uint32_t MAX_LISTED = 64;
constexpr uint32_t MAX_ENTRIES_PER_WALK = 256;
constexpr uint32_t READ_CHUNK = 4096;
constexpr uint32_t MAX_READ_PER_FILE = 64 * 1024;
constexpr size_t LONG_NAME_FIELD = NAME_RECORD;
constexpr uint32_t POPULATED_FOLDERS = 3;
constexpr uint32_t POPULATED_FILES = 5;

DateTime fixedClock() { return {2024, 5, 17, 13, 45, 30}; }

class CardImage {
public:
    CardImage() {
        prepareEnvironment();
        makeDeviceFolder(folder_.path(), 1);
        std::string error;
        device_ = sim::SimDevice::openFolder(folder_.path(), &error);
        if (!device_) fail("device: " + error);
        commands_ = device_->directCardCommands();
        media_ = std::make_unique<media::Media>(*commands_);
        media_->maps().seed(1);
        const media::CardGeometry* row = nullptr;
        if (media_->maps().smGetGeometry(0, &row) != 0 || row == nullptr) fail("card geometry");
        sectorsPerBlock_ = row->sectorsPerBlock;
        formatAndPopulate();
        current_ = original_;
        // The walk of the card as formatted reaches every folder and file.
        walkCard();
        if (foldersVisited_ != POPULATED_FOLDERS || filesRead_ != POPULATED_FILES)
            fail("the walk misses entries of the populated card");
    }

    void run(const uint8_t* data, size_t size) {
        std::vector<std::vector<uint8_t>> wanted = original_;
        for (size_t i = 0; i < std::min(size, wanted.size() * SECTOR_BYTES); ++i)
            wanted[i / SECTOR_BYTES][i % SECTOR_BYTES] = data[i];
        writeDifferences(wanted);
        const uint64_t programsBefore = device_->counters().pagePrograms;
        walkCard();
        // A read path that wrote to the card: what the region now holds is
        // what the next input is laid over.
        if (device_->counters().pagePrograms != programsBefore) rereadRegion();
    }

    // The seeds: the whole region as formatted and populated, and its first
    // sectors only (partition table, boot sector, FATs).
    void writeSeeds(const std::string& folder) const {
        std::vector<uint8_t> region;
        for (const auto& sector : original_) region.insert(region.end(), sector.begin(), sector.end());
        writeWholeFile(folder + "/formatted-card", region);
        region.resize(std::min<size_t>(region.size(), 6 * SECTOR_BYTES));
        writeWholeFile(folder + "/boot-and-fats", region);
    }

private:
    void formatAndPopulate() {
        FileSystem fs(*media_, nullptr, fixedClock);
        uint32_t bad = 0;
        if (fs.init() != FS_OK || fs.formatVol("dev0:", "NO NAME", 0, &bad, {}) != FS_OK) fail("format");
        if (fs.createDir("dev0:\\HOLIDAY") != FS_OK || fs.createDir("dev0:\\SUB") != FS_OK ||
            fs.createDir("dev0:\\SUB\\DEEP") != FS_OK)
            fail("folders");
        writeFile(fs, "dev0:\\README.TXT", 300);
        writeFile(fs, "dev0:\\HOLIDAY\\SEA.JPG", 9000);
        setLongName(fs, "dev0:\\HOLIDAY\\SEA.JPG", u"A long name at the sea.jpg");
        setLongName(fs, "dev0:\\HOLIDAY", u"Holiday photos");
        writeFile(fs, "dev0:\\SUB\\DEEP\\X.BIN", 1500);
        writeFile(fs, "dev0:\\EMPTY.DAT", 0);
        writeFile(fs, "dev0:\\Mixed Case Notes.txt", 4100);

        std::vector<uint8_t> mbr(SECTOR_BYTES);
        readSector(0, mbr.data());
        const uint32_t start = loadLe32(&mbr[454]);
        const Volume& volume = fs.volume();
        const uint32_t dataEnd = volume.dataStart + DATA_CLUSTERS_COVERED * volume.boot.sectorsPerCluster;
        if (volume.dataStart <= start) fail("layout");
        regionSectors_.push_back(0);
        for (uint32_t s = start; s < dataEnd; ++s) regionSectors_.push_back(s);
        rereadRegion();
        original_ = current_;
    }

    static void setLongName(FileSystem& fs, const std::string& path, const std::u16string& name) {
        std::vector<uint16_t> units(name.begin(), name.end());
        units.push_back(0);
        if (fs.setLongName(path, units.data()) != FS_OK) fail("long name " + path);
    }

    static void writeFile(FileSystem& fs, const std::string& path, uint32_t bytes) {
        std::vector<uint8_t> data(bytes);
        for (uint32_t i = 0; i < bytes; ++i) data[i] = static_cast<uint8_t>(i * 7 + path.size());
        uint32_t handle = 0;
        if (fs.createFile(path, 1, &handle) != FS_OK) fail("create " + path);
        if (bytes > 0 && fs.writeFile(handle, data.data(), bytes) != FS_OK) fail("write " + path);
        if (fs.closeFile(handle) != FS_OK) fail("close " + path);
    }

    void readSector(uint32_t sector, uint8_t* out) {
        if (media_->maps().smReadLogSector(0, sector, 0, out, SECTOR_BYTES) != 0) std::fill_n(out, SECTOR_BYTES, 0);
    }

    void rereadRegion() {
        current_.assign(regionSectors_.size(), std::vector<uint8_t>(SECTOR_BYTES));
        for (size_t i = 0; i < regionSectors_.size(); ++i) readSector(regionSectors_[i], current_[i].data());
    }

    void writeDifferences(const std::vector<std::vector<uint8_t>>& wanted) {
        for (size_t i = 0; i < regionSectors_.size(); ++i) {
            if (wanted[i] == current_[i]) continue;
            const uint32_t sector = regionSectors_[i];
            if (media_->maps().smWriteLogBlock(0, sector / sectorsPerBlock_, (sector % sectorsPerBlock_) * SECTOR_BYTES,
                                               wanted[i].data(), SECTOR_BYTES) != 0)
                fail("sector write");
            current_[i] = wanted[i];
        }
    }

    void walkCard() {
        foldersVisited_ = filesRead_ = 0;
        FileSystem fs(*media_, nullptr, fixedClock);
        if (fs.init() != FS_OK) return;
        uint32_t info[VOLUME_INFO_WORDS] = {};
        if (fs.getVolInfo("dev0:\\", info) != FS_OK) return;
        uint32_t budget = MAX_ENTRIES_PER_WALK;
        walkFolder(fs, "dev0:", 0, budget);
        // Whatever the walk left open, the next mount starts clean.
        (void)fs.unmountVol(0);
    }

    void walkFolder(FileSystem& fs, const std::string& folder, uint32_t depth, uint32_t& budget) {
        const std::string listed = folder + "\\";
        uint32_t count = 0;
        if (fs.getListNumDir(listed, &count) != FS_OK) return;
        const uint32_t wanted = std::min(count + 1, MAX_LISTED);
        std::vector<uint8_t> names(NAME_RECORD * wanted);
        uint32_t delivered = 0;
        (void)fs.readDir(listed, 0, wanted, names.data(), &delivered);
        std::vector<uint8_t> records(DIR_RECORD * wanted);
        delivered = 0;
        (void)fs.readDirEx(listed, 0, wanted, records.data(), &delivered);
        delivered = std::min(delivered, wanted);
        for (uint32_t i = 0; i < delivered && budget > 0; ++i, --budget) {
            const uint8_t* record = &records[size_t{i} * DIR_RECORD];
            char name[NAME_RECORD] = {};
            std::memcpy(name, record, LONG_NAME_FIELD - 1);
            const std::string text(name);
            if (text.empty() || text == "." || text == "..") continue;
            visit(fs, folder + "\\" + text, depth, budget);
        }
    }

    void visit(FileSystem& fs, const std::string& path, uint32_t depth, uint32_t& budget) {
        uint8_t stat[20] = {};
        if (fs.readStat(path, stat) != FS_OK) return;
        uint32_t size = 0;
        (void)fs.getSizeFile(path, &size);
        if ((loadLe32(stat) & 0x10) != 0) {
            ++foldersVisited_;
            if (depth < MAX_DEPTH) walkFolder(fs, path, depth + 1, budget);
            return;
        }
        uint32_t handle = 0;
        if (fs.openFile(path, 1, &handle) != FS_OK) return;
        ++filesRead_;
        std::vector<uint8_t> chunk(READ_CHUNK);
        for (uint32_t total = 0; total < MAX_READ_PER_FILE; total += READ_CHUNK) {
            uint32_t got = 0;
            const uint32_t result = fs.readFile(handle, chunk.data(), READ_CHUNK, &got);
            if (got > READ_CHUNK) fail("readFile delivered more than asked for");
            if (result != FS_OK || got < READ_CHUNK) break;
        }
        (void)fs.closeFile(handle);
    }

    TempFolder folder_;
    std::shared_ptr<sim::SimDevice> device_;
    std::unique_ptr<usblink::CardCommands> commands_;
    std::unique_ptr<media::Media> media_;
    uint32_t sectorsPerBlock_ = 0;
    uint32_t foldersVisited_ = 0;
    uint32_t filesRead_ = 0;
    std::vector<uint32_t> regionSectors_;
    std::vector<std::vector<uint8_t>> original_;
    std::vector<std::vector<uint8_t>> current_;
};

}  // namespace
}  // namespace kestrel::fuzz

namespace {

kestrel::fuzz::CardImage& card() {
    static kestrel::fuzz::CardImage image;
    return image;
}

}  // namespace

// With KESTREL_FUZZ_WRITE_SEEDS naming a folder, the seeds are written
// there and the program ends (fuzz/make_corpus.py).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* folder = std::getenv("KESTREL_FUZZ_WRITE_SEEDS")) {
        card().writeSeeds(folder);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    card().run(data, size);
    return 0;
}
