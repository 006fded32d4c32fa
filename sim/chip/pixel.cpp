#include "chip/pixel.h"

namespace kivo::sim {

namespace {

std::uint32_t mixBytes(std::uint32_t d, std::uint32_t s, int dmixSel, int smixSel, std::uint8_t v)
{
    std::uint32_t out = 0;
    for (int b = 0; b < 32; b += 8) {
        const std::uint32_t db = (d >> b) & 0xFF, sb = (s >> b) & 0xFF;
        auto term = [&](int sel) -> std::uint32_t {
            switch (sel & 7) {
            case 0:
                return 0x00;
            case 1:
                return 0xFF;
            case 2:
                return v;
            case 3:
                return std::uint32_t(~v) & 0xFF;
            case 4:
                return sb;
            case 5:
                return ~sb & 0xFF;
            case 6:
                return db;
            default:
                return ~db & 0xFF;
            }
        };
        std::uint32_t r = (db * term(dmixSel) + sb * term(smixSel) + 0xFF) >> 8;
        out |= (r > 0xFF ? 0xFF : r) << b;
    }
    return out;
}

} // namespace

// The fixed instructions are MIXPIX with these selector pairs (M[5:3], M[2:0]).
std::uint32_t addPix(std::uint32_t d, std::uint32_t s) { return mixBytes(d, s, 1, 1, 0); }
std::uint32_t mulPix(std::uint32_t d, std::uint32_t s) { return mixBytes(d, s, 4, 0, 0); }
std::uint32_t blnPix(std::uint32_t d, std::uint32_t s, std::uint8_t v) { return mixBytes(d, s, 3, 2, v); }
std::uint32_t mixPix(std::uint32_t d, std::uint32_t s, std::uint8_t v, std::uint8_t m)
{
    return mixBytes(d, s, (m >> 3) & 7, m & 7, v);
}

namespace {

// Q of (i, q) rotated by `angle` (256 = a full turn; PHS counts down, so the
// rotation turns clockwise over time) through a 5-stage CORDIC, with its gain
// of about 1.646 left in.
int rotateQ(int i, int q, std::uint8_t angle)
{
    const int a = angle; // quarter turns exactly first
    int quarter = ((a + 32) / 64) & 3;
    for (int k = 0; k < quarter; ++k) {
        int ni = -q;
        q = i;
        i = ni;
    }
    int z = a - quarter * 64; // -32..31
    if (z > 128)
        z -= 256;
    // atan(2^-k) in 1/256 turns, scaled by 16 for the iterations.
    static const int atan16[5] = {512, 302, 160, 81, 41};
    int zz = z * 16;
    int x = i * 16, y = q * 16;
    for (int k = 0; k < 5; ++k) {
        const int dx = x >> k, dy = y >> k;
        if (zz >= 0) {
            x -= dy;
            y += dx;
            zz -= atan16[k];
        } else {
            x += dy;
            y -= dx;
            zz += atan16[k];
        }
    }
    return y >= 0 ? (y + 8) >> 4 : -((-y + 8) >> 4);
}

} // namespace

std::uint32_t ColorSpace::convert(std::uint32_t dacs) const
{
    const int mode = int(cmod >> 5) & 3;
    if (mode == 0)
        return dacs;
    const bool sign = (cmod >> 4) & 1;
    const std::uint32_t d3 = dacs >> 24, d2 = (dacs >> 16) & 0xFF, d1 = (dacs >> 8) & 0xFF, d0 = dacs & 0xFF;
    auto coef = [&](std::uint32_t c, int byte) {
        const std::uint32_t v = (c >> (8 * byte)) & 0xFF;
        return sign ? int(std::int8_t(v)) : int(v);
    };
    auto matrix = [&](std::uint32_t c) {
        const int sum = int(d3) * coef(c, 3) + int(d2) * coef(c, 2) + int(d1) * coef(c, 1);
        return (sum >> 7) & 0xFF; // / 128, low 8 bits
    };
    const int y = matrix(cy), i = matrix(ci), q = matrix(cq);
    const std::uint32_t add0 = d0;
    const std::uint32_t fy = (cy + ((cmod >> 3) & 1 ? add0 : 0) + std::uint32_t(y)) & 0xFF;
    const std::uint32_t fi = (ci + ((cmod >> 2) & 1 ? add0 : 0) + std::uint32_t(i)) & 0xFF;
    const std::uint32_t fq = (cq + ((cmod >> 1) & 1 ? add0 : 0) + std::uint32_t(q)) & 0xFF;
    const std::uint32_t fs = ((d0 ^ cmod) & 1) ? 0xFF : 0x00;
    if (mode == 1)
        return fy << 24 | fi << 16 | fq << 8 | fs;
    const int iq =
        rotateQ(int(std::int8_t(std::uint8_t(i))), int(std::int8_t(std::uint8_t(q))), std::uint8_t(phs >> 24));
    const std::uint32_t fiq = (cq + std::uint32_t(iq)) & 0xFF;
    const std::uint32_t fys = (d0 & 2) ? 0 : (d0 & 1) ? (ci & 0xFF) : ((cy + std::uint32_t(y)) & 0xFF);
    const std::uint32_t fyc = (fys + std::uint32_t(iq)) & 0xFF;
    if (mode == 2)
        return fyc << 24 | fyc << 16 | fiq << 8 | fys;
    return fyc * 0x01010101u;
}

} // namespace kivo::sim
