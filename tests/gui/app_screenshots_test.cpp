// Screenshots for the documentation: run with KIVO_SCREENSHOT_DIR set (for
// example under xvfb-run with QT_QPA_PLATFORM=xcb); skipped otherwise.
#include "app/looks.h"
#include "app/ribbon.h"
#include "app_support.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "objects/objectlist.h"
#include "workspace/editordialog.h"
#include "workspace/objectpicker.h"
#include "workspace/objectview.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QToolTip>
#include <filesystem>

namespace kivo::test {
namespace {

void Settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

bool Shoot(QWidget *w, const std::string &folder, const char *name)
{
    Settle();
    return w->grab().save(QString::fromStdString(folder + "/" + name), "PNG");
}

TEST_F(AppTest, Screenshots)
{
    const char *folder = std::getenv("KIVO_SCREENSHOT_DIR");
    if (!folder || !*folder)
        GTEST_SKIP() << "set KIVO_SCREENSHOT_DIR to write the documentation's screenshots";
    std::filesystem::create_directories(folder);

    // The bundled example when there is one, else a project with a servo.
    std::string example = std::string(KIVO_SOURCE_DIR) + "/examples/Blink.kivo";
    std::string project = dir / "Blink.kivo";
    if (std::filesystem::exists(example)) {
        std::filesystem::copy_file(example, project);
    } else {
        project = SavedProject("Blink.kivo").toStdString();
    }
    Start({QString::fromStdString(project)});
    if (Doc().m_objList.empty()) {
        AddObject(Doc(), kServo, app->Messages(), [](CEditorModel &e) {
            e.UserSetText("name", "PanServo");
            return e.Ok() == OkResult::Accepted;
        });
    }
    Frame().resize(1040, 900);
    Frame().show();
    Frame().activateWindow();
    const char *tabs[] = {"app-main-settings.png", "app-object-list.png", "app-pin-view-tab.png"};
    for (int t = 0; t < 3; ++t) {
        View()->setCurrentIndex(t);
        EXPECT_TRUE(Shoot(&Frame(), folder, tabs[t]));
    }
    View()->setCurrentIndex(CKivoView::ObjectsTab);
    View()->ObjectView()->ObjectList()->setCurrentRow(0);
    EXPECT_TRUE(Shoot(&Frame(), folder, "app-object-list.png"));

    // The "Home" category, and the Black look's top row.
    Frame().Ribbon()->Categories()->setCurrentIndex(1);
    EXPECT_TRUE(Shoot(Frame().Ribbon(), folder, "app-ribbon-home.png"));
    Frame().RunCommand("view.look.office2007-black");
    EXPECT_TRUE(Shoot(Frame().Ribbon(), folder, "app-ribbon-black.png"));
    Frame().RunCommand(LookCommand(kDefaultLook));
    Frame().Ribbon()->Categories()->setCurrentIndex(0);

    CObjectPicker picker(Doc(), app->Messages(), &Frame());
    picker.show();
    EXPECT_TRUE(Shoot(&picker, folder, "app-picker.png"));
    picker.hide();

    // A new object's dialog for kinds with sliders, choices and readouts.
    // The USB editor is taller than a 1366 x 768 screen: its fields scroll.
    for (const IKind *kind : {FindKind(kADC), FindKind(kNCO), FindKind(kUsbKbm)}) {
        CCodeObject object;
        auto editor = kind->CreateEditor(object, Doc(), 0, app->Messages());
        if (!editor)
            continue;
        editor->Open();
        CEditorDialog dialog(*editor, &Frame());
        dialog.show();
        std::string name = std::string("app-editor-") + kind->CliName() + ".png";
        EXPECT_TRUE(Shoot(&dialog, folder, name.c_str()));
    }
    // And an existing object's, whose name cannot change.
    const CCodeObject &first = *Doc().m_objList.front();
    auto editor = FindKind(first.m_nKind)->CreateEditor(*Doc().m_objList.front(), Doc(), 1, app->Messages());
    ASSERT_NE(editor, nullptr);
    editor->Open();
    CEditorDialog dialog(*editor, &Frame());
    dialog.show();
    EXPECT_TRUE(Shoot(&dialog, folder, "app-editor-existing.png"));
}

// The details a new user meets: an editor's errors beside its fields, the
// picker's focus, the ribbon's access keys, the status bar, a greyed Print.
TEST_F(AppTest, ScreenshotsOfTheDetails)
{
    const char *folder = std::getenv("KIVO_SCREENSHOT_DIR");
    if (!folder || !*folder)
        GTEST_SKIP() << "set KIVO_SCREENSHOT_DIR to write the screenshots";
    std::filesystem::create_directories(folder);
    Start({SavedProject("Details.kivo")});
    Frame().resize(1366, 740);
    Frame().show();
    Frame().activateWindow();
    for (int kind : {kNCO, kNeopixel})
        AddObject(Doc(), kind, app->Messages(), [](CEditorModel &e) { return e.Ok() == OkResult::Accepted; });
    View()->setCurrentIndex(CKivoView::ObjectsTab);
    Frame().statusBar()->showMessage("Compile finished: 0 errors, 0 warnings", 60000);
    EXPECT_TRUE(Shoot(&Frame(), folder, "app-status-bar-window.png"));
    EXPECT_TRUE(Shoot(Frame().statusBar(), folder, "app-status-bar.png"));
    Frame().statusBar()->clearMessage();
    EXPECT_TRUE(Shoot(Frame().statusBar(), folder, "app-status-bar-ready.png"));

    // Print greyed on the object list: the application menu, and the tip.
    Frame().Ribbon()->ShowAppMenu();
    QWidget *menu = Frame().Ribbon()->AppMenu();
    EXPECT_TRUE(Shoot(menu, folder, "app-print-disabled.png"));
    QWidget *print = menu->findChild<QWidget *>("menu:file.print");
    if (print) {
        QToolTip::showText(print->mapToGlobal(QPoint(20, print->height())), print->toolTip(), print);
        Settle();
        Frame().screen()->grabWindow(0).save(QString::fromStdString(std::string(folder) + "/app-print-tip.png"));
    }
    menu->hide();
    QToolTip::hideText();

    // Alt's access keys on both categories.
    for (int category : {0, 1}) {
        Frame().Ribbon()->Categories()->setCurrentIndex(category);
        Frame().Ribbon()->ShowKeyTips(true);
        std::string name = "app-ribbon-keytips-" + std::to_string(category) + ".png";
        EXPECT_TRUE(Shoot(Frame().Ribbon(), folder, name.c_str()));
        Frame().Ribbon()->ShowKeyTips(false);
    }
    Frame().Ribbon()->Categories()->setCurrentIndex(0);

    // The picker with the focus moved down two kinds.
    {
        CObjectPicker picker(Doc(), app->Messages(), &Frame());
        picker.show();
        picker.activateWindow();
        [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(&picker, 500);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_TRUE(Shoot(&picker, folder, "app-picker-focus.png"));
    }

    // A servo editor after OK with a bad name and pin: each error beside
    // its field.
    CCodeObject object;
    auto editor = FindKind(kServo)->CreateEditor(object, Doc(), 0, app->Messages());
    ASSERT_NE(editor, nullptr);
    editor->Open();
    CEditorDialog dialog(*editor, &Frame());
    dialog.show();
    Retype(dialog.findChild<QLineEdit *>("name"), "1 bad name");
    Retype(dialog.findChild<QLineEdit *>("pin"), "99");
    dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(Shoot(&dialog, folder, "app-editor-errors.png"));
    dialog.reject();
}

} // namespace
} // namespace kivo::test
