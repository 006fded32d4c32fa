#pragma once
#include "model/codeobject.h"
#include "model/undo.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kivo {

class IProfile;
struct Services;

constexpr int kPinCount = 64;
constexpr int kKindCounterCount = 100;
constexpr const char *kNoProjectPath = "Unable to find project path.";

// One open project: settings, the pin table, the objects and the per-kind
// counters that feed default object names.
class CKivoDoc
{
public:
    CKivoDoc() = default;
    CKivoDoc(const CKivoDoc &) = delete;
    CKivoDoc &operator=(const CKivoDoc &) = delete;

    int32_t m_nHeaderValue = 0;
    std::string m_strClockFreq;
    std::string m_strFlexSpinPath;
    std::string m_strLoadP2Path;
    std::string m_strLibraryPath;
    std::string m_strOptLevel;
    std::string m_strFlexOptions;
    int32_t m_bUseLibraryPath = 0;
    int32_t m_bSetOptLevel = 0;
    int32_t m_bUseFlexOptions = 0;
    int32_t m_bSetHeapSize = 0;
    std::string m_strHeapSize;
    int32_t m_bShowTerminal = 0;
    int32_t m_bUsePlan9 = 0;
    int32_t m_bSetBaud = 0;
    int32_t m_bUseLoadP2Options = 0;
    int32_t m_bWaitOnExit = 0;
    std::string m_strPlan9Path;
    std::string m_strBaud;
    std::string m_strLoadP2Options;
    int32_t m_bMountSd = 0;
    std::string m_strSdClkPin;
    std::string m_strSdCsPin;
    std::string m_strSdMosiPin;
    std::string m_strSdMisoPin;

    // The pin table.
    std::array<bool, kPinCount> m_bPinUsed{};
    std::array<std::string, kPinCount> m_strPinOwner;
    std::array<std::string, kPinCount> m_strPinUsage;
    std::array<std::string, kPinCount> m_strPinNote;

    std::string m_strMainFilePath; // set by the last generation; never stored
    std::array<int32_t, kKindCounterCount> m_nKindCount{};
    std::vector<std::unique_ptr<CCodeObject>> m_objList;

    // The framework's part: the file the project lives in (empty until saved).
    std::string m_strPathName;
    // That file as this document last read or wrote it; never stored.
    std::vector<uint8_t> m_diskBytes;

    // New-project values, with the five tool values read from the profile.
    bool OnNewDocument(IProfile &profile);

    // The project file's name ("Untitled" style titles come from the shell).
    std::string GetTitle() const;
    void SetTitle(std::string title) { m_strTitle = std::move(title); }
    // The title without its extension.
    std::string GetProjectName() const;

    // The folder of the project file. Asks for a save when the project has
    // none (saying why first); "" when there is still no path, which the
    // caller reports as kNoProjectPath.
    std::string GetProjectFolder(Services &services);

    // The refresh broadcast: every attached view updates, the settings form
    // first copying its values into the document.
    using ViewUpdate = std::function<void()>;
    int AddView(ViewUpdate update);
    void RemoveView(int token);
    void UpdateAllViews();

    // Appends an accepted object and raises its kind's counter.
    void AppendObject(std::unique_ptr<CCodeObject> object);

    // The undo and redo steps, and the state last opened or saved.
    CUndoHistory &History() { return m_history; }
    const CUndoHistory &History() const { return m_history; }
    // True when the project holds changes that are not saved.
    bool IsModified() const { return m_history.IsModified(*this); }

private:
    CUndoHistory m_history;
    std::string m_strTitle;
    std::vector<std::pair<int, ViewUpdate>> m_views;
    int m_nextViewToken = 1;
};

// Where a new project's tool folders are looked for on this host.
struct ToolSearch {
    std::string path; // a PATH value
    std::string home; // the user's home folder
    // From the environment (PATH and HOME).
    static ToolSearch FromEnvironment();
};

// A new project as "New" makes it on this host: OnNewDocument, then, except on
// Windows, each tool folder the profile does not hold: the FlexSpin and
// loadp2 folders are those of `flexspin` and `loadp2` found on the search
// path, else empty (the scripts then run them from PATH); the library folder
// is the compiler's "include" folder beside its own folder where that exists;
// the Plan9 folder is the user's home.
void NewProjectForHost(CKivoDoc &doc, IProfile &profile, const ToolSearch &search);

// The default name format of a kind ("Servo%d"), or "" for unknown kinds.
const char *DefaultNameFormat(int32_t kind);
// The name proposed for a new object of `kind` in `doc`: the kind's count
// plus one, or the next number after it that no object's name has.
std::string DefaultObjectName(const CKivoDoc &doc, int32_t kind);

} // namespace kivo
