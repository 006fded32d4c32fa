// Projects that mix several objects of the DAC, ADC, I2C bus and RTC kinds:
// the shared declarations and support functions appear once, where the
// walk meets the first object that needs them.
#include "kinds/rtc/slots.h"
#include "kinds_b_support.h"

using namespace kinds_b;

namespace {

Setter Bus(const char *scl, const char *sda, bool scan)
{
    return [=](CEditorModel &e) {
        e.UserSetText("scl", scl);
        e.UserSetText("sda", sda);
        e.UserSetFlag("scan", scan);
    };
}

void AddTwoBusesScanOnSecond(Project &p)
{
    ASSERT_EQ(p.Add(kI2CBus, Bus("56", "57", false)), AddResult::Added);
    ASSERT_EQ(p.Add(kI2CBus, Bus("20", "21", true)), AddResult::Added);
}

void AddTwoDacs(Project &p)
{
    ASSERT_EQ(p.Add(kDAC, [](CEditorModel &e) { e.UserSetFlag("random", false); }), AddResult::Added);
    ASSERT_EQ(p.Add(kDAC,
                    [](CEditorModel &e) {
                        e.UserSetText("pin", "48");
                        e.UserSlide("level", 200);
                        e.UserChoose("drive", 2);
                    }),
              AddResult::Added);
}

TEST(MixedB, TwoI2CBusesWithTheScanOnlyOnTheSecond)
{
    Project p;
    AddTwoBusesScanOnSecond(p);
    p.Generate();
    const std::string main = p.MainFile();
    EXPECT_EQ(CountOf(main, "typedef struct __using(\"zd_i2c_kqv2.spin2\") zdi2c;"), 1u);
    EXPECT_LT(main.find("typedef struct"), main.find("zdi2c I2CScan1;"));
    EXPECT_EQ(CountOf(main, "ScanI2CBus(&I2CScan2);"), 1u);
    EXPECT_EQ(CountOf(main, "ScanI2CBus(&I2CScan1);"), 0u);
    EXPECT_EQ(CountOf(main, "void ScanI2CBus(void* p)"), 1u);
}

TEST(MixedB, TwoDacObjectsShareOneSupportFunction)
{
    Project p;
    AddTwoDacs(p);
    p.Generate();
    const std::string main = p.MainFile();
    EXPECT_EQ(CountOf(main, "void SetDacModeAndLevel("), 1u);
    EXPECT_EQ(CountOf(main, "DAC1_NewLevel"), 0u);
    EXPECT_EQ(CountOf(main, "int DAC2_NewLevel"), 1u);
}

TEST(MixedB, RtcWhoseBusWasDeleted)
{
    Project p;
    AddTwoBusesScanOnSecond(p);
    ASSERT_EQ(p.Add(kRTC), AddResult::Added); // on the first bus
    ASSERT_EQ(RtcSlots(p.Object(2)).Bus(), "I2CScan1");
    ASSERT_TRUE(DeleteObject(p.doc, 0));
    EXPECT_FALSE(p.doc.m_bPinUsed[56]);
    EXPECT_EQ(p.doc.m_strPinUsage[20], "SCL");
    p.Generate();
    const std::string main = p.MainFile();
    EXPECT_EQ(CountOf(main, "BindRtcToPort(&I2CScan1);"), 1u);
    EXPECT_EQ(CountOf(main, "zdi2c I2CScan1;"), 0u);
    // The typedef now comes with the remaining bus.
    EXPECT_EQ(CountOf(main, "typedef struct __using(\"zd_i2c_kqv2.spin2\") zdi2c;\r\nzdi2c I2CScan2;"), 1u);
}

TEST(MixedB, NoScanningBusAndNoDacGiveNoSupportFunctions)
{
    Project p;
    ASSERT_EQ(p.Add(kI2CBus, Bus("56", "57", false)), AddResult::Added);
    ASSERT_EQ(p.Add(kADC), AddResult::Added);
    p.Generate();
    const std::string main = p.MainFile();
    EXPECT_EQ(main.find("ScanI2CBus"), std::string::npos);
    EXPECT_EQ(main.find("SetDacModeAndLevel"), std::string::npos);
}

TEST(MixedB, AllFourKindsTogetherCompile)
{
    Project p;
    AddTwoBusesScanOnSecond(p);
    AddTwoDacs(p);
    ASSERT_EQ(p.Add(kRTC,
                    [](CEditorModel &e) {
                        e.UserChoose("bus", 1);
                        e.UserSetFlag("settime", true);
                    }),
              AddResult::Added);
    ASSERT_EQ(p.Add(kADC, [](CEditorModel &e) { e.UserChoose("filter", 1); }), AddResult::Added);
    ASSERT_EQ(p.Add(kADC,
                    [](CEditorModel &e) {
                        e.UserSetText("pin", "51");
                        e.UserChoose("filter", 2);
                        e.UserSetFlag("calibrated", false);
                    }),
              AddResult::Added);
    ExpectCompiles(p);
}

} // namespace
