// kivo-cli simulate on hand-built images: console output, the $FF $00 S exit,
// time limit, faults, traces and bad input.
#include "../sim/p2asm.h"
#include "kivocli.h"

#include <gtest/gtest.h>

#include <filesystem>
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

    // A trace cut short (here by a file size limit) is a failure.
    Program loop;
    loop << mov(0x100, I(1)) << jmpA(0xFFFF8, true);
    const std::string trace = cli.dir / "trace.txt";
    cli.shell = "ulimit -f 64; trap '' XFSZ; ";
    EXPECT_EQ(cli({"simulate", cli.Write("loop.binary", loop.bytes()), "--time", "0.001", "--trace", trace}), 1)
        << cli.output;
    EXPECT_NE(cli.output.find("Kivo: The trace file " + trace + " cannot be written."), std::string::npos)
        << cli.output;
}

// Values the chip or the options cannot take are usage errors, never read
// as something else (strtod takes 0x10 for 16) nor clamped.
TEST(Simulate, NumbersOutsideTheirRangeAreUsageErrors)
{
    Cli cli;
    const std::string image = cli.Write("t.binary", {0, 0, 0, 0});
    const std::vector<std::pair<const char *, const char *>> bad = {
        {"--time", "0x10"},      {"--time", "1e400"},
        {"--time", "inf"},       {"--trace-limit", "99999999999999999999999"},
        {"--trace-limit", "+5"}, {"--trace-limit", " 5"},
        {"--seed", "-1"},        {"--seed", "18446744073709551616"},
        {"--seed", "0x10"},
    };
    for (auto [option, value] : bad) {
        EXPECT_EQ(cli({"simulate", image, option, value}), 2) << option << " " << value << "\n" << cli.output;
        EXPECT_NE(cli.output.find(std::string("kivo-cli: ") + option + " takes"), std::string::npos) << cli.output;
    }
    EXPECT_EQ(cli({"simulate", image, "--time", "1.5e-3", "--trace-limit", "18446744073709551615", "--seed",
                   "18446744073709551615"}),
              0)
        << cli.output;
}

// A folder or an endless device is refused with what it is, and nothing is
// read beyond what can be used: the image stops at hub RAM's size, and the
// serial input is read as the console sends it.
TEST(Simulate, InputsThatCannotBeUsedWholeAreRefusedOrStreamed)
{
    Cli cli;
    Program loop;
    loop << jmpA(0xFFFFC, true);
    const std::string image = cli.Write("loop.binary", loop.bytes());
    const std::string folder = cli.dir / "folder";
    std::filesystem::create_directory(folder);
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> refused = {
        {{"simulate", folder}, " cannot be read: it is a folder."},
        {{"simulate", "/dev/zero"}, "/dev/zero is not a P2 image: it is larger than the 512 KB of hub RAM."},
        {{"simulate", image, "--serial-in", "@" + folder},
         "The serial input file " + folder + " cannot be read: it is a folder."},
    };
#if defined(__SANITIZE_ADDRESS__) // GCC
#define KIVO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) // Clang
#define KIVO_ASAN 1
#endif
#endif
#ifndef KIVO_ASAN
    // AddressSanitizer reserves far more address space than this; without
    // it the limit is far less than the inputs below would take if read whole.
    cli.shell = "ulimit -v 250000; ";
#endif
    for (const Case &c : refused) {
        EXPECT_EQ(cli(c.args), 1) << c.args[1] << "\n" << cli.output;
        EXPECT_NE(cli.output.find(c.message), std::string::npos) << cli.output;
    }
    const std::string big = cli.dir / "big.txt";
    std::ofstream(big).close();
    std::filesystem::resize_file(big, 100u << 20);
    for (const std::string &input : std::vector<std::string>{"@/dev/zero", "@" + big})
        EXPECT_EQ(cli({"simulate", image, "--time", "0.01", "--serial-in", input}), 0) << input << "\n" << cli.output;
}

// The serial input file reaches the program byte for byte, in order, though
// it is read as it is sent: an echo program returns it on the console.
TEST(Simulate, SerialInputFileArrivesInOrder)
{
    Cli cli;
    Program echo;
    echo << dForm(sub9::DIRL, I(62)) << wrpin(I(0x7C), I(62)) // async TX at twice the input's baud
         << augd(50u << 16) << wxpin(I(7), I(62)) << dForm(sub9::DIRH, I(62)) << dForm(sub9::DIRL, I(63))
         << wrpin(I(0x3E), I(63)) // async RX, 200 kbaud
         << augd(100u << 16) << wxpin(I(7), I(63)) << dForm(sub9::DIRH, I(63)) << dForm(sub9::TESTP, I(63), WC)
         << cond(IF_NC, jmpA(0xFFFF8, true)) // wait for a byte
         << rdpin(0x100, I(63)) << alu(op::SHR, 0x100, I(24)) << wypin(R(0x100), I(62)) << NOP
         << rdpin(0x130, I(62), WC) << cond(IF_C, jmpA(0xFFFF8, true)) << jmpA(0xFFFDC, true);
    std::string text;
    for (int i = 0; i < 300; i++)
        text += char('!' + i % 90);
    test::WriteFileBytes(cli.dir / "in.txt", text);
    const test::CliRun r =
        cli.Run({"simulate", cli.Write("echo.binary", echo.bytes()), "--time", "0.05", "--serial-in", "@in.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, text);
}

// --serial-in-at holds the input back until its moment: a run that ends
// before it never sends it; the echo shows it once sent.
TEST(Simulate, SerialInputStartsAtItsTime)
{
    Cli cli;
    Program echo;
    echo << dForm(sub9::DIRL, I(62)) << wrpin(I(0x7C), I(62)) << augd(50u << 16) << wxpin(I(7), I(62))
         << dForm(sub9::DIRH, I(62)) << dForm(sub9::DIRL, I(63)) << wrpin(I(0x3E), I(63)) << augd(100u << 16)
         << wxpin(I(7), I(63)) << dForm(sub9::DIRH, I(63)) << dForm(sub9::TESTP, I(63), WC)
         << cond(IF_NC, jmpA(0xFFFF8, true)) << rdpin(0x100, I(63)) << alu(op::SHR, 0x100, I(24))
         << wypin(R(0x100), I(62)) << NOP << rdpin(0x130, I(62), WC) << cond(IF_C, jmpA(0xFFFF8, true))
         << jmpA(0xFFFDC, true);
    const std::string image = cli.Write("echo.binary", echo.bytes());
    struct Case {
        const char *time, *at, *echoed;
    } cases[] = {{"0.01", "0.02", ""}, {"0.05", "0.02", "abc"}, {"0.05", "0", "abc"}, {"0.02", "0.02", ""}};
    for (const Case &c : cases) {
        const test::CliRun r =
            cli.Run({"simulate", image, "--time", c.time, "--serial-in", "abc", "--serial-in-at", c.at});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.echoed) << c.time << " " << c.at;
    }
    for (const char *bad : {"-1", "0x10", "soon"})
        EXPECT_EQ(cli({"simulate", image, "--serial-in", "abc", "--serial-in-at", bad}), 2) << cli.output;
    EXPECT_EQ(cli({"simulate", image, "--serial-in-at", "0.1"}), 2) << cli.output;
    EXPECT_NE(cli.output.find("--serial-in-at needs --serial-in"), std::string::npos) << cli.output;
}

// Output that does not reach standard output (a full disk, a closed stream)
// fails the command with a message; before, such runs ended with 0.
TEST(Simulate, OutputThatCannotBeWrittenIsAFailure)
{
    Cli cli;
    cli.New();
    const std::string image = cli.Write("hi.binary", serialProgram({'h', 'i', '\n'}).bytes());
    const std::vector<std::vector<std::string>> commands = {
        {"show", cli.File()}, {"show", cli.File(), "--json"},        {"kinds"},
        {"kinds", "--json"},  {"simulate", image, "--time", "0.01"},
    };
    for (const auto &args : commands)
        for (const char *to : {">/dev/full", ">&-"}) {
            const test::CliRun r = cli.Run(args, to);
            EXPECT_EQ(r.exitCode, 1) << args[0] << " " << to << "\n" << r.err;
            EXPECT_NE(r.err.find("The standard output cannot be written."), std::string::npos) << r.err;
        }
}

// Outputs go to regular files only: a device is refused, not opened nor
// renamed over.
TEST(Simulate, OutputsAreNeverWrittenOverADeviceOrFolder)
{
    Cli cli;
    const std::string image = cli.Write("t.binary", {0, 0, 0, 0});
    for (const std::string &target : std::vector<std::string>{"/dev/null", "/dev/full", cli.dir.Path()}) {
        EXPECT_EQ(cli({"simulate", image, "--time", "0.001", "--trace", target}), 1) << cli.output;
        EXPECT_NE(cli.output.find("The trace file " + target + " cannot be written: it is a "), std::string::npos)
            << cli.output;
    }
}

// The chip's random sources start from --seed: the same seed repeats a run,
// another changes it, and no seed is the same every time.
TEST(Simulate, SeedStartsTheRandomSources)
{
    Cli cli;
    Program p;
    p << dForm(sub9::DIRL, I(62)) << wrpin(I(0x7C), I(62)) << augd(100u << 16) << wxpin(I(7), I(62))
      << dForm(sub9::DIRH, I(62));
    for (int i = 0; i < 8; i++)
        p << dForm(sub9::GETRND, R(0x100)) << wypin(R(0x100), I(62)) << NOP << rdpin(0x130, I(62), WC)
          << cond(IF_C, jmpA(0xFFFF8, true));
    p << waitx(I(0x1FF)) << jmpA(0xFFFFC, true);
    const std::string image = cli.Write("rnd.binary", p.bytes());
    auto run = [&](std::vector<std::string> more) {
        std::vector<std::string> args = {"simulate", image, "--time", "0.01"};
        args.insert(args.end(), more.begin(), more.end());
        const test::CliRun r = cli.Run(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.size(), 8u);
        return r.out;
    };
    EXPECT_EQ(run({"--seed", "1"}), run({"--seed", "1"}));
    EXPECT_NE(run({"--seed", "1"}), run({"--seed", "2"}));
    EXPECT_EQ(run({}), run({}));
    EXPECT_NE(run({}), run({"--seed", "2"}));
}

} // namespace
