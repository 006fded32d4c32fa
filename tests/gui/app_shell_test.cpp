// The shell: start-up, the ribbon's commands and their enabling, looks,
// recent files, windows, message boxes and the toolchain commands' GUI side.
#include "app/dialogs.h"
#include "app/looks.h"
#include "app/ribbon.h"
#include "app_support.h"
#include "generator/generator.h"
#include "kinds/servo/slots.h"
#include "model/kivodoc.h"
#include "objects/editor.h"
#include "objects/objectlist.h"
#include "workspace/colortabbar.h"
#include "workspace/commandtarget.h"

#include "grid/davarogrid.h"
#include "grid/pinsview.h"

#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <filesystem>

namespace kivo::test {
namespace {

QStringList TabTexts(CKivoView *view)
{
    QStringList out;
    for (int i = 0; i < view->count(); ++i)
        out << view->ShownTabText(i);
    return out;
}

TEST_F(AppTest, StartWithoutArgumentsShowsKivo1OnItsSettingsTab)
{
    Start();
    ASSERT_EQ(app->Documents().size(), 1u);
    EXPECT_EQ(Doc().GetTitle(), "Kivo1");
    EXPECT_TRUE(Frame().isVisible());
    EXPECT_EQ(Frame().windowTitle(), "Kivo1 - Kivo");
    EXPECT_EQ(View()->currentIndex(), int(CKivoView::SettingsTab));
    EXPECT_EQ(View()->tabPosition(), QTabWidget::South);
    EXPECT_EQ(TabTexts(View()), (QStringList{"P2 & FlexSpin", "Object List", "I/O Pin View", "Simulated Board"}));
    // The first tab's own colour shows once another tab is active.
    CColorTabBar *tabs = View()->ColorTabBar();
    EXPECT_EQ(tabs->TabBackground(0), QColor(250, 250, 200));
    View()->setCurrentIndex(CKivoView::ObjectsTab);
    EXPECT_EQ(tabs->TabBackground(0), QColor(200, 250, 250));
    EXPECT_EQ(tabs->TabBackground(1), QColor(250, 250, 200));
    // The status bar: "Ready", and what the active project holds (the
    // serial pins always count).
    EXPECT_EQ(Frame().StatusPane(0)->text(), "Ready");
    EXPECT_EQ(Frame().StatusPane(1)->text(), "0 objects, 2 of 64 pins in use");
    ASSERT_EQ(AddObject(Doc(), kServo, app->Messages(), [](CEditorModel &e) { return e.Ok() == OkResult::Accepted; }),
              AddResult::Added);
    EXPECT_EQ(Frame().StatusPane(1)->text(), "1 object, 3 of 64 pins in use");

    Frame().RunCommand("file.new");
    ASSERT_EQ(app->Documents().size(), 2u);
    EXPECT_EQ(Doc().GetTitle(), "Kivo2");
    EXPECT_EQ(View()->currentIndex(), int(CKivoView::SettingsTab));
    EXPECT_EQ(Frame().DocumentTabs()->count(), 2);
    EXPECT_EQ(Frame().DocumentTabs()->tabText(Frame().DocumentTabs()->currentIndex()), "Kivo2");
    EXPECT_EQ(Frame().StatusPane(1)->text(), "0 objects, 2 of 64 pins in use");
    for (CChildFrame *child : Frame().Children())
        Frame().CloseChild(child, false);
    EXPECT_EQ(Frame().StatusPane(1)->text(), "No project open");
}

TEST_F(AppTest, StartWithAPathOpensThatProjectAndAnOpenProjectComesToTheFront)
{
    QString a = SavedProject("Alpha.kivo");
    QString b = SavedProject("Beta.kivo");
    Start({a});
    ASSERT_EQ(app->Documents().size(), 1u);
    EXPECT_EQ(Doc().GetTitle(), "Alpha.kivo");
    EXPECT_EQ(View()->currentIndex(), int(CKivoView::SettingsTab));

    ASSERT_NE(app->OpenPath(b), nullptr);
    EXPECT_EQ(Doc().GetTitle(), "Beta.kivo");
    CKivoDoc *alpha = app->OpenPath(a);
    EXPECT_EQ(app->Documents().size(), 2u);
    EXPECT_EQ(&Doc(), alpha);
    EXPECT_EQ(Frame().windowTitle(), "Alpha.kivo - Kivo");
}

TEST_F(AppTest, AStartPathThatCannotBeOpenedIsSaidOverTheOpenApplication)
{
    WriteFileBytes(dir / "bad.kivo", std::string("\x01\x00\x00\x00\xFF\xFE\xFF\x09", 8));
    for (const std::string name : {"missing.kivo", "bad.kivo"}) {
        bool shown = false;
        Modals::Get().Then([&](QWidget *w) {
            shown = Frame().isVisible();
            Modals::Get().AnswerBox(w);
        });
        EXPECT_TRUE(app->Start({QString::fromStdString(dir / name)}));
        EXPECT_TRUE(shown) << name;
        EXPECT_TRUE(Frame().isVisible());
        EXPECT_TRUE(app->Documents().empty());
    }
    auto &boxes = Modals::Get().Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, "Kivo");
    EXPECT_EQ(boxes[0].text, QString::fromStdString((dir / "missing.kivo") + " was not found."));
    // The known text first, then the file.
    EXPECT_EQ(boxes[1].text, QString::fromStdString("Unexpected file format.\n" + (dir / "bad.kivo")));
}

// Expected state of a command with no project, and with each tab active.
struct CommandRow {
    const char *id;
    const char *text;
    bool none, settings, objects, pins;
};

const CommandRow kCommands[] = {
    {"file.new-frame", "&New Frame", false, false, false, false},
    {"file.new", "&New", true, true, true, true},
    {"file.open", "&Open...", true, true, true, true},
    {"file.save", "&Save", false, true, true, true},
    {"file.save-as", "Save &As...", false, true, true, true},
    {"file.print", "&Print", false, false, false, true},
    {"file.quick-print", "&Quick Print", false, false, false, true},
    {"file.print-preview", "Print Pre&view", false, false, false, true},
    {"file.print-setup", "Print Set&up", false, false, false, false},
    {"file.close", "&Close", false, true, true, true},
    {"file.exit", "E&xit", true, true, true, true},
    {"project.generate", "&Generate Code", false, true, true, true},
    {"project.compile", "&Compile", false, true, true, true},
    {"project.load", "&Load P2", false, true, true, true},
    {"project.flexprop", "&Edit code with FlexProp", false, true, true, true},
    // The pin grid's cells are read-only: nothing is cut out or pasted in.
    {"edit.paste", "&Paste", false, false, false, false},
    {"edit.cut", "Cu&t", false, false, false, false},
    {"edit.copy", "C&opy", false, false, false, true},
    {"edit.select-all", "Select &All", false, false, false, true},
    {"edit.insert-object", "&Insert Object...", false, false, false, false},
    {"view.status-bar", "Status &Bar", true, true, true, true},
    {"view.caption-bar", "Caption Bar", false, false, false, false},
    {"edit.find", "Fi&nd...", false, false, false, false},
    {"edit.find-next", "Find Ne&xt", false, false, false, false},
    {"edit.replace", "&Replace", false, false, false, false},
    {"window.manage", "&Windows", true, true, true, true},
    {"window.new", "&New Window", false, true, true, true},
    // Undo and Redo act once the project has a step to take back.
    {"edit.undo", "&Undo", false, false, false, false},
    {"edit.redo", "Re&do", false, false, false, false},
    {"file.close-window", "Close &Window", false, true, true, true},
    {"file.print-pin-report", "Print Pin &Report", false, true, true, true},
    {"project.external-terminal", "Run in Terminal Window", true, true, true, true},
    {"view.build-pane", "Build Pane", true, true, true, true},
    {"view.terminal-pane", "Terminal Pane", true, true, true, true},
};

TEST_F(AppTest, CommandsAreEnabledAsTabled)
{
    Start();
    auto check = [&](const char *state, bool CommandRow::*expected, int tab) {
        if (tab >= 0)
            View()->setCurrentIndex(tab);
        for (const CommandRow &row : kCommands) {
            SCOPED_TRACE(std::string(state) + ": " + row.text);
            QAction *action = Frame().ActionById(row.id);
            ASSERT_NE(action, nullptr);
            EXPECT_EQ(action->text(), row.text);
            EXPECT_EQ(action->isEnabled(), row.*expected);
            // The ribbon's own button shows the same.
            if (QWidget *button = Frame().Ribbon()->PanelControl(row.id)) {
                EXPECT_EQ(button->isEnabled(), row.*expected);
            }
        }
    };
    check("settings tab", &CommandRow::settings, CKivoView::SettingsTab);
    check("object list tab", &CommandRow::objects, CKivoView::ObjectsTab);
    // The clipboard commands follow the pin grid: with a selection and text
    // on the clipboard they all act.
    View()->setCurrentIndex(CKivoView::PinsTab);
    QApplication::clipboard()->setText("x");
    Frame().RunCommand("edit.select-all");
    auto *pins = dynamic_cast<CPinsView *>(View()->currentWidget());
    ASSERT_NE(pins, nullptr);
    pins->GetGrid()->SetFocusCell(1, 2);
    check("pin view tab", &CommandRow::pins, CKivoView::PinsTab);
    Frame().RunCommand("file.close");
    ASSERT_EQ(Active(), nullptr);
    check("no project", &CommandRow::none, -1);
    EXPECT_EQ(Frame().windowTitle(), "Kivo");
}

// A pin tab that takes commands, as the pin view does.
class FakePinTab : public QWidget, public ICommandTarget
{
public:
    bool IsCommandEnabled(const QString &id) const override { return id != "edit.paste"; }
    bool OnCommand(const QString &id) override
    {
        ran << id;
        return true;
    }
    QStringList ran;
};

TEST_F(AppTest, ThePinTabTakesTheClipboardAndPrintCommandsAndTheEditMenu)
{
    Start();
    auto *pins = new FakePinTab;
    View()->removeTab(CKivoView::PinsTab);
    View()->insertTab(CKivoView::PinsTab, pins, "I/O Pin View");
    View()->setCurrentIndex(CKivoView::PinsTab);
    EXPECT_TRUE(Frame().ActionById("edit.copy")->isEnabled());
    EXPECT_FALSE(Frame().ActionById("edit.paste")->isEnabled());
    Frame().RunCommand("edit.copy");
    Frame().RunCommand("edit.paste"); // disabled: not run
    Frame().RunCommand("file.print-preview");
    EXPECT_EQ(pins->ran, (QStringList{"edit.copy", "file.print-preview"}));

    // The "Edit" pop-up over the tabbed view reaches the same commands.
    QStringList entries;
    QList<bool> enabled;
    QTimer::singleShot(20, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction *a : menu->actions()) {
            entries << a->text();
            enabled << a->isEnabled();
        }
        menu->actions()[0]->trigger();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), View()->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(View(), &event);
    // Then the main window's Undo and Redo, with nothing to take back yet.
    EXPECT_EQ(entries, (QStringList{"Cu&t\tCtrl+X", "&Copy\tCtrl+C", "&Paste\tCtrl+V", "", "&Undo", "Re&do"}));
    EXPECT_EQ(enabled, (QList<bool>{true, true, false, true, false, false}));
    EXPECT_EQ(pins->ran.last(), "edit.cut");
}

TEST_F(AppTest, KeyboardShortcutsAreBoundToTheirCommands)
{
    Start();
    struct Case {
        const char *id;
        QList<QKeySequence> keys;
    };
    const Case cases[] = {
        {"file.new", {QKeySequence("Ctrl+N")}},
        {"file.open", {QKeySequence("Ctrl+O")}},
        {"file.save", {QKeySequence("Ctrl+S")}},
        {"edit.undo", {QKeySequence("Ctrl+Z"), QKeySequence("Alt+Backspace")}},
        {"edit.cut", {QKeySequence("Ctrl+X"), QKeySequence("Shift+Del")}},
        {"edit.copy", {QKeySequence("Ctrl+C"), QKeySequence("Ctrl+Ins")}},
        {"edit.paste", {QKeySequence("Ctrl+V"), QKeySequence("Shift+Ins")}},
        {"window.next-pane", {QKeySequence("F6")}},
        {"window.previous-pane", {QKeySequence("Shift+F6")}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Frame().ActionById(c.id)->shortcuts(), c.keys) << c.id;
    // F6 moves the focus from pane to pane and back round.
    Frame().activateWindow();
    QApplication::processEvents();
    QList<QWidget *> visited;
    for (int i = 0; i < 4; ++i) {
        Frame().RunCommand("window.next-pane");
        visited << QApplication::focusWidget();
    }
    // The ribbon, the project's tab view, the document tabs, then round.
    ASSERT_NE(visited[0], nullptr);
    EXPECT_EQ(visited[0], Frame().Ribbon()->Categories());
    EXPECT_TRUE(View()->isAncestorOf(visited[1]));
    EXPECT_EQ(visited[2], Frame().DocumentTabs());
    EXPECT_EQ(visited[3], visited[0]);
    Frame().RunCommand("window.previous-pane");
    EXPECT_EQ(QApplication::focusWidget(), visited[2]);
}

TEST_F(AppTest, RibbonCarriesTheCategoriesPanelsAndQuickAccessButtons)
{
    Start();
    CRibbon *ribbon = Frame().Ribbon();
    QTabBar *categories = ribbon->Categories();
    ASSERT_EQ(categories->count(), 2);
    EXPECT_EQ(categories->tabText(0), "P2 Code Generator");
    EXPECT_EQ(categories->tabText(1), "Home");
    QStringList panels;
    for (int page = 0; page < ribbon->Body()->count(); ++page) {
        QLayout *row = ribbon->Body()->widget(page)->layout();
        for (int i = 0; i < row->count(); ++i)
            if (QWidget *panel = row->itemAt(i)->widget())
                panels << panel->findChild<QLabel *>("ribbonPanelCaption")->text();
    }
    EXPECT_EQ(panels, (QStringList{"Code Generator", "FlexSpin", "LoadP2", "Simulator", "FlexProp", "Output",
                                   "Clipboard", "Undo", "Insert", "View", "Find/Replace", "Window"}));
    for (const char *id : {"file.new", "file.open", "file.save", "edit.undo", "edit.redo", "file.quick-print"})
        EXPECT_NE(ribbon->findChild<QToolButton *>(QString("quick:") + id), nullptr) << id;
    // The status bar's check box hides and shows the bar.
    auto *statusCheck = ribbon->findChild<QCheckBox *>("cmd:view.status-bar");
    ASSERT_NE(statusCheck, nullptr);
    EXPECT_TRUE(statusCheck->isChecked());
    statusCheck->click();
    EXPECT_TRUE(Frame().statusBar()->isHidden());
    EXPECT_FALSE(Frame().ActionById("view.status-bar")->isChecked());
    statusCheck->click();
    EXPECT_FALSE(Frame().statusBar()->isHidden());
}

TEST_F(AppTest, TheLookIsMarkedAppliedAndRemembered)
{
    Start();
    EXPECT_EQ(Frame().CurrentLook(), 217);
    QStringList names;
    for (QAction *a : Frame().Ribbon()->StyleButton()->menu()->actions())
        names << a->text();
    EXPECT_EQ(names, (QStringList{"Office 2007 (&Blue Style)", "Office 2007 (B&lack Style)",
                                  "Office 2007 (&Silver Style)", "Office 2007 (&Aqua Style)", "Win&dows 7"}));
    auto checked = [&] {
        QList<int> ids;
        for (QAction *a : Frame().Ribbon()->StyleButton()->menu()->actions())
            if (a->isChecked())
                ids << a->data().toInt();
        return ids;
    };
    EXPECT_EQ(checked(), QList<int>{217});
    EXPECT_FALSE(Frame().Ribbon()->IsWindows7());

    // The ribbon's rows take the look's own colours.
    auto topColour = [this] {
        auto *top = Frame().Ribbon()->findChild<QWidget *>("ribbonTop");
        QImage image = top->grab().toImage();
        return image.pixelColor(image.width() * 3 / 4, 1).name();
    };
    EXPECT_EQ(topColour(), LookFor(217).ribbonTop.name());

    Frame().RunCommand("view.look.windows7");
    EXPECT_EQ(checked(), QList<int>{219});
    EXPECT_TRUE(Frame().Ribbon()->IsWindows7());
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), LookFor(219).window);
    EXPECT_EQ(topColour(), LookFor(219).ribbonTop.name());

    app.reset();
    app = std::make_unique<CKivoApp>(ProfilePath());
    Start();
    EXPECT_EQ(Frame().CurrentLook(), 219);
    EXPECT_TRUE(Frame().Ribbon()->IsWindows7());
    Frame().RunCommand("view.look.office2007-blue");
    EXPECT_FALSE(Frame().Ribbon()->IsWindows7());
}

TEST_F(AppTest, StoredLooksOutsideTheMenuStillApply)
{
    struct Case {
        int stored;
        const char *style;
        int shownAs; // the look whose colours appear
    };
    for (Case c : {Case{205, "Windows", 205}, Case{210, "Fusion", 210}, Case{212, "Fusion", 217}}) {
        SCOPED_TRACE(c.stored);
        app.reset();
        WriteFileBytes(ProfilePath(), "ApplicationLook=" + std::to_string(c.stored) + "\n");
        app = std::make_unique<CKivoApp>(ProfilePath());
        Start();
        EXPECT_EQ(Frame().CurrentLook(), c.stored);
        EXPECT_EQ(AppliedStyle(), c.style);
        EXPECT_EQ(QApplication::palette().color(QPalette::Window), LookFor(c.shownAs).window);
        for (QAction *a : Frame().Ribbon()->StyleButton()->menu()->actions())
            EXPECT_FALSE(a->isChecked());
    }
    Frame().RunCommand("view.look.office2007-silver");
}

TEST(AbbreviatePath, KeepsTheFileNameAndAtMostThirtyCharacters)
{
    struct Case {
        const char *path;
        const char *shown;
    };
    const Case cases[] = {
        {"/home/ann/Blink.kivo", "/home/ann/Blink.kivo"},
        {"/var/kivo-test-abcdef/Project1.kivo", "/.../Project1.kivo"},
        {"C:\\FlexProp\\projects\\robots\\arm\\Arm.kivo", "C:\\...\\robots\\arm\\Arm.kivo"},
        {"/p/a-very-long-project-name-indeed-it-is.kivo", "a-very-long-project-name-in..."},
        {"/projects/a-project-name-of-25.kivo", "/.../a-project-name-of-25.kivo"},
        {"/projects/a-project-named-twenty8.kivo", "a-project-named-twenty8.kivo"},
    };
    for (const Case &c : cases) {
        QString shown = AbbreviatePath(c.path);
        EXPECT_EQ(shown, c.shown) << c.path;
        EXPECT_LE(shown.size(), 30) << c.path;
    }
}

TEST_F(AppTest, RecentFilesKeepFourEntriesAndOpenFromTheApplicationMenu)
{
    Start();
    std::vector<QString> paths;
    for (int i = 1; i <= 5; ++i) {
        paths.push_back(SavedProject("Project" + std::to_string(i) + ".kivo"));
        ASSERT_NE(app->OpenPath(paths.back()), nullptr);
    }
    QStringList recent = app->RecentFiles();
    ASSERT_EQ(recent.size(), 4);
    EXPECT_EQ(recent.first(), paths[4]);
    EXPECT_EQ(recent.last(), paths[1]);
    EXPECT_FALSE(recent.contains(paths[0]));

    auto buttons = Frame().Ribbon()->AppMenu()->RecentButtons();
    ASSERT_EQ(buttons.size(), 4);
    for (int i = 0; i < 4; ++i) {
        QString prefix = QString("&%1 ").arg(i + 1);
        ASSERT_TRUE(buttons[i]->text().startsWith(prefix));
        EXPECT_LE(buttons[i]->text().size() - prefix.size(), 30);
        EXPECT_TRUE(buttons[i]->text().endsWith("Project" + QString::number(5 - i) + ".kivo"));
    }
    // An open project comes to the front; the list keeps its order.
    buttons[3]->click();
    EXPECT_EQ(Doc().GetTitle(), "Project2.kivo");
    EXPECT_EQ(app->RecentFiles(), recent);

    // An entry that no longer opens leaves the list after its message.
    Frame().RunCommand("file.close");
    std::filesystem::remove(paths[1].toStdString());
    Modals::Get().ThenBox();
    Frame().Ribbon()->AppMenu()->RecentButtons()[3]->click();
    EXPECT_EQ(app->RecentFiles().size(), 3);
    EXPECT_FALSE(app->RecentFiles().contains(paths[1]));
}

// Alt+F opens the application menu of a window just started: its commands
// are the main window's own, and the project opened at the start is its
// recent document.
TEST_F(AppTest, AltFOpensTheApplicationMenuWithItsCommandsAndRecentDocuments)
{
    Start({SavedProject("Menu.kivo")});
    Frame().activateWindow();
    QApplication::processEvents();
    QTest::keyClick(&Frame(), Qt::Key_F, Qt::AltModifier);
    CAppMenu *menu = Frame().Ribbon()->AppMenu();
    EXPECT_TRUE(menu->isVisible());
    for (const char *id : {"file.new", "file.open", "file.save", "file.save-as", "file.print", "project.simulate",
                           "project.verify", "file.close", "file.exit"}) {
        auto *button = menu->findChild<QToolButton *>(QString("menu:") + id);
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(button->defaultAction(), Frame().ActionById(id)) << id;
    }
    ASSERT_EQ(menu->RecentButtons().size(), 1);
    EXPECT_TRUE(menu->RecentButtons()[0]->text().endsWith("Menu.kivo"));
    menu->hide();
}

TEST_F(AppTest, NewWindowAndTheWindowsDialog)
{
    Start();
    Frame().RunCommand("window.new");
    ASSERT_EQ(Frame().Children().size(), 2);
    EXPECT_EQ(Frame().Children()[0]->Title(), "Kivo1:1");
    EXPECT_EQ(Frame().Children()[1]->Title(), "Kivo1:2");
    EXPECT_EQ(Frame().windowTitle(), "Kivo1:2 - Kivo");
    EXPECT_EQ(&Frame().Children()[0]->Document(), &Frame().Children()[1]->Document());

    Modals::Get().Then([](QWidget *w) {
        auto *d = qobject_cast<CWindowsDialog *>(w);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->windowTitle(), "Windows");
        ASSERT_EQ(d->List()->count(), 2);
        d->List()->clearSelection();
        d->List()->item(1)->setSelected(true);
        d->CloseButton()->click();
        ASSERT_EQ(d->List()->count(), 1);
        EXPECT_EQ(d->List()->item(0)->text(), "Kivo1");
        d->List()->item(0)->setSelected(true);
        d->ActivateButton()->click();
    });
    Frame().RunCommand("window.manage");
    ASSERT_EQ(Frame().Children().size(), 1);
    EXPECT_EQ(app->Documents().size(), 1u);
    EXPECT_EQ(Frame().windowTitle(), "Kivo1 - Kivo");

    // Closing the active document tab closes the project; nothing is asked.
    Frame().DocumentTabs()->tabCloseRequested(0);
    EXPECT_TRUE(app->Documents().empty());
}

TEST_F(AppTest, ExitClosesEveryProjectWithoutAQuestion)
{
    Start();
    Frame().RunCommand("file.new");
    Frame().RunCommand("window.new");
    Frame().RunCommand("file.exit");
    EXPECT_TRUE(app->Documents().empty());
    EXPECT_TRUE(Frame().Children().isEmpty());
    EXPECT_FALSE(Frame().isVisible());
}

TEST_F(AppTest, AboutBoxShowsTheIconTheVersionAndOk)
{
    Start();
    Modals::Get().Then([](QWidget *w) {
        EXPECT_EQ(w->windowTitle(), "About Kivo");
        auto *version = w->findChild<QLabel *>("aboutVersion");
        ASSERT_NE(version, nullptr);
        EXPECT_EQ(version->text(), "Kivo, Version 1.0");
        auto *icon = w->findChild<QLabel *>("aboutIcon");
        ASSERT_NE(icon, nullptr);
        EXPECT_FALSE(icon->pixmap().isNull());
        auto *buttons = w->findChild<QDialogButtonBox *>();
        ASSERT_NE(buttons, nullptr);
        ASSERT_EQ(buttons->buttons().size(), 1);
        buttons->button(QDialogButtonBox::Ok)->click();
    });
    Frame().RunCommand("help.about");
    EXPECT_EQ(Modals::Get().Pending(), 0u);
}

TEST_F(AppTest, DroppedFilesOpenAsProjects)
{
    Start();
    QString a = SavedProject("Dropped.kivo");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(a)});
    // The drop goes where the drag entered.
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Frame(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Frame(), &drop);
    EXPECT_EQ(app->Documents().size(), 2u);
    EXPECT_EQ(Doc().GetTitle(), "Dropped.kivo");
}

TEST(QtMessages, AreModalBoxesWithTheCaptionIconAndOneOk)
{
    struct Case {
        MessageKind kind;
        const char *caption;
        QMessageBox::Icon icon;
    };
    for (Case c : {Case{MessageKind::Error, "Error", QMessageBox::Critical},
                   Case{MessageKind::Warning, "Warning", QMessageBox::Warning},
                   Case{MessageKind::Plain, "Kivo", QMessageBox::Warning}}) {
        CQtMessages messages;
        bool modal = false;
        Modals::Get().Then([&modal](QWidget *w) {
            modal = w->isModal();
            Modals::Get().AnswerBox(w);
        });
        messages.Show(c.kind, "Pin 64 is out of range.");
        EXPECT_TRUE(modal);
        ASSERT_EQ(Modals::Get().Boxes().size(), 1u);
        auto &box = Modals::Get().Boxes()[0];
        EXPECT_EQ(box.title, c.caption);
        EXPECT_EQ(box.text, "Pin 64 is out of range.");
        EXPECT_EQ(box.icon, c.icon);
        EXPECT_EQ(box.buttons, 1);
        Modals::Get().Reset();
    }
}

TEST_F(AppTest, GenerateOnANewProjectAsksForASaveFirst)
{
    Start();
    Modals &m = Modals::Get();
    // Save cancelled: the two messages, nothing written.
    m.ThenBox();
    m.Then([](QWidget *w) {
        auto *fd = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(fd, nullptr);
        EXPECT_EQ(fd->nameFilters(), QStringList{"Kivo Files (*.kivo)"});
        fd->reject();
    });
    m.ThenBox();
    Frame().RunCommand("project.generate");
    ASSERT_EQ(m.Boxes().size(), 2u);
    EXPECT_EQ(m.Boxes()[0].text, "Project must be saved first.");
    EXPECT_EQ(m.Boxes()[1].text, "Unable to find project path.");
    EXPECT_TRUE(Doc().m_strPathName.empty());

    // Saved under a name without extension: ".kivo" is added, then the
    // project is generated into its folder.
    m.Reset();
    std::string base = dir / "Gen";
    m.ThenBox();
    m.Then([base](QWidget *w) {
        auto *fd = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(fd, nullptr);
        fd->selectFile(QString::fromStdString(base));
        static_cast<QDialog *>(fd)->accept(); // QFileDialog hides its accept()
    });
    m.ThenBox();
    Frame().RunCommand("project.generate");
    ASSERT_EQ(m.Boxes().size(), 2u);
    EXPECT_EQ(m.Boxes()[1].text, "Project files created.");
    EXPECT_EQ(Doc().m_strPathName, base + ".kivo");
    EXPECT_TRUE(std::filesystem::exists(base + ".kivo"));
    EXPECT_TRUE(std::filesystem::exists(dir / "Gen.c"));
    EXPECT_TRUE(std::filesystem::exists(dir / "Platform.h"));
    EXPECT_EQ(Frame().windowTitle(), "Gen.kivo - Kivo");
    EXPECT_EQ(app->RecentFiles().first(), QString::fromStdString(base + ".kivo"));
}

// A project whose folder holds its scripts and whose tool folder holds a
// stand-in compiler and loader.
void ReadyToBuild(CKivoDoc &doc, const TempDir &dir)
{
    std::filesystem::create_directories(dir / "bin");
    for (const char *tool : {"bin/flexspin", "bin/loadp2"}) {
        WriteFileBytes(dir / tool, "#!/bin/sh\n");
        std::filesystem::permissions(dir / tool, std::filesystem::perms::owner_all);
    }
    doc.m_strFlexSpinPath = doc.m_strLoadP2Path = dir / "bin";
    // The scripts as Generate writes them for these settings.
    for (const char *name : {"build.sh", "load.sh"})
        WriteFileBytes(dir / name, GeneratedScript(doc, name).value());
}

TEST_F(AppTest, WithTheExternalTerminalCompileRunsTheBuildScriptThereAndWaitsModally)
{
    Start({SavedProject("Term.kivo")});
    ReadyToBuild(Doc(), dir);
    // A terminal that notes how it was started, and takes a moment.
    std::string terminal = dir / "fake-terminal";
    WriteFileBytes(terminal, "#!/bin/sh\npwd > \"$0.cwd\"\nprintf '%s\\n' \"$@\" > \"$0.args\"\nsleep 0.3\n");
    std::filesystem::permissions(terminal, std::filesystem::perms::owner_all);
    ScopedEnv env("TERMINAL", terminal);
    Frame().RunCommand("project.external-terminal");

    bool waited = false;
    Modals::Get().Then(
        [&waited](QWidget *w) { waited = qobject_cast<CScriptWait *>(w) != nullptr && CScriptWait::Current() == w; });
    Frame().RunCommand("project.compile");
    EXPECT_TRUE(waited);
    EXPECT_EQ(CScriptWait::Current(), nullptr);
    EXPECT_EQ(ReadFileBytes(terminal + ".args"), "-e\nsh\nbuild.sh\n");
    EXPECT_EQ(ReadFileBytes(terminal + ".cwd"), dir.Path() + "\n");
}

TEST_F(AppTest, NoTerminalIsSaidInAMessageBox)
{
    Start({SavedProject("NoTerm.kivo")});
    ReadyToBuild(Doc(), dir);
    ScopedEnv terminal("TERMINAL", dir / "no-such-terminal");
    ScopedEnv path("PATH", dir.Path());
    Frame().RunCommand("project.external-terminal");
    Modals::Get().ThenBox();
    Modals::Get().ThenBox();
    Frame().RunCommand("project.load");
    auto &boxes = Modals::Get().Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text,
              "No terminal window could be opened to run load.sh.  Set TERMINAL to your terminal program, or install "
              "xterm.");
    EXPECT_EQ(boxes[1].text, "Error running load.sh:  2\nload.sh: No such file or directory");
}

TEST_F(AppTest, FlexPropBeforeAnyGenerationSaysSo)
{
    Start({SavedProject("Fp.kivo")});
    Modals::Get().ThenBox();
    Frame().RunCommand("project.flexprop");
    ASSERT_EQ(Modals::Get().Boxes().size(), 1u);
    EXPECT_EQ(Modals::Get().Boxes()[0].text, "Please Generate Files before invoking FlexProp.");
    EXPECT_EQ(Modals::Get().Boxes()[0].title, "Kivo");
}

TEST_F(AppTest, GenerateAsksBeforeGeneratingAProjectWithErrors)
{
    Start();
    Doc().m_strPathName = dir / "Bad.kivo";
    auto servo = std::make_unique<CCodeObject>();
    servo->m_nKind = kServo;
    servo->m_strName = "Servo1";
    servo->m_strPin = "12abc";
    servo->m_nPinCount = 1;
    ServoSlots(*servo).Degrees() = "90";
    ServoSlots(*servo).Microseconds() = "1500";
    Doc().m_objList.push_back(std::move(servo));
    Modals &m = Modals::Get();
    auto answer = [](QMessageBox::StandardButton button) {
        return [button](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
            EXPECT_TRUE(box->text().contains("Servo1: The pin is \"12abc\"")) << box->text().toStdString();
            box->button(button)->click();
        };
    };
    m.Then(answer(QMessageBox::No));
    Frame().RunCommand("project.generate");
    EXPECT_FALSE(std::filesystem::exists(dir / "Bad.c"));
    m.Reset();
    m.Then(answer(QMessageBox::Yes));
    m.ThenBox();
    Frame().RunCommand("project.generate");
    ASSERT_EQ(m.Boxes().size(), 1u);
    EXPECT_EQ(m.Boxes()[0].text, "Project files created.");
    EXPECT_TRUE(std::filesystem::exists(dir / "Bad.c"));
}

} // namespace
} // namespace kivo::test
