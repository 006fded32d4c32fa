// Programs FlexSpin builds, run on the simulated chip: a printf program, a
// generated Kivo project without objects, and (with KIVO_FLEXSPIN_TESTS set to
// a clone's Test folder) FlexSpin's own P2 run tests against their expected
// output, which came from a chip.
#include "chip/chip.h"
#include "flexspin.h"
#include "project.h"
#include "run/image_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

using namespace kivo;

namespace {

std::vector<std::uint8_t> ReadImage(const std::string &path)
{
    std::string bytes = test::ReadFileBytes(path);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::string StripCr(std::string s)
{
    std::erase(s, '\r');
    return s;
}

TEST(FlexspinRun, PrintfProgramPrintsAndStops)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    test::TempDir dir;
    test::WriteFileBytes(dir / "hello.c",
                         "#include <stdio.h>\n"
                         "int main() {\n"
                         "    printf(\"Hello, world %d\\n\", 42);\n"
                         "    for (int i = 0; i < 3; i++) printf(\"line %d: %d\\n\", i, i * 1000 / 7);\n"
                         "    return 0;\n"
                         "}\n");
    auto c = test::CompileP2(flexspin, dir.Path(), "hello.c", "-O1");
    ASSERT_TRUE(c.Ok()) << c.output;
    std::ostringstream console;
    sim::ImageRunOptions o;
    o.seconds = 2;
    auto r = sim::runImage(ReadImage(dir / "hello.binary"), o, console);
    EXPECT_EQ(r.end, sim::ImageRunResult::End::AllStopped) << r.error;
    EXPECT_EQ(StripCr(console.str()), "Hello, world 42\nline 0: 0\nline 1: 142\nline 2: 285\n");
    // The runtime switched to its 160 MHz PLL clock; the run took well under a second.
    EXPECT_LT(r.seconds, 0.1);
}

TEST(FlexspinRun, SerialInputReachesTheProgram)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    test::TempDir dir;
    test::WriteFileBytes(dir / "echo.c",
                         "#include <stdio.h>\n"
                         "int main() {\n"
                         "    char line[40];\n"
                         "    int n = 0, c;\n"
                         "    while (n < 39 && (c = getchar()) != '\\n' && c != '\\r' && c >= 0) line[n++] = c;\n"
                         "    line[n] = 0;\n"
                         "    printf(\"got [%s]\\n\", line);\n"
                         "    return 0;\n"
                         "}\n");
    auto c = test::CompileP2(flexspin, dir.Path(), "echo.c", "-O1");
    ASSERT_TRUE(c.Ok()) << c.output;
    std::ostringstream console;
    sim::ImageRunOptions o;
    o.seconds = 2;
    const std::string in = "abc xyz\n";
    o.serialIn.assign(in.begin(), in.end());
    auto r = sim::runImage(ReadImage(dir / "echo.binary"), o, console);
    EXPECT_NE(r.end, sim::ImageRunResult::End::Fault) << r.error;
    EXPECT_NE(StripCr(console.str()).find("got [abc xyz]"), std::string::npos) << console.str();
}

TEST(FlexspinRun, KivoProjectWithoutObjectsRunsItsMainLoop)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    test::Project p;
    p.Generate();
    auto c = test::CompileP2(flexspin, p.dir.Path(), "Blink.c");
    ASSERT_TRUE(c.Ok()) << c.output;
    sim::Chip chip;
    ASSERT_TRUE(chip.loadImage(ReadImage(p.dir / "Blink.binary")));
    std::ostringstream console;
    sim::ImageRunOptions o;
    o.seconds = 3.5;
    auto r = sim::runLoadedChip(chip, o, console);
    EXPECT_EQ(r.end, sim::ImageRunResult::End::TimeLimit) << r.error;
    const std::string out = StripCr(console.str());
    EXPECT_NE(out.find("Setup complete."), std::string::npos) << out;
    EXPECT_NE(out.find("Loop #0"), std::string::npos) << out;
    EXPECT_NE(out.find("Loop #2"), std::string::npos) << out;
    // The clock the project sets (its clock_freq setting, in Hz).
    const double wanted = std::atof(p.doc.m_strClockFreq.c_str());
    EXPECT_NEAR(chip.clockHz(), wanted, wanted * 0.002) << p.doc.m_strClockFreq;
}

// FlexSpin's P2 run tests (Test/runtests_p2.sh): each program compiled with
// -2 -O2 -g -q -I../Lib, simulated, its console output compared with
// Expect/NAME.txt (line ends compared without CR: loadp2's terminal writes LF).
TEST(FlexspinRun, CompilersOwnRunTestsMatchTheChip)
{
    const char *testDir = std::getenv("KIVO_FLEXSPIN_TESTS");
    if (!testDir || !*testDir)
        GTEST_SKIP() << "KIVO_FLEXSPIN_TESTS not set (a spin2cpp clone's Test folder); run tests skipped";
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const std::filesystem::path tests(testDir);
    std::vector<std::string> programs;
    for (int i = 1; i <= 7; ++i)
        programs.push_back("basexec0" + std::to_string(i) + ".bas");
    for (int i = 1; i <= 5; ++i)
        programs.push_back("cexec0" + std::to_string(i) + ".c");
    for (int i = 1; i <= 13; ++i)
        programs.push_back((i < 10 ? "exec0" : "exec") + std::to_string(i) + ".spin");
    programs.push_back("exec14.spin2");
    // Known differences, with the reason.
    const std::map<std::string, std::string> known = {
        {"basexec04", "PRINT with commas: the expected file pads the zones with spaces, this FlexSpin version's "
                      "runtime sends tabs (a compiler runtime change, not the chip)"},
    };
    test::TempDir out;
    std::string failures;
    int matched = 0;
    for (const std::string &program : programs) {
        const std::string name = std::filesystem::path(program).stem().string();
        const std::string binary = out / (name + ".binary");
        std::string log;
        const int status =
            test::RunShell("cd " + test::Quote(tests.string()) + " && " + test::Quote(flexspin) +
                               " -2 -O2 -g -q -I../Lib -o " + test::Quote(binary) + " " + test::Quote(program),
                           out / (name + ".log"), log);
        if (status != 0) {
            failures += name + ": does not compile: " + log + "\n";
            continue;
        }
        std::ostringstream console;
        sim::ImageRunOptions o;
        o.seconds = 30;
        auto r = sim::runImage(ReadImage(binary), o, console);
        const std::string expected = StripCr(test::ReadFileBytes((tests / "Expect" / (name + ".txt")).string()));
        const std::string got = StripCr(console.str());
        const bool ok = got == expected && r.end == sim::ImageRunResult::End::ConsoleExit;
        if (ok) {
            ++matched;
            continue;
        }
        auto k = known.find(name);
        std::string why = r.end == sim::ImageRunResult::End::Fault ? "fault: " + r.error
                          : got != expected                        ? "output differs"
                                                                   : "no $FF $00 exit";
        if (k != known.end())
            std::cout << "[ known    ] " << name << ": " << k->second << "\n";
        else
            failures += name + ": " + why + "\n--- expected ---\n" + expected + "--- got ---\n" + got + "\n";
    }
    std::cout << "[ run tests] " << matched << " of " << programs.size() << " match the chip's output\n";
    EXPECT_TRUE(failures.empty()) << failures;
}

} // namespace
