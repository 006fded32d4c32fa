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
