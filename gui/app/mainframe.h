#pragma once
#include <QMainWindow>
#include <QMap>

#include <vector>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QStackedWidget;
class QToolButton;

namespace kivo {

class CChildFrame;
struct Finding;
class CColorTabBar;
class CKivoApp;
class CKivoDoc;
class CRibbon;

// The main window: our ribbon, the document tabs across the top (one per
// project window), the status bar. Application commands go to CKivoApp; the
// others to the active project window and its active tab.
class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    explicit CMainFrame(CKivoApp &app);
    ~CMainFrame() override;

    CKivoApp &App() const { return m_app; }
    QAction *Action(int id) const;
    CRibbon *Ribbon() const { return m_ribbon; }
    CColorTabBar *DocumentTabs() const { return m_docTabs; }
    QToolButton *WindowListButton() const { return m_windowList; }
    QLabel *StatusPane(int i) const { return i == 0 ? m_pane1 : m_pane2; }

    // Project windows.
    void OpenWindow(CKivoDoc &doc);
    CChildFrame *ActiveChild() const;
    QList<CChildFrame *> Children() const;
    void ActivateChild(CChildFrame *child);
    void ActivateDocument(CKivoDoc &doc);
    // Closes a project window. Closing a project's last window asks Save /
    // Discard / Cancel when it has unsaved changes (unless `ask` is false);
    // false when the user cancelled.
    bool CloseChild(CChildFrame *child, bool ask = true);
    void CloseDocumentWindows(CKivoDoc &doc);
    void CloseAllWindows();
    // Asks about every project with unsaved changes; false when the user
    // cancelled.
    bool ConfirmCloseAll();
    void UpdateTitles();
    void SetRecentFiles(const QStringList &shown);

    // Runs a command as its button would.
    void RunCommand(int id);
    // Enables, disables and checks the commands as the state asks.
    void UpdateCommandUI();

    int CurrentLook() const { return m_look; }
    void OnApplicationLook(int id);

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QAction *MakeAction(int id, const QString &text, bool checkable = false);
    void CreateActions();
    void OnCommand(int id);
    // Asked before generating a project whose checks found errors.
    bool AskToGenerateAnyway(const std::vector<Finding> &findings);
    void MovePaneFocus(bool forward);
    void FillWindowList();
    void ChildTabChanged();
    void RenumberWindows(CKivoDoc &doc);

    CKivoApp &m_app;
    QMap<int, QAction *> m_actions;
    QActionGroup *m_lookGroup = nullptr;
    QMenu *m_styleMenu = nullptr;
    CRibbon *m_ribbon = nullptr;
    CColorTabBar *m_docTabs = nullptr;
    QToolButton *m_windowList = nullptr;
    QStackedWidget *m_pages = nullptr;
    QLabel *m_pane1 = nullptr;
    QLabel *m_pane2 = nullptr;
    int m_look = 0;
    bool m_closingAll = false;
};

} // namespace kivo
