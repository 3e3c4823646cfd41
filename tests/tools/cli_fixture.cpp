#include "tests/tools/cli_fixture.h"

#include "platform/environment.h"
#include "platform/ksim_protocol.h"
#include "sim/device_client.h"
#include "sim/device_folder.h"
#include "sim/ksim_server.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace kestrel::cli::test {

namespace {

// Quoting for the command processor: POSIX sh (single quotes) or cmd.exe
// (double quotes; file names hold none).
std::string quoted(const std::string& word) {
#ifdef _WIN32
    return "\"" + word + "\"";
#else
    std::string text = "'";
    for (const char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
#endif
}

// A text file with its line ends as on POSIX (Windows programs write CR LF).
std::string readText(const std::string& path) {
    const auto bytes = sim::test::readFile(path);
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text += static_cast<char>(bytes[i]);
    }
    return text;
}

// The card of a default device of `megabytes` just after `kestrel format`:
// made once per size and test program.
std::vector<uint8_t> makeFormattedCard(uint32_t megabytes) {
    sim::test::TempFolder folder;
    const std::string device = folder.file("device");
    if (!sim::test::createFolder(device, *sim::defaultDeviceConfig(megabytes, 0xEC))) return {};
    {
        sim::test::SimDaemon daemon(device);
        if (daemon.endpoint().empty()) {
            ADD_FAILURE() << daemon.error();
            return {};
        }
        platform::setEnv("KESTREL_SIM", daemon.endpoint());
        const int code = runCaptured(sim::test::siblingProgram("kestrel"), {"format"}, folder.file("out.txt"),
                                     folder.file("err.txt"));
        platform::unsetEnv("KESTREL_SIM");
        if (code != 0) {
            ADD_FAILURE() << "kestrel format: exit code " << code << ": " << readText(folder.file("err.txt"));
            return {};
        }
    }
    return sim::test::readFile(sim::folderFile(device, sim::NAND_FILE));
}

const std::vector<uint8_t>& formattedCard(uint32_t megabytes) {
    static std::map<uint32_t, std::vector<uint8_t>> cards;
    auto found = cards.find(megabytes);
    if (found == cards.end()) found = cards.emplace(megabytes, makeFormattedCard(megabytes)).first;
    return found->second;
}

}  // namespace

int runCaptured(const std::string& program, const std::vector<std::string>& arguments, const std::string& outFile,
                const std::string& errFile) {
    std::string command = quoted(program);
    for (const auto& argument : arguments) command += " " + quoted(argument);
    command += " >" + quoted(outFile) + " 2>" + quoted(errFile);
#ifdef _WIN32
    // cmd.exe /c drops the first and the last quote of the line.
    return std::system(("\"" + command + "\"").c_str());
#else
    // A hung child ends after two minutes (timeout's exit code 124).
    const int status = std::system(("timeout -k 5 120 " + command).c_str());
    return status < 0 ? -1 : (status >> 8) & 0xFF;
#endif
}

std::vector<uint8_t> writePatternFile(const std::string& path, size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    writeBytes(path, bytes);
    return bytes;
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool hostFileExists(const std::string& path) { return std::filesystem::exists(path); }

void CliTest::SetUp() {
    deviceFolder_ = folder_.file("device");
    ASSERT_TRUE(sim::test::createFolder(deviceFolder_, deviceConfig()));
    if (startsFormatted()) {
        const sim::DeviceConfig config = deviceConfig();
        const auto& card = formattedCard(config.sizeMb);
        ASSERT_FALSE(card.empty()) << "no formatted card to start from";
        ASSERT_EQ(sim::formatDeviceConfig(config), sim::formatDeviceConfig(*sim::defaultDeviceConfig(config.sizeMb, 0xEC)))
            << "only default cards start formatted";
        writeBytes(sim::folderFile(deviceFolder_, sim::NAND_FILE), card);
    }
    daemon_ = std::make_unique<sim::test::SimDaemon>(deviceFolder_);
    ASSERT_FALSE(daemon_->endpoint().empty()) << daemon_->error();
    uint32_t error = 0;
    control_ = platform::makeKsimProvider(daemon_->endpoint())->open(sim::CONTROL_NAME, 0, 0, error);
    ASSERT_TRUE(control_) << "control handle: error " << error;
    // kestrel finds the device through the variable it inherits.
    platform::setEnv("KESTREL_SIM", daemon_->endpoint());
}

void CliTest::TearDown() {
    platform::unsetEnv("KESTREL_SIM");
    control_.reset();
    daemon_.reset();
}

void CliTest::makeFormattedDevice(const std::string& folder, uint32_t megabytes) {
    ASSERT_TRUE(sim::test::createFolder(folder, *sim::defaultDeviceConfig(megabytes, 0xEC)));
    ASSERT_FALSE(formattedCard(megabytes).empty()) << "no formatted card to copy";
    writeBytes(sim::folderFile(folder, sim::NAND_FILE), formattedCard(megabytes));
}

Outcome CliTest::kestrel(const std::vector<std::string>& arguments) {
    const std::string out = scratch("out" + std::to_string(runs_) + ".txt");
    const std::string err = scratch("err" + std::to_string(runs_) + ".txt");
    ++runs_;
    Outcome run;
    run.code = runCaptured(sim::test::siblingProgram("kestrel"), arguments, out, err);
    run.out = readText(out);
    run.err = readText(err);
    return run;
}

Outcome CliTest::ok(const std::vector<std::string>& arguments) {
    Outcome run = kestrel(arguments);
    std::string line;
    for (const auto& argument : arguments) line += " " + argument;
    EXPECT_EQ(run.code, 0) << "kestrel" << line << "\nstdout:\n" << run.out << "stderr:\n" << run.err;
    return run;
}

std::string CliTest::simCommand(const std::string& text) {
    std::vector<char> answer(16384);
    const auto result = control_->control(ksim::CTL_SIM_COMMAND, text.data(), static_cast<uint32_t>(text.size()),
                                          answer.data(), static_cast<uint32_t>(answer.size()));
    return result.ok ? std::string(answer.data(), result.bytes) : std::string();
}

uint64_t CliTest::counter(const char* key) { return sim::statValue(simCommand("stats"), key); }

std::string CliTest::firmware() {
    const std::string text = simCommand("stats");
    const std::string key = "firmware = ";
    const size_t at = text.find(key);
    if (at == std::string::npos) return "(no firmware line)";
    const size_t begin = at + key.size();
    return text.substr(begin, text.find('\n', begin) - begin);
}

}  // namespace kestrel::cli::test
