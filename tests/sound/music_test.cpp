// The shipped music and effects as data: the module is read back into rows
// and played through the row model, so its length, loop and the effects it
// uses are measured, not assumed.
#include "playermodel.h"
#include "testsupport.h"

#include <set>

using namespace kivo;

namespace {

std::string Resource(const std::string &name)
{
    return test::ReadFileBytes(std::string(KIVO_SOURCE_DIR) + "/resources/" + name);
}

test::ModFile ReadMod(const std::string &b)
{
    auto u = [&b](std::size_t at) { return static_cast<int>(static_cast<std::uint8_t>(b.at(at))); };
    test::ModFile m;
    int highest = 0;
    for (int i = 0; i < u(950); ++i)
        m.order.push_back(u(952 + i));
    for (int i = 0; i < 128; ++i)
        highest = std::max(highest, u(952 + i));
    m.patterns.resize(highest + 1);
    for (int p = 0; p <= highest; ++p)
        for (int r = 0; r < 64; ++r)
            for (int c = 0; c < 4; ++c) {
                std::size_t at = 1084 + p * 1024 + r * 16 + c * 4;
                m.patterns[p][r][c] = {(u(at) & 0xF0) | (u(at + 2) >> 4), ((u(at) & 0x0F) << 8) | u(at + 1),
                                       u(at + 2) & 0x0F, u(at + 3)};
            }
    return m;
}

} // namespace

TEST(ShippedMusic, PlaysOverHalfAMinuteThenLoopsWithSeveralEffects)
{
    std::string bytes = Resource("pyr.mod");
    test::ModFile m = ReadMod(bytes);
    // Tempo: the module sets 125 BPM and leaves it there.
    std::set<int> effects;
    for (const auto &p : m.patterns)
        for (const auto &row : p)
            for (const auto &c : row) {
                if (c.effect == 0xF && c.param >= 32) {
                    EXPECT_EQ(c.param, 125);
                }
                if (c.effect || c.param)
                    effects.insert(c.effect == 0xE ? 0xE0 | (c.param >> 4) : c.effect);
            }
    auto steps = test::RowOrder(m, 2000);
    // The first time the song comes back to a row it played: its loop.
    std::set<std::pair<int, int>> seen;
    double seconds = 0;
    std::size_t loopAt = 0;
    for (std::size_t i = 0; i < steps.size() && !loopAt; ++i) {
        if (!seen.insert({steps[i].pos, steps[i].row}).second)
            loopAt = i;
        else
            seconds += steps[i].ticks * 2.5 / 125;
    }
    ASSERT_NE(loopAt, 0u) << "the song never comes back";
    EXPECT_GE(seconds, 30.0);
    EXPECT_LT(seconds, 90.0);
    std::cout << "[ music    ] " << seconds << " s before it loops to position " << steps[loopAt].pos << ", effects";
    for (int e : effects)
        std::cout << " " << std::hex << std::uppercase << e << std::dec;
    std::cout << "\n";
    // A melody, bass and drums use several of the effects the player offers.
    for (int e : {0x0, 0x3, 0x4, 0x6, 0x7, 0xA, 0xB, 0xC, 0xF, 0xE9, 0xEC})
        EXPECT_TRUE(effects.count(e)) << std::hex << e;
    // Music and effects together stay within 100 KB of hub RAM.
    std::size_t total = bytes.size();
    for (const char *f :
         {"space_sample2_S8.raw", "space_sample1_S8.raw", "platform_sample3_S8.raw", "platform_sample1_S8.raw"})
        total += Resource(f).size();
    EXPECT_LE(total, 100u * 1024);
}
