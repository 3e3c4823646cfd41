// The in-process side of the data-transfer, copy and delete tests: OLE on
// the test's thread, the library's module state attached to this program
// (which carries the library's resources, dialog 111 among them), a device
// root folder over a MemoryDevice with Explorer's absolute identifier, the
// progress dialog replaced by a recorder and the modal dialogs answered.
#pragma once

#include "shellext/device_folder.h"
#include "tests/shellext/harness/com_testing.h"
#include "tests/shellext/harness/item_lists.h"
#include "tests/shellext/harness/modal_answerer.h"
#include "tests/shellext/harness/progress_recorder.h"
#include "tests/shellext/memory_device.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace kestrel::shellext::test {

class TransferTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // The child folder at `path` below the root ("Music", "Music/Live").
    DeviceFolder* folderAt(const std::string& path);
    // An item of `folder` by name, as its enumerator lists it (owned by the
    // test until the end).
    LPCITEMIDLIST item(DeviceFolder* folder, const std::string& name);
    // A scratch host folder of this test (removed at the end).
    const std::string& hostFolder();
    std::string hostFile(const std::string& name, const std::vector<uint8_t>& contents);
    std::string hostFile(const std::string& name, const std::string& contents);

    MemoryDevice device;
    DeviceFolder* root = nullptr;
    std::unique_ptr<ProgressRecorder> progress;
    std::unique_ptr<ModalAnswerer> dialogs;

private:
    HRESULT ole_ = E_FAIL;
    std::vector<DeviceFolder*> folders_;
    std::vector<ShellList> items_;
    std::string hostFolder_;
};

std::vector<uint8_t> patternBytes(size_t length, uint32_t seed);
// The folders of copies below the extension's temporary folder, by name.
std::set<std::string> temporaryCopyFolders();
// The quoted text that follows `marker` in `text` ("... kept in 'X'" → X);
// empty when it is not there.
std::string quotedAfter(const std::string& text, const std::string& marker);
// A host file's bytes; empty when it cannot be read.
std::vector<uint8_t> hostFileBytes(const std::string& path);
// Removes a host folder with everything in it.
void removeHostTree(const std::string& path);

}  // namespace kestrel::shellext::test
