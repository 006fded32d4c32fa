// The run beside a user interface: its own thread, paced to real time,
// commands that return at once, console both ways and faults, on small
// images made with the tests' encoder and on a project's board.
#include "../sim/p2programs.h"
#include "model/kivodoc.h"
#include "run/liverun.h"
#include "run/vcd.h"
#include "simrun_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace kivo::test {
namespace {

using namespace kivo::test::p2;
using sim::LiveRun;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Polls until `done` holds or `limit` of real time passed.
template <class F> bool Within(std::chrono::milliseconds limit, F done)
{
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

Program Forever()
{
    Program p;
    p << jmpA(0xFFFFC, true);
    return p;
}

// Toggles pin 12 every 100-odd clocks.
Program Toggler()
{
    Program p;
    p << dForm(sub9::DRVNOT, I(12)) << waitx(I(98)) << jmpA(0xFFFF4, true);
    return p;
}

void Open(LiveRun &run, const Program &p)
{
    std::string error;
    ASSERT_TRUE(run.openImage(p.bytes(), &error)) << error;
}

// Simulated time never runs ahead of real time (by more than a slice and
// the scheduler's slack), and it does advance.
TEST(LiveRun, IsPacedToRealTime)
{
    LiveRun run;
    Open(run, Forever());
    const auto start = Clock::now();
    run.run();
    std::this_thread::sleep_for(400ms);
    const LiveRun::Snapshot s = run.snapshot();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(s.state, LiveRun::State::Running);
    EXPECT_GT(s.seconds, 0.0);
    EXPECT_LE(s.seconds, wall + 2 * LiveRun::kSliceSeconds);
    EXPECT_GT(s.speed, 0.0);
    EXPECT_LE(s.speed, 100.0); // a caught-up lag is not shown as faster

    // A second of simulated time takes a second, not less.
    ASSERT_TRUE(Within(10s, [&] { return run.snapshot().seconds >= 1.0; }));
    EXPECT_GE(std::chrono::duration<double>(Clock::now() - start).count(), 1.0 - 2 * LiveRun::kSliceSeconds);
}

// Pause holds simulated time and Run goes on from there; Stop and the end
// of the run return within a moment.
TEST(LiveRun, PauseHoldsTimeAndStopIsPrompt)
{
    auto run = std::make_unique<LiveRun>();
    Open(*run, Forever());
    run->run();
    ASSERT_TRUE(Within(5s, [&] { return run->snapshot().seconds > 0.02; }));
    run->pause();
    EXPECT_EQ(run->snapshot().state, LiveRun::State::Paused);
    std::this_thread::sleep_for(30ms); // a slice under way publishes its time
    const double held = run->snapshot().seconds;
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(run->snapshot().seconds, held);

    run->run();
    ASSERT_TRUE(Within(5s, [&] { return run->snapshot().seconds > held + 0.02; }));

    auto t = Clock::now();
    run->stop();
    EXPECT_EQ(run->snapshot().state, LiveRun::State::Stopped);
    run.reset();
    EXPECT_LT(Clock::now() - t, 200ms);

    // Destroyed while running, as when its window closes.
    run = std::make_unique<LiveRun>();
    Open(*run, Forever());
    run->run();
    std::this_thread::sleep_for(20ms);
    t = Clock::now();
    run.reset();
    EXPECT_LT(Clock::now() - t, 200ms);
}

TEST(LiveRun, AFaultEndsTheRunWithCogPcAndLong)
{
    LiveRun run;
    Program bad;
    bad << NOP << 0xFBD00000u;
    Open(run, bad);
    run.run();
    ASSERT_TRUE(Within(5s, [&] { return run.snapshot().state == LiveRun::State::Ended; }));
    const LiveRun::Snapshot s = run.snapshot();
    EXPECT_NE(s.fault.find("cog 0, PC $00001, instruction $FBD00000"), std::string::npos) << s.fault;
    EXPECT_NE(s.ended.find(s.fault), std::string::npos) << s.ended;

    // Every cog stopped, and the program's own exit, end it too; neither is a fault.
    Program stop;
    stop << cogstop(I(0));
    LiveRun stopped;
    Open(stopped, stop);
    stopped.run();
    ASSERT_TRUE(Within(5s, [&] { return stopped.snapshot().state == LiveRun::State::Ended; }));
    EXPECT_EQ(stopped.snapshot().fault, "");

    LiveRun exits;
    Open(exits, Printer(std::string("bye") + '\xFF' + '\0' + '\x07'));
    exits.run();
    ASSERT_TRUE(Within(5s, [&] { return exits.snapshot().state == LiveRun::State::Ended; }));
    EXPECT_EQ(exits.snapshot().ended, "The program exited with status 7.");
    EXPECT_EQ(exits.console(0), "bye");
}

// Input queued from another thread reaches pin 63 in order, and the
// program's answer arrives on the console as it prints it.
TEST(LiveRun, ConsoleInputIsEchoed)
{
    LiveRun run;
    Open(run, Echo());
    run.run();
    run.send("hello\n");
    ASSERT_TRUE(Within(5s, [&] { return run.snapshot().consoleEnd >= 6; }));
    run.send("again");
    ASSERT_TRUE(Within(5s, [&] { return run.snapshot().consoleEnd >= 11; }));
    EXPECT_EQ(run.console(0), "hello\nagain");
    EXPECT_EQ(run.console(6), "again");
    EXPECT_EQ(run.console(99), "");
}

// Restart runs the program again from its first instruction, with a fresh
// console; Run after Stop does the same.
TEST(LiveRun, RestartStartsFromReset)
{
    LiveRun run;
    Open(run, Printer("hi\n"));
    run.run();
    ASSERT_TRUE(Within(5s, [&] { return run.console(0) == "hi\n" && run.snapshot().seconds > 0.01; }));
    const int first = run.snapshot().generation;
    run.restart();
    ASSERT_TRUE(Within(5s, [&] { return run.snapshot().generation == first + 1; }));
    EXPECT_LT(run.snapshot().seconds, 0.5);
    ASSERT_TRUE(Within(5s, [&] { return run.console(0) == "hi\n"; }));

    run.stop();
    run.run();
    ASSERT_TRUE(Within(5s, [&] { return run.snapshot().generation == first + 2; }));
}

// A project runs its compiled program with the board `kivo-cli simulate`
// wires; without the program, opening says what to do.
TEST(LiveRun, RunsAProjectOnItsBoard)
{
    KivoCli cli;
    cli.New();
    ASSERT_EQ(cli({"add", cli.File(), "nco"}), 0) << cli.output;
    ASSERT_EQ(cli({"generate", cli.File()}), 0) << cli.output;
    CKivoDoc doc;
    cli.Load(doc);
    LiveRun run;
    std::string error;
    EXPECT_FALSE(run.openProject(doc, &error));
    EXPECT_NE(error.find("run Compile first"), std::string::npos) << error;

    const std::vector<std::uint8_t> image = Forever().bytes();
    std::ofstream(cli.dir / "Blink.binary", std::ios::binary) << std::string(image.begin(), image.end());
    ASSERT_TRUE(run.openProject(doc, &error)) << error;
    run.run();
    ASSERT_TRUE(Within(5s, [&] { return run.snapshot().board.is_array() && run.snapshot().seconds > 0.05; }));
    const Json board = run.snapshot().board;
    ASSERT_EQ(board.size(), 1u);
    EXPECT_EQ(board.at(0).at("kind").get<std::string>(), "NCO-Frequency");
    EXPECT_EQ(board.at(0).at("device").get<std::string>(), "frequency counter");
}

// The sound object's pins reach the reader as frames, and a long run keeps
// only the newest of them: a square wave of 200 kHz samples, read once after
// more than a ring's worth has played, then as it goes.
TEST(LiveRun, SoundStreamIsBounded)
{
    KivoCli cli;
    cli.New();
    ASSERT_EQ(cli({"add", cli.File(), "sound"}), 0) << cli.output; // on pins 54 and 55
    ASSERT_EQ(cli({"generate", cli.File()}), 0) << cli.output;
    CKivoDoc doc;
    cli.Load(doc);
    const std::vector<std::uint8_t> image = Tone(54, 55, 100, 0xC000, 0x4000, 2000).bytes();
    std::ofstream(cli.dir / "Blink.binary", std::ios::binary) << std::string(image.begin(), image.end());
    LiveRun run;
    std::string error;
    ASSERT_TRUE(run.openProject(doc, &error)) << error;
    run.run();
    ASSERT_TRUE(Within(20s, [&] { return run.snapshot().soundEnd > 2 * LiveRun::kSoundKeep; }));
    run.pause();
    std::this_thread::sleep_for(30ms); // the slice under way
    const LiveRun::Snapshot s = run.snapshot();
    EXPECT_EQ(s.soundRate, 200000);
    // 20 MHz over 100 clocks: the frames so far are the simulated time's.
    EXPECT_NEAR(double(s.soundEnd), s.seconds * 200000, 200);

    std::vector<std::int16_t> frames;
    EXPECT_EQ(run.sound(0, frames), s.soundEnd);
    ASSERT_EQ(frames.size(), 2 * LiveRun::kSoundKeep);
    // Each side at the wave's two levels, in runs of 20 samples (the hold and
    // the loop's few instructions).
    std::size_t changes[2] = {0, 0};
    for (std::size_t i = 0; i < frames.size(); i++) {
        ASSERT_TRUE(frames[i] == 16384 || frames[i] == -16384) << i << ": " << frames[i];
        changes[i % 2] += i > 1 && frames[i] != frames[i - 2];
    }
    for (std::size_t c : changes)
        EXPECT_NEAR(double(c), LiveRun::kSoundKeep / 20.0, LiveRun::kSoundKeep / 20.0 * 0.02);

    // A reader that keeps up gets each frame once.
    run.run();
    std::uint64_t from = s.soundEnd;
    std::size_t got = 0;
    ASSERT_TRUE(Within(10s, [&] {
        frames.clear();
        const std::uint64_t end = run.sound(from, frames);
        got += frames.size() / 2;
        EXPECT_EQ(frames.size() / 2, end - from);
        from = end;
        return from > s.soundEnd + 20000;
    }));
    EXPECT_EQ(got, from - s.soundEnd);
}

// The logic history holds each chosen pin's edges at the times a VCD
// recording of the same program gives; a long run keeps the newest edges
// with no gap; a saved window starts unknown where no history is kept.
TEST(LiveRun, LogicHistoryMatchesARecording)
{
    LiveRun run;
    run.setLogicPins({13, 12});
    Open(run, Toggler());
    EXPECT_EQ(run.logicPins(), (std::vector<int>{12, 13}));
    run.run();
    ASSERT_TRUE(Within(10s, [&] { return run.snapshot().seconds >= 0.02; }));
    run.pause();
    ASSERT_TRUE(Within(5s, [&] { return run.logic(0).until == run.snapshot().seconds; }));
    const sim::LogicTrace trace = run.logic(0);
    ASSERT_EQ(trace.pins.size(), 2u);
    EXPECT_EQ(trace.pins[1].edges.size(), 1u); // pin 13: its level from the start
    ASSERT_GT(trace.pins[0].edges.size(), 100u);

    // The same program under the run's recorder, in the same slices.
    TempDir dir;
    sim::Chip chip;
    std::string error;
    ASSERT_TRUE(chip.loadImage(Toggler().bytes(), &error)) << error;
    auto vcd = std::make_shared<sim::VcdRecorder>(dir / "recorded.vcd", std::vector<int>{12, 13}, std::vector<int>{});
    chip.pins().attach(vcd);
    while (chip.seconds() < trace.until)
        chip.runForSeconds(LiveRun::kSliceSeconds);
    ASSERT_EQ(chip.seconds(), trace.until);
    vcd->finish(chip.now());
    ASSERT_TRUE(vcd->close());
    ASSERT_TRUE(sim::WriteVcd(dir / "saved.vcd", trace, 0, trace.until, &error)) << error;
    EXPECT_EQ(ReadFileBytes(dir / "saved.vcd"), ReadFileBytes(dir / "recorded.vcd"));

    // A window: each pin's level at its start, then its changes.
    const double from = trace.pins[0].edges[10].seconds + 1e-7, to = trace.pins[0].edges[13].seconds;
    ASSERT_TRUE(sim::WriteVcd(dir / "window.vcd", trace, from, to, &error)) << error;
    auto ns = [](double s) { return "#" + std::to_string(std::llround(s * 1e9)) + "\n"; };
    const auto &e = trace.pins[0].edges;
    const std::string window = ReadFileBytes(dir / "window.vcd");
    EXPECT_EQ(window.substr(window.find("$enddefinitions $end\n") + 21),
              ns(from) + "$dumpvars\n" + char('0' + e[10].level) + "!\n" + char('0' + trace.pins[1].edges[0].level) +
                  "\"\n$end\n" + ns(e[11].seconds) + char('0' + e[11].level) + "!\n" + ns(e[12].seconds) +
                  char('0' + e[12].level) + "!\n" + ns(to) + char('0' + e[13].level) + "!\n");

    // Pin 14 joins: unknown before it was watched.
    run.setLogicPins({12, 14});
    run.run();
    ASSERT_TRUE(Within(10s, [&] { return run.snapshot().seconds >= 0.25; }));
    const sim::LogicTrace later = run.logic(0);
    ASSERT_EQ(later.pins.size(), 2u);
    ASSERT_EQ(later.pins[1].edges.size(), 1u);
    EXPECT_GT(later.pins[1].edges[0].seconds, trace.until - 1e-9);
    EXPECT_EQ(later.pins[1].levelAt(0.001), -1);
    // Before pin 14 joined, and before pin 12's oldest kept edge: unknown.
    EXPECT_EQ(later.pins[0].levelAt(0.001), -1);
    ASSERT_TRUE(sim::WriteVcd(dir / "joined.vcd", later, 0.001, later.until, &error)) << error;
    EXPECT_NE(ReadFileBytes(dir / "joined.vcd").find("#1000000\n$dumpvars\nx!\nx\"\n$end\n"), std::string::npos);

    // Pin 12's ring is full: the newest edges, evenly spaced, with no gap.
    const auto &edges = later.pins[0].edges;
    ASSERT_EQ(edges.size(), sim::PinHistory::kEdgesPerPin);
    const double period = edges[2].seconds - edges[1].seconds;
    for (std::size_t i = 1; i < edges.size(); i++) {
        ASSERT_NE(edges[i].level, edges[i - 1].level) << i;
        ASSERT_NEAR(edges[i].seconds - edges[i - 1].seconds, period, 1e-9) << i;
    }
    EXPECT_LT(later.until - edges.back().seconds, 2 * period);
    EXPECT_FALSE(sim::WriteVcd(dir / "missing/x.vcd", later, 0, 1, &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
    // Never over a folder or a device (a pipe would block the application).
    for (const std::string &path : {dir.Path(), std::string("/dev/null")}) {
        EXPECT_FALSE(sim::WriteVcd(path, later, 0, 1, &error)) << path;
        EXPECT_NE(error.find("cannot create " + path + ": it is a"), std::string::npos) << error;
    }
}

// The USB device `--usb-device` names sits on the USB object's port and
// shows in its report entry; the cable follows the commands while the
// program runs, and a run may start with it pulled.
TEST(LiveRun, UsbDeviceOnThePortAndItsCable)
{
    KivoCli cli;
    cli.New();
    ASSERT_EQ(cli({"add", cli.File(), "usb"}), 0) << cli.output;
    ASSERT_EQ(cli({"generate", cli.File()}), 0) << cli.output;
    const std::vector<std::uint8_t> image = Forever().bytes();
    std::ofstream(cli.dir / "Blink.binary", std::ios::binary) << std::string(image.begin(), image.end());
    CKivoDoc doc;
    cli.Load(doc);
    auto observed = [](LiveRun &run, const char *key) {
        const Json board = run.snapshot().board;
        return board.is_array() && board.size() == 1 ? board[0].at("observations").value(key, Json()) : Json();
    };
    for (bool plugged : {true, false}) {
        LiveRun run;
        sim::UsbRunOptions usb;
        ASSERT_EQ(sim::ParseUsbDevice(usb, "keyboard"), "");
        usb.unplugAt = plugged ? -1 : 0;
        run.setStartUsb(usb);
        std::string error;
        ASSERT_TRUE(run.openProject(doc, &error)) << error;
        run.run();
        ASSERT_TRUE(Within(5s, [&] { return run.snapshot().seconds > 0.01 && observed(run, "plugged") == plugged; }))
            << run.snapshot().board.dump();
        EXPECT_EQ(run.snapshot().board[0].at("device"), "USB keyboard (low speed)");
        run.usbKeys(0, {0x04}); // no host has configured it: dropped
        run.usbPlug(!plugged);
        EXPECT_TRUE(Within(5s, [&] { return observed(run, "plugged") == !plugged; })) << run.snapshot().board.dump();
        EXPECT_EQ(observed(run, "reportsLeft"), 0);
    }
}

} // namespace
} // namespace kivo::test
