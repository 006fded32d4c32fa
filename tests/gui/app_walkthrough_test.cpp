// A new user's way through the application with the real FlexSpin and a
// stand-in loader: a new project, an NCO and an LED string, Generate,
// Compile, a syntax error taken to its line, then Load with the board's
// terminal. With KIVO_SCREENSHOT_DIR set, each step is shot as well.
#include "app_support.h"

#include "app/buildpane.h"
#include "flexspin.h"
#include "workspace/editordialog.h"
#include "workspace/flexspinview.h"
#include "workspace/objectpicker.h"
#include "workspace/objectview.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>
#include <QUrl>
#include <filesystem>

namespace kivo::test {
namespace {

// A loader that prints as loadp2 does, then answers every line the user
// types, as a board running the program would.
const char *const kStandInLoader = "#!/bin/sh\n"
                                   "echo \"Loading $(ls *.binary) to the board\"\n"
                                   "echo '( Entering terminal mode.  Press Ctrl-] or Ctrl-Z to exit. )'\n"
                                   "echo 'NCO and LED string running'\n"
                                   "while read line; do\n"
                                   "  echo \"board got: $line\"\n"
                                   "  [ \"$line\" = bye ] && exit 0\n"
                                   "done\n";

// Takes the URLs that the desktop would open.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
    Q_INVOKABLE void Open(const QUrl &url) { urls << url; }
};

class WalkTest : public AppTest
{
protected:
    void Shoot(QWidget *w, const char *name)
    {
        const char *folder = std::getenv("KIVO_SCREENSHOT_DIR");
        if (!folder || !*folder)
            return;
        std::filesystem::create_directories(folder);
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
        EXPECT_TRUE(w->grab().save(QString::fromStdString(std::string(folder) + "/" + name), "PNG")) << name;
    }
    // Add Object on the object list, the kind's button, then the editor's OK.
    void Add(int kind, const char *pickerShot, const char *editorShot)
    {
        Modals::Get().Then([this, kind, pickerShot](QWidget *w) {
            auto *picker = qobject_cast<CObjectPicker *>(w);
            ASSERT_NE(picker, nullptr);
            Shoot(picker, pickerShot);
            picker->KindButton(kind)->click();
        });
        Modals::Get().Then([this, editorShot](QWidget *w) {
            auto *editor = qobject_cast<CEditorDialog *>(w);
            ASSERT_NE(editor, nullptr);
            Shoot(editor, editorShot);
            editor->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        });
        View()->ObjectView()->AddButton()->click();
    }
    CScriptRun *Run(const char *id)
    {
        const int before = int(Frame().BuildPane()->Runs().size());
        Frame().RunCommand(id);
        EXPECT_EQ(Frame().BuildPane()->Runs().size(), before + 1) << id;
        CScriptRun *run = Frame().BuildPane()->Runs().value(0);
        if (run) {
            EXPECT_TRUE(QTest::qWaitFor([run] { return !run->IsRunning(); }, 180000)) << id;
        }
        return run;
    }
};

TEST_F(WalkTest, ANewProjectGoesFromTwoObjectsToTheBoardsTerminal)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const std::string loader = dir / "loader";
    std::filesystem::create_directories(loader);
    WriteFileBytes(loader + "/loadp2", kStandInLoader);
    std::filesystem::permissions(loader + "/loadp2", std::filesystem::perms::owner_all);

    // A new project; the tool folders typed into its settings.
    Start();
    Frame().resize(1366, 740);
    Frame().show();
    const std::pair<int, std::string> folders[] = {{1004, std::filesystem::path(flexspin).parent_path().string()},
                                                   {1006, loader}};
    for (auto &[id, folder] : folders) {
        auto *edit = qobject_cast<QLineEdit *>(View()->SettingsView()->Control(id));
        ASSERT_NE(edit, nullptr);
        Retype(edit, QString::fromStdString(folder));
        Key(edit, Qt::Key_Return);
    }
    Shoot(&Frame(), "walk-1-settings.png");

    // An NCO and an LED string, each with its editor's defaults.
    View()->setCurrentIndex(CKivoView::ObjectsTab);
    Add(kNCO, "walk-2-picker.png", "walk-2-nco-editor.png");
    Add(kNeopixel, "walk-3-picker.png", "walk-3-led-editor.png");
    ASSERT_EQ(Doc().m_objList.size(), 2u);
    EXPECT_EQ(Lines(View()->ObjectView()->ObjectList()).size(), 2);
    Shoot(&Frame(), "walk-4-objects.png");

    // Generate: a first save, then the files.
    const std::string project = dir / "Walk/Walk.kivo";
    std::filesystem::create_directories(dir / "Walk");
    Modals::Get().ThenBox();
    Modals::Get().Then([&project](QWidget *w) {
        auto *files = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(files, nullptr);
        files->selectFile(QString::fromStdString(project));
        QMetaObject::invokeMethod(files, "accept");
    });
    Modals::Get().Then([this](QWidget *w) {
        Shoot(w, "walk-5-generated.png");
        Modals::Get().AnswerBox(w);
    });
    Frame().RunCommand("project.generate");
    auto &boxes = Modals::Get().Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Project must be saved first.");
    EXPECT_EQ(boxes[1].text, "Project files created.");
    EXPECT_EQ(boxes[1].icon, QMessageBox::Information);
    const std::string main = dir / "Walk/Walk.c";
    ASSERT_TRUE(std::filesystem::exists(main));

    // Compile with the real FlexSpin: its output in the Build pane.
    CScriptRun *run = Run("project.compile");
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->GetState(), CScriptRun::State::Finished) << run->Output()->toPlainText().toStdString();
    EXPECT_TRUE(run->Summary().startsWith("Compile finished: 0 errors")) << run->Summary().toStdString();
    EXPECT_EQ(Frame().statusBar()->currentMessage(), "Walk: " + run->Summary());
    EXPECT_TRUE(std::filesystem::exists(dir / "Walk/Walk.binary"));
    Shoot(&Frame(), "walk-6-compiled.png");

    // A syntax error in the main file: listed with its file and line, and
    // a double-click takes the user there.
    const std::string good = ReadFileBytes(main);
    const int badLine = int(std::count(good.begin(), good.end(), '\n')) + 1;
    WriteFileBytes(main, good + "this is not C\n");
    CScriptRun *failed = Run("project.compile");
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->GetState(), CScriptRun::State::Failed);
    EXPECT_TRUE(failed->Summary().startsWith("Compile failed")) << failed->Summary().toStdString();
    QTreeWidget *problems = failed->Problems();
    ASSERT_GE(problems->topLevelItemCount(), 1);
    QTreeWidgetItem *first = problems->topLevelItem(0);
    EXPECT_EQ(first->text(0), "Walk.c");
    EXPECT_EQ(first->text(1).toInt(), badLine);
    EXPECT_TRUE(first->text(2).startsWith("error:")) << first->text(2).toStdString();
    Shoot(&Frame(), "walk-7-syntax-error.png");
    {
        ScopedEnv path("PATH", "/nonexistent");
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("file", &recorder, "Open");
        QPoint at = problems->visualItemRect(first).center();
        QTest::mouseClick(problems->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(problems->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QDesktopServices::unsetUrlHandler("file");
        EXPECT_EQ(recorder.urls, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(main))});
        EXPECT_EQ(Frame().statusBar()->currentMessage(), QString("Opened Walk.c, line %1").arg(badLine));
    }

    // Fixed again, compiled, and loaded: the terminal passes text both ways.
    WriteFileBytes(main, good);
    ASSERT_EQ(Run("project.compile")->GetState(), CScriptRun::State::Finished);
    Frame().RunCommand("project.load");
    CScriptRun *load = Frame().BuildPane()->Runs().value(0);
    ASSERT_NE(load, nullptr);
    CTerminalPane *terminal = Frame().TerminalPane();
    EXPECT_TRUE(Frame().TerminalDock()->isVisible());
    QPlainTextEdit *screen = terminal->Screen();
    ASSERT_TRUE(QTest::qWaitFor([screen] { return screen->toPlainText().contains("running"); }, 10000));
    EXPECT_TRUE(screen->toPlainText().contains("Loading Walk.binary to the board"))
        << screen->toPlainText().toStdString();
    Type(terminal->Input(), "hello board");
    Key(terminal->Input(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([screen] { return screen->toPlainText().contains("board got: hello board"); }, 10000));
    Shoot(&Frame(), "walk-8-terminal.png");
    Type(terminal->Input(), "bye");
    Key(terminal->Input(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([load] { return !load->IsRunning(); }, 10000));
    EXPECT_EQ(load->Summary(), "Load finished");
    Shoot(&Frame(), "walk-9-loaded.png");
}

} // namespace
} // namespace kivo::test

#include "app_walkthrough_test.moc"
