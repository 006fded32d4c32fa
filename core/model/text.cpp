#include "model/text.h"

#include <cstdarg>
#include <cstdio>
#include <limits>

namespace kivo {

namespace {

void AppendUtf8(std::string &out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Decodes one code point at `i`; surrogate code points are accepted (WTF-8).
// Returns false on an invalid sequence, leaving `len` at 1.
bool DecodeUtf8(std::string_view s, std::size_t i, uint32_t &cp, std::size_t &len)
{
    len = 1;
    auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return true;
    }
    std::size_t n;
    uint32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        n = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        n = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        n = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (i + n > s.size())
        return false;
    for (std::size_t k = 1; k < n; ++k) {
        auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF)
        return false;
    len = n;
    return true;
}

// Code points of 0x80..0x9F in Windows-1252; bytes without a character there
// map to the C1 control of the same value, as the Windows converter does.
constexpr uint16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

std::string Utf16ToUtf8(const std::u16string &units)
{
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        uint32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            AppendUtf8(out, cp);
            ++i;
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        uint32_t cp;
        std::size_t len;
        if (!DecodeUtf8(text, i, cp, len))
            cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
        i += len;
    }
    return out;
}

std::string Cp1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 && b < 0xA0)
            AppendUtf8(out, kCp1252High[b - 0x80]);
        else
            AppendUtf8(out, b);
    }
    return out;
}

std::size_t Utf8ToCp1252(std::string_view text, std::string &out)
{
    out.reserve(out.size() + text.size());
    for (std::size_t i = 0; i < text.size();) {
        // Runs of ASCII go over as they are.
        std::size_t ascii = i;
        while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80)
            ++ascii;
        if (ascii > i) {
            out.append(text.data() + i, ascii - i);
            i = ascii;
            continue;
        }
        uint32_t cp;
        std::size_t len;
        if (!DecodeUtf8(text, i, cp, len))
            return i;
        int byte = -1;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            byte = int(cp);
        } else {
            for (int k = 0; k < 32; ++k)
                if (kCp1252High[k] == cp)
                    byte = 0x80 + k;
        }
        if (byte < 0)
            return i;
        out += char(byte);
        i += len;
    }
    return std::string::npos;
}

std::string SanitizeUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        uint32_t cp;
        std::size_t len;
        if (DecodeUtf8(text, i, cp, len) && !(cp >= 0xD800 && cp <= 0xDFFF))
            out.append(text.substr(i, len));
        else
            out += "\xEF\xBF\xBD";
        i += len;
    }
    return out;
}

int TextToInt(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    constexpr long long limit = 1LL << 32;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < limit)
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return int(value);
}

int SmallInt(int value)
{
    constexpr int limit = 1000000;
    return value < -limit ? -limit : value > limit ? limit : value;
}

std::string Format(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out(n > 0 ? std::size_t(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(out.data(), out.size() + 1, fmt, ap);
    va_end(ap);
    return out;
}

std::string ReplacePercent1(std::string pattern, std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '1') {
            out.append(value);
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

} // namespace kivo
