#include "golden.h"

#include "testsupport.h"
#include "unidiff.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace kivo::test {

bool UpdatingGolden()
{
    const char *v = std::getenv("KIVO_UPDATE_GOLDEN");
    return v && *v && std::string(v) != "0";
}

void ExpectFileBytes(const std::string &path, const std::string &actual)
{
    if (UpdatingGolden()) {
        WriteFileBytes(path, actual);
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(path))
        << "missing golden file " << path << " (run the tests with KIVO_UPDATE_GOLDEN=1 to create it)";
    std::string diff = UnifiedDiff(ReadFileBytes(path), actual, path, "generated");
    if (!diff.empty())
        ADD_FAILURE() << "golden file differs (KIVO_UPDATE_GOLDEN=1 rewrites it):\n" << diff;
}

std::string GoldenPath(const std::string &relative) { return std::string(KIVO_TEST_DATA) + "/golden/" + relative; }

void ExpectGolden(const std::string &relative, const std::string &actual)
{
    ExpectFileBytes(GoldenPath(relative), actual);
}

} // namespace kivo::test
