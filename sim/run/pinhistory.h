#pragma once
// The latest edges of chosen pins, for a logic view: per pin a ring of its
// newest level changes, so that a long run keeps a bounded history.
#include "chip/device.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kivo::sim {

struct LogicEdge {
    double seconds; // simulated time of the change
    bool level;     // the level from then on
};

// One pin's history, oldest first: the first edge gives the level from its
// time on (before it nothing is known), each later one a change.
struct LogicPin {
    int pin = 0;
    std::vector<LogicEdge> edges;
    // The level at `seconds`; -1 before the history begins.
    int levelAt(double seconds) const;
};

// What a logic view draws: the chosen pins, known up to `until`.
struct LogicTrace {
    double until = 0;
    std::vector<LogicPin> pins;
};

// A bounded ring of edges: a push beyond the capacity drops the oldest.
class EdgeRing
{
public:
    explicit EdgeRing(std::size_t capacity) : m_capacity(capacity) { m_edges.reserve(capacity < 64 ? capacity : 64); }
    void push(const LogicEdge &e);
    void clear()
    {
        m_edges.clear();
        m_head = 0;
    }
    std::size_t size() const { return m_edges.size(); }
    std::size_t capacity() const { return m_capacity; }
    // 0 is the oldest kept.
    const LogicEdge &operator[](std::size_t i) const { return m_edges[(m_head + i) % m_edges.size()]; }
    const LogicEdge &back() const { return (*this)[size() - 1]; }
    // Every push since construction, dropped ones included.
    std::uint64_t pushed() const { return m_pushed; }
    // The edges from `from` on, with the one before it (the level then).
    void copyFrom(double from, std::vector<LogicEdge> &out) const;

private:
    std::vector<LogicEdge> m_edges;
    std::size_t m_capacity;
    std::size_t m_head = 0; // index of the oldest once full
    std::uint64_t m_pushed = 0;
};

// Watches pins and keeps each one's latest edges, from the level it had
// when attached.
class PinHistory : public Device
{
public:
    static constexpr std::size_t kEdgesPerPin = 16384;

    explicit PinHistory(std::vector<int> pins, std::size_t edgesPerPin = kEdgesPerPin);
    std::vector<int> pins() const override { return m_pinList; }
    void connect(Pins &pins) override;
    void pinChanged(int pin, Clock at) override;
    // The pin's ring; null for a pin not watched here.
    const EdgeRing *ring(int pin) const;

private:
    std::vector<int> m_pinList;
    std::vector<int> m_index; // pin -> ring (-1 none)
    std::vector<EdgeRing> m_rings;
};

} // namespace kivo::sim
