#include "kinds/usbkbm/slots.h"
#include "kinds_c_support.h"

#include "objects/pinrules.h"

using namespace kivo;
using kc::Project;

namespace {

const MessageKind E = MessageKind::Error;
const MessageKind W = MessageKind::Warning;
const MessageKind P = MessageKind::Plain;

const std::vector<std::string> kAdapterLabels = {
    "Parallax USB Upper Activity", "Parallax USB Upper Enable", "Parallax USB Upper Data-", "Parallax USB Upper Data+",
    "Parallax USB Lower Activity", "Parallax USB Lower Enable", "Parallax USB Lower Data-", "Parallax USB Lower Data+",
};

std::vector<std::string> AdapterPins(int base)
{
    std::vector<std::string> v;
    for (int i = 0; i < 8; ++i)
        v.push_back(std::to_string(base + i) + ":" + kAdapterLabels[std::size_t(i)]);
    return v;
}

TEST(UsbKbmEditor, TextsFieldsAndDefaults)
{
    Project p;
    CCodeObject o;
    auto e = FindKind(kUsbKbm)->CreateEditor(o, p.doc, 0, p.t.messages);
    e->Open();
    EXPECT_EQ(e->Title(), "Add a USB Keyboard and/or Mouse");
    EXPECT_EQ(e->Description(),
              "Adds a USB Keyboard and/or Mouse object.  Uses 1 cog.  Will automatically update cursor location when "
              "using mouse. Cursor position and raw keyboard scan codes are updated in a KbMouseInfo structure.  "
              "Processed keyboard results are provided via rawKey().");
    EXPECT_EQ(e->NameLabel(), "Object Name:");
    EXPECT_EQ(e->Name(), "UsbKbM1");
    EXPECT_STREQ(FindKind(kUsbKbm)->CliName(), "usb");

    std::vector<std::string> keys;
    for (auto &f : e->Fields())
        keys.push_back(f.key);
    EXPECT_EQ(keys, (std::vector<std::string>{"config", "basepin", "port", "dm", "activity_led", "error_led",
                                              "use_enable", "enable_pin", "limit_x", "limit_y", "start_x", "start_y",
                                              "out_mouse", "out_keyboard", "no_error_led"}));
    const FieldSpec *config = e->FindField("config");
    EXPECT_EQ(config->options, (std::vector<std::string>{"Using Parallax Adapter:", "Custom Configuration:"}));
    EXPECT_EQ(config->optionAliases, (std::vector<std::string>{"adapter", "custom"}));
    EXPECT_EQ(e->FindField("port")->options, (std::vector<std::string>{"Top Port", "Bottom Port"}));
    EXPECT_EQ(e->FindField("port")->note, "Note: Error LED will be pin 56 for top port and 57 for bottom port");
    EXPECT_EQ(e->FindField("basepin")->group, "Parallax Adapter Options");
    EXPECT_EQ(e->FindField("basepin")->hint, "Probably a multiple of 8. Must be an even number.");
    EXPECT_EQ(e->FindField("dm")->group, "Custom Configuration Options");
    EXPECT_EQ(e->FindField("dm")->hint, "USB data on this pin and this pin+1.  Must be even.");
    EXPECT_EQ(e->FindField("activity_led")->hint, "Pin for Activity LED and Smart Pin mailbox.  Any Pin#.");
    EXPECT_EQ(e->FindField("error_led")->hint, "Pin for error status LED. Any Pin#.");
    EXPECT_EQ(e->FindField("enable_pin")->hint, "Pin to enable USB power (not always required). Any Pin#");
    EXPECT_EQ(e->FindField("use_enable")->label, "Use USB Power Enable Pin");
    for (auto key : {"limit_x", "limit_y", "start_x", "start_y"})
        EXPECT_EQ(e->FindField(key)->type, FieldType::Integer) << key;
    EXPECT_EQ(e->FindField("limit_y")->group, "Mouse Limits");
    EXPECT_EQ(e->FindField("start_x")->group, "Mouse Initial Position");
    EXPECT_EQ(e->FindField("no_error_led")->label, "Do not use Error LED pin");

    EXPECT_EQ(e->Int("config"), 0);
    EXPECT_EQ(e->Text("basepin"), "8");
    EXPECT_EQ(e->Int("port"), 0);
    EXPECT_EQ(e->Text("dm"), "10");
    EXPECT_EQ(e->Text("activity_led"), "8");
    EXPECT_EQ(e->Text("error_led"), "57");
    EXPECT_TRUE(e->Flag("use_enable"));
    EXPECT_EQ(e->Text("enable_pin"), "9");
    EXPECT_EQ(e->Text("limit_x"), "640");
    EXPECT_EQ(e->Text("limit_y"), "480");
    EXPECT_EQ(e->Text("start_x"), "100");
    EXPECT_EQ(e->Text("start_y"), "100");
    EXPECT_TRUE(e->Flag("out_mouse"));
    EXPECT_TRUE(e->Flag("out_keyboard"));
    EXPECT_FALSE(e->Flag("no_error_led"));
}

TEST(UsbKbmEditor, DefaultOkStoresEverySlot)
{
    Project p;
    ASSERT_EQ(p.Add(kUsbKbm), AddResult::Added);
    const CCodeObject &o = p.Object(0);
    EXPECT_EQ(o.m_nKind, kUsbKbm);
    EXPECT_EQ(o.m_strPin, "8");
    EXPECT_EQ(o.m_nPinCount, 8);
    EXPECT_EQ(std::vector<int>(o.m_nValue.begin(), o.m_nValue.begin() + 6),
              (std::vector<int>{0, 0, 640, 480, 100, 100}));
    EXPECT_EQ(std::vector<std::string>(o.m_strText.begin(), o.m_strText.begin() + 4),
              (std::vector<std::string>{"10", "8", "57", "9"}));
    EXPECT_EQ(std::vector<bool>(o.m_bFlag.begin(), o.m_bFlag.begin() + 4),
              (std::vector<bool>{true, true, true, false}));
    EXPECT_TRUE(o.m_bValid);
}

struct UsbCase {
    const char *what;
    kc::FieldValues values;
    std::vector<ShownMessage> messages;
    std::vector<std::string> pins; // owned afterwards; empty: refused
};

void PrintTo(const UsbCase &c, std::ostream *os) { *os << c.what; }

class UsbKbmOk : public ::testing::TestWithParam<UsbCase>
{
};

// Pin 31 belongs to "Other"; 62 and 63 to "Serial".
TEST_P(UsbKbmOk, MessagesAndPins)
{
    const UsbCase &c = GetParam();
    Project p;
    p.doc.m_bPinUsed[31] = true;
    p.doc.m_strPinOwner[31] = "Other";
    auto r = p.Add(kUsbKbm, c.values);
    EXPECT_EQ(p.TakeMessages(), c.messages);
    EXPECT_EQ(r, c.pins.empty() ? AddResult::Cancelled : AddResult::Added);
    EXPECT_EQ(kc::PinsOwnedBy(p.doc, "UsbKbM1"), c.pins);
    EXPECT_EQ(kc::PinEntry(p.doc, 31), "used|Other||");
}

const std::vector<std::string> kCustomDefaultPins = {"8:Custom USB Activity LED", "9:Custom USB Power Enable",
                                                     "10:Custom USB Data-", "11:Custom USB Data+",
                                                     "57:Custom USB Error LED"};

INSTANTIATE_TEST_SUITE_P(
    Adapter, UsbKbmOk,
    ::testing::Values(
        UsbCase{"top", {}, {}, AdapterPins(8)},
        // Both ports reserve all eight pins.
        UsbCase{"bottom", {{"port", "1"}}, {}, AdapterPins(8)},
        UsbCase{"base12",
                {{"basepin", "12"}},
                {{W, "Pin 12 is not a multiple of 8, which is usually the case."}},
                AdapterPins(12)},
        UsbCase{"base58", {{"basepin", "58"}}, {{E, "Pin 58 is out of range, please set to between 0 and 56."}}, {}},
        UsbCase{"base-2", {{"basepin", "-2"}}, {{E, "Pin -2 is out of range, please set to between 0 and 56."}}, {}},
        UsbCase{"base9", {{"basepin", "9"}}, {{E, "Pin 9 is not a multiple of 2."}}, {}},
        // The warning comes before the conflict check.
        UsbCase{"base26",
                {{"basepin", "26"}},
                {{W, "Pin 26 is not a multiple of 8, which is usually the case."},
                 {E, "Pin #31 is already in use by Other."}},
                {}},
        UsbCase{"base56", {{"basepin", "56"}}, {{E, "Pin #62 is already in use by Serial."}}, {}},
        // Custom pin texts are not looked at.
        UsbCase{"adapter ignores custom", {{"dm", "99"}, {"activity_led", "x"}}, {}, AdapterPins(8)}));

INSTANTIATE_TEST_SUITE_P(
    Custom, UsbKbmOk,
    ::testing::Values(
        UsbCase{"defaults", {{"config", "1"}}, {}, kCustomDefaultPins},
        // The error LED pin is claimed even when the driver leaves it alone.
        UsbCase{"no error led", {{"config", "1"}, {"no_error_led", "1"}}, {}, kCustomDefaultPins},
        UsbCase{"enable off",
                {{"config", "1"}, {"use_enable", "0"}, {"enable_pin", "99"}},
                {},
                {"8:Custom USB Activity LED", "10:Custom USB Data-", "11:Custom USB Data+", "57:Custom USB Error LED"}},
        // The kind's checks let pins coincide; the project checks refuse, once per pin.
        UsbCase{"coinciding",
                {{"config", "1"}, {"activity_led", "10"}, {"error_led", "11"}, {"enable_pin", "11"}},
                {{E, "\"DM Pin:\" and \"Activity LED Pin:\" are both pin 10: give each USB signal its own pin."},
                 {E, "\"DM Pin:\" and \"Error LED Pin:\" are both pin 11: give each USB signal its own pin."}},
                {}},
        UsbCase{"activity range",
                {{"config", "1"}, {"activity_led", "64"}, {"dm", "63"}},
                {{P, "Pin 64 is out of range, please set to between 0 and 63."}},
                {}},
        UsbCase{"activity taken",
                {{"config", "1"}, {"activity_led", "31"}},
                {{E, "Pin #31 is already in use by Other."}},
                {}},
        UsbCase{"error led range",
                {{"config", "1"}, {"error_led", "70"}, {"dm", "63"}},
                {{P, "Pin 70 is out of range, please set to between 0 and 63."}},
                {}},
        UsbCase{"error led taken",
                {{"config", "1"}, {"error_led", "62"}},
                {{E, "Pin #62 is already in use by Serial."}},
                {}},
        UsbCase{"dm range",
                {{"config", "1"}, {"dm", "63"}},
                {{P, "Pin 63 is out of range, please set to between 0 and 62."}},
                {}},
        UsbCase{"dm odd", {{"config", "1"}, {"dm", "11"}}, {{E, "Pin 11 is not a multiple of 2."}}, {}},
        UsbCase{"dm+1 taken", {{"config", "1"}, {"dm", "30"}}, {{E, "Pin #31 is already in use by Other."}}, {}},
        UsbCase{"enable range",
                {{"config", "1"}, {"enable_pin", "64"}},
                {{P, "Pin 64 is out of range, please set to between 0 and 63."}},
                {}},
        UsbCase{
            "enable taken", {{"config", "1"}, {"enable_pin", "31"}}, {{E, "Pin #31 is already in use by Other."}}, {}}),
    [](const auto &info) {
        std::string n = info.param.what;
        for (auto &ch : n)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

// A mouse field that is not a whole number stops the OK before anything is
// stored, with the toolkit's own message.
TEST(UsbKbmEditor, MouseFieldsMustBeWholeNumbers)
{
    Project p;
    CCodeObject o;
    auto e = FindKind(kUsbKbm)->CreateEditor(o, p.doc, 0, p.t.messages);
    e->Open();
    for (auto bad : {"abc", "1.5", "", "12x", "99999999999"}) {
        e->UserSetText("start_y", bad);
        EXPECT_EQ(e->Ok(), OkResult::StayOpen) << bad;
        EXPECT_EQ(e->FocusField(), "start_y");
        ASSERT_FALSE(p.t.messages.shown.empty());
        // The known text first, then the field named.
        EXPECT_EQ(p.t.messages.shown.back(),
                  (ShownMessage{P, std::string("Please enter an integer.\nThe field \"Mouse Initial Position Y\" "
                                               "holds \"") +
                                       bad + "\"."}));
    }
    EXPECT_EQ(p.t.messages.shown.size(), 5u);
    EXPECT_EQ(o, CCodeObject{});
    EXPECT_FALSE(p.doc.m_bPinUsed[8]);
    e->UserSetText("start_y", " -5 ");
    e->UserSetText("limit_x", "+800");
    EXPECT_EQ(e->Ok(), OkResult::Accepted);
    EXPECT_EQ(UsbKbmSlots(o).StartY(), -5);
    EXPECT_EQ(UsbKbmSlots(o).LimitX(), 800);
}

TEST(UsbKbmEditor, EditLoadsSlotsAndSwitchingConfigMovesPins)
{
    Project p;
    ASSERT_EQ(p.Add(kUsbKbm, {{"port", "1"}, {"limit_x", "800"}, {"start_y", "-3"}, {"out_keyboard", "0"}}),
              AddResult::Added);
    std::vector<std::string> shown;
    ASSERT_TRUE(EditObject(p.doc, 0, p.t.messages, kc::Press({}, &shown)));
    EXPECT_EQ(shown,
              (std::vector<std::string>{"config=0", "basepin=8", "port=1", "dm=10", "activity_led=8", "error_led=57",
                                        "use_enable=1", "enable_pin=9", "limit_x=800", "limit_y=480", "start_x=100",
                                        "start_y=-3", "out_mouse=1", "out_keyboard=0", "no_error_led=0"}));
    p.doc.m_strPinNote[12] = "keep me";
    ASSERT_TRUE(
        p.Edit(0, {{"config", "1"}, {"dm", "20"}, {"activity_led", "22"}, {"error_led", "23"}, {"use_enable", "0"}}));
    EXPECT_EQ(kc::PinsOwnedBy(p.doc, "UsbKbM1"),
              (std::vector<std::string>{"20:Custom USB Data-", "21:Custom USB Data+", "22:Custom USB Activity LED",
                                        "23:Custom USB Error LED"}));
    EXPECT_EQ(kc::PinEntry(p.doc, 12), "free|||keep me");
    // The custom OK leaves the pin count as it was.
    EXPECT_EQ(p.Object(0).m_nPinCount, 8);

    // A refused edit then cancelled keeps the object and the table.
    EXPECT_FALSE(p.Edit(0, {{"dm", "21"}}));
    EXPECT_TRUE(p.Object(0).m_bValid);
    EXPECT_EQ(UsbKbmSlots(p.Object(0)).DmPin(), "20");
    EXPECT_EQ(kc::PinsOwnedBy(p.doc, "UsbKbM1").size(), 4u);
}

TEST(UsbKbmKind, PinsOfFollowsTheConfiguration)
{
    CCodeObject o;
    o.m_nKind = kUsbKbm;
    o.m_strPin = "16";
    o.m_nPinCount = 8;
    o.m_strText = {"20", "22", "23", "24"};
    const IKind &k = *FindKind(kUsbKbm);
    EXPECT_EQ(k.PinsOf(o), (std::vector<int>{16, 17, 18, 19, 20, 21, 22, 23}));
    UsbKbmSlots(o).Config() = 1;
    EXPECT_EQ(k.PinsOf(o), (std::vector<int>{20, 21, 22, 23}));
    UsbKbmSlots(o).UseEnable() = true;
    EXPECT_EQ(k.PinsOf(o), (std::vector<int>{20, 21, 22, 23, 24}));
}

TEST(UsbKbmKind, DeleteCustomWithoutEnableLeavesThatPin)
{
    Project p;
    ASSERT_EQ(p.Add(kUsbKbm, {{"config", "1"}, {"use_enable", "0"}, {"enable_pin", "40"}}), AddResult::Added);
    ReservePin(p.doc, 40, "Other", "Kept");
    ASSERT_TRUE(DeleteObject(p.doc, 0));
    EXPECT_TRUE(kc::PinsOwnedBy(p.doc, "UsbKbM1").empty());
    EXPECT_EQ(kc::PinEntry(p.doc, 40), "used|Other|Kept|");
}

struct TextCase {
    const char *name;
    kc::FieldValues values;
};

const TextCase kTextCases[] = {
    {"default", {}},
    {"bottom", {{"basepin", "16"}, {"port", "1"}, {"out_mouse", "0"}}},
    {"custom",
     {{"config", "1"},
      {"dm", "20"},
      {"activity_led", "22"},
      {"error_led", "23"},
      {"enable_pin", "24"},
      {"limit_x", "800"},
      {"limit_y", "600"},
      {"start_x", "0"},
      {"start_y", "-1"},
      {"out_keyboard", "0"}}},
    {"custom_noled_noenable",
     {{"config", "1"}, {"use_enable", "0"}, {"no_error_led", "1"}, {"out_mouse", "0"}, {"out_keyboard", "0"}}},
};

class UsbKbmGenerated : public ::testing::TestWithParam<TextCase>
{
};

TEST_P(UsbKbmGenerated, WritesTheDriverOfItsErrorLedFlag)
{
    Project p;
    ASSERT_EQ(p.Add(kUsbKbm, GetParam().values), AddResult::Added);
    p.Generate();
    // The error-LED flag picks the one driver file that is written.
    bool noLed = UsbKbmSlots(p.Object(0)).NoErrorLed();
    EXPECT_EQ(std::filesystem::exists(p.dir / "1CogKbM_kqv3b_NoErrorLed.spin2"), noLed);
    EXPECT_EQ(std::filesystem::exists(p.dir / "1CogKbM_kqv3b.spin2"), !noLed);
}

TEST_P(UsbKbmGenerated, Compiles)
{
    Project p;
    ASSERT_EQ(p.Add(kUsbKbm, GetParam().values), AddResult::Added);
    p.Generate();
    KC_COMPILE_CHECK(p.dir.Path());
}

INSTANTIATE_TEST_SUITE_P(Cases, UsbKbmGenerated, ::testing::ValuesIn(kTextCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(UsbKbmCli, AliasesLabelsWarningAndRefusals)
{
    test::KivoCli cli;
    std::string file = cli.File();
    ASSERT_EQ(cli.Run({"new", file}).exitCode, 0);

    auto r =
        cli.Run({"add", file, "usb", "config=custom", "dm=20", "activity_led=22", "error_led=23", "use_enable=off"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // A label as shown, without its colon and in any case.
    r = cli.Run(
        {"add", file, "usb", "config=using parallax adapter", "basepin=36", "port=Bottom Port", "out_keyboard=off"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Warning: Pin 36 is not a multiple of 8, which is usually the case."), std::string::npos)
        << r.err;
    r = cli.Run({"show", file});
    EXPECT_NE(r.out.find("  21\tNo\tUsbKbM1\tCustom USB Data+"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  43\tNo\tUsbKbM2\tParallax USB Lower Data+"), std::string::npos) << r.out;

    std::string before = test::ReadFileBytes(file);
    r = cli.Run({"edit", file, "UsbKbM2", "limit_x=6.4"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Kivo: Please enter an integer."), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadFileBytes(file), before);
    r = cli.Run({"add", file, "usb", "port=sideways"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("port"), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadFileBytes(file), before);

    r = cli.Run({"kinds"});
    EXPECT_NE(r.out.find("  limit_x (integer) default \"640\""), std::string::npos) << r.out;
}

} // namespace
