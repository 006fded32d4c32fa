// The replay routine's timing and effect arithmetic, on the host, against the
// format's rules: the shipped tables and constants, the tick clock at several
// tempos and speeds, slides and their limits, vibrato and tremolo, arpeggio,
// finetune, and the order of rows under jumps, breaks, loops and delays.
#include "playermodel.h"
#include "testsupport.h"

#include <cmath>

using namespace kivo;

namespace {

std::string Source(const std::string &name)
{
    return test::ReadFileBytes(std::string(KIVO_SOURCE_DIR) + "/resources/" + name);
}

// A decimal constant `NAME = 1_234` of a Spin2 source.
long long Constant(const std::string &src, const std::string &name)
{
    std::smatch m;
    std::regex re("\\n\\s+" + name + R"(\s*=\s*([0-9_]+))");
    if (!std::regex_search(src, m, re))
        return -1;
    return std::stoll(std::regex_replace(m[1].str(), std::regex("_"), ""));
}

// The format's period table, C-1 .. B-3, finetune 0.
const int kPeriods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 339, 320,
                          302, 285, 269, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

class PlayerModel : public ::testing::Test
{
protected:
    void SetUp() override
    {
        src = Source("trackerPlayer.spin2");
        t.sine = test::SpinTable(src, "sine");
        t.semitones = test::SpinTable(src, "semitones");
        t.finetunes = test::SpinTable(src, "finetunes");
        t.periods = test::SpinTable(src, "periods");
        ASSERT_EQ(t.sine.size(), 32u);
        ASSERT_EQ(t.semitones.size(), 16u);
        ASSERT_EQ(t.finetunes.size(), 16u);
        ASSERT_EQ(t.periods.size(), 36u);
    }
    test::ChannelModel Channel(int period)
    {
        test::ChannelModel c{&t};
        c.Note(period);
        return c;
    }
    // Runs `rows` rows of `speed` ticks with one effect on every row.
    static void Rows(test::ChannelModel &c, int rows, int effect, int param, int speed = 6)
    {
        for (int r = 0; r < rows; ++r) {
            c.Tick0(effect, param);
            for (int tick = 1; tick < speed; ++tick)
                c.Tick(tick, effect, param);
        }
    }
    std::string src;
    test::PlayerTables t;
};

} // namespace

TEST_F(PlayerModel, TablesAreTheFormatsOwn)
{
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(t.sine[i], int(std::floor(255 * std::sin(M_PI * i / 32) + 1e-9))) << "sine " << i;
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(t.semitones[k], std::lround(32768 * std::pow(2.0, -k / 12.0))) << "semitone " << k;
    for (int f = 0; f < 16; ++f) {
        int s = f < 8 ? f : f - 16;
        EXPECT_EQ(t.finetunes[f], std::lround(32768 * std::pow(2.0, -s / 96.0))) << "finetune " << f;
    }
    for (int i = 0; i < 36; ++i)
        EXPECT_EQ(t.periods[i], kPeriods[i]) << i;
    EXPECT_EQ(Constant(src, "MIN_PERIOD"), 113);
    EXPECT_EQ(Constant(src, "MAX_PERIOD"), 856);
}

TEST_F(PlayerModel, PeriodsBecomeRatesFromThePalClock)
{
    const long long pal = Constant(src, "PAL_CLOCK");
    const long long rate = Constant(Source("reSound.spin2"), "OUTPUT_RATE");
    EXPECT_NEAR(double(pal), 7093789.2 / 2, 1.0);
    ASSERT_EQ(rate, 32000);
    // load(): KSTEP = PAL_CLOCK * 65536 / rate; the voice steps KSTEP / period (16.16) a sample.
    const long long kstep = pal * 65536 / rate;
    for (int period = 56; period <= 1712; ++period) {
        double played = double(kstep / period) / 65536.0 * double(rate);
        double want = 3546894.6 / period;
        ASSERT_NEAR(played, want, want * 0.0005) << "period " << period;
    }
    // The C-2 of the format's example.
    EXPECT_NEAR(double(kstep / 428) / 65536.0 * rate, 8287, 1);
}

struct Tempo {
    int bpm, speed;
};

class TickClock : public ::testing::TestWithParam<Tempo>
{
};

TEST_P(TickClock, RowsLastSpeedTicksOfTwoFifthsOfTheTempo)
{
    const int rate = 32000, bpm = GetParam().bpm, speed = GetParam().speed;
    auto at = test::TickStarts(rate, bpm, 2000);
    // Ticks come at bpm * 2 / 5 Hz: every 80000 / bpm samples, never off by a whole sample.
    const double perTick = rate * 5.0 / (2.0 * bpm);
    EXPECT_EQ(at[0], 0);
    for (std::size_t i = 1; i < at.size(); ++i) {
        double gap = double(at[i] - at[i - 1]);
        ASSERT_TRUE(gap == std::floor(perTick) || gap == std::ceil(perTick)) << gap << " at tick " << i;
        ASSERT_NEAR(double(at[i]), i * perTick, 1.0) << "drift at tick " << i;
    }
    // A row is `speed` ticks: speed * 2.5 / bpm seconds.
    for (int row = 1; row * speed < 2000; row += 7)
        EXPECT_NEAR(double(at[row * speed]) / rate, row * speed * 2.5 / bpm, 1.0 / rate);
}

INSTANTIATE_TEST_SUITE_P(Sound, TickClock,
                         ::testing::Values(Tempo{125, 6}, Tempo{150, 3}, Tempo{32, 1}, Tempo{255, 31}, Tempo{97, 4}),
                         [](const auto &info) {
                             return std::to_string(info.param.bpm) + "bpm_speed" + std::to_string(info.param.speed);
                         });

TEST_F(PlayerModel, SlidesStopAtTheLimitsAndTheTarget)
{
    struct Case {
        const char *what;
        int start, effect, param, rows, target, want;
    };
    const Case cases[] = {
        {"1xx up to B-3", 214, 0x1, 0x10, 5, 0, 113},
        {"2xx down to C-1", 800, 0x2, 0x40, 2, 0, 856},
        {"1xx five ticks a row", 428, 0x1, 0x04, 1, 0, 408},
        {"E1x once a row", 428, 0x11, 0x4, 3, 0, 416},
        {"E2x once a row, clamped", 850, 0x12, 0xF, 2, 0, 856},
        {"3xx down to the target", 428, 0x3, 0x04, 3, 214, 368},
        {"3xx stops on the target", 428, 0x3, 0x20, 9, 214, 214},
        {"3xx up to the target", 214, 0x3, 0x08, 9, 254, 254},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        auto c = Channel(k.start);
        c.target = k.target;
        Rows(c, k.rows, k.effect, k.param);
        EXPECT_EQ(c.period, k.want);
        EXPECT_EQ(c.outper, k.want);
    }
}

TEST_F(PlayerModel, GlissandoPlaysWholeSemitonesOnTheWay)
{
    auto c = Channel(428);
    c.target = 214;
    c.Tick0(0x13, 1);
    std::vector<int> heard;
    for (int r = 0; r < 12; ++r) {
        c.Tick0(0x3, 0x06);
        for (int tick = 1; tick < 6; ++tick) {
            c.Tick(tick, 0x3, 0x06);
            heard.push_back(c.outper);
        }
    }
    for (int p : heard)
        EXPECT_TRUE(std::find(std::begin(kPeriods), std::end(kPeriods), p) != std::end(kPeriods)) << p;
    EXPECT_EQ(heard.back(), 214);
    EXPECT_TRUE(std::is_sorted(heard.rbegin(), heard.rend())) << "the slide only goes up in pitch";
}

TEST_F(PlayerModel, VibratoAndTremoloSwingByTheirDepth)
{
    // Speed 4: a full cycle in 16 ticks; depth 8 moves the period by up to 255 * 8 / 128.
    for (int wave : {0, 1, 2}) {
        SCOPED_TRACE("waveform " + std::to_string(wave));
        auto c = Channel(428);
        c.Tick0(0x14, wave);
        std::vector<int> dev;
        for (int r = 0; r < 4; ++r) {
            c.Tick0(0x4, 0x48);
            for (int tick = 1; tick < 5; ++tick) {
                c.Tick(tick, 0x4, 0x48);
                dev.push_back(c.outper - 428);
            }
        }
        ASSERT_EQ(dev.size(), 16u);
        EXPECT_EQ(c.period, 428) << "vibrato leaves the note's period alone";
        EXPECT_LE(*std::max_element(dev.begin(), dev.end()), 255 * 8 / 128);
        EXPECT_GE(*std::min_element(dev.begin(), dev.end()), -(255 * 8 / 128) - 1);
        if (wave != 1) {
            EXPECT_EQ(*std::max_element(dev.begin(), dev.end()), 255 * 8 / 128);
            for (int i = 1; i < 8; ++i)
                EXPECT_GE(dev[i], 0) << i;
            for (int i = 9; i < 16; ++i)
                EXPECT_LT(dev[i], 0) << i;
        } else {
            EXPECT_TRUE(std::is_sorted(dev.rbegin(), dev.rend())) << "ramp down";
        }
    }
    // Tremolo around volume 32 with depth 8: 255 * 8 / 64 either side, inside 0..64.
    auto c = Channel(428);
    c.Tick0(0xC, 32);
    int lo = 64, hi = 0;
    for (int r = 0; r < 8; ++r) {
        c.Tick0(0x7, 0x48);
        for (int tick = 1; tick < 6; ++tick) {
            c.Tick(tick, 0x7, 0x48);
            lo = std::min(lo, c.outvol);
            hi = std::max(hi, c.outvol);
        }
    }
    EXPECT_EQ(c.vol, 32);
    EXPECT_EQ(hi, 32 + 255 * 8 / 64);
    EXPECT_EQ(lo, 0);
}

TEST_F(PlayerModel, ArpeggioPlaysTheTableNotes)
{
    for (int i = 0; i < 36; ++i)
        for (int x = 0; x < 16 && i + x < 36; ++x) {
            auto c = Channel(kPeriods[i]);
            c.Tick(1, 0x0, x << 4 | 0x1);
            EXPECT_NEAR(c.outper, kPeriods[i + x], 1) << "note " << i << " +" << x;
            c.Tick(3, 0x0, x << 4 | 0x1);
            EXPECT_EQ(c.outper, kPeriods[i]) << "every third tick the note itself";
        }
}

TEST_F(PlayerModel, FinetuneMovesInEighthsOfASemitone)
{
    auto c = Channel(428);
    for (int f = 0; f < 16; ++f) {
        c.ft = f;
        const int s = f < 8 ? f : f - 16;
        EXPECT_NEAR(c.Finetuned(428), 428 * std::pow(2.0, -s / 96.0), 1.0) << f;
    }
    c.ft = 8; // a whole semitone down
    EXPECT_NEAR(c.Finetuned(428), 453, 1);
}

TEST_F(PlayerModel, VolumeSlidesStayInsideZeroTo64)
{
    auto c = Channel(428);
    Rows(c, 3, 0xA, 0xF0);
    EXPECT_EQ(c.vol, 64);
    Rows(c, 2, 0xA, 0x04);
    EXPECT_EQ(c.vol, 64 - 2 * 5 * 4);
    Rows(c, 5, 0xA, 0x0F);
    EXPECT_EQ(c.vol, 0);
    Rows(c, 1, 0x1A, 0x8);
    EXPECT_EQ(c.vol, 8) << "EAx once a row";
    Rows(c, 1, 0xC, 0x50);
    EXPECT_EQ(c.vol, 64) << "Cxx above 64";
}

// ---- the order of rows ----------------------------------------------------------

namespace {

test::ModFile Song(std::initializer_list<int> order, int patterns)
{
    test::ModFile m;
    m.patterns.resize(patterns);
    m.order = order;
    return m;
}

std::vector<std::pair<int, int>> Visits(const std::vector<test::RowStep> &steps)
{
    std::vector<std::pair<int, int>> v;
    for (const auto &s : steps)
        v.push_back({s.pos, s.row});
    return v;
}

} // namespace

TEST(RowOrder, BreakJumpLoopDelayAndTheSongsEnd)
{
    {
        SCOPED_TRACE("Dxy: next position at row x*10+y (decimal)");
        auto m = Song({0, 1}, 2);
        m.patterns[0][2][1] = {0, 0, 0xD, 0x12};
        auto v = Visits(test::RowOrder(m, 4));
        EXPECT_EQ(v, (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {0, 2}, {1, 12}}));
    }
    {
        SCOPED_TRACE("Bxx with Dxy in the same row: B's position, D's row");
        auto m = Song({0, 0, 1}, 2);
        m.patterns[0][1][3] = {0, 0, 0xD, 0x05};
        m.patterns[0][1][0] = {0, 0, 0xB, 0x02};
        auto v = Visits(test::RowOrder(m, 3));
        EXPECT_EQ(v, (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {2, 5}}));
    }
    {
        SCOPED_TRACE("the song starts again after its last position, and on a jump past it");
        auto m = Song({0, 1}, 2);
        m.patterns[0][63][0] = {0, 0, 0xB, 0x07};
        auto steps = test::RowOrder(m, 64 + 64 + 64 + 1);
        EXPECT_EQ(steps[64].pos, 0);
        EXPECT_EQ(steps[64].row, 0);
        auto n = Song({0, 1}, 2);
        auto plain = test::RowOrder(n, 129);
        EXPECT_EQ(plain[64].pos, 1);
        EXPECT_EQ(plain[128].pos, 0);
    }
    {
        SCOPED_TRACE("E60 .. E62: the rows between play three times");
        auto m = Song({0}, 1);
        m.patterns[0][1][2] = {0, 0, 0xE, 0x60};
        m.patterns[0][3][2] = {0, 0, 0xE, 0x62};
        auto v = Visits(test::RowOrder(m, 10));
        EXPECT_EQ(v, (std::vector<std::pair<int, int>>{
                         {0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 1}, {0, 2}, {0, 3}, {0, 1}, {0, 2}, {0, 3}}));
        EXPECT_EQ(test::RowOrder(m, 11).back().row, 4);
    }
    {
        SCOPED_TRACE("EEx and Fxx: a row lasts speed * (1 + x) ticks");
        auto m = Song({0}, 1);
        m.patterns[0][0][0] = {0, 0, 0xF, 0x03};
        m.patterns[0][1][1] = {0, 0, 0xE, 0xE2};
        m.patterns[0][2][1] = {0, 0, 0xF, 0x00}; // F00 changes nothing
        auto steps = test::RowOrder(m, 3);
        EXPECT_EQ(steps[0].ticks, 3);
        EXPECT_EQ(steps[1].ticks, 9);
        EXPECT_EQ(steps[2].ticks, 3);
    }
}
