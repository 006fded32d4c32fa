#pragma once
#include <string>

namespace kivo {

// The one wording of a pin that another holds, in editors and checks:
// "Pin #12 is already in use by Servo1." `why` (without the brackets) says
// what the holder does with it.
std::string PinInUseMessage(int pin, const std::string &owner, const std::string &why = "");

} // namespace kivo
