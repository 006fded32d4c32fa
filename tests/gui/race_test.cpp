// The live run and the "Simulated Board" tab driven through everything a
// user does while the simulation thread runs. Built under ThreadSanitizer it
// is the race checker (the run must end with no report); elsewhere it is an
// ordinary test of the same paths.
#include "../sim/p2asm.h"
#include "project.h"

#include "model/codeobject.h"
#include "run/liverun.h"
#include "workspace/boardcard.h"
#include "workspace/simboardtab.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

namespace kivo::test {
namespace {

using namespace kivo::test::p2;
using sim::LiveRun;
using namespace std::chrono_literals;

// Generous: under the race checker the simulation runs many times slower.
constexpr int kWaitMs = 60000;

// Returns each byte from pin 63 on pin 62; pin 12 toggles every 400 clocks or so while it waits.
Program EchoAndToggle()
{
    Program p;
    p << dForm(sub9::DIRL, I(62)) << wrpin(I(0x7C), I(62)) << augd(50u << 16) << wxpin(I(7), I(62))
      << dForm(sub9::DIRH, I(62)) << dForm(sub9::DIRL, I(63)) << wrpin(I(0x3E), I(63)) << augd(100u << 16)
      << wxpin(I(7), I(63)) << dForm(sub9::DIRH, I(63)) << dForm(sub9::DRVNOT, I(12)) << waitx(I(400))
      << dForm(sub9::TESTP, I(63), WC) << cond(IF_NC, jmpA(0xFFFF0, true)) << rdpin(0x100, I(63))
      << alu(op::SHR, 0x100, I(24)) << wypin(R(0x100), I(62)) << NOP << rdpin(0x130, I(62), WC)
      << cond(IF_C, jmpA(0xFFFF8, true)) << jmpA(0xFFFD4, true);
    return p;
}

bool Until(const std::function<bool()> &done, std::chrono::milliseconds limit = std::chrono::milliseconds(kWaitMs))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Every command from several threads at once while the run goes on, then
// the run destroyed while it runs.
TEST(Race, LiveRunCommandsFromManyThreads)
{
    auto run = std::make_unique<LiveRun>();
    std::string error;
    ASSERT_TRUE(run->openImage(EchoAndToggle().bytes(), &error)) << error;
    run->run();
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        std::minstd_rand random(7);
        while (!stop) {
            switch (random() % 6) {
            case 0:
                run->pause();
                break;
            case 1:
                run->restart();
                break;
            case 2:
                run->stop();
                break;
            case 3:
                run->send("ab");
                break;
            default:
                run->run();
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200 + random() % 3000));
        }
        run->run();
    });
    for (int i = 0; i < 2; i++)
        threads.emplace_back([&] {
            std::uint64_t seen = 0;
            while (!stop) {
                const LiveRun::Snapshot s = run->snapshot();
                seen += run->console(s.consoleEnd > 4 ? s.consoleEnd - 4 : 0).size();
                std::this_thread::sleep_for(300us);
            }
            (void)seen;
        });
    std::this_thread::sleep_for(1500ms);
    stop = true;
    for (auto &t : threads)
        t.join();
    run->send("z");
    EXPECT_TRUE(Until([&] { return run->console(0).find('z') != std::string::npos; }))
        << run->console(0) << " / " << run->snapshot().ended;
    run.reset();
}

// The tab on a project with devices: Run, Pause, Run, console input,
// Restart, Stop, Run, and closing the tab while it runs.
TEST(Race, TheTabThroughItsCommands)
{
    Project p;
    ASSERT_EQ(p.Add(kServo, {{"pin", "12"}}), AddResult::Added) << p.Said();
    ASSERT_EQ(p.Add(kUsbKbm, {{"basepin", "16"}}), AddResult::Added) << p.Said();
    // Its card reads the sound stream while the run fills it.
    ASSERT_EQ(p.Add(kSimpleSound, {{"left", "54"}}), AddResult::Added) << p.Said();
    p.Generate();
    const std::vector<std::uint8_t> image = EchoAndToggle().bytes();
    WriteFileBytes(p.dir / "Blink.binary", std::string(image.begin(), image.end()));

    auto *tab = new CSimBoardTab(p.doc);
    tab->resize(1000, 700);
    tab->show();
    auto seconds = [&] { return tab->Run() ? tab->Run()->snapshot().seconds : 0.0; };
    auto wait = [&](const std::function<bool()> &done) { return QTest::qWaitFor(done, kWaitMs); };

    tab->RunButton()->click();
    ASSERT_TRUE(tab->Run()) << tab->Message()->text().toStdString();
    ASSERT_TRUE(wait([&] { return seconds() > 0.001; }));
    tab->PauseButton()->click();
    QTest::qWait(50);
    tab->RunButton()->click();
    ASSERT_TRUE(tab->IsRunning());

    tab->Input()->setText("echo");
    QTest::keyClick(tab->Input(), Qt::Key_Return);
    ASSERT_TRUE(wait([&] { return tab->Console()->toPlainText() == "echo"; }))
        << tab->Console()->toPlainText().toStdString();

    // Keys for the USB keyboard and its cable, while the run goes on.
    QTest::keyClick(tab->Console(), Qt::Key_A, Qt::ShiftModifier);
    QCheckBox *plug = tab->Card("UsbKbM1")->findChild<QCheckBox *>("plug");
    plug->click();
    QTest::qWait(20);
    plug->click();

    const int generation = tab->Run()->snapshot().generation;
    tab->RestartButton()->click();
    ASSERT_TRUE(wait([&] { return tab->Run()->snapshot().generation > generation || seconds() > 0.0005; }));
    tab->StopButton()->click();
    EXPECT_FALSE(tab->IsRunning());
    tab->RunButton()->click();
    ASSERT_TRUE(wait([&] { return seconds() > 0.0005; }));
    QTest::qWait(100);

    const auto start = std::chrono::steady_clock::now();
    delete tab;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

} // namespace
} // namespace kivo::test
