#include "board/ledchain.h"

#include <algorithm>
#include <cstdio>

namespace kivo::sim {

namespace {
// Nominal value with the data sheets' ±150 ns.
LedTiming Nominal(const char *part, double t0h, double t0l, double t1h, double t1l, double resetUs)
{
    return {part, t0h - 150, t0h + 150, t0l - 150, t0l + 150, t1h - 150, t1h + 150, t1l - 150, t1l + 150, resetUs};
}
} // namespace

LedPart LedPartFor(int typeIndex)
{
    switch (typeIndex) {
    case 1: // WS2811 in its 800 kHz mode
        return {LedType::WS2811, 24, true, {Nominal("WS2811", 250, 1000, 600, 650, 50)}};
    case 2:
        return {LedType::WS2812, 24, false, {Nominal("WS2812", 350, 800, 700, 600, 50)}};
    case 3:
        return {LedType::WS2813, 24, false, {{"WS2813", 300, 450, 300, 100000, 750, 1000, 300, 100000, 300}}};
    case 4:
        return {LedType::SK6812, 24, false, {Nominal("SK6812", 300, 900, 600, 600, 80)}};
    default:
        return {LedType::WS2812B,
                24,
                false,
                {Nominal("WS2812B", 400, 850, 800, 450, 50),
                 {"WS2812B newer", 220, 380, 580, 1000, 580, 1000, 220, 420, 280}}};
    }
}

LedChain::LedChain(int pin, int count, LedPart part)
    : m_pin(pin), m_count(std::max(0, count)), m_part(std::move(part)), m_shift(std::size_t(m_count)),
      m_shown(std::size_t(m_count))
{
    // A part samples the line somewhere between the longest 0 and the
    // shortest 1; take the middle of the first timing's gap.
    const LedTiming &t = m_part.timings.front();
    m_threshold = (t.t0hMax + t.t1hMin) / 2;
}

void LedChain::connect(Pins &pins)
{
    Instrument::connect(pins);
    m_level = pins.level(m_pin);
}

void LedChain::violation(Clock at, const std::string &text)
{
    m_violationCount++;
    if (m_violations.size() < 200)
        m_violations.push_back({at, m_bitCount, text});
}

void LedChain::bitDone(double highNs, double lowNs, Clock at)
{
    bool one = highNs > m_threshold;
    for (const LedTiming &t : m_part.timings) {
        double hMin = one ? t.t1hMin : t.t0hMin, hMax = one ? t.t1hMax : t.t0hMax;
        double lMin = one ? t.t1lMin : t.t0lMin, lMax = one ? t.t1lMax : t.t0lMax;
        char buf[160];
        if (highNs < hMin || highNs > hMax) {
            std::snprintf(buf, sizeof buf, "%s: %s high %.1f ns outside %.0f..%.0f ns", t.part.c_str(),
                          one ? "T1H" : "T0H", highNs, hMin, hMax);
            violation(at, buf);
        }
        if (lowNs >= 0 && (lowNs < lMin || lowNs > lMax)) {
            std::snprintf(buf, sizeof buf, "%s: %s low %.1f ns outside %.0f..%.0f ns", t.part.c_str(),
                          one ? "T1L" : "T0L", lowNs, lMin, lMax);
            violation(at, buf);
        }
    }
    long led = m_bitCount / m_part.bits;
    if (led < m_count)
        m_shift[std::size_t(led)] = m_shift[std::size_t(led)] << 1 | (one ? 1u : 0u);
    m_bitCount++;
}

void LedChain::latch(Clock at)
{
    m_latchDue = kNever;
    if (m_bitCount == 0)
        return;
    m_latchCount++;
    for (int i = 0; i < m_count; i++) {
        long taken = std::clamp(m_bitCount - long(i) * m_part.bits, 0L, long(m_part.bits));
        if (taken < m_part.bits) {
            if (taken > 0)
                violation(at, "LED " + std::to_string(i) + " latched with " + std::to_string(taken) + " of " +
                                  std::to_string(m_part.bits) + " bits");
            continue; // an LED keeps its colour until it has all its bits
        }
        std::uint32_t w = m_shift[std::size_t(i)];
        std::uint32_t a = w >> (m_part.bits - 8) & 0xFF, b = w >> (m_part.bits - 16) & 0xFF,
                      c = w >> (m_part.bits - 24) & 0xFF;
        std::uint32_t r = m_part.rgbOrder ? a : b, g = m_part.rgbOrder ? b : a;
        std::uint32_t rgb = r << 16 | g << 8 | c;
        m_shown[std::size_t(i)] = m_part.bits == 32 ? (rgb << 8 | (w & 0xFF)) : rgb;
        m_shift[std::size_t(i)] = 0;
    }
    if ((m_latches.empty() || m_latches.back().colours != m_shown) && m_latches.size() < 500)
        m_latches.push_back({at, m_bitCount, m_shown});
    m_bitCount = 0;
}

void LedChain::pinChanged(int, Clock at)
{
    bool level = m_pins->level(m_pin);
    if (level == m_level)
        return;
    m_level = level;
    if (level) {
        if (m_pendingLow) {
            if (at >= m_latchDue) {
                bitDone(m_highNs, -1, m_latchDue); // its low time was the reset
                latch(m_latchDue);
            } else {
                bitDone(m_highNs, span(m_fall, at) * 1e9, at);
            }
            m_pendingLow = false;
        }
        m_latchDue = kNever;
        m_rise = at;
        m_haveRise = true;
    } else {
        m_fall = at;
        if (!m_haveRise)
            return;
        m_highNs = span(m_rise, at) * 1e9;
        // Latch when the line stays low for the reset time.
        double resetS = m_part.timings.front().resetUs * 1e-6;
        for (const LedTiming &t : m_part.timings)
            resetS = std::max(resetS, t.resetUs * 1e-6);
        m_latchDue = m_pins->time().clockAt(seconds(at) + resetS);
        m_pendingLow = true;
    }
}

void LedChain::run(Clock at)
{
    if (m_latchDue == kNever || at < m_latchDue)
        return;
    if (m_pendingLow) {
        bitDone(m_highNs, -1, at); // the last bit's low time is the reset
        m_pendingLow = false;
    }
    latch(at);
}

void LedChain::finish(Clock at) { run(at); }

Json LedChain::observations() const
{
    auto hex = [&](std::uint32_t c) {
        char buf[12];
        std::snprintf(buf, sizeof buf, m_part.bits == 32 ? "#%08X" : "#%06X", c);
        return std::string(buf);
    };
    Json o = Json::object();
    o["leds"] = m_count;
    o["part"] = m_part.timings.front().part;
    Json windows = Json::array();
    for (const auto &t : m_part.timings)
        windows.push_back(t.part);
    o["checkedAgainst"] = std::move(windows);
    Json shown = Json::array();
    for (auto c : m_shown)
        shown.push_back(hex(c));
    o["colours"] = std::move(shown);
    o["latchCount"] = m_latchCount;
    Json latches = Json::array();
    for (const auto &l : m_latches) {
        Json j = Json::object();
        j["atS"] = Rounded(seconds(l.at), 9);
        j["bits"] = l.bits;
        Json cs = Json::array();
        for (auto c : l.colours)
            cs.push_back(hex(c));
        j["colours"] = std::move(cs);
        latches.push_back(std::move(j));
    }
    o["latches"] = std::move(latches);
    o["violationCount"] = m_violationCount;
    Json vs = Json::array();
    for (const auto &v : m_violations) {
        Json j = Json::object();
        j["atS"] = Rounded(seconds(v.at), 9);
        j["bit"] = v.bit;
        j["what"] = v.text;
        vs.push_back(std::move(j));
    }
    o["violations"] = std::move(vs);
    return o;
}

} // namespace kivo::sim
