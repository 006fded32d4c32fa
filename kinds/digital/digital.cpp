#include "kinds/digital/slots.h"
#include "kinds/filters/slots.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "model/text.h"

#include <initializer_list>

namespace kivo {

namespace {

const char *kDescription =
    "Configures the Smart Pin settings for Digital I/O (in a non-Smart Pin mode) on a P2 I/O pin.";

const std::vector<std::string> kDrives = {"Fast", "1.5 kOhm", "15 kOhm", "150 kOhm",
                                          "1 mA", "100 uA",   "10 uA",   "Float"};

const std::vector<FieldSpec> &DigitalFields()
{
    static const std::vector<FieldSpec> fields = {
        {.key = "pin", .type = FieldType::Text, .label = "I/O Pin#:", .hint = "0..63"},
        {.key = "clocked", .type = FieldType::Flag, .label = "Use clocked I/O instead of live"},
        {.key = "invert_in", .type = FieldType::Flag, .label = "Invert Input Logic Level"},
        {.key = "invert_out", .type = FieldType::Flag, .label = "Invert Output Logic Level"},
        {.key = "start",
         .type = FieldType::Choice,
         .label = "OUT Start State",
         .group = "OUT Start State",
         .options = {"Float (default)", "High", "Low"},
         .optionAliases = {"Float", "", ""}},
        {.key = "high_drive",
         .type = FieldType::Choice,
         .label = "OUT High State Drive",
         .group = "OUT High State Drive",
         .options = kDrives},
        {.key = "low_drive",
         .type = FieldType::Choice,
         .label = "OUT Low State Drive",
         .group = "OUT Low State Drive",
         .options = kDrives},
        {.key = "in_source",
         .type = FieldType::Choice,
         .label = "IN Source",
         .group = "IN Source",
         .options = {"This Pin", "Pin# +1", "Pin# +2", "Pin# +3", "This OUT", "Pin# -3", "Pin# -2", "Pin# -1"}},
        {.key = "in_filter",
         .type = FieldType::Choice,
         .label = "IN Filter",
         .group = "IN Filter",
         .options = {"None", "Using filt0", "Using filt1", "Using filt2", "Using filt3"},
         .optionAliases = {"", "filt0", "filt1", "filt2", "filt3"}},
        {.key = "show_in", .type = FieldType::Flag, .label = "Show IN state in loop"},
        {.key = "toggle_out", .type = FieldType::Flag, .label = "Toggle OUT state in loop"},
    };
    return fields;
}

class CObjectDigital : public CEditorModel
{
public:
    using CEditorModel::CEditorModel;
    std::string Title() const override { return "Smart Digital I/O Pin Smart Settings"; }
    std::string Description() const override { return kDescription; }
    const std::vector<FieldSpec> &Fields() const override { return DigitalFields(); }

protected:
    void InitBoth() override { m_text["pin"] = "38"; }
    void InitNew() override
    {
        m_flag["show_in"] = true;
        m_flag["toggle_out"] = true;
    }
    void InitExisting() override
    {
        m_text["pin"] = m_object.m_strPin;
        DigitalSlots slots(m_object);
        m_int["in_filter"] = slots.InFilter();
        m_int["high_drive"] = slots.HighDrive();
        m_int["low_drive"] = slots.LowDrive();
        m_int["in_source"] = slots.InSource();
        m_int["start"] = slots.Start();
        m_flag["clocked"] = slots.Clocked();
        m_flag["invert_in"] = slots.InvertIn();
        m_flag["invert_out"] = slots.InvertOut();
        m_flag["show_in"] = slots.ShowIn();
        m_flag["toggle_out"] = slots.ToggleOut();
    }
    void PlacePins(PinPlacer &placer) override { PlacePinField(placer, "pin"); }
    OkResult OnOk() override
    {
        m_object.m_nKind = kDigital;
        m_object.m_strName = Name();
        m_object.m_strPin = Text("pin");
        DigitalSlots slots(m_object);
        slots.InFilter() = Int("in_filter");
        slots.HighDrive() = Int("high_drive");
        slots.LowDrive() = Int("low_drive");
        slots.InSource() = Int("in_source");
        slots.Start() = Int("start");
        slots.Clocked() = Flag("clocked");
        slots.InvertIn() = Flag("invert_in");
        slots.InvertOut() = Flag("invert_out");
        slots.ShowIn() = Flag("show_in");
        slots.ToggleOut() = Flag("toggle_out");
        m_object.m_bValid = true;
        m_object.m_nPinCount = 1;
        int pin = TextToInt(m_object.m_strPin);
        if (!ClaimPinRange(pin, 1, 63))
            return OkResult::StayOpen;
        m_doc.m_strPinUsage[pin] = kDigitalUsage;
        return OkResult::Accepted;
    }
};

// One piece per option; values outside the table add nothing.
const char *Pick(std::initializer_list<const char *> pieces, int index)
{
    if (index < 0 || std::size_t(index) >= pieces.size())
        return "";
    return pieces.begin()[index];
}

std::string PinModeText(const CCodeObject &o)
{
    DigitalSlots slots(o);
    std::string m = "P_TRUE_A|";
    m += Pick({"P_LOCAL_A|", "P_PLUS1_A|", "P_PLUS2_A|", "P_PLUS3_A|", "P_OUTBIT_A|", "P_MINUS3_A|", "P_MINUS2_A|",
               "P_MINUS1_A|"},
              slots.InSource());
    m += Pick({"P_PASS_AB|", "P_FILT0_AB|", "P_FILT1_AB|", "P_FILT2_AB|", "P_FILT3_AB|"}, slots.InFilter());
    m += slots.InvertIn() ? "P_INVERT_IN|" : "P_TRUE_IN|";
    m += slots.InvertOut() ? "P_INVERT_OUTPUT|" : "P_TRUE_OUTPUT|";
    m += Pick({"P_HIGH_FAST|", "P_HIGH_1K5|", "P_HIGH_15K|", "P_HIGH_150K|", "P_HIGH_1MA|", "P_HIGH_100UA|",
               "P_HIGH_10UA|", "P_HIGH_FLOAT|"},
              slots.HighDrive());
    m += Pick({"P_LOW_FAST|", "P_LOW_1K5|", "P_LOW_15K|", "P_LOW_150K|", "P_LOW_1MA|", "P_LOW_100UA|", "P_LOW_10UA|",
               "P_LOW_FLOAT|"},
              slots.LowDrive());
    m += slots.Clocked() ? "P_SYNC_IO|" : "P_ASYNC_IO|";
    m += "P_NORMAL";
    return m;
}

class DigitalKindImpl : public EditorKind<CObjectDigital>
{
public:
    DigitalKindImpl() : EditorKind(kDigital, "digital") {}

    // Toggles need a few loops.
    double VerifySeconds(const CCodeObject &o) const override { return DigitalSlots(o).ToggleOut() ? 2.5 : 0.1; }

    void PlatformBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        s += "\n#define " + o.m_strName + " " + o.m_strPin + "\n";
    }
    void SetupBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        s += "\n    //Configure Digital I/O pin " + n + " in non-Smart Pin mode\n";
        s += "    _pinstart(" + n + "," + PinModeText(o) + ", 0, 0);\n";
        s += "    //set starting output mode\n";
        const int start = DigitalSlots(o).Start();
        if (start == 0)
            s += "    _pinf(" + n + ");\n";
        else if (start == 1)
            s += "    _pinh(" + n + ");\n";
        else if (start == 2)
            s += "    _pinl(" + n + ");\n";
        s += "    printf(\"" + n + " Started.\\n\");\n";
    }
    void LoopBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        DigitalSlots slots(o);
        if (slots.ToggleOut()) {
            s += "\n    //toggle Digital I/O pin output\n";
            s += "    _pinnot(" + n + ");\n";
        }
        if (slots.ShowIn()) {
            s += "    //show Digital I/O pin input\n";
            s += "    printf(\"" + n + " IN = % d\\n\", _pinr(" + n + "));\n";
        }
    }
    std::vector<int> PinsOf(const CCodeObject &o) const override { return ConsecutivePins(o); }

    void CheckPins(const CCodeObject &o, IObjectCheck &check) const override { CheckSinglePin(o, check); }
    // An input filter that no filters object sets keeps the chip's reset
    // setting.
    void CheckAmong(const CCodeObject &o, IObjectCheck &check) const override
    {
        const int choice = DigitalSlots(o).InFilter();
        if (choice < 1 || choice > kFilterCount)
            return;
        const int f = choice - 1;
        bool set = false;
        for (auto *x : check.Objects())
            if (x->m_nKind == kFilters && FiltersSlots(*x).Set(f))
                set = true;
        if (!set)
            check.Warning("in_filter",
                          Format("It uses filt%d, which no Global Digital Filters object sets, so the filter keeps "
                                 "the chip's reset setting: add a filters object that sets filter #%d, or choose "
                                 "another filter.",
                                 f, f));
    }
};

} // namespace

const IKind &DigitalKind()
{
    static const DigitalKindImpl kind;
    return kind;
}

} // namespace kivo
