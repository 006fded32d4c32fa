#pragma once
// Helpers for the VGA, sound and USB kind tests: editor runs that set fields
// and press OK, generation into a temporary project, the FlexSpin compile
// check and runs of the real kivo-cli.
#include "generator/generator.h"
#include "model/kivodoc.h"
#include "objects/editor.h"
#include "objects/kind.h"
#include "objects/objectlist.h"
#include "testsupport.h"

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
        ASSERT_EQ(GenerateProject(doc, t.services), GenerateResult::Done);
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

inline std::string FindFlexSpin()
{
    if (const char *env = std::getenv("FLEXSPIN"); env && *env && std::filesystem::exists(env))
        return env;
    if (const char *path = std::getenv("PATH")) {
        std::stringstream ss(path);
        std::string dir;
        while (std::getline(ss, dir, ':')) {
            auto candidate = std::filesystem::path(dir.empty() ? "." : dir) / "flexspin";
            if (std::filesystem::exists(candidate))
                return candidate.string();
        }
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

inline int ExitCode(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The library files in resources/ are bare stand-ins until the real drivers
// land; a stand-in written into `folder` is replaced by a fixture that only
// declares the entry points the generated code calls. Returns the names
// replaced.
inline std::vector<std::string> OverlayStandInDrivers(const std::string &folder)
{
    std::vector<std::string> replaced;
    const std::string fixtures = std::string(KIVO_TEST_DATA) + "/kinds_c_drivers";
    for (auto &entry : std::filesystem::directory_iterator(fixtures)) {
        std::string name = entry.path().filename().string();
        std::string target = folder + "/" + name;
        if (!std::filesystem::exists(target))
            continue;
        std::string bytes = test::ReadFileBytes(target), narrow;
        for (char c : bytes) // UTF-16 drivers: dropping the zero bytes is enough to spot the marker
            if (c != '\0')
                narrow += c;
        if (narrow.find("stand-in until the real driver lands") == std::string::npos)
            continue;
        std::filesystem::copy_file(entry.path(), target, std::filesystem::copy_options::overwrite_existing);
        replaced.push_back(name);
    }
    return replaced;
}

// Compiles Blink.c in `folder`; returns FlexSpin's exit code, its output in
// `log`.
inline int CompileBlink(const std::string &flexspin, const std::string &folder, std::string &log)
{
    auto include = std::filesystem::path(flexspin).parent_path() / ".." / "include";
    std::string logFile = folder + "/flexspin.log";
    std::string cmd = "cd " + Quote(folder) + " && " + Quote(flexspin) + " -2 -L " + Quote(include.string()) +
                      " Blink.c > " + Quote(logFile) + " 2>&1";
    int rc = ExitCode(std::system(cmd.c_str()));
    log = test::ReadFileBytes(logFile);
    return rc;
}

#define KC_COMPILE_CHECK(folder)                                                                                       \
    do {                                                                                                               \
        std::string flexspin_ = ::kivo::kc::FindFlexSpin();                                                            \
        if (flexspin_.empty())                                                                                         \
            GTEST_SKIP() << "flexspin not found (set FLEXSPIN or put it on PATH)";                                     \
        for (auto &n_ : ::kivo::kc::OverlayStandInDrivers(folder))                                                     \
            std::cout << "[ note ] stand-in " << n_ << " replaced by its entry-point fixture\n";                       \
        std::string log_;                                                                                              \
        EXPECT_EQ(::kivo::kc::CompileBlink(flexspin_, folder, log_), 0) << log_;                                       \
    } while (0)

// ---- kivo-cli ----

struct CliRun {
    int code = -1;
    std::string out, err;
};

// Runs the real kivo-cli with a configuration folder of its own.
inline CliRun RunKivoCli(const test::TempDir &dir, const std::vector<std::string> &args)
{
    std::string cmd = "XDG_CONFIG_HOME=" + Quote(dir / "config") + " " + Quote(KIVO_CLI);
    for (auto &a : args)
        cmd += " " + Quote(a);
    cmd += " > " + Quote(dir / "cli.out") + " 2> " + Quote(dir / "cli.err");
    CliRun r;
    r.code = ExitCode(std::system(cmd.c_str()));
    r.out = test::ReadFileBytes(dir / "cli.out");
    r.err = test::ReadFileBytes(dir / "cli.err");
    return r;
}

} // namespace kivo::kc
