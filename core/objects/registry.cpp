#include "model/codeobject.h"
#include "model/text.h"
#include "objects/kind.h"

#include <array>

namespace kivo {

namespace {

const std::array<const IKind *, 12> &Kinds()
{
    static const std::array<const IKind *, 12> kinds = {
        &SimpleVgaKind(), &I2CBusKind(),  &NeopixelKind(), &NcoKind(),    &RtcKind(), &SimpleSoundKind(),
        &ServoKind(),     &DigitalKind(), &FiltersKind(),  &DacKind(),    &AdcKind(), &UsbKbmKind(),
    };
    return kinds;
}

} // namespace

const IKind *FindKind(int32_t code)
{
    if (code < 0 || code >= 12)
        return nullptr;
    return Kinds()[std::size_t(code)];
}

const IKind *FindKindByName(std::string_view name)
{
    for (auto *k : Kinds())
        if (name == k->CliName())
            return k;
    if (!name.empty() && name.find_first_not_of("0123456789") == std::string_view::npos && name.size() < 4)
        return FindKind(TextToInt(name));
    return nullptr;
}

std::vector<int> ConsecutivePins(const CCodeObject &o)
{
    std::vector<int> pins;
    int base = TextToInt(o.m_strPin);
    for (int i = 0; i < o.m_nPinCount && i < 64; ++i)
        pins.push_back(base + i);
    return pins;
}

std::span<const IKind *const> AllKinds()
{
    return {Kinds().data(), Kinds().size()};
}

} // namespace kivo
