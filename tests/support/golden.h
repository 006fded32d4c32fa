#pragma once
// Golden files: expected bytes kept in the tree. KIVO_UPDATE_GOLDEN=1
// rewrites them from what the code produces now.
#include <string>

namespace kivo::test {

bool UpdatingGolden();

// Compares `actual` byte for byte with the file at `path`; a difference fails
// the test with a unified diff. When updating, the file is rewritten.
void ExpectFileBytes(const std::string &path, const std::string &actual);

// The same for a file under tests/data/golden.
std::string GoldenPath(const std::string &relative);
void ExpectGolden(const std::string &relative, const std::string &actual);

} // namespace kivo::test
