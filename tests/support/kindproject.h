#pragma once
// A project in a temporary folder for the kind tests, with editor runners
// that set fields the way a user does and then press OK.
#include "generator/generator.h"
#include "model/projectfile.h"
#include "objects/editor.h"
#include "objects/objectlist.h"
#include "testsupport.h"

#include <functional>

namespace kivo::test {

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
        ASSERT_TRUE(t.Show(GenerateProject(doc, t.services)));
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

// kivo-cli with its own settings folder, on Blink.kivo in a folder of its
// own; a call returns the exit status and keeps both output streams.
struct ProjectCli {
    TempDir dir;
    std::string output;

    std::string File() const { return dir / "Blink.kivo"; }
    int operator()(const std::vector<std::string> &args)
    {
        std::string line = "XDG_CONFIG_HOME=" + Quote(dir / "config") + " " + Quote(KIVO_CLI);
        for (auto &a : args)
            line += " " + Quote(a);
        return RunShell(line, dir / "cli.log", output);
    }
    void New() { ASSERT_EQ((*this)({"new", File()}), 0) << output; }
    std::string Bytes() const { return ReadFileBytes(File()); }
    // The project as the file now holds it.
    void Load(CKivoDoc &doc)
    {
        TestServices t;
        ASSERT_TRUE(OpenProject(File(), doc, t.services));
    }
};

} // namespace kivo::test
