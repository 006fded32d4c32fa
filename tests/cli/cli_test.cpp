#include "kivocli.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "platform/profile.h"

using namespace kivo;
using Cli = test::KivoCli;

TEST(Cli, NewShowSetGenerate)
{
    Cli cli;
    // No FlexSpin on this search path: the tool folders stay empty.
    cli.env = "PATH=/usr/bin:/bin HOME=" + test::Quote(cli.File("home")) + " ";
    auto r = cli.Run({"new", "Blink.kivo"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // A new project is byte for byte the fixture of a new project with this
    // host's tool folders.
    {
        CKivoDoc expected;
        MemoryProfile empty;
        ASSERT_TRUE(DeserializeProject(
            [] {
                auto bytes = test::ReadFileBytes(KIVO_TEST_CASES "/new-project/expected/Blink.kivo");
                return std::vector<uint8_t>(bytes.begin(), bytes.end());
            }(),
            expected));
        expected.m_strFlexSpinPath = expected.m_strLoadP2Path = expected.m_strLibraryPath = "";
        expected.m_strPlan9Path = cli.File("home");
        auto bytes = SerializeProject(expected);
        EXPECT_EQ(test::ReadFileBytes(cli.File("Blink.kivo")), std::string(bytes.begin(), bytes.end()));
    }

    r = cli.Run({"new", "Blink.kivo"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Kivo: " + cli.File("Blink.kivo") + " already exists.\n");

    r = cli.Run({"set", "Blink.kivo", "clock_freq=300000000", "set_baud=on", "baud=2000000", "use_plan9=FALSE"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = cli.Run({"show", "Blink.kivo"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("  clock_freq = 300000000\n"), std::string::npos);
    EXPECT_NE(r.out.find("  set_baud = on\n"), std::string::npos);
    EXPECT_NE(r.out.find("  62\tNo\tSerial\tTX\tUsed for Programming the P2 and Standard I/O\n"), std::string::npos);

    r = cli.Run({"show", "Blink.kivo", "--json"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("\"clock_freq\": \"300000000\""), std::string::npos);
    EXPECT_NE(r.out.find("{\"pin\": 63, \"free\": false, \"owner\": \"Serial\", \"usage\": \"RX\""), std::string::npos);

    std::filesystem::create_directories(cli.File("home")); // a tool folder is kept only when it is there
    r = cli.Run({"generate", "Blink.kivo"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "Kivo: Project files created.\n");
    EXPECT_NE(test::ReadFileBytes(cli.File("Platform.h")).find("#define _BAUD 2000000 \r\n"), std::string::npos);
    // Generation wrote the tool values to the shared profile.
    EXPECT_NE(test::ReadFileBytes(cli.File("config/kivo/kivo.conf")).find("Plan9Path=" + cli.File("home")),
              std::string::npos);
}

TEST(Cli, ProfileSeedsNewProjects)
{
    Cli cli;
    test::WriteFileBytes(cli.File("config/kivo/kivo.conf"), "FlexSpinPath=/home/u/flexprop/bin\n");
    ASSERT_EQ(cli.Run({"new", "A.kivo"}).exitCode, 0);
    EXPECT_NE(cli.Run({"show", "A.kivo"}).out.find("flex_spin_path = /home/u/flexprop/bin\n"), std::string::npos);
}

TEST(Cli, UsageErrors)
{
    Cli cli;
    ASSERT_EQ(cli.Run({"new", "A.kivo"}).exitCode, 0);
    std::string before = test::ReadFileBytes(cli.File("A.kivo"));
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate", "A.kivo"},
        {"set", "A.kivo"},
        {"set", "A.kivo", "no_such_key=1"},
        {"set", "A.kivo", "clock_freq=1", "mount_sd=maybe"},
        {"set", "A.kivo", "=1"},
        {"show"},
        {"generate", "A.kivo", "extra"},
        {"add", "A.kivo", "teapot"},
        {"add", "A.kivo", "servo", "bogus=1"},
        {"add", "A.kivo", "servo", "position=181"},
        {"add", "A.kivo", "servo", "units=furlongs"},
        {"edit", "A.kivo", "@1", "name=X"},
        {"kinds", "--xml"},
    };
    for (auto &args : bad) {
        auto r = cli.Run(args);
        EXPECT_EQ(r.exitCode, 2) << (args.empty() ? "(none)" : args[0]);
        EXPECT_NE(r.err.find("usage: kivo-cli"), std::string::npos);
    }
    EXPECT_EQ(test::ReadFileBytes(cli.File("A.kivo")), before);
}

TEST(Cli, UnreadableFilesAreNeverOverwritten)
{
    Cli cli;
    test::WriteFileBytes(cli.File("Bad.kivo"), std::string("\x01\x00\x00\x00\xFF\xFE\xFF\x09", 8));
    std::string before = test::ReadFileBytes(cli.File("Bad.kivo"));
    for (auto cmd : {"show", "generate", "compile"}) {
        auto r = cli.Run({cmd, "Bad.kivo"});
        EXPECT_EQ(r.exitCode, 1) << cmd;
        EXPECT_EQ(r.err, "Kivo: Unexpected file format. " + cli.File("Bad.kivo") + "\n") << cmd;
    }
    auto r = cli.Run({"set", "Bad.kivo", "baud=1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(test::ReadFileBytes(cli.File("Bad.kivo")), before);
    r = cli.Run({"show", "Missing.kivo"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Kivo: " + cli.File("Missing.kivo") + " was not found.\n");
    EXPECT_FALSE(std::filesystem::exists(cli.File("Missing.kivo")));
}

// A project path that is no project file says what it is; `set` never
// reads a device as an empty project nor saves over it, and a project that is
// a link is saved where the link points, the link kept.
TEST(Cli, ProjectPathsThatAreNoFileAndLinks)
{
    Cli cli;
    std::filesystem::create_directory(cli.File("Folder.kivo"));
    std::filesystem::create_symlink("/dev/null", cli.File("Null.kivo"));
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"show", cli.File("Folder.kivo")}, cli.File("Folder.kivo") + " is a folder, not a project file."},
        {{"set", cli.File("Folder.kivo"), "baud=1"}, cli.File("Folder.kivo") + " is a folder, not a project file."},
        {{"show", "/dev/null"}, "/dev/null is a device or other special file, not a project file."},
        // Through a link: a save that renamed over it would replace the link, not the device.
        {{"set", cli.File("Null.kivo"), "clock_freq=1"},
         cli.File("Null.kivo") + " is a device or other special file, not a project file."},
        {{"simulate", cli.File("Folder.kivo")}, cli.File("Folder.kivo") + " is a folder, not a project file."},
    };
    for (const auto &[args, says] : refused) {
        auto r = cli.Run(args);
        EXPECT_EQ(r.exitCode, 1) << args[0] << " " << args[1];
        EXPECT_EQ(r.err, "Kivo: " + says + "\n");
    }
    EXPECT_TRUE(std::filesystem::is_symlink(cli.File("Null.kivo")));

    std::filesystem::create_directory(cli.File("real"));
    ASSERT_EQ(cli({"new", cli.File("real/Blink.kivo")}), 0) << cli.output;
    std::filesystem::create_symlink("real/Blink.kivo", cli.File());
    ASSERT_EQ(cli({"set", cli.File(), "clock_freq=123"}), 0) << cli.output;
    EXPECT_TRUE(std::filesystem::is_symlink(cli.File()));
    CKivoDoc doc;
    test::TestServices t;
    ASSERT_TRUE(OpenProject(cli.File("real/Blink.kivo"), doc, t.services));
    EXPECT_EQ(doc.m_strClockFreq, "123");
}

// A library file that cannot be written fails the generation, said once.
TEST(Cli, GenerateReportsALibraryFileItCannotWrite)
{
    Cli cli;
    ASSERT_EQ(cli.Run({"new", "P.kivo"}).exitCode, 0);
    ASSERT_EQ(cli.Run({"add", "P.kivo", "servo", "pin=10"}).exitCode, 0);
    std::filesystem::create_directory(cli.File("zd_servo.spin2"));
    auto r = cli.Run({"generate", "P.kivo"});
    EXPECT_EQ(r.exitCode, 1);
    const std::string path = cli.File("zd_servo.spin2");
    EXPECT_EQ(r.err, "Kivo: Error:  Can't create " + path + " -->Access to " + path + " was denied.\n");
}

TEST(Cli, CompileAndLoadRunTheShellScripts)
{
    Cli cli;
    ASSERT_EQ(cli.Run({"new", "Blink.kivo"}).exitCode, 0);
    // A folder setting with a stand-in compiler and loader that log their arguments.
    std::string bin = cli.File("tools");
    std::filesystem::create_directories(bin);
    for (auto tool : {"flexspin", "loadp2"}) {
        test::WriteFileBytes(bin + "/" + tool, std::string("#!/bin/sh\necho ") + tool + " \"$@\" >> log.txt\n");
        std::filesystem::permissions(bin + "/" + tool, std::filesystem::perms::owner_all);
    }
    ASSERT_EQ(cli.Run({"set", "Blink.kivo", "flex_spin_path=" + bin, "load_p2_path=" + bin}).exitCode, 0);
    ASSERT_EQ(cli.Run({"generate", "Blink.kivo"}).exitCode, 0);
    EXPECT_EQ(cli.Run({"compile", "Blink.kivo"}).exitCode, 0);
    EXPECT_EQ(cli.Run({"load", "Blink.kivo"}).exitCode, 0);
    EXPECT_EQ(test::ReadFileBytes(cli.File("log.txt")),
              "flexspin -2 -L " + cli.File("include") + " Blink.c\nloadp2 -t -k Blink.binary\n");
    // A failing tool's status passes the script's pause and is the command's.
    for (auto [tool, status] : {std::pair{"flexspin", 1}, std::pair{"loadp2", 3}}) {
        test::WriteFileBytes(bin + "/" + tool, "#!/bin/sh\nexit " + std::to_string(status) + "\n");
        auto r = cli.Run({std::string(tool) == "flexspin" ? "compile" : "load", "Blink.kivo"});
        EXPECT_EQ(r.exitCode, status) << tool;
        EXPECT_NE(r.out.find("Press Enter to continue"), std::string::npos) << r.out;
    }
}

TEST(Cli, ServoAddEditDelete)
{
    Cli cli;
    ASSERT_EQ(cli.Run({"new", "P.kivo"}).exitCode, 0);
    auto r = cli.Run({"add", "P.kivo", "servo", "pin=10", "units=microseconds", "position=0"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = cli.Run({"add", "P.kivo", "6", "pin=10"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: Pin #10 is already in use by Servo1.\n");
    r = cli.Run({"show", "P.kivo"});
    EXPECT_NE(r.out.find("  Servo1 - Hobby Servo\n"), std::string::npos);
    EXPECT_EQ(r.out.find("Servo2"), std::string::npos);
    EXPECT_NE(r.out.find("  10\tNo\tServo1\tHobby Servo\t\n"), std::string::npos);

    ASSERT_EQ(cli.Run({"edit", "P.kivo", "Servo1", "pin=11"}).exitCode, 0);
    r = cli.Run({"show", "P.kivo"});
    EXPECT_NE(r.out.find("  10\tYes\t\t\t\n"), std::string::npos);
    EXPECT_NE(r.out.find("  11\tNo\tServo1\tHobby Servo\t\n"), std::string::npos);

    r = cli.Run({"edit", "P.kivo", "@1", "pin=70"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: Pin 70 is out of range, please set to between 0 and 63.\n");
    EXPECT_EQ(cli.Run({"edit", "P.kivo", "@2"}).exitCode, 1);
    ASSERT_EQ(cli.Run({"delete", "P.kivo", "@1"}).exitCode, 0);
    r = cli.Run({"show", "P.kivo", "--json"});
    EXPECT_NE(r.out.find("\"objects\": [\n  ]"), std::string::npos);
    EXPECT_NE(r.out.find("{\"pin\": 11, \"free\": true, \"owner\": \"\""), std::string::npos);
    // The counter stays raised.
    EXPECT_NE(r.out.find("\"kind_counts\": [0,0,0,0,0,0,1,"), std::string::npos);
}

TEST(Cli, KindsListsFieldsAndDefaults)
{
    Cli cli;
    auto r = cli.Run({"kinds", "--json"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("{\"key\": \"position\", \"type\": \"slider\", \"label\": \"Starting Position:\", "
                         "\"default\": 90, \"min\": 0, \"max\": 180}"),
              std::string::npos)
        << r.out;
    r = cli.Run({"kinds"});
    EXPECT_NE(r.out.find("servo (6, Hobby Servo)\n"), std::string::npos);
}

// A fixed instant the clock cannot take stops the generation with a message.
TEST(Cli, GenerateRefusesASourceDateEpochOutOfRange)
{
    Cli cli;
    ASSERT_EQ(cli.Run({"new", "P.kivo"}).exitCode, 0);
    cli.env = "SOURCE_DATE_EPOCH=67768036191676799 ";
    auto r = cli.Run({"generate", "P.kivo"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Kivo: SOURCE_DATE_EPOCH is \"67768036191676799\": it must be a whole number of seconds from 0 to "
                     "253402300799 (the end of the year 9999).\n");
    EXPECT_FALSE(std::filesystem::exists(cli.File("Platform.h")));
}

// The merge library loads only when an edited file must be merged: loading it
// and the libraries it needs would cost every command more than its work.
TEST(Cli, MergeLibraryLoadsOnlyForAMerge)
{
    Cli cli;
    cli.New();
    auto loaded = [&](const test::CliRun &r) { return r.err.find("libgit2") != std::string::npos; };
    cli.env = "LD_DEBUG=libs ";
    auto r = cli.Run({"generate", "Blink.kivo"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(loaded(r));

    std::string main = test::ReadFileBytes(cli.File("Blink.c"));
    const auto loop = main.find("{//LOOP\r\n");
    ASSERT_NE(loop, std::string::npos);
    main.insert(loop + 9, "    // my own line\r\n");
    test::WriteFileBytes(cli.File("Blink.c"), main);
    cli.env = "";
    ASSERT_EQ(cli.Run({"add", "Blink.kivo", "servo"}).exitCode, 0);
    cli.env = "LD_DEBUG=libs ";
    r = cli.Run({"generate", "Blink.kivo"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(loaded(r));
    EXPECT_NE(test::ReadFileBytes(cli.File("Blink.c")).find("// my own line"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(cli.File("Blink.c.orig")));
}

// show lists the pins the project holds outside the pin table as the pin
// view does (the SD card's while mounted), and stores nothing of them.
TEST(Cli, ShowListsPinsHeldOutsideTheTable)
{
    Cli cli;
    cli.New();
    ASSERT_EQ(cli.Run({"set", "Blink.kivo", "mount_sd=on"}).exitCode, 0);
    const std::string saved = cli.Bytes();
    auto r = cli.Run({"show", "Blink.kivo"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("  61\tNo\tSD Card\tSD CLK\t"), std::string::npos) << r.out;
    r = cli.Run({"show", "Blink.kivo", "--json"});
    EXPECT_NE(r.out.find("{\"pin\": 61, \"free\": false, \"owner\": \"SD Card\", \"usage\": \"SD CLK\""),
              std::string::npos);
    ASSERT_EQ(cli.Run({"set", "Blink.kivo", "mount_sd=off"}).exitCode, 0);
    r = cli.Run({"show", "Blink.kivo"});
    EXPECT_NE(r.out.find("  61\tYes\t\t\t"), std::string::npos) << r.out;
    EXPECT_EQ(saved.find("SD Card"), std::string::npos);
}
