#pragma once
// Helpers for the NCO, RGB LED string, smart digital I/O and global filter
// kind tests: an editor opened on its own, the text of one block, pin table
// entries and the FlexSpin compile check.
#include "flexspin.h"
#include "generator/generator.h"
#include "kinds/kind.h"
#include "kivocli.h"
#include "model/projectfile.h"
#include "model/text.h"
#include "objects/editor.h"
#include "objects/objectlist.h"
#include "objects/pinrules.h"
#include "project.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kinds_a {

using namespace kivo;

using test::PressOk;
using test::Project;
using test::Setter;

// An editor opened on a loose object of the project, as a dialog would be.
struct OpenEditor {
    CCodeObject object;
    std::unique_ptr<CEditorModel> editor;

    OpenEditor(Project &p, int kind, int mode = 0, const CCodeObject *from = nullptr)
    {
        if (from)
            object = *from;
        editor = FindKind(kind)->CreateEditor(object, p.doc, mode, p.t.messages);
        editor->Open();
    }
    CEditorModel *operator->() { return editor.get(); }
};

// The text one kind writes for one object into a section.
enum class Section { Platform, Declaration, Setup, Loop };

inline std::string BlockOf(const CKivoDoc &doc, const CCodeObject &o, Section section)
{
    test::TestServices t;
    GenContext ctx{doc, t.clock};
    std::string s;
    const IKind *k = FindKind(o.m_nKind);
    switch (section) {
    case Section::Platform:
        k->PlatformBlock(ctx, o, s);
        break;
    case Section::Declaration:
        k->DeclarationBlock(ctx, o, s);
        break;
    case Section::Setup:
        k->SetupBlock(ctx, o, s);
        break;
    case Section::Loop:
        k->LoopBlock(ctx, o, s);
        break;
    }
    return s;
}

// The pin table entry of one pin, for compact comparisons.
struct PinEntry {
    bool used;
    std::string owner;
    std::string usage;
    bool operator==(const PinEntry &) const = default;
};

inline PinEntry PinOf(const CKivoDoc &doc, int pin)
{
    return {doc.m_bPinUsed[pin], doc.m_strPinOwner[pin], doc.m_strPinUsage[pin]};
}

inline std::ostream &operator<<(std::ostream &os, const PinEntry &e)
{
    return os << "{" << (e.used ? "used" : "free") << ", \"" << e.owner << "\", \"" << e.usage << "\"}";
}

#define KINDS_A_REQUIRE_FLEXSPIN(var) KIVO_REQUIRE_FLEXSPIN(var)

// Generates the project and compiles Blink.c with FlexSpin in its folder.
inline void ExpectCompiles(const std::string &flexspin, Project &p, const std::string &label)
{
    p.Generate();
    auto r = test::CompileP2(flexspin, p.dir.Path(), "Blink.c");
    EXPECT_TRUE(r.Ok()) << label << "\n" << r.output << "\n--- Blink.c ---\n" << p.MainFile();
}

using Cli = test::KivoCli;

} // namespace kinds_a
