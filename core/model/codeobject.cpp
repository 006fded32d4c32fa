#include "model/codeobject.h"

namespace kivo {

const char *KindLabel(int32_t kind)
{
    static const char *const labels[kKindCodeCount] = {"SimpleVGA",
                                                       "I2C Bus and Scanner",
                                                       "Neopixel",
                                                       "NCO-Frequency",
                                                       "Real Time Clock",
                                                       "Simple Sound",
                                                       "Hobby Servo",
                                                       "Smart Digital I/O Pin",
                                                       "Global Digital Filters",
                                                       "Digital To Analog Pin",
                                                       "Analog To Digital Smart Pin",
                                                       "USB Keyboard and/or Mouse"};
    if (kind < 0 || kind >= kKindCodeCount)
        return "Unkown Type";
    return labels[kind];
}

std::string CCodeObject::GetKindName() const { return KindLabel(m_nKind); }

} // namespace kivo
