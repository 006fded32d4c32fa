#include "app/mainframe.h"

#include "grid/pinsview.h"

#include "app/commands.h"
#include "app/dialogs.h"
#include "app/icons.h"
#include "app/kivoapp.h"
#include "app/looks.h"
#include "app/ribbon.h"
#include "check/check.h"
#include "generator/generator.h"
#include "model/kivodoc.h"
#include "platform/messages.h"
#include "toolchain/toolchain.h"
#include "workspace/colortabbar.h"
#include "workspace/commandtarget.h"
#include "workspace/kivoview.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace kivo {

namespace {

QString Escaped(QString text)
{
    return text.replace("&", "&&");
}

bool IsLook(int id)
{
    return id >= ID_VIEW_APPLOOK_WIN_2000 && id <= ID_VIEW_APPLOOK_WINDOWS_7;
}

} // namespace

CMainFrame::CMainFrame(CKivoApp &app) : m_app(app)
{
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
    m_ribbon = new CRibbon([this](int id) { return Action(id); }, m_styleMenu, central);
    connect(m_ribbon->AppMenu(), &CAppMenu::recentChosen, this, [this](int i) { m_app.OnRecentFile(i); });
    layout->addWidget(m_ribbon);
    // Alt with a command's underlined letter runs it from anywhere in the
    // window (the ribbon's buttons do not take mnemonics themselves); Alt+F
    // opens the application menu.
    for (int id : {ID_ButtonGenerate, ID_ButtonCompile, ID_LoadP2, ID_ButtonFlexProp, ID_EDIT_PASTE, ID_EDIT_CUT,
                   ID_EDIT_COPY, ID_EDIT_SELECT_ALL, ID_EDIT_UNDO, ID_EDIT_REDO, ID_OLE_INSERT_NEW, ID_EDIT_FIND,
                   ID_EDIT_REPEAT, ID_EDIT_REPLACE, ID_WINDOW_MANAGER}) {
        auto *key = new QShortcut(QKeySequence::mnemonic(Action(id)->text()), this);
        key->setObjectName(QString("keyTip%1").arg(id));
        connect(key, &QShortcut::activated, this, [this, id] { RunCommand(id); });
    }
    auto *appMenuKey = new QShortcut(QKeySequence("Alt+F"), this);
    connect(appMenuKey, &QShortcut::activated, m_ribbon, &CRibbon::ShowAppMenu);

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
        UpdateTitles();
        UpdateCommandUI();
    });
    connect(m_docTabs, &QTabBar::tabCloseRequested, this, [this](int index) {
        CloseChild(static_cast<CChildFrame *>(m_docTabs->tabData(index).value<void *>()));
    });

    m_pane1 = new QLabel("Pane 1", this);
    m_pane2 = new QLabel("Pane 2", this);
    statusBar()->addWidget(m_pane1, 1);
    statusBar()->addPermanentWidget(m_pane2);

    OnApplicationLook(m_app.Profile().GetInt("ApplicationLook", kDefaultLook));
    connect(qApp, &QApplication::focusChanged, this, [this] { UpdateCommandUI(); });
    UpdateCommandUI();
}

CMainFrame::~CMainFrame()
{
    // Focus changes while the window goes away must not reach it.
    disconnect(qApp, nullptr, this, nullptr);
    m_closingAll = true;
    CloseAllWindows();
}

QAction *CMainFrame::MakeAction(int id, const QString &text, bool checkable)
{
    auto *a = new QAction(CommandIcon(id), text, this);
    a->setData(id);
    a->setObjectName(QString("action%1").arg(id));
    a->setCheckable(checkable);
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
    addAction(a);
    m_actions[id] = a;
    return a;
}

void CMainFrame::CreateActions()
{
    MakeAction(ID_FILE_NEW_FRAME, "&New Frame");
    MakeAction(ID_FILE_NEW, "&New")->setShortcut(QKeySequence("Ctrl+N"));
    MakeAction(ID_FILE_OPEN, "&Open...")->setShortcut(QKeySequence("Ctrl+O"));
    MakeAction(ID_FILE_SAVE, "&Save")->setShortcut(QKeySequence("Ctrl+S"));
    MakeAction(ID_FILE_SAVE_AS, "Save &As...")->setShortcut(QKeySequence("Ctrl+Shift+S"));
    MakeAction(ID_FILE_PRINT, "&Print");
    MakeAction(ID_FILE_PRINT_DIRECT, "&Quick Print");
    MakeAction(ID_FILE_PRINT_PREVIEW, "Print Pre&view");
    MakeAction(ID_FILE_PRINT_SETUP, "Print Set&up");
    MakeAction(ID_FILE_CLOSE, "&Close");
    MakeAction(ID_APP_EXIT, "E&xit")->setShortcut(QKeySequence("Ctrl+Q"));
    MakeAction(ID_ButtonGenerate, "&Generate Code")->setShortcut(QKeySequence("Ctrl+G"));
    MakeAction(ID_ButtonCompile, "&Compile")->setShortcut(QKeySequence("Ctrl+B"));
    MakeAction(ID_LoadP2, "&Load P2")->setShortcut(QKeySequence("F5"));
    MakeAction(ID_ButtonFlexProp, "&Edit code with FlexProp")->setShortcut(QKeySequence("Ctrl+E"));
    MakeAction(ID_EDIT_PASTE, "&Paste")->setShortcuts({QKeySequence("Ctrl+V"), QKeySequence("Shift+Ins")});
    MakeAction(ID_EDIT_CUT, "Cu&t")->setShortcuts({QKeySequence("Ctrl+X"), QKeySequence("Shift+Del")});
    MakeAction(ID_EDIT_COPY, "C&opy")->setShortcuts({QKeySequence("Ctrl+C"), QKeySequence("Ctrl+Ins")});
    MakeAction(ID_EDIT_SELECT_ALL, "Select &All")->setShortcut(QKeySequence("Ctrl+A"));
    MakeAction(ID_OLE_INSERT_NEW, "&Insert Object...");
    MakeAction(ID_VIEW_STATUS_BAR, "Status &Bar", true)->setChecked(true);
    MakeAction(ID_VIEW_CAPTION_BAR, "Caption Bar", true);
    MakeAction(ID_EDIT_FIND, "Fi&nd...");
    MakeAction(ID_EDIT_REPEAT, "Find Ne&xt");
    MakeAction(ID_EDIT_REPLACE, "&Replace");
    MakeAction(ID_WINDOW_MANAGER, "&Windows");
    MakeAction(ID_WINDOW_NEW, "&New Window");
    MakeAction(ID_APP_ABOUT, "About")->setToolTip("About Kivo");
    MakeAction(ID_EDIT_UNDO, "&Undo")->setShortcuts({QKeySequence("Ctrl+Z"), QKeySequence("Alt+Backspace")});
    MakeAction(ID_EDIT_REDO, "Re&do")->setShortcuts({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")});
    MakeAction(ID_FILE_CLOSE_WINDOW, "Close &Window")->setShortcut(QKeySequence("Ctrl+W"));
    MakeAction(ID_PRINT_PIN_REPORT, "Print Pin &Report")->setShortcut(QKeySequence("Ctrl+P"));
    MakeAction(ID_NEXT_PANE, "Next Pane")->setShortcut(QKeySequence("F6"));
    MakeAction(ID_PREV_PANE, "Previous Pane")->setShortcut(QKeySequence("Shift+F6"));
    // The shortcut shows in every tool tip.
    for (QAction *a : std::as_const(m_actions))
        if (!a->shortcut().isEmpty())
            a->setToolTip(QString("%1 (%2)").arg(a->toolTip(), a->shortcut().toString(QKeySequence::NativeText)));

    m_styleMenu = new QMenu(this);
    m_lookGroup = new QActionGroup(this);
    m_lookGroup->setExclusive(true);
    for (const Look &look : OfferedLooks()) {
        QAction *a = MakeAction(look.id, look.name, true);
        a->setIcon(QIcon());
        m_lookGroup->addAction(a);
        m_styleMenu->addAction(a);
    }
}

QAction *CMainFrame::Action(int id) const
{
    return m_actions.value(id, nullptr);
}

void CMainFrame::RunCommand(int id)
{
    if (QAction *a = Action(id)) {
        UpdateCommandUI();
        if (a->isEnabled())
            a->trigger();
    }
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

void CMainFrame::OnCommand(int id)
{
    CChildFrame *child = ActiveChild();
    CKivoDoc *doc = child ? &child->Document() : nullptr;
    Services &services = m_app.GetServices();
    switch (id) {
    case ID_FILE_NEW:
        m_app.NewProject();
        break;
    case ID_FILE_OPEN:
        m_app.OnFileOpen();
        break;
    case ID_FILE_SAVE:
        if (doc)
            m_app.Save(*doc);
        break;
    case ID_FILE_SAVE_AS:
        if (doc)
            m_app.SaveAs(*doc);
        break;
    case ID_FILE_CLOSE:
        if (doc)
            m_app.CloseDocument(*doc);
        break;
    case ID_APP_EXIT:
        close();
        break;
    case ID_FILE_CLOSE_WINDOW:
        if (child)
            CloseChild(child);
        break;
    case ID_PRINT_PIN_REPORT:
        if (child) {
            child->View()->setCurrentIndex(CKivoView::PinsTab);
            RunCommand(ID_FILE_PRINT);
        }
        break;
    case ID_EDIT_UNDO:
    case ID_EDIT_REDO:
        if (doc) {
            // What is still being typed in the form counts as the last change.
            doc->UpdateAllViews();
            bool done = id == ID_EDIT_UNDO ? doc->History().Undo(*doc) : doc->History().Redo(*doc);
            if (done)
                doc->UpdateAllViews();
        }
        break;
    case ID_ButtonGenerate:
        if (doc)
            ShowResult(services.messages,
                       GenerateCheckedProject(*doc, services, [this](const std::vector<Finding> &findings) {
                           return AskToGenerateAnyway(findings);
                       }));
        break;
    case ID_ButtonCompile:
    case ID_LoadP2:
        if (doc) {
            // A missing script is offered the ribbon's own Generate first.
            auto generate = [this, doc] {
                OnCommand(ID_ButtonGenerate);
                return !doc->m_strMainFilePath.empty();
            };
            ShowResult(services.messages, id == ID_ButtonCompile ? CompileProject(*doc, services, generate)
                                                                 : LoadProject(*doc, services, generate));
        }
        break;
    case ID_ButtonFlexProp:
        if (doc)
            ShowResult(services.messages, EditWithFlexProp(*doc, services));
        break;
    case ID_EDIT_PASTE:
    case ID_EDIT_CUT:
    case ID_EDIT_COPY:
    case ID_EDIT_SELECT_ALL:
    case ID_FILE_PRINT:
    case ID_FILE_PRINT_DIRECT:
    case ID_FILE_PRINT_PREVIEW:
        if (child)
            if (auto *target = dynamic_cast<ICommandTarget *>(child->View()->currentWidget()))
                target->OnCommand(id);
        break;
    case ID_VIEW_STATUS_BAR:
        statusBar()->setVisible(Action(id)->isChecked());
        break;
    case ID_WINDOW_MANAGER: {
        CWindowsDialog dialog(*this);
        dialog.exec();
        break;
    }
    case ID_WINDOW_NEW:
        if (doc)
            OpenWindow(*doc);
        break;
    case ID_APP_ABOUT:
        m_app.OnAbout();
        break;
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
        MovePaneFocus(id == ID_NEXT_PANE);
        break;
    default:
        if (IsLook(id))
            OnApplicationLook(id);
        break;
    }
    UpdateCommandUI();
}

void CMainFrame::UpdateCommandUI()
{
    if (m_actions.isEmpty())
        return;
    CChildFrame *child = ActiveChild();
    const bool hasChild = child != nullptr;
    const bool pinTab = hasChild && child->View()->currentIndex() == CKivoView::PinsTab;
    auto *target = pinTab ? dynamic_cast<ICommandTarget *>(child->View()->currentWidget()) : nullptr;
    auto pinCommand = [&](int id) { return pinTab && (!target || target->IsCommandEnabled(id)); };

    for (auto it = m_actions.begin(); it != m_actions.end(); ++it) {
        const int id = it.key();
        bool enabled = false;
        switch (id) {
        case ID_FILE_NEW:
        case ID_FILE_OPEN:
        case ID_APP_EXIT:
        case ID_APP_ABOUT:
        case ID_VIEW_STATUS_BAR:
        case ID_WINDOW_MANAGER:
        case ID_NEXT_PANE:
        case ID_PREV_PANE:
            enabled = true;
            break;
        case ID_EDIT_UNDO:
        case ID_EDIT_REDO: {
            // The tip names the step ("Undo Add Object (Ctrl+Z)").
            const bool undo = id == ID_EDIT_UNDO;
            const CUndoHistory *history = hasChild ? &child->Document().History() : nullptr;
            enabled = history && (undo ? history->CanUndo() : history->CanRedo());
            QString tip = undo ? "Undo" : "Redo";
            if (enabled)
                tip += " " + QString::fromStdString(undo ? history->UndoLabel() : history->RedoLabel());
            it.value()->setToolTip(
                QString("%1 (%2)").arg(tip, it.value()->shortcut().toString(QKeySequence::NativeText)));
            break;
        }
        case ID_FILE_SAVE:
        case ID_FILE_SAVE_AS:
        case ID_FILE_CLOSE:
        case ID_FILE_CLOSE_WINDOW:
        case ID_PRINT_PIN_REPORT:
        case ID_ButtonGenerate:
        case ID_ButtonCompile:
        case ID_LoadP2:
        case ID_ButtonFlexProp:
        case ID_WINDOW_NEW:
            enabled = hasChild;
            break;
        case ID_FILE_PRINT:
        case ID_FILE_PRINT_DIRECT:
        case ID_FILE_PRINT_PREVIEW:
        case ID_EDIT_PASTE:
        case ID_EDIT_CUT:
        case ID_EDIT_COPY:
        case ID_EDIT_SELECT_ALL:
            enabled = pinCommand(id);
            break;
        default:
            // The looks act; every other command has no handler.
            enabled = IsLook(id);
            break;
        }
        it.value()->setEnabled(enabled);
        if (IsLook(id))
            it.value()->setChecked(id == m_look);
    }
    Action(ID_VIEW_STATUS_BAR)->setChecked(!statusBar()->isHidden());
}

void CMainFrame::OnApplicationLook(int id)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Look &look = LookFor(id, m_look ? m_look : kDefaultLook);
    m_look = id;
    ApplyLookToApplication(look);
    m_ribbon->SetWindows7(look.windows7Ribbon);
    update();
    QApplication::restoreOverrideCursor();
    m_app.Profile().SetInt("ApplicationLook", id);
    UpdateCommandUI();
}

// ---- project windows ----

void CMainFrame::OpenWindow(CKivoDoc &doc)
{
    auto *child = new CChildFrame(doc, m_app.GetServices(), m_pages);
    m_pages->addWidget(child);
    connect(child->View(), &QTabWidget::currentChanged, this, [this] { UpdateCommandUI(); });
    // Every change shows at once in the titles (the modified mark) and in
    // what Undo and Redo can do.
    connect(child, &CChildFrame::documentChanged, this, [this] {
        UpdateTitles();
        UpdateCommandUI();
    });
    // A new selection in the pin grid changes what the clipboard commands can do.
    for (auto *pins : child->findChildren<CPinsView *>())
        connect(pins, &CPinsView::editCommandsChanged, this, [this] { UpdateCommandUI(); });
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
    UpdateTitles();
    UpdateCommandUI();
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
    if (last)
        m_app.DocumentClosed(doc);
    else
        RenumberWindows(doc);
    if (!m_closingAll) {
        if (CChildFrame *active = ActiveChild())
            m_pages->setCurrentWidget(active);
        UpdateTitles();
        UpdateCommandUI();
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

void CMainFrame::SetRecentFiles(const QStringList &shown)
{
    m_ribbon->SetRecentFiles(shown);
}

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
    UpdateTitles();
    UpdateCommandUI();
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
