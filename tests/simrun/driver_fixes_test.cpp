// Driver defects found in simulated runs, each shown fixed in one: the LED
// string driver on a pin left in a smart mode, and the ADC header's
// calibration when the ADC reads another pin. (The ADC's short periods and
// 16.16 fixed point, the WS2812B windows and the VGA levels are checked in
// the kind runs.)
#include "board/ledchain.h"
#include "simrun_support.h"

#include <gtest/gtest.h>

namespace kivo::test {
namespace {

void InsertBefore(std::string &text, const std::string &at, const std::string &lines)
{
    auto p = text.find(at);
    ASSERT_NE(p, std::string::npos) << at;
    p = text.rfind('\n', p) + 1;
    text.insert(p, lines);
}

TEST(DriverFix, LedStringDrivesAPinLeftInASmartMode)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    Project p;
    ASSERT_EQ(p.Add(kNeopixel, [](CEditorModel &e) { e.UserSetText("leds", "3"); }), AddResult::Added);
    // The pin ran as an NCO output before the driver started.
    Build(p, flexspin, [](std::string &main) {
        InsertBefore(main, "neopixel.start_2812b(",
                     "    _pinstart(NEOPIXEL_PIN, P_NCO_FREQ + P_OE, 1, 0x10000000);\r\n");
    });
    auto run = Simulate(p.doc, 0.03);
    auto chain = run->Device<sim::LedChain>("Neopixel1");
    ASSERT_TRUE(chain);
    // The NCO's pulses reach the LEDs until the driver's cog takes the pin;
    // from its first latch on every bit is clean.
    EXPECT_EQ(chain->shown(), std::vector<std::uint32_t>(3, 0xFF3219));
    ASSERT_FALSE(chain->latches().empty());
    ASSERT_LT(chain->violationCount(), 1000u); // a few microseconds of NCO pulses
    for (const auto &v : chain->violations())
        EXPECT_LT(v.at, chain->latches().front().at) << v.text;
}

TEST(DriverFix, AdcOnAnotherPinUsesTheNominalScale)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    for (int filter : {0, 1, 2}) {
        SCOPED_TRACE(filter);
        Project p;
        ASSERT_EQ(p.Add(kADC,
                        [filter](CEditorModel &e) {
                            e.UserChoose("source", 1); // Pin# +1
                            e.UserChoose("filter", filter);
                        }),
                  AddResult::Added);
        // The source pin runs its own ADC, as the editor's note asks.
        Build(p, flexspin, [](std::string &main) {
            InsertBefore(main, "ADC_Start", "    _pinstart(ADC1_AnalogPin + 1, P_ADC_1X | P_ADC, 13, 0);\r\n");
        });
        for (double v : {0.5, 2.5}) {
            auto run = Simulate(p.doc, 0.25, {"ADC1.volts=" + std::to_string(v)});
            auto printed = run->Lines("ADC ADC1 calibrated reading =");
            ASSERT_FALSE(printed.empty()) << run->console;
            EXPECT_NEAR(ValueOf(printed[0]), v, 0.01) << printed[0];
        }
    }
}

} // namespace
} // namespace kivo::test
