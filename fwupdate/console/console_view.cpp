#include "fwupdate/console/console_view.h"

#include "fwupdate/core/messages.h"

#include <algorithm>
#include <cctype>

namespace kestrel::fwupdate::console {

std::string progressBar(uint32_t percent, size_t width) {
    const size_t filled = std::min<size_t>(percent, 100) * width / 100;
    return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
}

ConsoleView::ConsoleView(std::FILE* out, std::FILE* err, std::FILE* in, bool assumeYes, bool live)
    : out_(out), err_(err), in_(in), assumeYes_(assumeYes), live_(live) {}

std::string ConsoleView::barLine() const { return "  " + progressBar(progress_, BAR_WIDTH) + " " + percent_; }

void ConsoleView::finishLine() {
    if (!barOpen_) return;
    if (!live_) std::fputs(barLine().c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
    barOpen_ = false;
    drawn_.clear();
}

void ConsoleView::setActionText(const std::string& text) {
    // The sequence repeats its action text as it goes and clears it between
    // steps; a line is printed only for a new, non-empty text.
    if (text.empty() || text == action_) return;
    finishLine();
    action_ = text;
    progress_ = 0;
    percent_.clear();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void ConsoleView::setPercentText(const std::string& text) {
    // Written once at the end of a step, the bar keeps the last percentage
    // the step showed.
    if (!live_ && text.empty() && barOpen_) return;
    percent_ = text;
    // A step may end with its last progress short of 100 (the format's is 99)
    // and then say "100%": the bar says the same.
    if (text == text::FULL_PERCENT) progress_ = 100;
    drawBar();
}

void ConsoleView::setProgress(uint32_t percent) {
    progress_ = percent;
    drawBar();
}

void ConsoleView::drawBar() {
    if (percent_.empty() && progress_ == 0 && !barOpen_) return;
    barOpen_ = true;
    if (!live_) return;
    const std::string line = barLine();
    if (line == drawn_) return;
    // Padding covers a longer line drawn before.
    const size_t pad = drawn_.size() > line.size() ? drawn_.size() - line.size() : 0;
    std::fprintf(out_, "\r%s%s", line.c_str(), std::string(pad, ' ').c_str());
    std::fflush(out_);
    drawn_ = line;
}

Answer ConsoleView::showMessage(const Message& message) {
    finishLine();
    std::string text = message.text;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    std::fprintf(err_, "%s: %s", message.caption.c_str(), text.c_str());
    if (message.buttons == BoxButtons::Ok) {
        std::fputc('\n', err_);
        std::fflush(err_);
        return Answer::Ok;
    }
    std::fputs(" [y/N] ", err_);
    if (assumeYes_) {
        std::fputs("y\n", err_);
        std::fflush(err_);
        return Answer::Yes;
    }
    std::fflush(err_);
    char reply[64] = {};
    if (in_ == nullptr || std::fgets(reply, sizeof reply, in_) == nullptr) {
        std::fputc('\n', err_);
        return Answer::No;
    }
    const char first = static_cast<char>(std::tolower(static_cast<unsigned char>(reply[0])));
    return first == 'y' ? Answer::Yes : Answer::No;
}

}  // namespace kestrel::fwupdate::console
