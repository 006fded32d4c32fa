// Pins throughput: the cog DAC channels a VGA streamer drives at the pixel
// rate, and an observed NCO output, against a device that reads every change.
#include "chip/device.h"
#include "chip/pins.h"
#include "chip/time.h"

#include <benchmark/benchmark.h>

#include <memory>

using namespace kivo::sim;

namespace {

class Sink : public Device
{
public:
    explicit Sink(std::vector<int> pins) : m_watch(std::move(pins)) {}
    std::vector<int> pins() const override { return m_watch; }
    void pinChanged(int pin, Clock) override { sum += m_pins->voltage(pin); }
    double sum = 0;

private:
    std::vector<int> m_watch;
};

// One setCogDacs per pixel of 640x480 VGA at 160 MHz (6.36 clocks a pixel), four
// pins on the channels with 75 Ω loads.
void BM_VgaDacChannels(benchmark::State &state)
{
    TimeBase tb(160e6);
    Pins pins(tb);
    auto sink = std::make_shared<Sink>(std::vector<int>{48, 49, 50, 51});
    pins.attach(sink);
    for (int i = 0; i < 8; ++i) // the rest of a board's instruments, idle here
        pins.attach(std::make_shared<Sink>(std::vector<int>{i}));
    for (int p = 49; p <= 51; ++p) {
        pins.drive(p, {Pins::ExternalDrive::PullDown, 75, 0}, 0);
        pins.wrpin(p, 0x00170000 | 0x40, 1);
    }
    pins.wrpin(48, 0x00160000 | 0x40, 1);
    pins.setCogOutputs(0, 0xFull << 48, 0, 2);
    Clock t = 10;
    std::uint32_t px = 0;
    for (auto _ : state) {
        px = px * 1664525u + 1013904223u;
        pins.setCogDacs(0, px, t);
        t += 6;
    }
    state.SetItemsProcessed(state.iterations());
    benchmark::DoNotOptimize(sink->sum);
}
BENCHMARK(BM_VgaDacChannels);

// A 1 MHz NCO at 160 MHz watched by a device: two edges a microsecond.
void BM_ObservedNco(benchmark::State &state)
{
    TimeBase tb(160e6);
    Pins pins(tb);
    auto sink = std::make_shared<Sink>(std::vector<int>{24});
    pins.attach(sink);
    pins.wrpin(24, (0x06 << 1) | 0x40, 1);
    pins.wxpin(24, 1, 2);
    pins.wypin(24, std::uint32_t(4294967296.0 / 160), 3);
    pins.setCogOutputs(0, 1ull << 24, 0, 4);
    Clock t = 4;
    for (auto _ : state) {
        t += 160; // one simulated microsecond
        pins.advance(t);
    }
    state.SetItemsProcessed(state.iterations());
    benchmark::DoNotOptimize(sink->sum);
}
BENCHMARK(BM_ObservedNco);

} // namespace

BENCHMARK_MAIN();
