// The streamer and the CORDIC alone: how much of the all-kinds budget (one
// simulated second no slower than 10x real time) a VGA cog's streamer takes.
#include "chip/cordic.h"
#include "chip/fifo.h"
#include "chip/hub.h"
#include "chip/pins.h"
#include "chip/streamer.h"
#include "chip/time.h"

#include <benchmark/benchmark.h>

#include <array>

using namespace kivo::sim;

namespace {

// One simulated second of 640 x 480 at 60 Hz from a 160 MHz clock: the VGA
// driver's four commands a line, pixels through the FIFO and the LUT.
void VgaSecondThroughTheStreamer(benchmark::State &state)
{
    constexpr std::uint32_t kDacs = 0x0F00'0000;
    constexpr std::uint32_t kPixels = 0x7008'0000 | kDacs | 640, kBlack = 0x7001'0000 | kDacs | 640;
    constexpr std::uint32_t kFp = 0x7001'0000 | kDacs | 16, kSync = 0x7001'0000 | kDacs | 96,
                            kBp = 0x7001'0000 | kDacs | 48;
    TimeBase time(160e6);
    Pins pins(time);
    Hub hub;
    for (std::uint32_t i = 0; i < 640 * 480; ++i)
        hub.writeByte(0x1000 + i, std::uint8_t(i * 7));
    std::array<std::uint32_t, 512> lut{};
    for (std::uint32_t i = 0; i < 256; ++i)
        lut[i] = i * 0x01010100u | 0xFF;
    std::uint64_t steps = 0;
    Clock t = 0;
    for (auto _ : state) {
        Fifo fifo(hub, 1);
        Streamer st(1, pins, fifo, lut.data());
        st.setFrequency(337903255, t); // 25.175 MHz pixels
        t = st.command(StreamerCmd::Init, kBp, 0xFF, false, 0, t + 2);
        for (int frame = 0; frame < 60; ++frame) {
            std::uint32_t row = 0x1000 + 640 * 479;
            t = fifo.rdfast(0, row, t + 6);
            for (int line = 0; line < 525; ++line) {
                const bool visible = line < 480;
                t = st.command(StreamerCmd::Cont, visible ? kPixels : kBlack, visible ? 0 : 0xFF, false, 0, t);
                t = st.command(StreamerCmd::Cont, kFp, 0xFF, false, 0, t);
                t = st.command(StreamerCmd::Zero, kSync, 0, false, 0, t);
                if (visible) {
                    row -= 640;
                    t = fifo.rdfast(0, row, t + 4);
                }
                t = st.command(StreamerCmd::Cont, kBp, 0xFF, false, 0, t + 4);
                steps += 800;
            }
        }
        st.advance(t);
        st.command(StreamerCmd::Init, 0, 0, false, 0, t);
        t += 10;
    }
    state.SetItemsProcessed(std::int64_t(steps));
    state.counters["sim_s_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(VgaSecondThroughTheStreamer)->Unit(benchmark::kMillisecond);

void CordicCommands(benchmark::State &state)
{
    std::uint32_t d = 12345, acc = 0;
    const CordicOp op = CordicOp(state.range(0));
    for (auto _ : state) {
        const CordicValue v = Cordic::compute(op, d, d * 2654435761u | 1, d >> 3);
        acc += v.x ^ v.y;
        d = d * 1664525u + 1013904223u;
    }
    benchmark::DoNotOptimize(acc);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CordicCommands)->DenseRange(0, 7)->ArgName("op");

} // namespace

BENCHMARK_MAIN();
