#include "kinds/servo/slots.h"
#include "kinds/usbkbm/slots.h"
#include "model/undo.h"
#include "objects/editor.h"
#include "objects/objectlist.h"
#include "objects/pinrules.h"
#include "testsupport.h"

using namespace kivo;

namespace {

struct List {
    test::TestServices t;
    CKivoDoc doc;
    int refreshes = 0;
    List()
    {
        test::NewProject(doc, "/p/P.kivo");
        doc.AddView([this] { ++refreshes; });
    }
    AddResult AddServo(const std::string &pin, const std::string &name = "")
    {
        return AddObject(doc, kServo, t.messages, [&](CEditorModel &e) {
            // Names that the project checks refuse, as older project files hold them.
            e.SetProjectChecks(false);
            if (!name.empty())
                e.UserSetText("name", name);
            e.UserSetText("pin", pin);
            return e.Ok() == OkResult::Accepted;
        });
    }
};

const EditorRunner kCancel = [](CEditorModel &) { return false; };

} // namespace

TEST(ObjectList, LinesAndWarnings)
{
    List l;
    EXPECT_TRUE(ObjectLines(l.doc).empty());
    EXPECT_TRUE(WarningLines(l.doc).empty());
    ASSERT_EQ(l.AddServo("3"), AddResult::Added);
    // A refused edit then cancelled leaves the object as it was.
    EditObject(l.doc, 0, l.t.messages, [](CEditorModel &e) {
        e.UserSetText("pin", "62");
        e.Ok();
        return false;
    });
    EXPECT_EQ(l.t.messages.shown.back(), (ShownMessage{MessageKind::Error, "Pin #62 is already in use by Serial."}));
    EXPECT_TRUE(WarningLines(l.doc).empty());
    EXPECT_EQ(l.doc.m_strPinOwner[3], "Servo1");
    EXPECT_EQ(l.doc.m_objList[0]->m_strPin, "3");
    // An object not accepted (as a file may hold one) is in both lists.
    l.doc.m_objList[0]->m_bValid = false;
    EXPECT_EQ(ObjectLines(l.doc), std::vector<std::string>{"Servo1 - Hobby Servo"});
    EXPECT_EQ(WarningLines(l.doc), std::vector<std::string>{"Invalid pin assignment in: Servo1 - Hobby Servo"});
    CCodeObject odd;
    odd.m_nKind = 42;
    EXPECT_EQ(ObjectLine(odd), " - Unkown Type");
}

TEST(ObjectList, CancelledAddChangesNothingButRefreshes)
{
    List l;
    auto pinsBefore = l.doc.m_strPinOwner;
    EXPECT_EQ(AddObject(l.doc, kServo, l.t.messages, kCancel), AddResult::Cancelled);
    EXPECT_TRUE(l.doc.m_objList.empty());
    EXPECT_EQ(l.doc.m_nKindCount[kServo], 0);
    EXPECT_EQ(l.doc.m_strPinOwner, pinsBefore);
    EXPECT_EQ(l.refreshes, 1);
}

TEST(ObjectList, ClockNeedsABusFirst)
{
    List l;
    EXPECT_EQ(AddObject(l.doc, kRTC, l.t.messages, kCancel), AddResult::Refused);
    EXPECT_EQ(l.t.messages.shown,
              (std::vector<ShownMessage>{
                  {MessageKind::Plain, "Error.  No I2C busses found.  Please add I2C Bus object first."}}));
    auto bus = std::make_unique<CCodeObject>();
    bus->m_nKind = kI2CBus; // invalid, but a bus all the same
    l.doc.AppendObject(std::move(bus));
    EXPECT_TRUE(PickerAllowsKind(l.doc, kRTC, l.t.messages));
}

TEST(ObjectList, EditAndDeleteActOnTheSelectedPosition)
{
    List l;
    // Two objects of one name: the second takes the first one's pins.
    ASSERT_EQ(l.AddServo("5", "Twin"), AddResult::Added);
    ASSERT_EQ(l.AddServo("6", "Twin"), AddResult::Added);
    EXPECT_EQ(l.doc.m_strPinOwner[5], "");
    EXPECT_EQ(l.doc.m_strPinOwner[6], "Twin");
    ASSERT_EQ(l.AddServo("7", "Has Blank"), AddResult::Added);
    EditObject(l.doc, 1, l.t.messages, [](CEditorModel &e) {
        e.UserSetText("pin", "8");
        return e.Ok() == OkResult::Accepted;
    });
    EXPECT_EQ(l.doc.m_objList[0]->m_strPin, "5");
    EXPECT_EQ(l.doc.m_objList[1]->m_strPin, "8");
    // Deleting the first Twin frees only what its own rule names (pin 5, not
    // held any more) and never the second Twin's pin 8.
    ASSERT_TRUE(DeleteObject(l.doc, 0));
    EXPECT_EQ(l.doc.m_strPinOwner[8], "Twin");
    ASSERT_EQ(l.doc.m_objList.size(), 2u);
    EXPECT_EQ(l.doc.m_objList[0]->m_strPin, "8");
    // A name with a blank is found by its line's position.
    ASSERT_TRUE(DeleteObject(l.doc, 1));
    EXPECT_FALSE(l.doc.m_bPinUsed[7]);
    EXPECT_FALSE(DeleteObject(l.doc, 5));
}

TEST(ObjectList, DeleteFreesThePinsTheNameHoldsAfterARefusedEdit)
{
    List l;
    ASSERT_EQ(l.AddServo("10"), AddResult::Added);
    l.doc.m_strPinNote[10] = "scope probe";
    ASSERT_EQ(l.AddServo("20"), AddResult::Added);
    // Servo1's pin text names Servo2's pin (a file may hold this).
    l.doc.m_objList[0]->m_strPin = "20";
    l.doc.m_objList[0]->m_bValid = false;
    ASSERT_TRUE(DeleteObject(l.doc, 0));
    // Servo1's own pin 10 is freed completely; Servo2 keeps pin 20.
    EXPECT_FALSE(l.doc.m_bPinUsed[10]);
    EXPECT_EQ(l.doc.m_strPinOwner[10], "");
    EXPECT_EQ(l.doc.m_strPinUsage[10], "");
    EXPECT_EQ(l.doc.m_strPinNote[10], "");
    EXPECT_EQ(l.doc.m_strPinOwner[20], "Servo2");
    EXPECT_EQ(l.doc.m_strPinUsage[20], "Hobby Servo");
    // Counters never fall.
    EXPECT_EQ(DefaultObjectName(l.doc, kServo), "Servo3");
}

TEST(ObjectList, DuplicateCopiesTheSettingsOntoTheNextFreeNameAndPins)
{
    List l;
    ASSERT_EQ(l.AddServo("3"), AddResult::Added);
    ServoSlots(*l.doc.m_objList[0]).Degrees() = "45";
    ASSERT_EQ(l.AddServo("4", "Servo3"), AddResult::Added);
    l.refreshes = 0;
    const std::size_t steps = l.doc.History().StepCount();
    ASSERT_EQ(DuplicateObject(l.doc, 0, l.t.messages, kCancel), AddResult::Added);
    ASSERT_EQ(l.doc.m_objList.size(), 3u);
    const CCodeObject &copy = *l.doc.m_objList[2];
    // Two servos were added, and Servo3 is taken by name.
    EXPECT_EQ(copy.m_strName, "Servo4");
    EXPECT_EQ(copy.m_strPin, "5");
    EXPECT_EQ(ServoSlots(copy).Degrees(), "45");
    EXPECT_TRUE(copy.m_bValid);
    EXPECT_EQ(l.doc.m_strPinOwner[5], "Servo4");
    EXPECT_EQ(l.doc.m_strPinOwner[3], "Servo1");
    EXPECT_TRUE(l.t.messages.shown.empty());
    EXPECT_EQ(l.refreshes, 1);
    EXPECT_EQ(l.doc.History().StepCount(), steps + 1);
    ASSERT_TRUE(l.doc.History().Undo(l.doc));
    EXPECT_EQ(l.doc.m_objList.size(), 2u);
    EXPECT_FALSE(l.doc.m_bPinUsed[5]);

    // An adapter moves its eight pins and its error LED together.
    ASSERT_EQ(AddObject(l.doc, kUsbKbm, l.t.messages,
                        [](CEditorModel &e) {
                            e.UserChoose("port", 1);
                            e.UserSetFlag("out_keyboard", false);
                            return e.Ok() == OkResult::Accepted;
                        }),
              AddResult::Added);
    ASSERT_EQ(DuplicateObject(l.doc, 2, l.t.messages, kCancel), AddResult::Added);
    const CCodeObject &usb = *l.doc.m_objList[3];
    EXPECT_EQ(usb.m_strPin, "16");
    EXPECT_EQ(UsbKbmSlots(usb).Port(), 0);
    EXPECT_EQ(l.doc.m_strPinOwner[16], "UsbKbM2");

    // Kinds of which a project holds one are not duplicated.
    ASSERT_EQ(AddObject(l.doc, kSimpleVGA, l.t.messages, [](CEditorModel &e) { return e.Ok() == OkResult::Accepted; }),
              AddResult::Added);
    EXPECT_FALSE(CanDuplicateObject(l.doc, 4));
    EXPECT_EQ(DuplicateObject(l.doc, 4, l.t.messages, kCancel), AddResult::Refused);
    EXPECT_TRUE(CanDuplicateObject(l.doc, 0));
    EXPECT_FALSE(CanDuplicateObject(l.doc, 9));
}

TEST(ObjectList, DuplicateOpensTheEditorOnACopyWithoutFreePins)
{
    List l;
    ASSERT_EQ(l.AddServo("3"), AddResult::Added);
    for (int p = 0; p < 62; ++p)
        if (p != 3)
            ReservePin(l.doc, p, "Full");
    const auto before = TakeSnapshot(l.doc);
    const std::size_t steps = l.doc.History().StepCount();
    std::string name, pin;
    auto look = [&](CEditorModel &e) {
        name = e.Name();
        pin = e.Text("pin");
        return false;
    };
    EXPECT_EQ(DuplicateObject(l.doc, 0, l.t.messages, look), AddResult::Cancelled);
    EXPECT_EQ(name, "Servo2");
    EXPECT_EQ(pin, "3");
    // The held-back refusal is not shown; Cancel leaves the project alone.
    EXPECT_TRUE(l.t.messages.shown.empty());
    EXPECT_TRUE(TakeSnapshot(l.doc) == before);
    EXPECT_EQ(l.doc.History().StepCount(), steps);
}

TEST(PinRules, OwnershipIsByExactName)
{
    List l;
    EXPECT_TRUE(IsPinFreeFor(l.doc, 0, "X"));
    EXPECT_FALSE(IsPinFreeFor(l.doc, 62, "serial"));
    EXPECT_TRUE(IsPinFreeFor(l.doc, 62, "Serial"));
    l.doc.m_strPinOwner[3] = "Ghost"; // owner without the used flag
    ReleasePinsOf(l.doc, "Serial");
    ReleasePinsOf(l.doc, "Ghost");
    EXPECT_FALSE(l.doc.m_bPinUsed[62]);
    EXPECT_EQ(l.doc.m_strPinUsage[62], "");
    EXPECT_EQ(l.doc.m_strPinNote[62], "Used for Programming the P2 and Standard I/O");
    EXPECT_EQ(l.doc.m_strPinOwner[3], "");
    ReservePin(l.doc, 4, "A", "Lbl");
    ReservePin(l.doc, 4, "B");
    EXPECT_EQ(l.doc.m_strPinOwner[4], "B");
    EXPECT_EQ(l.doc.m_strPinUsage[4], "Lbl");
}
