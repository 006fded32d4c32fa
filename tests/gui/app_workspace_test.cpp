// The project window's tabs through their widgets: the settings form's copy
// semantics, the object list with the picker and the editors, the dialogs
// built from field descriptions.
#include "app_support.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "objects/editor.h"
#include "workspace/editordialog.h"
#include "workspace/flexspinview.h"
#include "workspace/objectpicker.h"
#include "workspace/objectview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <filesystem>

namespace kivo::test {
namespace {

QStringList Texts(QWidget *root)
{
    QStringList out;
    for (auto *l : root->findChildren<QLabel *>())
        out << l->text();
    for (auto *b : root->findChildren<QAbstractButton *>())
        out << b->text();
    for (auto *g : root->findChildren<QGroupBox *>())
        out << g->title();
    return out;
}

QStringList Entries(QComboBox *c)
{
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

void PressOk(QWidget *dialog)
{
    auto *box = dialog->findChild<QDialogButtonBox *>();
    ASSERT_NE(box, nullptr);
    box->button(QDialogButtonBox::Ok)->click();
}

void PressCancel(QWidget *dialog)
{
    auto *box = dialog->findChild<QDialogButtonBox *>();
    ASSERT_NE(box, nullptr);
    box->button(QDialogButtonBox::Cancel)->click();
}

QLineEdit *Edit(CEditorDialog *d, const char *key)
{
    auto *e = qobject_cast<QLineEdit *>(d->FieldControl(key));
    EXPECT_NE(e, nullptr) << key;
    return e;
}

// ---- the settings form ----

class SettingsTest : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        path = SavedProject("Settings.kivo");
        Start({path});
        form = View()->SettingsView();
    }
    QLineEdit *Box(int id) { return qobject_cast<QLineEdit *>(form->Control(id)); }
    QComboBox *Combo(int id) { return qobject_cast<QComboBox *>(form->Control(id)); }
    QCheckBox *Check(int id) { return qobject_cast<QCheckBox *>(form->Control(id)); }

    QString path;
    CFlexSpinView *form = nullptr;
};

TEST_F(SettingsTest, ShowsEveryFieldWithItsLabelAndListEntries)
{
    QStringList texts = Texts(form);
    for (const char *t : {"P2",
                          "FlexSpin",
                          "Options",
                          "LoadP2",
                          "SD Card",
                          "P2 Core Frequency:",
                          "Hz",
                          "Specify Heap Size:",
                          "FlexSpin folder:",
                          "-L Use Additional Library Folder",
                          "-O Specify Optimization Level",
                          "Add these additional options:",
                          "loadp2 folder:",
                          "-t Show Terminal Window",
                          "-k Wait for Terminal input before exit",
                          "-9 Use Plan9 to access PC Folder:",
                          "-b Specify terminal baud",
                          "Note:  Do not use with Debug",
                          "Mount SD Card",
                          "Pins:",
                          "CLK",
                          "CS",
                          "MOSI",
                          "MISO",
                          "Browse",
                          "Note:  If you change any of the paths above, you must Generate files again to take effect."})
        EXPECT_TRUE(texts.contains(t)) << t;
    EXPECT_EQ(Entries(Combo(1027)), (QStringList{"100000000", "160000000", "200000000", "297000000", "300000000"}));
    EXPECT_EQ(Entries(Combo(1010)), (QStringList{"0", "1", "2", "2,!cse"}));
    EXPECT_EQ(Entries(Combo(1028)), (QStringList{"115200", "230400", "1000000", "2000000"}));
    // The project's values, as opened.
    EXPECT_EQ(Combo(1027)->currentText(), "160000000");
    EXPECT_EQ(Box(1026)->text(), "8000");
    EXPECT_EQ(Box(1020)->text(), "61");
    EXPECT_TRUE(Check(1016)->isChecked());
    EXPECT_FALSE(Check(1029)->isChecked());
    EXPECT_EQ(form->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(SettingsTest, ATypedValueReachesTheProjectWhenItsEditingEndsOrAtTheNextRefresh)
{
    // A check box goes in when clicked, a box when Enter ends its editing.
    Check(1025)->click();
    EXPECT_EQ(Doc().m_bSetHeapSize, 1);
    Retype(Combo(1027)->lineEdit(), "12345");
    EXPECT_EQ(Doc().m_strClockFreq, "160000000");
    Key(Combo(1027)->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(Doc().m_strClockFreq, "12345");
    // Still being typed: in the project at the next refresh.
    Retype(Box(1012), "--extra");
    EXPECT_EQ(Doc().m_strFlexOptions, "--fixed --fcache=200");
    Doc().UpdateAllViews();
    EXPECT_EQ(Doc().m_strFlexOptions, "--extra");
    // A chosen list entry goes in at once; the list then opens on it.
    Combo(1027)->setCurrentIndex(2);
    emit Combo(1027)->activated(2);
    EXPECT_EQ(Doc().m_strClockFreq, "200000000");
    Doc().m_strClockFreq = "300000000";
    Doc().UpdateAllViews();
    EXPECT_EQ(Combo(1027)->currentIndex(), 4);

    // A save refreshes first, so the file holds what the form shows.
    Retype(Box(1022), "-v");
    Frame().RunCommand("file.save");
    CKivoDoc saved;
    Modals::Get().Reset();
    ASSERT_TRUE(OpenProject(path.toStdString(), saved, app->GetServices()));
    EXPECT_EQ(saved.m_strLoadP2Options, "-v");
    EXPECT_EQ(saved.m_strClockFreq, "300000000");
}

TEST_F(SettingsTest, BrowseFillsTheBoxBesideItAndACancelKeepsWhatWasTyped)
{
    Retype(Box(1012), "typed");
    Modals::Get().Then([](QWidget *w) {
        auto *fd = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(fd, nullptr);
        fd->reject();
    });
    qobject_cast<QPushButton *>(form->Control(1019))->click();
    EXPECT_EQ(Box(1004)->text(), "C:\\FlexProp\\bin");
    EXPECT_EQ(Box(1012)->text(), "typed");

    // The dialog starts at the box's folder.
    QString folder = QString::fromStdString(dir.Path());
    std::filesystem::create_directories(dir / "start");
    Retype(Box(1014), folder + "/start");
    Modals::Get().Then([folder](QWidget *w) {
        auto *fd = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(fd, nullptr);
        EXPECT_EQ(fd->directory().absolutePath(), folder + "/start");
        fd->setDirectory(folder);
        fd->selectFile(folder);
        static_cast<QDialog *>(fd)->accept();
    });
    qobject_cast<QPushButton *>(form->Control(1015))->click();
    EXPECT_EQ(Box(1014)->text(), folder);
    // A chosen folder is in the project at once.
    EXPECT_EQ(QString::fromStdString(Doc().m_strPlan9Path), folder);
}

// ---- the object list, the picker and the editors ----

class ObjectListTest : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        Start();
        View()->setCurrentIndex(CKivoView::ObjectsTab);
        list = View()->ObjectView();
    }
    void Add(int kind, std::function<void(CEditorDialog *)> edit) { AddThroughPicker(list, kind, std::move(edit)); }
    CObjectView *list = nullptr;
};

TEST_F(ObjectListTest, AddEditAndDeleteThroughThePickerAndTheEditor)
{
    Add(kServo, [](CEditorDialog *d) {
        EXPECT_EQ(d->windowTitle(), "Hobby Servo");
        EXPECT_EQ(Edit(d, "name")->text(), "Servo1");
        EXPECT_FALSE(Edit(d, "name")->isReadOnly());
        Retype(Edit(d, "pin"), "12");
        PressOk(d);
    });
    EXPECT_EQ(Lines(list->ObjectList()), QStringList{"Servo1 - Hobby Servo"});
    EXPECT_EQ(Doc().m_strPinOwner[12], "Servo1");
    EXPECT_EQ(Doc().m_strPinUsage[12], "Hobby Servo");
    EXPECT_EQ(Doc().m_nKindCount[kServo], 1);

    // A double-click edits: the name is fixed, the pin moves.
    Modals::Get().Then([](QWidget *w) {
        auto *d = qobject_cast<CEditorDialog *>(w);
        ASSERT_NE(d, nullptr);
        EXPECT_TRUE(Edit(d, "name")->isReadOnly());
        EXPECT_EQ(Edit(d, "pin")->text(), "12");
        Retype(Edit(d, "pin"), "13");
        PressOk(d);
    });
    ClickRow(list->ObjectList(), 0, true);
    EXPECT_FALSE(Doc().m_bPinUsed[12]);
    EXPECT_EQ(Doc().m_strPinOwner[13], "Servo1");

    // A refused OK shows the error beside its field, keeps the dialog open;
    // Cancel then leaves the object and its pin as they were before the
    // editor opened.
    Modals::Get().Then([](QWidget *w) {
        auto *d = qobject_cast<CEditorDialog *>(w);
        ASSERT_NE(d, nullptr);
        Retype(Edit(d, "pin"), "62");
        PressOk(d);
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->MessageOf("pin"), "Pin #62 is already in use by Serial.");
        PressCancel(w);
    });
    ClickRow(list->ObjectList(), 0);
    list->EditButton()->click();
    EXPECT_TRUE(Modals::Get().Boxes().empty());
    EXPECT_TRUE(Lines(list->WarningList()).isEmpty());
    EXPECT_EQ(Doc().m_objList[0]->m_strPin, "13");
    EXPECT_TRUE(Doc().m_objList[0]->m_bValid);
    EXPECT_EQ(Doc().m_strPinOwner[13], "Servo1");

    ClickRow(list->ObjectList(), 0);
    list->DeleteButton()->click();
    EXPECT_TRUE(Lines(list->ObjectList()).isEmpty());
    EXPECT_TRUE(Lines(list->WarningList()).isEmpty());
    EXPECT_FALSE(Doc().m_bPinUsed[13]);
    EXPECT_EQ(Doc().m_nKindCount[kServo], 1);
}

TEST_F(ObjectListTest, CancelledAdditionsChangeNothingAndStillRefresh)
{
    auto stale = [this] { list->ObjectList()->addItem("stale line"); };
    stale();
    // A cancelled editor (Escape) returns to the picker; its Escape then ends.
    Modals::Get().Then([](QWidget *w) {
        auto *picker = qobject_cast<CObjectPicker *>(w);
        ASSERT_NE(picker, nullptr);
        picker->KindButton(kServo)->click();
    });
    Modals::Get().Then([](QWidget *w) {
        ASSERT_NE(qobject_cast<CEditorDialog *>(w), nullptr);
        Key(w, Qt::Key_Escape);
    });
    Modals::Get().Then([](QWidget *w) {
        ASSERT_NE(qobject_cast<CObjectPicker *>(w), nullptr);
        Key(w, Qt::Key_Escape);
    });
    list->AddButton()->click();
    EXPECT_TRUE(Lines(list->ObjectList()).isEmpty());
    stale();
    Modals::Get().Then([](QWidget *w) {
        auto *picker = qobject_cast<CObjectPicker *>(w);
        ASSERT_NE(picker, nullptr);
        picker->CancelButton()->click();
    });
    list->AddButton()->click();
    EXPECT_TRUE(Lines(list->ObjectList()).isEmpty());
    EXPECT_TRUE(Doc().m_objList.empty());
    EXPECT_EQ(Doc().m_nKindCount[kServo], 0);
    EXPECT_FALSE(Doc().m_bPinUsed[38]);
    // Edit and Delete without a selection do nothing.
    list->EditButton()->click();
    list->DeleteButton()->click();
}

TEST_F(ObjectListTest, ThePickerOffersTwelveKindsAndRefusesAClockWithoutABus)
{
    Modals::Get().Then([](QWidget *w) {
        auto *picker = qobject_cast<CObjectPicker *>(w);
        ASSERT_NE(picker, nullptr);
        EXPECT_EQ(picker->windowTitle(), "Pick New Object");
        const char *captions[] = {"Simple VGA 8bpp",
                                  "I2C Bus && Scanner",
                                  "RGB LED String",
                                  "NCO (Square Wave)",
                                  "I2C RTC",
                                  "Simple Sound",
                                  "Servo",
                                  "Smart Digital I/O Pin",
                                  "Global Digital Filters",
                                  "DAC Analog Output",
                                  "ADC Analog Input",
                                  "USB Keyboard && Mouse"};
        const int kinds[] = {kSimpleVGA, kI2CBus,  kNeopixel, kNCO, kRTC, kSimpleSound,
                             kServo,     kDigital, kFilters,  kDAC, kADC, kUsbKbm};
        for (int i = 0; i < 12; ++i) {
            QPushButton *b = picker->KindButton(kinds[i]);
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(b->text(), captions[i]);
            EXPECT_FALSE(b->icon().isNull());
            EXPECT_FALSE(b->toolTip().isEmpty());
        }
        EXPECT_EQ(picker->KindButton(kServo)->toolTip(), "Add a Hobby Servo Control via PWM object");
        EXPECT_EQ(picker->KindButton(kNeopixel)->toolTip(), "Add a Neopixel String Driver object");
        // Right column: the clock beside the bus, the filters beside the pin.
        EXPECT_EQ(picker->KindButton(kRTC)->y(), picker->KindButton(kI2CBus)->y());
        EXPECT_GT(picker->KindButton(kRTC)->x(), picker->KindButton(kI2CBus)->x());
        EXPECT_EQ(picker->KindButton(kFilters)->y(), picker->KindButton(kDigital)->y());
        picker->KindButton(kRTC)->click();
    });
    Modals::Get().ThenBox();
    Modals::Get().Then([](QWidget *w) {
        // Still open after the refusal.
        auto *picker = qobject_cast<CObjectPicker *>(w);
        ASSERT_NE(picker, nullptr);
        picker->CancelButton()->click();
    });
    list->AddButton()->click();
    ASSERT_EQ(Modals::Get().Boxes().size(), 1u);
    EXPECT_EQ(Modals::Get().Boxes()[0].title, "Kivo");
    EXPECT_EQ(Modals::Get().Boxes()[0].text, "Error.  No I2C busses found.  Please add I2C Bus object first.");
    EXPECT_EQ(Modals::Get().Boxes()[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(Doc().m_objList.empty());
}

TEST_F(AppTest, TwoProjectsStayIndependentAndEveryWindowOfOneIsRefreshed)
{
    Start();
    CKivoDoc &a = Doc();
    Frame().RunCommand("window.new");
    CChildFrame *a2 = Active();
    Frame().RunCommand("file.new");
    CKivoDoc &b = Doc();
    CChildFrame *bWindow = Active();
    ASSERT_NE(&a, &b);
    Retype(qobject_cast<QComboBox *>(bWindow->View()->SettingsView()->Control(1027))->lineEdit(), "999");

    Frame().ActivateChild(Frame().Children()[0]);
    Modals::Get().Then([](QWidget *w) { qobject_cast<CObjectPicker *>(w)->KindButton(kServo)->click(); });
    Modals::Get().Then([](QWidget *w) { PressOk(w); });
    Active()->View()->ObjectView()->AddButton()->click();
    ASSERT_EQ(a.m_objList.size(), 1u);
    // Both windows of the project show the new object; the other project
    // neither shows it nor took its typed value.
    EXPECT_EQ(Lines(a2->View()->ObjectView()->ObjectList()), QStringList{"Servo1 - Hobby Servo"});
    EXPECT_TRUE(Lines(bWindow->View()->ObjectView()->ObjectList()).isEmpty());
    EXPECT_EQ(b.m_strClockFreq, "160000000");
    EXPECT_EQ(a.m_strClockFreq, "160000000");
    b.UpdateAllViews();
    EXPECT_EQ(b.m_strClockFreq, "999");
    EXPECT_EQ(a.m_strClockFreq, "160000000");
    EXPECT_TRUE(b.m_objList.empty());
}

// ---- dialogs built from field descriptions ----

// A model with one field of every type, to check the dialog builder alone.
class FakeEditor : public CEditorModel
{
public:
    using CEditorModel::CEditorModel;
    std::string Title() const override { return "Fake Editor"; }
    std::string Description() const override { return "First line.\r\n\r\nSecond line."; }
    std::string NameLabel() const override { return "ObjectName:"; }
    const std::vector<FieldSpec> &Fields() const override
    {
        static const std::vector<FieldSpec> fields = {
            {.key = "pin", .type = FieldType::Text, .label = "I/O Pin:", .hint = "0..63"},
            {.key = "count", .type = FieldType::Integer, .label = "Count:", .note = "Whole numbers only."},
            {.key = "mode", .type = FieldType::Choice, .label = "Mode", .group = "Mode", .options = {"Slow", "Fast"}},
            {.key = "level", .type = FieldType::Slider, .label = "Level:", .group = "Output", .min = 0, .max = 10},
            {.key = "readout", .type = FieldType::ReadOnly, .label = "Readout", .group = "Output"},
            {.key = "gain",
             .type = FieldType::Choice,
             .label = "Gain:",
             .group = "Output",
             .options = {"1X", "2X", "4X", "8X", "16X", "32X"}},
            {.key = "speed", .type = FieldType::Combo, .label = "Speed:", .options = {"100", "400"}},
            {.key = "on", .type = FieldType::Flag, .label = "Turn it on"},
            {.key = "never", .type = FieldType::Flag, .label = "Not available"},
            {.key = "calc", .type = FieldType::Button, .label = "Calculate"},
        };
        return fields;
    }
    bool IsEnabled(const std::string &key) const override { return !key.empty() && key != "never"; }
    int oks = 0;

protected:
    void InitNew() override
    {
        // Not a kind of the project: the project checks do not apply.
        SetProjectChecks(false);
        m_text["pin"] = "5";
        m_text["count"] = "1";
        m_int["level"] = 3;
        m_text["readout"] = "3";
        m_text["speed"] = "100";
    }
    void OnSlider(const std::string &) override { m_text["readout"] = std::to_string(Int("level")); }
    void OnChoice(const std::string &key) override
    {
        if (key != "mode")
            return;
        m_range["level"] = Int("mode") == 1 ? std::pair{0, 100} : std::pair{0, 10};
        UserSlide("level", Int("mode") == 1 ? 50 : 5);
    }
    void OnButton(const std::string &) override { m_text["readout"] = "calculated"; }
    OkResult OnOk() override
    {
        if (!ReadControls())
            return OkResult::StayOpen;
        m_object.m_strName = Name();
        m_object.m_strPin = Text("pin");
        m_object.m_bValid = true;
        ++oks;
        return OkResult::Accepted;
    }
};

class DialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        MemoryProfile empty;
        doc.OnNewDocument(empty);
    }
    void TearDown() override { Modals::Get().Reset(); }
    CKivoDoc doc;
    CQtMessages messages;
};

// A readout is filled with the window's colour, a box to type in with the
// base colour; the colours come from the dialog's own style sheet.
TEST_F(DialogTest, ReadoutsShowOnTheWindowColour)
{
    CCodeObject object;
    FakeEditor model(kServo, object, doc, 0, messages);
    model.Open();
    CEditorDialog d(model);
    d.show();
    auto inside = [](QLineEdit *e) {
        QImage image = e->grab().toImage();
        return image.pixelColor(image.width() - 6, image.height() / 2);
    };
    ASSERT_NE(d.palette().color(QPalette::Window), d.palette().color(QPalette::Base));
    EXPECT_EQ(inside(Edit(&d, "readout")).name(), d.palette().color(QPalette::Window).name());
    EXPECT_EQ(inside(Edit(&d, "pin")).name(), d.palette().color(QPalette::Base).name());
}

TEST_F(DialogTest, IsBuiltFromTheFieldDescriptionsAndRunsTheModelsHandlers)
{
    CCodeObject object;
    FakeEditor model(kServo, object, doc, 0, messages);
    model.Open();
    CEditorDialog d(model);
    d.show();
    EXPECT_EQ(d.windowTitle(), "Fake Editor");
    EXPECT_EQ(d.DescriptionBox()->toPlainText(), "First line.\n\nSecond line.");
    EXPECT_TRUE(d.DescriptionBox()->isReadOnly());
    QStringList texts = Texts(&d);
    for (const char *t : {"ObjectName:", "I/O Pin:", "0..63", "Count:", "Whole numbers only.", "Mode", "Output",
                          "Level:", "Readout", "Gain:", "Speed:", "Turn it on", "Calculate", "Slow", "32X"})
        EXPECT_TRUE(texts.contains(t)) << t;
    EXPECT_EQ(Edit(&d, "name")->text(), "Servo1");
    EXPECT_EQ(Edit(&d, "pin")->toolTip(), "0..63");
    // The slider group: the slider's range and readout.
    auto *level = qobject_cast<QSlider *>(d.FieldControl("level"));
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->maximum(), 10);
    EXPECT_EQ(level->value(), 3);
    level->setValue(7);
    EXPECT_EQ(Edit(&d, "readout")->text(), "7");
    EXPECT_TRUE(Edit(&d, "readout")->isReadOnly());
    // A choice that moves the slider.
    auto modes = d.ChoiceButtons("mode");
    ASSERT_EQ(modes.size(), 2u);
    EXPECT_TRUE(modes[0]->isChecked());
    modes[1]->click();
    EXPECT_EQ(model.Int("mode"), 1);
    EXPECT_EQ(level->maximum(), 100);
    EXPECT_EQ(level->value(), 50);
    EXPECT_EQ(Edit(&d, "readout")->text(), "50");
    EXPECT_EQ(d.ChoiceButtons("gain").size(), 6u);
    // The editable list, the check boxes and the button.
    auto *speed = qobject_cast<QComboBox *>(d.FieldControl("speed"));
    ASSERT_NE(speed, nullptr);
    EXPECT_TRUE(speed->isEditable());
    EXPECT_EQ(Entries(speed), (QStringList{"100", "400"}));
    Retype(speed->lineEdit(), "250");
    EXPECT_EQ(model.Text("speed"), "250");
    qobject_cast<QCheckBox *>(d.FieldControl("on"))->click();
    EXPECT_TRUE(model.Flag("on"));
    EXPECT_FALSE(d.FieldControl("never")->isEnabled());
    qobject_cast<QPushButton *>(d.FieldControl("calc"))->click();
    EXPECT_EQ(Edit(&d, "readout")->text(), "calculated");

    // A count that is not a whole number: the toolkit's message beside the
    // field, then the dialog stays open until it is one.
    Retype(Edit(&d, "count"), "1x");
    PressOk(&d);
    EXPECT_TRUE(Modals::Get().Boxes().empty());
    // The known text, under the field, which takes the focus.
    EXPECT_EQ(d.MessageOf("count"), "Please enter an integer.\nThe field \"Count\" holds \"1x\".");
    EXPECT_EQ(d.focusWidget(), d.FieldControl("count"));
    EXPECT_EQ(model.oks, 0);
    EXPECT_TRUE(d.isVisible());
    Retype(Edit(&d, "count"), "12");
    Retype(Edit(&d, "pin"), "21");
    PressOk(&d);
    EXPECT_EQ(model.oks, 1);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(object.m_strPin, "21");
}

TEST_F(DialogTest, CancelLeavesTheObjectAsItWas)
{
    CCodeObject object;
    object.m_strName = "Kept";
    object.m_strPin = "9";
    FakeEditor model(kServo, object, doc, 1, messages);
    model.Open();
    CEditorDialog d(model);
    d.show();
    EXPECT_TRUE(Edit(&d, "name")->isReadOnly());
    EXPECT_EQ(Edit(&d, "name")->text(), "Kept");
    Retype(Edit(&d, "pin"), "30");
    PressCancel(&d);
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(object.m_strPin, "9");
}

TEST_F(DialogTest, TheServoEditorShowsItsFieldsAndReadouts)
{
    CCodeObject object;
    auto model = ServoKind().CreateEditor(object, doc, 0, messages);
    model->Open();
    CEditorDialog d(*model);
    QStringList texts = Texts(&d);
    for (const char *t : {"Object Name:", "I/O Pin:", "Position Units Options", "Degrees", "Microseconds",
                          "Starting Position:", "Move servo randomly"})
        EXPECT_TRUE(texts.contains(t)) << t;
    auto *slider = qobject_cast<QSlider *>(d.FieldControl("position"));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 180);
    EXPECT_EQ(slider->value(), 90);
    slider->setValue(100);
    EXPECT_EQ(Edit(&d, "degrees")->text(), "100");
    EXPECT_EQ(Edit(&d, "microseconds")->text(), "1600");
    EXPECT_TRUE(qobject_cast<QCheckBox *>(d.FieldControl("random"))->isChecked());
}

// Every kind that has an editor gets a complete dialog: this holds for the
// kinds still to come as much as for those here now.
TEST_F(DialogTest, EveryKindsEditorGetsAControlForEachField)
{
    for (const IKind *kind : AllKinds()) {
        for (int mode : {0, 1}) {
            SCOPED_TRACE(std::string(kind->CliName()) + " mode " + std::to_string(mode));
            CCodeObject object;
            object.m_strName = "Existing";
            auto model = kind->CreateEditor(object, doc, mode, messages);
            if (!model)
                continue;
            model->Open();
            CEditorDialog d(*model);
            EXPECT_EQ(d.windowTitle().toStdString(), model->Title());
            EXPECT_EQ(Edit(&d, "name")->isReadOnly(), mode == 1);
            QStringList texts = Texts(&d);
            EXPECT_TRUE(texts.contains(QString::fromStdString(model->NameLabel())));
            for (const FieldSpec &f : model->Fields()) {
                EXPECT_NE(d.FieldControl(f.key), nullptr) << f.key;
                if (!f.label.empty()) {
                    EXPECT_TRUE(texts.contains(QString::fromStdString(f.label))) << f.key;
                }
                if (f.type == FieldType::Choice) {
                    EXPECT_EQ(d.ChoiceButtons(f.key).size(), model->Options(f.key).size()) << f.key;
                }
            }
        }
    }
}

} // namespace
} // namespace kivo::test
