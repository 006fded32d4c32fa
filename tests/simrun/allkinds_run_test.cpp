// The example project with one object of every kind, compiled and run: all
// the devices see their objects at work at once.
#include "board/i2c.h"
#include "board/ledchain.h"
#include "board/meters.h"
#include "board/vgamonitor.h"
#include "generator/generator.h"
#include "model/projectfile.h"
#include "simrun_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kivo::test {
namespace {

TEST(AllKindsRun, EveryDeviceSeesItsObject)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    TempDir dir;
    std::filesystem::copy_file(std::string(KIVO_SOURCE_DIR) + "/examples/AllKinds.kivo", dir / "AllKinds.kivo");
    TestServices t;
    CKivoDoc doc;
    ASSERT_TRUE(OpenProject(dir / "AllKinds.kivo", doc, t.services));
    ASSERT_TRUE(t.Show(GenerateProject(doc, t.services)));
    CompileResult c = CompileP2(flexspin, dir.Path(), "AllKinds.c", BuildScriptOptions(dir.Path()));
    ASSERT_TRUE(c.Ok()) << c.output;

    auto run = Simulate(doc, 2.6, {"ADC1.volts=2.5", "SmartPin1.input=1"});
    EXPECT_FALSE(run->Lines("Setup complete.").empty()) << run->console;
    ASSERT_NE(run->console.find("Loop #1"), std::string::npos) << run->console;

    auto mon = run->Device<sim::VgaMonitor>("SimpleVGA1");
    ASSERT_TRUE(mon && mon->captured());
    EXPECT_EQ(mon->observations().at("mode").get<std::string>(), "640x480@60");
    EXPECT_EQ(CompareFrame(mon->frame(), Bitmap2()), 0); // the other cogs do not disturb the picture

    auto loops = run->Lines("Devices =");
    ASSERT_GE(loops.size(), 2u);
    EXPECT_EQ(run->Lines("D0 D0 ").size(), loops.size()); // the scanner finds the DS1339 on each loop
    EXPECT_FALSE(run->Lines("RTC time 2026-01-01 12:00:00").empty());
    auto bus = run->Device<sim::I2cBus>("I2CScan1");
    EXPECT_EQ(bus->observations().at("acknowledgedAddresses").at(0).get<double>(), 0x68);

    auto leds = run->Device<sim::LedChain>("Neopixel1");
    EXPECT_EQ(leds->shown(), std::vector<std::uint32_t>{0xFF3219});
    EXPECT_EQ(leds->violationCount(), 0u);

    auto nco = run->Device<sim::FrequencyCounter>("NCO_Freq1");
    EXPECT_NEAR(nco->frequency(), 13333333.320916, 2 * nco->resolution() + 1e-6);

    auto servo = run->Device<sim::PulseMeter>("Servo1");
    EXPECT_NEAR(servo->firstWidthUs(), 1500, 0.05);
    EXPECT_GE(servo->minWidthUs(), 600 - 0.05);
    EXPECT_LE(servo->maxWidthUs(), 2400 + 0.05);

    auto ins = run->Lines("SmartPin1 IN =");
    ASSERT_GE(ins.size(), 2u);
    for (std::size_t i = 0; i < ins.size(); i++)
        EXPECT_EQ(ValueOf(ins[i]), i % 2 == 0 ? 1 : 0);

    kivo::Json filters = run->Report("Filter1").at("observations").at("filters");
    for (const auto &f : filters)
        EXPECT_TRUE(f.at("set").get<bool>());

    auto dac = run->Device<sim::Voltmeter>("DAC1");
    EXPECT_NEAR(dac->first(), 122 / 255.0 * 3.3, 0.002);
    EXPECT_NEAR(dac->last(), ValueOf(run->Lines("DAC1 level =").back()) / 255.0 * 3.3, 0.002);

    auto adc = run->Lines("ADC ADC1 calibrated reading =");
    ASSERT_FALSE(adc.empty());
    EXPECT_NEAR(ValueOf(adc.back()), 2.5, 0.01);
}

} // namespace
} // namespace kivo::test
