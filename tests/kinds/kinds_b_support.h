#pragma once
// Helpers for the DAC, ADC, I2C bus and RTC kind tests: a project in a
// temporary folder, editor runners, golden comparison, the FlexSpin compile
// check and kivo-cli runs.
#include "generator/generator.h"
#include "model/projectfile.h"
#include "objects/editor.h"
#include "objects/kind.h"
#include "objects/objectlist.h"
#include "testsupport.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kinds_b {

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

    void Generate()
    {
        t.messages.shown.clear();
        ASSERT_EQ(GenerateProject(doc, t.services), GenerateResult::Done);
    }
    std::string MainFile() const { return test::ReadFileBytes(dir / "Blink.c"); }

    // Generates and compares Platform.h and Blink.c with the golden folder.
    void ExpectGolden(const std::string &relative)
    {
        Generate();
        test::ExpectGoldenFolder(relative, dir.Path(), {"Platform.h", "Blink.c"});
    }
};

inline std::size_t CountOf(const std::string &text, const std::string &part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
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
    const std::string fixtures = std::string(KIVO_TEST_DATA) + "/kinds_b/drivers";
    for (auto &entry : std::filesystem::directory_iterator(fixtures)) {
        auto target = std::filesystem::path(folder) / entry.path().filename();
        if (!std::filesystem::exists(target))
            continue;
        if (test::ReadFileBytes(target.string()).find("stand-in until the real") == std::string::npos)
            continue;
        std::filesystem::copy_file(entry.path(), target, std::filesystem::copy_options::overwrite_existing);
    }
}

// Generates the project and compiles Blink.c with FlexSpin in its folder.
// Skips when FlexSpin is not found.
inline void ExpectCompiles(Project &p)
{
    const std::string flexspin = FindFlexSpin();
    if (flexspin.empty())
        GTEST_SKIP() << "flexspin not found (set FLEXSPIN or put it on PATH); compile check skipped";
    p.Generate();
    ReplaceStandIns(p.dir.Path());
    const auto include = std::filesystem::path(flexspin).parent_path() / ".." / "include";
    std::string output;
    int rc = Run("cd " + Quote(p.dir.Path()) + " && " + Quote(flexspin) + " -2 -q -L " + Quote(include.string()) +
                     " Blink.c",
                 p.dir / "flexspin.log", output);
    EXPECT_EQ(rc, 0) << output << "\n--- Blink.c ---\n" << p.MainFile();
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

} // namespace kinds_b
