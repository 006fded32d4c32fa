#include "chip/streamer.h"

#include "chip/fifo.h"
#include "chip/pins.h"

#include <algorithm>
#include <array>
#include <bit>

namespace kivo::sim {

namespace {

constexpr std::uint64_t kRoll = std::uint64_t(1) << 31;

// Where a mode's data come from.
enum class Source { None, ImmLut, Imm, FifoLut, Fifo, Rgb, PinsIn, AdcIn, Dds };
enum class Rgb { Luma8, Rgbi8, Rgb8, Rgb16, Rgb24 };

// A decoded command word D[31:16] (with S where the mode takes settings).
struct Mode {
    Source source = Source::None;
    int width = 32;      // bits per step
    int channels = 4;    // DAC channels the step's bits spread over
    int wordBits = 32;   // FIFO word (RFBYTE/RFWORD/RFLONG, WFxxx)
    bool alt = false;    // top-first within bytes
    int pin = 0;         // first pin of the pin field
    bool enable = false; // e (outputs to pins) or w (writes to hub)
    std::uint32_t lutBase = 0;
    Rgb rgb = Rgb::Rgb24;
    int adc = 0;     // 1, 2 or 4 ADC channels
    int adcPins = 0; // pins captured beside them
};

// The narrow modes share one layout of D[19:16] (0110/1010/1110 groups).
void decodeNarrow4(Mode &m, std::uint32_t low, std::uint32_t d)
{
    if ((low & 6) == 6) { // 0110, 0111, 1110, 1111
        static const int width[4] = {8, 8, 8, 16};
        static const int chans[4] = {4, 2, 1, 4};
        const int k = int((low >> 3) << 1 | (low & 1));
        m.width = width[k];
        m.channels = chans[k];
        m.pin = int((d >> 20) & 7) * 8;
        return;
    }
    m.width = 4;
    m.channels = (low & 6) == 0 ? 4 : (low & 6) == 2 ? 2 : 1;
    m.alt = low & 1;
    m.pin = int((d >> 19) & 15) * 4;
}

// Sub-modes the documentation does not list decode to Source::None: such a
// command keeps its timing but outputs nothing.
Mode decode(std::uint32_t d, std::uint32_t s)
{
    Mode m;
    const std::uint32_t mm = d >> 28, low = (d >> 16) & 15;
    m.enable = (d >> 23) & 1;
    m.pin = int((d >> 20) & 7) * 8;
    auto narrow = [&](Source src, int wordBits) {
        m.source = src;
        m.wordBits = wordBits;
        switch (mm & 3) {
        case 0: // 1 pin
            m.width = 1;
            m.channels = 1;
            m.alt = low & 1;
            m.pin = int((d >> 17) & 63);
            break;
        case 1: // 2 pins
            m.width = 2;
            m.channels = (low & 2) ? 1 : 2;
            m.alt = low & 1;
            m.pin = int((d >> 18) & 31) * 2;
            break;
        case 2:
            decodeNarrow4(m, low, d);
            if (m.width == 16)
                m.wordBits = 16;
            break;
        default:
            break;
        }
    };
    switch (mm) {
    case 0:
    case 1:
    case 2:
    case 3:
        m.source = Source::ImmLut;
        m.width = 1 << mm;
        m.lutBase = low << 5;
        break;
    case 4:
    case 5:
    case 6:
        narrow(Source::Imm, 32);
        break;
    case 7:
        if (low == 0) {
            m.source = Source::Imm;
            m.width = 16;
            m.channels = 2;
        } else if (low == 1) {
            m.source = Source::Imm;
        } else if (low <= 8) {
            m.source = Source::FifoLut;
            m.width = low == 8 ? 8 : 1 << ((low >> 1) - 1);
            m.alt = low != 8 && (low & 1);
            m.lutBase = (s & 15) << 5;
        }
        break;
    case 8:
    case 9:
    case 10:
        narrow(Source::Fifo, 8);
        break;
    case 11:
        if (low == 0) {
            m.source = Source::Fifo;
            m.width = 16;
            m.channels = 2;
            m.wordBits = 16;
        } else if (low == 1) {
            m.source = Source::Fifo;
        } else if (low <= 6) {
            static const Rgb kinds[5] = {Rgb::Luma8, Rgb::Rgbi8, Rgb::Rgb8, Rgb::Rgb16, Rgb::Rgb24};
            static const int bits[5] = {8, 8, 8, 16, 32};
            m.source = Source::Rgb;
            m.rgb = kinds[low - 2];
            m.wordBits = bits[low - 2];
        }
        break;
    case 12:
    case 13:
    case 14:
        narrow(Source::PinsIn, 8);
        break;
    case 15:
        if ((low & 7) == 7) {
            m.source = Source::Dds;
            m.pin = int((d >> 19) & 15) * 4;
        } else if (low == 0) {
            m.source = Source::PinsIn;
            m.width = 16;
            m.channels = 2;
            m.wordBits = 16;
        } else if (low == 1) {
            m.source = Source::PinsIn;
        } else if (low <= 6) {
            static const int adc[5] = {1, 1, 2, 2, 4};
            static const int pins[5] = {0, 8, 0, 16, 0};
            m.source = Source::AdcIn;
            m.adc = adc[low - 2];
            m.adcPins = pins[low - 2];
            m.width = m.adc * 8 + m.adcPins;
            m.channels = m.width == 8 ? 1 : m.width == 16 ? 2 : 4;
            m.wordBits = m.width;
        }
        break;
    default:
        break;
    }
    return m;
}

// Spreads a `width`-bit step over `channels` DAC bytes, each channel's bits
// repeated to fill its byte.
std::uint32_t expand(std::uint32_t v, int width, int channels)
{
    if (width == 32)
        return v;
    const int cw = width / channels;
    const std::uint32_t mask = (1u << cw) - 1;
    std::uint32_t x = 0;
    for (int k = 0; k < channels; ++k) {
        const std::uint32_t bits = (v >> (k * cw)) & mask;
        std::uint32_t byte = 0;
        for (int b = 0; b < 8; b += cw)
            byte |= bits << b;
        x |= (byte & 0xFF) << (8 * k);
    }
    return x;
}

std::uint32_t rgbPixel(Rgb kind, std::uint32_t p, std::uint32_t s)
{
    auto luma = [](std::uint32_t colour, std::uint32_t l) -> std::uint32_t {
        switch (colour & 7) {
        case 0:
            return l << 24 | (l >> 1) << 16; // orange
        case 1:
            return l << 8; // blue
        case 2:
            return l << 16; // green
        case 3:
            return l << 16 | l << 8; // cyan
        case 4:
            return l << 24; // red
        case 5:
            return l << 24 | l << 8; // magenta
        case 6:
            return l << 24 | l << 16; // yellow
        default:
            return l << 24 | l << 16 | l << 8; // white
        }
    };
    switch (kind) {
    case Rgb::Luma8:
        return luma(s, p & 0xFF);
    case Rgb::Rgbi8: {
        const std::uint32_t l = p & 31;
        return luma(p >> 5, (l << 3 | l >> 2) & 0xFF);
    }
    case Rgb::Rgb8: {
        const std::uint32_t r = (p >> 5) & 7, g = (p >> 2) & 7, b = p & 3;
        return (r << 5 | r << 2 | r >> 1) << 24 | (g << 5 | g << 2 | g >> 1) << 16 | (b * 0x55) << 8;
    }
    case Rgb::Rgb16: {
        const std::uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
        return (r << 3 | r >> 2) << 24 | (g << 2 | g >> 4) << 16 | (b << 3 | b >> 2) << 8;
    }
    case Rgb::Rgb24:
        return p & 0xFFFFFF00u;
    }
    return 0;
}

// Which streamer channel (0..3, +4 = inverted, -1 = none) each DAC takes.
const std::array<std::array<int, 4>, 16> kOverride = {{
    {-1, -1, -1, -1},
    {0, 0, 0, 0},
    {0, 0, -1, -1},
    {-1, -1, 0, 0}, // DAC0, DAC1, DAC2, DAC3
    {0, -1, -1, -1},
    {-1, 0, -1, -1},
    {-1, -1, 0, -1},
    {-1, -1, -1, 0},
    {0, 4, 0, 4},
    {0, 4, -1, -1},
    {-1, -1, 0, 4},
    {0, 1, 0, 1},
    {0, 1, -1, -1},
    {-1, -1, 0, 1},
    {0, 4, 1, 5},
    {0, 1, 2, 3},
}};

std::uint64_t rotl64(std::uint64_t v, int n)
{
    n &= 63;
    return n ? (v << n) | (v >> (64 - n)) : v;
}

// DVI's 8b/10b TMDS code: transition-minimised, DC-balanced by the running
// disparity `cnt` of the channel.
std::uint32_t tmds(std::uint32_t d, int &cnt)
{
    const int n1 = std::popcount(d & 0xFF);
    const bool useXnor = n1 > 4 || (n1 == 4 && !(d & 1));
    std::uint32_t qm = d & 1;
    for (int i = 1; i < 8; ++i) {
        const std::uint32_t prev = (qm >> (i - 1)) & 1, bit = (d >> i) & 1;
        qm |= (useXnor ? ~(prev ^ bit) & 1 : prev ^ bit) << i;
    }
    if (!useXnor)
        qm |= 1u << 8;
    const int ones = std::popcount(qm & 0xFF), zeros = 8 - ones;
    const bool q8 = (qm >> 8) & 1;
    std::uint32_t out;
    if (cnt == 0 || ones == zeros) {
        out = (q8 ? 0u : 1u << 9) | (qm & 0x100) | (q8 ? qm & 0xFF : ~qm & 0xFF);
        cnt += q8 ? ones - zeros : zeros - ones;
    } else if ((cnt > 0 && ones > zeros) || (cnt < 0 && zeros > ones)) {
        out = 1u << 9 | (qm & 0x100) | (~qm & 0xFF);
        cnt += 2 * int(q8) + zeros - ones;
    } else {
        out = (qm & 0x100) | (qm & 0xFF);
        cnt += -2 * int(!q8) + ones - zeros;
    }
    return out;
}

struct Cmd {
    StreamerCmd kind = StreamerCmd::Init;
    std::uint32_t d = 0, s = 0;
    bool hasQ = false;
    std::uint32_t q = 0;
};

} // namespace

struct Streamer::Impl {
    Streamer &self;
    explicit Impl(Streamer &s) : self(s) {}

    // NCO: `phase` is the value after clock `phaseAt`.
    std::uint32_t freq = 0x80000000u;
    std::uint32_t phase = 0;
    Clock phaseAt = 0;
    Clock nextRoll = kNever;
    std::uint32_t phaseAfterRoll = 0; // the phase after clock nextRoll

    Clock &now = self.m_now; // processed through this clock

    // Commands.
    bool running = false;
    Cmd active;
    Mode mode;
    std::uint32_t count = 0;
    bool forever = false;
    std::array<Cmd, 2> queue{};
    int queued = 0;

    // Data of the running command.
    std::uint32_t word = 0;
    int index = 0;
    int perWord = 1;
    std::uint32_t inAcc = 0;
    int inBits = 0;
    std::uint32_t x = 0;  // X3..X0
    std::uint32_t pv = 0; // what goes to the pins

    // Digital video (CMOD[8]): the step's red, green and blue 10-bit symbols,
    // sent one bit a clock from symAt on.
    std::array<std::uint32_t, 3> sym{};
    std::array<int, 3> disparity{};
    Clock symAt = 0;
    bool dvi() const { return (csc.cmod >> 8) & 1; }
    bool dviOut() const { return running && mode.enable && isOutput() && dvi(); }
    void latchSymbols(Clock t)
    {
        symAt = t;
        if (pv & 2) { // P[1]: literal (control) symbols; a control period restarts the balance
            sym = {pv >> 22 & 0x3FF, pv >> 12 & 0x3FF, pv >> 2 & 0x3FF};
            disparity = {0, 0, 0};
            return;
        }
        for (int c = 0; c < 3; ++c)
            sym[std::size_t(c)] = tmds(pv >> (24 - 8 * c) & 0xFF, disparity[std::size_t(c)]);
    }
    // The eight DVI pins at clock t; the clock pair is high for the first
    // five bits of each symbol.
    std::uint32_t dviPins(Clock t) const
    {
        const int i = int((t - symAt) % 10);
        const std::uint32_t r = sym[0] >> i & 1, g = sym[1] >> i & 1, b = sym[2] >> i & 1;
        const std::uint32_t c = i < 5 ? 1 : 0;
        auto pair = [](std::uint32_t v) { return v << 1 | (v ^ 1); }; // +, -
        if ((csc.cmod >> 7) & 1) // reversed: CLK-, CLK+, BLU-, BLU+, GRN-, GRN+, RED-, RED+ from +7 down
            return pair(c ^ 1) << 6 | pair(b ^ 1) << 4 | pair(g ^ 1) << 2 | pair(r ^ 1);
        return pair(r) << 6 | pair(g) << 4 | pair(b) << 2 | pair(c);
    }

    // DACs and the converter.
    std::uint32_t setdacs = 0;
    ColorSpace csc;
    Clock phsAt = 0;
    Clock lastEmit = 0;

    // Goertzel.
    std::uint32_t accCos = 0, accSin = 0, mulCos = 0, mulSin = 0;
    Acc held;

    std::array<Clock, 4> last{};
    std::array<bool, 4> ever{};

    void event(StreamerEvent e, Clock t)
    {
        last[std::size_t(e)] = t;
        ever[std::size_t(e)] = true;
    }

    // ---- NCO ----
    // Clocks after `phaseAt` to the next rollover, and the phase then.
    static bool rollover(std::uint32_t phase, std::uint32_t f, std::uint64_t *clocks, std::uint32_t *after)
    {
        const std::uint64_t pm = phase & 0x7FFFFFFFu;
        if (f == 0)
            return false;
        if (f < kRoll) {
            const std::uint64_t k = (kRoll - pm + f - 1) / f;
            *clocks = k;
            *after = std::uint32_t(pm + k * f);
            return true;
        }
        const std::uint64_t h = (std::uint64_t(1) << 32) - f; // a non-rollover clock takes h off
        const std::uint64_t j = pm / h;
        *clocks = j + 1;
        *after = std::uint32_t(pm - j * h + f);
        return true;
    }
    // kRoll / freq, kept for the frequency it was worked out for.
    std::uint32_t quotFreq = 0;
    std::uint64_t quot = 0;
    void scheduleRoll()
    {
        const std::uint64_t pm = phase & 0x7FFFFFFFu;
        if (running && freq != 0 && freq < kRoll && pm < freq) {
            // Right after a rollover: the next one is floor(kRoll / freq)
            // or one more clocks away; no division per step.
            if (freq != quotFreq) {
                quotFreq = freq;
                quot = kRoll / freq;
            }
            const std::uint64_t k = pm + quot * freq >= kRoll ? quot : quot + 1;
            nextRoll = phaseAt + k;
            phaseAfterRoll = std::uint32_t(pm + k * freq);
            return;
        }
        std::uint64_t k = 0;
        std::uint32_t after = 0;
        nextRoll = running && rollover(phase, freq, &k, &after) ? phaseAt + k : kNever;
        phaseAfterRoll = after;
    }
    // The phase after clock t (phaseAt <= t < nextRoll).
    std::uint32_t phaseAtClock(Clock t) const
    {
        const std::uint64_t j = t - phaseAt;
        if (j == 0)
            return phase;
        const std::uint64_t pm = phase & 0x7FFFFFFFu;
        if (freq < kRoll)
            return std::uint32_t(pm + j * freq);
        return std::uint32_t(pm - j * ((std::uint64_t(1) << 32) - freq));
    }
    // The clock of the n-th rollover after `phaseAt` (n >= 1).
    Clock nthRoll(std::uint64_t n) const
    {
        if (freq == 0)
            return kNever;
        if (freq < kRoll) {
            const std::uint64_t pm = phase & 0x7FFFFFFFu;
            return phaseAt + (n * kRoll - pm + freq - 1) / freq;
        }
        std::uint32_t p = phase;
        Clock t = phaseAt;
        for (std::uint64_t i = 0; i < n; ++i) {
            std::uint64_t k = 0;
            rollover(p, freq, &k, &p);
            t += k;
        }
        return t;
    }

    // ---- outputs ----
    std::uint32_t mixDacs() const
    {
        if (!running)
            return setdacs;
        if ((active.d >> 24 & 15) == 15) // X's four bytes on the four DACs (the VGA case)
            return x;
        const auto &map = kOverride[(active.d >> 24) & 15];
        std::uint32_t out = setdacs;
        for (int k = 0; k < 4; ++k) {
            const int src = map[std::size_t(k)];
            if (src < 0)
                continue;
            std::uint32_t v = (x >> (8 * (src & 3))) & 0xFF;
            if (src & 4)
                v = ~v & 0xFF;
            out = (out & ~(0xFFu << (8 * k))) | v << (8 * k);
        }
        return out;
    }
    std::uint32_t emittedX = 0, emittedPv = 0; // X and the pin value at the last emit
    void emit(Clock t)
    {
        emittedX = x;
        emittedPv = pv;
        std::uint32_t dacs = mixDacs();
        Clock at = t;
        if (csc.active()) {
            ColorSpace c = csc;
            c.phs = csc.phs - csc.cfrq * std::uint32_t(t - phsAt);
            dacs = c.convert(dacs);
            at = t + ColorSpace::kDelay;
        }
        at = std::max(at, lastEmit);
        if (dacs != self.m_dacOut) {
            self.m_dacOut = dacs;
            self.m_pins.setCogDacs(self.m_cog, dacs, at);
            if (self.m_dacHook)
                self.m_dacHook(dacs, at);
            lastEmit = at;
        }
        std::uint64_t bus = 0;
        if (dviOut())
            bus = rotl64(dviPins(t), mode.pin);
        else if (running && mode.enable && isOutput())
            bus = rotl64(pv, mode.pin);
        if (bus != self.m_pinOut) {
            self.m_pinOut = bus;
            if (self.m_pinHook)
                self.m_pinHook(bus, t);
        }
    }
    // A pixel run's DAC changes, handed to the pins together: emit() for a
    // step whose pin-output bus stays 0 and that the colourspace converter
    // does not touch. Flushed before the run returns.
    std::array<Pins::DacStep, 256> dacRun{};
    std::size_t dacRunSize = 0;
    void queueDacs(Clock t)
    {
        emittedX = x;
        emittedPv = pv;
        const std::uint32_t dacs = mixDacs();
        if (dacs == self.m_dacOut)
            return;
        const Clock at = std::max(t, lastEmit);
        self.m_dacOut = dacs;
        lastEmit = at;
        dacRun[dacRunSize++] = {at, dacs};
        if (dacRunSize == dacRun.size())
            flushDacs();
    }
    void flushDacs()
    {
        const std::size_t n = dacRunSize;
        if (n == 0)
            return;
        dacRunSize = 0;
        self.m_pins.setCogDacs(self.m_cog, dacRun.data(), n);
        if (self.m_dacHook)
            for (std::size_t i = 0; i < n; ++i)
                self.m_dacHook(dacRun[i].dacs, dacRun[i].at);
    }
    bool isOutput() const
    {
        return mode.source == Source::ImmLut || mode.source == Source::Imm || mode.source == Source::FifoLut ||
               mode.source == Source::Fifo || mode.source == Source::Rgb;
    }

    // ---- data ----
    std::uint32_t lut(std::uint32_t addr, Clock t)
    {
        addr &= 0x1FF;
        if (addr == 0x1FF)
            event(StreamerEvent::Xrl, t);
        return self.m_lut ? self.m_lut[addr] : 0;
    }
    std::uint32_t value() const // the step's bits from the current word
    {
        const int w = mode.width;
        if (w >= 32)
            return word;
        const int pos = index * w;
        int shift = pos;
        if (mode.alt && w < 8)
            shift = (pos & ~7) + (8 - w - (pos & 7));
        return (word >> shift) & ((1u << w) - 1);
    }
    Fifo::Size fifoSize(int bits) const
    {
        return bits == 8 ? Fifo::Size::Byte : bits == 16 ? Fifo::Size::Word : Fifo::Size::Long;
    }
    std::uint32_t inputs(Clock t, int width)
    {
        const std::uint64_t in = rotl64(self.m_pins.in(t), 64 - mode.pin);
        return width >= 32 ? std::uint32_t(in) : std::uint32_t(in) & ((1u << width) - 1);
    }
    // Computes X for the current step (first = the command's first clock).
    void step(Clock t, bool first)
    {
        compute(t, first);
        // Narrow modes put their bits on as many pins; LUT and RGB modes put 32.
        const bool narrow = mode.source == Source::Imm || mode.source == Source::Fifo;
        pv = narrow && mode.width < 32 ? value() : x;
        if (dvi())
            latchSymbols(t);
    }
    void compute(Clock t, bool first)
    {
        switch (mode.source) {
        case Source::None:
            x = 0;
            break;
        case Source::ImmLut:
        case Source::Imm:
            if (!first && index < perWord - 1)
                ++index; // the last value repeats
            if (mode.source == Source::ImmLut)
                x = lut(mode.lutBase + value(), t);
            else
                x = expand(value(), mode.width, mode.channels);
            break;
        case Source::FifoLut:
        case Source::Fifo:
            if (first || ++index >= perWord) {
                word = self.m_fifo.streamRead(fifoSize(mode.source == Source::FifoLut ? 32 : mode.wordBits), t);
                index = 0;
            }
            if (mode.source == Source::FifoLut)
                x = lut(mode.lutBase + value(), t);
            else
                x = expand(value(), mode.width, mode.channels);
            break;
        case Source::Rgb:
            x = rgbPixel(mode.rgb, self.m_fifo.streamRead(fifoSize(mode.wordBits), t), active.s);
            break;
        case Source::PinsIn: {
            const std::uint32_t v = inputs(t, mode.width);
            x = expand(v, mode.width, mode.channels);
            record(v, t);
            break;
        }
        case Source::AdcIn: {
            const std::uint32_t scope = self.m_scope ? self.m_scope(t) : 0;
            std::uint32_t adc = 0;
            if (mode.adc == 1)
                adc = (scope >> (8 * (active.s & 3))) & 0xFF;
            else if (mode.adc == 2)
                adc = (active.s & 2) ? scope >> 16 : scope & 0xFFFF;
            else
                adc = scope;
            std::uint32_t v = adc;
            if (mode.adcPins)
                v = adc << mode.adcPins | inputs(t, mode.adcPins);
            x = expand(v, mode.width, mode.channels);
            record(v, t);
            break;
        }
        case Source::Dds:
            dds(t);
            break;
        }
    }
    void record(std::uint32_t v, Clock t)
    {
        if (!mode.enable)
            return;
        if (mode.width >= 8) {
            self.m_fifo.streamWrite(fifoSize(mode.width), v, t);
            return;
        }
        // 1/2/4-bit steps: a byte each time 8 bits have gathered.
        const int shift = mode.alt ? 8 - mode.width - inBits : inBits;
        inAcc |= v << shift;
        inBits += mode.width;
        if (inBits >= 8) {
            self.m_fifo.streamWrite(Fifo::Size::Byte, inAcc & 0xFF, t);
            inAcc = 0;
            inBits = 0;
        }
    }
    // One clock of DDS/Goertzel: the LUT entry the NCO points at.
    void dds(Clock t)
    {
        const std::uint32_t cfg = active.s;
        const int size = int((cfg >> 9) & 7);
        const int bits = 9 - size;
        const std::uint32_t mask = (1u << bits) - 1;
        const std::uint32_t field = cfg & 0x1FF;
        const std::uint32_t ph = phaseAtClock(t);
        const std::uint32_t addr = (field & ~mask) | (((ph >> (31 - bits)) + field) & mask);
        const std::uint32_t e = lut(addr, t);
        x = e ^ 0x80808080u;
        // Goertzel: the sum of the selected ADC bit streams times sine/cosine.
        const std::uint32_t in = inputs(t, 4);
        int sum = 0, used = 0;
        for (int k = 0; k < 4; ++k) {
            if (!((cfg >> (12 + k)) & 1))
                continue;
            ++used;
            const bool bit = ((in >> k) & 1) ^ ((cfg >> (16 + k)) & 1);
            sum += bit ? 1 : -1;
        }
        if (used == 2 || used == 4)
            sum >>= 1;
        const int sine = std::int8_t(e >> 24), cosine = std::int8_t(e >> 16);
        const std::uint32_t ms = std::uint32_t(sum * sine), mc = std::uint32_t(sum * cosine);
        if ((active.d >> 23) & 1) { // SINC2
            mulSin += ms;
            mulCos += mc;
            accSin += mulSin;
            accCos += mulCos;
        } else {
            accSin += ms;
            accCos += mc;
        }
    }

    // ---- commands ----
    void start(const Cmd &c, Clock t)
    {
        if (c.hasQ)
            freq = c.q;
        if (c.kind != StreamerCmd::Cont)
            phase = 0; // XCONT keeps the phase, also across an idle gap
        phaseAt = t;
        active = c;
        mode = decode(c.d, c.s);
        count = c.d & 0xFFFF;
        forever = count == 0xFFFF;
        held = {accCos, accSin};
        accCos = accSin = 0;
        event(StreamerEvent::Xmt, t);
        if (count == 0) {
            stop(t);
            return;
        }
        running = true;
        perWord = mode.width >= 32 ? 1 : 32 / mode.width;
        if (mode.source == Source::Fifo || mode.source == Source::Rgb)
            perWord = mode.width >= mode.wordBits ? 1 : mode.wordBits / mode.width;
        index = 0;
        word = c.s;
        inAcc = 0;
        inBits = 0;
        step(t, true);
        emit(t);
        scheduleRoll();
    }
    void stop(Clock t)
    {
        running = false;
        nextRoll = kNever;
        mode = Mode{};
        x = 0;
        event(StreamerEvent::Xfi, t);
        emit(t);
        if (queued > 0) // a buffered command goes on at once
            startNext(t);
    }
    void startNext(Clock t)
    {
        const Cmd c = queue[0];
        queue[0] = queue[1];
        --queued;
        start(c, t);
    }
    // The clock at which the running command hands over (its last rollover).
    Clock endOfActive() const
    {
        if (!running)
            return now;
        return forever ? nextRoll : nthRoll(count);
    }
    void rolloverAt(Clock t)
    {
        phase = phaseAfterRoll; // every change of phase or freq schedules the rollover again
        phaseAt = t;
        event(StreamerEvent::Xro, t);
        if (!forever && --count == 0) {
            if (queued > 0) {
                startNext(t);
            } else {
                stop(t);
            }
            return;
        }
        if (forever && queued > 0) {
            startNext(t);
            return;
        }
        step(t, false);
        // Between clocked outputs a step that leaves X and the pin value as
        // they were changes no output.
        if (x != emittedX || pv != emittedPv || perClock())
            emit(t);
        scheduleRoll();
    }
    // A step that repeats its value (an immediate colour or LUT entry held
    // to the command's end) reads nothing and changes no output.
    bool steady() const
    {
        if (dvi()) // symbols are coded again each step
            return false;
        switch (mode.source) {
        case Source::None:
            return true;
        case Source::Imm:
        case Source::ImmLut:
            return index >= perWord - 1;
        default:
            return false;
        }
    }
    // Jumps over all but the last of the steady steps up to `to` that
    // neither end the command nor hand over to a buffered one: only the
    // phase and the count move on (the last one still sets the events).
    void skipSteady(Clock to)
    {
        if (freq >= kRoll || nextRoll > to)
            return;
        const std::uint64_t plain = forever ? (queued > 0 ? 0 : ~std::uint64_t(0)) : count - 1;
        const std::uint64_t pm = phase & 0x7FFFFFFFu;
        const std::uint64_t span = std::min<std::uint64_t>(to - phaseAt, std::uint64_t(1) << 32);
        const std::uint64_t n = std::min((pm + span * freq) >> 31, plain); // rollovers in (phaseAt, to]
        if (n < 2)
            return;
        const std::uint64_t m = n - 1;
        const Clock at = nthRoll(m);
        // The value after the m-th rollover keeps its bit 31, as rolloverAt leaves it.
        phase = std::uint32_t(pm + (at - phaseAt) * freq - (m - 1) * kRoll);
        phaseAt = at;
        if (!forever)
            count -= std::uint32_t(m);
        scheduleRoll();
    }
    // The steps of an output or capture command up to `to` in one loop, but
    // for the last one (which ends the command or hands over to a buffered
    // one): only the NCO, the data and the outputs that change.
    void runSteps(Clock to)
    {
        if (forever && queued > 0)
            return;
        // Below kRoll each step is floor(kRoll / freq) clocks or one more
        // (scheduleRoll has worked the quotient out for this frequency).
        const bool fastNco = freq != 0 && freq < kRoll && quotFreq == freq;
        if (fastNco && mode.source == Source::FifoLut) {
            runLutPixels(to);
            return;
        }
        const bool narrow = (mode.source == Source::Imm || mode.source == Source::Fifo) && mode.width < 32;
        Clock last = 0;
        while (nextRoll <= to && (forever || count > 1)) {
            const Clock t = nextRoll;
            phase = phaseAfterRoll;
            phaseAt = t;
            if (!forever)
                --count;
            compute(t, false);
            pv = narrow ? value() : x;
            if (x != emittedX || pv != emittedPv)
                emit(t);
            if (fastNco) {
                const std::uint64_t pm = phase & 0x7FFFFFFFu;
                const std::uint64_t k = pm + quot * freq >= kRoll ? quot : quot + 1;
                nextRoll = t + k;
                phaseAfterRoll = std::uint32_t(pm + k * freq);
            } else {
                scheduleRoll();
            }
            last = t;
        }
        if (last) {
            event(StreamerEvent::Xro, last);
            now = last;
        }
    }
    // runSteps for pixels through the LUT from the FIFO (the VGA case), the
    // NCO below kRoll: compute() and scheduleRoll() inline, the state in
    // locals, stored back only where an output changes (emit() reads X
    // and the pin value) and at the end.
    void runLutPixels(Clock to)
    {
        const int w = mode.width, words = perWord;
        const bool altBits = mode.alt && w < 8;
        const std::uint32_t bitsMask = (1u << w) - 1, lutBase = mode.lutBase;
        const std::uint32_t *lutRam = self.m_lut;
        const std::uint64_t f = freq, q = quot;
        const std::uint64_t shortFrom = kRoll - q * f; // from this phase q clocks reach the rollover
        const bool endless = forever;
        // Without the bus or the converter only the DACs change: batch them.
        const bool batch = !mode.enable && !csc.active() && self.m_pinOut == 0;
        Clock t = 0, next = nextRoll, lutEnd = 0;
        std::uint32_t cur = phase, after = phaseAfterRoll, left = count, wd = word;
        int idx = index;
        while (next <= to && (endless || left > 1)) {
            t = next;
            cur = after;
            if (!endless)
                --left;
            if (++idx >= words) {
                wd = self.m_fifo.streamRead(Fifo::Size::Long, t);
                idx = 0;
            }
            const int pos = idx * w;
            const int shift = altBits ? (pos & ~7) + (8 - w - (pos & 7)) : pos; // as value()
            const std::uint32_t addr = (lutBase + ((wd >> shift) & bitsMask)) & 0x1FF;
            if (addr == 0x1FF)
                lutEnd = t;
            const std::uint32_t px = lutRam ? lutRam[addr] : 0;
            const std::uint64_t pm = cur & 0x7FFFFFFFu;
            const std::uint64_t k = pm >= shortFrom ? q : q + 1;
            next = t + k;
            after = std::uint32_t(pm + k * f);
            if (px != emittedX) { // LUT modes put X on the pins: pv == x
                x = pv = px;
                if (batch)
                    queueDacs(t);
                else
                    emit(t);
            }
        }
        flushDacs();
        if (!t)
            return;
        phase = cur;
        phaseAt = t;
        nextRoll = next;
        phaseAfterRoll = after;
        count = left;
        word = wd;
        index = idx;
        if (lutEnd)
            event(StreamerEvent::Xrl, lutEnd);
        event(StreamerEvent::Xro, t);
        now = t;
    }
    bool perClock() const { return (running && mode.source == Source::Dds) || csc.modulates() || dviOut(); }

    void advance(Clock to)
    {
        while (now < to) {
            if (perClock()) {
                const Clock t = now + 1;
                if (running && nextRoll <= t) {
                    rolloverAt(t);
                } else if (running && mode.source == Source::Dds) {
                    dds(t);
                }
                if (csc.modulates() || (running && mode.source == Source::Dds) || dviOut())
                    emit(t);
                now = t;
                continue;
            }
            if (!running || nextRoll > to) {
                now = to;
                break;
            }
            if (steady())
                skipSteady(to);
            else if (!dvi())
                runSteps(to);
            if (!running || nextRoll > to)
                continue;
            const Clock t = nextRoll;
            rolloverAt(t);
            now = t;
        }
    }
};

Streamer::Streamer(int cog, Pins &pins, Fifo &fifo, const std::uint32_t *lut)
    : m_cog(cog), m_pins(pins), m_fifo(fifo), m_lut(lut), m_impl(std::make_unique<Impl>(*this))
{
    m_fifo.setSync([this](Clock now) { advance(now); });
}

Streamer::~Streamer() { m_fifo.setSync(nullptr); }

void Streamer::advanceSlow(Clock to)
{
    // Re-entrant calls (pins pulling streamers up to date while this one is
    // emitting) return at once.
    if (m_advancing)
        return;
    m_advancing = true;
    // It delivers its own changes in clock order meanwhile, and calls to it
    // return at once: the pins' catch-up need not wait for it.
    m_quietUntil = kNever;
    m_impl->advance(to);
    m_advancing = false;
    if (m_changing == 0)
        requiet();
    else
        setQuiet(0);
}

void Streamer::requiet()
{
    const Impl &m = *m_impl;
    setQuiet(m.perClock() ? 0 : m.running ? m.nextRoll : kNever);
}

Clock Streamer::command(StreamerCmd kind, std::uint32_t d, std::uint32_t s, bool hasQ, std::uint32_t q, Clock now)
{
    Impl &m = *m_impl;
    advance(now);
    Changing changing(*this);
    const Cmd c{kind, d, s, hasQ, q};
    // The first clock the command can act on. The pins may have pulled the
    // streamer a few clocks past its cog; its timeline stays in order.
    const Clock t = std::max(now, m.now) + 1;
    if (kind == StreamerCmd::Init || (!m.running && m.queued == 0)) {
        m.queued = 0; // XINIT drops a buffered command
        m.start(c, t);
        m.now = std::max(m.now, t);
        return now + 2;
    }
    if (m.queued == 0) {
        m.queue[0] = c;
        m.queued = 1;
        return now + 2;
    }
    // Buffer full: wait until the running command's last clock, when the
    // buffered one takes over and this one moves into the buffer.
    const Clock handover = m.endOfActive();
    m.queue[1] = c;
    m.queued = 2;
    if (handover == kNever) // an NCO frequency of 0 never rolls over: waits for ever
        return kNever;
    return std::max(now + 2, handover + 1);
}

void Streamer::setFrequency(std::uint32_t freq, Clock now)
{
    Impl &m = *m_impl;
    advance(now);
    Changing changing(*this);
    now = std::max(now, m.now);
    if (m.running) {
        m.phase = m.phaseAtClock(now);
        m.phaseAt = now;
    }
    m.freq = freq;
    m.scheduleRoll();
}

void Streamer::setDacs(std::uint32_t dacs, Clock now)
{
    Impl &m = *m_impl;
    advance(now);
    Changing changing(*this);
    m.setdacs = dacs;
    m.emit(std::max(now, m.now) + 1);
}

void Streamer::setColor(ColorReg reg, std::uint32_t value, Clock now)
{
    Impl &m = *m_impl;
    advance(now);
    Changing changing(*this);
    now = std::max(now, m.now);
    // Keep PHS continuous across a CFRQ change.
    m.csc.phs -= m.csc.cfrq * std::uint32_t(now - m.phsAt);
    m.phsAt = now;
    switch (reg) {
    case ColorReg::Cy:
        m.csc.cy = value;
        break;
    case ColorReg::Ci:
        m.csc.ci = value;
        break;
    case ColorReg::Cq:
        m.csc.cq = value;
        break;
    case ColorReg::Cfrq:
        m.csc.cfrq = value;
        break;
    case ColorReg::Cmod:
        m.csc.cmod = value & 0x1FF;
        break;
    }
    m.emit(now + 1);
}

Streamer::Acc Streamer::getxacc(Clock now)
{
    advance(now);
    return m_impl->held;
}

Clock Streamer::nextEvent(Clock now) const
{
    const Impl &m = *m_impl;
    if (m.perClock())
        return now + 1;
    if (!m.running)
        return kNever;
    return std::max(m.nextRoll, now + 1);
}

bool Streamer::occurred(StreamerEvent e, Clock since) const
{
    const Impl &m = *m_impl;
    return m.ever[std::size_t(e)] && m.last[std::size_t(e)] > since;
}

Clock Streamer::nextOccurrence(StreamerEvent e, Clock now) const
{
    const Impl &m = *m_impl;
    if (!m.running)
        return kNever;
    switch (e) {
    case StreamerEvent::Xro:
        return std::max(m.nextRoll, now + 1);
    case StreamerEvent::Xmt:
        return m.queued > 0 ? std::max(m.endOfActive(), now + 1) : kNever;
    case StreamerEvent::Xfi: // no later than the end of the running command
        return std::max(m.endOfActive(), now + 1);
    case StreamerEvent::Xrl:
        return nextEvent(now);
    }
    return kNever;
}

bool Streamer::running() const { return m_impl->running; }

void Streamer::reset(Clock now)
{
    advance(now);
    Changing changing(*this);
    Impl &m = *m_impl;
    now = std::max(now, m.now);
    const Clock t = now + 1;
    const Clock lastEmit = m.lastEmit;
    m_impl = std::make_unique<Impl>(*this);
    m_impl->now = now;
    m_impl->lastEmit = lastEmit;
    m_impl->phsAt = now;
    m_impl->emit(t);
}

} // namespace kivo::sim
