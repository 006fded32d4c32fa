#include "board/vgamonitor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kivo::sim {

namespace {
constexpr double kSyncThresholdVolts = 1.4; // TTL sync inputs
constexpr double kFullScaleVolts = 0.7;
constexpr double kLitVolts = 0.001; // any colour at all
constexpr int kLinesToLock = 4;
} // namespace

VgaMonitor::VgaMonitor(int basePin) : m_base(basePin) {}

std::vector<int> VgaMonitor::pins() const { return {m_base, m_base + 1, m_base + 2, m_base + 3, m_base + 4}; }

void VgaMonitor::connect(Pins &pins)
{
    Instrument::connect(pins);
    for (int i = 1; i <= 3; i++)
        pins.drive(m_base + i, {Pins::ExternalDrive::PullDown, 75.0, 0.0}, pins.now(), this);
    m_hLevel = pins.voltage(m_base) > kSyncThresholdVolts;
    m_vLevel = pins.level(m_base + 4);
    for (int c = 0; c < 3; c++)
        m_volts[std::size_t(c)] = pins.voltage(m_base + 3 - c);
}

void VgaMonitor::pinChanged(int pin, Clock at)
{
    int i = pin - m_base;
    if (i >= 1 && i <= 3) {
        int ch = 3 - i;
        double v = m_pins->voltage(pin);
        if (v == m_volts[std::size_t(ch)])
            return;
        m_volts[std::size_t(ch)] = v;
        if (m_capture == Capture::Running)
            m_changes.push_back({at, ch, v});
        return;
    }
    if (i == 0) {
        bool level = m_pins->voltage(pin) > kSyncThresholdVolts;
        if (level != m_hLevel)
            hsyncEdge(level, at);
    } else if (i == 4) {
        bool level = m_pins->level(pin);
        if (level != m_vLevel)
            vsyncEdge(level, at);
    }
}

bool VgaMonitor::learnPolarity(SyncInput &in, bool level, Clock at)
{
    // The sync pulse is the shorter of the two levels; the first interval
    // (from an unknown start) does not count.
    if (in.edges > 0)
        in.duration[!level] = at - in.lastEdge;
    in.lastEdge = at;
    in.edges++;
    if (in.duration[0] && in.duration[1])
        in.polarity = in.duration[0] < in.duration[1] ? 0 : 1;
    return in.polarity >= 0;
}

void VgaMonitor::hsyncEdge(bool level, Clock at)
{
    m_hLevel = level;
    if (m_h.polarity < 0 && !learnPolarity(m_h, level, at))
        return;
    if (level == bool(m_h.polarity)) {
        lineStart(at);
    } else if (m_haveLine) {
        m_hTrail = at;
        m_hSyncUs = span(m_hLead, at) * 1e6;
    }
}

void VgaMonitor::vsyncEdge(bool level, Clock at)
{
    m_vLevel = level;
    if (m_v.polarity < 0 && !learnPolarity(m_v, level, at))
        return;
    if (level != bool(m_v.polarity)) {
        if (m_vLeads == 0)
            return;
        m_vTrail = at;
        double line = lineHz() > 0 ? 1.0 / lineHz() : 0.0;
        if (line > 0)
            m_vSyncLines = span(m_vLead, at) / line;
        return;
    }
    // The V-sync lead starts a frame.
    if (m_vLeads > 0) {
        m_framePeriod = span(m_vLead, at);
        // Whole lines between the two leads, wherever in its line each fell.
        m_linesLastFrame = lineHz() > 0 ? std::lround(m_framePeriod * lineHz()) : m_linesThisFrame;
    }
    m_vLead = at;
    m_vLeads++;
    // Line 0 is the one whose H-sync lead is nearest to the V-sync lead.
    double half = lineHz() > 0 ? 0.5 / lineHz() : 0.0;
    bool inThisLine = m_haveLine && span(m_hLead, at) < half;
    m_line = inThisLine ? 0 : -1;
    m_linesThisFrame = inThisLine ? 1 : 0;
    if (m_hLocked)
        m_frames++;

    if (m_capture == Capture::Running) {
        if (m_captured) {
            m_capture = Capture::Done;
            m_changes.clear();
            m_changes.shrink_to_fit();
        } else { // an incomplete frame: start again
            m_frame.assign(std::size_t(kWidth) * kHeight * 3, 0);
            m_firstLitLine = m_lastLitLine = -1;
            m_litStartUs = m_litEndToSyncUs = -1;
        }
    } else if (m_capture == Capture::Waiting && m_hLocked && m_frames >= 2 && modeMatches()) {
        m_capture = Capture::Running;
        m_frame.assign(std::size_t(kWidth) * kHeight * 3, 0);
        m_changes.clear();
        m_lineStartVolts = m_volts;
    }
}

void VgaMonitor::lineStart(Clock at)
{
    if (m_haveLine) {
        finishLine(at);
        m_hLeads.push_back(at - m_hLead);
        if (m_hLeads.size() > 8)
            m_hLeads.pop_front();
        if (m_hLeads.size() >= std::size_t(kLinesToLock)) {
            double mean = 0;
            for (auto p : m_hLeads)
                mean += double(p);
            mean /= double(m_hLeads.size());
            bool stable = true;
            for (auto p : m_hLeads)
                stable = stable && std::fabs(double(p) - mean) <= 0.01 * mean;
            if (!stable && m_hLocked && m_capture == Capture::Running && !m_captured)
                m_capture = Capture::Waiting; // lost sync while capturing
            m_hLocked = stable;
        }
    }
    m_hLead = at;
    m_haveLine = true;
    if (m_line >= 0 || m_vLeads > 0)
        m_line++;
    m_linesThisFrame++;
    m_lineStartVolts = m_volts;
    m_changes.clear();
}

void VgaMonitor::finishLine(Clock end)
{
    if (m_capture != Capture::Running || m_line < 0)
        return;
    double lineClocks = double(end - m_hLead);
    double pix = lineClocks / kHTotal;
    // Where the picture lights in this line, for the porches.
    std::array<double, 3> v = m_lineStartVolts;
    auto lit = [&] { return v[0] > kLitVolts || v[1] > kLitVolts || v[2] > kLitVolts; };
    double litStart = -1, litEnd = -1;
    if (lit())
        litStart = double(m_hLead);
    for (const Change &c : m_changes) {
        bool was = lit();
        v[std::size_t(c.channel)] = c.volts;
        bool now = lit();
        if (now && !was && litStart < 0)
            litStart = double(c.at);
        if (!now && was)
            litEnd = double(c.at);
    }
    if (lit())
        litEnd = double(end);
    if (litStart >= 0 && m_hTrail >= m_hLead) {
        double hz = m_pins->time().frequencyAt(m_hLead);
        double startUs = (litStart - double(m_hTrail)) / hz * 1e6;
        double endUs = (double(end) - std::max(litEnd, litStart)) / hz * 1e6;
        m_litStartUs = m_litStartUs < 0 ? startUs : std::min(m_litStartUs, startUs);
        m_litEndToSyncUs = m_litEndToSyncUs < 0 ? endUs : std::min(m_litEndToSyncUs, endUs);
        if (m_firstLitLine < 0)
            m_firstLitLine = m_line;
        m_lastLitLine = m_line;
    }

    long y = m_line - (kVSync + kVBack);
    if (y < 0 || y >= kHeight || m_captured)
        return;
    v = m_lineStartVolts;
    std::size_t i = 0;
    std::uint8_t *row = m_frame.data() + std::size_t(y) * kWidth * 3;
    for (int x = 0; x < kWidth; x++) {
        double t = double(m_hLead) + (kHSync + kHBack + x + 0.5) * pix;
        while (i < m_changes.size() && double(m_changes[i].at) <= t) {
            v[std::size_t(m_changes[i].channel)] = m_changes[i].volts;
            i++;
        }
        for (int c = 0; c < 3; c++) {
            double val = std::round(v[std::size_t(c)] / kFullScaleVolts * 255.0);
            row[x * 3 + c] = std::uint8_t(std::clamp(val, 0.0, 255.0));
        }
    }
    m_captureLines++;
    if (y == kHeight - 1)
        m_captured = true;
}

void VgaMonitor::finish(Clock) {}

double VgaMonitor::lineHz() const
{
    if (m_hLeads.empty() || !m_pins)
        return 0.0;
    double mean = 0;
    for (auto p : m_hLeads)
        mean += double(p);
    mean /= double(m_hLeads.size());
    return m_pins->time().frequencyAt(m_hLead) / mean;
}

double VgaMonitor::frameHz() const { return m_framePeriod > 0 ? 1.0 / m_framePeriod : 0.0; }

bool VgaMonitor::modeMatches() const
{
    double h = lineHz(), v = frameHz();
    return h > 31000 && h < 32000 && v > 59 && v < 61 && std::labs(m_linesLastFrame - kVTotal) <= 1;
}

Json VgaMonitor::observations() const
{
    auto polarity = [](int p) -> Json {
        if (p < 0)
            return nullptr;
        return p == 0 ? "negative" : "positive";
    };
    Json o = Json::object();
    bool synced = m_hLocked && m_frames >= 2;
    o["synced"] = synced;
    o["mode"] = synced && modeMatches() ? Json("640x480@60") : Json(nullptr);
    o["hsyncPolarity"] = polarity(m_h.polarity);
    o["vsyncPolarity"] = polarity(m_v.polarity);
    o["lineRateHz"] = Rounded(lineHz(), 3);
    o["frameRateHz"] = Rounded(frameHz(), 4);
    o["linesPerFrame"] = m_linesLastFrame;
    o["hsyncUs"] = Rounded(m_hSyncUs, 4);
    o["hsyncPixels"] = Rounded(m_hSyncUs * 1e-6 * lineHz() * kHTotal, 2);
    o["vsyncLines"] = Rounded(m_vSyncLines, 2);
    double pixUs = lineHz() > 0 ? 1e6 / (lineHz() * kHTotal) : 0.0;
    if (m_litStartUs >= 0 && pixUs > 0) {
        o["hBackPorchPixels"] = Rounded(m_litStartUs / pixUs, 2);
        o["hFrontPorchPixels"] = Rounded(m_litEndToSyncUs / pixUs, 2);
        o["vBackPorchLines"] = m_firstLitLine - kVSync;
        o["vFrontPorchLines"] = (m_linesLastFrame ? m_linesLastFrame : kVTotal) - 1 - m_lastLitLine;
    }
    o["frameCaptured"] = m_captured;
    if (m_captured) {
        o["frameWidth"] = kWidth;
        o["frameHeight"] = kHeight;
        std::uint32_t h = 2166136261u; // FNV-1a of the RGB bytes
        for (auto b : m_frame)
            h = (h ^ b) * 16777619u;
        char buf[16];
        std::snprintf(buf, sizeof buf, "%08x", h);
        o["frameFnv1a"] = buf;
    }
    return o;
}

} // namespace kivo::sim
