// format: a fresh file system on the card, with a progress bar over the
// physical format.
#include "tools/commands.h"
#include "tools/device_path.h"
#include "tools/failure.h"
#include "tools/oryx_result.h"
#include "tools/progress_bar.h"

#include "oryx/oryx.h"

#include <algorithm>
#include <cinttypes>

namespace kestrel::cli {

namespace {

constexpr size_t LABEL_MAX = 11;
// What FAT volumes carry when they have no label (spaces alone are not a
// valid label to other FAT tools).
constexpr const char* NO_LABEL = "NO NAME";

// The bar the library's progress function draws on. The function takes no
// context, so the bar is reached through this pointer while a format runs
// (the library calls it on the caller's thread, inside mt_smFormatVol).
ProgressBar* formatBar = nullptr;

uint32_t ORYX_CALL formatProgress(uint32_t blocks, uint32_t current) {
    if (formatBar) {
        formatBar->setTotal(blocks);
        formatBar->update(std::min(current + 1, blocks));
    }
    return 0;
}

class ActiveBar {
public:
    explicit ActiveBar(ProgressBar& bar) { formatBar = &bar; }
    ~ActiveBar() { formatBar = nullptr; }
    ActiveBar(const ActiveBar&) = delete;
    ActiveBar& operator=(const ActiveBar&) = delete;
};

}  // namespace

// Labels hold capitals, digits, spaces and the other short-name characters.
std::string labelArgument(const std::string& text) {
    if (text.size() > LABEL_MAX) usageError("the label '" + text + "' is longer than 11 characters");
    const std::string label = upperAscii(text);
    const bool usable = std::all_of(label.begin(), label.end(), [](char c) {
        return c == ' ' || isShortName(std::string(1, c));
    });
    if (!usable) usageError("the label '" + text + "' holds a character that labels cannot hold");
    return label;
}

void checkFormatArguments(const Arguments& args) { (void)labelArgument(args.value("--label").value_or("")); }

int runFormat(CommandContext& context) {
    std::string label = labelArgument(context.args.value("--label").value_or(""));
    if (label.find_first_not_of(' ') == std::string::npos) label = NO_LABEL;
    const bool full = context.args.flag("--full");
    uint32_t badBlocks = 0;
    {
        ProgressBar bar(context.err, full ? "full format" : "format", 1, context.progress);
        ActiveBar active(bar);
        checkOryx(mt_smFormatVol(ORYX_ROOT, label.c_str(), full ? 1 : 0, &badBlocks, formatProgress),
                  "cannot format the card");
        bar.finish();
    }
    oryx_volume_info info{};
    checkOryx(mt_smGetVolInfo(ORYX_ROOT, &info), "formatted, but the new volume cannot be read");
    std::fprintf(context.out, "formatted: %" PRIu32 " bytes free, bad blocks: %" PRIu32 "\n",
                 static_cast<uint32_t>(info.freeBytes), badBlocks);
    return EXIT_OK;
}

}  // namespace kestrel::cli
