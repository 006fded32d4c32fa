// The 64 pins: the cogs' DIR/OUT, the smart pins, the wire of each pin (the
// chip's drive against the devices' drives and loads) and the delivery of
// pin changes to devices. Everything is event-driven: the engine runs from
// one due clock to the next, never clock by clock.
#include "chip/pins.h"

#include "chip/device.h"
#include "chip/smartpin.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <memory>

namespace kivo::sim {

namespace {

constexpr double kVio = 3.3;
// WRPIN/WXPIN/WYPIN/AKPIN and RDPIN's acknowledge land two clocks after the
// instruction issues, so IN drops two clocks after an acknowledge.
constexpr Clock kPinWriteDelay = 2;
constexpr double kThreshold = kVio / 2;
constexpr double kFastOhms = 20.0;
constexpr double kStrongExternalOhms = 10.0;
constexpr double kAdcGio = 0.1; // ADC bitstream density with its input on GIO
constexpr double kAdcVio = 0.9; // and on VIO

// Drive strengths of the HHH/LLL fields: a resistance, a current source, or nothing.
struct Strength {
    double ohms; // 0: current source or float
    double amps; // current source, 0 for none
};
constexpr Strength kStrengths[8] = {{kFastOhms, 0}, {1500, 0}, {15000, 0}, {150000, 0},
                                    {0, 1e-3},      {0, 1e-4}, {0, 1e-5},  {0, 0}};
// Their conductances, and the current each passes from VIO into a 0 V wire.
constexpr std::array<double, 8> kStrengthG = [] {
    std::array<double, 8> g{};
    for (std::size_t i = 0; i < 8; ++i)
        g[i] = kStrengths[i].ohms > 0 ? 1.0 / kStrengths[i].ohms : 0.0;
    return g;
}();
constexpr std::array<double, 8> kStrengthGv = [] {
    std::array<double, 8> gv{};
    for (std::size_t i = 0; i < 8; ++i)
        gv[i] = kVio * kStrengthG[i];
    return gv;
}();

// DAC modes M[9:8]: source resistance and the open-circuit voltage of level 255.
struct DacKind {
    double ohms, peak;
};
constexpr DacKind kDacs[4] = {{990, 3.3}, {600, 2.0}, {123.75, 3.3}, {75, 2.0}};

int selectedPin(int pin, std::uint32_t sel)
{
    static constexpr int kOffset[8] = {0, 1, 2, 3, 0, -3, -2, -1};
    return (pin + kOffset[sel & 7]) & 63;
}

std::uint64_t bit(int pin) { return std::uint64_t(1) << pin; }

} // namespace

// ---------------------------------------------------------------------------

namespace {

using u128 = unsigned __int128;

// The sum over i in [0, n) of floor((a * i + b) / m), by the usual reduction
// (swap the roles of the axes until the slope is below one).
u128 floorSum(u128 n, u128 m, u128 a, u128 b)
{
    u128 sum = 0;
    for (;;) {
        if (a >= m) {
            sum += n * (n - 1) / 2 * (a / m);
            a %= m;
        }
        if (b >= m) {
            sum += n * (b / m);
            b %= m;
        }
        const u128 top = a * n + b;
        if (top < m)
            return sum;
        n = top / m;
        b = top % m;
        std::swap(m, a);
    }
}

constexpr u128 kHalfTurn = u128(1) << 31;

} // namespace

std::uint64_t PinTrain::half(Clock t) const
{
    const u128 k = t > t0 ? (t - t0) / period : 0;
    return std::uint64_t((z0 + k * y) >> 31);
}

Clock PinTrain::edge(std::uint64_t n) const
{
    const u128 need = u128(n) * kHalfTurn - z0; // the adds that reach n * 2^31
    return t0 + period * Clock((need + y - 1) / y);
}

u128 PinTrain::edgeSum(std::uint64_t first, std::uint64_t count) const
{
    if (count == 0)
        return 0;
    const u128 adds = floorSum(count, y, 2 * kHalfTurn, u128(first) * kHalfTurn - z0 + y - 1);
    return u128(count) * t0 + u128(period) * adds;
}

// ---------------------------------------------------------------------------

class PinEngine
{
public:
    PinEngine(Pins &owner, const TimeBase &time) : m_owner(owner), m_time(time)
    {
        for (int i = 0; i < 64; ++i) {
            m_sp[i].index = i;
            m_sp[i].engine = this;
        }
        // The four filters' reset defaults.
        m_filters[0] = {0, 0};
        m_filters[1] = {1, 5};
        m_filters[2] = {2, 19};
        m_filters[3] = {3, 22};
    }

    Pins &m_owner;
    const TimeBase &m_time;
    std::array<SmartPin, 64> m_sp;
    // The cogs' DIR/OUT twice: as the smart-pin cells take them (DIR resets a
    // smart pin, OUT feeds the input selectors) and, two clocks later, as the
    // pads drive them onto the wires.
    std::array<std::uint64_t, 8> m_cogDir{}, m_cogOut{}, m_padCogDir{}, m_padCogOut{};
    std::array<std::uint32_t, 8> m_cogDacs{};
    std::uint64_t m_dir = 0, m_out = 0, m_padDir = 0, m_padOut = 0;
    std::uint64_t m_smart = 0;   // pins with a smart mode set
    std::uint64_t m_plainIn = 0; // IN of the pins without a smart mode
    std::uint64_t m_flags = 0;   // IN flags of the smart pins
    std::uint64_t m_levels = 0;  // logic level of each wire
    std::array<double, 64> m_volts{};
    std::array<std::uint64_t, 8> m_dacPins{}; // per cog: the pins on its DAC channels
    std::uint64_t m_chipDriven = 0;

    struct Ext {
        const void *source;
        Pins::ExternalDrive drive;
    };
    std::array<std::vector<Ext>, 64> m_ext;
    // The devices' aggregate on each pin: conductance, conductance × volts, current.
    struct Load {
        double g = 0, gv = 0, amps = 0;
    };
    std::array<Load, 64> m_extLoad{};

    // Who depends on a pin's level: pins whose plain IN or smart mode reads it.
    std::array<std::uint64_t, 64> m_readers{};
    std::array<std::uint64_t, 64> m_analogReaders{};
    std::array<std::vector<int>, 64> m_watchers; // device indexes
    // Each device's next event as it last said; devices change theirs only
    // when called, or between the scheduler's calls (then all are re-read).
    std::vector<Clock> m_devNext;
    bool m_devStale = true;
    Device &device(int i) const { return *m_owner.devices()[std::size_t(i)]; }
    void refreshDevice(int i)
    {
        m_devNext[std::size_t(i)] = device(i).nextEvent();
        noteSchedule(m_devNext[std::size_t(i)]);
    }
    std::vector<int> m_active; // pins with a mode object

    struct Filter {
        int length, tap;
    };
    std::array<Filter, 4> m_filters{};
    // A pin whose inputs pass a filter: the raw and filtered A and B, and the
    // clock at which a raw level that differs will have filled the flip-flops.
    struct FilterState {
        bool rawA = false, outA = false, rawB = false, outB = false;
        Clock dueA = kNever, dueB = kNever;
    };
    std::array<FilterState, 64> m_filt{};
    std::uint64_t m_filtered = 0; // pins with FFF = 1xx

    // Cog operations that land after the pins' present clock, in clock order.
    struct Op {
        Clock at;
        // Outputs: both the cells' and the pads' DIR/OUT at once.
        enum Kind : std::uint8_t { Outputs, CellOutputs, PadOutputs, Wrpin, Wxpin, Wypin, Ack } kind;
        int index; // cog or pin
        std::uint64_t a, b;
    };
    std::vector<Op> m_ops;
    std::size_t m_opHead = 0;

    void submit(const Op &op)
    {
        if (op.at <= m_now && !m_busy && m_opHead == m_ops.size()) {
            apply(op);
            return;
        }
        auto it = std::upper_bound(m_ops.begin() + std::ptrdiff_t(m_opHead), m_ops.end(), op.at,
                                   [](Clock t, const Op &o) { return t < o.at; });
        m_ops.insert(it, op);
        noteSchedule(op.at);
        if (op.at <= m_now)
            advance(m_now);
    }
    void apply(const Op &op);
    void runOps(Clock t)
    {
        while (m_opHead < m_ops.size() && m_ops[m_opHead].at <= t) {
            Op op = m_ops[m_opHead++];
            apply(op);
        }
        if (m_opHead == m_ops.size()) {
            m_ops.clear();
            m_opHead = 0;
        } else if (m_opHead >= 1024 && 2 * m_opHead >= m_ops.size()) {
            // A cog that writes pins on every instruction keeps some ops
            // ahead of the pins: drop the done ones now and then.
            m_ops.erase(m_ops.begin(), m_ops.begin() + std::ptrdiff_t(m_opHead));
            m_opHead = 0;
        }
    }

    // Lazy producers outside the pins (the streamers) are brought up to a
    // clock before the pins act at it; not while one is catching up.
    std::function<void(Clock)> m_catchUp;
    bool m_catchingUp = false;

    // Cog writes as they are given (not as they land), for waiting cogs.
    std::function<void(std::uint64_t, Clock)> m_writeListener;
    std::array<std::uint64_t, 8> m_givenDir{}, m_givenOut{};
    void written(std::uint64_t pins, Clock at)
    {
        if (pins && m_writeListener)
            m_writeListener(pins, at);
    }
    void catchUp(Clock at)
    {
        if (!m_catchUp || m_catchingUp || m_busy)
            return;
        m_catchingUp = true;
        m_catchUp(at);
        m_catchingUp = false;
    }

    Clock m_now = 0;
    Clock m_ranTo = 0; // the pins' own events have run up to here (see ranTo)
    Clock m_due = kNever;
    bool m_dirty = true;
    bool m_busy = false;                        // inside the event loop or a delivery
    std::vector<std::pair<int, int>> m_pending; // device index, pin
    std::vector<std::function<void(int, std::uint32_t, int, Clock)>> m_txListeners;
    std::vector<std::function<void(int, double, Clock)>> m_voltListeners;
    std::array<bool, 4> m_filterSet{};
    std::uint64_t m_rng = 0x9E3779B97F4A7C15ull;

    // ---- time ----

    void recomputeDue()
    {
        Clock due = m_opHead < m_ops.size() ? m_ops[m_opHead].at : kNever;
        for (int p : m_active)
            due = std::min(due, m_sp[p].next);
        if (m_devStale) {
            m_devNext.resize(m_owner.devices().size());
            for (std::size_t i = 0; i < m_devNext.size(); ++i)
                m_devNext[i] = m_owner.devices()[i]->nextEvent();
            m_devStale = false;
        }
        for (Clock c : m_devNext)
            due = std::min(due, c);
        for (std::uint64_t m = m_filtered; m; m &= m - 1) {
            const FilterState &f = m_filt[std::countr_zero(m)];
            due = std::min({due, f.dueA, f.dueB});
        }
        m_due = due;
        m_dirty = false;
    }

    void advance(Clock to)
    {
        if (m_busy) // a device acting inside an event: it acts now
            return;
        if (to < m_now)
            to = m_now;
        if (!m_dirty && m_due > to) { // nothing due: only the clock moves
            m_now = m_ranTo = to;
            return;
        }
        runEvents(to);
    }
    void runEvents(Clock to)
    {
        m_busy = true;
        Clock lastT = kNever;
        int rounds = 0;
        for (;;) {
            if (m_dirty)
                recomputeDue();
            if (m_due > to)
                break;
            Clock t = std::max(m_due, m_now);
            // Something that keeps asking for the same clock must not hang the run.
            rounds = t == lastT ? rounds + 1 : 0;
            lastT = t;
            if (rounds > 100000)
                break;
            m_now = t;
            runOps(t);
            if (m_filtered)
                runFilters(t);
            for (std::size_t i = 0; i < m_active.size(); ++i) {
                SmartPin &p = m_sp[m_active[i]];
                if (p.next <= t && p.impl) {
                    p.next = kNever;
                    p.impl->run(p, t);
                }
            }
            m_ranTo = t;
            for (std::size_t i = 0; i < m_devNext.size(); ++i)
                if (m_devNext[i] <= t) {
                    device(int(i)).run(t);
                    m_devNext[i] = device(int(i)).nextEvent();
                }
            deliver();
            m_dirty = true;
        }
        m_now = m_ranTo = to;
        m_busy = false;
    }

    // ---- what reaches a waiting cog's pins ----

    // The pins reaching IN of `of` and the devices that may drive them
    // (those on them, and those with no pins, which may drive any), kept for
    // a few sets until who reads or drives what changes (m_shape).
    struct Reach {
        std::uint64_t of = 0, pins = 0;
        std::vector<int> devices;
        std::uint64_t shape = ~std::uint64_t(0);
    };
    std::array<Reach, 4> m_reach;
    std::size_t m_reachNext = 0;
    std::uint64_t m_shape = 0;

    const Reach &reach(std::uint64_t of)
    {
        for (const Reach &r : m_reach)
            if (r.of == of && r.shape == m_shape)
                return r;
        Reach &r = m_reach[m_reachNext++ % m_reach.size()];
        r.of = of;
        r.shape = m_shape;
        r.devices.clear();
        const auto &devices = m_owner.devices();
        std::vector<bool> on(devices.size());
        std::uint64_t s = of, done = 0;
        while (s & ~done) {
            const int q = std::countr_zero(s & ~done);
            done |= bit(q);
            const SmartPin &sp = m_sp[q];
            s |= selectorMask(q);
            if (sp.impl)
                s |= sp.impl->watches(sp);
            // An odd pin may output the even pin's output, or be led by its pair's mode.
            if ((q & 1) && (sp.impl || (pinmode::tt(sp.mode) & 2)))
                s |= bit(q - 1);
            for (int d : m_watchers[q])
                if (!on[std::size_t(d)]) {
                    on[std::size_t(d)] = true;
                    for (int p : devices[std::size_t(d)]->pins())
                        s |= bit(p & 63);
                }
        }
        for (std::size_t d = 0; d < devices.size(); ++d)
            if (on[d] || devices[d]->pins().empty())
                r.devices.push_back(int(d));
        r.pins = s;
        return r;
    }

    // The earliest clock anything reaching IN of `of` is due (queued cog
    // writes of any pin included).
    Clock dueFor(std::uint64_t of)
    {
        const Reach &r = reach(of);
        Clock due = m_opHead < m_ops.size() ? m_ops[m_opHead].at : kNever;
        for (std::uint64_t m = r.pins; m; m &= m - 1)
            due = std::min(due, m_sp[std::countr_zero(m)].next); // kNever without a mode
        if (m_devStale && !m_busy)
            recomputeDue();
        for (int d : r.devices)
            if (std::size_t(d) < m_devNext.size())
                due = std::min(due, m_devNext[std::size_t(d)]);
        for (std::uint64_t m = r.pins & m_filtered; m; m &= m - 1) {
            const FilterState &f = m_filt[std::countr_zero(m)];
            due = std::min({due, f.dueA, f.dueB});
        }
        return due;
    }

    void noteSchedule(Clock at)
    {
        if (at < m_due)
            m_due = at;
    }

    // ---- devices ----

    void notifyDevices(int pin)
    {
        for (int d : m_watchers[pin])
            m_pending.emplace_back(d, pin);
    }

    void deliver()
    {
        if (m_pending.empty())
            return;
        bool outer = !m_busy;
        m_busy = true;
        // A bound keeps two devices that answer each other for ever from hanging the run.
        for (std::size_t i = 0; i < m_pending.size() && i < 1000000; ++i) {
            auto [d, pin] = m_pending[i];
            device(d).pinChanged(pin, m_now);
            if (!m_devStale)
                refreshDevice(d);
        }
        m_pending.clear();
        if (outer)
            m_busy = false;
    }

    // ---- inputs ----

    // The clock at which a level present from `at` on has been shifted into
    // all of the filter's flip-flops (a sample each time CT's tap bit toggles).
    Clock filterDue(int pin, Clock at) const
    {
        static constexpr int kLength[4] = {2, 3, 5, 8};
        const Filter &f = m_filters[pinmode::filt(m_sp[pin].mode) & 3];
        Clock step = Clock(1) << f.tap;
        Clock first = (at + step - 1) / step * step;
        return first + Clock(kLength[f.length] - 1) * step;
    }

    // A filtered pin's raw inputs may have changed.
    void refilter(int pin, bool init = false)
    {
        FilterState &f = m_filt[pin];
        std::uint32_t m = m_sp[pin].mode;
        bool a = selected(pin, pinmode::aSel(m)), b = selected(pin, pinmode::bSel(m));
        if (init) {
            f = {a, a, b, b, kNever, kNever};
            return;
        }
        if (a != f.rawA) {
            f.rawA = a;
            f.dueA = a == f.outA ? kNever : filterDue(pin, m_now);
        }
        if (b != f.rawB) {
            f.rawB = b;
            f.dueB = b == f.outB ? kNever : filterDue(pin, m_now);
        }
        if (f.dueA != kNever || f.dueB != kNever)
            noteSchedule(std::min(f.dueA, f.dueB));
    }

    // Filter outputs that come due at `t`.
    void runFilters(Clock t)
    {
        for (std::uint64_t m = m_filtered; m; m &= m - 1) {
            int p = std::countr_zero(m);
            FilterState &f = m_filt[p];
            bool changed = false;
            if (f.dueA <= t) {
                f.outA = f.rawA;
                f.dueA = kNever;
                changed = true;
            }
            if (f.dueB <= t) {
                f.outB = f.rawB;
                f.dueB = kNever;
                changed = true;
            }
            if (!changed)
                continue;
            SmartPin &sp = m_sp[p];
            if (!sp.impl)
                updatePlainIn(p);
            else if (sp.running)
                sp.impl->inputChanged(sp, m_now);
        }
    }

    void filtersChanged()
    {
        for (std::uint64_t m = m_filtered; m; m &= m - 1) {
            FilterState &f = m_filt[std::countr_zero(m)];
            if (f.dueA != kNever)
                f.dueA = filterDue(std::countr_zero(m), m_now);
            if (f.dueB != kNever)
                f.dueB = filterDue(std::countr_zero(m), m_now);
        }
        m_dirty = true;
    }

    // A pin's read state: the wire level through the low-level input circuit.
    bool readState(int pin) const
    {
        std::uint32_t m = pinmode::low(m_sp[pin].mode);
        bool lvl = m_levels >> pin & 1;
        if ((m >> 12) == 0) {
            std::uint32_t kind = m >> 9; // 0..7
            if (kind == 6 || kind == 7)  // A > B comparator against the paired pin
                lvl = m_volts[pin] > m_volts[pin ^ 1];
            return lvl ^ bool(m >> 7 & 1);
        }
        if ((m >> 11) == 3) // level comparators: pin above the level in M[7:0]
            return m_volts[pin] > kVio * double(m & 0xFF) / 256.0;
        return lvl;
    }

    // The ones density of a pin's read state: an ADC-mode pin's delta-sigma
    // bitstream (GIO reads 10 %, VIO 90 %, the pin at 1x in between, the gains
    // around mid-supply), a DAC pin's ADC at 1x, else the logic level.
    double density(int pin) const
    {
        const std::uint32_t mode = m_sp[pin].mode;
        const std::uint32_t m = pinmode::low(mode);
        auto at1x = [](double v) { return std::clamp(kAdcGio + (kAdcVio - kAdcGio) * v / kVio, 0.0, 1.0); };
        if (pinmode::dacMode(mode))
            return at1x(m_volts[pin]);
        if (!pinmode::adcMode(mode))
            return readState(pin) ? 1.0 : 0.0;
        static constexpr double kGain[8] = {0, 0, 0, 1, 3.16, 10, 31.6, 100};
        switch (m >> 7 & 7) {
        case 0:
            return kAdcGio;
        case 1:
            return kAdcVio;
        case 2:
            return 0.5; // floating: the bias point
        default: {
            double g = kGain[m >> 7 & 7];
            double mid = (kAdcGio + kAdcVio) / 2;
            return std::clamp(mid + g * (kAdcVio - kAdcGio) * (m_volts[pin] - kVio / 2) / kVio, 0.0, 1.0);
        }
        }
    }

    double densityA(int pin) const
    {
        std::uint32_t sel = pinmode::aSel(m_sp[pin].mode);
        double d = (sel & 7) == 4 ? double(m_out >> pin & 1) : density(selectedPin(pin, sel));
        return (sel & 8) ? 1.0 - d : d;
    }

    bool selected(int pin, std::uint32_t sel) const
    {
        bool v = (sel & 7) == 4 ? bool(m_out >> pin & 1) : readState(selectedPin(pin, sel));
        return v ^ bool(sel & 8);
    }

    bool inputA(int pin) const
    {
        std::uint32_t m = m_sp[pin].mode;
        bool a = selected(pin, pinmode::aSel(m));
        switch (pinmode::filt(m)) {
        case 0:
            return a;
        case 1:
            return a && selected(pin, pinmode::bSel(m));
        case 2:
            return a || selected(pin, pinmode::bSel(m));
        case 3:
            return a != selected(pin, pinmode::bSel(m));
        default:
            return m_filt[pin].outA;
        }
    }

    bool inputB(int pin) const
    {
        std::uint32_t m = m_sp[pin].mode;
        if (pinmode::filt(m) >= 4)
            return m_filt[pin].outB;
        return selected(pin, pinmode::bSel(m));
    }

    std::uint64_t selectorMask(int pin) const
    {
        std::uint32_t m = m_sp[pin].mode;
        std::uint64_t mask = bit(selectedPin(pin, pinmode::aSel(m)));
        std::uint32_t f = pinmode::filt(m);
        if (f != 0 || m_sp[pin].impl)
            mask |= bit(selectedPin(pin, pinmode::bSel(m)));
        std::uint32_t low = pinmode::low(m);
        if ((low >> 12) == 0 && ((low >> 9) == 6 || (low >> 9) == 7))
            mask |= bit(pin ^ 1);
        return mask;
    }

    void rebuildReaders()
    {
        ++m_shape;
        m_readers.fill(0);
        m_analogReaders.fill(0);
        for (int p = 0; p < 64; ++p) {
            SmartPin &sp = m_sp[p];
            std::uint64_t mask = 0;
            if (!sp.impl)
                mask = selectorMask(p);
            else if (sp.impl->usesInputs())
                mask = sp.impl->watches(sp);
            for (std::uint64_t m = mask; m; m &= m - 1)
                m_readers[std::countr_zero(m)] |= bit(p);
            if (sp.impl && sp.impl->readsAnalog()) {
                for (std::uint64_t m = sp.impl->watches(sp); m; m &= m - 1)
                    m_analogReaders[std::countr_zero(m)] |= bit(p);
            }
        }
    }

    void updatePlainIn(int pin)
    {
        if (m_sp[pin].impl)
            return;
        bool v = inputA(pin);
        m_plainIn = (m_plainIn & ~bit(pin)) | (std::uint64_t(v) << pin);
    }

    // A pin's level (or the OUT a selector reads) changed: tell its readers.
    void levelChanged(int pin)
    {
        for (std::uint64_t m = m_readers[pin]; m; m &= m - 1) {
            int r = std::countr_zero(m);
            SmartPin &sp = m_sp[r];
            if (m_filtered >> r & 1)
                refilter(r);
            else if (!sp.impl)
                updatePlainIn(r);
            else if (sp.running)
                sp.impl->inputChanged(sp, m_now);
        }
    }

    // ---- the wire ----

    bool otherOut(int pin)
    {
        if (pin & 1)
            return !outputValue(pin - 1, false);
        return nextRandom() & 1;
    }

    // The digital value the pin's output stage is given (before drive strengths).
    bool outputValue(int pin, bool allowOther = true)
    {
        const SmartPin &sp = m_sp[pin];
        std::uint32_t tt = pinmode::tt(sp.mode);
        bool v;
        if ((tt & 2) && allowOther)
            v = otherOut(pin);
        else if (sp.impl && sp.impl->drivesOutput())
            v = sp.out;
        else
            v = m_padOut >> pin & 1;
        std::uint32_t low = pinmode::low(sp.mode);
        if ((low >> 12) == 0 || (low >> 10) == 4) // O inverts the output
            v ^= bool(low >> 6 & 1);
        return v;
    }

    double dacLevel(int pin)
    {
        const SmartPin &sp = m_sp[pin];
        std::uint32_t low = pinmode::low(sp.mode);
        std::uint32_t s = pinmode::smart(sp.mode);
        std::uint32_t tt = pinmode::tt(sp.mode);
        if (s >= 1 && s <= 3)
            return sp.dac < 0 ? double(low & 0xFF) : sp.dac;
        bool bitDac;
        if (s == 0) {
            if (tt == 0)
                return double(low & 0xFF);
            if (tt == 1)
                return double(m_cogDacs[low & 7] >> (8 * (pin & 3)) & 0xFF);
            bitDac = tt == 2 ? bool(m_padOut >> pin & 1) : otherOut(pin);
        } else {
            bitDac =
                (tt & 2) ? otherOut(pin) : (sp.impl && sp.impl->drivesOutput() ? sp.out : bool(m_padOut >> pin & 1));
        }
        std::uint32_t nib = bitDac ? (low >> 4 & 15) : (low & 15);
        return double(nib * 17);
    }

    bool outputEnabled(int pin) const
    {
        const SmartPin &sp = m_sp[pin];
        if (pinmode::smart(sp.mode) != 0)
            return (pinmode::tt(sp.mode) & 1) && !sp.floating;
        return m_padDir >> pin & 1;
    }

    Load chipLoad(int pin)
    {
        Load l;
        if (!outputEnabled(pin))
            return l;
        std::uint32_t low = pinmode::low(m_sp[pin].mode);
        if (pinmode::dacMode(m_sp[pin].mode)) {
            const DacKind &k = kDacs[low >> 8 & 3];
            double v = k.peak * dacLevel(pin) / 255.0;
            l.g = 1.0 / k.ohms;
            l.gv = v * l.g;
            return l;
        }
        bool v = outputValue(pin);
        std::uint32_t code = v ? (low >> 3 & 7) : (low & 7);
        if ((low >> 11) == 3) // level comparator variants drive through 1.5 kΩ
            code = 1;
        if (const SmartPin &sp = m_sp[pin]; sp.impl && sp.impl->drivesOutput()) {
            int s = sp.impl->driveStrength(sp, v);
            if (s >= 0)
                code = std::uint32_t(s & 7);
        }
        const Strength &s = kStrengths[code];
        if (s.ohms > 0) {
            l.g = kStrengthG[code];
            l.gv = v ? kStrengthGv[code] : 0;
        } else {
            l.amps = v ? s.amps : -s.amps;
        }
        return l;
    }

    void analogChanged(int pin)
    {
        for (std::uint64_t m = m_analogReaders[pin]; m; m &= m - 1) {
            SmartPin &sp = m_sp[std::countr_zero(m)];
            if (sp.running)
                sp.impl->analogChanged(sp, m_now);
        }
    }

    // A DAC pin (TT = %01) on a cog's channel: chipLoad's result, straight
    // from the channel's byte.
    Load cogDacLoad(int pin) const
    {
        if (!(m_padDir >> pin & 1))
            return {};
        const std::uint32_t low = pinmode::low(m_sp[pin].mode);
        return cogDacLoad(pin, m_cogDacs[low & 7] >> (8 * (pin & 3)) & 0xFF);
    }
    // The same for a given level, the pad driving.
    Load cogDacLoad(int pin, std::uint32_t level) const
    {
        Load l;
        const DacKind &k = kDacs[pinmode::low(m_sp[pin].mode) >> 8 & 3];
        const double v = k.peak * double(level) / 255.0;
        l.g = 1.0 / k.ohms;
        l.gv = v * l.g;
        return l;
    }

    // A cog DAC pin's wire solved for all 256 levels, so that a pixel run
    // does not solve the same wire again for every change. Solved by
    // wireVolts itself (the same volts to the last bit) and again after the
    // pin's mode (its DAC) or the devices' load on it changes.
    std::array<std::unique_ptr<std::array<double, 256>>, 64> m_dacWires;
    std::uint64_t m_dacSolved = 0; // pins whose table holds
    void unsolve(int pin) { m_dacSolved &= ~bit(pin); }
    // Only for a pin whose pad drives and that has no smart mode (nothing
    // but the DAC and the devices on the wire).
    double cogDacVolts(int pin, std::uint32_t level)
    {
        if (!(m_dacSolved >> pin & 1)) [[unlikely]]
            solveDacWire(pin);
        return (*m_dacWires[std::size_t(pin)])[level];
    }
    void solveDacWire(int pin)
    {
        auto &w = m_dacWires[std::size_t(pin)];
        if (!w)
            w = std::make_unique<std::array<double, 256>>();
        for (std::uint32_t l = 0; l < 256; ++l)
            (*w)[l] = wireVolts(pin, cogDacLoad(pin, l));
        m_dacSolved |= bit(pin);
    }

    // The wire's voltage with the chip's drive `c` and the devices' loads.
    double wireVolts(int pin, const Load &c) const
    {
        const Load &e = m_extLoad[pin];
        double g = c.g + e.g, gv = c.gv + e.gv, amps = c.amps + e.amps;
        if (const SmartPin &sp = m_sp[pin]; sp.resOhms > 0 && sp.impl) {
            g += 1.0 / sp.resOhms;
            gv += sp.resUp ? kVio / sp.resOhms : 0;
        }
        double v;
        if (g > 0)
            v = (gv + amps) / g;
        else if (amps > 0)
            v = kVio;
        else if (amps < 0)
            v = 0;
        else
            v = m_volts[pin]; // floating: the pin keeps its charge
        return std::clamp(v, 0.0, kVio);
    }

    void rewire(int pin) { rewire(pin, chipLoad(pin)); }
    // The wire with the chip's load `c` against the devices'.
    void rewire(int pin, const Load &c) { settle(pin, wireVolts(pin, c), c.g > 0 || c.amps != 0); }
    // The wire at `v`, the chip driving it or not: tells who sees a change.
    void settle(int pin, double v, bool driven)
    {
        bool drivenChanged = driven != bool(m_chipDriven >> pin & 1);
        m_chipDriven = (m_chipDriven & ~bit(pin)) | (std::uint64_t(driven) << pin);
        bool lvl = v > kThreshold;
        bool was = m_levels >> pin & 1;
        bool voltsChanged = v != m_volts[pin];
        m_volts[pin] = v;
        if (lvl != was) {
            m_levels ^= bit(pin);
            levelChanged(pin);
        }
        if (voltsChanged || lvl != was) {
            analogChanged(pin);
            for (auto &l : m_voltListeners)
                l(pin, v, m_now);
        }
        if (voltsChanged || lvl != was || drivenChanged)
            notifyDevices(pin);
    }

    void rewireWithOther(int pin)
    {
        rewire(pin);
        // An odd pin may output the even pin's inverted output.
        if (!(pin & 1) && (pinmode::tt(m_sp[pin + 1].mode) & 2))
            rewire(pin + 1);
    }

    void recomputeExt(int pin)
    {
        Load l;
        for (const Ext &x : m_ext[pin]) {
            const Pins::ExternalDrive &d = x.drive;
            double ohms = d.ohms > 0 ? d.ohms : kStrongExternalOhms;
            switch (d.kind) {
            case Pins::ExternalDrive::None:
                break;
            case Pins::ExternalDrive::Low:
            case Pins::ExternalDrive::PullDown:
                l.g += 1.0 / ohms;
                break;
            case Pins::ExternalDrive::High:
            case Pins::ExternalDrive::PullUp:
                l.g += 1.0 / ohms;
                l.gv += kVio / ohms;
                break;
            case Pins::ExternalDrive::Voltage:
                l.g += 1.0 / ohms;
                l.gv += d.volts / ohms;
                break;
            }
        }
        m_extLoad[pin] = l;
        unsolve(pin);
    }

    // ---- smart pins ----

    void rebuildActive()
    {
        m_active.clear();
        for (int p = 0; p < 64; ++p)
            if (m_sp[p].impl)
                m_active.push_back(p);
        m_dirty = true;
    }

    void ack(SmartPin &sp)
    {
        if (sp.in) {
            sp.in = false;
            m_flags &= ~bit(sp.index);
        }
        if (sp.impl && sp.running)
            sp.impl->acknowledged(sp, m_now);
    }

    // Who observes a pin may have changed: let running modes plan again.
    void resyncAll()
    {
        for (int p : m_active) {
            SmartPin &sp = m_sp[p];
            if (sp.running)
                sp.impl->sync(sp, m_now);
        }
    }

    bool observed(int pin) const { return (!m_watchers[pin].empty() && !(m_trains >> pin & 1)) || m_readers[pin] != 0; }

    // ---- trains: a periodic output its devices measure from its description ----

    std::uint64_t m_trains = 0; // pins whose devices hold a train

    // The pin's output may be handed to its devices as a train: a mode that
    // describes one drives it alone (no other pin follows it, no pin or
    // voltage listener reads it), every device on it takes trains, and the
    // wire's level follows the mode's output.
    bool trainable(int pin)
    {
        SmartPin &sp = m_sp[pin];
        PinTrain t;
        if (!sp.impl || !sp.impl->train(sp, t) || m_readers[pin] || m_analogReaders[pin] || m_watchers[pin].empty() ||
            !m_voltListeners.empty() || pinmode::tt(sp.mode) != 1 || sp.floating || pinmode::dacMode(sp.mode))
            return false;
        if (!(pin & 1) && (pinmode::tt(m_sp[pin + 1].mode) & 2))
            return false;
        for (int d : m_watchers[pin])
            if (!device(d).takesTrains())
                return false;
        return (wireVolts(pin, chipLoadFor(pin, false)) > kThreshold) !=
               (wireVolts(pin, chipLoadFor(pin, true)) > kThreshold);
    }

    // The last clock whose pin events have run: now, or the one before while
    // the cogs' writes due now apply (the pins' own events at now follow them).
    Clock ranTo() const { return m_ranTo < m_now ? m_now - 1 : m_now; }

    // Catches a trained pin's mode up to its last edge up to `end`, where
    // edge by edge it would stand (its state and the wire then match the
    // train's at `end`). Returns the clock the train is exact from.
    Clock toLastEdge(int pin, Clock end)
    {
        SmartPin &sp = m_sp[pin];
        PinTrain t;
        if (!sp.impl || !sp.running || !sp.impl->train(sp, t))
            return end;
        const std::uint64_t n = t.half(end);
        sp.impl->sync(sp, n > t.half(t.t0) ? t.edge(n) : t.t0);
        deliver();
        return std::max(end, t.t0); // a write at now may have caught it up further
    }

    // Before anything changes the pin's set-up, load or watchers: its devices
    // take the train's edges so far and its edges from here on.
    void endTrain(int pin)
    {
        if (!(m_trains >> pin & 1))
            return;
        const Clock end = ranTo();
        m_trains &= ~bit(pin); // first, so that the mode plans its edges again
        toLastEdge(pin, end);
        for (int d : m_watchers[pin])
            device(d).pinTrain(pin, nullptr, end + 1);
        m_dirty = true;
    }

    // After such a change: hands out a train if the pin now has one.
    void startTrain(int pin)
    {
        if ((m_trains >> pin & 1) || !trainable(pin))
            return;
        m_trains |= bit(pin); // first, so that the mode plans only what IN needs
        const Clock from = toLastEdge(pin, ranTo());
        SmartPin &sp = m_sp[pin];
        PinTrain t;
        sp.impl->train(sp, t);
        t.inverted = wireVolts(pin, chipLoadFor(pin, false)) > kThreshold;
        for (int d : m_watchers[pin])
            device(d).pinTrain(pin, &t, from);
        m_dirty = true;
    }

    void endAllTrains()
    {
        for (std::uint64_t m = m_trains; m; m &= m - 1)
            endTrain(std::countr_zero(m));
    }
    void startAllTrains()
    {
        for (int p : m_active)
            startTrain(p);
    }

    Load chipLoadFor(int pin, bool out)
    {
        SmartPin &sp = m_sp[pin];
        bool was = sp.out;
        sp.out = out;
        Load l = chipLoad(pin);
        sp.out = was;
        return l;
    }

    void dirChanged(int pin, bool high)
    {
        SmartPin &sp = m_sp[pin];
        if (!sp.impl)
            return;
        if (high && !sp.running) {
            sp.running = true;
            sp.impl->start(sp, m_now);
        } else if (!high && sp.running) {
            sp.running = false;
            sp.next = kNever;
            sp.impl->reset(sp, m_now);
            ack(sp);
        }
        notifyDevices(pin);
    }

    std::uint32_t nextRandom()
    {
        // xorshift64*: noise for dithers and OTHER on even pins.
        m_rng ^= m_rng >> 12;
        m_rng ^= m_rng << 25;
        m_rng ^= m_rng >> 27;
        return std::uint32_t((m_rng * 0x2545F4914F6CDD1Dull) >> 32);
    }
};

// ---------------------------------------------------------------------------
// SmartPin helpers for the modes.

void SmartPin::raiseIn(Clock)
{
    if (!in) {
        in = true;
        engine->m_flags |= std::uint64_t(1) << index;
    }
}
void SmartPin::clearIn(Clock) { engine->ack(*this); }
void SmartPin::schedule(Clock at)
{
    next = at;
    engine->noteSchedule(at);
}
void SmartPin::setOut(bool level, Clock)
{
    if (out == level)
        return;
    out = level;
    if (impl && impl->drivesOutput())
        engine->rewireWithOther(index);
}
void SmartPin::setDac(double level, Clock)
{
    if (dac == level)
        return;
    dac = level;
    engine->rewire(index);
}
void SmartPin::setFloating(bool f, Clock)
{
    if (floating == f)
        return;
    floating = f;
    engine->rewireWithOther(index);
}
void SmartPin::redrive(Clock) { engine->rewireWithOther(index); }
void SmartPin::setResistor(bool up, double ohms, Clock)
{
    if (resUp == up && resOhms == ohms)
        return;
    resUp = up;
    resOhms = ohms;
    engine->rewire(index);
}
bool SmartPin::inputA() const { return engine->inputA(index); }
bool SmartPin::inputB() const { return engine->inputB(index); }
bool SmartPin::level(int pin) const { return engine->m_levels >> (pin & 63) & 1; }
double SmartPin::volts(int pin) const { return engine->m_volts[pin & 63]; }
double SmartPin::densityA() const { return engine->densityA(index); }
double SmartPin::density(int pin) const { return engine->density(pin & 63); }
bool SmartPin::analogA() const
{
    std::uint32_t sel = pinmode::aSel(mode);
    return (sel & 7) != 4 && pinmode::adcMode(engine->m_sp[selectedPin(index, sel)].mode);
}
bool SmartPin::observed() const { return engine->observed(index); }
bool SmartPin::cogOut() const { return engine->m_out >> index & 1; }
bool SmartPin::cogDir() const { return engine->m_dir >> index & 1; }
SmartPin &SmartPin::pin(int n) const { return engine->m_sp[n & 63]; }
std::uint32_t SmartPin::random() { return engine->nextRandom(); }

std::uint64_t SmartMode::watches(const SmartPin &p) const
{
    std::uint64_t mask = std::uint64_t(1) << selectedPin(p.index, pinmode::aSel(p.mode));
    mask |= std::uint64_t(1) << selectedPin(p.index, pinmode::bSel(p.mode));
    return mask;
}

// ---------------------------------------------------------------------------

struct Pins::Impl {
    Impl(Pins &owner, const TimeBase &time) : e(owner, time) {}
    PinEngine e;
};

Pins::Pins(const TimeBase &time) : m_time(time), m_impl(std::make_unique<Impl>(*this, time))
{
    for (int p = 0; p < 64; ++p)
        m_impl->e.updatePlainIn(p);
    m_impl->e.rebuildReaders();
}
Pins::~Pins() = default;

static void applyOutputs(PinEngine &e, int cog, std::uint64_t dir, std::uint64_t out, bool cell, bool pad)
{
    if (cell) {
        e.m_cogDir[cog & 7] = dir;
        e.m_cogOut[cog & 7] = out;
    }
    if (pad) {
        e.m_padCogDir[cog & 7] = dir;
        e.m_padCogOut[cog & 7] = out;
    }
    std::uint64_t d = 0, o = 0, pd = 0, po = 0;
    for (int c = 0; c < 8; ++c) {
        d |= e.m_cogDir[c];
        o |= e.m_cogOut[c];
        pd |= e.m_padCogDir[c];
        po |= e.m_padCogOut[c];
    }
    std::uint64_t dirChg = d ^ e.m_dir, outChg = o ^ e.m_out, padChg = (pd ^ e.m_padDir) | (po ^ e.m_padOut);
    if (!(dirChg | outChg | padChg))
        return;
    for (std::uint64_t m = (dirChg | padChg) & e.m_trains; m; m &= m - 1)
        e.endTrain(std::countr_zero(m)); // a smart pin is reset, or its pad stops driving
    e.m_dir = d;
    e.m_out = o;
    e.m_padDir = pd;
    e.m_padOut = po;
    for (std::uint64_t m = dirChg | outChg | padChg; m; m &= m - 1) {
        int p = std::countr_zero(m);
        if (dirChg >> p & 1)
            e.dirChanged(p, d >> p & 1);
        e.rewireWithOther(p);
        if (outChg >> p & 1)
            e.levelChanged(p); // selectors that read OUT
    }
    e.deliver();
    for (std::uint64_t m = dirChg | padChg; m; m &= m - 1)
        e.startTrain(std::countr_zero(m)); // a smart pin started, or its pad drives now
}

void Pins::setCogDacs(int cog, std::uint32_t dacs, Clock at)
{
    const DacStep step{at, dacs};
    setCogDacs(cog, &step, 1);
}

void Pins::setCogDacs(int cog, const DacStep *steps, std::size_t count)
{
    PinEngine &e = m_impl->e;
    cog &= 7;
    // The write listener is told a change's pins only when they are not
    // among those it was told earlier in the run: a waiting cog wakes at the
    // first write that reaches its pins, and nothing a cog waits on can
    // change while the streamer runs, unless the pins run events between
    // two changes (a WRPIN landing may change what reaches what).
    std::uint64_t told = 0;
    std::uint64_t shape = e.m_shape;
    for (std::size_t i = 0; i < count; ++i) {
        const Clock at = steps[i].at;
        const std::uint32_t dacs = steps[i].dacs;
        e.catchUp(at);
        if (e.m_dirty || e.m_due <= at) { // pin writes due first (a channel pin may just be set up)
            e.advance(at);
            told = 0;
        }
        if (e.m_shape != shape) { // who reads which pin changed (another streamer's catch-up)
            shape = e.m_shape;
            told = 0;
        }
        const std::uint32_t changed = e.m_cogDacs[cog] ^ dacs;
        e.m_cogDacs[cog] = dacs;
        const std::uint64_t pins = e.m_dacPins[cog];
        if (!pins || !changed)
            continue;
        // Nothing is due at `at` any more: this only brings the pins' clock
        // to it when the events above did not (delivered changes carry it).
        e.advance(at);
        std::uint64_t moved = 0;
        for (std::uint64_t m = pins; m; m &= m - 1) {
            const int p = std::countr_zero(m);
            const int shift = 8 * (p & 3);
            if (!(changed >> shift & 0xFF)) // only the pins whose channel byte moved
                continue;
            if ((e.m_padDir >> p & 1) && !e.m_sp[p].impl)
                e.settle(p, e.cogDacVolts(p, dacs >> shift & 0xFF), true);
            else
                e.rewire(p, e.cogDacLoad(p));
            moved |= bit(p);
        }
        e.deliver();
        if (moved & ~told) {
            told |= moved;
            e.written(moved, at);
        }
    }
}

static void applyWrpin(PinEngine &e, int pin, std::uint32_t mode)
{
    e.endAllTrains(); // who reads which pin may change
    pin &= 63;
    SmartPin &sp = e.m_sp[pin];
    std::uint32_t oldMode = sp.mode;
    std::uint32_t s = pinmode::smart(mode);
    bool sameKind =
        sp.impl && pinmode::smart(oldMode) == s && (s > 3 || pinmode::dacMode(oldMode) == pinmode::dacMode(mode));
    sp.mode = mode;
    e.unsolve(pin);
    e.ack(sp);
    if (!sameKind) {
        sp.impl.reset();
        sp.running = false;
        sp.next = kNever;
        sp.out = false;
        sp.floating = false;
        sp.resOhms = 0;
        sp.dac = -1;
        sp.z = 0;
        if (s != 0) {
            sp.impl = makeSmartMode(s, mode);
            e.m_smart |= std::uint64_t(1) << pin;
            if (e.m_dir >> pin & 1) {
                sp.running = true;
                sp.impl->start(sp, e.m_now);
            } else {
                sp.impl->reset(sp, e.m_now);
            }
        } else {
            e.m_smart &= ~(std::uint64_t(1) << pin);
        }
        e.rebuildActive();
    }
    // The cogs' DAC channels reach pins in plain DAC mode with TT = %01.
    for (auto &m : e.m_dacPins)
        m &= ~(std::uint64_t(1) << pin);
    if (s == 0 && pinmode::dacMode(mode) && pinmode::tt(mode) == 1)
        e.m_dacPins[pinmode::low(mode) & 7] |= std::uint64_t(1) << pin;
    if (pinmode::filt(mode) >= 4) {
        e.m_filtered |= std::uint64_t(1) << pin;
        e.refilter(pin, true);
    } else {
        e.m_filtered &= ~(std::uint64_t(1) << pin);
    }
    e.rebuildReaders();
    e.resyncAll();
    e.updatePlainIn(pin);
    e.rewireWithOther(pin);
    e.levelChanged(pin);
    e.analogChanged(pin); // an ADC input or gain switch changes what readers see
    e.notifyDevices(pin);
    e.deliver();
    e.startAllTrains();
}

static void applyWxpin(PinEngine &e, int pin, std::uint32_t x)
{
    e.endTrain(pin & 63);
    SmartPin &sp = e.m_sp[pin & 63];
    if (sp.impl && sp.running)
        sp.impl->sync(sp, e.m_now); // what ran so far ran with the old X
    sp.x = x;
    e.ack(sp);
    if (sp.impl)
        sp.impl->wxpin(sp, e.m_now);
    e.notifyDevices(pin & 63);
    e.deliver();
    e.startTrain(pin & 63);
}

static void applyWypin(PinEngine &e, int pin, std::uint32_t y)
{
    e.endTrain(pin & 63);
    SmartPin &sp = e.m_sp[pin & 63];
    if (sp.impl && sp.running)
        sp.impl->sync(sp, e.m_now);
    sp.y = y;
    e.ack(sp);
    if (sp.impl)
        sp.impl->wypin(sp, e.m_now);
    e.deliver();
    e.startTrain(pin & 63);
}

static void applyAck(PinEngine &e, int pin)
{
    e.ack(e.m_sp[pin & 63]);
    e.deliver();
}

void PinEngine::apply(const Op &op)
{
    switch (op.kind) {
    case Op::Outputs:
    case Op::CellOutputs:
    case Op::PadOutputs:
        applyOutputs(*this, op.index, op.a, op.b, op.kind != Op::PadOutputs, op.kind != Op::CellOutputs);
        break;
    case Op::Wrpin:
        applyWrpin(*this, op.index, std::uint32_t(op.a));
        break;
    case Op::Wxpin:
        applyWxpin(*this, op.index, std::uint32_t(op.a));
        break;
    case Op::Wypin:
        applyWypin(*this, op.index, std::uint32_t(op.a));
        break;
    case Op::Ack:
        applyAck(*this, op.index);
        break;
    }
}

void Pins::setCogOutputs(int cog, std::uint64_t dir, std::uint64_t out, Clock at, Clock padAt)
{
    PinEngine &e = m_impl->e;
    e.catchUp(at);
    if (padAt == at) {
        e.submit({at, PinEngine::Op::Outputs, cog & 7, dir, out});
    } else {
        e.submit({at, PinEngine::Op::CellOutputs, cog & 7, dir, out});
        e.submit({padAt, PinEngine::Op::PadOutputs, cog & 7, dir, out});
    }
    const std::uint64_t moved = (dir ^ e.m_givenDir[cog & 7]) | (out ^ e.m_givenOut[cog & 7]);
    e.m_givenDir[cog & 7] = dir;
    e.m_givenOut[cog & 7] = out;
    e.written(moved, at);
}
// A cog's smart-pin write reaches the pin kPinWriteDelay clocks later; the
// cogs waiting on that pin are told now.
static void smartWrite(PinEngine &e, PinEngine::Op::Kind op, int pin, std::uint32_t value, Clock at)
{
    e.catchUp(at);
    e.submit({at + kPinWriteDelay, op, pin & 63, value, 0});
    e.written(bit(pin & 63), at);
}
void Pins::wrpin(int pin, std::uint32_t mode, Clock at) { smartWrite(m_impl->e, PinEngine::Op::Wrpin, pin, mode, at); }
void Pins::wxpin(int pin, std::uint32_t x, Clock at) { smartWrite(m_impl->e, PinEngine::Op::Wxpin, pin, x, at); }
void Pins::wypin(int pin, std::uint32_t y, Clock at) { smartWrite(m_impl->e, PinEngine::Op::Wypin, pin, y, at); }
void Pins::akpin(int pin, Clock at) { smartWrite(m_impl->e, PinEngine::Op::Ack, pin, 0, at); }

PinRead Pins::rdpin(int pin, Clock at)
{
    m_impl->e.catchUp(at);
    PinEngine &e = m_impl->e;
    e.advance(at);
    SmartPin &sp = e.m_sp[pin & 63];
    PinRead r;
    if (sp.impl) {
        sp.impl->sync(sp, e.m_now);
        r = {sp.z, sp.impl->flag(sp)};
    }
    e.submit({at + kPinWriteDelay, PinEngine::Op::Ack, pin & 63, 0, 0});
    e.written(bit(pin & 63), at); // the acknowledge drops IN
    return r;
}

PinRead Pins::rqpin(int pin, Clock at)
{
    m_impl->e.catchUp(at);
    PinEngine &e = m_impl->e;
    e.advance(at);
    SmartPin &sp = e.m_sp[pin & 63];
    if (!sp.impl)
        return {};
    sp.impl->sync(sp, e.m_now);
    return {sp.z, sp.impl->flag(sp)};
}

std::uint64_t Pins::in(Clock at)
{
    m_impl->e.catchUp(at);
    PinEngine &e = m_impl->e;
    e.advance(at);
    return (e.m_plainIn & ~e.m_smart) | (e.m_flags & e.m_smart);
}

void Pins::setFilter(int n, int lengthCode, int tap, Clock at)
{
    m_impl->e.catchUp(at);
    PinEngine &e = m_impl->e;
    e.advance(at);
    e.m_filters[n & 3] = {lengthCode & 3, tap & 31};
    e.m_filterSet[n & 3] = true;
    e.filtersChanged();
    e.written(~std::uint64_t(0), at);
}

void Pins::setSeed(std::uint64_t seed) { m_impl->e.m_rng = seed ? seed : 0x9E3779B97F4A7C15ull; }

Clock Pins::nextChange(Clock now)
{
    m_impl->e.catchUp(now);
    PinEngine &e = m_impl->e;
    if (e.m_dirty && !e.m_busy)
        e.recomputeDue();
    return std::max(e.m_due, now);
}

Clock Pins::nextChange(Clock now, std::uint64_t pins)
{
    m_impl->e.catchUp(now);
    return std::max(m_impl->e.dueFor(pins), now);
}

std::uint64_t Pins::reaching(std::uint64_t pins) { return m_impl->e.reach(pins).pins; }

void Pins::advance(Clock to)
{
    PinEngine &e = m_impl->e;
    e.catchUp(to);
    if (!e.m_busy) { // devices may have been set up from outside since
        e.m_devStale = true;
        e.m_dirty = true;
    }
    e.advance(to);
}

std::size_t Pins::queuedWrites() const { return m_impl->e.m_ops.size(); }

Clock Pins::now() const { return m_impl->e.m_now; }

void Pins::attach(std::shared_ptr<Device> device)
{
    PinEngine &e = m_impl->e;
    for (int p : device->pins())
        e.endTrain(p & 63); // its pins' levels must be exact when it connects
    m_devices.push_back(device);
    for (int p : device->pins())
        e.m_watchers[p & 63].push_back(int(m_devices.size() - 1));
    e.m_devStale = true;
    e.m_dirty = true;
    ++e.m_shape;
    device->connect(*this);
    e.resyncAll();
    e.m_dirty = true;
    e.deliver();
    e.startAllTrains();
}

bool Pins::level(int pin) const { return m_impl->e.m_levels >> (pin & 63) & 1; }
double Pins::voltage(int pin) const { return m_impl->e.m_volts[pin & 63]; }
bool Pins::driven(int pin) const { return m_impl->e.m_chipDriven >> (pin & 63) & 1; }

void Pins::drive(int pin, const ExternalDrive &d, Clock at, const void *source)
{
    m_impl->e.catchUp(at);
    PinEngine &e = m_impl->e;
    pin &= 63;
    e.advance(at);
    e.endTrain(pin);
    auto &list = e.m_ext[pin];
    auto it = std::find_if(list.begin(), list.end(), [&](const PinEngine::Ext &x) { return x.source == source; });
    if (it == list.end())
        list.push_back({source, d});
    else
        it->drive = d;
    e.recomputeExt(pin);
    e.rewire(pin);
    e.deliver();
    e.startTrain(pin);
}

std::uint32_t Pins::modeWord(int pin) const { return m_impl->e.m_sp[pin & 63].mode; }
std::uint32_t Pins::xValue(int pin) const { return m_impl->e.m_sp[pin & 63].x; }
std::uint32_t Pins::yValue(int pin) const { return m_impl->e.m_sp[pin & 63].y; }
bool Pins::smartRunning(int pin) const { return m_impl->e.m_sp[pin & 63].running; }
bool Pins::cogDir(int pin) const { return m_impl->e.m_padDir >> (pin & 63) & 1; }
bool Pins::cogOut(int pin) const { return m_impl->e.m_padOut >> (pin & 63) & 1; }
PinsFilter Pins::filter(int n) const
{
    const PinEngine &e = m_impl->e;
    return {e.m_filters[n & 3].length, e.m_filters[n & 3].tap, e.m_filterSet[n & 3]};
}

void Pins::onVoltage(std::function<void(int pin, double volts, Clock at)> listener)
{
    m_impl->e.endAllTrains(); // it hears every edge
    m_impl->e.m_voltListeners.push_back(std::move(listener));
}

std::uint32_t Pins::scope(int block, Clock at)
{
    m_impl->e.catchUp(at);
    PinEngine &e = m_impl->e;
    e.advance(at);
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        SmartPin &sp = e.m_sp[(block & 15) * 4 + i];
        if (sp.impl && sp.running)
            sp.impl->sync(sp, e.m_now);
        v = v << 8 | (sp.z & 0xFF);
    }
    return v;
}

void Pins::onAsyncTx(std::function<void(int pin, std::uint32_t word, int bits, Clock at)> listener)
{
    m_impl->e.m_txListeners.push_back(std::move(listener));
}

void smartPinTransmitted(SmartPin &p, std::uint32_t word, int bits, Clock at)
{
    for (auto &l : p.engine->m_txListeners)
        l(p.index, word, bits, at);
}

} // namespace kivo::sim

namespace kivo::sim {
void Pins::setCatchUp(std::function<void(Clock at)> catchUp) { m_impl->e.m_catchUp = std::move(catchUp); }
void Pins::onCogWrite(std::function<void(std::uint64_t pins, Clock at)> listener)
{
    m_impl->e.m_writeListener = std::move(listener);
}
} // namespace kivo::sim
