// Smart-pin modes driven directly through Pins, no cog: the documented
// register and IN behaviour of each mode family is the oracle.
#include "chip/pins.h"
#include "chip/smartpin_uart.h"
#include "chip/time.h"
#include "devices/device.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace kivo::sim;

namespace
{

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
    // DIR low, WRPIN, WXPIN, WYPIN, DIR high, one clock apart from `at`.
    void start(int pin, std::uint32_t mode, std::uint32_t x, std::uint32_t y, Clock at)
    {
        setDir(pin, false, at);
        pins.wrpin(pin, mode, at + 1);
        pins.wxpin(pin, x, at + 2);
        pins.wypin(pin, y, at + 3);
        setDir(pin, true, at + 4);
    }
    bool in(int pin, Clock at) { return pins.in(at) >> pin & 1; }
};

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
        p.wrpin(62, kAsyncTx | kOE, 10);
        p.wxpin(62, c.x, 11);
        EXPECT_TRUE(p.level(62)) << "output high in reset";
        p.setCogOutputs(0, std::uint64_t(1) << 62, 0, 12);
        p.wypin(62, c.word, 20);
        EXPECT_TRUE(p.rdpin(62, 21).c) << "busy right after WYPIN";
        p.advance(5000);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].first, c.word);
        const Clock t0 = sent[0].second;
        EXPECT_EQ(t0, 21u);
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
    pins.wypin(62, 'a', 10); // straight into the shifter
    EXPECT_TRUE(in(62, 12)) << "IN rises as the word moves to the shifter";
    pins.wypin(62, 'b', 14); // buffered; the WYPIN acknowledges
    EXPECT_FALSE(in(62, 14));
    EXPECT_TRUE(pins.rqpin(62, 15).c);
    // 'a' takes 100 clocks from 11; 'b' follows with no gap and raises IN again.
    EXPECT_FALSE(in(62, 110));
    EXPECT_TRUE(in(62, 111));
    pins.akpin(62, 112);
    EXPECT_FALSE(in(62, 112));
    EXPECT_TRUE(pins.rqpin(62, 210).c);
    EXPECT_FALSE(pins.rqpin(62, 211).c);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], (std::pair<std::uint32_t, Clock>{'a', 11}));
    EXPECT_EQ(sent[1], (std::pair<std::uint32_t, Clock>{'b', 111}));
}

TEST_F(AsyncSerial, DirLowHoldsTheTransmitterInResetAndTtDisablesTheOutput)
{
    start(62, kAsyncTx | kOE, (10u << 16) | 7, 0, 0);
    pins.wypin(62, 0, 10);
    pins.advance(20); // mid start bit
    EXPECT_FALSE(pins.level(62));
    setDir(62, false, 21);
    EXPECT_TRUE(pins.level(62)) << "high in reset";
    EXPECT_FALSE(pins.rqpin(62, 22).c) << "reset clears busy";
    EXPECT_FALSE(in(62, 22));
    // Without P_OE the smart output does not reach the pin, whatever DIR says.
    pins.wrpin(62, kAsyncTx, 30);
    setDir(62, true, 31);
    EXPECT_FALSE(pins.driven(62));
}

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
            EXPECT_FALSE(in(63, t)) << "RDPIN acknowledges";
        }
    }
    EXPECT_EQ(got, "Hi");
    // One bit of idle line, then start + 8 data bits: the word is in after 9.5 bit times.
    EXPECT_NEAR(double(firstIn - 1004), 1389.0 * 9.5, 3);
    pins.advance(t + 2 * 1389);
    EXPECT_TRUE(feeder->idle());
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
    }
    EXPECT_EQ(got, std::string(text, 0, 4));
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

} // namespace
