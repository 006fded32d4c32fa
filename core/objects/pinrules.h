#pragma once
#include <string>

namespace kivo {

class CKivoDoc;

// A pin is free for `name` when nobody holds it or `name` already does.
bool IsPinFreeFor(const CKivoDoc &doc, int pin, const std::string &name);
// Frees every pin whose owner is `name` (the note stays).
void ReleasePinsOf(CKivoDoc &doc, const std::string &name);
// Claims `pin` for `name`; a non-null label becomes the pin's usage.
void ReservePin(CKivoDoc &doc, int pin, const std::string &name, const char *label = nullptr);
void ReservePin(CKivoDoc &doc, int pin, const std::string &name, const std::string &label);
// Clears one pin completely (used flag, owner, usage, note); pins outside
// 0..63 are skipped.
void ClearPin(CKivoDoc &doc, int pin);

} // namespace kivo
