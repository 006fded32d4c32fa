// The commands as actions: each found by its id and running its slot, the
// ribbon and the menus showing those actions, and each command enabled as
// the state it depends on changes (no refresh in between).
#include "app/looks.h"
#include "app/ribbon.h"
#include "app_support.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "objects/objectlist.h"
#include "workspace/colortabbar.h"
#include "workspace/commandtarget.h"
#include "workspace/objectview.h"
#include "workspace/simboardtab.h"

#include "grid/davarogrid.h"
#include "grid/pinsview.h"

#include <QAction>
#include <QClipboard>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolButton>
#include <filesystem>

namespace kivo::test {
namespace {

// A pin tab that takes every clipboard and print command and notes them.
class RecordingPinTab : public QWidget, public ICommandTarget
{
public:
    bool IsCommandEnabled(const QString &) const override { return true; }
    bool OnCommand(const QString &id) override
    {
        ran << id;
        return true;
    }
    QStringList ran;
};

// Notes what came up (a box's text, else the dialog's class) and closes it
// with No, Discard or OK, or as Cancel would.
Modals::Step Dismiss(QString *shown)
{
    return [shown](QWidget *w) {
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            *shown = box->text();
            for (auto answer : {QMessageBox::No, QMessageBox::Discard, QMessageBox::Ok}) {
                if (QAbstractButton *button = box->button(answer)) {
                    button->click();
                    return;
                }
            }
            ADD_FAILURE() << "no way out of " << box->text().toStdString();
            return;
        }
        *shown = w->metaObject()->className();
        if (auto *d = qobject_cast<QDialog *>(w))
            d->reject();
        else
            w->close();
    };
}

// Adds a servo the way the object list's editor would, as one undo step.
void AddServo(CKivoDoc &doc, CQtMessages &messages, const char *pin = "12")
{
    auto edit = [pin](CEditorModel &e) {
        e.UserSetText("pin", pin);
        return e.Ok() == OkResult::Accepted;
    };
    ASSERT_EQ(AddObject(doc, kServo, messages, edit), AddResult::Added);
}

class CommandsTest : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        path = SavedProject("Cmd.kivo");
        Start({path});
    }
    QAction *Command(const char *id)
    {
        QAction *a = Frame().ActionById(id);
        EXPECT_NE(a, nullptr) << id;
        return a;
    }
    bool Enabled(const char *id)
    {
        QAction *a = Command(id);
        return a && a->isEnabled();
    }
    // Puts a recording tab in the pin view's place and makes it current.
    RecordingPinTab *RecordPinTab()
    {
        auto *pins = new RecordingPinTab;
        View()->removeTab(CKivoView::PinsTab);
        View()->insertTab(CKivoView::PinsTab, pins, "I/O Pin View");
        View()->setCurrentIndex(CKivoView::PinsTab);
        return pins;
    }

    QString path;
};

// Commands without a handler: shown, never enabled.
const char *const kInactive[] = {"file.new-frame", "edit.insert-object", "file.print-setup", "view.caption-bar",
                                 "edit.find",      "edit.find-next",     "edit.replace"};

TEST_F(CommandsTest, EveryCommandIsFoundByItsIdAndRunsItsSlot)
{
    CObjectView *objects = View()->ObjectView();
    RecordingPinTab *pins = RecordPinTab();
    std::filesystem::remove(path.toStdString());
    const std::string folder = std::filesystem::path(path.toStdString()).parent_path();
    struct Row {
        const char *id;
        QString shown; // what comes up, or nothing
        std::function<void()> check;
    };
    auto ranOnTab = [pins](const char *id) {
        return [pins, id] { EXPECT_EQ(pins->ran.value(pins->ran.size() - 1), id); };
    };
    auto nothing = [] {};
    const Row rows[] = {
        {"file.open", "QFileDialog", nothing},
        {"file.save-as", "QFileDialog", nothing},
        {"file.save", "", [&] { EXPECT_TRUE(std::filesystem::exists(path.toStdString())); }},
        {"file.print", "", ranOnTab("file.print")},
        {"file.quick-print", "", ranOnTab("file.quick-print")},
        {"file.print-preview", "", ranOnTab("file.print-preview")},
        {"edit.cut", "", ranOnTab("edit.cut")},
        {"edit.copy", "", ranOnTab("edit.copy")},
        {"edit.paste", "", ranOnTab("edit.paste")},
        {"edit.select-all", "", ranOnTab("edit.select-all")},
        {"project.compile",
         QString::fromStdString("build.sh is not in the project folder " + folder +
                                ".\nGenerate the project's files first?"),
         nothing},
        {"project.load",
         QString::fromStdString("load.sh is not in the project folder " + folder +
                                ".\nGenerate the project's files first?"),
         nothing},
        {"project.flexprop", "Please Generate Files before invoking FlexProp.", nothing},
        {"project.simulate", "",
         [&] {
             EXPECT_EQ(View()->currentIndex(), int(CKivoView::SimBoardTab));
             EXPECT_TRUE(View()->SimBoard()->Message()->text().startsWith("The project has no generated code"));
         }},
        // No program yet: Compile is offered; No leaves it.
        {"project.verify",
         "The project has no generated code (Platform.h is missing): run Generate Code, then Compile.\n\nCompile the "
         "project now, then verify it?",
         [&] { EXPECT_EQ(Frame().VerifyRun(), nullptr); }},
        {"project.generate", "Project files created.",
         [&] { EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder) / "Cmd.c")); }},
        {"help.about", "kivo::CAboutDlg", nothing},
        {"window.manage", "kivo::CWindowsDialog", nothing},
        {"view.status-bar", "", [&] { EXPECT_TRUE(Frame().statusBar()->isHidden()); }},
        {"view.status-bar", "", [&] { EXPECT_FALSE(Frame().statusBar()->isHidden()); }},
        {"view.build-pane", "", [&] { EXPECT_TRUE(Frame().BuildDock()->isVisible()); }},
        {"view.terminal-pane", "", [&] { EXPECT_TRUE(Frame().TerminalDock()->isVisible()); }},
        {"view.terminal-pane", "", [&] { EXPECT_TRUE(Frame().TerminalDock()->isHidden()); }},
        {"project.external-terminal", "", [&] { EXPECT_EQ(app->Profile().GetInt("RunScriptsInTerminal", 0), 1); }},
        {"project.external-terminal", "", [&] { EXPECT_EQ(app->Profile().GetInt("RunScriptsInTerminal", 1), 0); }},
        {"file.print-pin-report", "",
         [&] {
             EXPECT_EQ(View()->currentIndex(), int(CKivoView::PinsTab));
             EXPECT_EQ(pins->ran.last(), "file.print");
         }},
        {"object.add", "kivo::CObjectPicker", nothing},
        {"edit.undo", "", [&] { EXPECT_TRUE(Doc().m_objList.empty()); }},
        {"edit.redo", "", [&] { EXPECT_EQ(Doc().m_objList.size(), 1u); }},
        {"object.edit", "kivo::CEditorDialog", nothing},
        {"object.delete", "", [&] { EXPECT_TRUE(Doc().m_objList.empty()); }},
        {"window.new", "", [&] { EXPECT_EQ(Frame().Children().size(), 2); }},
        {"file.close-window", "", [&] { EXPECT_EQ(Frame().Children().size(), 1); }},
        {"file.new", "", [&] { EXPECT_EQ(app->Documents().size(), 2u); }},
        {"file.close", "", [&] { EXPECT_EQ(app->Documents().size(), 1u); }},
        {"file.exit", "Save changes to Cmd.kivo before closing?", [&] { EXPECT_FALSE(Frame().isVisible()); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.id);
        QAction *action = Command(row.id);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->objectName(), row.id);
        if (row.id == QString("file.print-pin-report"))
            View()->setCurrentIndex(CKivoView::SettingsTab);
        if (row.id == QString("edit.undo"))
            AddServo(Doc(), app->Messages());
        if (row.id == QString("object.edit") || row.id == QString("object.delete")) {
            View()->setCurrentIndex(CKivoView::ObjectsTab);
            ClickRow(objects->ObjectList(), 0);
        }
        QString shown;
        if (!row.shown.isEmpty())
            Modals::Get().Then(Dismiss(&shown));
        ASSERT_TRUE(action->isEnabled());
        action->trigger();
        EXPECT_EQ(Modals::Get().Pending(), 0u);
        EXPECT_EQ(shown, row.shown);
        row.check();
    }

    // The looks, on a new start.
    app.reset();
    app = std::make_unique<CKivoApp>(ProfilePath());
    Start();
    for (const Look &look : OfferedLooks()) {
        QAction *action = Command(LookCommand(look.id).toLatin1().constData());
        ASSERT_NE(action, nullptr);
        action->trigger();
        EXPECT_EQ(Frame().CurrentLook(), look.id) << look.name;
        EXPECT_TRUE(action->isChecked());
    }
    // Every command of the main window is in the table, and those without
    // a handler stay disabled.
    QStringList tabled;
    for (const Row &row : rows)
        if (!QString(row.id).startsWith("object."))
            tabled << row.id;
    for (const Look &look : OfferedLooks())
        tabled << LookCommand(look.id);
    for (const char *id : kInactive) {
        EXPECT_FALSE(Enabled(id)) << id;
        tabled << id;
    }
    tabled << "window.next-pane"
           << "window.previous-pane"; // below
    tabled.removeDuplicates();
    QStringList ids = Frame().ActionIds();
    ids.sort();
    tabled.sort();
    EXPECT_EQ(ids, tabled);
    EXPECT_EQ(Frame().ActionById("no.such-command"), nullptr);
}

TEST_F(CommandsTest, PaneCommandsMoveTheFocus)
{
    Frame().activateWindow();
    QApplication::processEvents();
    Frame().DocumentTabs()->setFocus();
    Command("window.next-pane")->trigger();
    EXPECT_EQ(QApplication::focusWidget(), Frame().Ribbon()->Categories());
    Command("window.previous-pane")->trigger();
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget *>(Frame().DocumentTabs()));
}

TEST_F(CommandsTest, TheRibbonAndItsMenusShowTheCommandsActions)
{
    // Every button and menu entry of a command is that command's action
    // (the application menu's too, made here as when first shown).
    ASSERT_NE(Frame().Ribbon()->AppMenu(), nullptr);
    int shown = 0;
    QList<QAction *> actions;
    for (QToolButton *b : Frame().Ribbon()->findChildren<QToolButton *>())
        if (b->defaultAction())
            actions << b->defaultAction();
    for (QMenu *menu : Frame().Ribbon()->findChildren<QMenu *>())
        actions << menu->actions();
    actions << Frame().Ribbon()->StyleButton()->menu()->actions();
    for (QAction *a : actions) {
        if (a->isSeparator())
            continue;
        EXPECT_EQ(Frame().ActionById(a->objectName()), a) << a->text().toStdString();
        ++shown;
    }
    EXPECT_GE(shown, 35);
    // The panel's buttons are named after their commands.
    auto *paste = qobject_cast<QToolButton *>(Frame().Ribbon()->PanelControl("edit.paste"));
    ASSERT_NE(paste, nullptr);
    EXPECT_EQ(paste->defaultAction(), Command("edit.paste"));
    // The keyboard's Alt keys run the same commands.
    for (QShortcut *key : Frame().findChildren<QShortcut *>()) {
        if (!key->objectName().startsWith("keyTip:"))
            continue;
        QAction *a = Frame().ActionById(key->objectName().mid(7));
        ASSERT_NE(a, nullptr) << key->objectName().toStdString();
        EXPECT_EQ(key->key(), QKeySequence::mnemonic(a->text()));
    }
}

TEST_F(CommandsTest, ObjectEditAndDeleteFollowTheSelection)
{
    AddServo(Doc(), app->Messages(), "12");
    AddServo(Doc(), app->Messages(), "13");
    View()->setCurrentIndex(CKivoView::ObjectsTab);
    CObjectView *objects = View()->ObjectView();
    QListWidget *list = objects->ObjectList();
    ASSERT_EQ(list->count(), 2);
    EXPECT_TRUE(Enabled("object.add"));
    EXPECT_FALSE(Enabled("object.edit"));
    EXPECT_FALSE(Enabled("object.delete"));
    // Without a selection the buttons are disabled and the key does nothing.
    EXPECT_TRUE(objects->AddButton()->isEnabled());
    EXPECT_FALSE(objects->EditButton()->isEnabled());
    EXPECT_FALSE(objects->DeleteButton()->isEnabled());
    EXPECT_FALSE(Enabled("object.duplicate"));
    Key(list, Qt::Key_Delete);
    EXPECT_EQ(Doc().m_objList.size(), 2u);

    ClickRow(list, 1);
    EXPECT_TRUE(Enabled("object.edit"));
    EXPECT_TRUE(Enabled("object.delete"));
    EXPECT_TRUE(Enabled("object.duplicate"));
    EXPECT_TRUE(objects->EditButton()->isEnabled());
    EXPECT_TRUE(objects->DeleteButton()->isEnabled());
    list->clearSelection();
    EXPECT_FALSE(Enabled("object.delete"));
    EXPECT_FALSE(Enabled("object.duplicate"));
    EXPECT_FALSE(objects->DeleteButton()->isEnabled());
    ClickRow(list, 1);
    // A deletion selects the next line, so the command stays enabled until
    // the list is empty.
    Key(list, Qt::Key_Delete);
    EXPECT_EQ(Doc().m_objList.size(), 1u);
    EXPECT_TRUE(Enabled("object.delete"));
    objects->DeleteButton()->click();
    EXPECT_TRUE(Doc().m_objList.empty());
    EXPECT_FALSE(Enabled("object.edit"));
    EXPECT_FALSE(Enabled("object.delete"));
    EXPECT_FALSE(objects->EditButton()->isEnabled());
    EXPECT_FALSE(objects->DeleteButton()->isEnabled());

    // The ids name the active window's commands.
    QAction *first = Command("object.delete");
    Frame().RunCommand("window.new");
    EXPECT_NE(Command("object.delete"), first);
    EXPECT_EQ(Command("object.delete"), View()->ObjectView()->DeleteAction());
    Frame().CloseDocumentWindows(Doc());
    EXPECT_EQ(Frame().ActionById("object.delete"), nullptr);
}

TEST_F(CommandsTest, TheObjectListsContextMenuAddsEditsDuplicatesAndDeletes)
{
    AddServo(Doc(), app->Messages(), "12");
    View()->setCurrentIndex(CKivoView::ObjectsTab);
    CObjectView *objects = View()->ObjectView();
    QListWidget *list = objects->ObjectList();
    // Right-clicking a line (or below the lines): the menu's entries are the
    // view's commands; `choose` is run once the menu has closed.
    QStringList texts;
    QList<bool> enabled;
    auto menuOn = [&](int row, const char *choose = nullptr) {
        texts.clear();
        enabled.clear();
        QAction *chosen = nullptr;
        QTimer::singleShot(20, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (QAction *a : menu->actions()) {
                texts << a->text();
                enabled << a->isEnabled();
                if (choose && a->objectName() == choose)
                    chosen = a;
            }
            menu->close();
        });
        QPoint at(5, list->viewport()->height() - 5);
        if (row >= 0) {
            ClickRow(list, row);
            at = list->visualItemRect(list->item(row)).center();
        } else {
            list->clearSelection();
        }
        emit list->customContextMenuRequested(at);
        if (chosen)
            chosen->trigger();
    };
    menuOn(-1);
    EXPECT_EQ(texts, (QStringList{"Add Object", "Edit Object", "Duplicate Object", "Delete Object"}));
    EXPECT_EQ(enabled, (QList<bool>{true, false, false, false}));
    menuOn(0, "object.duplicate");
    EXPECT_EQ(enabled, (QList<bool>{true, true, true, true}));
    // The copy is added with the next name and pin, and selected.
    ASSERT_EQ(Doc().m_objList.size(), 2u);
    EXPECT_EQ(Lines(list), (QStringList{"Servo1 - Hobby Servo", "Servo2 - Hobby Servo"}));
    EXPECT_EQ(Doc().m_objList[1]->m_strPin, "13");
    EXPECT_EQ(list->currentRow(), 1);
    menuOn(1, "object.delete");
    EXPECT_EQ(Doc().m_objList.size(), 1u);
    QString opened;
    Modals::Get().Then([&](QWidget *w) {
        opened = w->metaObject()->className();
        qobject_cast<QDialog *>(w)->reject();
    });
    menuOn(0, "object.edit");
    EXPECT_EQ(opened, "kivo::CEditorDialog");
}

TEST_F(CommandsTest, UndoAndRedoFollowTheHistoryOfTheActiveProject)
{
    EXPECT_FALSE(Enabled("edit.undo"));
    EXPECT_FALSE(Enabled("edit.redo"));
    AddServo(Doc(), app->Messages());
    EXPECT_TRUE(Enabled("edit.undo"));
    EXPECT_EQ(Command("edit.undo")->toolTip(), "Undo Add Object (Ctrl+Z)");
    EXPECT_FALSE(Enabled("edit.redo"));
    Frame().RunCommand("edit.undo");
    EXPECT_FALSE(Enabled("edit.undo"));
    EXPECT_TRUE(Enabled("edit.redo"));
    EXPECT_EQ(Command("edit.redo")->toolTip(), "Redo Add Object (Ctrl+Shift+Z)");

    // Another project has a history of its own; coming back shows this one's.
    CChildFrame *first = Active();
    Frame().RunCommand("file.new");
    EXPECT_FALSE(Enabled("edit.undo"));
    EXPECT_FALSE(Enabled("edit.redo"));
    EXPECT_EQ(Command("edit.redo")->toolTip(), "Redo (Ctrl+Shift+Z)");
    // A change to a project in the background leaves the commands alone.
    AddServo(first->Document(), app->Messages());
    EXPECT_FALSE(Enabled("edit.undo"));
    Frame().ActivateChild(first);
    EXPECT_TRUE(Enabled("edit.undo"));
    EXPECT_FALSE(Enabled("edit.redo"));
    // A second window on the project sees the same history.
    Frame().RunCommand("window.new");
    EXPECT_TRUE(Enabled("edit.undo"));
}

TEST_F(CommandsTest, TabCommandsFollowTheActiveWindowAndItsTab)
{
    const char *const tabCommands[] = {"file.print", "file.quick-print", "file.print-preview", "edit.cut",
                                       "edit.copy",  "edit.paste",       "edit.select-all"};
    auto expectTabCommands = [&](bool enabled) {
        for (const char *id : tabCommands)
            EXPECT_EQ(Enabled(id), enabled) << id;
    };
    RecordPinTab();
    expectTabCommands(true);
    CChildFrame *pinWindow = Active();
    Frame().RunCommand("window.new");
    expectTabCommands(false);
    // The window in the background changes tabs: nothing changes here.
    pinWindow->View()->setCurrentIndex(CKivoView::ObjectsTab);
    pinWindow->View()->setCurrentIndex(CKivoView::PinsTab);
    expectTabCommands(false);
    Frame().ActivateChild(pinWindow);
    expectTabCommands(true);

    // The real pin view: what the grid offers, as its selection changes.
    Frame().RunCommand("file.new");
    View()->setCurrentIndex(CKivoView::PinsTab);
    auto *grid = dynamic_cast<CPinsView *>(View()->currentWidget())->GetGrid();
    EXPECT_FALSE(Enabled("edit.copy"));
    EXPECT_TRUE(Enabled("edit.select-all"));
    grid->SetFocusCell(1, 2);
    QApplication::clipboard()->clear();
    EXPECT_FALSE(Enabled("edit.paste"));
    // The cells are read-only: nothing is pasted into them or cut out.
    QApplication::clipboard()->setText("x");
    EXPECT_FALSE(Enabled("edit.paste"));
    Frame().RunCommand("edit.select-all");
    EXPECT_TRUE(Enabled("edit.copy"));
    EXPECT_FALSE(Enabled("edit.cut"));
    grid->ClearSelection();
    EXPECT_FALSE(Enabled("edit.copy"));
    EXPECT_TRUE(Enabled("file.print"));
}

TEST_F(CommandsTest, PrintCommandsAreGreyedWithATipWhereTheTabCannotPrint)
{
    const char *const printCommands[] = {"file.print", "file.quick-print", "file.print-preview"};
    const QString elsewhere = ": only the \"I/O Pin View\" tab prints (Ctrl+P shows it and prints)";
    struct Row {
        int tab;
        bool prints;
    };
    const Row rows[] = {{CKivoView::SettingsTab, false},
                        {CKivoView::ObjectsTab, false},
                        {CKivoView::PinsTab, true},
                        {CKivoView::SimBoardTab, false}};
    for (const Row &row : rows) {
        View()->setCurrentIndex(row.tab);
        for (const char *id : printCommands) {
            SCOPED_TRACE(std::string(id) + " on tab " + std::to_string(row.tab));
            EXPECT_EQ(Enabled(id), row.prints);
            EXPECT_EQ(Command(id)->toolTip().endsWith(elsewhere), !row.prints) << Command(id)->toolTip().toStdString();
        }
    }
    View()->setCurrentIndex(CKivoView::PinsTab);
    EXPECT_EQ(Command("file.quick-print")->toolTip(), "Print the I/O pin report on the default printer");
    // Ctrl+P itself goes to the pin view from any tab.
    View()->setCurrentIndex(CKivoView::ObjectsTab);
    EXPECT_TRUE(Enabled("file.print-pin-report"));
    EXPECT_EQ(Command("file.print-pin-report")->shortcut(), QKeySequence("Ctrl+P"));
}

TEST_F(CommandsTest, AFlexPropThatCannotStartIsSaidInWords)
{
    // A launcher beside the FlexSpin folder that may not be run.
    const std::string folder = std::filesystem::path(path.toStdString()).parent_path() / "flexprop";
    std::filesystem::create_directories(folder + "/bin");
    WriteFileBytes(folder + "/flexprop", "#!/bin/sh\n");
    std::filesystem::permissions(folder + "/flexprop", std::filesystem::perms::owner_read);
    Doc().m_strFlexSpinPath = folder + "/bin";
    Doc().m_strMainFilePath = folder + "/Cmd.c";
    Modals::Get().ThenBox();
    Frame().RunCommand("project.flexprop");
    auto &boxes = Modals::Get().Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QString::fromStdString("FlexProp could not be started: Permission denied.\nThe program "
                                                    "tried was " +
                                                    folder + "/flexprop."));
    EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
}

TEST_F(CommandsTest, ProjectCommandsNeedAProjectWindow)
{
    const char *const projectCommands[] = {"file.save",         "file.save-as",          "file.close",
                                           "file.close-window", "file.print-pin-report", "project.generate",
                                           "project.compile",   "project.load",          "project.flexprop",
                                           "window.new",        "project.simulate",      "project.verify"};
    for (const char *id : projectCommands)
        EXPECT_TRUE(Enabled(id)) << id;
    Frame().RunCommand("file.close");
    ASSERT_EQ(Active(), nullptr);
    for (const char *id : projectCommands) {
        EXPECT_FALSE(Enabled(id)) << id;
        Frame().RunCommand(id); // disabled: nothing runs, nothing is asked
    }
    EXPECT_EQ(Modals::Get().Pending(), 0u);
    EXPECT_TRUE(app->Documents().empty());
    for (const char *id : {"file.new", "file.open", "file.exit", "help.about", "window.manage", "view.status-bar"})
        EXPECT_TRUE(Enabled(id)) << id;
    Frame().RunCommand("file.new");
    for (const char *id : projectCommands)
        EXPECT_TRUE(Enabled(id)) << id;
}

} // namespace
} // namespace kivo::test
