#pragma once
#include "model/codeobject.h"

namespace kivo {

constexpr const char *kSoundLeftUsage = "Simple Sound Left";
constexpr const char *kSoundRightUsage = "Simple Sound Right";

// What a Simple Sound object's record holds.
template <class Object> class SimpleSoundSlots
{
public:
    explicit SimpleSoundSlots(Object &o) : m_o(o) {}
    auto &LeftPin() const { return m_o.m_strText[0]; }
    auto &RightPin() const { return m_o.m_strText[1]; }
    auto &Music() const { return m_o.m_bFlag[0]; }
    auto &Effects() const { return m_o.m_bFlag[1]; }

private:
    Object &m_o;
};

} // namespace kivo
