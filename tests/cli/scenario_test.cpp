// kivo-cli test and verify without a compiler: bad scenario files name the
// file, the line and the step; JUnit output is read back by an XML parser;
// usage errors and a project that was never compiled.
#include "kivocli.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kivo;

namespace {

struct Cli : test::KivoCli {
    Cli()
    {
        New();
        test::WriteFileBytes(dir / "steps.yaml", "project: Blink.kivo\nsteps:\n  - wait: 0.1\n");
    }
    // Writes a scenario and runs `test` on it.
    test::CliRun Test(const std::string &name, const std::string &yaml, std::vector<std::string> more = {})
    {
        test::WriteFileBytes(dir / name, yaml);
        std::vector<std::string> args = {"test", dir / name};
        args.insert(args.end(), more.begin(), more.end());
        return Run(args);
    }
};

TEST(Scenario, BadFilesNameTheFileLineAndStep)
{
    Cli cli;
    const std::string head = "project: Blink.kivo\nsteps:\n";
    struct Case {
        const char *what;
        std::string yaml;
        std::string message; // after "FILE:"
    };
    const std::vector<Case> cases = {
        {"no project", "steps:\n  - wait: 1\n", "1: no project"},
        {"missing project", "project: None.kivo\nsteps:\n  - wait: 1\n", "1: the project None.kivo is not a file"},
        {"unknown step", head + "  - wait: 0.1\n  - jump: 3\n", "4: step 2 (jump): unknown step 'jump'"},
        {"two kinds in a step", head + "  - wait: 1\n    at: 2\n", "4: step 1 (at): one step has one kind"},
        {"option of another step", head + "  - wait: 1\n    timeout: 2\n", "4: step 1 (wait): wait has no option"},
        {"bad regular expression", head + "  - wait-console: \"a(b\"\n",
         "3: step 1 (wait-console): bad regular expression 'a(b'"},
        {"bad matches", head + "  - expect: NCO1.frequencyHz\n    matches: \"[\"\n",
         "4: step 1 (expect): bad regular expression '['"},
        {"text for a number", head + "  - wait: soon\n",
         "3: step 1 (wait): wait takes a number of seconds, not 'soon'"},
        {"negative time", "project: Blink.kivo\ntime: -1\nsteps: []\n", "2: time takes a number of seconds above 0"},
        {"zero timeout", head + "  - wait-console: x\n    timeout: 0\n", "4: step 1 (wait-console): timeout takes"},
        {"map for a text", head + "  - serial-in: {a: 1}\n", "3: step 1 (serial-in): serial-in takes a text"},
        {"map for names", head + "  - verify: {a: 1}\n", "3: step 1 (verify): verify takes a list of object names"},
        {"bad setting", head + "  - set: ADC1volts\n", "3: step 1 (set): set takes NAME.KEY=VALUE"},
        {"expect without a test", head + "  - expect: NCO1.duty\n", "3: step 1 (expect): expect takes one of"},
        {"tolerance alone", head + "  - expect: NCO1.duty\n    tolerance: 1\n", "4: step 1 (expect): tolerance goes"},
        {"keyboard and mouse", head + "  - usb-keys: a\n  - usb-mouse: 1,1,0\n", "4: step 2 (usb-mouse): a keyboard"},
        {"missing frame", head + "  - expect-frame: none.png\n", "3: step 1 (expect-frame): the frame none.png"},
        {"no steps", "project: Blink.kivo\n", "1: no steps"},
        {"unknown key", "project: Blink.kivo\nsteps: []\nspeed: 3\n", "3: a scenario has no key 'speed'"},
        {"YAML syntax", head + "  - wait: [1\n", "4: step 1 (wait): not YAML"},
        {"YAML syntax in a step", head + "  - wait: 1\n  - at: \"2\n", "4: step 2 (at): "},
        {"not a map", "- wait: 1\n", "1: a scenario is a map"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        test::CliRun r = cli.Test("bad.yaml", c.yaml);
        EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
        EXPECT_NE(r.err.find(cli.dir / "bad.yaml:" + c.message), std::string::npos) << r.err;
    }
}

TEST(Scenario, UsageErrorsAndTheMissingBinary)
{
    Cli cli;
    EXPECT_EQ(cli({"test"}), 2);
    EXPECT_EQ(cli({"test", cli.File("steps.yaml"), "--fast"}), 2);
    EXPECT_EQ(cli({"verify"}), 2);
    EXPECT_EQ(cli({"verify", cli.File(), "--time", "0x10"}), 2);
    EXPECT_EQ(cli({"verify", cli.File(), "--colour"}), 2);
    EXPECT_EQ(cli({"verify", cli.File(), cli.File()}), 2);
    // Never generated or compiled: the run fails as simulate does.
    EXPECT_EQ(cli({"verify", cli.File()}), 1);
    EXPECT_NE(cli.output.find("run Generate Code, then Compile"), std::string::npos) << cli.output;
    EXPECT_EQ(cli({"generate", cli.File()}), 0) << cli.output;
    EXPECT_EQ(cli({"verify", cli.File()}), 1);
    EXPECT_NE(cli.output.find("run Compile first"), std::string::npos) << cli.output;
    test::CliRun r = cli.Run({"test", cli.File("steps.yaml")});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("FAIL project: "), std::string::npos) << r.out;
}

// Generate writes the scenario that verifies every object; it reads as a
// valid scenario (a run fails only for want of the compiled program).
TEST(Scenario, GenerateWritesTheVerifyScenario)
{
    Cli cli;
    ASSERT_EQ(cli({"add", cli.File(), "servo"}), 0) << cli.output;
    ASSERT_EQ(cli({"generate", cli.File()}), 0) << cli.output;
    const std::string yaml = test::ReadFileBytes(cli.File("Blink.verify.yaml"));
    EXPECT_NE(yaml.find("project: \"Blink.kivo\"\n"), std::string::npos) << yaml;
    EXPECT_NE(yaml.find("  - verify: all\n"), std::string::npos) << yaml;
    test::CliRun r = cli.Run({"test", cli.File("Blink.verify.yaml")});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("run Compile first"), std::string::npos) << r.out;
}

// The JUnit file parses as XML and counts what the run reported: a suite per
// scenario, a failed case for the file that could not be read, texts with
// quotes and angle brackets escaped.
TEST(Scenario, JUnitReadsBackAsXml)
{
    Cli cli;
    test::WriteFileBytes(cli.dir / "bad.yaml", "project: Blink.kivo\nsteps:\n  - <jump>: \"&\"\n");
    const std::string xml = cli.dir / "out.xml";
    test::CliRun r = cli.Run({"test", cli.File("steps.yaml"), cli.File("bad.yaml"), "--junit", xml});
    EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
    const std::string script = "import sys, xml.etree.ElementTree as T\n"
                               "root = T.parse(sys.argv[1]).getroot()\n"
                               "print(root.tag, root.get('tests'), root.get('failures'))\n"
                               "for s in root.findall('testsuite'):\n"
                               "    for c in s.findall('testcase'):\n"
                               "        f = c.find('failure')\n"
                               "        print(s.get('name'), c.get('name'), 'failure' if f is not None else 'ok',\n"
                               "              f.get('message') if f is not None else '')\n";
    test::WriteFileBytes(cli.dir / "read.py", script);
    std::string out;
    ASSERT_EQ(test::RunShell("python3 " + test::Quote(cli.dir / "read.py") + " " + test::Quote(xml),
                             cli.dir / "read.log", out),
              0)
        << out << test::ReadFileBytes(xml);
    EXPECT_NE(out.find("testsuites 2 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("steps project failure promised a compiled project;"), std::string::npos) << out;
    EXPECT_NE(out.find("bad scenario file failure promised a valid scenario file; measured " + cli.dir.Path() +
                       "/bad.yaml:3: step 1 (<jump>): unknown step '<jump>'"),
              std::string::npos)
        << out;
}

} // namespace
