#pragma once
// Helpers for the NCO, RGB LED string, smart digital I/O and global filter
// kind tests: a project in a temporary folder, an editor opened on its own,
// golden comparison, the FlexSpin compile check and kivo-cli runs.
#include "generator/generator.h"
#include "model/projectfile.h"
#include "model/text.h"
#include "objects/editor.h"
#include "objects/kind.h"
#include "objects/objectlist.h"
#include "objects/pinrules.h"
#include "testsupport.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kinds_a {

using namespace kivo;

// What a user does in an opened editor before pressing OK.
using Setter = std::function<void(CEditorModel &)>;

inline EditorRunner PressOk(Setter set = {})
{
    return [set](CEditorModel &e) {
        if (set)
            set(e);
        return e.Ok() == OkResult::Accepted;
    };
}

// A new project Blink.kivo in a fresh folder.
struct Project {
    test::TempDir dir;
    test::TestServices t;
    CKivoDoc doc;

    Project() { test::NewProject(doc, dir / "Blink.kivo"); }

    AddResult Add(int kind, Setter set = {}) { return AddObject(doc, kind, t.messages, PressOk(std::move(set))); }
    bool Edit(std::size_t index, Setter set = {}) { return EditObject(doc, index, t.messages, PressOk(std::move(set))); }
    CCodeObject &Object(std::size_t index) { return *doc.m_objList.at(index); }
    // The messages shown since the last call, one "Caption: text" line each.
    std::string Said()
    {
        std::string lines;
        for (auto &m : t.messages.shown)
            lines += std::string(CaptionOf(m.kind)) + ": " + m.text + "\n";
        t.messages.shown.clear();
        return lines;
    }

    void Generate()
    {
        t.messages.shown.clear();
        ASSERT_EQ(GenerateProject(doc, t.services), GenerateResult::Done);
    }
    std::string Header() const { return test::ReadFileBytes(dir / "Platform.h"); }
    std::string MainFile() const { return test::ReadFileBytes(dir / "Blink.c"); }

    // Generates and compares Platform.h and Blink.c with the golden folder.
    void ExpectGolden(const std::string &relative)
    {
        Generate();
        test::ExpectGoldenFolder(relative, dir.Path(), {"Platform.h", "Blink.c"});
    }
};

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

// FlexSpin from the FLEXSPIN variable or PATH; "" when there is none.
inline std::string FindFlexSpin()
{
    if (const char *env = std::getenv("FLEXSPIN"); env && *env)
        return std::filesystem::exists(env) ? env : "";
    const char *path = std::getenv("PATH");
    std::string rest = path ? path : "";
    while (!rest.empty()) {
        auto colon = rest.find(':');
        std::string dir = rest.substr(0, colon);
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
        auto candidate = std::filesystem::path(dir.empty() ? "." : dir) / "flexspin";
        if (std::filesystem::exists(candidate))
            return candidate.string();
    }
    return "";
}

inline std::string Quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command line; returns its exit status and fills `output`
// with what it wrote to stdout and stderr.
inline int Run(const std::string &command, const std::string &outputFile, std::string &output)
{
    int status = std::system((command + " >" + Quote(outputFile) + " 2>&1").c_str());
    output = test::ReadFileBytes(outputFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Library files that are still the bare stand-ins of the resources are
// replaced by the test's entry-point fixtures, so that the generated C is
// checked on its own.
inline void ReplaceStandIns(const std::string &folder)
{
    const std::string fixtures = std::string(KIVO_TEST_DATA) + "/kinds_a/drivers";
    for (auto &entry : std::filesystem::directory_iterator(fixtures)) {
        auto target = std::filesystem::path(folder) / entry.path().filename();
        if (!std::filesystem::exists(target))
            continue;
        if (test::ReadFileBytes(target.string()).find("stand-in until the real") == std::string::npos)
            continue;
        std::filesystem::copy_file(entry.path(), target, std::filesystem::copy_options::overwrite_existing);
    }
}

inline bool FlexSpinMissing(std::string &flexspin)
{
    flexspin = FindFlexSpin();
    return flexspin.empty();
}

#define KINDS_A_REQUIRE_FLEXSPIN(var)                                                                                 \
    std::string var;                                                                                                  \
    if (::kinds_a::FlexSpinMissing(var))                                                                              \
    GTEST_SKIP() << "flexspin not found (set FLEXSPIN or put it on PATH); compile check skipped"

// Generates the project and compiles Blink.c with FlexSpin in its folder.
inline void ExpectCompiles(const std::string &flexspin, Project &p, const std::string &label)
{
    p.Generate();
    ReplaceStandIns(p.dir.Path());
    const auto include = std::filesystem::path(flexspin).parent_path() / ".." / "include";
    std::string output;
    int rc = Run("cd " + Quote(p.dir.Path()) + " && " + Quote(flexspin) + " -2 -q -L " + Quote(include.string()) +
                     " Blink.c",
                 p.dir / "flexspin.log", output);
    EXPECT_EQ(rc, 0) << label << "\n" << output << "\n--- Blink.c ---\n" << p.MainFile();
}

// kivo-cli with its own settings folder; returns the exit status.
struct Cli {
    test::TempDir dir;
    std::string output;

    std::string File() const { return dir / "Blink.kivo"; }
    int operator()(const std::vector<std::string> &args)
    {
        std::string line = "XDG_CONFIG_HOME=" + Quote(dir / "config") + " " + Quote(KIVO_CLI);
        for (auto &a : args)
            line += " " + Quote(a);
        return Run(line, dir / "cli.log", output);
    }
    void New() { ASSERT_EQ((*this)({"new", File()}), 0) << output; }
    std::string Bytes() const { return test::ReadFileBytes(File()); }
    // The project as the file now holds it.
    void Load(CKivoDoc &doc)
    {
        test::TestServices t;
        ASSERT_TRUE(OpenProject(File(), doc, t.services));
    }
};

} // namespace kinds_a
