// A one-line text progress bar ("label [#####.....]  50%"), redrawn in
// place with a carriage return whenever the percentage changes. A disabled
// bar draws nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace kestrel::cli {

class ProgressBar {
public:
    ProgressBar(std::FILE* out, std::string label, uint64_t total, bool enabled);
    // Ends the line of a bar that was drawn but not finished.
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void setTotal(uint64_t total) { total_ = total; }
    // A new label (the file being copied), drawn at once over the old one.
    void setLabel(std::string label);
    void update(uint64_t done);
    // Ends the line on screen so that a message can follow; the next
    // update draws the bar again below it.
    void breakLine();
    // Draws 100% and ends the line.
    void finish();

private:
    void draw(int percent);

    std::FILE* out_;
    std::string label_;
    uint64_t total_;
    bool enabled_;
    int shown_ = -1;  // percentage on screen, -1 before the first draw
    bool open_ = false;
    size_t drawnWidth_ = 0;  // characters of the line on screen
};

}  // namespace kestrel::cli
