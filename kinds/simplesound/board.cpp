// The Simple Sound object on the simulated board: a meter on its two pins,
// which records them as --wav does, and the pitches of the music's first
// notes against the module the program plays.
#include "board/instrument.h"
#include "kinds/simplesound/slots.h"
#include "model/text.h"
#include "run/kindboard.h"
#include "run/wav.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>

namespace kivo::sim {

namespace {

// Both pins recorded as samples: how loud each channel got, and the samples
// at the DAC's rails (clipped).
class SoundMeter : public Instrument
{
public:
    SoundMeter(int left, int right) : m_wav(left, right) {}
    std::vector<int> pins() const override { return m_wav.pins(); }
    void connect(Pins &pins) override
    {
        Instrument::connect(pins);
        m_wav.connect(pins);
    }
    void pinChanged(int pin, Clock at) override { m_wav.pinChanged(pin, at); }
    void finish(Clock at) override { m_wav.finish(at); }
    std::string what() const override { return "sound meter"; }
    Json observations() const override
    {
        Json o = Json::object();
        o["sampleRate"] = m_wav.sampleRate();
        o["frames"] = double(m_wav.frames());
        for (int c = 0; c < 2; c++) {
            Json ch = Json::object();
            ch["peak"] = peak(c);
            ch["clipped"] = double(clipped(c));
            o[c == 0 ? "left" : "right"] = std::move(ch);
        }
        return o;
    }
    // The largest distance from the middle, 0..32768.
    int peak(int c) const { return m_wav.peak(c); }
    std::size_t clipped(int c) const { return m_wav.clipped(c); }
    std::size_t frames() const { return m_wav.frames(); }
    const std::vector<std::int16_t> &channel(int c) const { return m_wav.channel(c); }
    int rate() const { return m_wav.sampleRate(); }
    WavRecorder &recorder() { return m_wav; }

private:
    WavRecorder m_wav;
};

// A note of the module: when it starts and ends (seconds from the music's
// start) and the frequency of its tone.
struct ModNote {
    double start = 0, end = 0;
    double hz = 0;
};

// The first notes of the module's first tone voice, read from the module as
// a four-voice tracker file: notes of a looped sample whose loop repeats a
// waveform, each up to the voice's next note, with no effect that bends its
// pitch. Periods are the Amiga's (PAL clock 3546895 Hz / period = samples per
// second); the tone's frequency is that rate over the loop's waveform period.
// Also the voice (0..3). Empty when the module has no such notes.
std::vector<ModNote> FirstTones(const std::vector<std::uint8_t> &mod, int *voice, std::size_t count)
{
    constexpr std::size_t kHeader = 1084, kPattern = 1024;
    if (mod.size() < kHeader || std::string(mod.begin() + 1080, mod.begin() + 1084) != "M.K.")
        return {};
    auto word = [&](std::size_t at) { return std::size_t(mod[at] << 8 | mod[at + 1]) * 2; };
    const int orders = std::clamp(int(mod[950]), 1, 128);
    int patterns = 0;
    for (int i = 0; i < 128; i++)
        patterns = std::max(patterns, mod[952 + i] + 1);
    // Where each sample's data starts.
    std::size_t data = kHeader + std::size_t(patterns) * kPattern;
    struct Sample {
        std::size_t at, length, loopStart, loopLength;
        int finetune;
    } samples[31];
    for (int i = 0; i < 31; i++) {
        const std::size_t h = 20 + std::size_t(i) * 30;
        samples[i] = {data, word(h + 22), word(h + 26), word(h + 28), (mod[h + 24] & 15) ^ 8};
        samples[i].finetune -= 8;
        data += samples[i].length;
    }
    // The waveform period of a sample's loop, in samples: the shortest lag at
    // which the loop matches itself; 0 when it does not repeat a waveform.
    auto waveform = [&](const Sample &s) -> double {
        if (s.loopLength < 8 || s.at + s.loopStart + s.loopLength > mod.size())
            return 0;
        auto at = [&](std::size_t i) { return double(std::int8_t(mod[s.at + s.loopStart + i % s.loopLength])); };
        double energy = 0;
        for (std::size_t i = 0; i < s.loopLength; i++)
            energy += at(i) * at(i);
        if (energy <= 0)
            return 0;
        for (std::size_t lag = 4; lag <= s.loopLength; lag++) {
            if (s.loopLength % lag)
                continue;
            double c = 0;
            for (std::size_t i = 0; i < s.loopLength; i++)
                c += at(i) * at(i + lag);
            if (c > 0.95 * energy)
                return double(lag);
        }
        return 0;
    };

    // The song's rows in order: each cell's sample, period and effect.
    struct Cell {
        int sample, period, effect, param;
    };
    std::vector<std::array<Cell, 4>> rows;
    std::vector<double> times; // each row's start
    double t = 0, speed = 6, tempo = 125;
    for (int o = 0; o < orders && rows.size() < 512; o++) {
        const std::size_t base = kHeader + std::size_t(mod[952 + o]) * kPattern;
        if (base + kPattern > mod.size())
            break;
        for (int r = 0; r < 64; r++) {
            std::array<Cell, 4> row;
            for (int c = 0; c < 4; c++) {
                const std::uint8_t *b = &mod[base + std::size_t(r) * 16 + std::size_t(c) * 4];
                row[c] = {(b[0] & 0xF0) | b[2] >> 4, (b[0] & 15) << 8 | b[1], b[2] & 15, b[3]};
                if (row[c].effect == 15 && row[c].param > 0)
                    (row[c].param < 32 ? speed : tempo) = row[c].param;
            }
            rows.push_back(row);
            times.push_back(t);
            t += speed * 2.5 / tempo; // a tick is 2.5 / tempo seconds
        }
    }
    times.push_back(t);
    // Effects that move a voice's pitch: arpeggio (with a parameter), slides,
    // portamento, vibrato, fine slides.
    auto bends = [](const Cell &c) {
        return (c.effect == 0 && c.param) || (c.effect >= 1 && c.effect <= 6) ||
               (c.effect == 14 && (c.param >> 4 == 1 || c.param >> 4 == 2));
    };
    for (int v = 0; v < 4; v++) {
        std::vector<ModNote> notes;
        int sample = 0;
        for (std::size_t r = 0; r < rows.size() && notes.size() < count; r++) {
            const Cell &c = rows[r][v];
            if (c.sample)
                sample = c.sample;
            if (!c.period)
                continue;
            const Sample *s = sample ? &samples[sample - 1] : nullptr;
            const double cycle = s ? waveform(*s) : 0;
            if (cycle <= 0)
                break; // not a tone: another voice
            std::size_t end = r + 1;
            bool bent = bends(c);
            while (end < rows.size() && !rows[end][v].period)
                bent = bent || bends(rows[end++][v]);
            if (bent)
                continue;
            const double period = c.period * std::pow(2.0, -s->finetune / 96.0);
            notes.push_back({times[r], times[end], 3546895.0 / period / cycle});
        }
        if (!notes.empty()) {
            *voice = v;
            return notes;
        }
    }
    return {};
}

// The strongest frequency of `signal` (sampled at `rate`) within `band` of
// `near`: the Hann-windowed spectrum searched in steps of 0.05 %.
double StrongestNear(const std::vector<double> &signal, int rate, double near, double band)
{
    const std::size_t n = signal.size();
    std::vector<double> w(n);
    for (std::size_t i = 0; i < n; i++)
        w[i] = signal[i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n)));
    double best = 0, bestHz = 0;
    for (double f = near * (1 - band); f <= near * (1 + band); f += near * 0.0005) {
        // Goertzel's recurrence for the power at f.
        const double k = 2 * std::cos(2 * std::numbers::pi * f / rate);
        double s1 = 0, s2 = 0;
        for (double x : w) {
            const double s0 = x + k * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
        if (power > best)
            best = power, bestHz = f;
    }
    return bestHz;
}

class SimpleSoundBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kSimpleSound; }
    bool wire(BoardWiring &, ProjectBoard::Wired &w) const override
    {
        int left = 0, right = 0;
        if (soundPins(*w.object, &left, &right) && left != right)
            w.device = std::make_shared<SoundMeter>(left, right);
        return true;
    }
    // Sound on both pins within the run, never at the DAC's rails; the
    // music's first notes at the pitches the module gives them.
    Verdict verify(const VerifyView &v) const override
    {
        auto meter = std::dynamic_pointer_cast<SoundMeter>(v.wired.device);
        if (!meter)
            return Skip("no pair of pins to listen to");
        SimpleSoundSlots slots(*v.wired.object);
        if (!slots.Music() && !slots.Effects())
            return Skip("the object plays neither music nor effects");
        Json m = meter->observations();
        // A channel at rest sits in the middle; sound is a swing of at
        // least 1/256 of the span.
        constexpr int kHeard = 128;
        const int left = meter->peak(0), right = meter->peak(1);
        if (left < kHeard || right < kHeard)
            return Fail("sound on both pins",
                        Format("peaks of %d and %d of 32768 in %zu samples", left, right, meter->frames()), m);
        if (meter->clipped(0) || meter->clipped(1))
            return Fail("sound without clipping",
                        Format("%zu and %zu samples at the DAC's rails", meter->clipped(0), meter->clipped(1)), m);
        const std::string heard = Format("sound on both pins (peaks %d and %d of 32768), no clipping", left, right);
        if (!slots.Music())
            return Pass(heard + "; the music is off", m);
        return pitches(v, *meter, heard, m);
    }
    Verdict pitches(const VerifyView &v, const SoundMeter &meter, const std::string &heard, Json &m) const
    {
        std::ifstream file(v.folder() + "/pyr.mod", std::ios::binary);
        const std::vector<std::uint8_t> mod{std::istreambuf_iterator<char>(file), {}};
        int voice = 0;
        const std::vector<ModNote> notes = FirstTones(mod, &voice, 3);
        if (notes.empty())
            return Pass(heard + "; the module pyr.mod has no tone to measure", m);
        // The effects sound on both sides alike, the music's voices on one
        // side each (0 and 3 left, 1 and 2 right): the difference of the
        // sides holds the music alone.
        const auto &l = meter.channel(0), &r = meter.channel(1);
        const int rate = meter.rate();
        const double sign = voice == 0 || voice == 3 ? 1 : -1;
        std::size_t start = 0; // the music's first sample
        while (start < l.size() && std::abs(int(l[start]) - int(r[start])) < 128)
            start++;
        std::string promised, measured, wrong;
        Json list = Json::array();
        for (std::size_t i = 0; i < notes.size(); i++) {
            const ModNote &n = notes[i];
            // The note's second half: the drums struck with it have died away.
            const auto from = start + std::size_t((n.start + (n.end - n.start) / 2) * rate);
            const auto to = start + std::size_t((n.end - 0.005) * rate);
            promised += (i ? ", " : "") + Shown(n.hz, 1);
            if (rate <= 0 || to > l.size() || to < from + std::size_t(rate / 50)) {
                measured += (i ? ", " : "") + std::string("none");
                wrong = wrong.empty() ? Format("the run ended before note %zu", i + 1) : wrong;
                continue;
            }
            std::vector<double> signal;
            for (auto k = from; k < to; k++)
                signal.push_back(sign * (double(l[k]) - double(r[k])));
            // A semitone is 6 %: a wrong note shows within the band.
            const double hz = StrongestNear(signal, rate, n.hz, 0.08);
            const double off = (hz - n.hz) / n.hz;
            measured += (i ? ", " : "") + Shown(hz, 1);
            if (std::abs(off) > 0.01 && wrong.empty())
                wrong = Format("note %zu off by %s %%", i + 1, Shown(off * 100, 1).c_str());
            Json j = Json::object();
            j["seconds"] = Rounded(double(from) / rate, 3);
            j["moduleHz"] = Rounded(n.hz, 2);
            j["measuredHz"] = Rounded(hz, 2);
            list.push_back(std::move(j));
        }
        m["notes"] = std::move(list);
        if (!wrong.empty())
            return Fail("the music's first notes at their module pitches within 1 %: " + promised + " Hz",
                        measured + " Hz (" + wrong + ")", m);
        return Pass(heard + "; the music's first notes at " + measured + " Hz, their module pitches " + promised +
                        " Hz within 1 %",
                    m);
    }
    WavRecorder *soundRecorder(ProjectBoard::Wired &w) const override
    {
        auto meter = std::dynamic_pointer_cast<SoundMeter>(w.device);
        return meter ? &meter->recorder() : nullptr;
    }
    bool playsSound() const override { return true; }
    bool soundPins(const CCodeObject &o, int *left, int *right) const override
    {
        SimpleSoundSlots slots(o);
        const int l = TextToInt(slots.LeftPin()), r = TextToInt(slots.RightPin());
        if (l < 0 || l > 63 || r < 0 || r > 63)
            return false;
        *left = l;
        *right = r;
        return true;
    }
};

} // namespace

const IKindBoard &SimpleSoundBoard()
{
    static const SimpleSoundBoardImpl board;
    return board;
}

} // namespace kivo::sim
