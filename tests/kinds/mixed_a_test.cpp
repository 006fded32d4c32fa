#include "kinds_a_support.h"

using namespace kinds_a;

namespace {

// An NCO, an LED string, a filter object and a digital pin that uses one of
// its filters; the digital pin's first try on the string's pin is cancelled.
void AddFour(Project &p)
{
    ASSERT_EQ(p.Add(kNCO, [](CEditorModel &e) { e.UserSetText("desired", "1000"); }), AddResult::Added);
    ASSERT_EQ(p.Add(kNeopixel, [](CEditorModel &e) { e.UserSetFlag("random", true); }), AddResult::Added);
    ASSERT_EQ(p.Add(kFilters,
                    [](CEditorModel &e) {
                        e.UserChoose("length1", 2);
                        e.UserSlide("tap1", 12);
                    }),
              AddResult::Added);
    ASSERT_EQ(p.Add(kDigital,
                    [](CEditorModel &e) {
                        e.UserSetText("pin", "53");
                        e.UserChoose("in_filter", 2);
                    }),
              AddResult::Cancelled);
    ASSERT_EQ(p.Add(kDigital, [](CEditorModel &e) { e.UserChoose("in_filter", 2); }), AddResult::Added);
}

} // namespace

TEST(MixedA, FourKindsTogether)
{
    Project p;
    AddFour(p);
    EXPECT_EQ(p.Said(), "Error: Pin #53 is already in use by Neopixel1.\n");
    // The cancelled digital pin did not raise its counter.
    EXPECT_EQ(ObjectLines(p.doc),
              (std::vector<std::string>{"NCO_Freq1 - NCO-Frequency", "Neopixel1 - Neopixel",
                                        "Filter1 - Global Digital Filters", "SmartPin1 - Smart Digital I/O Pin"}));
}

TEST(MixedA, Compiles)
{
    KINDS_A_REQUIRE_FLEXSPIN(flexspin);
    Project p;
    AddFour(p);
    p.doc.m_bSetBaud = p.doc.m_bSetHeapSize = 1;
    ExpectCompiles(flexspin, p, "four kinds");
}
