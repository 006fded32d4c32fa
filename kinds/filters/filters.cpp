#include "kinds/filters/slots.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "model/text.h"

namespace kivo {

namespace {

const char *kDescription =
    "The P2 Hub has digital filters that essentially low pass filter digital input to all pins and replace the value "
    "of IN when selected in the smartpin settings. The Hub samples IN values every Tap # of clocks and only when the "
    "last Length # of these values agree does the apparent value of IN change. This filter can be enabled on a "
    "specific pin using a Smart Digital I/O Pin object. See the \"Configuring the Digital Filters for Smart Pins\" "
    "section of the P2 Docs for more info.";

std::string Key(const char *stem, int i) { return stem + std::to_string(i); }

const std::vector<FieldSpec> &FilterFields()
{
    static const std::vector<FieldSpec> fields = [] {
        std::vector<FieldSpec> v;
        for (int i = 0; i < kFilterCount; ++i) {
            std::string n = std::to_string(i);
            v.push_back({.key = "set" + n, .type = FieldType::Flag, .label = "Set Filter #" + n});
            v.push_back({.key = "length" + n,
                         .type = FieldType::Choice,
                         .label = "Filter" + n + " Length",
                         .group = "Filter" + n + " Length",
                         .options = {"2", "3", "5", "8"},
                         .hint = "samples that must agree"});
            v.push_back({.key = "tap" + n,
                         .type = FieldType::Slider,
                         .label = "Filter" + n + " Tap",
                         .group = "Filter" + n + " Tap",
                         .min = 0,
                         .max = 31});
            v.push_back({.key = "tap" + n + "_readout", .type = FieldType::ReadOnly, .group = "Filter" + n + " Tap"});
        }
        return v;
    }();
    return fields;
}

class CObjectFilters : public CEditorModel
{
public:
    using CEditorModel::CEditorModel;
    std::string Title() const override { return "Configure the Global Digital Filters"; }
    std::string Description() const override { return kDescription; }
    const std::vector<FieldSpec> &Fields() const override { return FilterFields(); }

protected:
    void InitNew() override
    {
        for (int i = 0; i < kFilterCount; ++i) {
            m_flag[Key("set", i)] = true;
            m_int[Key("length", i)] = 0;
            m_int[Key("tap", i)] = 0;
        }
        UpdateReadouts();
    }
    void InitExisting() override
    {
        FiltersSlots slots(m_object);
        for (int i = 0; i < kFilterCount; ++i) {
            m_int[Key("length", i)] = slots.Length(i);
            m_int[Key("tap", i)] = slots.Tap(i);
            m_flag[Key("set", i)] = slots.Set(i);
        }
        UpdateReadouts();
    }
    void OnSlider(const std::string &) override { UpdateReadouts(); }
    OkResult OnOk() override
    {
        m_object.m_nKind = kFilters;
        m_object.m_strName = Name();
        m_object.m_bValid = true;
        FiltersSlots slots(m_object);
        for (int i = 0; i < kFilterCount; ++i) {
            slots.Length(i) = Int(Key("length", i));
            slots.Tap(i) = Int(Key("tap", i));
            slots.Set(i) = Flag(Key("set", i));
        }
        return OkResult::Accepted;
    }

private:
    void UpdateReadouts()
    {
        for (int i = 0; i < kFilterCount; ++i)
            m_text[Key("tap", i) + "_readout"] = Format("%d", Int(Key("tap", i)));
    }
};

class FiltersKindImpl : public EditorKind<CObjectFilters>
{
public:
    FiltersKindImpl() : EditorKind(kFilters, "filters") {}

    void PlatformBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        FiltersSlots slots(o);
        for (int i = 0; i < kFilterCount; ++i) {
            if (!slots.Set(i))
                continue;
            s += Format("#define %s_Length%d %d\n", n.c_str(), i, slots.Length(i));
            s += Format("#define %s_Tap%d %d\n", n.c_str(), i, slots.Tap(i));
        }
    }
    void SetupBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        const std::string &n = o.m_strName;
        static const char *const bases[kFilterCount] = {"0x40000000", "0x40000080", "0x40000100", "0x40000180"};
        FiltersSlots slots(o);
        if (!(slots.Set(0) || slots.Set(1) || slots.Set(2) || slots.Set(3)))
            return;
        s += "\n    //Configure HUB digital filters\n";
        for (int i = 0; i < kFilterCount; ++i) {
            if (!slots.Set(i))
                continue;
            std::string d = std::to_string(i);
            s += std::string("    _hubset(") + bases[i] + " + (" + n + "_Length" + d + " << 5) + " + n + "_Tap" + d +
                 ");\n";
        }
    }
};

} // namespace

const IKind &FiltersKind()
{
    static const FiltersKindImpl kind;
    return kind;
}

} // namespace kivo
