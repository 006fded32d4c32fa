#include "generator/generator.h"

#include "check/check.h"
#include "generator/library.h"
#include "generator/output.h"
#include "generator/scripts.h"
#include "generator/skeleton.h"
#include "generator/textfile.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/profile.h"
#include "platform/services.h"

namespace kivo {

namespace {

struct ScriptForm {
    const char *name;
    bool load;
    bool windows; // CR LF in the Windows code page; else UTF-8 as it is
};
constexpr ScriptForm kScripts[] = {
    {"build.bat", false, true}, {"load.bat", true, true}, {"build.sh", false, false}, {"load.sh", true, false}};

std::string ScriptText(const CKivoDoc &doc, const ScriptForm &form)
{
    const std::string projectName = doc.GetProjectName();
    if (form.windows)
        return form.load ? LoadBat(doc, projectName + ".binary") : BuildBat(doc, projectName + ".c");
    return form.load ? LoadSh(doc, projectName + ".binary") : BuildSh(doc, projectName + ".c");
}

// The scenario that runs verify on every object, for `kivo-cli test` in a
// user's CI.
std::string VerifyScenario(const CKivoDoc &doc, const std::string &projectName)
{
    std::string quoted = "\"";
    for (char c : FileNameOf(doc.m_strPathName))
        quoted += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    quoted += "\"";
    const std::string seconds = Format("%g", VerifySeconds(doc));
    return "# What " + projectName + "'s objects promise, checked on the simulated board: after Compile, run\n" +
           "#   kivo-cli test " + projectName + ".verify.yaml\n" +
           "# Generate rewrites this file; copy it to add steps of your own.\n" + "project: " + quoted + "\n" +
           "time: " + seconds + "\n" + "steps:\n" + "  - at: " + seconds + "\n" + "  - verify: all\n";
}

} // namespace

std::optional<std::string> GeneratedScript(const CKivoDoc &doc, const std::string &name)
{
    for (const ScriptForm &form : kScripts) {
        if (name != form.name)
            continue;
        std::string text = ScriptText(doc, form);
        if (!form.windows)
            return text;
        std::string bytes;
        if (EncodeText(text, true, bytes) != std::string::npos)
            return std::nullopt;
        return bytes;
    }
    return std::nullopt;
}

Result GenerateProject(CKivoDoc &doc, Services &services)
{
    const std::string folder = doc.GetProjectFolder(services);
    if (folder.empty())
        return Fail(Failure::NoProjectPath, kNoProjectPath);
    doc.UpdateAllViews();
    if (std::string problem = services.clock.Problem(); !problem.empty())
        return Fail(Failure::BadValue, problem);

    const std::string projectName = doc.GetProjectName();
    const std::string mainFileName = projectName + ".c";

    CGeneratedFolder out(folder, services);
    // Another project's scripts and header in this folder are its build.
    const std::string projectFile = FileNameOf(doc.m_strPathName);
    if (auto other = out.OtherOwner(projectFile)) {
        if (!services.messages.Ask(MessageKind::Warning, "The folder " + folder +
                                                             " holds the generated files of the project " + *other +
                                                             " (build.bat, load.bat, Platform.h). Generating " +
                                                             projectFile + " replaces them, and " + *other +
                                                             " then builds this project's program.\n\nReplace them?"))
            return Fail(Failure::Declined, "");
    }

    // A tool folder goes back to the profile only when it is there: a
    // project from another computer must not spoil every new project.
    auto keepFolder = [&](const char *key, const std::string &value) {
        if (value.empty() || IsFolder(value))
            services.profile.SetString(key, value);
    };
    keepFolder("FlexSpinPath", doc.m_strFlexSpinPath);
    keepFolder("LoadP2Path", doc.m_strLoadP2Path);
    keepFolder("LibraryPath", doc.m_strLibraryPath);
    services.profile.SetString("FlexOptions", doc.m_strFlexOptions);
    keepFolder("Plan9Path", doc.m_strPlan9Path);

    out.SetOwner(projectFile);
    for (const ScriptForm &form : kScripts) {
#ifdef _WIN32
        if (!form.windows)
            continue;
#endif
        // The shell reads paths as the file system holds them: UTF-8.
        if (Result r = out.WriteScript(form.name, ScriptText(doc, form), form.windows, !form.windows); !r)
            return r;
    }

    bool soundFlag = false;
    if (Result r = out.WriteSource("Platform.h", PlatformHeaderText(doc, services.clock, soundFlag)); !r)
        return r;

    doc.m_strMainFilePath = JoinPath(folder, mainFileName);
    if (Result r = out.WriteSource(mainFileName, MainFileText(doc, services.clock, soundFlag)); !r)
        return r;

    if (Result r = out.WriteScript(projectName + ".verify.yaml", VerifyScenario(doc, projectName), false, true); !r)
        return r;

    // Each file once, however many objects want it.
    for (auto &o : doc.m_objList)
        for (auto &lib : LibraryFilesFor(*o))
            if (Result r = out.WriteLibrary(lib); !r)
                return r;

    std::string message = "Project files created.";
    for (auto &note : out.Notes())
        message += "\n\n" + note;
    return Succeed(message);
}

Result GenerateCheckedProject(CKivoDoc &doc, Services &services, const FindingsHandler &handle)
{
    // The settings form's values reach the document first.
    doc.UpdateAllViews();
    const auto findings = CheckProject(doc);
    bool goOn = true;
    if (!findings.empty() && handle)
        goOn = handle(findings);
    if (HasError(findings) && (!handle || !goOn))
        return Fail(Failure::Refused, "");
    return GenerateProject(doc, services);
}

} // namespace kivo
