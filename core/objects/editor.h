#pragma once
#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kivo {

class CCodeObject;
class CKivoDoc;
class IMessages;
enum class MessageKind;

// How a field is shown and set. The dialogs and the command line both build
// on these descriptions.
enum class FieldType {
    Text,     // editable single-line text
    Integer,  // editable text the toolkit reads as a whole number
    ReadOnly, // read-only text (readouts); set by handlers only
    Flag,     // check box
    Choice,   // group of mutually exclusive options, held as a 0-based index
    Slider,   // horizontal slider, held as its position
    Combo,    // editable drop-down list, held as its text
    Button,   // push button that runs a handler
};

struct FieldSpec {
    std::string key; // command-line key ("pin")
    FieldType type = FieldType::Text;
    std::string label;                      // exactly as the dialog shows it
    std::string group;                      // caption of the group box holding it, or ""
    std::vector<std::string> options;       // choice labels, combo entries
    std::vector<std::string> optionAliases; // extra command-line names, one per option (may be "")
    int min = 0, max = 0;                   // slider range when the editor opens
    std::string hint;                       // tooltip or short help
    std::string note;                       // static text shown with the field
};

// A message of the editor's steps and the field it is about ("" for the
// object as a whole). Error and Plain messages refuse; warnings inform.
struct FieldMessage {
    bool error = true;
    std::string field;
    std::string text;
    bool operator==(const FieldMessage &) const = default;
};

// Chooses free pins for the fields of an object that is not yet in the
// project: a pin stays where it is when free, else moves to the next free
// one, wrapping round to 0. The pins the project uses (PinsInUse) and those
// taken through this placer count as used.
class PinPlacer
{
public:
    explicit PinPlacer(const CKivoDoc &doc);
    // The first base from `preferred` on whose `count` pins are all free,
    // stepping by `align` (a multiple of it) up to `maxBase`; its pins are
    // then taken. -1 when there is none.
    int Take(int preferred, int count = 1, int align = 1, int maxBase = 63);
    bool IsFree(int pin) const { return pin >= 0 && pin < int(m_used.size()) && !m_used[std::size_t(pin)]; }

private:
    std::array<bool, 64> m_used{};
};

enum class OkResult {
    Accepted, // the dialog closes as accepted
    StayOpen, // a check refused the OK; the dialog stays open
};

// The UI-free model of one kind's editor dialog. Values are held by field
// key: texts (Text, Integer, ReadOnly, Combo), integers (Choice, Slider) and
// flags (Flag). A front end shows the values after every step.
class CEditorModel
{
public:
    // mode 0: new object from the picker; mode 1: existing object.
    CEditorModel(int kind, CCodeObject &object, CKivoDoc &doc, int mode, IMessages &messages);
    virtual ~CEditorModel() = default;

    int Kind() const { return m_kind; }
    int Mode() const { return m_mode; }
    virtual std::string Title() const = 0;
    virtual std::string Description() const = 0;
    // The name field's label ("Object Name:" unless the kind spells it so).
    virtual std::string NameLabel() const { return "Object Name:"; }
    // The kind's fields, top to bottom, without the name.
    virtual const std::vector<FieldSpec> &Fields() const = 0;
    const FieldSpec *FindField(const std::string &key) const;

    // The dialog opens: defaults (mode 0) or the object's slots (mode 1).
    // A new object's pins are the kind's defaults where they are free, else
    // the next free ones.
    void Open();
    // Opens a new object (mode 0) on the settings of the object it was made
    // with, a copy of another: the next free name, its pins moved to free
    // ones where they are taken.
    void OpenCopy();
    // OK pressed. Messages go to the messages interface. The OK then also
    // refuses on the project-check errors of the object's own fields (of an
    // existing object, those about its pins).
    OkResult Ok();
    // The messages of the steps that follow go to `sink` instead of the
    // messages interface, each with its field, so that a dialog can show
    // them beside their fields (null: shown again). While they are kept, OK
    // looks at every field: each number field that is not one, and every
    // error of the kind's OK and of the new object's project checks; any
    // error refuses it.
    void KeepMessages(std::vector<FieldMessage> *sink) { m_sink = sink; }
    // For scratch objects that are never part of a project.
    void SetProjectChecks(bool on) { m_projectChecks = on; }
    // The key of the field a refused OK named, for the front end to focus
    // ("" when the refusal named none).
    const std::string &FocusField() const { return m_focusField; }
    // Cancel changes nothing.
    void Cancel() {}

    // What the user does.
    void UserSetText(const std::string &key, const std::string &text);
    void UserSetFlag(const std::string &key, bool on);
    void UserChoose(const std::string &key, int index);
    // Moves the slider (clamped to its range) and runs the slider handler.
    void UserSlide(const std::string &key, int position);
    void UserPress(const std::string &key);

    // Values as shown.
    std::string Text(const std::string &key) const;
    int Int(const std::string &key) const;
    bool Flag(const std::string &key) const;
    std::string Name() const { return Text("name"); }

    // Dynamic state of a field.
    virtual bool IsReadOnly(const std::string &key) const;
    virtual bool IsEnabled(const std::string &key) const { return !key.empty(); }
    virtual std::pair<int, int> SliderRange(const std::string &key) const;
    virtual std::vector<std::string> Options(const std::string &key) const;

    // Data exchange without handlers (the toolkit writing a control's value).
    void SetText(const std::string &key, const std::string &text) { m_text[key] = text; }
    void SetInt(const std::string &key, int value) { m_int[key] = value; }
    void SetFlag(const std::string &key, bool on) { m_flag[key] = on; }

protected:
    // Initialisation steps that differ per kind.
    virtual void InitBoth() {}
    virtual void InitNew() {}
    virtual void InitExisting() {}
    virtual void AfterInit() {}
    // Moves the pin fields of a new object to free pins (PlacePinField).
    virtual void PlacePins(PinPlacer &) {}
    // Sets the pin field `key` to the placer's choice from the pin it holds;
    // a field that holds no pin number, or finds no free pins, is left.
    void PlacePinField(PinPlacer &placer, const std::string &key, int count = 1, int align = 1, int maxBase = 63);
    // The kind's OK sequence.
    virtual OkResult OnOk() = 0;
    // Handlers.
    virtual void OnSlider(const std::string &) {}
    virtual void OnChoice(const std::string &) {}
    virtual void OnFlag(const std::string &) {}
    virtual void OnButton(const std::string &) {}

    // Reads the Integer fields as the toolkit would; shows "Please enter an
    // integer." with the field's name and text below it, and returns false
    // on the first that is not a whole number (then the field to focus).
    bool ReadControls();
    // "Please enter an integer." for a number field that does not hold one.
    std::string IntegerMessage(const FieldSpec &f) const;

    // The shared OK steps for one consecutive range of pins from `basePin`:
    // range check against 0..maxBase, conflict check of every pin, release,
    // reserve. Refusals show the error, clear m_bValid and return false.
    bool ClaimPinRange(int basePin, int count, int maxBase,
                       const char *conflictPrefix = "Pin #%d is already in use by ", const char *conflictSuffix = ".",
                       const std::string &field = "pin");
    // `field`: the key of the field the message is about; "" takes the
    // field that m_focusField names.
    void ShowError(const std::string &text, const std::string &field = "");
    void ShowWarning(const std::string &text, const std::string &field = "");
    void ShowPlain(const std::string &text, const std::string &field = "");

    // The shared range message ("Pin %d is out of range, please set to
    // between 0 and %d.").
    static std::string RangeMessage(int pin, int maxPin);

    CCodeObject &m_object;
    CKivoDoc &m_doc;
    IMessages &m_messages;
    std::map<std::string, std::string> m_text;
    std::map<std::string, int> m_int;
    std::map<std::string, bool> m_flag;
    std::map<std::string, std::pair<int, int>> m_range; // slider ranges set at run time
    std::string m_focusField;

private:
    OkResult OkKeepingMessages();
    void KeepNameErrors(std::size_t first);
    void Say(bool error, MessageKind kind, const std::string &text, const std::string &field);

    int m_kind;
    int m_mode;
    bool m_projectChecks = true;
    std::vector<FieldMessage> *m_sink = nullptr;
};

// Parses a whole number the way the dialog toolkit does for integer fields:
// optional blanks and sign, digits, optional blanks; nothing else.
bool ParseToolkitInt(const std::string &text, int &value);

} // namespace kivo
