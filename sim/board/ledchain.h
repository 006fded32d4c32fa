#pragma once
// A string of single-wire RGB(W) LEDs on one pin: each bit's high and low
// time is checked against the part's data-sheet windows, the bits are shifted
// into the LEDs in order (the first LED keeps the first 24 or 32 bits), and a
// low time of at least the part's reset time latches every LED.
#include "board/instrument.h"

#include <array>
#include <string>
#include <vector>

namespace kivo::sim {

// Bit timing windows of one part, in nanoseconds (inclusive).
struct LedTiming {
    std::string part;
    double t0hMin, t0hMax, t0lMin, t0lMax;
    double t1hMin, t1hMax, t1lMin, t1lMax;
    double resetUs; // a low time at least this long latches
};

enum class LedType { WS2812B, WS2811, WS2812, WS2813, SK6812 };

struct LedPart {
    LedType type;
    int bits;                       // 24, or 32 for RGBW
    bool rgbOrder;                  // R G B on the wire (else G R B)
    std::vector<LedTiming> timings; // every window the bits must satisfy
};
// The part for the LED string object's type index 0..4 (WS2812B is checked
// against both its older and its newer parts' windows).
LedPart LedPartFor(int typeIndex);

class LedChain : public Instrument
{
public:
    LedChain(int pin, int count, LedPart part);
    std::vector<int> pins() const override { return {m_pin}; }
    void connect(Pins &pins) override;
    void pinChanged(int pin, Clock at) override;
    Clock nextEvent() const override { return m_latchDue; }
    void run(Clock at) override;
    void finish(Clock at) override;
    std::string what() const override { return "LED chain"; }
    Json observations() const override;

    struct Violation {
        Clock at;
        long bit; // bit index since the last latch
        std::string text;
    };
    struct Latch {
        Clock at;
        long bits;                          // bits received since the previous latch
        std::vector<std::uint32_t> colours; // $RRGGBB or $RRGGBBWW per LED
    };
    // Every latch whose colours differ from the latch before (capped), and
    // the count of all latches.
    const std::vector<Latch> &latches() const { return m_latches; }
    std::uint64_t latchCount() const { return m_latchCount; }
    const std::vector<Violation> &violations() const { return m_violations; }
    std::uint64_t violationCount() const { return m_violationCount; }
    // The colours the LEDs show now.
    const std::vector<std::uint32_t> &shown() const { return m_shown; }

private:
    void bitDone(double highNs, double lowNs, Clock at);
    void latch(Clock at);
    void violation(Clock at, const std::string &text);

    int m_pin, m_count;
    LedPart m_part;
    double m_threshold; // high time above which a bit is a 1 (ns)
    bool m_level = false;
    bool m_haveRise = false;
    Clock m_rise = 0, m_fall = 0;
    double m_highNs = 0;
    bool m_pendingLow = false; // a bit whose low time is still running
    Clock m_latchDue = kNever;
    long m_bitCount = 0;                // bits since the last latch
    std::vector<std::uint32_t> m_shift; // the bits each LED has taken
    std::vector<std::uint32_t> m_shown;
    std::vector<Latch> m_latches;
    std::uint64_t m_latchCount = 0;
    std::vector<Violation> m_violations;
    std::uint64_t m_violationCount = 0;
};

} // namespace kivo::sim
