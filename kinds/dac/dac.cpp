#include "kinds/dac/slots.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/pinrules.h"

#include <algorithm>

namespace kivo {

namespace {

const char *kDescription = "This object activates the 8-bit DAC in an I/O pin so that it outputs an analog voltage.  "
                           "There are a few drive impedances and corresponding ranges to select from. Note:  There "
                           "are also Smart Pin modes that give 16-bit effective range using dithering, but this is a "
                           "non-Smart mode.";

const std::vector<FieldSpec> &DacFields()
{
    static const std::vector<FieldSpec> fields = {
        {.key = "pin", .type = FieldType::Text, .label = "I/O Pin:", .hint = "0..63"},
        {.key = "level", .type = FieldType::Slider, .label = "Analog Output Level:", .min = 0, .max = 255},
        {.key = "readout", .type = FieldType::ReadOnly, .label = ""},
        {.key = "random", .type = FieldType::Flag, .label = "Randomly vary output level"},
        {.key = "drive",
         .type = FieldType::Choice,
         .label = "Drive and Range",
         .group = "Drive and Range",
         .options = {"990 Ohm, 3.3 V", "600 Ohm, 2.0 V", "123.7 Ohm, 3.3 V", "75 Ohm, 2.0 V"}},
    };
    return fields;
}

// The compiler's DAC pin-mode constant for a drive index.
std::string DacModeText(int drive)
{
    switch (drive) {
    case 0:
        return "P_DAC_990R_3V";
    case 1:
        return "P_DAC_600R_2V";
    case 2:
        return "P_DAC_124R_3V";
    case 3:
        return "P_DAC_75R_2V";
    default:
        return "";
    }
}

class CObjectDAC : public CEditorModel
{
public:
    using CEditorModel::CEditorModel;
    std::string Title() const override { return "DAC (Digital To Analog) PIN"; }
    std::string Description() const override { return kDescription; }
    std::string NameLabel() const override { return "ObjectName:"; }
    const std::vector<FieldSpec> &Fields() const override { return DacFields(); }

protected:
    void InitNew() override
    {
        m_text["pin"] = "49";
        m_int["level"] = 122;
        m_text["readout"] = "122";
        m_flag["random"] = true;
        m_int["drive"] = 0;
    }
    void InitExisting() override
    {
        DacSlots slots(m_object);
        m_text["pin"] = m_object.m_strPin;
        m_text["readout"] = slots.Readout();
        // The slider shows a stored level outside 0..255 at its nearest end.
        m_int["level"] = std::clamp(slots.Level(), 0, 255);
        m_int["drive"] = slots.Drive();
        m_flag["random"] = slots.Random();
    }
    void OnSlider(const std::string &key) override
    {
        if (key == "level")
            m_text["readout"] = Format("%d", Int("level"));
    }
    void PlacePins(PinPlacer &placer) override { PlacePinField(placer, "pin"); }
    OkResult OnOk() override
    {
        m_object.m_nKind = kDAC;
        m_object.m_strName = Name();
        m_object.m_strPin = Text("pin");
        DacSlots slots(m_object);
        slots.Readout() = Text("readout");
        slots.Level() = Int("level");
        slots.Drive() = Int("drive");
        slots.Random() = Flag("random");
        m_object.m_bValid = true;
        m_object.m_nPinCount = 1;
        int pin = TextToInt(m_object.m_strPin);
        if (!ClaimPinRange(pin, 1, 63))
            return OkResult::StayOpen;
        m_doc.m_strPinUsage[pin] = kDacUsage;
        return OkResult::Accepted;
    }
};

class DacKindImpl : public EditorKind<CObjectDAC>
{
public:
    DacKindImpl() : EditorKind(kDAC, "dac") {}

    // Random levels need a few loops.
    double VerifySeconds(const CCodeObject &o) const override { return DacSlots(o).Random() ? 3.5 : 0.2; }

    void PlatformBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        s += "#define " + n + "_AnalogPin " + o.m_strPin + "\n";
        s += "#define " + n + "_AnalogLevel " + Format("%d", DacSlots(o).Level()) + "\n";
    }
    void SetupBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        s += "\n    //Configure 8-bit Analog DAC mode on I/O pin " + n + " in non-Smart pin mode\n";
        s += "    SetDacModeAndLevel(" + n + "_AnalogPin, " + DacModeText(DacSlots(o).Drive()) + ", " + n +
             "_AnalogLevel);\n";
        s += "    _pinh(" + n + "_AnalogPin);\n";
        s += "    printf(\"DAC: " + n + " Started.\\n\");\n";
    }
    void LoopBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        if (!DacSlots(o).Random())
            return;
        const std::string &n = o.m_strName;
        s += "\n    //randomly change DAC " + n + " level\n";
        s += "    int " + n + "_NewLevel = _rnd() % 255;  //random 8-bit level\n";
        s += "    SetDacModeAndLevel(" + n + "_AnalogPin, " + DacModeText(DacSlots(o).Drive()) + ", " + n +
             "_NewLevel);\n";
        s += "    printf(\"" + n + " level = %d\\n\", " + n + "_NewLevel);\n";
    }
    // Every DAC object needs the helper, whatever its settings.
    bool WantsSupportFunction(const CCodeObject &) const override { return true; }
    void SupportFunction(GenContext &ctx, const CCodeObject &, std::string &s) const override
    {
        if (!ctx.Once("SetDacModeAndLevel"))
            return;
        s += "\nvoid SetDacModeAndLevel(int pin, int mode, uint8_t level)\n";
        s += "{//set the non-Smart mode DAC level\n";
        s += "\t_pinstart(pin, mode + (level << 8), 0, 0);\n";
        s += "}\n\n";
    }
    std::vector<int> PinsOf(const CCodeObject &o) const override { return ConsecutivePins(o); }

    void CheckPins(const CCodeObject &o, IObjectCheck &check) const override { CheckSinglePin(o, check); }
};

} // namespace

const IKind &DacKind()
{
    static const DacKindImpl kind;
    return kind;
}

} // namespace kivo
