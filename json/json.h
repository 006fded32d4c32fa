#pragma once
// JSON values (nlohmann-json; objects keep their keys in the order they were
// added) and the writer of Kivo's JSON text. Print with JsonText or JsonLine,
// not dump(): they give numbers and strings the form Kivo's JSON has always
// had.
#include <nlohmann/json.hpp>

#include <string>

namespace kivo {

using Json = nlohmann::ordered_json;

// Compact text when indent < 0, else pretty with that many blanks a level.
// Whole numbers print without a fraction, others with at most 10 significant
// digits, and infinities and NaN as null. Bytes of a string that are not
// valid UTF-8 become U+FFFD; control characters and DEL are escaped, as
// \n \r \t or \u00XX.
std::string JsonText(const Json &value, int indent = -1);

// One line with ", " after each item and ": " after each key, as the command
// line prints the rows of its listings.
std::string JsonLine(const Json &value);

} // namespace kivo
