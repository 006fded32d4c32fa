// Load and save of large projects, and generation with library writes.
// Both should grow linearly with the number of objects.
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

} // namespace

BENCHMARK_MAIN();
