#include "app/mainframe.h"

#include "grid/pinsview.h"

#include "app/buildpane.h"
#include "app/commands.h"
#include "app/dialogs.h"
#include "app/icons.h"
#include "app/kivoapp.h"
#include "app/looks.h"
#include "app/ribbon.h"
#include "check/check.h"
#include "generator/generator.h"
#include "model/kivodoc.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "platform/projectlock.h"
#include "toolchain/toolchain.h"
#include "workspace/colortabbar.h"
#include "workspace/commandtarget.h"
#include "workspace/kivoview.h"
#include "workspace/simboardtab.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace kivo {

namespace {

// The profile's choice of running Compile and Load in a terminal window.
const char *const kExternalTerminalKey = "RunScriptsInTerminal";

QString Escaped(QString text) { return text.replace("&", "&&"); }

// Enabled while there is a project window.
const char *const kProjectCommands[] = {cmd::kFileSave,        cmd::kFileSaveAs,         cmd::kFileClose,
                                        cmd::kFileCloseWindow, cmd::kFilePrintPinReport, cmd::kProjectGenerate,
                                        cmd::kProjectCompile,  cmd::kProjectLoad,        cmd::kProjectFlexProp,
                                        cmd::kWindowNew,       cmd::kProjectSimulate,    cmd::kProjectVerify};
// Enabled while the pin view is the active tab and offers them.
const char *const kTabCommands[] = {cmd::kFilePrint, cmd::kFileQuickPrint, cmd::kFilePrintPreview, cmd::kEditPaste,
                                    cmd::kEditCut,   cmd::kEditCopy,       cmd::kEditSelectAll};

// What each print command does, and the tip of a greyed one.
struct PrintTip {
    const char *id;
    const char *tip;
};
const PrintTip kPrintTips[] = {
    {cmd::kFilePrint, "Print the I/O pin report"},
    {cmd::kFileQuickPrint, "Print the I/O pin report on the default printer"},
    {cmd::kFilePrintPreview, "Preview the I/O pin report"},
};
const char *const kPrintElsewhere = ": only the \"I/O Pin View\" tab prints (Ctrl+P shows it and prints)";

} // namespace

CMainFrame::CMainFrame(CKivoApp &app) : m_app(app)
{
    // The style and palette before the widgets, which then take them as they
    // are made. The ribbon's style sheet comes last (OnApplicationLook): set
    // before the ribbon's widgets, it would be matched again at each one.
    const Look &look = LookFor(m_app.Profile().GetInt("ApplicationLook", kDefaultLook));
    ApplyLookToApplication(look);
    setWindowTitle("Kivo");
    setWindowIcon(AppIcon());
    setAcceptDrops(true);
    // The first size fits the screen the window opens on, frame included.
    QSize first(1100, 780);
    if (QScreen *s = screen()) {
        QRect area = s->availableGeometry();
        first = first.boundedTo(QSize(area.width() - 20, area.height() - 50));
    }
    resize(first);
    CreateActions();

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The ribbon, loaded from our own description of it.
    m_ribbon = new CRibbon([this](const QString &id) { return ActionById(id); }, m_styleMenu, central);
    connect(m_ribbon, &CRibbon::recentChosen, this, [this](int i) { m_app.OnRecentFile(i); });
    layout->addWidget(m_ribbon);
    // Alt with a command's underlined letter runs it from anywhere in the
    // window (the ribbon's buttons do not take mnemonics themselves); Alt+F
    // opens the application menu.
    for (const char *id :
         {cmd::kProjectGenerate, cmd::kProjectCompile, cmd::kProjectLoad, cmd::kProjectFlexProp, cmd::kEditPaste,
          cmd::kEditCut, cmd::kEditCopy, cmd::kEditSelectAll, cmd::kEditUndo, cmd::kEditRedo, cmd::kEditInsertObject,
          cmd::kEditFind, cmd::kEditFindNext, cmd::kEditReplace, cmd::kWindowManage}) {
        const QString command = id;
        auto *key = new QShortcut(QKeySequence::mnemonic(ActionById(command)->text()), this);
        key->setObjectName("keyTip:" + command);
        connect(key, &QShortcut::activated, this, [this, command] { RunCommand(command); });
    }
    auto *appMenuKey = new QShortcut(QKeySequence("Alt+F"), this);
    connect(appMenuKey, &QShortcut::activated, m_ribbon, &CRibbon::ShowAppMenu);
    // Alt shows those letters on the ribbon.
    qApp->installEventFilter(this);

    // Document tabs: coloured, a close button on the active tab, the list of
    // open windows at the right end.
    auto *tabRow = new QHBoxLayout;
    tabRow->setContentsMargins(2, 2, 2, 0);
    m_docTabs = new CColorTabBar(central);
    m_docTabs->setObjectName("documentTabs");
    m_docTabs->setTabsClosable(true);
    m_docTabs->setMovable(true);
    m_docTabs->SetAutoColors(true);
    tabRow->addWidget(m_docTabs, 1);
    m_windowList = new QToolButton(central);
    m_windowList->setObjectName("windowList");
    m_windowList->setArrowType(Qt::DownArrow);
    m_windowList->setToolTip("Open windows");
    m_windowList->setAutoRaise(true);
    m_windowList->setPopupMode(QToolButton::InstantPopup);
    auto *windowMenu = new QMenu(m_windowList);
    connect(windowMenu, &QMenu::aboutToShow, this, &CMainFrame::FillWindowList);
    m_windowList->setMenu(windowMenu);
    tabRow->addWidget(m_windowList);
    layout->addLayout(tabRow);
    m_pages = new QStackedWidget(central);
    m_pages->setObjectName("projectWindows");
    layout->addWidget(m_pages, 1);
    setCentralWidget(central);

    connect(m_docTabs, &QTabBar::currentChanged, this, [this](int index) {
        auto *child = static_cast<CChildFrame *>(m_docTabs->tabData(index).value<void *>());
        if (child)
            m_pages->setCurrentWidget(child);
        ActiveChildChanged();
    });
    connect(m_docTabs, &QTabBar::tabCloseRequested, this,
            [this](int index) { CloseChild(static_cast<CChildFrame *>(m_docTabs->tabData(index).value<void *>())); });

    // Left: "Ready" under the passing messages. Right: what the active
    // project holds.
    m_pane1 = new QLabel("Ready", this);
    m_pane1->setObjectName("statusReady");
    m_pane2 = new QLabel(this);
    m_pane2->setObjectName("statusProject");
    m_pane2->setToolTip("Objects in the active project, and the pins it uses: the pin table's, the objects' "
                        "and the SD card's (the serial pins 62 and 63 included)");
    statusBar()->addWidget(m_pane1, 1);
    statusBar()->addPermanentWidget(m_pane2);
    CreatePanes();

    OnApplicationLook(m_app.Profile().GetInt("ApplicationLook", kDefaultLook));
    ActiveChildChanged();
}

CMainFrame::~CMainFrame()
{
    m_closingAll = true;
    CloseAllWindows();
}

QAction *CMainFrame::AddCommand(const QString &id, const QString &text, const QList<QKeySequence> &keys, Slot slot)
{
    auto *a = new QAction(CommandIcon(id), text, this);
    a->setObjectName(id);
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    if (slot) {
        connect(a, &QAction::triggered, this, std::move(slot));
    } else {
        a->setEnabled(false);
        // The ribbon and the menus leave it out.
        a->setProperty("inactive", true);
    }
    addAction(a);
    m_actions.insert(id, a);
    m_actionIds << id;
    return a;
}

void CMainFrame::CreateActions()
{
    using namespace cmd;
    auto keys = [](std::initializer_list<const char *> names) {
        QList<QKeySequence> out;
        for (const char *name : names)
            out << QKeySequence(name);
        return out;
    };
    auto tab = [this](const char *id) { return [this, id] { OnTabCommand(id); }; };
    AddCommand(kFileNewFrame, "&New Frame", {}, nullptr);
    AddCommand(kFileNew, "&New", keys({"Ctrl+N"}), [this] { m_app.NewProject(); });
    AddCommand(kFileOpen, "&Open...", keys({"Ctrl+O"}), [this] { m_app.OnFileOpen(); });
    AddCommand(kFileSave, "&Save", keys({"Ctrl+S"}), [this] { OnFileSave(); });
    AddCommand(kFileSaveAs, "Save &As...", keys({"Ctrl+Shift+S"}), [this] { OnFileSaveAs(); });
    AddCommand(kFilePrint, "&Print", {}, tab(kFilePrint));
    AddCommand(kFileQuickPrint, "&Quick Print", {}, tab(kFileQuickPrint));
    AddCommand(kFilePrintPreview, "Print Pre&view", {}, tab(kFilePrintPreview));
    AddCommand(kFilePrintSetup, "Print Set&up", {}, nullptr);
    AddCommand(kFileClose, "&Close", {}, [this] { OnFileClose(); });
    AddCommand(kFileExit, "E&xit", keys({"Ctrl+Q"}), [this] { close(); });
    AddCommand(kProjectGenerate, "&Generate Code", keys({"Ctrl+G"}), [this] { OnGenerate(); });
    AddCommand(kProjectCompile, "&Compile", keys({"Ctrl+B"}), [this] { OnCompile(false); });
    AddCommand(kProjectLoad, "&Load P2", keys({"F5"}), [this] { OnCompile(true); });
    AddCommand(kProjectFlexProp, "&Edit code with FlexProp", keys({"Ctrl+E"}), [this] { OnFlexProp(); });
    AddCommand(kProjectSimulate, "Run on Simulated Board", keys({"Ctrl+R"}), [this] { OnSimulate(); });
    AddCommand(kProjectVerify, "Verify on Simulated Board", keys({"Ctrl+Shift+R"}), [this] {
        OnVerify();
    })->setToolTip("Run the compiled program and check each object against what its settings promise");
    QAction *external =
        AddCommand(kProjectExternalTerminal, "Run in Terminal Window", {}, [this] { OnExternalTerminal(); });
    external->setCheckable(true);
    external->setChecked(m_app.Profile().GetInt(kExternalTerminalKey, 0) != 0);
    external->setToolTip("Compile and Load in a terminal window of their own instead of the Build pane");
    for (const char *id : {kViewBuildPane, kViewTerminalPane}) {
        const bool build = id == kViewBuildPane;
        QAction *a = AddCommand(id, build ? "Build Pane" : "Terminal Pane", {}, [this, build] {
            QDockWidget *dock = build ? m_buildDock : m_terminalDock;
            FillPanes();
            dock->setVisible(m_actions.value(build ? cmd::kViewBuildPane : cmd::kViewTerminalPane)->isChecked());
            if (dock->isVisible())
                dock->raise();
        });
        a->setCheckable(true);
    }
    AddCommand(kEditPaste, "&Paste", keys({"Ctrl+V", "Shift+Ins"}), tab(kEditPaste));
    AddCommand(kEditCut, "Cu&t", keys({"Ctrl+X", "Shift+Del"}), tab(kEditCut));
    AddCommand(kEditCopy, "C&opy", keys({"Ctrl+C", "Ctrl+Ins"}), tab(kEditCopy));
    AddCommand(kEditSelectAll, "Select &All", keys({"Ctrl+A"}), tab(kEditSelectAll));
    AddCommand(kEditInsertObject, "&Insert Object...", {}, nullptr);
    QAction *statusBarShown = AddCommand(kViewStatusBar, "Status &Bar", {}, [this] { OnStatusBar(); });
    statusBarShown->setCheckable(true);
    statusBarShown->setChecked(true);
    AddCommand(kViewCaptionBar, "Caption Bar", {}, nullptr)->setCheckable(true);
    AddCommand(kEditFind, "Fi&nd...", {}, nullptr);
    AddCommand(kEditFindNext, "Find Ne&xt", {}, nullptr);
    AddCommand(kEditReplace, "&Replace", {}, nullptr);
    AddCommand(kWindowManage, "&Windows", {}, [this] { OnWindowManager(); });
    AddCommand(kWindowNew, "&New Window", {}, [this] { OnWindowNew(); });
    AddCommand(kHelpAbout, "About", {}, [this] { m_app.OnAbout(); })->setToolTip("About Kivo");
    AddCommand(kEditUndo, "&Undo", keys({"Ctrl+Z", "Alt+Backspace"}), [this] { OnUndo(true); });
    AddCommand(kEditRedo, "Re&do", keys({"Ctrl+Shift+Z", "Ctrl+Y"}), [this] { OnUndo(false); });
    AddCommand(kFileCloseWindow, "Close &Window", keys({"Ctrl+W"}), [this] { OnFileCloseWindow(); });
    AddCommand(kFilePrintPinReport, "Print Pin &Report", keys({"Ctrl+P"}), [this] { OnPrintPinReport(); });
    AddCommand(kWindowNextPane, "Next Pane", keys({"F6"}), [this] { MovePaneFocus(true); });
    AddCommand(kWindowPreviousPane, "Previous Pane", keys({"Shift+F6"}), [this] { MovePaneFocus(false); });
    // The shortcut shows in every tool tip.
    for (QAction *a : std::as_const(m_actions))
        if (!a->shortcut().isEmpty())
            a->setToolTip(QString("%1 (%2)").arg(a->toolTip(), a->shortcut().toString(QKeySequence::NativeText)));

    m_styleMenu = new QMenu(this);
    m_lookGroup = new QActionGroup(this);
    m_lookGroup->setExclusive(true);
    for (const Look &look : OfferedLooks()) {
        const int id = look.id;
        QAction *a = AddCommand(LookCommand(id), look.name, {}, [this, id] { OnApplicationLook(id); });
        a->setIcon(QIcon());
        a->setData(id);
        a->setCheckable(true);
        m_lookGroup->addAction(a);
        m_styleMenu->addAction(a);
    }
}

QAction *CMainFrame::ActionById(const QString &id) const
{
    if (QAction *a = m_actions.value(id, nullptr))
        return a;
    CChildFrame *child = ActiveChild();
    return child ? child->findChild<QAction *>(id) : nullptr;
}

void CMainFrame::RunCommand(const QString &id)
{
    QAction *a = ActionById(id);
    if (a && a->isEnabled())
        a->trigger();
}

// The checks found problems: warnings are listed in the object list and do
// not stop the generation; errors do unless the user says otherwise.
bool CMainFrame::AskToGenerateAnyway(const std::vector<Finding> &findings)
{
    if (!HasError(findings))
        return true;
    QStringList lines;
    int errors = 0;
    for (auto &f : findings) {
        if (f.severity != Severity::Error)
            continue;
        if (++errors <= 8)
            lines << QString::fromStdString(f.name + ": " + f.text);
    }
    if (errors > 8)
        lines << QString("... and %1 more (see the object list's warnings).").arg(errors - 8);
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kAppTitle),
                    QString("The project has %1 error%2, so the generated code would not build or would "
                            "misbehave:\n\n%3\n\nGenerate the code anyway?")
                        .arg(errors)
                        .arg(errors == 1 ? "" : "s")
                        .arg(lines.join("\n")),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

// ---- the slots ----

CKivoDoc *CMainFrame::ActiveDocument() const
{
    CChildFrame *child = ActiveChild();
    return child ? &child->Document() : nullptr;
}

void CMainFrame::OnFileSave()
{
    if (CKivoDoc *doc = ActiveDocument())
        m_app.Save(*doc);
}

void CMainFrame::OnFileSaveAs()
{
    if (CKivoDoc *doc = ActiveDocument())
        m_app.SaveAs(*doc);
}

void CMainFrame::OnFileClose()
{
    if (CKivoDoc *doc = ActiveDocument())
        m_app.CloseDocument(*doc);
}

void CMainFrame::OnFileCloseWindow()
{
    if (CChildFrame *child = ActiveChild())
        CloseChild(child);
}

void CMainFrame::OnPrintPinReport()
{
    if (CChildFrame *child = ActiveChild()) {
        child->View()->setCurrentIndex(CKivoView::PinsTab);
        RunCommand(cmd::kFilePrint);
    }
}

void CMainFrame::OnUndo(bool undo)
{
    CKivoDoc *doc = ActiveDocument();
    if (!doc)
        return;
    // What is still being typed in the form counts as the last change.
    doc->UpdateAllViews();
    bool done = undo ? doc->History().Undo(*doc) : doc->History().Redo(*doc);
    if (done)
        doc->UpdateAllViews();
}

bool CMainFrame::OnGenerate()
{
    CKivoDoc *doc = ActiveDocument();
    if (!doc)
        return false;
    // The generated files are the project's too: a kivo-cli command changing
    // or generating the project meanwhile waits, or this says it is in use.
    ProjectLock lock;
    Result r = doc->m_strPathName.empty() ? Succeed() : lock.Acquire(doc->m_strPathName, kProjectLockWait);
    if (r)
        r = GenerateCheckedProject(*doc, m_app.GetServices(), [this](const std::vector<Finding> &findings) {
            return AskToGenerateAnyway(findings);
        });
    lock.Release();
    // The closing message of a success is news, not a warning.
    if (r.Ok() && !r.text.empty()) {
        QMessageBox box(QMessageBox::Information, QString::fromUtf8(kAppTitle), QString::fromStdString(r.text),
                        QMessageBox::Ok, this);
        box.exec();
    } else {
        ShowResult(m_app.GetServices().messages, r);
    }
    return r.Ok();
}

void CMainFrame::CreatePanes()
{
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
    m_buildDock = new QDockWidget("Build", this);
    m_buildDock->setObjectName("buildDock");
    m_terminalDock = new QDockWidget("Terminal", this);
    m_terminalDock->setObjectName("terminalDock");
    addDockWidget(Qt::BottomDockWidgetArea, m_buildDock);
    tabifyDockWidget(m_buildDock, m_terminalDock);
    // Both open with the first run; until then the window is as it was.
    const std::pair<QDockWidget *, const char *> docks[] = {{m_buildDock, cmd::kViewBuildPane},
                                                            {m_terminalDock, cmd::kViewTerminalPane}};
    for (auto [dock, id] : docks) {
        dock->hide();
        QAction *shown = m_actions.value(id);
        connect(dock->toggleViewAction(), &QAction::toggled, shown, &QAction::setChecked);
        // However the dock comes to show (the main window's own menu of
        // docks too), its pane is there.
        connect(dock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
            if (visible)
                FillPanes();
        });
    }
}

void CMainFrame::FillPanes()
{
    if (m_buildPane)
        return;
    m_buildPane = new CBuildPane(this);
    m_buildDock->setWidget(m_buildPane);
    m_terminalPane = new CTerminalPane(this);
    m_terminalDock->setWidget(m_terminalPane);
    // Tab goes through them where it did when they were made at the start,
    // with the docks: ahead of the project windows.
    QWidget *last = m_buildDock->previousInFocusChain();
    while (last != this && last->focusPolicy() == Qt::NoFocus)
        last = last->previousInFocusChain();
    for (QWidget *pane : {static_cast<QWidget *>(m_buildPane), static_cast<QWidget *>(m_terminalPane)}) {
        QList<QWidget *> chain;
        for (QWidget *w = pane; w == pane || pane->isAncestorOf(w); w = w->nextInFocusChain())
            if (w->focusPolicy() != Qt::NoFocus)
                chain << w;
        for (QWidget *w : chain) {
            QWidget::setTabOrder(last, w);
            last = w;
        }
    }
}

CBuildPane *CMainFrame::BuildPane()
{
    FillPanes();
    return m_buildPane;
}

CTerminalPane *CMainFrame::TerminalPane()
{
    FillPanes();
    return m_terminalPane;
}

void CMainFrame::OnExternalTerminal()
{
    m_app.Profile().SetInt(kExternalTerminalKey, m_actions.value(cmd::kProjectExternalTerminal)->isChecked() ? 1 : 0);
}

void CMainFrame::OnCompile(bool load)
{
    CKivoDoc *doc = ActiveDocument();
    if (!doc)
        return;
    const bool inside = !m_actions.value(cmd::kProjectExternalTerminal)->isChecked();
    // One run per project at a time; the user says whether the running one goes.
    if (CScriptRun *running = inside ? BuildPane()->RunningFor(doc) : nullptr) {
        const QString was = running->IsLoad() ? "load" : "compile";
        const QString wanted = load ? "load" : "compile";
        QString text = QString("A %1 of %2 is running. Stop it and start %3?")
                           .arg(was, QString::fromStdString(doc->GetProjectName()),
                                was == wanted ? QString("again") : "the " + wanted);
        if (!m_app.Messages().Ask(MessageKind::Plain, text.toStdString()))
            return;
        running->StopAndWait();
    }
    // A missing script, or one written for other settings, is offered the
    // ribbon's own Generate first.
    auto generate = [this] { return OnGenerate(); };
    if (inside)
        m_app.Processes().SetScriptStarter(
            [this, doc, load](const ProcessRequest &request) { return StartInside(*doc, load, request); });
    Services &services = m_app.GetServices();
    ShowResult(services.messages,
               load ? LoadProject(*doc, services, generate) : CompileProject(*doc, services, generate));
    m_app.Processes().SetScriptStarter({});
}

ProcessOutcome CMainFrame::StartInside(CKivoDoc &doc, bool load, const ProcessRequest &request)
{
    const bool terminal = load && doc.m_bShowTerminal;
    CScriptRun *run = BuildPane()->AddRun(load, &doc, terminal);
    connect(run, &CScriptRun::ended, this, &CMainFrame::RunEnded);
    connect(run, &CScriptRun::problemChosen, this,
            [this, run](const QString &file, int line) { OpenProblem(*run, file, line); });
    if (m_buildDock->isHidden()) {
        m_buildDock->show();
        resizeDocks({m_buildDock}, {230}, Qt::Vertical);
    }
    if (terminal) {
        m_terminalPane->Attach(run);
        m_terminalDock->show();
        m_terminalDock->raise();
    } else {
        m_buildDock->raise();
    }
    const QString project = QString::fromStdString(doc.GetProjectName());
    statusBar()->showMessage(QString(load ? "Loading %1..." : "Compiling %1...").arg(project));
    return run->Start(request);
}

void CMainFrame::RunEnded(CScriptRun *run)
{
    QString text = (run->ProjectName().isEmpty() ? QString() : run->ProjectName() + ": ") + run->Summary();
    // A failure stays in the status bar until the next message.
    statusBar()->showMessage(text, run->GetState() == CScriptRun::State::Failed ? 0 : 10000);
}

void CMainFrame::OpenProblem(const CScriptRun &run, const QString &file, int line)
{
    // FlexProp above the project's FlexSpin folder, else the one on PATH, as
    // "Edit code with FlexProp" finds it.
    std::string folder = FlexPropFolder(run.FlexSpinPath());
    std::string program = folder.empty() ? "" : JoinPath(folder, "flexprop");
    if (program.empty() || !QFileInfo(QString::fromStdString(program)).isExecutable()) {
        program = FindProgramOnPath("flexprop", ToolSearch::FromEnvironment().path);
        folder = program.empty() ? "" : ParentFolder(program);
    }
    const QString shown = QString("%1, line %2").arg(QFileInfo(file).fileName()).arg(line);
    // FlexProp takes files only; the line is said in the status bar.
    if (!program.empty() &&
        QProcess::startDetached(QString::fromStdString(program), {file}, QString::fromStdString(folder))) {
        statusBar()->showMessage("Opened " + shown + " in FlexProp", 15000);
        return;
    }
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        statusBar()->showMessage("Opened " + shown, 15000);
    else
        statusBar()->showMessage("No program could open " + QDir::toNativeSeparators(file), 15000);
}

void CMainFrame::OnFlexProp()
{
    if (CKivoDoc *doc = ActiveDocument())
        ShowResult(m_app.GetServices().messages, EditWithFlexProp(*doc, m_app.GetServices()));
}

void CMainFrame::OnTabCommand(const QString &id)
{
    if (CChildFrame *child = ActiveChild())
        if (auto *target = dynamic_cast<ICommandTarget *>(child->View()->currentWidget()))
            target->OnCommand(id);
}

void CMainFrame::OnStatusBar() { statusBar()->setVisible(m_actions.value(cmd::kViewStatusBar)->isChecked()); }

void CMainFrame::OnWindowManager()
{
    CWindowsDialog dialog(*this);
    dialog.exec();
}

void CMainFrame::OnWindowNew()
{
    if (CKivoDoc *doc = ActiveDocument())
        OpenWindow(*doc);
}

void CMainFrame::OnApplicationLook(int id)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Look &look = LookFor(id, m_look ? m_look : kDefaultLook);
    m_look = id;
    ApplyLookToApplication(look);
    m_ribbon->setStyleSheet(RibbonStyleSheet(look));
    m_ribbon->SetWindows7(look.windows7Ribbon);
    update();
    QApplication::restoreOverrideCursor();
    m_app.Profile().SetInt("ApplicationLook", id);
    // A stored look outside the menu leaves every entry unchecked.
    for (QAction *a : m_lookGroup->actions())
        a->setChecked(a->data().toInt() == id);
}

// ---- enabling ----

void CMainFrame::ActiveChildChanged()
{
    UpdateTitles();
    UpdateProjectPane();
    UpdateProjectCommands();
    UpdateHistoryCommands();
    UpdateTabCommands();
}

void CMainFrame::UpdateProjectCommands()
{
    const bool hasChild = ActiveChild() != nullptr;
    for (const char *id : kProjectCommands)
        m_actions.value(id)->setEnabled(hasChild);
}

void CMainFrame::UpdateProjectPane()
{
    CKivoDoc *doc = ActiveDocument();
    if (!doc) {
        m_pane2->setText("No project open");
        return;
    }
    const std::size_t objects = doc->m_objList.size();
    int pins = 0;
    for (bool used : PinsInUse(*doc))
        pins += used ? 1 : 0;
    m_pane2->setText(QString("%1 object%2, %3 of 64 pins in use").arg(objects).arg(objects == 1 ? "" : "s").arg(pins));
}

void CMainFrame::UpdateHistoryCommands()
{
    CKivoDoc *doc = ActiveDocument();
    const CUndoHistory *history = doc ? &doc->History() : nullptr;
    for (bool undo : {true, false}) {
        QAction *a = m_actions.value(undo ? cmd::kEditUndo : cmd::kEditRedo);
        const bool enabled = history && (undo ? history->CanUndo() : history->CanRedo());
        a->setEnabled(enabled);
        // The tip names the step ("Undo Add Object (Ctrl+Z)").
        QString tip = undo ? "Undo" : "Redo";
        if (enabled)
            tip += " " + QString::fromStdString(undo ? history->UndoLabel() : history->RedoLabel());
        a->setToolTip(QString("%1 (%2)").arg(tip, a->shortcut().toString(QKeySequence::NativeText)));
    }
}

void CMainFrame::UpdateTabCommands()
{
    CChildFrame *child = ActiveChild();
    const bool pinTab = child && child->View()->currentIndex() == CKivoView::PinsTab;
    auto *target = pinTab ? dynamic_cast<ICommandTarget *>(child->View()->currentWidget()) : nullptr;
    for (const char *id : kTabCommands)
        m_actions.value(id)->setEnabled(pinTab && (!target || target->IsCommandEnabled(id)));
    // A greyed print command says where printing is.
    for (const PrintTip &p : kPrintTips) {
        QAction *a = m_actions.value(p.id);
        a->setToolTip(a->isEnabled() ? QString(p.tip) : QString(p.tip) + kPrintElsewhere);
    }
}

// ---- project windows ----

void CMainFrame::OpenWindow(CKivoDoc &doc)
{
    auto *child = new CChildFrame(doc, m_app.GetServices(), m_pages);
    m_pages->addWidget(child);
    // Another tab takes or gives back the clipboard and print commands.
    connect(child->View(), &QTabWidget::currentChanged, this, [this, child] {
        if (child == ActiveChild())
            UpdateTabCommands();
    });
    // Every change shows at once in the titles (the modified mark) and in
    // what Undo and Redo can do.
    connect(child, &CChildFrame::documentChanged, this, [this] {
        UpdateTitles();
        UpdateHistoryCommands();
        UpdateProjectPane();
    });
    // A new selection in the pin grid changes what the clipboard commands can do.
    for (auto *pins : child->findChildren<CPinsView *>()) {
        connect(pins, &CPinsView::editCommandsChanged, this, [this, child] {
            if (child == ActiveChild())
                UpdateTabCommands();
        });
        // A report printed to a file: where it went, until the next message.
        connect(pins, &CPinsView::reportSaved, this, [this](const QString &file) {
            statusBar()->showMessage("Pin report saved to " + QDir::toNativeSeparators(file));
        });
    }
    connect(child->View()->SimBoard(), &CSimBoardTab::compileRequested, this,
            [this, child] { CompileThenSimulate(child); });
    int index = m_docTabs->addTab(Escaped(child->Title()));
    m_docTabs->setTabData(index, QVariant::fromValue(static_cast<void *>(child)));
    RenumberWindows(doc);
    ActivateChild(child);
}

CChildFrame *CMainFrame::ActiveChild() const
{
    int i = m_docTabs->currentIndex();
    return i < 0 ? nullptr : static_cast<CChildFrame *>(m_docTabs->tabData(i).value<void *>());
}

QList<CChildFrame *> CMainFrame::Children() const
{
    QList<CChildFrame *> out;
    for (int i = 0; i < m_docTabs->count(); ++i)
        out << static_cast<CChildFrame *>(m_docTabs->tabData(i).value<void *>());
    return out;
}

void CMainFrame::ActivateChild(CChildFrame *child)
{
    for (int i = 0; i < m_docTabs->count(); ++i) {
        if (m_docTabs->tabData(i).value<void *>() == child) {
            m_docTabs->setCurrentIndex(i);
            m_pages->setCurrentWidget(child);
        }
    }
    ActiveChildChanged();
}

void CMainFrame::ActivateDocument(CKivoDoc &doc)
{
    for (CChildFrame *child : Children()) {
        if (&child->Document() == &doc) {
            ActivateChild(child);
            return;
        }
    }
}

bool CMainFrame::CloseChild(CChildFrame *child, bool ask)
{
    if (!child)
        return true;
    if (ask && !m_closingAll) {
        int windows = 0;
        for (CChildFrame *c : Children())
            if (&c->Document() == &child->Document())
                ++windows;
        if (windows == 1 && !m_app.SaveModified(child->Document()))
            return false;
    }
    for (int i = 0; i < m_docTabs->count(); ++i) {
        if (m_docTabs->tabData(i).value<void *>() == child) {
            m_docTabs->removeTab(i);
            break;
        }
    }
    m_pages->removeWidget(child);
    CKivoDoc &doc = child->Document();
    delete child;
    bool last = true;
    for (CChildFrame *c : Children())
        if (&c->Document() == &doc)
            last = false;
    if (last) {
        if (m_buildPane)
            m_buildPane->ForgetDocument(&doc);
        m_app.DocumentClosed(doc);
    } else
        RenumberWindows(doc);
    if (!m_closingAll) {
        if (CChildFrame *active = ActiveChild())
            m_pages->setCurrentWidget(active);
        ActiveChildChanged();
    }
    return true;
}

void CMainFrame::CloseDocumentWindows(CKivoDoc &doc)
{
    for (CChildFrame *child : Children())
        if (&child->Document() == &doc)
            CloseChild(child, false);
}

bool CMainFrame::ConfirmCloseAll()
{
    QList<CKivoDoc *> asked;
    for (CChildFrame *child : Children()) {
        CKivoDoc *doc = &child->Document();
        if (asked.contains(doc))
            continue;
        asked << doc;
        ActivateChild(child);
        if (!m_app.SaveModified(*doc))
            return false;
    }
    return true;
}

void CMainFrame::CloseAllWindows()
{
    while (m_docTabs && m_docTabs->count() > 0)
        CloseChild(Children().last());
}

void CMainFrame::RenumberWindows(CKivoDoc &doc)
{
    QList<CChildFrame *> mine;
    for (CChildFrame *c : Children())
        if (&c->Document() == &doc)
            mine << c;
    for (int i = 0; i < mine.size(); ++i)
        mine[i]->SetWindowNumber(mine.size() == 1 ? 0 : i + 1);
    UpdateTitles();
}

void CMainFrame::UpdateTitles()
{
    for (int i = 0; i < m_docTabs->count(); ++i) {
        auto *child = static_cast<CChildFrame *>(m_docTabs->tabData(i).value<void *>());
        if (child)
            m_docTabs->setTabText(i, Escaped(child->Title()));
    }
    CChildFrame *active = ActiveChild();
    setWindowTitle(active ? active->Title() + " - Kivo" : QString("Kivo"));
}

void CMainFrame::SetRecentFiles(const QStringList &shown) { m_ribbon->SetRecentFiles(shown); }

void CMainFrame::FillWindowList()
{
    QMenu *menu = m_windowList->menu();
    menu->clear();
    CChildFrame *active = ActiveChild();
    for (CChildFrame *child : Children()) {
        QAction *a = menu->addAction(Escaped(child->Title()));
        a->setCheckable(true);
        a->setChecked(child == active);
        connect(a, &QAction::triggered, this, [this, child] {
            if (Children().contains(child))
                ActivateChild(child);
        });
    }
}

void CMainFrame::MovePaneFocus(bool forward)
{
    QList<QWidget *> panes{m_ribbon->Categories()};
    if (CChildFrame *child = ActiveChild())
        panes << child->View()->currentWidget();
    panes << m_docTabs;
    QWidget *focus = QApplication::focusWidget();
    int at = -1;
    for (int i = 0; i < panes.size(); ++i)
        if (focus && (panes[i] == focus || panes[i]->isAncestorOf(focus)))
            at = i;
    const int n = int(panes.size());
    int next = at < 0 ? (forward ? 0 : n - 1) : (at + (forward ? 1 : n - 1)) % n;
    QWidget *pane = panes[next];
    // A form takes the focus on its first control.
    QWidget *target = pane;
    if (!(pane->focusPolicy() & Qt::TabFocus)) {
        for (QWidget *w : pane->findChildren<QWidget *>())
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(pane) && w->isEnabled()) {
                target = w;
                break;
            }
    }
    target->setFocus(Qt::OtherFocusReason);
}

// ---- closing and dropping ----

bool CMainFrame::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::MouseButtonPress &&
        type != QEvent::WindowDeactivate)
        return QMainWindow::eventFilter(watched, event);
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != this)
        return QMainWindow::eventFilter(watched, event);
    if (type == QEvent::MouseButtonPress || type == QEvent::WindowDeactivate) {
        m_ribbon->ShowKeyTips(false);
        return QMainWindow::eventFilter(watched, event);
    }
    auto *key = static_cast<QKeyEvent *>(event);
    // A key goes to the focus widget first, then up to its parents: it is
    // taken once, where it starts.
    QWidget *first = QApplication::focusWidget();
    if (key->isAutoRepeat() || watched != (first ? first : this))
        return QMainWindow::eventFilter(watched, event);
    if (type == QEvent::KeyPress) {
        if (key->key() == Qt::Key_Alt) {
            // Alt alone: the tips show while it is held, and stay after a
            // tap until the next key.
            m_altAlone = key->modifiers() == Qt::AltModifier || key->modifiers() == Qt::NoModifier;
            if (m_altAlone)
                m_ribbon->ShowKeyTips(true);
            return QMainWindow::eventFilter(watched, event);
        }
        m_altAlone = false;
        if (!m_ribbon->KeyTipsShown())
            return QMainWindow::eventFilter(watched, event);
        // After a tap of Alt, the letter alone runs the command.
        const QString text = key->text();
        const bool plain = !(key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier));
        if (plain && key->key() == Qt::Key_Escape) {
            m_ribbon->ShowKeyTips(false);
            return true;
        }
        if (plain && text.size() == 1 && text[0].isLetterOrNumber()) {
            m_ribbon->PressKeyTip(text[0]);
            m_ribbon->ShowKeyTips(false);
            return true;
        }
        // Alt with the letter is the command's own shortcut.
        m_ribbon->ShowKeyTips(false);
        return QMainWindow::eventFilter(watched, event);
    }
    if (key->key() == Qt::Key_Alt && !m_altAlone)
        m_ribbon->ShowKeyTips(false);
    m_altAlone = false;
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::closeEvent(QCloseEvent *event)
{
    // Exit asks about each project with unsaved changes, then closes them all.
    if (!ConfirmCloseAll()) {
        event->ignore();
        return;
    }
    m_closingAll = true;
    CloseAllWindows();
    m_closingAll = false;
    ActiveChildChanged();
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent *event)
{
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile())
            m_app.OpenPath(url.toLocalFile());
    event->acceptProposedAction();
}

} // namespace kivo
