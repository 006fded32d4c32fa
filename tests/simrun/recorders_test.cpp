// The run's recorders: the VCD trace and the PNG frame writer.
#include "chip/pins.h"
#include "chip/time.h"
#include "run/png.h"
#include "run/vcd.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

using namespace kivo::sim;

namespace {

constexpr std::uint32_t kDac990 = 0x00140000; // P_DAC_990R_3V, level in bits 15:8

// One cog's DIR/OUT, with a helper to set single pins at a clock.
struct Board {
    TimeBase time{100e6}; // 10 ns a clock
    Pins pins{time};
    std::uint64_t dir = 0, out = 0;
    void set(int pin, bool driven, bool high, Clock at)
    {
        dir = driven ? dir | 1ull << pin : dir & ~(1ull << pin);
        out = high ? out | 1ull << pin : out & ~(1ull << pin);
        pins.setCogOutputs(0, dir, out, at);
        pins.advance(at);
    }
};

TEST(Recorders, VcdHoldsLevelsAndThrottledVolts)
{
    auto path = std::filesystem::temp_directory_path() / "kivo_devices_test.vcd";
    Board b;
    auto vcd = std::make_shared<VcdRecorder>(path.string(), std::vector<int>{5}, std::vector<int>{9});
    ASSERT_TRUE(vcd->ok());
    b.pins.attach(vcd);
    b.set(5, true, true, 100);  // 1 us
    b.set(5, true, false, 200); // 2 us
    b.set(9, true, false, 200);
    for (int i = 1; i <= 50; i++) // every 100 ns: only one a microsecond is kept
        b.pins.wrpin(9, kDac990 | std::uint32_t(i) << 8, 200 + Clock(i) * 10);
    b.pins.advance(2000);
    vcd->finish(2000);
    ASSERT_TRUE(vcd->close());
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    EXPECT_NE(s.find("$var wire 1 ! P5 $end"), std::string::npos);
    EXPECT_NE(s.find("$scope module volts $end\n$var real 64 \" P9 $end"), std::string::npos);
    EXPECT_NE(s.find("#1000\n1!"), std::string::npos);
    EXPECT_NE(s.find("#2000\n0!"), std::string::npos);
    std::size_t reals = 0;
    for (std::size_t p = s.find("\nr"); p != std::string::npos; p = s.find("\nr", p + 1))
        reals++;
    EXPECT_LE(reals, 8u); // dumpvars + at most one a microsecond over 5 us + the last
    EXPECT_NE(s.find("r" + std::to_string(50 / 255.0 * 3.3).substr(0, 5)), std::string::npos);
    std::filesystem::remove(path);
}

TEST(Recorders, VcdWindowStartsWithThePinsStateThen)
{
    auto path = std::filesystem::temp_directory_path() / "kivo_devices_window_test.vcd";
    Board b;
    auto vcd = std::make_shared<VcdRecorder>(path.string(), std::vector<int>{5}, std::vector<int>{}, 1.5e-6);
    b.pins.attach(vcd);
    b.set(5, true, true, 100);  // 1 us: before the window
    b.set(5, true, false, 200); // 2 us
    b.set(5, true, true, 300);  // 3 us
    b.pins.advance(400);
    vcd->finish(400);
    ASSERT_TRUE(vcd->close());
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    const auto body = s.substr(s.find("$enddefinitions $end\n") + 21);
    EXPECT_EQ(body, "#1500\n$dumpvars\n1!\n$end\n#2000\n0!\n#3000\n1!\n#4000\n");
    std::filesystem::remove(path);
}

TEST(Recorders, VcdPinListsTakeNumbersAndRanges)
{
    const std::pair<const char *, std::vector<int>> good[] = {
        {"24", {24}}, {"48-52", {48, 49, 50, 51, 52}}, {"0,63", {0, 63}}, {"5-5,7", {5, 7}}};
    for (const auto &[text, pins] : good) {
        std::vector<int> got;
        EXPECT_TRUE(ParsePinList(text, got)) << text;
        EXPECT_EQ(got, pins) << text;
    }
    for (const char *bad : {"", "64", "1,", ",1", "1-", "3-2", " 1", "1;2", "0x1", "0063", "-1"}) {
        std::vector<int> got = {9};
        EXPECT_FALSE(ParsePinList(bad, got)) << bad;
        EXPECT_EQ(got, std::vector<int>{9}) << bad;
    }
}

TEST(Recorders, PngRoundTrip)
{
    auto path = std::filesystem::temp_directory_path() / "kivo_devices_test.png";
    std::vector<std::uint8_t> rgb(4 * 3 * 3);
    for (std::size_t i = 0; i < rgb.size(); i++)
        rgb[i] = std::uint8_t(i * 7);
    std::string error;
    ASSERT_TRUE(WritePng(path.string(), 4, 3, rgb, &error)) << error;
    int w = 0, h = 0;
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(ReadPng(path.string(), w, h, back, &error)) << error;
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(back, rgb);
    EXPECT_FALSE(WritePng("/nonexistent-folder/x.png", 4, 3, rgb, &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos);
    std::filesystem::remove(path);
}

} // namespace
