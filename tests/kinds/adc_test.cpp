#include "kinds/adc/slots.h"
#include "kinds_b_support.h"

using namespace kinds_b;

namespace {

// The settings the compile check puts together in one project.
struct AdcCase {
    const char *name;
    std::vector<Setter> objects; // one ADC per entry, pins 50, 51, ...
};

Setter Pin(const char *pin, Setter more)
{
    return [pin, more](CEditorModel &e) {
        e.UserSetText("pin", pin);
        more(e);
    };
}

const AdcCase kAdcCases[] = {
    {"defaults", {[](CEditorModel &) {}}},
    {"sampling_raw", {[](CEditorModel &e) {
         e.UserSetFlag("calibrated", false);
         e.UserSlide("exponent", 5);
         e.UserChoose("gain", 2);
         e.UserChoose("source", 7);
     }}},
    {"sinc2_raw", {[](CEditorModel &e) {
         e.UserChoose("filter", 1);
         e.UserSlide("exponent", 4);
         e.UserSetFlag("calibrated", false);
         e.UserChoose("gain", 3);
         e.UserChoose("source", 4);
     }}},
    {"sinc3_calibrated", {[](CEditorModel &e) {
         e.UserChoose("filter", 2);
         e.UserChoose("gain", 4);
         e.UserChoose("source", 1);
     }}},
    {"sinc2_calibrated_sinc3_raw",
     {[](CEditorModel &e) { e.UserChoose("filter", 1); }, Pin("51",
                                                              [](CEditorModel &e) {
                                                                  e.UserChoose("filter", 2);
                                                                  e.UserSlide("exponent", 6);
                                                                  e.UserSetFlag("calibrated", false);
                                                                  e.UserChoose("source", 5);
                                                              })}},
};

TEST(Adc, NewObjectDefaultsAreStoredAndPinReserved)
{
    Project p;
    ASSERT_EQ(p.Add(kADC), AddResult::Added);
    EXPECT_TRUE(p.t.messages.shown.empty());
    const CCodeObject &o = p.Object(0);
    EXPECT_EQ(o.m_strName, "ADC1");
    EXPECT_EQ(o.m_strPin, "50");
    EXPECT_EQ(o.m_nPinCount, 1);
    EXPECT_EQ(AdcSlots(o).GainText(), "P_ADC_1X");
    EXPECT_EQ(AdcSlots(o).SourceText(), "P_LOCAL_A|");
    EXPECT_EQ(
        (std::array<int, 4>{AdcSlots(o).Filter(), AdcSlots(o).Exponent(), AdcSlots(o).Source(), AdcSlots(o).Gain()}),
        (std::array<int, 4>{0, 13, 0, 0}));
    EXPECT_TRUE(AdcSlots(o).Calibrated());
    EXPECT_TRUE(o.m_bValid);
    EXPECT_EQ(p.doc.m_strPinOwner[50], "ADC1");
    EXPECT_EQ(p.doc.m_strPinUsage[50], "Analog To Digital");
}

TEST(Adc, GainAndSourceTexts)
{
    Project p;
    ASSERT_EQ(p.Add(kADC,
                    [](CEditorModel &e) {
                        e.UserChoose("gain", 3);
                        e.UserChoose("source", 4);
                    }),
              AddResult::Added);
    EXPECT_EQ(AdcSlots(p.Object(0)).GainText(), "P_ADC_30X");
    EXPECT_EQ(AdcSlots(p.Object(0)).SourceText(), "P_OUTBIT_A|");
    EXPECT_EQ(AdcSlots(p.Object(0)).Gain(), 3);
    EXPECT_EQ(AdcSlots(p.Object(0)).Source(), 4);
    // An index outside its table (from a file) leaves the text as it was.
    AdcSlots(p.Object(0)).Gain() = 9;
    AdcSlots(p.Object(0)).Source() = -1;
    ASSERT_TRUE(p.Edit(0));
    EXPECT_EQ(AdcSlots(p.Object(0)).GainText(), "P_ADC_30X");
    EXPECT_EQ(AdcSlots(p.Object(0)).SourceText(), "P_OUTBIT_A|");
    EXPECT_EQ(AdcSlots(p.Object(0)).Gain(), 9);
}

TEST(Adc, FilterChoiceSetsRangeAndMovesSliderToItsMaximum)
{
    Project p;
    CCodeObject o;
    auto e = FindKind(kADC)->CreateEditor(o, p.doc, 0, p.t.messages);
    e->Open();
    EXPECT_EQ(e->Title(), "Analog to Digital (ADC) Smart Pin Settings");
    EXPECT_NE(e->Description().find("(ENOB) increases with #clocks. \r\n\r\nFor the moment:  Clock Source"),
              std::string::npos);
    EXPECT_EQ(e->Text("clocks"), "8192");
    EXPECT_EQ(e->SliderRange("exponent"), std::make_pair(1, 13));

    struct Step {
        int filter;
        int slideTo;               // before choosing the filter
        std::pair<int, int> range; // after
        int position;
        const char *clocks;
    };
    const Step steps[] = {
        {2, 5, {4, 9}, 9, "512"},
        {2, 5, {4, 9}, 9, "512"}, // the same filter again still resets the slider
        {1, 4, {4, 13}, 13, "8192"},
        {0, 6, {1, 13}, 13, "8192"},
    };
    for (auto &s : steps) {
        e->UserSlide("exponent", s.slideTo);
        e->UserChoose("filter", s.filter);
        EXPECT_EQ(e->SliderRange("exponent"), s.range) << s.filter;
        EXPECT_EQ(e->Int("exponent"), s.position) << s.filter;
        EXPECT_EQ(e->Text("clocks"), s.clocks) << s.filter;
    }
    e->UserSlide("exponent", 1);
    EXPECT_EQ(e->Text("clocks"), "2");
    e->UserChoose("filter", 2);
    e->UserSlide("exponent", 12); // beyond the SINC3 range
    EXPECT_EQ(e->Int("exponent"), 9);
    EXPECT_EQ(e->Text("clocks"), "512");
}

TEST(Adc, ExistingSinc3ObjectOpensWithoutMovingTheSlider)
{
    Project p;
    ASSERT_EQ(p.Add(kADC, [](CEditorModel &e) { e.UserChoose("filter", 2); }), AddResult::Added);
    AdcSlots(p.Object(0)).Exponent() = 6;
    CCodeObject &o = p.Object(0);
    auto e = FindKind(kADC)->CreateEditor(o, p.doc, 1, p.t.messages);
    e->Open();
    EXPECT_EQ(e->Int("filter"), 2);
    EXPECT_EQ(e->Int("exponent"), 6);
    EXPECT_EQ(e->Text("clocks"), "64");
    EXPECT_EQ(e->SliderRange("exponent"), std::make_pair(4, 9));
}

TEST(Adc, ClockSourceStaysInternal)
{
    Project p;
    CCodeObject o;
    auto e = FindKind(kADC)->CreateEditor(o, p.doc, 0, p.t.messages);
    e->Open();
    EXPECT_FALSE(e->IsEnabled("clock_source"));
    EXPECT_TRUE(e->IsEnabled("filter"));
    e->UserChoose("clock_source", 1);
    EXPECT_EQ(e->Int("clock_source"), 0);
}

TEST(Adc, RefusedPinAndDelete)
{
    Project p;
    ASSERT_EQ(p.Add(kADC), AddResult::Added);
    ASSERT_EQ(p.Add(kDAC, [](CEditorModel &e) { e.UserSetText("pin", "51"); }), AddResult::Added);
    p.t.messages.shown.clear();
    EXPECT_FALSE(p.Edit(0, [](CEditorModel &e) { e.UserSetText("pin", "51x"); }));
    EXPECT_EQ(p.t.messages.shown,
              (std::vector<ShownMessage>{{MessageKind::Error, "Pin #51 is already in use by DAC1."}}));
    EXPECT_EQ(p.doc.m_strPinOwner[50], "ADC1");
    ASSERT_TRUE(DeleteObject(p.doc, 0));
    EXPECT_FALSE(p.doc.m_bPinUsed[50]);
    EXPECT_EQ(p.doc.m_strPinOwner[51], "DAC1"); // a refused edit never frees another owner's pin
}

TEST(Adc, CompilesWithFlexSpin)
{
    Project p;
    int pin = 40;
    for (auto &c : kAdcCases)
        for (auto &set : c.objects) {
            std::string text = std::to_string(pin++);
            ASSERT_EQ(p.Add(kADC,
                            [&](CEditorModel &e) {
                                set(e);
                                e.UserSetText("pin", text);
                            }),
                      AddResult::Added);
        }
    ExpectCompiles(p);
}

TEST(AdcCli, FieldsApplyInTheOrderGiven)
{
    Cli cli;
    cli.New();
    // The filter moves the slider to 9, so exponent=6 must come after it.
    EXPECT_EQ(cli({"add", cli.File(), "adc", "filter=sinc3", "exponent=6", "gain=31.6x", "source=this out"}), 0)
        << cli.output;
    EXPECT_EQ(cli({"add", cli.File(), "adc", "pin=51", "exponent=6", "filter=SINC3"}), 0) << cli.output;
    const std::string before = cli.Bytes();
    EXPECT_EQ(cli({"add", cli.File(), "adc", "filter=sinc3", "exponent=10"}), 2);
    EXPECT_NE(cli.output.find("exponent"), std::string::npos) << cli.output;
    EXPECT_EQ(cli.Bytes(), before);
    CKivoDoc doc;
    cli.Load(doc);
    ASSERT_EQ(doc.m_objList.size(), 2u);
    EXPECT_EQ(AdcSlots(*doc.m_objList[0]).Exponent(), 6);
    EXPECT_EQ(AdcSlots(*doc.m_objList[0]).GainText(), "P_ADC_30X");
    EXPECT_EQ(AdcSlots(*doc.m_objList[0]).SourceText(), "P_OUTBIT_A|");
    EXPECT_EQ(AdcSlots(*doc.m_objList[1]).Exponent(), 9);
}

} // namespace
