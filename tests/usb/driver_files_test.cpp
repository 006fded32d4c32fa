// The two USB driver files: both come from one source and are committed as
// the generator makes them; the variant without the error LED never touches
// that pin.
#include "testsupport.h"
#include "usbdriver.h"

#include <regex>

using namespace kivo;

namespace {

std::string Source() { return test::ReadFileBytes(std::string(KIVO_SOURCE_DIR) + "/tools/gen/usb/1CogKbM.spin2"); }

std::string Text(bool errorLed)
{
    for (const auto &f : gen::UsbDriverFiles())
        if (f.errorLed == errorLed)
            return gen::UsbDriverText(Source(), f);
    return "";
}

} // namespace

TEST(UsbDriverFiles, CommittedFilesAreWhatTheGeneratorMakes)
{
    ASSERT_EQ(gen::UsbDriverFiles().size(), 2u);
    for (const auto &f : gen::UsbDriverFiles()) {
        SCOPED_TRACE(f.name);
        std::string text = gen::UsbDriverText(Source(), f);
        ASSERT_FALSE(text.empty());
        auto made = gen::EncodeUtf16Le(text);
        std::string committed = test::ReadFileBytes(std::string(KIVO_SOURCE_DIR) + "/resources/" + f.name);
        EXPECT_TRUE(std::string(made.begin(), made.end()) == committed)
            << "run `ninja kivo-gen-usb-drivers` and commit resources/";
    }
}

TEST(UsbDriverFiles, OnlyTheErrorLedVariantDrivesTheErrorPin)
{
    std::string with = Text(true), without = Text(false);
    std::regex drive(R"((drv[hl]|wrpin|dirh|outh|outl|drvnot)\s+errpin)", std::regex::icase);
    EXPECT_TRUE(std::regex_search(with, drive));
    EXPECT_FALSE(std::regex_search(without, drive));
    // The variant hands the driver no error pin at all.
    EXPECT_NE(without.find("prm_err := -1"), std::string::npos);
    EXPECT_EQ(without.find("[err"), std::string::npos);
    EXPECT_EQ(with.find("[err"), std::string::npos);
    EXPECT_EQ(with.rfind("' 1CogKbM_kqv3b.spin2 - ", 0), 0u);
    EXPECT_EQ(without.rfind("' 1CogKbM_kqv3b_NoErrorLed.spin2 - ", 0), 0u);
}

TEST(UsbDriverFiles, UnpairedMarkersAreRefused)
{
    std::string error;
    const auto &f = gen::UsbDriverFiles()[0];
    EXPECT_EQ(gen::UsbDriverText("a\n' [error LED]\nb\n", f, &error), "");
    EXPECT_NE(error.find("unterminated"), std::string::npos);
    EXPECT_EQ(gen::UsbDriverText("a\n' [end error LED]\n", f, &error), "");
    EXPECT_NE(error.find("line 2"), std::string::npos);
    EXPECT_EQ(gen::UsbDriverText("x\r\n' [error LED]\r\ny\r\n' [end error LED]\r\n", gen::UsbDriverFiles()[1]),
              "x\r\n");
}
