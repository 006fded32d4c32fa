// The VGA object's driver on the simulated monitor at every clock the
// project settings offer: the monitor syncs on 640 x 480 at 60 Hz with
// negative syncs and captures the embedded bitmap2.bmp.
#include "devices/vgamonitor.h"
#include "simrun_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kivo::test {
namespace {

// bitmap2.bmp as the monitor should show it: rows top-down, R G B.
std::vector<std::uint8_t> Bitmap2()
{
    std::string bmp = ReadFileBytes(std::string(KIVO_SOURCE_DIR) + "/resources/bitmap2.bmp");
    auto le32 = [&](std::size_t at) {
        return std::uint32_t(std::uint8_t(bmp[at])) | std::uint32_t(std::uint8_t(bmp[at + 1])) << 8 |
               std::uint32_t(std::uint8_t(bmp[at + 2])) << 16 | std::uint32_t(std::uint8_t(bmp[at + 3])) << 24;
    };
    std::size_t pixels = le32(10), palette = 14 + le32(14);
    std::vector<std::uint8_t> rgb(640 * 480 * 3);
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            std::size_t i = std::uint8_t(bmp[pixels + std::size_t(479 - y) * 640 + std::size_t(x)]);
            for (int c = 0; c < 3; c++) // the table holds B, G, R
                rgb[std::size_t(y * 640 + x) * 3 + std::size_t(c)] = std::uint8_t(bmp[palette + i * 4 + std::size_t(2 - c)]);
        }
    return rgb;
}

// What a colour level becomes on the way: the driver scales it to the
// nearest of the 8-bit DAC's levels at 0.7/1.0 of full scale (1.0 V into the
// monitor's 75 Ohm), and the monitor reads 0..0.7 V as 0..255. An 8-bit DAC
// has only 179 levels below 0.7 V, so a level can come back one off.
int Shown(int v)
{
    int dac = (v * 179 + 128) >> 8;
    return std::min(255, int(std::lround(dac / 0.7)));
}

// Compares a captured frame: exactly the bitmap as shown, and never more
// than one level from the bitmap itself. Returns the number of differing
// pixels (at most a few reported).
int CompareFrame(const std::vector<std::uint8_t> &frame, const std::vector<std::uint8_t> &bitmap)
{
    int bad = 0;
    for (std::size_t i = 0; i < bitmap.size(); i++) {
        bool ok = frame[i] == Shown(bitmap[i]) && std::abs(int(frame[i]) - int(bitmap[i])) <= 1;
        if (!ok && ++bad <= 3)
            ADD_FAILURE() << "pixel " << (i / 3) % 640 << "," << i / 3 / 640 << " channel " << i % 3 << ": "
                          << int(frame[i]) << " for " << int(bitmap[i]);
    }
    return bad;
}

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
        sim::Json o = mon->observations();
        EXPECT_EQ(o.find("linesPerFrame")->number(), 525);
        EXPECT_NEAR(o.find("hsyncPixels")->number(), 96, 0.5);
        EXPECT_NEAR(o.find("vsyncLines")->number(), 2, 0.05);
        EXPECT_EQ(o.find("vBackPorchLines")->number(), 33); // the white border lights the first line
        EXPECT_EQ(o.find("vFrontPorchLines")->number(), 10);
        EXPECT_NEAR(o.find("hBackPorchPixels")->number(), 48, 0.6);
        EXPECT_NEAR(o.find("hFrontPorchPixels")->number(), 16, 0.6);
        ASSERT_TRUE(mon->captured());
        EXPECT_EQ(CompareFrame(mon->frame(), bitmap), 0);
    }
}

} // namespace
} // namespace kivo::test
