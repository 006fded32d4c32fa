// The "Simulated Board" tab: Run on Simulated Board, Compile offered for a
// missing program, the console both ways, Pause, a fault, and closing the
// window while the run goes on. The "compiler" copies a program made with the
// tests' own instruction encoder, so no FlexSpin is needed.
#include "../sim/p2programs.h"
#include "../simrun/simrun_support.h"
#include "app_support.h"

#include "app/buildpane.h"
#include "generator/generator.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "objects/objectlist.h"
#include "run/liverun.h"
#include "workspace/audioout.h"
#include "workspace/boardcard.h"
#include "workspace/flexspinview.h"
#include "workspace/logicview.h"
#include "workspace/simboardtab.h"
#include "workspace/usbinput.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>

#include <chrono>

namespace kivo::test {
namespace {

using namespace kivo::test::p2;

class SimBoardTest : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        Start({SavedProject("Blink.kivo")});
        std::filesystem::create_directories(dir / "bin");
        // The compiler puts the prepared program where Compile leaves it.
        const std::string compiler = dir / "bin/flexspin";
        WriteFileBytes(compiler, "#!/bin/sh\ncp '" + dir / "program.bin" + "' Blink.binary\n");
        std::filesystem::permissions(compiler, std::filesystem::perms::owner_all);
        Retype(qobject_cast<QLineEdit *>(View()->SettingsView()->Control(1004)), QString::fromStdString(dir / "bin"));
        Key(View()->SettingsView()->Control(1004), Qt::Key_Return);
        Modals::Get().ThenBox();
        Frame().RunCommand("project.generate");
        Modals::Get().Reset();
    }
    CSimBoardTab *Tab() { return View()->SimBoard(); }
    void Program(const p2::Program &p)
    {
        const std::vector<std::uint8_t> bytes = p.bytes();
        WriteFileBytes(dir / "program.bin", std::string(bytes.begin(), bytes.end()));
    }
    // Compiles as the user would, and runs.
    void CompileAndRun()
    {
        WriteFileBytes(dir / "Blink.binary", ReadFileBytes(dir / "program.bin"));
        View()->setCurrentIndex(CKivoView::SimBoardTab);
        ASSERT_TRUE(Tab()->Start()) << Tab()->Message()->text().toStdString();
    }
    double Seconds() { return Tab()->Run()->snapshot().seconds; }
};

// A missing program is said and Compile offered; after the build the run
// starts by itself, and the console carries text both ways.
TEST_F(SimBoardTest, CompileIsOfferedThenTheConsoleEchoes)
{
    Program(Echo());
    QAction *command = Frame().ActionById("project.simulate");
    ASSERT_NE(command, nullptr);
    EXPECT_TRUE(command->isEnabled());
    EXPECT_EQ(command->shortcut(), QKeySequence("Ctrl+R"));
    Frame().RunCommand("project.simulate");
    EXPECT_EQ(View()->currentIndex(), int(CKivoView::SimBoardTab));
    EXPECT_EQ(View()->ShownTabText(CKivoView::SimBoardTab), "Simulated Board");
    EXPECT_TRUE(Tab()->Message()->text().contains("run Compile first")) << Tab()->Message()->text().toStdString();
    ASSERT_TRUE(Tab()->CompileButton()->isVisible());

    // The project has unsaved changes: it is generated again first.
    if (Doc().IsModified())
        Modals::Get().ThenBox();
    Tab()->CompileButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Tab()->IsRunning(); }, 10000)) << Tab()->Message()->text().toStdString();
    EXPECT_FALSE(Tab()->Message()->isVisibleTo(Tab()));

    Tab()->Input()->setFocus();
    Type(Tab()->Input(), "hello");
    Key(Tab()->Input(), Qt::Key_Return);
    EXPECT_EQ(Tab()->Input()->text(), "");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Tab()->Console()->toPlainText() == "hello"; }, 5000))
        << Tab()->Console()->toPlainText().toStdString();
    // In columns, as a terminal shows it.
    EXPECT_TRUE(QFontInfo(Tab()->Console()->font()).fixedPitch()) << Tab()->Console()->font().family().toStdString();
    EXPECT_TRUE(Tab()->SpeedLabel()->text().startsWith("Speed: ")) << Tab()->SpeedLabel()->text().toStdString();

    const std::string saved = dir / "console.txt";
    ASSERT_TRUE(Tab()->SaveConsole(QString::fromStdString(saved)));
    EXPECT_EQ(ReadFileBytes(saved), "hello");
}

// Pause holds the simulated time the tab shows; Run goes on from there.
TEST_F(SimBoardTest, PauseHoldsTheSimulatedTime)
{
    p2::Program loop;
    loop << jmpA(0xFFFFC, true);
    Program(loop);
    CompileAndRun();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Seconds() > 0.05; }, 5000));
    Tab()->PauseButton()->click();
    EXPECT_FALSE(Tab()->PauseButton()->isEnabled());
    QTest::qWait(60);
    const QString held = Tab()->TimeLabel()->text();
    QTest::qWait(200);
    EXPECT_EQ(Tab()->TimeLabel()->text(), held);
    Tab()->RunButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Tab()->TimeLabel()->text() != held; }, 5000));
}

TEST_F(SimBoardTest, AFaultStopsTheRunAndIsShown)
{
    p2::Program bad;
    bad << NOP << 0xFBD00000u;
    Program(bad);
    CompileAndRun();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Tab()->Message()->isVisible(); }, 5000));
    EXPECT_TRUE(Tab()->Message()->text().contains("cog 0, PC $00001, instruction $FBD00000"))
        << Tab()->Message()->text().toStdString();
    EXPECT_FALSE(Tab()->CompileButton()->isVisible());
    EXPECT_FALSE(Tab()->StopButton()->isEnabled());
}

// Closing the project window ends its run without waiting on it.
TEST_F(SimBoardTest, ClosingTheWindowEndsTheRun)
{
    p2::Program loop;
    loop << jmpA(0xFFFFC, true);
    Program(loop);
    CompileAndRun();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Seconds() > 0.01; }, 5000));
    QPointer<CSimBoardTab> tab = Tab();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Frame().CloseChild(Active(), false));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(tab.isNull());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

// Each object's device shows what it measures while the program runs.
TEST_F(SimBoardTest, ObjectsShowTheirDevices)
{
    auto edit = [](CEditorModel &e) {
        e.UserSetText("pin", "12");
        return e.Ok() == OkResult::Accepted;
    };
    ASSERT_EQ(AddObject(Doc(), kServo, app->Messages(), edit), AddResult::Added);
    Modals::Get().ThenBox();
    Frame().RunCommand("project.generate");
    Modals::Get().Reset();
    p2::Program loop;
    loop << jmpA(0xFFFFC, true);
    Program(loop);
    CompileAndRun();
    ASSERT_EQ(Tab()->Cards().size(), 1u);
    CBoardCard *card = Tab()->Cards().front();
    EXPECT_EQ(card->ObjectName(), Doc().m_objList[0]->m_strName);
    ASSERT_TRUE(QTest::qWaitFor([&] { return card->Device()->text() == "pulse meter"; }, 5000))
        << card->Device()->text().toStdString();
    EXPECT_EQ(card->Readings()->text(), "No pulse");
}

// A pin pattern on three objects' pins: pin 20 driven high, pin 21 toggled
// every 106 clocks (a 50% square wave of 20 MHz / 212), and one red WS2812B
// LED on pin 22, written by turns of the pin (a 1 is high for 14 clocks, a
// 0 for 4) every 400 us. Pin 23 is left to the digital card's switch.
TEST_F(SimBoardTest, CardsShowWhatThePinsDo)
{
    const struct {
        std::int32_t kind;
        const char *pin;
    } objects[] = {{kDigital, "20"}, {kNCO, "21"}, {kNeopixel, "22"}, {kDigital, "23"}};
    for (const auto &o : objects)
        ASSERT_EQ(AddObject(Doc(), o.kind, app->Messages(),
                            [&](CEditorModel &e) {
                                e.UserSetText("pin", o.pin);
                                if (o.kind == kNeopixel)
                                    e.UserSetText("leds", "1");
                                return e.Ok() == OkResult::Accepted;
                            }),
                  AddResult::Added);
    Modals::Get().ThenBox();
    Frame().RunCommand("project.generate");
    Modals::Get().Reset();
    constexpr std::uint32_t val = 0x100, count = 0x101;
    p2::Program p;
    p << dForm(sub9::DRVH, I(20)) << coginit(I(1), I(0x80)) // cog 1 toggles, from hub $80
      << augs(0xFF00) << mov(val, I(0xFF00 & 0x1FF)) << alu(op::SHL, val, I(8)) << mov(count, I(24))
      << alu(op::SHL, val, I(1), WC) << dForm(sub9::DRVH, I(22)) << cond(IF_C, waitx(I(10))) << dForm(sub9::DRVL, I(22))
      << waitx(I(8)) << djnz(count, I(0x1FA))                         // each bit
      << augd(8000) << waitx(I(8000 & 0x1FF)) << jmpA(0xFFFCC, true); // latch, again
    while (p.here() < 0x20)
        p << NOP;
    p << dForm(sub9::DRVNOT, I(21)) << waitx(I(98)) << jmpA(0xFFFF4, true);
    Program(p);
    CompileAndRun();
    const auto &cards = Tab()->Cards();
    ASSERT_EQ(cards.size(), 4u);
    // Tab goes from the run's buttons through the cards' controls to the console's input.
    EXPECT_EQ(Tab()->StopButton()->nextInFocusChain(), cards[0]->findChild<QPushButton *>("input.open"));
    EXPECT_EQ(cards[3]->findChild<QPushButton *>("input.high")->nextInFocusChain(), Tab()->Input());
    for (CBoardCard *card : cards)
        ASSERT_TRUE(QTest::qWaitFor([&] { return card->Device()->text() != "-"; }, 5000)) << card->ObjectName();
    EXPECT_TRUE(QTest::qWaitFor([&] { return cards[0]->findChild<QLabel *>("level")->text() == "High"; }, 5000));
    const QString wave = QString("%1 kHz, duty 50.0%").arg(20e3 / 212, 0, 'f', 3);
    EXPECT_TRUE(QTest::qWaitFor([&] { return cards[1]->findChild<QLabel *>("value")->text() == wave; }, 5000))
        << cards[1]->findChild<QLabel *>("value")->text().toStdString() << " not " << wave.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return cards[2]->Picture().pixelColor(0, 0) == QColor(255, 0, 0); }, 5000))
        << cards[2]->Readings()->text().toStdString();

    // The switch drives the open pin through 1 kOhm while the program runs.
    QLabel *level = cards[3]->findChild<QLabel *>("level");
    EXPECT_TRUE(QTest::qWaitFor([&] { return level->text() == "Low"; }, 5000)) << level->text().toStdString();
    auto *high = cards[3]->findChild<QPushButton *>("input.high");
    ASSERT_NE(high, nullptr);
    high->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return level->text() == "High"; }, 5000)) << level->text().toStdString();
    EXPECT_EQ(Tab()->Run()->snapshot().changeProblem, "");
}

// The sound card's meters follow the DAC pins (a 500 Hz square wave of 32 kHz
// samples at half the span, or the middle held still), whether or not an
// audio output plays them. A run slower than real time is muted, saying why.
// Qt Multimedia and the dozen libraries under it load with the first run of
// a sound card, not with the application: they cost its start a third.
TEST(AudioOut, IsAModuleTheApplicationLoadsWhenItNeedsIt)
{
    QProcess ldd;
    ldd.start("ldd", {KIVO_APP});
    if (!ldd.waitForFinished(10000) || ldd.exitCode() != 0)
        GTEST_SKIP() << "ldd is not available here";
    const QString linked = QString::fromLocal8Bit(ldd.readAllStandardOutput());
    EXPECT_TRUE(linked.contains("libQt6Widgets")) << linked.toStdString();
    EXPECT_FALSE(linked.contains("libQt6Multimedia")) << linked.toStdString();
    EXPECT_FALSE(linked.contains("libpulse")) << linked.toStdString();
    QString error;
    auto out = OpenAudioOut(&error);
    ASSERT_TRUE(out) << error.toStdString();
    out->Play({0, 0, 100, -100}, 32000); // no device here: nothing to play on, and no fault
    out->Stop();
}

TEST_F(SimBoardTest, SoundCardShowsTheLevels)
{
    ASSERT_EQ(AddObject(Doc(), kSimpleSound, app->Messages(),
                        [](CEditorModel &e) { return e.Ok() == OkResult::Accepted; }), // pins 54 and 55
              AddResult::Added);
    Modals::Get().ThenBox();
    Frame().RunCommand("project.generate");
    Modals::Get().Reset();
    const struct {
        std::uint32_t high, low;
        bool heard;
    } tones[] = {{0xC000, 0x4000, true}, {0x8000, 0x8000, false}};
    for (const auto &tone : tones) {
        SCOPED_TRACE(tone.heard);
        Program(Tone(54, 55, 625, tone.high, tone.low, 20000));
        CompileAndRun();
        ASSERT_EQ(Tab()->Cards().size(), 1u);
        CBoardCard *card = Tab()->Cards().front();
        QProgressBar *left = card->findChild<QProgressBar *>("meter.left");
        QProgressBar *right = card->findChild<QProgressBar *>("meter.right");
        ASSERT_TRUE(left && right);
        // Offscreen there is seldom an audio output; where there is, the card names it.
        const QString output = card->findChild<QLabel *>("output")->text();
        EXPECT_TRUE(output == "No audio output device: the meters show the sound" || output.startsWith("Plays on "))
            << output.toStdString();
        if (tone.heard) {
            // -6 dBFS on a 48 dB scale.
            EXPECT_TRUE(QTest::qWaitFor([&] { return left->value() == 87 && right->value() == 87; }, 5000))
                << left->value() << " " << right->value();
            if (const char *folder = std::getenv("KIVO_SCREENSHOT_DIR"); folder && *folder) {
                std::filesystem::create_directories(folder);
                EXPECT_TRUE(card->grab().save(QString(folder) + "/app-sound-card.png", "PNG"));
            }
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return Tab()->Run()->snapshot().soundEnd > 8000; }, 5000));
            QTest::qWait(3 * CSimBoardTab::kRefreshMs);
            EXPECT_EQ(left->value(), 0);
            EXPECT_EQ(right->value(), 0);
        }
    }

    CBoardCard *card = Tab()->Cards().front();
    QLabel *status = card->findChild<QLabel *>("status");
    sim::LiveRun::Snapshot s = Tab()->Run()->snapshot();
    s.state = sim::LiveRun::State::Running;
    s.speed = 42.4;
    card->Show(s, Json());
    EXPECT_EQ(status->text(), "Muted: the simulation runs at 42 % of real time");
    s.speed = 99;
    card->Show(s, Json());
    EXPECT_TRUE(status->text().startsWith("Playing")) << status->text().toStdString();
    auto *mute = card->findChild<QCheckBox *>("mute");
    mute->click();
    card->Show(s, Json());
    EXPECT_EQ(status->text(), "Muted");
}

// The example with every kind, compiled by FlexSpin, on the tab's cards.
TEST_F(AppTest, AllKindsCardsShowTheirDevices)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const std::string path = dir / "AllKinds.kivo";
    std::filesystem::copy_file(std::string(KIVO_SOURCE_DIR) + "/examples/AllKinds.kivo", path);
    {
        TestServices t;
        CKivoDoc doc;
        ASSERT_TRUE(OpenProject(path, doc, t.services));
        ASSERT_TRUE(t.Show(GenerateProject(doc, t.services)));
        CompileResult c = CompileP2(flexspin, dir.Path(), "AllKinds.c", BuildScriptOptions(dir.Path()));
        ASSERT_TRUE(c.Ok()) << c.output;
    }
    Start({QString::fromStdString(path)});
    View()->setCurrentIndex(CKivoView::SimBoardTab);
    CSimBoardTab *tab = View()->SimBoard();
    ASSERT_TRUE(tab->Start()) << tab->Message()->text().toStdString();
    auto console = [&] { return tab->Console()->toPlainText().toStdString(); };
    constexpr int kWait = 120000; // the whole board runs well below real time on a slow host

    // The monitor's frame is bitmap2.bmp as the DAC shows it.
    CBoardCard *monitor = tab->Card("SimpleVGA1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !monitor->Picture().isNull(); }, kWait)) << console();
    const QImage picture = monitor->Picture().convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(picture.size(), QSize(640, 480));
    std::vector<std::uint8_t> frame;
    for (int y = 0; y < 480; y++)
        frame.insert(frame.end(), picture.constScanLine(y), picture.constScanLine(y) + 640 * 3);
    EXPECT_EQ(CompareFrame(frame, Bitmap2()), 0);
    EXPECT_TRUE(monitor->Readings()->text().startsWith("640x480@60")) << monitor->Readings()->text().toStdString();

    CBoardCard *leds = tab->Card("Neopixel1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return leds->Picture().pixelColor(0, 0) == QColor(0xFF, 0x32, 0x19); }, kWait))
        << leds->Readings()->text().toStdString();

    // The slider's volts reach the program's next readings.
    QSlider *adc = tab->Card("ADC1")->findChild<QSlider *>();
    ASSERT_NE(adc, nullptr);
    adc->setValue(3000);
    const std::size_t from = console().size();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const std::string text = console();
            const auto at = text.find("ADC ADC1 calibrated reading = ", from);
            return at != std::string::npos && text.find('\n', at) != std::string::npos &&
                   std::fabs(ValueOf(text.substr(at, text.find('\n', at) - at)) - 3.0) < 0.01;
        },
        kWait))
        << console().substr(from);

    // The dial stands at the position the program last set (600 us + 10 us a degree).
    CBoardCard *servo = tab->Card("Servo1");
    auto lastPosition = [&] {
        const std::string text = console();
        const auto at = text.rfind("Servo Position = ");
        return at == std::string::npos ? -1 : int(ValueOf(text.substr(at, text.find('\n', at) - at)));
    };
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const int position = lastPosition();
            return position >= 0 && position != 90 &&
                   servo->Readings()->text().startsWith(QString("%1 us, %2 degrees")
                                                            .arg(600.0 + 10 * position, 0, 'f', 1)
                                                            .arg(double(position), 0, 'f', 1));
        },
        kWait))
        << servo->Readings()->text().toStdString() << " at position " << lastPosition();

    // For the documentation (under xvfb-run with QT_QPA_PLATFORM=xcb).
    if (const char *folder = std::getenv("KIVO_SCREENSHOT_DIR"); folder && *folder) {
        Frame().setGeometry(0, 0, 1366, 768);
        Frame().show();
        QTest::qWait(1500);
        EXPECT_LE(Frame().frameGeometry().height(), 768);
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(Frame().grab().save(QString(folder) + "/simulated-board.png", "PNG"));
    }
}

// Qt keys as the USB keyboard reports them: letters, digits and symbols on
// their US keys (a shifted symbol is the key it is on, Shift goes in the
// modifiers), the keypad's own usages, function and cursor keys; a modifier
// key gives only its bit; a key the keyboard lacks gives nothing.
TEST(UsbKeys, QtKeysMapToHidUsages)
{
    struct Case {
        int key;
        bool keypad;
        std::uint8_t usage, modifier;
        const char *name;
    };
    const Case cases[] = {
        {Qt::Key_A, false, 0x04, 0, "A"},          {Qt::Key_Z, false, 0x1D, 0, "Z"},
        {Qt::Key_1, false, 0x1E, 0, "1"},          {Qt::Key_0, false, 0x27, 0, "0"},
        {Qt::Key_Exclam, false, 0x1E, 0, "1"},     {Qt::Key_ParenRight, false, 0x27, 0, "0"},
        {Qt::Key_Question, false, 0x38, 0, "/"},   {Qt::Key_QuoteDbl, false, 0x34, 0, "'"},
        {Qt::Key_Plus, false, 0x2E, 0, "="},       {Qt::Key_Return, false, 0x28, 0, "Enter"},
        {Qt::Key_Enter, false, 0x28, 0, "Enter"},  {Qt::Key_Enter, true, 0x58, 0, "Keypad Enter"},
        {Qt::Key_7, true, 0x5F, 0, "Keypad 7"},    {Qt::Key_0, true, 0x62, 0, "Keypad 0"},
        {Qt::Key_Plus, true, 0x57, 0, "Keypad +"}, {Qt::Key_Space, false, 0x2C, 0, "Space"},
        {Qt::Key_Escape, false, 0x29, 0, "Esc"},   {Qt::Key_Backspace, false, 0x2A, 0, "Backspace"},
        {Qt::Key_F1, false, 0x3A, 0, "F1"},        {Qt::Key_F12, false, 0x45, 0, "F12"},
        {Qt::Key_Up, false, 0x52, 0, "Up"},        {Qt::Key_Delete, false, 0x4C, 0, "Delete"},
        {Qt::Key_Shift, false, 0, 0x02, ""},       {Qt::Key_Control, false, 0, 0x01, ""},
        {Qt::Key_Alt, false, 0, 0x04, ""},         {Qt::Key_Meta, false, 0, 0x08, ""},
        {Qt::Key_VolumeUp, false, 0, 0, ""},       {Qt::Key_F13, false, 0, 0, ""},
    };
    for (const Case &c : cases) {
        std::uint8_t modifier = 0xFF;
        EXPECT_EQ(HidUsageOfKey(c.key, c.keypad, &modifier), c.usage) << QKeySequence(c.key).toString().toStdString();
        EXPECT_EQ(modifier, c.modifier) << QKeySequence(c.key).toString().toStdString();
        if (c.usage) {
            EXPECT_EQ(HidUsageName(c.usage), c.name);
        }
    }
    EXPECT_EQ(HidModifiersOf(Qt::ShiftModifier | Qt::ControlModifier | Qt::KeypadModifier), 0x03);
    EXPECT_EQ(HidModifiersOf(Qt::AltModifier | Qt::MetaModifier), 0x0C);
}

// The keys held, as the keyboard reports them on each press and release: a
// modifier key's bit while it is down, a symbol typed with Shift released as
// its plain key, at most six keys, and nothing held once the focus leaves.
TEST(UsbKeys, PressAndReleaseKeepTheKeysHeld)
{
    QWidget monitor;
    CUsbInput input(&monitor);
    input.Watch(&monitor, true);
    using Held = std::vector<std::uint8_t>;
    QTest::keyPress(&monitor, Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_EQ(input.Modifiers(), 0x02);
    EXPECT_EQ(input.Held(), Held{});
    QTest::keyPress(&monitor, Qt::Key_A, Qt::ShiftModifier);
    QTest::keyPress(&monitor, Qt::Key_Exclam, Qt::ShiftModifier);
    EXPECT_EQ(input.Held(), (Held{0x04, 0x1E}));
    QTest::keyRelease(&monitor, Qt::Key_Shift, Qt::NoModifier);
    EXPECT_EQ(input.Modifiers(), 0);
    QTest::keyRelease(&monitor, Qt::Key_1, Qt::NoModifier);
    QTest::keyRelease(&monitor, Qt::Key_VolumeUp, Qt::NoModifier);
    EXPECT_EQ(input.Held(), Held{0x04});
    for (Qt::Key k : {Qt::Key_B, Qt::Key_C, Qt::Key_D, Qt::Key_E, Qt::Key_F, Qt::Key_G})
        QTest::keyPress(&monitor, k, Qt::ControlModifier);
    EXPECT_EQ(input.Held(), (Held{0x04, 0x05, 0x06, 0x07, 0x08, 0x09})) << "six keys at most";
    EXPECT_EQ(input.Modifiers(), 0x01);
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(&monitor, &out);
    EXPECT_EQ(input.Held(), Held{});
    EXPECT_EQ(input.Modifiers(), 0);
}

// The characters the USB project's loop printed after "Keyboard input : ".
std::string Typed(const std::string &console)
{
    std::string typed;
    const std::string head = "Keyboard input : ";
    for (std::size_t at = console.find(head); at != std::string::npos; at = console.find(head, at)) {
        at += head.size();
        for (std::size_t i = at; i + 1 < console.size() && console[i] == ' ' && console[i + 1] != ' '; i += 2)
            typed.push_back(console[i + 1]);
    }
    return typed;
}

// A USB keyboard project with a monitor, compiled by FlexSpin: a key pressed
// with the monitor focused reaches the program, which prints it, and so does
// one with the console focused; the card names the last key the host took.
// The plug switch pulls the cable (the host loses the device) and plugs it in
// again (the host enumerates it anew).
TEST_F(AppTest, UsbKeyboardTakesKeysAndItsCableIsPulled)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    KivoCli cli;
    cli.New();
    ASSERT_EQ(cli({"add", cli.File(), "vga"}), 0) << cli.output;
    ASSERT_EQ(cli({"add", cli.File(), "usb", "out_mouse=0"}), 0) << cli.output;
    ASSERT_EQ(cli({"generate", cli.File()}), 0) << cli.output;
    CompileResult c = CompileP2(flexspin, cli.dir.Path(), "Blink.c", BuildScriptOptions(cli.dir.Path()));
    ASSERT_TRUE(c.Ok()) << c.output;
    Start({QString::fromStdString(cli.File())});
    Frame().show();
    Frame().activateWindow();
    // An X server without a window manager may leave the window inactive:
    // then the keys go to the widget that would have the focus.
    const bool active = QTest::qWaitForWindowActive(&Frame());
    auto focused = [&](QWidget *w) {
        w->setFocus();
        EXPECT_TRUE(!active || w->hasFocus());
        return active ? QApplication::focusWidget() : w;
    };
    View()->setCurrentIndex(CKivoView::SimBoardTab);
    CSimBoardTab *tab = View()->SimBoard();
    CBoardCard *usb = tab->Card("UsbKbM1"), *monitor = tab->Card("SimpleVGA1");
    ASSERT_NE(usb, nullptr);
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(usb->findChild<QComboBox *>("device")->currentText(), "keyboard") << "as verify plugs it in";
    ASSERT_TRUE(tab->Start()) << tab->Message()->text().toStdString();
    QLabel *state = usb->findChild<QLabel *>("state");
    auto console = [&] { return tab->Console()->toPlainText().toStdString(); };
    auto observed = [&](const char *key) {
        for (const Json &o : tab->Run()->snapshot().board)
            if (o.value("name", "") == "UsbKbM1")
                return o.at("observations").value(key, Json());
        return Json();
    };
    constexpr int kWait = 60000;
    ASSERT_TRUE(QTest::qWaitFor([&] { return state->text().startsWith("Enumerated at address 1"); }, kWait))
        << state->text().toStdString();
    EXPECT_EQ(usb->Device()->text(), "USB keyboard (low speed)");

    QTest::keyClick(focused(monitor), Qt::Key_K);
    QTest::keyClick(focused(monitor), Qt::Key_J, Qt::ShiftModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Typed(console()) == "kJ"; }, kWait)) << console();
    EXPECT_TRUE(QTest::qWaitFor([&] { return state->text().endsWith("last key: Shift+J"); }, kWait))
        << state->text().toStdString();
    QTest::keyClick(focused(tab->Console()), Qt::Key_V);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Typed(console()) == "kJv"; }, kWait)) << console();

    QCheckBox *plug = usb->findChild<QCheckBox *>("plug");
    plug->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return state->text() == "Unplugged"; }, kWait)) << state->text().toStdString();
    EXPECT_EQ(observed("enumerated"), false);
    plug->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return observed("enumerations") == 2; }, kWait))
        << tab->Run()->snapshot().board.dump();
    EXPECT_TRUE(QTest::qWaitFor([&] { return state->text().startsWith("Enumerated"); }, kWait))
        << state->text().toStdString();

    // For the documentation (under xvfb-run with QT_QPA_PLATFORM=xcb).
    if (const char *folder = std::getenv("KIVO_SCREENSHOT_DIR"); folder && *folder) {
        Frame().setGeometry(0, 0, 1366, 768);
        monitor->setFocus();
        QTest::qWait(500);
        for (QWidget *w = usb->parentWidget(); w; w = w->parentWidget())
            if (auto *area = qobject_cast<QScrollArea *>(w))
                area->ensureWidgetVisible(usb);
        QTest::qWait(1000);
        EXPECT_LE(Frame().frameGeometry().height(), 768);
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(Frame().grab().save(QString(folder) + "/simulated-board-usb.png", "PNG"));
    }
}

// Toggles pin 12 every 100-odd clocks.
p2::Program Toggler()
{
    p2::Program p;
    p << dForm(sub9::DRVNOT, I(12)) << waitx(I(98)) << jmpA(0xFFFF4, true);
    return p;
}

// The logic view shows the project's pins rolling, takes another pin list,
// zooms, puts a cursor where clicked and saves the shown window.
TEST_F(SimBoardTest, LogicViewShowsAndSavesThePins)
{
    ASSERT_EQ(AddObject(Doc(), kServo, app->Messages(),
                        [](CEditorModel &e) {
                            e.UserSetText("pin", "12");
                            return e.Ok() == OkResult::Accepted;
                        }),
              AddResult::Added);
    Modals::Get().ThenBox();
    Frame().RunCommand("project.generate");
    Modals::Get().Reset();
    Program(Toggler());
    CompileAndRun();
    CLogicView *logic = Tab()->Logic();
    ASSERT_TRUE(QTest::qWaitFor([&] { return logic->WindowEnd() > 0.05; }, 5000));
    ASSERT_EQ(logic->Trace().pins.size(), 1u);
    EXPECT_EQ(logic->Trace().pins[0].pin, 12);
    EXPECT_EQ(logic->PinsEdit()->text(), "12");
    EXPECT_GT(logic->Trace().pins[0].edges.size(), 100u);

    Retype(logic->PinsEdit(), "12-13");
    Key(logic->PinsEdit(), Qt::Key_Return);
    // Pin 13 is watched from now on: run on until a window's worth later.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto &pins = logic->Trace().pins;
            return pins.size() == 2 && !pins[1].edges.empty() && logic->WindowEnd() > pins[1].edges[0].seconds + 0.005;
        },
        5000));
    Retype(logic->PinsEdit(), "12-");
    Key(logic->PinsEdit(), Qt::Key_Return);
    EXPECT_EQ(logic->Trace().pins.size(), 2u);

    logic->SetSpan(1e-3);
    logic->ZoomIn();
    EXPECT_DOUBLE_EQ(logic->Span(), 5e-4);
    logic->ZoomOut();
    logic->ZoomOut();
    EXPECT_DOUBLE_EQ(logic->Span(), 2e-3);

    Tab()->PauseButton()->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return logic->WindowEnd() == Tab()->Run()->snapshot().seconds && !Tab()->IsRunning(); }, 5000));
    QWidget *canvas = logic->Canvas();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(canvas->width() - 50, 5));
    EXPECT_GT(logic->Cursor(), logic->WindowStart());
    EXPECT_LT(logic->Cursor(), logic->WindowEnd());
    const int level = logic->Trace().pins[0].levelAt(logic->Cursor());
    EXPECT_TRUE(logic->CursorLabel()->text().contains(QString("P12 %1, P13 0").arg(level)))
        << logic->CursorLabel()->text().toStdString();

    const std::string path = dir / "window.vcd";
    QString error;
    ASSERT_TRUE(logic->SaveVcd(QString::fromStdString(path), &error)) << error.toStdString();
    const std::string vcd = ReadFileBytes(path);
    EXPECT_NE(vcd.find("$var wire 1 ! P12 $end\n$var wire 1 \" P13 $end"), std::string::npos) << vcd.substr(0, 300);
    std::size_t changes = 0;
    for (std::size_t at = vcd.find("$end\n#"); (at = vcd.find("!\n", at + 1)) != std::string::npos;)
        changes++;
    std::size_t inWindow = 0;
    for (const auto &e : logic->Trace().pins[0].edges)
        inWindow += e.seconds > logic->WindowStart() && e.seconds <= logic->WindowEnd();
    EXPECT_EQ(changes, inWindow + 1); // and the level at the start
    EXPECT_GT(inWindow, 300u);        // 2 ms of a 200 kHz toggle
}

TEST_F(SimBoardTest, Screenshot)
{
    const char *folder = std::getenv("KIVO_SCREENSHOT_DIR");
    if (!folder || !*folder)
        GTEST_SKIP() << "set KIVO_SCREENSHOT_DIR to write the documentation's screenshots";
    Program(Echo());
    CompileAndRun();
    // The logic view on the console's pins, paused just after the echo.
    CLogicView *logic = Tab()->Logic();
    ASSERT_TRUE(logic->ChoosePins("62-63"));
    QTest::qWait(100);
    Type(Tab()->Input(), "Hello from the simulated board");
    Key(Tab()->Input(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Tab()->Console()->toPlainText().contains("board"); }, 5000));
    Tab()->PauseButton()->click();
    QTest::qWait(100);
    logic->SetSpan(0.05);
    const auto &edges = logic->Trace().pins.at(0).edges;
    if (edges.size() > 2)
        logic->SetCursor(edges[edges.size() / 2].seconds);
    Type(Tab()->Input(), "typed, not sent");
    QTest::qWait(300);
    EXPECT_LE(Frame().frameGeometry().height(), 768);
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(Frame().grab().save(QString(folder) + "/app-simulated-board.png", "PNG"));
}

} // namespace
} // namespace kivo::test
