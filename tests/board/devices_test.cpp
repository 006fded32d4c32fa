// The instruments a project run wires to the pins, driven by hand through
// Pins: square waves, an I2C master bit-banged on two pins, LED bit
// streams, VGA timing with colour bars.
#include "board/ds1339.h"
#include "board/i2c.h"
#include "board/ledchain.h"
#include "board/meters.h"
#include "board/vgamonitor.h"
#include "chip/pins.h"
#include "chip/time.h"
#include "json.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

using namespace kivo::sim;
using kivo::Json;

namespace {

constexpr std::uint32_t kDac990 = 0x00140000; // P_DAC_990R_3V, level in bits 15:8

// One cog's DIR/OUT, with helpers to set single pins at a clock.
struct Board {
    TimeBase time{100e6}; // 10 ns a clock
    Pins pins{time};
    std::uint64_t dir = 0, out = 0;
    void set(int pin, bool driven, bool high, Clock at)
    {
        dir = driven ? dir | 1ull << pin : dir & ~(1ull << pin);
        out = high ? out | 1ull << pin : out & ~(1ull << pin);
        pins.setCogOutputs(0, dir, out, at);
        pins.advance(at); // the pins apply what the cogs give them in clock order
    }
    template <class T, class... A> std::shared_ptr<T> attach(A &&...a)
    {
        auto d = std::make_shared<T>(std::forward<A>(a)...);
        pins.attach(d);
        return d;
    }
};

TEST(Meters, SquareWaveGivesFrequencyDutyAndPulses)
{
    Board b;
    auto counter = b.attach<FrequencyCounter>(5);
    auto pulses = b.attach<PulseMeter>(5);
    auto probe = b.attach<LogicProbe>(5);
    // 1 MHz, high 25 of 100 clocks, 50 periods.
    for (Clock t = 1000, i = 0; i < 50; i++, t += 100) {
        b.set(5, true, true, t);
        b.set(5, true, false, t + 25);
    }
    b.pins.advance(7000);
    EXPECT_NEAR(counter->frequency(), 1e6, 1e-3);
    EXPECT_NEAR(counter->duty(), 0.25, 1e-9);
    EXPECT_EQ(counter->rises(), 50u);
    EXPECT_EQ(pulses->pulses(), 50u);
    EXPECT_NEAR(pulses->firstWidthUs(), 0.25, 1e-9);
    EXPECT_NEAR(pulses->lastPeriodMs(), 0.001, 1e-12);
    ASSERT_EQ(pulses->widths().size(), 1u);
    EXPECT_EQ(probe->transitions(), 100u);
    EXPECT_FALSE(probe->level());
    Json o = counter->observations();
    EXPECT_EQ(o.at("risingEdges").get<double>(), 50);
}

// A counter alone on an NCO's pin takes its output as a train and counts it
// from the NCO's arithmetic; with a logic probe beside it every edge is
// worked out. Both count the same, read in the middle, across a new Y, a new
// base period and a reset, and with the output inverted (mode bit 14).
TEST(Meters, FrequencyCounterOnAnNcoCountsAsEdgeByEdge)
{
    struct Row {
        const char *name;
        std::uint32_t mode, x, y, x2, y2;
    };
    const Row rows[] = {
        {"odd Y", 0x4C, 7, 0x12345679, 7, 0x0FEDCBA9},
        {"half the add rate", 0x4C, 1, 0x80000000, 3, 0x80000000},
        {"inverted", 0x404C, 2, 0x2AAAAAAB, 5, 0x01000001},
        {"to a stop", 0x4C, 1, 0x11111111, 1, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        std::string seen[2][2];
        for (int probed = 0; probed < 2; ++probed) {
            Board b;
            auto counter = b.attach<FrequencyCounter>(6);
            if (probed)
                b.attach<LogicProbe>(6);
            b.pins.wrpin(6, r.mode, 100);
            b.pins.wxpin(6, r.x, 100);
            b.pins.wypin(6, r.y, 100);
            b.set(6, true, false, 110);
            b.pins.advance(20000);
            seen[probed][0] = counter->observations().dump();
            b.pins.wypin(6, r.y2, 20003);
            b.pins.wxpin(6, r.x2, 30001);
            b.pins.advance(60000);
            b.set(6, false, false, 60000);
            b.set(6, true, false, 61000); // starts again from the Z the reset kept
            b.pins.advance(70000);
            seen[probed][1] = counter->observations().dump();
        }
        EXPECT_NE(seen[0][0].find("risingEdges"), std::string::npos);
        EXPECT_EQ(seen[0][0], seen[1][0]);
        EXPECT_EQ(seen[0][1], seen[1][1]);
    }
}

TEST(Meters, PulseMeterListsServoMoves)
{
    Board b;
    auto meter = b.attach<PulseMeter>(3);
    // 20 ms frames with 1500, 1500, 1550 and 600 us pulses.
    const double widths[] = {1500, 1500, 1550, 600};
    Clock t = 100;
    for (double w : widths) {
        b.set(3, true, true, t);
        b.set(3, true, false, t + Clock(w * 100));
        t += 2'000'000;
    }
    b.set(3, true, true, t);
    EXPECT_EQ(meter->pulses(), 4u);
    EXPECT_NEAR(meter->minWidthUs(), 600, 1e-6);
    EXPECT_NEAR(meter->maxWidthUs(), 1550, 1e-6);
    EXPECT_NEAR(meter->lastPeriodMs(), 20.0, 1e-9);
    EXPECT_EQ(meter->widths(), (std::vector<double>{1500, 1550, 600}));
}

TEST(Meters, ProbeInputDriveLosesAgainstTheChip)
{
    Board b;
    auto probe = b.attach<LogicProbe>(7, true);
    b.pins.advance(10);
    EXPECT_TRUE(b.pins.level(7)); // floating pin pulled up by the probe's 1 k
    b.set(7, true, false, 100);
    EXPECT_FALSE(b.pins.level(7));
    b.set(7, false, false, 200);
    EXPECT_TRUE(b.pins.level(7));
    EXPECT_EQ(probe->transitions(), 3u); // the probe's own pull-up was the first
    EXPECT_EQ(probe->observations().at("inputDriven").get<double>(), 1);
}

TEST(Meters, VoltmeterFollowsTheDacWhileDriven)
{
    Board b;
    auto meter = b.attach<Voltmeter>(9);
    b.pins.wrpin(9, kDac990 | 51u << 8, 10); // not yet driven: not measured
    b.set(9, true, false, 20);
    b.pins.wrpin(9, kDac990 | 255u << 8, 30);
    b.pins.wrpin(9, kDac990 | 0u << 8, 40);
    b.pins.wrpin(9, kDac990 | 102u << 8, 50);
    b.pins.advance(60);
    meter->finish(60);
    ASSERT_TRUE(meter->measured());
    EXPECT_NEAR(meter->first(), 51 / 255.0 * 3.3, 0.01);
    EXPECT_NEAR(meter->highest(), 3.3, 0.01);
    EXPECT_NEAR(meter->lowest(), 0.0, 0.01);
    EXPECT_NEAR(meter->last(), 102 / 255.0 * 3.3, 0.01);
}

TEST(Meters, VoltageSourceSetsThePinVoltage)
{
    Board b;
    auto src = b.attach<VoltageSource>(12, 2.5);
    b.pins.advance(10);
    EXPECT_NEAR(b.pins.voltage(12), 2.5, 1e-6);
    EXPECT_EQ(src->observations().at("volts").get<double>(), 2.5);
}

// ---- I2C ----

// An open-drain master on two pins: low = drive low, high = release.
struct I2cMaster {
    Board &b;
    int scl, sda;
    Clock t = 1000;
    Clock half = 500; // 100 kHz at 100 MHz
    void line(int pin, bool high) { b.set(pin, !high, false, t); }
    void step() { t += half; }
    void start()
    {
        line(sda, true), line(scl, true), step();
        line(sda, false), step();
        line(scl, false), step();
    }
    void stop()
    {
        line(sda, false), step();
        line(scl, true), step();
        line(sda, true), step();
    }
    bool bit(bool v)
    {
        line(sda, v), step();
        line(scl, true), step();
        b.pins.advance(t);
        bool r = b.pins.level(sda);
        line(scl, false);
        return r;
    }
    bool write(int byte)
    {
        for (int i = 7; i >= 0; i--)
            bit(byte >> i & 1);
        return !bit(true);
    }
    int read(bool ack)
    {
        int v = 0;
        for (int i = 0; i < 8; i++)
            v = v << 1 | (bit(true) ? 1 : 0);
        bit(!ack);
        return v;
    }
};

struct I2cBoard : Board {
    std::shared_ptr<I2cBus> bus;
    std::shared_ptr<Ds1339> rtc;
    I2cMaster m{*this, 56, 57};
    I2cBoard()
    {
        bus = std::make_shared<I2cBus>(56, 57, 4700.0);
        rtc = std::make_shared<Ds1339>(time);
        bus->addTarget(rtc);
        pins.attach(bus);
    }
    std::vector<int> readTime()
    {
        m.start();
        EXPECT_TRUE(m.write(0xD0));
        EXPECT_TRUE(m.write(0x00));
        m.start(); // repeated start
        EXPECT_TRUE(m.write(0xD1));
        std::vector<int> r;
        for (int i = 0; i < 7; i++)
            r.push_back(m.read(i < 6));
        m.stop();
        return r;
    }
};

TEST(I2c, ScanFindsTheRtcAndRecordsEachProbe)
{
    I2cBoard b;
    for (int a : {0x50, 0x68}) {
        b.m.start();
        bool ack = b.m.write(a << 1);
        b.m.stop();
        EXPECT_EQ(ack, a == 0x68) << a;
    }
    auto &log = b.bus->transactions();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].address, 0x50);
    EXPECT_FALSE(log[0].acked);
    EXPECT_EQ(log[1].address, 0x68);
    EXPECT_TRUE(log[1].acked);
    EXPECT_FALSE(log[1].read);
    EXPECT_TRUE(log[1].stopped);
    Json o = b.bus->observations();
    ASSERT_EQ(o.at("acknowledgedAddresses").size(), 1u);
    EXPECT_EQ(o.at("acknowledgedAddresses")[0].get<double>(), 0x68);
}

TEST(I2c, Ds1339ReadsItsStartTimeAndCountsOn)
{
    I2cBoard b;
    // Thursday 2026-01-01 12:00:00 in BCD, 24-hour mode.
    EXPECT_EQ(b.readTime(), (std::vector<int>{0x00, 0x00, 0x12, 5, 0x01, 0x01, 0x26}));
    auto &log = b.bus->transactions();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[1].repeatedStart);
    EXPECT_TRUE(log[1].read);
    ASSERT_EQ(log[1].bytes.size(), 7u);
    EXPECT_EQ(log[1].bytes[2], 0x12);
    EXPECT_FALSE(log[1].acks[6]); // the master NACKs the last byte

    b.m.t += 100'000'000ull * 61 * 60; // 1 h 1 min later
    auto r = b.readTime();
    EXPECT_EQ(r[1], 0x01);
    EXPECT_EQ(r[2], 0x13);
}

TEST(I2c, Ds1339TakesASetTimeWriteAndClearsOnlyWrittenZeros)
{
    I2cBoard b;
    // 2027-12-31 23:59:58, Friday (6), then status: write 0 clears OSF.
    b.m.start();
    b.m.write(0xD0);
    b.m.write(0x00);
    for (int v : {0x58, 0x59, 0x23, 6, 0x31, 0x12, 0x27})
        EXPECT_TRUE(b.m.write(v));
    b.m.stop();
    ASSERT_EQ(b.rtc->setTimes().size(), 1u);
    EXPECT_EQ(b.rtc->setTimes()[0].time.text(), "2027-12-31 23:59:58");
    b.m.t += 300'000'000; // 3 s: over midnight into the new year
    auto r = b.readTime();
    EXPECT_EQ(r, (std::vector<int>{0x01, 0x00, 0x00, 7, 0x01, 0x01, 0x28}));

    // Stop the oscillator: OSF sets and the time stands still.
    b.m.start();
    b.m.write(0xD0);
    b.m.write(0x0E);
    b.m.write(0x80);
    b.m.stop();
    EXPECT_TRUE(b.rtc->reg(0x0F) & 0x80);
    b.m.t += 500'000'000;
    EXPECT_EQ(b.readTime()[0], r[0]);
    b.m.start();
    b.m.write(0xD0);
    b.m.write(0x0F);
    b.m.write(0xFF); // writing 1 leaves the flag set
    b.m.stop();
    EXPECT_TRUE(b.rtc->reg(0x0F) & 0x80);
}

// ---- LED chain ----

struct LedWave {
    Board &b;
    int pin;
    Clock t = 1000;
    void bits(std::uint32_t v, int n, double t0h, double t0l, double t1h, double t1l)
    {
        for (int i = n - 1; i >= 0; i--) {
            bool one = v >> i & 1;
            b.set(pin, true, true, t);
            t += Clock((one ? t1h : t0h) / 10);
            b.set(pin, true, false, t);
            t += Clock((one ? t1l : t0l) / 10);
        }
    }
    void latch(double us)
    {
        t += Clock(us * 100);
        b.pins.advance(t);
    }
};

TEST(LedChain, DecodesLatchesAndChecksBothWs2812bWindows)
{
    struct Case {
        const char *name;
        double t0h, t0l, t1h, t1l;
        bool violatesNewer;
    } cases[] = {
        {"inside both", 350, 850, 800, 400, false},
        {"older parts only", 400, 850, 800, 450, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Board b;
        auto chain = b.attach<LedChain>(40, 2, LedPartFor(0));
        LedWave w{b, 40};
        w.bits(0x32FF19, 24, c.t0h, c.t0l, c.t1h, c.t1l); // G R B of red FF, green 32, blue 19
        w.bits(0x000080, 24, c.t0h, c.t0l, c.t1h, c.t1l);
        w.latch(300);
        ASSERT_EQ(chain->latchCount(), 1u);
        EXPECT_EQ(chain->shown(), (std::vector<std::uint32_t>{0xFF3219, 0x000080}));
        bool newer = false, older = false;
        for (auto &v : chain->violations()) {
            newer = newer || v.text.rfind("WS2812B newer", 0) == 0;
            older = older || v.text.rfind("WS2812B:", 0) == 0;
        }
        EXPECT_EQ(newer, c.violatesNewer);
        EXPECT_FALSE(older);
    }
}

TEST(LedChain, ShortResetOrMissingBitsAreViolations)
{
    Board b;
    auto chain = b.attach<LedChain>(2, 2, LedPartFor(2)); // WS2812: G R B, 50 us reset
    LedWave w{b, 2};
    w.bits(0xFF0000, 24, 350, 800, 700, 600);
    w.bits(0xFFF, 12, 350, 800, 700, 600);
    w.latch(60);
    EXPECT_EQ(chain->latchCount(), 1u);
    ASSERT_FALSE(chain->violations().empty());
    EXPECT_NE(chain->violations().back().text.find("LED 1 latched with 12 of 24 bits"), std::string::npos);
    EXPECT_EQ(chain->shown()[0], 0x00FF00u); // green first on the wire
    // A 520 ns high time lies between T0H and T1H: outside both.
    w.bits(0x0, 1, 520, 600, 0, 0);
    w.latch(60);
    bool found = false;
    for (auto &v : chain->violations())
        found = found || v.text == "WS2812: T0H high 520.0 ns outside 200..500 ns";
    EXPECT_TRUE(found);
}

// ---- VGA ----

// Drives 640x480 at 60 Hz: 10 clocks a pixel at 251.75 MHz, eight colour
// bars, H-sync on a logic pin, colours from 75 Ohm sources of 0..1.4 V
// (0.7 V into the monitor's termination).
struct VgaSignal {
    TimeBase time{251.75e6};
    Pins pins{time};
    int base = 16;
    bool negative = true;
    std::uint64_t out = 0;
    Clock t = 5;
    static std::uint8_t Bar(int x, int c) { return std::uint8_t(((x / 80) >> c & 1) ? 255 : (x / 80) * 30 + 10); }
    void sync(int pin, bool active)
    {
        bool level = active != negative;
        out = level ? out | 1ull << pin : out & ~(1ull << pin);
        pins.setCogOutputs(0, 1ull << base | 1ull << (base + 4), out, t);
    }
    void colour(int c, double value)
    {
        pins.drive(base + 3 - c, {Pins::ExternalDrive::Voltage, 75.0, value / 255.0 * 1.4}, t, this);
    }
    void line(bool visible, bool vsync)
    {
        sync(base + 4, vsync);
        sync(base, true);
        t += 96 * 10;
        sync(base, false);
        t += 48 * 10;
        for (int bar = 0; bar < 8; bar++) {
            for (int c = 0; c < 3; c++)
                colour(c, visible ? Bar(bar * 80, c) : 0);
            t += 80 * 10;
        }
        for (int c = 0; c < 3; c++)
            colour(c, 0);
        t += 16 * 10;
    }
    void frame()
    {
        for (int i = 0; i < 2; i++)
            line(false, true);
        for (int i = 0; i < 33; i++)
            line(false, false);
        for (int i = 0; i < 480; i++)
            line(true, false);
        for (int i = 0; i < 10; i++)
            line(false, false);
    }
};

TEST(VgaMonitor, SyncsMeasuresAndCapturesTheFrame)
{
    for (bool negative : {true, false}) {
        SCOPED_TRACE(negative ? "negative syncs" : "positive syncs");
        VgaSignal s;
        s.negative = negative;
        auto mon = std::make_shared<VgaMonitor>(s.base);
        s.pins.attach(mon);
        s.sync(s.base, false);
        s.sync(s.base + 4, false);
        for (int f = 0; f < 4; f++)
            s.frame();
        ASSERT_TRUE(mon->captured());
        EXPECT_EQ(mon->hsyncNegative(), negative);
        EXPECT_EQ(mon->vsyncNegative(), negative);
        EXPECT_NEAR(mon->lineHz(), 31468.75, 0.01);
        EXPECT_NEAR(mon->frameHz(), 59.94, 0.01);
        const auto &px = mon->frame();
        for (int y : {0, 240, 479})
            for (int x : {0, 79, 80, 355, 639})
                for (int c = 0; c < 3; c++)
                    ASSERT_EQ(px[std::size_t((y * 640 + x) * 3 + c)], VgaSignal::Bar(x, c)) << x << "," << y;
        Json o = mon->observations();
        EXPECT_EQ(o.at("mode").get<std::string>(), "640x480@60");
        EXPECT_EQ(o.at("linesPerFrame").get<double>(), 525);
        EXPECT_NEAR(o.at("hsyncPixels").get<double>(), 96, 0.01);
        EXPECT_NEAR(o.at("vsyncLines").get<double>(), 2, 0.01);
        EXPECT_NEAR(o.at("hBackPorchPixels").get<double>(), 48, 0.01);
        EXPECT_NEAR(o.at("hFrontPorchPixels").get<double>(), 16, 0.01);
        EXPECT_EQ(o.at("vBackPorchLines").get<double>(), 33);
        EXPECT_EQ(o.at("vFrontPorchLines").get<double>(), 10);
    }
}

TEST(VgaMonitor, NoCaptureWithoutVsync)
{
    VgaSignal s;
    auto mon = std::make_shared<VgaMonitor>(s.base);
    s.pins.attach(mon);
    for (int i = 0; i < 1200; i++)
        s.line(true, false);
    EXPECT_FALSE(mon->captured());
    EXPECT_TRUE(mon->observations().at("mode").is_null());
}

} // namespace
