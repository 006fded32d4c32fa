#include "kinds/adc/slots.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/pinrules.h"

#include <algorithm>

namespace kivo {

namespace {

const char *kDescription =
    "This object uses a Smart Pin mode to filter an ADC bitstream from this or another pin.  Two filter options are "
    "available; SINC2 and SINC3. The available choice for #clocks in sample period is a function of the filter "
    "option.  Effective # of bits (ENOB) increases with #clocks. \r\n\r\nFor the moment:  Clock Source is disabled "
    "(needs further development).";

const char *const kGainLabels[] = {"1X", "3.16X", "10X", "31.6X", "100X"};
const char *const kGainText[] = {"P_ADC_1X", "P_ADC_3X", "P_ADC_10X", "P_ADC_30X", "P_ADC_100X"};
const char *const kSourceText[] = {"P_LOCAL_A|",  "P_PLUS1_A|",  "P_PLUS2_A|",  "P_PLUS3_A|",
                                   "P_OUTBIT_A|", "P_MINUS3_A|", "P_MINUS2_A|", "P_MINUS1_A|"};

const std::vector<FieldSpec> &AdcFields()
{
    static const std::vector<FieldSpec> fields = {
        {.key = "pin", .type = FieldType::Text, .label = "I/O Pin#:", .hint = "0..63"},
        {.key = "calibrated",
         .type = FieldType::Flag,
         .label = "Show Calibrated Result ^",
         .note = "^ Calibrated ADC only works with 1X Gain"},
        {.key = "gain",
         .type = FieldType::Choice,
         .label = "This Pin Gain",
         .group = "This Pin Gain",
         .options = {std::begin(kGainLabels), std::end(kGainLabels)}},
        {.key = "source",
         .type = FieldType::Choice,
         .label = "ADC Source *",
         .group = "ADC Source *",
         .options = {"This Pin", "Pin# +1", "Pin# +2", "Pin# +3", "This OUT", "Pin# -3", "Pin# -2", "Pin# -1"},
         .note = "* Use of an adjacent pin for ADC input requires that pin to be either in ADC mode or in DAC mode "
                 "with OUT high."},
        {.key = "filter",
         .type = FieldType::Choice,
         .label = "Filter",
         .group = "Filter",
         .options = {"Sampling", "SINC2", "SINC3"}},
        {.key = "exponent",
         .type = FieldType::Slider,
         .label = "Sample Clocks:",
         .min = 1,
         .max = 13,
         .hint = "2^n clocks per sample"},
        {.key = "clocks", .type = FieldType::ReadOnly, .label = ""},
        {.key = "clock_source",
         .type = FieldType::Choice,
         .label = "Clock Source",
         .group = "Clock Source",
         .options = {"Internal", "External"},
         .hint = "External is not available yet"},
    };
    return fields;
}

// Slider range of a filter: sampling 2..8192 clocks, SINC2 16..8192, SINC3
// 16..512.
std::pair<int, int> ExponentRange(int filter)
{
    switch (filter) {
    case 0:
        return {1, 13};
    case 1:
        return {4, 13};
    default:
        return {4, 9};
    }
}

// 2^n as the readouts and the generated text write it.
int Pow2(int n)
{
    if (n < 0 || n > 31)
        return 0;
    return int(uint32_t(1) << n);
}

class CObjectADC : public CEditorModel
{
public:
    using CEditorModel::CEditorModel;
    std::string Title() const override { return "Analog to Digital (ADC) Smart Pin Settings"; }
    std::string Description() const override { return kDescription; }
    const std::vector<FieldSpec> &Fields() const override { return AdcFields(); }
    // Only the internal clock source can be chosen for now.
    bool IsEnabled(const std::string &key) const override { return !key.empty() && key != "clock_source"; }

protected:
    void InitBoth() override
    {
        m_range["exponent"] = {1, 13};
        m_int["clock_source"] = 0;
    }
    void InitNew() override
    {
        m_text["pin"] = "50";
        m_int["filter"] = 0;
        m_int["exponent"] = 13;
        m_int["gain"] = 0;
        m_int["source"] = 0;
        m_flag["calibrated"] = true;
    }
    void InitExisting() override
    {
        m_text["pin"] = m_object.m_strPin;
        AdcSlots slots(m_object);
        m_int["filter"] = slots.Filter();
        m_int["exponent"] = slots.Exponent();
        m_int["source"] = slots.Source();
        m_int["gain"] = slots.Gain();
        m_flag["calibrated"] = slots.Calibrated();
    }
    void AfterInit() override
    {
        m_text["clocks"] = Format("%d", Pow2(Int("exponent")));
        // The filter's range is applied without moving the slider; a control
        // only keeps a position outside its new range at the nearest end.
        auto range = ExponentRange(Int("filter"));
        m_range["exponent"] = range;
        m_int["exponent"] = std::clamp(Int("exponent"), range.first, range.second);
    }
    void OnChoice(const std::string &key) override
    {
        if (key == "clock_source") {
            m_int["clock_source"] = 0;
        } else if (key == "filter") {
            auto range = ExponentRange(Int("filter"));
            m_range["exponent"] = range;
            m_int["exponent"] = range.second;
            m_text["clocks"] = Format("%d", Pow2(range.second));
        }
    }
    void OnSlider(const std::string &key) override
    {
        if (key == "exponent")
            m_text["clocks"] = Format("%d", Pow2(Int("exponent")));
    }
    void PlacePins(PinPlacer &placer) override { PlacePinField(placer, "pin"); }
    OkResult OnOk() override
    {
        m_object.m_nKind = kADC;
        m_object.m_strName = Name();
        m_object.m_strPin = Text("pin");
        AdcSlots slots(m_object);
        slots.Filter() = Int("filter");
        slots.Exponent() = Int("exponent");
        slots.Source() = Int("source");
        slots.Gain() = Int("gain");
        slots.Calibrated() = Flag("calibrated");
        // An index outside its table leaves the text slot as it was.
        if (int g = Int("gain"); g >= 0 && g < int(std::size(kGainText)))
            slots.GainText() = kGainText[g];
        if (int src = Int("source"); src >= 0 && src < int(std::size(kSourceText)))
            slots.SourceText() = kSourceText[src];
        m_object.m_bValid = true;
        m_object.m_nPinCount = 1;
        int pin = TextToInt(m_object.m_strPin);
        if (!ClaimPinRange(pin, 1, 63))
            return OkResult::StayOpen;
        m_doc.m_strPinUsage[pin] = kAdcUsage;
        return OkResult::Accepted;
    }
};

class AdcKindImpl : public EditorKind<CObjectADC>
{
public:
    AdcKindImpl() : EditorKind(kADC, "adc") {}

    // A reading after calibration.
    double VerifySeconds(const CCodeObject &) const override { return 0.25; }

    void PlatformBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        AdcSlots slots(o);
        const int exponent = slots.Exponent();
        s += "\n//Header and settings for ADC Object: " + n + "\n";
        s += "#include \"adc.h\"\n";
        s += "#define " + n + "_AnalogPin " + o.m_strPin + "\n";
        s += "#define " + n + "_WRPIN (" + slots.SourceText() + slots.GainText() + "|P_ADC)\n";
        if (slots.Filter() == 0)
            s += "#define " + n + "_WXPIN (" + Format("%d", exponent) + ")\n";
        else if (slots.Filter() == 1)
            s += "#define " + n + "_WYPIN (" + Format("%d", Pow2(exponent)) + ")  //clocks 10..8192\n";
        else
            s += "#define " + n + "_WYPIN (" + Format("%d", Pow2(exponent)) + ")  //clocks 16..512\n";
    }
    void SetupBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        const int filter = AdcSlots(o).Filter();
        if (filter == 0) {
            s += "\n    //Configure ADC mode on I/O pin " + n + " in sampling mode\n";
            s += "    ADC_Start(" + n + "_AnalogPin, " + n + "_WRPIN, " + n + "_WXPIN);\n";
        } else if (filter == 1) {
            s += "\n    //Configure ADC mode on I/O pin " + n + " in SINC2 filtering mode\n";
            s += "    ADC_StartSinc2(" + n + "_AnalogPin, " + n + "_WYPIN);\n";
        } else {
            s += "\n    //Configure ADC mode on I/O pin " + n + " in SINC3 filtering mode\n";
            s += "    ADC_StartSinc3(" + n + "_AnalogPin, " + n + "_WYPIN);\n";
        }
    }
    void LoopBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        AdcSlots slots(o);
        const bool calibrated = slots.Calibrated();
        const std::string which = calibrated ? "calibrated" : "uncalibrated";
        if (slots.Filter() == 0) {
            s += "\n    //Show " + n + " " + which + " reading in SINC2 sampling mode\n";
            if (calibrated)
                s += "    printf(\"ADC " + n + " calibrated reading = %f\\n\", ADC_result(" + n + "_AnalogPin));\n";
            else
                s += "    printf(\"ADC " + n + " uncalibrated reading = %d\\n\", ADC_raw(" + n + "_AnalogPin));\n";
            return;
        }
        const std::string filter = slots.Filter() == 1 ? "SINC2" : "SINC3";
        const std::string suffix = slots.Filter() == 1 ? "Sinc2" : "Sinc3";
        const std::string args = "(" + n + "_AnalogPin, " + n + "_WRPIN, " + n + "_WYPIN));\n";
        s += "\n    //Show " + n + " " + which + " reading in " + filter + " filtering mode\n";
        if (calibrated)
            s += "    printf(\"ADC " + n + " calibrated reading = %f\\n\", ADC_result" + suffix + args;
        else
            s += "    printf(\"ADC " + n + " uncalibrated reading = %d\\n\", ADC_raw" + suffix + args;
    }
    std::vector<int> PinsOf(const CCodeObject &o) const override { return ConsecutivePins(o); }

    void CheckPins(const CCodeObject &o, IObjectCheck &check) const override { CheckSinglePin(o, check); }
    // Calibrated readings hold at 1X gain only, as the editor notes.
    void CheckNumbers(const CCodeObject &o, IObjectCheck &check) const override
    {
        AdcSlots slots(o);
        if (slots.Calibrated() && slots.Gain() > 0 && slots.Gain() < int(std::size(kGainLabels)))
            check.Warning("calibrated", std::string("\"Show Calibrated Result\" is ticked with a gain of ") +
                                            kGainLabels[slots.Gain()] +
                                            ", but calibration works only at 1X: the readings will be wrong. "
                                            "Choose 1X or untick \"Show Calibrated Result\".");
    }
    std::vector<LibraryFile> LibraryFiles(const CCodeObject &) const override { return {kHeader}; }
    std::vector<LibraryFile> AllLibraryFiles() const override { return {kHeader}; }

private:
    static constexpr LibraryFile kHeader{362, "adc.h", 2048};
};

} // namespace

const IKind &AdcKind()
{
    static const AdcKindImpl kind;
    return kind;
}

} // namespace kivo
