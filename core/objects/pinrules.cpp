#include "objects/pinrules.h"

#include "objects/pinclash.h"

#include "model/kivodoc.h"

namespace kivo {

bool IsPinFreeFor(const CKivoDoc &doc, int pin, const std::string &name)
{
    if (pin < 0 || pin >= kPinCount)
        return false;
    return !doc.m_bPinUsed[pin] || doc.m_strPinOwner[pin] == name;
}

void ReleasePinsOf(CKivoDoc &doc, const std::string &name)
{
    for (int p = 0; p < kPinCount; ++p) {
        if (doc.m_strPinOwner[p] == name) {
            doc.m_strPinOwner[p].clear();
            doc.m_bPinUsed[p] = false;
            doc.m_strPinUsage[p].clear();
        }
    }
}

void ReservePin(CKivoDoc &doc, int pin, const std::string &name, const char *label)
{
    if (pin < 0 || pin >= kPinCount)
        return;
    doc.m_bPinUsed[pin] = true;
    doc.m_strPinOwner[pin] = name;
    if (label)
        doc.m_strPinUsage[pin] = label;
}

void ReservePin(CKivoDoc &doc, int pin, const std::string &name, const std::string &label)
{
    ReservePin(doc, pin, name, label.c_str());
}

void ClearPin(CKivoDoc &doc, int pin)
{
    if (pin < 0 || pin >= kPinCount)
        return;
    doc.m_bPinUsed[pin] = false;
    doc.m_strPinOwner[pin].clear();
    doc.m_strPinUsage[pin].clear();
    doc.m_strPinNote[pin].clear();
}

std::string PinInUseMessage(int pin, const std::string &owner, const std::string &why)
{
    return "Pin #" + std::to_string(pin) + " is already in use by " + owner + (why.empty() ? "" : " (" + why + ")") +
           ".";
}

} // namespace kivo
