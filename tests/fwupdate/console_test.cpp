// The console front end: its command line, the text progress bar, what the
// view writes, and how it asks for confirmation.
#include "fwupdate/console/console_args.h"
#include "fwupdate/console/console_view.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kestrel::fwupdate::console::test {
namespace {

using Kind = ConsoleRequest::Kind;

TEST(ConsoleArgs, CommandsAndOptions) {
    const auto update = parseConsoleArguments({"update", "--main", "--yes"});
    EXPECT_EQ(update.kind, Kind::Update);
    EXPECT_FALSE(update.eeprom);
    EXPECT_TRUE(update.main);
    EXPECT_TRUE(update.yes);

    const auto download = parseConsoleArguments({"download", "fpga", "my bits.bir"});
    EXPECT_EQ(download.kind, Kind::Command);
    EXPECT_EQ(download.command, Command::DownloadFpga);
    EXPECT_EQ(download.file, "my bits.bir");

    EXPECT_EQ(parseConsoleArguments({"smartmedia", "rescueformat"}).command, Command::FormatRescue);
    EXPECT_EQ(parseConsoleArguments({"--help"}).kind, Kind::Help);
}

TEST(ConsoleArgs, MistakesAreRefused) {
    const std::vector<std::vector<std::string>> wrong{
        {},
        {"upgrade"},
        {"update", "--all"},
        {"download", "l1"},
        {"download", "l1", "a", "b"},
        {"download", "l7", "a"},
        {"smartmedia", "format", "now"},
        {"smartmedia", "Format"},
    };
    for (const auto& arguments : wrong) {
        const auto request = parseConsoleArguments(arguments);
        EXPECT_EQ(request.kind, Kind::Invalid) << arguments.size();
        EXPECT_FALSE(request.error.empty());
    }
}

std::string contents(std::FILE* file) {
    std::rewind(file);
    std::string text;
    char chunk[256];
    while (size_t n = std::fread(chunk, 1, sizeof chunk, file)) text.append(chunk, n);
    return text;
}

TEST(ConsoleView, ProgressBar) {
    EXPECT_EQ(progressBar(0, 10), "[..........]");
    EXPECT_EQ(progressBar(45, 10), "[####......]");
    EXPECT_EQ(progressBar(100, 10), "[##########]");
    EXPECT_EQ(progressBar(250, 4), "[####]");
}

TEST(ConsoleView, OffATerminalEachStepEndsWithOneBarLine) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ConsoleView view(out, err, nullptr, true, false);
    view.setActionText("Updating L1 code ...");
    view.setProgress(0);
    view.setPercentText("");
    for (const char* percent : {"  0%", " 40%", " 81%", "100%"}) view.setPercentText(percent);
    view.setProgress(100);
    view.setActionText("Updating L1 code ...");  // repeated: no new line
    view.setPercentText("");
    view.setActionText("");
    view.setActionText("Device update was successful.");
    view.finishLine();
    const std::string bar = "  " + progressBar(100, ConsoleView::BAR_WIDTH) + " 100%\n";
    EXPECT_EQ(contents(out), "Updating L1 code ...\n" + bar + "Device update was successful.\n");
    EXPECT_EQ(contents(err), "");
    std::fclose(out);
    std::fclose(err);
}

TEST(ConsoleView, OnATerminalTheBarIsRedrawnInPlace) {
    std::FILE* out = std::tmpfile();
    ConsoleView view(out, stderr, nullptr, true, true);
    view.setActionText("Formatting System, please wait ...");
    view.setProgress(50);
    view.setPercentText(" 50%");
    view.finishLine();
    const std::string empty = "  " + progressBar(50, ConsoleView::BAR_WIDTH) + " ";
    EXPECT_EQ(contents(out), "Formatting System, please wait ...\n\r" + empty + "\r" + empty + " 50%\n");
    std::fclose(out);
}

TEST(ConsoleView, AStepThatEndsAt99ButSays100PercentShowsAFullBar) {
    std::FILE* out = std::tmpfile();
    ConsoleView view(out, stderr, nullptr, true, false);
    view.setActionText("Formatting System, please wait ...");
    view.setProgress(99);
    view.setPercentText(" 99%");
    view.setPercentText("100%");
    view.setPercentText("");
    view.finishLine();
    EXPECT_EQ(contents(out), "Formatting System, please wait ...\n  " + progressBar(100, ConsoleView::BAR_WIDTH) +
                                 " 100%\n");
    std::fclose(out);
}

TEST(ConsoleView, MessagesGoToTheErrorStreamAndQuestionsAreAsked) {
    struct Case {
        const char* typed;  // null: end of input
        bool assumeYes;
        Answer answer;
    };
    const Case cases[] = {{"y\n", false, Answer::Yes}, {"yes\n", false, Answer::Yes}, {"n\n", false, Answer::No},
                          {"\n", false, Answer::No},   {nullptr, false, Answer::No}, {nullptr, true, Answer::Yes}};
    for (const auto& c : cases) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        std::FILE* in = std::tmpfile();
        if (c.typed) std::fputs(c.typed, in);
        std::rewind(in);
        ConsoleView view(out, err, in, c.assumeYes, false);
        const Message question{"Are you SURE?", "Update", BoxIcon::Question, BoxButtons::YesNoDefaultNo,
                               BoxModality::TaskModal};
        EXPECT_EQ(view.showMessage(question), c.answer) << (c.typed ? c.typed : "(end)");
        EXPECT_EQ(contents(err).rfind("Update: Are you SURE? [y/N] ", 0), 0u);
        EXPECT_EQ(contents(out), "");
        std::fclose(out);
        std::fclose(err);
        std::fclose(in);
    }
    std::FILE* err = std::tmpfile();
    ConsoleView view(stdout, err, nullptr, false, false);
    EXPECT_EQ(view.showMessage({"Unable to format System.\n", "Update"}), Answer::Ok);
    EXPECT_EQ(contents(err), "Update: Unable to format System.\n");
    std::fclose(err);
}

}  // namespace
}  // namespace kestrel::fwupdate::console::test
