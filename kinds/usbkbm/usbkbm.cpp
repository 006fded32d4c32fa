#include "kinds/kind.h"
#include "kinds/usbkbm/slots.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/pinclash.h"
#include "objects/pinrules.h"
#include "platform/messages.h"

#include <algorithm>
#include <map>
#include <set>

namespace kivo {

namespace {

const char *kDescription = "Adds a USB Keyboard and/or Mouse object.  Uses 1 cog.  Will automatically update cursor "
                           "location when using mouse. Cursor position and raw keyboard scan codes are updated in a "
                           "KbMouseInfo structure.  Processed keyboard results are provided via rawKey().";

const char *kAdapterGroup = "Parallax Adapter Options";
const char *kCustomGroup = "Custom Configuration Options";

// The adapter's eight pins from its base pin: per port activity LED, power
// enable, data minus, data plus; top port first.
const char *const kAdapterLabels[8] = {
    "Parallax USB Upper Activity", "Parallax USB Upper Enable", "Parallax USB Upper Data-", "Parallax USB Upper Data+",
    "Parallax USB Lower Activity", "Parallax USB Lower Enable", "Parallax USB Lower Data-", "Parallax USB Lower Data+",
};

constexpr int kAdapter = kUsbAdapter;

const std::vector<FieldSpec> &UsbFields()
{
    static const std::vector<FieldSpec> fields = {
        {.key = "config",
         .type = FieldType::Choice,
         .options = {"Using Parallax Adapter:", "Custom Configuration:"},
         .optionAliases = {"adapter", "custom"}},
        {.key = "basepin",
         .type = FieldType::Text,
         .label = "Basepin:",
         .group = kAdapterGroup,
         .hint = "Probably a multiple of 8. Must be an even number."},
        {.key = "port",
         .type = FieldType::Choice,
         .group = kAdapterGroup,
         .options = {"Top Port", "Bottom Port"},
         .optionAliases = {"top", "bottom"},
         .note = "Note: Error LED will be pin 56 for top port and 57 for bottom port"},
        {.key = "dm",
         .type = FieldType::Text,
         .label = "DM Pin:",
         .group = kCustomGroup,
         .hint = "USB data on this pin and this pin+1.  Must be even."},
        {.key = "activity_led",
         .type = FieldType::Text,
         .label = "Activity LED Pin:",
         .group = kCustomGroup,
         .hint = "Pin for Activity LED and Smart Pin mailbox.  Any Pin#."},
        {.key = "error_led",
         .type = FieldType::Text,
         .label = "Error LED Pin:",
         .group = kCustomGroup,
         .hint = "Pin for error status LED. Any Pin#."},
        {.key = "use_enable", .type = FieldType::Flag, .label = "Use USB Power Enable Pin", .group = kCustomGroup},
        {.key = "enable_pin",
         .type = FieldType::Text,
         .label = "Power Enable Pin:",
         .group = kCustomGroup,
         .hint = "Pin to enable USB power (not always required). Any Pin#"},
        {.key = "limit_x", .type = FieldType::Integer, .label = "X:", .group = "Mouse Limits"},
        {.key = "limit_y", .type = FieldType::Integer, .label = "Y:", .group = "Mouse Limits"},
        {.key = "start_x", .type = FieldType::Integer, .label = "X:", .group = "Mouse Initial Position"},
        {.key = "start_y", .type = FieldType::Integer, .label = "Y:", .group = "Mouse Initial Position"},
        {.key = "out_mouse", .type = FieldType::Flag, .label = "Output mouse position"},
        {.key = "out_keyboard", .type = FieldType::Flag, .label = "Output keyboard input"},
        {.key = "no_error_led", .type = FieldType::Flag, .label = "Do not use Error LED pin"},
    };
    return fields;
}

class CObjectUsbKbm : public CEditorModel
{
public:
    using CEditorModel::CEditorModel;
    std::string Title() const override { return "Add a USB Keyboard and/or Mouse"; }
    std::string Description() const override { return kDescription; }
    const std::vector<FieldSpec> &Fields() const override { return UsbFields(); }

protected:
    void InitNew() override
    {
        m_int["config"] = kAdapter;
        m_text["basepin"] = "8";
        m_int["port"] = 0;
        m_text["dm"] = "10";
        m_text["activity_led"] = "8";
        m_text["error_led"] = "57";
        m_flag["use_enable"] = true;
        m_text["enable_pin"] = "9";
        m_text["limit_x"] = "640";
        m_text["limit_y"] = "480";
        m_text["start_x"] = "100";
        m_text["start_y"] = "100";
        m_flag["out_mouse"] = true;
        m_flag["out_keyboard"] = true;
        m_flag["no_error_led"] = false;
    }
    void InitExisting() override
    {
        UsbKbmSlots slots(m_object);
        m_int["config"] = slots.Config();
        m_text["basepin"] = slots.BasePin();
        m_int["port"] = slots.Port();
        m_text["dm"] = slots.DmPin();
        m_text["activity_led"] = slots.ActivityLed();
        m_text["error_led"] = slots.ErrorLed();
        m_flag["use_enable"] = slots.UseEnable();
        m_text["enable_pin"] = slots.EnablePin();
        m_text["limit_x"] = Format("%d", slots.LimitX());
        m_text["limit_y"] = Format("%d", slots.LimitY());
        m_text["start_x"] = Format("%d", slots.StartX());
        m_text["start_y"] = Format("%d", slots.StartY());
        m_flag["out_mouse"] = slots.OutMouse();
        m_flag["out_keyboard"] = slots.OutKeyboard();
        m_flag["no_error_led"] = slots.NoErrorLed();
    }
    void PlacePins(PinPlacer &placer) override
    {
        if (Int("config") == kAdapter) {
            // A multiple of 8, as adapters usually sit; then an error LED
            // pin that is free: the other port's, else none.
            PlacePinField(placer, "basepin", 8, 8, 56);
            if (Flag("no_error_led"))
                return;
            const int port = Int("port") == 1 ? 1 : 0;
            if (placer.IsFree(56 + port))
                placer.Take(56 + port);
            else if (placer.IsFree(57 - port))
                m_int["port"] = placer.Take(57 - port) - 56;
            else
                m_flag["no_error_led"] = true;
            return;
        }
        PlacePinField(placer, "dm", 2, 2, 62);
        PlacePinField(placer, "activity_led");
        PlacePinField(placer, "error_led");
        if (Flag("use_enable"))
            PlacePinField(placer, "enable_pin");
    }
    OkResult OnOk() override
    {
        // A mouse field that is no whole number stops the OK before anything
        // is stored, as the toolkit's own validation does.
        if (!ReadControls())
            return OkResult::StayOpen;
        CCodeObject &o = m_object;
        o.m_nKind = kUsbKbm;
        o.m_strName = Name();
        o.m_strPin = Text("basepin");
        UsbKbmSlots slots(o);
        slots.Config() = Int("config");
        slots.Port() = Int("port");
        slots.LimitX() = IntegerField("limit_x");
        slots.LimitY() = IntegerField("limit_y");
        slots.StartX() = IntegerField("start_x");
        slots.StartY() = IntegerField("start_y");
        slots.DmPin() = Text("dm");
        slots.ActivityLed() = Text("activity_led");
        slots.ErrorLed() = Text("error_led");
        slots.EnablePin() = Text("enable_pin");
        slots.OutMouse() = Flag("out_mouse");
        slots.OutKeyboard() = Flag("out_keyboard");
        slots.UseEnable() = Flag("use_enable");
        slots.NoErrorLed() = Flag("no_error_led");
        o.m_bValid = true;
        return slots.Config() == kAdapter ? OkAdapter() : OkCustom();
    }

private:
    int IntegerField(const std::string &key) const
    {
        int v = 0;
        ParseToolkitInt(Text(key), v);
        return v;
    }

    OkResult Refuse(MessageKind kind, const std::string &text, const std::string &field)
    {
        if (kind == MessageKind::Plain)
            ShowPlain(text, field);
        else
            ShowError(text, field);
        m_object.m_bValid = false;
        return OkResult::StayOpen;
    }
    // True, with the conflict shown, when another owner holds `pin`.
    bool Taken(int pin, const std::string &field)
    {
        if (IsPinFreeFor(m_doc, pin, m_object.m_strName))
            return false;
        Refuse(MessageKind::Error, PinInUseMessage(pin, m_doc.m_strPinOwner[pin]), field);
        return true;
    }

    OkResult OkAdapter()
    {
        CCodeObject &o = m_object;
        o.m_nPinCount = 8;
        int base = TextToInt(o.m_strPin);
        if (base < 0 || base > 56)
            return Refuse(MessageKind::Error, RangeMessage(base, 56), "basepin");
        if (base % 2 != 0)
            return Refuse(MessageKind::Error, Format("Pin %d is not a multiple of 2.", base), "basepin");
        if (base % 8 != 0)
            ShowWarning(Format("Pin %d is not a multiple of 8, which is usually the case.", base), "basepin");
        for (int p = base; p < base + 8; ++p)
            if (Taken(p, "basepin"))
                return OkResult::StayOpen;
        ReleasePinsOf(m_doc, o.m_strName);
        for (int i = 0; i < 8; ++i)
            ReservePin(m_doc, base + i, o.m_strName, kAdapterLabels[i]);
        return OkResult::Accepted;
    }

    OkResult OkCustom()
    {
        CCodeObject &o = m_object;
        UsbKbmSlots slots(o);
        // Upper range bounds come in plain boxes, the rest as errors.
        int activity = TextToInt(slots.ActivityLed());
        if (activity < 0 || activity > 63)
            return Refuse(MessageKind::Plain, RangeMessage(activity, 63), "activity_led");
        if (Taken(activity, "activity_led"))
            return OkResult::StayOpen;
        // The error LED pin is claimed even when the driver leaves it alone.
        int errorLed = TextToInt(slots.ErrorLed());
        if (errorLed < 0 || errorLed > 63)
            return Refuse(MessageKind::Plain, RangeMessage(errorLed, 63), "error_led");
        if (Taken(errorLed, "error_led"))
            return OkResult::StayOpen;
        int dm = TextToInt(slots.DmPin());
        if (dm < 0 || dm > 62)
            return Refuse(MessageKind::Plain, RangeMessage(dm, 62), "dm");
        if (dm % 2 != 0)
            return Refuse(MessageKind::Error, Format("Pin %d is not a multiple of 2.", dm), "dm");
        if (Taken(dm, "dm") || Taken(dm + 1, "dm"))
            return OkResult::StayOpen;
        const bool useEnable = slots.UseEnable();
        int enable = TextToInt(slots.EnablePin());
        if (useEnable) {
            if (enable < 0 || enable > 63)
                return Refuse(MessageKind::Plain, RangeMessage(enable, 63), "enable_pin");
            if (Taken(enable, "enable_pin"))
                return OkResult::StayOpen;
        }
        // A pin named twice keeps the later label.
        const std::string &name = o.m_strName;
        ReleasePinsOf(m_doc, name);
        ReservePin(m_doc, dm, name, "Custom USB Data-");
        ReservePin(m_doc, dm + 1, name, "Custom USB Data+");
        ReservePin(m_doc, errorLed, name, "Custom USB Error LED");
        ReservePin(m_doc, activity, name, "Custom USB Activity LED");
        if (useEnable)
            ReservePin(m_doc, enable, name, "Custom USB Power Enable");
        return OkResult::Accepted;
    }
};

class UsbKbmKindImpl : public EditorKind<CObjectUsbKbm>
{
public:
    UsbKbmKindImpl() : EditorKind(kUsbKbm, "usb") {}

    // Enumeration, then typing or moving.
    double VerifySeconds(const CCodeObject &) const override { return 3.0; }

    void PlatformBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        UsbKbmSlots slots(o);
        s += "\n//Settings for USB Object: " + n + "\n";
        if (slots.Config() == kAdapter) {
            // The chosen port's four pins start 4 above the base for the
            // bottom port; its error LED is fixed by the adapter.
            int port = SmallInt(slots.Port());
            int p = SmallInt(slots.BasePin()) + 4 * port;
            s += "#define " + n + "_BASE_PIN " + Format("%d", p) + "\n";
            s += "#define " + n + "_ENABLE_PIN " + Format("%d", p + 1) + "\n";
            s += "#define " + n + "_DM_PIN " + Format("%d", p + 2) + "\n";
            s += "#define " + n + "_ERR_LED_PIN " + Format("%d", 56 + port) + "\n";
        } else {
            s += "#define " + n + "_BASE_PIN " + slots.ActivityLed() + "\n";
            if (slots.UseEnable())
                s += "#define " + n + "_ENABLE_PIN " + slots.EnablePin() + "\n";
            else
                s += "#define " + n + "_ENABLE_PIN (-1)\n";
            s += "#define " + n + "_DM_PIN " + slots.DmPin() + "\n";
            s += "#define " + n + "_ERR_LED_PIN " + slots.ErrorLed() + "\n";
        }
        s += "\n//USB Keyboard & Mouse status structure\n";
        s += "typedef struct\n";
        s += "{//reports mouse position and keyboard scan keys\n";
        s += "\tint x;\n";
        s += "\tint y;\n";
        s += "\tint MaxX;\n";
        s += "\tint MaxY;\n";
        s += "\tint buttons;\n";
        s += "\tchar scancodes[8];\n";
        s += "} KbMouseInfo;\n";
    }
    void DeclarationBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        s += "//Pellam's one cog USB Keyboard/Mouse driver for " + n + "\n";
        // The same flag picks the library file that is written.
        const char *driver = Driver(o).fileName;
        s += std::string("struct __using(\"") + driver + "\") " + n +
             "; //KQV:  Visual Studio will show an error here, but it's OK\n";
        s += "KbMouseInfo " + n + "_KbMouseInfo = { 0,0,0,0 };\n";
    }
    void SetupBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        const std::string info = "    " + n + "_KbMouseInfo.";
        s += "\n    //Configure range and position for USB Keyboard and Mouse object " + n + " and then start.\n";
        UsbKbmSlots slots(o);
        s += info + "MaxX = " + Format("%d", slots.LimitX()) + " - 1;\n";
        s += info + "MaxY = " + Format("%d", slots.LimitY()) + " - 1;\n";
        s += info + "x = " + Format("%d", slots.StartX()) + ";\n";
        s += info + "y = " + Format("%d", slots.StartY()) + ";\n";
        s += "    " + n + ".Start(" + n + "_BASE_PIN, " + n + "_ENABLE_PIN, " + n + "_DM_PIN, " + n +
             "_ERR_LED_PIN, &" + n + "_KbMouseInfo);  //(base_pin, dm_pin, err_led_pin, pMouseData) : cog\n";
    }
    void LoopBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        UsbKbmSlots slots(o);
        if (slots.OutMouse()) {
            s += "\n    //Show " + n + " mouse position\n";
            s += "    printf(\"USB mouse " + n + " position = (%d, %d)\\n\", " + n + "_KbMouseInfo.x, " + n +
                 "_KbMouseInfo.y);\n";
        }
        if (slots.OutKeyboard()) {
            s += "\n    //Show " + n + " keyboard input\n";
            s += "    char c = " + n + ".rawKey();\n";
            s += "    if (c != NULL)\n";
            s += "        printf(\"Keyboard input : \");\n";
            s += "    else\n";
            s += "        printf(\"No keyboard input.\");\n";
            s += "    while (c != NULL)\n";
            s += "    {\n";
            s += "        printf(\" %c\", c);\n";
            s += "        c = " + n + ".rawKey();\n";
            s += "    }\n";
        }
    }
    std::vector<int> PinsOf(const CCodeObject &o) const override
    {
        std::vector<int> pins;
        UsbKbmSlots slots(o);
        if (slots.Config() == kAdapter) {
            int base = SmallInt(slots.BasePin());
            for (int i = 0; i < o.m_nPinCount && i < 64; ++i)
                pins.push_back(base + i);
            return pins;
        }
        int dm = SmallInt(slots.DmPin());
        pins = {dm, dm + 1, TextToInt(slots.ActivityLed()), TextToInt(slots.ErrorLed())};
        if (slots.UseEnable())
            pins.push_back(TextToInt(slots.EnablePin()));
        return pins;
    }

    // The adapter: the base pin and the seven after it, from an even base.
    // Custom: D- and D+, the LEDs and the enable pin, each its own.
    void CheckPins(const CCodeObject &o, IObjectCheck &check) const override
    {
        UsbKbmSlots slots(o);
        if (slots.Config() == kAdapter) {
            if (slots.Port() != 0 && slots.Port() != 1)
                check.Error("port", Format("The port is %d: choose the top (0) or the bottom (1) port.", slots.Port()));
            int base = check.PinField("basepin", "\"Basepin:\"", slots.BasePin(), 56);
            if (base < 0)
                return;
            if (base % 2 != 0) {
                check.Error("basepin", Format("\"Basepin:\" %d is odd: the adapter needs an even pin.", base), {base});
                check.ClearPins();
                return;
            }
            for (int k = 1; k < 8; ++k)
                check.AddPin(base + k, "basepin");
            return;
        }
        int dm = check.PinField("dm", "\"DM Pin:\"", slots.DmPin(), 62);
        if (dm >= 0) {
            if (dm % 2 != 0)
                check.Error("dm", Format("\"DM Pin:\" %d is odd: USB data needs an even pin and the one after it.", dm),
                            {dm});
            else
                check.AddPin(dm + 1, "dm");
        }
        check.PinField("activity_led", "\"Activity LED Pin:\"", slots.ActivityLed());
        check.PinField("error_led", "\"Error LED Pin:\"", slots.ErrorLed());
        if (slots.UseEnable())
            check.PinField("enable_pin", "\"Power Enable Pin:\"", slots.EnablePin());
        static const std::map<std::string, std::string> labels = {
            {"dm", "\"DM Pin:\""},
            {"activity_led", "\"Activity LED Pin:\""},
            {"error_led", "\"Error LED Pin:\""},
            {"enable_pin", "\"Power Enable Pin:\""},
        };
        const auto &pins = check.Pins();
        std::set<int> told;
        for (std::size_t a = 0; a < pins.size(); ++a)
            for (std::size_t b = 0; b < a; ++b)
                if (pins[a].pin == pins[b].pin && pins[a].field != pins[b].field && told.insert(pins[a].pin).second)
                    check.Error(pins[a].field,
                                Format("%s and %s are both pin %d: give each USB signal its own pin.",
                                       labels.at(pins[b].field).c_str(), labels.at(pins[a].field).c_str(), pins[a].pin),
                                {pins[a].pin});
    }
    // The adapter's error LED, driven unless the object says not to.
    DrivenPin Driven(const CCodeObject &o) const override
    {
        UsbKbmSlots slots(o);
        if (slots.Config() != kAdapter || slots.NoErrorLed())
            return {};
        return {56 + (slots.Port() == 1 ? 1 : 0), "its USB error LED", "Parallax USB Error LED"};
    }
    void CheckAmong(const CCodeObject &o, IObjectCheck &check) const override
    {
        const int led = Driven(o).pin;
        if (led >= 0) {
            std::string other = check.OtherOwner(led);
            const auto &pins = check.Pins();
            bool own = std::any_of(pins.begin(), pins.end(), [&](const PinUse &u) { return u.pin == led; });
            if (own)
                other = "this object's own adapter pins";
            if (!other.empty())
                check.Error("port",
                            Format("The USB error LED drives pin %d, which ", led) + other +
                                " also uses: choose the other port, move " +
                                (own ? std::string("the adapter") : other) + ", or tick \"Do not use Error LED pin\".",
                            {led});
        }
        // The keyboard code's names are fixed.
        if (UsbKbmSlots(o).OutKeyboard()) {
            bool before = false;
            for (int j = 0; j < check.Index(); ++j) {
                const CCodeObject &x = *check.Objects()[std::size_t(j)];
                before = before || (x.m_nKind == kUsbKbm && UsbKbmSlots(x).OutKeyboard());
            }
            if (before)
                check.Error("out_keyboard",
                            "Another USB object already outputs keyboard input; the generated keyboard code has "
                            "fixed names, so only one object may: untick \"Output keyboard input\" here or there.");
        }
    }
    int Cogs(const CCodeObject &) const override { return 1; }
    // The same flag picks the driver that the declaration names.
    std::vector<LibraryFile> LibraryFiles(const CCodeObject &o) const override { return {Driver(o)}; }
    std::vector<LibraryFile> AllLibraryFiles() const override { return {kDriver, kDriverNoErrorLed}; }

private:
    static LibraryFile Driver(const CCodeObject &o)
    {
        return UsbKbmSlots(o).NoErrorLed() ? kDriverNoErrorLed : kDriver;
    }
    static constexpr LibraryFile kDriver{363, "1CogKbM_kqv3b.spin2", 16384};
    static constexpr LibraryFile kDriverNoErrorLed{364, "1CogKbM_kqv3b_NoErrorLed.spin2", 16384};
};

} // namespace

const IKind &UsbKbmKind()
{
    static const UsbKbmKindImpl kind;
    return kind;
}

} // namespace kivo
