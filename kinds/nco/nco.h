#pragma once
#include <string>

namespace kivo {

class CCodeObject;

// The NCO register texts ("%08X") and the resulting frequency ("%f") that
// the editor computes for `desired` Hz at `clock` Hz. False when the desired
// frequency is below 1 Hz or above half the clock.
bool ComputeNcoRegisters(int clock, int desired, std::string &wxpin, std::string &wypin, std::string &resulting);

} // namespace kivo
