#pragma once
#include "model/codeobject.h"

namespace kivo {

// The pin usages of the bus's two pins; the simulated board finds the bus's
// lines by them.
constexpr const char *kI2cSclUsage = "SCL";
constexpr const char *kI2cSdaUsage = "SDA";

// What an I2C bus object's record holds.
template <class Object> class I2CBusSlots
{
public:
    explicit I2CBusSlots(Object &o) : m_o(o) {}
    auto &SclPin() const { return m_o.m_strExtraPin[6]; }
    auto &SdaPin() const { return m_o.m_strExtraPin[5]; }
    auto &Speed() const { return m_o.m_strSpeed; } // kHz
    auto &PullUp() const { return m_o.m_nPullUp; } // the choice's index; 0: none
    auto &Scan() const { return m_o.m_bFlag[0]; }  // scan the bus at start

private:
    Object &m_o;
};

} // namespace kivo
