#pragma once
// Small integer sound-synthesis helpers shared by the effects and the module.
#include <cstdint>

namespace kivo::gen {

// Sine of a 32-bit phase (a full turn = 2^32), scaled to -32767..32767.
// Bhaskara's rational approximation: within 0.2 % of the true sine.
int Sine(uint32_t phase);

// Phase step for `milliHertz` at `rate` samples per second.
uint32_t PhaseStep(int64_t milliHertz, int rate);

// Triangle and sawtooth of a 32-bit phase, -32767..32767.
int Triangle(uint32_t phase);
int Saw(uint32_t phase);

// Repeatable white noise (xorshift32).
class Noise
{
public:
    explicit Noise(uint32_t seed) : m_state(seed ? seed : 1) {}
    // -32767..32767
    int Next();

private:
    uint32_t m_state;
};

// value * num / den with rounding towards zero, in 64 bits.
inline int Scale(int value, int64_t num, int64_t den) { return static_cast<int>(value * num / den); }

// A 16-bit level (-32767..32767) times a gain in 1/65536 steps, to a signed
// 8-bit sample clipped to -127..127.
int8_t ToS8(int64_t level, int64_t gain16);

} // namespace kivo::gen
