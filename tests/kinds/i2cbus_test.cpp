#include "kinds/i2cbus/slots.h"
#include "kinds_b_support.h"

using namespace kinds_b;

namespace {

Setter Pins(const char *scl, const char *sda)
{
    return [scl, sda](CEditorModel &e) {
        e.UserSetText("scl", scl);
        e.UserSetText("sda", sda);
    };
}

TEST(I2CBus, NoScanLeavesOutTheScan)
{
    Project p;
    ASSERT_EQ(p.Add(kI2CBus,
                    [](CEditorModel &e) {
                        Pins("20", "22")(e);
                        e.UserChoose("pullup", 2);
                        e.UserSetText("speed", "250");
                        e.UserSetFlag("scan", false);
                    }),
              AddResult::Added);
    p.Generate();
    EXPECT_EQ(p.MainFile().find("ScanI2CBus"), std::string::npos);
}

TEST(I2CBus, NewObjectDefaultsAreStoredAndPinsReserved)
{
    Project p;
    ASSERT_EQ(p.Add(kI2CBus), AddResult::Added);
    EXPECT_TRUE(p.t.messages.shown.empty());
    const CCodeObject &o = p.Object(0);
    EXPECT_EQ(o.m_strName, "I2CScan1");
    EXPECT_EQ(o.m_strPin, "0");
    EXPECT_EQ(o.m_strExtraPin[6], "56");
    EXPECT_EQ(o.m_strExtraPin[5], "57");
    EXPECT_EQ(o.m_strSpeed, "100");
    EXPECT_EQ(o.m_nPullUp, 0);
    EXPECT_TRUE(I2CBusSlots(o).Scan());
    EXPECT_EQ(o.m_nPinCount, 0); // this editor never sets it
    EXPECT_TRUE(o.m_bValid);
    EXPECT_EQ(p.doc.m_strPinOwner[56], "I2CScan1");
    EXPECT_EQ(p.doc.m_strPinUsage[56], "SCL");
    EXPECT_EQ(p.doc.m_strPinOwner[57], "I2CScan1");
    EXPECT_EQ(p.doc.m_strPinUsage[57], "SDA");
}

TEST(I2CBus, EditorTexts)
{
    Project p;
    CCodeObject o;
    auto e = FindKind(kI2CBus)->CreateEditor(o, p.doc, 0, p.t.messages);
    e->Open();
    EXPECT_EQ(e->Title(), "I2C Bus Driver and Scanner Settings");
    EXPECT_EQ(e->Description(), "Adds an I2C bus driver and object and code to scan the bus for devices.  Does not "
                                "use a cog.  Uses Smart Pins for optional internal pull-up resistors.");
    EXPECT_EQ(e->NameLabel(), "Object Name:");
    EXPECT_EQ(e->Options("speed"), (std::vector<std::string>{"100", "400", "1000"}));
    EXPECT_EQ(e->FindField("speed")->type, FieldType::Combo);
}

// Each pin is tested completely, SCL first; the SDA range message is a plain
// message; a refusal changes no pin.
TEST(I2CBus, OkChecksAndMessages)
{
    struct Case {
        const char *scl, *sda;
        ShownMessage message;
    };
    const Case cases[] = {
        {"64", "57", {MessageKind::Error, "Pin 64 is out of range, please set to between 0 and 63."}},
        {"-1", "99", {MessageKind::Error, "Pin -1 is out of range, please set to between 0 and 63."}},
        {"62", "99", {MessageKind::Error, "Pin #62 is already in use by Serial."}},
        {"20", "64", {MessageKind::Plain, "Pin 64 is out of range, please set to between 0 and 63."}},
        {"20", "63", {MessageKind::Error, "Pin #63 is already in use by Serial."}},
        {"20", "49", {MessageKind::Error, "Pin #49 is already in use by DAC1."}},
    };
    for (auto &c : cases) {
        Project p;
        ASSERT_EQ(p.Add(kDAC), AddResult::Added);
        ASSERT_EQ(p.Add(kI2CBus), AddResult::Added);
        auto owners = p.doc.m_strPinOwner;
        auto usage = p.doc.m_strPinUsage;
        p.t.messages.shown.clear();
        EXPECT_FALSE(p.Edit(1, Pins(c.scl, c.sda))) << c.scl << "/" << c.sda;
        EXPECT_EQ(p.t.messages.shown, std::vector<ShownMessage>{c.message}) << c.scl << "/" << c.sda;
        EXPECT_EQ(p.doc.m_strPinOwner, owners);
        EXPECT_EQ(p.doc.m_strPinUsage, usage);
        // The Cancel after the refusal puts the object back as it was.
        const CCodeObject &o = p.Object(1);
        EXPECT_TRUE(o.m_bValid);
        EXPECT_EQ(o.m_strExtraPin[6], "56");
        EXPECT_EQ(o.m_strExtraPin[5], "57");
    }
}

TEST(I2CBus, EditKeepsOwnPinsMovesSdaAndRefusesOnePinForBoth)
{
    Project p;
    ASSERT_EQ(p.Add(kI2CBus), AddResult::Added);
    ASSERT_TRUE(p.Edit(0)); // its pins are its own
    ASSERT_TRUE(p.Edit(0, Pins("56", "40")));
    EXPECT_FALSE(p.doc.m_bPinUsed[57]);
    EXPECT_EQ(p.doc.m_strPinUsage[57], "");
    EXPECT_EQ(p.doc.m_strPinUsage[40], "SDA");
    // The project checks' error on one pin for both refuses the edit, which
    // leaves the pins as they were.
    p.Said();
    EXPECT_FALSE(p.Edit(0, Pins("30", "30")));
    EXPECT_EQ(p.Said(), "Error: \"SCL Pin:\" and \"SDA Pin:\" are both pin 30: give the bus two pins.\n");
    EXPECT_FALSE(p.doc.m_bPinUsed[30]);
    EXPECT_EQ(p.doc.m_strPinUsage[56], "SCL");
    EXPECT_EQ(p.doc.m_strPinUsage[40], "SDA");
}

TEST(I2CBus, ExistingObjectOpensWithItsSlots)
{
    Project p;
    ASSERT_EQ(p.Add(kI2CBus,
                    [](CEditorModel &e) {
                        Pins("3", "4")(e);
                        e.UserChoose("pullup", 3);
                        // As an older project may hold it; the project checks would refuse it.
                        e.SetProjectChecks(false);
                        e.UserSetText("speed", "fast");
                        e.UserSetFlag("scan", false);
                    }),
              AddResult::Added);
    auto e = FindKind(kI2CBus)->CreateEditor(p.Object(0), p.doc, 1, p.t.messages);
    e->Open();
    EXPECT_TRUE(e->IsReadOnly("name"));
    EXPECT_EQ(e->Text("scl"), "3");
    EXPECT_EQ(e->Text("sda"), "4");
    EXPECT_EQ(e->Int("pullup"), 3);
    EXPECT_EQ(e->Text("speed"), "fast");
    EXPECT_FALSE(e->Flag("scan"));
}

TEST(I2CBus, DeleteFreesSclAndSda)
{
    Project p;
    ASSERT_EQ(p.Add(kI2CBus, Pins("10", "20")), AddResult::Added);
    p.doc.m_strPinNote[10] = "wire";
    ASSERT_TRUE(DeleteObject(p.doc, 0));
    for (int pin : {10, 20}) {
        EXPECT_FALSE(p.doc.m_bPinUsed[pin]) << pin;
        EXPECT_EQ(p.doc.m_strPinOwner[pin], "") << pin;
        EXPECT_EQ(p.doc.m_strPinUsage[pin], "") << pin;
    }
    EXPECT_EQ(p.doc.m_strPinNote[10], "");
}

TEST(I2CBus, CompilesWithFlexSpin)
{
    Project p;
    ASSERT_EQ(p.Add(kI2CBus), AddResult::Added);
    ASSERT_EQ(p.Add(kI2CBus,
                    [](CEditorModel &e) {
                        Pins("20", "21")(e);
                        e.UserSetText("speed", "400");
                        e.UserChoose("pullup", 1);
                    }),
              AddResult::Added);
    ExpectCompiles(p);
}

TEST(I2CBusCli, AddByLabelsAndRefusedSda)
{
    Cli cli;
    cli.New();
    EXPECT_EQ(cli({"add", cli.File(), "i2c", "pullup=1.5 kohm", "speed=250", "scan=off", "scl=10", "sda=11"}), 0)
        << cli.output;
    const std::string before = cli.Bytes();
    EXPECT_EQ(cli({"add", cli.File(), "i2c", "sda=64"}), 1);
    EXPECT_NE(cli.output.find("Pin 64 is out of range, please set to between 0 and 63."), std::string::npos)
        << cli.output;
    EXPECT_EQ(cli.Bytes(), before);
    EXPECT_EQ(cli({"add", cli.File(), "i2c", "pullup=2.2 kOhm"}), 2);
    CKivoDoc doc;
    cli.Load(doc);
    ASSERT_EQ(doc.m_objList.size(), 1u);
    const CCodeObject &o = *doc.m_objList[0];
    EXPECT_EQ(o.m_nPullUp, 1);
    EXPECT_EQ(o.m_strSpeed, "250");
    EXPECT_FALSE(I2CBusSlots(o).Scan());
    EXPECT_EQ(doc.m_strPinUsage[10], "SCL");
    EXPECT_EQ(doc.m_strPinUsage[11], "SDA");
}

} // namespace
