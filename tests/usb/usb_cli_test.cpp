// kivo-cli simulate's USB options: bad values and impossible combinations are
// usage errors before anything runs; a run reports the device's state.
#include "flexspin.h"
#include "kivocli.h"

#include <gtest/gtest.h>

using namespace kivo;

TEST(UsbCli, BadOptionsAreUsageErrors)
{
    test::KivoCli cli;
    cli.New();
    ASSERT_EQ(cli({"add", cli.File(), "usb"}), 0) << cli.output;
    std::string before = cli.Bytes();
    struct Case {
        std::vector<std::string> args;
        const char *message;
    };
    for (const Case &c : std::vector<Case>{
             {{"--usb-keys", "abc", "--usb-mouse", "1,2,0"}, "need a USB hub"},
             {{"--usb-device", "hub"}, "keyboard, mouse or mouse-fs"},
             {{"--usb-mouse", "1,2"}, "DX,DY,BUTTONS"},
             {{"--usb-mouse", "1,2,8"}, "BUTTONS 0..7"},
             {{"--usb-keys", "\xC3\xA9"}, "no key for the character"},
             {{"--usb-keys", "a\\q"}, "escapes"},
             {{"--usb-unplug", "2:1"}, "T1 < T2"},
             {{"--usb-unplug", "1:2"}, "needs a USB device"},
             {{"--usb-device", "keyboard", "--usb-mouse", "1,1,0"}, "needs a mouse"},
         }) {
        std::vector<std::string> args = {"simulate", cli.File()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(cli(args), 2) << c.args[0] << ": " << cli.output;
        EXPECT_NE(cli.output.find(c.message), std::string::npos) << cli.output;
    }
    EXPECT_EQ(cli.Bytes(), before) << "the project file is left alone";
}

TEST(UsbCli, JsonReportGivesTheDeviceState)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    test::KivoCli cli;
    cli.New();
    ASSERT_EQ(cli({"add", cli.File(), "usb", "out_mouse=0"}), 0) << cli.output;
    ASSERT_EQ(cli({"generate", cli.File()}), 0) << cli.output;
    ASSERT_TRUE(test::CompileP2(flexspin, cli.dir.Path(), "Blink.c").Ok());
    ASSERT_EQ(cli({"simulate", cli.File(), "--time", "2.2", "--usb-keys", "go\\n", "--json"}), 0) << cli.output;
    for (const char *want : {"\"usb\"", "\"device\": \"keyboard\"", "\"enumerated\": true", "\"address\": 1",
                             "\"reportsSent\": 6", "Keyboard input :  g o"})
        EXPECT_NE(cli.output.find(want), std::string::npos) << want << "\n" << cli.output;
}
