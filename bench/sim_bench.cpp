// Simulated instructions per second: one busy cog, and eight, in cog exec;
// and one cog in hub exec (where FlexSpin puts compiled code).
#include "chip/chip.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

using namespace kivo::sim;

namespace {

// Encodings from the instruction sheet: EEEE ooooooo CZI DDDDDDDDD SSSSSSSSS.
constexpr std::uint32_t ds(std::uint32_t op7, std::uint32_t d, std::uint32_t s, bool imm, std::uint32_t cz = 0)
{
    return 0xF0000000u | op7 << 21 | cz << 19 | (imm ? 1u << 18 : 0) | d << 9 | s;
}
constexpr std::uint32_t jmpRel(std::int32_t bytes) { return 0xFD900000u | (std::uint32_t(bytes) & 0xFFFFF); }

// A busy loop of ALU work, a LUT read, a hub write and a taken branch.
std::vector<std::uint32_t> busyLoop()
{
    std::vector<std::uint32_t> code = {
        ds(0x08, 0x100, 1, true),      // add    $100, #1
        ds(0x2B, 0x101, 0x100, false), // xor    $101, $100
        ds(0x03, 0x102, 1, true, 2),   // shl    $102, #1 wc
        ds(0x2C, 0x103, 1, true),      // muxc   $103, #1
        ds(0x55, 0x104, 5, true),      // rdlut  $104, #5
        0xFC640080u | 0x100u << 9,     // wrlong $100, #$80
    };
    code.push_back(jmpRel(-7 * 4)); // jmp #first
    return code;
}

void putLongs(std::vector<std::uint8_t> &image, std::uint32_t at, const std::vector<std::uint32_t> &longs)
{
    if (image.size() < at + 4 * longs.size())
        image.resize(at + 4 * longs.size(), 0);
    for (std::size_t i = 0; i < longs.size(); ++i)
        for (int b = 0; b < 4; ++b)
            image[at + 4 * i + std::size_t(b)] = std::uint8_t(longs[i] >> (8 * b));
}

void run(benchmark::State &state, int cogs, bool hubExec)
{
    std::vector<std::uint8_t> image;
    if (hubExec) {
        // Cog 0 jumps to hub $1000, where the loop is.
        putLongs(image, 0, {0xFD801000}); // jmp #\$1000
        putLongs(image, 0x1000, busyLoop());
    } else {
        // Cog 0 starts cogs 1..n-1 from the same image, then loops itself.
        std::vector<std::uint32_t> start;
        for (int c = 1; c < cogs; ++c)
            start.push_back(0xFCEC0000u | std::uint32_t(c) << 9); // coginit #c, #0: load from hub $0
        // The started cogs also run this prologue; COGINIT of a running cog
        // restarts it, so the prologue only runs in cog 0: cogid + tjnz skips it.
        std::vector<std::uint32_t> code = {
            0xFD600001u | 0x110u << 9,                               // cogid $110
            0xFB9C0000u | 0x110u << 9 | std::uint32_t(start.size()), // tjnz $110, #+n: only cog 0 starts the others
        };
        code.insert(code.end(), start.begin(), start.end());
        auto loop = busyLoop();
        code.insert(code.end(), loop.begin(), loop.end());
        putLongs(image, 0, code);
    }
    Chip chip;
    chip.loadImage(image);
    chip.setClockMode(0x010007FB, 0); // 160 MHz from a 20 MHz crystal
    const Clock step = 1600000;       // 10 ms of simulated time per iteration
    std::uint64_t before = chip.instructions();
    for (auto _ : state) {
        chip.runUntil(chip.now() + step);
    }
    const double executed = double(chip.instructions() - before);
    state.counters["instr/s"] = benchmark::Counter(executed, benchmark::Counter::kIsRate);
    state.counters["sim_s/s"] = benchmark::Counter(double(state.iterations()) * 0.01, benchmark::Counter::kIsRate);
}

void OneBusyCog(benchmark::State &state) { run(state, 1, false); }
void EightBusyCogs(benchmark::State &state) { run(state, 8, false); }
void OneHubExecCog(benchmark::State &state) { run(state, 1, true); }

} // namespace

BENCHMARK(OneBusyCog)->Unit(benchmark::kMillisecond);
BENCHMARK(EightBusyCogs)->Unit(benchmark::kMillisecond);
BENCHMARK(OneHubExecCog)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
