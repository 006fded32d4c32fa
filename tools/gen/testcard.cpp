// The VGA test card: colour bars with names, half-level bars, grey and
// primary ramps, a hue band, a grid, a one-pixel border on the outermost
// pixels and some wiring notes. Drawn top-down, stored bottom-up.
#include "gendata.h"

#include <cstring>
#include <stdexcept>

namespace kivo::gen {

namespace {

constexpr int kW = 640;
constexpr int kH = 480;

// Palette layout.
[[maybe_unused]] constexpr int kFull = 0; // 0..7: R*4 + G*2 + B at full level
constexpr int kHalf = 8;                  // 8..15: the same at half level
constexpr int kGrey = 16;                 // 16..79: 64 grey steps
constexpr int kRed = 80;                  // 80..111: 32 red steps
constexpr int kGreen = 112;               // 112..143
constexpr int kBlue = 144;                // 144..175
constexpr int kHue = 176;                 // 176..255: 80 hues around the colour wheel
constexpr int kBlack = 0, kBlueC = 1, kGreenC = 2, kCyan = 3, kRedC = 4, kMagenta = 5, kYellow = 6, kWhite = 7;
constexpr int kGridColour = kGrey + 20;

struct Rgb {
    int r, g, b;
};

Rgb PaletteEntry(int i)
{
    if (i < 16) {
        int level = i < 8 ? 255 : 128;
        int c = i & 7;
        return {(c & 4) ? level : 0, (c & 2) ? level : 0, (c & 1) ? level : 0};
    }
    if (i < kRed) {
        int v = ((i - kGrey) * 255 + 31) / 63;
        return {v, v, v};
    }
    if (i < kHue) {
        int step = (i - kRed) % 32;
        int v = (step * 255 + 15) / 31;
        int which = (i - kRed) / 32;
        return {which == 0 ? v : 0, which == 1 ? v : 0, which == 2 ? v : 0};
    }
    // Six 80-unit segments of the hue circle: red, yellow, green, cyan, blue, magenta.
    int h = (i - kHue) * 6; // 0..474
    int seg = h / 80;
    int up = (h % 80) * 255 / 80;
    int down = 255 - up;
    switch (seg) {
    case 0:
        return {255, up, 0};
    case 1:
        return {down, 255, 0};
    case 2:
        return {0, 255, up};
    case 3:
        return {0, down, 255};
    case 4:
        return {up, 0, 255};
    default:
        return {255, 0, down};
    }
}

// 5 x 7 glyphs, '#' = ink.
struct Glyph {
    char c;
    const char *rows[7];
};

const Glyph kFont[] = {
    {' ', {".....", ".....", ".....", ".....", ".....", ".....", "....."}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'J', {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {'i', {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."}},
    {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."}},
    {'v', {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'x', {".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"}},
    {'+', {".....", "..#..", "..#..", "#####", "..#..", "..#..", "....."}},
    {'-', {".....", ".....", ".....", "#####", ".....", ".....", "....."}},
    {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
    {',', {".....", ".....", ".....", ".....", ".##..", "..#..", ".#..."}},
    {':', {".....", ".##..", ".##..", ".....", ".##..", ".##..", "....."}},
    {'/', {"....#", "....#", "...#.", "..#..", ".#...", "#....", "#...."}},
};

const Glyph &FindGlyph(char c)
{
    for (const Glyph &g : kFont)
        if (g.c == c)
            return g;
    throw std::logic_error(std::string("no glyph for '") + c + "'");
}

class Canvas
{
public:
    Canvas() : m_px(kW * kH, kBlack) {}
    void Set(int x, int y, int c)
    {
        if (x >= 0 && x < kW && y >= 0 && y < kH)
            m_px[y * kW + x] = static_cast<uint8_t>(c);
    }
    void Fill(int x, int y, int w, int h, int c)
    {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i)
                Set(i, j, c);
    }
    static int TextWidth(const std::string &s, int scale) { return static_cast<int>(s.size()) * 6 * scale - scale; }
    // Text on a black panel with a margin of `scale` + 2 pixels.
    void Text(int x, int y, const std::string &s, int scale, int colour)
    {
        int m = scale + 2;
        Fill(x - m, y - m, TextWidth(s, scale) + 2 * m, 7 * scale + 2 * m, kBlack);
        for (std::size_t k = 0; k < s.size(); ++k) {
            const Glyph &g = FindGlyph(s[k]);
            for (int r = 0; r < 7; ++r)
                for (int c = 0; c < 5; ++c)
                    if (g.rows[r][c] == '#')
                        Fill(x + static_cast<int>(k) * 6 * scale + c * scale, y + r * scale, scale, scale, colour);
        }
    }
    void CentredText(int y, const std::string &s, int scale, int colour)
    {
        Text((kW - TextWidth(s, scale)) / 2, y, s, scale, colour);
    }
    uint8_t At(int x, int y) const { return m_px[y * kW + x]; }

private:
    std::vector<uint8_t> m_px;
};

void Put16(Bytes &b, std::size_t at, uint32_t v)
{
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}

void Put32(Bytes &b, std::size_t at, uint32_t v)
{
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

} // namespace

Bytes MakeTestCard()
{
    Canvas cv;
    // Grid every 32 pixels, then the border on the outermost pixels.
    for (int x = 0; x < kW; x += 32)
        cv.Fill(x, 0, 1, kH, kGridColour);
    for (int y = 0; y < kH; y += 32)
        cv.Fill(0, y, kW, 1, kGridColour);
    cv.Fill(kW / 2, 0, 1, kH, kGrey + 36);
    cv.Fill(0, kH / 2, kW, 1, kGrey + 36);

    cv.CentredText(36, "Kivo", 6, kYellow);
    cv.CentredText(92, "640 x 480", 3, kWhite);

    // Full-level bars with names, then the same at half level.
    const int bars[8] = {kWhite, kYellow, kCyan, kGreenC, kMagenta, kRedC, kBlueC, kBlack};
    const char *names[8] = {"WHITE", "YELLOW", "CYAN", "GREEN", "MAGENTA", "RED", "BLUE", "BLACK"};
    for (int i = 0; i < 8; ++i) {
        cv.Fill(i * 80, 130, 80, 80, bars[i]);
        cv.Fill(i * 80, 232, 80, 24, kHalf + bars[i]);
        std::string name = names[i];
        cv.Text(i * 80 + (80 - Canvas::TextWidth(name, 1)) / 2, 218, name, 1, kWhite);
    }

    // Ramps: 64 greys, then 32 steps of each primary, then the hue circle.
    cv.Text(6, 266, "GREY", 1, kWhite);
    for (int i = 0; i < 64; ++i)
        cv.Fill(i * 10, 278, 10, 28, kGrey + i);
    const int ramps[3] = {kRed, kGreen, kBlue};
    const char *rampNames[3] = {"RED", "GREEN", "BLUE"};
    for (int k = 0; k < 3; ++k) {
        int y = 312 + k * 18;
        for (int i = 0; i < 32; ++i)
            cv.Fill(i * 20, y, 20, 16, ramps[k] + i);
    }
    for (int i = 0; i < 80; ++i)
        cv.Fill(i * 8, 370, 8, 16, kHue + i);
    for (int k = 0; k < 3; ++k)
        cv.Text(604 - Canvas::TextWidth(rampNames[k], 1), 316 + k * 18, rampNames[k], 1, kWhite);

    cv.CentredText(400, "VGA PINS: BASE+0 HSYNC, +1 BLUE, +2 GREEN, +3 RED, +4 VSYNC", 1, kWhite);
    cv.CentredText(418, "31.5 KHZ H, 60 HZ V, BOTH SYNCS NEGATIVE", 1, kWhite);
    cv.CentredText(436, "THE WHITE BORDER IS THE OUTERMOST PIXEL ON EVERY SIDE", 1, kWhite);

    cv.Fill(0, 0, kW, 1, kWhite);
    cv.Fill(0, kH - 1, kW, 1, kWhite);
    cv.Fill(0, 0, 1, kH, kWhite);
    cv.Fill(kW - 1, 0, 1, kH, kWhite);

    const std::size_t pixelOffset = 14 + 40 + 256 * 4;
    Bytes b(pixelOffset + kW * kH, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, pixelOffset);
    Put32(b, 14, 40);
    Put32(b, 18, kW);
    Put32(b, 22, kH);
    Put16(b, 26, 1);
    Put16(b, 28, 8);
    Put32(b, 30, 0);
    Put32(b, 34, kW * kH);
    Put32(b, 38, 2835); // 72 dpi
    Put32(b, 42, 2835);
    Put32(b, 46, 256);
    Put32(b, 50, 0);
    for (int i = 0; i < 256; ++i) {
        Rgb c = PaletteEntry(i);
        b[54 + i * 4] = static_cast<uint8_t>(c.b);
        b[54 + i * 4 + 1] = static_cast<uint8_t>(c.g);
        b[54 + i * 4 + 2] = static_cast<uint8_t>(c.r);
    }
    for (int row = 0; row < kH; ++row) // bottom row first
        for (int x = 0; x < kW; ++x)
            b[pixelOffset + row * kW + x] = cv.At(x, kH - 1 - row);
    return b;
}

} // namespace kivo::gen
