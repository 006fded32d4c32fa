#include "kinds/kind.h"
#include "kinds/neopixel/slots.h"
#include "model/kivodoc.h"
#include "model/text.h"

#include <cctype>

namespace kivo {

namespace {

const char *kDescription = "Controls a string of Neopixel type devices using a single P2 pin.  This interface limited "
                           "to 24-bit color types although the underlying driver also works with 32-bit devices with "
                           "the white LED segment.";

const std::vector<FieldSpec> &NeopixelFields()
{
    static const std::vector<FieldSpec> fields = {
        {.key = "pin", .type = FieldType::Text, .label = "I/O Pin:", .hint = "0..63"},
        {.key = "leds", .type = FieldType::Text, .label = "#LEDs in string:"},
        {.key = "holdoff",
         .type = FieldType::Slider,
         .label = "Holdoff:",
         .min = 1,
         .max = 50,
         .hint = "time between data bursts, in units of 100 us"},
        {.key = "holdoff_us", .type = FieldType::ReadOnly},
        {.key = "type",
         .type = FieldType::Choice,
         .label = "LED Type",
         .group = "LED Type",
         .options = {"WS2812b", "WS2811", "WS2812", "WS2813", "SK6812"}},
        {.key = "red", .type = FieldType::Slider, .label = "Red:", .group = "Color", .min = 0, .max = 255},
        {.key = "green", .type = FieldType::Slider, .label = "Green:", .group = "Color", .min = 0, .max = 255},
        {.key = "blue", .type = FieldType::Slider, .label = "Blue:", .group = "Color", .min = 0, .max = 255},
        {.key = "color", .type = FieldType::ReadOnly, .group = "Color"},
        {.key = "random", .type = FieldType::Flag, .label = "Cycle Random Colors"},
    };
    return fields;
}

class CObjectNeopixel : public CEditorModel
{
public:
    using CEditorModel::CEditorModel;
    std::string Title() const override { return "RGB LED String"; }
    std::string Description() const override { return kDescription; }
    std::string NameLabel() const override { return "ObjectName:"; }
    const std::vector<FieldSpec> &Fields() const override { return NeopixelFields(); }

protected:
    void InitBoth() override
    {
        m_text["pin"] = "53";
        m_text["leds"] = "1";
        m_int["holdoff"] = 5;
        m_int["red"] = 255;
        m_int["green"] = 50;
        m_int["blue"] = 25;
        UpdateReadouts();
    }
    void InitExisting() override
    {
        m_text["pin"] = m_object.m_strPin;
        NeopixelSlots slots(m_object);
        m_text["color"] = slots.Color();
        m_text["holdoff_us"] = slots.HoldoffText();
        m_text["leds"] = slots.LedCount();
        m_int["red"] = slots.Red();
        m_int["green"] = slots.Green();
        m_int["blue"] = slots.Blue();
        m_int["type"] = slots.Type();
        m_int["holdoff"] = slots.Holdoff();
        m_flag["random"] = slots.Random();
    }
    void OnSlider(const std::string &) override { UpdateReadouts(); }
    void PlacePins(PinPlacer &placer) override { PlacePinField(placer, "pin"); }
    OkResult OnOk() override
    {
        m_object.m_nKind = kNeopixel;
        m_object.m_strName = Name();
        m_object.m_strPin = Text("pin");
        NeopixelSlots slots(m_object);
        slots.Color() = Text("color");
        slots.HoldoffText() = Text("holdoff_us");
        slots.LedCount() = Text("leds");
        slots.Red() = Int("red");
        slots.Green() = Int("green");
        slots.Blue() = Int("blue");
        slots.Type() = Int("type");
        slots.Holdoff() = Int("holdoff");
        slots.Random() = Flag("random");
        m_object.m_bValid = true;
        m_object.m_nPinCount = 1;
        int pin = TextToInt(m_object.m_strPin);
        if (!ClaimPinRange(pin, 1, 63))
            return OkResult::StayOpen;
        m_doc.m_strPinUsage[pin] = kNeopixelUsage;
        return OkResult::Accepted;
    }

private:
    void UpdateReadouts()
    {
        m_text["holdoff_us"] = Format("%d us", Int("holdoff") * 100);
        unsigned color = unsigned(Int("red")) * 65536u + unsigned(Int("green")) * 256u + unsigned(Int("blue"));
        m_text["color"] = Format("%8X", color);
    }
};

const char *StartCall(int type)
{
    switch (type) {
    case 0:
        return "    neopixel.start_2812b(pixbuf1, NEOPIXELS, NEOPIXEL_PIN, NEOPIXEL_HOLDOFF);            // start "
               "pixel "
               "driver\n";
    case 1:
        return "    neopixel.start_2811(pixbuf1, NEOPIXELS, NEOPIXEL_PIN, NEOPIXEL_HOLDOFF);            // start pixel "
               "driver\n";
    case 2:
        return "    neopixel.start_2812(pixbuf1, NEOPIXELS, NEOPIXEL_PIN, NEOPIXEL_HOLDOFF);            // start pixel "
               "driver\n";
    case 3:
        return "    neopixel.start_2813(pixbuf1, NEOPIXELS, NEOPIXEL_PIN, NEOPIXEL_HOLDOFF);            // start pixel "
               "driver\n";
    case 4:
        return "    neopixel.start_6812x(pixbuf1, NEOPIXELS, NEOPIXEL_PIN, NEOPIXEL_HOLDOFF, 24);            // start "
               "pixel driver\n";
    default:
        return "";
    }
}

std::string TrimLeft(const std::string &text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    return text.substr(i);
}

class NeopixelKindImpl : public EditorKind<CObjectNeopixel>
{
public:
    NeopixelKindImpl() : EditorKind(kNeopixel, "neopixel") {}

    // Random colours change once a loop.
    double VerifySeconds(const CCodeObject &o) const override { return NeopixelSlots(o).Random() ? 2.5 : 0.05; }

    void PlatformBlock(GenContext &ctx, const CCodeObject &o, std::string &s) const override
    {
        // Generation trims the colour readout in the object itself, so the
        // project keeps the text it generated from.
        const std::string color = TrimLeft(NeopixelSlots(o).Color());
        for (auto &held : ctx.doc.m_objList)
            if (held.get() == &o)
                NeopixelSlots(*held).Color() = color;

        s += "\n//Neopixel pin and settings for " + o.m_strName + "\n";
        s += "#define NEOPIXELS " + NeopixelSlots(o).LedCount() + "\n";
        s += "#define NEOPIXEL_COLOR 0x" + color + "00\n";
        s += "#define NEOPIXEL_PIN " + o.m_strPin + "\n";
        s += Format("#define NEOPIXEL_HOLDOFF %d\n", NeopixelSlots(o).Holdoff());
    }
    void DeclarationBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        s += "//Neopixel driver from OBEX with minor modifications for " + o.m_strName + "\n";
        s += "struct __using(\"zd_rgbx_pixel_kqv.spin2\") neopixel;  //KQV:  Visual Studio will show an error here, "
             "but it's OK\n";
        s += "uint32_t pixbuf1[NEOPIXELS];\n";
    }
    void SetupBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        s += "\n    for (int i = 0; i < NEOPIXELS; i++)\n";
        s += "        pixbuf1[i] = NEOPIXEL_COLOR;\n";
        s += StartCall(NeopixelSlots(o).Type());
        s += "    printf(\"Neopixel Driver Started.\\n\");\n";
    }
    void LoopBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        if (!NeopixelSlots(o).Random())
            return;
        s += "\n    //Randomly change Neopixel color\n";
        s += "    for (int i = 0; i < NEOPIXELS; i++)\n";
        s += "        pixbuf1[i] = _rnd();\n";
    }
    std::vector<int> PinsOf(const CCodeObject &o) const override { return ConsecutivePins(o); }

    void CheckPins(const CCodeObject &o, IObjectCheck &check) const override { CheckSinglePin(o, check); }
    void CheckNumbers(const CCodeObject &o, IObjectCheck &check) const override
    {
        long long v;
        check.Whole("leds", "\"#LEDs in string:\"", NeopixelSlots(o).LedCount(), 1, 65535, v);
    }
    // NEOPIXEL and pixbuf1 are fixed names.
    bool OnlyOne() const override { return true; }
    int Cogs(const CCodeObject &) const override { return 1; }
    // The pixel buffer: one long per LED.
    std::size_t HubBytes(const CCodeObject &o) const override
    {
        long long leds;
        return 256 + (DigitsInRange(NeopixelSlots(o).LedCount(), 1, 1000000, leds) ? std::size_t(leds) * 4 : 0);
    }
    std::vector<LibraryFile> LibraryFiles(const CCodeObject &) const override { return {kDriver}; }
    std::vector<LibraryFile> AllLibraryFiles() const override { return {kDriver}; }

private:
    static constexpr LibraryFile kDriver{348, "zd_rgbx_pixel_kqv.spin2", 3072};
};

} // namespace

const IKind &NeopixelKind()
{
    static const NeopixelKindImpl kind;
    return kind;
}

} // namespace kivo
