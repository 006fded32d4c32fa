#pragma once
#include "model/codeobject.h"

#include <cstddef>

namespace kivo {

constexpr int kFilterCount = 4;

// What a Global Digital Filters object's record holds, per filter 0..3.
template <class Object> class FiltersSlots
{
public:
    explicit FiltersSlots(Object &o) : m_o(o) {}
    auto &Length(int filter) const { return m_o.m_nValue[std::size_t(filter)]; }
    auto &Tap(int filter) const { return m_o.m_nValue[std::size_t(kFilterCount + filter)]; }
    auto &Set(int filter) const { return m_o.m_bFlag[std::size_t(filter)]; } // the object sets the filter

private:
    Object &m_o;
};

} // namespace kivo
