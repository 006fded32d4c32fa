#include "kinds/dac/slots.h"
#include "kinds_b_support.h"

using namespace kinds_b;

namespace {

TEST(Dac, NewObjectDefaultsAreStoredAndPinReserved)
{
    Project p;
    ASSERT_EQ(p.Add(kDAC), AddResult::Added);
    EXPECT_TRUE(p.t.messages.shown.empty());
    const CCodeObject &o = p.Object(0);
    EXPECT_EQ(o.m_strName, "DAC1");
    EXPECT_EQ(o.m_strPin, "49");
    EXPECT_EQ(o.m_nPinCount, 1);
    EXPECT_EQ(DacSlots(o).Readout(), "122");
    EXPECT_EQ(DacSlots(o).Level(), 122);
    EXPECT_EQ(DacSlots(o).Drive(), 0);
    EXPECT_TRUE(DacSlots(o).Random());
    EXPECT_TRUE(o.m_bValid);
    EXPECT_TRUE(p.doc.m_bPinUsed[49]);
    EXPECT_EQ(p.doc.m_strPinOwner[49], "DAC1");
    EXPECT_EQ(p.doc.m_strPinUsage[49], "Digital To Analog");
    EXPECT_EQ(p.doc.m_nKindCount[kDAC], 1);
}

TEST(Dac, EditorTextsAndSliderReadout)
{
    Project p;
    CCodeObject o;
    auto e = FindKind(kDAC)->CreateEditor(o, p.doc, 0, p.t.messages);
    e->Open();
    EXPECT_EQ(e->Title(), "DAC (Digital To Analog) PIN");
    EXPECT_EQ(e->NameLabel(), "ObjectName:");
    EXPECT_EQ(e->Description().substr(0, 30), "This object activates the 8-bi");
    EXPECT_EQ(e->Text("readout"), "122");
    EXPECT_EQ(e->SliderRange("level"), std::make_pair(0, 255));
    for (auto [to, shown] : {std::pair{0, "0"}, {255, "255"}, {300, "255"}, {-5, "0"}, {17, "17"}}) {
        e->UserSlide("level", to);
        EXPECT_EQ(e->Text("readout"), shown) << to;
    }
}

TEST(Dac, ExistingObjectShowsStoredValues)
{
    Project p;
    ASSERT_EQ(p.Add(kDAC), AddResult::Added);
    CCodeObject &o = p.Object(0);
    DacSlots(o).Readout() = "77"; // the stored readout is shown as stored
    DacSlots(o).Level() = 12;
    DacSlots(o).Drive() = 3;
    DacSlots(o).Random() = false;
    auto e = FindKind(kDAC)->CreateEditor(o, p.doc, 1, p.t.messages);
    e->Open();
    EXPECT_TRUE(e->IsReadOnly("name"));
    EXPECT_EQ(e->Name(), "DAC1");
    EXPECT_EQ(e->Text("readout"), "77");
    EXPECT_EQ(e->Int("level"), 12);
    EXPECT_EQ(e->Int("drive"), 3);
    EXPECT_FALSE(e->Flag("random"));
    DacSlots(o).Level() = 300; // from a file: the slider stops at its end
    auto clamped = FindKind(kDAC)->CreateEditor(o, p.doc, 1, p.t.messages);
    clamped->Open();
    EXPECT_EQ(clamped->Int("level"), 255);
    ASSERT_EQ(clamped->Ok(), OkResult::Accepted);
    EXPECT_EQ(DacSlots(o).Level(), 255);
}

TEST(Dac, RefusedPinsLeaveThePinTable)
{
    struct Case {
        const char *pin;
        const char *message;
    };
    const Case cases[] = {
        {"62", "Pin #62 is already in use by Serial."},
        {"64", "Pin 64 is out of range, please set to between 0 and 63."},
        {"-1", "Pin -1 is out of range, please set to between 0 and 63."},
    };
    for (auto &c : cases) {
        Project p;
        ASSERT_EQ(p.Add(kDAC), AddResult::Added);
        auto pinsBefore = p.doc.m_strPinOwner;
        p.t.messages.shown.clear();
        EXPECT_FALSE(p.Edit(0, [&](CEditorModel &e) { e.UserSetText("pin", c.pin); })) << c.pin;
        EXPECT_EQ(p.t.messages.shown, (std::vector<ShownMessage>{{MessageKind::Error, c.message}})) << c.pin;
        EXPECT_EQ(p.doc.m_strPinOwner, pinsBefore) << c.pin;
        // The Cancel after the refusal puts the object back as it was.
        EXPECT_TRUE(p.Object(0).m_bValid);
        EXPECT_EQ(p.Object(0).m_strPin, "49");
        EXPECT_TRUE(WarningLines(p.doc).empty());
    }
}

TEST(Dac, MovingAndDeletingFreesItsPin)
{
    Project p;
    ASSERT_EQ(p.Add(kDAC), AddResult::Added);
    p.doc.m_strPinNote[49] = "kept";
    ASSERT_TRUE(p.Edit(0, [](CEditorModel &e) { e.UserSetText("pin", "48"); }));
    EXPECT_FALSE(p.doc.m_bPinUsed[49]);
    EXPECT_EQ(p.doc.m_strPinOwner[49], "");
    EXPECT_EQ(p.doc.m_strPinUsage[49], "");
    EXPECT_EQ(p.doc.m_strPinNote[49], "kept");
    EXPECT_EQ(p.doc.m_strPinUsage[48], "Digital To Analog");
    ASSERT_TRUE(DeleteObject(p.doc, 0));
    EXPECT_FALSE(p.doc.m_bPinUsed[48]);
    EXPECT_EQ(p.doc.m_strPinOwner[48], "");
}

TEST(Dac, CompilesWithFlexSpin)
{
    Project p;
    ASSERT_EQ(p.Add(kDAC), AddResult::Added);
    ASSERT_EQ(p.Add(kDAC,
                    [](CEditorModel &e) {
                        e.UserSetText("pin", "10");
                        e.UserChoose("drive", 3);
                        e.UserSetFlag("random", false);
                    }),
              AddResult::Added);
    ExpectCompiles(p);
}

TEST(DacCli, ChoiceByLabelSliderRangeAndRefusal)
{
    Cli cli;
    cli.New();
    EXPECT_EQ(cli({"add", cli.File(), "dac", "drive=75 ohm, 2.0 v", "level=0", "random=off"}), 0) << cli.output;
    {
        CKivoDoc doc;
        cli.Load(doc);
        ASSERT_EQ(doc.m_objList.size(), 1u);
        EXPECT_EQ(DacSlots(*doc.m_objList[0]).Drive(), 3);
        EXPECT_EQ(DacSlots(*doc.m_objList[0]).Level(), 0);
        EXPECT_EQ(DacSlots(*doc.m_objList[0]).Readout(), "0");
        EXPECT_FALSE(DacSlots(*doc.m_objList[0]).Random());
    }
    const std::string before = cli.Bytes();
    EXPECT_EQ(cli({"add", cli.File(), "dac", "level=256"}), 2);
    EXPECT_NE(cli.output.find("level"), std::string::npos) << cli.output;
    EXPECT_EQ(cli({"add", cli.File(), "dac", "pin=63"}), 1);
    EXPECT_NE(cli.output.find("Pin #63 is already in use by Serial."), std::string::npos) << cli.output;
    EXPECT_EQ(cli.Bytes(), before);
}

} // namespace
