#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/kind.h"
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
        m_text["pin"] = m_object.m_strPin;
        m_int["units"] = m_object.m_bFlag[0] ? 1 : 0;
        m_text["degrees"] = m_object.m_strText[0];
        m_int["position"] = TextToInt(m_object.m_strText[0]);
        m_text["microseconds"] = m_object.m_strText[1];
        m_flag["random"] = m_object.m_bFlag[1];
    }
    void OnSlider(const std::string &key) override
    {
        if (key != "position")
            return;
        m_text["degrees"] = Format("%d", Int("position"));
        m_text["microseconds"] = Format("%d", Int("position") * 10 + 600);
    }
    OkResult OnOk() override
    {
        m_object.m_nKind = kServo;
        m_object.m_strName = Name();
        m_object.m_strPin = Text("pin");
        m_object.m_strText[0] = Text("degrees");
        m_object.m_strText[1] = Text("microseconds");
        m_object.m_bFlag[0] = Int("units") == 1;
        m_object.m_bFlag[1] = Flag("random");
        m_object.m_bValid = true;
        m_object.m_nPinCount = 1;
        int pin = TextToInt(m_object.m_strPin);
        if (!ClaimPinRange(pin, 1, 63))
            return OkResult::StayOpen;
        m_doc.m_strPinUsage[pin] = "Hobby Servo";
        return OkResult::Accepted;
    }
};

class ServoKindImpl : public EditorKind<CObjectServo>
{
public:
    ServoKindImpl() : EditorKind(kServo, "servo") {}

    // Projects hold many servos, so the text is appended piece by piece.
    void PlatformBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        Append(s, {"\n#define ", n, "_PIN ", o.m_strPin, " //I/O pin to use for ", n, "\n"});
        Append(s, {"#define ", n, o.m_bFlag[0] ? "_MODE 1" : "_MODE 0", " //0 for degrees, 1 for microseconds\n"});
    }
    void DeclarationBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        Append(s, {"//OBEX Servo code by Brannok for ", n, "\n"});
        Append(s, {"struct __using(\"zd_servo.spin2\") ", n,
                   "; //KQV:  Visual Studio will show an error here, but it's OK\n"});
        s += "//Note:  Range for position is limted by driver to 600..2400 for us mode and 0..180 for degree mode\n";
        Append(s, {"int ", n, "_position=", o.m_bFlag[0] ? o.m_strText[1] : o.m_strText[0], ";\n"});
    }
    void SetupBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        Append(s, {"\n    //Start ", n, " driver in either degree or us mode\n"});
        if (o.m_bFlag[0])
            Append(s, {"    ", n, ".startx(", n, "_PIN, ", n, "_position);  //position in microseconds\n"});
        else
            Append(s, {"    ", n, ".start(", n, "_PIN, ", n, "_position);  //position in degrees\n"});
        s += "    printf(\"Servo Started.\\n\");\n";
    }
    void LoopBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        if (o.m_bFlag[1]) {
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
};

} // namespace

const IKind &ServoKind()
{
    static const ServoKindImpl kind;
    return kind;
}

} // namespace kivo
