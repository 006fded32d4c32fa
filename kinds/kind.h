#pragma once
#include "check/check.h"
#include "generator/library.h"
#include "objects/editor.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kivo {

class CCodeObject;
class CKivoDoc;
class IClock;
class IMessages;

// A pin an object's field holds, named by the field's key.
struct PinUse {
    int pin;
    std::string field;
};

// What a kind's checks see of the project, and where they report. The
// checker runs a kind's pin rule twice: once quietly to learn every object's
// pins, then reporting, when the object's own turn comes.
class IObjectCheck
{
public:
    virtual ~IObjectCheck() = default;
    // The pin a pin field names when it is one of 0..max (recorded under
    // `field`); else -1, reported with `label`.
    virtual int PinField(const char *field, const char *label, const std::string &text, int max = 63) = 0;
    // A further pin the field holds (the rest of a pin group).
    virtual void AddPin(int pin, const char *field) = 0;
    // Drops the pins recorded so far: a bad group holds none.
    virtual void ClearPins() = 0;
    // The pins recorded so far.
    virtual const std::vector<PinUse> &Pins() const = 0;

    // A whole number field; reports and returns false when it is not one in
    // lo..hi. `why` explains the range.
    virtual bool Whole(const std::string &field, const std::string &label, const std::string &text, long long lo,
                       long long hi, long long &value, const std::string &why = "") = 0;
    // Reports on the object (ignored in the quiet pass).
    virtual void Report(Severity severity, const std::string &field, const std::string &text,
                        std::vector<int> pins = {}, FindingFix fix = FindingFix::None) = 0;
    void Error(const std::string &field, const std::string &text, std::vector<int> pins = {})
    {
        Report(Severity::Error, field, text, std::move(pins));
    }
    void Warning(const std::string &field, const std::string &text, std::vector<int> pins = {})
    {
        Report(Severity::Warning, field, text, std::move(pins));
    }

    // The project's clock in Hz; 0 when its setting is bad.
    virtual long long Clock() const = 0;
    // The objects checked, in list order, and where the object stands.
    virtual const std::vector<const CCodeObject *> &Objects() const = 0;
    virtual int Index() const = 0;
    // Who else has `pin` (another object, the SD card, an owner in the pin
    // table); "" when nobody.
    virtual std::string OtherOwner(int pin) const = 0;
};

// A pin an object drives that none of its fields names (the USB adapter's
// error LED); `what` names it in another object's clash, `usage` is what the
// pin view shows it used for.
struct DrivenPin {
    int pin = -1;
    const char *what = "";
    const char *usage = "";
};

// State shared by the walks over one generated file.
struct GenContext {
    GenContext(const CKivoDoc &d, const IClock &c) : doc(d), clock(c) {}
    const CKivoDoc &doc;
    const IClock &clock;
    // True the first time `key` is asked for in this file: shared
    // declarations are written once.
    bool Once(const std::string &key) { return m_once.insert(key).second; }

private:
    std::set<std::string> m_once;
};

// One object kind: its editor, its part of the generated program, its own
// checks, its share of the budget and its library files. (Its part of the
// simulated board is the simulator's: sim/run/kindboard.h.) Every text
// operation appends to `out`; "\n" becomes CR LF when the file is written.
class IKind
{
public:
    virtual ~IKind() = default;
    virtual int32_t Code() const = 0;
    // The command-line name ("servo").
    virtual const char *CliName() const = 0;

    virtual std::unique_ptr<CEditorModel> CreateEditor(CCodeObject &object, CKivoDoc &doc, int mode,
                                                       IMessages &messages) const = 0;

    virtual void PlatformBlock(GenContext &, const CCodeObject &, std::string &) const {}
    virtual void DeclarationBlock(GenContext &, const CCodeObject &, std::string &) const {}
    virtual void SetupBlock(GenContext &, const CCodeObject &, std::string &) const {}
    virtual void LoopBlock(GenContext &, const CCodeObject &, std::string &) const {}
    // The support function after loop(): written for the first object of the
    // kind that wants it, and only once per file.
    virtual bool WantsSupportFunction(const CCodeObject &) const { return false; }
    virtual void SupportFunction(GenContext &, const CCodeObject &, std::string &) const {}

    // The pins that deleting the object releases (its kind's rule).
    virtual std::vector<int> PinsOf(const CCodeObject &) const { return {}; }

    // ---- the checks ----

    // The pins its fields hold, through check.PinField and AddPin; field
    // errors of the pins (ranges, pins of one object that clash) go to the
    // check too.
    virtual void CheckPins(const CCodeObject &, IObjectCheck &) const {}
    // Its number fields.
    virtual void CheckNumbers(const CCodeObject &, IObjectCheck &) const {}
    // Its rules toward the other objects (a bus it names, a single keyboard).
    virtual void CheckAmong(const CCodeObject &, IObjectCheck &) const {}
    // Whether a project may hold only one: its generated names are fixed.
    virtual bool OnlyOne() const { return false; }
    virtual DrivenPin Driven(const CCodeObject &) const { return {}; }
    // Carries out a finding's fix on the object; false when the kind has
    // no such fix or it cannot be applied.
    virtual bool ApplyFix(CCodeObject &, FindingFix, const CKivoDoc &) const { return false; }

    // ---- the budget ----

    // The cogs it starts.
    virtual int Cogs(const CCodeObject &) const { return 0; }
    // Its generated code and variables in hub RAM, without library files.
    virtual std::size_t HubBytes(const CCodeObject &) const { return 256; }

    // ---- library files ----

    // The library files it needs, in the order they are written.
    virtual std::vector<LibraryFile> LibraryFiles(const CCodeObject &) const { return {}; }
    // Every library file the kind may need.
    virtual std::vector<LibraryFile> AllLibraryFiles() const { return {}; }

    // The simulated seconds the generated program runs before what the
    // object does shows on the board (verify's run, the generated scenario).
    virtual double VerifySeconds(const CCodeObject &) const { return 0.1; }
};

// The kinds whose editor is one CEditorModel class.
template <class Editor> class EditorKind : public IKind
{
public:
    EditorKind(int32_t code, const char *cliName) : m_code(code), m_cliName(cliName) {}
    int32_t Code() const override { return m_code; }
    const char *CliName() const override { return m_cliName; }
    std::unique_ptr<CEditorModel> CreateEditor(CCodeObject &object, CKivoDoc &doc, int mode,
                                               IMessages &messages) const override
    {
        return std::make_unique<Editor>(m_code, object, doc, mode, messages);
    }

private:
    int32_t m_code;
    const char *m_cliName;
};

// Appends the pieces in order, without the temporaries of chained "+".
inline void Append(std::string &s, std::initializer_list<std::string_view> pieces)
{
    for (auto p : pieces)
        s.append(p);
}

// The Delete rule of kinds that own m_nPinCount consecutive pins from m_strPin.
std::vector<int> ConsecutivePins(const CCodeObject &object);
// The pin rule of kinds with one pin in m_strPin.
void CheckSinglePin(const CCodeObject &object, IObjectCheck &check);

// The twelve kinds, by code; null for codes outside 0..11.
const IKind *FindKind(int32_t code);
// By command-line name or decimal code.
const IKind *FindKindByName(std::string_view name);
std::span<const IKind *const> AllKinds();
// The simulated seconds a run of the project needs before every object
// shows what it does: the slowest object's, at most 10.
double VerifySeconds(const CKivoDoc &doc);

// Each kind module defines one of these.
const IKind &SimpleVgaKind();
const IKind &I2CBusKind();
const IKind &NeopixelKind();
const IKind &NcoKind();
const IKind &RtcKind();
const IKind &SimpleSoundKind();
const IKind &ServoKind();
const IKind &DigitalKind();
const IKind &FiltersKind();
const IKind &DacKind();
const IKind &AdcKind();
const IKind &UsbKbmKind();

} // namespace kivo
