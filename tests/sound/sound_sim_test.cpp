// The sound engine on the simulated chip, heard through the WAV recorder:
// the shipped music on both channels, an effect over it, silence, refused
// modules, and a module of our own whose pitch, row timing, volume slide and
// portamento are measured against the format's rules.
#include "modfile.h"
#include "soundsim.h"

#include <algorithm>
#include <cmath>

using namespace kivo;

namespace {

// Starts the engine, optionally plays the music, and at 0.5 s optionally an
// effect. TEST_EFFECT and TEST_PLAY are data, so every variant has the same code.
const char *kProgram = R"(#include <propeller2.h>
#include <stdio.h>
struct __using("SimpleSound.spin2") sound;
int effect = TEST_EFFECT;
int play = TEST_PLAY;
int left = TEST_LEFT, right = TEST_RIGHT;
void main(void)
{
    int ok = sound.start(left, right);
    printf("start %d module %d rate %d\n", ok, sound.musicOk(), sound.sampleRate());
    if (play)
        sound.Play();
    for (int i = 0;; i++) {
        _waitms(10);
        sound.pollTick();
        if (i == 50 && effect)
            sound.playSound(effect);
    }
}
)";

std::string Defines(int effect, int play, int left = 54, int right = 55)
{
    return "-DTEST_EFFECT=" + std::to_string(effect) + " -DTEST_PLAY=" + std::to_string(play) +
           " -DTEST_LEFT=" + std::to_string(left) + " -DTEST_RIGHT=" + std::to_string(right);
}

double Rms(const std::vector<std::int16_t> &v, std::size_t from, std::size_t to)
{
    double sum = 0;
    to = std::min(to, v.size());
    for (std::size_t i = from; i < to; ++i)
        sum += double(v[i]) * v[i];
    return to > from ? std::sqrt(sum / double(to - from)) : 0;
}

// Frequency from the upward zero crossings in [from, to).
double Pitch(const std::vector<std::int16_t> &v, std::size_t from, std::size_t to, int rate)
{
    std::vector<double> ups;
    for (std::size_t i = from + 1; i < std::min(to, v.size()); ++i)
        if (v[i - 1] < 0 && v[i] >= 0)
            ups.push_back(double(i - 1) + double(-v[i - 1]) / double(v[i] - v[i - 1]));
    if (ups.size() < 3)
        return 0;
    return double(ups.size() - 1) * rate / (ups.back() - ups.front());
}

// Sample indexes where sound starts after at least `quiet` silent samples.
std::vector<std::size_t> Onsets(const std::vector<std::int16_t> &v, std::size_t quiet)
{
    std::vector<std::size_t> at;
    std::size_t zeros = quiet;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == 0) {
            ++zeros;
            continue;
        }
        if (zeros >= quiet)
            at.push_back(i);
        zeros = 0;
    }
    return at;
}

int Peak(const std::vector<std::int16_t> &v, std::size_t from, std::size_t to)
{
    int p = 0;
    for (std::size_t i = from; i < std::min(to, v.size()); ++i)
        p = std::max(p, std::abs(int(v[i])));
    return p;
}

void ExpectNoClipping(const test::SoundRun &r)
{
    for (const auto *ch : {&r.left, &r.right}) {
        auto [lo, hi] = std::minmax_element(ch->begin(), ch->end());
        ASSERT_NE(lo, ch->end());
        EXPECT_GT(*lo, -32768);
        EXPECT_LT(*hi, 32767);
    }
}

} // namespace

TEST(SoundSimulated, MusicOnBothChannelsAndAnEffectOverIt)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    auto music = test::RunSoundProgram(flexspin, kProgram, 1.3, nullptr, Defines(0, 1));
    ASSERT_EQ(music.error, "");
    EXPECT_NE(music.console.find("start -1 module -1 rate 32000"), std::string::npos) << music.console;
    ASSERT_EQ(music.rate, 32000);
    ASSERT_GT(music.left.size(), music.At(1.2));
    // Bass and drums on the left (voices 0, 3), chords and lead on the right.
    EXPECT_GT(Rms(music.left, music.At(0.1), music.At(1.2)), 300);
    EXPECT_GT(Rms(music.right, music.At(0.1), music.At(1.2)), 300);
    EXPECT_NE(music.left, music.right);
    ExpectNoClipping(music);

    // The same run with effect 2 at 0.5 s: the difference is the effect, on
    // both sides, sample for sample the raw file at half the output rate.
    auto both = test::RunSoundProgram(flexspin, kProgram, 1.3, nullptr, Defines(2, 1));
    ASSERT_EQ(both.error, "");
    ASSERT_EQ(both.left.size(), music.left.size());
    ExpectNoClipping(both);
    std::vector<int> dl(music.left.size()), dr(music.left.size());
    for (std::size_t i = 0; i < dl.size(); ++i) {
        dl[i] = both.left[i] - music.left[i];
        dr[i] = both.right[i] - music.right[i];
    }
    for (std::size_t i = 0; i < dl.size(); ++i)
        ASSERT_EQ(dl[i], dr[i]) << "the effect differs between left and right at " << i;
    std::size_t first = 0;
    while (first < dl.size() && dl[first] == 0)
        ++first;
    ASSERT_LT(first, dl.size()) << "the effect is not heard";
    EXPECT_NEAR(double(first) / both.rate, 0.51, 0.02);
    std::string raw = test::ReadFileBytes(std::string(KIVO_SOURCE_DIR) + "/resources/space_sample1_S8.raw");
    std::size_t lead = 0;
    while (lead < raw.size() && raw[lead] == 0)
        ++lead;
    // Output sample k of the effect plays raw byte (k + 1) / 2 at volume 64.
    std::size_t start = first - 2 * lead + 1, matched = 0, n = raw.size() * 2 - 2;
    for (std::size_t k = 0; k < n && start + k < dl.size(); ++k)
        matched += dl[start + k] == int(static_cast<std::int8_t>(raw[(k + 1) / 2])) * 64;
    EXPECT_GT(matched, n * 99 / 100) << "of " << n;
    for (std::size_t i = start + n + 2; i < dl.size(); ++i)
        ASSERT_EQ(dl[i], 0) << "the effect goes on at " << i;
}

struct QuietCase {
    const char *name;
    int play;
    int module; // 0 shipped, 1 truncated, 2 wrong signature
};

class SoundQuiet : public ::testing::TestWithParam<QuietCase>
{
};

TEST_P(SoundQuiet, GivesExactSilence)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    std::vector<std::uint8_t> mod;
    std::string bytes = test::ReadFileBytes(std::string(KIVO_SOURCE_DIR) + "/resources/pyr.mod");
    mod.assign(bytes.begin(), bytes.end());
    if (GetParam().module == 1)
        mod.resize(mod.size() - 1);
    if (GetParam().module == 2)
        std::memcpy(&mod[1080], "8CHN", 4);
    auto r = test::RunSoundProgram(flexspin, kProgram, 0.4, &mod, Defines(0, GetParam().play));
    ASSERT_EQ(r.error, "");
    EXPECT_NE(r.console.find(GetParam().module ? "module 0" : "module -1"), std::string::npos) << r.console;
    ASSERT_GT(r.left.size(), r.At(0.35));
    EXPECT_EQ(Peak(r.left, 0, r.left.size()), 0);
    EXPECT_EQ(Peak(r.right, 0, r.right.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Sound, SoundQuiet,
                         ::testing::Values(QuietCase{"NoMusic", 0, 0}, QuietCase{"TruncatedModule", 1, 1},
                                           QuietCase{"EightChannelModule", 1, 2}),
                         [](const auto &info) { return std::string(info.param.name); });

// One looped 32-byte sine cycle on channel 0 (left); channels 2 and 3 carry
// the speed and tempo commands, so the right side stays silent.
std::vector<std::uint8_t> ProbeModule()
{
    test::ModFile m;
    test::ModSample s;
    for (int k = 0; k < 32; ++k)
        s.data.push_back(static_cast<std::int8_t>(std::lround(100 * std::sin(2 * M_PI * k / 32))));
    s.loopLength = 32;
    m.samples.push_back(s);
    test::ModPattern p{};
    auto note = [&p](int row, int period, int effect = 0, int param = 0) { p[row][0] = {1, period, effect, param}; };
    p[0][3] = {0, 0, 0xF, 6};
    p[0][2] = {0, 0, 0xF, 125};
    note(0, 428);
    note(4, 254);
    note(8, 214);
    note(12, 856);
    p[15][0] = {0, 0, 0xC, 0};
    for (int r = 16; r < 48; r += 2) {
        note(r, 254);
        p[r + 1][0] = {0, 0, 0xC, 0};
    }
    p[32][3] = {0, 0, 0xF, 3};
    p[32][2] = {0, 0, 0xF, 150};
    p[48][3] = {0, 0, 0xF, 6};
    p[48][2] = {0, 0, 0xF, 125};
    note(48, 428, 0xA, 0x04);
    p[49][0] = {0, 0, 0xA, 0x04};
    p[50][0] = {0, 0, 0xA, 0x04};
    note(52, 428, 0x1, 4);
    for (int r = 53; r < 56; ++r)
        p[r][0] = {0, 0, 0x1, 4};
    p[56][0] = {0, 0, 0xC, 0};
    m.patterns.push_back(p);
    m.order = {0};
    return m.Bytes();
}

TEST(SoundSimulated, OurModulePlaysAtThePalPitchRowTimingSlidesAndVolume)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    auto mod = ProbeModule();
    auto r = test::RunSoundProgram(flexspin, kProgram, 5.8, &mod, Defines(0, 1));
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.rate, 32000);
    EXPECT_EQ(Peak(r.right, 0, r.right.size()), 0) << "channel 0 is on the left only";
    auto onsets = Onsets(r.left, 200);
    ASSERT_FALSE(onsets.empty());
    const double t0 = double(onsets[0]) / r.rate;
    // 125 BPM: 50 ticks a second, 6 ticks a row; 150 BPM at speed 3.
    auto rowStart = [t0](int row) {
        if (row <= 32)
            return t0 + row * 0.12;
        if (row <= 48)
            return t0 + 32 * 0.12 + (row - 32) * 0.05;
        return t0 + 32 * 0.12 + 16 * 0.05 + (row - 48) * 0.12;
    };
    const double pal = 3546894.6;
    struct Held {
        int row, period;
    };
    for (Held h : {Held{0, 428}, Held{4, 254}, Held{8, 214}, Held{12, 856}}) {
        double want = pal / h.period / 32;
        double got = Pitch(r.left, r.At(rowStart(h.row) + 0.02), r.At(rowStart(h.row + 3) - 0.02), r.rate);
        EXPECT_NEAR(got, want, want * 0.01) << "period " << h.period;
    }
    // A note on every other row: onsets 2 rows apart at 7680 and 3200 samples.
    std::vector<std::size_t> fast, slow;
    for (std::size_t i = 1; i < onsets.size(); ++i) {
        double t = double(onsets[i]) / r.rate;
        if (t > rowStart(16) - 0.01 && t < rowStart(31))
            slow.push_back(onsets[i]);
        if (t > rowStart(32) - 0.01 && t < rowStart(47))
            fast.push_back(onsets[i]);
    }
    ASSERT_EQ(slow.size(), 8u);
    ASSERT_EQ(fast.size(), 8u);
    for (std::size_t i = 1; i < 8; ++i) {
        EXPECT_NEAR(double(slow[i] - slow[i - 1]), 7680, 3) << i;
        EXPECT_NEAR(double(fast[i] - fast[i - 1]), 3200, 3) << i;
    }
    // A04 over three rows: the volume falls by 4 on every tick but the first of a row.
    std::size_t t48 = 0;
    for (std::size_t o : onsets)
        if (double(o) / r.rate > rowStart(47) + 0.01 && t48 == 0)
            t48 = o;
    EXPECT_NEAR(double(t48) / r.rate, rowStart(48), 0.002);
    int vol = 64;
    for (int tick = 0; tick < 18; ++tick) {
        if (tick % 6 != 0)
            vol -= 4;
        std::size_t from = t48 + tick * 640 + 64, to = t48 + (tick + 1) * 640 - 8;
        EXPECT_NEAR(Peak(r.left, from, to), 100 * vol, 100 * vol / 50 + 1) << "tick " << tick;
    }
    // 104 over four rows: the period falls by 4 per tick after the first.
    for (int row = 52; row < 56; ++row) {
        double cycles = 0;
        for (int tick = 0; tick < 6; ++tick)
            cycles += pal / (428 - 4 * (5 * (row - 52) + tick)) / 32 * 0.02;
        double want = cycles / 0.12;
        double got = Pitch(r.left, r.At(rowStart(row)) + 20, r.At(rowStart(row + 1)) - 20, r.rate);
        EXPECT_NEAR(got, want, want * 0.01) << "row " << row;
    }
    ExpectNoClipping(r);
}

// The cog's time per output sample: the longest pass of the mixer loop
// (mixing six voices, output, the player's step and the mailbox) over music
// with effects, against the sample period at the lowest clock the project
// settings offer (100 MHz: 3125 clocks at 32000 samples per second).
TEST(SoundSimulated, KeepsUpAtTheLowestClockOffered)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const char *busy = R"(#include <propeller2.h>
struct __using("SimpleSound.spin2") sound;
void main(void)
{
    sound.start(54, 55);
    sound.Play();
    for (int i = 0;; i++) {
        _waitms(10);
        sound.pollTick();
        if (i % 7 == 0)
            sound.playSound(i / 7 % 4 + 1);
    }
}
)";
    // The shipped music, and a module whose every tick takes the longest
    // paths: glissando searches near the top of the table on all channels,
    // with volume slides, vibrato, retriggers and sample offsets.
    test::ModFile stress;
    test::ModSample sine;
    for (int k = 0; k < 64; ++k)
        sine.data.push_back(static_cast<std::int8_t>(std::lround(90 * std::sin(2 * M_PI * k / 32))));
    sine.loopStart = 32;
    sine.loopLength = 32;
    stress.samples.push_back(sine);
    test::ModPattern p{};
    for (int ch = 0; ch < 4; ++ch) {
        p[0][ch] = {1, 120, 0xE, 0x31};
        p[1][ch] = {1, 113, 0x3, 0x01};
        for (int r = 2; r < 64; ++r)
            p[r][ch] = r % 8 == 0   ? test::ModCell{1, 120, 0x9, 0x01}
                       : r % 8 == 1 ? test::ModCell{1, 113, 0x5, 0x01}
                       : ch == 3    ? test::ModCell{0, 0, 0xE, 0x91}
                                    : test::ModCell{0, 0, 0x5, 0x01};
    }
    stress.patterns.push_back(p);
    stress.order = {0};
    const std::vector<std::uint8_t> stressBytes = stress.Bytes();
    const std::vector<std::uint8_t> *modules[] = {nullptr, &stressBytes};
    for (const std::vector<std::uint8_t> *module : modules) {
        SCOPED_TRACE(module ? "stress module" : "pyr.mod");
        auto r = test::RunSoundProgram(flexspin, busy, 4.0, module, "", 54, 55, true);
        ASSERT_EQ(r.error, "");
        ASSERT_GT(r.passes, 120000u);
        std::cout << "[ budget   ] " << (module ? "stress module" : "pyr.mod") << ": longest pass " << r.busiestPass
                  << " clocks of " << 160'000'000 / 32000 << " at 160 MHz; keeps up from "
                  << (r.busiestPass * 32000 + 999'999) / 1'000'000 << " MHz\n";
        EXPECT_LT(r.busiestPass * 32000, 100'000'000u);
        ExpectNoClipping(r);
    }
}

// The music's timing is the sound cog's own: a main loop that services the
// engine only every 300 ms (as one blocked by an I2C scan) hears exactly the
// same music as one that calls pollTick() every 10 ms.
TEST(SoundSimulated, TempoDoesNotDependOnPollTick)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const char *program = R"(#include <propeller2.h>
struct __using("SimpleSound.spin2") sound;
int every = TEST_EVERY;
void main(void)
{
    sound.start(54, 55);
    sound.Play();
    for (;;) {
        _waitms(every);
        sound.pollTick();
    }
}
)";
    auto often = test::RunSoundProgram(flexspin, program, 1.5, nullptr, "-DTEST_EVERY=10");
    auto rarely = test::RunSoundProgram(flexspin, program, 1.5, nullptr, "-DTEST_EVERY=300");
    ASSERT_EQ(often.error, "");
    ASSERT_EQ(rarely.error, "");
    ASSERT_GT(often.left.size(), often.At(1.4));
    EXPECT_GT(Rms(often.left, often.At(0.1), often.At(1.4)), 300);
    EXPECT_TRUE(often.left == rarely.left && often.right == rarely.right);
}

// Two effect voices: a third effect while two play takes the voice of the one
// started first. The explosion (1.4 s) started first is cut by the jump that
// follows the zap; without the third effect it goes on.
TEST(SoundSimulated, AThirdEffectTakesTheOldestVoice)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const char *program = R"(#include <propeller2.h>
struct __using("SimpleSound.spin2") sound;
int seq[3] = {TEST_SEQ};
void main(void)
{
    sound.start(54, 55);
    for (int i = 0;; i++) {
        _waitms(10);
        sound.pollTick();
        if (i >= 20 && i < 23 && seq[i - 20])
            sound.playSound(seq[i - 20]);
    }
}
)";
    auto three = test::RunSoundProgram(flexspin, program, 1.0, nullptr, "-DTEST_SEQ=3,2,4");
    auto two = test::RunSoundProgram(flexspin, program, 1.0, nullptr, "-DTEST_SEQ=3,2,0");
    ASSERT_EQ(three.error, "");
    ASSERT_EQ(two.error, "");
    ASSERT_GT(three.left.size(), three.At(0.95));
    EXPECT_EQ(Peak(three.left, 0, three.At(0.2)), 0);
    EXPECT_GT(Peak(three.left, three.At(0.25), three.At(0.4)), 1000);
    // The zap (0.2 s) and the jump (0.25 s) are over by 0.6 s: silence, the explosion is gone.
    EXPECT_EQ(Peak(three.left, three.At(0.6), three.At(0.95)), 0);
    EXPECT_EQ(Peak(three.right, three.At(0.6), three.At(0.95)), 0);
    EXPECT_GT(Peak(two.left, two.At(0.6), two.At(0.95)), 100) << "the explosion goes on with two effects";
}

// Any two pins, in either port, or one pin for both sides (the mean of the two).
TEST(SoundSimulated, PlaysOnAnyTwoPinsOrOne)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    auto apart = test::RunSoundProgram(flexspin, kProgram, 0.8, nullptr, Defines(0, 1, 7, 50), 7, 50);
    ASSERT_EQ(apart.error, "");
    EXPECT_GT(Rms(apart.left, apart.At(0.1), apart.At(0.75)), 300);
    EXPECT_GT(Rms(apart.right, apart.At(0.1), apart.At(0.75)), 300);
    auto stereo = test::RunSoundProgram(flexspin, kProgram, 0.8, nullptr, Defines(0, 1));
    auto mono = test::RunSoundProgram(flexspin, kProgram, 0.8, nullptr, Defines(0, 1, 54, 54), 54, 54);
    ASSERT_EQ(mono.error, "");
    ASSERT_EQ(stereo.error, "");
    EXPECT_EQ(apart.left, stereo.left);
    EXPECT_EQ(apart.right, stereo.right);
    EXPECT_EQ(mono.left, mono.right);
    ASSERT_EQ(mono.left.size(), stereo.left.size());
    std::size_t off = 0;
    for (std::size_t i = 0; i < mono.left.size(); ++i)
        off += std::abs(mono.left[i] - (stereo.left[i] + stereo.right[i]) / 2) > 1;
    EXPECT_EQ(off, 0u) << "mono is the mean of the two sides";
}
