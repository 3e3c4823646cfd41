// An UpdateView that records what the update sequence shows, answers its
// message boxes from a script, and lets a test act when an action begins.
#pragma once

#include "fwupdate/core/update_view.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace kestrel::fwupdate::test {

class RecordingView final : public UpdateView {
public:
    void setActionText(const std::string& text) override;
    void setPercentText(const std::string& text) override;
    void setProgress(uint32_t percent) override;
    bool isChecked(Choice choice) override { return choice == Choice::Eeprom ? eeprom : main; }
    void disableControls() override;
    void enableControls() override;
    Answer showMessage(const Message& message) override;
    void pumpMessages() override;
    void beginWaitCursor() override;
    void endWaitCursor() override;

    // The check boxes.
    bool eeprom = false;
    bool main = false;

    // Answers to Yes/No boxes, in order; Yes once they run out.
    std::deque<Answer> answers;
    // Called when the action text changes to a new non-empty text.
    std::function<void(const std::string& action)> onAction;
    // Called at every message pump, with the number of pumps so far.
    std::function<void(int pumps)> onPump;

    // Everything in order: "action:TEXT", "percent:TEXT", "progress:N",
    // "box:CAPTION:TEXT", "disable", "enable", "cursor:wait", "cursor:back".
    std::vector<std::string> events;
    std::vector<std::string> actions;   // every action text set, empty ones included
    std::vector<std::string> percents;  // every percent text set
    std::vector<Message> messages;
    int pumps = 0;
    int waitCursors = 0;  // shown and not yet restored

    // The current texts and bar.
    std::string action;
    std::string percent;
    uint32_t progress = 0;
    bool controlsEnabled = true;

    // The percent texts set while `action` was the action text.
    std::vector<std::string> percentsDuring(const std::string& action) const;
    // The captions and texts of the boxes shown.
    std::vector<std::string> boxTexts() const;
};

}  // namespace kestrel::fwupdate::test
