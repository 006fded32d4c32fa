#include "toolchain/toolchain.h"

#include "generator/generator.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "platform/services.h"

namespace kivo {

ProcessRequest ScriptRequest(const std::string &scriptBaseName, const std::string &folder)
{
    ProcessRequest r;
#ifdef _WIN32
    r.program = "cmd.exe";
    r.args = {"/C", scriptBaseName + ".bat"};
#else
    r.program = "sh";
    r.args = {scriptBaseName + ".sh"};
#endif
    r.workingFolder = folder;
    r.wait = true;
    return r;
}

namespace {

#ifdef _WIN32
constexpr const char *kScriptSuffix = ".bat";
constexpr const char *kCompiler = "FlexSpin.exe";
constexpr const char *kLoader = "loadp2.exe";
#else
constexpr const char *kScriptSuffix = ".sh";
constexpr const char *kCompiler = "flexspin";
constexpr const char *kLoader = "loadp2";
#endif
constexpr const char *kNoFlexPropPath = "Please specify FlexProp path before invoking FlexProp.";

// Where the script finds its program: in the folder setting, or on PATH
// when the setting is empty. "" when it is there, else the message.
std::string MissingTool(const std::string &folder, const char *program, const char *what, const char *setting,
                        Services &services)
{
    if (folder.empty()) {
        std::string path = ToolSearch::FromEnvironment().path;
        if (!FindProgramOnPath(program, path).empty())
            return "";
        return std::string(what) + " " + program + " was not found on PATH (" + path + ").\nSet the " + setting +
               " on the \"P2 & FlexSpin\" tab, then Generate again.";
    }
    if (services.files.Exists(JoinPath(folder, program)))
        return "";
    return std::string(what) + " " + program + " was not found in the folder " + folder + ".\nSet the " + setting +
           " on the \"P2 & FlexSpin\" tab, then Generate again.";
}

// Whether the script in the folder is the one Generate would write now: the
// settings it was written for are the project's.
bool ScriptIsCurrent(const CKivoDoc &doc, Services &services, const std::string &path, const std::string &name)
{
    std::optional<std::string> bytes = GeneratedScript(doc, name);
    return bytes && services.files.HasContent(path, bytes->data(), bytes->size());
}

Result RunScript(CKivoDoc &doc, Services &services, const char *script, const char *failure,
                 const GenerateStep &generate, bool load)
{
    std::string folder = doc.GetProjectFolder(services);
    if (folder.empty())
        return Fail(Failure::NoProjectPath, kNoProjectPath);
    // The settings as typed are the ones compared and checked.
    doc.UpdateAllViews();
    const std::string file = std::string(script) + kScriptSuffix;
    if (!services.files.Exists(JoinPath(folder, file))) {
        // A question, not a report: the answer decides what happens next.
        if (!services.messages.Ask(MessageKind::Plain, file + " is not in the project folder " + folder +
                                                           ".\nGenerate the project's files first?"))
            return Fail(Failure::Declined, "");
        // The generation has shown its own outcome.
        if (!generate || !generate() || !services.files.Exists(JoinPath(folder, file)))
            return Fail(Failure::Declined, "");
    }
    std::string missing =
        load ? MissingTool(doc.m_strLoadP2Path, kLoader, "The loader", "loadp2 folder", services)
             : MissingTool(doc.m_strFlexSpinPath, kCompiler, "The compiler", "FlexSpin folder", services);
    if (!missing.empty())
        return Fail(Failure::ToolMissing, missing);
    if (!ScriptIsCurrent(doc, services, JoinPath(folder, file), file)) {
        // The tools were checked for the settings as they are now, and the
        // script must use the same ones.
        if (!services.messages.Ask(MessageKind::Plain,
                                   file + " in the project folder " + folder +
                                       " was generated for other settings than the project's.\nGenerate the "
                                       "project's files first?"))
            return Fail(Failure::Declined, "");
        if (!generate || !generate())
            return Fail(Failure::Declined, "");
    }
    ProcessRequest request = ScriptRequest(script, folder);
    ProcessOutcome outcome = services.processes.Run(request);
    if (!outcome.started)
        return Fail(Failure::StartFailed,
                    Format(failure, outcome.errorCode) + "\n" + file + ": " + ErrorText(outcome.errorCode),
                    CauseFromErrno(outcome.errorCode));
    return Succeed();
}

} // namespace

Result CompileProject(CKivoDoc &doc, Services &services, const GenerateStep &generate)
{
#ifdef _WIN32
    return RunScript(doc, services, "build", "Error running build.bat:  %d", generate, false);
#else
    return RunScript(doc, services, "build", "Error running build.sh:  %d", generate, false);
#endif
}

Result LoadProject(CKivoDoc &doc, Services &services, const GenerateStep &generate)
{
    // The terminal stays open: loadp2's own message (no board found) is the
    // only account of what happened.
#ifdef _WIN32
    return RunScript(doc, services, "load", "Error running load.bat:  %d", generate, true);
#else
    return RunScript(doc, services, "load", "Error running load.sh:  %d", generate, true);
#endif
}

std::string FlexPropFolder(const std::string &flexSpinPath)
{
    // Characters, not bytes: a path ending in non-ASCII must not be split.
    std::size_t chars = 0;
    for (char c : flexSpinPath)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++chars;
    if (chars <= 4)
        return "";
    std::size_t keep = chars - 4, i = 0, seen = 0;
    for (; i < flexSpinPath.size(); ++i) {
        if ((static_cast<unsigned char>(flexSpinPath[i]) & 0xC0) != 0x80) {
            if (seen == keep)
                break;
            ++seen;
        }
    }
    return flexSpinPath.substr(0, i);
}

Result EditWithFlexProp(CKivoDoc &doc, Services &services)
{
    if (doc.m_strMainFilePath.empty())
        return Fail(Failure::NotGenerated, "Please Generate Files before invoking FlexProp.");
    ProcessRequest r;
#ifdef _WIN32
    if (doc.m_strFlexSpinPath.empty())
        return Fail(Failure::ToolMissing, kNoFlexPropPath);
    std::string folder = FlexPropFolder(doc.m_strFlexSpinPath);
    if (folder.empty())
        return Fail(Failure::ToolMissing, "");
    r.program = JoinPath(folder, "FlexProp.exe");
#else
    // The launcher above the FlexSpin folder, else the one on PATH.
    std::string folder = FlexPropFolder(doc.m_strFlexSpinPath);
    const std::string beside = folder.empty() ? "" : JoinPath(folder, "flexprop");
    r.program = beside;
    if (beside.empty() || !services.files.Exists(beside)) {
        r.program = FindProgramOnPath("flexprop", ToolSearch::FromEnvironment().path);
        folder = r.program.empty() ? "" : ParentFolder(r.program);
    }
    if (r.program.empty() && doc.m_strFlexSpinPath.empty())
        return Fail(Failure::ToolMissing, kNoFlexPropPath);
    // A folder set that leads nowhere: say where FlexProp was looked for.
    if (r.program.empty())
        return Fail(Failure::ToolMissing,
                    "FlexProp was not found: " +
                        (beside.empty() ? "the FlexSpin folder " + doc.m_strFlexSpinPath + " has no folder above it"
                                        : "there is no " + beside) +
                        ", and no flexprop is on PATH.\nSet the FlexSpin folder on the \"P2 & FlexSpin\" tab to "
                        "the bin folder beside FlexProp.");
#endif
    // The main-file path is one argument, blanks and all.
    r.args = {doc.m_strMainFilePath};
    r.workingFolder = folder;
    r.wait = false;
    ProcessOutcome outcome = services.processes.Run(r);
    if (!outcome.started)
        return Fail(Failure::StartFailed,
                    "FlexProp could not be started: " + ErrorText(outcome.errorCode) + ".\nThe program tried was " +
                        r.program + ".",
                    CauseFromErrno(outcome.errorCode));
    return Succeed();
}

} // namespace kivo
