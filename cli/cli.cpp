#include "cli.h"
#include "simulate.h"
#include "verify.h"

#include "json.h"

#include "check/check.h"
#include "generator/generator.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "model/text.h"
#include "objects/editor.h"
#include "objects/objectlist.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "platform/projectlock.h"
#include "platform/services.h"
#include "toolchain/toolchain.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <ostream>

namespace kivo {

namespace {

const char *kUsage = "usage: kivo-cli COMMAND FILE.kivo [ARGS...]\n"
                     "commands:\n"
                     "  new FILE.kivo                      create a project with the default settings\n"
                     "  show FILE.kivo [--json]            settings, objects, warnings and pins\n"
                     "  set FILE.kivo KEY=VALUE...         change project settings\n"
                     "  check FILE.kivo [--json]           list the project's errors and warnings\n"
                     "  generate FILE.kivo [--force]       write the project's code into its folder\n"
                     "  compile FILE.kivo                  run the build script\n"
                     "  load FILE.kivo                     run the load script\n"
                     "  kinds [--json]                     list the object kinds and their fields\n"
                     "  add FILE.kivo KIND [KEY=VALUE...]  add an object\n"
                     "  edit FILE.kivo NAME|@N [KEY=VALUE...]  change an object\n"
                     "  delete FILE.kivo NAME|@N           delete an object\n"
                     "  simulate FILE [--time S] [--serial-in TEXT|@FILE] [--trace FILE] [--trace-limit N] [--seed N]\n"
                     "                                     run an image or project on the P2 simulator\n"
                     "  verify FILE.kivo [--time S] [--junit F.xml] [--json]\n"
                     "                                     check each object's promises on the simulated board\n"
                     "  test SCENARIO.yaml... [--junit F.xml]  run scenario files on the simulated board\n";

struct UsageError {
    std::string text;
};

// ---- settings ----

struct SettingKey {
    const char *key;
    std::string CKivoDoc::*text;
    int32_t CKivoDoc::*flag;
};

const SettingKey kSettings[] = {
    {"clock_freq", &CKivoDoc::m_strClockFreq, nullptr},
    {"flex_spin_path", &CKivoDoc::m_strFlexSpinPath, nullptr},
    {"load_p2_path", &CKivoDoc::m_strLoadP2Path, nullptr},
    {"library_path", &CKivoDoc::m_strLibraryPath, nullptr},
    {"opt_level", &CKivoDoc::m_strOptLevel, nullptr},
    {"flex_options", &CKivoDoc::m_strFlexOptions, nullptr},
    {"use_library_path", nullptr, &CKivoDoc::m_bUseLibraryPath},
    {"set_opt_level", nullptr, &CKivoDoc::m_bSetOptLevel},
    {"use_flex_options", nullptr, &CKivoDoc::m_bUseFlexOptions},
    {"set_heap_size", nullptr, &CKivoDoc::m_bSetHeapSize},
    {"heap_size", &CKivoDoc::m_strHeapSize, nullptr},
    {"show_terminal", nullptr, &CKivoDoc::m_bShowTerminal},
    {"use_plan9", nullptr, &CKivoDoc::m_bUsePlan9},
    {"set_baud", nullptr, &CKivoDoc::m_bSetBaud},
    {"use_load_p2_options", nullptr, &CKivoDoc::m_bUseLoadP2Options},
    {"wait_on_exit", nullptr, &CKivoDoc::m_bWaitOnExit},
    {"plan9_path", &CKivoDoc::m_strPlan9Path, nullptr},
    {"baud", &CKivoDoc::m_strBaud, nullptr},
    {"load_p2_options", &CKivoDoc::m_strLoadP2Options, nullptr},
    {"mount_sd", nullptr, &CKivoDoc::m_bMountSd},
    {"sd_clk_pin", &CKivoDoc::m_strSdClkPin, nullptr},
    {"sd_cs_pin", &CKivoDoc::m_strSdCsPin, nullptr},
    {"sd_mosi_pin", &CKivoDoc::m_strSdMosiPin, nullptr},
    {"sd_miso_pin", &CKivoDoc::m_strSdMisoPin, nullptr},
};

std::string Lower(std::string s)
{
    for (auto &c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

std::optional<bool> ParseFlag(const std::string &value)
{
    std::string v = Lower(value);
    if (v == "1" || v == "true" || v == "on")
        return true;
    if (v == "0" || v == "false" || v == "off")
        return false;
    return std::nullopt;
}

std::pair<std::string, std::string> SplitAssignment(const std::string &arg)
{
    auto eq = arg.find('=');
    if (eq == std::string::npos || eq == 0)
        throw UsageError{"expected KEY=VALUE, got '" + arg + "'"};
    return {arg.substr(0, eq), arg.substr(eq + 1)};
}

// ---- JSON ----

// A JSON string literal, as the listings print names and texts.
std::string Quoted(const std::string &s) { return JsonText(s); }

const char *TypeName(FieldType t)
{
    switch (t) {
    case FieldType::Text:
        return "text";
    case FieldType::Integer:
        return "integer";
    case FieldType::ReadOnly:
        return "readout";
    case FieldType::Flag:
        return "flag";
    case FieldType::Choice:
        return "choice";
    case FieldType::Slider:
        return "slider";
    case FieldType::Combo:
        return "combo";
    case FieldType::Button:
        return "button";
    }
    return "text";
}

// ---- project files ----

std::string AbsolutePath(const std::string &path)
{
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

// Prints a core result's text as its message box; the exit code it stands for.
int Report(const Result &r, Services &services)
{
    ShowResult(services.messages, r);
    return r ? kExitOk : kExitFailed;
}

bool Open(const std::string &file, CKivoDoc &doc, Services &services)
{
    return Report(OpenProjectFile(AbsolutePath(file), doc, services), services) == kExitOk;
}

// Opens for a change saved back (or generated from): another command on the
// same project waits until this one is done.
bool OpenLocked(const std::string &file, CKivoDoc &doc, Services &services, ProjectLock &lock)
{
    if (Report(lock.Acquire(AbsolutePath(file)), services) != kExitOk)
        return false;
    return Open(file, doc, services);
}

// Answers the core's questions for a command run with --force: yes without
// asking; without it they are shown and answered no.
class ForcedAnswers : public IMessages
{
public:
    ForcedAnswers(IMessages &inner, bool yes) : m_inner(inner), m_yes(yes) {}
    void Show(MessageKind kind, const std::string &text) override { m_inner.Show(kind, text); }
    bool Ask(MessageKind kind, const std::string &text) override
    {
        if (m_yes)
            return true;
        m_inner.Show(kind, text);
        return false;
    }

private:
    IMessages &m_inner;
    bool m_yes;
};

int SaveBack(CKivoDoc &doc, Services &services)
{
    return Report(SaveProject(doc, doc.m_strPathName, services), services);
}

// ---- commands ----

int CmdNew(const std::vector<std::string> &a, Services &services)
{
    if (a.size() != 2)
        throw UsageError{"new takes one FILE.kivo"};
    std::string path = AbsolutePath(a[1]);
    if (services.files.Exists(path)) {
        services.messages.Show(MessageKind::Plain, path + " already exists.");
        return kExitFailed;
    }
    CKivoDoc doc;
    NewProjectForHost(doc, services.profile, ToolSearch::FromEnvironment());
    return Report(SaveProject(doc, path, services), services);
}

void ShowText(const CKivoDoc &doc, std::ostream &out)
{
    out << "Project: " << doc.GetProjectName() << "\n\nSettings:\n";
    for (auto &s : kSettings) {
        out << "  " << s.key << " = ";
        if (s.text)
            out << doc.*s.text;
        else
            out << (doc.*s.flag ? "on" : "off");
        out << "\n";
    }
    out << "\nObjects:\n";
    for (auto &l : ObjectLines(doc))
        out << "  " << l << "\n";
    out << "\nWarnings:\n";
    for (auto &l : WarningLines(doc))
        out << "  " << l << "\n";
    out << "\nPins:\n";
    const auto pins = ShownPins(doc);
    for (int p = 0; p < kPinCount; ++p) {
        const ShownPin &pin = pins[std::size_t(p)];
        out << "  " << p << "\t" << (pin.used ? "No" : "Yes") << "\t" << pin.owner << "\t" << pin.usage << "\t"
            << pin.note << "\n";
    }
}

void ShowJson(const CKivoDoc &doc, std::ostream &out)
{
    out << "{\n  \"project\": " << Quoted(doc.GetProjectName()) << ",\n  \"settings\": {";
    bool first = true;
    for (auto &s : kSettings) {
        out << (first ? "\n" : ",\n") << "    " << Quoted(s.key) << ": ";
        first = false;
        out << JsonText(s.text ? Json(doc.*s.text) : Json(doc.*s.flag != 0));
    }
    out << "\n  },\n  \"objects\": [";
    for (std::size_t i = 0; i < doc.m_objList.size(); ++i) {
        auto &o = *doc.m_objList[i];
        Json row = Json::object();
        row["index"] = i + 1;
        row["name"] = o.m_strName;
        row["kind"] = o.m_nKind;
        row["label"] = o.GetKindName();
        row["line"] = ObjectLine(o);
        row["valid"] = bool(o.m_bValid);
        out << (i ? ",\n" : "\n") << "    " << JsonLine(row);
    }
    out << "\n  ],\n  \"warnings\": " << JsonLine(WarningLines(doc)) << ",\n  \"pins\": [";
    const auto pins = ShownPins(doc);
    for (int p = 0; p < kPinCount; ++p) {
        const ShownPin &pin = pins[std::size_t(p)];
        Json row = Json::object();
        row["pin"] = p;
        row["free"] = !pin.used;
        row["owner"] = pin.owner;
        row["usage"] = pin.usage;
        row["note"] = pin.note;
        out << (p ? ",\n" : "\n") << "    " << JsonLine(row);
    }
    Json counts = Json::array();
    for (int k = 0; k < kKindCounterCount; ++k)
        counts.push_back(doc.m_nKindCount[k]);
    out << "\n  ],\n  \"kind_counts\": " << JsonText(counts) << "\n}\n";
}

int CmdShow(const std::vector<std::string> &a, Services &services, std::ostream &out)
{
    bool json = false;
    std::vector<std::string> rest;
    for (std::size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "--json")
            json = true;
        else
            rest.push_back(a[i]);
    }
    if (rest.size() != 1)
        throw UsageError{"show takes one FILE.kivo"};
    CKivoDoc doc;
    if (!Open(rest[0], doc, services))
        return kExitFailed;
    if (json)
        ShowJson(doc, out);
    else
        ShowText(doc, out);
    return kExitOk;
}

int CmdSet(const std::vector<std::string> &a, Services &services)
{
    if (a.size() < 3)
        throw UsageError{"set takes FILE.kivo and at least one KEY=VALUE"};
    // Check every assignment before touching the file.
    std::vector<std::pair<const SettingKey *, std::string>> changes;
    for (std::size_t i = 2; i < a.size(); ++i) {
        const auto [key, value] = SplitAssignment(a[i]);
        auto it = std::find_if(std::begin(kSettings), std::end(kSettings),
                               [&key = key](const SettingKey &s) { return key == s.key; });
        if (it == std::end(kSettings))
            throw UsageError{"unknown setting '" + key + "'"};
        if (it->flag && !ParseFlag(value))
            throw UsageError{"setting '" + key + "' takes 0, 1, true, false, on or off, not '" + value + "'"};
        changes.emplace_back(&*it, value);
    }
    CKivoDoc doc;
    ProjectLock lock;
    if (!OpenLocked(a[1], doc, services, lock))
        return kExitFailed;
    for (auto &[s, value] : changes) {
        if (s->text)
            doc.*s->text = value;
        else
            doc.*s->flag = *ParseFlag(value) ? 1 : 0;
    }
    return SaveBack(doc, services);
}

void FindingsJson(const std::vector<Finding> &findings, std::ostream &out)
{
    out << "[";
    for (std::size_t i = 0; i < findings.size(); ++i) {
        auto &f = findings[i];
        Json row = Json::object();
        row["severity"] = f.severity == Severity::Error ? "error" : "warning";
        row["name"] = f.name;
        row["field"] = f.field;
        row["text"] = f.text;
        row["object"] = f.object < 0 ? Json(nullptr) : Json(f.object + 1);
        row["pins"] = Json::array();
        for (int p : f.pins)
            row["pins"].push_back(p);
        if (f.fix == FindingFix::RecomputeNco)
            row["fix"] = "recompute";
        out << (i ? ",\n" : "\n") << "  " << JsonLine(row);
    }
    out << (findings.empty() ? "]\n" : "\n]\n");
}

int CmdCheck(const std::vector<std::string> &a, Services &services, std::ostream &out)
{
    bool json = false;
    std::vector<std::string> rest;
    for (std::size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "--json")
            json = true;
        else
            rest.push_back(a[i]);
    }
    if (rest.size() != 1)
        throw UsageError{"check takes one FILE.kivo"};
    CKivoDoc doc;
    if (!Open(rest[0], doc, services))
        return kExitFailed;
    auto findings = CheckProject(doc);
    if (json)
        FindingsJson(findings, out);
    else
        for (auto &f : findings)
            out << FindingLine(f) << "\n";
    return HasError(findings) ? kExitFailed : kExitOk;
}

int CmdGenerate(const std::vector<std::string> &a, Services &services)
{
    bool force = false;
    std::vector<std::string> rest;
    for (std::size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "--force")
            force = true;
        else
            rest.push_back(a[i]);
    }
    if (rest.size() != 1)
        throw UsageError{"generate takes one FILE.kivo and optionally --force"};
    CKivoDoc doc;
    ProjectLock lock;
    if (!OpenLocked(rest[0], doc, services, lock))
        return kExitFailed;
    ForcedAnswers answers(services.messages, force);
    Services asking{answers,        services.profile,   services.files,
                    services.clock, services.processes, services.resources,
                    services.saver, services.merger};
    // The checks run first; an error refuses the generation unless forced.
    auto r = GenerateCheckedProject(doc, asking, [&](const std::vector<Finding> &findings) {
        for (auto &f : findings)
            services.messages.Show(f.severity == Severity::Error ? MessageKind::Error : MessageKind::Warning,
                                   f.name + ": " + f.text);
        return force;
    });
    if (r.what == Failure::Refused)
        r.text = "Code not generated: the project has errors. Correct them, or generate with --force.";
    if (r.what == Failure::Declined)
        r.text = "Code not generated: the folder holds another project's generated files. Generate with --force to "
                 "replace them.";
    return Report(r, services);
}

int CmdRun(const std::vector<std::string> &a, Services &services, bool compile)
{
    if (a.size() != 2)
        throw UsageError{a[0] + " takes one FILE.kivo"};
    CKivoDoc doc;
    if (!Open(a[1], doc, services))
        return kExitFailed;
    // The script's status (the compiler's or the loader's) is the command's.
    struct Noting : IProcessRunner {
        explicit Noting(IProcessRunner &inner) : inner(inner) {}
        ProcessOutcome Run(const ProcessRequest &request) override { return last = inner.Run(request); }
        IProcessRunner &inner;
        ProcessOutcome last;
    } noting(services.processes);
    Services run{services.messages,  services.profile, services.files, services.clock, noting,
                 services.resources, services.saver,   services.merger};
    // The question about a missing script is answered No here, so nothing
    // generates; the step is there for hosts that answer Yes.
    auto generate = [&] { return Report(GenerateProject(doc, run), run) == kExitOk; };
    int status = Report(compile ? CompileProject(doc, run, generate) : LoadProject(doc, run, generate), run);
    return status == kExitOk ? noting.last.exitCode : status;
}

// ---- kinds and objects ----

void ListKinds(std::ostream &out, bool json, Services &services)
{
    // A scratch project gives each editor its new-object defaults.
    CKivoDoc doc;
    doc.OnNewDocument(services.profile);
    RecordingMessages quiet;
    if (json)
        out << "[";
    bool firstKind = true;
    for (const IKind *k : AllKinds()) {
        CCodeObject object;
        auto editor = k->CreateEditor(object, doc, 0, quiet);
        if (json) {
            out << (firstKind ? "\n" : ",\n") << "  {\"kind\": " << Quoted(k->CliName()) << ", \"code\": " << k->Code()
                << ", \"label\": " << Quoted(KindLabel(k->Code())) << ", \"fields\": [";
        } else {
            out << k->CliName() << " (" << k->Code() << ", " << KindLabel(k->Code()) << ")\n";
        }
        firstKind = false;
        if (editor) {
            editor->Open();
            bool firstField = true;
            auto emit = [&](const std::string &key, const char *type, const std::string &label, const Json &def,
                            const std::vector<std::string> &options, std::pair<int, int> range, bool slider,
                            const std::vector<std::string> &aliases) {
                if (json) {
                    Json row = Json::object();
                    row["key"] = key;
                    row["type"] = type;
                    row["label"] = label;
                    row["default"] = def;
                    if (slider) {
                        row["min"] = range.first;
                        row["max"] = range.second;
                    }
                    if (!options.empty())
                        row["options"] = options;
                    if (std::any_of(aliases.begin(), aliases.end(), [](auto &a) { return !a.empty(); }))
                        row["aliases"] = aliases;
                    out << (firstField ? "\n" : ",\n") << "    " << JsonLine(row);
                } else {
                    out << "  " << key << " (" << type;
                    if (slider)
                        out << " " << range.first << ".." << range.second;
                    out << ") default " << JsonText(def);
                    if (!options.empty()) {
                        out << "; options:";
                        for (std::size_t i = 0; i < options.size(); ++i) {
                            out << " " << i << "=" << Quoted(options[i]);
                            if (i < aliases.size() && !aliases[i].empty())
                                out << " (" << aliases[i] << ")";
                        }
                    }
                    out << "\n";
                }
                firstField = false;
            };
            emit("name", "text", editor->NameLabel(), editor->Name(), {}, {}, false, {});
            for (auto &f : editor->Fields()) {
                if (f.type == FieldType::Button || f.type == FieldType::ReadOnly)
                    continue;
                Json def;
                switch (f.type) {
                case FieldType::Flag:
                    def = bool(editor->Flag(f.key));
                    break;
                case FieldType::Choice:
                case FieldType::Slider:
                    def = editor->Int(f.key);
                    break;
                default:
                    def = editor->Text(f.key);
                }
                emit(f.key, TypeName(f.type), f.label, def, editor->Options(f.key), editor->SliderRange(f.key),
                     f.type == FieldType::Slider, f.optionAliases);
            }
        }
        if (json)
            out << "\n  ]}";
    }
    if (json)
        out << "\n]\n";
}

int CmdKinds(const std::vector<std::string> &a, Services &services, std::ostream &out)
{
    bool json = a.size() == 2 && a[1] == "--json";
    if (a.size() > 2 || (a.size() == 2 && !json))
        throw UsageError{"kinds takes only --json"};
    ListKinds(out, json, services);
    return kExitOk;
}

// Matches a choice value: its label (any case, trailing colon optional),
// its index, or an alias. Labels come first so that options shown as numbers
// (a filter length of "8") are chosen by what they show.
std::optional<int> MatchOption(const FieldSpec &f, const std::vector<std::string> &options, const std::string &value)
{
    auto norm = [](std::string s) {
        s = Lower(s);
        while (!s.empty() && (s.back() == ' ' || s.back() == ':'))
            s.pop_back();
        while (!s.empty() && s.front() == ' ')
            s.erase(s.begin());
        return s;
    };
    for (std::size_t i = 0; i < options.size(); ++i)
        if (norm(options[i]) == norm(value))
            return int(i);
    if (!value.empty() && value.find_first_not_of("0123456789") == std::string::npos && value.size() < 6) {
        int i = std::stoi(value);
        if (i >= 0 && std::size_t(i) < options.size())
            return i;
        return std::nullopt;
    }
    for (std::size_t i = 0; i < f.optionAliases.size(); ++i)
        if (!f.optionAliases[i].empty() && norm(f.optionAliases[i]) == norm(value))
            return int(i);
    return std::nullopt;
}

// Sets the fields as a user would, in the order given, running each handler.
void ApplyFields(CEditorModel &editor, const std::vector<std::pair<std::string, std::string>> &fields)
{
    for (auto &[key, value] : fields) {
        if (key == "name") {
            if (editor.IsReadOnly("name"))
                throw UsageError{"the name of an existing object cannot be changed"};
            editor.UserSetText("name", value);
            continue;
        }
        const FieldSpec *f = editor.FindField(key);
        if (!f || f->type == FieldType::ReadOnly || f->type == FieldType::Button)
            throw UsageError{"unknown field '" + key + "' for this kind"};
        switch (f->type) {
        case FieldType::Flag: {
            auto v = ParseFlag(value);
            if (!v)
                throw UsageError{"field '" + key + "' takes 0, 1, true, false, on or off, not '" + value + "'"};
            editor.UserSetFlag(key, *v);
            break;
        }
        case FieldType::Choice: {
            auto i = MatchOption(*f, editor.Options(key), value);
            if (!i)
                throw UsageError{"field '" + key + "' has no option '" + value + "'"};
            editor.UserChoose(key, *i);
            break;
        }
        case FieldType::Slider: {
            int v;
            auto [lo, hi] = editor.SliderRange(key);
            if (!ParseToolkitInt(value, v) || v < std::min(lo, hi) || v > std::max(lo, hi))
                throw UsageError{"field '" + key + "' takes a whole number from " + std::to_string(lo) + " to " +
                                 std::to_string(hi) + ", not '" + value + "'"};
            editor.UserSlide(key, v);
            break;
        }
        default:
            editor.UserSetText(key, value);
        }
    }
}

std::vector<std::pair<std::string, std::string>> Assignments(const std::vector<std::string> &a, std::size_t from)
{
    std::vector<std::pair<std::string, std::string>> v;
    for (std::size_t i = from; i < a.size(); ++i)
        v.push_back(SplitAssignment(a[i]));
    return v;
}

// Presses OK once; a refused OK fails the command.
EditorRunner CliRunner(const std::vector<std::pair<std::string, std::string>> &fields, bool &refused)
{
    return [&fields, &refused](CEditorModel &editor) {
        ApplyFields(editor, fields);
        refused = editor.Ok() != OkResult::Accepted;
        return !refused;
    };
}

int CmdAdd(const std::vector<std::string> &a, Services &services)
{
    if (a.size() < 3)
        throw UsageError{"add takes FILE.kivo KIND [KEY=VALUE...]"};
    const IKind *kind = FindKindByName(Lower(a[2]));
    if (!kind)
        throw UsageError{"unknown kind '" + a[2] + "'"};
    auto fields = Assignments(a, 3);
    CKivoDoc doc;
    ProjectLock lock;
    if (!OpenLocked(a[1], doc, services, lock))
        return kExitFailed;
    bool refused = false;
    AddResult r = AddObject(doc, kind->Code(), services.messages, CliRunner(fields, refused));
    if (r != AddResult::Added)
        return kExitFailed;
    return SaveBack(doc, services);
}

std::optional<std::size_t> FindObject(const CKivoDoc &doc, const std::string &ref)
{
    if (ref.size() > 1 && ref[0] == '@' && ref.find_first_not_of("0123456789", 1) == std::string::npos) {
        std::size_t n = ref.size() > 10 ? 0 : std::stoul(ref.substr(1));
        if (n >= 1 && n <= doc.m_objList.size())
            return n - 1;
        return std::nullopt;
    }
    for (std::size_t i = 0; i < doc.m_objList.size(); ++i)
        if (doc.m_objList[i]->m_strName == ref)
            return i;
    return std::nullopt;
}

int CmdEdit(const std::vector<std::string> &a, Services &services)
{
    if (a.size() < 3)
        throw UsageError{"edit takes FILE.kivo NAME|@N [KEY=VALUE...]"};
    auto fields = Assignments(a, 3);
    for (auto &f : fields)
        if (f.first == "name")
            throw UsageError{"the name of an existing object cannot be changed"};
    CKivoDoc doc;
    ProjectLock lock;
    if (!OpenLocked(a[1], doc, services, lock))
        return kExitFailed;
    auto index = FindObject(doc, a[2]);
    if (!index) {
        services.messages.Show(MessageKind::Plain, "No object " + a[2] + " in " + doc.GetTitle() + ".");
        return kExitFailed;
    }
    if (!FindKind(doc.m_objList[*index]->m_nKind)) {
        services.messages.Show(MessageKind::Plain, "Object " + a[2] + " is of an unknown kind and has no editor.");
        return kExitFailed;
    }
    bool refused = false;
    if (!EditObject(doc, *index, services.messages, CliRunner(fields, refused)))
        return kExitFailed;
    return SaveBack(doc, services);
}

int CmdDelete(const std::vector<std::string> &a, Services &services)
{
    if (a.size() != 3)
        throw UsageError{"delete takes FILE.kivo NAME|@N"};
    CKivoDoc doc;
    ProjectLock lock;
    if (!OpenLocked(a[1], doc, services, lock))
        return kExitFailed;
    auto index = FindObject(doc, a[2]);
    if (!index) {
        services.messages.Show(MessageKind::Plain, "No object " + a[2] + " in " + doc.GetTitle() + ".");
        return kExitFailed;
    }
    DeleteObject(doc, *index);
    return SaveBack(doc, services);
}

// Runs the command; RunCli checks what reached `out`.
int RunCommand(const std::vector<std::string> &args, Services &services, std::ostream &out, std::ostream &err)
{
    const std::string &cmd = args[0];
    if (cmd == "new")
        return CmdNew(args, services);
    if (cmd == "show")
        return CmdShow(args, services, out);
    if (cmd == "set")
        return CmdSet(args, services);
    if (cmd == "check")
        return CmdCheck(args, services, out);
    if (cmd == "generate")
        return CmdGenerate(args, services);
    if (cmd == "compile")
        return CmdRun(args, services, true);
    if (cmd == "load")
        return CmdRun(args, services, false);
    if (cmd == "kinds")
        return CmdKinds(args, services, out);
    if (cmd == "add")
        return CmdAdd(args, services);
    if (cmd == "edit")
        return CmdEdit(args, services);
    if (cmd == "delete")
        return CmdDelete(args, services);
    if (cmd == "simulate")
        return CmdSimulate(args, services, out, err);
    if (cmd == "verify")
        return CmdVerify(args, services, out, err);
    if (cmd == "test")
        return CmdTest(args, services, out, err);
    throw UsageError{"unknown command '" + cmd + "'"};
}
} // namespace

Result OpenProjectFile(const std::string &path, CKivoDoc &doc, Services &services)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status))
        return Fail(Failure::ReadFile, path + " is a folder, not a project file.");
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return Fail(Failure::ReadFile, path + " is a device or other special file, not a project file.");
    return OpenProject(path, doc, services);
}

int RunCli(const std::vector<std::string> &args, Services &services, std::ostream &out, std::ostream &err)
{
    try {
        if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
            (args.empty() ? err : out) << kUsage;
            return args.empty() ? kExitUsage : kExitOk;
        }
        int code = RunCommand(args, services, out, err);
        // A listing cut short by a full disk or a closed output is a failure.
        if (!out.flush()) {
            services.messages.Show(MessageKind::Plain, "The standard output cannot be written.");
            if (code == kExitOk)
                code = kExitFailed;
        }
        return code;
    } catch (const UsageError &e) {
        err << "kivo-cli: " << e.text << "\n" << kUsage;
        return kExitUsage;
    }
}

} // namespace kivo
