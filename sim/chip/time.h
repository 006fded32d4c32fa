#pragma once
// Simulated time. Everything on the chip counts system clocks from reset;
// the time base turns clocks into seconds as the program changes its clock.
#include <cstdint>
#include <limits>
#include <vector>

namespace kivo::sim {

using Clock = std::uint64_t; // system clocks since reset
inline constexpr Clock kNever = std::numeric_limits<Clock>::max();

// The clock frequency as HUBSET sets it over the run: a list of segments,
// each starting at a clock with a frequency. Seconds are exact sums over them.
// A program may change the clock in a loop: the list keeps the newest
// kExactSegments changes as they are and merges older ones in pairs, so its
// size stays bounded; seconds stay exact at every segment start and are
// interpolated inside a merged one.
class TimeBase
{
public:
    static constexpr std::size_t kExactSegments = 2048;

    explicit TimeBase(double startHz = 20e6) { m_segments.push_back({0, 0.0, startHz}); }

    // From `at` on the chip runs at `hz` (at must not lie before the last change).
    void setFrequency(Clock at, double hz)
    {
        const Segment &last = m_segments.back();
        if (at <= last.start) {
            m_segments.back().hz = hz;
            return;
        }
        if (hz == last.hz)
            return; // no change
        m_segments.push_back({at, last.seconds + double(at - last.start) / last.hz, hz});
        if (m_segments.size() > 2 * kExactSegments)
            mergeOldest();
    }
    std::size_t segmentCount() const { return m_segments.size(); }
    double frequencyAt(Clock at) const { return find(at).hz; }
    double seconds(Clock at) const
    {
        const Segment &s = find(at);
        return s.seconds + double(at - s.start) / s.hz;
    }
    // The first clock at or after `seconds` of simulated time.
    Clock clockAt(double secs) const
    {
        for (std::size_t i = m_segments.size(); i-- > 0;) {
            const Segment &s = m_segments[i];
            if (secs >= s.seconds) {
                double c = double(s.start) + (secs - s.seconds) * s.hz;
                return c >= double(kNever) ? kNever : Clock(c + 0.999999);
            }
        }
        return 0;
    }

private:
    struct Segment {
        Clock start;
        double seconds; // simulated seconds at `start`
        double hz;
    };
    const Segment &find(Clock at) const
    {
        for (std::size_t i = m_segments.size(); i-- > 1;)
            if (at >= m_segments[i].start)
                return m_segments[i];
        return m_segments.front();
    }
    // Merges the oldest segments (all but the newest kExactSegments) in
    // pairs; a merged segment runs at the mean rate of its two.
    void mergeOldest()
    {
        const std::size_t old = m_segments.size() - kExactSegments;
        std::vector<Segment> out;
        out.reserve(old / 2 + 1 + kExactSegments);
        std::size_t i = 0;
        for (; i + 1 < old; i += 2) {
            const Segment &a = m_segments[i], &end = m_segments[i + 2];
            out.push_back({a.start, a.seconds, double(end.start - a.start) / (end.seconds - a.seconds)});
        }
        out.insert(out.end(), m_segments.begin() + std::ptrdiff_t(i), m_segments.end());
        m_segments = std::move(out);
    }
    std::vector<Segment> m_segments;
};

} // namespace kivo::sim
