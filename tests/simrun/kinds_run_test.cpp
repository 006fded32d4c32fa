// Each object kind alone in a generated project, compiled with FlexSpin and
// run on the simulated board: the device on its pins sees what the object is
// meant to do.
#include "board/ds1339.h"
#include "board/i2c.h"
#include "board/ledchain.h"
#include "board/meters.h"
#include "kinds/nco/slots.h"
#include "simrun_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kivo::test {
namespace {

using sim::FrequencyCounter;
using sim::I2cBus;
using sim::LedChain;
using sim::LogicProbe;
using sim::PulseMeter;
using sim::Voltmeter;

Setter Fields(std::vector<std::pair<std::string, std::string>> fields)
{
    return [fields](CEditorModel &e) {
        for (auto &[key, value] : fields) {
            const FieldSpec *f = e.FindField(key);
            ASSERT_NE(f, nullptr) << key;
            switch (f->type) {
            case FieldType::Flag:
                e.UserSetFlag(key, value == "1");
                break;
            case FieldType::Choice:
                e.UserChoose(key, std::stoi(value));
                break;
            case FieldType::Slider:
                e.UserSlide(key, std::stoi(value));
                break;
            default:
                e.UserSetText(key, value);
            }
        }
    };
}

TEST(KindRun, NcoCounterSeesTheEditorsFrequency)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    for (const char *desired : {"12000000", "1000000", "1000", "440"}) {
        SCOPED_TRACE(desired);
        Project p;
        ASSERT_EQ(p.Add(kNCO, Fields({{"desired", desired}})), AddResult::Added);
        Build(p, flexspin);
        auto run = Simulate(p.doc, 0.06);
        auto counter = run->Device<FrequencyCounter>("NCO_Freq1");
        ASSERT_TRUE(counter);
        double expected = std::atof(NcoSlots(p.Object(0)).Resulting().c_str());
        ASSERT_GT(counter->rises(), 10u);
        EXPECT_NEAR(counter->frequency(), expected, 2 * counter->resolution() + 1e-6);
        EXPECT_NEAR(counter->duty(), 0.5, 0.01);
        EXPECT_FALSE(run->Lines("NCO Frequency Smart Pin started.").empty());
    }
}

TEST(KindRun, ServoStartsAtItsPositionAndMovesWithinRange)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    struct Case {
        std::vector<std::pair<std::string, std::string>> fields;
        double startUs;
    } cases[] = {
        {{{"position", "90"}, {"random", "0"}}, 1500},
        {{{"position", "0"}, {"random", "0"}}, 600},
        {{{"position", "180"}, {"random", "0"}}, 2400},
        {{{"units", "1"}, {"position", "140"}, {"random", "0"}}, 2000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.startUs);
        Project p;
        ASSERT_EQ(p.Add(kServo, Fields(c.fields)), AddResult::Added);
        Build(p, flexspin);
        auto run = Simulate(p.doc, 1.5);
        auto meter = run->Device<PulseMeter>("Servo1");
        ASSERT_TRUE(meter);
        ASSERT_GT(meter->pulses(), 20u);
        EXPECT_NEAR(meter->firstWidthUs(), c.startUs, 0.05);
        EXPECT_NEAR(meter->lastWidthUs(), c.startUs, 0.05);
        EXPECT_NEAR(meter->lastPeriodMs(), 20.0, 0.001);
    }
    // Random moves: each loop moves by -5..+5 units, always inside 600..2400 us.
    Project p;
    ASSERT_EQ(p.Add(kServo, Fields({{"position", "2"}})), AddResult::Added);
    Build(p, flexspin);
    auto run = Simulate(p.doc, 6.5);
    auto meter = run->Device<PulseMeter>("Servo1");
    ASSERT_TRUE(meter);
    EXPECT_NEAR(meter->firstWidthUs(), 620, 0.05);
    EXPECT_GE(meter->minWidthUs(), 600 - 0.05);
    EXPECT_LE(meter->maxWidthUs(), 2400 + 0.05);
    auto printed = run->Lines("Servo Position =");
    ASSERT_GE(printed.size(), 5u);
    // The meter's last width is the last position the program printed.
    EXPECT_NEAR(meter->lastWidthUs(), ValueOf(printed.back()) * 10 + 600, 0.05);
    EXPECT_GT(meter->widths().size(), 1u);
}

TEST(KindRun, DigitalPinTogglesAndReadsBack)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    Project p;
    ASSERT_EQ(p.Add(kDigital, Fields({{"pin", "39"}})), AddResult::Added);
    Build(p, flexspin);
    auto run = Simulate(p.doc, 4.5);
    auto probe = run->Device<LogicProbe>("SmartPin1");
    ASSERT_TRUE(probe);
    auto printed = run->Lines("SmartPin1 IN =");
    ASSERT_GE(printed.size(), 4u);
    for (std::size_t i = 0; i < printed.size(); i++)
        EXPECT_EQ(ValueOf(printed[i]), i % 2 == 0 ? 1 : 0) << printed[i];
    EXPECT_EQ(probe->transitions(), printed.size());
    EXPECT_EQ(probe->level(), printed.size() % 2 == 1);

    // An input driven high through the probe's 1 k: the floating pin reads
    // high from the start, except while _pinstart drives it low for a moment;
    // the first toggle (to high) makes no edge.
    auto driven = Simulate(p.doc, 2.5, {"SmartPin1.input=1"});
    kivo::Json o = driven->Report("SmartPin1").at("observations");
    EXPECT_LT(o.at("firstChangeS").get<double>(), 0.001);
    EXPECT_EQ(o.at("inputDriven").get<double>(), 1);
    auto ins = driven->Lines("SmartPin1 IN =");
    ASSERT_GE(ins.size(), 2u);
    EXPECT_EQ(o.at("falls").get<double>(), double(1 + ins.size() / 2));
}

TEST(KindRun, FiltersAreSetAsTheProgramSetsThem)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    Project p;
    ASSERT_EQ(p.Add(kFilters, Fields({{"length0", "3"},
                                      {"tap0", "5"},
                                      {"set1", "0"},
                                      {"length2", "1"},
                                      {"tap2", "31"},
                                      {"length3", "2"},
                                      {"tap3", "7"}})),
              AddResult::Added);
    Build(p, flexspin);
    auto run = Simulate(p.doc, 0.3);
    kivo::Json f = run->Report("Filter1").at("observations").at("filters");
    ASSERT_EQ(f.size(), 4u);
    const int expect[4][3] = {{1, 3, 5}, {0, 0, 0}, {1, 1, 31}, {1, 2, 7}}; // set, length code, tap
    for (int n = 0; n < 4; n++) {
        const kivo::Json &one = f[std::size_t(n)];
        EXPECT_EQ(one.at("set").get<bool>(), expect[n][0] == 1) << n;
        if (expect[n][0]) {
            EXPECT_EQ(one.at("lengthCode").get<double>(), expect[n][1]) << n;
            EXPECT_EQ(one.at("tap").get<double>(), expect[n][2]) << n;
        }
    }
    EXPECT_EQ(f[0].at("length").get<double>(), 8);
}

TEST(KindRun, DacVoltmeterReadsEachDriveAndTheRandomLevels)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const double fullScale[4] = {3.3, 2.0, 3.3, 2.0};
    for (int drive = 0; drive < 4; drive++) {
        SCOPED_TRACE(drive);
        Project p;
        ASSERT_EQ(p.Add(kDAC, Fields({{"drive", std::to_string(drive)}, {"level", "200"}, {"random", "0"}})),
                  AddResult::Added);
        Build(p, flexspin);
        auto run = Simulate(p.doc, 0.2);
        auto meter = run->Device<Voltmeter>("DAC1");
        ASSERT_TRUE(meter && meter->measured());
        EXPECT_NEAR(meter->first(), 200 / 255.0 * fullScale[drive], 0.002);
        EXPECT_NEAR(meter->last(), meter->first(), 1e-9);
    }
    Project p;
    ASSERT_EQ(p.Add(kDAC, Fields({{"level", "122"}})), AddResult::Added);
    Build(p, flexspin);
    auto run = Simulate(p.doc, 3.5);
    auto meter = run->Device<Voltmeter>("DAC1");
    auto printed = run->Lines("DAC1 level =");
    ASSERT_GE(printed.size(), 3u);
    EXPECT_NEAR(meter->first(), 122 / 255.0 * 3.3, 0.002);
    EXPECT_NEAR(meter->last(), ValueOf(printed.back()) / 255.0 * 3.3, 0.002);
    double lo = 122, hi = 122;
    for (auto &l : printed) {
        lo = std::min(lo, ValueOf(l));
        hi = std::max(hi, ValueOf(l));
    }
    EXPECT_NEAR(meter->lowest(), lo / 255.0 * 3.3, 0.002);
    EXPECT_NEAR(meter->highest(), hi / 255.0 * 3.3, 0.002);
}

// ADC: a reading is within two counts of the source voltage. A
// count is VIO over the GIO..VIO span of the full count (n + 1 bits for
// sampling and SINC2, 2n bits for SINC3, with a period of 2^n clocks).
double AdcCountVolts(int filter, int n)
{
    double full = filter == 2 ? std::ldexp(1.0, 2 * n) : std::ldexp(1.0, n + 1);
    return 3.3 / (0.8 * full);
}

struct AdcCase {
    int filter, exponent;
    bool fixed;
    double volts;
};

void PrintTo(const AdcCase &c, std::ostream *os)
{
    *os << "filter " << c.filter << " n " << c.exponent << (c.fixed ? " --fixed" : "") << " " << c.volts << " V";
}

class AdcRun : public ::testing::TestWithParam<AdcCase>
{
};

TEST_P(AdcRun, CalibratedReadingFollowsTheSource)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const AdcCase &c = GetParam();
    Project p;
    if (c.fixed)
        p.doc.m_bUseFlexOptions = 1; // the default options include --fixed
    ASSERT_EQ(p.Add(kADC, Fields({{"filter", std::to_string(c.filter)}, {"exponent", std::to_string(c.exponent)}})),
              AddResult::Added);
    Build(p, flexspin);
    char set[40];
    std::snprintf(set, sizeof set, "ADC1.volts=%g", c.volts);
    auto run = Simulate(p.doc, 0.25, {set});
    auto printed = run->Lines("ADC ADC1 calibrated reading =");
    ASSERT_FALSE(printed.empty()) << run->console;
    EXPECT_NEAR(ValueOf(printed.front()), c.volts, 2 * AdcCountVolts(c.filter, c.exponent) + 0.001) << printed.front();
}

std::vector<AdcCase> AdcCases()
{
    std::vector<AdcCase> cases;
    for (int n = 1; n <= 13; n++)
        cases.push_back({0, n, false, 1.65});
    for (int n = 4; n <= 13; n++)
        cases.push_back({1, n, false, 1.65});
    for (int n = 4; n <= 9; n++)
        cases.push_back({2, n, false, 1.65});
    for (AdcCase c : {AdcCase{0, 13, true, 2.5}, AdcCase{1, 13, true, 0.4}, AdcCase{1, 4, true, 2.5},
                      AdcCase{2, 9, true, 3.0}, AdcCase{2, 4, true, 1.0}, AdcCase{1, 8, false, 0.3}})
        cases.push_back(c);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Periods, AdcRun, ::testing::ValuesIn(AdcCases()), [](const auto &info) {
    const AdcCase &c = info.param;
    return std::string(c.filter == 0   ? "Sampling"
                       : c.filter == 1 ? "Sinc2"
                                       : "Sinc3") +
           std::to_string(c.exponent) + (c.fixed ? "Fixed" : "") + "_" + std::to_string(int(c.volts * 100)) + "cV";
});

TEST(KindRun, ScannerFindsTheRtcOnEveryPullUpAndSpeed)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    struct Case {
        int pullup;
        const char *speed;
        bool rtc;
    } cases[] = {{0, "100", true}, {1, "100", true},  {2, "100", true}, {3, "100", true},
                 {1, "400", true}, {1, "1000", true}, {1, "400", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.pullup) + " " + c.speed + (c.rtc ? " with RTC" : ""));
        Project p;
        ASSERT_EQ(p.Add(kI2CBus, Fields({{"pullup", std::to_string(c.pullup)}, {"speed", c.speed}})), AddResult::Added);
        if (c.rtc) {
            ASSERT_EQ(p.Add(kRTC, Fields({{"bus", "0"}})), AddResult::Added);
        }
        Build(p, flexspin);
        auto run = Simulate(p.doc, 0.6);
        auto row = run->Lines("D0 ");
        ASSERT_EQ(row.size(), 1u) << run->console;
        EXPECT_EQ(row[0].substr(0, 6), c.rtc ? "D0 D0 " : "D0 .. ");
        auto count = run->Lines("Devices =");
        ASSERT_FALSE(count.empty());
        EXPECT_EQ(ValueOf(count[0]), c.rtc ? 1 : 0);
        auto bus = run->Device<I2cBus>("I2CScan1");
        ASSERT_TRUE(bus);
        // 112 probes of one scan, each an address byte with its ACK or NACK.
        int probes = 0, acked = 0;
        for (const auto &t : bus->transactions())
            if (t.bytes.empty() && !t.read) {
                probes++;
                acked += t.acked;
                if (t.acked) {
                    EXPECT_EQ(t.address, 0x68);
                }
            }
        EXPECT_GE(probes, 112);
        EXPECT_EQ(acked > 0, c.rtc);
    }
}

TEST(KindRun, RtcTimeFollowsTheDs1339AndSetTimeIsRecorded)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    for (bool setTime : {false, true}) {
        SCOPED_TRACE(setTime ? "set time" : "read only");
        Project p;
        ASSERT_EQ(p.Add(kI2CBus, Fields({{"pullup", "1"}})), AddResult::Added);
        ASSERT_EQ(p.Add(kRTC, Fields({{"bus", "0"}, {"settime", setTime ? "1" : "0"}})), AddResult::Added);
        Build(p, flexspin);
        auto run = Simulate(p.doc, 3.5);
        auto bus = run->Device<I2cBus>("I2CScan1");
        ASSERT_TRUE(bus);
        kivo::Json rtc = run->Report("RTC1").at("observations");
        EXPECT_EQ(rtc.at("startTime").get<std::string>(), "2026-01-01 12:00:00");
        const kivo::Json &sets = rtc.at("setTimeWrites");
        // The test clock says Wednesday 2026-12-09 13:45:30 at generation.
        std::string expectStart = setTime ? "2026-12-09 13:45:3" : "2026-01-01 12:00:0";
        if (setTime) {
            ASSERT_EQ(sets.size(), 1u);
            EXPECT_EQ(sets[0].at("time").get<std::string>(), "2026-12-09 13:45:30");
            EXPECT_EQ(sets[0].at("wday").get<double>(), 4);
        } else {
            EXPECT_EQ(sets.size(), 0u);
        }
        auto read = run->Lines("RTC time ");
        ASSERT_EQ(read.size(), 1u);
        EXPECT_NE(read[0].find("2026-01-01 12:00:00"), std::string::npos) << read[0];
        // Each loop prints the time the software clock counts from the chip's.
        auto printed = run->Lines(setTime ? " Wed Dec 09 13:45:" : " Thu Jan 01 12:00:");
        ASSERT_GE(printed.size(), 3u) << run->console;
        std::string end = rtc.at("timeAtEnd").get<std::string>();
        int endSec = std::atoi(end.substr(17, 2).c_str());
        int lastSec = std::atoi(printed.back().substr(18, 2).c_str());
        EXPECT_EQ(end.substr(0, 17), std::string(setTime ? "2026-12-09 13:45:" : "2026-01-01 12:00:"));
        EXPECT_GE(lastSec, endSec - 2);
        EXPECT_LE(lastSec, endSec);
    }
}

TEST(KindRun, LedStringShowsTheColourWithoutTimingViolations)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    for (int type = 0; type < 5; type++) {
        SCOPED_TRACE(type);
        Project p;
        ASSERT_EQ(
            p.Add(
                kNeopixel,
                Fields(
                    {{"type", std::to_string(type)}, {"leds", "4"}, {"red", "200"}, {"green", "17"}, {"blue", "90"}})),
            AddResult::Added);
        Build(p, flexspin);
        auto run = Simulate(p.doc, 0.03);
        auto chain = run->Device<LedChain>("Neopixel1");
        ASSERT_TRUE(chain);
        ASSERT_GE(chain->latchCount(), 2u);
        EXPECT_EQ(chain->shown(), std::vector<std::uint32_t>(4, 0xC8115A));
        EXPECT_EQ(chain->violationCount(), 0u) << (chain->violations().empty() ? "" : chain->violations().front().text);
    }
}

} // namespace
} // namespace kivo::test
