#pragma once
#include "model/codeobject.h"

namespace kivo {

// The pin usages, from the base pin up: HSync, the three colours, VSync. The
// simulated board finds the monitor's base pin by the first.
constexpr const char *kVgaHSyncUsage = "HSync";
constexpr const char *const kVgaPinUsages[5] = {kVgaHSyncUsage, "Blue", "Green", "Red", "VSync"};
constexpr int kVgaPinCount = 5;
constexpr int kVgaMaxBasePin = 56;

// What a Simple VGA object's record holds.
template <class Object> class SimpleVgaSlots
{
public:
    explicit SimpleVgaSlots(Object &o) : m_o(o) {}
    auto &BasePin() const { return m_o.m_strPin; }

private:
    Object &m_o;
};

} // namespace kivo
