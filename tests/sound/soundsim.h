#pragma once
// Sound projects on the simulated chip: compiles a program with the shipped
// sound files (and, where given, our own module in place of pyr.mod), runs it
// for some simulated seconds and keeps the WAV recorder's two channels.
#include "chip/chip.h"
#include "chip/pins.h"
#include "flexspin.h"
#include "run/image_run.h"
#include "run/wav.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>

namespace kivo::test {

inline const std::vector<std::string> kSoundFiles = {
    "SimpleSound.spin2",    "reSound.spin2",        "trackerPlayer.spin2",     "pyr.mod",
    "space_sample2_S8.raw", "space_sample1_S8.raw", "platform_sample3_S8.raw", "platform_sample1_S8.raw"};

struct SoundRun {
    std::vector<std::int16_t> left, right;
    int rate = 0;
    std::string console;
    std::string error; // compile or simulator trouble
    std::vector<std::uint8_t> wav;

    // The sound cog's longest pass from the end of one wait for the left
    // pin to the start of the next, in clocks (0 when not measured).
    std::uint64_t busiestPass = 0;
    std::uint64_t passes = 0;

    // Seconds to sample index.
    std::size_t At(double seconds) const { return static_cast<std::size_t>(seconds * rate); }
};

// `program` is a C main file; `defines` go to flexspin as -D options.
inline SoundRun RunSoundProgram(const std::string &flexspin, const std::string &program, double seconds,
                                const std::vector<std::uint8_t> *module = nullptr, const std::string &defines = "",
                                int leftPin = 54, int rightPin = 55, bool measure = false)
{
    SoundRun r;
    TempDir dir;
    for (const auto &f : kSoundFiles)
        std::filesystem::copy_file(std::string(KIVO_SOURCE_DIR) + "/resources/" + f, dir / f);
    if (module)
        WriteFileBytes(dir / "pyr.mod", std::string(module->begin(), module->end()));
    WriteFileBytes(dir / "main.c", program);
    auto c = CompileP2(flexspin, dir.Path(), "main.c", "-Wall " + defines);
    if (!c.Ok() || c.HasWarning()) {
        r.error = "compile: " + c.output;
        return r;
    }
    std::string image = ReadFileBytes(dir / "main.binary");
    sim::Chip chip;
    std::string why;
    if (!chip.loadImage(std::vector<std::uint8_t>(image.begin(), image.end()), &why)) {
        r.error = "load: " + why;
        return r;
    }
    auto wav = std::make_shared<sim::WavRecorder>(leftPin, rightPin);
    chip.pins().attach(wav);
    // WAITSE1 (always): the mixer's wait for the left pin's sample period.
    constexpr std::uint32_t kWaitSe1 = 0xFD602824;
    struct Watch {
        int cog = -1;
        std::uint32_t waitPc = 0;
        sim::Clock resumed = 0;
        bool armed = false;
    } watch;
    if (measure)
        chip.setTraceHook([&watch, &r](const sim::TraceEntry &e) {
            if (!e.executed || e.pc >= 0x400)
                return;
            if (e.instr == kWaitSe1) {
                if (watch.cog < 0) {
                    watch.cog = e.cog;
                    watch.waitPc = e.pc;
                }
                // (a wait may show again when it ends: count from its first start)
                if (e.cog == watch.cog && watch.armed) {
                    r.busiestPass = std::max<std::uint64_t>(r.busiestPass, e.clock - watch.resumed);
                    ++r.passes;
                    watch.armed = false;
                }
                return;
            }
            if (e.cog == watch.cog && e.pc == watch.waitPc + 1) {
                watch.resumed = e.clock;
                watch.armed = true;
            }
        });
    sim::ImageRunOptions o;
    o.seconds = seconds;
    std::ostringstream console;
    sim::ImageRunResult res = sim::runLoadedChip(chip, o, console);
    chip.pins().advance(chip.now());
    wav->finish(chip.now());
    r.console = console.str();
    if (res.end == sim::ImageRunResult::End::Fault)
        r.error = "simulator: " + res.error;
    r.left = wav->channel(0);
    r.right = wav->channel(1);
    r.left.resize(wav->frames());
    r.right.resize(wav->frames());
    r.rate = wav->sampleRate();
    r.wav = wav->wavBytes();
    return r;
}

} // namespace kivo::test
