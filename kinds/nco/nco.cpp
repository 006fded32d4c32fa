#include "kinds/nco/nco.h"

#include "check/check.h"
#include "kinds/kind.h"
#include "kinds/nco/slots.h"
#include "model/kivodoc.h"
#include "model/text.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <tuple>

namespace kivo {

namespace {

const char *kDescription = "Sets Smart Pin registers on specified I/O pin to generate NCO (square wave) output.  To "
                           "change frequency, enter desired frequency and then hit the calculate button.\r\n\r\n"
                           "Note:  You will need to re-open this dialog if you change the P2 frequency.";

const char *kGroup = "Smart Pin Settings and resulting Frequency";

const std::vector<FieldSpec> &NcoFields()
{
    static const std::vector<FieldSpec> fields = {
        {.key = "pin", .type = FieldType::Text, .label = "I/O Pin:", .hint = "0..63"},
        {.key = "desired", .type = FieldType::Text, .label = "Desired Frequency [Hz]:"},
        {.key = "calculate", .type = FieldType::Button, .label = "Calculate Smart Pin Settings"},
        {.key = "wxpin", .type = FieldType::Text, .label = "WXPIN:", .group = kGroup, .note = "hexidecimal"},
        {.key = "wypin", .type = FieldType::Text, .label = "WYPIN:", .group = kGroup, .note = "hexidecimal"},
        {.key = "resulting",
         .type = FieldType::ReadOnly,
         .label = "Resulting Frequency [Hz]:",
         .group = kGroup,
         .note = "Note:  You must currently return to this dialog if you change the P2 core frequency."},
    };
    return fields;
}

// The register pair for a desired frequency, found by the editor's search
// over base periods 1..132.
struct NcoSettings {
    uint32_t x = 0;
    uint32_t y = 0;
    double resulting = 0;
};

NcoSettings NcoSearch(int clock, int desired)
{
    const int64_t h = int64_t(clock) / 2;
    const int64_t d = desired;
    const double half = double(clock) * 0.5;
    const double step = 4.656612873077393e-10; // 2^-31
    auto q = [&](int64_t g) { return (h / g) / d; };
    auto y = [&](int64_t qg) { return uint32_t(0x80000000u / uint64_t(qg)); };
    auto error = [&](int64_t g) {
        double f = std::trunc(double(y(q(g))) * step * (half / double(g)));
        return std::fabs(double(d) - f);
    };
    int64_t best = 1;
    double bestError = error(1);
    for (int64_t g = 2; g <= 132; ++g) {
        if (q(g) == 0)
            break;
        double e = error(g);
        if (e < bestError) {
            best = g;
            bestError = e;
        }
    }
    NcoSettings s;
    s.x = uint32_t(best);
    int64_t qb = q(best);
    if (qb == 1) {
        s.y = 0x80000000u;
        s.resulting = half / double(best);
    } else {
        s.y = y(qb);
        s.resulting = (half / double(best)) * (double(s.y) * step);
    }
    return s;
}

class CObjectNCO : public CEditorModel
{
public:
    using CEditorModel::CEditorModel;
    std::string Title() const override { return "NCO Frequency Object Interface"; }
    std::string Description() const override { return kDescription; }
    const std::vector<FieldSpec> &Fields() const override { return NcoFields(); }

protected:
    void InitBoth() override { m_text["desired"] = "12000000"; }
    void InitNew() override { m_text["pin"] = "24"; }
    void InitExisting() override
    {
        m_text["pin"] = m_object.m_strPin;
        NcoSlots slots(m_object);
        m_text["wxpin"] = slots.WxPin();
        m_text["wypin"] = slots.WyPin();
        m_text["desired"] = slots.Desired();
        m_text["resulting"] = slots.Resulting();
        // Registers stored by an earlier OK count as calculated.
        m_calculated = !slots.WxPin().empty() && !slots.WyPin().empty();
    }
    void AfterInit() override
    {
        if (Mode() == 0)
            Calculate();
    }
    void OnButton(const std::string &key) override
    {
        if (key == "calculate")
            Calculate();
    }
    void PlacePins(PinPlacer &placer) override { PlacePinField(placer, "pin"); }
    OkResult OnOk() override
    {
        Calculate();
        m_object.m_nKind = kNCO;
        m_object.m_strName = Name();
        m_object.m_strPin = Text("pin");
        NcoSlots slots(m_object);
        slots.WxPin() = Text("wxpin");
        slots.WyPin() = Text("wypin");
        slots.Desired() = Text("desired");
        slots.Resulting() = Text("resulting");
        m_object.m_bValid = true;
        m_object.m_nPinCount = 1;
        // Without a calculated pair the generated _pinstart would be invalid C.
        if (!m_calculated) {
            m_object.m_bValid = false;
            return OkResult::StayOpen;
        }
        int pin = TextToInt(m_object.m_strPin);
        if (!ClaimPinRange(pin, 1, 63))
            return OkResult::StayOpen;
        m_doc.m_strPinUsage[pin] = kNcoUsage;
        return OkResult::Accepted;
    }

private:
    // Refusals leave every register field as it was.
    void Calculate()
    {
        int clock = TextToInt(m_doc.m_strClockFreq);
        int desired = 0;
        // A whole number or nothing: "12abc" is no frequency.
        if (!ParseToolkitInt(Text("desired"), desired)) {
            ShowPlain(IntegerMessage(*FindField("desired")), "desired");
            return;
        }
        int half = clock / 2;
        if (desired < 1) {
            ShowPlain(Format("Error:  Desired frequency (%d) must be at least 1 Hz", desired), "desired");
            return;
        }
        if (desired > half) {
            ShowPlain(
                Format("Error:  Desired frequency (%d) cannot be greater than half P2 Frequency (%d)", desired, half),
                "desired");
            return;
        }
        NcoSettings s = NcoSearch(clock, desired);
        m_text["wxpin"] = Format("%08X", s.x);
        m_text["wypin"] = Format("%08X", s.y);
        m_text["resulting"] = Format("%f", s.resulting);
        m_calculated = true;
    }

    bool m_calculated = false;
};

class NcoKindImpl : public EditorKind<CObjectNCO>
{
public:
    NcoKindImpl() : EditorKind(kNCO, "nco") {}

    // Enough periods at the lowest frequencies shown.
    double VerifySeconds(const CCodeObject &) const override { return 0.06; }

    void SetupBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        NcoSlots slots(o);
        s += "\n    _pinstart(" + o.m_strPin + ", P_NCO_FREQ+P_OE, 0x" + slots.WxPin() + ", 0x" + slots.WyPin() +
             "); //configure smart pin for NCO Freq \n";
        s += "    printf(\"NCO Frequency Smart Pin started.\\n\");\n";
    }
    std::vector<int> PinsOf(const CCodeObject &o) const override { return ConsecutivePins(o); }

    void CheckPins(const CCodeObject &o, IObjectCheck &check) const override { CheckSinglePin(o, check); }
    void CheckNumbers(const CCodeObject &o, IObjectCheck &check) const override
    {
        NcoSlots slots(o);
        const long long clock = check.Clock();
        long long desired = 0;
        const long long half = clock > 0 ? clock / 2 : 2147483647;
        bool desiredOk = check.Whole("desired", "\"Desired Frequency [Hz]:\"", slots.Desired(), 1, half, desired,
                                     clock > 0 ? "at most half the P2 core frequency" : "");
        bool regsOk = true;
        for (auto [field, label, text] :
             {std::tuple{"wxpin", "\"WXPIN:\"", &slots.WxPin()}, std::tuple{"wypin", "\"WYPIN:\"", &slots.WyPin()}}) {
            if (text->empty() || text->size() > 8 ||
                text->find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                check.Error(field, std::string(label) + " is " + Quoted(*text) +
                                       ": it must be up to 8 hexadecimal digits; press \"Calculate Smart Pin "
                                       "Settings\".");
                regsOk = false;
            }
        }
        if (desiredOk && regsOk && clock > 0) {
            std::string wx, wy, resulting;
            if (ComputeNcoRegisters(int(clock), int(desired), wx, wy, resulting) &&
                (HexUpper(slots.WxPin()) != wx || HexUpper(slots.WyPin()) != wy))
                check.Report(Severity::Warning, "wxpin",
                             "The register values were computed for another clock than the project's " +
                                 WithThousands(clock) + " Hz, so the pin will not give " + slots.Desired() +
                                 " Hz: recompute them from the desired frequency.",
                             {}, FindingFix::RecomputeNco);
        }
    }
    bool ApplyFix(CCodeObject &o, FindingFix fix, const CKivoDoc &doc) const override
    {
        if (fix != FindingFix::RecomputeNco)
            return false;
        NcoSlots slots(o);
        std::string wx, wy, resulting;
        if (!ComputeNcoRegisters(TextToInt(doc.m_strClockFreq), TextToInt(slots.Desired()), wx, wy, resulting))
            return false;
        slots.WxPin() = wx;
        slots.WyPin() = wy;
        slots.Resulting() = resulting;
        return true;
    }

private:
    static std::string HexUpper(std::string s)
    {
        for (auto &c : s)
            if (c >= 'a' && c <= 'f')
                c = char(c - 'a' + 'A');
        return s;
    }
};

} // namespace

bool ComputeNcoRegisters(int clock, int desired, std::string &wxpin, std::string &wypin, std::string &resulting)
{
    if (desired < 1 || desired > clock / 2)
        return false;
    NcoSettings s = NcoSearch(clock, desired);
    wxpin = Format("%08X", s.x);
    wypin = Format("%08X", s.y);
    resulting = Format("%f", s.resulting);
    return true;
}

const IKind &NcoKind()
{
    static const NcoKindImpl kind;
    return kind;
}

} // namespace kivo
