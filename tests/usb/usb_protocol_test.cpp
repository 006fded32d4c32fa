// USB packet pieces and the line coding shared by the smart-pin pair and the
// device models: CRCs against known packets, NRZI with bit stuffing, and the
// receiver decoding what the transmitter sends, also between clocks that
// differ a little.
#include "board/usb_protocol.h"
#include "chip/smartpin_usb.h"

#include <gtest/gtest.h>

using namespace kivo::sim;

TEST(UsbCrc, TokensAndDataPacketsOfKnownValue)
{
    struct Tok {
        int addr, ep;
        std::uint8_t lo, hi;
    };
    for (Tok t : {Tok{0, 0, 0x00, 0x10}, Tok{1, 0, 0x01, 0xE8}, Tok{1, 1, 0x81, 0x58}, Tok{9, 2, 0x09, 0xB1}}) {
        auto p = usb::Token(usb::kIn, t.addr, t.ep);
        EXPECT_EQ(p, (std::vector<std::uint8_t>{usb::kIn, t.lo, t.hi})) << t.addr << "/" << t.ep;
        usb::TokenFields f;
        ASSERT_TRUE(usb::ParseToken(p, &f));
        EXPECT_EQ(f.address, t.addr);
        EXPECT_EQ(f.endpoint, t.ep);
        p[2] ^= 0x08; // one CRC bit
        EXPECT_FALSE(usb::ParseToken(p, &f));
    }
    // GET_DESCRIPTOR(device, 64) and the empty payload.
    auto d = usb::DataPacket(usb::kData0, {0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x40, 0x00});
    EXPECT_EQ(d[9], 0xDD);
    EXPECT_EQ(d[10], 0x94);
    EXPECT_TRUE(usb::Crc16Ok(d.data() + 1, d.size() - 1));
    d[3] ^= 1;
    EXPECT_FALSE(usb::Crc16Ok(d.data() + 1, d.size() - 1));
    EXPECT_EQ(usb::DataPacket(usb::kData1, {}), (std::vector<std::uint8_t>{usb::kData1, 0, 0}));
    EXPECT_TRUE(usb::PidValid(usb::kAck));
    EXPECT_FALSE(usb::PidValid(0x80));
}

TEST(UsbNrzi, StuffsAfterSixOnesAndRoundTrips)
{
    // SYNC then $FF: KJKJKJKK, then six Ks and a stuffed J, then two more Ks.
    auto s = usb::NrziEncode({0x80, 0xFF});
    std::vector<bool> want = {false, true,  false, true,  false, true, false, false, // SYNC
                              false, false, false, false, false, true, true,  true,  true};
    // after the SYNC's last K: ones (no transitions) ... the 6th one completes at the
    // 5th data bit (the SYNC's trailing 1 counts), then a stuffed transition to J.
    EXPECT_EQ(s, want);
    std::vector<std::uint8_t> back;
    for (auto bytes : {std::vector<std::uint8_t>{0x80, 0xFF, 0xFF, 0x00, 0x7E},
                       std::vector<std::uint8_t>{0x80, 0x3F, 0xC0, 0xAA, 0x55}}) {
        ASSERT_TRUE(usb::NrziDecode(usb::NrziEncode(bytes), &back));
        EXPECT_EQ(back, bytes);
    }
    // Seven symbols without a transition: the stuffed bit is missing.
    auto bad = usb::NrziEncode({0x80, 0xFF});
    bad[13] = false;
    EXPECT_FALSE(usb::NrziDecode(bad, &back));
}

namespace {

// Runs the transmitter into the receiver: the wire changes at the
// transmitter's ticks; the receiver samples with its own period.
struct Loop {
    UsbLineTransmitter tx;
    UsbLineReceiver rx;
    std::vector<std::vector<std::uint8_t>> packets;
    std::vector<bool> oks;
    std::vector<std::pair<Clock, UsbLineTransmitter::Out>> outs;
    bool fs;

    Loop(bool fullSpeed, std::uint64_t txPeriod, std::uint64_t rxPeriod) : fs(fullSpeed)
    {
        tx.setPeriod(txPeriod, 0);
        tx.setCapacity(100);
        rx.setPeriod(rxPeriod);
        rx.setFullSpeed(fullSpeed);
        rx.line(!fullSpeed, fullSpeed, 0); // idle J (a device's pull-up)
        tx.onOutput = [this](UsbLineTransmitter::Out o, Clock at) {
            outs.push_back({at, o});
            bool dm = !fs, dp = fs; // idle and J
            if (o == UsbLineTransmitter::Out::SE0)
                dm = dp = false;
            else if (o == UsbLineTransmitter::Out::K)
                std::swap(dm, dp);
            rx.line(dm, dp, at);
        };
        rx.onPacket = [this](const std::vector<std::uint8_t> &b, bool ok, Clock) {
            packets.push_back(b);
            oks.push_back(ok);
        };
    }
    void run(Clock until)
    {
        while (tx.nextTick() <= until)
            tx.run(tx.nextTick());
        rx.advance(until);
    }
};

} // namespace

TEST(UsbLine, ReceiverDecodesTheTransmitterAtBothSpeedsAndWithClockSkew)
{
    std::vector<std::uint8_t> packet = {usb::kData1, 0xFF, 0xFF, 0x00, 0x7E, 0x81, 0x3C};
    struct Case {
        bool fs;
        double skew; // receiver period / transmitter period
    };
    for (Case c : {Case{false, 1.0}, Case{true, 1.0}, Case{false, 1.02}, Case{true, 0.98}}) {
        SCOPED_TRACE(std::to_string(c.fs) + " " + std::to_string(c.skew));
        std::uint64_t p = usbPeriodFx(160e6, c.fs ? 12e6 : 1.5e6);
        Loop l(c.fs, p, std::uint64_t(double(p) * c.skew));
        l.tx.write(0x80, 0);
        for (auto b : packet)
            l.tx.write(b, 0);
        l.run(Clock(200 * p >> 16));
        ASSERT_EQ(l.packets.size(), 1u);
        EXPECT_TRUE(l.oks[0]);
        EXPECT_EQ(l.packets[0], packet);
        std::uint32_t st = l.rx.status(Clock(200 * p >> 16));
        EXPECT_EQ(st & 0x30, 0u) << "SOP and EOP clear after 7 idle bits";
        EXPECT_EQ(st & 0x0F, usbstatus::kJ | usbstatus::kSteady);
        EXPECT_EQ(st >> 8, 0x3Cu) << "the last byte";
        EXPECT_EQ(l.outs.back().second, UsbLineTransmitter::Out::Idle);
    }
}

TEST(UsbLine, StatusFollowsSopBytesAndEop)
{
    std::uint64_t p = usbPeriodFx(160e6, 1.5e6);
    Loop l(false, p, p);
    auto clocks = [&](double bits) { return Clock(bits * double(p) / 65536.0); };
    l.tx.write(0x80, 0);
    l.tx.write(usb::kAck, 0);
    l.run(clocks(9.9)); // SYNC done
    std::uint32_t s = l.rx.status(clocks(9.9));
    EXPECT_TRUE(s & usbstatus::kSop);
    EXPECT_FALSE(s & usbstatus::kToggle);
    l.run(clocks(17.9)); // the PID byte
    s = l.rx.status(clocks(17.9));
    EXPECT_TRUE(s & usbstatus::kToggle);
    EXPECT_EQ(s >> 8, std::uint32_t(usb::kAck));
    l.run(clocks(18.5)); // inside the EOP's SE0 (bits 17 and 18)
    s = l.rx.status(clocks(18.5));
    EXPECT_TRUE(s & usbstatus::kSe0);
    EXPECT_FALSE(s & usbstatus::kEop);
    l.run(clocks(21.5)); // after the EOP
    s = l.rx.status(clocks(21.5));
    EXPECT_TRUE(s & usbstatus::kEop);
    EXPECT_FALSE(s & usbstatus::kSop);
    EXPECT_FALSE(s & usbstatus::kError);
    ASSERT_EQ(l.packets.size(), 1u);
}

TEST(UsbLine, LineCommandsAndAnOverlongSe0InsideAPacket)
{
    std::uint64_t p = usbPeriodFx(160e6, 1.5e6);
    Loop l(false, p, p);
    auto clocks = [&](double bits) { return Clock(bits * double(p) / 65536.0); };
    l.tx.write(1, 0); // SE0, held
    l.run(clocks(50));
    EXPECT_EQ(l.outs.size(), 1u);
    EXPECT_EQ(l.outs[0].second, UsbLineTransmitter::Out::SE0);
    EXPECT_EQ(l.outs[0].first, Clock((p + 65535) >> 16)) << "a command takes effect at the next bit tick";
    EXPECT_EQ(l.rx.status(clocks(50)) & 0x0F, usbstatus::kSe0 | usbstatus::kSteady);
    l.tx.write(0, clocks(50)); // idle again
    l.run(clocks(60));
    EXPECT_EQ(l.rx.current(), UsbLine::J);

    // A packet whose line drops to SE0 for good (a device pulled mid-packet).
    UsbLineReceiver rx;
    rx.setPeriod(p);
    rx.line(true, false, 0);
    bool ok = true;
    int n = 0;
    rx.onPacket = [&](const std::vector<std::uint8_t> &, bool good, Clock) {
        ok = good;
        ++n;
    };
    auto sym = usb::NrziEncode({0x80, usb::kData0, 0x12});
    Clock t = 0;
    for (bool j : sym) {
        t += clocks(1);
        rx.line(j, !j, t);
    }
    rx.line(false, false, t + clocks(1));
    EXPECT_TRUE(rx.status(t + clocks(5)) & usbstatus::kError) << "SE0 longer than an EOP";
    rx.line(true, false, t + clocks(40));
    EXPECT_EQ(n, 1);
    EXPECT_FALSE(ok);
}
