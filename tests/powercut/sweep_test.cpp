// The power-cut sweep, sampled: every k-th card operation of the workload
// and every operation of one copy-on-write rewrite and of one release of a
// file's blocks. And the sweep's own tools: reading fsck.fat's report and
// choosing the cuts.
#include "tests/powercut/fsck_report.h"
#include "tests/powercut/sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

namespace kestrel::powercut {

namespace {

// The steps whose every operation is cut: a copy-on-write rewrite (fresh
// block erased, sectors copied, old block released) and a removal (the
// file's clusters freed in the FAT copies).
const std::vector<std::string> WINDOW_STEPS = {"overwrite in place OLD2.BIN", "remove DOCS\\BIG.DAT"};
constexpr uint32_t SAMPLED_CUTS = 40;

}  // namespace

TEST(FsckReportTest, LostClustersAreCountedAndEveryOtherComplaintIsAProblem) {
    const auto clean = readFsckOutput("fsck.fat 4.2 (2021-01-31)\nimg: 3 files, 10/1988 clusters\n");
    EXPECT_EQ(clean.lostClusters, 0u);
    EXPECT_TRUE(clean.problems.empty());

    const auto lost = readFsckOutput(
        "fsck.fat 4.2 (2021-01-31)\nReclaimed 1 unused cluster (2048 bytes).\nReclaimed 12 unused clusters "
        "(24576 bytes) in 3 chains.\n\nLeaving filesystem unchanged.\nimg: 0 files, 0/1988 clusters\n");
    EXPECT_EQ(lost.lostClusters, 13u);
    EXPECT_TRUE(lost.problems.empty());

    const auto shared = readFsckOutput(
        "fsck.fat 4.2 (2021-01-31)\n/A.BIN and\n  /B.BIN\n  share clusters.\n  Truncating second to 0 bytes.\n"
        "/C.BIN\n  Contains a free cluster (7). Assuming EOF.\nReclaimed 2 unused clusters (4096 bytes).\n"
        "img: 3 files, 10/1988 clusters\n");
    ASSERT_EQ(shared.problems.size(), 2u);
    EXPECT_NE(shared.problems[0].find("share clusters"), std::string::npos) << shared.problems[0];
    EXPECT_NE(shared.problems[1].find("free cluster"), std::string::npos) << shared.problems[1];
    EXPECT_EQ(shared.lostClusters, 2u);

    const auto between = readFsckOutput(
        "fsck.fat 4.2 (2021-01-31)\nFATs differ but appear to be intact.\n  Using first FAT.\n/A.BIN\n  File size "
        "is 0 bytes, cluster chain length is > 0 bytes.\n  Truncating file to 0 bytes.\n/B.BIN\n  File size is 100 "
        "bytes, cluster chain length is 0 bytes.\n  Truncating file to 0 bytes.\nFATs differ - using first FAT.\n");
    EXPECT_EQ(between.longChains, 1u);
    EXPECT_EQ(between.fatCopiesDiffer, 1u);
    ASSERT_EQ(between.problems.size(), 2u) << "a chain shorter than the size, a FAT copy not intact";
    EXPECT_NE(between.problems[0].find("/B.BIN"), std::string::npos);
}

TEST(FsckReportTest, AVolumeWithoutABootSectorIsAProblem) {
    const std::string image =
        (std::filesystem::temp_directory_path() / ("kestrel-fsck-" + std::to_string(std::random_device{}()))).string();
    {
        std::FILE* out = std::fopen(image.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        const std::vector<uint8_t> zeros(64 * 1024, 0);
        std::fwrite(zeros.data(), 1, zeros.size(), out);
        std::fclose(out);
    }
    const auto report = runFsck(image);
    std::filesystem::remove(image);
    EXPECT_FALSE(report.problems.empty());
}

TEST(ChooseCutsTest, EveryKthPlusWholeWindowsAscendingWithoutRepeats) {
    const std::vector<StepSpan> spans = {{"a", 3, 6}, {"b", 9, 9}, {"c", 10, 12}};
    EXPECT_EQ(chooseCuts(12, 5, spans), (std::vector<uint32_t>{1, 4, 5, 6, 11, 12}));
    EXPECT_EQ(chooseCuts(3, 1, {}), (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(spansNamed(spans, {"c", "a"}).size(), 2u);
    EXPECT_EQ(spansNamed(spans, {"c"}).front().first, 10u);
}

TEST(PowerCutSweepTest, SampledCutsLeaveFinishedFilesAndAConsistentVolume) {
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("kestrel-powercut-" + std::to_string(std::random_device{}())))
            .string();
    PowerCutSweep sweep({4, 1, folder});
    std::string error;
    ASSERT_TRUE(sweep.prepare(&error)) << error;
    const uint32_t k = sweep.operations();
    ASSERT_GT(k, 100u);
    const auto windows = spansNamed(sweep.spans(), WINDOW_STEPS);
    ASSERT_EQ(windows.size(), WINDOW_STEPS.size());
    for (const auto& w : windows) EXPECT_GT(w.last, w.first) << w.name << " does card work";

    const auto cuts = chooseCuts(k, std::max<uint32_t>(1, k / SAMPLED_CUTS), windows);
    uint32_t files = 0, failed = 0;
    for (const uint32_t n : cuts) {
        const CutResult r = sweep.cutAt(n);
        EXPECT_TRUE(r.powerLost) << "cut " << n << " of " << k;
        files += r.filesChecked;
        failed += !r.failures.empty();
        for (const auto& f : r.failures) ADD_FAILURE() << "cut " << n << " (" << r.step << "): " << f;
    }
    EXPECT_GT(files, cuts.size()) << "files were checked";
    EXPECT_EQ(sweep.cutAt(k + 1).powerLost, false) << "a cut beyond the workload never comes";
    std::printf("K = %u, cuts = %zu, files checked = %u, failed cuts = %u\n", k, cuts.size(), files, failed);
}

}  // namespace kestrel::powercut
