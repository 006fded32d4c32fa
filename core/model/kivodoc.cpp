#include "model/kivodoc.h"

#include "model/text.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/profile.h"
#include "platform/services.h"

#include <algorithm>
#include <cstdlib>

namespace kivo {

bool CKivoDoc::OnNewDocument(IProfile &profile)
{
    m_strFlexSpinPath = profile.GetString("FlexSpinPath", "C:\\FlexProp\\bin");
    m_strLoadP2Path = profile.GetString("LoadP2Path", "C:\\FlexProp\\bin");
    m_strLibraryPath = profile.GetString("LibraryPath", "C:\\FlexProp\\include");
    m_strFlexOptions = profile.GetString("FlexOptions", "--fixed --fcache=200");
    m_strPlan9Path = profile.GetString("Plan9Path", "C:\\FlexProp\\Plan9");

    m_nHeaderValue = 1;
    m_strClockFreq = "160000000";
    m_strOptLevel = "2";
    m_bUseLibraryPath = m_bSetOptLevel = m_bUseFlexOptions = 0;
    m_bShowTerminal = 1;
    m_bUsePlan9 = 0;
    m_bSetBaud = m_bUseLoadP2Options = 0;
    m_bWaitOnExit = 1;
    m_strBaud = "230400";
    m_strLoadP2Options = "-SINGLE";
    m_bMountSd = 0;
    m_strSdClkPin = "61";
    m_strSdCsPin = "60";
    m_strSdMosiPin = "59";
    m_strSdMisoPin = "58";
    m_bSetHeapSize = 0;
    m_strHeapSize = "8000";
    for (int i = 0; i < kPinCount; ++i) {
        m_bPinUsed[i] = false;
        m_strPinOwner[i].clear();
        m_strPinUsage[i].clear();
        m_strPinNote[i].clear();
    }
    m_bPinUsed[62] = true;
    m_strPinOwner[62] = "Serial";
    m_strPinUsage[62] = "TX";
    m_strPinNote[62] = "Used for Programming the P2 and Standard I/O";
    m_bPinUsed[63] = true;
    m_strPinOwner[63] = "Serial";
    m_strPinUsage[63] = "RX";
    m_strPinNote[63] = "Used for Programming the P2 and stdio";
    m_nKindCount.fill(0);
    m_objList.clear();
    m_history.Clear();
    m_history.MarkSaved(*this);
    return true;
}

std::string CKivoDoc::GetTitle() const
{
    if (!m_strPathName.empty())
        return FileNameOf(m_strPathName);
    return m_strTitle;
}

std::string CKivoDoc::GetProjectName() const
{
    std::string title = GetTitle();
    auto dot = title.rfind('.');
    return dot == std::string::npos ? title : title.substr(0, dot);
}

std::string CKivoDoc::GetProjectFolder(Services &services)
{
    if (m_strPathName.empty()) {
        services.messages.Show(MessageKind::Plain, "Project must be saved first.");
        if (services.saver)
            services.saver->SaveDocument(*this);
    }
    if (m_strPathName.empty())
        return "";
    return ParentFolder(m_strPathName);
}

int CKivoDoc::AddView(ViewUpdate update)
{
    int token = m_nextViewToken++;
    m_views.emplace_back(token, std::move(update));
    return token;
}

void CKivoDoc::RemoveView(int token)
{
    std::erase_if(m_views, [token](auto &v) { return v.first == token; });
}

void CKivoDoc::UpdateAllViews()
{
    // A view may detach while the broadcast runs; walk a copy.
    auto views = m_views;
    for (auto &v : views)
        v.second();
}

void CKivoDoc::AppendObject(std::unique_ptr<CCodeObject> object)
{
    int32_t kind = object->m_nKind;
    m_objList.push_back(std::move(object));
    if (kind >= 0 && kind < kKindCounterCount)
        ++m_nKindCount[kind];
}

ToolSearch ToolSearch::FromEnvironment()
{
    const char *path = std::getenv("PATH");
    const char *home = std::getenv("HOME");
    return {path ? path : "", home ? home : ""};
}

void NewProjectForHost(CKivoDoc &doc, IProfile &profile, const ToolSearch &search)
{
    doc.OnNewDocument(profile);
#ifndef _WIN32
    auto chosen = [&profile](const char *key) { return !profile.GetString(key, "").empty(); };
    std::string flexspin = FindProgramOnPath("flexspin", search.path);
    std::string flexFolder = flexspin.empty() ? "" : ParentFolder(flexspin);
    if (!chosen("FlexSpinPath"))
        doc.m_strFlexSpinPath = flexFolder;
    if (!chosen("LoadP2Path")) {
        std::string loadp2 = FindProgramOnPath("loadp2", search.path);
        doc.m_strLoadP2Path = loadp2.empty() ? "" : ParentFolder(loadp2);
    }
    if (!chosen("LibraryPath")) {
        std::string include = flexFolder.empty() ? "" : JoinPath(ParentFolder(flexFolder), "include");
        doc.m_strLibraryPath = IsFolder(include) ? include : "";
    }
    if (!chosen("Plan9Path"))
        doc.m_strPlan9Path = search.home;
    doc.History().MarkSaved(doc);
#else
    (void)search;
#endif
}

const char *DefaultNameFormat(int32_t kind)
{
    static const char *const formats[kKindCodeCount] = {"SimpleVGA%d", "I2CScan%d",     "Neopixel%d", "NCO_Freq%d",
                                                        "RTC%d",       "SimpleSound%d", "Servo%d",    "SmartPin%d",
                                                        "Filter%d",    "DAC%d",         "ADC%d",      "UsbKbM%d"};
    if (kind < 0 || kind >= kKindCodeCount)
        return "";
    return formats[kind];
}

std::string DefaultObjectName(const CKivoDoc &doc, int32_t kind)
{
    if (kind < 0 || kind >= kKindCodeCount)
        return "";
    std::string fmt = DefaultNameFormat(kind);
    auto pos = fmt.find("%d");
    // The number after the kind's count that no object's name has yet.
    for (int64_t n = int64_t(doc.m_nKindCount[kind]) + 1;; ++n) {
        std::string name = fmt.substr(0, pos) + std::to_string(n) + fmt.substr(pos + 2);
        if (std::none_of(doc.m_objList.begin(), doc.m_objList.end(),
                         [&](const auto &o) { return o->m_strName == name; }))
            return name;
    }
}

} // namespace kivo
