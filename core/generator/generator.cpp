#include "generator/generator.h"

#include "generator/library.h"
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

    if (WriteTextFile(JoinPath(folder, "build.bat"), BuildBat(doc, mainFileName), services) != TextFileResult::Written)
        return GenerateResult::Failed;
    if (WriteTextFile(JoinPath(folder, "load.bat"), LoadBat(doc, imageName), services) != TextFileResult::Written)
        return GenerateResult::Failed;
#ifndef _WIN32
    if (WriteTextFile(JoinPath(folder, "build.sh"), BuildSh(doc, mainFileName), services, false) !=
        TextFileResult::Written)
        return GenerateResult::Failed;
    if (WriteTextFile(JoinPath(folder, "load.sh"), LoadSh(doc, imageName), services, false) !=
        TextFileResult::Written)
        return GenerateResult::Failed;
#endif

    bool soundFlag = false;
    std::string path = JoinPath(folder, "Platform.h");
    services.files.Rename(path, path + ".bak");
    if (WriteTextFile(path, PlatformHeaderText(doc, services.clock, soundFlag), services) != TextFileResult::Written)
        return GenerateResult::Failed;

    path = JoinPath(folder, mainFileName);
    doc.m_strMainFilePath = path;
    services.files.Rename(path, path + ".bak");
    if (WriteTextFile(path, MainFileText(doc, services.clock, soundFlag), services) != TextFileResult::Written)
        return GenerateResult::Failed;

    for (auto &o : doc.m_objList)
        for (auto &lib : LibraryFilesFor(*o))
            WriteResourceFile(lib.resourceId, JoinPath(folder, lib.fileName), services.resources, services.files);

    services.messages.Show(MessageKind::Plain, "Project files created.");
    return GenerateResult::Done;
}

} // namespace kivo
