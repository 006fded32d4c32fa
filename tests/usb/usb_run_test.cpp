// The generated USB project on the simulated chip, with a device on its port:
// the driver cog enumerates it and the program's loop prints what it types or
// where it moves the cursor. Needs FlexSpin (skipped without it).
#include "board/console.h"
#include "board/usb_device.h"
#include "chip/chip.h"
#include "chip/pins.h"
#include "flexspin.h"
#include "kivocli.h"
#include "project.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

using namespace kivo;
using sim::UsbDevice;

namespace {

// Watches a pin and notes whether the chip ever drives it.
class DriveWatch : public sim::Device
{
public:
    explicit DriveWatch(int pin) : m_pin(pin) {}
    std::vector<int> pins() const override { return {m_pin}; }
    void pinChanged(int, sim::Clock) override { driven = driven || m_pins->driven(m_pin); }
    bool driven = false;

private:
    int m_pin;
};

struct RunResult {
    std::string console;
    std::shared_ptr<UsbDevice> device;
    bool errorPinDriven = false;
    std::array<bool, 64> driven{}, level{}; // at the end of the run
};

class UsbRun : public ::testing::Test
{
protected:
    // A project with one USB object set up by `fields` (kivo-cli add), built
    // with FlexSpin and run for `seconds` with `device` on D- pin `dm`.
    RunResult RunProject(const std::vector<std::string> &fields, std::shared_ptr<UsbDevice> device, double seconds,
                         int errorPin = 57, const char *clockHz = nullptr)
    {
        RunResult r;
        std::string flexspin = test::FindFlexspin();
        test::KivoCli cli;
        cli.New();
        std::vector<std::string> add = {"add", cli.File(), "usb"};
        add.insert(add.end(), fields.begin(), fields.end());
        EXPECT_EQ(cli(add), 0) << cli.output;
        if (clockHz) {
            EXPECT_EQ(cli({"set", cli.File(), std::string("clock_freq=") + clockHz}), 0) << cli.output;
        }
        EXPECT_EQ(cli({"generate", cli.File()}), 0) << cli.output;
        auto c = test::CompileP2(flexspin, cli.dir.Path(), "Blink.c");
        EXPECT_TRUE(c.Ok()) << c.output;
        EXPECT_FALSE(c.HasWarning()) << c.output;
        std::string bin = test::ReadFileBytes(cli.dir / "Blink.binary");
        sim::Chip chip;
        std::string error;
        EXPECT_TRUE(chip.loadImage(std::vector<std::uint8_t>(bin.begin(), bin.end()), &error)) << error;
        sim::Console console(chip);
        console.setOutput([&](std::uint8_t b, sim::Clock) { r.console.push_back(char(b)); });
        auto watch = std::make_shared<DriveWatch>(errorPin);
        chip.pins().attach(watch);
        if (device)
            chip.pins().attach(device);
        EXPECT_EQ(chip.runForSeconds(seconds), sim::Chip::StopReason::Limit) << chip.faultMessage();
        r.device = device;
        r.errorPinDriven = watch->driven;
        for (int p = 0; p < 64; ++p) {
            r.driven[std::size_t(p)] = chip.pins().driven(p);
            r.level[std::size_t(p)] = chip.pins().level(p);
        }
        return r;
    }

    // The characters the loop printed after "Keyboard input : ", over all passes.
    static std::string Typed(const std::string &console)
    {
        std::string typed;
        const std::string head = "Keyboard input : ";
        for (std::size_t at = console.find(head); at != std::string::npos; at = console.find(head, at)) {
            at += head.size();
            std::size_t end = console.find("Loop #", at);
            for (std::size_t i = at; i + 1 < end && i + 1 < console.size(); i += 2)
                if (console[i] == ' ')
                    typed.push_back(console[i + 1]);
        }
        return typed;
    }

    void SetUp() override
    {
        if (test::FindFlexspin().empty())
            GTEST_SKIP() << "flexspin not found (set FLEXSPIN or put it on PATH); simulated USB runs skipped";
    }
};

} // namespace

TEST_F(UsbRun, KeyboardOnTheTopPortTypesIntoTheLoop)
{
    auto kb = std::make_shared<UsbDevice>(UsbDevice::Kind::Keyboard, 10);
    ASSERT_TRUE(kb->typeText("hello"));
    RunResult r = RunProject({"out_mouse=0"}, kb, 2.2, 56); // the top port's error LED
    EXPECT_NE(r.console.find("Keyboard input :  h"), std::string::npos) << r.console;
    EXPECT_EQ(Typed(r.console), "hello") << r.console;
    EXPECT_TRUE(kb->configured());
    EXPECT_EQ(kb->address(), 1);
    EXPECT_EQ(kb->protocol(), 0) << "boot protocol";
    EXPECT_EQ(kb->reportsSent(), 10);
    EXPECT_TRUE(r.errorPinDriven) << "the driver with the error LED drives it (off)";
    EXPECT_TRUE(r.driven[56] && r.level[56]) << "error LED off (high)";
    EXPECT_TRUE(r.driven[9] && r.level[9]) << "port power on: the enable pin is active high";
    EXPECT_GT(kb->maxIdleSeconds(), 0.0);
    EXPECT_LT(kb->maxIdleSeconds(), 0.0012) << "a keep-alive every millisecond";
}

TEST_F(UsbRun, CapsLockWithItsLedControlKeysAndKeyRepeat)
{
    auto kb = std::make_shared<UsbDevice>(UsbDevice::Kind::Keyboard, 10);
    kb->pressKeys(0, {0x39});        // caps lock on
    ASSERT_TRUE(kb->typeText("aB")); // caps and shift: A b
    kb->pressKeys(0x01, {0x06});     // Ctrl+C
    kb->pressKeys(0, {0x39});        // caps lock off
    kb->pressKeys(0, {0x3A});        // F1: no character
    kb->pressKeys(0, {0x07}, 0.79);  // d held: 500 ms delay, then every 40 ms
    RunResult r = RunProject({"out_mouse=0"}, kb, 3.2, 56);
    std::string typed = Typed(r.console);
    ASSERT_GE(typed.size(), 4u) << r.console;
    EXPECT_EQ(typed.substr(0, 4), std::string("Ab\x03"
                                              "d"))
        << r.console;
    std::size_t repeats = typed.size() - 3;
    EXPECT_GE(repeats, 7u) << typed;
    EXPECT_LE(repeats, 9u) << typed;
    EXPECT_EQ(typed.find_first_not_of('d', 3), std::string::npos) << typed;
    EXPECT_EQ(kb->leds(), 0) << "the caps-lock LED went on and off again";
}

TEST_F(UsbRun, AHubIsRefusedWithTheErrorLed)
{
    auto hub = std::make_shared<UsbDevice>(UsbDevice::Kind::Hub, 10);
    RunResult r = RunProject({}, hub, 1.2, 56);
    EXPECT_FALSE(hub->configured()) << "the driver does not configure a hub";
    EXPECT_EQ(hub->address(), 1) << "it got as far as reading the device descriptor";
    EXPECT_TRUE(r.driven[56] && !r.level[56]) << "error LED on (low)";
    EXPECT_NE(r.console.find("No keyboard input."), std::string::npos);

    // The same refusal with the driver that has no error LED: the pin stays untouched.
    hub = std::make_shared<UsbDevice>(UsbDevice::Kind::Hub, 10);
    r = RunProject({"no_error_led=1"}, hub, 1.2, 56);
    EXPECT_FALSE(hub->configured());
    EXPECT_FALSE(r.errorPinDriven);
}

TEST_F(UsbRun, ShiftedLettersAndSymbolsOverANoisyCable)
{
    auto kb = std::make_shared<UsbDevice>(UsbDevice::Kind::Keyboard, 10);
    ASSERT_TRUE(kb->typeText("Hi! a-b"));
    kb->corruptReports(3); // the driver drops them unacknowledged and asks again
    RunResult r = RunProject({"out_mouse=0"}, kb, 2.2);
    EXPECT_EQ(Typed(r.console), "Hi! a-b") << r.console;
    EXPECT_EQ(kb->corruptLeft(), 0);
    EXPECT_EQ(kb->corruptAcked(), 0);
    EXPECT_EQ(kb->reportsSent(), 14);
}

TEST_F(UsbRun, MouseMovesTheCursorWithinTheLimits)
{
    struct Case {
        UsbDevice::Kind kind;
        const char *name;
    };
    for (Case c : {Case{UsbDevice::Kind::Mouse, "low speed"}, Case{UsbDevice::Kind::MouseFullSpeed, "full speed"}}) {
        SCOPED_TRACE(c.name);
        auto m = std::make_shared<UsbDevice>(c.kind, 10);
        // right 3 * 127 from 100 (limit 320 - 1), up 127 from 100 (floor 0), then back a little
        m->move({{127, -127, 1}, {127, 0, 0}, {127, 0, 0}, {-19, 7, 2}});
        RunResult r = RunProject({"out_keyboard=0", "limit_x=320", "limit_y=200"}, m, 2.2);
        EXPECT_NE(r.console.find("USB mouse UsbKbM1 position = (300, 7)"), std::string::npos) << r.console;
        EXPECT_EQ(m->reportsSent(), 4);
        EXPECT_EQ(m->fullSpeed(), c.kind == UsbDevice::Kind::MouseFullSpeed);
    }
}

TEST_F(UsbRun, LowSpeedAtTwentyAndFullSpeedAtEightyMegahertz)
{
    auto kb = std::make_shared<UsbDevice>(UsbDevice::Kind::Keyboard, 10);
    ASSERT_TRUE(kb->typeText("slow"));
    RunResult r = RunProject({"out_mouse=0"}, kb, 2.2, 56, "20000000");
    EXPECT_EQ(Typed(r.console), "slow") << r.console;
    auto m = std::make_shared<UsbDevice>(UsbDevice::Kind::MouseFullSpeed, 10);
    m->move({{-50, 50, 0}});
    r = RunProject({"out_keyboard=0"}, m, 1.2, 56, "80000000");
    EXPECT_NE(r.console.find("position = (50, 150)"), std::string::npos) << r.console;
}

TEST_F(UsbRun, KeyboardSurvivesUnplugAndReplug)
{
    auto kb = std::make_shared<UsbDevice>(UsbDevice::Kind::Keyboard, 10);
    ASSERT_TRUE(kb->typeText("hello"));
    kb->setUnplug(0.3, 0.6); // after the first key or two
    RunResult r = RunProject({"out_mouse=0"}, kb, 3.2);
    EXPECT_EQ(Typed(r.console), "hello") << r.console;
    EXPECT_EQ(kb->enumerations(), 2);
    EXPECT_TRUE(kb->plugged());

    // Pulled in the middle of the enumeration (the descriptors go out at about 0.13 s).
    kb = std::make_shared<UsbDevice>(UsbDevice::Kind::Keyboard, 10);
    ASSERT_TRUE(kb->typeText("hello"));
    kb->setUnplug(0.1333, 0.4);
    r = RunProject({"out_mouse=0"}, kb, 2.2);
    EXPECT_EQ(Typed(r.console), "hello") << r.console;
    EXPECT_EQ(kb->enumerations(), 1);
    EXPECT_GE(kb->resets(), 2);
}

TEST_F(UsbRun, NoErrorLedVariantNeverDrivesTheErrorPinAndTheBottomPortWorks)
{
    // Bottom port of the adapter on base 8: activity 12, enable 13, D- 14, error LED 57.
    auto kb = std::make_shared<UsbDevice>(UsbDevice::Kind::Keyboard, 14);
    ASSERT_TRUE(kb->typeText("ok"));
    RunResult r = RunProject({"port=bottom", "no_error_led=1", "out_mouse=0"}, kb, 2.2, 57);
    EXPECT_EQ(Typed(r.console), "ok") << r.console;
    EXPECT_FALSE(r.errorPinDriven);
}

TEST_F(UsbRun, NoDeviceMeansNoKeys)
{
    RunResult r = RunProject({}, nullptr, 1.2);
    EXPECT_NE(r.console.find("No keyboard input."), std::string::npos) << r.console;
    EXPECT_NE(r.console.find("position = (100, 100)"), std::string::npos) << r.console;
}
