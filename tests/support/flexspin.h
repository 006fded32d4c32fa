#pragma once
// Finds the FlexSpin compiler (FLEXSPIN, else PATH) and compiles a generated
// project with it.
#include "testsupport.h"

#include <cstdlib>
#include <optional>
#include <regex>

namespace kivo::test {

inline std::string FindFlexspin()
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

#define KIVO_REQUIRE_FLEXSPIN(var)                                                                                     \
    std::string var = ::kivo::test::FindFlexspin();                                                                    \
    if (var.empty())                                                                                                   \
    GTEST_SKIP() << "flexspin not found (set FLEXSPIN or put it on PATH); compile check skipped"

struct CompileResult {
    int status = -1;
    std::string output;              // stdout and stderr together
    std::optional<long> programSize; // from "Program size is N bytes"
    bool Ok() const { return status == 0; }
    bool HasWarning() const { return std::regex_search(output, std::regex("warning", std::regex::icase)); }
};

// Compiles `main` in `folder` with `flexspin -2 <extra> -L <include>`; the
// include folder is the one next to the compiler's own folder, as the
// generated build script has it.
inline CompileResult CompileP2(const std::string &flexspin, const std::string &folder, const std::string &main,
                               const std::string &extra = "")
{
    auto include = std::filesystem::path(flexspin).parent_path().parent_path() / "include";
    std::string cmd = "cd " + Quote(folder) + " && " + Quote(flexspin) + " -2 " + extra;
    if (std::filesystem::exists(include))
        cmd += " -L " + Quote(include.string());
    cmd += " " + Quote(main);
    CompileResult r;
    r.status = RunShell(cmd, folder + "/flexspin.log", r.output);
    std::smatch m;
    if (std::regex_search(r.output, m, std::regex("Program size is ([0-9]+) bytes")))
        r.programSize = std::stol(m[1]);
    return r;
}

} // namespace kivo::test
