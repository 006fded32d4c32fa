#include "check/names.h"

#include "generator/skeleton.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "objects/editor.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/profile.h"
#include "platform/resources.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace kivo {

namespace {

bool IdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }

bool IdentChar(char c) { return IdentStart(c) || (c >= '0' && c <= '9'); }

// Walks C text token by token; `onIdent(name, braceDepth, parenDepth)`.
template <class F> void WalkC(std::string_view t, F &&onIdent)
{
    int braces = 0, parens = 0;
    bool afterMember = false, afterHash = false;
    std::size_t i = 0;
    while (i < t.size()) {
        char c = t[i];
        if (c == '/' && i + 1 < t.size() && t[i + 1] == '/') {
            while (i < t.size() && t[i] != '\n')
                ++i;
            continue;
        }
        if (c == '/' && i + 1 < t.size() && t[i + 1] == '*') {
            auto end = t.find("*/", i + 2);
            i = end == std::string_view::npos ? t.size() : end + 2;
            continue;
        }
        if (c == '"' || c == '\'') {
            ++i;
            while (i < t.size() && t[i] != c && t[i] != '\n') {
                if (t[i] == '\\')
                    ++i;
                ++i;
            }
            ++i;
            afterMember = afterHash = false;
            continue;
        }
        if (IdentStart(c)) {
            std::size_t start = i;
            while (i < t.size() && IdentChar(t[i]))
                ++i;
            if (!afterMember && !afterHash)
                onIdent(std::string(t.substr(start, i - start)), braces, parens);
            afterMember = afterHash = false;
            continue;
        }
        if (c >= '0' && c <= '9') {
            while (i < t.size() && IdentChar(t[i]))
                ++i;
            afterMember = afterHash = false;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        afterMember = c == '.' || (c == '>' && i > 0 && t[i - 1] == '-');
        afterHash = c == '#';
        if (c == '{')
            ++braces;
        else if (c == '}')
            braces = std::max(0, braces - 1);
        else if (c == '(')
            ++parens;
        else if (c == ')')
            parens = std::max(0, parens - 1);
        ++i;
    }
}

constexpr const char *kPlaceholder = "KivoRefQ";

// Every kind in its new-object form and with each flag flipped and each
// option chosen, all under placeholder names, in one scratch project.
// Each is edited beside the bus alone: an editor places its pins around
// every object of its project, and the names do not depend on the pins.
void AddVariants(CKivoDoc &doc)
{
    RecordingMessages quiet;
    MemoryProfile profile;
    CKivoDoc editing;
    editing.OnNewDocument(profile);
    int serial = 0;
    auto add = [&](const IKind &kind, auto &&tweak) {
        auto object = std::make_unique<CCodeObject>();
        auto editor = kind.CreateEditor(*object, editing, 0, quiet);
        if (!editor)
            return;
        editor->SetProjectChecks(false);
        editor->Open();
        editor->UserSetText("name", kPlaceholder + std::to_string(++serial));
        tweak(*editor);
        editor->Ok();
        object->m_nKind = kind.Code();
        object->m_strName = kPlaceholder + std::to_string(serial);
        if (editing.m_objList.empty())
            editing.m_objList.push_back(std::make_unique<CCodeObject>(*object));
        doc.m_objList.push_back(std::move(object));
    };
    // The clock needs a bus to name.
    add(I2CBusKind(), [](CEditorModel &) {});
    for (const IKind *kind : AllKinds()) {
        add(*kind, [](CEditorModel &) {});
        CCodeObject probe;
        auto editor = kind->CreateEditor(probe, editing, 0, quiet);
        if (!editor)
            continue;
        for (auto &f : editor->Fields()) {
            if (f.type == FieldType::Flag) {
                add(*kind, [&](CEditorModel &e) { e.UserSetFlag(f.key, !e.Flag(f.key)); });
            } else if (f.type == FieldType::Choice) {
                for (int i = 0; i < int(f.options.size()); ++i)
                    add(*kind, [&](CEditorModel &e) { e.UserChoose(f.key, i); });
            }
        }
    }
}

} // namespace

std::set<std::string> ComputeGeneratedNames()
{
    std::set<std::string> names;
    auto take = [&](const std::string &text) {
        WalkC(text, [&](const std::string &id, int, int) {
            if (id.rfind(kPlaceholder, 0) != 0)
                names.insert(id);
        });
    };
    MemoryProfile profile;
    CKivoDoc doc;
    doc.OnNewDocument(profile);
    doc.m_bSetBaud = doc.m_bSetHeapSize = doc.m_bUsePlan9 = doc.m_bMountSd = 1;
    AddVariants(doc);
    FixedClock clock{LocalDateTime{}};
    bool sound = false;
    take(PlatformHeaderText(doc, clock, sound));
    take(MainFileText(doc, clock, true));
    take(MainFileText(doc, clock, false));
    // The C headers that the program includes: their file-scope names.
    EmbeddedResources resources;
    for (int id : {352, 362}) {
        auto bytes = resources.Find(id);
        std::string_view text(reinterpret_cast<const char *>(bytes.data()), bytes.size());
        WalkC(text, [&](const std::string &ident, int braces, int parens) {
            if (braces == 0 && parens == 0)
                names.insert(ident);
        });
    }
    return names;
}

std::vector<std::string> CodeIdentifiers(std::string_view text)
{
    std::vector<std::string> out;
    WalkC(text, [&](const std::string &id, int, int) { out.push_back(id); });
    return out;
}

const std::set<std::string> &GeneratedNames()
{
    // Working the names out takes more than every other step of a generate
    // together, so they are kept in the tree; a test keeps them current.
    static const char *const table[] = {
#include "check/generatednames.inc"
    };
    static const std::set<std::string> names(std::begin(table), std::end(table));
    return names;
}

std::set<std::string> DerivedNames(const CKivoDoc &doc, const CCodeObject &o)
{
    std::set<std::string> names;
    const IKind *kind = FindKind(o.m_nKind);
    if (!kind || o.m_strName.empty())
        return names;
    FixedClock clock{LocalDateTime{}};
    GenContext ctx{doc, clock};
    std::string text;
    // A copy: a kind may tidy its own object in the project while it writes
    // (the RGB LED string's colour), and a check changes nothing.
    const CCodeObject copy = o;
    kind->PlatformBlock(ctx, copy, text);
    kind->DeclarationBlock(ctx, copy, text);
    kind->SetupBlock(ctx, copy, text);
    kind->LoopBlock(ctx, copy, text);
    for (auto &id : CodeIdentifiers(text))
        if (id.rfind(o.m_strName, 0) == 0)
            names.insert(id);
    names.insert(o.m_strName);
    return names;
}

bool IsCIdentifier(std::string_view name)
{
    if (name.empty() || !IdentStart(name[0]))
        return false;
    return std::all_of(name.begin(), name.end(), IdentChar);
}

bool IsCKeyword(std::string_view name)
{
    static const std::set<std::string_view> keywords = {
        "auto",
        "break",
        "case",
        "char",
        "const",
        "continue",
        "default",
        "do",
        "double",
        "else",
        "enum",
        "extern",
        "float",
        "for",
        "goto",
        "if",
        "inline",
        "int",
        "long",
        "register",
        "restrict",
        "return",
        "short",
        "signed",
        "sizeof",
        "static",
        "struct",
        "switch",
        "typedef",
        "union",
        "unsigned",
        "void",
        "volatile",
        "while",
        "bool",
        "true",
        "false",
        "NULL",
        "_Bool",
        "_Complex",
        "_Imaginary",
        "_Alignas",
        "_Alignof",
        "_Atomic",
        "_Generic",
        "_Noreturn",
        "_Static_assert",
        "_Thread_local",
        // FlexSpin's C extensions and the C++ words it accepts.
        "__asm",
        "__pasm",
        "__using",
        "__fcache",
        "__this",
        "__class",
        "__try",
        "__catch",
        "__throw",
        "__attribute__",
        "__builtin_alloca",
        "__typeof__",
        "class",
        "this",
        "new",
        "delete",
        "try",
        "catch",
        "throw",
        "template",
        "public",
        "private",
        "protected",
        "operator",
        "namespace",
    };
    return keywords.count(name) != 0;
}

bool IsCompilerBuiltin(std::string_view name)
{
    // Everything with a leading underscore belongs to the compiler and its
    // library (_pinh, _waitms, _clkfreq, _BAUD, ...).
    if (!name.empty() && name[0] == '_')
        return true;
    static const std::array<std::string_view, 7> prefixes = {"P_",      "X_",   "EVENT_", "COGEXEC",
                                                             "HUBEXEC", "ANY_", "INTR_"};
    for (auto p : prefixes)
        if (name.substr(0, p.size()) == p)
            return true;
    static const std::set<std::string_view> registers = {
        "DIRA",  "DIRB",  "OUTA",  "OUTB",  "INA",   "INB",       "PTRA",      "PTRB", "PA",      "PB",      "IJMP1",
        "IJMP2", "IJMP3", "IRET1", "IRET2", "IRET3", "CLOCKMODE", "CLOCKFREQ", "XPPP", "CLKFREQ", "CLKMODE", "HEAPSIZE",
    };
    return registers.count(name) != 0;
}

} // namespace kivo
