#include "platform/process.h"

#include "platform/environment.h"
#include "tests/platform/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

using namespace kestrel::platform;

namespace {

std::unique_ptr<ChildProcess> startHelper(const std::vector<std::string>& arguments) {
    std::string error;
    auto child = ChildProcess::spawn(test::helperProgram(), arguments, &error);
    EXPECT_TRUE(child) << error;
    return child;
}

constexpr uint32_t GENEROUS_MS = 60000;

}  // namespace

TEST(ChildProcess, ReportsTheExitCode) {
    auto child = startHelper({"exit", "7"});
    ASSERT_TRUE(child);
    EXPECT_EQ(child->wait(GENEROUS_MS), 7);
    EXPECT_EQ(child->wait(0), 7);  // and keeps it
}

TEST(ChildProcess, WaitTimesOutWhileItRunsAndKillEndsIt) {
    auto child = startHelper({"sleep", "60000"});
    ASSERT_TRUE(child);
    EXPECT_EQ(child->wait(20), std::nullopt);
    child->kill();
    EXPECT_TRUE(child->wait(0).has_value());
}

TEST(ChildProcess, ArgumentsArriveUnchanged) {
    const auto file = test::tempFile("kestrel-test-args");
    const std::vector<std::string> arguments = {"plain", "with space", "quote\"inside", "trailing\\",
                                                "",      "a\\\\b",     "\\\"x\\\"",      "tab\there"};
    std::vector<std::string> command = {"echo-args", file.string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    auto child = startHelper(command);
    ASSERT_TRUE(child);
    ASSERT_EQ(child->wait(GENEROUS_MS), 0);

    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> echoed;
    for (std::string line; std::getline(in, line);) echoed.push_back(line);
    in.close();
    std::filesystem::remove(file);
    EXPECT_EQ(echoed, arguments);
}

TEST(ChildProcess, InheritsTheEnvironmentAsSet) {
    setEnv("KESTREL_TEST_VALUE", "set by the parent");
    auto child = startHelper({"env-equals", "KESTREL_TEST_VALUE", "set by the parent"});
    ASSERT_TRUE(child);
    EXPECT_EQ(child->wait(GENEROUS_MS), 0);
    EXPECT_EQ(getEnv("KESTREL_TEST_VALUE"), "set by the parent");

    unsetEnv("KESTREL_TEST_VALUE");
    EXPECT_EQ(getEnv("KESTREL_TEST_VALUE"), std::nullopt);
    child = startHelper({"env-equals", "KESTREL_TEST_VALUE", "set by the parent"});
    ASSERT_TRUE(child);
    EXPECT_EQ(child->wait(GENEROUS_MS), 1);
}

TEST(ChildProcess, MissingProgramIsReported) {
    std::string error;
    EXPECT_FALSE(ChildProcess::spawn(test::helperProgram() + "-missing", {}, &error));
    EXPECT_FALSE(error.empty());
}
