#pragma once
#include "objects/editor.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

class CCodeObject;
class CKivoDoc;
class IClock;
class IMessages;

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

// One object kind: its editor and its part of the generated program. Every
// text operation appends to `out`; "\n" becomes CR LF when the file is
// written.
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

// The twelve kinds, by code; null for codes outside 0..11.
const IKind *FindKind(int32_t code);
// By command-line name or decimal code.
const IKind *FindKindByName(std::string_view name);
std::span<const IKind *const> AllKinds();

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
