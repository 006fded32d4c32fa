#pragma once
// Finds the FlexSpin compiler (FLEXSPIN, else PATH) and compiles a generated
// project with it.
#include "testsupport.h"

#include <cstdlib>
#include <sys/wait.h>

namespace kivo::test {

inline std::string FindFlexSpin()
{
    if (const char *env = std::getenv("FLEXSPIN"); env && *env)
        return std::filesystem::exists(env) ? std::string(env) : std::string();
    const char *path = std::getenv("PATH");
    std::string p = path ? path : "";
    std::size_t start = 0;
    while (start <= p.size()) {
        auto end = p.find(':', start);
        if (end == std::string::npos)
            end = p.size();
        std::string candidate = p.substr(start, end - start) + "/flexspin";
        if (end > start && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

#define KIVO_REQUIRE_FLEXSPIN(var)                                                                                    \
    std::string var = ::kivo::test::FindFlexSpin();                                                                   \
    if (var.empty())                                                                                                  \
    GTEST_SKIP() << "flexspin not found (set FLEXSPIN or put it on PATH); compile check skipped"

struct CompileResult {
    bool ok = false;
    std::string output;
};

// Runs `flexspin -2 [extra] mainFile` in `folder`, with the include folder
// beside the compiler's own folder.
inline CompileResult CompileWithFlexSpin(const std::string &flexspin, const std::string &folder,
                                         const std::string &mainFile, const std::string &extra = "")
{
    std::filesystem::path include = std::filesystem::path(flexspin).parent_path().parent_path() / "include";
    std::string cmd = "cd '" + folder + "' && '" + flexspin + "' -2 -q";
    if (std::filesystem::exists(include))
        cmd += " -L '" + include.string() + "'";
    cmd += " " + extra + " '" + mainFile + "' > .flexspin.log 2>&1";
    int status = std::system(cmd.c_str());
    CompileResult r;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.output = ReadFileBytes(folder + "/.flexspin.log");
    return r;
}

} // namespace kivo::test
