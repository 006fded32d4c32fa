#include "generator/skeleton.h"
#include "kinds/rtc/slots.h"
#include "kinds_b_support.h"

using namespace kinds_b;

namespace {

Setter SetTime(bool on)
{
    return [on](CEditorModel &e) { e.UserSetFlag("settime", on); };
}

TEST(Rtc, PickerRefusesWithoutABus)
{
    Project p;
    ASSERT_EQ(p.Add(kDAC), AddResult::Added);
    EXPECT_EQ(p.Add(kRTC), AddResult::Refused);
    EXPECT_EQ(p.t.messages.shown.back(),
              (ShownMessage{MessageKind::Plain, "Error.  No I2C busses found.  Please add I2C Bus object first."}));
    EXPECT_EQ(p.doc.m_objList.size(), 1u);
    EXPECT_EQ(p.doc.m_nKindCount[kRTC], 0);
}

TEST(Rtc, DefaultsAndNoPins)
{
    Project p;
    ASSERT_EQ(p.Add(kI2CBus), AddResult::Added);
    auto owners = p.doc.m_strPinOwner;
    ASSERT_EQ(p.Add(kRTC), AddResult::Added);
    EXPECT_TRUE(p.t.messages.shown.empty());
    EXPECT_EQ(p.doc.m_strPinOwner, owners);
    const CCodeObject &o = p.Object(1);
    EXPECT_EQ(o.m_strName, "RTC1");
    EXPECT_EQ(RtcSlots(o).Bus(), "I2CScan1");
    EXPECT_EQ(RtcSlots(o).Type(), "DS1339");
    EXPECT_FALSE(RtcSlots(o).SetTime());
    EXPECT_TRUE(o.m_bValid);
    EXPECT_EQ(o.m_strPin, "");
    p.Generate();
    EXPECT_TRUE(std::filesystem::exists(p.dir / "rtc.h"));
    ASSERT_TRUE(DeleteObject(p.doc, 1));
    EXPECT_EQ(p.doc.m_strPinOwner, owners); // a clock frees nothing
}

TEST(Rtc, SetTimeLinesFollowTheClockAtGeneration)
{
    Project p;
    ASSERT_EQ(p.Add(kI2CBus), AddResult::Added);
    ASSERT_EQ(p.Add(kRTC, SetTime(true)), AddResult::Added);
    struct Case {
        LocalDateTime time;
        const char *lines;
    };
    const Case cases[] = {
        {{2025, 1, 5, 0, 0, 0, 0},
         "    now.year = 2025;\n    now.month = 1;\n    now.mday = 5;\n    now.wday = 1;\n    now.hour = 0;\n"
         "    now.min = 0;\n    now.sec = 0;\n"},
        {{2031, 12, 31, 6, 23, 59, 58},
         "    now.year = 2031;\n    now.month = 12;\n    now.mday = 31;\n    now.wday = 7;\n    now.hour = 23;\n"
         "    now.min = 59;\n    now.sec = 58;\n"},
    };
    for (auto &c : cases) {
        FixedClock clock(c.time);
        std::string text = MainFileText(p.doc, clock, false);
        EXPECT_NE(text.find(std::string("GetRtcSetSystemTime(); //Get time from RTC and apply to system\n\n"
                                        "    RTC now;\n") +
                            c.lines + "    rtc_settime(&now);\n"),
                  std::string::npos)
            << text;
    }
}

TEST(Rtc, BusListHoldsTheProjectsBusesInOrder)
{
    Project p;
    ASSERT_EQ(p.Add(kI2CBus, [](CEditorModel &e) { e.UserSetText("name", "Zeta"); }), AddResult::Added);
    ASSERT_EQ(p.Add(kDAC), AddResult::Added);
    ASSERT_EQ(p.Add(kI2CBus,
                    [](CEditorModel &e) {
                        e.UserSetText("name", "Alpha");
                        e.UserSetText("scl", "1");
                        e.UserSetText("sda", "2");
                    }),
              AddResult::Added);
    ASSERT_EQ(p.Add(kI2CBus,
                    [](CEditorModel &e) {
                        e.UserSetText("name", "Mid");
                        e.UserSetText("scl", "3");
                        e.UserSetText("sda", "4");
                    }),
              AddResult::Added);
    CCodeObject o;
    auto e = FindKind(kRTC)->CreateEditor(o, p.doc, 0, p.t.messages);
    e->Open();
    EXPECT_EQ(e->Title(), "I2C Real Time Clock (RTC)");
    EXPECT_EQ(e->Options("bus"), (std::vector<std::string>{"Zeta", "Alpha", "Mid"}));
    EXPECT_EQ(e->Int("bus"), 0);
    EXPECT_EQ(e->Options("type"), std::vector<std::string>{"DS1339"});
    e->UserChoose("bus", 2);
    ASSERT_EQ(e->Ok(), OkResult::Accepted);
    EXPECT_EQ(RtcSlots(o).Bus(), "Mid");

    // Reopened, the stored bus is selected.
    auto again = FindKind(kRTC)->CreateEditor(o, p.doc, 1, p.t.messages);
    again->Open();
    EXPECT_TRUE(again->IsReadOnly("name"));
    EXPECT_EQ(again->Int("bus"), 2);
    EXPECT_EQ(again->Int("type"), 0);
}

TEST(Rtc, ClockWhoseBusWasDeletedIsBoundAgainToABusOfTheProject)
{
    Project p;
    ASSERT_EQ(p.Add(kI2CBus), AddResult::Added);
    ASSERT_EQ(p.Add(kI2CBus,
                    [](CEditorModel &e) {
                        e.UserSetText("scl", "1");
                        e.UserSetText("sda", "2");
                    }),
              AddResult::Added);
    ASSERT_EQ(p.Add(kRTC, SetTime(true)), AddResult::Added);
    ASSERT_TRUE(DeleteObject(p.doc, 0));
    auto e = FindKind(kRTC)->CreateEditor(p.Object(1), p.doc, 1, p.t.messages);
    e->Open();
    EXPECT_EQ(e->Options("bus"), std::vector<std::string>{"I2CScan2"});
    EXPECT_EQ(e->Int("bus"), -1); // nothing selected
    EXPECT_TRUE(e->Flag("settime"));
    e->UserSetFlag("settime", false);
    // The project's buses are offered; OK needs one of them.
    ASSERT_EQ(e->Ok(), OkResult::StayOpen);
    EXPECT_EQ(e->FocusField(), "bus");
    EXPECT_EQ(p.t.messages.shown,
              (std::vector<ShownMessage>{
                  {MessageKind::Plain, "Please choose the I2C bus.\nThe bus I2CScan1 is no longer in the project."}}));
    EXPECT_TRUE(RtcSlots(p.Object(1)).SetTime());
    e->UserChoose("bus", 0);
    ASSERT_EQ(e->Ok(), OkResult::Accepted);
    EXPECT_EQ(RtcSlots(p.Object(1)).Bus(), "I2CScan2");
    EXPECT_FALSE(RtcSlots(p.Object(1)).SetTime());

    // With no bus left at all the clock keeps the name it has.
    ASSERT_TRUE(DeleteObject(p.doc, 0));
    auto alone = FindKind(kRTC)->CreateEditor(p.Object(0), p.doc, 1, p.t.messages);
    alone->Open();
    ASSERT_EQ(alone->Ok(), OkResult::Accepted);
    EXPECT_EQ(RtcSlots(p.Object(0)).Bus(), "I2CScan2");
}

TEST(Rtc, TwoClocksGiveTwoLoopBlocks)
{
    Project p;
    ASSERT_EQ(p.Add(kI2CBus), AddResult::Added);
    ASSERT_EQ(p.Add(kRTC), AddResult::Added);
    ASSERT_EQ(p.Add(kRTC), AddResult::Added);
    EXPECT_EQ(p.Object(2).m_strName, "RTC2");
    p.Generate();
    const std::string main = p.MainFile();
    EXPECT_EQ(CountOf(main, "    char dispbuf[40];\r\n"), 2u);
    EXPECT_EQ(CountOf(main, "BindRtcToPort(&I2CScan1);"), 2u);
    EXPECT_EQ(CountOf(test::ReadFileBytes(p.dir / "Platform.h"), "#include \"rtc.h\""), 2u);
}

TEST(Rtc, CompilesWithFlexSpin)
{
    Project p;
    ASSERT_EQ(p.Add(kI2CBus), AddResult::Added);
    ASSERT_EQ(p.Add(kRTC, SetTime(true)), AddResult::Added);
    ExpectCompiles(p);
}

TEST(RtcCli, BusByNameAndRefusals)
{
    Cli cli;
    cli.New();
    const std::string empty = cli.Bytes();
    EXPECT_EQ(cli({"add", cli.File(), "rtc"}), 1);
    EXPECT_NE(cli.output.find("Error.  No I2C busses found.  Please add I2C Bus object first."), std::string::npos)
        << cli.output;
    EXPECT_EQ(cli.Bytes(), empty);
    ASSERT_EQ(cli({"add", cli.File(), "i2c"}), 0) << cli.output;
    ASSERT_EQ(cli({"add", cli.File(), "i2c", "scl=1", "sda=2"}), 0) << cli.output;
    EXPECT_EQ(cli({"add", cli.File(), "rtc", "bus=Nope"}), 2);
    EXPECT_EQ(cli({"add", cli.File(), "rtc", "bus=i2cscan2", "settime=on"}), 0) << cli.output;
    CKivoDoc doc;
    cli.Load(doc);
    ASSERT_EQ(doc.m_objList.size(), 3u);
    EXPECT_EQ(RtcSlots(*doc.m_objList[2]).Bus(), "I2CScan2");
    EXPECT_EQ(RtcSlots(*doc.m_objList[2]).Type(), "DS1339");
    EXPECT_TRUE(RtcSlots(*doc.m_objList[2]).SetTime());
}

} // namespace
