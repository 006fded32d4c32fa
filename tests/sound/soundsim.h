#pragma once
// Sound projects on the simulated chip: compiles a program with the shipped
// sound files (and, where given, our own module in place of pyr.mod), runs it
// for some simulated seconds and keeps the WAV recorder's two channels.
#include "chip/chip.h"
#include "chip/pins.h"
#include "flexspin.h"
#include "run/image_run.h"
#include "run/wav.h"

#include <filesystem>
#include <memory>
#include <sstream>

namespace kivo::test {

inline const std::vector<std::string> kSoundFiles = {"SimpleSound.spin2",       "reSound.spin2",
                                                     "trackerPlayer.spin2",     "pyr.mod",
                                                     "space_sample2_S8.raw",    "space_sample1_S8.raw",
                                                     "platform_sample3_S8.raw", "platform_sample1_S8.raw"};

struct SoundRun {
    std::vector<std::int16_t> left, right;
    int rate = 0;
    std::string console;
    std::string error; // compile or simulator trouble
    std::vector<std::uint8_t> wav;

    // Seconds to sample index.
    std::size_t At(double seconds) const { return static_cast<std::size_t>(seconds * rate); }
};

// `program` is a C main file; `defines` go to flexspin as -D options.
inline SoundRun RunSoundProgram(const std::string &flexspin, const std::string &program, double seconds,
                                const std::vector<std::uint8_t> *module = nullptr, const std::string &defines = "",
                                int leftPin = 54, int rightPin = 55)
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
