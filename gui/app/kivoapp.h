#pragma once
#include "app/qtplatform.h"
#include "gitmerge.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/resources.h"
#include "platform/services.h"

#include <QObject>
#include <QStringList>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace kivo {

class CKivoDoc;
class CMainFrame;

constexpr int kRecentFileCount = 4;
constexpr int kRecentFileShownChars = 30;
// How long a save or a generation waits while another program (kivo-cli)
// changes the project before saying that it is in use. The window does not
// answer meanwhile, so not for long: a command holds the project for a
// moment.
constexpr std::chrono::milliseconds kProjectLockWait{1000};

// A path cut to at most `maxChars` characters for a menu: the start and the
// end kept, "..." in between, the file name kept whole where it fits.
QString AbbreviatePath(const QString &path, int maxChars = kRecentFileShownChars);

// The application: the platform services, the open projects, the recent
// files, and the application-level commands (new, open, save, about, exit).
class CKivoApp : public QObject, public IDocumentSaver
{
    Q_OBJECT
public:
    explicit CKivoApp(const std::string &profilePath = FileProfile::DefaultPath());
    ~CKivoApp() override;

    // Creates and shows the main frame and carries out the command line (no
    // argument: a new project; a path: that project, and when it does not
    // open, its message over an empty frame). False when the program should
    // end at once.
    bool Start(const QStringList &args);

    CMainFrame *Frame() const { return m_frame.get(); }
    Services &GetServices() { return m_services; }
    IProfile &Profile() { return m_profile; }
    CQtMessages &Messages() { return m_messages; }
    CQtProcessRunner &Processes() { return m_processes; }
    const std::vector<std::unique_ptr<CKivoDoc>> &Documents() const { return m_docs; }

    // New project titled Kivo1, Kivo2...
    CKivoDoc *NewProject();
    // Opens a project file, or brings it to the front when it is open.
    CKivoDoc *OpenPath(const QString &path);
    void OnFileOpen();
    void OnRecentFile(int index);
    // "Save" and "Save As..." on a project. A save holds the project's lock
    // (ProjectLock) while it writes, and asks before it replaces a file that
    // another program changed since the project was opened or saved here.
    bool Save(CKivoDoc &doc);
    bool SaveAs(CKivoDoc &doc);
    // IDocumentSaver: the Save command of a project without a file.
    void SaveDocument(CKivoDoc &doc) override;
    // Closes every window of the project, asking first when it has unsaved
    // changes; false when the user cancelled.
    bool CloseDocument(CKivoDoc &doc);
    // Save / Discard / Cancel for a project with unsaved changes: true when
    // it was saved or its changes may go, false on Cancel or a failed save.
    bool SaveModified(CKivoDoc &doc);
    // The frame closed the project's last window.
    void DocumentClosed(CKivoDoc &doc);
    void OnAbout();

    QStringList RecentFiles();

private:
    bool SaveTo(CKivoDoc &doc, const std::string &path);
    void AddRecent(const QString &path);
    void RemoveRecent(const QString &path);
    void StoreRecent(const QStringList &files);
    void ShowRecent();

    CQtMessages m_messages;
    FileProfile m_profile;
    DiskFileSystem m_files;
    SystemClock m_clock;
    CQtProcessRunner m_processes;
    EmbeddedResources m_resources;
    GitTextMerger m_merger;
    Services m_services;
    std::vector<std::unique_ptr<CKivoDoc>> m_docs;
    std::unique_ptr<CMainFrame> m_frame;
    int m_untitled = 0;
};

} // namespace kivo
