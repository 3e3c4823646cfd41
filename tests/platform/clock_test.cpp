#include "platform/clock.h"

#include <gtest/gtest.h>

using namespace kestrel::platform;

TEST(TimeScaleText, AcceptsPositiveNumbersAndFallsBackToOne) {
    EXPECT_DOUBLE_EQ(parseTimeScale("0.01"), 0.01);
    EXPECT_DOUBLE_EQ(parseTimeScale("2.5"), 2.5);
    for (const char* bad : {"", "0", "-1", "abc", "0.5x", " 0.5", "nan", "inf"})
        EXPECT_DOUBLE_EQ(parseTimeScale(bad), 1.0) << '"' << bad << '"';
    EXPECT_DOUBLE_EQ(parseTimeScale(nullptr), 1.0);
}

// The tests run with KESTREL_TIME_SCALE=0.01 (see kestrel_add_gtest).
class ScaledClock : public ::testing::Test {
protected:
    void SetUp() override {
        if (timeScale() != 0.01) GTEST_SKIP() << "needs KESTREL_TIME_SCALE=0.01";
    }
};

TEST_F(ScaledClock, ScalesWaitsAndKeepsTheSpecialValues) {
    EXPECT_EQ(scaledMs(5000), 50u);
    EXPECT_EQ(scaledMs(15000), 150u);
    EXPECT_EQ(scaledMs(150), 2u);  // 1.5 rounds up
    EXPECT_EQ(scaledMs(1), 1u);    // never shorter than a millisecond
    EXPECT_EQ(scaledMs(0), 0u);
    EXPECT_EQ(scaledMs(WAIT_FOREVER), WAIT_FOREVER);
    EXPECT_EQ(scaledMs(WAIT_FOREVER - 1), 42949673u);
}

TEST_F(ScaledClock, SleepIsShortInRealTimeAndFullInProductTime) {
    const uint64_t tick0 = tickMs();
    const uint64_t real0 = realMs();
    sleepMs(1000);
    const uint64_t ticks = tickMs() - tick0;
    const uint64_t real = realMs() - real0;
    EXPECT_GE(ticks, 999u);
    EXPECT_GE(real, 9u);
    EXPECT_LT(real, 900u);
}
