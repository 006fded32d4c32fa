#include "generator/generator.h"

#include "check/check.h"
#include "generator/library.h"
#include "generator/output.h"
#include "generator/scripts.h"
#include "generator/skeleton.h"
#include "generator/textfile.h"
#include "model/kivodoc.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/profile.h"
#include "platform/services.h"

namespace kivo {

GenerateResult GenerateProject(CKivoDoc &doc, Services &services)
{
    const std::string folder = doc.GetProjectFolder(services);
    if (folder.empty())
        return GenerateResult::NoFolder;
    doc.UpdateAllViews();

    services.profile.SetString("FlexSpinPath", doc.m_strFlexSpinPath);
    services.profile.SetString("LoadP2Path", doc.m_strLoadP2Path);
    services.profile.SetString("LibraryPath", doc.m_strLibraryPath);
    services.profile.SetString("FlexOptions", doc.m_strFlexOptions);
    services.profile.SetString("Plan9Path", doc.m_strPlan9Path);

    const std::string projectName = doc.GetProjectName();
    const std::string mainFileName = projectName + ".c";
    const std::string imageName = projectName + ".binary";

    CGeneratedFolder out(folder, services);
    if (out.WriteScript("build.bat", BuildBat(doc, mainFileName), true) != TextFileResult::Written)
        return GenerateResult::Failed;
    if (out.WriteScript("load.bat", LoadBat(doc, imageName), true) != TextFileResult::Written)
        return GenerateResult::Failed;
#ifndef _WIN32
    if (out.WriteScript("build.sh", BuildSh(doc, mainFileName), false) != TextFileResult::Written)
        return GenerateResult::Failed;
    if (out.WriteScript("load.sh", LoadSh(doc, imageName), false) != TextFileResult::Written)
        return GenerateResult::Failed;
#endif

    bool soundFlag = false;
    if (out.WriteSource("Platform.h", PlatformHeaderText(doc, services.clock, soundFlag)) != TextFileResult::Written)
        return GenerateResult::Failed;

    doc.m_strMainFilePath = JoinPath(folder, mainFileName);
    if (out.WriteSource(mainFileName, MainFileText(doc, services.clock, soundFlag)) != TextFileResult::Written)
        return GenerateResult::Failed;

    // Each file once, however many objects want it.
    for (auto &o : doc.m_objList)
        for (auto &lib : LibraryFilesFor(*o))
            out.WriteLibrary(lib);

    std::string message = "Project files created.";
    for (auto &note : out.Notes())
        message += "\n\n" + note;
    services.messages.Show(MessageKind::Plain, message);
    return GenerateResult::Done;
}

GenerateResult GenerateCheckedProject(CKivoDoc &doc, Services &services, const FindingsHandler &handle)
{
    // The settings form's values reach the document first.
    doc.UpdateAllViews();
    const auto findings = CheckProject(doc);
    bool goOn = true;
    if (!findings.empty() && handle)
        goOn = handle(findings);
    if (HasError(findings) && (!handle || !goOn))
        return GenerateResult::Refused;
    return GenerateProject(doc, services);
}

} // namespace kivo
