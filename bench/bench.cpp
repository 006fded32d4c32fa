// Load and save of large projects, and generation with library writes.
// Both should grow linearly with the number of objects. Then whole
// processes: kivo-cli generate of an unchanged project against cp -r of its
// output, and the desktop application's first window with a project.
#include "generator/generator.h"
#include "gitmerge.h"
#include "kinds/kind.h"
#include "kinds/servo/slots.h"
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

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

using namespace kivo;

namespace {

void FillServos(CKivoDoc &doc, int count)
{
    MemoryProfile profile;
    doc.OnNewDocument(profile);
    for (int i = 0; i < count; ++i) {
        auto o = std::make_unique<CCodeObject>();
        o->m_nKind = kServo;
        o->m_strName = "Servo" + std::to_string(i + 1);
        o->m_strPin = std::to_string(i % 62);
        o->m_nPinCount = 1;
        ServoSlots slots(*o);
        slots.Degrees() = "90";
        slots.Microseconds() = "1500";
        slots.Random() = true;
        o->m_bValid = true;
        doc.AppendObject(std::move(o));
    }
}

void BM_LoadSave(benchmark::State &state)
{
    CKivoDoc doc;
    FillServos(doc, int(state.range(0)));
    auto bytes = SerializeProject(doc);
    for (auto _ : state) {
        CKivoDoc loaded;
        bool ok = DeserializeProject(bytes, loaded);
        benchmark::DoNotOptimize(ok);
        auto again = SerializeProject(loaded);
        benchmark::DoNotOptimize(again.data());
    }
    state.SetComplexityN(state.range(0));
    state.counters["bytes"] = double(bytes.size());
}
BENCHMARK(BM_LoadSave)->Arg(10)->Arg(100)->Arg(1000)->Complexity(benchmark::oN);

void BM_Generate(benchmark::State &state)
{
    auto folder = std::filesystem::temp_directory_path() / ("kivo-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    CKivoDoc doc;
    FillServos(doc, int(state.range(0)));
    doc.m_strPathName = (folder / "Bench.kivo").string();
    RecordingMessages messages;
    MemoryProfile profile;
    DiskFileSystem files;
    SystemClock clock;
    RecordingProcessRunner processes;
    EmbeddedResources resources;
    Services services{messages, profile, files, clock, processes, resources, nullptr};
    // From the second run on the folder holds the output and its backups, as
    // it does when a user generates again.
    GenerateProject(doc, services);
    for (auto _ : state) {
        auto r = GenerateProject(doc, services);
        benchmark::DoNotOptimize(r);
        messages.shown.clear();
    }
    state.SetComplexityN(state.range(0));
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_Generate)->Arg(1)->Arg(10)->Arg(100)->Complexity(benchmark::oN);

// A project with every kind, as the editors make them.
void FillAllKinds(CKivoDoc &doc, Services &services)
{
    doc.OnNewDocument(services.profile);
    for (const IKind *k : AllKinds()) {
        AddObject(doc, k->Code(), services.messages, [code = k->Code()](CEditorModel &e) {
            if (code == kI2CBus)
                e.UserSetText("scl", "44"), e.UserSetText("sda", "45");
            if (code == kDigital || code == kDAC || code == kADC)
                e.UserSetText("pin", std::to_string(30 + code));
            return e.Ok() == OkResult::Accepted;
        });
    }
}

struct AllKindsFolder {
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kivo-bench-all-" + std::to_string(::getpid()));
    RecordingMessages messages;
    MemoryProfile profile;
    DiskFileSystem files;
    SystemClock clock;
    RecordingProcessRunner processes;
    EmbeddedResources resources;
    GitTextMerger merger;
    Services services{messages, profile, files, clock, processes, resources, nullptr, &merger};
    CKivoDoc doc;

    AllKindsFolder()
    {
        std::filesystem::create_directories(folder);
        FillAllKinds(doc, services);
        doc.m_strPathName = (folder / "Bench.kivo").string();
        GenerateProject(doc, services);
    }
    ~AllKindsFolder() { std::filesystem::remove_all(folder); }
};

// Generating the all-kinds project again into a folder that already holds
// its output: nothing needs writing.
void BM_GenerateAllKindsAgain(benchmark::State &state)
{
    AllKindsFolder f;
    std::size_t bytes = 0;
    for (auto &e : std::filesystem::directory_iterator(f.folder))
        if (e.is_regular_file())
            bytes += std::size_t(e.file_size());
    for (auto _ : state) {
        auto r = GenerateProject(f.doc, f.services);
        benchmark::DoNotOptimize(r);
        f.messages.shown.clear();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_GenerateAllKindsAgain)->Unit(benchmark::kMillisecond);

// The yardstick: "cp -r" of the same files.
void BM_CopyAllKindsWithCp(benchmark::State &state)
{
    AllKindsFolder f;
    const std::string target = f.folder.string() + "-copy";
    const std::string command = "cp -r '" + f.folder.string() + "' '" + target + "'";
    for (auto _ : state) {
        int rc = std::system(command.c_str());
        benchmark::DoNotOptimize(rc);
        state.PauseTiming();
        std::filesystem::remove_all(target);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CopyAllKindsWithCp)->Unit(benchmark::kMillisecond);

double WallMs(const std::string &command)
{
    auto t0 = std::chrono::steady_clock::now();
    int rc = std::system(command.c_str());
    benchmark::DoNotOptimize(rc);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// kivo-cli generate of examples/AllKinds.kivo whose output is already there,
// and cp -r of that output, one after the other in each iteration: wall
// times of whole processes (generate_ms, cp_ms; the iteration's time is
// generate's).
void BM_CliGenerateAgainVsCp(benchmark::State &state)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("kivo-bench-cli-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "project");
    fs::copy_file(fs::path(KIVO_SOURCE_DIR) / "examples/AllKinds.kivo", folder / "project/AllKinds.kivo");
    const std::string generate =
        "'" KIVO_CLI "' generate '" + (folder / "project/AllKinds.kivo").string() + "' >/dev/null 2>&1";
    const std::string copy = "cp -r '" + (folder / "project").string() + "' '" + (folder / "copy").string() + "'";
    if (std::system(generate.c_str()) != 0) {
        state.SkipWithError("kivo-cli generate failed");
        return;
    }
    double gen = 0, cp = 0;
    for (auto _ : state) {
        const double g = WallMs(generate);
        cp += WallMs(copy);
        fs::remove_all(folder / "copy");
        gen += g;
        state.SetIterationTime(g / 1000);
    }
    const double n = double(state.iterations());
    state.counters["generate_ms"] = gen / n;
    state.counters["cp_ms"] = cp / n;
    fs::remove_all(folder);
}
BENCHMARK(BM_CliGenerateAgainVsCp)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

#ifdef KIVO_FIRST_WINDOW
// The desktop application's process from its start until its first window,
// with the all-kinds project open, has been shown and painted (the bench's
// own build of the application quits right then).
void BM_AppFirstWindow(benchmark::State &state)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("kivo-bench-app-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    fs::copy_file(fs::path(KIVO_SOURCE_DIR) / "examples/AllKinds.kivo", folder / "AllKinds.kivo",
                  fs::copy_options::overwrite_existing);
    // A home of its own, so that the recent-files list of the user stays as it is.
    const std::string command = "HOME='" + folder.string() + "' XDG_CONFIG_HOME='" + folder.string() +
                                "/.config' QT_QPA_PLATFORM=offscreen '" KIVO_FIRST_WINDOW "' '" +
                                (folder / "AllKinds.kivo").string() + "' >/dev/null 2>&1";
    for (auto _ : state)
        state.SetIterationTime(WallMs(command) / 1000);
    fs::remove_all(folder);
}
BENCHMARK(BM_AppFirstWindow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
#endif

} // namespace

BENCHMARK_MAIN();
