// "pyr": a short looping tune in A minor (Am F C G) for four channels:
// bass, lead, arpeggiated chords and drums. Instruments are synthesised;
// the pitched ones are whole cycles so their loops are seamless.
#include "gendata.h"
#include "synth.h"

#include <array>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>

namespace kivo::gen {

namespace {

// Rate of a sample played at C-3 (period 214), for the drums.
constexpr int kDrumRate = 16574;

struct Instrument {
    const char *name;
    Bytes data;
    int volume;
    int loopStart = 0;  // bytes
    int loopLength = 0; // bytes; 0 = one-shot
};

// Bass: 64-byte cycles (an octave below the others) that start bright and
// mellow from sawtooth to triangle over 16 cycles; loops the last two.
Instrument Bass()
{
    Instrument in{"kivo bass", {}, 64};
    const int cycle = 64, cycles = 16;
    for (int c = 0; c < cycles; ++c) {
        int64_t bright = 65536LL * (cycles - 1 - c) / (cycles - 1);
        for (int i = 0; i < cycle; ++i) {
            uint32_t ph = static_cast<uint32_t>((int64_t(i) << 32) / cycle);
            int64_t v = (Saw(ph) * bright + Triangle(ph) * (65536 - bright)) / 65536;
            in.data.push_back(static_cast<uint8_t>(ToS8(v, 60000)));
        }
    }
    in.loopStart = (cycles - 2) * cycle;
    in.loopLength = 2 * cycle;
    return in;
}

// Lead: 32-byte pulse cycles whose width sweeps 50 % -> 20 % -> 50 % over
// the 64-cycle loop, for a moving, chorus-like tone.
Instrument Lead()
{
    Instrument in{"kivo lead", {}, 44};
    const int cycle = 32, cycles = 64;
    for (int c = 0; c < cycles; ++c) {
        int tri = c < cycles / 2 ? c : cycles - c; // 0..32..1
        int high = 16 - tri * 10 / (cycles / 2);   // 16 .. 6 bytes high
        for (int i = 0; i < cycle; ++i) {
            uint32_t ph = static_cast<uint32_t>((int64_t(i) << 32) / cycle);
            int v = (i < high ? 26000 : -26000) + Sine(ph) / 5;
            in.data.push_back(static_cast<uint8_t>(ToS8(v, 65536)));
        }
    }
    in.loopStart = 0;
    in.loopLength = cycle * cycles;
    return in;
}

// Chord voice: a sine with its octave and fifth, one 64-byte looped pair of cycles.
Instrument Chord()
{
    Instrument in{"kivo chord", {}, 34};
    const int len = 64;
    for (int i = 0; i < len; ++i) {
        uint32_t ph = static_cast<uint32_t>((int64_t(i) << 32) / 32);
        int v = Sine(ph) / 2 + Sine(ph * 2) / 4 + Triangle(ph * 3) / 6;
        in.data.push_back(static_cast<uint8_t>(ToS8(v, 65536)));
    }
    in.loopStart = 0;
    in.loopLength = len;
    return in;
}

// One-shot drums start with two silent bytes, the ProTracker idle loop.
Instrument Kick()
{
    Instrument in{"kivo kick", {0, 0}, 64};
    const int n = kDrumRate * 15 / 100;
    uint32_t ph = 0;
    for (int i = 0; i < n; ++i) {
        int64_t milliHz = 45000 + 120000LL * (n - i) / n * (n - i) / n * (n - i) / n;
        ph += PhaseStep(milliHz, kDrumRate);
        int64_t gain = 65536LL * (n - i) / n;
        int v = Sine(ph) + (i < 40 ? (40 - i) * 300 : 0); // click
        in.data.push_back(static_cast<uint8_t>(ToS8(v, gain)));
    }
    if (in.data.size() % 2)
        in.data.push_back(0);
    return in;
}

Instrument Snare()
{
    Instrument in{"kivo snare", {0, 0}, 56};
    const int n = kDrumRate * 14 / 100;
    Noise noise(0xBEEF5u);
    uint32_t ph = 0;
    int64_t env = 65536;
    for (int i = 0; i < n; ++i) {
        ph += PhaseStep(185000, kDrumRate);
        env = env * 65190 / 65536;
        int64_t tone = Sine(ph) * (n - i) / n;
        int64_t v = (noise.Next() * 3 + tone * 2) / 4;
        in.data.push_back(static_cast<uint8_t>(ToS8(v, env)));
    }
    if (in.data.size() % 2)
        in.data.push_back(0);
    return in;
}

Instrument HiHat()
{
    Instrument in{"kivo hihat", {0, 0}, 34};
    const int n = kDrumRate * 5 / 100;
    Noise noise(0x7A11u);
    int prev = 0;
    int64_t env = 65536;
    for (int i = 0; i < n; ++i) {
        int x = noise.Next();
        int v = (x - prev) / 2; // first difference: a crude high-pass
        prev = x;
        env = env * 64900 / 65536;
        in.data.push_back(static_cast<uint8_t>(ToS8(v, env)));
    }
    if (in.data.size() % 2)
        in.data.push_back(0);
    return in;
}

enum SampleNo { kBass = 1, kLead, kChord, kKick, kSnare, kHat };

// Amiga periods, finetune 0, C-1 .. B-3.
constexpr int kPeriods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 339, 320,
                              302, 285, 269, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

// "A-2" style note names to periods.
int Period(const char *note)
{
    static const char *names[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
    for (int k = 0; k < 12; ++k) {
        if (std::strncmp(note, names[k], 2) == 0) {
            int octave = note[2] - '1';
            if (octave < 0 || octave > 2 || note[3] != '\0')
                break;
            return kPeriods[octave * 12 + k];
        }
    }
    throw std::logic_error(std::string("bad note ") + note);
}

struct Cell {
    int sample = 0, period = 0, effect = 0, param = 0;
};

using Pattern = std::array<std::array<Cell, 4>, 64>;

void Note(Pattern &p, int row, int ch, int sample, const char *note, int effect = 0, int param = 0)
{
    p[row][ch] = {sample, Period(note), effect, param};
}

void Effect(Pattern &p, int row, int ch, int effect, int param)
{
    p[row][ch].effect = effect;
    p[row][ch].param = param;
}

struct Bar {
    const char *bass[2]; // root, fifth (lower octave names)
    const char *chord;   // arpeggio base note
    int arp;             // 0xy arpeggio parameter
};

// Am, F, C, G.
const Bar kBars[4] = {
    {{"A-1", "E-2"}, "A-2", 0x37},
    {{"F-1", "C-2"}, "F-2", 0x47},
    {{"C-2", "G-2"}, "C-2", 0x47},
    {{"G-1", "D-2"}, "G-2", 0x47},
};

// Bass, chords and drums for the four bars; `busy` adds 16th hi-hats (cut
// short with ECx) and a snare roll (E9x) into the next pattern.
void Backing(Pattern &p, bool busy)
{
    for (int bar = 0; bar < 4; ++bar) {
        int r0 = bar * 16;
        const Bar &b = kBars[bar];
        const char *line[8] = {b.bass[0], b.bass[0], b.bass[1], b.bass[0], b.bass[0], b.bass[1], b.bass[0], b.bass[1]};
        for (int k = 0; k < 8; ++k)
            Note(p, r0 + k * 2, 0, kBass, line[k]);
        Note(p, r0, 2, kChord, b.chord, 0x0, b.arp);
        for (int r = 1; r < 16; ++r)
            Effect(p, r0 + r, 2, 0x0, b.arp);
        for (int r = 0; r < 16; r += busy ? 1 : 2) {
            int sample = (r == 0 || r == 8 || r == 10) ? kKick : (r == 4 || r == 12) ? kSnare : kHat;
            if (sample == kKick && r == 10 && !busy)
                sample = kHat;
            Note(p, r0 + r, 3, sample, "C-3");
            if (sample == kHat)
                Effect(p, r0 + r, 3, r % 4 == 2 ? 0xC : 0xE,
                       r % 4 == 2 ? 40 : (busy ? 0xC2 : 0xC4)); // accents, short hats
        }
    }
    if (busy) {
        for (int r = 60; r < 64; ++r) {
            Note(p, r, 3, kSnare, "C-3", 0xE, r < 62 ? 0x93 : 0x92); // roll, faster at the end
        }
        Effect(p, 63, 0, 0x2, 0x03); // the bass falls into the loop
    }
}

// A held lead note fades: volume slide down on the rows after it.
void Fade(Pattern &p, int from, int to, int param)
{
    for (int r = from; r < to; ++r)
        if (p[r][1].period == 0 && p[r][1].effect == 0)
            Effect(p, r, 1, 0xA, param);
}

struct Melody {
    int row;
    const char *note;
};

void Lead(Pattern &p, std::initializer_list<Melody> notes)
{
    for (const Melody &m : notes)
        Note(p, m.row, 1, kLead, m.note);
}

std::array<Pattern, 4> Patterns()
{
    std::array<Pattern, 4> ps{};
    Backing(ps[0], false);
    Effect(ps[0], 0, 1, 0xF, 125); // tempo
    Effect(ps[0], 1, 1, 0xF, 6);   // ticks per row
    Backing(ps[1], false);
    Lead(ps[1], {{0, "A-2"},  {4, "C-3"},  {6, "B-2"},  {8, "A-2"},  {12, "E-2"}, {16, "F-2"}, {20, "A-2"},
                 {24, "C-3"}, {28, "A-2"}, {30, "G-2"}, {32, "E-2"}, {36, "G-2"}, {40, "C-3"}, {42, "D-3"},
                 {44, "E-3"}, {48, "D-3"}, {52, "B-2"}, {56, "G-2"}, {60, "B-2"}, {62, "D-3"}});
    Fade(ps[1], 2, 4, 0x02);
    Fade(ps[1], 14, 16, 0x03);
    Fade(ps[1], 50, 52, 0x02);
    Fade(ps[1], 58, 60, 0x02);
    Backing(ps[2], false);
    Lead(ps[2], {{0, "E-3"},
                 {2, "D-3"},
                 {4, "C-3"},
                 {8, "B-2"},
                 {10, "C-3"},
                 {12, "A-2"},
                 {16, "A-2"},
                 {20, "F-2"},
                 {22, "G-2"},
                 {24, "A-2"},
                 {28, "C-3"},
                 {32, "G-2"},
                 {34, "E-2"},
                 {40, "C-3"},
                 {44, "E-3"},
                 {46, "D-3"},
                 {48, "D-3"},
                 {56, "B-2"},
                 {60, "G-2"}});
    Note(ps[2], 36, 1, 0, "G-2", 0x3, 0x06); // slide up from E into G
    for (int r = 37; r < 40; ++r)
        Effect(ps[2], r, 1, 0x3, 0x00);
    for (int r = 49; r < 54; ++r) // let the long D sing
        Effect(ps[2], r, 1, 0x4, 0x44);
    for (int r = 54; r < 56; ++r)
        Effect(ps[2], r, 1, 0x6, 0x03); // and fade with the vibrato
    Fade(ps[2], 13, 16, 0x02);
    Backing(ps[3], true);
    for (int r = 32; r < 64; ++r) // the last two bars: a sustained chord with tremolo
        Effect(ps[3], r, 2, 0x7, r == 32 ? 0x46 : 0x00);
    Note(ps[3], 32, 2, kChord, "C-2", 0x7, 0x46);
    Note(ps[3], 48, 2, kChord, "G-2", 0x7, 0x00);
    Lead(ps[3], {{0, "C-3"},
                 {8, "E-3"},
                 {16, "F-3"},
                 {24, "A-3"},
                 {32, "G-3"},
                 {40, "E-3"},
                 {48, "D-3"},
                 {52, "B-2"},
                 {56, "G-2"},
                 {60, "D-2"}});
    for (int r : {1, 9, 17, 25, 33, 41})
        Effect(ps[3], r, 1, 0x4, 0x33);
    Effect(ps[3], 63, 1, 0xB, 0x01); // back to the first melody
    return ps;
}

void PutName(Bytes &b, std::size_t at, const char *name, std::size_t size)
{
    for (std::size_t i = 0; i < size && name[i]; ++i)
        b[at + i] = static_cast<uint8_t>(name[i]);
}

void PutWord(Bytes &b, std::size_t at, int v)
{
    b[at] = static_cast<uint8_t>((v >> 8) & 0xFF);
    b[at + 1] = static_cast<uint8_t>(v & 0xFF);
}

} // namespace

Bytes MakeModule()
{
    const Instrument ins[6] = {Bass(), Lead(), Chord(), Kick(), Snare(), HiHat()};
    const int order[] = {0, 1, 2, 1, 3};
    auto patterns = Patterns();

    Bytes b(1084, 0);
    PutName(b, 0, "kivo pyr", 20);
    for (int s = 0; s < 31; ++s) {
        std::size_t at = 20 + 30 * s;
        if (s < 6) {
            const Instrument &in = ins[s];
            PutName(b, at, in.name, 22);
            PutWord(b, at + 22, static_cast<int>(in.data.size() / 2));
            b[at + 25] = static_cast<uint8_t>(in.volume);
            PutWord(b, at + 26, in.loopStart / 2);
            PutWord(b, at + 28, in.loopLength ? in.loopLength / 2 : 1);
        } else {
            PutWord(b, at + 28, 1); // empty slot
        }
    }
    b[950] = static_cast<uint8_t>(std::size(order));
    b[951] = 127;
    for (std::size_t i = 0; i < std::size(order); ++i)
        b[952 + i] = static_cast<uint8_t>(order[i]);
    std::memcpy(&b[1080], "M.K.", 4);
    for (const Pattern &p : patterns) {
        for (const auto &row : p) {
            for (const Cell &c : row) {
                b.push_back(static_cast<uint8_t>((c.sample & 0xF0) | ((c.period >> 8) & 0x0F)));
                b.push_back(static_cast<uint8_t>(c.period & 0xFF));
                b.push_back(static_cast<uint8_t>(((c.sample & 0x0F) << 4) | (c.effect & 0x0F)));
                b.push_back(static_cast<uint8_t>(c.param));
            }
        }
    }
    for (const Instrument &in : ins)
        b.insert(b.end(), in.data.begin(), in.data.end());
    return b;
}

} // namespace kivo::gen
