// Simulated projects against the goal of keeping pace with the chip: the
// example with one object of every kind (a VGA cog streaming all the time,
// the LED string, servo, NCO, I2C scans, sound and USB cogs) and projects of
// one object (VGA, sound, an NCO at 13.3 MHz with its frequency counter),
// each with every device a project run wires to it. The figure is
// sim_s_per_cpu_s: simulated seconds per second of CPU time. Needs FlexSpin
// (FLEXSPIN or PATH) to compile the projects; skipped without it.
#include "chip/chip.h"
#include "generator/generator.h"
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "objects/editor.h"
#include "objects/objectlist.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/resources.h"
#include "platform/services.h"
#include "run/projectrun.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;
using namespace kivo;

namespace {

std::string FindFlexspin()
{
    if (const char *env = std::getenv("FLEXSPIN"); env && *env)
        return fs::exists(env) ? env : "";
    std::stringstream path(std::getenv("PATH") ? std::getenv("PATH") : "");
    std::string dir;
    while (std::getline(path, dir, ':'))
        if (!dir.empty() && fs::exists(dir + "/flexspin"))
            return dir + "/flexspin";
    return "";
}

// The options the generated build script gives flexspin besides -2, the
// include folder and the main file.
std::string BuildOptions(const fs::path &dir)
{
    std::ifstream in(dir / "build.sh");
    std::string script((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::smatch m;
    if (std::regex_search(script, m, std::regex("flexspin' -2 -L '[^']*' ?(.*) '[^']*\\.c'")))
        return m[1].str();
    return "";
}

// A project generated and compiled in a scratch folder: the example when
// `kind` is negative, else a new project with one object of that kind as
// its editor makes it ("desired" set for an NCO). "" on success.
std::string Prepare(CKivoDoc &doc, int kind, std::string &error)
{
    std::string flexspin = FindFlexspin();
    if (flexspin.empty())
        return error = "flexspin not found (set FLEXSPIN or put it on PATH)";
    fs::path dir = fs::temp_directory_path() / ("kivo_allkinds_bench_" + std::to_string(kind + 1));
    fs::remove_all(dir);
    fs::create_directories(dir);
    RecordingMessages messages;
    MemoryProfile profile;
    DiskFileSystem files;
    FixedClock clock{LocalDateTime{2026, 1, 1, 4, 12, 0, 0}};
    RecordingProcessRunner processes;
    EmbeddedResources resources;
    Services services{messages, profile, files, clock, processes, resources, nullptr};
    std::string main = "AllKinds.c";
    if (kind < 0) {
        fs::copy_file(fs::path(KIVO_SOURCE_DIR) / "examples/AllKinds.kivo", dir / "AllKinds.kivo");
        if (!OpenProject((dir / "AllKinds.kivo").string(), doc, services))
            return error = "cannot open the example project";
    } else {
        doc.OnNewDocument(profile);
        doc.m_strPathName = (dir / "Bench.kivo").string();
        main = "Bench.c";
        AddObject(doc, kind, messages, [kind](CEditorModel &e) {
            if (kind == kNCO)
                e.UserSetText("desired", "13333333");
            return e.Ok() == OkResult::Accepted;
        });
        if (doc.m_objList.size() != 1)
            return error = "the editor refused the object";
    }
    if (!GenerateProject(doc, services))
        return error = "cannot generate the project";
    fs::path include = fs::path(flexspin).parent_path().parent_path() / "include";
    std::string cmd = "cd '" + dir.string() + "' && '" + flexspin + "' -2 -L '" + include.string() + "' " +
                      BuildOptions(dir) + " " + main + " > flexspin.log 2>&1";
    if (std::system(cmd.c_str()) != 0)
        return error = "flexspin failed: see " + (dir / "flexspin.log").string();
    return "";
}

// Runs the project for `seconds` of simulated time per iteration.
void RunFor(benchmark::State &state, int kind, double seconds)
{
    CKivoDoc doc;
    std::string error;
    if (!Prepare(doc, kind, error).empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::string binary = sim::FindProjectBinary(doc, &error);
    std::ifstream in(binary, std::ios::binary);
    std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    double simulated = 0;
    for (auto _ : state) {
        sim::Chip chip;
        sim::ProjectBoard board;
        if (!board.build(doc, {}, chip.time(), &error) || !chip.loadImage(image, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        board.attach(chip.pins());
        std::ostringstream console;
        sim::ImageRunOptions o;
        o.seconds = seconds;
        sim::runLoadedChip(chip, o, console);
        simulated += chip.seconds();
        benchmark::DoNotOptimize(chip.instructions());
    }
    // A rate over the CPU time the iterations took.
    state.counters["sim_s_per_cpu_s"] = benchmark::Counter(simulated, benchmark::Counter::kIsRate);
}

void BM_AllKindsOneSecond(benchmark::State &state) { RunFor(state, -1, 1.0); }
void BM_VgaOnly(benchmark::State &state) { RunFor(state, kSimpleVGA, 1.0); }
void BM_SoundOnly(benchmark::State &state) { RunFor(state, kSimpleSound, 1.0); }
void BM_Nco13MHzCounted(benchmark::State &state) { RunFor(state, kNCO, 1.0); }
void BM_LedStringOnly(benchmark::State &state) { RunFor(state, kNeopixel, 1.0); }
BENCHMARK(BM_AllKindsOneSecond)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_VgaOnly)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_SoundOnly)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_Nco13MHzCounted)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_LedStringOnly)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
