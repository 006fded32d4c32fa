// Verify on generated projects compiled with FlexSpin: each kind alone keeps
// every promise; the same program changed by hand after generation (a
// colour, a register value, a pin, a rate) breaks exactly its object's
// promise, and the verdict names what was promised and what was measured.
#include "kinds/kind.h"
#include "run/png.h"
#include "run/verify.h"
#include "simrun_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kivo::test {
namespace {

// Compiles the generated project after `edit` changed one generated file.
void BuildEdited(Project &p, const std::string &flexspin, const std::string &file, const std::string &from,
                 const std::string &to)
{
    p.Generate();
    if (!from.empty()) {
        std::string text = p.Read(file);
        const auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from << " not in " << file;
        text.replace(at, from.size(), to);
        WriteFileBytes(p.dir / file, text);
    }
    CompileResult r = CompileP2(flexspin, p.dir.Path(), "Blink.c", BuildScriptOptions(p.dir.Path()));
    ASSERT_TRUE(r.Ok()) << r.output;
}

// Runs the compiled project for verify's time, with the USB device verify
// plugs in, and judges every object.
std::vector<sim::Verdict> Judge(const CKivoDoc &doc)
{
    sim::VerifyResult r = sim::VerifyProject(doc, std::nullopt);
    EXPECT_EQ(r.status, 0) << r.error;
    return r.verdicts;
}

std::string Listed(const std::vector<sim::Verdict> &verdicts)
{
    std::string s;
    for (const auto &v : verdicts)
        s += std::string(sim::StateWord(v.state)) + " " + v.name + ": " + v.text + "\n";
    return s;
}

struct BreakCase {
    const char *name;
    std::vector<std::pair<int, FieldValues>> objects;
    const char *file;      // the generated file changed by hand
    const char *from, *to; // the change
    const char *failing;   // the one object that must fail
    const char *promised;  // in its verdict
    const char *measured;  // in its verdict
};

void PrintTo(const BreakCase &c, std::ostream *os) { *os << c.name; }

class VerifyRun : public ::testing::TestWithParam<BreakCase>
{
};

TEST_P(VerifyRun, PassesAsGeneratedAndFailsOnTheChangedObject)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const BreakCase &c = GetParam();
    Project p;
    for (const auto &[kind, fields] : c.objects)
        ASSERT_EQ(p.Add(kind, fields), AddResult::Added);

    BuildEdited(p, flexspin, c.file, "", "");
    auto verdicts = Judge(p.doc);
    ASSERT_EQ(verdicts.size(), c.objects.size());
    for (const auto &v : verdicts)
        EXPECT_EQ(v.state, sim::Verdict::State::Pass) << Listed(verdicts);

    BuildEdited(p, flexspin, c.file, c.from, c.to);
    verdicts = Judge(p.doc);
    for (const auto &v : verdicts) {
        if (v.name != c.failing) {
            EXPECT_NE(v.state, sim::Verdict::State::Fail) << Listed(verdicts);
            continue;
        }
        EXPECT_EQ(v.state, sim::Verdict::State::Fail) << Listed(verdicts);
        EXPECT_NE(v.text.find(std::string("promised ") + c.promised), std::string::npos) << v.text;
        EXPECT_NE(v.text.find(std::string("measured ") + c.measured), std::string::npos) << v.text;
    }
}

const BreakCase kCases[] = {
    {"Nco", {{kNCO, {}}}, "Blink.c", "0x15555555", "0x0AAAAAAA", "NCO_Freq1", "13333333", "6666666"},
    {"Servo",
     {{kServo, {}}},
     "Blink.c",
     "Servo1_position=90;",
     "Servo1_position=45;",
     "Servo1",
     "a first pulse of 1500 us",
     "1050 us"},
    {"ServoRandom",
     {{kServo, {{"position", "2"}}}},
     "Blink.c",
     "    Servo1.Write(",
     "    if (0) Servo1.Write(",
     "Servo1",
     "random moves",
     "the pulse stayed at"},
    {"LedString",
     {{kNeopixel, {}}},
     "Platform.h",
     "0xFF321900",
     "0x10203000",
     "Neopixel1",
     "1 LEDs latched in #FF3219",
     "LED 0 in #102030"},
    {"Vga",
     {{kSimpleVGA, {}}},
     "Platform.h",
     "VGA_BASEPIN 48",
     "VGA_BASEPIN 40",
     "SimpleVGA1",
     "640 x 480 at 59.94 Hz",
     "no picture"},
    {"I2cScanner",
     {{kI2CBus, {}}},
     "Platform.h",
     "I2CScan1SPEED 100",
     "I2CScan1SPEED 400",
     "I2CScan1",
     "SCL at most 100 kHz",
     "SCL at 1"},
    {"Rtc",
     {{kI2CBus, {}}, {kRTC, {{"settime", "1"}}}},
     "Blink.c",
     "    rtc_settime(&now);",
     "",
     "RTC1",
     "the time of generation, 2026-12-09 13:45:30",
     "no write"},
    {"Digital",
     {{kDigital, {}}},
     "Blink.c",
     "P_HIGH_FAST",
     "P_HIGH_15K",
     "SmartPin1",
     "pin 38 in mode $00000000 (high fast",
     "$00001000 (high 15 kOhm"},
    {"Filters",
     {{kFilters, {}}},
     "Platform.h",
     "Filter1_Tap0 0",
     "Filter1_Tap0 9",
     "Filter1",
     "filt0 of 2 samples at tap 0",
     "filt0 of 2 samples at tap 9"},
    {"Dac",
     {{kDAC, {{"random", "0"}}}},
     "Platform.h",
     "DAC1_AnalogLevel 122",
     "DAC1_AnalogLevel 60",
     "DAC1",
     "level 122, 1.5788 V (990 Ohm, 3.3 V)",
     "0.7765 V"},
    {"Adc", {{kADC, {}}}, "Platform.h", "ADC1_AnalogPin 50", "ADC1_AnalogPin 52", "ADC1", "a reading of 1.65 V", ""},
    {"Sound",
     {{kSimpleSound, {}}},
     "trackerPlayer.spin2",
     "PAL_CLOCK     = 3_546_895",
     "PAL_CLOCK     = 3_600_000",
     "SimpleSound1",
     "the music's first notes at their module pitches within 1 %: 109.1, 109.1, 163.5 Hz",
     "110.7, 110.7, 165.9 Hz (note 1 off by 1.5 %)"},
    {"UsbKeyboard",
     {{kUsbKbm, {}}},
     "Blink.c",
     "printf(\" %c\", c);",
     "printf(\" %c\", c + 1);",
     "UsbKbM1",
     "the typed \"kivo\"",
     "not printed"},
};

INSTANTIATE_TEST_SUITE_P(Kinds, VerifyRun, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace kivo::test

namespace kivo::test {
namespace {

// The kivo-cli commands on the example with every kind: verify passes, and
// its JSON and JUnit outputs carry a verdict per object.
TEST(VerifyCli, AllKindsPassesWithJsonAndJUnit)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    KivoCli cli;
    std::filesystem::copy_file(std::string(KIVO_SOURCE_DIR) + "/examples/AllKinds.kivo", cli.File("AllKinds.kivo"));
    ASSERT_EQ(cli({"generate", cli.File("AllKinds.kivo")}), 0) << cli.output;
    CompileResult c = CompileP2(flexspin, cli.dir.Path(), "AllKinds.c", BuildScriptOptions(cli.dir.Path()));
    ASSERT_TRUE(c.Ok()) << c.output;
    CliRun r = cli.Run({"verify", cli.File("AllKinds.kivo"), "--junit", cli.File("verify.xml")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("FAIL "), std::string::npos) << r.out;
    const std::string xml = ReadFileBytes(cli.File("verify.xml"));
    std::size_t cases = 0;
    for (auto at = xml.find("<testcase "); at != std::string::npos; at = xml.find("<testcase ", at + 1))
        cases++;
    EXPECT_EQ(cases, 12u) << xml;
    EXPECT_NE(xml.find("failures=\"0\""), std::string::npos) << xml;

    r = cli.Run({"verify", cli.File("AllKinds.kivo"), "--json", "--time", "0.2"});
    kivo::Json j = kivo::Json::parse(r.out);
    ASSERT_EQ(j.at("verdicts").size(), 12u) << r.out;
    EXPECT_EQ(j.at("verdicts")[0].at("name").get<std::string>(), "SimpleVGA1");
    EXPECT_TRUE(j.at("verdicts")[0].at("measured").contains("frameRateHz")) << r.out;
    // In 0.2 s the clock has not printed its time twice: that object fails.
    EXPECT_EQ(r.exitCode, j.at("failed").get<double>() > 0 ? 1 : 0) << r.out;

    // The scenario Generate wrote passes too.
    r = cli.Run({"test", cli.File("AllKinds.verify.yaml")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

// Scenarios on one compiled project: a scenario with a passing step of
// every kind the project can take, and one failing scenario per kind of
// step, each ending at that step.
TEST(ScenarioRun, EachStepKindPassesAndFails)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    KivoCli cli;
    cli.New();
    for (auto add : std::vector<std::vector<std::string>>{{"nco"}, {"adc", "pin=20"}, {"digital"}, {"vga"}}) {
        add.insert(add.begin(), {"add", cli.File()});
        ASSERT_EQ(cli(add), 0) << cli.output;
    }
    ASSERT_EQ(cli({"generate", cli.File()}), 0) << cli.output;
    CompileResult c = CompileP2(flexspin, cli.dir.Path(), "Blink.c", BuildScriptOptions(cli.dir.Path()));
    ASSERT_TRUE(c.Ok()) << c.output;
    // The frame as the monitor captures it, and one level off in one pixel
    // (still equal), and ten levels off (not).
    ASSERT_EQ(cli({"simulate", cli.File(), "--time", "0.1", "--frame", cli.File("frame.png")}), 0) << cli.output;
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgb;
    ASSERT_TRUE(sim::ReadPng(cli.File("frame.png"), w, h, rgb));
    rgb[100] = std::uint8_t(rgb[100] ^ 1);
    ASSERT_TRUE(sim::WritePng(cli.File("near.png"), w, h, rgb));
    rgb[100] = std::uint8_t(rgb[100] < 128 ? rgb[100] + 10 : rgb[100] - 10);
    ASSERT_TRUE(sim::WritePng(cli.File("off.png"), w, h, rgb));

    const std::string head = "project: Blink.kivo\ntime: 3\nsteps:\n";
    WriteFileBytes(cli.File("pass.yaml"), head + R"Y(  - wait-console: "Setup complete"
  - at: 0.3
  - serial-in: "42\n"
  - set: ADC1.volts=2.5
  - wait-console: "ADC1 calibrated reading = 2\\.(4|5)"
    timeout: 1.5
  - wait: 0.1
  - expect: NCO_Freq1.duty
    near: 0.5
    tolerance: 0.01
  - expect: SimpleVGA1.mode
    equals: 640x480@60
  - expect: SmartPin1.transitions
    matches: "^[1-9]"
  - verify: [NCO_Freq1, SmartPin1, ADC1]
  - expect-frame: near.png
    timeout: 0.1
)Y");
    CliRun r = cli.Run({"test", cli.File("pass.yaml")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("PASS step 11 expect-frame near.png"), std::string::npos) << r.out;

    struct Case {
        const char *step;
        std::string failing; // the steps, the last fails
        std::string message;
    };
    const std::vector<Case> failing = {
        {"wait-console", "  - wait-console: Never\n    timeout: 0.2\n", "none by 0.2 s"},
        {"at", "  - at: 4\n", "4 s within the scenario's 3 s"},
        {"wait", "  - at: 1\n  - wait: 2.5\n", "3.5 s within"},
        {"expect near", "  - wait: 0.1\n  - expect: NCO_Freq1.duty\n    near: 0.25\n", "measured 0.5"},
        {"expect equals", "  - wait: 0.1\n  - expect: SimpleVGA1.mode\n    equals: 800x600\n", "measured 640x480@60"},
        {"expect matches", "  - wait: 0.1\n  - expect: ADC1.volts\n    matches: \"^3\"\n", "measured 1.65"},
        {"expect missing", "  - expect: NCO_Freq1.colour\n    equals: 1\n", "measured no such observation"},
        {"verify", "  - verify: [Servo9]\n", "promised an object Servo9"},
        {"verify too early", "  - wait: 0.001\n  - verify: SmartPin1\n", "FAIL SmartPin1"},
        {"expect-frame", "  - expect-frame: off.png\n    timeout: 0.1\n", "channels differ"},
        {"serial-in then timeout", "  - serial-in: x\n  - wait-console: x\n    timeout: 0.05\n", "none by"},
        {"set then expect", "  - set: ADC1.volts=3\n  - expect: ADC1.volts\n    near: 1\n", "measured 3"},
    };
    for (const Case &f : failing) {
        SCOPED_TRACE(f.step);
        WriteFileBytes(cli.File("fail.yaml"), head + f.failing);
        r = cli.Run({"test", cli.File("fail.yaml")});
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        EXPECT_NE(r.out.find(f.message), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("FAIL " + cli.File("fail.yaml")), std::string::npos) << r.out;
    }
    // Problems only the run finds are errors in the file: exit 2 with its line.
    for (auto [yaml, message] : std::vector<std::pair<std::string, std::string>>{
             {"  - set: ADC1.volts=9\n", "fail.yaml:4: step 1 (set): volts takes 0 to 3.3, not '9'"},
             {"  - set: Nothing.volts=1\n", "fail.yaml:4: step 1 (set): the project has no object Nothing"},
             {"  - usb-keys: abc\n", "fail.yaml:1: the project has no USB object"}}) {
        WriteFileBytes(cli.File("fail.yaml"), head + yaml);
        r = cli.Run({"test", cli.File("fail.yaml")});
        EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
}

} // namespace
} // namespace kivo::test
