// Compile and Load inside Kivo: the Build pane, the Terminal pane, Stop, and
// a second start on the same project, with a stand-in compiler and loader.
#include "app_support.h"

#include "app/buildpane.h"
#include "app/ribbon.h"
#include "workspace/flexspinview.h"
#include "workspace/simboardtab.h"

#include <QDesktopServices>
#include <QDockWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>
#include <QUrl>

namespace kivo::test {
namespace {

// A compiler that prints as FlexSpin does: banner on stdout, problems on stderr.
const char *const kFailingCompiler = "#!/bin/sh\n"
                                     "echo \"Propeller Spin/PASM Compiler 'FlexSpin' (c) Total Spectrum\"\n"
                                     "echo \"$2 $3 $4\"\n"
                                     "echo \"$PWD/Blink.c:12: error: syntax error, unexpected return\" >&2\n"
                                     "echo 'Platform.h:3: warning: mixing pointer and integer types' >&2\n"
                                     "echo 'error: Preprocessor errors:' >&2\n"
                                     "exit 1\n";
const char *const kWarningCompiler = "#!/bin/sh\n"
                                     "echo 'Blink.c'\n"
                                     "echo 'Blink.c:7: warning: unused variable x' >&2\n"
                                     "echo 'Blink.c:9: warning: unused variable y' >&2\n"
                                     "echo 'Program size is 2228 bytes'\n";
// Runs until it is ended; its child notes its pid, to show that Stop ends
// the whole group.
const char *const kSlowCompiler = "#!/bin/sh\n"
                                  "echo 'compiling slowly'\n"
                                  "sleep 30 & echo $! > sleep.pid\n"
                                  "wait\n";
// A loader that hands over to the board, which answers every line.
const char *const kTerminalLoader = "#!/bin/sh\n"
                                    "echo 'Loading Blink.binary - 2228 bytes'\n"
                                    "echo '( Entering terminal mode.  Press Ctrl-] or Ctrl-Z to exit. )'\n"
                                    "echo 'board ready'\n"
                                    "while read line; do\n"
                                    "  echo \"board got: $line\"\n"
                                    "  [ \"$line\" = bye ] && exit 0\n"
                                    "done\n"
                                    "exit 0\n";

// Takes the URLs that the desktop would open.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
    Q_INVOKABLE void Open(const QUrl &url) { urls << url; }
};

class BuildPaneTest : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        Start({SavedProject("Blink.kivo")});
        std::filesystem::create_directories(dir / "bin");
        SetTool("flexspin", kWarningCompiler);
        SetTool("loadp2", "#!/bin/sh\necho \"loadp2 $*\"\n");
        // The folder settings as the user types them, then Generate.
        CFlexSpinView *form = View()->SettingsView();
        for (int id : {1004, 1006}) {
            auto *edit = qobject_cast<QLineEdit *>(form->Control(id));
            Retype(edit, QString::fromStdString(dir / "bin"));
            Key(edit, Qt::Key_Return);
        }
        Modals::Get().ThenBox();
        Frame().RunCommand("project.generate");
        ASSERT_EQ(Modals::Get().Boxes().size(), 1u);
        ASSERT_EQ(Modals::Get().Boxes()[0].text, "Project files created.");
        Modals::Get().Reset();
    }

    void SetTool(const char *name, const char *body)
    {
        const std::string path = dir / (std::string("bin/") + name);
        WriteFileBytes(path, body);
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }
    CBuildPane &Pane() { return *Frame().BuildPane(); }
    // Runs a command; the run it started.
    CScriptRun *Run(const char *id)
    {
        const int before = int(Pane().Runs().size());
        Frame().RunCommand(id);
        EXPECT_EQ(Pane().Runs().size(), before + 1) << id;
        return Pane().Runs().value(0);
    }
    static bool Ends(CScriptRun *run)
    {
        return QTest::qWaitFor([run] { return !run->IsRunning(); }, 10000);
    }
    static QStringList Problems(CScriptRun *run)
    {
        QStringList out;
        for (int i = 0; i < run->Problems()->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = run->Problems()->topLevelItem(i);
            out << item->text(0) + "|" + item->text(1) + "|" + item->text(2);
        }
        return out;
    }
    // Answers the next question with Yes or No and keeps its text.
    static void Answer(QString *text, QMessageBox::StandardButton button)
    {
        Modals::Get().Then([text, button](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            ASSERT_NE(box, nullptr);
            *text = box->text();
            box->button(button)->click();
        });
    }
};

TEST(ToolMessages, CompilerLinesGiveFileLineAndText)
{
    struct Case {
        const char *line;
        bool found;
        const char *file;
        int at;
        bool error;
        const char *text;
    };
    const Case cases[] = {
        {"/p/Blink.c:4: error: syntax error, unexpected return", true, "/p/Blink.c", 4, true,
         "syntax error, unexpected return"},
        {"Blink.c:5: warning: mixing pointer and integer types", true, "Blink.c", 5, false,
         "mixing pointer and integer types"},
        {"C:\\p\\Blink.c:12: error: x", true, "C:\\p\\Blink.c", 12, true, "x"},
        {"error: Unable to open file `nosuch.c'", true, "", 0, true, "Unable to open file `nosuch.c'"},
        {"1 error in preprocessor.", false, "", 0, false, ""},
        // The summary after the problems it sums up.
        {"error: Preprocessor errors:", false, "", 0, false, ""},
        {"error: Preprocessor errors", false, "", 0, false, ""},
        {"Blink.c", false, "", 0, false, ""},
        {"Program size is 2228 bytes", false, "", 0, false, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        auto m = ParseToolMessage(c.line);
        ASSERT_EQ(m.has_value(), c.found);
        if (!m)
            continue;
        EXPECT_EQ(m->file, c.file);
        EXPECT_EQ(m->line, c.at);
        EXPECT_EQ(m->error, c.error);
        EXPECT_EQ(m->text, c.text);
    }
}

TEST_F(BuildPaneTest, AFailedCompileListsItsProblemsAndSaysItsExitStatus)
{
    SetTool("flexspin", kFailingCompiler);
    EXPECT_TRUE(Frame().BuildDock()->isHidden());
    CScriptRun *run = Run("project.compile");
    ASSERT_NE(run, nullptr);
    EXPECT_TRUE(Frame().BuildDock()->isVisible());
    ASSERT_TRUE(Ends(run));
    EXPECT_EQ(run->GetState(), CScriptRun::State::Failed);
    EXPECT_EQ(run->Summary(), "Compile failed (exit 1)");
    const QString output = run->Output()->toPlainText();
    EXPECT_TRUE(output.contains("Propeller Spin/PASM Compiler")) << output.toStdString();
    EXPECT_TRUE(output.endsWith("Compile failed (exit 1)\n")) << output.toStdString();
    // The script's pause ended on its closed input and is not shown.
    EXPECT_FALSE(output.contains("Press Enter")) << output.toStdString();
    EXPECT_EQ(Problems(run), (QStringList{"Blink.c|12|error: syntax error, unexpected return",
                                          "Platform.h|3|warning: mixing pointer and integer types"}));
    // FlexSpin's closing summary counts as no error of its own.
    EXPECT_EQ(run->Errors(), 1);
    EXPECT_EQ(Frame().statusBar()->currentMessage(), "Blink: Compile failed (exit 1)");
    EXPECT_EQ(Pane().RunList()->item(0)->text(), "Blink: Compile failed (exit 1)");

    // A clean compile: its warnings counted, the newest entry first.
    SetTool("flexspin", kWarningCompiler);
    CScriptRun *second = Run("project.compile");
    ASSERT_TRUE(Ends(second));
    EXPECT_EQ(second->Summary(), "Compile finished: 0 errors, 2 warnings");
    EXPECT_EQ(Lines(Pane().RunList()),
              (QStringList{"Blink: Compile finished: 0 errors, 2 warnings", "Blink: Compile failed (exit 1)"}));
    EXPECT_EQ(Pane().Current(), second);
    // The earlier run is still there to look at.
    ClickRow(Pane().RunList(), 1);
    EXPECT_EQ(Pane().Current(), run);
}

TEST_F(BuildPaneTest, DoubleClickingAProblemOpensItsFile)
{
    SetTool("flexspin", kFailingCompiler);
    CScriptRun *run = Run("project.compile");
    ASSERT_TRUE(Ends(run));
    auto open = [run](int row) {
        QTreeWidget *tree = run->Problems();
        QTreeWidgetItem *item = tree->topLevelItem(row);
        QPoint at = tree->visualItemRect(item).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    };
    // FlexProp above the FlexSpin folder takes the file.
    const std::string flexprop = dir / "flexprop";
    WriteFileBytes(flexprop, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
    std::filesystem::permissions(flexprop, std::filesystem::perms::owner_all);
    open(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(flexprop + ".args"); }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(ReadFileBytes(flexprop + ".args"), (dir / "Platform.h") + "\n");
    EXPECT_EQ(Frame().statusBar()->currentMessage(), "Opened Platform.h, line 3 in FlexProp");

    // Without FlexProp: the desktop's handler for files.
    std::filesystem::remove(flexprop);
    ScopedEnv path("PATH", "/nonexistent");
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "Open");
    open(0);
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(recorder.urls, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(dir / "Blink.c"))});
    // A problem without a file opens nothing.
    open(2);
    EXPECT_EQ(recorder.urls.size(), 1);
}

TEST_F(BuildPaneTest, TheApplicationWorksWhileACompileRunsAndStopEndsIt)
{
    SetTool("flexspin", kSlowCompiler);
    CScriptRun *run = Run("project.compile");
    ASSERT_NE(run, nullptr);
    // The command has returned with the compiler still running, and the
    // output reaches the pane as the event loop goes on.
    EXPECT_TRUE(run->IsRunning());
    ASSERT_TRUE(QTest::qWaitFor([run] { return run->Output()->toPlainText().contains("compiling slowly"); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(dir / "sleep.pid"); }, 5000));
    const pid_t sleeper = std::stoi(ReadFileBytes(dir / "sleep.pid"));
    EXPECT_TRUE(run->IsRunning());
    EXPECT_TRUE(run->StopButton()->isEnabled());
    Frame().RunCommand("view.status-bar"); // other commands act meanwhile
    EXPECT_TRUE(Frame().statusBar()->isHidden());
    Frame().RunCommand("view.status-bar");

    run->StopButton()->click();
    ASSERT_TRUE(Ends(run));
    EXPECT_EQ(run->Summary(), "Compile stopped");
    EXPECT_FALSE(run->StopButton()->isEnabled());
    EXPECT_TRUE(run->Output()->toPlainText().endsWith("Compile stopped\n"));
    // The compiler's own child went with the group (gone, or a zombie that
    // its new parent has yet to reap).
    auto alive = [sleeper] {
        std::string stat = ReadFileBytes("/proc/" + std::to_string(sleeper) + "/stat");
        auto paren = stat.rfind(')');
        return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return !alive(); }, 3000));
}

TEST_F(BuildPaneTest, ASecondStartOnTheSameProjectAsksFirst)
{
    SetTool("flexspin", kSlowCompiler);
    CScriptRun *first = Run("project.compile");
    ASSERT_TRUE(first->IsRunning());
    // No: the running compile goes on and nothing new starts.
    QString asked;
    Answer(&asked, QMessageBox::No);
    Frame().RunCommand("project.compile");
    EXPECT_EQ(asked, "A compile of Blink is running. Stop it and start again?");
    EXPECT_EQ(Pane().Runs().size(), 1);
    EXPECT_TRUE(first->IsRunning());
    // Yes to a load: the compile is stopped first.
    Answer(&asked, QMessageBox::Yes);
    CScriptRun *load = Run("project.load");
    EXPECT_EQ(asked, "A compile of Blink is running. Stop it and start the load?");
    EXPECT_EQ(first->GetState(), CScriptRun::State::Stopped);
    ASSERT_TRUE(Ends(load));
    EXPECT_EQ(load->Summary(), "Load finished");
    EXPECT_TRUE(load->Output()->toPlainText().contains("loadp2 -t -k Blink.binary"));
    EXPECT_EQ(Modals::Get().Pending(), 0u);
}

// The loader is checked in the folder the settings name now; the script of
// the last Generate names the folder of then, so Load offers Generate first.
TEST_F(BuildPaneTest, LoadAfterAChangedLoaderFolderOffersGenerateFirst)
{
    std::filesystem::create_directories(dir / "newbin");
    const std::string loader = dir / "newbin/loadp2";
    WriteFileBytes(loader, "#!/bin/sh\necho \"new loadp2 $*\"\n");
    std::filesystem::permissions(loader, std::filesystem::perms::owner_all);
    auto *edit = qobject_cast<QLineEdit *>(View()->SettingsView()->Control(1006));
    Retype(edit, QString::fromStdString(dir / "newbin"));
    Key(edit, Qt::Key_Return);

    // No: nothing runs.
    QString asked;
    Answer(&asked, QMessageBox::No);
    Frame().RunCommand("project.load");
    EXPECT_EQ(asked.toStdString(), "load.sh in the project folder " + dir.Path() +
                                       " was generated for other settings than the project's.\nGenerate the "
                                       "project's files first?");
    EXPECT_TRUE(Pane().Runs().isEmpty());

    // Yes: Generate (its message), then the new loader runs.
    Answer(&asked, QMessageBox::Yes);
    Modals::Get().ThenBox();
    CScriptRun *run = Run("project.load");
    ASSERT_NE(run, nullptr);
    ASSERT_EQ(Modals::Get().Boxes().size(), 1u);
    EXPECT_EQ(Modals::Get().Boxes()[0].text, "Project files created.");
    EXPECT_EQ(Modals::Get().Boxes()[0].icon, QMessageBox::Information);
    ASSERT_TRUE(Ends(run));
    EXPECT_TRUE(run->Output()->toPlainText().contains("new loadp2 -t -k"))
        << run->Output()->toPlainText().toStdString();
}

TEST_F(BuildPaneTest, TheTerminalPanePassesTextBothWays)
{
    SetTool("loadp2", kTerminalLoader);
    ASSERT_EQ(Doc().m_bShowTerminal, 1);
    CScriptRun *run = Run("project.load");
    CTerminalPane *terminal = Frame().TerminalPane();
    EXPECT_TRUE(Frame().TerminalDock()->isVisible());
    EXPECT_EQ(terminal->Run(), run);
    QPlainTextEdit *screen = terminal->Screen();
    ASSERT_TRUE(QTest::qWaitFor([screen] { return screen->toPlainText().contains("board ready"); }, 5000));
    ASSERT_TRUE(terminal->Input()->isEnabled());
    Type(terminal->Input(), "hello board");
    Key(terminal->Input(), Qt::Key_Return);
    EXPECT_TRUE(terminal->Input()->text().isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([screen] { return screen->toPlainText().contains("board got: hello board"); }, 5000));
    // The loader's messages are in the Build pane; the board's talk is not.
    EXPECT_TRUE(run->Output()->toPlainText().contains("Loading Blink.binary"));
    EXPECT_FALSE(run->Output()->toPlainText().contains("board got"));
    // The loader ends; the script's pause must not keep the load open.
    Type(terminal->Input(), "bye");
    Key(terminal->Input(), Qt::Key_Return);
    ASSERT_TRUE(Ends(run));
    EXPECT_EQ(run->Summary(), "Load finished");
    EXPECT_FALSE(terminal->Input()->isEnabled());
    EXPECT_TRUE(screen->toPlainText().endsWith("[Load finished]\n")) << screen->toPlainText().toStdString();

    // A terminal the board keeps open ends with Stop.
    CScriptRun *again = Run("project.load");
    ASSERT_TRUE(QTest::qWaitFor([screen] { return screen->toPlainText().contains("board ready"); }, 5000));
    terminal->StopButton()->click();
    ASSERT_TRUE(Ends(again));
    EXPECT_EQ(again->Summary(), "Load stopped");
}

TEST_F(BuildPaneTest, TheExternalTerminalIsAProfileSetting)
{
    QAction *external = Frame().ActionById("project.external-terminal");
    ASSERT_NE(external, nullptr);
    EXPECT_FALSE(external->isChecked());
    Frame().RunCommand("project.external-terminal");
    EXPECT_TRUE(external->isChecked());
    // Kept in the profile: a new start has it on.
    Frame().RunCommand("file.save");
    app.reset();
    app = std::make_unique<CKivoApp>(ProfilePath());
    Start({QString::fromStdString(dir / "Blink.kivo")});
    EXPECT_TRUE(Frame().ActionById("project.external-terminal")->isChecked());
    // Compile then opens a terminal window and leaves the Build pane alone.
    ScopedEnv terminal("TERMINAL", dir / "no-such-terminal");
    ScopedEnv path("PATH", "/nonexistent");
    Modals::Get().ThenBox();
    Modals::Get().ThenBox();
    Frame().RunCommand("project.compile");
    ASSERT_EQ(Modals::Get().Boxes().size(), 2u);
    EXPECT_TRUE(Modals::Get().Boxes()[0].text.startsWith("No terminal window could be opened to run build.sh."));
    EXPECT_TRUE(Frame().BuildPane()->Runs().isEmpty());
}

// The panes are made when first wanted: a dock shown before any run, from
// the ribbon's check box or from the main window's own menu of docks, holds
// its pane.
TEST_F(AppTest, ADockShownBeforeAnyRunHoldsItsPane)
{
    struct Case {
        const char *how;
        bool build;
        bool fromDockMenu;
    };
    for (Case c : {Case{"Build Pane check box", true, false}, Case{"Terminal Pane check box", false, false},
                   Case{"dock menu, Build", true, true}, Case{"dock menu, Terminal", false, true}}) {
        SCOPED_TRACE(c.how);
        app.reset();
        app = std::make_unique<CKivoApp>(ProfilePath());
        Start();
        QDockWidget *dock = c.build ? Frame().BuildDock() : Frame().TerminalDock();
        ASSERT_FALSE(dock->isVisible());
        if (c.fromDockMenu)
            dock->toggleViewAction()->trigger();
        else
            Frame().RunCommand(c.build ? "view.build-pane" : "view.terminal-pane");
        // What the dock holds as it shows (the accessors below would make it).
        QWidget *shown = dock->widget();
        ASSERT_NE(shown, nullptr);
        EXPECT_TRUE(dock->isVisible());
        EXPECT_TRUE(shown->isVisible());
        EXPECT_TRUE(Frame().ActionById(c.build ? "view.build-pane" : "view.terminal-pane")->isChecked());
        EXPECT_EQ(shown, c.build ? static_cast<QWidget *>(Frame().BuildPane()) : Frame().TerminalPane());
    }
}

// Made when first wanted, the panes and the "Simulated Board" tab keep their
// place in the window's keyboard order: the ribbon, the panes, then the
// project window's tabs, the board last.
TEST_F(AppTest, PanesAndTabsMadeLateKeepTheirKeyboardOrder)
{
    Start({SavedProject("Order.kivo")});
    View()->setCurrentIndex(CKivoView::SimBoardTab);
    Frame().RunCommand("view.build-pane");
    QList<QWidget *> chain;
    for (QWidget *w = Frame().nextInFocusChain(); w != &Frame(); w = w->nextInFocusChain())
        chain << w;
    auto first = [&chain](QWidget *container) {
        for (int i = 0; i < chain.size(); ++i)
            if (container->isAncestorOf(chain[i]) && (chain[i]->focusPolicy() & Qt::TabFocus))
                return i;
        return -1;
    };
    const int ribbon = first(Frame().Ribbon());
    const int build = first(Frame().BuildPane());
    const int terminal = first(Frame().TerminalPane());
    const int settings = first(View()->SettingsView());
    const int board = first(View()->SimBoard());
    EXPECT_GE(ribbon, 0);
    EXPECT_LT(ribbon, build);
    EXPECT_LT(build, terminal);
    EXPECT_LT(terminal, settings);
    EXPECT_LT(settings, board);
}

// For the documentation, with KIVO_SCREENSHOT_DIR set (under xvfb-run with
// QT_QPA_PLATFORM=xcb): the window as it first opens on a 1366 x 768 screen,
// after a failed compile.
TEST_F(BuildPaneTest, Screenshot)
{
    const char *folder = std::getenv("KIVO_SCREENSHOT_DIR");
    if (!folder || !*folder)
        GTEST_SKIP() << "set KIVO_SCREENSHOT_DIR to write the documentation's screenshots";
    SetTool("flexspin", kFailingCompiler);
    CScriptRun *run = Run("project.compile");
    ASSERT_TRUE(Ends(run));
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    // The whole window, panes included, fits the screen it opened on.
    EXPECT_LE(Frame().minimumSizeHint().height(), 768 - 50);
    EXPECT_LE(Frame().frameGeometry().height(), 768);
    EXPECT_LE(Frame().frameGeometry().width(), 1366);
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(Frame().grab().save(QString(folder) + "/app-build-pane.png", "PNG"));

    // The board's terminal after a line sent to it.
    SetTool("loadp2", kTerminalLoader);
    CScriptRun *load = Run("project.load");
    QPlainTextEdit *screen = Frame().TerminalPane()->Screen();
    ASSERT_TRUE(QTest::qWaitFor([screen] { return screen->toPlainText().contains("board ready"); }, 5000));
    Type(Frame().TerminalPane()->Input(), "hello board");
    Key(Frame().TerminalPane()->Input(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([screen] { return screen->toPlainText().contains("board got"); }, 5000));
    Type(Frame().TerminalPane()->Input(), "led on");
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    EXPECT_TRUE(Frame().grab().save(QString(folder) + "/app-terminal-pane.png", "PNG"));
    load->Stop();
    ASSERT_TRUE(Ends(load));
}

} // namespace
} // namespace kivo::test

#include "app_buildpane_test.moc"
