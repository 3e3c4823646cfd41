#include "tests/fwupdate/recording_view.h"

namespace kestrel::fwupdate::test {

void RecordingView::setActionText(const std::string& text) {
    const bool fresh = !text.empty() && text != action;
    action = text;
    actions.push_back(text);
    events.push_back("action:" + text);
    if (fresh && onAction) onAction(text);
}

void RecordingView::setPercentText(const std::string& text) {
    percent = text;
    percents.push_back(text);
    events.push_back("percent:" + text);
}

void RecordingView::setProgress(uint32_t value) {
    progress = value;
    events.push_back("progress:" + std::to_string(value));
}

void RecordingView::pumpMessages() {
    ++pumps;
    if (onPump) onPump(pumps);
}

void RecordingView::disableControls() {
    controlsEnabled = false;
    events.push_back("disable");
}

void RecordingView::enableControls() {
    controlsEnabled = true;
    events.push_back("enable");
}

Answer RecordingView::showMessage(const Message& message) {
    messages.push_back(message);
    events.push_back("box:" + message.caption + ":" + message.text);
    if (message.buttons == BoxButtons::Ok) return Answer::Ok;
    if (answers.empty()) return Answer::Yes;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

void RecordingView::beginWaitCursor() {
    ++waitCursors;
    events.push_back("cursor:wait");
}

void RecordingView::endWaitCursor() {
    --waitCursors;
    events.push_back("cursor:back");
}

std::vector<std::string> RecordingView::percentsDuring(const std::string& wanted) const {
    std::vector<std::string> texts;
    std::string current;
    for (const auto& event : events) {
        if (event.rfind("action:", 0) == 0) current = event.substr(7);
        else if (event.rfind("percent:", 0) == 0 && current == wanted) texts.push_back(event.substr(8));
    }
    return texts;
}

std::vector<std::string> RecordingView::boxTexts() const {
    std::vector<std::string> texts;
    for (const auto& message : messages) texts.push_back(message.caption + ": " + message.text);
    return texts;
}

}  // namespace kestrel::fwupdate::test
