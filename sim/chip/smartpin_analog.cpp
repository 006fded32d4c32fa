// Repository, DAC and ADC smart modes, and the delta-sigma bitstream model
// the ADC modes integrate.
#include "chip/smartpin.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace kivo::sim {

// ---- the delta-sigma model ----

namespace {
// v modulo 2^27 in [0, 2^27). The quotient by a power of two, its floor and
// the product are exact, and so is the difference, as with fmod, which took a
// fifth of a run with an ADC pin.
double wrap(double v) { return v - DeltaSigma::kWrap * std::floor(v * (1 / DeltaSigma::kWrap)); }
std::uint32_t floorWrap(double v) { return std::uint32_t(std::floor(v)) & 0x07FFFFFF; }
} // namespace

void DeltaSigma::advance(Clock at)
{
    if (at > m_t + 65536) {
        // A long stretch at one density: jump over it in one step. The sums'
        // low bits come out rounded, a constant offset that every difference
        // taken after the jump cancels; only the last clocks are summed exactly.
        double n = double(at - m_t - 4096), s1 = m_s1, s2 = m_s2, d = m_d;
        m_s3 = wrap(m_s3 + wrap(n * s2) + wrap(s1 * (n * (n + 1) / 2)) + wrap(d * (n * (n + 1) * (n + 2) / 6)));
        m_s2 = wrap(s2 + wrap(n * s1) + wrap(d * (n * (n + 1) / 2)));
        m_s1 = wrap(s1 + n * d);
        m_ones = std::fmod(m_ones + n * d, 4294967296.0);
        m_t = at - 4096;
    }
    while (m_t < at) {
        // Chunks short enough that the cubic terms stay exact in a double.
        double n = double(std::min<Clock>(at - m_t, 256));
        double s1 = m_s1, s2 = m_s2, d = m_d;
        m_s3 = wrap(m_s3 + n * s2 + s1 * n * (n + 1) / 2 + d * n * (n + 1) * (n + 2) / 6);
        m_s2 = wrap(s2 + n * s1 + d * n * (n + 1) / 2);
        m_s1 = wrap(s1 + n * d);
        m_ones += n * d;
        if (m_ones > 1e15)
            m_ones = std::fmod(m_ones, 4294967296.0);
        m_t += Clock(n);
    }
}

std::uint32_t DeltaSigma::acc1() const { return floorWrap(m_s1 + 0.5); }
std::uint32_t DeltaSigma::acc2() const { return floorWrap(m_s2); }
std::uint32_t DeltaSigma::acc3() const { return floorWrap(m_s3); }

std::uint32_t DeltaSigma::lastBits(int n) const
{
    std::uint32_t v = 0;
    for (int j = 0; j < n; ++j) {
        // Clock time()-j: a one where the integrator crossed a whole count.
        double hi = m_ones - j * m_d, lo = hi - m_d;
        bool one = std::floor(hi) != std::floor(lo);
        v |= std::uint32_t(one) << (n - 1 - j);
    }
    return v;
}

namespace {

// ---- %00001..%00011 without DAC_MODE: a long repository ----
class Repository : public SmartMode
{
public:
    void start(SmartPin &, Clock) override {}
    void wxpin(SmartPin &p, Clock at) override
    {
        if (!p.running)
            return;
        p.z = p.x;
        p.raiseIn(at);
    }
    void reset(SmartPin &, Clock) override {}
};

// ---- %00001..%00011 with DAC_MODE: noise, random dither, PWM dither ----
// The DAC level is the mean the dither produces (Y / 256 of the 8-bit steps);
// Z is the pin's own ADC (1x) accumulation over the last period.
class DacMode : public SmartMode
{
public:
    explicit DacMode(bool noise) : m_noise(noise) {}
    bool readsAnalog() const override { return true; }
    std::uint64_t watches(const SmartPin &p) const override { return std::uint64_t(1) << p.index; }

    void reset(SmartPin &p, Clock at) override
    {
        if (!m_noise)
            p.setDac((p.y & 0xFFFF) / 256.0, at);
        else
            p.setDac(127.5, at);
    }
    void start(SmartPin &p, Clock at) override
    {
        m_t0 = at;
        m_ds.restart(at, p.density(p.index));
        reset(p, at);
        plan(p);
    }
    void wypin(SmartPin &p, Clock at) override
    {
        if (p.running && period(p) == 1 && !m_noise)
            p.setDac((p.y & 0xFFFF) / 256.0, at);
        else if (!p.running)
            reset(p, at);
    }
    void wxpin(SmartPin &p, Clock) override
    {
        if (p.running)
            plan(p);
    }
    void analogChanged(SmartPin &p, Clock at) override { m_ds.change(at, p.density(p.index)); }
    void sync(SmartPin &p, Clock at) override
    {
        settle(p, at, true);
        plan(p);
    }
    void acknowledged(SmartPin &p, Clock at) override
    {
        settle(p, at, false);
        plan(p);
    }
    void run(SmartPin &p, Clock at) override
    {
        settle(p, at, true);
        plan(p);
    }

private:
    static std::uint64_t period(const SmartPin &p)
    {
        std::uint32_t x = p.x & 0xFFFF;
        return x == 0 ? 65536 : x;
    }
    void settle(SmartPin &p, Clock at, bool mayRaise)
    {
        std::uint64_t n = period(p);
        if (at < m_t0 + n)
            return;
        Clock last = m_t0 + (at - m_t0) / n * n;
        // Z: the ADC ones over the period that ended at `last`.
        if (last - n > m_ds.time())
            m_ds.advance(last - n);
        double before = m_ds.onesTotal();
        m_ds.advance(last);
        p.z = std::uint32_t(std::floor(m_ds.onesTotal()) - std::floor(before)) & 0xFFFF;
        m_t0 = last;
        if (!m_noise)
            p.setDac((p.y & 0xFFFF) / 256.0, at);
        if (mayRaise)
            p.raiseIn(at);
    }
    void plan(SmartPin &p) { p.schedule(p.in ? kNever : m_t0 + period(p)); }

    bool m_noise;
    Clock m_t0 = 0;
    DeltaSigma m_ds;
};

// ---- %11000 / %11001 ADC sample, filter, capture; %11010 scope ----
class Adc : public SmartMode
{
public:
    explicit Adc(bool external) : m_external(external) {}
    bool readsAnalog() const override { return !m_external; }
    bool usesInputs() const override { return m_external; }

    void reset(SmartPin &p, Clock) override
    {
        p.z = 0;
        m_ticks = 0;
    }
    void start(SmartPin &p, Clock at) override
    {
        m_mode = p.x >> 4 & 3;
        m_t0 = at;
        m_ticks = 0;
        m_ds.restart(m_external ? 0 : at, m_external ? 0.0 : p.densityA());
        m_hist[0] = m_hist[1] = m_hist[2] = 0;
        p.z = 0;
        plan(p, at);
    }
    void wxpin(SmartPin &p, Clock at) override
    {
        m_mode = p.x >> 4 & 3;
        if (p.running)
            plan(p, at);
    }
    void wypin(SmartPin &p, Clock at) override
    {
        if (p.running)
            plan(p, at);
    }
    void analogChanged(SmartPin &p, Clock at) override
    {
        if (m_external)
            return;
        settle(p, at, true);
        m_ds.change(at, p.densityA());
        plan(p, at);
    }
    void inputChanged(SmartPin &p, Clock at) override
    {
        // External ADC: A is sampled on each B rise.
        bool b = p.inputB();
        if (b && !m_lastB) {
            m_ds.change(m_ticks, p.inputA() ? 1.0 : 0.0);
            ++m_ticks;
            settle(p, at, true);
        }
        m_lastB = b;
    }
    void sync(SmartPin &p, Clock at) override
    {
        settle(p, at, true);
        if (m_mode == 3 && !m_external) {
            m_ds.advance(at);
            p.z = m_ds.lastBits(32);
        }
        plan(p, at);
    }
    void acknowledged(SmartPin &p, Clock at) override
    {
        settle(p, at, false);
        plan(p, at);
    }
    void run(SmartPin &p, Clock at) override
    {
        settle(p, at, true);
        plan(p, at);
    }

private:
    std::uint64_t period(const SmartPin &p) const
    {
        if (m_mode != 0 && (p.y & 0x3FFF) != 0)
            return p.y & 0x3FFF;
        return std::uint64_t(1) << (p.x & 15);
    }
    Clock now(Clock at) const { return m_external ? m_ticks : at; }

    // Processes the period ends up to `at` (in clocks, or in B rises for the
    // external mode), keeping the accumulators at the last three ends.
    void settle(SmartPin &p, Clock at, bool mayRaise)
    {
        std::uint64_t n = period(p);
        Clock t = now(at);
        if (t < m_t0 + n)
            return;
        std::uint64_t ends = (t - m_t0) / n;
        if (ends > 3) { // constant density since the last change: skip ahead
            m_t0 += (ends - 3) * n;
            ends = 3;
        }
        for (std::uint64_t i = 0; i < ends; ++i) {
            m_t0 += n;
            if (m_ds.time() < m_t0)
                m_ds.advance(m_t0);
            capture(p, n);
        }
        if (mayRaise)
            p.raiseIn(at);
    }

    void capture(SmartPin &p, std::uint64_t n)
    {
        std::uint32_t acc = m_mode == 2 ? m_ds.acc3() : m_ds.acc2();
        m_hist[2] = m_hist[1];
        m_hist[1] = m_hist[0];
        m_hist[0] = acc;
        switch (m_mode) {
        case 0: { // a complete SINC2 sample, n+1 bits
            std::uint32_t s = (m_hist[0] - 2 * m_hist[1] + m_hist[2]) & 0x07FFFFFF;
            int shift = std::max(0, std::countr_zero(n) - 1);
            p.z = s >> shift;
            break;
        }
        case 1:
        case 2: // one difference in the pin, the rest in software
            p.z = (m_hist[0] - m_hist[1]) & 0x07FFFFFF;
            break;
        default:
            p.z = m_ds.lastBits(32);
            break;
        }
    }

    void plan(SmartPin &p, Clock)
    {
        if (m_external || p.in) {
            p.schedule(kNever);
            return;
        }
        p.schedule(m_t0 + period(p));
    }

    bool m_external;
    std::uint32_t m_mode = 0;
    Clock m_t0 = 0, m_ticks = 0;
    bool m_lastB = false;
    std::uint32_t m_hist[3] = {};
    DeltaSigma m_ds;
};

// %11010: an 8-bit sample every clock with hysteretic triggering.
class Scope : public SmartMode
{
public:
    bool readsAnalog() const override { return true; }
    bool flag(const SmartPin &) const override { return m_armed; }

    void start(SmartPin &p, Clock at) override
    {
        m_armed = false;
        analogChanged(p, at);
    }
    void reset(SmartPin &, Clock) override { m_armed = false; }
    void wxpin(SmartPin &p, Clock at) override
    {
        if (p.running)
            analogChanged(p, at);
    }
    void analogChanged(SmartPin &p, Clock at) override
    {
        double d = p.densityA();
        std::uint32_t sample = std::uint32_t(std::clamp(std::lround(d * 256.0), 0l, 255l));
        p.z = sample;
        std::uint32_t a = p.x >> 2 & 63, b = p.x >> 10 & 63, s = sample >> 2;
        bool arm = a > b ? s >= a : s < a;
        bool fire = a > b ? s < b : s >= b;
        if (!m_armed && arm)
            m_armed = true;
        else if (m_armed && fire) {
            m_armed = false;
            p.raiseIn(at);
            if (arm)
                m_armed = true;
        }
    }

private:
    bool m_armed = false;
};

} // namespace

std::unique_ptr<SmartMode> makeAnalogMode(std::uint32_t sssss, std::uint32_t modeWord)
{
    if (sssss >= 1 && sssss <= 3) {
        if (!pinmode::dacMode(modeWord))
            return std::make_unique<Repository>();
        return std::make_unique<DacMode>(sssss == 1);
    }
    switch (sssss) {
    case 0x18:
        return std::make_unique<Adc>(false);
    case 0x19:
        return std::make_unique<Adc>(true);
    case 0x1A:
        return std::make_unique<Scope>();
    default:
        return nullptr;
    }
}

} // namespace kivo::sim
