#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/kind.h"
#include "objects/pinrules.h"

namespace kivo {

namespace {

const char *kDescription = "Uses 5 pins and a fair amount of memory to show a 8bpp embedded image over VGA.\r\n"
                           "Usually used on basepin that is multiple of 8 but can be multiple of 4.";

// HSync, then the three colours, then VSync, from the base pin up.
const char *const kPinLabels[5] = {"HSync", "Blue", "Green", "Red", "VSync"};

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
    void InitExisting() override { m_text["basepin"] = m_object.m_strPin; }
    OkResult OnOk() override
    {
        m_object.m_nKind = kSimpleVGA;
        m_object.m_strName = Name();
        m_object.m_strPin = Text("basepin");
        m_object.m_bValid = true;
        int base = TextToInt(m_object.m_strPin);
        if (base < 0 || base > 56) {
            ShowError(RangeMessage(base, 56));
            m_object.m_bValid = false;
            return OkResult::StayOpen;
        }
        if (base % 4 != 0) {
            ShowError(Format("Pin %d is not a multiple of 4.", base));
            m_object.m_bValid = false;
            return OkResult::StayOpen;
        }
        // The pin count is only known good once the base pin passed.
        m_object.m_nPinCount = 5;
        if (!ClaimPinRange(base, 5, 56))
            return OkResult::StayOpen;
        for (int i = 0; i < 5; ++i)
            m_doc.m_strPinUsage[base + i] = kPinLabels[i];
        return OkResult::Accepted;
    }
};

class SimpleVgaKindImpl : public EditorKind<CSimpleVGA>
{
public:
    SimpleVgaKindImpl() : EditorKind(kSimpleVGA, "vga") {}

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
};

} // namespace

const IKind &SimpleVgaKind()
{
    static const SimpleVgaKindImpl kind;
    return kind;
}

} // namespace kivo
