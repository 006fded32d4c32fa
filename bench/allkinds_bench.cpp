// One simulated second of the example project with one object of every kind
// (a VGA cog streaming all the time, the LED string, servo, NCO, I2C scans,
// sound and USB cogs) with every device a project run wires to it. Needs
// FlexSpin (FLEXSPIN or PATH) to compile the project; skipped without it.
#include "chip/chip.h"
#include "generator/generator.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
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

// The example generated and compiled in a scratch folder; "" on success.
std::string Prepare(CKivoDoc &doc, std::string &error)
{
    std::string flexspin = FindFlexspin();
    if (flexspin.empty())
        return error = "flexspin not found (set FLEXSPIN or put it on PATH)";
    fs::path dir = fs::temp_directory_path() / "kivo_allkinds_bench";
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(fs::path(KIVO_SOURCE_DIR) / "examples/AllKinds.kivo", dir / "AllKinds.kivo");
    RecordingMessages messages;
    MemoryProfile profile;
    DiskFileSystem files;
    FixedClock clock{LocalDateTime{2026, 1, 1, 4, 12, 0, 0}};
    RecordingProcessRunner processes;
    EmbeddedResources resources;
    Services services{messages, profile, files, clock, processes, resources, nullptr};
    if (!OpenProject((dir / "AllKinds.kivo").string(), doc, services) || !GenerateProject(doc, services))
        return error = "cannot generate the example project";
    fs::path include = fs::path(flexspin).parent_path().parent_path() / "include";
    std::string cmd = "cd '" + dir.string() + "' && '" + flexspin + "' -2 -L '" + include.string() +
                      "' AllKinds.c > flexspin.log 2>&1";
    if (std::system(cmd.c_str()) != 0)
        return error = "flexspin failed: see " + (dir / "flexspin.log").string();
    return "";
}

void BM_AllKindsOneSecond(benchmark::State &state)
{
    CKivoDoc doc;
    std::string error;
    if (!Prepare(doc, error).empty()) {
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
        o.seconds = 1.0;
        sim::runLoadedChip(chip, o, console);
        simulated += chip.seconds();
        benchmark::DoNotOptimize(chip.instructions());
    }
    state.counters["simulated_s"] = benchmark::Counter(simulated, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_AllKindsOneSecond)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
