// How the application treats its user: an example opens unchanged, an
// editor shows all its errors at once beside their fields, the settings tab
// marks a bad setting, a finding leads to its field, and the keyboard reaches
// the picker's kinds and the ribbon's commands.
#include "app/ribbon.h"
#include "app_support.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "workspace/editordialog.h"
#include "workspace/flexspinview.h"
#include "workspace/objectpicker.h"
#include "workspace/objectview.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <filesystem>

namespace kivo::test {
namespace {

QLineEdit *Edit(CEditorDialog *d, const char *key)
{
    auto *e = qobject_cast<QLineEdit *>(d->FieldControl(key));
    EXPECT_NE(e, nullptr) << key;
    return e;
}

class UxTest : public AppTest
{
protected:
    void StartOnObjects()
    {
        Start({SavedProject("Ux.kivo")});
        View()->setCurrentIndex(CKivoView::ObjectsTab);
        list = View()->ObjectView();
    }
    void Add(int kind, std::function<void(CEditorDialog *)> edit) { AddThroughPicker(list, kind, std::move(edit)); }
    QStringList KeyTipLetters()
    {
        QStringList out;
        for (QLabel *tip : Frame().Ribbon()->KeyTips())
            if (tip->isVisible())
                out << tip->text();
        return out;
    }
    CObjectView *list = nullptr;
};

TEST_F(UxTest, TheExamplesOpenUnchanged)
{
    Start();
    for (const char *name : {"AllKinds.kivo", "Blink.kivo"}) {
        SCOPED_TRACE(name);
        const std::string copy = dir / name;
        std::filesystem::copy_file(std::string(KIVO_SOURCE_DIR) + "/examples/" + name, copy);
        app->OpenPath(QString::fromStdString(copy));
        ASSERT_EQ(Doc().GetTitle(), name);
        // Every tab shown once, as a user looks through them.
        for (int tab : {CKivoView::ObjectsTab, CKivoView::PinsTab, CKivoView::SettingsTab})
            View()->setCurrentIndex(tab);
        QApplication::processEvents();
        EXPECT_FALSE(Doc().IsModified());
        EXPECT_FALSE(Active()->Title().endsWith('*'));
        EXPECT_FALSE(Frame().ActionById("edit.undo")->isEnabled());
    }
}

TEST_F(UxTest, AnEditorShowsAllItsErrorsBesideTheirFieldsAndRefusesOkWhileOneStands)
{
    StartOnObjects();
    Add(kNCO, [](CEditorDialog *d) {
        Retype(Edit(d, "pin"), "99");
        Retype(Edit(d, "desired"), "12abc");
        // Calculate refuses a frequency that is no number.
        qobject_cast<QPushButton *>(d->FieldControl("calculate"))->click();
        EXPECT_EQ(d->MessageOf("desired"),
                  "Please enter an integer.\nThe field \"Desired Frequency [Hz]\" holds \"12abc\".");
        EXPECT_FALSE(d->OkButton()->isEnabled());

        // OK: both errors at once, no box; the first field takes the focus.
        d->OkButton()->setEnabled(true);
        d->OkButton()->click();
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->ErrorFields(), (std::vector<std::string>{"pin", "desired"}));
        EXPECT_EQ(d->MessageOf("pin"), "Pin 99 is out of range, please set to between 0 and 63.");
        EXPECT_FALSE(d->MessageOf("desired").isEmpty());
        EXPECT_FALSE(d->OkButton()->isEnabled());
        EXPECT_EQ(d->focusWidget(), d->FieldControl("pin"));

        // Putting one right leaves the other standing, and OK refused.
        Retype(Edit(d, "pin"), "20");
        EXPECT_EQ(d->ErrorFields(), std::vector<std::string>{"desired"});
        EXPECT_TRUE(d->MessageOf("pin").isEmpty());
        EXPECT_FALSE(d->OkButton()->isEnabled());
        Retype(Edit(d, "desired"), "1000");
        EXPECT_TRUE(d->ErrorFields().empty());
        EXPECT_TRUE(d->OkButton()->isEnabled());
        d->OkButton()->click();
    });
    EXPECT_TRUE(Modals::Get().Boxes().empty());
    ASSERT_EQ(Doc().m_objList.size(), 1u);
    EXPECT_EQ(Doc().m_strPinOwner[20], "NCO_Freq1");
}

TEST_F(UxTest, TheSettingsTabMarksABadClockAndAFindingLeadsToItsField)
{
    StartOnObjects();
    CFlexSpinView *form = View()->SettingsView();
    auto *clock = qobject_cast<QComboBox *>(form->Control(1027));
    EXPECT_EQ(clock->property("findingLevel").toInt(), 0);
    EXPECT_FALSE(form->FindingsLabel()->isVisibleTo(form));
    View()->setCurrentIndex(CKivoView::SettingsTab);
    Retype(clock->lineEdit(), "12abc");
    Key(clock->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(clock->property("findingLevel").toInt(), 2);
    EXPECT_TRUE(clock->toolTip().contains("P2 Core Frequency")) << clock->toolTip().toStdString();
    EXPECT_TRUE(form->FindingsLabel()->isVisibleTo(form));
    EXPECT_TRUE(form->FindingsLabel()->text().startsWith("Error: P2 & FlexSpin: "))
        << form->FindingsLabel()->text().toStdString();

    // From the warnings list, a double-click shows the setting.
    View()->setCurrentIndex(CKivoView::ObjectsTab);
    QListWidget *warnings = list->WarningList();
    int row = -1;
    for (int i = 0; i < warnings->count(); ++i)
        if (warnings->item(i)->text().contains("P2 Core Frequency"))
            row = i;
    ASSERT_GE(row, 0) << Lines(warnings).join('\n').toStdString();
    Frame().activateWindow();
    ClickRow(warnings, row, true);
    EXPECT_EQ(View()->currentIndex(), int(CKivoView::SettingsTab));
    QWidget *focus = Frame().focusWidget();
    EXPECT_TRUE(focus == clock || focus == clock->lineEdit());

    // Put right, the mark goes.
    Retype(clock->lineEdit(), "160000000");
    Key(clock->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(clock->property("findingLevel").toInt(), 0);
    EXPECT_FALSE(form->FindingsLabel()->isVisibleTo(form));
}

TEST_F(UxTest, AFindingAboutAnObjectOpensItsEditorOnTheField)
{
    StartOnObjects();
    Add(kServo, [](CEditorDialog *d) {
        Retype(Edit(d, "pin"), "12");
        d->OkButton()->click();
    });
    // The SD card takes the servo's pin afterwards: a clash on the servo.
    Doc().m_bMountSd = 1;
    Doc().m_strSdClkPin = "12";
    Doc().UpdateAllViews();
    QListWidget *warnings = list->WarningList();
    int row = -1;
    for (int i = 0; i < warnings->count(); ++i)
        if (warnings->item(i)->text().startsWith("Error: Servo1: "))
            row = i;
    ASSERT_GE(row, 0) << Lines(warnings).join('\n').toStdString();
    bool opened = false;
    Modals::Get().Then([&opened](QWidget *w) {
        auto *d = qobject_cast<CEditorDialog *>(w);
        ASSERT_NE(d, nullptr);
        opened = true;
        EXPECT_EQ(d->Model().Name(), "Servo1");
        EXPECT_EQ(d->focusWidget(), d->FieldControl("pin"));
        d->reject();
    });
    ClickRow(warnings, row, true);
    EXPECT_TRUE(opened);
}

TEST_F(UxTest, ThePickerShowsItsFocusAndEnterOpensTheFocusedKind)
{
    StartOnObjects();
    list->ObjectList()->setFocus();
    QString opened;
    Modals::Get().Then([](QWidget *w) {
        auto *picker = qobject_cast<CObjectPicker *>(w);
        ASSERT_NE(picker, nullptr);
        // The first kind has the focus and a frame that shows it.
        EXPECT_EQ(picker->focusWidget(), picker->KindButton(kSimpleVGA));
        EXPECT_TRUE(picker->KindButton(kSimpleVGA)->styleSheet().contains(":focus"));
        // Tab and Enter: the next kind opens.
        Key(picker->focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(picker->focusWidget(), picker->KindButton(kI2CBus));
        Key(picker->focusWidget(), Qt::Key_Return);
    });
    Modals::Get().Then([&opened](QWidget *w) {
        opened = w->windowTitle();
        qobject_cast<QDialog *>(w)->reject();
    });
    // Back in the picker: the kind that was opened still has the focus.
    Modals::Get().Then([](QWidget *w) {
        auto *picker = qobject_cast<CObjectPicker *>(w);
        ASSERT_NE(picker, nullptr);
        EXPECT_EQ(picker->focusWidget(), picker->KindButton(kI2CBus));
        Key(w, Qt::Key_Escape);
    });
    list->AddAction()->trigger();
    EXPECT_FALSE(opened.isEmpty());
    EXPECT_NE(opened, "Pick New Object");
    // The list that opened the picker has the focus again.
    QApplication::processEvents();
    EXPECT_EQ(Frame().focusWidget(), list->ObjectList());
}

TEST_F(UxTest, TheFocusComesBackAfterAnEditorCloses)
{
    StartOnObjects();
    Add(kServo, [](CEditorDialog *d) { d->OkButton()->click(); });
    list->ObjectList()->setFocus();
    ClickRow(list->ObjectList(), 0);
    Modals::Get().Then([](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); });
    Key(list->ObjectList(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(Frame().focusWidget(), list->ObjectList());
}

TEST_F(UxTest, AltShowsTheRibbonsAccessKeys)
{
    Start({SavedProject("Keys.kivo")});
    Frame().activateWindow();
    QApplication::processEvents();
    QWidget *focus = QApplication::focusWidget() ? QApplication::focusWidget() : &Frame();
    EXPECT_TRUE(KeyTipLetters().isEmpty());
    // Held: the letters of the category shown and of the application menu.
    QTest::keyPress(focus, Qt::Key_Alt, Qt::AltModifier);
    EXPECT_EQ(KeyTipLetters(), (QStringList{"F", "G", "C", "L", "E"}));
    // Alt with a letter hides them; so does a release after it.
    QTest::keyRelease(focus, Qt::Key_Alt);
    EXPECT_FALSE(KeyTipLetters().isEmpty()) << "a tap keeps them";
    QTest::keyClick(focus, Qt::Key_Escape);
    EXPECT_TRUE(KeyTipLetters().isEmpty());

    // A tap, then the letter alone runs the command: C compiles, which
    // first asks about the missing script.
    QString asked;
    Modals::Get().Then([&asked](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_NE(box, nullptr);
        asked = box->text();
        box->button(QMessageBox::No)->click();
    });
    QTest::keyPress(focus, Qt::Key_Alt, Qt::AltModifier);
    QTest::keyRelease(focus, Qt::Key_Alt);
    QTest::keyClick(focus, Qt::Key_C);
    EXPECT_TRUE(asked.startsWith("build.sh is not in the project folder")) << asked.toStdString();
    EXPECT_TRUE(KeyTipLetters().isEmpty());

    // The Home category's letters; commands without a handler are not there.
    Frame().Ribbon()->Categories()->setCurrentIndex(1);
    QTest::keyPress(focus, Qt::Key_Alt, Qt::AltModifier);
    const QStringList home = KeyTipLetters();
    QTest::keyRelease(focus, Qt::Key_Alt);
    QTest::keyClick(focus, Qt::Key_Escape);
    EXPECT_TRUE(home.contains("W")) << home.join(',').toStdString();
    EXPECT_FALSE(home.contains("N")) << home.join(',').toStdString();
    for (const char *id : {"edit.find", "edit.insert-object", "view.caption-bar"}) {
        if (QWidget *control = Frame().Ribbon()->PanelControl(id)) {
            EXPECT_FALSE(control->isVisibleTo(Frame().Ribbon())) << id;
        }
    }
}

} // namespace
} // namespace kivo::test
