#pragma once
// Makers of the library data files (test card, sound effects, music module).
// Everything is integer arithmetic so the bytes are the same on every host.
#include <cstdint>
#include <string>
#include <vector>

namespace kivo::gen {

using Bytes = std::vector<uint8_t>;

// Rate the sound engine plays the four effects at (raw signed 8-bit mono).
constexpr int kEffectRate = 16000;

// 640 x 480 x 8 bpp Windows BMP test card.
Bytes MakeTestCard();

// Sound effects, raw signed 8-bit at kEffectRate.
Bytes MakeLaserShot(); // space_sample2_S8.raw
Bytes MakeZap();       // space_sample1_S8.raw
Bytes MakeExplosion(); // platform_sample3_S8.raw
Bytes MakeJump();      // platform_sample1_S8.raw

// Four-channel ProTracker module with synthesised instruments.
Bytes MakeModule(); // pyr.mod

struct DataFile {
    const char *name;
    Bytes (*make)();
};

// Every generated file, by its library file name.
const std::vector<DataFile> &DataFiles();

} // namespace kivo::gen
