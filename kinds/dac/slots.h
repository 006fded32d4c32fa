#pragma once
#include "model/codeobject.h"

namespace kivo {

constexpr const char *kDacUsage = "Digital To Analog";

// What a DAC object's record holds.
template <class Object> class DacSlots
{
public:
    explicit DacSlots(Object &o) : m_o(o) {}
    auto &Pin() const { return m_o.m_strPin; }
    auto &Readout() const { return m_o.m_strText[0]; } // the level's voltage readout
    auto &Level() const { return m_o.m_nValue[0]; }    // 0..255
    auto &Drive() const { return m_o.m_nValue[1]; }    // the DAC mode's choice index
    auto &Random() const { return m_o.m_bFlag[0]; }

private:
    Object &m_o;
};

} // namespace kivo
