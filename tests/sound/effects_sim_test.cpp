// The replay routine in the simulated sound cog, tick by tick, against the
// host model: after every tick the four music voices' steps and volumes are
// read from the cog and compared with what the model gives for a module that
// uses every effect, the E-commands and the row jumps among them.
#include "playermodel.h"
#include "soundsim.h"

#include <cmath>

using namespace kivo;

namespace {

// The cog addresses of the player's registers: the `res` lines after `org $100`.
std::map<std::string, std::uint32_t> PlayerRegisters(const std::string &src)
{
    std::map<std::string, std::uint32_t> regs;
    std::istringstream in(src);
    std::string line;
    bool inside = false;
    std::uint32_t at = 0x100;
    std::regex res(R"(^(\w+)\s+res\s+(\d+))"), label(R"(^(\w+)\s*$)");
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find("org     $100") != std::string::npos) {
            inside = true;
            continue;
        }
        if (!inside)
            continue;
        if (line.find("fit") != std::string::npos)
            break;
        std::smatch m;
        if (std::regex_search(line, m, res)) {
            regs[m[1]] = at;
            at += std::stoul(m[2]);
        } else if (std::regex_search(line, m, label)) {
            regs[m[1]] = at;
        }
    }
    return regs;
}

test::ModFile EffectsModule()
{
    test::ModFile m;
    test::ModSample a, b;
    for (int k = 0; k < 32; ++k)
        a.data.push_back(static_cast<std::int8_t>(std::lround(80 * std::sin(2 * M_PI * k / 32))));
    a.loopLength = 32;
    a.volume = 48;
    b = a;
    b.volume = 64;
    b.finetune = 3;
    m.samples = {a, b};
    test::ModPattern p{}, q{};
    auto c = [](int s, int per, int e, int x) { return test::ModCell{s, per, e, x}; };
    // Channel 0: the channel effects one after another.
    const test::ModCell ch0[] = {
        c(1, 428, 0x0, 0x37), c(0, 0, 0x0, 0x37),   c(0, 0, 0x0, 0x4C),   c(0, 0, 0x0, 0x37),   c(0, 339, 0x1, 0x04),
        c(0, 0, 0x1, 0x04),   c(0, 0, 0x2, 0x05),   c(0, 0, 0xE, 0x13),   c(0, 0, 0xE, 0x24),   c(2, 285, 0x0, 0x00),
        c(0, 214, 0x3, 0x08), c(0, 0, 0x3, 0x00),   c(0, 0, 0xE, 0x31),   c(0, 428, 0x3, 0x06), c(0, 0, 0x3, 0x00),
        c(0, 0, 0x3, 0x00),   c(0, 0, 0x5, 0x02),   c(0, 0, 0x4, 0x48),   c(0, 0, 0x4, 0x00),   c(0, 0, 0xE, 0x41),
        c(0, 0, 0x4, 0x00),   c(0, 0, 0x6, 0x10),   c(0, 0, 0x7, 0x46),   c(0, 0, 0x7, 0x00),   c(0, 0, 0xE, 0x72),
        c(0, 0, 0x7, 0x00),   c(0, 0, 0xA, 0x0F),   c(0, 0, 0xC, 0x30),   c(0, 0, 0xE, 0xA4),   c(0, 0, 0xE, 0xB8),
        c(1, 254, 0xE, 0xC3), c(1, 428, 0xE, 0xD2), c(1, 254, 0xE, 0x58), c(1, 428, 0xE, 0x92), c(0, 0, 0xF, 0x03),
        c(0, 0, 0x0, 0x00),   c(1, 381, 0xE, 0x60), c(0, 0, 0xE, 0x62),   c(1, 339, 0xE, 0xE2), c(0, 0, 0xF, 0x06),
        c(0, 0, 0xD, 0x05),
    };
    for (std::size_t r = 0; r < std::size(ch0); ++r)
        p[r][0] = ch0[r];
    // Channels 1..3: offset, limits, a tone portamento with no note before it.
    p[0][1] = c(1, 320, 0x9, 0x01);
    p[16][1] = c(0, 0, 0x1, 0x02);
    p[2][2] = c(1, 113, 0x1, 0x10);
    p[8][2] = c(1, 856, 0x2, 0x10);
    p[5][3] = c(0, 0, 0xF, 0x7D);
    p[20][3] = c(2, 285, 0x3, 0x04);
    p[24][3] = c(0, 0, 0x3, 0x00);
    p[30][3] = c(40, 428, 0x0, 0x00); // no sample 40: the note plays the sample there is
    // The next pattern is entered at row 5; there B and D in one row.
    q[5][0] = c(1, 428, 0x0, 0x00);
    q[6][0] = c(0, 0, 0xB, 0x02);
    q[6][1] = c(0, 0, 0xD, 0x10);
    q[10][2] = c(1, 190, 0x4, 0x2F);
    m.patterns = {p, q};
    m.order = {0, 1, 0};
    return m;
}

} // namespace

TEST(SoundSimulated, EveryTickMatchesTheModel)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const std::string src = test::ReadFileBytes(std::string(KIVO_SOURCE_DIR) + "/resources/trackerPlayer.spin2");
    auto regs = PlayerRegisters(src);
    ASSERT_TRUE(regs.count("g_ticks") && regs.count("pp_kstep") && regs.count("g_row")) << regs.size();
    test::PlayerTables t{test::SpinTable(src, "sine"), test::SpinTable(src, "semitones"),
                         test::SpinTable(src, "finetunes"), test::SpinTable(src, "periods")};
    const test::ModFile mod = EffectsModule();
    const int kTicks = 330;
    auto want = test::SongTicks(mod, t, kTicks);

    // Build the program with the module, then step the chip a sample at a time.
    test::TempDir dir;
    for (const auto &f : test::kSoundFiles)
        std::filesystem::copy_file(std::string(KIVO_SOURCE_DIR) + "/resources/" + f, dir / f);
    auto bytes = mod.Bytes();
    test::WriteFileBytes(dir / "pyr.mod", std::string(bytes.begin(), bytes.end()));
    test::WriteFileBytes(dir / "main.c", R"(#include <propeller2.h>
struct __using("SimpleSound.spin2") sound;
void main(void)
{
    sound.start(54, 55);
    sound.Play();
    for (;;) {
        _waitms(10);
        sound.pollTick();
    }
}
)");
    auto c = test::CompileP2(flexspin, dir.Path(), "main.c");
    ASSERT_TRUE(c.Ok()) << c.output;
    std::string image = test::ReadFileBytes(dir / "main.binary");
    sim::Chip chip;
    ASSERT_TRUE(chip.loadImage(std::vector<std::uint8_t>(image.begin(), image.end())));
    const int cog = 1; // the first cog the program starts
    std::uint32_t seen = 0;
    int compared = 0;
    for (sim::Clock at = 5000; compared < kTicks && at < sim::Clock(160'000'000) * 10; at += 5000) {
        chip.runUntil(at);
        ASSERT_EQ(chip.faultMessage(), "");
        if (!chip.cogRunning(cog))
            continue;
        std::uint32_t ticks = chip.cogRegister(cog, regs["g_ticks"]);
        if (ticks == seen || chip.cogRegister(cog, regs["g_running"]) == 0)
            continue;
        ASSERT_EQ(ticks, seen + 1) << "a tick was missed";
        seen = ticks;
        const test::TickState &w = want[compared++];
        SCOPED_TRACE("tick " + std::to_string(compared - 1) + ": position " + std::to_string(w.pos) + " row " +
                     std::to_string(w.row) + " tick " + std::to_string(w.tick));
        const std::uint32_t kstep = chip.cogRegister(cog, regs["pp_kstep"]);
        for (int k = 0; k < 4; ++k) {
            const std::uint32_t v = 0x1C0 + 8 * k;
            const std::uint32_t step = chip.cogRegister(cog, v + 5) << 16 | chip.cogRegister(cog, v + 6) >> 16;
            const int period = std::clamp(w.period[k], 56, 1712);
            EXPECT_EQ(step, kstep / std::uint32_t(period)) << "channel " << k << " period " << w.period[k];
            EXPECT_EQ(int(chip.cogRegister(cog, v + 7)), w.vol[k]) << "channel " << k;
        }
        if (::testing::Test::HasFailure())
            break;
    }
    EXPECT_EQ(compared, kTicks);
}
