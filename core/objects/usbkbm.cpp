#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/kind.h"
#include "objects/pinrules.h"
#include "platform/messages.h"

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
    "Parallax USB Upper Activity", "Parallax USB Upper Enable", "Parallax USB Upper Data-",
    "Parallax USB Upper Data+",    "Parallax USB Lower Activity", "Parallax USB Lower Enable",
    "Parallax USB Lower Data-",    "Parallax USB Lower Data+",
};

enum { kAdapter = 0, kCustom = 1 };

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
        const CCodeObject &o = m_object;
        m_int["config"] = o.m_nValue[0];
        m_text["basepin"] = o.m_strPin;
        m_int["port"] = o.m_nValue[1];
        m_text["dm"] = o.m_strText[0];
        m_text["activity_led"] = o.m_strText[1];
        m_text["error_led"] = o.m_strText[2];
        m_flag["use_enable"] = o.m_bFlag[2];
        m_text["enable_pin"] = o.m_strText[3];
        m_text["limit_x"] = Format("%d", o.m_nValue[2]);
        m_text["limit_y"] = Format("%d", o.m_nValue[3]);
        m_text["start_x"] = Format("%d", o.m_nValue[4]);
        m_text["start_y"] = Format("%d", o.m_nValue[5]);
        m_flag["out_mouse"] = o.m_bFlag[0];
        m_flag["out_keyboard"] = o.m_bFlag[1];
        m_flag["no_error_led"] = o.m_bFlag[3];
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
        o.m_nValue[0] = Int("config");
        o.m_nValue[1] = Int("port");
        o.m_nValue[2] = IntegerField("limit_x");
        o.m_nValue[3] = IntegerField("limit_y");
        o.m_nValue[4] = IntegerField("start_x");
        o.m_nValue[5] = IntegerField("start_y");
        o.m_strText[0] = Text("dm");
        o.m_strText[1] = Text("activity_led");
        o.m_strText[2] = Text("error_led");
        o.m_strText[3] = Text("enable_pin");
        o.m_bFlag[0] = Flag("out_mouse");
        o.m_bFlag[1] = Flag("out_keyboard");
        o.m_bFlag[2] = Flag("use_enable");
        o.m_bFlag[3] = Flag("no_error_led");
        o.m_bValid = true;
        return o.m_nValue[0] == kAdapter ? OkAdapter() : OkCustom();
    }

private:
    int IntegerField(const std::string &key) const
    {
        int v = 0;
        ParseToolkitInt(Text(key), v);
        return v;
    }

    OkResult Refuse(MessageKind kind, const std::string &text)
    {
        if (kind == MessageKind::Plain)
            ShowPlain(text);
        else
            ShowError(text);
        m_object.m_bValid = false;
        return OkResult::StayOpen;
    }
    // True, with the conflict shown, when another owner holds `pin`.
    bool Taken(int pin)
    {
        if (IsPinFreeFor(m_doc, pin, m_object.m_strName))
            return false;
        Refuse(MessageKind::Error, Format("Pin #%d is already in use by ", pin) + m_doc.m_strPinOwner[pin] + ".");
        return true;
    }

    OkResult OkAdapter()
    {
        CCodeObject &o = m_object;
        o.m_nPinCount = 8;
        int base = TextToInt(o.m_strPin);
        if (base < 0 || base > 56)
            return Refuse(MessageKind::Error, RangeMessage(base, 56));
        if (base % 2 != 0)
            return Refuse(MessageKind::Error, Format("Pin %d is not a multiple of 2.", base));
        if (base % 8 != 0)
            ShowWarning(Format("Pin %d is not a multiple of 8, which is usually the case.", base));
        for (int p = base; p < base + 8; ++p)
            if (Taken(p))
                return OkResult::StayOpen;
        ReleasePinsOf(m_doc, o.m_strName);
        for (int i = 0; i < 8; ++i)
            ReservePin(m_doc, base + i, o.m_strName, kAdapterLabels[i]);
        return OkResult::Accepted;
    }

    OkResult OkCustom()
    {
        CCodeObject &o = m_object;
        // Upper range bounds come in plain boxes, the rest as errors.
        int activity = TextToInt(o.m_strText[1]);
        if (activity < 0 || activity > 63)
            return Refuse(MessageKind::Plain, RangeMessage(activity, 63));
        if (Taken(activity))
            return OkResult::StayOpen;
        // The error LED pin is claimed even when the driver leaves it alone.
        int errorLed = TextToInt(o.m_strText[2]);
        if (errorLed < 0 || errorLed > 63)
            return Refuse(MessageKind::Plain, RangeMessage(errorLed, 63));
        if (Taken(errorLed))
            return OkResult::StayOpen;
        int dm = TextToInt(o.m_strText[0]);
        if (dm < 0 || dm > 62)
            return Refuse(MessageKind::Plain, RangeMessage(dm, 62));
        if (dm % 2 != 0)
            return Refuse(MessageKind::Error, Format("Pin %d is not a multiple of 2.", dm));
        if (Taken(dm) || Taken(dm + 1))
            return OkResult::StayOpen;
        const bool useEnable = o.m_bFlag[2];
        int enable = TextToInt(o.m_strText[3]);
        if (useEnable) {
            if (enable < 0 || enable > 63)
                return Refuse(MessageKind::Plain, RangeMessage(enable, 63));
            if (Taken(enable))
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

    void PlatformBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        s += "\n//Settings for USB Object: " + n + "\n";
        if (o.m_nValue[0] == kAdapter) {
            // The chosen port's four pins start 4 above the base for the
            // bottom port; its error LED is fixed by the adapter.
            int port = o.m_nValue[1];
            int p = TextToInt(o.m_strPin) + 4 * port;
            s += "#define " + n + "_BASE_PIN " + Format("%d", p) + "\n";
            s += "#define " + n + "_ENABLE_PIN " + Format("%d", p + 1) + "\n";
            s += "#define " + n + "_DM_PIN " + Format("%d", p + 2) + "\n";
            s += "#define " + n + "_ERR_LED_PIN " + Format("%d", 56 + port) + "\n";
        } else {
            s += "#define " + n + "_BASE_PIN " + o.m_strText[1] + "\n";
            if (o.m_bFlag[2])
                s += "#define " + n + "_ENABLE_PIN " + o.m_strText[3] + "\n";
            else
                s += "#define " + n + "_ENABLE_PIN (-1)\n";
            s += "#define " + n + "_DM_PIN " + o.m_strText[0] + "\n";
            s += "#define " + n + "_ERR_LED_PIN " + o.m_strText[2] + "\n";
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
        const char *driver = o.m_bFlag[3] ? "1CogKbM_kqv3b_NoErrorLed.spin2" : "1CogKbM_kqv3b.spin2";
        s += std::string("struct __using(\"") + driver + "\") " + n +
             "; //KQV:  Visual Studio will show an error here, but it's OK\n";
        s += "KbMouseInfo " + n + "_KbMouseInfo = { 0,0,0,0 };\n";
    }
    void SetupBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        const std::string info = "    " + n + "_KbMouseInfo.";
        s += "\n    //Configure range and position for USB Keyboard and Mouse object " + n + " and then start.\n";
        s += info + "MaxX = " + Format("%d", o.m_nValue[2]) + " - 1;\n";
        s += info + "MaxY = " + Format("%d", o.m_nValue[3]) + " - 1;\n";
        s += info + "x = " + Format("%d", o.m_nValue[4]) + ";\n";
        s += info + "y = " + Format("%d", o.m_nValue[5]) + ";\n";
        s += "    " + n + ".Start(" + n + "_BASE_PIN, " + n + "_ENABLE_PIN, " + n + "_DM_PIN, " + n +
             "_ERR_LED_PIN, &" + n + "_KbMouseInfo);  //(base_pin, dm_pin, err_led_pin, pMouseData) : cog\n";
    }
    void LoopBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        if (o.m_bFlag[0]) {
            s += "\n    //Show " + n + " mouse position\n";
            s += "    printf(\"USB mouse " + n + " position = (%d, %d)\\n\", " + n + "_KbMouseInfo.x, " + n +
                 "_KbMouseInfo.y);\n";
        }
        if (o.m_bFlag[1]) {
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
        if (o.m_nValue[0] == kAdapter) {
            int base = TextToInt(o.m_strPin);
            for (int i = 0; i < o.m_nPinCount && i < 64; ++i)
                pins.push_back(base + i);
            return pins;
        }
        int dm = TextToInt(o.m_strText[0]);
        pins = {dm, dm + 1, TextToInt(o.m_strText[1]), TextToInt(o.m_strText[2])};
        if (o.m_bFlag[2])
            pins.push_back(TextToInt(o.m_strText[3]));
        return pins;
    }
};

} // namespace

const IKind &UsbKbmKind()
{
    static const UsbKbmKindImpl kind;
    return kind;
}

} // namespace kivo
