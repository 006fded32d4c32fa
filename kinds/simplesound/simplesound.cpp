#include "kinds/kind.h"
#include "kinds/simplesound/slots.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/pinclash.h"
#include "objects/pinrules.h"
#include "platform/messages.h"

#include <iterator>

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
        SimpleSoundSlots slots(m_object);
        m_text["left"] = slots.LeftPin();
        m_text["right"] = slots.RightPin();
        m_flag["music"] = slots.Music();
        m_flag["effects"] = slots.Effects();
    }
    void PlacePins(PinPlacer &placer) override
    {
        PlacePinField(placer, "left");
        PlacePinField(placer, "right");
    }
    OkResult OnOk() override
    {
        m_object.m_nKind = kSimpleSound;
        m_object.m_strName = Name();
        SimpleSoundSlots slots(m_object);
        slots.LeftPin() = Text("left");
        slots.RightPin() = Text("right");
        slots.Music() = Flag("music");
        slots.Effects() = Flag("effects");
        m_object.m_bValid = true;
        m_object.m_nPinCount = 1;
        const std::string &name = m_object.m_strName;

        // Each pin is checked completely before the next; the right pin's
        // range message comes in a plain box.
        int left = TextToInt(slots.LeftPin());
        if (left < 0 || left > 63)
            return Refuse(MessageKind::Error, RangeMessage(left, 63), "left");
        if (!IsPinFreeFor(m_doc, left, name))
            return Refuse(MessageKind::Error, ConflictMessage(left), "left");
        int right = TextToInt(slots.RightPin());
        if (right < 0 || right > 63)
            return Refuse(MessageKind::Plain, RangeMessage(right, 63), "right");
        if (!IsPinFreeFor(m_doc, right, name))
            return Refuse(MessageKind::Error, ConflictMessage(right), "right");

        ReleasePinsOf(m_doc, name);
        ReservePin(m_doc, left, name, kSoundLeftUsage);
        ReservePin(m_doc, right, name, kSoundRightUsage);
        return OkResult::Accepted;
    }

private:
    std::string ConflictMessage(int pin) const { return PinInUseMessage(pin, m_doc.m_strPinOwner[pin]); }
    OkResult Refuse(MessageKind kind, const std::string &text, const std::string &field)
    {
        if (kind == MessageKind::Plain)
            ShowPlain(text, field);
        else
            ShowError(text, field);
        m_object.m_bValid = false;
        return OkResult::StayOpen;
    }
};

class SimpleSoundKindImpl : public EditorKind<CSimpleSound>
{
public:
    SimpleSoundKindImpl() : EditorKind(kSimpleSound, "sound") {}

    // The first notes of the music.
    double VerifySeconds(const CCodeObject &) const override { return 2.0; }

    // The driver instance is always `sound` (main() polls it by that name);
    // the object's name only shows in the comments.
    void PlatformBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        s += "\n//Simple Sound Audio pins for " + o.m_strName + "\n";
        SimpleSoundSlots slots(o);
        s += "#define AV_LeftPin " + slots.LeftPin() + "\n";
        s += "#define AV_RightPin " + slots.RightPin() + "\n";
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
        if (SimpleSoundSlots(o).Music())
            s += "    sound.Play();\n";
    }
    void LoopBlock(GenContext &, const CCodeObject &o, std::string &s) const override
    {
        if (!SimpleSoundSlots(o).Effects())
            return;
        s += "\n    //randomly play a sound effect\n";
        s += "    sound.playSound(_rnd() % 4 + 1);  //play 1 of 4 sounds\n";
    }
    std::vector<int> PinsOf(const CCodeObject &o) const override
    {
        SimpleSoundSlots slots(o);
        return {TextToInt(slots.LeftPin()), TextToInt(slots.RightPin())};
    }

    void CheckPins(const CCodeObject &o, IObjectCheck &check) const override
    {
        SimpleSoundSlots slots(o);
        int l = check.PinField("left", "\"Left I/O Pin:\"", slots.LeftPin());
        int r = check.PinField("right", "\"Right I/O Pin:\"", slots.RightPin());
        if (l >= 0 && l == r)
            check.Error("right",
                        Format("\"Left I/O Pin:\" and \"Right I/O Pin:\" are both pin %d: give each channel its own "
                               "pin.",
                               l),
                        {l});
    }
    // The driver instance `sound` is a fixed name.
    bool OnlyOne() const override { return true; }
    int Cogs(const CCodeObject &) const override { return 1; }
    std::vector<LibraryFile> LibraryFiles(const CCodeObject &) const override
    {
        return {std::begin(kFiles), std::end(kFiles)};
    }
    std::vector<LibraryFile> AllLibraryFiles() const override { return {std::begin(kFiles), std::end(kFiles)}; }

private:
    // The driver, its samples and song, and the players the driver uses.
    static constexpr LibraryFile kFiles[] = {
        {353, "SimpleSound.spin2", 2048}, {354, "space_sample2_S8.raw"},      {355, "space_sample1_S8.raw"},
        {356, "platform_sample3_S8.raw"}, {357, "platform_sample1_S8.raw"},   {358, "pyr.mod"},
        {359, "reSound.spin2", 8192},     {360, "trackerPlayer.spin2", 6144},
    };
};

} // namespace

const IKind &SimpleSoundKind()
{
    static const SimpleSoundKindImpl kind;
    return kind;
}

} // namespace kivo
