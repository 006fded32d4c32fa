#pragma once
#include "model/codeobject.h"

namespace kivo {

// The configurations.
constexpr int kUsbAdapter = 0; // the Parallax adapter on a base pin
constexpr int kUsbCustom = 1;  // pins of one's own

// What a USB keyboard and mouse object's record holds.
template <class Object> class UsbKbmSlots
{
public:
    explicit UsbKbmSlots(Object &o) : m_o(o) {}
    auto &BasePin() const { return m_o.m_strPin; }   // the adapter's
    auto &Config() const { return m_o.m_nValue[0]; } // kUsbAdapter or kUsbCustom
    auto &Port() const { return m_o.m_nValue[1]; }   // the adapter's port: 0 top, 1 bottom
    auto &LimitX() const { return m_o.m_nValue[2]; }
    auto &LimitY() const { return m_o.m_nValue[3]; }
    auto &StartX() const { return m_o.m_nValue[4]; }
    auto &StartY() const { return m_o.m_nValue[5]; }
    auto &DmPin() const { return m_o.m_strText[0]; } // the custom pins
    auto &ActivityLed() const { return m_o.m_strText[1]; }
    auto &ErrorLed() const { return m_o.m_strText[2]; }
    auto &EnablePin() const { return m_o.m_strText[3]; }
    auto &OutMouse() const { return m_o.m_bFlag[0]; }
    auto &OutKeyboard() const { return m_o.m_bFlag[1]; }
    auto &UseEnable() const { return m_o.m_bFlag[2]; }
    auto &NoErrorLed() const { return m_o.m_bFlag[3]; } // "Do not use Error LED pin"

private:
    Object &m_o;
};

} // namespace kivo
