#pragma once
// A VGA monitor on five pins from a base: H-sync (base), blue, green, red
// (base+1..3, each terminated in 75 Ohm) and V-sync (base+4). Like a real
// monitor it finds the sync polarities and rates, recognises the mode
// (640 x 480 at 60 Hz), and once it has synced captures the first complete
// visible frame: each colour sampled in the middle of each pixel, 0..0.7 V
// mapped to 0..255.
#include "board/instrument.h"

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

namespace kivo::sim {

class VgaMonitor : public Instrument
{
public:
    static constexpr int kWidth = 640, kHeight = 480;
    // The mode's standard timing, in pixels and lines.
    static constexpr int kHTotal = 800, kHSync = 96, kHBack = 48, kHFront = 16;
    static constexpr int kVTotal = 525, kVSync = 2, kVBack = 33, kVFront = 10;

    explicit VgaMonitor(int basePin);
    std::vector<int> pins() const override;
    void connect(Pins &pins) override;
    void pinChanged(int pin, Clock at) override;
    void finish(Clock at) override;
    std::string what() const override { return "VGA monitor"; }
    Json observations() const override;

    bool captured() const { return m_captured; }
    // Captures again: the next complete frame from the next V-sync on.
    void captureNext()
    {
        m_capture = Capture::Waiting;
        m_captured = false;
    }
    // Rows top-down, R G B bytes per pixel.
    const std::vector<std::uint8_t> &frame() const { return m_frame; }
    double lineHz() const;
    double frameHz() const;
    bool hsyncNegative() const { return m_h.polarity == 0; }
    bool vsyncNegative() const { return m_v.polarity == 0; }

private:
    struct Change {
        Clock at;
        int channel; // 0 red, 1 green, 2 blue
        double volts;
    };
    void hsyncEdge(bool level, Clock at);
    void vsyncEdge(bool level, Clock at);
    void lineStart(Clock at);
    void finishLine(Clock end);
    bool modeMatches() const;

    int m_base;
    // A sync input: its polarity (the pulse's level: 0 negative, 1 positive,
    // -1 not known yet) learnt from the durations of its two levels.
    struct SyncInput {
        int polarity = -1;
        int edges = 0;
        Clock lastEdge = 0;
        std::array<Clock, 2> duration{};
    };
    bool learnPolarity(SyncInput &in, bool level, Clock at);
    SyncInput m_h, m_v;
    bool m_hLevel = true, m_vLevel = true;
    Clock m_hLead = 0, m_hTrail = 0; // the current line's sync edges
    bool m_haveLine = false;
    std::deque<Clock> m_hLeads; // recent line starts
    Clock m_vLead = 0, m_vTrail = 0;
    int m_vLeads = 0;
    bool m_hLocked = false;
    long m_line = -1; // line number since the last V-sync lead
    long m_linesLastFrame = 0, m_linesThisFrame = 0;
    double m_framePeriod = 0; // seconds
    double m_hSyncUs = 0;
    double m_vSyncLines = 0;
    int m_frames = 0; // V-sync leads seen while locked

    // Capture.
    std::array<double, 3> m_volts{}; // the colour inputs now
    std::array<double, 3> m_lineStartVolts{};
    std::vector<Change> m_changes; // this line's colour changes
    enum class Capture { Waiting, Armed, Running, Done } m_capture = Capture::Waiting;
    bool m_captured = false;
    std::vector<std::uint8_t> m_frame;
    // Porches measured on the captured frame from where the picture lights.
    double m_litStartUs = -1, m_litEndToSyncUs = -1;
    long m_firstLitLine = -1, m_lastLitLine = -1;
    long m_captureLines = 0;
};

} // namespace kivo::sim
