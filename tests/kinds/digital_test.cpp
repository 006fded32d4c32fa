#include "kinds/digital/slots.h"
#include "kinds_a_support.h"

using namespace kinds_a;

namespace {

// The mode expression of the object's _pinstart line.
std::string ModeOf(const CKivoDoc &doc, const CCodeObject &o)
{
    std::string setup = BlockOf(doc, o, Section::Setup);
    auto from = setup.find("_pinstart(" + o.m_strName + ",");
    auto to = setup.find(", 0, 0);", from);
    if (from == std::string::npos || to == std::string::npos)
        return "";
    from += o.m_strName.size() + 11;
    return setup.substr(from, to - from);
}

} // namespace

TEST(Digital, NewObjectDefaults)
{
    Project p;
    {
        OpenEditor e(p, kDigital);
        EXPECT_EQ(e->Title(), "Smart Digital I/O Pin Smart Settings");
        EXPECT_EQ(e->Name(), "SmartPin1");
        EXPECT_EQ(e->Text("pin"), "38");
        for (auto key : {"start", "high_drive", "low_drive", "in_source", "in_filter"})
            EXPECT_EQ(e->Int(key), 0) << key;
        EXPECT_TRUE(e->Flag("show_in"));
        EXPECT_TRUE(e->Flag("toggle_out"));
        EXPECT_FALSE(e->Flag("clocked") || e->Flag("invert_in") || e->Flag("invert_out"));
    }
    ASSERT_EQ(p.Add(kDigital), AddResult::Added);
    EXPECT_EQ(ModeOf(p.doc, p.Object(0)),
              "P_TRUE_A|P_LOCAL_A|P_PASS_AB|P_TRUE_IN|P_TRUE_OUTPUT|P_HIGH_FAST|P_LOW_FAST|P_ASYNC_IO|P_NORMAL");
    EXPECT_EQ(PinOf(p.doc, 38), (PinEntry{true, "SmartPin1", "Smart Digital I/O"}));
}

// Every choice and flag lands in its own slot and piece of the mode text.
TEST(Digital, ModeText)
{
    struct Row {
        Setter set;
        const char *mode;
    };
    const Row rows[] = {
        {[](CEditorModel &e) {
             e.UserChoose("in_source", 4);
             e.UserChoose("in_filter", 3);
             e.UserSetFlag("invert_in", true);
             e.UserSetFlag("clocked", true);
         },
         "P_TRUE_A|P_OUTBIT_A|P_FILT2_AB|P_INVERT_IN|P_TRUE_OUTPUT|P_HIGH_FAST|P_LOW_FAST|P_SYNC_IO|P_NORMAL"},
        {[](CEditorModel &e) {
             e.UserChoose("in_source", 7);
             e.UserChoose("in_filter", 4);
             e.UserSetFlag("invert_out", true);
             e.UserChoose("high_drive", 7);
             e.UserChoose("low_drive", 1);
         },
         "P_TRUE_A|P_MINUS1_A|P_FILT3_AB|P_TRUE_IN|P_INVERT_OUTPUT|P_HIGH_FLOAT|P_LOW_1K5|P_ASYNC_IO|P_NORMAL"},
        {[](CEditorModel &e) {
             e.UserChoose("in_source", 1);
             e.UserChoose("in_filter", 1);
             e.UserChoose("high_drive", 4);
             e.UserChoose("low_drive", 6);
         },
         "P_TRUE_A|P_PLUS1_A|P_FILT0_AB|P_TRUE_IN|P_TRUE_OUTPUT|P_HIGH_1MA|P_LOW_10UA|P_ASYNC_IO|P_NORMAL"},
        {[](CEditorModel &e) {
             e.UserChoose("in_source", 5);
             e.UserChoose("high_drive", 2);
             e.UserChoose("low_drive", 3);
         },
         "P_TRUE_A|P_MINUS3_A|P_PASS_AB|P_TRUE_IN|P_TRUE_OUTPUT|P_HIGH_15K|P_LOW_150K|P_ASYNC_IO|P_NORMAL"},
    };
    for (auto &r : rows) {
        Project p;
        ASSERT_EQ(p.Add(kDigital, r.set), AddResult::Added);
        EXPECT_EQ(ModeOf(p.doc, p.Object(0)), r.mode);
        // Reopened, the editor shows every stored choice; OK stores them again.
        CCodeObject before = p.Object(0);
        ASSERT_TRUE(p.Edit(0));
        EXPECT_TRUE(p.Object(0) == before) << r.mode;
    }

    // Values outside the option tables add no piece.
    Project p;
    CCodeObject o;
    o.m_nKind = kDigital;
    o.m_strName = "D";
    DigitalSlots(o).InFilter() = 5;
    DigitalSlots(o).HighDrive() = 8;
    DigitalSlots(o).LowDrive() = -1;
    DigitalSlots(o).InSource() = 8;
    EXPECT_EQ(ModeOf(p.doc, o), "P_TRUE_A|P_TRUE_IN|P_TRUE_OUTPUT|P_ASYNC_IO|P_NORMAL");
}

TEST(Digital, StartStateAndLoop)
{
    struct Row {
        int start;
        const char *line;
    };
    const Row starts[] = {{0, "    _pinf(D);\n"}, {1, "    _pinh(D);\n"}, {2, "    _pinl(D);\n"}, {3, ""}};
    Project p;
    CCodeObject o;
    o.m_nKind = kDigital;
    o.m_strName = "D";
    for (auto &r : starts) {
        DigitalSlots(o).Start() = r.start;
        EXPECT_EQ(
            BlockOf(p.doc, o, Section::Setup),
            "\n    //Configure Digital I/O pin D in non-Smart Pin mode\n"
            "    _pinstart(D,P_TRUE_A|P_LOCAL_A|P_PASS_AB|P_TRUE_IN|P_TRUE_OUTPUT|P_HIGH_FAST|P_LOW_FAST|P_ASYNC_IO|"
            "P_NORMAL, 0, 0);\n"
            "    //set starting output mode\n" +
                std::string(r.line) + "    printf(\"D Started.\\n\");\n")
            << r.start;
    }

    const std::string toggle = "\n    //toggle Digital I/O pin output\n    _pinnot(D);\n";
    const std::string show = "    //show Digital I/O pin input\n    printf(\"D IN = % d\\n\", _pinr(D));\n";
    struct Loop {
        bool show, toggle;
        std::string text;
    };
    const Loop loops[] = {{true, true, toggle + show}, {true, false, show}, {false, true, toggle}, {false, false, ""}};
    for (auto &l : loops) {
        DigitalSlots(o).ShowIn() = l.show;
        DigitalSlots(o).ToggleOut() = l.toggle;
        EXPECT_EQ(BlockOf(p.doc, o, Section::Loop), l.text) << l.show << l.toggle;
    }
}

TEST(Digital, PinsAndConflictMessage)
{
    Project p;
    ASSERT_EQ(p.Add(kDigital), AddResult::Added);
    ASSERT_TRUE(p.Edit(0, [](CEditorModel &e) { e.UserSetText("pin", "39"); }));
    EXPECT_EQ(PinOf(p.doc, 38), (PinEntry{false, "", ""}));
    EXPECT_EQ(PinOf(p.doc, 39), (PinEntry{true, "SmartPin1", "Smart Digital I/O"}));

    // Pin 38 held by another owner.
    ReservePin(p.doc, 38, "DAC1", "Digital To Analog");
    EXPECT_EQ(p.Add(kDigital, [](CEditorModel &e) { e.UserSetText("pin", "38"); }), AddResult::Cancelled);
    EXPECT_EQ(p.Said(), "Error: Pin #38 is already in use by DAC1.\n");
    EXPECT_EQ(p.doc.m_nKindCount[kDigital], 1);

    EXPECT_FALSE(p.Edit(0, [](CEditorModel &e) { e.UserSetText("pin", "99"); }));
    EXPECT_EQ(p.Said(), "Error: Pin 99 is out of range, please set to between 0 and 63.\n");
    EXPECT_EQ(PinOf(p.doc, 39), (PinEntry{true, "SmartPin1", "Smart Digital I/O"}));

    ASSERT_TRUE(DeleteObject(p.doc, 0));
    EXPECT_EQ(PinOf(p.doc, 39), (PinEntry{false, "", ""}));
    EXPECT_EQ(PinOf(p.doc, 38), (PinEntry{true, "DAC1", "Digital To Analog"}));
}

TEST(Digital, Compiles)
{
    KINDS_A_REQUIRE_FLEXSPIN(flexspin);
    // Together the objects use every constant of every option.
    Project p;
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(p.Add(kDigital,
                        [i](CEditorModel &e) {
                            e.UserSetText("pin", std::to_string(i));
                            e.UserChoose("in_source", i);
                            e.UserChoose("in_filter", i % 5);
                            e.UserChoose("high_drive", i);
                            e.UserChoose("low_drive", 7 - i);
                            e.UserChoose("start", i % 3);
                            e.UserSetFlag("clocked", i % 2);
                            e.UserSetFlag("invert_in", i % 2);
                            e.UserSetFlag("invert_out", i % 2);
                        }),
                  AddResult::Added);
    }
    ExpectCompiles(flexspin, p, "digital");
}

TEST(Digital, CommandLine)
{
    Cli cli;
    cli.New();
    ASSERT_EQ(cli({"add", cli.File(), "digital", "pin=40", "in_filter=Using filt2", "high_drive=1 mA",
                   "low_drive=float", "start=high", "in_source=pin# -3", "clocked=true", "show_in=off"}),
              0)
        << cli.output;
    CKivoDoc doc;
    cli.Load(doc);
    ASSERT_EQ(doc.m_objList.size(), 1u);
    const CCodeObject &o = *doc.m_objList[0];
    EXPECT_EQ((std::vector<int>{DigitalSlots(o).InFilter(), DigitalSlots(o).HighDrive(), DigitalSlots(o).LowDrive(),
                                DigitalSlots(o).InSource(), DigitalSlots(o).Start()}),
              (std::vector<int>{3, 4, 7, 5, 1}));
    EXPECT_TRUE(DigitalSlots(o).Clocked());
    EXPECT_FALSE(DigitalSlots(o).ShowIn());

    const std::string before = cli.Bytes();
    EXPECT_EQ(cli({"edit", cli.File(), "@1", "start=3"}), 2);
    EXPECT_EQ(cli({"edit", cli.File(), "@1", "in_filter=filt4"}), 2);
    EXPECT_EQ(cli({"edit", cli.File(), "@1", "clocked=maybe"}), 2);
    EXPECT_EQ(cli({"add", cli.File(), "digital", "pin=40"}), 1);
    EXPECT_EQ(cli.output, "Error: Pin #40 is already in use by SmartPin1.\n");
    EXPECT_TRUE(cli.Bytes() == before);
}
