#include "synth.h"

namespace kivo::gen {

int Sine(uint32_t phase)
{
    // Half turn as 0..32767, then 16x(1-x) / (5 - 4x(1-x)) with x in units of 1/32768.
    uint32_t h = phase >> 16;
    int64_t x = h & 0x7FFF;
    int64_t a = x * (32768 - x); // up to 2^28
    int64_t v = 16 * a * 32767 / (5LL * 32768 * 32768 - 4 * a);
    return (h & 0x8000) ? -static_cast<int>(v) : static_cast<int>(v);
}

uint32_t PhaseStep(int64_t milliHertz, int rate)
{
    return static_cast<uint32_t>((milliHertz << 32) / (static_cast<int64_t>(rate) * 1000));
}

int Triangle(uint32_t phase)
{
    // 0..2^32 -> up from 0 to max, down to min, back to 0.
    int64_t p = phase >> 16; // 0..65535
    int64_t v;
    if (p < 16384)
        v = p * 2;
    else if (p < 49152)
        v = 65536 - p * 2;
    else
        v = p * 2 - 131072;
    if (v > 32767)
        v = 32767;
    if (v < -32767)
        v = -32767;
    return static_cast<int>(v);
}

int Saw(uint32_t phase)
{
    int v = static_cast<int>(phase >> 16) - 32768;
    return v < -32767 ? -32767 : v;
}

int Noise::Next()
{
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    int v = static_cast<int>(m_state >> 16) - 32768;
    return v < -32767 ? -32767 : v;
}

int8_t ToS8(int64_t level, int64_t gain16)
{
    int64_t v = level * gain16 / 65536 / 256;
    if (v > 127)
        v = 127;
    if (v < -127)
        v = -127;
    return static_cast<int8_t>(v);
}

} // namespace kivo::gen
