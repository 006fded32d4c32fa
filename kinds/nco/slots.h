#pragma once
#include "model/codeobject.h"

namespace kivo {

constexpr const char *kNcoUsage = "NCO Frequency";

// What an NCO object's record holds.
template <class Object> class NcoSlots
{
public:
    explicit NcoSlots(Object &o) : m_o(o) {}
    auto &Pin() const { return m_o.m_strPin; }
    auto &WxPin() const { return m_o.m_strText[0]; } // hexadecimal, no prefix
    auto &WyPin() const { return m_o.m_strText[1]; }
    auto &Desired() const { return m_o.m_strText[2]; }   // Hz
    auto &Resulting() const { return m_o.m_strText[3]; } // Hz, "%f"

private:
    Object &m_o;
};

} // namespace kivo
