#pragma once
// The cog's pixel mixer (ADDPIX/MULPIX/BLNPIX/MIXPIX with SETPIV/SETPIX) and
// colourspace converter (SETCY/SETCI/SETCQ/SETCFRQ/SETCMOD), as pure functions
// of their inputs.
#include <cstdint>

namespace kivo::sim {

// Each byte pair: ((D * DMIX + S * SMIX + $FF) >> 8) max $FF. `v` is SETPIV's
// V[7:0], `m` SETPIX's M[5:0].
std::uint32_t addPix(std::uint32_t d, std::uint32_t s);
std::uint32_t mulPix(std::uint32_t d, std::uint32_t s);
std::uint32_t blnPix(std::uint32_t d, std::uint32_t s, std::uint8_t v);
std::uint32_t mixPix(std::uint32_t d, std::uint32_t s, std::uint8_t v, std::uint8_t m);

// The colourspace converter's settings and its modulator phase.
struct ColorSpace {
    std::uint32_t cy = 0, ci = 0, cq = 0, cfrq = 0;
    std::uint32_t cmod = 0; // 9 bits
    std::uint32_t phs = 0;  // modulator phase, decreased by CFRQ each clock

    // CMOD[6:5] != 0: the converter drives the DACs.
    bool active() const { return (cmod >> 5 & 3) != 0; }
    // Composite modes depend on PHS, so their output changes every clock.
    bool modulates() const { return (cmod >> 5 & 3) >= 2; }
    // DAC3..DAC0 out for DAC3..DAC0 in, with the current PHS (the output
    // appears kDelay clocks after its input).
    std::uint32_t convert(std::uint32_t dacs) const;
    static constexpr int kDelay = 5;
};

} // namespace kivo::sim
