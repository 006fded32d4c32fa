#pragma once
#include "model/codeobject.h"

namespace kivo {

// What a real-time clock object's record holds.
template <class Object> class RtcSlots
{
public:
    explicit RtcSlots(Object &o) : m_o(o) {}
    auto &Bus() const { return m_o.m_strText[0]; }  // the I2C bus object's name
    auto &Type() const { return m_o.m_strText[1]; } // the chip's name
    auto &SetTime() const { return m_o.m_bFlag[0]; }

private:
    Object &m_o;
};

} // namespace kivo
