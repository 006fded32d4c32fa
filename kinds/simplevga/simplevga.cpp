#include "kinds/kind.h"
#include "kinds/simplevga/slots.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/pinrules.h"

namespace kivo {

namespace {

const char *kDescription = "Uses 5 pins and a fair amount of memory to show a 8bpp embedded image over VGA.\r\n"
                           "Usually used on basepin that is multiple of 8 but can be multiple of 4.";

const std::vector<FieldSpec> &VgaFields()
{
    static const std::vector<FieldSpec> fields = {
        {.key = "basepin", .type = FieldType::Text, .label = "Basepin:", .hint = "Must be a multiple of 4"},
    };
    return fields;
}

class CSimpleVGA : public CEditorModel
{
public:
    using CEditorModel::CEditorModel;
    std::string Title() const override { return "Simple VGA 8bpp Image"; }
    std::string Description() const override { return kDescription; }
    const std::vector<FieldSpec> &Fields() const override { return VgaFields(); }

protected:
    void InitNew() override { m_text["basepin"] = "48"; }
    void InitExisting() override { m_text["basepin"] = SimpleVgaSlots(m_object).BasePin(); }
    void PlacePins(PinPlacer &placer) override { PlacePinField(placer, "basepin", kVgaPinCount, 4, kVgaMaxBasePin); }
    OkResult OnOk() override
    {
        m_object.m_nKind = kSimpleVGA;
        m_object.m_strName = Name();
        SimpleVgaSlots(m_object).BasePin() = Text("basepin");
        m_object.m_bValid = true;
        int base = TextToInt(m_object.m_strPin);
        if (base < 0 || base > kVgaMaxBasePin) {
            ShowError(RangeMessage(base, kVgaMaxBasePin), "basepin");
            m_object.m_bValid = false;
            return OkResult::StayOpen;
        }
        if (base % 4 != 0) {
            ShowError(Format("Pin %d is not a multiple of 4.", base), "basepin");
            m_object.m_bValid = false;
            return OkResult::StayOpen;
        }
        // The pin count is only known good once the base pin passed.
        m_object.m_nPinCount = kVgaPinCount;
        if (!ClaimPinRange(base, kVgaPinCount, kVgaMaxBasePin, "Pin #%d is already in use by ", ".", "basepin"))
            return OkResult::StayOpen;
        for (int i = 0; i < kVgaPinCount; ++i)
            m_doc.m_strPinUsage[base + i] = kVgaPinUsages[i];
        return OkResult::Accepted;
    }
};

class SimpleVgaKindImpl : public EditorKind<CSimpleVGA>
{
public:
    SimpleVgaKindImpl() : EditorKind(kSimpleVGA, "vga") {}

    // Sync, then one whole frame.
    double VerifySeconds(const CCodeObject &) const override { return 0.09; }

    // The driver instance and the pin name are fixed; the object's name only
    // shows in the comments.
    void PlatformBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        s += "\n//Simple VGA Basepin for " + o.m_strName + "\n";
        s += "#define VGA_BASEPIN " + o.m_strPin + "\n\n";
    }
    void DeclarationBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        s += "//Simple VGA Driver 640x480x8bpp that shows embedded image for " + o.m_strName + "\n";
        s += "struct __using(\"VGA_SimpleDriver1a.spin2\") vga; //KQV:  Visual Studio will show an error here, but "
             "it's OK\n";
    }
    void SetupBlock(GenContext &, const CCodeObject &, std::string &s) const override
    {
        s += "\n    vga.start(VGA_BASEPIN);\n";
        s += "    printf(\"VGA Driver started.\\n\");\n";
    }
    std::vector<int> PinsOf(const CCodeObject &o) const override { return ConsecutivePins(o); }

    // The base pin and the four after it; a base off the multiples of 4
    // holds none, since the driver cannot use it.
    void CheckPins(const CCodeObject &o, IObjectCheck &check) const override
    {
        int base = check.PinField("basepin", "\"Basepin:\"", SimpleVgaSlots(o).BasePin(), kVgaMaxBasePin);
        if (base < 0)
            return;
        if (base % 4 != 0) {
            check.Error("basepin", Format("\"Basepin:\" %d is not a multiple of 4: choose 0, 4, 8, ... 56.", base),
                        {base});
            check.ClearPins();
            return;
        }
        for (int k = 1; k < kVgaPinCount; ++k)
            check.AddPin(base + k, "basepin");
    }
    bool OnlyOne() const override { return true; }
    int Cogs(const CCodeObject &) const override { return 1; }
    std::vector<LibraryFile> LibraryFiles(const CCodeObject &) const override { return {kBitmap, kDriver}; }
    std::vector<LibraryFile> AllLibraryFiles() const override { return {kBitmap, kDriver}; }

private:
    static constexpr LibraryFile kBitmap{340, "bitmap2.bmp"};
    static constexpr LibraryFile kDriver{343, "VGA_SimpleDriver1a.spin2", 2048};
};

} // namespace

const IKind &SimpleVgaKind()
{
    static const SimpleVgaKindImpl kind;
    return kind;
}

} // namespace kivo
