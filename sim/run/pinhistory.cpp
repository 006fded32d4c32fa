#include "run/pinhistory.h"

#include "chip/pins.h"

#include <algorithm>

namespace kivo::sim {

int LogicPin::levelAt(double seconds) const
{
    auto after = std::upper_bound(edges.begin(), edges.end(), seconds,
                                  [](double s, const LogicEdge &e) { return s < e.seconds; });
    return after == edges.begin() ? -1 : int(std::prev(after)->level);
}

void EdgeRing::push(const LogicEdge &e)
{
    ++m_pushed;
    if (m_capacity == 0)
        return;
    if (m_edges.size() < m_capacity) {
        m_edges.push_back(e);
        return;
    }
    m_edges[m_head] = e;
    m_head = (m_head + 1) % m_capacity;
}

void EdgeRing::copyFrom(double from, std::vector<LogicEdge> &out) const
{
    // Edges are in time order: the first after `from` by bisection.
    std::size_t lo = 0, hi = size();
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if ((*this)[mid].seconds <= from)
            lo = mid + 1;
        else
            hi = mid;
    }
    out.clear();
    out.reserve(size() - lo + 1);
    for (std::size_t i = lo ? lo - 1 : 0; i < size(); i++)
        out.push_back((*this)[i]);
}

PinHistory::PinHistory(std::vector<int> pins, std::size_t edgesPerPin) : m_index(64, -1)
{
    std::sort(pins.begin(), pins.end());
    pins.erase(std::unique(pins.begin(), pins.end()), pins.end());
    for (int p : pins)
        if (p >= 0 && p < 64) {
            m_index[std::size_t(p)] = int(m_rings.size());
            m_pinList.push_back(p);
            m_rings.emplace_back(edgesPerPin);
        }
}

void PinHistory::connect(Pins &pins)
{
    Device::connect(pins);
    const double now = pins.time().seconds(pins.now());
    for (int p : m_pinList)
        m_rings[std::size_t(m_index[std::size_t(p)])].push({now, pins.level(p)});
}

void PinHistory::pinChanged(int pin, Clock at)
{
    if (pin < 0 || pin >= 64 || m_index[std::size_t(pin)] < 0)
        return;
    EdgeRing &ring = m_rings[std::size_t(m_index[std::size_t(pin)])];
    const bool level = m_pins->level(pin);
    if (ring.size() && ring.back().level == level)
        return; // a change of drive or voltage only
    ring.push({m_pins->time().seconds(at), level});
}

const EdgeRing *PinHistory::ring(int pin) const
{
    return pin >= 0 && pin < 64 && m_index[std::size_t(pin)] >= 0 ? &m_rings[std::size_t(m_index[std::size_t(pin)])]
                                                                  : nullptr;
}

} // namespace kivo::sim
