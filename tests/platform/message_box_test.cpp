#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kestrel::platform;

TEST(MessageSink, ReplacementSeesEveryBoxAndAnswersIt) {
    std::vector<MessageBoxRequest> shown;
    const MessageSink previous = setMessageSink([&](const MessageBoxRequest& request) {
        shown.push_back(request);
        return MessageAnswer::No;
    });
    const MessageAnswer answer =
        showMessageBox({"Replace the file?", "filex", MessageIcon::Question, MessageButtons::YesNo});
    EXPECT_EQ(answer, MessageAnswer::No);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Replace the file?");
    EXPECT_EQ(shown[0].caption, "filex");
    EXPECT_EQ(shown[0].icon, MessageIcon::Question);
    EXPECT_EQ(shown[0].buttons, MessageButtons::YesNo);

    // Putting the previous sink back hands ours out again.
    const MessageSink ours = setMessageSink(previous);
    ASSERT_TRUE(ours);
    EXPECT_EQ(ours({"again", "", MessageIcon::None, MessageButtons::Ok}), MessageAnswer::No);
    EXPECT_EQ(shown.size(), 2u);
#ifndef _WIN32
    // Without a sink of the program's own, boxes go to the console here.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(showMessageBox({"to the console", "test", MessageIcon::None, MessageButtons::OkCancel}),
              MessageAnswer::Ok);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "test: to the console\n");
    EXPECT_EQ(shown.size(), 2u);
#endif
}

TEST(MessageSink, ConsoleSinkPrintsCaptionAndTextOnce) {
    ::testing::internal::CaptureStderr();
    const MessageAnswer ok = consoleMessageSink({"Card full", "Error", MessageIcon::Stop, MessageButtons::Ok});
    const MessageAnswer yes = consoleMessageSink({"Format now?\n", "fwupdate", MessageIcon::Question, MessageButtons::YesNo});
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "Error: Card full\nfwupdate: Format now?\n");
    EXPECT_EQ(ok, MessageAnswer::Ok);
    EXPECT_EQ(yes, MessageAnswer::Yes);
}
