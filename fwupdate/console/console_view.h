// The update sequence on a console: each action on a line of its own, under
// it a text progress bar (redrawn in place on a terminal; elsewhere written
// once, as it stands when the step ends), message boxes as "Caption: text"
// on the error stream, and the confirmation asked on the input stream.
#pragma once

#include "fwupdate/core/update_view.h"

#include <cstdio>
#include <string>

namespace kestrel::fwupdate::console {

// "[#########...........]" for `percent` (0-100) in `width` cells.
std::string progressBar(uint32_t percent, size_t width);

class ConsoleView final : public UpdateView {
public:
    static constexpr size_t BAR_WIDTH = 40;

    // assumeYes answers every Yes/No question with Yes; live: `out` is a
    // terminal, where the bar is redrawn as it moves.
    ConsoleView(std::FILE* out, std::FILE* err, std::FILE* in, bool assumeYes, bool live);

    // The check boxes' state.
    void select(bool eeprom, bool main) {
        eeprom_ = eeprom;
        main_ = main;
    }

    void setActionText(const std::string& text) override;
    void setPercentText(const std::string& text) override;
    void setProgress(uint32_t percent) override;
    bool isChecked(Choice choice) override { return choice == Choice::Eeprom ? eeprom_ : main_; }
    void disableControls() override {}
    void enableControls() override {}
    Answer showMessage(const Message& message) override;
    void pumpMessages() override {}
    void beginWaitCursor() override {}
    void endWaitCursor() override {}

    // Ends the bar's line, if one is open.
    void finishLine();

private:
    std::string barLine() const;
    void drawBar();

    std::FILE* out_;
    std::FILE* err_;
    std::FILE* in_;
    bool assumeYes_;
    bool live_;
    bool eeprom_ = false;
    bool main_ = false;
    std::string action_;
    std::string percent_;
    uint32_t progress_ = 0;
    bool barOpen_ = false;
    std::string drawn_;  // the bar line as last drawn
};

}  // namespace kestrel::fwupdate::console
