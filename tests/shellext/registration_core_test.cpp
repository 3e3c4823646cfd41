// Registration pieces that the registered library cannot show on this
// system: what a Windows 9x system would get, and subtree deletion that
// meets a key it cannot delete.
#include "shellext/registration.h"
#include "tests/shellext/harness/registry_probe.h"

#include <gtest/gtest.h>

#include <set>

namespace kestrel::shellext::test {
namespace {

// A class identifier of the tests' own, so the real registration is left
// alone.
const std::string TEST_CLSID = "{0B5E55ED-0000-4000-8000-00000000CAFE}";

TEST(RegistrationValuesTest, OnlyWindowsNtGetsTheApprovedEntry) {
    const auto nt = registrationValues(TEST_CLSID, "C:\\x\\qlxshlext.dll", "Kestrel", true);
    const auto other = registrationValues(TEST_CLSID, "C:\\x\\qlxshlext.dll", "Kestrel", false);
    ASSERT_EQ(nt.size(), other.size() + 1);
    const RegistryValue& approved = nt.back();
    EXPECT_EQ(approved.root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(approved.key, APPROVED_EXTENSIONS);
    EXPECT_EQ(approved.name, TEST_CLSID);
    for (const auto& value : other) EXPECT_NE(value.key, APPROVED_EXTENSIONS);
}

// A key tree in memory, with keys that refuse to be deleted.
class MemoryKeyTree final : public KeyTree {
public:
    explicit MemoryKeyTree(std::set<std::string> keys) : keys_(std::move(keys)) {}
    std::set<std::string> refused;
    int calls = 0;

    bool exists(const std::string& path) override {
        ++calls;
        return keys_.count(path) != 0;
    }
    std::optional<std::string> subkey(const std::string& path, uint32_t index) override {
        ++calls;
        uint32_t at = 0;
        for (const auto& key : keys_) {
            if (key.size() <= path.size() + 1 || key.compare(0, path.size() + 1, path + "\\") != 0) continue;
            const std::string rest = key.substr(path.size() + 1);
            if (rest.find('\\') != std::string::npos) continue;
            if (at++ == index) return rest;
        }
        return std::nullopt;
    }
    bool remove(const std::string& path) override {
        ++calls;
        if (refused.count(path) != 0 || subkey(path, 0).has_value()) return false;  // refused, or has subkeys
        return keys_.erase(path) != 0;
    }
    const std::set<std::string>& keys() const { return keys_; }

private:
    std::set<std::string> keys_;
};

TEST(DeleteSubtreeTest, AKeyThatCannotBeDeletedIsSteppedOver) {
    MemoryKeyTree tree({"A", "A\\B", "A\\B\\C", "A\\D", "A\\D\\E", "A\\F", "Other"});
    tree.refused = {"A\\D\\E"};
    EXPECT_FALSE(deleteSubtree(tree, "A"));
    EXPECT_EQ(tree.keys(), (std::set<std::string>{"A", "A\\D", "A\\D\\E", "Other"}))
        << "everything else below A is gone";
    EXPECT_LT(tree.calls, 100) << "the work ended";
}

TEST(DeleteSubtreeTest, DeletesDepthFirstAndPassesOverMissingKeys) {
    MemoryKeyTree tree({"A", "A\\B", "A\\B\\C", "A\\B\\C\\D", "A\\E"});
    EXPECT_TRUE(deleteSubtree(tree, "A"));
    EXPECT_TRUE(tree.keys().empty());
    EXPECT_TRUE(deleteSubtree(tree, "Missing"));
}

TEST(UnregisterTest, TheApprovedEntryIsCleanedOnWindowsNtOnly) {
    const std::string classKey = "CLSID\\" + TEST_CLSID;
    for (const bool windowsNt : {false, true}) {
        SCOPED_TRACE(windowsNt ? "Windows NT" : "Windows 9x");
        ASSERT_EQ(writeRegistryValues(registrationValues(TEST_CLSID, "C:\\x.dll", "Test", true)), S_OK);
        ASSERT_TRUE(writeValue(HKEY_LOCAL_MACHINE, std::string(DESKTOP_NAMESPACE) + "\\" + TEST_CLSID + "\\Sub",
                               "", REG_SZ, {'x', 0}));
        EXPECT_EQ(unregisterServer(TEST_CLSID, windowsNt), S_OK);
        EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, classKey));
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, std::string(MY_COMPUTER_NAMESPACE) + "\\" + TEST_CLSID));
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, std::string(DESKTOP_NAMESPACE) + "\\" + TEST_CLSID));
        EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, APPROVED_EXTENSIONS, TEST_CLSID).has_value(), !windowsNt);
    }
    EXPECT_EQ(unregisterServer("", true), E_FAIL) << "no class identifier text";
}

}  // namespace
}  // namespace kestrel::shellext::test
