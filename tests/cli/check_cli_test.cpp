// kivo-cli check, and generate refusing a project with errors.
#include "kivocli.h"

#include <filesystem>

using namespace kivo;

TEST(CliCheck, ListsFindingsAndRefusesGenerateUnlessForced)
{
    test::KivoCli cli;
    const std::string file = cli.File("Blink.kivo");
    ASSERT_EQ(cli.Run({"new", file}).exitCode, 0);
    auto r = cli.Run({"check", file});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");

    ASSERT_EQ(cli.Run({"set", file, "clock_freq=abc", "use_flex_options=1", "flex_options=-O1 `id`"}).exitCode, 0);
    ASSERT_EQ(cli.Run({"add", file, "dac", "pin=30"}).exitCode, 0);
    r = cli.Run({"check", file});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Error: P2 & FlexSpin: \"P2 Core Frequency:\" is \"abc\": write a whole number from 4000000 to "
                     "350000000 in digits only.\n"
                     "Error: P2 & FlexSpin: FlexSpin's \"Add these additional options:\" holds \"`\" outside quotes, "
                     "which the build and load scripts would take as a command: put it in quotes or remove it.\n");
    r = cli.Run({"check", file, "--json"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("{\"severity\": \"error\", \"name\": \"P2 & FlexSpin\", \"field\": \"clock_freq\""),
              std::string::npos)
        << r.out;

    const std::string before = test::ReadFileBytes(file);
    r = cli.Run({"generate", file});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Error: P2 & FlexSpin: \"P2 Core Frequency:\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Kivo: Code not generated: the project has errors. Correct them, or generate with --force."),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(cli.File("build.sh")));
    EXPECT_FALSE(std::filesystem::exists(cli.File("Blink.c")));
    EXPECT_EQ(test::ReadFileBytes(file), before);

    r = cli.Run({"generate", file, "--force"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Kivo: Project files created."), std::string::npos) << r.err;
    // Forced, the shell script still passes only quoted words.
    EXPECT_NE(test::ReadFileBytes(cli.File("build.sh")).find(" '-O1' '`id`' 'Blink.c'"), std::string::npos);

    EXPECT_EQ(cli.Run({"check"}).exitCode, 2);
    EXPECT_EQ(cli.Run({"check", cli.File("missing.kivo")}).exitCode, 1);
}
