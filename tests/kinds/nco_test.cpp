#include "kinds/nco/slots.h"
#include "kinds_a_support.h"

using namespace kinds_a;

namespace {

std::string TooHigh(int desired, int half)
{
    return Format("Kivo: Error:  Desired frequency (%d) cannot be greater than half P2 Frequency (%d)\n", desired,
                  half);
}

std::string BelowOne(int desired)
{
    return Format("Kivo: Error:  Desired frequency (%d) must be at least 1 Hz\n", desired);
}

std::string NotANumber(const std::string &text)
{
    return "Kivo: Please enter an integer.\nThe field \"Desired Frequency [Hz]\" holds \"" + text + "\".\n";
}

std::vector<std::string> Registers(CEditorModel &e) { return {e.Text("wxpin"), e.Text("wypin"), e.Text("resulting")}; }

} // namespace

// The worked values at the default clock, through the Calculate button.
TEST(Nco, WorkedTable)
{
    struct Row {
        const char *desired, *wxpin, *wypin, *resulting;
    };
    const Row rows[] = {
        {"12000000", "00000001", "15555555", "13333333.320916"},
        {"1000000", "00000005", "08000000", "1000000.000000"},
        {"1000", "00000003", "00013A94", "1000.016928"},
        {"440", "00000004", "0000B88D", "440.003350"},
        {"80000000", "00000001", "80000000", "80000000.000000"},
        {"1", "00000001", "0000001A", "0.968575"},
        {" 12000000 ", "00000001", "15555555", "13333333.320916"},
    };
    Project p;
    ASSERT_EQ(p.doc.m_strClockFreq, "160000000");
    OpenEditor e(p, kNCO);
    for (auto &r : rows) {
        e->UserSetText("desired", r.desired);
        e->UserPress("calculate");
        EXPECT_EQ(Registers(*e.editor), (std::vector<std::string>{r.wxpin, r.wypin, r.resulting})) << r.desired;
    }
    EXPECT_EQ(p.Said(), "");
}

// Refused desired frequencies show a plain message and leave every register
// field as it was.
TEST(Nco, RefusedDesiredFrequencyChangesNoField)
{
    struct Row {
        const char *desired;
        std::string message;
    };
    const Row rows[] = {
        {"80000001", TooHigh(80000001, 80000000)},
        {"0", BelowOne(0)},
        {"-440", BelowOne(-440)},
        // Only a whole number is a frequency.
        {"", NotANumber("")},
        {"kHz", NotANumber("kHz")},
        {"12abc", NotANumber("12abc")},
        {" 12000000 Hz", NotANumber(" 12000000 Hz")},
    };
    for (auto &r : rows) {
        Project p;
        OpenEditor e(p, kNCO);
        e->UserSetText("desired", "440");
        e->UserPress("calculate");
        auto before = Registers(*e.editor);
        e->UserSetText("desired", r.desired);
        e->UserPress("calculate");
        EXPECT_EQ(Registers(*e.editor), before) << r.desired;
        EXPECT_EQ(p.Said(), r.message) << r.desired;
    }
}

TEST(Nco, OpeningNewAndExisting)
{
    Project p;
    {
        OpenEditor e(p, kNCO);
        EXPECT_EQ(e->Title(), "NCO Frequency Object Interface");
        EXPECT_EQ(e->Name(), "NCO_Freq1");
        EXPECT_EQ(e->Text("pin"), "24");
        EXPECT_EQ(e->Text("desired"), "12000000");
        EXPECT_EQ(Registers(*e.editor), (std::vector<std::string>{"00000001", "15555555", "13333333.320916"}));
        EXPECT_FALSE(e->IsReadOnly("name"));
        EXPECT_TRUE(e->IsReadOnly("resulting"));
    }
    ASSERT_EQ(p.Add(kNCO, [](CEditorModel &e) { e.UserSetText("desired", "440"); }), AddResult::Added);
    const CCodeObject &o = p.Object(0);
    EXPECT_EQ(NcoSlots(o).WxPin(), "00000004");
    EXPECT_EQ(NcoSlots(o).WyPin(), "0000B88D");
    EXPECT_EQ(NcoSlots(o).Desired(), "440");
    EXPECT_EQ(NcoSlots(o).Resulting(), "440.003350");
    EXPECT_EQ(o.m_nPinCount, 1);

    // Reopened after a clock change: the stored texts, no calculation.
    p.doc.m_strClockFreq = "1000";
    OpenEditor again(p, kNCO, 1, &o);
    EXPECT_TRUE(again->IsReadOnly("name"));
    EXPECT_EQ(again->Text("desired"), "440");
    EXPECT_EQ(Registers(*again.editor), (std::vector<std::string>{"00000004", "0000B88D", "440.003350"}));
    EXPECT_EQ(p.Said(), "");
}

// OK calculates first: typed registers are replaced, unless the desired
// frequency is refused; then the earlier results are stored with the new
// desired text and OK goes on.
TEST(Nco, OkCalculatesFirst)
{
    Project p;
    ASSERT_EQ(p.Add(kNCO,
                    [](CEditorModel &e) {
                        e.UserSetText("wxpin", "DEADBEEF");
                        e.UserSetText("wypin", "12345678");
                    }),
              AddResult::Added);
    EXPECT_EQ(NcoSlots(p.Object(0)).WxPin(), "00000001");
    EXPECT_EQ(NcoSlots(p.Object(0)).WyPin(), "15555555");

    ASSERT_TRUE(p.Edit(0, [](CEditorModel &e) { e.UserSetText("desired", "90000000"); }));
    EXPECT_EQ(p.Said(), TooHigh(90000000, 80000000));
    const CCodeObject &o = p.Object(0);
    EXPECT_EQ(NcoSlots(o).Desired(), "90000000");
    EXPECT_EQ(NcoSlots(o).WxPin(), "00000001");
    EXPECT_EQ(NcoSlots(o).Resulting(), "13333333.320916");
    EXPECT_TRUE(o.m_bValid);
}

// Without any calculated registers OK is refused: the editor stays open, the
// object is invalid and no pin is taken.
TEST(Nco, OkRefusedWhileNothingWasCalculated)
{
    Project p;
    p.doc.m_strClockFreq = "1000"; // half of it is below the default 12 MHz
    OpenEditor e(p, kNCO);
    EXPECT_EQ(p.Said(), TooHigh(12000000, 500));
    EXPECT_EQ(e->Text("wxpin"), "");

    EXPECT_EQ(e->Ok(), OkResult::StayOpen);
    EXPECT_EQ(p.Said(), TooHigh(12000000, 500));
    EXPECT_FALSE(e.object.m_bValid);
    EXPECT_EQ(PinOf(p.doc, 24), (PinEntry{false, "", ""}));

    // Typed registers are no calculation either.
    e->UserSetText("wxpin", "00000001");
    e->UserSetText("wypin", "00000001");
    e->UserSetText("desired", "0");
    EXPECT_EQ(e->Ok(), OkResult::StayOpen);
    EXPECT_EQ(p.Said(), BelowOne(0));

    // Once a frequency is accepted, a later refusal keeps those registers;
    // the kind's OK would take them, the project checks then refuse the
    // desired frequency.
    e->UserSetText("desired", "100");
    e->UserPress("calculate");
    e->UserSetText("desired", "0");
    EXPECT_EQ(e->Ok(), OkResult::StayOpen);
    EXPECT_EQ(p.Said(), BelowOne(0) + "Error: \"Desired Frequency [Hz]:\" is 0: enter a whole number of at least 1.\n");
    EXPECT_EQ(NcoSlots(e.object).WxPin(), "00000005");
    EXPECT_EQ(NcoSlots(e.object).Desired(), "0");
    EXPECT_FALSE(e.object.m_bValid);
    EXPECT_EQ(PinOf(p.doc, 24), (PinEntry{false, "", ""}));

    // An existing object without stored registers is refused the same way.
    CCodeObject empty = e.object;
    NcoSlots(empty).WxPin() = NcoSlots(empty).WyPin() = "";
    OpenEditor old(p, kNCO, 1, &empty);
    EXPECT_EQ(old->Ok(), OkResult::StayOpen);
    EXPECT_EQ(p.Said(), BelowOne(0));
    EXPECT_FALSE(old.object.m_bValid);
}

TEST(Nco, RefusedAddLeavesProjectUnchanged)
{
    Project p;
    p.doc.m_strClockFreq = "0";
    EXPECT_EQ(p.Add(kNCO), AddResult::Cancelled);
    EXPECT_TRUE(p.doc.m_objList.empty());
    EXPECT_EQ(p.doc.m_nKindCount[kNCO], 0);
    EXPECT_EQ(PinOf(p.doc, 24), (PinEntry{false, "", ""}));
}

TEST(Nco, PinsAfterAddEditRefusedEditAndDelete)
{
    Project p;
    ASSERT_EQ(p.Add(kNCO), AddResult::Added);
    EXPECT_EQ(PinOf(p.doc, 24), (PinEntry{true, "NCO_Freq1", "NCO Frequency"}));

    p.doc.m_strPinNote[24] = "scope probe";
    ASSERT_TRUE(p.Edit(0, [](CEditorModel &e) { e.UserSetText("pin", "25"); }));
    EXPECT_EQ(PinOf(p.doc, 24), (PinEntry{false, "", ""}));
    EXPECT_EQ(p.doc.m_strPinNote[24], "scope probe");
    EXPECT_EQ(PinOf(p.doc, 25), (PinEntry{true, "NCO_Freq1", "NCO Frequency"}));

    struct Row {
        const char *pin, *message;
    };
    const Row refused[] = {
        {"62", "Error: Pin #62 is already in use by Serial.\n"},
        {"64", "Error: Pin 64 is out of range, please set to between 0 and 63.\n"},
        {"-1", "Error: Pin -1 is out of range, please set to between 0 and 63.\n"},
    };
    for (auto &r : refused) {
        EXPECT_FALSE(p.Edit(0, [&](CEditorModel &e) { e.UserSetText("pin", r.pin); }));
        EXPECT_EQ(p.Said(), r.message);
        // The Cancel after the refusal puts the object back as it was.
        EXPECT_TRUE(p.Object(0).m_bValid);
        EXPECT_EQ(p.Object(0).m_strPin, "25");
        EXPECT_EQ(PinOf(p.doc, 25), (PinEntry{true, "NCO_Freq1", "NCO Frequency"}));
    }
    EXPECT_TRUE(WarningLines(p.doc).empty());

    ASSERT_TRUE(DeleteObject(p.doc, 0));
    EXPECT_EQ(PinOf(p.doc, 25), (PinEntry{false, "", ""}));
    EXPECT_EQ(PinOf(p.doc, 62), (PinEntry{true, "Serial", "TX"}));
}

TEST(Nco, Compiles)
{
    KINDS_A_REQUIRE_FLEXSPIN(flexspin);
    Project p;
    ASSERT_EQ(p.Add(kNCO), AddResult::Added);
    ASSERT_EQ(p.Add(kNCO,
                    [](CEditorModel &e) {
                        e.UserSetText("pin", "0");
                        e.UserSetText("desired", "1");
                    }),
              AddResult::Added);
    ExpectCompiles(flexspin, p, "nco");
}

TEST(Nco, CommandLine)
{
    Cli cli;
    cli.New();
    ASSERT_EQ(cli({"add", cli.File(), "nco", "pin=3", "desired=440"}), 0) << cli.output;
    ASSERT_EQ(cli({"edit", cli.File(), "@1", "desired=1000"}), 0) << cli.output;
    CKivoDoc doc;
    cli.Load(doc);
    ASSERT_EQ(doc.m_objList.size(), 1u);
    EXPECT_EQ(doc.m_objList[0]->m_strPin, "3");
    EXPECT_EQ(NcoSlots(*doc.m_objList[0]).WxPin(), "00000003");
    EXPECT_EQ(NcoSlots(*doc.m_objList[0]).WyPin(), "00013A94");

    // Refused OKs: the messages, exit 1, the file unchanged.
    ASSERT_EQ(cli({"set", cli.File(), "clock_freq=1000"}), 0) << cli.output;
    const std::string before = cli.Bytes();
    EXPECT_EQ(cli({"add", cli.File(), "nco", "desired=none"}), 1);
    EXPECT_EQ(cli.output, TooHigh(12000000, 500) +
                              "Kivo: Please enter an integer. The field \"Desired Frequency [Hz]\" holds \"none\".\n");
    EXPECT_EQ(cli({"edit", cli.File(), "NCO_Freq1", "pin=62"}), 1);
    EXPECT_EQ(cli.output, TooHigh(1000, 500) + "Error: Pin #62 is already in use by Serial.\n");
    EXPECT_TRUE(cli.Bytes() == before);

    // Readouts and buttons are not fields the command line sets.
    EXPECT_EQ(cli({"edit", cli.File(), "@1", "resulting=1"}), 2);
    EXPECT_EQ(cli({"edit", cli.File(), "@1", "calculate=1"}), 2);
}
