#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace kivo {

// Kind codes held in CCodeObject::m_nKind.
enum ObjectKind : int32_t {
    kSimpleVGA = 0,
    kI2CBus = 1,
    kNeopixel = 2,
    kNCO = 3,
    kRTC = 4,
    kSimpleSound = 5,
    kServo = 6,
    kDigital = 7,
    kFilters = 8,
    kDAC = 9,
    kADC = 10,
    kUsbKbm = 11,
};
constexpr int kKindCodeCount = 12;

// One configured piece of hardware. All kinds share this record; each kind
// defines what its text, value and flag slots mean.
class CCodeObject
{
public:
    int32_t m_nKind = 0;
    std::string m_strName;
    bool m_bSpare1 = false;
    std::string m_strPin;
    int32_t m_nPinCount = 0;
    std::array<std::string, 7> m_strExtraPin; // I2C only: [5] SDA, [6] SCL
    int32_t m_nPullUp = 0;                    // I2C only
    std::string m_strSpeed;                   // I2C only
    std::array<std::string, 64> m_strText;
    std::array<int32_t, 64> m_nValue{};
    std::array<bool, 64> m_bFlag{};
    bool m_bValid = false;
    bool m_bSpare2 = false;

    std::string GetKindName() const;

    bool operator==(const CCodeObject &) const = default;
};

// The label of a kind code ("Unkown Type" for codes outside 0..11).
const char *KindLabel(int32_t kind);

} // namespace kivo
