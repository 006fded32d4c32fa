#pragma once
// Generated projects compiled with FlexSpin and run on the simulated board
// with the devices a project run wires to them.
#include "chip/chip.h"
#include "chip/pins.h"
#include "flexspin.h"
#include "kivocli.h"
#include "project.h"
#include "run/image_run.h"
#include "run/projectrun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

namespace kivo::test {

// The options the generated build script passes to flexspin besides -2,
// the include folder and the main file.
inline std::string BuildScriptOptions(const std::string &folder)
{
    std::string script = ReadFileBytes(folder + "/build.sh");
    std::smatch m;
    if (std::regex_search(script, m, std::regex("flexspin' -2 -L '[^']*' ?(.*) '[^']*\\.c'")))
        return m[1].str();
    return "";
}

// Generates the project and compiles it as its build script does. The main
// file may be changed in between by `edit`.
inline void Build(Project &p, const std::string &flexspin, const std::function<void(std::string &)> &edit = {})
{
    p.Generate();
    if (edit) {
        std::string main = p.MainFile();
        edit(main);
        std::ofstream(p.dir / "Blink.c", std::ios::binary) << main;
    }
    CompileResult r = CompileP2(flexspin, p.dir.Path(), "Blink.c", BuildScriptOptions(p.dir.Path()));
    ASSERT_TRUE(r.Ok()) << r.output;
}

// A finished run: the console, how it ended, and the board's devices.
struct BoardRun {
    std::unique_ptr<sim::Chip> chip = std::make_unique<sim::Chip>();
    sim::ProjectBoard board;
    sim::ImageRunResult result;
    std::string console;

    template <class T> std::shared_ptr<T> Device(const std::string &name) const
    {
        for (const auto &w : board.objects())
            if (w.object->m_strName == name)
                return std::dynamic_pointer_cast<T>(w.device);
        return nullptr;
    }
    // The report entry of one object.
    kivo::Json Report(const std::string &name) const
    {
        kivo::Json all = board.report();
        for (const auto &o : all)
            if (o.at("name").get<std::string>() == name)
                return o;
        return nullptr;
    }
    // The console lines that start with `prefix`.
    std::vector<std::string> Lines(const std::string &prefix) const
    {
        std::vector<std::string> out;
        std::stringstream s(console);
        std::string l;
        while (std::getline(s, l))
            if (l.rfind(prefix, 0) == 0)
                out.push_back(l);
        return out;
    }
};

// Runs the compiled project for `seconds` with the devices and `sets`.
inline std::unique_ptr<BoardRun> Simulate(const CKivoDoc &doc, double seconds,
                                          const std::vector<std::string> &sets = {})
{
    auto run = std::make_unique<BoardRun>();
    std::string error;
    std::string binary = sim::FindProjectBinary(doc, &error);
    EXPECT_FALSE(binary.empty()) << error;
    if (binary.empty())
        return run;
    std::string bytes = ReadFileBytes(binary);
    std::vector<std::uint8_t> image(bytes.begin(), bytes.end());
    EXPECT_TRUE(run->board.build(doc, sets, run->chip->time(), &error)) << error;
    EXPECT_TRUE(run->chip->loadImage(image, &error)) << error;
    run->board.attach(run->chip->pins());
    sim::ImageRunOptions o;
    o.seconds = seconds;
    std::ostringstream console;
    run->result = sim::runLoadedChip(*run->chip, o, console);
    sim::Clock end = run->chip->now();
    run->chip->pins().advance(end);
    for (auto &d : run->chip->pins().devices())
        d->finish(end);
    run->console = console.str();
    EXPECT_NE(run->result.end, sim::ImageRunResult::End::Fault) << run->result.error;
    return run;
}

// The number after "= " in a console line.
inline double ValueOf(const std::string &line)
{
    auto at = line.rfind("= ");
    return at == std::string::npos ? 0.0 : std::atof(line.c_str() + at + 2);
}

// bitmap2.bmp as the monitor should show it: rows top-down, R G B.
inline std::vector<std::uint8_t> Bitmap2()
{
    std::string bmp = ReadFileBytes(std::string(KIVO_SOURCE_DIR) + "/resources/bitmap2.bmp");
    auto le32 = [&](std::size_t at) {
        return std::uint32_t(std::uint8_t(bmp[at])) | std::uint32_t(std::uint8_t(bmp[at + 1])) << 8 |
               std::uint32_t(std::uint8_t(bmp[at + 2])) << 16 | std::uint32_t(std::uint8_t(bmp[at + 3])) << 24;
    };
    std::size_t pixels = le32(10), palette = 14 + le32(14);
    std::vector<std::uint8_t> rgb(640 * 480 * 3);
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            std::size_t i = std::uint8_t(bmp[pixels + std::size_t(479 - y) * 640 + std::size_t(x)]);
            for (int c = 0; c < 3; c++) // the table holds B, G, R
                rgb[std::size_t(y * 640 + x) * 3 + std::size_t(c)] =
                    std::uint8_t(bmp[palette + i * 4 + std::size_t(2 - c)]);
        }
    return rgb;
}

// What a colour level becomes on the way: the driver scales it to the
// nearest of the 8-bit DAC's levels at 0.7/1.0 of full scale (1.0 V into the
// monitor's 75 Ohm), and the monitor reads 0..0.7 V as 0..255. An 8-bit DAC
// has only 179 levels below 0.7 V, so a level can come back one off.
inline int Shown(int v)
{
    int dac = (v * 179 + 128) >> 8;
    return std::min(255, int(std::lround(dac / 0.7)));
}

// Compares a captured frame: exactly the bitmap as shown, and never more
// than one level from the bitmap itself. Returns the number of differing
// pixels (at most a few reported).
inline int CompareFrame(const std::vector<std::uint8_t> &frame, const std::vector<std::uint8_t> &bitmap)
{
    int bad = 0;
    for (std::size_t i = 0; i < bitmap.size(); i++) {
        bool ok = frame[i] == Shown(bitmap[i]) && std::abs(int(frame[i]) - int(bitmap[i])) <= 1;
        if (!ok && ++bad <= 3)
            ADD_FAILURE() << "pixel " << (i / 3) % 640 << "," << i / 3 / 640 << " channel " << i % 3 << ": "
                          << int(frame[i]) << " for " << int(bitmap[i]);
    }
    return bad;
}

} // namespace kivo::test
