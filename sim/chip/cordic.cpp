#include "chip/cordic.h"

#include <algorithm>
#include <cmath>

namespace kivo::sim {

namespace {

// Unsigned 64 x 64 -> 128 bits, portable.
struct U128 {
    std::uint64_t hi = 0, lo = 0;
};

U128 mul64(std::uint64_t a, std::uint64_t b)
{
    const std::uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const std::uint64_t mid = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    U128 r;
    r.lo = (mid << 32) | (p00 & 0xFFFFFFFFu);
    r.hi = p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32);
    return r;
}

// (a * b) >> 64 for a signed, b unsigned < 2^63.
std::int64_t mulHighSigned(std::int64_t a, std::uint64_t b)
{
    const bool neg = a < 0;
    const std::uint64_t m = neg ? std::uint64_t(0) - std::uint64_t(a) : std::uint64_t(a);
    const U128 p = mul64(m, b);
    // Round to nearest so that the sign does not bias the result.
    std::uint64_t r = p.hi + (p.lo >> 63);
    return neg ? -std::int64_t(r) : std::int64_t(r);
}

// A 32-step restoring divider: exact whenever the quotient fits 32 bits.
CordicValue divide(std::uint32_t hi, std::uint32_t lo, std::uint32_t divisor)
{
    if (divisor != 0 && hi < divisor) {
        const std::uint64_t n = (std::uint64_t(hi) << 32) | lo;
        return {std::uint32_t(n / divisor), std::uint32_t(n % divisor)};
    }
    std::uint64_t rem = hi;
    std::uint32_t quo = 0;
    for (int i = 31; i >= 0; --i) {
        rem = (rem << 1) | ((lo >> i) & 1u);
        if (rem >= divisor) {
            rem -= divisor;
            quo |= 1u << i;
        }
    }
    return {quo, std::uint32_t(rem)};
}

std::uint32_t isqrt64(std::uint64_t n)
{
    std::uint64_t root = 0, bit = std::uint64_t(1) << 62;
    while (bit > n)
        bit >>= 2;
    while (bit != 0) {
        if (n >= root + bit) {
            n -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
        bit >>= 2;
    }
    return std::uint32_t(root);
}

// Shift-and-add CORDIC in 64-bit fixed point. Vectors carry kGuard extra
// fraction bits; angles count 2^60 per turn (28 bits below the 32-bit input).
constexpr int kGuard = 24;
constexpr int kAngleShift = 28;
constexpr int kIterations = 44;

struct Tables {
    std::int64_t atan[kIterations];
    std::uint64_t invGain; // 1/K in Q0.63
};

const Tables &tables()
{
    static const Tables t = [] {
        Tables r{};
        const long double turn = std::ldexp(1.0L, 32 + kAngleShift);
        const long double pi = 3.141592653589793238462643383279502884L;
        long double gain = 1.0L;
        for (int i = 0; i < kIterations; ++i) {
            r.atan[i] = std::int64_t(std::llround(std::atan(std::ldexp(1.0L, -i)) / (2 * pi) * turn));
            gain *= std::sqrt(1.0L + std::ldexp(1.0L, -2 * i));
        }
        r.invGain = std::uint64_t(std::llround(std::ldexp(1.0L / gain, 63)));
        return r;
    }();
    return t;
}

std::int64_t roundShift(std::int64_t v, int shift)
{
    return (v + (std::int64_t(1) << (shift - 1))) >> shift; // floor(v / 2^s + 1/2)
}

CordicValue rotate(std::int32_t x0, std::int32_t y0, std::uint32_t angle)
{
    const Tables &t = tables();
    std::int64_t x = std::int64_t(x0), y = std::int64_t(y0);
    // Exact quarter turns first, leaving -45..+45 degrees for the iterations.
    std::uint32_t quarter = (angle + 0x20000000u) >> 30;
    for (std::uint32_t q = 0; q < quarter; ++q) {
        std::int64_t nx = -y;
        y = x;
        x = nx;
    }
    std::int64_t z = std::int64_t(std::int32_t(angle - (quarter << 30))) << kAngleShift;
    x = mulHighSigned(x << kGuard, t.invGain) << 1; // pre-scale by 1/K
    y = mulHighSigned(y << kGuard, t.invGain) << 1;
    for (int i = 0; i < kIterations; ++i) {
        const std::int64_t dx = x >> i, dy = y >> i;
        if (z >= 0) {
            x -= dy;
            y += dx;
            z -= t.atan[i];
        } else {
            x += dy;
            y -= dx;
            z += t.atan[i];
        }
    }
    return {std::uint32_t(roundShift(x, kGuard)), std::uint32_t(roundShift(y, kGuard))};
}

CordicValue vector(std::int32_t x0, std::int32_t y0)
{
    const Tables &t = tables();
    if (x0 == 0 && y0 == 0)
        return {0, 0};
    std::int64_t x = std::int64_t(x0) << kGuard, y = std::int64_t(y0) << kGuard;
    std::int64_t z = 0;
    if (x < 0) { // half a turn first
        x = -x;
        y = -y;
        z = std::int64_t(1) << (31 + kAngleShift);
    }
    for (int i = 0; i < kIterations; ++i) {
        const std::int64_t dx = x >> i, dy = y >> i;
        if (y < 0) {
            x -= dy;
            y += dx;
            z -= t.atan[i];
        } else {
            x += dy;
            y -= dx;
            z += t.atan[i];
        }
    }
    const std::int64_t length = roundShift(mulHighSigned(x, t.invGain) << 1, kGuard);
    const std::int64_t angle = roundShift(z, kAngleShift);
    return {std::uint32_t(std::min<std::int64_t>(length, 0xFFFFFFFF)), std::uint32_t(angle)};
}

// log2 in 5.27, rounded: the exponent, then fraction bits by squaring.
std::uint32_t log2Fixed(std::uint32_t d)
{
    if (d == 0)
        return 0;
    int e = 31;
    while (!(d >> e))
        --e;
    std::uint64_t m = std::uint64_t(d) << (63 - e); // Q1.63, 1.0 <= m < 2.0
    std::uint64_t frac = 0;
    for (int k = 0; k < 28; ++k) {                      // one bit beyond 27 for rounding
        const U128 sq = mul64(m, m);                    // Q2.126
        std::uint64_t v = (sq.hi << 1) | (sq.lo >> 63); // Q2.62 -> as Q1.63 when < 2
        frac <<= 1;
        if (sq.hi >> 63) { // >= 2.0: take the bit, halve
            frac |= 1;
            v = sq.hi;
        }
        m = v;
    }
    const std::uint64_t result = (std::uint64_t(e) << 27) + ((frac + 1) >> 1);
    return std::uint32_t(std::min<std::uint64_t>(result, 0xFFFFFFFFu));
}

// 2^(d / 2^27), rounded: products of 2^(2^-k) for the fraction's bits.
std::uint32_t exp2Fixed(std::uint32_t d)
{
    static const auto roots = [] {
        std::array<std::uint64_t, 28> r{};
        for (int k = 1; k <= 27; ++k)
            r[std::size_t(k)] = std::uint64_t(std::llround(std::ldexp(std::exp2(std::ldexp(1.0L, -k)), 62)));
        return r;
    }();
    const int e = int(d >> 27);
    std::uint64_t m = std::uint64_t(1) << 62; // Q2.62, 1.0 <= m < 2.0
    for (int k = 1; k <= 27; ++k) {
        if (d & (1u << (27 - k))) {
            const U128 p = mul64(m, roots[std::size_t(k)]); // Q4.124
            m = (p.hi << 2) | (p.lo >> 62);
            m += (p.lo >> 61) & 1; // round
        }
    }
    // value = m * 2^(e - 62)
    const int shift = 62 - e;
    const std::uint64_t result = (m + (std::uint64_t(1) << (shift - 1))) >> shift;
    return std::uint32_t(std::min<std::uint64_t>(result, 0xFFFFFFFFu));
}

} // namespace

CordicValue Cordic::compute(CordicOp op, std::uint32_t d, std::uint32_t s, std::uint32_t q)
{
    switch (op) {
    case CordicOp::Mul: {
        const std::uint64_t p = std::uint64_t(d) * s;
        return {std::uint32_t(p), std::uint32_t(p >> 32)};
    }
    case CordicOp::Div:
        return divide(q, d, s);
    case CordicOp::Frac:
        return divide(d, q, s);
    case CordicOp::Sqrt:
        return {isqrt64((std::uint64_t(s) << 32) | d), 0};
    case CordicOp::Rotate:
        return rotate(std::int32_t(d), std::int32_t(q), s);
    case CordicOp::Vector:
        return vector(std::int32_t(d), std::int32_t(s));
    case CordicOp::Log:
        return {log2Fixed(d), 0};
    case CordicOp::Exp:
        return {exp2Fixed(d), 0};
    }
    return {};
}

std::uint64_t Cordic::CogQueue::arrived(Clock now) const
{
    std::uint64_t n = issued;
    const std::uint64_t oldest = issued > std::uint64_t(kDepth) ? issued - kDepth : 0;
    while (n > oldest && at(n - 1).ready > now)
        --n;
    return n;
}

Clock Cordic::issue(int cog, CordicOp op, std::uint32_t d, std::uint32_t s, std::uint32_t q, Clock now)
{
    CogQueue &c = m_cogs[std::size_t(cog & 7)];
    const Clock handoff = now + Clock(slotWait(cog, now));
    // Results that arrived unread before this command are forgotten.
    const std::uint64_t n = c.arrived(handoff);
    if (n > 0)
        c.last = c.at(n - 1).value;
    c.readX = std::max(c.readX, n);
    c.readY = std::max(c.readY, n);
    Entry &e = c.at(c.issued);
    e.ready = handoff + kReadyDelay;
    e.value = compute(op, d, s, q);
    ++c.issued;
    return handoff + kIssueClocks;
}

Cordic::Read Cordic::get(int cog, bool y, Clock now)
{
    CogQueue &c = m_cogs[std::size_t(cog & 7)];
    std::uint64_t &cursor = y ? c.readY : c.readX;
    const std::uint64_t oldest = c.issued > std::uint64_t(kDepth) ? c.issued - kDepth : 0;
    cursor = std::max(cursor, oldest);
    const std::uint64_t n = c.arrived(now);
    Read r;
    if (n > 0)
        c.last = c.at(n - 1).value;
    if (cursor < n) { // the latest arrived one (earlier ones were overwritten)
        r.value = y ? c.last.y : c.last.x;
        r.done = now + 2;
        cursor = n;
    } else if (cursor < c.issued) { // wait for the oldest in flight
        const Entry &e = c.at(cursor);
        r.value = y ? e.value.y : e.value.x;
        r.done = e.ready + 2;
        ++cursor;
    } else {
        r.value = y ? c.last.y : c.last.x;
        r.done = now + 2;
        r.empty = true;
    }
    return r;
}

Clock Cordic::readyAt(int cog, Clock now) const
{
    const CogQueue &c = m_cogs[std::size_t(cog & 7)];
    const std::uint64_t n = c.arrived(now);
    return n < c.issued ? c.at(n).ready : kNever;
}

bool Cordic::pending(int cog, Clock now) const
{
    const CogQueue &c = m_cogs[std::size_t(cog & 7)];
    (void)now;
    return c.readX < c.issued || c.readY < c.issued;
}

Clock Cordic::nextEvent(Clock now) const
{
    Clock best = kNever;
    for (int cog = 0; cog < 8; ++cog)
        best = std::min(best, readyAt(cog, now));
    return best;
}

void Cordic::resetCog(int cog) { m_cogs[std::size_t(cog & 7)] = CogQueue{}; }

} // namespace kivo::sim
