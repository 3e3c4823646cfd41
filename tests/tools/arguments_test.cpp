// The words after a command: flags, options with values, positional
// arguments, and what makes a usage error.
#include "tools/arguments.h"
#include "tools/failure.h"

#include <gtest/gtest.h>

namespace kestrel::cli {
namespace {

const std::vector<OptionSpec> OPTIONS = {{"-r", false}, {"--full", false}, {"--label", true}};

TEST(ArgumentsTest, FlagsValuesAndPositionalArgumentsMayBeMixed) {
    const auto args = Arguments::parse({"A", "-r", "--label", "X Y", "B", "--full"}, OPTIONS);
    EXPECT_EQ(args.positional(), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(args.flag("-r"));
    EXPECT_TRUE(args.flag("--full"));
    EXPECT_EQ(args.value("--label"), std::optional<std::string>("X Y"));
    EXPECT_FALSE(Arguments::parse({}, OPTIONS).value("--label"));
}

TEST(ArgumentsTest, LongOptionsTakeTheirValueAfterAnEqualsSign) {
    EXPECT_EQ(Arguments::parse({"--label=A=B"}, OPTIONS).value("--label"), std::optional<std::string>("A=B"));
    EXPECT_EQ(Arguments::parse({"--label="}, OPTIONS).value("--label"), std::optional<std::string>(""));
}

TEST(ArgumentsTest, DoubleDashEndsTheOptionsAndSingleDashIsAnArgument) {
    const auto args = Arguments::parse({"-", "--", "-r", "--full"}, OPTIONS);
    EXPECT_EQ(args.positional(), (std::vector<std::string>{"-", "-r", "--full"}));
    EXPECT_FALSE(args.flag("-r"));
}

TEST(ArgumentsTest, UnknownOptionsMissingValuesAndValuedFlagsAreUsageErrors) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> wrong = {
        {{"-x"}, "unknown option -x"},
        {{"--labels", "A"}, "unknown option --labels"},
        {{"--label"}, "option --label needs a value"},
        {{"--full=yes"}, "option --full takes no value"},
    };
    for (const auto& [words, message] : wrong) {
        try {
            (void)Arguments::parse(words, OPTIONS);
            ADD_FAILURE() << words[0] << " was accepted";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.exitCode(), EXIT_USAGE);
            EXPECT_EQ(std::string(failure.what()), message);
        }
    }
}

}  // namespace
}  // namespace kestrel::cli
