#pragma once
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

class CCodeObject;
class CKivoDoc;

// The identifiers of C text, skipping comments, string and character
// literals, directive names after '#' and members after '.' or "->".
std::vector<std::string> CodeIdentifiers(std::string_view text);

// The names the generated program declares or uses of its own, whatever the
// objects are called: found by generating every kind in each of its variants
// under placeholder names, plus the file-scope names of the C headers that the
// program includes. Slow: the checks read `GeneratedNames()`, its result kept
// in the tree (check/generatednames.inc).
std::set<std::string> ComputeGeneratedNames();
const std::set<std::string> &GeneratedNames();

// The identifiers that the object's generated text makes from its name
// ("Servo1", "Servo1_PIN", ...).
std::set<std::string> DerivedNames(const CKivoDoc &doc, const CCodeObject &object);

bool IsCIdentifier(std::string_view name);
// C keywords and FlexSpin's C extensions.
bool IsCKeyword(std::string_view name);
// The compiler's built-in names: pin-mode and event constants, registers,
// and everything it reserves with a leading underscore.
bool IsCompilerBuiltin(std::string_view name);

} // namespace kivo
