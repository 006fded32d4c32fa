// The generated library data files: the committed copies equal what the
// generators make, and each file has the structure its players expect.
#include "gendata.h"
#include "synth.h"
#include "testsupport.h"

#include <algorithm>
#include <cmath>
#include <set>

using namespace kivo;

namespace {

std::string ResourcePath(const std::string &name) { return std::string(KIVO_SOURCE_DIR) + "/resources/" + name; }

gen::Bytes Committed(const std::string &name)
{
    std::string s = test::ReadFileBytes(ResourcePath(name));
    return gen::Bytes(s.begin(), s.end());
}

uint32_t Le16(const gen::Bytes &b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t Le32(const gen::Bytes &b, std::size_t at) { return Le16(b, at) | (Le16(b, at + 2) << 16); }
uint32_t Be16(const gen::Bytes &b, std::size_t at) { return (b[at] << 8) | b[at + 1]; }

} // namespace

TEST(GeneratedData, CommittedFilesAreWhatTheGeneratorsMake)
{
    ASSERT_EQ(gen::DataFiles().size(), 6u);
    for (const auto &f : gen::DataFiles()) {
        SCOPED_TRACE(f.name);
        gen::Bytes made = f.make();
        EXPECT_EQ(made, f.make()) << "generator is not repeatable";
        gen::Bytes committed = Committed(f.name);
        ASSERT_EQ(committed.size(), made.size()) << "run `ninja kivo-gen-data` and commit resources/";
        EXPECT_TRUE(committed == made) << "run `ninja kivo-gen-data` and commit resources/";
    }
}

TEST(GeneratedData, SineApproximationIsClose)
{
    for (uint64_t p = 0; p < (1ull << 32); p += 0x00FFFFFBull) {
        double want = 32767.0 * std::sin(double(p) * 2.0 * M_PI / 4294967296.0);
        EXPECT_NEAR(gen::Sine(static_cast<uint32_t>(p)), want, 32767 * 0.002) << p;
    }
}

// ---- bitmap2.bmp ------------------------------------------------------------

class TestCard : public ::testing::Test
{
protected:
    void SetUp() override
    {
        bmp = Committed("bitmap2.bmp");
        ASSERT_EQ(bmp.size(), 308278u);
    }
    // Palette colour of the pixel at (x, y), y counted from the top.
    std::array<int, 3> Rgb(int x, int y) const
    {
        uint8_t index = bmp[0x436 + (479 - y) * 640 + x];
        return {bmp[0x36 + index * 4 + 2], bmp[0x36 + index * 4 + 1], bmp[0x36 + index * 4]};
    }
    gen::Bytes bmp;
};

TEST_F(TestCard, HeaderDescribes640x480At8BitsBottomUp)
{
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(Le32(bmp, 2), 308278u); // file size
    EXPECT_EQ(Le32(bmp, 6), 0u);      // reserved
    EXPECT_EQ(Le32(bmp, 10), 0x436u); // pixel offset
    EXPECT_EQ(Le32(bmp, 14), 40u);    // BITMAPINFOHEADER
    EXPECT_EQ(Le32(bmp, 18), 640u);
    EXPECT_EQ(Le32(bmp, 22), 480u); // positive: bottom-up
    EXPECT_EQ(Le16(bmp, 26), 1u);
    EXPECT_EQ(Le16(bmp, 28), 8u);
    EXPECT_EQ(Le32(bmp, 30), 0u); // BI_RGB
    EXPECT_EQ(Le32(bmp, 34), 307200u);
    uint32_t used = Le32(bmp, 46);
    EXPECT_TRUE(used == 0 || used == 256) << used;
}

TEST_F(TestCard, PaletteHoldsPrimariesAndFullRamps)
{
    std::set<std::array<int, 3>> colours;
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(bmp[0x36 + i * 4 + 3], 0) << "reserved byte of entry " << i;
        colours.insert({bmp[0x36 + i * 4 + 2], bmp[0x36 + i * 4 + 1], bmp[0x36 + i * 4]});
    }
    for (auto c : std::vector<std::array<int, 3>>{{0, 0, 0},
                                                  {255, 255, 255},
                                                  {255, 0, 0},
                                                  {0, 255, 0},
                                                  {0, 0, 255},
                                                  {255, 255, 0},
                                                  {0, 255, 255},
                                                  {255, 0, 255}})
        EXPECT_TRUE(colours.count(c)) << c[0] << "," << c[1] << "," << c[2];
    int greys = 0;
    for (auto &c : colours)
        greys += c[0] == c[1] && c[1] == c[2];
    EXPECT_GE(greys, 64);
}

TEST_F(TestCard, BorderIsWhiteOnTheOutermostPixels)
{
    const std::array<int, 3> white{255, 255, 255};
    for (int x = 0; x < 640; ++x) {
        EXPECT_EQ(Rgb(x, 0), white) << x;
        EXPECT_EQ(Rgb(x, 479), white) << x;
    }
    for (int y = 0; y < 480; ++y) {
        EXPECT_EQ(Rgb(0, y), white) << y;
        EXPECT_EQ(Rgb(639, y), white) << y;
    }
    EXPECT_NE(Rgb(1, 1), white); // just one pixel wide
}

TEST_F(TestCard, ColourBarsAndGreyRampRunInOrder)
{
    const std::array<int, 3> bars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                        {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(Rgb(i * 80 + 40, 170), bars[i]) << "bar " << i;
        auto half = Rgb(i * 80 + 40, 244);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(half[k], bars[i][k] ? 128 : 0) << "half bar " << i;
    }
    int last = -1;
    for (int x = 5; x < 640; x += 10) {
        auto c = Rgb(x, 292);
        EXPECT_TRUE(c[0] == c[1] && c[1] == c[2]) << x;
        EXPECT_GT(c[0], last) << x;
        last = c[0];
    }
    EXPECT_EQ(last, 255);
}

// ---- sound effects ------------------------------------------------------------

struct EffectCase {
    const char *name;
    int samples;
};

class Effect : public ::testing::TestWithParam<EffectCase>
{
};

TEST_P(Effect, LengthLevelsAndQuietEnds)
{
    gen::Bytes raw = Committed(GetParam().name);
    ASSERT_EQ(static_cast<int>(raw.size()), GetParam().samples);
    int peak = 0, clipped = 0;
    for (uint8_t b : raw) {
        int v = static_cast<int8_t>(b);
        EXPECT_NE(v, -128);
        peak = std::max(peak, std::abs(v));
        clipped += std::abs(v) == 127;
    }
    EXPECT_GE(peak, 64) << "too quiet";
    EXPECT_LT(clipped * 20, static_cast<int>(raw.size())) << "more than 5 % clipped";
    // No click at either end.
    EXPECT_LE(std::abs(static_cast<int8_t>(raw.front())), 8);
    EXPECT_LE(std::abs(static_cast<int8_t>(raw.back())), 8);
}

INSTANTIATE_TEST_SUITE_P(Library, Effect,
                         ::testing::Values(EffectCase{"space_sample2_S8.raw", gen::kEffectRate * 30 / 100},
                                           EffectCase{"space_sample1_S8.raw", gen::kEffectRate * 20 / 100},
                                           EffectCase{"platform_sample3_S8.raw", gen::kEffectRate * 14 / 10},
                                           EffectCase{"platform_sample1_S8.raw", gen::kEffectRate * 25 / 100}));

// ---- pyr.mod ------------------------------------------------------------------

TEST(Module, HeaderSamplesOrdersAndPatternsAddUpToTheFileSize)
{
    gen::Bytes mod = Committed("pyr.mod");
    ASSERT_GT(mod.size(), 1084u);
    EXPECT_EQ(std::string(mod.begin() + 1080, mod.begin() + 1084), "M.K.");
    std::size_t sampleBytes = 0;
    std::vector<int> lengths(32, 0);
    for (int s = 1; s <= 31; ++s) {
        std::size_t at = 20 + 30 * (s - 1);
        int length = Be16(mod, at + 22), start = Be16(mod, at + 26), repeat = Be16(mod, at + 28);
        SCOPED_TRACE("sample " + std::to_string(s));
        EXPECT_EQ(mod[at + 24] & 0xF0, 0) << "finetune is a nibble";
        EXPECT_LE(mod[at + 25], 64) << "volume";
        if (repeat > 1) {
            EXPECT_LE(start + repeat, length) << "loop inside the sample";
        } else {
            EXPECT_EQ(repeat, 1) << "one-shot samples have repeat length 1";
        }
        lengths[s] = length;
        sampleBytes += std::size_t(length) * 2;
    }
    int songLength = mod[950];
    ASSERT_GE(songLength, 1);
    ASSERT_LE(songLength, 128);
    int highest = 0;
    for (int i = 0; i < 128; ++i) {
        EXPECT_LT(mod[952 + i], 64) << "order " << i;
        highest = std::max<int>(highest, mod[952 + i]);
    }
    int patterns = highest + 1;
    EXPECT_EQ(mod.size(), 1084 + 1024u * patterns + sampleBytes);

    static const std::set<int> periods = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                          428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                          214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
    std::set<int> channelsWithNotes;
    bool jumps = false;
    for (int p = 0; p < patterns; ++p) {
        for (int cell = 0; cell < 256; ++cell) {
            std::size_t at = 1084 + p * 1024 + cell * 4;
            int sample = (mod[at] & 0xF0) | (mod[at + 2] >> 4);
            int period = ((mod[at] & 0x0F) << 8) | mod[at + 1];
            int effect = mod[at + 2] & 0x0F;
            if (period) {
                EXPECT_TRUE(periods.count(period)) << "pattern " << p << " cell " << cell << " period " << period;
                channelsWithNotes.insert(cell % 4);
            }
            if (sample) {
                EXPECT_GT(lengths[sample], 1) << "pattern " << p << " cell " << cell << " uses empty sample " << sample;
            }
            if (effect == 0xB) {
                jumps = true;
                EXPECT_LT(mod[at + 3], songLength) << "jump target";
            }
        }
    }
    EXPECT_EQ(channelsWithNotes.size(), 4u);
    EXPECT_TRUE(jumps) << "the tune should loop";
}
