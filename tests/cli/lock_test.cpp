// Commands that change one project at the same time, and a project folder
// shared with another project.
#include "kivocli.h"
#include "model/kivodoc.h"
#include "platform/projectlock.h"

#include <chrono>
#include <filesystem>

using namespace kivo;
using Cli = test::KivoCli;

namespace {

// Runs the commands at once in the project folder; their exit codes, in order.
std::string RunTogether(const Cli &cli, const std::vector<std::string> &commands)
{
    std::string line = "(cd " + test::Quote(cli.dir.Path()) +
                       " || exit; export XDG_CONFIG_HOME=" + test::Quote(cli.dir / "config") + "; ";
    for (std::size_t i = 0; i < commands.size(); ++i)
        line += test::Quote(KIVO_CLI) + " " + commands[i] + " 2>/dev/null & p" + std::to_string(i) + "=$!; ";
    for (std::size_t i = 0; i < commands.size(); ++i)
        line += "wait $p" + std::to_string(i) + "; printf %s $?; ";
    line += ")";
    std::string out;
    test::RunShell(line, cli.dir / ".together", out);
    return out;
}

} // namespace

// Two adds started together: both wait their turn and both objects stay.
TEST(ProjectLock, TwoAddsAtOnceKeepBothChanges)
{
    Cli cli;
    ASSERT_EQ(cli.Run({"new", "P.kivo"}).exitCode, 0);
    for (int round = 0; round < 4; ++round) {
        std::vector<std::string> adds;
        for (int i = 0; i < 3; ++i)
            adds.push_back("add P.kivo servo pin=" + std::to_string(10 + 3 * round + i));
        ASSERT_EQ(RunTogether(cli, adds), "000");
    }
    auto r = cli.Run({"show", "P.kivo", "--json"});
    std::size_t objects = 0;
    for (auto at = r.out.find("\"kind\""); at != std::string::npos; at = r.out.find("\"kind\"", at + 1))
        ++objects;
    EXPECT_EQ(objects, 12u) << r.out;
}

// A project another program holds: the command waits a while, then says so.
TEST(ProjectLock, AProjectHeldTooLongIsInUse)
{
    Cli cli;
    ASSERT_EQ(cli.Run({"new", "P.kivo"}).exitCode, 0);
    const std::string before = test::ReadFileBytes(cli.File("P.kivo"));
    ProjectLock held;
    ASSERT_TRUE(held.Acquire(cli.File("P.kivo")));
    ASSERT_TRUE(held.Held());
    auto start = std::chrono::steady_clock::now();
    auto r = cli.Run({"add", "P.kivo", "servo"});
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Kivo: " + cli.File("P.kivo") +
                         " is in use: another program is changing it. Try again when it is done.\n");
    EXPECT_EQ(test::ReadFileBytes(cli.File("P.kivo")), before);
    // Released, the next command goes ahead; a lock follows a save's new file.
    held.Release();
    ASSERT_EQ(cli.Run({"add", "P.kivo", "servo"}).exitCode, 0);
    ASSERT_EQ(cli.Run({"add", "P.kivo", "servo", "pin=1"}).exitCode, 0);
    ASSERT_TRUE(held.Acquire(cli.File("P.kivo"), std::chrono::milliseconds(0)));
}

// Generates of one project at once leave no .new behind.
TEST(ProjectLock, GeneratesAtOnceLeaveNoNewFile)
{
    Cli cli;
    ASSERT_EQ(cli.Run({"new", "P.kivo"}).exitCode, 0);
    ASSERT_EQ(cli.Run({"add", "P.kivo", "servo"}).exitCode, 0);
    for (int round = 0; round < 4; ++round) {
        ASSERT_EQ(cli.Run({"add", "P.kivo", "servo", "pin=" + std::to_string(20 + round)}).exitCode, 0);
        ASSERT_EQ(RunTogether(cli, {"generate P.kivo", "generate P.kivo", "generate P.kivo"}), "000");
        EXPECT_FALSE(std::filesystem::exists(cli.File("P.c.new"))) << round;
    }
}

// A second project saved into the folder of the first does not take over
// its build files unless told to.
TEST(ProjectLock, AnotherProjectsFilesNeedForce)
{
    Cli cli;
    ASSERT_EQ(cli.Run({"new", "A.kivo"}).exitCode, 0);
    ASSERT_EQ(cli.Run({"new", "B.kivo"}).exitCode, 0);
    ASSERT_EQ(cli.Run({"generate", "A.kivo"}).exitCode, 0);
    const std::string build = test::ReadFileBytes(cli.File("build.sh"));
    auto r = cli.Run({"generate", "B.kivo"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("the generated files of the project A.kivo"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Generate with --force to replace them."), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadFileBytes(cli.File("build.sh")), build);
    EXPECT_FALSE(std::filesystem::exists(cli.File("B.c")));
    ASSERT_EQ(cli.Run({"generate", "B.kivo", "--force"}).exitCode, 0);
    EXPECT_NE(test::ReadFileBytes(cli.File("build.sh")).find("'B.c'"), std::string::npos);
    // Now B's: A is the other one.
    EXPECT_EQ(cli.Run({"generate", "A.kivo"}).exitCode, 1);
}
