// The four game sound effects. Each is a few oscillators and noise with
// integer envelopes; lengths are whole samples at kEffectRate.
#include "gendata.h"
#include "synth.h"

namespace kivo::gen {

namespace {

// Linear fade-in over the first `attack` samples (gain in 1/65536).
int64_t Attack(int i, int attack) { return i >= attack ? 65536 : 65536LL * i / attack; }

} // namespace

Bytes MakeLaserShot()
{
    // A falling pulse sweep, 2400 Hz down to 180 Hz along a square-law
    // curve, over a sine at half the pitch, with a squared decay.
    const int n = kEffectRate * 30 / 100;
    Bytes out(n);
    uint32_t pulse = 0, sub = 0;
    for (int i = 0; i < n; ++i) {
        int64_t left = n - i;
        int64_t milliHz = 180000 + (2400000LL - 180000) * left * left / (int64_t(n) * n);
        pulse += PhaseStep(milliHz, kEffectRate);
        sub += PhaseStep(milliHz / 2, kEffectRate);
        int square = (pulse >> 30) == 0 ? 32767 : -32767; // 25 % duty
        int level = square / 2 + Sine(sub) / 2;
        int64_t gain = Attack(i, 32) * left / n * left / n * 2;
        out[i] = static_cast<uint8_t>(ToS8(level, gain > 65536 ? 65536 : gain));
    }
    return out;
}

Bytes MakeZap()
{
    // A rising carrier, ring-modulated by a 90 Hz square and a little
    // noise, decaying linearly.
    const int n = kEffectRate * 20 / 100;
    Bytes out(n);
    uint32_t carrier = 0, mod = 0;
    Noise noise(0x2A5F17u);
    for (int i = 0; i < n; ++i) {
        int64_t milliHz = 600000 + 1200000LL * i / n;
        carrier += PhaseStep(milliHz, kEffectRate);
        mod += PhaseStep(90000, kEffectRate);
        int ring = (mod >> 31) ? -Triangle(carrier) : Triangle(carrier);
        int level = ring - ring / 8 + noise.Next() / 8;
        int64_t gain = Attack(i, 16) * (n - i) / n;
        out[i] = static_cast<uint8_t>(ToS8(level, gain));
    }
    return out;
}

Bytes MakeExplosion()
{
    // Noise through a one-pole low-pass whose cut-off falls over time, on
    // top of a falling 60 Hz rumble; exponential decay after a short burst.
    const int n = kEffectRate * 14 / 10;
    Bytes out(n);
    Noise noise(0x51C0FFEu);
    int64_t lp = 0, lp2 = 0;
    uint32_t rumble = 0;
    int64_t env = 65536;
    for (int i = 0; i < n; ++i) {
        // Filter coefficient in 1/65536: from about 0.5 down to 0.03.
        int64_t k = 2000 + 31000LL * (n - i) / n * (n - i) / n;
        lp += (noise.Next() - lp) * k / 65536;
        lp2 += (lp - lp2) * k / 65536;
        rumble += PhaseStep(60000 - 30000LL * i / n, kEffectRate);
        int64_t level = lp2 * 3 + Sine(rumble) / 3;
        if (i > kEffectRate / 20)
            env = env * 65522 / 65536; // about -7 dB per 100 ms
        out[i] = static_cast<uint8_t>(ToS8(level, Attack(i, 48) * env / 65536));
    }
    return out;
}

Bytes MakeJump()
{
    // A square wave bending up from 250 Hz to 900 Hz, with a quick
    // vibrato, holding full level and releasing over the last 30 %.
    const int n = kEffectRate * 25 / 100;
    Bytes out(n);
    uint32_t phase = 0, lfo = 0;
    for (int i = 0; i < n; ++i) {
        int64_t rise = 65536 - 65536LL * (n - i) / n * (n - i) / n; // fast at first
        int64_t milliHz = 250000 + 650000 * rise / 65536;
        lfo += PhaseStep(24000, kEffectRate);
        milliHz += milliHz * Sine(lfo) / 32767 / 40;
        phase += PhaseStep(milliHz, kEffectRate);
        int level = (phase >> 31) ? -24000 : 24000;
        int64_t gain = Attack(i, 24);
        int release = n * 7 / 10;
        if (i > release)
            gain = gain * (n - i) / (n - release);
        out[i] = static_cast<uint8_t>(ToS8(level + Sine(phase) / 4, gain));
    }
    return out;
}

const std::vector<DataFile> &DataFiles()
{
    static const std::vector<DataFile> files = {
        {"bitmap2.bmp", MakeTestCard},         {"space_sample2_S8.raw", MakeLaserShot},
        {"space_sample1_S8.raw", MakeZap},     {"platform_sample3_S8.raw", MakeExplosion},
        {"platform_sample1_S8.raw", MakeJump}, {"pyr.mod", MakeModule},
    };
    return files;
}

} // namespace kivo::gen
