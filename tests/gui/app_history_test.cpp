// Nothing is lost: the modified mark and the save prompt, undo and redo
// through the window, the editors and windows seeing the project as it is,
// and the keyboard and screen-size behaviour of the shell.
#include "app_support.h"
#include "generator/generator.h"
#include "grid/pinsview.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "objects/editor.h"
#include "workspace/colortabbar.h"
#include "workspace/editordialog.h"
#include "workspace/flexspinview.h"
#include "workspace/objectpicker.h"
#include "workspace/objectview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStatusBar>
#include <QTabBar>
#include <algorithm>
#include <filesystem>

namespace kivo::test {
namespace {

std::vector<uint8_t> Bytes(const CKivoDoc &doc) { return SerializeProject(doc); }

// Presses `button` of the message box that comes up, keeping its text.
Modals::Step Answer(QMessageBox::StandardButton button, QString *text = nullptr)
{
    return [button, text](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_NE(box, nullptr) << w->metaObject()->className();
        if (text)
            *text = box->text();
        ASSERT_NE(box->button(button), nullptr);
        box->button(button)->click();
    };
}

void PressOk(QWidget *dialog) { dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click(); }

class HistoryTest : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        path = SavedProject("Hist.kivo");
        Start({path});
    }
    CFlexSpinView *Form(CChildFrame *child = nullptr) { return (child ? child : Active())->View()->SettingsView(); }
    QComboBox *Clock(CChildFrame *child = nullptr) { return qobject_cast<QComboBox *>(Form(child)->Control(1027)); }
    CObjectView *List(CChildFrame *child = nullptr) { return (child ? child : Active())->View()->ObjectView(); }
    // Types a clock into the form and ends its editing with Enter.
    void SetClock(const QString &hz, CChildFrame *child = nullptr)
    {
        Retype(Clock(child)->lineEdit(), hz);
        Key(Clock(child)->lineEdit(), Qt::Key_Return);
    }
    // Add Object, the kind's button, `edit` on the editor, then OK.
    void Add(int kind, std::function<void(CEditorDialog *)> edit, CChildFrame *child = nullptr)
    {
        Modals::Get().Then([kind](QWidget *w) { qobject_cast<CObjectPicker *>(w)->KindButton(kind)->click(); });
        Modals::Get().Then([edit](QWidget *w) {
            auto *d = qobject_cast<CEditorDialog *>(w);
            ASSERT_NE(d, nullptr);
            edit(d);
            PressOk(d);
        });
        List(child)->AddButton()->click();
    }
    QString TabText(int i) { return Frame().DocumentTabs()->tabText(i); }

    QString path;
};

TEST_F(HistoryTest, ChangesShowTheModifiedMarkAndClosingAsksSaveDiscardOrCancel)
{
    EXPECT_EQ(Frame().windowTitle(), "Hist.kivo - Kivo");
    SetClock("200000000");
    EXPECT_EQ(Frame().windowTitle(), "Hist.kivo* - Kivo");
    EXPECT_EQ(TabText(0), "Hist.kivo*");

    // Cancel keeps the window, whichever way it was closed.
    QString asked;
    for (const char *id : {"file.close-window", "file.close", "file.exit"}) {
        Modals::Get().Then(Answer(QMessageBox::Cancel, &asked));
        Frame().RunCommand(id);
        EXPECT_EQ(Frame().Children().size(), 1) << id;
        EXPECT_TRUE(Frame().isVisible()) << id;
    }
    EXPECT_EQ(asked, "Save changes to Hist.kivo before closing?");
    Modals::Get().Then(Answer(QMessageBox::Cancel));
    emit Frame().DocumentTabs()->tabCloseRequested(0);
    EXPECT_EQ(Frame().Children().size(), 1);

    // Save writes the change, then the window closes.
    Modals::Get().Then(Answer(QMessageBox::Save));
    Frame().RunCommand("file.close-window");
    EXPECT_TRUE(Frame().Children().isEmpty());
    CKivoDoc saved;
    ASSERT_TRUE(OpenProject(path.toStdString(), saved, app->GetServices()));
    EXPECT_EQ(saved.m_strClockFreq, "200000000");

    // Discard: the window closes and the file stays as it was. Every change
    // counts, a typed value still in its box too; a fresh project asks nothing.
    app->OpenPath(path);
    Frame().RunCommand("file.new");
    ASSERT_EQ(Frame().Children().size(), 2);
    Frame().ActivateChild(Frame().Children()[0]);
    Retype(Clock()->lineEdit(), "300000000");
    Modals::Get().Then(Answer(QMessageBox::Discard));
    Frame().RunCommand("file.exit");
    EXPECT_TRUE(Frame().Children().isEmpty());
    EXPECT_TRUE(app->Documents().empty());
    CKivoDoc again;
    ASSERT_TRUE(OpenProject(path.toStdString(), again, app->GetServices()));
    EXPECT_EQ(again.m_strClockFreq, "200000000");
}

TEST_F(HistoryTest, SavingWhileAFieldIsBeingTypedInLeavesNothingUnsaved)
{
    // Typed, its editing not ended.
    Retype(Clock()->lineEdit(), "200000000");
    ASSERT_TRUE(Doc().m_strClockFreq != "200000000");
    Frame().RunCommand("file.save");
    EXPECT_FALSE(Doc().IsModified());
    EXPECT_EQ(Frame().windowTitle(), "Hist.kivo - Kivo");
    EXPECT_EQ(TabText(0), "Hist.kivo");
    // The window closes without asking.
    Frame().RunCommand("file.close-window");
    EXPECT_TRUE(Frame().Children().isEmpty());
    CKivoDoc saved;
    ASSERT_TRUE(OpenProject(path.toStdString(), saved, app->GetServices()));
    EXPECT_EQ(saved.m_strClockFreq, "200000000");
}

TEST_F(HistoryTest, UndoAndRedoStepThroughAddEditDeleteAndSettingsExactly)
{
    View()->setCurrentIndex(CKivoView::ObjectsTab);
    std::vector<std::vector<uint8_t>> states{Bytes(Doc())};
    Add(kServo, [](CEditorDialog *d) { Retype(qobject_cast<QLineEdit *>(d->FieldControl("pin")), "12"); });
    states.push_back(Bytes(Doc()));
    // Enter edits the selected object.
    ClickRow(List()->ObjectList(), 0);
    Modals::Get().Then([](QWidget *w) {
        auto *d = qobject_cast<CEditorDialog *>(w);
        ASSERT_NE(d, nullptr);
        Retype(qobject_cast<QLineEdit *>(d->FieldControl("pin")), "13");
        PressOk(d);
    });
    Key(List()->ObjectList(), Qt::Key_Return);
    EXPECT_EQ(Doc().m_strPinOwner[13], "Servo1");
    states.push_back(Bytes(Doc()));
    SetClock("297000000");
    states.push_back(Bytes(Doc()));
    qobject_cast<QCheckBox *>(Form()->Control(1029))->click();
    states.push_back(Bytes(Doc()));
    // Delete deletes, and asks nothing.
    ClickRow(List()->ObjectList(), 0);
    Key(List()->ObjectList(), Qt::Key_Delete);
    EXPECT_TRUE(Doc().m_objList.empty());
    EXPECT_FALSE(Doc().m_bPinUsed[13]);
    states.push_back(Bytes(Doc()));
    EXPECT_EQ(Frame().ActionById("edit.undo")->toolTip(), "Undo Delete Object (Ctrl+Z)");

    Frame().activateWindow();
    QApplication::processEvents();
    List()->ObjectList()->setFocus();
    for (std::size_t i = states.size() - 1; i > 0; --i) {
        ASSERT_TRUE(Frame().ActionById("edit.undo")->isEnabled()) << i;
        QTest::keyClick(List()->ObjectList(), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(Bytes(Doc()), states[i - 1]) << "after undo to state " << i - 1;
    }
    // Back where the file was: no mark, nothing left to undo, the counter
    // down again, every view showing it.
    EXPECT_FALSE(Frame().ActionById("edit.undo")->isEnabled());
    EXPECT_EQ(Frame().windowTitle(), "Hist.kivo - Kivo");
    EXPECT_EQ(DefaultObjectName(Doc(), kServo), "Servo1");
    EXPECT_EQ(Clock()->currentText(), "160000000");
    EXPECT_TRUE(Lines(List()->ObjectList()).isEmpty());

    for (std::size_t i = 1; i < states.size(); ++i) {
        QTest::keyClick(List()->ObjectList(), i % 2 ? Qt::Key_Y : Qt::Key_Z,
                        i % 2 ? Qt::ControlModifier : Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(Bytes(Doc()), states[i]) << "after redo to state " << i;
        if (i == 3) {
            EXPECT_EQ(Clock()->currentText(), "297000000");
        }
    }
    EXPECT_FALSE(Frame().ActionById("edit.redo")->isEnabled());
    EXPECT_EQ(Frame().windowTitle(), "Hist.kivo* - Kivo");
}

TEST_F(HistoryTest, EditorsComputeWithTheClockJustTyped)
{
    // Typed, not yet confirmed: the editor still sees it.
    Retype(Clock()->lineEdit(), "100000000");
    View()->setCurrentIndex(CKivoView::ObjectsTab);
    Modals::Get().Then([](QWidget *w) { qobject_cast<CObjectPicker *>(w)->KindButton(kNCO)->click(); });
    QString said;
    Modals::Get().Then([&said](QWidget *w) {
        auto *d = qobject_cast<CEditorDialog *>(w);
        ASSERT_NE(d, nullptr);
        Retype(qobject_cast<QLineEdit *>(d->FieldControl("desired")), "60000000");
        qobject_cast<QPushButton *>(d->FieldControl("calculate"))->click();
        said = d->MessageOf("desired");
        d->reject();
    });
    Modals::Get().Then([](QWidget *w) { qobject_cast<CObjectPicker *>(w)->CancelButton()->click(); });
    List()->AddButton()->click();
    EXPECT_EQ(said, "Error:  Desired frequency (60000000) cannot be greater than half P2 Frequency (50000000)");
    EXPECT_TRUE(Doc().m_objList.empty());
}

TEST_F(HistoryTest, TwoWindowsOnOneProjectStayInStep)
{
    CChildFrame *first = Active();
    Frame().RunCommand("window.new");
    CChildFrame *second = Active();
    ASSERT_NE(first, second);
    SetClock("297000000", second);
    EXPECT_EQ(Clock(first)->currentText(), "297000000");
    Add(
        kServo, [](CEditorDialog *) {}, first);
    EXPECT_EQ(Lines(List(second)->ObjectList()), QStringList{"Servo1 - Hobby Servo"});
    EXPECT_EQ(TabText(0), "Hist.kivo:1*");
    EXPECT_EQ(TabText(1), "Hist.kivo:2*");
    // Closing one of the two windows asks nothing.
    Frame().RunCommand("file.close-window");
    EXPECT_EQ(Frame().Children().size(), 1);
    Frame().RunCommand("edit.undo");
    EXPECT_TRUE(Lines(List(first)->ObjectList()).isEmpty());
}

TEST_F(HistoryTest, CommandsHaveTheDesktopsKeys)
{
    const std::pair<const char *, QList<QKeySequence>> cases[] = {
        {"file.new", {QKeySequence("Ctrl+N")}},
        {"file.open", {QKeySequence("Ctrl+O")}},
        {"file.save", {QKeySequence("Ctrl+S")}},
        {"file.save-as", {QKeySequence("Ctrl+Shift+S")}},
        {"file.close-window", {QKeySequence("Ctrl+W")}},
        {"file.exit", {QKeySequence("Ctrl+Q")}},
        {"file.print-pin-report", {QKeySequence("Ctrl+P")}},
        {"edit.undo", {QKeySequence("Ctrl+Z"), QKeySequence("Alt+Backspace")}},
        {"edit.redo", {QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")}},
        {"project.generate", {QKeySequence("Ctrl+G")}},
        {"project.compile", {QKeySequence("Ctrl+B")}},
        {"project.load", {QKeySequence("F5")}},
        {"project.flexprop", {QKeySequence("Ctrl+E")}},
    };
    for (auto &[id, keys] : cases) {
        EXPECT_EQ(Frame().ActionById(id)->shortcuts(), keys) << id;
        // The ribbon's buttons and menus underline a letter of each command.
        EXPECT_TRUE(Frame().ActionById(id)->text().contains('&')) << id;
    }
    // Every Alt key of the main window does one thing only.
    QList<QKeySequence> altKeys{QKeySequence("Alt+F"), QKeySequence("Alt+B")}; // the menu, the status bar box
    for (QShortcut *key : Frame().findChildren<QShortcut *>())
        if (key->objectName().startsWith("keyTip"))
            altKeys << key->key();
    EXPECT_EQ(altKeys.size(), 17);
    for (const QKeySequence &k : altKeys)
        EXPECT_EQ(altKeys.count(k), 1) << k.toString().toStdString();
    // Alt and the underlined letter run a ribbon command: Alt+W the windows.
    bool windows = false;
    Modals::Get().Then([&windows](QWidget *w) {
        windows = w->windowTitle() == "Windows";
        qobject_cast<QDialog *>(w)->reject();
    });
    Frame().activateWindow();
    QApplication::processEvents();
    QTest::keyClick(&Frame(), Qt::Key_W, Qt::AltModifier);
    EXPECT_TRUE(windows);
    // A key reaches its command: Ctrl+W closes the window (nothing changed).
    Frame().activateWindow();
    QApplication::processEvents();
    QTest::keyClick(&Frame(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(Frame().Children().isEmpty());
}

TEST_F(HistoryTest, PrintProposesAFileNameWithoutAFolderSeparator)
{
    EXPECT_EQ(PinReportDocName(Doc()), "Hist pin report");
    QString docName;
    Modals::Get().Then([&docName](QWidget *w) {
        auto *dialog = qobject_cast<QPrintDialog *>(w);
        ASSERT_NE(dialog, nullptr);
        docName = dialog->printer()->docName();
        dialog->reject();
    });
    // Ctrl+P's command prints the pin report from any tab.
    Frame().RunCommand("file.print-pin-report");
    EXPECT_EQ(View()->currentIndex(), CKivoView::PinsTab);
    EXPECT_EQ(docName, "Hist pin report");
}

TEST_F(HistoryTest, PrintingToAFileSaysWhereTheFileWent)
{
    const QString pdf = QString::fromStdString(dir / "report.pdf");
    Modals::Get().Then([&pdf](QWidget *w) {
        auto *dialog = qobject_cast<QPrintDialog *>(w);
        ASSERT_NE(dialog, nullptr);
        // The dialog's own "Print to File (PDF)" entry, into our file.
        auto *printers = dialog->findChild<QComboBox *>("printers");
        auto *file = dialog->findChild<QLineEdit *>("filename");
        ASSERT_NE(printers, nullptr);
        ASSERT_NE(file, nullptr);
        printers->setCurrentIndex(printers->findText("PDF", Qt::MatchContains));
        file->setText(pdf);
        dialog->accept();
    });
    Frame().RunCommand("file.print-pin-report");
    EXPECT_TRUE(std::filesystem::exists(pdf.toStdString()));
    EXPECT_EQ(Frame().statusBar()->currentMessage(), "Pin report saved to " + pdf);
}

// The NCO's "hexidecimal" remarks stand on their fields' rows, right of them.
TEST_F(HistoryTest, AShortNoteStandsBesideItsField)
{
    CCodeObject object;
    RecordingMessages quiet;
    auto model = FindKind(kNCO)->CreateEditor(object, Doc(), 0, quiet);
    ASSERT_NE(model, nullptr);
    model->Open();
    CEditorDialog dialog(*model, &Frame());
    dialog.show();
    QApplication::processEvents();
    QList<QLabel *> notes;
    for (QLabel *l : dialog.findChildren<QLabel *>())
        if (l->text() == "hexidecimal")
            notes << l;
    ASSERT_EQ(notes.size(), 2);
    std::sort(notes.begin(), notes.end(), [&dialog](QLabel *a, QLabel *b) {
        return a->mapTo(&dialog, QPoint(0, 0)).y() < b->mapTo(&dialog, QPoint(0, 0)).y();
    });
    const char *const keys[] = {"wxpin", "wypin"};
    for (int i = 0; i < 2; ++i) {
        QWidget *field = dialog.FieldControl(keys[i]);
        ASSERT_NE(field, nullptr);
        const QRect f(field->mapTo(&dialog, QPoint(0, 0)), field->size());
        const QRect n(notes[i]->mapTo(&dialog, QPoint(0, 0)), notes[i]->size());
        EXPECT_GE(n.left(), f.right()) << keys[i];
        EXPECT_NEAR(n.center().y(), f.center().y(), f.height() / 2) << keys[i];
    }
}

TEST_F(HistoryTest, EveryDialogFitsTheScreen)
{
    // The screen here, and never more than a 1366 x 768 one.
    QRect area = Frame().screen()->availableGeometry();
    const int maxWidth = std::min(1366, area.width()), maxHeight = std::min(768, area.height());
    EXPECT_LE(Frame().frameGeometry().width(), area.width());
    EXPECT_LE(Frame().frameGeometry().height(), area.height());
    for (const IKind *kind : AllKinds()) {
        CCodeObject object;
        RecordingMessages quiet;
        auto model = kind->CreateEditor(object, Doc(), 0, quiet);
        ASSERT_NE(model, nullptr);
        model->Open();
        CEditorDialog dialog(*model, &Frame());
        dialog.show();
        QApplication::processEvents();
        SCOPED_TRACE(kind->CliName());
        EXPECT_LE(dialog.frameGeometry().height(), maxHeight);
        EXPECT_LE(dialog.frameGeometry().width(), maxWidth);
        // What does not fit scrolls; the OK button stays in sight.
        auto *fields = dialog.findChild<QScrollArea *>("fields");
        ASSERT_NE(fields, nullptr);
        auto *ok = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        EXPECT_LE(ok->mapTo(&dialog, QPoint(0, ok->height())).y(), dialog.height());
        dialog.reject();
    }
}

TEST_F(AppTest, LoadInATerminalWindowAsksForEnterOnce)
{
    Start({SavedProject("Load.kivo")});
    std::filesystem::create_directories(dir / "bin");
    WriteFileBytes(dir / "bin/loadp2", "#!/bin/sh\necho loaded\n");
    std::filesystem::permissions(dir / "bin/loadp2", std::filesystem::perms::owner_all);
    Doc().m_strLoadP2Path = dir / "bin";
    WriteFileBytes(dir / "load.sh", GeneratedScript(Doc(), "load.sh").value());
    // A terminal that runs what follows -e with one Enter typed, and keeps
    // what the window showed.
    std::string terminal = dir / "fake-terminal";
    WriteFileBytes(terminal, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\nshift\n"
                             "echo | \"$@\" > \"$0.out\" 2>&1\n");
    std::filesystem::permissions(terminal, std::filesystem::perms::owner_all);
    ScopedEnv env("TERMINAL", terminal);
    Frame().RunCommand("project.external-terminal");
    Modals::Get().Then([](QWidget *) {});
    Frame().RunCommand("project.load");
    EXPECT_EQ(ReadFileBytes(terminal + ".args"), "-e\nsh\nload.sh\n");
    // The script's own pause holds the window open; nothing asks again.
    EXPECT_EQ(ReadFileBytes(terminal + ".out"), "loaded\nPress Enter to continue . . . ");
}

TEST_F(AppTest, CompileWithoutScriptsOffersGenerateFirst)
{
    Start({SavedProject("Gen.kivo")});
    QString asked;
    Modals::Get().Then(Answer(QMessageBox::No, &asked));
    Frame().RunCommand("project.compile");
    EXPECT_EQ(asked, QString::fromStdString("build.sh is not in the project folder " + dir.Path() +
                                            ".\nGenerate the project's files first?"));
    EXPECT_FALSE(std::filesystem::exists(dir / "build.sh"));
    // Yes: Generate runs (its message), then the missing compiler is named.
    Modals::Get().Then(Answer(QMessageBox::Yes));
    Modals::Get().ThenBox();
    Modals::Get().ThenBox();
    Frame().RunCommand("project.compile");
    EXPECT_TRUE(std::filesystem::exists(dir / "build.sh"));
    ASSERT_EQ(Modals::Get().Boxes().size(), 2u);
    EXPECT_EQ(Modals::Get().Boxes()[0].text, "Project files created.");
    EXPECT_TRUE(Modals::Get().Boxes()[1].text.startsWith("The compiler flexspin was not found in the folder "));
}

} // namespace
} // namespace kivo::test
