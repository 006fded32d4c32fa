// Load and save of large projects, and generation with library writes.
// Both should grow linearly with the number of objects.
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
        o->m_strText[0] = "90";
        o->m_strText[1] = "1500";
        o->m_bFlag[1] = true;
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
    for (auto _ : state) {
        // Keep the backups from piling up work: each run starts from the same folder state.
        std::filesystem::remove(folder / "Platform.h.bak");
        std::filesystem::remove(folder / "Bench.c.bak");
        auto r = GenerateProject(doc, services);
        benchmark::DoNotOptimize(r);
        messages.shown.clear();
    }
    state.SetComplexityN(state.range(0));
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_Generate)->Arg(10)->Arg(100)->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
