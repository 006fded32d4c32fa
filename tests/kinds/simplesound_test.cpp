#include "kinds/simplesound/slots.h"
#include "kinds_c_support.h"

using namespace kivo;
using kc::Project;

namespace {

const MessageKind E = MessageKind::Error;
const MessageKind P = MessageKind::Plain;

TEST(SimpleSoundEditor, TextsAndDefaults)
{
    Project p;
    CCodeObject o;
    auto e = FindKind(kSimpleSound)->CreateEditor(o, p.doc, 0, p.t.messages);
    e->Open();
    EXPECT_EQ(e->Title(), "Simple Sound - Music & Sound Effects Player");
    EXPECT_EQ(e->Description(),
              "Adds code to play .mod music files and also mix in .raw sounds.  This is an easy way to add sound to "
              "games.\r\n\r\nNote:  Uses 1 cog.  Also, the sound.pollTick() function must be called at 50 Hz (every "
              "20 milliseconds) or faster.");
    EXPECT_EQ(e->NameLabel(), "ObjectName:");
    EXPECT_EQ(e->Name(), "SimpleSound1");
    EXPECT_EQ(e->FindField("left")->label, "Left I/O Pin:");
    EXPECT_EQ(e->FindField("left")->hint, "This is basepin+6 with Parallax A/V adapter");
    EXPECT_EQ(e->FindField("right")->hint, "This is basepin+7 with Parallax A/V adapter");
    EXPECT_EQ(e->FindField("music")->label, "Play pyr.mod music file at start");
    EXPECT_EQ(e->FindField("effects")->label, "Play random sound effects");
    EXPECT_EQ(e->Text("left"), "54");
    EXPECT_EQ(e->Text("right"), "55");
    EXPECT_TRUE(e->Flag("music"));
    EXPECT_TRUE(e->Flag("effects"));
}

TEST(SimpleSoundEditor, DefaultOkStoresSlotsAndReservesBothPins)
{
    Project p;
    ASSERT_EQ(p.Add(kSimpleSound), AddResult::Added);
    EXPECT_TRUE(p.TakeMessages().empty());
    const CCodeObject &o = p.Object(0);
    EXPECT_EQ(o.m_nKind, kSimpleSound);
    EXPECT_EQ(SimpleSoundSlots(o).LeftPin(), "54");
    EXPECT_EQ(SimpleSoundSlots(o).RightPin(), "55");
    EXPECT_TRUE(SimpleSoundSlots(o).Music());
    EXPECT_TRUE(SimpleSoundSlots(o).Effects());
    EXPECT_EQ(o.m_nPinCount, 1);
    EXPECT_TRUE(o.m_strPin.empty());
    EXPECT_TRUE(o.m_bValid);
    EXPECT_EQ(kc::PinsOwnedBy(p.doc, "SimpleSound1"),
              (std::vector<std::string>{"54:Simple Sound Left", "55:Simple Sound Right"}));
}

struct PinCase {
    const char *left, *right;
    std::vector<ShownMessage> messages;
    std::vector<std::string> pins; // owned by the object afterwards; empty: refused
};

class SimpleSoundPins : public ::testing::TestWithParam<PinCase>
{
};

// Pin 30 belongs to "Other" in every case.
TEST_P(SimpleSoundPins, EachPinCheckedCompletelyBeforeTheNext)
{
    const PinCase &c = GetParam();
    Project p;
    p.doc.m_bPinUsed[30] = true;
    p.doc.m_strPinOwner[30] = "Other";
    auto r = p.Add(kSimpleSound, {{"left", c.left}, {"right", c.right}});
    EXPECT_EQ(p.TakeMessages(), c.messages);
    EXPECT_EQ(r, c.pins.empty() ? AddResult::Cancelled : AddResult::Added);
    EXPECT_EQ(kc::PinsOwnedBy(p.doc, "SimpleSound1"), c.pins);
    EXPECT_EQ(kc::PinEntry(p.doc, 30), "used|Other||");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimpleSoundPins,
    ::testing::Values(
        PinCase{"6", "7", {}, {"6:Simple Sound Left", "7:Simple Sound Right"}},
        // Same pin twice: the kind's checks pass, the project checks refuse.
        PinCase{"20",
                "20",
                {{E, "\"Left I/O Pin:\" and \"Right I/O Pin:\" are both pin 20: give each channel its own pin."}},
                {}},
        PinCase{"64", "70", {{E, "Pin 64 is out of range, please set to between 0 and 63."}}, {}},
        PinCase{"-1", "30", {{E, "Pin -1 is out of range, please set to between 0 and 63."}}, {}},
        PinCase{"30", "70", {{E, "Pin #30 is already in use by Other."}}, {}},
        PinCase{"54", "64", {{P, "Pin 64 is out of range, please set to between 0 and 63."}}, {}},
        PinCase{"54", "30", {{E, "Pin #30 is already in use by Other."}}, {}},
        // The serial pins belong to "Serial" in a new project.
        PinCase{"54", "62", {{E, "Pin #62 is already in use by Serial."}}, {}}));

TEST(SimpleSoundEditor, EditMovesRightPinRefusedEditKeepsPins)
{
    Project p;
    ASSERT_EQ(p.Add(kSimpleSound), AddResult::Added);
    std::vector<std::string> shown;
    ASSERT_TRUE(EditObject(p.doc, 0, p.t.messages, kc::Press({{"music", "0"}}, &shown)));
    EXPECT_EQ(shown, (std::vector<std::string>{"left=54", "right=55", "music=0", "effects=1"}));
    EXPECT_FALSE(SimpleSoundSlots(p.Object(0)).Music());
    EXPECT_TRUE(p.Edit(0, {{"right", "40"}}));
    EXPECT_EQ(kc::PinEntry(p.doc, 55), "free|||");
    EXPECT_EQ(kc::PinsOwnedBy(p.doc, "SimpleSound1"),
              (std::vector<std::string>{"40:Simple Sound Right", "54:Simple Sound Left"}));
    // Refused, then cancelled: the object and the table are as they were.
    EXPECT_FALSE(p.Edit(0, {{"left", "99"}}));
    EXPECT_EQ(SimpleSoundSlots(p.Object(0)).LeftPin(), "54");
    EXPECT_TRUE(p.Object(0).m_bValid);
    EXPECT_EQ(kc::PinsOwnedBy(p.doc, "SimpleSound1").size(), 2u);
    EXPECT_EQ(FindKind(kSimpleSound)->PinsOf(p.Object(0)), (std::vector<int>{54, 40}));
    // Delete frees what the name holds.
    EXPECT_TRUE(DeleteObject(p.doc, 0));
    EXPECT_TRUE(kc::PinsOwnedBy(p.doc, "SimpleSound1").empty());
}

TEST(SimpleSoundGeneratedFiles, DriverNamedAsWrittenAndAllFilesWritten)
{
    Project p;
    ASSERT_EQ(p.Add(kSimpleSound), AddResult::Added);
    p.Generate();
    std::string main = test::ReadFileBytes(p.dir / "Blink.c");
    EXPECT_NE(main.find("struct __using(\"SimpleSound.spin2\") sound;"), std::string::npos);
    for (auto name : {"SimpleSound.spin2", "space_sample2_S8.raw", "space_sample1_S8.raw", "platform_sample3_S8.raw",
                      "platform_sample1_S8.raw", "pyr.mod", "reSound.spin2", "trackerPlayer.spin2"})
        EXPECT_TRUE(std::filesystem::exists(p.dir / name)) << name;
    // Without a sound object main() sleeps again.
    ASSERT_TRUE(DeleteObject(p.doc, 0));
    p.Generate();
    main = test::ReadFileBytes(p.dir / "Blink.c");
    EXPECT_EQ(main.find("pollTick"), std::string::npos);
    EXPECT_NE(main.find("        sleep(1); //wait a second\r\n"), std::string::npos);
}

TEST(SimpleSoundGeneratedFiles, Compiles)
{
    Project p;
    ASSERT_EQ(p.Add(kSimpleSound), AddResult::Added);
    p.Generate();
    KC_COMPILE_CHECK(p.dir.Path());
}

TEST(SimpleSoundCli, RightPinRangeIsPlainAndRefusalLeavesFile)
{
    test::KivoCli cli;
    std::string file = cli.File();
    ASSERT_EQ(cli.Run({"new", file}).exitCode, 0);
    std::string before = test::ReadFileBytes(file);
    auto r = cli.Run({"add", file, "sound", "right=64"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Kivo: Pin 64 is out of range, please set to between 0 and 63."), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadFileBytes(file), before);
    r = cli.Run({"add", file, "sound", "music=off", "effects=false"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = cli.Run({"edit", file, "@1", "music=on", "left=50"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = cli.Run({"show", file});
    EXPECT_NE(r.out.find("  50\tNo\tSimpleSound1\tSimple Sound Left"), std::string::npos) << r.out;
    EXPECT_EQ(cli.Run({"add", file, "sound", "music=maybe"}).exitCode, 2);
}

} // namespace
