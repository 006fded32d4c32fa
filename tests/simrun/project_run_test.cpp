// kivo-cli simulate on .kivo projects without FlexSpin: the compiled-program
// checks, the options, the report's shape on a stand-in image, and the
// example project's pins.
#include "kinds/i2cbus/slots.h"
#include "kinds/kind.h"
#include "kinds/rtc/slots.h"
#include "kinds/simplesound/slots.h"
#include "kinds/usbkbm/slots.h"
#include "model/projectfile.h"
#include "run/kindboard.h"
#include "simrun_support.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace kivo::test {
namespace {

namespace fs = std::filesystem;

struct CliProject : KivoCli {
    void Make(const std::vector<std::vector<std::string>> &objects)
    {
        New();
        for (const auto &o : objects) {
            std::vector<std::string> args = {"add", File()};
            args.insert(args.end(), o.begin(), o.end());
            ASSERT_EQ((*this)(args), 0) << output;
        }
        ASSERT_EQ((*this)({"generate", File()}), 0) << output;
    }
    std::string Binary() const { return dir / "Blink.binary"; }
    // A stand-in for the compiled program: hub RAM of NOPs, running until
    // the time limit.
    void StubBinary() { std::ofstream(Binary(), std::ios::binary) << std::string(16, '\0'); }
};

TEST(ProjectRun, AsksForCompileWhenTheBinaryIsMissingOrStale)
{
    CliProject cli;
    cli.Make({{"nco"}, {"adc"}});
    EXPECT_EQ(cli({"simulate", cli.File(), "--time", "0.001"}), 1);
    EXPECT_NE(cli.output.find("Error: The project has not been compiled"), std::string::npos) << cli.output;
    EXPECT_NE(cli.output.find("run Compile first."), std::string::npos) << cli.output;

    cli.StubBinary();
    auto old = fs::last_write_time(cli.dir / "Platform.h") - std::chrono::seconds(10);
    fs::last_write_time(cli.Binary(), old);
    EXPECT_EQ(cli({"simulate", cli.File(), "--time", "0.001"}), 1);
    EXPECT_NE(cli.output.find("Error: Blink.binary is older than the generated Platform.h: run Compile again."),
              std::string::npos)
        << cli.output;

    // A library file written after the compile counts as well.
    cli.StubBinary();
    auto newest = fs::last_write_time(cli.dir / "Platform.h");
    for (auto &e : fs::directory_iterator(fs::path(cli.dir / "")))
        if (e.is_regular_file())
            newest = std::max(newest, e.last_write_time());
    fs::last_write_time(cli.Binary(), newest);
    EXPECT_EQ(cli({"simulate", cli.File(), "--time", "0.001"}), 0) << cli.output;
    fs::last_write_time(cli.dir / "adc.h", fs::last_write_time(cli.Binary()) + std::chrono::seconds(5));
    EXPECT_EQ(cli({"simulate", cli.File(), "--time", "0.001"}), 1);
    EXPECT_NE(cli.output.find("older than the generated adc.h"), std::string::npos) << cli.output;

    fs::remove(cli.dir / "Blink.c");
    EXPECT_EQ(cli({"simulate", cli.File(), "--time", "0.001"}), 1);
    EXPECT_NE(cli.output.find("run Generate Code, then Compile."), std::string::npos) << cli.output;
}

TEST(ProjectRun, JsonReportNamesEveryObjectWithItsDevice)
{
    CliProject cli;
    cli.Make({{"nco"}, {"servo"}, {"i2c"}, {"rtc", "bus=I2CScan1"}, {"adc", "source=Pin# -1"}, {"sound"}});
    cli.StubBinary();
    ASSERT_EQ(cli({"simulate", cli.File(), "--time", "0.001", "--json", "--set", "ADC1.volts=2.5"}), 0) << cli.output;
    std::string r1 = cli.output;
    ASSERT_EQ(cli({"simulate", cli.File(), "--time", "0.001", "--json", "--set", "RTC1.start=2030-05-06 07:08:09"}), 0)
        << cli.output;
    EXPECT_NE(cli.output.find("\"startTime\": \"2030-05-06 07:08:09\""), std::string::npos) << cli.output;
    cli.output = r1;
    const std::string &r = cli.output;
    EXPECT_EQ(r.rfind("{", 0), 0u) << r; // nothing before the report
    for (const char *s :
         {"\"exit\": {", "\"reason\": \"time limit\"", "\"status\": 0", "\"console\": \"\"", "\"name\": \"NCO_Freq1\"",
          "\"kind\": \"NCO-Frequency\"", "\"device\": \"frequency counter\"", "\"device\": \"pulse meter\"",
          "\"device\": \"I2C bus\"", "\"device\": \"DS1339 on the bus\"", "\"startTime\": \"2026-01-01 12:00:00\"",
          "\"sourcePin\": 49", "\"volts\": 2.5", "\"name\": \"SimpleSound1\"", "\"boardPullUpOhms\": 4700"})
        EXPECT_NE(r.find(s), std::string::npos) << s << "\n" << r;
}

TEST(ProjectRun, OptionErrorsAreClear)
{
    CliProject cli;
    cli.Make({{"nco"}, {"adc"}});
    cli.StubBinary();
    struct Case {
        std::vector<std::string> args;
        int status;
        const char *says;
    } cases[] = {
        {{"--set", "ADC9.volts=1"}, 2, "--set: the project has no object ADC9"},
        {{"--set", "ADC1.gain=1"}, 2, "--set: object ADC1 has no setting 'gain'"},
        {{"--set", "ADC1.volts=4"}, 2, "--set ADC1.volts takes 0 to 3.3, not '4'"},
        {{"--set", "ADC1.volts=0x1"}, 2, "--set ADC1.volts takes 0 to 3.3, not '0x1'"},
        {{"--usb-unplug", "0x1:2"}, 2, "--usb-unplug takes T1:T2, seconds with T1 < T2, not '0x1:2'"},
        {{"--set", "volts=4"}, 2, "--set takes NAME.KEY=VALUE, not 'volts=4'"},
        {{"--vcd-all"}, 2, "--vcd-all needs --vcd F.vcd"},
        {{"--vcd-pins", "24"}, 2, "--vcd-pins needs --vcd F.vcd and no --vcd-all"},
        {{"--vcd", "x.vcd", "--vcd-all", "--vcd-pins", "24"}, 2, "--vcd-pins needs --vcd F.vcd and no --vcd-all"},
        {{"--vcd", "x.vcd", "--vcd-pins", "24,64"}, 2, "--vcd-pins takes pin numbers 0..63 and ranges"},
        {{"--vcd-from", "0.5"}, 2, "--vcd-from takes a number of seconds"},
        {{"--vcd", "x.vcd", "--vcd-from", "-1"}, 2, "--vcd-from takes a number of seconds"},
        {{"--frame", "x.png"}, 1, "Error: --frame: the project has no VGA object"},
        {{"--vcd", "/nonexistent-folder/x.vcd"}, 1, "Error: cannot create /nonexistent-folder/x.vcd"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = {"simulate", cli.File(), "--time", "0.001"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(cli(args), c.status) << c.says;
        EXPECT_NE(cli.output.find(c.says), std::string::npos) << cli.output;
    }
    // The board's options on a plain image.
    EXPECT_EQ(cli({"simulate", cli.Binary(), "--time", "0.001", "--json"}), 2);
    EXPECT_NE(cli.output.find("--json needs a .kivo project, not an image"), std::string::npos) << cli.output;
}

// A binary that is a folder or larger than hub RAM is refused, not read.
TEST(ProjectRun, ABinaryThatCannotBeAnImageIsRefused)
{
    CliProject cli;
    cli.Make({{"nco"}});
    fs::create_directory(cli.Binary());
    EXPECT_EQ(cli({"simulate", cli.File(), "--time", "0.001"}), 1) << cli.output;
    EXPECT_NE(cli.output.find("Error: " + cli.Binary() + " cannot be read: it is a folder."), std::string::npos)
        << cli.output;
    fs::remove(cli.Binary());
    std::ofstream(cli.Binary()).close();
    fs::resize_file(cli.Binary(), 0x80001);
    EXPECT_EQ(cli({"simulate", cli.File(), "--time", "0.001"}), 1) << cli.output;
    EXPECT_NE(cli.output.find("is not a P2 image: it is larger than the 512 KB of hub RAM."), std::string::npos)
        << cli.output;
}

// Only real calendar dates and times start the clock, written in full.
TEST(ProjectRun, RtcStartTakesOnlyARealDateAndTime)
{
    CliProject cli;
    cli.Make({{"i2c"}, {"rtc", "bus=I2CScan1"}});
    cli.StubBinary();
    for (const char *bad : {"2026-02-30 12:00:00", "2025-02-29 12:00:00", "2100-02-29 00:00:00", "2026-04-31 00:00:00",
                            "2026-01-01 24:00:00", "2026-01-01 12:60:00", "2026-01-01 12:00:60", "2026-1-1 12:00:00",
                            " 2026-01-01 12:00:00", "2026-01-01 +1:00:00", "2026-01-01 12:00"}) {
        EXPECT_EQ(cli({"simulate", cli.File(), "--time", "0.001", "--set", std::string("RTC1.start=") + bad}), 2)
            << bad << "\n"
            << cli.output;
        EXPECT_NE(cli.output.find("a date and time 'YYYY-MM-DD hh:mm:ss'"), std::string::npos) << cli.output;
    }
    for (const char *good : {"2024-02-29 23:59:59", "2000-02-29T00:00:00", "2199-12-31 12:00:00"})
        EXPECT_EQ(cli({"simulate", cli.File(), "--time", "0.001", "--set", std::string("RTC1.start=") + good}), 0)
            << good << "\n"
            << cli.output;
}

// Recorders write regular files only: a device or folder is refused before
// the run, and a link is written where it points, the link kept.
TEST(ProjectRun, RecordersWriteRegularFilesOnly)
{
    CliProject cli;
    cli.Make({{"sound"}});
    cli.StubBinary();
    // A link to the device: a run that renamed over it would replace the link, not the device.
    fs::create_symlink("/dev/null", cli.dir / "null");
    for (const char *option : {"--wav", "--vcd", "--frame"})
        for (const std::string &target : std::vector<std::string>{cli.dir / "null", cli.dir.Path()}) {
            EXPECT_EQ(cli({"simulate", cli.File(), "--time", "0.001", option, target}), 1) << option << " " << target;
            EXPECT_NE(cli.output.find(std::string("Error: ") + option + ": " + target + " cannot be written: it is a "),
                      std::string::npos)
                << cli.output;
        }
    EXPECT_TRUE(fs::is_symlink(cli.dir / "null"));

    std::ofstream(cli.dir / "real.wav").close();
    fs::create_symlink("real.wav", cli.dir / "link.wav");
    ASSERT_EQ(cli({"simulate", cli.File(), "--time", "0.001", "--wav", cli.dir / "link.wav"}), 0) << cli.output;
    EXPECT_TRUE(fs::is_symlink(cli.dir / "link.wav"));
    EXPECT_EQ(ReadFileBytes(cli.dir / "real.wav").substr(0, 4), "RIFF");
}

// The JSON report that cannot reach standard output fails the run.
TEST(ProjectRun, AReportThatCannotBeWrittenIsAFailure)
{
    CliProject cli;
    cli.Make({{"nco"}});
    cli.StubBinary();
    for (const char *to : {">/dev/full", ">&-"}) {
        const CliRun r = cli.Run({"simulate", cli.File(), "--time", "0.001", "--json"}, to);
        EXPECT_EQ(r.exitCode, 1) << to << "\n" << r.err;
        EXPECT_NE(r.err.find("The standard output cannot be written."), std::string::npos) << r.err;
    }
}

TEST(ProjectRun, VcdNamesTheProjectPins)
{
    CliProject cli;
    cli.Make({{"nco", "pin=24"}, {"dac", "pin=41"}});
    cli.StubBinary();
    std::string vcd = cli.dir / "run.vcd";
    ASSERT_EQ(cli({"simulate", cli.File(), "--time", "0.001", "--vcd", vcd}), 0) << cli.output;
    std::string text = ReadFileBytes(vcd);
    for (const char *s : {"$timescale 1ns $end", " P24 $end", " P41 $end", " P62 $end", " P63 $end",
                          "$scope module volts $end\n$var real 64 ", "$enddefinitions $end"})
        EXPECT_NE(text.find(s), std::string::npos) << s;
    EXPECT_EQ(text.find(" P0 $end"), std::string::npos);
    ASSERT_EQ(cli({"simulate", cli.File(), "--time", "0.001", "--vcd", vcd, "--vcd-all"}), 0) << cli.output;
    EXPECT_NE(ReadFileBytes(vcd).find(" P0 $end"), std::string::npos);
    // Only the pins listed: the DAC pin's volts with its level, 62 and 63 left out.
    ASSERT_EQ(
        cli({"simulate", cli.File(), "--time", "0.001", "--vcd", vcd, "--vcd-pins", "40-41", "--vcd-from", "0.0005"}),
        0)
        << cli.output;
    text = ReadFileBytes(vcd);
    EXPECT_NE(text.find("$var wire 1 ! P40 $end\n$var wire 1 \" P41 $end\n$scope module volts $end\n"
                        "$var real 64 # P41 $end\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find(" P24 $end"), std::string::npos);
    EXPECT_EQ(text.find(" P62 $end"), std::string::npos);
    EXPECT_NE(text.find("$enddefinitions $end\n#500000\n$dumpvars\n"), std::string::npos) << text;
}

// Every kind code 0..11 finds its own board part, and nothing else does.
TEST(ProjectRun, EveryKindCodeHasItsBoardPart)
{
    for (int code = 0; code < 12; ++code) {
        const sim::IKindBoard *b = sim::FindKindBoard(code);
        ASSERT_NE(b, nullptr) << code;
        EXPECT_EQ(b->Code(), code);
    }
    EXPECT_EQ(sim::FindKindBoard(-1), nullptr);
    EXPECT_EQ(sim::FindKindBoard(12), nullptr);
}

TEST(ProjectRun, AllKindsExampleHasEveryKindOnItsOwnPins)
{
    CKivoDoc doc;
    TestServices t;
    ASSERT_TRUE(OpenProject(std::string(KIVO_SOURCE_DIR) + "/examples/AllKinds.kivo", doc, t.services));
    ASSERT_EQ(doc.m_objList.size(), 12u);
    std::set<int> kinds;
    std::map<int, std::string> owner;
    for (const auto &o : doc.m_objList) {
        kinds.insert(o->m_nKind);
        for (int pin : FindKind(o->m_nKind)->PinsOf(*o)) {
            EXPECT_TRUE(owner.emplace(pin, o->m_strName).second) << "pin " << pin << " taken twice";
            EXPECT_EQ(doc.m_strPinOwner[std::size_t(pin)], o->m_strName) << pin;
        }
    }
    EXPECT_EQ(kinds.size(), 12u);
    auto named = [&](int kind) -> const CCodeObject & {
        for (const auto &o : doc.m_objList)
            if (o->m_nKind == kind)
                return *o;
        return *doc.m_objList.front();
    };
    EXPECT_EQ(named(kSimpleVGA).m_strPin, "48");
    EXPECT_EQ(I2CBusSlots(named(kI2CBus)).SclPin(), "56");
    EXPECT_EQ(I2CBusSlots(named(kI2CBus)).SdaPin(), "57");
    EXPECT_EQ(I2CBusSlots(named(kI2CBus)).PullUp(), 1); // 1.5 kOhm
    EXPECT_EQ(named(kNeopixel).m_strPin, "40");
    EXPECT_EQ(named(kNCO).m_strPin, "24");
    EXPECT_EQ(RtcSlots(named(kRTC)).Bus(), named(kI2CBus).m_strName);
    EXPECT_EQ(SimpleSoundSlots(named(kSimpleSound)).LeftPin(), "54");
    EXPECT_EQ(SimpleSoundSlots(named(kSimpleSound)).RightPin(), "55");
    EXPECT_EQ(named(kServo).m_strPin, "38");
    EXPECT_EQ(named(kDigital).m_strPin, "39");
    EXPECT_EQ(named(kDAC).m_strPin, "41");
    EXPECT_EQ(named(kADC).m_strPin, "42");
    UsbKbmSlots usb(named(kUsbKbm));
    EXPECT_EQ(usb.BasePin(), "8");
    EXPECT_EQ(usb.Config(), kUsbAdapter);
    EXPECT_EQ(usb.Port(), 0); // top port
    EXPECT_TRUE(usb.NoErrorLed());
    EXPECT_EQ(owner.count(56), 1u);
    EXPECT_EQ(owner[56], named(kI2CBus).m_strName); // the error LED would have sat here
}

} // namespace
} // namespace kivo::test
