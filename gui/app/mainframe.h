#pragma once
#include <QHash>
#include <QKeySequence>
#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <vector>

class QAction;
class QActionGroup;
class QDockWidget;
class QLabel;
class QMenu;
class QStackedWidget;
class QToolButton;

namespace kivo {

class CBuildPane;
class CChildFrame;
class CScriptRun;
class CTerminalPane;
class CVerifyRun;
struct ProcessOutcome;
struct ProcessRequest;
struct Finding;
class CColorTabBar;
class CKivoApp;
class CKivoDoc;
class CRibbon;

// The main window: our ribbon, the document tabs across the top (one per
// project window), the status bar. Every command is a QAction named by its
// id (app/commands.h) and connected to its slot; the ribbon, the menus and
// the keys use those actions. Application commands go to CKivoApp; the
// others to the active project window and its active tab. Each command is
// enabled where the state it depends on changes: the active window, its
// active tab, the pin grid's selection, the project's history.
class CMainFrame : public QMainWindow
{
    Q_OBJECT
public:
    explicit CMainFrame(CKivoApp &app);
    ~CMainFrame() override;

    CKivoApp &App() const { return m_app; }
    // The command with this id: the main window's own, else the active
    // project window's (the object list's); null when there is none.
    QAction *ActionById(const QString &id) const;
    // The ids of the main window's own commands.
    QStringList ActionIds() const { return m_actionIds; }
    CRibbon *Ribbon() const { return m_ribbon; }
    CColorTabBar *DocumentTabs() const { return m_docTabs; }
    QToolButton *WindowListButton() const { return m_windowList; }
    QLabel *StatusPane(int i) const { return i == 0 ? m_pane1 : m_pane2; }
    // Compile and Load inside Kivo: their output, and the board's terminal
    // (made when first wanted).
    CBuildPane *BuildPane();
    CTerminalPane *TerminalPane();
    // Verify on Simulated Board's run (null before the first).
    CVerifyRun *VerifyRun() const { return m_verify; }
    QDockWidget *BuildDock() const { return m_buildDock; }
    QDockWidget *TerminalDock() const { return m_terminalDock; }

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

    // Runs a command as its button would: only while it is enabled.
    void RunCommand(const QString &id);

    int CurrentLook() const { return m_look; }
    void OnApplicationLook(int id);

protected:
    // Alt shows the ribbon's access keys.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    using Slot = std::function<void()>;
    // A command; one without a slot has no handler and stays disabled.
    QAction *AddCommand(const QString &id, const QString &text, const QList<QKeySequence> &keys, Slot slot);
    void CreateActions();

    // The slots.
    CKivoDoc *ActiveDocument() const;
    void OnFileSave();
    void OnFileSaveAs();
    void OnFileClose();
    void OnFileCloseWindow();
    void OnPrintPinReport();
    void OnUndo(bool undo);
    // True when the files were written.
    bool OnGenerate();
    void OnCompile(bool load);
    // Compile and Load inside Kivo: the run starts in the Build pane.
    ProcessOutcome StartInside(CKivoDoc &doc, bool load, const ProcessRequest &request);
    void RunEnded(CScriptRun *run);
    // A problem's file at its line: in FlexProp where it is set up, else in
    // the desktop's editor.
    void OpenProblem(const CScriptRun &run, const QString &file, int line);
    void OnExternalTerminal();
    // The docks at the start; the panes in them when first shown or used.
    void CreatePanes();
    void FillPanes();
    void OnFlexProp();
    // Run on Simulated Board (mainframe_sim.cpp): the window's tab runs the
    // program; a stale one is compiled first when the tab asks.
    void OnSimulate();
    void CompileThenSimulate(CChildFrame *child);
    // Verify on Simulated Board: off this thread, one run at a time; the
    // verdicts go to the project's object lists.
    void OnVerify();
    void StartVerify(CChildFrame *child);
    // Generates when the project changed, compiles, and calls `then` after
    // a successful build in the Build pane.
    void CompileThen(CChildFrame *child, std::function<void()> then);
    // The clipboard and print commands go to the active tab.
    void OnTabCommand(const QString &id);
    void OnStatusBar();
    void OnWindowManager();
    void OnWindowNew();

    // Enabling, each group where its state changes.
    void ActiveChildChanged();
    void UpdateProjectCommands();
    void UpdateHistoryCommands();
    // The status bar's right pane: the active project's objects and pins.
    void UpdateProjectPane();
    void UpdateTabCommands();
    // Asked before generating a project whose checks found errors.
    bool AskToGenerateAnyway(const std::vector<Finding> &findings);
    void MovePaneFocus(bool forward);
    void FillWindowList();
    void ChildTabChanged();
    void RenumberWindows(CKivoDoc &doc);

    CKivoApp &m_app;
    QHash<QString, QAction *> m_actions;
    QStringList m_actionIds;
    QActionGroup *m_lookGroup = nullptr;
    QMenu *m_styleMenu = nullptr;
    CRibbon *m_ribbon = nullptr;
    CColorTabBar *m_docTabs = nullptr;
    QToolButton *m_windowList = nullptr;
    QStackedWidget *m_pages = nullptr;
    QLabel *m_pane1 = nullptr;
    QLabel *m_pane2 = nullptr;
    QDockWidget *m_buildDock = nullptr;
    QDockWidget *m_terminalDock = nullptr;
    CBuildPane *m_buildPane = nullptr;
    CTerminalPane *m_terminalPane = nullptr;
    CVerifyRun *m_verify = nullptr;
    int m_look = 0;
    bool m_closingAll = false;
    bool m_altAlone = false; // Alt is down, or was tapped, with no other key
};

} // namespace kivo
