#include "tools/progress_bar.h"

#include <algorithm>

namespace kestrel::cli {

namespace {

constexpr int BAR_WIDTH = 30;
constexpr int FULL = 100;

// The bar for a percentage (0-100), without the carriage return.
std::string progressLine(const std::string& label, int percent) {
    percent = std::clamp(percent, 0, FULL);
    const int filled = percent * BAR_WIDTH / FULL;
    char number[8];
    std::snprintf(number, sizeof number, "%3d%%", percent);
    return label + " [" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(BAR_WIDTH - filled), '.') + "] " + number;
}

}  // namespace

ProgressBar::ProgressBar(std::FILE* out, std::string label, uint64_t total, bool enabled)
    : out_(out), label_(std::move(label)), total_(total), enabled_(enabled) {}

ProgressBar::~ProgressBar() {
    if (open_) std::fputc('\n', out_);
}

void ProgressBar::update(uint64_t done) {
    if (!enabled_) return;
    const uint64_t total = std::max<uint64_t>(total_, 1);
    const int percent = static_cast<int>(std::min<uint64_t>(done, total) * FULL / total);
    if (percent != shown_) draw(percent);
}

void ProgressBar::finish() {
    if (!enabled_) return;
    if (shown_ != FULL) draw(FULL);
    std::fputc('\n', out_);
    std::fflush(out_);
    open_ = false;
}

void ProgressBar::breakLine() {
    if (!open_) return;
    std::fputc('\n', out_);
    std::fflush(out_);
    open_ = false;
    shown_ = -1;
    drawnWidth_ = 0;
}

void ProgressBar::setLabel(std::string label) {
    if (label == label_) return;
    label_ = std::move(label);
    if (enabled_ && shown_ >= 0) draw(shown_);
}

void ProgressBar::draw(int percent) {
    std::string line = progressLine(label_, percent);
    const size_t width = line.size();
    // A shorter line than the one on screen covers the rest with spaces.
    if (width < drawnWidth_) line += std::string(drawnWidth_ - width, ' ');
    drawnWidth_ = width;
    std::fprintf(out_, "\r%s", line.c_str());
    std::fflush(out_);
    shown_ = percent;
    open_ = true;
}

}  // namespace kestrel::cli
