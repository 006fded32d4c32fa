// One object of every kind in one project: each contributes its blocks in
// list order, the shared parts appear once, and the whole compiles.
#include "kinds_b_support.h"

using namespace kinds_b;

namespace {

Setter Pin(const char *key, const char *pin)
{
    return [=](CEditorModel &e) { e.UserSetText(key, pin); };
}

void AddAllTwelve(Project &p)
{
    ASSERT_EQ(p.Add(kSimpleVGA), AddResult::Added); // 48..52
    // Off the adapter's error LED pins 56 and 57.
    ASSERT_EQ(p.Add(kI2CBus,
                    [](CEditorModel &e) {
                        e.UserSetText("scl", "44");
                        e.UserSetText("sda", "45");
                    }),
              AddResult::Added);
    ASSERT_EQ(p.Add(kNeopixel), AddResult::Added);    // 53
    ASSERT_EQ(p.Add(kNCO), AddResult::Added);         // 24
    ASSERT_EQ(p.Add(kRTC), AddResult::Added);         // on I2CScan1
    ASSERT_EQ(p.Add(kSimpleSound), AddResult::Added); // 54, 55
    ASSERT_EQ(p.Add(kServo), AddResult::Added);       // 38
    ASSERT_EQ(p.Add(kDigital, Pin("pin", "40")), AddResult::Added);
    ASSERT_EQ(p.Add(kFilters), AddResult::Added);
    ASSERT_EQ(p.Add(kDAC, Pin("pin", "41")), AddResult::Added);
    ASSERT_EQ(p.Add(kADC, Pin("pin", "42")), AddResult::Added);
    ASSERT_EQ(p.Add(kUsbKbm), AddResult::Added); // 8..15
    ASSERT_EQ(p.doc.m_objList.size(), 12u);
}

} // namespace

TEST(MixedAll, EveryKindInOneProject)
{
    Project p;
    AddAllTwelve(p);
    EXPECT_TRUE(WarningLines(p.doc).empty());
    p.Generate();
    const std::string main = p.MainFile();
    // The sound object switches main() to its polling loop.
    EXPECT_EQ(CountOf(main, "sound.pollTick();"), 1u);
    EXPECT_EQ(CountOf(main, "sleep(1);"), 0u);
    EXPECT_EQ(CountOf(main, "void ScanI2CBus(void* p)"), 1u);
    EXPECT_EQ(CountOf(main, "void SetDacModeAndLevel("), 1u);
    // Every library file but the other USB driver.
    for (auto name : {"bitmap2.bmp", "VGA_SimpleDriver1a.spin2", "zd_i2c_kqv2.spin2", "zd_rgbx_pixel_kqv.spin2",
                      "rtc.h", "SimpleSound.spin2", "pyr.mod", "reSound.spin2", "trackerPlayer.spin2", "zd_servo.spin2",
                      "adc.h", "1CogKbM_kqv3b.spin2"})
        EXPECT_TRUE(std::filesystem::exists(p.dir / name)) << name;
    EXPECT_FALSE(std::filesystem::exists(p.dir / "1CogKbM_kqv3b_NoErrorLed.spin2"));
}

TEST(MixedAll, EveryKindInOneProjectCompiles)
{
    Project p;
    AddAllTwelve(p);
    ExpectCompiles(p);
}
