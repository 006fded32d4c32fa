// Each driver compiles for the P2, without a warning, with a small program
// of ours that calls every entry point.
#include "flexspin_run.h"

#include <filesystem>

using namespace kivo;

namespace {

struct DriverCase {
    const char *folder; // under tests/data/library
    const char *main;
    std::vector<std::string> libraryFiles;
};

void PrintTo(const DriverCase &c, std::ostream *os) { *os << c.folder; }

class DriverCompiles : public ::testing::TestWithParam<DriverCase>
{
};

TEST_P(DriverCompiles, WithAllWarningsOn)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const DriverCase &c = GetParam();
    test::TempDir dir;
    for (auto &f : c.libraryFiles)
        std::filesystem::copy_file(std::string(KIVO_SOURCE_DIR) + "/resources/" + f, dir / f);
    for (auto &e : std::filesystem::directory_iterator(std::string(KIVO_TEST_DATA) + "/library/" + c.folder))
        std::filesystem::copy_file(e.path(), dir / e.path().filename().string());
    auto r = test::CompileP2(flexspin, dir.Path(), c.main, "-Wall");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(r.HasWarning()) << r.output;
    ASSERT_TRUE(r.programSize.has_value()) << r.output;
    std::cout << "[ size     ] " << c.folder << ": " << *r.programSize << " bytes\n";
}

INSTANTIATE_TEST_SUITE_P(
    Library, DriverCompiles,
    ::testing::Values(DriverCase{"servo", "servo_check.c", {"zd_servo.spin2"}},
                      DriverCase{"i2c", "i2c_check.c", {"zd_i2c_kqv2.spin2"}},
                      DriverCase{"pixel", "pixel_check.c", {"zd_rgbx_pixel_kqv.spin2"}},
                      DriverCase{"rtc", "rtc_check.c", {"rtc.h", "zd_i2c_kqv2.spin2"}},
                      DriverCase{"adc", "adc_check.c", {"adc.h"}},
                      DriverCase{"vga", "vga_check.c", {"VGA_SimpleDriver1a.spin2", "bitmap2.bmp"}},
                      DriverCase{"placeholders",
                                 "placeholders_check.c",
                                 {"SimpleSound.spin2", "reSound.spin2", "trackerPlayer.spin2", "pyr.mod",
                                  "space_sample2_S8.raw", "space_sample1_S8.raw", "platform_sample3_S8.raw",
                                  "platform_sample1_S8.raw", "1CogKbM_kqv3b.spin2", "1CogKbM_kqv3b_NoErrorLed.spin2"}}),
    [](const auto &info) { return std::string(info.param.folder); });

} // namespace
