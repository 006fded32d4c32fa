// The board's console: the serial feeder on the P2's receive pin and the
// $FF $00 S exit on its transmit pin.
#include "board/console.h"
#include "board/serialfeeder.h"
#include "chip/chip.h"
#include "chip/pins.h"
#include "chip/time.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace kivo::sim;

namespace {

constexpr std::uint32_t kAsyncRx = 0x1F << 1;

// A receive smart pin set up through Pins, no cog: DIR low, WRPIN, WXPIN,
// WYPIN (each landing two clocks after it issues), then DIR high.
struct AsyncSerial : ::testing::Test {
    TimeBase time{160e6};
    Pins pins{time};

    void start(int pin, std::uint32_t mode, std::uint32_t x, std::uint32_t y, Clock at)
    {
        pins.wrpin(pin, mode, at);
        pins.wxpin(pin, x, at + 1);
        pins.wypin(pin, y, at + 2);
        pins.setCogOutputs(0, std::uint64_t(1) << pin, 0, at + 4);
    }
    bool in(int pin, Clock at) { return pins.in(at) >> pin & 1; }
};

TEST_F(AsyncSerial, ReceivesFedBytesMsbJustifiedAtTheProgrammedBaud)
{
    auto feeder = std::make_shared<SerialFeeder>(63);
    pins.attach(feeder);
    feeder->send("Hi");
    pins.advance(1000);
    EXPECT_EQ(feeder->pending(), 2u) << "nothing is sent before the receiver runs";
    const std::uint32_t x = (1389u << 16) | 7; // 115200 baud at 160 MHz
    start(63, kAsyncRx, x, 0, 1000);
    std::string got;
    Clock t = 1005, firstIn = 0;
    while (got.size() < 2 && t < 100000) {
        t = std::max(t + 1, pins.nextChange(t));
        if (in(63, t)) {
            if (!firstIn)
                firstIn = t;
            got.push_back(char(pins.rdpin(63, t).z >> 24));
            EXPECT_TRUE(in(63, t + 1));
            EXPECT_FALSE(in(63, t + 2)) << "RDPIN's acknowledge drops IN two clocks later";
            t += 2;
        }
    }
    EXPECT_EQ(got, "Hi");
    // One bit of idle line, then start + 8 data bits sampled mid-bit; the word is in Z one bit
    // period after the last data bit: 1 + 9.5 bit times.
    EXPECT_NEAR(double(firstIn - 1004), 1389.0 * 10.5, 3);
    pins.advance(t + 2 * 1389);
    EXPECT_TRUE(feeder->idle());
}

TEST_F(AsyncSerial, UnreadWordsAreOverwritten)
{
    auto feeder = std::make_shared<SerialFeeder>(63);
    pins.attach(feeder);
    start(63, kAsyncRx, (16u << 16) | 7, 0, 0);
    feeder->send("xyz");
    pins.advance(2000);
    EXPECT_TRUE(in(63, 2000));
    EXPECT_EQ(pins.rdpin(63, 2001).z >> 24, std::uint32_t('z'));
}

// Every byte value the console sends arrives as it was sent: a bit taken
// from the wrong place or a word cut short shows in some value.
TEST(Console, FeedsEveryByteValueIntoTheReceivePin)
{
    Chip chip;
    Pins &pins = chip.pins();
    Console console(chip);
    std::vector<std::uint8_t> bytes;
    for (int b = 0; b < 256; ++b)
        bytes.push_back(std::uint8_t(b));
    console.send(bytes);
    // 8 bits at 32 clocks a bit; the words come back to back once the receiver runs.
    pins.wrpin(63, kAsyncRx, 0);
    pins.wxpin(63, (32u << 16) | 7, 1);
    pins.setCogOutputs(0, std::uint64_t(1) << 63, 0, 4);
    std::vector<std::uint8_t> got;
    for (Clock t = 5; got.size() < bytes.size() && t < 1000000;) {
        t = std::max(t + 1, pins.nextChange(t));
        if (pins.in(t) >> 63 & 1) {
            got.push_back(std::uint8_t(pins.rdpin(63, t).z >> 24));
            t += 2;
        }
    }
    EXPECT_EQ(got, bytes);
}

TEST(Console, ExitDetectorPassesOnAllButTheExitSequence)
{
    struct Case {
        std::string in, out;
        int status;
    };
    const Case cases[] = {
        {"abc", "abc", -1},
        {std::string("a\xFF\x00\x05", 4), "a", 5},
        {std::string("\xFF\xFF\x00\x00", 4), "\xFF", 0},              // the second $FF starts it
        {std::string("\xFFx\xFF\x01", 4), "\xFFx\xFF\x01", -1},       // $FF without $00 is text
        {std::string("\x00\xFF\x00", 3), std::string("\x00", 1), -1}, // cut off: held
    };
    for (const auto &c : cases) {
        ExitDetector d;
        std::string out;
        bool exited = false;
        for (char ch : c.in)
            exited = d.feed(std::uint8_t(ch), [&](std::uint8_t b) { out.push_back(char(b)); }) || exited;
        EXPECT_EQ(out, c.out) << c.in;
        EXPECT_EQ(d.exitStatus(), c.status) << c.in;
        EXPECT_EQ(exited, c.status >= 0) << c.in;
    }
}

} // namespace
