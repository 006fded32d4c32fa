#pragma once
// Runs the real kivo-cli with its own profile folder and captures its output.
#include "testsupport.h"

#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace kivo::test {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class Cli
{
public:
    Cli() { std::filesystem::create_directories(m_dir / "config"); }
    const TempDir &Dir() const { return m_dir; }
    std::string File(const std::string &name) const { return m_dir / name; }

    CliRun Run(const std::vector<std::string> &args) const
    {
        std::string cmd = "cd " + Quote(m_dir.Path()) + " && XDG_CONFIG_HOME=" + Quote(m_dir / "config") + " " +
                          env + Quote(KIVO_CLI);
        for (auto &a : args)
            cmd += " " + Quote(a);
        cmd += " >" + Quote(m_dir / ".out") + " 2>" + Quote(m_dir / ".err") + " </dev/null";
        CliRun r;
        int status = std::system(cmd.c_str());
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadFileBytes(m_dir / ".out");
        r.err = ReadFileBytes(m_dir / ".err");
        return r;
    }

    // Further environment settings for every run ("PATH=... HOME=... ").
    std::string env;

private:
    TempDir m_dir;
};

} // namespace kivo::test
