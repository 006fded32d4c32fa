#include "kinds/kind.h"
#include "model/codeobject.h"
#include "model/kivodoc.h"
#include "model/text.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace kivo {

namespace {

struct Entry {
    int32_t code;
    const IKind &(*kind)();
};

// Every kind code in order, each with its module; a kind left out fails the
// build.
constexpr Entry kEntries[] = {
    {kSimpleVGA, SimpleVgaKind},
    {kI2CBus, I2CBusKind},
    {kNeopixel, NeopixelKind},
    {kNCO, NcoKind},
    {kRTC, RtcKind},
    {kSimpleSound, SimpleSoundKind},
    {kServo, ServoKind},
    {kDigital, DigitalKind},
    {kFilters, FiltersKind},
    {kDAC, DacKind},
    {kADC, AdcKind},
    {kUsbKbm, UsbKbmKind},
};
static_assert(std::size(kEntries) == kKindCodeCount, "every kind code needs its module");
static_assert(
    [] {
        for (int i = 0; i < kKindCodeCount; ++i)
            if (kEntries[i].code != i)
                return false;
        return true;
    }(),
    "the kinds are listed by code");

const std::array<const IKind *, kKindCodeCount> &Kinds()
{
    static const auto kinds = [] {
        std::array<const IKind *, kKindCodeCount> k{};
        for (int i = 0; i < kKindCodeCount; ++i)
            k[std::size_t(i)] = &kEntries[i].kind();
        return k;
    }();
    return kinds;
}

} // namespace

const IKind *FindKind(int32_t code)
{
    if (code < 0 || code >= kKindCodeCount)
        return nullptr;
    return Kinds()[std::size_t(code)];
}

double VerifySeconds(const CKivoDoc &doc)
{
    double seconds = 0.1;
    for (const auto &o : doc.m_objList)
        if (const IKind *k = FindKind(o->m_nKind))
            seconds = std::max(seconds, k->VerifySeconds(*o));
    return std::min(seconds, 10.0);
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
    int base = SmallInt(o.m_strPin);
    for (int i = 0; i < o.m_nPinCount && i < 64; ++i)
        pins.push_back(base + i);
    return pins;
}

void CheckSinglePin(const CCodeObject &o, IObjectCheck &check) { check.PinField("pin", "The pin", o.m_strPin); }

std::span<const IKind *const> AllKinds() { return {Kinds().data(), Kinds().size()}; }

} // namespace kivo
