#include "kinds/filters/slots.h"
#include "kinds_a_support.h"

using namespace kinds_a;

TEST(Filters, NewObjectDefaults)
{
    Project p;
    {
        OpenEditor e(p, kFilters);
        EXPECT_EQ(e->Title(), "Configure the Global Digital Filters");
        EXPECT_EQ(e->Name(), "Filter1");
        for (int i = 0; i < 4; ++i) {
            std::string n = std::to_string(i);
            EXPECT_TRUE(e->Flag("set" + n));
            EXPECT_EQ(e->Int("length" + n), 0);
            EXPECT_EQ(e->Int("tap" + n), 0);
            EXPECT_EQ(e->Text("tap" + n + "_readout"), "0");
            EXPECT_EQ(e->SliderRange("tap" + n), (std::pair<int, int>{0, 31}));
            EXPECT_EQ(e->Options("length" + n), (std::vector<std::string>{"2", "3", "5", "8"}));
        }
    }
    // No message, no pin, nothing stored in the pin slots.
    const auto pinsBefore = p.doc.m_strPinOwner;
    ASSERT_EQ(p.Add(kFilters), AddResult::Added);
    EXPECT_EQ(p.Said(), "");
    const CCodeObject &o = p.Object(0);
    EXPECT_TRUE(o.m_bValid);
    EXPECT_EQ(o.m_strPin, "");
    EXPECT_EQ(o.m_nPinCount, 0);
    EXPECT_TRUE(p.doc.m_strPinOwner == pinsBefore);
}

// Any slider movement rewrites all four readouts; the stored values go back
// into the editor of an existing object.
TEST(Filters, TapReadoutsAndReopening)
{
    Project p;
    ASSERT_EQ(p.Add(kFilters,
                    [](CEditorModel &e) {
                        e.SetText("tap0_readout", "typed");
                        e.UserSlide("tap2", 17);
                        EXPECT_EQ(e.Text("tap0_readout"), "0");
                        EXPECT_EQ(e.Text("tap2_readout"), "17");
                        e.UserSlide("tap3", 40);
                        EXPECT_EQ(e.Text("tap3_readout"), "31");
                        e.UserChoose("length1", 3);
                        e.UserChoose("length3", 2);
                        e.UserSetFlag("set0", false);
                    }),
              AddResult::Added);
    const CCodeObject &o = p.Object(0);
    EXPECT_EQ((std::vector<int>(o.m_nValue.begin(), o.m_nValue.begin() + 8)),
              (std::vector<int>{0, 3, 0, 2, 0, 0, 17, 31}));
    EXPECT_EQ((std::vector<bool>(o.m_bFlag.begin(), o.m_bFlag.begin() + 4)),
              (std::vector<bool>{false, true, true, true}));

    OpenEditor e(p, kFilters, 1, &o);
    EXPECT_TRUE(e->IsReadOnly("name"));
    EXPECT_EQ(e->Int("length1"), 3);
    EXPECT_EQ(e->Int("tap2"), 17);
    EXPECT_EQ(e->Text("tap2_readout"), "17");
    EXPECT_EQ(e->Text("tap3_readout"), "31");
    EXPECT_FALSE(e->Flag("set0"));
}

TEST(Filters, GeneratedText)
{
    struct Row {
        std::vector<bool> set;
        std::string platform, setup;
    };
    const Row rows[] = {
        {{false, false, true, false},
         "#define F_Length2 2\n#define F_Tap2 6\n",
         "\n    //Configure HUB digital filters\n    _hubset(0x40000100 + (F_Length2 << 5) + F_Tap2);\n"},
        {{true, false, false, true},
         "#define F_Length0 0\n#define F_Tap0 4\n#define F_Length3 3\n#define F_Tap3 31\n",
         "\n    //Configure HUB digital filters\n    _hubset(0x40000000 + (F_Length0 << 5) + F_Tap0);\n"
         "    _hubset(0x40000180 + (F_Length3 << 5) + F_Tap3);\n"},
        {{false, true, false, false},
         "#define F_Length1 1\n#define F_Tap1 5\n",
         "\n    //Configure HUB digital filters\n    _hubset(0x40000080 + (F_Length1 << 5) + F_Tap1);\n"},
        {{false, false, false, false}, "", ""},
    };
    Project p;
    CCodeObject o;
    o.m_nKind = kFilters;
    o.m_strName = "F";
    const int values[8] = {0, 1, 2, 3, 4, 5, 6, 31};
    std::copy(std::begin(values), std::end(values), o.m_nValue.begin());
    for (auto &r : rows) {
        for (int i = 0; i < 4; ++i)
            FiltersSlots(o).Set(i) = r.set[i];
        EXPECT_EQ(BlockOf(p.doc, o, Section::Platform), r.platform);
        EXPECT_EQ(BlockOf(p.doc, o, Section::Setup), r.setup);
    }
}

TEST(Filters, DeleteReleasesNoPin)
{
    Project p;
    ASSERT_EQ(p.Add(kNCO), AddResult::Added);
    ASSERT_EQ(p.Add(kFilters), AddResult::Added);
    ASSERT_TRUE(DeleteObject(p.doc, 1));
    EXPECT_EQ(PinOf(p.doc, 24), (PinEntry{true, "NCO_Freq1", "NCO Frequency"}));
    EXPECT_EQ(PinOf(p.doc, 62), (PinEntry{true, "Serial", "TX"}));
    EXPECT_EQ(ObjectLines(p.doc), std::vector<std::string>{"NCO_Freq1 - NCO-Frequency"});
    EXPECT_EQ(p.doc.m_nKindCount[kFilters], 1);
}

TEST(Filters, Compiles)
{
    KINDS_A_REQUIRE_FLEXSPIN(flexspin);
    Project p;
    ASSERT_EQ(p.Add(kFilters,
                    [](CEditorModel &e) {
                        for (int i = 0; i < 4; ++i) {
                            e.UserChoose("length" + std::to_string(i), i);
                            e.UserSlide("tap" + std::to_string(i), 31 - i);
                        }
                    }),
              AddResult::Added);
    ASSERT_EQ(p.Add(kDigital, [](CEditorModel &e) { e.UserChoose("in_filter", 4); }), AddResult::Added);
    ExpectCompiles(flexspin, p, "filters");
}

TEST(Filters, CommandLine)
{
    Cli cli;
    cli.New();
    // Lengths are chosen by the sample count they show, or by index when no
    // label matches.
    ASSERT_EQ(cli({"add", cli.File(), "filters", "length0=8", "length1=3", "length2=0", "length3=5", "tap1=31",
                   "set3=false"}),
              0)
        << cli.output;
    CKivoDoc doc;
    cli.Load(doc);
    ASSERT_EQ(doc.m_objList.size(), 1u);
    const CCodeObject &o = *doc.m_objList[0];
    EXPECT_EQ((std::vector<int>(o.m_nValue.begin(), o.m_nValue.begin() + 8)),
              (std::vector<int>{3, 1, 0, 2, 0, 31, 0, 0}));
    EXPECT_FALSE(FiltersSlots(o).Set(3));

    const std::string before = cli.Bytes();
    EXPECT_EQ(cli({"edit", cli.File(), "Filter1", "tap0=32"}), 2);
    EXPECT_EQ(cli({"edit", cli.File(), "Filter1", "length0=4"}), 2);
    EXPECT_EQ(cli({"edit", cli.File(), "Filter1", "tap0_readout=3"}), 2);
    EXPECT_EQ(cli({"edit", cli.File(), "Filter1", "pin=3"}), 2);
    EXPECT_TRUE(cli.Bytes() == before);
}
