#pragma once
// Helpers for the VGA, sound and USB kind tests: editor runs that set fields
// and press OK, generation into a temporary project, the FlexSpin compile
// check and runs of the real kivo-cli.
#include "generator/generator.h"
#include "model/kivodoc.h"
#include "objects/editor.h"
#include "objects/kind.h"
#include "objects/objectlist.h"
#include "flexspin.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace kivo::kc {

// A field value as a user enters it: text for text and integer fields,
// "0"/"1" for flags, the option index for choices.
using FieldValues = std::vector<std::pair<std::string, std::string>>;

inline void SetFields(CEditorModel &e, const FieldValues &values)
{
    for (auto &[key, value] : values) {
        const FieldSpec *f = e.FindField(key);
        if (key == "name" || !f) {
            e.UserSetText(key, value);
            continue;
        }
        switch (f->type) {
        case FieldType::Flag:
            e.UserSetFlag(key, value == "1");
            break;
        case FieldType::Choice:
            e.UserChoose(key, std::stoi(value));
            break;
        default:
            e.UserSetText(key, value);
        }
    }
}

// Sets the fields and presses OK once; a refusal is followed by Cancel.
inline EditorRunner Press(FieldValues values, std::vector<std::string> *snapshot = nullptr)
{
    return [values = std::move(values), snapshot](CEditorModel &e) {
        SetFields(e, values);
        if (snapshot)
            for (auto &f : e.Fields())
                snapshot->push_back(f.key + "=" +
                                    (f.type == FieldType::Flag     ? std::string(e.Flag(f.key) ? "1" : "0")
                                     : f.type == FieldType::Choice ? std::to_string(e.Int(f.key))
                                                                   : e.Text(f.key)));
        return e.Ok() == OkResult::Accepted;
    };
}

// One pin's entry in the table, for compact comparisons.
inline std::string PinEntry(const CKivoDoc &doc, int p)
{
    return std::string(doc.m_bPinUsed[p] ? "used" : "free") + "|" + doc.m_strPinOwner[p] + "|" +
           doc.m_strPinUsage[p] + "|" + doc.m_strPinNote[p];
}

// The pins held by `owner`, as "pin:usage" in ascending order.
inline std::vector<std::string> PinsOwnedBy(const CKivoDoc &doc, const std::string &owner)
{
    std::vector<std::string> v;
    for (int p = 0; p < kPinCount; ++p)
        if (doc.m_bPinUsed[p] && doc.m_strPinOwner[p] == owner)
            v.push_back(std::to_string(p) + ":" + doc.m_strPinUsage[p]);
    return v;
}

// A project Blink.kivo in its own temporary folder.
struct Project {
    test::TempDir dir;
    test::TestServices t;
    CKivoDoc doc;
    Project() { test::NewProject(doc, dir / "Blink.kivo"); }

    AddResult Add(int kind, FieldValues values = {})
    {
        return AddObject(doc, kind, t.messages, Press(std::move(values)));
    }
    bool Edit(std::size_t index, FieldValues values = {})
    {
        return EditObject(doc, index, t.messages, Press(std::move(values)));
    }
    void Generate()
    {
        ASSERT_TRUE(t.Show(GenerateProject(doc, t.services)));
    }
    CCodeObject &Object(std::size_t i) { return *doc.m_objList.at(i); }
    std::vector<ShownMessage> TakeMessages()
    {
        auto m = std::move(t.messages.shown);
        t.messages.shown.clear();
        return m;
    }
};

// ---- FlexSpin ----

#define KC_COMPILE_CHECK(folder)                                                                                       \
    do {                                                                                                               \
        KIVO_REQUIRE_FLEXSPIN(flexspin_);                                                                              \
        auto r_ = ::kivo::test::CompileP2(flexspin_, folder, "Blink.c");                                     \
        EXPECT_TRUE(r_.Ok()) << r_.output;                                                                               \
    } while (0)

// ---- kivo-cli ----

struct CliRun {
    int code = -1;
    std::string out, err;
};

// Runs the real kivo-cli with a configuration folder of its own.
inline CliRun RunKivoCli(const test::TempDir &dir, const std::vector<std::string> &args)
{
    std::string cmd = "XDG_CONFIG_HOME=" + test::Quote(dir / "config") + " " + test::Quote(KIVO_CLI);
    for (auto &a : args)
        cmd += " " + test::Quote(a);
    cmd += " > " + test::Quote(dir / "cli.out") + " 2> " + test::Quote(dir / "cli.err") + " </dev/null";
    CliRun r;
    int status = std::system(cmd.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = test::ReadFileBytes(dir / "cli.out");
    r.err = test::ReadFileBytes(dir / "cli.err");
    return r;
}

} // namespace kivo::kc
