// The device models against a host that drives the USB smart-pin pair
// through the pins: enumeration as a host does it, reports with their
// toggles, NAKs while idle, bus reset, and the cable.
#include "board/usb_device.h"
#include "usb_host.h"

#include <gtest/gtest.h>

#include <memory>

using namespace kivo::sim;
using kivo::sim::test::UsbHost;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct UsbFixture : ::testing::Test {
    TimeBase time{UsbHost::kHz};
    Pins pins{time};
    std::shared_ptr<UsbDevice> dev;

    std::unique_ptr<UsbHost> plug(UsbDevice::Kind kind)
    {
        dev = std::make_shared<UsbDevice>(kind, 10);
        pins.attach(dev);
        return std::make_unique<UsbHost>(pins, 10, kind == UsbDevice::Kind::MouseFullSpeed);
    }

    // What a host does after the attach: reset, descriptors, address,
    // configuration, boot protocol. Returns the configuration descriptor.
    Bytes enumerate(UsbHost &h)
    {
        h.busReset(0.011);
        for (int i = 0; i < 5; ++i)
            h.keepAlive();
        Bytes d;
        EXPECT_TRUE(h.control(0, {0x80, 6, 0, 1, 0, 0, 8, 0}, &d));
        EXPECT_EQ(d.size(), 8u);
        EXPECT_TRUE(h.control(0, {0x00, 5, 1, 0, 0, 0, 0, 0}));
        EXPECT_EQ(dev->address(), 1);
        h.keepAlive();
        EXPECT_TRUE(h.control(1, {0x80, 6, 0, 1, 0, 0, 18, 0}, &d));
        EXPECT_EQ(d.size(), 18u);
        Bytes cfg;
        EXPECT_TRUE(h.control(1, {0x80, 6, 0, 2, 0, 0, 0xFF, 0}, &cfg));
        EXPECT_TRUE(h.control(1, {0x00, 9, 1, 0, 0, 0, 0, 0}));
        EXPECT_TRUE(h.control(1, {0x21, 0x0B, 0, 0, 0, 0, 0, 0}));
        EXPECT_TRUE(h.control(1, {0x21, 0x0A, 0, 0, 0, 0, 0, 0}));
        return cfg;
    }

    // Polls endpoint 1 until a report comes (or `polls` run out).
    Bytes poll(UsbHost &h, int polls, bool ack = true)
    {
        for (int i = 0; i < polls; ++i) {
            h.keepAlive();
            auto a = h.transaction(usb::kIn, 1, 1, {}, 0, ack);
            if (a.size() >= 3)
                return a;
            EXPECT_EQ(a, Bytes{usb::kNak});
            h.waitSeconds(0.001);
        }
        return {};
    }
};

} // namespace

TEST_F(UsbFixture, LowSpeedKeyboardEnumeratesAndTypes)
{
    auto h = plug(UsbDevice::Kind::Keyboard);
    ASSERT_TRUE(dev->typeText("hI"));
    EXPECT_EQ(h->status() & 7, 1u) << "a low-speed device idles in J";
    Bytes cfg = enumerate(*h);
    ASSERT_EQ(cfg.size(), 34u);
    EXPECT_EQ(cfg[14], 3) << "HID";
    EXPECT_EQ(cfg[15], 1) << "boot";
    EXPECT_EQ(cfg[16], 1) << "keyboard";
    EXPECT_EQ(cfg[27 + 2], 0x81) << "endpoint 1 IN";
    EXPECT_TRUE(dev->configured());
    EXPECT_EQ(dev->protocol(), 0);
    EXPECT_GE(dev->naks(), 1) << "the configuration descriptor is NAKed once";
    // The caps-lock LED through SET_REPORT.
    EXPECT_TRUE(h->control(1, {0x21, 9, 0, 2, 0, 0, 1, 0}, nullptr, {0x02}));
    EXPECT_EQ(dev->leds(), 0x02);

    // Nothing to say yet: NAK; then h (press, release), shift+i (press, release).
    EXPECT_EQ(h->transaction(usb::kIn, 1, 1), Bytes{usb::kNak});
    std::vector<Bytes> reports;
    std::vector<std::uint8_t> pids;
    for (int i = 0; i < 4; ++i) {
        Bytes r = poll(*h, 400);
        ASSERT_EQ(r.size(), 11u) << "report " << i;
        pids.push_back(r[0]);
        reports.emplace_back(r.begin() + 1, r.end() - 2);
    }
    EXPECT_EQ(pids, (std::vector<std::uint8_t>{usb::kData0, usb::kData1, usb::kData0, usb::kData1}));
    EXPECT_EQ(reports[0], (Bytes{0, 0, 0x0B, 0, 0, 0, 0, 0}));
    EXPECT_EQ(reports[1], (Bytes{0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(reports[2], (Bytes{0x02, 0, 0x0C, 0, 0, 0, 0, 0}));
    EXPECT_EQ(dev->reportsSent(), 4);
}

TEST_F(UsbFixture, AMissedAckResendsTheSameReportWithTheSameToggle)
{
    auto h = plug(UsbDevice::Kind::Mouse);
    dev->move({{5, -3, 1}, {1, 1, 0}});
    enumerate(*h);
    Bytes first = poll(*h, 400, false); // no ACK from the host
    ASSERT_EQ(first.size(), 6u) << "boot mouse: buttons, x, y";
    EXPECT_EQ(first[0], usb::kData0);
    EXPECT_EQ(Bytes(first.begin() + 1, first.end() - 2), (Bytes{1, 5, 0xFD}));
    // An ACK that starts 30 bit times late: the device has given up waiting.
    h->keepAlive();
    Bytes late = h->transaction(usb::kIn, 1, 1, {}, 0, true, 30);
    EXPECT_EQ(late, first);
    EXPECT_EQ(dev->lateAcks(), 1);
    EXPECT_EQ(dev->reportsSent(), 0);
    Bytes again = poll(*h, 10);
    EXPECT_EQ(again, first);
    Bytes next = poll(*h, 400);
    ASSERT_EQ(next.size(), 6u);
    EXPECT_EQ(next[0], usb::kData1);
    EXPECT_EQ(dev->reportsSent(), 2);
}

TEST_F(UsbFixture, FullSpeedMouseEnumeratesWithSofFrames)
{
    auto h = plug(UsbDevice::Kind::MouseFullSpeed);
    EXPECT_EQ(h->status() & 7, 1u) << "full speed idles in J with D+ high";
    dev->move({{-7, 9, 4}});
    Bytes cfg = enumerate(*h);
    ASSERT_EQ(cfg.size(), 34u);
    EXPECT_EQ(cfg[16], 2) << "mouse";
    Bytes r = poll(*h, 400);
    ASSERT_EQ(r.size(), 6u);
    EXPECT_EQ(Bytes(r.begin() + 1, r.end() - 2), (Bytes{4, 0xF9, 9}));
}

TEST_F(UsbFixture, BusResetAndCable)
{
    auto h = plug(UsbDevice::Kind::Keyboard);
    dev->setUnplug(0.5, 0.7);
    enumerate(*h);
    EXPECT_EQ(dev->address(), 1);
    h->busReset(0.011);
    EXPECT_EQ(dev->address(), 0) << "a reset takes the device back to address 0";
    EXPECT_FALSE(dev->configured());
    EXPECT_EQ(h->transaction(usb::kIn, 1, 1), Bytes{}) << "nobody answers at the old address";
    h->waitSeconds(0.5 - time.seconds(h->now()) + 0.01);
    EXPECT_FALSE(dev->plugged());
    EXPECT_EQ(h->status() & 7, usbstatus::kSe0) << "both pull-downs: SE0";
    h->waitSeconds(0.25);
    EXPECT_TRUE(dev->plugged());
    EXPECT_EQ(h->status() & 7, usbstatus::kJ);
    enumerate(*h);
    EXPECT_EQ(dev->enumerations(), 2);
}

// Input from a person at the board: the keys held now go out on the next
// poll; the cable pulled and plugged in at once. Nothing is taken before the
// host has configured the device.
TEST_F(UsbFixture, LiveKeysAndCable)
{
    auto h = plug(UsbDevice::Kind::Keyboard);
    EXPECT_FALSE(dev->holdKeys(0x02, {0x0E})) << "not configured yet";
    enumerate(*h);
    EXPECT_FALSE(dev->moveMouse(1, 1, 0)) << "a keyboard has no mouse";
    ASSERT_TRUE(dev->holdKeys(0x02, {0x0E, 0x04}));
    ASSERT_TRUE(dev->holdKeys(0x02, {}));
    Bytes press = poll(*h, 40), release = poll(*h, 40);
    ASSERT_EQ(press.size(), 11u);
    ASSERT_EQ(release.size(), 11u);
    EXPECT_EQ(Bytes(press.begin() + 1, press.end() - 2), (Bytes{0x02, 0, 0x0E, 0x04, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(release.begin() + 1, release.end() - 2), (Bytes{0x02, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(dev->lastReport(), (Bytes{0x02, 0, 0x0E, 0x04, 0, 0, 0, 0})) << "Shift alone is not a key";

    dev->setPlugged(false, h->now());
    EXPECT_FALSE(dev->plugged());
    EXPECT_EQ(h->status() & 7, usbstatus::kSe0);
    EXPECT_FALSE(dev->holdKeys(0, {0x04}));
    dev->setPlugged(true, h->now());
    EXPECT_EQ(h->status() & 7, usbstatus::kJ);
    EXPECT_FALSE(dev->configured()) << "a replugged device enumerates again";
    enumerate(*h);
    EXPECT_EQ(dev->enumerations(), 2);
}

// Mouse moves that wait for the host's poll add up; a long one goes in steps.
TEST_F(UsbFixture, LiveMouseMovesAddUp)
{
    auto h = plug(UsbDevice::Kind::Mouse);
    enumerate(*h);
    EXPECT_FALSE(dev->holdKeys(0, {0x04})) << "a mouse has no keys";
    for (auto [dx, dy, b] : {std::array{3, 4, 0}, {5, -2, 0}, {1, 1, 0}, {200, 0, 1}})
        ASSERT_TRUE(dev->moveMouse(dx, dy, b));
    std::vector<Bytes> reports;
    for (Bytes r = poll(*h, 40); r.size() == 6; r = poll(*h, 40))
        reports.emplace_back(r.begin() + 1, r.end() - 2);
    EXPECT_EQ(reports, (std::vector<Bytes>{{0, 3, 4}, {0, 6, 0xFF}, {1, 127, 0}, {1, 73, 0}}));
}
