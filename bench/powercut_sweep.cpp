// powercut_sweep: the whole power-cut sweep (every card operation of the
// workload, or every k-th), with its figures. See tests/powercut/sweep.h.
#include "platform/clock.h"
#include "tests/powercut/sweep.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr const char* HELP =
    "usage: powercut_sweep [--every K] [--size MB] [--seed S] [--first N] [--last N] [--verbose]\n"
    "\n"
    "Makes a card that holds files, runs the workload (create, write in several sizes,\n"
    "append, overwrite in place and by replacing, rename, long name, remove, make and\n"
    "remove directories) once through the library's exported functions to count its\n"
    "card operations K, then for every K-th cut N in FIRST..LAST (default: all of\n"
    "1..K) loses power at operation N, starts the device again and checks: the volume\n"
    "mounts (the library's mount repairs what a cut can leave), every file finished\n"
    "before the cut reads back byte for byte, then fsck.fat -n finds no cross-linked\n"
    "clusters and no damaged directory.\n"
    "\n"
    "  --every K   try every K-th operation (default 1)\n"
    "  --size MB   card size (default 4)\n"
    "  --seed S    how far the interrupted operation got, with N (default 1)\n"
    "  --verbose   every failure of every failing cut (default: the first)\n"
    "\n"
    "Prints K, the cuts tried, the files checked, lost clusters per cut (median, max)\n"
    "and the failing cuts; chains longer than their file and FAT copies that differ\n"
    "while both are intact are counted, not failures. Exit status: 0 no failures, 1 failures, 2 bad command line.\n"
    "KESTREL_TIME_SCALE defaults to 0.01 here.\n";

bool number(const char* text, uint32_t& value) {
    char* end = nullptr;
    const unsigned long n = std::strtoul(text, &end, 0);
    if (end == text || *end != '\0') return false;
    value = static_cast<uint32_t>(n);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t every = 1, sizeMb = 4, seed = 1, first = 1, last = 0;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(HELP, stdout);
            return 0;
        }
        uint32_t* target = arg == "--every" ? &every
                           : arg == "--size" ? &sizeMb
                           : arg == "--seed" ? &seed
                           : arg == "--first" ? &first
                           : arg == "--last"  ? &last
                                              : nullptr;
        if (arg == "--verbose") {
            verbose = true;
        } else if (!target || i + 1 >= argc || !number(argv[++i], *target) || (target == &every && every == 0)) {
            std::fputs(HELP, stderr);
            return 2;
        }
    }
    setenv("KESTREL_TIME_SCALE", "0.01", 0);

    const std::string folder =
        (std::filesystem::temp_directory_path() / ("kestrel-powercut-" + std::to_string(std::random_device{}())))
            .string();
    kestrel::powercut::PowerCutSweep sweep({sizeMb, seed, folder});
    std::string error;
    if (!sweep.prepare(&error)) {
        std::fprintf(stderr, "powercut_sweep: %s\n", error.c_str());
        return 1;
    }
    const uint32_t k = sweep.operations();
    last = last == 0 ? k : std::min(last, k);
    std::printf("%u MB card, K = %u card operations (programs and erases); steps:\n", sizeMb, k);
    for (const auto& span : sweep.spans()) std::printf("  %5u..%5u  %s\n", span.first + 1, span.last, span.name.c_str());

    std::vector<double> lost;
    uint32_t cuts = 0, files = 0, failing = 0, longChains = 0, fatCopies = 0;
    const uint64_t start = kestrel::platform::realMs();
    for (uint32_t n = first; n <= last; n += every) {
        const auto r = sweep.cutAt(n);
        ++cuts;
        files += r.filesChecked;
        lost.push_back(r.lostClusters);
        longChains += r.longChains != 0;
        fatCopies += r.fatCopiesDiffer != 0;
        if (r.failures.empty()) continue;
        ++failing;
        const size_t shown = verbose ? r.failures.size() : 1;
        for (size_t i = 0; i < shown; ++i)
            std::printf("cut %5u  %-30s %s\n", n, r.step.c_str(), r.failures[i].c_str());
    }
    std::sort(lost.begin(), lost.end());
    std::printf("K = %u, cuts tried = %u, files checked = %u, lost clusters per cut: median %.0f, max %.0f, "
                "failing cuts = %u (%.1f s)\n",
                k, cuts, files, lost.empty() ? 0.0 : lost[lost.size() / 2], lost.empty() ? 0.0 : lost.back(),
                failing, static_cast<double>(kestrel::platform::realMs() - start) / 1000.0);
    std::printf("accepted: cuts leaving a chain longer than its file = %u, cuts leaving the FAT copies different "
                "(both intact) = %u\n",
                longChains, fatCopies);
    return failing == 0 ? 0 : 1;
}
