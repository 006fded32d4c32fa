#pragma once
// PNG files through libpng.
#include <cstdint>
#include <string>
#include <vector>

namespace kivo::sim {

// Writes an 8-bit RGB image (rows top-down, 3 bytes a pixel). False, with
// the reason in *error, when the file cannot be written.
bool WritePng(const std::string &path, int width, int height, const std::vector<std::uint8_t> &rgb,
              std::string *error = nullptr);
// Reads an 8-bit RGB PNG back (for tests and tools).
bool ReadPng(const std::string &path, int &width, int &height, std::vector<std::uint8_t> &rgb,
             std::string *error = nullptr);

} // namespace kivo::sim
