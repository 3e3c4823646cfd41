#include "platform/module.h"

#include "platform/process.h"

#include <gtest/gtest.h>

using namespace kestrel::platform;

namespace {

int functionInThisProgram() { return 0; }

}  // namespace

TEST(ModulePath, CodeOfTheTestProgramLiesInItsExecutable) {
    const std::string executable = currentExecutablePath();
    ASSERT_FALSE(executable.empty());
    EXPECT_NE(executable.find("platform_tests"), std::string::npos) << executable;

    const std::string path = moduleFilePath(reinterpret_cast<const void*>(&functionInThisProgram));
    EXPECT_EQ(path, executable);

    const std::string folder = moduleFolder(reinterpret_cast<const void*>(&functionInThisProgram));
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), PATH_SEPARATOR);
    EXPECT_EQ(executable.substr(0, folder.size() + 1), folder + PATH_SEPARATOR);
    EXPECT_EQ(executable.find(PATH_SEPARATOR, folder.size() + 1), std::string::npos);
}

TEST(ModulePath, AddressOutsideAnyModuleHasNoPath) {
    int onTheStack = 0;
    EXPECT_EQ(moduleFilePath(&onTheStack), "");
    EXPECT_EQ(moduleFolder(&onTheStack), "");
    EXPECT_EQ(moduleFilePath(nullptr), "");
}
