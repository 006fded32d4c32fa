// kivo-cli simulate on hand-built images: console output, the $FF $00 S exit,
// time limit, faults, traces and bad input.
#include "../sim/p2asm.h"
#include "kivocli.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace kivo;
using namespace kivo::test::p2;

namespace {

// Sends `bytes` on pin 62 as async serial at 200 kbaud (20 MHz RCFAST, 100
// clocks a bit), waiting on RDPIN WC between words, then idles for ever.
Program serialProgram(const std::vector<std::uint8_t> &bytes)
{
    Program p;
    p << dForm(sub9::DIRL, I(62)) << wrpin(I(0x7C), I(62)) // async TX, output enabled
      << augd(100u << 16) << wxpin(I(7), I(62)) << dForm(sub9::DIRH, I(62));
    for (std::uint8_t b : bytes) {
        p << wypin(I(b), I(62)) << NOP << rdpin(0x130, I(62), WC) << cond(IF_C, jmpA(0xFFFF8, true));
    }
    p << waitx(I(0x1FF)) << jmpA(0xFFFFC, true);
    return p;
}

struct Cli : test::KivoCli {
    std::string Write(const std::string &name, const std::vector<std::uint8_t> &bytes)
    {
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        return dir / name;
    }
};

TEST(Simulate, PrintsTheConsoleAndExitsWithTheStatusSent)
{
    Cli cli;
    const std::string image = cli.Write("hi.binary", serialProgram({'h', 'i', '\n', 0xFF, 0x00, 5}).bytes());
    EXPECT_EQ(cli({"simulate", image, "--time", "1"}), 5) << cli.output;
    EXPECT_EQ(cli.output, "hi\n");
    // $FF not followed by $00 S is printed as it is.
    const std::string other = cli.Write("ff.binary", serialProgram({0xFF, 'a', 0xFF, 0x00, 0}).bytes());
    EXPECT_EQ(cli({"simulate", other, "--time=1"}), 0) << cli.output;
    EXPECT_EQ(cli.output, "\xFF"
                          "a");
}

TEST(Simulate, StopsAtTheTimeLimitOrWhenEveryCogStopped)
{
    Cli cli;
    Program forever;
    forever << jmpA(0xFFFFC, true);
    EXPECT_EQ(cli({"simulate", cli.Write("loop.binary", forever.bytes()), "--time", "0.01"}), 0) << cli.output;
    Program stop;
    stop << cogstop(I(0));
    EXPECT_EQ(cli({"simulate", cli.Write("stop.binary", stop.bytes())}), 0) << cli.output;
}

TEST(Simulate, AFaultIsAnErrorWithCogPcAndLong)
{
    Cli cli;
    Program bad;
    bad << NOP << 0xFBD00000u;
    EXPECT_EQ(cli({"simulate", cli.Write("bad.binary", bad.bytes())}), 3);
    EXPECT_NE(cli.output.find("Error: cog 0, PC $00001, instruction $FBD00000"), std::string::npos) << cli.output;
}

TEST(Simulate, TraceWritesOneLinePerInstructionUpToTheLimit)
{
    Cli cli;
    Program loop;
    loop << mov(0x100, I(1)) << jmpA(0xFFFF8, true);
    const std::string trace = cli.dir / "trace.txt";
    EXPECT_EQ(cli({"simulate", cli.Write("t.binary", loop.bytes()), "--time", "0.001", "--trace", trace,
                   "--trace-limit", "5"}),
              0)
        << cli.output;
    const std::string text = test::ReadFileBytes(trace);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
    EXPECT_NE(text.find("mov     $100, #$1"), std::string::npos) << text;
}

TEST(Simulate, BadFilesAndOptionsAreRefused)
{
    Cli cli;
    EXPECT_EQ(cli({"simulate", cli.dir / "missing.binary"}), 1);
    EXPECT_NE(cli.output.find("missing.binary cannot be opened"), std::string::npos) << cli.output;
    EXPECT_EQ(cli({"simulate", cli.Write("empty.binary", {})}), 1);
    EXPECT_NE(cli.output.find("is not a P2 image"), std::string::npos) << cli.output;
    EXPECT_EQ(cli({"simulate", cli.Write("big.binary", std::vector<std::uint8_t>(0x80001, 0))}), 1);
    EXPECT_EQ(cli({"simulate", cli.Write("x.binary", {0, 0, 0, 0}), "--time", "-1"}), 2);
    EXPECT_EQ(cli({"simulate", cli.Write("y.binary", {0, 0, 0, 0}), "--bogus"}), 2);
    EXPECT_EQ(cli({"simulate"}), 2);
    EXPECT_EQ(cli({"simulate", cli.Write("z.binary", {0, 0, 0, 0}), "--serial-in", "@" + cli.dir / "none.txt"}), 1);
    EXPECT_NE(cli.output.find("none.txt cannot be opened"), std::string::npos) << cli.output;
}

// A bad value is a usage error whatever its words; a file that cannot be
// written is a failure even when the program ran to its end.
TEST(Simulate, UsageErrorsAndFileFailuresAreToldApart)
{
    Cli cli;
    const std::string image = cli.Write("t.binary", {0, 0, 0, 0});
    EXPECT_EQ(cli({"simulate", image, "--time", "it cannot be said"}), 2) << cli.output;
    EXPECT_NE(cli.output.find("kivo-cli: --time takes a number of seconds"), std::string::npos) << cli.output;

    Program loop;
    loop << mov(0x100, I(1)) << jmpA(0xFFFF8, true);
    EXPECT_EQ(cli({"simulate", cli.Write("loop.binary", loop.bytes()), "--time", "0.001", "--trace", "/dev/full"}), 1)
        << cli.output;
    EXPECT_NE(cli.output.find("Kivo: The trace file /dev/full cannot be written."), std::string::npos) << cli.output;
}

} // namespace
