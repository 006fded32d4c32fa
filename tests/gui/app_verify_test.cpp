// Verify on Simulated Board: the verdicts on the object list's lines (icon,
// evidence as the tip, a summary), a failed line opening its editor, the
// verdicts gone at the next change, and the command itself: Compile offered
// for a missing program, the run off the user interface's thread, a second
// request refused while one runs. Without FlexSpin the "compiler" copies a
// program made with the tests' own encoder; with it, a generated project is
// compiled and keeps its promise.
#include "../sim/p2asm.h"
#include "app_support.h"
#include "flexspin.h"

#include "app/verifyrun.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "objects/objectlist.h"
#include "workspace/editordialog.h"
#include "workspace/flexspinview.h"
#include "workspace/objectview.h"

#include <QHelpEvent>
#include <QLabel>
#include <QStatusBar>

#include <chrono>

namespace kivo::test {
namespace {

Modals::Step Answer(QMessageBox::StandardButton button, QString *text)
{
    return [button, text](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_NE(box, nullptr) << w->metaObject()->className();
        *text = box->text();
        ASSERT_NE(box->button(button), nullptr);
        box->button(button)->click();
    };
}

class VerifyTest : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        Start({SavedProject("Blink.kivo")});
    }
    void Add(int kind)
    {
        ASSERT_EQ(AddObject(Doc(), kind, app->Messages(), [](CEditorModel &e) { return e.Ok() == OkResult::Accepted; }),
                  AddResult::Added);
    }
    // The compiler in `folder`: FlexSpin's, or a script that copies program.bin.
    void UseCompiler(const std::string &folder)
    {
        Retype(qobject_cast<QLineEdit *>(View()->SettingsView()->Control(1004)), QString::fromStdString(folder));
        Key(View()->SettingsView()->Control(1004), Qt::Key_Return);
    }
    CObjectView *Objects() { return View()->ObjectView(); }
    QString Summary() { return Objects()->VerifySummary()->text(); }
    bool Verified() { return Summary().startsWith("Verify: "); }
    sim::Verdict Made(const char *name, sim::Verdict v)
    {
        v.name = name;
        return v;
    }
};

TEST_F(VerifyTest, VerdictsShowOnTheLinesUntilTheProjectChanges)
{
    Add(kNCO);
    Add(kServo);
    Add(kDAC);
    QListWidget *list = Objects()->ObjectList();
    ASSERT_EQ(list->count(), 3);
    // Verdicts as verify gives them, by name and in another order.
    Objects()->ShowVerdicts({Made("DAC1", sim::Skip("the levels are random")),
                             Made("NCO_Freq1", sim::Pass("13333333 Hz, duty 50 %")),
                             Made("Servo1", sim::Fail("a first pulse of 1500 us", "1050 us"))},
                            SerializeProject(Doc()));
    EXPECT_EQ(Summary(), "Verify: 1 passed, 1 failed, 1 skipped. Point at an object for its evidence.");
    EXPECT_TRUE(Objects()->VerifySummary()->isVisibleTo(Objects()));
    const struct {
        int row;
        const char *tip;
    } lines[] = {
        {0, "PASS NCO_Freq1: 13333333 Hz, duty 50 %"},
        {1, "FAIL Servo1: promised a first pulse of 1500 us; measured 1050 us\nDouble-click to edit the object."},
        {2, "SKIP DAC1: the levels are random"}};
    for (const auto &l : lines) {
        EXPECT_FALSE(list->item(l.row)->icon().isNull()) << l.row;
        EXPECT_EQ(list->item(l.row)->toolTip(), l.tip);
    }
    // Three different marks.
    auto image = [&](int row) { return list->item(row)->icon().pixmap(16).toImage(); };
    EXPECT_NE(image(0), image(1));
    EXPECT_NE(image(1), image(2));

    // The failed line opens its object's editor; cancelled, nothing changed,
    // so the verdicts stay.
    QString opened;
    Modals::Get().Then([&opened](QWidget *w) {
        auto *d = qobject_cast<CEditorDialog *>(w);
        ASSERT_NE(d, nullptr) << w->metaObject()->className();
        opened = QString::fromStdString(d->Model().Name());
        d->reject();
    });
    ClickRow(list, 1, true);
    EXPECT_EQ(opened, "Servo1");
    EXPECT_TRUE(Verified());
    EXPECT_FALSE(list->item(1)->icon().isNull());

    // A change of the project clears them all, and Undo does not bring them
    // back (the program may have changed meanwhile).
    ClickRow(list, 2);
    Objects()->DeleteAction()->trigger();
    ASSERT_EQ(list->count(), 2);
    EXPECT_FALSE(Objects()->VerifySummary()->isVisibleTo(Objects()));
    for (int row = 0; row < list->count(); ++row) {
        EXPECT_TRUE(list->item(row)->icon().isNull());
        EXPECT_EQ(list->item(row)->toolTip(), "");
    }

    // Verdicts of a project that has changed since the run are not shown.
    std::vector<std::uint8_t> before = SerializeProject(Doc());
    Add(kDAC);
    Objects()->ShowVerdicts({Made("NCO_Freq1", sim::Pass("fine"))}, before);
    EXPECT_TRUE(list->item(0)->icon().isNull());
    EXPECT_TRUE(Summary().contains("changed since")) << Summary().toStdString();
}

// A missing program: Compile is offered, then the verdicts come while the
// application goes on; a second request meanwhile is refused.
TEST_F(VerifyTest, TheCommandCompilesThenVerifiesOffTheUserInterface)
{
    using namespace p2;
    Add(kServo);
    std::filesystem::create_directories(dir / "bin");
    Program loop;
    loop << jmpA(0xFFFFC, true);
    const std::vector<std::uint8_t> bytes = loop.bytes();
    WriteFileBytes(dir / "program.bin", std::string(bytes.begin(), bytes.end()));
    const std::string compiler = dir / "bin/flexspin";
    WriteFileBytes(compiler, "#!/bin/sh\ncp '" + dir / "program.bin" + "' Blink.binary\n");
    std::filesystem::permissions(compiler, std::filesystem::perms::owner_all);
    UseCompiler(dir / "bin");

    QAction *command = Frame().ActionById("project.verify");
    ASSERT_NE(command, nullptr);
    EXPECT_TRUE(command->isEnabled());
    EXPECT_EQ(command->text(), "Verify on Simulated Board");
    QString asked;
    Modals::Get().Then(Answer(QMessageBox::Yes, &asked));
    Modals::Get().ThenBox(); // Generate's report
    Frame().RunCommand("project.verify");
    EXPECT_TRUE(asked.contains("Compile the project now, then verify it?")) << asked.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Frame().VerifyRun() && Frame().VerifyRun()->IsRunning(); }, 10000));
    EXPECT_EQ(View()->currentIndex(), int(CKivoView::ObjectsTab));
    EXPECT_EQ(Summary(), "Verifying on the simulated board...");

    QString refused;
    Modals::Get().Then(Answer(QMessageBox::Ok, &refused));
    Frame().RunCommand("project.verify");
    EXPECT_TRUE(refused.startsWith("Verify is still running on Blink")) << refused.toStdString();

    ASSERT_TRUE(QTest::qWaitFor([&] { return Verified(); }, 60000)) << Summary().toStdString();
    EXPECT_EQ(Summary(), "Verify: 0 passed, 1 failed, 0 skipped. Point at an object for its evidence.");
    EXPECT_EQ(Frame().statusBar()->currentMessage(), "Verify: 0 passed, 1 failed, 0 skipped");
    EXPECT_TRUE(Objects()->ObjectList()->item(0)->toolTip().startsWith("FAIL Servo1: promised "))
        << Objects()->ObjectList()->item(0)->toolTip().toStdString();

    // Compiled now: verify runs at once, and a fault is said in the summary.
    Program bad;
    bad << NOP << 0xFBD00000u;
    const std::vector<std::uint8_t> faulty = bad.bytes();
    WriteFileBytes(dir / "Blink.binary", std::string(faulty.begin(), faulty.end()));
    Frame().RunCommand("project.verify");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Frame().VerifyRun()->IsRunning(); }, 60000));
    EXPECT_TRUE(Summary().startsWith("Verify could not run: ")) << Summary().toStdString();
    EXPECT_TRUE(Objects()->ObjectList()->item(0)->icon().isNull());
}

// The run says why it could not start the program; a second start while one
// runs is refused; destroyed (the application quits), it stops at once.
TEST_F(VerifyTest, TheRunRefusesASecondStartAndStopsWhenDestroyed)
{
    Add(kDAC); // random levels: verify watches for seconds
    auto run = std::make_unique<CVerifyRun>();
    sim::VerifyResult got;
    QObject::connect(run.get(), &CVerifyRun::finished,
                     [&](const CKivoDoc *, const auto &, const sim::VerifyResult &r) { got = r; });
    std::string error;
    ASSERT_TRUE(run->Start(Doc(), &error)) << error;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !run->IsRunning(); }, 10000));
    EXPECT_EQ(got.status, 1);
    EXPECT_NE(got.error.find("Generate"), std::string::npos) << got.error;

    Modals::Get().ThenBox();
    Frame().RunCommand("project.generate");
    p2::Program loop;
    loop << p2::jmpA(0xFFFFC, true);
    const std::vector<std::uint8_t> bytes = loop.bytes();
    WriteFileBytes(dir / "Blink.binary", std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(run->Start(Doc(), &error)) << error;
    EXPECT_FALSE(run->Start(Doc(), &error));
    EXPECT_EQ(error, "Verify is already running on Blink.kivo.");
    QTest::qWait(20);
    const auto start = std::chrono::steady_clock::now();
    run.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

// With FlexSpin: the generated project compiled in the Build pane keeps its
// promise, as kivo-cli verify finds.
TEST_F(VerifyTest, AGeneratedProjectPassesWithFlexSpin)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    Add(kNCO);
    UseCompiler(std::filesystem::path(flexspin).parent_path().string());
    QString asked;
    Modals::Get().Then(Answer(QMessageBox::Yes, &asked));
    Modals::Get().ThenBox(); // Generate's report
    Frame().RunCommand("project.verify");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Verified() || Summary().startsWith("Verify could"); }, 120000))
        << Summary().toStdString();
    EXPECT_EQ(Summary(), "Verify: 1 passed, 0 failed, 0 skipped. Point at an object for its evidence.");
    EXPECT_TRUE(Objects()->ObjectList()->item(0)->toolTip().startsWith("PASS NCO_Freq1: "))
        << Objects()->ObjectList()->item(0)->toolTip().toStdString();
}

} // namespace
} // namespace kivo::test

namespace kivo::test {
namespace {

// The object list with verdicts, and a failed line's tip, for the
// documentation: run with KIVO_SCREENSHOT_DIR set.
TEST_F(AppTest, VerifyScreenshot)
{
    const char *folder = std::getenv("KIVO_SCREENSHOT_DIR");
    if (!folder || !*folder)
        GTEST_SKIP() << "set KIVO_SCREENSHOT_DIR to write the documentation's screenshots";
    std::filesystem::create_directories(folder);
    const std::string project = dir / "AllKinds.kivo";
    std::filesystem::copy_file(std::string(KIVO_SOURCE_DIR) + "/examples/AllKinds.kivo", project);
    Start({QString::fromStdString(project)});
    Frame().show();
    View()->setCurrentIndex(CKivoView::ObjectsTab);
    std::vector<sim::Verdict> verdicts;
    for (const auto &o : Doc().m_objList) {
        sim::Verdict v = sim::Pass("as promised");
        if (o->m_nKind == kServo)
            v = sim::Fail("a first pulse of 1500 us (the start position 90 degrees)", "1050 us");
        else if (o->m_nKind == kADC)
            v = sim::Skip("the program prints no calibrated reading");
        v.name = o->m_strName;
        verdicts.push_back(v);
    }
    CObjectView *objects = View()->ObjectView();
    objects->ShowVerdicts(verdicts, SerializeProject(Doc()));
    Frame().statusBar()->showMessage("Verify: " + QString::fromStdString(sim::VerdictCounts(verdicts)));
    QApplication::processEvents();
    EXPECT_LE(Frame().frameGeometry().height(), 768);
    EXPECT_TRUE(Frame().grab().save(QString(folder) + "/app-verify.png", "PNG"));

    QListWidget *list = objects->ObjectList();
    for (int row = 0; row < list->count(); ++row) {
        if (!list->item(row)->toolTip().startsWith("FAIL"))
            continue;
        const QRect at = list->visualItemRect(list->item(row));
        QHelpEvent help(QEvent::ToolTip, at.center(), list->viewport()->mapToGlobal(at.center()));
        QApplication::sendEvent(list->viewport(), &help);
        QApplication::processEvents();
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->inherits("QTipLabel") && w->isVisible()) {
                EXPECT_TRUE(w->grab().save(QString(folder) + "/app-verify-tip.png", "PNG"));
            }
        }
        break;
    }
}

} // namespace
} // namespace kivo::test
