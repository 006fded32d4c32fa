#include "chip/cordic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

using kivo::sim::Clock;
using kivo::sim::Cordic;
using kivo::sim::CordicOp;
using kivo::sim::CordicValue;

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

CordicValue run(CordicOp op, std::uint32_t d, std::uint32_t s, std::uint32_t q = 0)
{
    return Cordic::compute(op, d, s, q);
}

// Distance between a 32-bit result and an exact value, modulo 2^32 when the
// result is an angle.
long double lsbOff(std::uint32_t got, long double exact, bool angle = false)
{
    long double diff = (angle ? (long double)got : (long double)std::int64_t(std::int32_t(got))) - exact;
    if (angle) {
        diff = std::fmod(diff, 4294967296.0L);
        if (diff > 2147483648.0L)
            diff -= 4294967296.0L;
        if (diff < -2147483648.0L)
            diff += 4294967296.0L;
    }
    return std::fabs(diff);
}

} // namespace

TEST(CordicMath, IntegerOperationsAreExact)
{
    struct Case {
        CordicOp op;
        std::uint32_t d, s, q;
        std::uint32_t x, y;
    } cases[] = {
        {CordicOp::Mul, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0x00000001, 0xFFFFFFFE},
        {CordicOp::Mul, 160000000, 1000, 0, std::uint32_t(160000000000ull), std::uint32_t(160000000000ull >> 32)},
        {CordicOp::Div, 100, 7, 0, 14, 2},
        {CordicOp::Div, 0, 10, 1, 429496729, 6}, // {1:0} / 10
        {CordicOp::Div, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFE},
        {CordicOp::Frac, 1, 3, 0, 0x55555555, 1}, // {1:0} / 3
        {CordicOp::Frac, 2, 4, 0x80000000, 0xA0000000, 0},
        {CordicOp::Sqrt, 0, 0, 0, 0, 0},
        {CordicOp::Sqrt, 99, 0, 0, 9, 0},
        {CordicOp::Sqrt, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0xFFFFFFFF, 0},
        {CordicOp::Sqrt, 0, 1, 0, 65536, 0}, // sqrt(2^32)
        // By zero: the divider's all-ones quotient, the low dividend as remainder.
        {CordicOp::Div, 1234, 0, 0, 0xFFFFFFFF, 1234},
        {CordicOp::Div, 1234, 0, 77, 0xFFFFFFFF, 1234},
        {CordicOp::Frac, 5, 0, 99, 0xFFFFFFFF, 99},
    };
    for (const Case &c : cases) {
        CordicValue v = run(c.op, c.d, c.s, c.q);
        EXPECT_EQ(v.x, c.x) << int(c.op) << " " << c.d << " " << c.s << " " << c.q;
        EXPECT_EQ(v.y, c.y) << int(c.op) << " " << c.d << " " << c.s << " " << c.q;
    }

    std::mt19937 rng(9);
    for (int i = 0; i < 20000; ++i) {
        const std::uint32_t d = rng(), s = rng() | 1, q = rng() % s;
        CordicValue m = run(CordicOp::Mul, d, s);
        EXPECT_EQ((std::uint64_t(m.y) << 32) | m.x, std::uint64_t(d) * s);
        const std::uint64_t n = (std::uint64_t(q) << 32) | d;
        CordicValue dv = run(CordicOp::Div, d, s, q);
        ASSERT_EQ(dv.x, n / s) << d << " " << s << " " << q;
        ASSERT_EQ(dv.y, n % s);
        const std::uint64_t f = (std::uint64_t(q) << 32) | d; // QFRAC: D high, Q low
        CordicValue fr = run(CordicOp::Frac, q, s, d);
        ASSERT_EQ(fr.x, f / s);
        ASSERT_EQ(fr.y, f % s);
        const std::uint64_t r = (std::uint64_t(rng()) << 32) | rng();
        const std::uint64_t root = run(CordicOp::Sqrt, std::uint32_t(r), std::uint32_t(r >> 32)).x;
        ASSERT_LE(root * root, r);
        ASSERT_TRUE(root == 0xFFFFFFFF || (root + 1) * (root + 1) > r) << r;
    }
}

TEST(CordicMath, RotateAndVectorAreWithinTheStatedBound)
{
    const long double bound = Cordic::kTrigLsb;
    auto checkRotate = [&](std::int32_t x, std::int32_t y, std::uint32_t a) {
        const long double t = 2 * kPi * (long double)a / 4294967296.0L;
        const long double ex = x * std::cos(t) - y * std::sin(t), ey = x * std::sin(t) + y * std::cos(t);
        CordicValue v = run(CordicOp::Rotate, std::uint32_t(x), a, std::uint32_t(y));
        EXPECT_LE(lsbOff(v.x, ex), bound) << x << "," << y << " by " << a;
        EXPECT_LE(lsbOff(v.y, ey), bound) << x << "," << y << " by " << a;
    };
    auto checkVector = [&](std::int32_t x, std::int32_t y) {
        const long double len = std::sqrt((long double)x * x + (long double)y * y);
        long double ang = std::atan2((long double)y, (long double)x) / (2 * kPi) * 4294967296.0L;
        if (ang < 0)
            ang += 4294967296.0L;
        CordicValue v = run(CordicOp::Vector, std::uint32_t(x), std::uint32_t(y));
        EXPECT_LE(std::fabs((long double)v.x - len), bound) << x << "," << y;
        // The angle's LSB is 2^-32 of a turn; short vectors cannot resolve it.
        const long double angleBound = bound + 4294967296.0L / (2 * kPi * std::max(len, 1.0L));
        EXPECT_LE(lsbOff(v.y, ang, true), angleBound) << x << "," << y;
    };

    // Quadrant edges, sine/cosine at full scale, the documentation's cases.
    for (std::uint32_t a :
         {0u, 0x20000000u, 0x40000000u, 0x80000000u, 0xC0000000u, 0xFFFFFFFFu, 0x1FFFFFFFu, 0x60000000u, 0x15555555u})
        checkRotate(0x7FFFFFFF, 0, a);
    checkRotate(-0x40000000, 0x40000000, 0x12345678);
    for (auto [x, y] : {std::pair{1000, 0},
                        {0, 1000},
                        {-1000, 0},
                        {0, -1000},
                        {-1, -1},
                        {0x7FFFFFFF, 0x7FFFFFFF},
                        {-0x7FFFFFFF - 1, 0},
                        {-0x7FFFFFFF - 1, -0x7FFFFFFF - 1},
                        {3, 4}})
        checkVector(x, y);

    std::mt19937 rng(10);
    for (int i = 0; i < 5000; ++i) {
        const auto x = std::int32_t(rng()) >> 1, y = std::int32_t(rng()) >> 1; // |v| < 2^31: no wrap
        checkRotate(x, y, std::uint32_t(rng()));
        checkVector(std::int32_t(rng()), std::int32_t(rng()));
    }
    EXPECT_EQ(run(CordicOp::Vector, 0, 0).x, 0u);
}

TEST(CordicMath, LogAndExpAreWithinTheStatedBound)
{
    const long double bound = Cordic::kLogLsb;
    struct Exact {
        CordicOp op;
        std::uint32_t d, x;
    } exact[] = {
        {CordicOp::Log, 1, 0},
        {CordicOp::Log, 2, 1u << 27},
        {CordicOp::Log, 0x80000000u, 31u << 27},
        {CordicOp::Log, 0, 0},
        {CordicOp::Exp, 0, 1},
        {CordicOp::Exp, 31u << 27, 0x80000000u},
        {CordicOp::Exp, 10u << 27, 1024},
        {CordicOp::Exp, 0xFFFFFFFF, 4294967274u},
        {CordicOp::Log, 0xFFFFFFFF, 0xFFFFFFFF}, // 31.99999999966: saturates
    };
    for (const Exact &e : exact)
        EXPECT_EQ(run(e.op, e.d, 0).x, e.x) << int(e.op) << " " << e.d;

    std::mt19937 rng(11);
    for (int i = 0; i < 20000; ++i) {
        const std::uint32_t d = rng() >> (rng() % 32);
        if (d != 0 && d < 0xFFFFFFF0u) {
            const long double lg = std::log2((long double)d) * 134217728.0L;
            EXPECT_LE(std::fabs((long double)run(CordicOp::Log, d, 0).x - lg), bound) << d;
        }
        const std::uint32_t e = rng();
        const long double ex = std::exp2((long double)e / 134217728.0L);
        if (ex < 4294967295.0L) {
            EXPECT_LE(std::fabs((long double)run(CordicOp::Exp, e, 0).x - ex), bound) << e;
        }
    }
}

TEST(CordicTiming, IssueAndResultFollowTheHubPhase)
{
    // Measured on a chip: QMUL alone, and QMUL + GETQX, for hub phases 0..7.
    const int qmul[8] = {2, 9, 8, 7, 6, 5, 4, 3};
    const int withGet[8] = {60, 67, 66, 65, 64, 63, 62, 61};
    for (int cog : {0, 5}) {
        for (int phase = 0; phase < 8; ++phase) {
            Cordic c;
            const Clock start = 1000 + Clock(cog) + Clock(phase); // (start - cog) & 7 == phase
            const Clock issued = c.issue(cog, CordicOp::Mul, 6, 7, 0, start);
            EXPECT_EQ(int(issued - start), qmul[phase]) << cog << " " << phase;
            Cordic::Read r = c.get(cog, false, issued);
            EXPECT_EQ(int(r.done - start), withGet[phase]) << cog << " " << phase;
            EXPECT_EQ(r.value, 42u);
            EXPECT_FALSE(r.empty);
            Cordic::Read hi = c.get(cog, true, r.done);
            EXPECT_EQ(hi.done, r.done + 2);
            EXPECT_EQ(hi.value, 0u);
            // Everything read: 2 clocks, QMT, the last result again.
            Cordic::Read again = c.get(cog, false, hi.done);
            EXPECT_TRUE(again.empty);
            EXPECT_EQ(again.done, hi.done + 2);
            EXPECT_EQ(again.value, 42u);
        }
    }
}

TEST(CordicTiming, PipelinedResultsAreReadInOrderOrLost)
{
    // Eight commands, one per slot, then their results in order: each GETQX
    // waits at most for its own result.
    Cordic c;
    Clock t = 0;
    for (std::uint32_t i = 1; i <= 8; ++i)
        t = c.issue(0, CordicOp::Mul, i, 100, 0, t);
    EXPECT_EQ(t, 7u * 8 + 2); // hand-offs at 0, 8, .., 56
    EXPECT_EQ(c.readyAt(0, t - 1), Clock(Cordic::kReadyDelay));
    EXPECT_EQ(c.nextEvent(t - 1), Clock(Cordic::kReadyDelay));
    EXPECT_EQ(c.readyAt(0, t), Clock(8 + Cordic::kReadyDelay)); // the first has arrived
    for (std::uint32_t i = 1; i <= 8; ++i) {
        Cordic::Read y = c.get(0, true, t);
        Cordic::Read x = c.get(0, false, y.done);
        EXPECT_EQ(x.value, i * 100);
        EXPECT_EQ(y.value, 0u);
        EXPECT_EQ(y.done, std::max(t, Clock(8 * (i - 1) + Cordic::kReadyDelay)) + 2);
        t = x.done;
    }
    EXPECT_EQ(c.readyAt(0, t), kivo::sim::kNever);
    EXPECT_FALSE(c.pending(0, t));

    // Read too late: the second result has overwritten the first.
    Cordic late;
    t = late.issue(2, CordicOp::Mul, 3, 1, 0, 2);
    t = late.issue(2, CordicOp::Mul, 4, 1, 0, t);
    Cordic::Read r = late.get(2, false, t + 200);
    EXPECT_EQ(r.value, 4u);
    EXPECT_EQ(r.done, t + 202);
    EXPECT_TRUE(late.get(2, false, r.done).empty);
    EXPECT_EQ(late.get(2, true, r.done).value, 0u); // Y of the same (last) result
}

TEST(CordicTiming, ANewCommandForgetsUnreadResults)
{
    // QMUL, GETQX only, QDIV, then GETQY waits for the division instead of
    // returning the product's stale high half.
    Cordic c;
    Clock t = c.issue(1, CordicOp::Mul, 0xFFFFFFFF, 0xFFFFFFFF, 0, 1);
    t = c.get(1, false, t).done;
    const Clock issued = c.issue(1, CordicOp::Div, 100, 7, 0, t);
    Cordic::Read r = c.get(1, true, issued);
    EXPECT_EQ(r.value, 2u);
    EXPECT_EQ(r.done, issued - 2 + Cordic::kReadyDelay + 2);
    EXPECT_TRUE(c.pending(1, r.done)); // its X is still unread
    EXPECT_EQ(c.get(1, false, r.done).value, 14u);

    c.resetCog(1);
    EXPECT_TRUE(c.get(1, false, 5000).empty);
}
