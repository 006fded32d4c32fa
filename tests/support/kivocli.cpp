#include "kivocli.h"

#include "model/kivodoc.h"
#include "model/projectfile.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

namespace kivo::test {

KivoCli::KivoCli() { std::filesystem::create_directories(dir / "config"); }

std::string KivoCli::CommandLine(const std::vector<std::string> &args) const
{
    std::string line = "cd " + Quote(dir.Path()) + " && " + shell + "XDG_CONFIG_HOME=" + Quote(dir / "config") + " " +
                       env + Quote(KIVO_CLI);
    for (auto &a : args)
        line += " " + Quote(a);
    return line;
}

CliRun KivoCli::Run(const std::vector<std::string> &args, const std::string &stdoutTo) const
{
    std::string line = CommandLine(args) + " " + (stdoutTo.empty() ? ">" + Quote(dir / ".out") : stdoutTo) + " 2>" +
                       Quote(dir / ".err") + " </dev/null";
    CliRun r;
    int status = std::system(line.c_str());
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFileBytes(dir / ".out");
    r.err = ReadFileBytes(dir / ".err");
    return r;
}

int KivoCli::operator()(const std::vector<std::string> &args)
{
    return RunShell(CommandLine(args), dir / ".log", output);
}

void KivoCli::New() { ASSERT_EQ((*this)({"new", File()}), 0) << output; }

void KivoCli::Load(CKivoDoc &doc) const
{
    TestServices t;
    ASSERT_TRUE(OpenProject(File(), doc, t.services));
}

} // namespace kivo::test
