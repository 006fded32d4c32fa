#pragma once
#include "model/codeobject.h"

namespace kivo {

constexpr const char *kNeopixelUsage = "Neopixel";

// What an LED string object's record holds.
template <class Object> class NeopixelSlots
{
public:
    explicit NeopixelSlots(Object &o) : m_o(o) {}
    auto &Pin() const { return m_o.m_strPin; }
    auto &Color() const { return m_o.m_strText[0]; }       // the colour word's text
    auto &HoldoffText() const { return m_o.m_strText[1]; } // the hold-off readout
    auto &LedCount() const { return m_o.m_strText[2]; }
    auto &Red() const { return m_o.m_nValue[0]; }
    auto &Green() const { return m_o.m_nValue[1]; }
    auto &Blue() const { return m_o.m_nValue[2]; }
    auto &Type() const { return m_o.m_nValue[3]; } // the LED part's choice index
    auto &Holdoff() const { return m_o.m_nValue[4]; }
    auto &Random() const { return m_o.m_bFlag[0]; }

private:
    Object &m_o;
};

} // namespace kivo
