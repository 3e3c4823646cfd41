// eeprom read / eeprom write: the controller's boot EEPROM through the
// library's 32-byte boot-memory commands. Writing pauses after every chunk
// for the EEPROM's write cycle, then reads everything back to verify it.
#include "tools/commands.h"
#include "tools/failure.h"
#include "tools/host_files.h"
#include "tools/interrupt.h"
#include "tools/progress_bar.h"

#include "oryx/oryx.h"
#include "platform/clock.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

namespace kestrel::cli {

namespace {

constexpr uint32_t EEPROM_BYTES = 65536;
constexpr uint32_t CHUNK = 32;
constexpr uint32_t WRITE_CYCLE_MS = 25;

std::string addressText(uint32_t address) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", address);
    return text;
}

void readChunk(uint32_t address, uint8_t* data) {
    if (!usbcReadLC(static_cast<uint16_t>(address), data)) {
        fail("cannot read the EEPROM at " + addressText(address) + ": the device did not answer");
    }
}

void writeChunk(uint32_t address, const uint8_t* data) {
    if (!usbcWriteLC(static_cast<uint16_t>(address), data)) {
        fail("cannot write the EEPROM at " + addressText(address) + ": the device did not answer");
    }
}

int readEeprom(CommandContext& context, const std::string& path) {
    std::vector<uint8_t> contents(EEPROM_BYTES);
    {
        ProgressBar bar(context.err, "eeprom read", EEPROM_BYTES, context.progress);
        for (uint32_t address = 0; address < EEPROM_BYTES; address += CHUNK) {
            stopIfInterrupted();
            readChunk(address, contents.data() + address);
            bar.update(address + CHUNK);
        }
        bar.finish();
    }
    HostFile out = openHostFile(path, true);
    writeHostBytes(out.get(), path, contents.data(), contents.size());
    closeHostFile(out, path);
    return EXIT_OK;
}

int writeEeprom(CommandContext& context, const std::string& path) {
    const uint64_t size = hostFileSize(path);
    if (size == 0 || size > EEPROM_BYTES) {
        fail(path + " holds " + std::to_string(size) + " bytes; an EEPROM image holds 1 to 65536");
    }
    std::vector<uint8_t> image(static_cast<size_t>(size));
    HostFile in = openHostFile(path, false);
    readHostBytes(in.get(), path, image.data(), image.size());

    const uint32_t length = static_cast<uint32_t>(size);
    {
        ProgressBar bar(context.err, "eeprom write", length, context.progress);
        for (uint32_t address = 0; address < length; address += CHUNK) {
            stopIfInterrupted();
            std::array<uint8_t, CHUNK> chunk{};
            const uint32_t n = std::min(CHUNK, length - address);
            // A short last chunk keeps the EEPROM's own bytes behind the image.
            if (n < CHUNK) readChunk(address, chunk.data());
            std::copy_n(image.begin() + address, n, chunk.begin());
            writeChunk(address, chunk.data());
            platform::sleepMs(WRITE_CYCLE_MS);
            bar.update(address + n);
        }
        bar.finish();
    }
    ProgressBar verify(context.err, "eeprom verify", length, context.progress);
    for (uint32_t address = 0; address < length; address += CHUNK) {
        std::array<uint8_t, CHUNK> chunk{};
        readChunk(address, chunk.data());
        const uint32_t n = std::min(CHUNK, length - address);
        const auto differs = std::mismatch(chunk.begin(), chunk.begin() + n, image.begin() + address);
        if (differs.first != chunk.begin() + n) {
            fail("verify failed: the EEPROM holds a different byte at " +
                 addressText(address + static_cast<uint32_t>(differs.first - chunk.begin())));
        }
        verify.update(address + n);
    }
    verify.finish();
    std::fprintf(context.out, "%s: %u bytes written and verified\n", path.c_str(), length);
    return EXIT_OK;
}

}  // namespace

void checkEepromArguments(const Arguments& args) {
    const std::string& action = args.positional()[0];
    if (action != "read" && action != "write") usageError("eeprom takes 'read FILE' or 'write FILE', not '" + action + "'");
}

int runEeprom(CommandContext& context) {
    const auto& args = context.args.positional();
    checkEepromArguments(context.args);
    return args[0] == "read" ? readEeprom(context, args[1]) : writeEeprom(context, args[1]);
}

}  // namespace kestrel::cli
