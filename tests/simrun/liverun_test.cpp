// The run beside a user interface: its own thread, paced to real time,
// commands that return at once, console both ways and faults, on small
// images made with the tests' encoder and on a project's board.
#include "../sim/p2programs.h"
#include "model/kivodoc.h"
#include "run/liverun.h"
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
    EXPECT_LE(s.speed, 115.0);

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

} // namespace
} // namespace kivo::test
