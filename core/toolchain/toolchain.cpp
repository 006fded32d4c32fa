#include "toolchain/toolchain.h"

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

bool RunScript(CKivoDoc &doc, Services &services, const char *script, const char *failure)
{
    std::string folder = doc.GetProjectFolder(services);
    if (folder.empty())
        return false;
    ProcessOutcome outcome = services.processes.Run(ScriptRequest(script, folder));
    if (!outcome.started) {
        services.messages.Show(MessageKind::Plain, Format(failure, outcome.errorCode));
        return false;
    }
    return true;
}

} // namespace

bool CompileProject(CKivoDoc &doc, Services &services)
{
#ifdef _WIN32
    return RunScript(doc, services, "build", "Error running build.bat:  %d");
#else
    return RunScript(doc, services, "build", "Error running build.sh:  %d");
#endif
}

bool LoadProject(CKivoDoc &doc, Services &services)
{
#ifdef _WIN32
    return RunScript(doc, services, "load", "Error running load.bat:  %d");
#else
    return RunScript(doc, services, "load", "Error running load.sh:  %d");
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

bool EditWithFlexProp(CKivoDoc &doc, Services &services)
{
    if (doc.m_strMainFilePath.empty()) {
        services.messages.Show(MessageKind::Plain, "Please Generate Files before invoking FlexProp.");
        return false;
    }
    if (doc.m_strFlexSpinPath.empty()) {
        services.messages.Show(MessageKind::Plain, "Please specify FlexProp path before invoking FlexProp.");
        return false;
    }
    std::string folder = FlexPropFolder(doc.m_strFlexSpinPath);
    if (folder.empty())
        return false;
    ProcessRequest r;
#ifdef _WIN32
    r.program = JoinPath(folder, "FlexProp.exe");
#else
    r.program = JoinPath(folder, "flexprop");
#endif
    // The main-file path is one argument, blanks and all.
    r.args = {doc.m_strMainFilePath};
    r.workingFolder = folder;
    r.wait = false;
    ProcessOutcome outcome = services.processes.Run(r);
    if (!outcome.started) {
        services.messages.Show(MessageKind::Plain, Format("Error running FlexProp:  %d", outcome.errorCode));
        return false;
    }
    return true;
}

} // namespace kivo
