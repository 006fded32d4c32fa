#include "chip/device.h"
#include "chip/fifo.h"
#include "chip/hub.h"
#include "chip/pins.h"
#include "chip/pixel.h"
#include "chip/streamer.h"
#include "chip/time.h"
#include "dacload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <utility>
#include <vector>

using kivo::sim::Clock;
using kivo::sim::ColorReg;
using kivo::sim::ColorSpace;
using kivo::sim::Fifo;
using kivo::sim::Hub;
using kivo::sim::kNever;
using kivo::sim::Pins;
using kivo::sim::Streamer;
using kivo::sim::StreamerCmd;
using kivo::sim::StreamerEvent;
using kivo::sim::TimeBase;

namespace {

// Command words as the Spin2/FlexSpin streamer constants give them.
constexpr std::uint32_t X_IMM_32X1_LUT = 0x0000'0000;
constexpr std::uint32_t X_IMM_4X8_LUT = 0x3000'0000;
constexpr std::uint32_t X_IMM_32X1_1DAC1 = 0x4000'0000;
constexpr std::uint32_t X_IMM_16X2_2DAC1 = 0x5000'0000;
constexpr std::uint32_t X_IMM_1X32_4DAC8 = 0x7001'0000;
constexpr std::uint32_t X_RFLONG_4X8_LUT = 0x7008'0000;
constexpr std::uint32_t X_RFBYTE_8P_1DAC8 = 0xA00E'0000;
constexpr std::uint32_t X_RFBYTE_LUMA8 = 0xB002'0000;
constexpr std::uint32_t X_RFBYTE_RGBI8 = 0xB003'0000;
constexpr std::uint32_t X_RFBYTE_RGB8 = 0xB004'0000;
constexpr std::uint32_t X_RFWORD_RGB16 = 0xB005'0000;
constexpr std::uint32_t X_RFLONG_RGB24 = 0xB006'0000;
constexpr std::uint32_t X_8P_1DAC8_WFBYTE = 0xE00E'0000;
constexpr std::uint32_t X_DDS_GOERTZEL_SINC1 = 0xF007'0000;
constexpr std::uint32_t X_DACS_3_2_1_0 = 0x0F00'0000;
constexpr std::uint32_t X_DACS_X_X_X_0 = 0x0400'0000;
constexpr std::uint32_t X_PINS_ON = 0x0080'0000;
constexpr std::uint32_t X_WRITE_ON = 0x0080'0000;
constexpr std::uint32_t X_ALT_ON = 0x0001'0000;

struct StreamerFixture : ::testing::Test {
    TimeBase time{20e6};
    Pins pins{time};
    Hub hub;
    Fifo fifo{hub, 2};
    std::array<std::uint32_t, 512> lut{};
    Streamer st{2, pins, fifo, lut.data()};
    std::vector<std::pair<Clock, std::uint32_t>> dacs;
    std::vector<std::pair<Clock, std::uint64_t>> outs;

    void SetUp() override
    {
        st.setDacHook([this](std::uint32_t v, Clock at) { dacs.emplace_back(at, v); });
        st.setPinOutputHook([this](std::uint64_t v, Clock at) { outs.emplace_back(at, v); });
    }
    // The DACs from clock `at` on, as recorded.
    std::uint32_t dacAt(Clock at) const
    {
        std::uint32_t v = 0;
        for (const auto &[t, d] : dacs)
            if (t <= at)
                v = d;
        return v;
    }
    std::uint64_t outAt(Clock at) const
    {
        std::uint64_t v = 0;
        for (const auto &[t, o] : outs)
            if (t <= at)
                v = o;
        return v;
    }
    // The clocks at which the DACs took each new value, from `from` on.
    std::vector<Clock> changes(Clock from = 0) const
    {
        std::vector<Clock> r;
        for (const auto &[t, d] : dacs)
            if (t >= from)
                r.push_back(t);
        return r;
    }
};

} // namespace

TEST_F(StreamerFixture, NcoStepsLastWholeClocksForEachFrequency)
{
    // SETXFRQ values from the documentation: clocks per step.
    const std::pair<std::uint32_t, Clock> freqs[] = {
        {0x8000'0000, 1}, {0x4000'0000, 2}, {0x2AAA'AAAB, 3}, {0x2000'0000, 4},
        {0x1999'999A, 5}, {0x1555'5556, 6}, {0x1249'2493, 7}, {0x0CCC'CCCD, 10},
    };
    lut[0] = 0x10, lut[1] = 0x20, lut[2] = 0x30, lut[3] = 0x40;
    Clock t = 100;
    for (const auto &[freq, clocks] : freqs) {
        dacs.clear();
        st.setFrequency(freq, t);
        // Four steps of four different values, then the streamer stops.
        st.command(StreamerCmd::Init, X_IMM_4X8_LUT | X_DACS_3_2_1_0 | 4, 0x03020100, false, 0, t);
        const Clock t0 = t + 1;
        st.advance(t + 100);
        ASSERT_EQ(changes(t0).size(), 5u) << std::hex << freq;
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ(changes(t0)[std::size_t(k)], t0 + Clock(k) * clocks) << std::hex << freq << " step " << k;
        EXPECT_EQ(dacAt(t0 + 4 * clocks), 0u); // stopped: the SETDACS value again
        EXPECT_FALSE(st.running());
        EXPECT_TRUE(st.occurred(StreamerEvent::Xfi, t0 + 4 * clocks - 1));
        t += 200;
    }
}

TEST_F(StreamerFixture, CommandBufferBlocksUntilTheLastClock)
{
    st.setFrequency(0x2000'0000, 0); // 4 clocks a step
    const std::uint32_t imm = X_IMM_1X32_4DAC8 | X_DACS_3_2_1_0;
    EXPECT_EQ(st.command(StreamerCmd::Init, imm | 3, 0xA, false, 0, 10), 12u); // runs 11..23
    EXPECT_EQ(st.command(StreamerCmd::Cont, imm | 2, 0xB, false, 0, 12), 14u); // buffered
    EXPECT_TRUE(st.occurred(StreamerEvent::Xmt, 10));
    EXPECT_EQ(st.nextOccurrence(StreamerEvent::Xmt, 14), 23u);
    // Buffer full: waits for the first command's last clock.
    const Clock done = st.command(StreamerCmd::Cont, imm | 1, 0xC, false, 0, 14);
    EXPECT_EQ(done, 24u);
    st.advance(100);
    EXPECT_EQ(dacs, (std::vector<std::pair<Clock, std::uint32_t>>{{11, 0xA}, {23, 0xB}, {31, 0xC}, {35, 0}}));
    EXPECT_TRUE(st.occurred(StreamerEvent::Xfi, 34));
    EXPECT_FALSE(st.occurred(StreamerEvent::Xfi, 35));
    EXPECT_EQ(st.nextEvent(100), kNever);

    // A stopped NCO never reaches the last clock: a full buffer waits for ever.
    st.setFrequency(0, 100);
    st.command(StreamerCmd::Init, imm | 1, 0xE, false, 0, 100);
    st.command(StreamerCmd::Cont, imm | 1, 0xF, false, 0, 102);
    EXPECT_EQ(st.command(StreamerCmd::Cont, imm | 1, 0xF, false, 0, 104), kNever);
    st.command(StreamerCmd::Init, 0, 0, false, 0, 106);
    st.setFrequency(0x2000'0000, 108);

    // Nothing running: XCONT starts at once and does not wait.
    EXPECT_EQ(st.command(StreamerCmd::Cont, imm | 1, 0xD, false, 0, 200), 202u);
    st.advance(300);
    EXPECT_EQ(dacAt(201), 0xDu);
    EXPECT_EQ(dacAt(205), 0u);
}

TEST_F(StreamerFixture, XzeroZeroesThePhaseXcontKeepsIt)
{
    // 3/4 of the clock: the first rollover after 2 clocks leaves phase 1/2,
    // so a continuing command's first step takes 1 clock, a zeroed one 2.
    const std::uint32_t imm = X_IMM_1X32_4DAC8 | X_DACS_3_2_1_0;
    for (auto [kind, clocks] : {std::pair{StreamerCmd::Cont, Clock(1)}, {StreamerCmd::Zero, Clock(2)}}) {
        dacs.clear();
        const Clock t = 1000 * (kind == StreamerCmd::Cont ? 1 : 2);
        st.command(StreamerCmd::Init, imm | 1, 1, true, 0x6000'0000, t); // SETQ sets the frequency
        st.command(kind, imm | 1, 2, false, 0, t + 2);
        st.advance(t + 50);
        EXPECT_EQ(dacs, (std::vector<std::pair<Clock, std::uint32_t>>{{t + 1, 1}, {t + 3, 2}, {t + 3 + clocks, 0}}))
            << int(kind);
    }
}

TEST_F(StreamerFixture, ForeverStopAndHandOverAtTheNextRollover)
{
    st.setFrequency(0x1000'0000, 0); // 8 clocks a step
    const std::uint32_t imm = X_IMM_1X32_4DAC8 | X_DACS_3_2_1_0;
    st.command(StreamerCmd::Init, imm | 0xFFFF, 0x55, false, 0, 10);
    st.advance(100000);
    EXPECT_TRUE(st.running());
    EXPECT_EQ(dacAt(100000), 0x55u);
    // A buffered command takes over at the next rollover (from 11 on, every
    // 8 clocks: 100003) and runs its one step.
    EXPECT_EQ(st.command(StreamerCmd::Cont, imm | 1, 0x66, false, 0, 100000), 100002u);
    st.advance(100100);
    EXPECT_EQ(dacAt(100002), 0x55u);
    EXPECT_EQ(dacAt(100003), 0x66u);
    EXPECT_EQ(dacs.back(), (std::pair<Clock, std::uint32_t>{100011, 0}));
    EXPECT_FALSE(st.running());

    // XINIT #0,#0 (XSTOP) stops at once, dropping a buffered command.
    st.command(StreamerCmd::Init, imm | 100, 0x77, false, 0, 200000);
    st.command(StreamerCmd::Cont, imm | 100, 0x88, false, 0, 200002);
    st.command(StreamerCmd::Init, 0, 0, false, 0, 200010);
    st.advance(300000);
    EXPECT_EQ(dacAt(200011), 0u);
    EXPECT_FALSE(st.running());
    for (const auto &[t, v] : dacs)
        EXPECT_NE(v, 0x88u);
}

TEST_F(StreamerFixture, CallsFromACogBehindThePinsPullStayInOrder)
{
    // The pins may pull a streamer a few clocks past its cog's own clock; a
    // later call with the cog's (earlier) clock acts from where it stands.
    const std::uint32_t imm = X_IMM_1X32_4DAC8 | X_DACS_3_2_1_0;
    st.setFrequency(0x2000'0000, 0);
    st.command(StreamerCmd::Init, imm | 0xFFFF, 0x11, false, 0, 10); // steps at 11, 15, .., 103
    st.advance(103);
    st.setFrequency(0x8000'0000, 100); // from 104 on: every clock
    st.command(StreamerCmd::Cont, imm | 1, 0x22, false, 0, 101);
    st.advance(200);
    EXPECT_EQ(dacAt(103), 0x11u);
    EXPECT_EQ(dacAt(104), 0x22u); // the buffered command at the next (1-clock) rollover
    EXPECT_EQ(dacAt(105), 0u);
    for (std::size_t i = 1; i < dacs.size(); ++i)
        EXPECT_LE(dacs[i - 1].first, dacs[i].first);
    st.advance(300);
    st.command(StreamerCmd::Init, imm | 1, 0x33, false, 0, 250);
    st.advance(400);
    EXPECT_EQ(dacAt(301), 0x33u);
    EXPECT_EQ(dacAt(300), 0u);
}

TEST_F(StreamerFixture, DacOverrideFollowsDddd)
{
    st.setDacs(0xA0B0C0D0, 0);
    st.advance(5);
    EXPECT_EQ(dacAt(5), 0xA0B0C0D0u);
    const struct {
        std::uint32_t dddd, dacs;
    } cases[] = {
        {0x0, 0xA0B0C0D0}, {0x1, 0x11111111}, {0x2, 0xA0B01111}, {0x3, 0x1111C0D0},
        {0x4, 0xA0B0C011}, {0x5, 0xA0B011D0}, {0x6, 0xA011C0D0}, {0x7, 0x11B0C0D0},
        {0x8, 0xEE11EE11}, {0x9, 0xA0B0EE11}, {0xA, 0xEE11C0D0}, {0xB, 0x22112211},
        {0xC, 0xA0B02211}, {0xD, 0x2211C0D0}, {0xE, 0xDD22EE11}, {0xF, 0x44332211},
    };
    Clock t = 100;
    for (const auto &c : cases) {
        st.command(StreamerCmd::Init, X_IMM_1X32_4DAC8 | c.dddd << 24 | 2, 0x44332211, false, 0, t);
        st.advance(t + 1);
        EXPECT_EQ(dacAt(t + 1), c.dacs) << c.dddd;
        st.advance(t + 10);
        EXPECT_EQ(dacAt(t + 10), 0xA0B0C0D0u) << c.dddd; // overrides end with the command
        t += 100;
    }
}

TEST_F(StreamerFixture, ImmediateModesThroughTheLutAndToPins)
{
    for (int i = 0; i < 32; ++i)
        lut[std::size_t(0x1E0 + i)] = 0x01000000u * std::uint32_t(i + 1); // base %1111 -> $1E0
    lut[0x1FF] = 0xCAFE0000;
    // 32 x 1-bit LUT from base $1E0: bits 1,0,1,1 give entries 1,0,1,1, the
    // last repeating past the command's 32 values.
    st.command(StreamerCmd::Init, X_IMM_32X1_LUT | X_DACS_3_2_1_0 | 0xF << 16 | 3, 0b1101, false, 0, 10);
    st.advance(50);
    EXPECT_EQ(dacAt(11), 0x02000000u);
    EXPECT_EQ(dacAt(12), 0x01000000u);
    EXPECT_EQ(dacAt(13), 0x02000000u);
    EXPECT_FALSE(st.occurred(StreamerEvent::Xrl, 0));
    // 4 x 8-bit indices; index $1F of base $1E0 reads LUT $1FF: XRL.
    st.command(StreamerCmd::Init, X_IMM_4X8_LUT | X_DACS_3_2_1_0 | 0xF << 16 | 6, 0x001F0102, false, 0, 100);
    st.advance(200);
    const std::uint32_t want[] = {0x03000000, 0x02000000, 0xCAFE0000, 0x01000000, 0x01000000, 0x01000000};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(dacAt(101 + Clock(k)), want[k]) << k;
    EXPECT_TRUE(st.occurred(StreamerEvent::Xrl, 100));

    // 1 pin + 1 DAC: pin 37 (D[22:17]) with the pins on; alternate order
    // takes each byte top bit first.
    const std::uint32_t pin37 = 37u << 17;
    st.command(StreamerCmd::Init, X_IMM_32X1_1DAC1 | X_DACS_X_X_X_0 | X_PINS_ON | pin37 | 4, 0b0110, false, 0, 300);
    st.advance(400);
    const int bits[] = {0, 1, 1, 0};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(outAt(301 + Clock(k)), std::uint64_t(bits[k]) << 37) << k;
        EXPECT_EQ(dacAt(301 + Clock(k)) & 0xFF, bits[k] ? 0xFFu : 0x00u) << k;
    }
    EXPECT_EQ(outAt(305), 0u); // pins released at the end
    st.command(StreamerCmd::Init, X_IMM_32X1_1DAC1 | X_DACS_X_X_X_0 | X_PINS_ON | X_ALT_ON | pin37 | 2, 0x80, false, 0,
               500);
    st.advance(600);
    EXPECT_EQ(outAt(501), std::uint64_t(1) << 37);
    EXPECT_EQ(outAt(502), 0u);
    // 16 x 2 bits on pins 6,7 (D[22:18] = 3) and DACs 1,0.
    st.command(StreamerCmd::Init, X_IMM_16X2_2DAC1 | 0x0C00'0000 | X_PINS_ON | 3u << 18 | 2, 0b1001, false, 0, 700);
    st.advance(800);
    EXPECT_EQ(outAt(701), std::uint64_t(0b01) << 6);
    EXPECT_EQ(dacAt(701) & 0xFFFF, 0x00FFu);
    EXPECT_EQ(outAt(702), std::uint64_t(0b10) << 6);
    EXPECT_EQ(dacAt(702) & 0xFFFF, 0xFF00u);
}

TEST_F(StreamerFixture, FifoModesReadHubDataInOrder)
{
    // RFLONG -> 4 x 8-bit LUT, LUT base from S[3:0]: the VGA path.
    for (std::uint32_t i = 0; i < 8; ++i) {
        hub.writeByte(0x1000 + i, std::uint8_t(i));
        lut[0x20 + i] = 0x11111100u * (i + 1);
    }
    fifo.rdfast(0, 0x1000, 0);
    st.command(StreamerCmd::Init, X_RFLONG_4X8_LUT | X_DACS_3_2_1_0 | 8, 1, false, 0, 50);
    st.advance(100);
    for (std::uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(dacAt(51 + i), 0x11111100u * (i + 1)) << i;
    EXPECT_EQ(fifo.pointer(), 0x1008u); // two longs, no more

    // RFBYTE -> 8 pins + 1 DAC, pins 16..23.
    fifo.rdfast(0, 0x1005, 200);
    st.command(StreamerCmd::Init, X_RFBYTE_8P_1DAC8 | X_DACS_X_X_X_0 | X_PINS_ON | 2u << 20 | 2, 0, false, 0, 300);
    st.advance(400);
    EXPECT_EQ(outAt(301), std::uint64_t(5) << 16);
    EXPECT_EQ(dacAt(302) & 0xFF, 6u);

    // RFBYTE -> 1 pin: eight steps a byte, bottom bit first, pin 5.
    hub.writeByte(0x1100, 0xA5);
    hub.writeByte(0x1101, 0x01);
    fifo.rdfast(0, 0x1100, 500);
    st.command(StreamerCmd::Init, 0x8000'0000 | X_PINS_ON | 5u << 17 | 10, 0, false, 0, 600);
    st.advance(700);
    const int bits[10] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 0};
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(outAt(601 + Clock(k)), std::uint64_t(bits[k]) << 5) << k;
    EXPECT_EQ(fifo.pointer(), 0x1102u);

    // The RGB modes: one pixel a step, {R, G, B, 0} on X3..X0.
    struct Case {
        std::uint32_t mode, s;
        std::vector<std::uint8_t> bytes;
        std::uint32_t x;
    } cases[] = {
        {X_RFBYTE_RGB8, 0, {0b111'010'01}, 0xFF'49'55'00},
        {X_RFWORD_RGB16, 0, {0x1F, 0xF8}, 0xFF'00'FF'00}, // $F81F: red 31, green 0, blue 31
        {X_RFLONG_RGB24, 0, {0x00, 0x33, 0x22, 0x11}, 0x11'22'33'00},
        {X_RFBYTE_LUMA8, 0b000, {0x80}, 0x80'40'00'00},    // orange
        {X_RFBYTE_LUMA8, 0b011, {0x80}, 0x00'80'80'00},    // cyan
        {X_RFBYTE_RGBI8, 0, {0b110'10000}, 0x84'84'00'00}, // yellow, luma %10000
    };
    Clock t = 1000;
    for (const Case &c : cases) {
        for (std::size_t i = 0; i < c.bytes.size(); ++i)
            hub.writeByte(0x3000 + std::uint32_t(i), c.bytes[i]);
        fifo.rdfast(0, 0x3000, t);
        st.command(StreamerCmd::Init, c.mode | X_DACS_3_2_1_0 | 1, c.s, false, 0, t + 20);
        st.advance(t + 21);
        EXPECT_EQ(dacAt(t + 21), c.x) << std::hex << c.mode;
        t += 100;
    }
}

TEST_F(StreamerFixture, PinsToHubCapture)
{
    // The cog drives pins 8..15; the streamer samples them each step into
    // X0 and writes a byte per step.
    pins.setCogOutputs(0, 0xFF00, 0x5A00, 0);
    pins.advance(50);
    fifo.wrfast(0, 0x2000, 60);
    st.setFrequency(0x0800'0000, 60); // a step every 16 clocks: 101, 117, 133
    st.command(StreamerCmd::Init, X_8P_1DAC8_WFBYTE | X_DACS_X_X_X_0 | X_WRITE_ON | 1u << 20 | 3, 0, false, 0, 100);
    st.advance(101);
    pins.setCogOutputs(0, 0xFF00, 0xC300, 105);
    st.advance(200);
    EXPECT_EQ(hub.readByte(0x2000), 0x5A);
    EXPECT_EQ(hub.readByte(0x2001), 0xC3);
    EXPECT_EQ(hub.readByte(0x2002), 0xC3);
    EXPECT_EQ(hub.readByte(0x2003), 0x00);
    EXPECT_EQ(dacAt(101) & 0xFF, 0x5Au);
}

TEST_F(StreamerFixture, DdsOutputsTheLutEveryClockAndGoertzelAccumulates)
{
    // A 4-entry loop (S[11:9] = %111) of sine 10, cosine -20; the NCO's top
    // bits walk the table at 1/4 turn a clock... with a 1/8 frequency the
    // index moves every 2 clocks.
    for (std::uint32_t i = 0; i < 4; ++i)
        lut[i] = 0x0A'EC'00'00u | i;
    st.setFrequency(0x1000'0000, 0);
    const std::uint32_t cfg = 0x0'1'000 | 0b111u << 9; // pin +0 summed, 4-entry table at 0
    st.command(StreamerCmd::Init, X_DDS_GOERTZEL_SINC1 | X_DACS_3_2_1_0 | 2, cfg, false, 0, 10);
    st.advance(40);
    // Phase after clock 11 + k is k/8 of a turn: index k/2.
    EXPECT_EQ(dacAt(11), (0x0A'EC'00'00u | 0) ^ 0x80808080u);
    EXPECT_EQ(dacAt(14), (0x0A'EC'00'00u | 1) ^ 0x80808080u);
    EXPECT_EQ(dacAt(17), (0x0A'EC'00'00u | 3) ^ 0x80808080u);
    // Pin 0 undriven reads 0, counted as -1: 16 clocks of -10 / +20.
    st.command(StreamerCmd::Init, X_IMM_1X32_4DAC8 | 1, 0, false, 0, 40);
    const Streamer::Acc acc = st.getxacc(45);
    EXPECT_EQ(std::int32_t(acc.sin), -10 * 16);
    EXPECT_EQ(std::int32_t(acc.cos), 20 * 16);
}

TEST_F(StreamerFixture, DigitalVideoSendsTmdsSymbolsOneBitAClock)
{
    // DVI forward on pins 16..23 at 1/10 of the clock: per 10-clock step each
    // colour pair sends one TMDS symbol, least significant bit first.
    auto decode = [](std::uint32_t q) {
        const std::uint32_t d = (q >> 9 & 1) ? ~q & 0xFF : q & 0xFF;
        std::uint32_t v = d & 1;
        for (int i = 1; i < 8; ++i) {
            const std::uint32_t x = ((d >> i) ^ (d >> (i - 1))) & 1;
            v |= ((q >> 8 & 1) ? x : x ^ 1) << i;
        }
        return v;
    };
    const std::uint32_t pins16 = 2u << 20;
    for (std::uint32_t cmod : {0x100u, 0x180u}) {
        outs.clear();
        const Clock t0 = 1000 * cmod + 1;
        st.setColor(ColorReg::Cmod, cmod, t0 - 1);
        st.setFrequency(0x0CCC'CCCD, t0 - 1);
        const std::uint32_t pixel = 0x10'F7'00'00; // R few ones, G many, B zero
        st.command(StreamerCmd::Init, X_IMM_1X32_4DAC8 | X_PINS_ON | pins16 | 200, pixel, false, 0, t0 - 1);
        st.advance(t0 + 2000);
        const bool rev = cmod & 0x80;
        // Pin offsets of (+, -) for red, green, blue, clock.
        const int plus[4] = {rev ? 0 : 7, rev ? 2 : 5, rev ? 4 : 3, rev ? 6 : 1};
        const int minus[4] = {rev ? 1 : 6, rev ? 3 : 4, rev ? 5 : 2, rev ? 7 : 0};
        int balance[3] = {0, 0, 0};
        for (int k = 0; k < 200; ++k) {
            std::uint32_t sym[4] = {0, 0, 0, 0};
            for (int i = 0; i < 10; ++i) {
                const std::uint64_t bus = outAt(t0 + Clock(10 * k + i));
                for (int c = 0; c < 4; ++c) {
                    const std::uint32_t p = (bus >> (16 + plus[c])) & 1, m = (bus >> (16 + minus[c])) & 1;
                    ASSERT_NE(p, m) << "pair " << c << " step " << k << " bit " << i;
                    sym[c] |= p << i;
                }
                ASSERT_EQ(bus & ~(std::uint64_t(0xFF) << 16), 0u);
            }
            EXPECT_EQ(sym[3], 0x01Fu) << k; // the clock: five high, five low
            EXPECT_EQ(decode(sym[0]), 0x10u) << k;
            EXPECT_EQ(decode(sym[1]), 0xF7u) << k;
            EXPECT_EQ(decode(sym[2]), 0x00u) << k;
            for (int c = 0; c < 3; ++c) {
                balance[c] += 2 * std::popcount(sym[c]) - 10;
                EXPECT_LE(std::abs(balance[c]), 10) << "channel " << c << " step " << k; // DC balanced
            }
        }
        EXPECT_EQ(outAt(t0 + 2000), 0u); // ended: pins released
    }
    // P[1] = 1: the three 10-bit fields go out as they are (control symbols).
    outs.clear();
    st.setColor(ColorReg::Cmod, 0x100, 500000);
    const std::uint32_t ctl = 0b1101010100u << 22 | 0b0010101011u << 12 | 0b1101010100u << 2 | 2;
    st.command(StreamerCmd::Init, X_IMM_1X32_4DAC8 | X_PINS_ON | 1, ctl, false, 0, 500000);
    st.advance(500020);
    std::uint32_t red = 0, green = 0;
    for (int i = 0; i < 10; ++i) {
        red |= std::uint32_t(outAt(500001 + Clock(i)) >> 7 & 1) << i;
        green |= std::uint32_t(outAt(500001 + Clock(i)) >> 5 & 1) << i;
    }
    EXPECT_EQ(red, 0b1101010100u);
    EXPECT_EQ(green, 0b0010101011u);
}

TEST(ColorSpace, ConverterModes)
{
    ColorSpace vga;
    vga.cy = 0x8000'0000, vga.ci = 0x0080'0000, vga.cq = 0x0000'8000, vga.cmod = 0b01'0'000'1;
    // Pass-through RGB; H-sync high while DAC0 bit 0 is low.
    EXPECT_EQ(vga.convert(0x40'80'C0'00), 0x40'80'C0'FFu);
    EXPECT_EQ(vga.convert(0x40'80'C0'01), 0x40'80'C0'00u);
    ColorSpace off;
    EXPECT_FALSE(off.active());
    EXPECT_EQ(off.convert(0x12345678), 0x12345678u);
    // Offsets and DAC0 adds (CMOD[3:1]); signed coefficients (CMOD[4]).
    ColorSpace c;
    c.cy = 0x4000'0010, c.ci = 0x0040'0020, c.cq = 0x0000'C030, c.cmod = 0b01'1'111'0;
    // Y = 64*64/128 = 32 + 16 + 2; I = 128*64/128 = 64 + 32 + 2; Q = 200*(-64)/128 = -100.
    EXPECT_EQ(c.convert(0x40'80'C8'02),
              std::uint32_t(50) << 24 | 98u << 16 | std::uint32_t((0x30 + 2 - 100) & 0xFF) << 8 | 0x00);
    // Composite: with I = Q = 0 the chroma term is CQ[7:0]; blank/sync by DAC0.
    ColorSpace comp;
    comp.cy = 0x0000'0040, comp.ci = 0x0000'0020, comp.cq = 0x0000'0080, comp.cmod = 0b10'0'000'0;
    EXPECT_TRUE(comp.modulates());
    EXPECT_EQ(comp.convert(0x00000000), 0x40'40'80'40u);
    EXPECT_EQ(comp.convert(0x00000001), 0x20'20'80'20u);
    EXPECT_EQ(comp.convert(0x00000002), 0x00'00'80'00u);
}

TEST_F(StreamerFixture, ConverterDelaysTheDacsByFiveClocks)
{
    st.setColor(ColorReg::Cy, 0x8000'0000, 0);
    st.setColor(ColorReg::Ci, 0x0080'0000, 0);
    st.setColor(ColorReg::Cq, 0x0000'8000, 0);
    st.setColor(ColorReg::Cmod, 0b01'0'000'1, 0);
    st.command(StreamerCmd::Init, X_IMM_1X32_4DAC8 | X_DACS_3_2_1_0 | 2, 0x11223301, false, 0, 100);
    st.advance(200);
    EXPECT_EQ(dacAt(105), 0x000000FFu);
    EXPECT_EQ(dacAt(106), 0x11223300u);
    EXPECT_EQ(dacAt(108), 0x000000FFu);
}

TEST(PixelMixer, ByteWiseSumsOfProducts)
{
    using namespace kivo::sim;
    EXPECT_EQ(addPix(0x80'FF'10'00, 0x90'01'10'00), 0xFF'FF'20'00u); // saturates
    EXPECT_EQ(mulPix(0xFF'80'40'FF, 0xFF'80'FF'00), 0xFF'40'40'00u); // $FF = 1.0
    EXPECT_EQ(blnPix(0x00'FF'00'FF, 0xFF'00'FF'FF, 0x80), 0x80'7F'80'FFu);
    // MIXPIX with M = %001_001 is ADDPIX, %100_000 MULPIX, %011_010 BLNPIX.
    for (std::uint32_t d : {0x12345678u, 0xFFFFFFFFu, 0x00FF7F80u})
        for (std::uint32_t s : {0x87654321u, 0x01020304u}) {
            EXPECT_EQ(mixPix(d, s, 0x33, 0b001'001), addPix(d, s));
            EXPECT_EQ(mixPix(d, s, 0x33, 0b100'000), mulPix(d, s));
            EXPECT_EQ(mixPix(d, s, 0x33, 0b011'010), blnPix(d, s, 0x33));
        }
    // !D as DMIX and D as SMIX: D*(255-D) + S*D.
    EXPECT_EQ(mixPix(0x000000FF, 0x00000010, 0, 0b111'110) & 0xFF, (0xFFu * 0 + 0x10 * 0xFF + 0xFF) >> 8);
}

namespace {

// The instruction sequence of resources/VGA_SimpleDriver1a.spin2 as its cog
// runs it, with the cog's own instruction clocks in between.
struct VgaRun {
    static constexpr std::uint32_t kPixels = X_RFLONG_4X8_LUT | X_DACS_3_2_1_0 | 640;
    static constexpr std::uint32_t kBlack = X_IMM_1X32_4DAC8 | X_DACS_3_2_1_0 | 640;
    static constexpr std::uint32_t kFp = X_IMM_1X32_4DAC8 | X_DACS_3_2_1_0 | 16;
    static constexpr std::uint32_t kSync = X_IMM_1X32_4DAC8 | X_DACS_3_2_1_0 | 96;
    static constexpr std::uint32_t kBp = X_IMM_1X32_4DAC8 | X_DACS_3_2_1_0 | 48;
    static constexpr std::uint32_t cBlack = 0x0000'00FF, cSync = 0;

    Streamer &st;
    Fifo &fifo;
    Clock t = 1000;

    void line(std::uint32_t pixelsCmd, std::uint32_t *row)
    {
        t = st.command(StreamerCmd::Cont, pixelsCmd, pixelsCmd == kBlack ? cBlack : 0, false, 0, t);
        t = st.command(StreamerCmd::Cont, kFp, cBlack, false, 0, t);
        t = st.command(StreamerCmd::Zero, kSync, cSync, false, 0, t);
        if (row) {
            t += 4; // sub row, ##640
            *row -= 640;
            t = fifo.rdfast(0, *row, t);
        }
        t = st.command(StreamerCmd::Cont, kBp, cBlack, false, 0, t);
        t += 4; // djnz
    }
    void frame(std::uint32_t pixels)
    {
        std::uint32_t row = pixels + 640 * 479;
        t += 6;
        t = fifo.rdfast(0, row, t);
        t += 4;
        for (int y = 0; y < 480; ++y)
            line(kPixels, &row);
        for (int y = 0; y < 45; ++y) // porch, sync (V-sync is the cog's pin), porch
            line(kBlack, nullptr);
        t += 4;
    }
};

} // namespace

// Advanced to a far clock in one call, the streamer jumps over held values
// and runs whole pixel runs at once. A clock-by-clock model of the NCO and
// the data gives what it must output, when, and its events.
TEST_F(StreamerFixture, LongAdvancesMatchAClockByClockModel)
{
    for (std::uint32_t i = 0; i < 4096; ++i) // runs of equal bytes, some $1F (LUT $1FF)
        hub.writeByte(0x2000 + i, std::uint8_t((i / 3 * 7) % 32));
    for (std::uint32_t i = 0; i < 512; ++i)
        lut[i] = (i % 5) * 0x01020300u;
    constexpr std::uint32_t kLut1Alt = 0x7003'0000; // RFLONG -> 1-bit LUT, top bit first
    struct Case {
        const char *what;
        std::uint32_t freq, d, s;
        int steps;
        int fifoBits; // bits a step takes from the FIFO (0: immediate)
    } cases[] = {
        {"VGA pixels", 337903255, X_RFLONG_4X8_LUT | 300, 15, 300, 8},
        {"pixels, NCO above half", 0xC000'0001, X_RFLONG_4X8_LUT | 300, 15, 300, 8},
        {"1-bit pixels, top first", 0x1234'5678, kLut1Alt | 200, 15, 200, 1},
        {"held colour", 0x1000'0001, X_IMM_1X32_4DAC8 | 400, 0x1122'3344, 400, 0},
        {"LUT bytes, the last held", 0x0800'0000, X_IMM_4X8_LUT | 15u << 16 | 60, 0x1F03'1F01, 60, 0},
    };
    Clock at = 1000;
    for (const Case &c : cases) {
        dacs.clear();
        fifo.rdfast(0, 0x2000, at);
        st.setFrequency(c.freq, at + 20);
        st.command(StreamerCmd::Init, c.d | X_DACS_3_2_1_0, c.s, false, 0, at + 30);
        // The model: the LUT long step k reads (-1 for the immediate colour),
        // step k's X, and the clock of each rollover.
        auto lutAddr = [&](int k) -> int {
            const std::uint32_t base = 15u << 5;
            std::uint32_t v;
            if (c.fifoBits == 8) {
                v = hub.readByte(0x2000 + std::uint32_t(k));
            } else if (c.fifoBits == 1) {
                const int pos = k % 32, shift = (pos & ~7) + (7 - (pos & 7));
                v = hub.readLong(0x2000 + 4 * std::uint32_t(k / 32)) >> shift & 1;
            } else if (c.d >> 28 == 3) {
                v = c.s >> (8 * std::min(k, 3)) & 0xFF;
            } else {
                return -1;
            }
            return int((base + v) & 0x1FF);
        };
        auto x = [&](int k) -> std::uint32_t {
            const int addr = lutAddr(k);
            return addr < 0 ? c.s : lut[std::size_t(addr)];
        };
        std::vector<std::pair<Clock, std::uint32_t>> want;
        std::uint32_t out = 0, phase = 0;
        Clock t = at + 31;
        std::vector<Clock> rolls, lutEnds;
        for (int k = 0;;) {
            const std::uint32_t v = k < c.steps ? x(k) : 0;
            if (v != out)
                want.emplace_back(t, out = v);
            if (k == c.steps)
                break;
            do {
                ++t;
                phase = (phase & 0x7FFF'FFFFu) + c.freq;
            } while (!(phase >> 31));
            rolls.push_back(t);
            ++k;
        }
        // The steps that read LUT $1FF.
        for (int k = 0; k < c.steps; ++k)
            if (lutAddr(k) == 0x1FF)
                lutEnds.push_back(k == 0 ? at + 31 : rolls[std::size_t(k - 1)]);
        // Midway: the events so far.
        const Clock mid = rolls[rolls.size() / 2] + 2;
        st.advance(mid);
        Clock lastRoll = 0, lastLut = 0;
        for (Clock r : rolls)
            if (r <= mid)
                lastRoll = r;
        for (Clock r : lutEnds)
            if (r <= mid)
                lastLut = r;
        // The first clock from the command on at which the events since it disagree.
        Clock wrongXro = 0, wrongXrl = 0;
        for (Clock since = at + 30; since < mid; ++since) {
            if (!wrongXro && st.occurred(StreamerEvent::Xro, since) != (lastRoll > since))
                wrongXro = since;
            if (!wrongXrl && (c.fifoBits || c.d >> 28 == 3) &&
                st.occurred(StreamerEvent::Xrl, since) != (lastLut > since))
                wrongXrl = since;
        }
        EXPECT_EQ(wrongXro, 0u) << c.what;
        EXPECT_EQ(wrongXrl, 0u) << c.what;
        st.advance(at + 20000);
        EXPECT_EQ(dacs, want) << c.what;
        EXPECT_FALSE(st.running()) << c.what;
        EXPECT_TRUE(st.occurred(StreamerEvent::Xfi, rolls.back() - 1)) << c.what;
        EXPECT_FALSE(st.occurred(StreamerEvent::Xfi, rolls.back())) << c.what;
        if (c.fifoBits) {
            const int perLong = 32 / c.fifoBits;
            EXPECT_EQ(fifo.pointer(), 0x2000u + 4 * std::uint32_t((c.steps + perLong - 1) / perLong)) << c.what;
        }
        at += 30000;
    }
}

TEST_F(StreamerFixture, VgaDriverSequenceDrawsWholeFrames)
{
    // Palette $RR_GG_BB_FF (H-sync level high) and a bottom-up 8-bit image.
    for (std::uint32_t i = 0; i < 256; ++i)
        lut[i] = (i * 0x010203u & 0xFFFFFF) << 8 | 0xFF;
    const std::uint32_t pixels = 0x1000;
    auto pixel = [](int x, int y) { return std::uint8_t((x * 7 + y * 3) ^ (y >> 2)); };
    for (int y = 0; y < 480; ++y)     // y = the line on screen
        for (int x = 0; x < 640; ++x) // stored bottom row first
            hub.writeByte(pixels + std::uint32_t((479 - y) * 640 + x), pixel(x, y));

    Clock start = 1000;
    for (double clk : {251.75e6, 160e6, 250e6}) {
        dacs.clear();
        const std::uint32_t freq = (std::uint32_t((std::uint64_t(25'175'000) << 30) / std::uint64_t(clk)) << 1) + 1;
        VgaRun run{st, fifo, start};
        st.setFrequency(freq, run.t);
        run.t = st.command(StreamerCmd::Init, VgaRun::kBp, VgaRun::cBlack, false, 0, run.t + 2);
        const Clock since = run.t;
        run.frame(pixels);
        run.frame(pixels);
        st.advance(run.t);
        EXPECT_FALSE(st.occurred(StreamerEvent::Xfi, since)) << clk; // never ran dry
        st.advance(run.t + 100000);

        // Line starts: where H-sync (DAC0) falls. XZERO restarts the phase
        // there, so every line is the same whole number of clocks.
        std::vector<Clock> syncs;
        for (std::size_t i = 1; i < dacs.size(); ++i)
            if ((dacs[i].second & 0xFF) == 0 && (dacs[i - 1].second & 0xFF) == 0xFF)
                syncs.push_back(dacs[i].first);
        ASSERT_GE(syncs.size(), 2u * 525) << clk;
        const Clock lineClocks = Clock((800 * (std::uint64_t(1) << 31) + freq - 1) / freq);
        for (std::size_t i = 1; i < 2 * 525; ++i) // after that the run ends
            ASSERT_EQ(syncs[i] - syncs[i - 1], lineClocks) << clk << " line " << i;
        EXPECT_NEAR(clk / double(lineClocks), 31469.0, 40.0) << clk;

        // Each visible pixel: sample the DACs in the middle of its step. The
        // frame's first visible line follows the first sync's back porch.
        auto at = [&](Clock when) {
            auto it = std::upper_bound(dacs.begin(), dacs.end(), std::pair<Clock, std::uint32_t>{when, 0xFFFFFFFF});
            return std::prev(it)->second;
        };
        auto stepClock = [&](Clock lineStart, int step) { // steps after the sync start, phase 0 there
            return lineStart + Clock((std::uint64_t(step) * (std::uint64_t(1) << 31) + freq - 1) / freq);
        };
        for (int y = 0; y < 480; y += 7) {
            // The sync before visible line y: the previous line's, or for the
            // top line the last blank line's of the frame before.
            const Clock s = syncs[y == 0 ? 524 : std::size_t(y - 1)];
            for (int x = 0; x < 640; x += 3) {
                const Clock mid = (stepClock(s, 96 + 48 + x) + stepClock(s, 96 + 48 + x + 1)) / 2;
                ASSERT_EQ(at(mid), lut[pixel(x, y)]) << clk << " x " << x << " y " << y;
            }
            EXPECT_EQ(at(stepClock(s, 96 + 48 + 640) + 1), VgaRun::cBlack) << clk << " y " << y; // front porch
            EXPECT_EQ(at(stepClock(s, 10)), VgaRun::cSync) << clk << " y " << y;
        }
        // The blank lines show black between the syncs.
        const Clock blank = syncs[485];
        EXPECT_EQ(at(stepClock(blank, 96 + 48 + 320)), VgaRun::cBlack);
        st.command(StreamerCmd::Init, 0, 0, false, 0, run.t + 100001);
        start = run.t + 100010;
    }
}

namespace {

using kivo::sim::test::DacLoad;

void SetUpDacPins(Pins &pins)
{
    pins.wrpin(8, 0x0016'0240, 0); // 124 Ohm 3.3 V DAC on cog 2's channel
    for (int p = 9; p <= 11; ++p)
        pins.wrpin(p, 0x0017'0240, 0); // 75 Ohm 2 V
    pins.setCogOutputs(2, 0xF00, 0, 3);
    pins.advance(5);
}

} // namespace

TEST_F(StreamerFixture, PixelRunsReachThePinsAsChangesOneAtATimeWould)
{
    // Pixels that change often, so that a run holds more changes than the
    // streamer hands the pins at once.
    for (std::uint32_t i = 0; i < 8192; ++i)
        hub.writeByte(0x2000 + i, std::uint8_t(i * 37 / 5));
    for (std::uint32_t i = 0; i < 256; ++i)
        lut[i] = i * 0x0103'0507u;
    SetUpDacPins(pins);
    const Clock loadAt = 20'000;
    auto heard = std::make_shared<DacLoad>(loadAt);
    pins.attach(heard);
    fifo.rdfast(0, 0x2000, 100);
    st.setFrequency(0x2000'0001, 120);
    st.command(StreamerCmd::Init, X_RFLONG_4X8_LUT | X_DACS_3_2_1_0 | 8000, 0, false, 0, 130);
    st.advance(12'345); // a run ends here, another starts
    pins.advance(12'345);
    st.advance(40'000);
    pins.advance(40'000);
    ASSERT_GT(dacs.size(), 2000u);

    // The same changes one at a time into pins set up alike.
    Pins one{time};
    SetUpDacPins(one);
    auto heardOne = std::make_shared<DacLoad>(loadAt);
    one.attach(heardOne);
    for (const auto &[at, v] : dacs)
        one.setCogDacs(2, v, at);
    one.advance(40'000);
    ASSERT_EQ(heard->seen.size(), heardOne->seen.size());
    EXPECT_TRUE(heard->seen == heardOne->seen) << "same pins, clocks and volts";
    EXPECT_GT(heard->seen.back().at, loadAt) << "the load changed in the middle of a run";
}

// The streamer as a program drives it: SETXFRQ, XINIT with an immediate
// 8-pin mode, the pins showing each byte for its 16 clocks.
#include "chip/chip.h"
#include "p2asm.h"

TEST(StreamerProgram, ImmediateBytesReachThePins)
{
    using namespace kivo::test::p2;
    Program p;
    p << dForm(0x041, I(0 | 7 << 6))                            // dirh 0 addpins 7
      << augd(0x0800'0000) << dForm(0x01D, I(0));               // setxfrq ##$0800_0000: 16 clocks a step
    p.set(0x120, 0x600E'0000 | X_DACS_X_X_X_0 | X_PINS_ON | 4); // imm 4 x 8 -> 8 pins, pins 0..7
    p.set(0x121, 0x44332211);
    p << getct(0x122) << dlsForm(0xCA, R(0x120), R(0x121)) // xinit $120, $121
      << waitx(I(200));
    p.finish();
    kivo::sim::Chip chip;
    ASSERT_TRUE(chip.loadImage(p.bytes()));
    while (chip.cogRegister(0, 0x122) == 0 && chip.now() < 100000)
        chip.runUntil(chip.now() + 1);
    const Clock ct = chip.cogRegister(0, 0x122);
    ASSERT_NE(ct, 0u);
    // XINIT starts 2 clocks after the GETCT; its first byte goes out on the
    // clock after. Sample the middle of each step (pin delays are a few clocks).
    const std::uint32_t bytes[] = {0x11, 0x22, 0x33, 0x44, 0x00};
    for (int k = 0; k < 5; ++k) {
        chip.runUntil(ct + 3 + Clock(16 * k) + 10);
        std::uint32_t v = 0;
        for (int pin = 0; pin < 8; ++pin)
            v |= std::uint32_t(chip.pins().level(pin)) << pin;
        EXPECT_EQ(v, bytes[k]) << "step " << k;
    }
}
