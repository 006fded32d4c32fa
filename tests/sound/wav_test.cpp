// The WAV recorder on two pins in DAC dither mode, driven through Pins by
// hand: one sample per DAC period, the mean level, both pins in step, and
// the file's PCM header.
#include "chip/pins.h"
#include "run/wav.h"
#include "testsupport.h"

#include <algorithm>
#include <memory>

using namespace kivo;
using namespace kivo::sim;

namespace {

struct TwoDacs : ::testing::Test {
    TimeBase time{160e6};
    Pins pins{time};
    std::shared_ptr<WavRecorder> wav = std::make_shared<WavRecorder>(54, 57);
    std::uint64_t dir = 0;
    static constexpr std::uint32_t kPeriod = 5000; // 32 kHz at 160 MHz

    void SetUp() override { pins.attach(wav); }
    void start(int pin, std::uint32_t mode, Clock at)
    {
        pins.wrpin(pin, mode, at);
        pins.wxpin(pin, kPeriod, at + 1);
        pins.wypin(pin, 0x8000, at + 2);
        dir |= std::uint64_t(1) << pin;
        pins.setCogOutputs(0, dir, 0, at + 4);
    }
    // Writes each level after the period end that asks for it, as the mixer does.
    void play(const std::vector<std::uint32_t> &levels, Clock from)
    {
        Clock t = from;
        for (std::uint32_t y : levels) {
            t += kPeriod;
            pins.advance(t + 10);
            pins.wypin(54, y, t + 10);
            pins.wypin(57, 0xFFFF - y, t + 12);
        }
        pins.advance(t + 4 * kPeriod);
        wav->finish(t + 4 * kPeriod);
    }
};

std::uint32_t Le(const std::vector<std::uint8_t> &b, std::size_t at, int n)
{
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = v << 8 | b[at + i];
    return v;
}

} // namespace

TEST_F(TwoDacs, EachSampleIsThePeriodsMeanLevel)
{
    const std::uint32_t mode = 0x00140044; // P_DAC_990R_3V | P_OE | P_DAC_DITHER_RND
    start(54, mode, 100);
    start(57, mode, 102);
    std::vector<std::uint32_t> levels = {0x8000, 0x9000, 0xFFFF, 0x0000, 0x7F00, 0x8001, 0x8000};
    play(levels, 104);
    ASSERT_EQ(wav->sampleRate(), 32000);
    ASSERT_GE(wav->frames(), levels.size() + 2);
    // A value written in one period plays in the next: the first two periods are the start level.
    // The 8-bit DAC dithers up to its level 255: values from $FF00 on sound as $FF00.
    auto heard = [](std::uint32_t y) { return int(std::min<std::uint32_t>(y, 0xFF00)) - 32768; };
    for (std::size_t i = 0; i < levels.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(wav->channel(0)[i + 2], heard(levels[i]));
        EXPECT_EQ(wav->channel(1)[i + 2], heard(0xFFFF - levels[i]));
    }
    EXPECT_EQ(wav->channel(0)[0], 0);
}

TEST_F(TwoDacs, WritesA16BitStereoPcmFile)
{
    start(54, 0x00140044, 100);
    start(57, 0x00140046, 102); // the PWM dither mode records the same way
    play({0x8100, 0x7F00}, 104);
    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(wav->write(dir / "out.wav", &error)) << error;
    std::string s = test::ReadFileBytes(dir / "out.wav");
    std::vector<std::uint8_t> b(s.begin(), s.end());
    ASSERT_EQ(b.size(), 44 + wav->frames() * 4);
    EXPECT_EQ(s.substr(0, 4), "RIFF");
    EXPECT_EQ(Le(b, 4, 4), b.size() - 8);
    EXPECT_EQ(s.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(Le(b, 20, 2), 1u);      // PCM
    EXPECT_EQ(Le(b, 22, 2), 2u);      // stereo
    EXPECT_EQ(Le(b, 24, 4), 32000u);  // rate
    EXPECT_EQ(Le(b, 28, 4), 128000u); // bytes per second
    EXPECT_EQ(Le(b, 32, 2), 4u);
    EXPECT_EQ(Le(b, 34, 2), 16u);
    EXPECT_EQ(s.substr(36, 4), "data");
    EXPECT_EQ(Le(b, 40, 4), wav->frames() * 4);
    EXPECT_EQ(static_cast<std::int16_t>(Le(b, 44 + 2 * 4, 2)), 0x100); // frame 2, left
    EXPECT_EQ(static_cast<std::int16_t>(Le(b, 44 + 2 * 4 + 2, 2)), 0x7EFF - 0x8000);

    // A folder that does not exist: an error, and nothing left behind.
    EXPECT_FALSE(wav->write(dir / "missing/out.wav", &error));
    EXPECT_NE(error.find("missing/out.wav"), std::string::npos);
}

TEST_F(TwoDacs, NothingIsRecordedBeforeTheDacRuns)
{
    // A plain output and a non-dither DAC level on the left pin start nothing.
    pins.wrpin(54, 0x00140000 | (200 << 8), 10);
    dir |= std::uint64_t(1) << 54;
    pins.setCogOutputs(0, dir, 0, 12);
    pins.advance(100000);
    wav->finish(100000);
    EXPECT_EQ(wav->frames(), 0u);
    EXPECT_EQ(wav->sampleRate(), 0);
    EXPECT_EQ(wav->wavBytes().size(), 44u);
}

// A live run's recorder keeps nothing: the same samples go out as frames,
// left and right by turns, and the peaks and clipping are still counted.
TEST_F(TwoDacs, AStreamingRecorderHandsOnTheSameSamples)
{
    auto streamed = std::make_shared<WavRecorder>(54, 57);
    std::vector<std::int16_t> frames;
    streamed->streamTo(&frames);
    pins.attach(streamed);
    start(54, 0x00140044, 100);
    start(57, 0x00140044, 102);
    std::vector<std::uint32_t> levels;
    for (int i = 0; i < 3000; i++)
        levels.push_back(i % 7 == 0 ? 0xFFFF : 0x8000 + std::uint32_t(i % 50) * 0x100);
    play(levels, 104);
    streamed->finish(pins.now());
    ASSERT_GE(wav->frames(), levels.size());
    EXPECT_EQ(streamed->frames(), wav->frames());
    ASSERT_EQ(frames.size(), 2 * wav->frames());
    for (std::size_t i = 0; i < wav->frames(); i++) {
        ASSERT_EQ(frames[2 * i], wav->channel(0)[i]) << i;
        ASSERT_EQ(frames[2 * i + 1], wav->channel(1)[i]) << i;
    }
    EXPECT_LE(streamed->channel(0).size() + streamed->channel(1).size(), 2u);
    for (int c = 0; c < 2; c++) {
        EXPECT_EQ(streamed->peak(c), wav->peak(c));
        EXPECT_EQ(streamed->clipped(c), wav->clipped(c));
    }
    EXPECT_EQ(wav->peak(0), 0xFF00 - 32768);
    EXPECT_EQ(wav->peak(1), 32768); // the right pin's 0 is the rail
    EXPECT_GT(wav->clipped(1), 400u);
}

// Until the right pin starts, the stream plays its middle.
TEST_F(TwoDacs, AStreamWaitsForNoPin)
{
    std::vector<std::int16_t> frames;
    wav->streamTo(&frames);
    start(54, 0x00140044, 100);
    pins.advance(110 + 10 * kPeriod);
    wav->finish(110 + 10 * kPeriod);
    EXPECT_EQ(frames, std::vector<std::int16_t>(20, 0));
    EXPECT_EQ(wav->frames(), 10u);
}
