#pragma once
// Text helpers. Strings are held as UTF-8; lone UTF-16 surrogates read from a
// project file are kept as their three-byte encodings (as WTF-8 does) so that
// every file round-trips unchanged.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

// UTF-16 code units <-> UTF-8 (lossless for any unit sequence).
std::string Utf16ToUtf8(const std::u16string &units);
std::u16string Utf8ToUtf16(std::string_view text);

// Windows-1252: the 8-bit code page of generated text and narrow strings.
std::string Cp1252ToUtf8(std::string_view bytes);
// Converts as far as possible; returns the byte offset in `text` of the first
// character the code page cannot hold, or npos when everything converted.
std::size_t Utf8ToCp1252(std::string_view text, std::string &out);

// Replaces bytes that are not valid UTF-8 with U+FFFD (for outside input).
std::string SanitizeUtf8(std::string_view text);

// The system's numeric conversion: leading white space, optional sign, digits
// up to the first other character; no digits gives 0; clamped to 32 bits.
int TextToInt(std::string_view text);
// A number from a project file that pin arithmetic takes: held to
// -1,000,000..1,000,000, so that adding pins or ports to it cannot overflow.
// Any sane value passes unchanged.
int SmallInt(int value);
inline int SmallInt(std::string_view text) { return SmallInt(TextToInt(text)); }

// printf-style formatting into a std::string.
std::string Format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Replaces every "%1" in `pattern` with `value`.
std::string ReplacePercent1(std::string pattern, std::string_view value);

} // namespace kivo
