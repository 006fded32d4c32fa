#pragma once
// Finding and running the FlexSpin compiler for the library tests.
#include "testsupport.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace kivo::test {

// FLEXSPIN, else `flexspin` on PATH; empty when neither is there.
inline std::string FindFlexspin()
{
    if (const char *env = std::getenv("FLEXSPIN"); env && *env)
        return std::filesystem::exists(env) ? env : "";
    if (const char *path = std::getenv("PATH")) {
        std::stringstream dirs(path);
        std::string dir;
        while (std::getline(dirs, dir, ':')) {
            auto candidate = std::filesystem::path(dir.empty() ? "." : dir) / "flexspin";
            if (std::filesystem::exists(candidate))
                return candidate.string();
        }
    }
    return "";
}

#define KIVO_REQUIRE_FLEXSPIN(var)                                                                                    \
    std::string var = ::kivo::test::FindFlexspin();                                                                   \
    if (var.empty())                                                                                                  \
    GTEST_SKIP() << "FlexSpin not found (set FLEXSPIN or put flexspin on PATH); compile test skipped"

inline std::string Quote(const std::string &s) { return "'" + std::regex_replace(s, std::regex("'"), "'\\''") + "'"; }

struct CompileResult {
    int status = -1;
    std::string output;                  // stdout and stderr together
    std::optional<long> programSize;     // from "Program size is N bytes"
    bool HasWarning() const { return std::regex_search(output, std::regex("warning", std::regex::icase)); }
};

// Compiles `main` in `folder` with `flexspin -2 <extra> -L <include>`; the include folder is the one
// next to the compiler's own folder, as the generated build script has it.
inline CompileResult CompileP2(const std::string &flexspin, const std::string &folder, const std::string &main,
                               const std::string &extra = "")
{
    auto include = std::filesystem::path(flexspin).parent_path().parent_path() / "include";
    std::string log = folder + "/flexspin.log";
    std::string cmd = "cd " + Quote(folder) + " && " + Quote(flexspin) + " -2 " + extra;
    if (std::filesystem::exists(include))
        cmd += " -L " + Quote(include.string());
    cmd += " " + Quote(main) + " > " + Quote(log) + " 2>&1";
    CompileResult r;
    int rc = std::system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.output = ReadFileBytes(log);
    std::smatch m;
    if (std::regex_search(r.output, m, std::regex("Program size is ([0-9]+) bytes")))
        r.programSize = std::stol(m[1]);
    return r;
}

} // namespace kivo::test
