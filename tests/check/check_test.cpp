// The project checker: each check once firing and once quiet, the editors'
// refusal, the fix it offers and the budget figures.
#include "check/check.h"
#include "check/names.h"
#include "golden.h"
#include "kinds/adc/slots.h"
#include "kinds/digital/slots.h"
#include "kinds/filters/slots.h"
#include "kinds/i2cbus/slots.h"
#include "kinds/kind.h"
#include "kinds/nco/nco.h"
#include "kinds/nco/slots.h"
#include "kinds/neopixel/slots.h"
#include "kinds/rtc/slots.h"
#include "kinds/servo/slots.h"
#include "kinds/simplesound/slots.h"
#include "kinds/usbkbm/slots.h"
#include "model/text.h"
#include "objects/pinrules.h"
#include "project.h"

#include <functional>

using namespace kivo;

namespace {

// Objects as a project file may hold them, whatever the editors allow.
CCodeObject &Add(CKivoDoc &doc, int kind, const std::string &name)
{
    auto o = std::make_unique<CCodeObject>();
    o->m_nKind = kind;
    o->m_strName = name;
    o->m_bValid = true;
    doc.m_objList.push_back(std::move(o));
    return *doc.m_objList.back();
}

CCodeObject &Single(CKivoDoc &doc, int kind, const std::string &name, const std::string &pin)
{
    auto &o = Add(doc, kind, name);
    o.m_strPin = pin;
    o.m_nPinCount = 1;
    return o;
}

CCodeObject &Servo(CKivoDoc &doc, const std::string &name = "Servo1", const std::string &pin = "38")
{
    auto &o = Single(doc, kServo, name, pin);
    ServoSlots(o).Degrees() = "90";
    ServoSlots(o).Microseconds() = "1500";
    return o;
}

CCodeObject &I2C(CKivoDoc &doc, const std::string &name = "I2CScan1", const std::string &scl = "56",
                 const std::string &sda = "57")
{
    auto &o = Add(doc, kI2CBus, name);
    o.m_strPin = "0";
    I2CBusSlots(o).SclPin() = scl;
    I2CBusSlots(o).SdaPin() = sda;
    I2CBusSlots(o).Speed() = "100";
    return o;
}

CCodeObject &Usb(CKivoDoc &doc, const std::string &name = "UsbKbM1", const std::string &base = "8")
{
    auto &o = Add(doc, kUsbKbm, name);
    o.m_strPin = base;
    o.m_nPinCount = 8;
    UsbKbmSlots(o).OutMouse() = UsbKbmSlots(o).OutKeyboard() = true;
    return o;
}

// An adapter without its error LED.
CCodeObject &QuietUsb(CKivoDoc &doc, const std::string &name, const std::string &base)
{
    auto &o = Usb(doc, name, base);
    UsbKbmSlots(o).NoErrorLed() = true;
    return o;
}

// The i-th of up to eight mouse-only USB ports on four custom pins each.
CCodeObject &CustomUsb(CKivoDoc &doc, int i)
{
    auto &o = Usb(doc, "Usb" + std::to_string(i), "0");
    UsbKbmSlots u(o);
    u.Config() = kUsbCustom;
    u.OutKeyboard() = false;
    u.DmPin() = std::to_string(8 * i);
    u.ActivityLed() = std::to_string(8 * i + 2);
    u.ErrorLed() = std::to_string(8 * i + 3);
    return o;
}

CCodeObject &Sound(CKivoDoc &doc, const std::string &left = "54", const std::string &right = "55")
{
    auto &o = Add(doc, kSimpleSound, "SimpleSound1");
    SimpleSoundSlots(o).LeftPin() = left;
    SimpleSoundSlots(o).RightPin() = right;
    return o;
}

CCodeObject &Nco(CKivoDoc &doc, const std::string &clock)
{
    auto &o = Single(doc, kNCO, "NCO_Freq1", "24");
    NcoSlots n(o);
    ComputeNcoRegisters(TextToInt(clock), 1000000, n.WxPin(), n.WyPin(), n.Resulting());
    n.Desired() = "1000000";
    return o;
}

using Build = std::function<void(CKivoDoc &)>;

struct CheckCase {
    const char *what;
    Build fires, quiet;
    Severity severity;
    std::string name, field, text; // text: a part of the message
};

void PrintTo(const CheckCase &c, std::ostream *os) { *os << c.what; }

class Checks : public ::testing::TestWithParam<CheckCase>
{
};

std::vector<Finding> Findings(const Build &build)
{
    MemoryProfile profile;
    CKivoDoc doc;
    doc.OnNewDocument(profile);
    build(doc);
    return CheckProject(doc);
}

std::string Lines(const std::vector<Finding> &findings)
{
    std::string s;
    for (auto &f : findings)
        s += FindingLine(f) + "\n";
    return s;
}

TEST_P(Checks, FiresAndStaysQuiet)
{
    const CheckCase &c = GetParam();
    auto fired = Findings(c.fires);
    auto it = std::find_if(fired.begin(), fired.end(), [&](const Finding &f) {
        return f.name == c.name && f.field == c.field && f.text.find(c.text) != std::string::npos;
    });
    ASSERT_NE(it, fired.end()) << Lines(fired);
    EXPECT_EQ(it->severity, c.severity) << FindingLine(*it);
    EXPECT_EQ(fired.size(), 1u) << Lines(fired);
    auto quiet = Findings(c.quiet);
    EXPECT_TRUE(quiet.empty()) << Lines(quiet);
}

const Severity E = Severity::Error, W = Severity::Warning;
const std::string S = kSettingsFindingName;

INSTANTIATE_TEST_SUITE_P(
    Table, Checks,
    ::testing::Values(
        // Names.
        CheckCase{"empty name", [](auto &d) { Servo(d, ""); }, [](auto &d) { Servo(d); }, E, "Object #1 (Hobby Servo)",
                  "name", "has no name"},
        CheckCase{"not an identifier", [](auto &d) { Servo(d, "bad name"); }, [](auto &d) { Servo(d, "bad_name"); }, E,
                  "bad name", "name", "is not a C identifier"},
        CheckCase{"keyword", [](auto &d) { Servo(d, "while"); }, [](auto &d) { Servo(d, "whilst"); }, E, "while",
                  "name", "keyword"},
        CheckCase{"built-in constant", [](auto &d) { Servo(d, "P_OE"); }, [](auto &d) { Servo(d, "PO_E"); }, E, "P_OE",
                  "name", "reserved by the compiler"},
        CheckCase{"generated name", [](auto &d) { Servo(d, "ScanI2CBus"); }, [](auto &d) { Servo(d, "ScanBus"); }, E,
                  "ScanI2CBus", "name", "already used by the generated code"},
        CheckCase{"duplicate", [](auto &d) { Servo(d, "Twin"), Servo(d, "Twin", "39"); },
                  [](auto &d) { Servo(d, "Twin"), Servo(d, "Twin2", "39"); }, E, "Twin", "name",
                  "Another object is already named"},
        // "A_PIN" is a servo's macro and the whole name of the second one.
        CheckCase{"macro collision", [](auto &d) { Servo(d, "A"), Servo(d, "A_PIN", "39"); },
                  [](auto &d) { Servo(d, "A"), Servo(d, "B_PIN", "39"); }, E, "A_PIN", "name",
                  "is also generated for A"},
        // Numbers.
        CheckCase{"pin with letters", [](auto &d) { Servo(d, "Servo1", "12abc"); },
                  [](auto &d) { Servo(d, "Servo1", "12"); }, E, "Servo1", "pin", "\"12abc\": write a whole number"},
        CheckCase{"pin out of range", [](auto &d) { Servo(d, "Servo1", "64"); },
                  [](auto &d) { Servo(d, "Servo1", "61"); }, E, "Servo1", "pin", "from 0 to 63"},
        CheckCase{"LED count",
                  [](auto &d) { NeopixelSlots(Single(d, kNeopixel, "Neopixel1", "53")).LedCount() = "abc"; },
                  [](auto &d) { NeopixelSlots(Single(d, kNeopixel, "Neopixel1", "53")).LedCount() = "8"; }, E,
                  "Neopixel1", "leds", "#LEDs in string:"},
        CheckCase{"I2C speed", [](auto &d) { I2CBusSlots(I2C(d, "I2CScan1", "1", "2")).Speed() = "fast"; },
                  [](auto &d) { I2CBusSlots(I2C(d, "I2CScan1", "1", "2")).Speed() = "400"; }, E, "I2CScan1", "speed",
                  "Speed (kHz):"},
        CheckCase{"clock", [](auto &d) { d.m_strClockFreq = "abc"; }, [](auto &d) { d.m_strClockFreq = "300000000"; },
                  E, S, "clock_freq", "P2 Core Frequency"},
        CheckCase{"clock above rated", [](auto &d) { d.m_strClockFreq = "340000000"; },
                  [](auto &d) { d.m_strClockFreq = "320000000"; }, W, S, "clock_freq", "rated"},
        CheckCase{"heap", [](auto &d) { d.m_bSetHeapSize = 1, d.m_strHeapSize = "600000"; },
                  [](auto &d) { d.m_strHeapSize = "600000"; }, E, S, "heap_size", "from 1 to 524288"},
        CheckCase{"baud", [](auto &d) { d.m_bSetBaud = 1, d.m_strBaud = "4000000"; },
                  [](auto &d) { d.m_bSetBaud = 1, d.m_strBaud = "2000000"; }, E, S, "baud", "from 1200 to 3000000"},
        // 8 clocks per bit at the lowest clock: 500,000 baud is the fastest.
        CheckCase{"baud too fast for the clock",
                  [](auto &d) { d.m_strClockFreq = "4000000", d.m_bSetBaud = 1, d.m_strBaud = "500001"; },
                  [](auto &d) { d.m_strClockFreq = "4000000", d.m_bSetBaud = 1, d.m_strBaud = "500000"; }, E, S, "baud",
                  "at least 8 clocks per bit"},
        CheckCase{"SD pin", [](auto &d) { d.m_bMountSd = 1, d.m_strSdCsPin = "x"; },
                  [](auto &d) { d.m_strSdCsPin = "x"; }, E, S, "sd_cs_pin", "SD card's CS pin"},
        // Pins.
        CheckCase{"USB error LED", [](auto &d) { I2C(d), Usb(d); },
                  [](auto &d) { I2C(d), UsbKbmSlots(Usb(d)).NoErrorLed() = true; }, E, "UsbKbM1", "port",
                  "error LED drives pin 56, which I2CScan1"},
        CheckCase{"SD pins against objects", [](auto &d) { d.m_bMountSd = 1, Servo(d, "Servo1", "58"); },
                  [](auto &d) { Servo(d, "Servo1", "58"); }, E, "Servo1", "pin", "in use by SD Card (its MISO pin"},
        CheckCase{"serial pins", [](auto &d) { Servo(d, "Servo1", "63"); }, [](auto &d) { Servo(d, "Servo1", "61"); },
                  E, "Servo1", "pin", "in use by Serial (the console"},
        // 4 is a multiple of 4 but not of 8, which the driver takes too.
        CheckCase{"VGA base off the multiples of 4", [](auto &d) { Single(d, kSimpleVGA, "V1", "6"); },
                  [](auto &d) { Single(d, kSimpleVGA, "V1", "4"); }, E, "V1", "basepin", "6 is not a multiple of 4"},
        CheckCase{"SCL is SDA", [](auto &d) { I2C(d, "I2CScan1", "5", "5"); },
                  [](auto &d) { I2C(d, "I2CScan1", "5", "6"); }, E, "I2CScan1", "sda", "both pin 5"},
        CheckCase{"left is right", [](auto &d) { Sound(d, "54", "54"); }, [](auto &d) { Sound(d); }, E, "SimpleSound1",
                  "right", "both pin 54"},
        CheckCase{"custom USB pins",
                  [](auto &d) {
                      UsbKbmSlots u(Usb(d));
                      u.Config() = kUsbCustom, u.DmPin() = "10", u.ActivityLed() = "10", u.ErrorLed() = "20";
                  },
                  [](auto &d) {
                      UsbKbmSlots u(Usb(d));
                      u.Config() = kUsbCustom, u.DmPin() = "10", u.ActivityLed() = "12", u.ErrorLed() = "20";
                  },
                  E, "UsbKbM1", "activity_led", "both pin 10"},
        CheckCase{"shared pin", [](auto &d) { Servo(d, "Servo1", "5"), Servo(d, "Servo2", "5"); },
                  [](auto &d) { Servo(d, "Servo1", "5"), Servo(d, "Servo2", "6"); }, E, "Servo2", "pin",
                  "Pin #5 is already in use by Servo1."},
        // Kinds.
        CheckCase{"second VGA", [](auto &d) { Single(d, kSimpleVGA, "V1", "0"), Single(d, kSimpleVGA, "V2", "8"); },
                  [](auto &d) { Single(d, kSimpleVGA, "V1", "0"); }, E, "V2", "", "already has a SimpleVGA"},
        CheckCase{"second keyboard", [](auto &d) { QuietUsb(d, "UsbKbM1", "8"), QuietUsb(d, "UsbKbM2", "16"); },
                  [](auto &d) {
                      QuietUsb(d, "UsbKbM1", "8"), UsbKbmSlots(QuietUsb(d, "UsbKbM2", "16")).OutKeyboard() = false;
                  },
                  E, "UsbKbM2", "out_keyboard", "already outputs keyboard input"},
        CheckCase{"RTC without its bus", [](auto &d) { RtcSlots(Add(d, kRTC, "RTC1")).Bus() = "Gone"; },
                  [](auto &d) { I2C(d, "Bus", "1", "2"), RtcSlots(Add(d, kRTC, "RTC1")).Bus() = "Bus"; }, E, "RTC1",
                  "bus", "not in the project"},
        CheckCase{"RTC before its bus",
                  [](auto &d) { RtcSlots(Add(d, kRTC, "RTC1")).Bus() = "Bus", I2C(d, "Bus", "1", "2"); },
                  [](auto &d) { I2C(d, "Bus", "1", "2"), RtcSlots(Add(d, kRTC, "RTC1")).Bus() = "Bus"; }, E, "RTC1",
                  "bus", "comes after it"},
        CheckCase{"calibrated ADC above 1X",
                  [](auto &d) {
                      AdcSlots a(Single(d, kADC, "ADC1", "50"));
                      a.Calibrated() = true, a.Gain() = 2;
                  },
                  [](auto &d) {
                      AdcSlots a(Single(d, kADC, "ADC1", "50"));
                      a.Calibrated() = true, a.Gain() = 0;
                      AdcSlots(Single(d, kADC, "ADC2", "51")).Gain() = 4;
                  },
                  W, "ADC1", "calibrated", "gain of 10X, but calibration works only at 1X"},
        CheckCase{"NCO for another clock", [](auto &d) { Nco(d, "200000000"); }, [](auto &d) { Nco(d, "160000000"); },
                  W, "NCO_Freq1", "wxpin", "computed for another clock"},
        CheckCase{"filter nobody sets",
                  [](auto &d) { DigitalSlots(Single(d, kDigital, "SmartPin1", "40")).InFilter() = 2; },
                  [](auto &d) {
                      DigitalSlots(Single(d, kDigital, "SmartPin1", "40")).InFilter() = 2;
                      FiltersSlots(Add(d, kFilters, "Filters1")).Set(1) = true;
                  },
                  W, "SmartPin1", "in_filter", "filt1"},
        // Scripts.
        CheckCase{"options that run a command",
                  [](auto &d) { d.m_bUseFlexOptions = 1, d.m_strFlexOptions = "-O1; rm x"; },
                  [](auto &d) { d.m_bUseFlexOptions = 1, d.m_strFlexOptions = "-D 'X=a;b'"; }, E, S, "flex_options",
                  "\";\" outside quotes"},
        CheckCase{"line break in a path", [](auto &d) { d.m_strLoadP2Path = "tools/p2\nrm -rf ~"; },
                  [](auto &d) { d.m_strLoadP2Path = "tools/p2 tools"; }, E, S, "load_p2_path", "line break"},
        // Budget.
        CheckCase{"cogs",
                  [](auto &d) {
                      for (int i = 0; i < 8; ++i)
                          CustomUsb(d, i);
                  },
                  [](auto &d) {
                      for (int i = 0; i < 7; ++i)
                          CustomUsb(d, i);
                  },
                  E, S, "", "starts 9 cogs"},
        CheckCase{"hub RAM", [](auto &d) { d.m_bSetHeapSize = 1, d.m_strHeapSize = "510000"; },
                  [](auto &d) { d.m_bSetHeapSize = 1, d.m_strHeapSize = "100000"; }, E, S, "",
                  "of the 524,288 the P2 has"},
        CheckCase{"hub RAM near the limit", [](auto &d) { d.m_bSetHeapSize = 1, d.m_strHeapSize = "460000"; },
                  [](auto &d) { d.m_bSetHeapSize = 1, d.m_strHeapSize = "400000"; }, W, S, "", "close to the limit"}),
    [](const auto &info) {
        std::string n = info.param.what;
        for (auto &ch : n)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

TEST(Checks, EveryKindWithItsNewObjectDefaultsPassesInOneProject)
{
    test::Project p;
    for (const IKind *k : AllKinds()) {
        test::Setter set;
        if (k->Code() == kI2CBus)
            set = [](CEditorModel &e) { e.UserSetText("scl", "44"), e.UserSetText("sda", "45"); };
        if (k->Code() == kDigital || k->Code() == kDAC || k->Code() == kADC)
            set = [code = k->Code()](CEditorModel &e) { e.UserSetText("pin", std::to_string(30 + code)); };
        ASSERT_EQ(p.Add(k->Code(), set), AddResult::Added) << k->CliName() << "\n" << p.Said();
    }
    EXPECT_EQ(Lines(CheckProject(p.doc)), "");
}

// The checks run at every refresh of the views: a project they looked at is
// as it was, even where generating would tidy an object (the RGB LED
// string's colour with a blank before it, as older projects hold it).
TEST(Checks, CheckingChangesNothing)
{
    test::Project p;
    CKivoDoc &doc = p.doc;
    NeopixelSlots(Single(doc, kNeopixel, "Neopixel1", "40")).Color() = " FF3219";
    const CCodeObject before = *doc.m_objList.back();
    CheckProject(doc);
    CheckNewObject(doc, before);
    EXPECT_EQ(NeopixelSlots(*doc.m_objList.back()).Color(), " FF3219");
    EXPECT_TRUE(*doc.m_objList.back() == before);
}

// Two of every kind that allows more than one, each with its editor's
// defaults: each new object finds pins of its own.
TEST(Checks, NewObjectsWithTheirDefaultsNeverClash)
{
    test::Project p;
    p.doc.m_bMountSd = 1;
    for (int round = 0; round < 2; ++round) {
        for (const IKind *k : AllKinds()) {
            if (round == 1 && k->OnlyOne())
                continue;
            // One keyboard only: its generated code has fixed names.
            test::FieldValues values;
            if (round == 1 && k->Code() == kUsbKbm)
                values = {{"out_keyboard", "0"}};
            ASSERT_EQ(p.Add(k->Code(), values), AddResult::Added) << k->CliName() << "\n" << p.Said();
        }
    }
    EXPECT_EQ(Lines(CheckProject(p.doc)), "");
}

TEST(Checks, ANewObjectTakesItsDefaultPinWhenFreeElseTheNextFree)
{
    struct Case {
        const char *what;
        std::function<void(test::Project &)> before;
        int kind;
        const char *key;
        std::string pin;
    };
    const Case cases[] = {
        {"free default", [](auto &) {}, kNCO, "pin", "24"},
        {"second NCO", [](auto &p) { p.Add(kNCO); }, kNCO, "pin", "25"},
        {"digital after a servo", [](auto &p) { p.Add(kServo); }, kDigital, "pin", "39"},
        {"DAC inside the VGA pins", [](auto &p) { p.Add(kSimpleVGA); }, kDAC, "pin", "53"},
        {"ADC after VGA and DAC", [](auto &p) { p.Add(kSimpleVGA), p.Add(kDAC); }, kADC, "pin", "54"},
        {"SD pin while mounted", [](auto &p) { p.doc.m_bMountSd = 1, p.doc.m_strSdClkPin = "38"; }, kServo, "pin",
         "39"},
        {"SD pin while not mounted", [](auto &p) { p.doc.m_strSdClkPin = "38"; }, kServo, "pin", "38"},
        {"past the serial pins, round to 0",
         [](auto &p) {
             for (int pin = 53; pin < 62; ++pin)
                 ReservePin(p.doc, pin, "X");
         },
         kNeopixel, "pin", "0"},
        {"the USB error LED", [](auto &p) { p.Add(kUsbKbm); }, kI2CBus, "scl", "57"},
        {"SDA after a moved SCL", [](auto &p) { p.Add(kUsbKbm); }, kI2CBus, "sda", "58"},
        {"VGA on the next multiple of 4",
         [](auto &p) {
             p.Add(kNeopixel, {{"pin", "50"}});
         },
         kSimpleVGA, "basepin", "52"},
        {"USB adapter on the next multiple of 8",
         [](auto &p) {
             p.Add(kServo, {{"pin", "9"}});
         },
         kUsbKbm, "basepin", "16"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        test::Project p;
        c.before(p);
        p.Said();
        std::string shown;
        ASSERT_EQ(p.Add(c.kind, [&](CEditorModel &e) { shown = e.Text(c.key); }), AddResult::Added) << p.Said();
        EXPECT_EQ(shown, c.pin);
    }
    // The adapter's error LED moves to the other port, else is left out.
    for (bool both : {false, true}) {
        test::Project p;
        ASSERT_EQ(p.Add(kServo, {{"pin", "56"}}), AddResult::Added);
        if (both) {
            ASSERT_EQ(p.Add(kServo, {{"pin", "57"}}), AddResult::Added);
        }
        ASSERT_EQ(p.Add(kUsbKbm), AddResult::Added) << p.Said();
        UsbKbmSlots usb(*p.doc.m_objList.back());
        EXPECT_EQ(usb.Port(), both ? 0 : 1);
        EXPECT_EQ(usb.NoErrorLed(), both);
        EXPECT_EQ(Lines(CheckProject(p.doc)), "");
    }
}

TEST(Checks, EditorsRefusePinsHeldOutsideThePinTable)
{
    test::Project p;
    ASSERT_EQ(p.Add(kUsbKbm), AddResult::Added);
    // A new servo on the adapter's error LED.
    EXPECT_EQ(p.Add(kServo, {{"pin", "56"}}), AddResult::Cancelled);
    EXPECT_EQ(p.Said(), "Error: Pin #56 is already in use by UsbKbM1 (its USB error LED).\n");
    EXPECT_FALSE(p.doc.m_bPinUsed[56]);
    // An existing one moved there, or onto the SD card's pins.
    ASSERT_EQ(p.Add(kServo, {{"pin", "20"}}), AddResult::Added);
    EXPECT_FALSE(p.Edit(1, {{"pin", "56"}}));
    EXPECT_EQ(p.Said(), "Error: Pin #56 is already in use by UsbKbM1 (its USB error LED).\n");
    p.doc.m_bMountSd = 1;
    EXPECT_FALSE(p.Edit(1, {{"pin", "58"}}));
    EXPECT_NE(p.Said().find("Pin #58 is already in use by SD Card (its MISO pin"), std::string::npos);
    EXPECT_EQ(p.Object(1).m_strPin, "20");
    EXPECT_EQ(p.doc.m_strPinOwner[20], "Servo1");
    EXPECT_FALSE(p.doc.m_bPinUsed[58]);
    EXPECT_TRUE(p.Edit(1, {{"pin", "21"}}));
    // The adapter's own editor refuses a port whose LED pin is taken.
    ASSERT_EQ(p.Add(kServo, {{"pin", "57"}}), AddResult::Added);
    EXPECT_FALSE(p.Edit(0, {{"port", "1"}}));
    EXPECT_NE(p.Said().find("The USB error LED drives pin 57, which Servo2 also uses"), std::string::npos);

    // What the pin view shows in use besides the table.
    std::vector<std::string> held;
    for (auto &h : PinsHeldOutsideTable(p.doc))
        held.push_back(std::to_string(h.pin) + " " + h.owner + " " + h.usage);
    EXPECT_EQ(held, (std::vector<std::string>{"61 SD Card SD CLK", "60 SD Card SD CS", "59 SD Card SD MOSI",
                                              "58 SD Card SD MISO", "56 UsbKbM1 Parallax USB Error LED"}));
    auto used = PinsInUse(p.doc);
    for (int pin : {8, 15, 21, 56, 57, 58, 61, 62, 63})
        EXPECT_TRUE(used[std::size_t(pin)]) << pin;
    for (int pin : {7, 16, 20, 55})
        EXPECT_FALSE(used[std::size_t(pin)]) << pin;
}

// The checks read the generated names from a table kept in the tree, which
// must be what the generator makes now.
TEST(Checks, GeneratedNamesTableIsCurrent)
{
    std::string table = "// The names of the generated code (ComputeGeneratedNames()); the check tests\n"
                        "// rewrite this file when run with KIVO_UPDATE_GOLDEN=1.\n";
    for (auto &n : ComputeGeneratedNames())
        table += "\"" + n + "\",\n";
    test::ExpectFileBytes(std::string(KIVO_SOURCE_DIR) + "/core/check/generatednames.inc", table);
}

TEST(Checks, GeneratedNamesComeFromTheGenerator)
{
    for (auto n : {"sound", "vga", "neopixel", "setup", "loop", "main", "nLoop", "pixbuf1", "zdi2c", "ScanI2CBus",
                   "dispbuf", "tv", "c", "KbMouseInfo", "_clkfreq", "heapsize", "SetDacModeAndLevel", "printf"})
        EXPECT_TRUE(GeneratedNames().count(n)) << n;
    // Words of comments and strings, and the members called, are no names.
    for (auto n : {"Visual", "Studio", "OBEX", "Setup", "complete", "pollTick", "start"})
        EXPECT_FALSE(GeneratedNames().count(n)) << n;
}

TEST(Checks, NewObjectEditorsRefuseTheirOwnFieldErrorsAfterTheirMessages)
{
    test::Project p;
    // An empty name and a pin with letters: the kind's own OK takes both.
    EXPECT_EQ(p.Add(kServo,
                    [](CEditorModel &e) {
                        e.UserSetText("name", "");
                        e.UserSetText("pin", "12abc");
                    }),
              AddResult::Cancelled);
    EXPECT_EQ(p.Said(), "Error: The object has no name. Choose another name (an existing object's name cannot be "
                        "changed: delete the object and add it again).\n"
                        "Error: The pin is \"12abc\": write a whole number from 0 to 63 in digits only.\n");
    EXPECT_FALSE(p.doc.m_bPinUsed[12]);
    EXPECT_TRUE(p.doc.m_objList.empty());
    // A message of the kind comes first, and a refusal of the kind stops
    // before the project checks.
    EXPECT_EQ(p.Add(kServo, [](CEditorModel &e) { e.UserSetText("pin", "62"); }), AddResult::Cancelled);
    EXPECT_EQ(p.Said(), "Error: Pin #62 is already in use by Serial.\n");
    // A warning of the project is no refusal: the filter is not set.
    EXPECT_EQ(p.Add(kDigital, [](CEditorModel &e) { e.UserChoose("in_filter", 1); }), AddResult::Added);
    EXPECT_EQ(p.Said(), "");
    // Existing objects are not refused: their findings are listed.
    p.Object(0).m_strPin = "7x";
    EXPECT_TRUE(p.Edit(0));
}

TEST(Checks, RecomputingTheNcoSilencesItsWarning)
{
    MemoryProfile profile;
    CKivoDoc doc;
    doc.OnNewDocument(profile);
    Nco(doc, "200000000");
    auto findings = CheckProject(doc);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].fix, FindingFix::RecomputeNco);
    ASSERT_TRUE(ApplyFix(doc, findings[0]));
    EXPECT_TRUE(CheckProject(doc).empty());
    EXPECT_FALSE(ApplyFix(doc, Finding{}));
}

TEST(Checks, BudgetFigures)
{
    MemoryProfile profile;
    CKivoDoc doc;
    doc.OnNewDocument(profile);
    Budget empty = ProjectBudget(doc);
    EXPECT_EQ(empty.cogs, 1);
    EXPECT_EQ(empty.heapBytes, 4096u);
    Sound(doc);
    Budget sound = ProjectBudget(doc);
    EXPECT_EQ(sound.cogs, 2);
    // The samples and the module are embedded whole.
    EmbeddedResources r;
    std::size_t data = 0;
    for (int id = 354; id <= 358; ++id)
        data += r.Find(id).size();
    EXPECT_GT(sound.hubBytes - empty.hubBytes, data);
    doc.m_bSetHeapSize = 1;
    doc.m_strHeapSize = "100000";
    EXPECT_EQ(ProjectBudget(doc).heapBytes, 100000u);
}

} // namespace
