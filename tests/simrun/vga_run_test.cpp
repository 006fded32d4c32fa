// The VGA object's driver on the simulated monitor at every clock the
// project settings offer: the monitor syncs on 640 x 480 at 60 Hz with
// negative syncs and captures the embedded bitmap2.bmp.
#include "board/vgamonitor.h"
#include "simrun_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kivo::test {
namespace {

TEST(VgaRun, MonitorCapturesBitmap2AtEveryOfferedClock)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const auto bitmap = Bitmap2();
    for (const char *clock : {"100000000", "160000000", "200000000", "297000000", "300000000"}) {
        SCOPED_TRACE(clock);
        Project p;
        p.doc.m_strClockFreq = clock;
        ASSERT_EQ(p.Add(kSimpleVGA), AddResult::Added);
        Build(p, flexspin);
        auto run = Simulate(p.doc, 0.09);
        auto mon = run->Device<sim::VgaMonitor>("SimpleVGA1");
        ASSERT_TRUE(mon);
        EXPECT_FALSE(run->Lines("VGA Driver started.").empty());
        EXPECT_TRUE(mon->hsyncNegative());
        EXPECT_TRUE(mon->vsyncNegative());
        EXPECT_NEAR(mon->lineHz(), 31469, 31469 * 0.001);
        EXPECT_NEAR(mon->frameHz(), 59.94, 59.94 * 0.001);
        kivo::Json o = mon->observations();
        EXPECT_EQ(o.at("linesPerFrame").get<double>(), 525);
        EXPECT_NEAR(o.at("hsyncPixels").get<double>(), 96, 0.5);
        EXPECT_NEAR(o.at("vsyncLines").get<double>(), 2, 0.05);
        EXPECT_EQ(o.at("vBackPorchLines").get<double>(), 33); // the white border lights the first line
        EXPECT_EQ(o.at("vFrontPorchLines").get<double>(), 10);
        EXPECT_NEAR(o.at("hBackPorchPixels").get<double>(), 48, 0.6);
        EXPECT_NEAR(o.at("hFrontPorchPixels").get<double>(), 16, 0.6);
        ASSERT_TRUE(mon->captured());
        EXPECT_EQ(CompareFrame(mon->frame(), bitmap), 0);
    }
}

} // namespace
} // namespace kivo::test
