#include "chip/time.h"

#include <gtest/gtest.h>

using kivo::sim::TimeBase;

TEST(TimeBase, SecondsFollowTheClockChanges)
{
    TimeBase t(20e6);
    t.setFrequency(200000, 160e6); // 10 ms of RCFAST, then the PLL
    EXPECT_DOUBLE_EQ(t.seconds(200000), 0.01);
    EXPECT_DOUBLE_EQ(t.seconds(200000 + 160000000), 1.01);
    EXPECT_EQ(t.clockAt(1.01), 200000u + 160000000u);
    EXPECT_EQ(t.clockAt(0.005), 100000u);
    EXPECT_DOUBLE_EQ(t.frequencyAt(100), 20e6);
}

TEST(TimeBase, ClockChangesInALoopKeepTheListBoundedAndTheSecondsRight)
{
    TimeBase t(20e6);
    constexpr int kChanges = 100000;
    for (int i = 1; i <= kChanges; ++i)
        t.setFrequency(kivo::sim::Clock(i) * 100, i % 2 ? 40e6 : 20e6);
    t.setFrequency(kivo::sim::Clock(kChanges) * 100 + 50, 40e6); // no change: no segment
    EXPECT_LE(t.segmentCount(), 2 * TimeBase::kExactSegments);
    // 100 clocks at 20 MHz, then 100 at 40 MHz, by turns: 7.5 µs per pair.
    const double pairs = kChanges / 2;
    EXPECT_NEAR(t.seconds(kivo::sim::Clock(kChanges) * 100), pairs * 7.5e-6, 1e-12);
    EXPECT_NEAR(t.seconds(2000), 10 * 7.5e-6, 1e-15); // an old, merged boundary
    EXPECT_NEAR(double(t.clockAt(pairs * 7.5e-6)), kChanges * 100.0, 1.0);
    EXPECT_DOUBLE_EQ(t.frequencyAt(kivo::sim::Clock(kChanges) * 100 + 10), 20e6);
}
