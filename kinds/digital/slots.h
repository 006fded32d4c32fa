#pragma once
#include "model/codeobject.h"

namespace kivo {

constexpr const char *kDigitalUsage = "Smart Digital I/O";

// What a digital smart pin object's record holds; the numbers are the
// dialog's choice indexes.
template <class Object> class DigitalSlots
{
public:
    explicit DigitalSlots(Object &o) : m_o(o) {}
    auto &Pin() const { return m_o.m_strPin; }
    auto &InFilter() const { return m_o.m_nValue[0]; } // 0: none, 1..4: filt0..filt3
    auto &HighDrive() const { return m_o.m_nValue[1]; }
    auto &LowDrive() const { return m_o.m_nValue[2]; }
    auto &InSource() const { return m_o.m_nValue[3]; }
    auto &Start() const { return m_o.m_nValue[4]; }
    auto &Clocked() const { return m_o.m_bFlag[0]; }
    auto &InvertIn() const { return m_o.m_bFlag[1]; }
    auto &InvertOut() const { return m_o.m_bFlag[2]; }
    auto &ShowIn() const { return m_o.m_bFlag[3]; }
    auto &ToggleOut() const { return m_o.m_bFlag[4]; }

private:
    Object &m_o;
};

} // namespace kivo
