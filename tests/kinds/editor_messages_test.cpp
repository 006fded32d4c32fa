// An editor whose messages a dialog keeps, to show them beside their fields:
// one OK finds every error at once, each with its field, and any error
// refuses the OK.
#include "kinds_a_support.h"

using namespace kinds_a;

namespace {

struct KeptEditor {
    Project p;
    OpenEditor e;
    std::vector<FieldMessage> kept;
    explicit KeptEditor(int kind) : e(p, kind) { e->KeepMessages(&kept); }
    std::vector<std::string> Fields() const
    {
        std::vector<std::string> out;
        for (auto &m : kept)
            out.push_back(m.field);
        return out;
    }
};

} // namespace

TEST(EditorMessages, OneOkKeepsEveryErrorWithItsField)
{
    struct Case {
        int kind;
        test::FieldValues values;
        std::vector<std::string> fields;
    };
    const Case cases[] = {
        // Every mouse field that is no number, where OK alone stops at the first.
        {kUsbKbm, {{"limit_x", "wide"}, {"start_y", "1e3"}}, {"limit_x", "start_y"}},
        // The desired frequency and the pin together.
        {kNCO, {{"desired", "12abc"}, {"pin", "99"}}, {"desired", "pin"}},
        {kServo, {{"pin", "70"}}, {"pin"}},
        // A name no C program can use, with the field the kind's OK stops at.
        {kServo, {{"name", "1 bad name"}, {"pin", "99"}}, {"pin", "name"}},
        {kUsbKbm, {{"name", "int"}, {"limit_x", "wide"}}, {"limit_x", "name"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind);
        KeptEditor k(c.kind);
        for (auto &[key, value] : c.values)
            k.e->UserSetText(key, value);
        const auto owners = k.p.doc.m_strPinOwner;
        EXPECT_EQ(k.e->Ok(), OkResult::StayOpen);
        EXPECT_EQ(k.Fields(), c.fields);
        for (auto &m : k.kept)
            EXPECT_TRUE(m.error) << m.text;
        EXPECT_EQ(k.e->FocusField(), c.fields.front());
        // Nothing came up as a box, and no pin was taken.
        EXPECT_EQ(k.p.Said(), "");
        EXPECT_EQ(k.p.doc.m_strPinOwner, owners);
    }
}

TEST(EditorMessages, ACalculationErrorRefusesTheOkItWentOnPast)
{
    KeptEditor k(kNCO);
    k.e->UserSetText("desired", "0");
    EXPECT_EQ(k.e->Ok(), OkResult::StayOpen);
    // The calculation's message, then the project check's on the same field.
    ASSERT_EQ(k.kept.size(), 2u);
    EXPECT_EQ(k.kept[0], (FieldMessage{true, "desired", "Error:  Desired frequency (0) must be at least 1 Hz"}));
    EXPECT_EQ(k.kept[1].field, "desired");
    EXPECT_TRUE(k.p.doc.m_strPinOwner[24].empty());

    // Put right, the same editor accepts and takes its pin.
    k.kept.clear();
    k.e->UserSetText("desired", "1000");
    EXPECT_EQ(k.e->Ok(), OkResult::Accepted);
    EXPECT_TRUE(k.kept.empty());
    EXPECT_EQ(k.p.doc.m_strPinOwner[24], k.e->Name());
}

TEST(EditorMessages, AWarningDoesNotRefuse)
{
    KeptEditor k(kUsbKbm);
    k.e->UserSetText("basepin", "50");
    k.e->UserSetFlag("no_error_led", true);
    EXPECT_EQ(k.e->Ok(), OkResult::Accepted);
    ASSERT_EQ(k.kept.size(), 1u);
    EXPECT_FALSE(k.kept[0].error);
    EXPECT_EQ(k.kept[0].field, "basepin");
}
