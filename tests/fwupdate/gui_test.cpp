// fwupdate.exe under test (Windows only): started in a folder of update
// files, driven through its window by this program, against a simulated
// Kestrel that a kestrel-simd child serves (the program inherits
// KESTREL_SIM). Screenshots of the dialog go to test-output/fwupdate beside
// the build's bin folder.
#include "oryx/oryx.h"
#include "fwupdate/core/control_ids.h"
#include "fwupdate/core/identity.h"
#include "fwupdate/win32/registry.h"
#include "fwupdate/win32/window_position.h"
#include "platform/byte_order.h"
#include "platform/environment.h"
#include "sim/device_client.h"
#include "sim/device_config.h"
#include "sim/device_folder.h"
#include "sim/ksim_server.h"
#include "platform/ksim_protocol.h"
#include "tests/fwupdate/program_driver.h"
#include "tests/sim/sim_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kestrel::fwupdate::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> UPDATE_FILES{"vxb_main.iic", "L1_1.BIN", "L2_1.MI", "FPGA.BIR"};

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, win32::registryKeyPath(win32::POSITION_SUBKEY).c_str()); }
    void TearDown() override {
        if (daemon_) {
            usbcClose();
            daemon_.reset();
        }
        platform::unsetEnv("KESTREL_SIM");
    }

    void copyUpdateFiles(const std::vector<std::string>& names = UPDATE_FILES) {
        for (const auto& name : names)
            fs::copy_file(sim::test::siblingFile("update-samples/" + name), folder_.file(name),
                          fs::copy_options::overwrite_existing);
    }

    std::unique_ptr<ProgramDriver> start(const std::string& arguments = "") {
        auto program = std::make_unique<ProgramDriver>(sim::test::siblingProgram("fwupdate"), arguments, folder_.path());
        EXPECT_TRUE(program->started());
        return program;
    }

    void startDevice(uint32_t sizeMb) {
        auto config = sim::defaultDeviceConfig(sizeMb, 0xEC);
        ASSERT_TRUE(config);
        ASSERT_TRUE(sim::test::createFolder(device_.path(), *config));
        daemon_ = std::make_unique<sim::test::SimDaemon>(device_.path());
        ASSERT_FALSE(daemon_->endpoint().empty()) << daemon_->error();
        platform::setEnv("KESTREL_SIM", daemon_->endpoint());
    }

    // A connection of its own for each query: nothing this process started
    // in between (programs, the screenshot) can have touched it.
    std::string simStats() {
        uint32_t error = 0;
        const auto control = platform::makeKsimProvider(daemon_->endpoint())->open(sim::CONTROL_NAME, 0, 0, error);
        if (!control) return "no control connection (error " + std::to_string(error) + ")";
        std::vector<char> answer(8192);
        const std::string query = "stats";
        const auto result = control->control(ksim::CTL_SIM_COMMAND, query.data(), static_cast<uint32_t>(query.size()),
                                             answer.data(), static_cast<uint32_t>(answer.size()));
        return result.ok ? std::string(answer.data(), result.bytes)
                         : "stats failed (error " + std::to_string(result.error) + ")";
    }

    std::string logText() {
        const auto bytes = sim::test::readFile(folder_.file("log.txt"));
        return {bytes.begin(), bytes.end()};
    }

    std::vector<uint8_t> eeprom() {
        return sim::test::readFile((fs::path(device_.path()) / sim::EEPROM_FILE).string());
    }

    sim::test::TempFolder folder_;

private:
    sim::test::TempFolder device_;
    std::unique_ptr<sim::test::SimDaemon> daemon_;
};

// The screen under the window, copied through GDI into a 24-bit BMP file.
// (Starting a Unix program such as ImageMagick's import from here is what
// wine does not do cleanly: it leaves this process's standard output broken.)
void saveScreenshot(HWND window, const std::string& name) {
    const fs::path output = fs::path(sim::test::siblingFile("")).parent_path().parent_path() / "test-output" / "fwupdate";
    std::error_code ignored;
    fs::create_directories(output, ignored);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    ASSERT_GT(width, 0);
    ASSERT_GT(height, 0);

    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as the file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    const bool copied = bitmap != nullptr && BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();

    const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(height);
    constexpr uint32_t HEADERS = 14 + 40;
    std::vector<uint8_t> file(HEADERS + imageBytes);
    if (copied) {
        file[0] = 'B';
        file[1] = 'M';
        storeLe32(file.data() + 2, HEADERS + imageBytes);
        storeLe32(file.data() + 10, HEADERS);
        std::memcpy(file.data() + 14, &info.bmiHeader, 40);
        storeLe32(file.data() + 14 + 20, imageBytes);
        std::memcpy(file.data() + HEADERS, bits, imageBytes);
    }
    SelectObject(memory, previous);
    if (bitmap != nullptr) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    ASSERT_TRUE(copied) << "the screen could not be copied";

    const fs::path path = output / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                static_cast<std::streamsize>(file.size()));
    EXPECT_EQ(fs::file_size(path, ignored), file.size()) << path.string();
    std::printf("screenshot: %s\n", path.string().c_str());
}

TEST_F(GuiTest, TheWindowShowsTheDialogWithItsControlsAndExitEndsTheProgram) {
    copyUpdateFiles();
    auto program = start();
    const HWND window = program->waitForWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(windowText(window), "KESTREL Rescue Update ver2.2.4");
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_EQ(GetMenu(window), nullptr);
    ASSERT_NE(program->dialog(), nullptr);
    EXPECT_TRUE(GetWindowLongA(program->dialog(), GWL_STYLE) & WS_CHILD);

    const std::pair<int, const char*> texts[] = {{IDC_EXIT, "Exit"},     {IDC_CANCEL_UNUSED, "Cancel"},
                                                 {IDC_UPDATE, "Update"}, {IDC_FRAME, "Kestrel update via USB"},
                                                 {IDC_EEPROM, "EEPROM code"}, {IDC_MAIN, "MAIN code"},
                                                 {IDC_ACTION, ""},       {IDC_PERCENT, ""}};
    for (const auto& [id, text] : texts) EXPECT_EQ(program->text(id), text) << id;
    EXPECT_NE(program->control(IDC_PROGRESS), nullptr);
    EXPECT_FALSE(program->enabled(IDC_CANCEL_UNUSED));
    for (const int id : {IDC_EEPROM, IDC_MAIN, IDC_UPDATE, IDC_EXIT}) EXPECT_TRUE(program->enabled(id)) << id;
    EXPECT_TRUE(program->checked(IDC_EEPROM));
    EXPECT_TRUE(program->checked(IDC_MAIN));
    EXPECT_EQ(program->anyBox(), nullptr);
    saveScreenshot(window, "dialog.bmp");

    program->click(IDC_EXIT);
    EXPECT_EQ(program->waitForExit(), 0);
}

TEST_F(GuiTest, EachGroupOfUpdateFilesEnablesItsCheckBox) {
    struct Case {
        std::vector<std::string> present;
        bool eeprom, main;
    };
    const Case cases[] = {
        {{"L1_1.BIN", "L2_1.MI", "FPGA.BIR"}, false, true},
        {{"vxb_main.iic", "L1_1.BIN", "FPGA.BIR"}, true, false},
    };
    for (const auto& c : cases) {
        for (const auto& name : UPDATE_FILES) std::remove(folder_.file(name).c_str());
        copyUpdateFiles(c.present);
        auto program = start();
        ASSERT_NE(program->waitForWindow(), nullptr);
        EXPECT_EQ(program->checked(IDC_EEPROM), c.eeprom);
        EXPECT_EQ(program->enabled(IDC_EEPROM), c.eeprom);
        EXPECT_EQ(program->checked(IDC_MAIN), c.main);
        EXPECT_EQ(program->enabled(IDC_MAIN), c.main);
        EXPECT_TRUE(program->enabled(IDC_UPDATE));
        EXPECT_EQ(program->anyBox(), nullptr);
        program->requestClose();
        EXPECT_EQ(program->waitForExit(), 0);
    }
}

TEST_F(GuiTest, WithoutUpdateFilesUpdateIsDisabledAndTheUserToldOnce) {
    auto program = start();
    const HWND box = program->waitForBox("ERROR");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ProgramDriver::boxText(box),
              "You will not be able to update the device because update files are missing.");
    ASSERT_TRUE(ProgramDriver::answer(box, IDOK));
    ASSERT_NE(program->waitForWindow(), nullptr);
    EXPECT_FALSE(program->enabled(IDC_UPDATE));
    EXPECT_FALSE(program->enabled(IDC_EEPROM));
    EXPECT_FALSE(program->enabled(IDC_MAIN));
    EXPECT_FALSE(program->checked(IDC_EEPROM));
    EXPECT_FALSE(program->checked(IDC_MAIN));
    Sleep(500);
    EXPECT_EQ(program->anyBox(), nullptr);
    program->requestClose();
    EXPECT_EQ(program->waitForExit(), 0);
}

TEST_F(GuiTest, AFullUpdateCannotBeInterruptedAndEndsSuccessfully) {
    startDevice(1);
    copyUpdateFiles();
    auto program = start();
    const HWND window = program->waitForWindow();
    ASSERT_NE(window, nullptr);
    program->click(IDC_UPDATE);

    HWND box = program->waitForBox("Update");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ProgramDriver::boxText(box), "Are you SURE you want to update EEPROM and MAIN code?");
    ASSERT_TRUE(ProgramDriver::answer(box, IDYES));
    // Wine reports the NT family: the warning comes once the device is up.
    box = program->waitForBox("Rescue Update");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ProgramDriver::boxText(box), "Don't turn off the device while system is updating!!!\n");
    ASSERT_TRUE(ProgramDriver::answer(box, IDOK));

    // Exit and closing are refused while the update runs; the four controls
    // are disabled.
    program->click(IDC_EXIT);
    box = program->waitForBox("Update");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ProgramDriver::boxText(box), "Update can not be interupted");
    for (const int id : {IDC_EEPROM, IDC_MAIN, IDC_UPDATE, IDC_EXIT}) EXPECT_FALSE(program->enabled(id)) << id;
    ASSERT_TRUE(ProgramDriver::answer(box, IDOK));
    program->requestClose();
    box = program->waitForBox("Update");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ProgramDriver::boxText(box), "Update can not be interupted");
    ASSERT_TRUE(ProgramDriver::answer(box, IDOK));
    EXPECT_TRUE(IsWindow(window));

    EXPECT_TRUE(program->waitForAction("Device update was successful.", 300000)) << program->text(IDC_ACTION);
    // The controls come back once the update has returned, just after its
    // last action text.
    for (const int id : {IDC_EEPROM, IDC_MAIN, IDC_UPDATE, IDC_EXIT}) EXPECT_TRUE(program->waitForEnabled(id)) << id;
    saveScreenshot(window, "update-done.bmp");
    program->requestClose();
    EXPECT_EQ(program->waitForExit(), 0);

    // The device runs its main firmware again, with the image in its boot
    // EEPROM and the three files on its card.
    const std::string stats = simStats();
    EXPECT_NE(stats.find("firmware = main"), std::string::npos) << stats;
    const auto image = sim::test::readFile(folder_.file("vxb_main.iic"));
    const auto chip = eeprom();
    ASSERT_EQ(chip.size(), 65536u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), chip.begin()));
    ASSERT_EQ(mt_smInit(), 0u);
    for (const char* name : {"L1_1.BIN", "L2_1.MI", "FPGA.BIR"}) {
        uint32_t size = 0;
        EXPECT_EQ(mt_smGetSizeFile((std::string("dev0:\\") + name).c_str(), &size), 0u) << name;
        EXPECT_EQ(size, fs::file_size(folder_.file(name))) << name;
    }
    uint32_t count = 0;
    EXPECT_EQ(mt_smGetListNumDir("dev0:\\", &count), 0u);
    EXPECT_EQ(count, 3u);
    EXPECT_NE(logText().find("dwnl> Creating dev0:\\FPGA.BIR ... done\r\n"), std::string::npos) << logText();
}

int32_t storedField(const uint8_t* record, int index) { return static_cast<int32_t>(loadLe32(record + 4 * index)); }

void storePosition(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    uint8_t record[16];
    for (const auto& [index, value] : {std::pair{0, left}, {1, top}, {2, right}, {3, bottom}})
        storeLe32(record + 4 * index, static_cast<uint32_t>(value));
    ASSERT_EQ(win32::writeRegistry(win32::POSITION_SUBKEY, APP_NAME, record, 16), 1);
}

TEST_F(GuiTest, TheWindowPositionIsStoredAndRestored) {
    copyUpdateFiles();
    RECT first;
    {
        auto program = start();
        ASSERT_NE(program->waitForWindow(), nullptr);
        SetWindowPos(program->mainWindow(), nullptr, 210, 160, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Sleep(200);
        GetWindowRect(program->mainWindow(), &first);
        program->click(IDC_EXIT);
        ASSERT_EQ(program->waitForExit(), 0);
    }
    uint8_t record[16] = {};
    ASSERT_EQ(win32::readRegistry(win32::POSITION_SUBKEY, APP_NAME, record, 16), 1);
    EXPECT_EQ(storedField(record, 0), first.left);
    EXPECT_EQ(storedField(record, 1), first.top);
    EXPECT_EQ(storedField(record, 2), -1);  // position only
    EXPECT_EQ(storedField(record, 3), -1);

    struct Case {
        int32_t left, top, right, bottom;
        bool sized;
        bool offScreen;
    };
    const Case cases[] = {
        {310, 250, -1, -1, false, false},
        {100, 90, 100 + 700, 90 + 400, true, false},
        {9000, 7000, -1, -1, false, true},  // a monitor that is gone
    };
    for (const auto& c : cases) {
        storePosition(c.left, c.top, c.right, c.bottom);
        auto program = start();
        const HWND window = program->waitForWindow();
        ASSERT_NE(window, nullptr);
        RECT rect;
        GetWindowRect(window, &rect);
        if (c.offScreen) {
            RECT work;
            ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
            EXPECT_EQ(rect.right, work.right);
            EXPECT_EQ(rect.bottom, work.bottom);
        } else {
            EXPECT_EQ(rect.left, c.left);
            EXPECT_EQ(rect.top, c.top);
        }
        if (c.sized) {
            EXPECT_EQ(rect.right, c.right);
            EXPECT_EQ(rect.bottom, c.bottom);
        } else {
            EXPECT_EQ(rect.right - rect.left, first.right - first.left);  // the window's own size
            EXPECT_EQ(rect.bottom - rect.top, first.bottom - first.top);
        }
        program->requestClose();
        EXPECT_EQ(program->waitForExit(), 0);
    }
}

TEST_F(GuiTest, WordOneCEndsTheProgramWithoutTheDialogLoop) {
    // (Without update files the dialog would first say so and wait.)
    copyUpdateFiles();
    {
        auto program = start("C");
        EXPECT_EQ(program->waitForExit(), 0);
    }
    startDevice(1);
    {
        // A blank card cannot be read: the normal format leaves it alone.
        auto program = start("C smartmedia format");
        EXPECT_EQ(program->waitForExit(), 0);
    }
    EXPECT_EQ(logText(), "\r\nfmt> Initilalizing SM file system ... done\r\nfmt> Error 5 smGetListNumDir\r\n");
    {
        // Any other word 1: the command runs, then the dialog.
        auto program = start("x smartmedia format");
        ASSERT_NE(program->waitForWindow(), nullptr);
        const std::string twice = "\r\nfmt> Initilalizing SM file system ... done\r\nfmt> Error 5 smGetListNumDir\r\n"
                                  "\r\nfmt> Initilalizing SM file system ... done\r\nfmt> Error 5 smGetListNumDir\r\n";
        for (int i = 0; i < 500 && logText() != twice; ++i) Sleep(20);
        EXPECT_EQ(logText(), twice);
        EXPECT_EQ(program->waitForExit(500), -1);  // the dialog runs on
        program->requestClose();
        EXPECT_EQ(program->waitForExit(), 0);
    }
}

}  // namespace
}  // namespace kestrel::fwupdate::test
