// Fuzz target: the update tool's readers of what the user gives it. The
// first byte chooses, the rest is the input:
//
//   0  a command line: split into its words, the command recognised, the
//      device path of a remote download made (a format command is carried
//      out; downloads are not, they would read host files by name)
//   1  the "Update" sequence over four update files made from the input
//      (each: flags, the size its status claims, up to 255 bytes of
//      content) and a library that keeps the card and the EEPROM in memory
//      and may fail one call of the input's choosing
//   2  the EEPROM update and verify of one image (claimed size, content),
//      with the chip possibly changing one byte behind the tool's back
//
// Checks beyond the sanitizers: no part of a split line is longer than
// MAX_PART and no word holds a space; a remote download's device name holds
// no folder; an update reported as done left every file on the card and
// the image in the EEPROM as the host gave them; a verify that passed saw
// an EEPROM that holds the image.
#include "fuzz/fuzz_support.h"
#include "fwupdate/core/command_line.h"
#include "fwupdate/core/operation_log.h"
#include "fwupdate/core/update_files.h"
#include "fwupdate/core/update_tool.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::fuzz {
namespace {

using namespace fwupdate;

constexpr uint32_t CHUNK = 32;

// The chip holds `image` from address 0 on.
bool holds(const std::array<uint8_t, EEPROM_BYTES>& chip, const std::vector<uint8_t>& image) {
    return image.size() <= chip.size() && std::equal(image.begin(), image.end(), chip.begin());
}

struct HostFileModel {
    bool present = false;
    bool statusKnown = true;
    uint64_t claimedSize = 0;
    std::vector<uint8_t> content;

    // The bytes an honest download writes: the claimed size of them.
    bool honest() const { return statusKnown && claimedSize <= content.size(); }
};

HostFileModel readHostFileModel(ByteReader& input) {
    HostFileModel model;
    const uint8_t flags = input.u8();
    model.present = (flags & 1) != 0;
    model.statusKnown = (flags & 2) == 0;
    model.content = input.bytes(input.u8());
    // Mostly the true size; else what the input says (a file that shrank,
    // one beyond 4 GB, ...).
    model.claimedSize = (flags & 4) != 0 ? input.u32() * (uint64_t{1} << ((flags >> 3) & 3) * 8) : model.content.size();
    return model;
}

class FakeHostFile final : public HostFile {
public:
    explicit FakeHostFile(const HostFileModel& model) : model_(model) {}
    std::optional<HostFileStatus> status() override {
        if (!model_.statusKnown) return std::nullopt;
        return HostFileStatus{model_.claimedSize, 1700000000};
    }
    size_t read(void* buffer, size_t length) override {
        const size_t n = std::min(length, model_.content.size() - at_);
        if (n > 0) std::memcpy(buffer, model_.content.data() + at_, n);
        at_ += n;
        return n;
    }
    bool rewind() override {
        at_ = 0;
        return true;
    }

private:
    const HostFileModel& model_;
    size_t at_ = 0;
};

// The card's files and the EEPROM, as the library's calls see them; the
// call numbered `failAt` (0: none) fails.
class FakeLibrary {
public:
    explicit FakeLibrary(uint32_t failAt) : failAt_(failAt) { eeprom.fill(0xFF); }

    OryxApi api() {
        OryxApi api;
        api.init = [this] { return result(); };
        api.formatVol = [this](const char*, const char*, uint32_t, uint32_t* bad, oryx_progress progress) {
            if (bad) *bad = 0;
            if (progress) progress(10, 10);
            files.clear();
            return result();
        };
        api.getListNumDir = [this](const char*, uint32_t* count) {
            *count = static_cast<uint32_t>(files.size());
            return result();
        };
        api.getSizeFile = [this](const char* path, uint32_t* size) -> uint32_t {
            const auto it = files.find(path);
            if (it == files.end()) return ORYX_NOT_FOUND;
            *size = static_cast<uint32_t>(it->second.size());
            return result();
        };
        api.removeFile = [this](const char* path) -> uint32_t {
            if (const uint32_t e = result()) return e;
            return files.erase(path) == 1 ? ORYX_OK : ORYX_NOT_FOUND;
        };
        api.createFile = [this](const char* path, uint32_t, oryx_handle* handle) -> uint32_t {
            if (const uint32_t e = result()) return e;
            files[path].clear();
            *handle = ++lastHandle_;
            open_[*handle] = path;
            return ORYX_OK;
        };
        api.fileExtend = [this](oryx_handle handle, uint32_t) { return known(handle) ? result() : 20; };
        api.writeFile = [this](oryx_handle handle, const void* data, uint32_t length) -> uint32_t {
            if (!known(handle)) return 20;
            if (const uint32_t e = result()) return e;
            auto& file = files[open_[handle]];
            file.insert(file.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + length);
            return ORYX_OK;
        };
        api.closeFile = [this](oryx_handle handle) -> uint32_t {
            if (open_.erase(handle) == 0) return 20;
            return result();
        };
        api.readStat = [this](const char* path, oryx_stat*) -> uint32_t {
            return files.count(path) ? result() : ORYX_NOT_FOUND;
        };
        api.writeStat = [this](const char* path, const oryx_stat*) -> uint32_t {
            return files.count(path) ? result() : ORYX_NOT_FOUND;
        };
        api.readLC = [this](uint16_t address, void* buffer) -> uint32_t {
            if (result() != 0) return 0;
            for (uint32_t i = 0; i < CHUNK; ++i)
                static_cast<uint8_t*>(buffer)[i] = eeprom[(address + i) % eeprom.size()];
            return 1;
        };
        api.writeLC = [this](uint16_t address, const void* data) -> uint32_t {
            if (result() != 0) return 0;
            for (uint32_t i = 0; i < CHUNK; ++i)
                eeprom[(address + i) % eeprom.size()] = static_cast<const uint8_t*>(data)[i];
            if (corruptAt && *corruptAt / CHUNK == address / CHUNK) eeprom[*corruptAt] ^= 0x5A;
            return 1;
        };
        api.close = [] {};
        return api;
    }

    std::map<std::string, std::vector<uint8_t>> files;
    std::array<uint8_t, EEPROM_BYTES> eeprom{};
    std::optional<uint32_t> corruptAt;  // changed right after its chunk is written

private:
    uint32_t result() { return ++calls_ == failAt_ ? 5 : 0; }
    bool known(oryx_handle handle) const { return open_.count(handle) != 0; }

    uint32_t failAt_;
    uint32_t calls_ = 0;
    oryx_handle lastHandle_ = 0;
    std::map<oryx_handle, std::string> open_;
};

class QuietView final : public UpdateView {
public:
    explicit QuietView(uint8_t checks) : checks_(checks) {}
    void setActionText(const std::string&) override {}
    void setPercentText(const std::string&) override {}
    // An EEPROM image that delivers more bytes than its status claims
    // still ends at 100 (regressions/fwupdate_core/eeprom-progress-beyond-100).
    void setProgress(uint32_t percent) override {
        if (percent > 100) fail("progress beyond 100 percent");
    }
    bool isChecked(Choice choice) override { return (checks_ & (choice == Choice::Eeprom ? 1 : 2)) != 0; }
    void disableControls() override {}
    void enableControls() override {}
    Answer showMessage(const Message& message) override {
        return message.buttons == BoxButtons::YesNoDefaultNo ? Answer::Yes : Answer::Ok;
    }
    void pumpMessages() override {}
    void beginWaitCursor() override {}
    void endWaitCursor() override {}

private:
    uint8_t checks_;
};

struct Tool {
    Tool(FakeLibrary& library, uint8_t checks, HostFileOpener opener, bool nt)
        : view(checks), log("/dev/null", nullptr),
          tool(view, library.api(), log, std::move(opener), [nt] { return std::optional<uint32_t>(nt ? 2u : 1u); }) {}
    QuietView view;
    OperationLog log;
    UpdateTool tool;
};

void commandLine(ByteReader& input) {
    const std::string line = input.text(input.left());
    const CommandLineWords words = splitCommandLine(line);
    for (const std::string* part : {&words.word1, &words.word2, &words.word3, &words.rest})
        if (part->size() > MAX_PART) fail("a command-line part longer than MAX_PART");
    for (const std::string* word : {&words.word1, &words.word2, &words.word3})
        if (word->find(' ') != std::string::npos) fail("a command-line word with a space");
    const std::string device = remoteDevicePath(words.rest);
    const std::string name = device.substr(std::strlen(VOLUME_ROOT));
    if (device.rfind(VOLUME_ROOT, 0) != 0 || name.find_first_of("/\\:") != std::string::npos)
        fail("a remote download's device path outside the root: " + device);
    const Command command = recogniseCommand(words);
    if (command == Command::FormatNormal || command == Command::FormatRescue || command == Command::None) {
        FakeLibrary library(0);
        Tool tool(library, 0, [](const std::string&) { return nullptr; }, true);
        (void)runCommand(tool.tool, command, words.rest);
    }
}

void update(ByteReader& input) {
    const uint8_t checks = input.u8();
    const uint8_t failAt = input.u8();
    std::map<std::string, HostFileModel> host;
    host[EEPROM_IMAGE] = readHostFileModel(input);
    for (const auto& image : MAIN_IMAGES) host[image.hostFile] = readHostFileModel(input);
    FakeLibrary library(failAt);
    const auto opener = [&host](const std::string& name) -> std::unique_ptr<HostFile> {
        const auto it = host.find(name);
        if (it == host.end() || !it->second.present) return nullptr;
        return std::make_unique<FakeHostFile>(it->second);
    };
    Tool tool(library, checks, opener, (checks & 4) != 0);
    if (tool.tool.RunUpdate() != UpdateOutcome::Succeeded) return;

    if ((checks & 1) != 0) {
        const HostFileModel& image = host[EEPROM_IMAGE];
        if (!holds(library.eeprom, image.content))
            fail("an update reported as done left the EEPROM without its image");
    }
    if ((checks & 2) != 0) {
        for (const auto& image : MAIN_IMAGES) {
            const HostFileModel& model = host[image.hostFile];
            const auto card = library.files.find(image.devicePath);
            if (!model.honest()) fail(std::string("an update reported as done from a file that lied: ") + image.hostFile);
            const std::vector<uint8_t> expected(model.content.begin(),
                                                model.content.begin() + static_cast<ptrdiff_t>(model.claimedSize));
            if (card == library.files.end() || card->second != expected)
                fail(std::string("an update reported as done left the card without ") + image.hostFile);
        }
    }
}

void eeprom(ByteReader& input) {
    const uint8_t flags = input.u8();
    const uint16_t corrupt = input.u16();
    const HostFileModel model = readHostFileModel(input);
    FakeLibrary library(0);
    if ((flags & 1) != 0) library.corruptAt = corrupt;
    Tool tool(library, 1, [](const std::string&) { return nullptr; }, true);
    FakeHostFile file(model);
    if (!tool.tool.WriteBootEeprom(file)) return;
    if (!tool.tool.VerifyBootEeprom(file)) return;
    if (!holds(library.eeprom, model.content))
        fail("an EEPROM verify passed over an image the chip does not hold");
}

}  // namespace
}  // namespace kestrel::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kestrel::fuzz::prepareEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrel::fuzz;
    ByteReader input(data, size);
    switch (input.u8() % 3) {
    case 0: commandLine(input); break;
    case 1: update(input); break;
    default: eeprom(input); break;
    }
    return 0;
}
