#pragma once
// A unified diff of two texts, for golden failures.
#include <string>

namespace kivo::test {

// The differences between `expected` and `actual` as `diff -u` prints them
// (three lines of context), or "" when they are equal. A trailing CR is not
// shown on a line; a note says so when the line endings differ.
std::string UnifiedDiff(const std::string &expected, const std::string &actual, const std::string &expectedLabel,
                        const std::string &actualLabel);

} // namespace kivo::test
