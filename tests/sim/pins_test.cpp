// Plain pins driven directly: DIR/OUT of the cogs, the input selectors, logic
// and filters, drive strengths against the devices' drives (wired-AND), and the
// delivery of changes to devices.
#include "chip/device.h"
#include "chip/pins.h"
#include "chip/time.h"
#include "dacload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace kivo::sim;

namespace {

constexpr std::uint64_t bit(int pin) { return std::uint64_t(1) << pin; }

struct PlainPins : ::testing::Test {
    TimeBase time{160e6};
    Pins pins{time};
    bool in(int pin, Clock at) { return pins.in(at) >> pin & 1; }
};

// Counts what a device is told.
class Watcher : public Device
{
public:
    explicit Watcher(int pin) : m_pin(pin) {}
    std::vector<int> pins() const override { return {m_pin}; }
    void pinChanged(int pin, Clock at) override { seen.push_back({pin, at, m_pins->level(pin), m_pins->voltage(pin)}); }
    struct Seen {
        int pin;
        Clock at;
        bool level;
        double volts;
    };
    std::vector<Seen> seen;

private:
    int m_pin;
};

} // namespace

TEST_F(PlainPins, CogsOutputsAreOredAndInFollowsTheWire)
{
    pins.setCogOutputs(0, bit(3), 0, 10);
    pins.setCogOutputs(5, bit(3), bit(3), 11);
    EXPECT_TRUE(in(3, 11));
    EXPECT_TRUE(pins.driven(3));
    pins.setCogOutputs(5, 0, 0, 12);
    EXPECT_FALSE(in(3, 12)) << "cog 0 still drives its OUT low";
    pins.setCogOutputs(0, 0, 0, 13);
    pins.advance(13);
    EXPECT_FALSE(pins.driven(3));
    // An input reads what a device drives; TT=%10 on an odd pin outputs the even pin's inverse.
    pins.drive(40, {Pins::ExternalDrive::High, 1000, 0}, 14);
    EXPECT_TRUE(in(40, 14));
    pins.wrpin(9, 0x80, 15); // lands at 17
    pins.setCogOutputs(0, bit(8) | bit(9), 0, 16);
    pins.advance(17);
    EXPECT_TRUE(pins.level(9));
    pins.setCogOutputs(0, bit(8) | bit(9), bit(8), 18);
    pins.advance(18);
    EXPECT_FALSE(pins.level(9));
}

TEST_F(PlainPins, InputSelectorsInvertAndLogic)
{
    // Pins 20..26 driven from outside: 20,21 high, 22 low, 23 high, 17 low.
    const int high[] = {20, 21, 23};
    for (int p : high)
        pins.drive(p, {Pins::ExternalDrive::High, 0, 0}, 0);
    for (int p : {17, 18, 19, 22, 24, 25, 26})
        pins.drive(p, {Pins::ExternalDrive::Low, 0, 0}, 0);
    struct Case {
        const char *name;
        int pin;
        std::uint32_t mode;
        bool in;
    };
    const Case cases[] = {
        {"this pin", 20, 0, true},
        {"+2 is low", 20, 2u << 28, false},
        {"+3 is high", 20, 3u << 28, true},
        {"-3 is low", 20, 5u << 28, false},
        {"-1 of 21 is 20", 21, 7u << 28, true},
        {"inverted A", 20, 8u << 28, false},
        {"M's I bit inverts the read state", 20, 0x8000, false},
        {"A AND B(+1)", 20, (1u << 24) | (1u << 21), true},
        {"A AND B(+2)", 20, (2u << 24) | (1u << 21), false},
        {"A OR B", 22, (7u << 24) | (2u << 21), true},
        {"A XOR B", 20, (1u << 24) | (3u << 21), false},
        {"A = this pin's OUT", 22, 4u << 28, false},
    };
    Clock t = 10;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        pins.wrpin(c.pin, c.mode, t);
        EXPECT_EQ(in(c.pin, t + 2), c.in);
        pins.wrpin(c.pin, 0, t + 3);
        t += 10;
    }
    // A input changes reach a selecting pin's IN without touching that pin.
    pins.wrpin(19, 1u << 28, t); // 19 reads 20
    EXPECT_TRUE(in(19, t + 2));
    pins.drive(20, {Pins::ExternalDrive::Low, 0, 0}, t + 3);
    EXPECT_FALSE(in(19, t + 3));
    pins.wrpin(19, 4u << 28, t + 4); // 19 reads its own OUT bit
    pins.setCogOutputs(1, 0, bit(19), t + 7);
    EXPECT_FALSE(in(19, t + 6));
    EXPECT_TRUE(in(19, t + 7));
}

TEST_F(PlainPins, DriveStrengthsAgainstAnExternalLoad)
{
    // M[5:3] (high) / M[2:0] (low) codes against a 10 kΩ load to GND (or to 3.3 V for lows).
    struct Case {
        const char *name;
        std::uint32_t m;
        bool out;
        double volts;
    };
    const Case cases[] = {
        {"fast high", 0, true, 3.3 * 10000 / 10020},
        {"1.5k high", 1u << 3, true, 3.3 * 10000 / 11500},
        {"15k high", 2u << 3, true, 3.3 * 10000 / 25000},
        {"150k high", 3u << 3, true, 3.3 * 10000 / 160000},
        {"1 mA high saturates", 4u << 3, true, 3.3},
        {"100 uA high", 5u << 3, true, 1.0},
        {"10 uA high", 6u << 3, true, 0.1},
        {"float high", 7u << 3, true, 0.0},
        {"fast low against a pull-up", 0, false, 3.3 * 20 / 10020},
        {"15k low against a pull-up", 2, false, 3.3 * 15000 / 25000},
        {"float low against a pull-up", 7, false, 3.3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TimeBase tb;
        Pins p(tb);
        if (c.out)
            p.drive(5, {Pins::ExternalDrive::PullDown, 10000, 0}, 0);
        else
            p.drive(5, {Pins::ExternalDrive::PullUp, 10000, 0}, 0);
        p.wrpin(5, c.m << 8, 1);
        p.setCogOutputs(0, bit(5), c.out ? bit(5) : 0, 2);
        p.advance(3);
        EXPECT_NEAR(p.voltage(5), c.volts, 1e-6);
    }
}

TEST_F(PlainPins, OpenDrainBusIsWiredAnd)
{
    // SDA on 57: the chip drives low only (high floats), a 1.5 kΩ pull-up, a device that pulls low.
    const std::uint32_t openDrain = (7u << 3) << 8;
    int pullUp = 0, device = 0;
    pins.drive(57, {Pins::ExternalDrive::PullUp, 1500, 0}, 0, &pullUp);
    pins.wrpin(57, openDrain, 1);
    pins.setCogOutputs(0, bit(57), bit(57), 2);
    EXPECT_TRUE(in(57, 2)) << "released: the pull-up wins";
    pins.setCogOutputs(0, bit(57), 0, 3);
    EXPECT_FALSE(in(57, 3));
    EXPECT_LT(pins.voltage(57), 0.1);
    pins.setCogOutputs(0, bit(57), bit(57), 4);
    pins.drive(57, {Pins::ExternalDrive::Low, 0, 0}, 5, &device);
    EXPECT_FALSE(in(57, 5)) << "the device's low wins";
    // The chip's own weak high (1.5 kΩ) against the device's low: still low.
    pins.wrpin(57, (1u << 3) << 8, 6);
    EXPECT_FALSE(in(57, 6));
    pins.drive(57, {Pins::ExternalDrive::None, 0, 0}, 7, &device);
    EXPECT_TRUE(in(57, 7));
}

TEST_F(PlainPins, HubsetFiltersHoldBackShortPulses)
{
    // Filter 1: 3 flip-flops at tap 4 (a sample every 16 clocks).
    pins.setFilter(1, 1, 4, 0);
    EXPECT_TRUE(pins.filter(1).set);
    EXPECT_EQ(pins.filter(1).tap, 4);
    EXPECT_FALSE(pins.filter(2).set);
    EXPECT_EQ(pins.filter(2).tap, 19) << "reset default";
    pins.drive(30, {Pins::ExternalDrive::Low, 0, 0}, 0);
    pins.wrpin(30, 5u << 21, 1); // A, B through filt1
    pins.drive(30, {Pins::ExternalDrive::High, 0, 0}, 100);
    pins.drive(30, {Pins::ExternalDrive::Low, 0, 0}, 130); // 30 clocks: too short
    pins.advance(400);
    EXPECT_FALSE(in(30, 400));
    pins.drive(30, {Pins::ExternalDrive::High, 0, 0}, 1000);
    // Samples at 1008, 1024, 1040: all three agree at 1040.
    EXPECT_EQ(pins.nextChange(1000), 1040u);
    EXPECT_FALSE(in(30, 1039));
    EXPECT_TRUE(in(30, 1040));
}

TEST_F(PlainPins, DevicesHearLevelVoltageAndDriveChangesInOrder)
{
    auto w = std::make_shared<Watcher>(12);
    pins.attach(w);
    pins.setCogOutputs(0, bit(12), 0, 10); // driven low: level unchanged, drive changed
    pins.setCogOutputs(0, bit(12), bit(12), 20);
    pins.setCogOutputs(0, bit(11), 0, 30);        // another pin: not told
    pins.wrpin(12, 0x00140000 | (128u << 8), 40); // DAC 990R, level 128
    pins.advance(42);
    ASSERT_EQ(w->seen.size(), 4u);
    EXPECT_EQ(w->seen[0].at, 10u);
    EXPECT_EQ(w->seen[1].at, 20u);
    EXPECT_TRUE(w->seen[1].level);
    EXPECT_EQ(w->seen[2].at, 30u); // pin 12's DIR fell with cog 0's DIR
    EXPECT_NEAR(w->seen[3].volts, 3.3, 1e-9) << "DIR is low: the DAC is off, the wire floats where it was";
    pins.setCogOutputs(0, bit(12), 0, 50);
    EXPECT_EQ(pins.nextChange(49), 50u) << "a cog's output change that lands later is a change to wait for";
    pins.advance(50);
    EXPECT_NEAR(w->seen.back().volts, 3.3 * 128 / 255, 1e-9);
    EXPECT_EQ(pins.nextChange(50), kNever);
}

TEST_F(PlainPins, WritesLandWhenTheCogSaysAndEarlierReadsSeeThePast)
{
    // A DRVH issued at 100 reaches the pin at 103; a TESTP at 102 samples 100.
    pins.setCogOutputs(0, bit(1), bit(1), 103);
    EXPECT_FALSE(in(1, 100));
    EXPECT_FALSE(in(1, 102));
    EXPECT_TRUE(in(1, 103));
    // WRPIN issued at 110 lands at 112: a plain pin turns into a repository.
    pins.wrpin(1, 0x02, 110);
    EXPECT_TRUE(in(1, 111)) << "still the plain pin's level";
    EXPECT_FALSE(in(1, 112)) << "now the repository's IN: low until a WXPIN";
    pins.wxpin(1, 0x12345678, 120);
    EXPECT_TRUE(in(1, 122));
    PinRead r = pins.rdpin(1, 130);
    EXPECT_EQ(r.z, 0x12345678u);
    EXPECT_TRUE(in(1, 131)) << "RDPIN's acknowledge lands two clocks after it issues";
    EXPECT_FALSE(in(1, 132));
}

TEST_F(PlainPins, LazyProducersCatchUpBeforeThePinsAct)
{
    // A stand-in for a lazy streamer: it owes DAC bytes for clocks up to the one asked for.
    pins.wrpin(4, 0x00140000 | 0x40, 0); // 990R DAC on cog 0's channel 0
    pins.setCogOutputs(0, bit(4), 0, 3);
    pins.advance(3);
    Clock delivered = 3;
    int calls = 0;
    pins.setCatchUp([&](Clock at) {
        ++calls;
        for (; delivered + 10 <= at; delivered += 10)
            pins.setCogDacs(0, std::uint32_t(delivered / 10), delivered + 10); // re-entry: not caught up again
    });
    auto w = std::make_shared<Watcher>(4);
    pins.attach(w);
    const int before = calls;
    pins.in(53);
    EXPECT_EQ(calls, before + 1);
    // Values 0 (no change), 1, 2, 3, 4 owed for 13..53.
    ASSERT_EQ(w->seen.size(), 4u) << "each owed value reached the pin at its own clock";
    EXPECT_EQ(w->seen[0].at, 23u);
    EXPECT_EQ(w->seen[3].at, 53u);
    EXPECT_NEAR(w->seen[3].volts, 3.3 * 4 / 255, 1e-9);
}

TEST_F(PlainPins, ComparatorsReadVoltagesNotLevels)
{
    pins.drive(20, {Pins::ExternalDrive::Voltage, 0, 1.0}, 0);
    pins.drive(21, {Pins::ExternalDrive::Voltage, 0, 1.2}, 0);
    struct Case {
        const char *name;
        int pin;
        std::uint32_t m; // M[12:0]
        bool in;
    };
    const Case cases[] = {
        {"1.0 V reads low as logic", 20, 0, false},
        {"A > B: 1.0 V against its pair's 1.2 V", 20, 6u << 9, false},
        {"A > B: 1.2 V against 1.0 V", 21, 6u << 9, true},
        {"above level 64 (0.825 V)", 20, (0x18u << 8) | 64, true},
        {"above level 128 (1.65 V)", 21, (0x18u << 8) | 128, false},
    };
    Clock t = 10;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        pins.wrpin(c.pin, c.m << 8, t);
        EXPECT_EQ(in(c.pin, t + 2), c.in);
        t += 10;
    }
}

namespace {

using test::DacLoad;

struct Heard {
    std::vector<DacLoad::Seen> device, voltage;
};

// Cog 0's DAC channels on pins 8..11 through a run of changes, with a
// device's load change (205), a WRPIN changing pin 11's DAC (issued at 150,
// lands at 152) and pin 9's pad letting go (lands at 305) in the middle.
Heard RunDacSteps(bool asRun)
{
    TimeBase time{160e6};
    Pins pins{time};
    pins.wrpin(8, 0x00160040, 0); // 124 Ohm 3.3 V DAC on cog 0's channel 0
    pins.wrpin(9, 0x00170040, 0); // 75 Ohm 2 V DACs
    pins.wrpin(10, 0x00170040, 0);
    pins.wrpin(11, 0x00170040, 0);
    pins.setCogOutputs(0, 0xF00, 0, 3);
    auto load = std::make_shared<DacLoad>(205);
    pins.attach(load);
    Heard h;
    pins.onVoltage([&](int pin, double volts, Clock at) { h.voltage.push_back({pin, at, volts}); });
    pins.advance(5);
    pins.wrpin(11, 0x00140040, 150);           // now 990 Ohm 3.3 V
    pins.setCogOutputs(0, 0xD00, 0, 150, 305); // pin 9's pad stops driving at 305
    std::vector<Pins::DacStep> steps;
    std::uint32_t dacs = 0;
    for (Clock at = 10; at <= 400; at += 10) {
        dacs = at % 70 == 0 ? dacs : dacs * 1103515245u + 12345u; // now and then no change
        steps.push_back({at, dacs});
    }
    if (asRun) {
        pins.setCogDacs(0, steps.data(), steps.size());
    } else {
        for (const Pins::DacStep &s : steps)
            pins.setCogDacs(0, s.dacs, s.at);
    }
    pins.advance(410);
    h.device = load->seen;
    return h;
}

} // namespace

TEST(CogDacRun, ShowsWhatTheChangesOneAtATimeShow)
{
    const Heard one = RunDacSteps(false), run = RunDacSteps(true);
    ASSERT_GT(one.device.size(), 100u);
    EXPECT_TRUE(one.device == run.device) << "the devices hear the same changes, clocks and volts";
    EXPECT_TRUE(one.voltage == run.voltage) << "so do the voltage listeners";
    // The load, the WRPIN and the pad change each showed in the middle of the run.
    auto volts = [&](int pin, Clock from, Clock to) {
        std::vector<double> v;
        for (const DacLoad::Seen &s : one.device)
            if (s.pin == pin && s.at >= from && s.at < to)
                v.push_back(s.volts);
        return v;
    };
    const std::vector<double> loaded = volts(10, 205, 410), weak = volts(11, 152, 410);
    ASSERT_FALSE(loaded.empty());
    ASSERT_FALSE(weak.empty());
    EXPECT_GT(*std::ranges::max_element(loaded), 1.0) << "above what 75 Ohm would let through";
    EXPECT_LT(*std::ranges::max_element(weak), 3.3 * 75 / 1065 + 1e-9) << "the 990 Ohm DAC";
    EXPECT_TRUE(volts(9, 306, 410).empty()) << "the pad no longer drives pin 9";
}
