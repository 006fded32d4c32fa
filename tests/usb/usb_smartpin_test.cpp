// The USB smart-pin pair's own behaviour through the pins: the idle drive of
// the host and device roles at both speeds, the sniffer that drives nothing,
// the upper pin's buffer-room flag, and RDPIN's C flag on a line error.
#include "chip/pins.h"
#include "chip/smartpin_usb.h"
#include "chip/time.h"

#include <gtest/gtest.h>

using namespace kivo::sim;

namespace {

constexpr std::uint32_t kUsbOut = 0x76; // %1_11011_0
constexpr std::uint32_t kUsbSniff = 0x36;

struct PairFixture : ::testing::Test {
    TimeBase time{160e6};
    Pins pins{time};
    Clock t = 100;

    void start(std::uint32_t mode, std::uint32_t x)
    {
        pins.wrpin(10, mode, t);
        pins.wrpin(11, mode, t);
        pins.wxpin(10, x, t + 1);
        pins.setCogOutputs(0, std::uint64_t(3) << 10, 0, t + 2);
        run(10);
    }
    void run(Clock n)
    {
        t += n;
        pins.advance(t);
    }
    static std::uint32_t nco(double bps) { return std::uint32_t(bps / 160e6 * 65536.0); }
};

} // namespace

TEST_F(PairFixture, IdleDriveOfEachRoleAndSpeed)
{
    struct Case {
        std::uint32_t x;
        bool dm, dp;
        const char *what;
    };
    for (Case c : {Case{0x8000 | nco(1.5e6), false, false, "host: both 15k pull-downs"},
                   Case{0xC000 | nco(12e6), false, false, "host full speed"},
                   Case{0x4000 | nco(12e6), false, true, "device full speed: D+ pulled up"},
                   Case{0x0000 | nco(1.5e6), true, false, "device low speed: D- pulled up"}}) {
        SCOPED_TRACE(c.what);
        start(kUsbOut, c.x);
        if (c.dm || c.dp) {
            int up = c.dp ? 11 : 10;
            EXPECT_GT(pins.voltage(up), 3.2) << "1.5k to 3.3 V, nothing else on the wire";
            EXPECT_FALSE(pins.driven(up ^ 1)) << "the other wire floats";
        } else {
            EXPECT_FALSE(pins.level(10));
            EXPECT_FALSE(pins.level(11));
            EXPECT_TRUE(pins.driven(10) && pins.driven(11));
        }
        pins.setCogOutputs(0, 0, 0, t);
        run(10);
    }
    // A device's own line command: K at full speed is D- high, D+ low.
    start(kUsbOut, 0x4000 | nco(12e6));
    pins.wypin(10, 2, t);
    run(40);
    EXPECT_TRUE(pins.level(10));
    EXPECT_FALSE(pins.level(11));
    EXPECT_EQ(pins.rqpin(10, t).z & 7, usbstatus::kK);
}

TEST_F(PairFixture, SnifferDrivesNothingButSeesTheLine)
{
    start(kUsbSniff, 0x8000 | nco(1.5e6));
    EXPECT_FALSE(pins.driven(10));
    EXPECT_FALSE(pins.driven(11));
    int source = 0;
    pins.drive(10, {Pins::ExternalDrive::PullUp, 1500}, t, &source); // a low-speed device
    run(2000);
    EXPECT_EQ(pins.rqpin(10, t).z & 0x0F, usbstatus::kJ | usbstatus::kSteady);
    pins.wypin(10, 1, t); // SE0: not driven by a sniffer
    run(400);
    EXPECT_TRUE(pins.level(10));
}

TEST_F(PairFixture, UpperPinRaisesInWhenTheBufferHasRoom)
{
    start(kUsbOut, 0x8000 | nco(1.5e6));
    double bit = 160e6 / 1.5e6;
    auto upper = [&] { return bool(pins.in(t) >> 11 & 1); };
    EXPECT_TRUE(upper()) << "empty after the start";
    pins.wypin(10, 0x80, t);
    pins.wypin(11, 0, t); // acknowledges
    run(6);
    EXPECT_FALSE(upper());
    run(Clock(bit * 1.5)); // the SYNC went to the shifter at the next bit tick
    EXPECT_TRUE(upper());
    pins.wypin(10, 0xD2, t);
    pins.wypin(11, 0, t);
    run(Clock(bit * 4));
    EXPECT_FALSE(upper()) << "the PID waits while the SYNC goes out";
    run(Clock(bit * 5));
    EXPECT_TRUE(upper()) << "taken after the SYNC's eight bits";
    run(Clock(bit * 20));
    std::uint32_t s = pins.rqpin(10, t).z;
    EXPECT_TRUE(s & usbstatus::kEop) << "the pair heard its own packet end";
    EXPECT_EQ(s >> 8, 0xD2u);
}

TEST_F(PairFixture, LineErrorSetsRdpinC)
{
    start(kUsbOut, 0x8000 | nco(1.5e6));
    int a = 0, b = 0;
    EXPECT_FALSE(pins.rdpin(10, t).c);
    pins.drive(10, {Pins::ExternalDrive::High, 0}, t, &a); // SE1: both wires high
    pins.drive(11, {Pins::ExternalDrive::High, 0}, t, &b);
    run(400);
    PinRead r = pins.rdpin(10, t);
    EXPECT_TRUE(r.c);
    EXPECT_TRUE(r.z & usbstatus::kError);
    EXPECT_EQ(r.z & 7, 0u) << "SE1 is none of J, K, SE0";
}
