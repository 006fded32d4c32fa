#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/kind.h"
#include "objects/pinrules.h"
#include "platform/messages.h"

namespace kivo {

namespace {

const char *kDescription = "Adds code to play .mod music files and also mix in .raw sounds.  This is an easy way to "
                           "add sound to games.\r\n\r\nNote:  Uses 1 cog.  Also, the sound.pollTick() function must "
                           "be called at 50 Hz (every 20 milliseconds) or faster.";

const std::vector<FieldSpec> &SoundFields()
{
    static const std::vector<FieldSpec> fields = {
        {.key = "left",
         .type = FieldType::Text,
         .label = "Left I/O Pin:",
         .hint = "This is basepin+6 with Parallax A/V adapter"},
        {.key = "right",
         .type = FieldType::Text,
         .label = "Right I/O Pin:",
         .hint = "This is basepin+7 with Parallax A/V adapter"},
        {.key = "music", .type = FieldType::Flag, .label = "Play pyr.mod music file at start"},
        {.key = "effects", .type = FieldType::Flag, .label = "Play random sound effects"},
    };
    return fields;
}

class CSimpleSound : public CEditorModel
{
public:
    using CEditorModel::CEditorModel;
    std::string Title() const override { return "Simple Sound - Music & Sound Effects Player"; }
    std::string Description() const override { return kDescription; }
    std::string NameLabel() const override { return "ObjectName:"; }
    const std::vector<FieldSpec> &Fields() const override { return SoundFields(); }

protected:
    void InitNew() override
    {
        // The audio pins of the A/V adapter on base pin 48.
        m_text["left"] = "54";
        m_text["right"] = "55";
        m_flag["music"] = true;
        m_flag["effects"] = true;
    }
    void InitExisting() override
    {
        m_text["left"] = m_object.m_strText[0];
        m_text["right"] = m_object.m_strText[1];
        m_flag["music"] = m_object.m_bFlag[0];
        m_flag["effects"] = m_object.m_bFlag[1];
    }
    OkResult OnOk() override
    {
        m_object.m_nKind = kSimpleSound;
        m_object.m_strName = Name();
        m_object.m_strText[0] = Text("left");
        m_object.m_strText[1] = Text("right");
        m_object.m_bFlag[0] = Flag("music");
        m_object.m_bFlag[1] = Flag("effects");
        m_object.m_bValid = true;
        m_object.m_nPinCount = 1;
        const std::string &name = m_object.m_strName;

        // Each pin is checked completely before the next; the right pin's
        // range message comes in a plain box.
        int left = TextToInt(m_object.m_strText[0]);
        if (left < 0 || left > 63)
            return Refuse(MessageKind::Error, RangeMessage(left, 63));
        if (!IsPinFreeFor(m_doc, left, name))
            return Refuse(MessageKind::Error, ConflictMessage(left));
        int right = TextToInt(m_object.m_strText[1]);
        if (right < 0 || right > 63)
            return Refuse(MessageKind::Plain, RangeMessage(right, 63));
        if (!IsPinFreeFor(m_doc, right, name))
            return Refuse(MessageKind::Error, ConflictMessage(right));

        ReleasePinsOf(m_doc, name);
        ReservePin(m_doc, left, name, "Simple Sound Left");
        ReservePin(m_doc, right, name, "Simple Sound Right");
        return OkResult::Accepted;
    }

private:
    std::string ConflictMessage(int pin) const
    {
        return Format("Pin #%d is already in use by ", pin) + m_doc.m_strPinOwner[pin] + ".";
    }
    OkResult Refuse(MessageKind kind, const std::string &text)
    {
        if (kind == MessageKind::Plain)
            ShowPlain(text);
        else
            ShowError(text);
        m_object.m_bValid = false;
        return OkResult::StayOpen;
    }
};

class SimpleSoundKindImpl : public EditorKind<CSimpleSound>
{
public:
    SimpleSoundKindImpl() : EditorKind(kSimpleSound, "sound") {}

    // The driver instance is always `sound` (main() polls it by that name);
    // the object's name only shows in the comments.
    void PlatformBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        s += "\n//Simple Sound Audio pins for " + o.m_strName + "\n";
        s += "#define AV_LeftPin " + o.m_strText[0] + "\n";
        s += "#define AV_RightPin " + o.m_strText[1] + "\n";
    }
    void DeclarationBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        s += "//Simple Sound Driver by Dovrel for " + o.m_strName + "\n";
        // Named as the library file is written: file systems that tell case
        // apart would not find it otherwise.
        s += "struct __using(\"SimpleSound.spin2\") sound; //KQV:  Visual Studio will show an error here, but it's "
             "OK\n";
    }
    void SetupBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        s += "\n    printf(\"Starting SimpleSound Music...\\n\");\n";
        s += "    sound.start(AV_LeftPin, AV_RightPin);\n";
        if (o.m_bFlag[0])
            s += "    sound.Play();\n";
    }
    void LoopBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        if (!o.m_bFlag[1])
            return;
        s += "\n    //randomly play a sound effect\n";
        s += "    sound.playSound(_rnd() % 4 + 1);  //play 1 of 4 sounds\n";
    }
    std::vector<int> PinsOf(const CCodeObject &o) const override
    {
        return {TextToInt(o.m_strText[0]), TextToInt(o.m_strText[1])};
    }
};

} // namespace

const IKind &SimpleSoundKind()
{
    static const SimpleSoundKindImpl kind;
    return kind;
}

} // namespace kivo
