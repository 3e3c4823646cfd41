#include "tests/shellext/transfer_fixture.h"

#include "shellext/host_files.h"
#include "shellext/server_module.h"
#include "shellext/temporary_copy.h"
#include "tests/shellext/harness/explorer_session.h"

#include <atomic>
#include <fstream>
#include <iterator>

namespace kestrel::shellext::test {

void TransferTest::SetUpTestSuite() { ServerModule::instance().attach(GetModuleHandleA(nullptr)); }

void TransferTest::TearDownTestSuite() { ServerModule::instance().detach(false); }

void TransferTest::SetUp() {
    ole_ = OleInitialize(nullptr);
    ASSERT_TRUE(SUCCEEDED(ole_));
    progress = std::make_unique<ProgressRecorder>();
    dialogs = std::make_unique<ModalAnswerer>();
    ASSERT_EQ(DeviceFolder::createRoot(device, &root), S_OK);
    const ShellList absolute = deviceRootIdentifier();
    ASSERT_EQ(root->Initialize(absolute.get()), S_OK);
}

void TransferTest::TearDown() {
    items_.clear();
    // children first: a folder holds its parent
    for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder)
        EXPECT_EQ((*folder)->Release(), 0u) << "a folder outlived the test";
    folders_.clear();
    if (root != nullptr) {
        EXPECT_EQ(root->Release(), 0u) << "the root outlived the test";
    }
    root = nullptr;
    dialogs.reset();
    progress.reset();
    EXPECT_EQ(device.openFiles(), 0) << "a device file was left open";
    EXPECT_EQ(device.openListings(), 0) << "a listing was left open";
    EXPECT_EQ(ServerModule::instance().liveObjects(), 0) << "an object outlived the test";
    if (!hostFolder_.empty()) removeHostTree(hostFolder_);
    if (SUCCEEDED(ole_)) OleUninitialize();
}

DeviceFolder* TransferTest::folderAt(const std::string& path) {
    DeviceFolder* folder = root;
    size_t begin = 0;
    while (begin <= path.size()) {
        const size_t slash = path.find('/', begin);
        const std::string name = path.substr(begin, slash == std::string::npos ? std::string::npos : slash - begin);
        LPCITEMIDLIST entry = item(folder, name);
        if (entry == nullptr) return nullptr;
        IShellFolder* child = nullptr;
        EXPECT_EQ(folder->BindToObject(entry, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&child)), S_OK);
        if (child == nullptr) return nullptr;
        folder = static_cast<DeviceFolder*>(child);
        folders_.push_back(folder);
        if (slash == std::string::npos) break;
        begin = slash + 1;
    }
    return folder;
}

LPCITEMIDLIST TransferTest::item(DeviceFolder* folder, const std::string& name) {
    ShellList found = findItem(folder, name);
    EXPECT_TRUE(found) << name << " is not listed";
    if (!found) return nullptr;
    items_.push_back(std::move(found));
    return items_.back().get();
}

const std::string& TransferTest::hostFolder() {
    if (hostFolder_.empty()) {
        static std::atomic<int> serial{0};
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        hostFolder_ = std::string(temp) + "kshx-" + std::to_string(GetCurrentProcessId()) + "-" +
                      std::to_string(serial++);
        CreateDirectoryA(hostFolder_.c_str(), nullptr);
    }
    return hostFolder_;
}

std::string TransferTest::hostFile(const std::string& name, const std::vector<uint8_t>& contents) {
    const std::string path = hostFolder() + "\\" + name;
    for (size_t slash = path.find('\\', hostFolder().size() + 1); slash != std::string::npos;
         slash = path.find('\\', slash + 1))
        CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(contents.data()), static_cast<std::streamsize>(contents.size()));
    EXPECT_TRUE(out.good()) << path;
    return path;
}

std::string TransferTest::hostFile(const std::string& name, const std::string& contents) {
    return hostFile(name, std::vector<uint8_t>(contents.begin(), contents.end()));
}

std::vector<uint8_t> patternBytes(size_t length, uint32_t seed) {
    std::vector<uint8_t> bytes(length);
    uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

void removeHostTree(const std::string& path) {
    WIN32_FIND_DATAA found{};
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeHostTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

std::set<std::string> temporaryCopyFolders() {
    std::set<std::string> names;
    const std::optional<std::string> folder = temporaryCopiesFolder();
    if (!folder) return names;
    if (const auto entries = listHostFolder(*folder))
        for (const HostEntry& entry : *entries) names.insert(entry.name);
    return names;
}

std::string quotedAfter(const std::string& text, const std::string& marker) {
    const size_t at = text.find(marker + "'");
    if (at == std::string::npos) return {};
    const size_t start = at + marker.size() + 1;
    const size_t end = text.find('\'', start);
    return end == std::string::npos ? std::string() : text.substr(start, end - start);
}

std::vector<uint8_t> hostFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kestrel::shellext::test
