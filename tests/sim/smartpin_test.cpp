// Smart-pin modes driven directly through Pins, no cog: the documented
// register and IN behaviour of each mode family is the oracle.
#include "chip/device.h"
#include "chip/pins.h"
#include "chip/time.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace kivo::sim;

namespace {

constexpr std::uint32_t kAsyncTx = 0x1E << 1;
constexpr std::uint32_t kAsyncRx = 0x1F << 1;
constexpr std::uint32_t kOE = 0x40;

// Records each level change of the pins it watches.
class WireLog : public Device
{
public:
    explicit WireLog(std::vector<int> pins) : m_watch(std::move(pins)) {}
    std::vector<int> pins() const override { return m_watch; }
    void connect(Pins &p) override
    {
        Device::connect(p);
        for (int pin : m_watch)
            m_last[pin] = p.level(pin);
    }
    void pinChanged(int pin, Clock at) override
    {
        bool l = m_pins->level(pin);
        if (l != m_last[pin]) {
            m_last[pin] = l;
            edges.push_back({pin, at, l});
        }
    }
    struct Edge {
        int pin;
        Clock at;
        bool level;
    };
    std::vector<Edge> edges;

private:
    std::vector<int> m_watch;
    bool m_last[64] = {};
};

struct PinsFixture : ::testing::Test {
    TimeBase time{160e6};
    Pins pins{time};
    std::uint64_t dir = 0, out = 0;

    void setDir(int pin, bool high, Clock at)
    {
        dir = high ? dir | std::uint64_t(1) << pin : dir & ~(std::uint64_t(1) << pin);
        pins.setCogOutputs(0, dir, out, at);
    }
    void setOut(int pin, bool high, Clock at)
    {
        out = high ? out | std::uint64_t(1) << pin : out & ~(std::uint64_t(1) << pin);
        pins.setCogOutputs(0, dir, out, at);
    }
    // DIR low, WRPIN, WXPIN, WYPIN (each landing two clocks after it issues),
    // then DIR high at `at` + 4.
    void start(int pin, std::uint32_t mode, std::uint32_t x, std::uint32_t y, Clock at)
    {
        if (dir >> pin & 1)
            setDir(pin, false, at);
        pins.wrpin(pin, mode, at);
        pins.wxpin(pin, x, at + 1);
        pins.wypin(pin, y, at + 2);
        setDir(pin, true, at + 4);
    }
    bool in(int pin, Clock at) { return pins.in(at) >> pin & 1; }
};

// The first clock from `t` on at which the pin's IN is high.
Clock waitIn(Pins &p, int pin, Clock t)
{
    while (!(p.in(t) >> pin & 1)) {
        Clock n = p.nextChange(t);
        if (n == kNever)
            return kNever;
        t = std::max(t + 1, n);
    }
    return t;
}

// ---- asynchronous serial ----

using AsyncSerial = PinsFixture;

// The waveform of one word: start bit, data LSB first, stop bit, at the period.
TEST_F(AsyncSerial, TransmitsAWordAtTheBitPeriod)
{
    struct Case {
        const char *name;
        std::uint32_t x;
        std::uint32_t word;
        int bits;
        std::vector<Clock> boundaries; // start-bit clock offsets of each slot
    };
    const Case cases[] = {
        {"8 bits, 100 clocks", (100u << 16) | 7, 0x41, 8, {0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000}},
        // 7.5 clocks a bit: the fraction spreads over the word.
        {"fraction 7.5", 0x00078000 | 7, 0xA5, 8, {0, 7, 15, 22, 30, 37, 45, 52, 60, 67, 75}},
        {"5 bits", (20u << 16) | 4, 0x13, 5, {0, 20, 40, 60, 80, 100, 120, 140}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TimeBase tb(160e6);
        Pins p(tb);
        auto log = std::make_shared<WireLog>(std::vector<int>{62});
        p.attach(log);
        std::vector<std::pair<std::uint32_t, Clock>> sent;
        p.onAsyncTx([&](int pin, std::uint32_t w, int bits, Clock at) {
            EXPECT_EQ(pin, 62);
            EXPECT_EQ(bits, c.bits);
            sent.push_back({w, at});
        });
        p.wrpin(62, kAsyncTx | kOE, 10); // lands at 12
        p.wxpin(62, c.x, 11);
        p.advance(13);
        EXPECT_TRUE(p.level(62)) << "output high in reset";
        p.setCogOutputs(0, std::uint64_t(1) << 62, 0, 14);
        p.wypin(62, c.word, 20);
        EXPECT_TRUE(p.rdpin(62, 22).c) << "busy once the WYPIN lands";
        p.advance(5000);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].first, c.word);
        const Clock t0 = sent[0].second;
        EXPECT_EQ(t0, 23u) << "the shifter loads a clock after the WYPIN lands";
        // Rebuild the level of each slot from the edges.
        auto levelAt = [&](Clock at) {
            bool l = true;
            for (auto &e : log->edges)
                if (e.at <= at)
                    l = e.level;
            return l;
        };
        const int slots = c.bits + 2;
        for (int s = 0; s < slots; ++s) {
            bool want = s == 0 ? false : s <= c.bits ? bool(c.word >> (s - 1) & 1) : true;
            Clock from = t0 + c.boundaries[s], to = t0 + c.boundaries[s + 1] - 1;
            EXPECT_EQ(levelAt(from), want) << "slot " << s;
            EXPECT_EQ(levelAt(to), want) << "slot " << s;
        }
        EXPECT_FALSE(p.rqpin(62, t0 + c.boundaries[slots]).c) << "idle after the stop bit";
    }
}

TEST_F(AsyncSerial, BufferGivesGaplessWordsAndRaisesInOnEachLoad)
{
    std::vector<std::pair<std::uint32_t, Clock>> sent;
    pins.onAsyncTx([&](int, std::uint32_t w, int, Clock at) { sent.push_back({w, at}); });
    start(62, kAsyncTx | kOE, (10u << 16) | 7, 0, 0);
    EXPECT_FALSE(in(62, 5)) << "WYPIN in reset is not a word";
    pins.wypin(62, 'a', 10); // lands at 12, straight into the shifter at 13
    EXPECT_FALSE(in(62, 12));
    EXPECT_TRUE(in(62, 13)) << "IN rises as the word moves to the shifter";
    pins.wypin(62, 'b', 14); // buffered; the WYPIN acknowledges two clocks later
    EXPECT_TRUE(in(62, 15));
    EXPECT_FALSE(in(62, 16));
    EXPECT_TRUE(pins.rqpin(62, 17).c);
    // 'a' takes 100 clocks from 13; 'b' follows with no gap and raises IN again.
    EXPECT_FALSE(in(62, 112));
    EXPECT_TRUE(in(62, 113));
    pins.akpin(62, 114);
    EXPECT_FALSE(in(62, 116));
    EXPECT_TRUE(pins.rqpin(62, 212).c);
    EXPECT_FALSE(pins.rqpin(62, 213).c);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], (std::pair<std::uint32_t, Clock>{'a', 13}));
    EXPECT_EQ(sent[1], (std::pair<std::uint32_t, Clock>{'b', 113}));
}

TEST_F(AsyncSerial, DirLowHoldsTheTransmitterInResetAndTtDisablesTheOutput)
{
    start(62, kAsyncTx | kOE, (10u << 16) | 7, 0, 0);
    pins.wypin(62, 0, 10);
    pins.advance(20); // mid start bit
    EXPECT_FALSE(pins.level(62));
    setDir(62, false, 21);
    pins.advance(21);
    EXPECT_TRUE(pins.level(62)) << "high in reset";
    EXPECT_FALSE(pins.rqpin(62, 22).c) << "reset clears busy";
    EXPECT_FALSE(in(62, 22));
    // Without P_OE the smart output does not reach the pin, whatever DIR says.
    pins.wrpin(62, kAsyncTx, 30);
    setDir(62, true, 33);
    pins.advance(33);
    EXPECT_FALSE(pins.driven(62));
}

TEST_F(AsyncSerial, TransmitterLoopsBackIntoAReceiverThroughTheASelector)
{
    // Pin 61 receives what pin 62 sends: A = relative +1 pin.
    const std::uint32_t x = (32u << 16) | 7;
    start(62, kAsyncTx | kOE, x, 0, 0);
    start(61, kAsyncRx | (1u << 28), x, 0, 0);
    const std::string text = "P2\x00\xff";
    std::string got;
    Clock t = 10;
    for (char c : std::string(text, 0, 4)) {
        pins.wypin(62, std::uint8_t(c), t);
        while (!in(61, t))
            t = std::max(t + 1, pins.nextChange(t));
        got.push_back(char(pins.rdpin(61, t).z >> 24));
        t += 2;
    }
    EXPECT_EQ(got, std::string(text, 0, 4));
}

} // namespace

// ---- NCO, PWM, pulse and transition outputs ----

namespace {

constexpr std::uint32_t kPulse = 0x04 << 1, kTransition = 0x05 << 1, kNcoFreq = 0x06 << 1, kNcoDuty = 0x07 << 1;
constexpr std::uint32_t kPwmTriangle = 0x08 << 1, kPwmSawtooth = 0x09 << 1;

// The edges of one pin after `start`, as (clock - start, level).
std::vector<std::pair<Clock, bool>> edgesOf(const WireLog &log, int pin, Clock start)
{
    std::vector<std::pair<Clock, bool>> v;
    for (auto &e : log.edges)
        if (e.pin == pin)
            v.push_back({e.at - start, e.level});
    return v;
}

} // namespace

using OutputModes = PinsFixture;

TEST_F(OutputModes, EdgesAndInOfEachMode)
{
    using Edges = std::vector<std::pair<Clock, bool>>;
    struct Case {
        const char *name;
        std::uint32_t mode, x, y;
        Clock until;
        Edges edges;           // relative to DIR rising
        std::vector<Clock> in; // clocks (relative) at which IN is found newly high, acked each time
    };
    const Case cases[] = {
        // Z += 2^29 every 10 clocks: Z[31] high after 4 adds, overflow after 8.
        {"NCO frequency", kNcoFreq, 10, 1u << 29, 170, {{40, true}, {80, false}, {120, true}, {160, false}}, {80, 160}},
        // Carry every 4th add, output high for that base period.
        {"NCO duty", kNcoDuty, 10, 1u << 30, 100, {{40, true}, {50, false}, {80, true}, {90, false}}, {40, 80}},
        // Frame of 10 base periods of 3 clocks; high while Y >= counter 1..10.
        {"PWM sawtooth",
         kPwmSawtooth,
         (10u << 16) | 3,
         4,
         65,
         {{0, true}, {12, false}, {30, true}, {42, false}, {60, true}},
         {30, 60}},
        // Counter 5..1..5 on 1-clock base periods: Y = 2 is high for periods 3..6.
        {"PWM triangle",
         kPwmTriangle,
         (5u << 16) | 1,
         2,
         25,
         {{3, true}, {7, false}, {13, true}, {17, false}, {23, true}},
         {10, 20}},
        {"PWM sawtooth 0 stays low", kPwmSawtooth, (10u << 16) | 3, 0, 65, {}, {30, 60}},
        {"PWM sawtooth full stays high", kPwmSawtooth, (10u << 16) | 3, 10, 65, {{0, true}}, {30, 60}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TimeBase tb(160e6);
        Pins p(tb);
        auto log = std::make_shared<WireLog>(std::vector<int>{20});
        p.attach(log);
        p.wrpin(20, c.mode | kOE, 1);
        p.wxpin(20, c.x, 2);
        p.wypin(20, c.y, 3);
        const Clock t0 = 10;
        p.setCogOutputs(0, std::uint64_t(1) << 20, 0, t0);
        std::vector<Clock> ins;
        for (Clock t = t0; t <= t0 + c.until; ++t)
            if (p.in(t) >> 20 & 1) {
                ins.push_back(t - t0);
                p.akpin(20, t);
                t += 1; // IN drops two clocks after the acknowledge
            }
        EXPECT_EQ(edgesOf(*log, 20, t0), c.edges);
        EXPECT_EQ(ins, c.in);
    }
}

TEST_F(OutputModes, ServoFrameTakesANewWidthAtTheNextFrame)
{
    // 160 MHz, 1 µs base, 20 ms frame, 1500 µs then 1000 µs.
    auto log = std::make_shared<WireLog>(std::vector<int>{38});
    pins.attach(log);
    start(38, kPwmSawtooth | kOE, (20000u << 16) | 160, 1500, 0);
    const Clock frame = 20000 * 160;
    pins.wypin(38, 1000, 4 + 1000);
    pins.advance(4 + 3 * frame);
    auto e = edgesOf(*log, 38, 4);
    ASSERT_GE(e.size(), 5u);
    EXPECT_EQ(e[0], (std::pair<Clock, bool>{0, true}));
    EXPECT_EQ(e[1], (std::pair<Clock, bool>{1500 * 160, false}));
    EXPECT_EQ(e[2], (std::pair<Clock, bool>{frame, true}));
    EXPECT_EQ(e[3], (std::pair<Clock, bool>{frame + 1000 * 160, false}));
}

TEST_F(OutputModes, FreeRunningNcoCostsNoEventsUnwatched)
{
    // Nobody watches the pin: once IN is up nothing is due, yet Z stays exact.
    start(24, kNcoFreq | kOE, 7, 123456789, 0);
    while (!in(24, pins.nextChange(pins.now())))
        ;
    EXPECT_EQ(pins.nextChange(pins.now()), kNever);
    const Clock t = 4 + 7 * 1000003;
    EXPECT_EQ(pins.rqpin(24, t).z, std::uint32_t(123456789ull * 1000003));
    // WXPIN loads the phase into Z[31:16], even in reset.
    setDir(24, false, t + 1);
    pins.wxpin(24, 0xABCD0007, t + 2);
    EXPECT_EQ(pins.rqpin(24, t + 4).z >> 16, 0xABCDu);
}

TEST_F(OutputModes, PulsesAndTransitionsCountDownYThenRaiseIn)
{
    auto log = std::make_shared<WireLog>(std::vector<int>{5, 6});
    pins.attach(log);
    // Base period 4, compare 1: three clocks high, one low, twice.
    start(5, kPulse | kOE, (1u << 16) | 4, 0, 0);
    start(6, kTransition | kOE, 5, 0, 5);
    pins.wypin(5, 2, 10);
    pins.wypin(6, 3, 10);
    EXPECT_FALSE(in(5, 11));
    pins.advance(40);
    EXPECT_EQ(edgesOf(*log, 5, 0),
              (std::vector<std::pair<Clock, bool>>{{16, true}, {19, false}, {20, true}, {23, false}}));
    EXPECT_EQ(edgesOf(*log, 6, 0), (std::vector<std::pair<Clock, bool>>{{14, true}, {19, false}, {24, true}}));
    EXPECT_TRUE(in(5, 40));
    EXPECT_TRUE(in(6, 40));
}

// ---- DACs ----

using Dacs = PinsFixture;

TEST_F(Dacs, LevelsPerDacModeIntoTheDevicesLoad)
{
    struct Case {
        const char *name;
        std::uint32_t m; // M[12:0] of a plain DAC mode
        int level;
        double loadOhms; // 0: none
        double volts;
    };
    const Case cases[] = {
        {"990R 3.3V open", 0x1400, 200, 0, 3.3 * 200 / 255},
        {"990R 3.3V into 990R", 0x1400, 255, 990, 1.65},
        {"600R 2.0V", 0x1500, 51, 0, 0.4},
        {"124R 3.3V into 75R", 0x1600, 255, 75, 3.3 * 75 / (75 + 123.75)},
        {"75R 2.0V into 75R", 0x1700, 255, 75, 1.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TimeBase tb;
        Pins p(tb);
        if (c.loadOhms > 0)
            p.drive(10, {Pins::ExternalDrive::PullDown, c.loadOhms, 0}, 0);
        p.wrpin(10, (c.m | std::uint32_t(c.level)) << 8, 1);
        p.setCogOutputs(0, 1u << 10, 0, 2); // DIR enables the DAC
        p.advance(3);
        EXPECT_NEAR(p.voltage(10), c.volts, 1e-9);
    }
}

TEST_F(Dacs, CogChannelsBitDacAndDither)
{
    // Pin 49 (channel 1) follows cog 2's DAC byte 1: 75R 2.0V, TT=01, M[3:0]=2.
    pins.drive(49, {Pins::ExternalDrive::PullDown, 75, 0}, 0);
    pins.wrpin(49, 0x00170000 | 0x40 | (2u << 8), 1);
    setDir(49, true, 2);
    pins.setCogDacs(2, 0x0000FF00, 3);
    EXPECT_NEAR(pins.voltage(49), 1.0, 1e-9);
    pins.setCogDacs(2, 0x00003300, 4);
    EXPECT_NEAR(pins.voltage(49), 0.2, 1e-9);
    pins.setCogDacs(1, 0x0000FF00, 5); // another cog's channel
    EXPECT_NEAR(pins.voltage(49), 0.2, 1e-9);

    // BIT_DAC: OUT picks {2{M[7:4]}} or {2{M[3:0]}}.
    pins.wrpin(11, 0x00140000 | 0x80 | (0xF3u << 8), 10);
    setDir(11, true, 11);
    pins.advance(12);
    EXPECT_NEAR(pins.voltage(11), 3.3 * 0x33 / 255, 1e-9);
    setOut(11, true, 12);
    pins.advance(12);
    EXPECT_NEAR(pins.voltage(11), 3.3, 1e-9);

    // 16-bit dither: Y / 256 of a step, captured at each period end with IN.
    start(12, 0x00140000 | kOE | (0x02 << 1), 100, 0x8000, 20);
    pins.advance(24);
    EXPECT_NEAR(pins.voltage(12), 3.3 * 128 / 255, 1e-9);
    pins.wypin(12, 0x4080, 30);
    pins.advance(40);
    EXPECT_NEAR(pins.voltage(12), 3.3 * 128 / 255, 1e-9) << "held until the period ends";
    EXPECT_FALSE(in(12, 123));
    EXPECT_TRUE(in(12, 124));
    EXPECT_NEAR(pins.voltage(12), 3.3 * (0x4080 / 256.0) / 255, 1e-9);
}

// ---- ADC ----

using Adcs = PinsFixture;

namespace {
constexpr std::uint32_t kAdcGio = 0x00100000, kAdcVio = 0x00108000, kAdc1x = 0x00118000, kAdc10x = 0x00128000;
constexpr std::uint32_t kAdcMode = 0x18 << 1;
} // namespace

TEST_F(Adcs, SincModesReadTheSourceVoltage)
{
    // Density model: GIO 0.1, VIO 0.9, 1x linear between them.
    struct Case {
        const char *name;
        std::uint32_t input;
        double volts;
        std::uint32_t x;
        int diffs;    // software differences after the pin's
        int shift;    // the documented justification
        double ideal; // expected sample
    };
    const double d165 = 0.5, d33 = 0.9, d0 = 0.1;
    const Case cases[] = {
        {"SINC2 sampling 128 clocks", kAdc1x, 1.65, 0x07, 0, 0, 256 * d165},
        {"SINC2 sampling 8192 clocks, GIO", kAdcGio, 1.65, 0x0D, 0, 0, 16384 * d0},
        {"SINC2 sampling 16 clocks, VIO", kAdcVio, 0, 0x04, 0, 0, 32 * d33},
        {"SINC2 filtering 128 clocks", kAdc1x, 2.475, 0x17, 1, 6, 256 * 0.7},
        {"SINC2 filtering 16 clocks", kAdc1x, 0.825, 0x14, 1, 3, 32 * 0.3},
        {"SINC3 filtering 128 clocks", kAdc1x, 1.65, 0x27, 2, 7, 16384 * d165},
        {"SINC3 filtering 16 clocks", kAdc1x, 3.3, 0x24, 2, 4, 256 * d33},
        {"SINC2 at 10x", kAdc10x, 1.65 + 0.033, 0x07, 0, 0, 256 * (0.5 + 10 * 0.8 * 0.01)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TimeBase tb;
        Pins p(tb);
        p.drive(42, {Pins::ExternalDrive::Voltage, 0, c.volts}, 0);
        p.wrpin(42, c.input | kAdcMode, 1);
        p.wxpin(42, c.x, 2);
        p.setCogOutputs(0, std::uint64_t(1) << 42, 0, 3);
        const Clock n = Clock(1) << (c.x & 15);
        // Let the filter settle, then read consecutive periods as IN rises.
        std::vector<std::uint32_t> z;
        Clock t = 3 + 5 * n;
        p.rdpin(42, t);
        Clock last = 0;
        while (z.size() < 3) {
            t = waitIn(p, 42, t + 2);
            ASSERT_NE(t, kNever);
            if (last) {
                ASSERT_EQ(t - last, n) << "IN at each period end";
            }
            last = t;
            z.push_back(p.rdpin(42, t).z);
        }
        std::uint32_t v = z[2];
        if (c.diffs == 1)
            v = (z[2] - z[1]) & 0x07FFFFFF;
        if (c.diffs == 2)
            v = ((z[2] - z[1]) - (z[1] - z[0])) & 0x07FFFFFF;
        EXPECT_NEAR(double(v >> c.shift), c.ideal, 1.5);
    }
}

TEST_F(Adcs, ReadingsFollowAVoltageThatMovesAndAnArbitraryPeriod)
{
    pins.drive(3, {Pins::ExternalDrive::Voltage, 0, 0.0}, 0);
    start(3, kAdc1x | kAdcMode, 0x17, 100, 0); // SINC2 filtering, WYPIN 100 clocks
    pins.drive(3, {Pins::ExternalDrive::Voltage, 0, 3.3}, 1000);
    Clock t = 2000;
    pins.rdpin(3, t);
    t = waitIn(pins, 3, t + 2);
    std::uint32_t a = pins.rdpin(3, t).z;
    Clock t2 = waitIn(pins, 3, t + 2);
    std::uint32_t b = pins.rdpin(3, t2).z;
    EXPECT_EQ(t2 - t, 100u);
    EXPECT_NEAR(double((b - a) & 0x07FFFFFF), 100.0 * 100 * 0.9, 2);
    // Bitstream capture: 32 clocks of a 0.9 density hold 28 or 29 ones.
    pins.wxpin(3, 0x35, t2 + 1);
    int ones = std::popcount(pins.rqpin(3, t2 + 50).z);
    EXPECT_GE(ones, 28);
    EXPECT_LE(ones, 30);
}

// ---- counting and timing ----

namespace {

// Drives a pin from outside with a list of (clock, level) changes.
void play(Pins &p, int pin, const std::vector<std::pair<Clock, bool>> &wave, const void *src)
{
    for (auto [at, level] : wave)
        p.drive(pin, {level ? Pins::ExternalDrive::High : Pins::ExternalDrive::Low, 0, 0}, at, src);
}

std::vector<std::pair<Clock, bool>> square(Clock first, Clock half, int edges, bool startHigh = true)
{
    std::vector<std::pair<Clock, bool>> w;
    for (int i = 0; i < edges; ++i)
        w.push_back({first + Clock(i) * half, bool(i % 2 == 0) == startHigh});
    return w;
}

} // namespace

using Counters = PinsFixture;

TEST_F(Counters, TotalizersCountEdgesAndHighsOfTheirInputs)
{
    // Pin 30 = A (this pin), pin 31 = B (selected as +1). A square wave on A
    // rising at 100, 300, 500, ... (high 100 clocks); B high from 250 on.
    struct Case {
        const char *name;
        std::uint32_t smart;
        std::uint32_t y;
        std::uint32_t z; // at clock 1000
    };
    const Case cases[] = {
        {"A rises while B high", 0x0C, 0, 4},     // rises at 300, 500, 700, 900
        {"A rises, B gives up/down", 0x0D, 0, 3}, // 100: -1, then +4
        {"A rises", 0x0E, 0, 5},                  // 100..900
        {"A rises minus B rises", 0x0E, 1, 4},    // B rises once
        {"A highs", 0x0F, 0, 500},                // 5 × 100 clocks (the one from 900 ends at 1000)
        {"A highs minus B highs", 0x0F, 1, std::uint32_t(500 - 750)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TimeBase tb;
        Pins p(tb);
        int srcA = 0, srcB = 0;
        p.drive(30, {Pins::ExternalDrive::Low, 0, 0}, 0, &srcA);
        p.drive(31, {Pins::ExternalDrive::Low, 0, 0}, 0, &srcB);
        p.wrpin(30, (1u << 24) | (c.smart << 1), 1); // B = pin+1
        p.wxpin(30, 0, 2);                           // continuous
        p.wypin(30, c.y, 3);
        p.setCogOutputs(0, 1ull << 30, 0, 4);
        play(p, 30, square(100, 100, 2), &srcA);
        play(p, 31, {{250, true}}, &srcB);
        play(p, 30, square(300, 100, 7), &srcA);
        EXPECT_EQ(p.rqpin(30, 1000).z, c.z);
    }
}

TEST_F(Counters, PeriodicMeasurementsAndQuadrature)
{
    int src = 0, srcB = 0;
    // A high 30 of every 100 clocks; count highs over periods of 1000 clocks.
    std::vector<std::pair<Clock, bool>> w;
    for (Clock t = 1000; t < 20000; t += 100) {
        w.push_back({t, true});
        w.push_back({t + 30, false});
    }
    pins.drive(7, {Pins::ExternalDrive::Low, 0, 0}, 0, &src);
    start(7, 0x0F << 1, 1000, 0, 0); // periods from clock 4
    play(pins, 7, w, &src);
    pins.advance(2004);
    EXPECT_TRUE(in(7, 2004));
    EXPECT_EQ(pins.rdpin(7, 2004).z, 300u);
    // Left alone for many periods: Z is the last complete one, IN still only once.
    EXPECT_EQ(pins.rqpin(7, 15500).z, 300u);

    // Quadrature on pins 8 (A) and 9 (B): four steps forward, two back.
    pins.drive(8, {Pins::ExternalDrive::Low, 0, 0}, 0, &src);
    pins.drive(9, {Pins::ExternalDrive::Low, 0, 0}, 0, &srcB);
    start(8, (1u << 24) | (0x0B << 1), 0, 0, 20000);
    play(pins, 8, {{20010, true}, {20030, false}, {20060, true}}, &src);
    play(pins, 9, {{20020, true}, {20040, false}, {20050, true}}, &srcB);
    // AB: 00 → 10 → 11 → 01 → 00 → 01 → 11: +1 +1 +1 +1 -1 -1
    EXPECT_EQ(std::int32_t(pins.rqpin(8, 20100).z), 2);
}

TEST_F(Counters, TimersMeasureStatesHighsAndPeriods)
{
    int src = 0;
    // A: high 1000..1250, low ..1600, high ..1700, low from 1700.
    const std::vector<std::pair<Clock, bool>> w = {{1000, true}, {1250, false}, {1600, true}, {1700, false}};
    struct Case {
        const char *name;
        std::uint32_t smart, x, y;
        std::uint32_t z;
        bool c;
    };
    const Case cases[] = {
        {"time A states: the last one", 0x10, 0, 0, 100, true}, // high 1600..1700
        {"time A highs", 0x11, 0, 0, 100, false},
        {"time for 2 rises", 0x12, 2, 1, 1600 - 4, false}, // from start (4) to the 2nd rise
        {"for 1 period rise to rise, time", 0x13, 1, 0, 600, false},
        {"for 1 period rise to rise, A-high states", 0x14, 1, 0, 250, false},
        {"periods in 100+ clocks", 0x17, 100, 0, 1, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TimeBase tb;
        Pins p(tb);
        p.drive(12, {Pins::ExternalDrive::Low, 0, 0}, 0, &src);
        p.wrpin(12, c.smart << 1, 1);
        p.wxpin(12, c.x, 2);
        p.wypin(12, c.y, 3);
        p.setCogOutputs(0, 1ull << 12, 0, 4);
        play(p, 12, w, &src);
        PinRead r = p.rqpin(12, 2000);
        EXPECT_TRUE(p.in(2000) >> 12 & 1);
        EXPECT_EQ(r.z, c.z);
        if (c.smart == 0x10) {
            EXPECT_EQ(r.c, c.c) << "C holds the state that was timed";
        }
    }
}

TEST_F(Counters, CountHighsOfAnAdcPinIsPlainAdcSampling)
{
    pins.drive(42, {Pins::ExternalDrive::Voltage, 0, 1.65}, 0);
    start(42, 0x00118000 | (0x0F << 1), 1000, 0, 0);
    EXPECT_TRUE(in(42, 1004));
    EXPECT_NEAR(double(pins.rdpin(42, 1004).z), 500.0, 1.0);
}

// ---- synchronous serial ----

using SyncSerial = PinsFixture;

TEST_F(SyncSerial, TransmitterFeedsAReceiverOnAnExternalClock)
{
    // Pin 16 transmits on clock pin 18 (B = +2); pin 17 receives data A = -1 and clock B = +1.
    int clk = 0;
    pins.drive(18, {Pins::ExternalDrive::Low, 0, 0}, 0, &clk);
    const std::uint32_t tx = (2u << 24) | (0x1C << 1) | kOE, rx = (7u << 28) | (1u << 24) | (0x1D << 1);
    setDir(16, false, 0);
    pins.wrpin(16, tx, 1);
    pins.wxpin(16, 0x20 | 7, 2); // start-stop, 8 bits
    pins.wrpin(17, rx, 1);
    pins.wxpin(17, 0x20 | 7, 2); // sample coincident with the edge
    setDir(16, true, 3);
    setDir(17, true, 3);
    pins.wypin(16, 0xA5, 10); // straight into the shifter
    pins.advance(12);
    EXPECT_TRUE(pins.level(16)) << "bit 0 waits on the pin";
    pins.wypin(16, 0x5A, 12); // before the first clock: replaces it
    std::vector<std::uint32_t> words;
    Clock t = 20;
    for (int i = 0; i < 16; ++i, t += 10) {
        pins.drive(18, {Pins::ExternalDrive::High, 0, 0}, t, &clk);
        if (i == 0)
            pins.wypin(16, 0x3C, t + 1); // after it: buffered
        pins.drive(18, {Pins::ExternalDrive::Low, 0, 0}, t + 5, &clk);
        if (in(17, t + 5)) {
            words.push_back(pins.rdpin(17, t + 5).z >> 24);
        }
    }
    EXPECT_EQ(words, (std::vector<std::uint32_t>{0x5A, 0x3C}));
}

// ---- the remaining modes, one behaviour each ----

using MoreModes = PinsFixture;

TEST_F(MoreModes, SmpsCutsTheCycleWhenBRisesAndWaitsForALow)
{
    // A = +1 (voltage sense), B = +2 (current sense); frame 10 base periods of 1 clock, Y = 6.
    int a = 0, b = 0;
    pins.drive(51, {Pins::ExternalDrive::Low, 0, 0}, 0, &a);
    pins.drive(52, {Pins::ExternalDrive::Low, 0, 0}, 0, &b);
    auto log = std::make_shared<WireLog>(std::vector<int>{50});
    pins.attach(log);
    start(50, (1u << 28) | (2u << 24) | (0x0A << 1) | kOE, (10u << 16) | 1, 6, 0);
    pins.drive(52, {Pins::ExternalDrive::High, 0, 0}, 16, &b); // over-current in the 2nd cycle
    pins.drive(52, {Pins::ExternalDrive::Low, 0, 0}, 18, &b);
    pins.drive(51, {Pins::ExternalDrive::High, 0, 0}, 30, &a); // output high enough: pause
    pins.drive(51, {Pins::ExternalDrive::Low, 0, 0}, 45, &a);
    pins.advance(64);
    EXPECT_EQ(edgesOf(*log, 50, 4), (std::vector<std::pair<Clock, bool>>{{0, true},
                                                                         {6, false},
                                                                         {10, true},
                                                                         {12, false},
                                                                         {20, true},
                                                                         {26, false},
                                                                         {41, true},
                                                                         {47, false},
                                                                         {51, true},
                                                                         {57, false}}));
}

TEST_F(MoreModes, TimeoutScopeAndDacNoise)
{
    // %10010 with Y[2]: IN when no A rise comes within X clocks; Z counts since the last one.
    int src = 0;
    pins.drive(33, {Pins::ExternalDrive::Low, 0, 0}, 0, &src);
    start(33, 0x12 << 1, 100, 4 | 1, 0);
    pins.drive(33, {Pins::ExternalDrive::High, 0, 0}, 50, &src);
    EXPECT_FALSE(in(33, 149));
    EXPECT_TRUE(in(33, 150));
    EXPECT_EQ(pins.rqpin(33, 170).z, 121u);

    // Scope: an 8-bit sample of the ADC input, C = armed (A trigger 30 > B trigger 20: arm at >= 30).
    pins.drive(34, {Pins::ExternalDrive::Voltage, 0, 1.65}, 200);
    start(34, 0x00118000 | (0x1A << 1), (20u << 10) | (30u << 2), 0, 200);
    PinRead r = pins.rqpin(34, 210);
    EXPECT_EQ(r.z, 128u);
    EXPECT_TRUE(r.c);
    pins.drive(34, {Pins::ExternalDrive::Voltage, 0, 0.0}, 220); // falls below B: triggers
    EXPECT_TRUE(in(34, 220));
    EXPECT_FALSE(pins.rqpin(34, 221).c);

    // DAC noise: the mean of random levels, IN every X clocks.
    start(35, 0x00140000 | (0x01 << 1) | kOE, 1000, 0, 300);
    pins.advance(304);
    EXPECT_NEAR(pins.voltage(35), 1.65, 1e-9);
    EXPECT_FALSE(in(35, 1303));
    EXPECT_TRUE(in(35, 1304));
}

TEST_F(Adcs, ReadingsStayRightAfterALongUnreadStretch)
{
    // Ten simulated seconds at 160 MHz nobody reads: the next periods still read the source.
    pins.drive(42, {Pins::ExternalDrive::Voltage, 0, 2.475}, 0);
    start(42, kAdc1x | kAdcMode, 0x27, 0, 0); // SINC3 filtering, 128 clocks
    Clock t = 1'600'000'000;
    pins.rdpin(42, t);
    std::uint32_t z[3];
    for (auto &v : z) {
        t = waitIn(pins, 42, t + 2);
        v = pins.rdpin(42, t).z;
    }
    std::uint32_t s = ((z[2] - z[1]) - (z[1] - z[0])) & 0x07FFFFFF;
    EXPECT_NEAR(double(s >> 7), 16384 * 0.7, 1.5);
}

TEST_F(Counters, PeriodsInXPlusClocksAndAnExternallyClockedAdc)
{
    // A (and B, the same pin) high 30 of every 100 clocks from 1000; X = 250 clocks.
    struct Case {
        const char *name;
        std::uint32_t smart;
        std::uint32_t z;
    };
    const Case cases[] = {{"time", 0x15, 300}, {"A-high states", 0x16, 90}, {"periods", 0x17, 3}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TimeBase tb;
        Pins p(tb);
        int src = 0;
        p.drive(12, {Pins::ExternalDrive::Low, 0, 0}, 0, &src);
        p.wrpin(12, c.smart << 1, 0);
        p.wxpin(12, 250, 1);
        p.setCogOutputs(0, 1ull << 12, 0, 4);
        for (Clock t = 1000; t < 1400; t += 100) {
            p.drive(12, {Pins::ExternalDrive::High, 0, 0}, t, &src);
            p.drive(12, {Pins::ExternalDrive::Low, 0, 0}, t + 30, &src);
        }
        EXPECT_TRUE(p.in(1400) >> 12 & 1);
        EXPECT_EQ(p.rqpin(12, 1400).z, c.z);
    }

    // %11001: A sampled on each B rise; SINC2 filtering over 16 samples of a 1-in-4 pattern.
    int a = 0, b = 0;
    pins.drive(2, {Pins::ExternalDrive::Low, 0, 0}, 0, &a);
    pins.drive(3, {Pins::ExternalDrive::Low, 0, 0}, 0, &b);
    start(2, (1u << 24) | (0x19 << 1), 0x14, 0, 0); // B = +1, SINC2 filtering, 16 samples
    std::vector<std::uint32_t> z;
    Clock t = 100;
    for (int i = 0; i < 16 * 6; ++i, t += 10) {
        pins.drive(2, {i % 4 == 0 ? Pins::ExternalDrive::High : Pins::ExternalDrive::Low, 0, 0}, t, &a);
        pins.drive(3, {Pins::ExternalDrive::High, 0, 0}, t + 2, &b);
        pins.drive(3, {Pins::ExternalDrive::Low, 0, 0}, t + 5, &b);
        if (in(2, t + 6)) {
            z.push_back(pins.rdpin(2, t + 6).z);
        }
    }
    ASSERT_GE(z.size(), 4u);
    const std::size_t k = z.size() - 1;
    EXPECT_NEAR(double((z[k] - z[k - 1]) & 0x07FFFFFF), 16.0 * 16 / 4, 2.0);
}
