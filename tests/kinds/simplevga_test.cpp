#include "kinds_c_support.h"

#include "model/text.h"

using namespace kivo;
using kc::Project;

namespace {

const MessageKind E = MessageKind::Error;

TEST(SimpleVgaEditor, TextsAndDefaults)
{
    Project p;
    CCodeObject o;
    auto e = FindKind(kSimpleVGA)->CreateEditor(o, p.doc, 0, p.t.messages);
    e->Open();
    EXPECT_EQ(e->Title(), "Simple VGA 8bpp Image");
    EXPECT_EQ(e->Description(), "Uses 5 pins and a fair amount of memory to show a 8bpp embedded image over VGA.\r\n"
                                "Usually used on basepin that is multiple of 8 but can be multiple of 4.");
    EXPECT_EQ(e->NameLabel(), "Object Name:");
    ASSERT_EQ(e->Fields().size(), 1u);
    EXPECT_EQ(e->Fields()[0].label, "Basepin:");
    EXPECT_EQ(e->Fields()[0].hint, "Must be a multiple of 4");
    EXPECT_EQ(e->Name(), "SimpleVGA1");
    EXPECT_EQ(e->Text("basepin"), "48");
    EXPECT_STREQ(FindKind(kSimpleVGA)->CliName(), "vga");
}

struct BaseCase {
    const char *basepin;
    std::vector<ShownMessage> messages;
    int firstPin; // -1: refused
};

class SimpleVgaBasePin : public ::testing::TestWithParam<BaseCase>
{
};

TEST_P(SimpleVgaBasePin, OkChecksRangeThenMultipleOfFour)
{
    const BaseCase &c = GetParam();
    Project p;
    auto r = p.Add(kSimpleVGA, {{"basepin", c.basepin}});
    EXPECT_EQ(p.TakeMessages(), c.messages);
    if (c.firstPin < 0) {
        EXPECT_EQ(r, AddResult::Cancelled);
        for (int pin = 0; pin < 62; ++pin)
            EXPECT_FALSE(p.doc.m_bPinUsed[pin]) << pin;
        return;
    }
    ASSERT_EQ(r, AddResult::Added);
    const CCodeObject &o = p.Object(0);
    EXPECT_TRUE(o.m_bValid);
    EXPECT_EQ(o.m_nKind, kSimpleVGA);
    EXPECT_EQ(o.m_strPin, c.basepin);
    EXPECT_EQ(o.m_nPinCount, 5);
    const int b = c.firstPin;
    EXPECT_EQ(kc::PinsOwnedBy(p.doc, "SimpleVGA1"),
              (std::vector<std::string>{std::to_string(b) + ":HSync", std::to_string(b + 1) + ":Blue",
                                        std::to_string(b + 2) + ":Green", std::to_string(b + 3) + ":Red",
                                        std::to_string(b + 4) + ":VSync"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimpleVgaBasePin,
    ::testing::Values(
        BaseCase{"48", {}, 48}, BaseCase{"52", {}, 52}, BaseCase{"56", {}, 56},
        // The kind's own checks take both as pin 0 and 12; the project
        // checks then want digits only, and the table stays as it was.
        BaseCase{"", {{E, "\"Basepin:\" is empty: enter a whole number from 0 to 56."}}, -1},
        BaseCase{"12abc", {{E, "\"Basepin:\" is \"12abc\": write a whole number from 0 to 56 in digits only."}}, -1},
        BaseCase{"57", {{E, "Pin 57 is out of range, please set to between 0 and 56."}}, -1},
        BaseCase{"-4", {{E, "Pin -4 is out of range, please set to between 0 and 56."}}, -1},
        BaseCase{"50", {{E, "Pin 50 is not a multiple of 4."}}, -1},
        BaseCase{"60", {{E, "Pin 60 is out of range, please set to between 0 and 56."}}, -1}));

// A refused OK stores the fields, leaves the pin count and the table alone.
TEST(SimpleVgaEditor, RefusalKeepsStoredFieldsAndPinCount)
{
    Project p;
    CCodeObject o;
    auto e = FindKind(kSimpleVGA)->CreateEditor(o, p.doc, 0, p.t.messages);
    e->Open();
    e->UserSetText("basepin", "50");
    EXPECT_EQ(e->Ok(), OkResult::StayOpen);
    EXPECT_EQ(o.m_strPin, "50");
    EXPECT_EQ(o.m_strName, "SimpleVGA1");
    EXPECT_EQ(o.m_nPinCount, 0);
    EXPECT_FALSE(o.m_bValid);
    e->UserSetText("basepin", "40");
    EXPECT_EQ(e->Ok(), OkResult::Accepted);
    EXPECT_TRUE(o.m_bValid);
    EXPECT_EQ(o.m_nPinCount, 5);
}

TEST(SimpleVgaEditor, ConflictNamesFirstTakenPin)
{
    Project p;
    p.doc.m_bPinUsed[50] = p.doc.m_bPinUsed[51] = true;
    p.doc.m_strPinOwner[50] = p.doc.m_strPinOwner[51] = "Other";
    EXPECT_EQ(p.Add(kSimpleVGA, [](CEditorModel &e) { e.UserSetText("basepin", "48"); }), AddResult::Cancelled);
    EXPECT_EQ(p.TakeMessages(), (std::vector<ShownMessage>{{E, "Pin #50 is already in use by Other."}}));
    EXPECT_TRUE(kc::PinsOwnedBy(p.doc, "SimpleVGA1").empty());
    EXPECT_EQ(kc::PinEntry(p.doc, 48), "free|||");
}

TEST(SimpleVgaEditor, EditMovesPinsAndDeleteFreesThem)
{
    Project p;
    ASSERT_EQ(p.Add(kSimpleVGA), AddResult::Added);
    p.doc.m_strPinNote[48] = "monitor";
    // Opened again, the editor shows the stored base pin; OK unchanged is fine.
    std::vector<std::string> shown;
    EXPECT_TRUE(EditObject(p.doc, 0, p.t.messages, kc::Press({}, &shown)));
    EXPECT_EQ(shown, std::vector<std::string>{"basepin=48"});
    EXPECT_TRUE(p.Edit(0, {{"basepin", "8"}}));
    EXPECT_EQ(kc::PinEntry(p.doc, 48), "free|||monitor");
    EXPECT_EQ(kc::PinEntry(p.doc, 52), "free|||");
    EXPECT_EQ(kc::PinsOwnedBy(p.doc, "SimpleVGA1"),
              (std::vector<std::string>{"8:HSync", "9:Blue", "10:Green", "11:Red", "12:VSync"}));
    // A refused edit keeps the old pins and object; delete then frees them.
    EXPECT_FALSE(p.Edit(0, {{"basepin", "9"}}));
    EXPECT_TRUE(p.Object(0).m_bValid);
    EXPECT_EQ(kc::PinsOwnedBy(p.doc, "SimpleVGA1").size(), 5u);
    EXPECT_EQ(FindKind(kSimpleVGA)->PinsOf(p.Object(0)), (std::vector<int>{8, 9, 10, 11, 12}));
    EXPECT_TRUE(DeleteObject(p.doc, 0));
    EXPECT_TRUE(kc::PinsOwnedBy(p.doc, "SimpleVGA1").empty());
}

TEST(SimpleVgaGenerated, DefaultObjectWritesItsLibraryFiles)
{
    Project p;
    ASSERT_EQ(p.Add(kSimpleVGA), AddResult::Added);
    p.Generate();
    EXPECT_TRUE(std::filesystem::exists(p.dir / "VGA_SimpleDriver1a.spin2"));
    EXPECT_TRUE(std::filesystem::exists(p.dir / "bitmap2.bmp"));
}

TEST(SimpleVgaGenerated, Compiles)
{
    Project p;
    ASSERT_EQ(p.Add(kSimpleVGA, {{"basepin", "16"}}), AddResult::Added);
    p.Generate();
    KC_COMPILE_CHECK(p.dir.Path());
}

TEST(SimpleVgaCli, AddRefusedLeavesFileUnchanged)
{
    test::KivoCli cli;
    std::string file = cli.File();
    ASSERT_EQ(cli.Run({"new", file}).exitCode, 0);
    std::string before = test::ReadFileBytes(file);
    auto r = cli.Run({"add", file, "vga", "basepin=50"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Error: Pin 50 is not a multiple of 4."), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadFileBytes(file), before);
    r = cli.Run({"add", file, "0", "basepin=8"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(test::ReadFileBytes(file), before);
}

} // namespace
