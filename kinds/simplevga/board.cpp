// The Simple VGA object on the simulated board: a monitor on its five pins.
#include "board/vgamonitor.h"
#include "kinds/simplevga/slots.h"
#include "model/text.h"
#include "run/kindboard.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kivo::sim {

namespace {

// An 8-bit indexed 640 x 480 BMP as the monitor should show it, rows
// top-down, R G B: the driver scales each level to the nearest of the 8-bit
// DAC's levels at 0.7/1.0 of full scale (1.0 V into the monitor's 75 Ohm),
// and the monitor reads 0..0.7 V as 0..255. Empty when the file is not such
// a bitmap.
std::vector<std::uint8_t> BitmapAsShown(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::string bmp((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    auto le = [&](std::size_t at, int bytes) {
        std::uint32_t v = 0;
        for (int i = bytes - 1; i >= 0; i--)
            v = v << 8 | std::uint8_t(bmp[at + std::size_t(i)]);
        return v;
    };
    constexpr int w = VgaMonitor::kWidth, h = VgaMonitor::kHeight;
    if (bmp.size() < 54 || bmp.compare(0, 2, "BM") != 0 || le(18, 4) != w || le(22, 4) != h || le(28, 2) != 8)
        return {};
    const std::size_t pixels = le(10, 4), palette = 14 + le(14, 4);
    if (pixels + std::size_t(w) * h > bmp.size() || palette + 256 * 4 > bmp.size())
        return {};
    auto shown = [](int v) { return std::uint8_t(std::min(255L, std::lround(((v * 179 + 128) >> 8) / 0.7))); };
    std::vector<std::uint8_t> rgb(std::size_t(w * h * 3));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const std::size_t i = std::uint8_t(bmp[pixels + std::size_t(h - 1 - y) * w + std::size_t(x)]);
            for (int c = 0; c < 3; c++) // the table holds B, G, R
                rgb[std::size_t(y * w + x) * 3 + std::size_t(c)] =
                    shown(std::uint8_t(bmp[palette + i * 4 + std::size_t(2 - c)]));
        }
    return rgb;
}

class SimpleVgaBoardImpl : public IKindBoard
{
public:
    std::int32_t Code() const override { return kSimpleVGA; }
    bool wire(BoardWiring &wiring, ProjectBoard::Wired &w) const override
    {
        const CCodeObject &o = *w.object;
        auto hs = wiring.pinsOf(o.m_strName, kVgaHSyncUsage);
        int base = hs.empty() ? PinNumber(SimpleVgaSlots(o).BasePin()) : hs.front();
        if (base < 0 || base > 59)
            return true;
        auto mon = std::make_shared<VgaMonitor>(base);
        wiring.offerMonitor(mon);
        for (int i = 0; i < 4; i++)
            wiring.addAnalog(base + i);
        w.device = mon;
        return true;
    }
    // 640 x 480 at 59.94 Hz with negative syncs, and the first complete
    // frame equal to bitmap2.bmp as the DAC shows it.
    Verdict verify(const VerifyView &v) const override
    {
        auto mon = std::dynamic_pointer_cast<VgaMonitor>(v.wired.device);
        if (!mon)
            return Skip("no pins for a monitor");
        Json o = mon->observations();
        Json m = Json::object();
        for (const char *key : {"mode", "hsyncPolarity", "vsyncPolarity", "lineRateHz", "frameRateHz"})
            m[key] = o.value(key, Json(nullptr));
        const std::string want = "640 x 480 at 59.94 Hz with negative syncs";
        const std::string seen = Shown(mon->frameHz(), 3) + " Hz frames of " + Shown(mon->lineHz(), 1) + " Hz lines, " +
                                 (mon->hsyncNegative() ? "negative" : "positive") + " H-sync, " +
                                 (mon->vsyncNegative() ? "negative" : "positive") + " V-sync";
        if (!o.value("synced", false) || o.at("mode").is_null() || std::fabs(mon->frameHz() - 59.94) > 0.06 ||
            !mon->hsyncNegative() || !mon->vsyncNegative())
            return Fail(want, o.value("synced", false) ? seen : "no picture the monitor could sync on", m);
        if (!mon->captured())
            return Fail(want + " and a complete frame", "no complete frame in the run", m);
        const std::string bmp = (std::filesystem::path(v.folder()) / "bitmap2.bmp").string();
        const std::vector<std::uint8_t> expected = BitmapAsShown(bmp);
        if (expected.empty())
            return Skip("the picture is not checked: " + bmp + " is not the 640 x 480 8-bit bitmap the driver shows");
        const auto &frame = mon->frame();
        long bad = 0, first = -1;
        for (std::size_t i = 0; i < expected.size(); i++)
            if (frame[i] != expected[i] && bad++ == 0)
                first = long(i / 3);
        m["differingPixelChannels"] = bad;
        if (bad)
            return Fail("the frame of bitmap2.bmp",
                        Format("%ld channels differ, the first at pixel %ld,%ld", bad, first % VgaMonitor::kWidth,
                               first / VgaMonitor::kWidth),
                        m);
        return Pass(seen + "; the frame equals bitmap2.bmp", m);
    }
};

} // namespace

const IKindBoard &SimpleVgaBoard()
{
    static const SimpleVgaBoardImpl board;
    return board;
}

} // namespace kivo::sim
