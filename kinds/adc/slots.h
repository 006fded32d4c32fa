#pragma once
#include "model/codeobject.h"

namespace kivo {

constexpr const char *kAdcUsage = "Analog To Digital";

// What an ADC object's record holds: the choices' indexes and the mode texts
// they give.
template <class Object> class AdcSlots
{
public:
    explicit AdcSlots(Object &o) : m_o(o) {}
    auto &Pin() const { return m_o.m_strPin; }
    auto &GainText() const { return m_o.m_strText[0]; }
    auto &SourceText() const { return m_o.m_strText[1]; }
    auto &Filter() const { return m_o.m_nValue[0]; } // 0: SINC2 sampling, 1: SINC2 filtering, 2: SINC3
    auto &Exponent() const { return m_o.m_nValue[1]; }
    auto &Source() const { return m_o.m_nValue[2]; } // 0..7: the pin itself, +1..+3, GIO, -3..-1
    auto &Gain() const { return m_o.m_nValue[3]; }
    auto &Calibrated() const { return m_o.m_bFlag[0]; }

private:
    Object &m_o;
};

} // namespace kivo
