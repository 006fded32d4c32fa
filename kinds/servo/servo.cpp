#include "kinds/kind.h"
#include "kinds/servo/slots.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/pinrules.h"

namespace kivo {

namespace {

const char *kDescription = "Controls a hobby type servo motor using a single P2 pin in PWM smartpin mode.  Choose "
                           "between control in units of degrees or microseconds.  Driver is a .spin2 smartpin driver "
                           "from OBEX.";

const std::vector<FieldSpec> &ServoFields()
{
    static const std::vector<FieldSpec> fields = {
        {.key = "pin", .type = FieldType::Text, .label = "I/O Pin:", .hint = "0..63"},
        {.key = "units",
         .type = FieldType::Choice,
         .label = "Position Units Options",
         .group = "Position Units Options",
         .options = {"Degrees", "Microseconds"}},
        {.key = "position", .type = FieldType::Slider, .label = "Starting Position:", .min = 0, .max = 180},
        {.key = "degrees", .type = FieldType::ReadOnly, .label = "Degrees"},
        {.key = "microseconds", .type = FieldType::ReadOnly, .label = "Microseconds"},
        {.key = "random", .type = FieldType::Flag, .label = "Move servo randomly"},
    };
    return fields;
}

class CObjectServo : public CEditorModel
{
public:
    using CEditorModel::CEditorModel;
    std::string Title() const override { return "Hobby Servo"; }
    std::string Description() const override { return kDescription; }
    const std::vector<FieldSpec> &Fields() const override { return ServoFields(); }

protected:
    void InitNew() override
    {
        m_text["pin"] = "38";
        m_int["units"] = 0;
        m_int["position"] = 90;
        m_text["degrees"] = "90";
        m_text["microseconds"] = "1500";
        m_flag["random"] = true;
    }
    void InitExisting() override
    {
        ServoSlots o(m_object);
        m_text["pin"] = o.Pin();
        m_int["units"] = o.InMicroseconds() ? 1 : 0;
        m_text["degrees"] = o.Degrees();
        m_int["position"] = TextToInt(o.Degrees());
        m_text["microseconds"] = o.Microseconds();
        m_flag["random"] = o.Random();
    }
    void OnSlider(const std::string &key) override
    {
        if (key != "position")
            return;
        m_text["degrees"] = Format("%d", Int("position"));
        m_text["microseconds"] = Format("%d", Int("position") * 10 + 600);
    }
    void PlacePins(PinPlacer &placer) override { PlacePinField(placer, "pin"); }
    OkResult OnOk() override
    {
        m_object.m_nKind = kServo;
        m_object.m_strName = Name();
        m_object.m_strPin = Text("pin");
        ServoSlots slots(m_object);
        slots.Degrees() = Text("degrees");
        slots.Microseconds() = Text("microseconds");
        slots.InMicroseconds() = Int("units") == 1;
        slots.Random() = Flag("random");
        m_object.m_bValid = true;
        m_object.m_nPinCount = 1;
        int pin = TextToInt(m_object.m_strPin);
        if (!ClaimPinRange(pin, 1, 63))
            return OkResult::StayOpen;
        m_doc.m_strPinUsage[pin] = kServoUsage;
        return OkResult::Accepted;
    }
};

class ServoKindImpl : public EditorKind<CObjectServo>
{
public:
    ServoKindImpl() : EditorKind(kServo, "servo") {}

    // A fixed position shows in a few pulses; random moves need loops.
    double VerifySeconds(const CCodeObject &o) const override { return ServoSlots(o).Random() ? 4.5 : 1.0; }

    // Projects hold many servos, so the text is appended piece by piece.
    void PlatformBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        ServoSlots slots(o);
        Append(s, {"\n#define ", n, "_PIN ", o.m_strPin, " //I/O pin to use for ", n, "\n"});
        Append(s, {"#define ", n, slots.InMicroseconds() ? "_MODE 1" : "_MODE 0",
                   " //0 for degrees, 1 for microseconds\n"});
    }
    void DeclarationBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        Append(s, {"//OBEX Servo code by Brannok for ", n, "\n"});
        Append(s, {"struct __using(\"zd_servo.spin2\") ", n,
                   "; //KQV:  Visual Studio will show an error here, but it's OK\n"});
        s += "//Note:  Range for position is limted by driver to 600..2400 for us mode and 0..180 for degree mode\n";
        ServoSlots slots(o);
        Append(s, {"int ", n, "_position=", slots.InMicroseconds() ? slots.Microseconds() : slots.Degrees(), ";\n"});
    }
    void SetupBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        Append(s, {"\n    //Start ", n, " driver in either degree or us mode\n"});
        if (ServoSlots(o).InMicroseconds())
            Append(s, {"    ", n, ".startx(", n, "_PIN, ", n, "_position);  //position in microseconds\n"});
        else
            Append(s, {"    ", n, ".start(", n, "_PIN, ", n, "_position);  //position in degrees\n"});
        s += "    printf(\"Servo Started.\\n\");\n";
    }
    void LoopBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        if (ServoSlots(o).Random()) {
            s += "\n    //randomly move servo position\n";
            Append(s, {"    ", n, "_position += (_rnd() % 11) - 5;  //move randomly between -5 and +5 units\n"});
            Append(s, {"    ", n, ".Write(", n, "_MODE, ", n, "_position);  //use this to set new position\n"});
        } else {
            Append(s, {"    //", n, ".Write(", n, "_MODE, ", n, "_position);  //use this to set new position\n"});
        }
        Append(s, {"    ", n, "_position = ", n, ".Read(", n, "_MODE); //get new actual (limited) position\n"});
        Append(s, {"    printf(\"Servo Position = % d\\n\", ", n, "_position);\n"});
    }
    std::vector<int> PinsOf(const CCodeObject &o) const override { return ConsecutivePins(o); }

    void CheckPins(const CCodeObject &o, IObjectCheck &check) const override { CheckSinglePin(o, check); }
    std::vector<LibraryFile> LibraryFiles(const CCodeObject &) const override { return {kDriver}; }
    std::vector<LibraryFile> AllLibraryFiles() const override { return {kDriver}; }

private:
    static constexpr LibraryFile kDriver{361, "zd_servo.spin2", 1024};
};

} // namespace

const IKind &ServoKind()
{
    static const ServoKindImpl kind;
    return kind;
}

} // namespace kivo
