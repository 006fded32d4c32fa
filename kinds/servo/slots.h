#pragma once
#include "model/codeobject.h"

namespace kivo {

constexpr const char *kServoUsage = "Hobby Servo";

// What a servo object's record holds.
template <class Object> class ServoSlots
{
public:
    explicit ServoSlots(Object &o) : m_o(o) {}
    auto &Pin() const { return m_o.m_strPin; }
    auto &Degrees() const { return m_o.m_strText[0]; }      // the starting position in degrees
    auto &Microseconds() const { return m_o.m_strText[1]; } // and in microseconds
    auto &InMicroseconds() const { return m_o.m_bFlag[0]; } // the units the program uses
    auto &Random() const { return m_o.m_bFlag[1]; }

private:
    Object &m_o;
};

} // namespace kivo
