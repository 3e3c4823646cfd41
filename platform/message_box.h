// Message boxes. Windows shows a real, modal, ownerless box; elsewhere (and
// in console programs that choose it) "Caption: text" goes to standard error.
// Tests install a sink that records the box and answers it.
#pragma once

#include <functional>
#include <string>

namespace kestrel::platform {

enum class MessageIcon { None, Stop, Question, Exclamation, Information };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };

// Answers, with the Win32 values.
enum class MessageAnswer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

using MessageSink = std::function<MessageAnswer(const MessageBoxRequest&)>;

MessageAnswer showMessageBox(const MessageBoxRequest& request);

// Replaces the sink (null restores the platform default). Returns the old one.
MessageSink setMessageSink(MessageSink sink);

// The console sink: prints "Caption: text" to standard error, answers Ok/Yes.
MessageAnswer consoleMessageSink(const MessageBoxRequest& request);

}  // namespace kestrel::platform
