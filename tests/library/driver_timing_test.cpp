// The drivers' timing arithmetic, redone on the host with the constants read
// from the driver sources, against the device data sheets, at the default
// 160 MHz and at 300 MHz. The formulas mirror the drivers' Spin2 code; each
// test first checks that the driver still has that code.
#include "testsupport.h"

#include <cmath>
#include <map>
#include <regex>

using namespace kivo;

namespace {

std::string Source(const std::string &name)
{
    std::string s = test::ReadFileBytes(std::string(KIVO_SOURCE_DIR) + "/resources/" + name);
    return std::regex_replace(s, std::regex("\r"), "");
}

// Decimal CON constants ("NAME = 1_250") of a Spin2 source.
std::map<std::string, int64_t> Constants(const std::string &src)
{
    std::map<std::string, int64_t> out;
    std::regex line(R"(^\s+([A-Z][A-Z0-9_]*)\s*=\s*([0-9][0-9_]*)\b)", std::regex::multiline);
    for (auto it = std::sregex_iterator(src.begin(), src.end(), line); it != std::sregex_iterator(); ++it) {
        std::string digits = std::regex_replace((*it)[2].str(), std::regex("_"), "");
        out[(*it)[1]] = std::stoll(digits);
    }
    return out;
}

// Spin2 MULDIV64(a, b, c): unsigned 64-bit product, divided, truncated.
int64_t MulDiv64(int64_t a, int64_t b, int64_t c)
{
    return static_cast<int64_t>(uint64_t(a) * uint64_t(b) / uint64_t(c));
}

const int64_t kClocks[] = {160'000'000, 300'000'000};

void ExpectHas(const std::string &src, const std::string &code)
{
    EXPECT_NE(src.find(code), std::string::npos) << code;
}

} // namespace

// ---- WS281x / SK6812 -------------------------------------------------------------

struct LedChip {
    const char *suffix; // constant suffix in the driver
    const char *start;  // its start method
    // Data-sheet windows in ns: T0H, T1H, T0L, T1L as {min, max}; latch minimum in us.
    int t0h[2], t1h[2], t0l[2], t1l[2];
    int latchUs;
};

void PrintTo(const LedChip &c, std::ostream *os) { *os << c.suffix; }

class LedTiming : public ::testing::TestWithParam<LedChip>
{
protected:
    void SetUp() override
    {
        src = Source("zd_rgbx_pixel_kqv.spin2");
        k = Constants(src);
        ExpectHas(src, "clocks := muldiv64(clkfreq, ns, 1_000_000_000)");
        ExpectHas(src, "us := ((HOLDOFF_MIN #> holdoff <# HOLDOFF_MAX) * 100) #> latch");
        ExpectHas(src, "vreset := muldiv64(clkfreq, us, 1_000_000)");
        ExpectHas(src, "if vtbit - vt1h < LOW_MIN_CLOCKS or vt0h < HIGH_MIN_CLOCKS");
        std::string s = GetParam().suffix;
        ExpectHas(src, std::string("PUB ") + GetParam().start + "(");
        ExpectHas(src, "T0H_" + s + ", T1H_" + s + ", TBIT_" + s + ", RES_" + s);
    }
    int64_t C(const std::string &name) { return k.at(name + "_" + GetParam().suffix); }
    std::string src;
    std::map<std::string, int64_t> k;
};

TEST_P(LedTiming, BitTimesMeetTheDataSheetAt160And300MHz)
{
    const LedChip &chip = GetParam();
    for (int64_t f : kClocks) {
        SCOPED_TRACE(std::to_string(f / 1'000'000) + " MHz");
        int64_t t0h = MulDiv64(f, C("T0H"), 1'000'000'000);
        int64_t t1h = MulDiv64(f, C("T1H"), 1'000'000'000);
        int64_t tbit = MulDiv64(f, C("TBIT"), 1'000'000'000);
        auto ns = [f](int64_t clocks) { return double(clocks) * 1e9 / double(f); };
        auto within = [&](double v, const int w[2], const char *what) {
            EXPECT_GE(v, w[0]) << what;
            EXPECT_LE(v, w[1]) << what;
        };
        within(ns(t0h), chip.t0h, "T0H");
        within(ns(t1h), chip.t1h, "T1H");
        within(ns(tbit - t0h), chip.t0l, "T0L");
        within(ns(tbit - t1h), chip.t1l, "T1L");
        // The cog's work between a fall and the next rise fits in the low time.
        EXPECT_GE(tbit - t1h, k.at("LOW_MIN_CLOCKS"));
        EXPECT_GE(t0h, k.at("HIGH_MIN_CLOCKS"));
        // Hold-off 1 still latches; hold-off 50 gives 5 ms.
        int64_t latchUs = std::max<int64_t>(k.at("HOLDOFF_MIN") * 100, C("RES"));
        EXPECT_GE(latchUs, chip.latchUs);
        EXPECT_EQ(MulDiv64(f, std::max<int64_t>(k.at("HOLDOFF_MAX") * 100, C("RES")), 1'000'000), f / 200);
    }
}

TEST_P(LedTiming, RefusesAClockTooSlowForTheLowTime)
{
    // 40 MHz leaves fewer clocks after a 1 bit's fall than the cog needs.
    int64_t f = 40'000'000;
    int64_t low = MulDiv64(f, C("TBIT"), 1'000'000'000) - MulDiv64(f, C("T1H"), 1'000'000'000);
    EXPECT_LT(low, k.at("LOW_MIN_CLOCKS"));
}

// Windows from the data sheets (+-150 ns where they give a tolerance). The
// WS2812B row is the overlap of the older parts' windows and the newer
// parts' (T0H 220..380, T0L 580..1000, T1H 580..1000, T1L 220..420).
INSTANTIATE_TEST_SUITE_P(
    Library, LedTiming,
    ::testing::Values(LedChip{"2812B", "start_2812b", {250, 380}, {650, 950}, {700, 1000}, {300, 420}, 280},
                      LedChip{"2811", "start_2811", {100, 400}, {450, 750}, {850, 1150}, {500, 800}, 50},
                      LedChip{"2812", "start_2812", {200, 500}, {550, 850}, {650, 950}, {450, 750}, 50},
                      LedChip{"2813", "start_2813", {300, 450}, {750, 1000}, {300, 100000}, {300, 100000}, 300},
                      LedChip{"6812", "start_6812x", {150, 450}, {450, 750}, {750, 1050}, {450, 750}, 80}),
    [](const auto &info) { return std::string("WS") + info.param.suffix; });

TEST(LedGamma, TableIsGamma22Rounded)
{
    std::string src = Source("zd_rgbx_pixel_kqv.spin2");
    auto at = src.find("gamma_table\n");
    ASSERT_NE(at, std::string::npos);
    std::string rest = src.substr(at);
    std::vector<int> table;
    std::regex bytes(R"(^\s+byte\s+(.*)$)");
    std::stringstream lines(rest);
    std::string l;
    std::getline(lines, l);
    while (std::getline(lines, l)) {
        std::smatch m;
        if (!std::regex_match(l, m, bytes))
            break;
        std::stringstream values(m[1].str());
        std::string v;
        while (std::getline(values, v, ','))
            table.push_back(std::stoi(v));
    }
    ASSERT_EQ(table.size(), 256u);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(table[i], static_cast<int>(std::lround(255.0 * std::pow(i / 255.0, 2.2)))) << i;
}

// ---- servo -----------------------------------------------------------------------

TEST(ServoTiming, TwentyMillisecondFrameOfOneMicrosecondSteps)
{
    std::string src = Source("zd_servo.spin2");
    auto k = Constants(src);
    ExpectHas(src, "unit := (clkfreq + 500_000) / 1_000_000");
    ExpectHas(src, "pinstart(servopin, P_PWM_SAWTOOTH | P_OE, (FRAME_US << 16) | unit, width)");
    for (int64_t f : {int64_t(160'000'000), int64_t(300'000'000), int64_t(180'500'000), int64_t(20'000'000)}) {
        SCOPED_TRACE(f);
        int64_t unit = (f + 500'000) / 1'000'000;
        ASSERT_GE(unit, 1);
        ASSERT_LE(unit, 0xFFFF); // X[15:0]
        double frameMs = double(k.at("FRAME_US") * unit) * 1e3 / double(f);
        EXPECT_NEAR(frameMs, 20.0, 20.0 * 0.003);
        for (int64_t us : {k.at("US_MIN"), int64_t(1500), k.at("US_MAX")})
            EXPECT_NEAR(double(us * unit) * 1e6 / double(f), double(us), us * 0.003);
    }
    EXPECT_EQ((k.at("FRAME_US") << 16) | 160, 0x4E2000A0);
    EXPECT_EQ((k.at("FRAME_US") << 16) | 300, 0x4E20012C);
    // The unit conversion of the editors: 0, 90 and 180 degrees.
    EXPECT_EQ(k.at("US_MIN") + 0 * k.at("US_PER_DEG"), 600);
    EXPECT_EQ(k.at("US_MIN") + 90 * k.at("US_PER_DEG"), 1500);
    EXPECT_EQ(k.at("US_MIN") + k.at("DEG_MAX") * k.at("US_PER_DEG"), k.at("US_MAX"));
}

// ---- I2C -------------------------------------------------------------------------

struct I2cMode {
    int khz;
    // Minimums in ns: tLOW, tHIGH, tSU;STA, tHD;STA, tSU;STO, tBUF, tSU;DAT.
    int low, high, suSta, hdSta, suSto, buf, suDat;
};

TEST(I2cTiming, PhasesMeetTheBusMinimumsAt160And300MHz)
{
    std::string src = Source("zd_i2c_kqv2.spin2");
    ExpectHas(src, "period := clkfreq / ((1 #> khz <# 1000) * 1000)");
    ExpectHas(src, "tlow := period * 14 / 25");
    ExpectHas(src, "thigh := period - tlow");
    ExpectHas(src, "wait_until(t + tlow / 4)");
    const I2cMode modes[] = {
        {100, 4700, 4000, 4700, 4000, 4000, 4700, 250},
        {400, 1300, 600, 600, 600, 600, 1300, 100},
        {1000, 500, 260, 260, 260, 260, 500, 50},
    };
    for (int64_t f : kClocks) {
        for (const I2cMode &m : modes) {
            SCOPED_TRACE(std::to_string(m.khz) + " kHz at " + std::to_string(f / 1'000'000) + " MHz");
            int64_t period = f / (m.khz * 1000);
            int64_t tlow = period * 14 / 25, thigh = period - tlow;
            auto ns = [f](int64_t clocks) { return double(clocks) * 1e9 / double(f); };
            EXPECT_GE(ns(tlow), m.low);
            EXPECT_GE(ns(thigh), m.high);
            EXPECT_GE(ns(tlow), m.suSta);  // start: SDA high, SCL high, wait tlow
            EXPECT_GE(ns(thigh), m.hdSta); // then SDA low, wait thigh
            EXPECT_GE(ns(thigh), m.suSto); // stop: SCL high, wait thigh
            EXPECT_GE(ns(tlow), m.buf);    // then SDA high, wait tlow
            EXPECT_GE(ns(tlow - tlow / 4), m.suDat);
            EXPECT_GE(ns(period), 1e6 / m.khz - 1); // never faster than asked
        }
    }
}

// ---- VGA -------------------------------------------------------------------------

TEST(VgaTiming, LineAndFrameMake640x480At60Hz)
{
    std::string src = Source("VGA_SimpleDriver1a.spin2");
    auto k = Constants(src);
    ExpectHas(src, "vfreq := (muldiv64(PIXEL_HZ, $4000_0000, clkfreq) << 1) + 1");
    // One line: the four streamer commands a visible line queues.
    auto steps = [&](const std::string &label) {
        std::smatch m;
        EXPECT_TRUE(std::regex_search(src, m, std::regex(label + R"(\s+long\s+X_\w+ \| X_DACS_3_2_1_0 \| (\d+))")))
            << label;
        return m.empty() ? 0 : std::stoi(m[1]);
    };
    EXPECT_EQ(steps("m_pixels"), 640);
    EXPECT_EQ(steps("m_black"), 640);
    int line = steps("m_pixels") + steps("m_fp") + steps("m_sync") + steps("m_bp");
    EXPECT_EQ(line, 800);
    EXPECT_EQ(steps("m_fp"), 16);
    EXPECT_EQ(steps("m_sync"), 96);
    // One frame: visible lines, then the blank lines of the front porch, sync and back porch.
    std::vector<int> blocks;
    std::regex lines(R"(mov\s+lines, #+(\d+))");
    for (auto it = std::sregex_iterator(src.begin(), src.end(), lines); it != std::sregex_iterator(); ++it)
        blocks.push_back(std::stoi((*it)[1]));
    ASSERT_EQ(blocks, (std::vector<int>{480, 10, 2, 33}));
    int frame = 480 + 10 + 2 + 33;
    for (int64_t f : kClocks) {
        SCOPED_TRACE(f);
        int64_t freq = (MulDiv64(k.at("PIXEL_HZ"), 0x4000'0000, f) << 1) + 1;
        double pixelHz = double(freq) * double(f) / 2147483648.0;
        EXPECT_NEAR(pixelHz, 25.175e6, 25.175e6 * 0.0005);
        EXPECT_NEAR(pixelHz / line, 31469, 31469 * 0.005); // line rate, Hz
        EXPECT_NEAR(pixelHz / line / frame, 59.94, 59.94 * 0.005);
        EXPECT_LT(freq, int64_t(1) << 31); // below one step per clock
    }
}
