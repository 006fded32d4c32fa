// Fuzz target: the bytes as a P2 image, loaded and run as `kivo-cli simulate`
// runs one (hub $0, cog 0 from $0, the console on pins 62/63), for a fraction
// of a millisecond of simulated time with every cog the image starts; then
// the image's first longs go through the trace's disassembler, each with the
// AUGS/AUGD value a prefix before it would give. Whatever the bytes, the run
// must end in a time limit, an exit, all cogs stopped or a reported fault.
#include "chip/chip.h" // TraceEntry
#include "run/image_run.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::uint8_t> image(data, data + size);
    kivo::sim::ImageRunOptions options;
    // At most 70,000 clocks (the PLL's ceiling), 4,000 at the boot clock.
    options.seconds = 200e-6;
    options.serialIn = {'k', 'i', 'v', 'o', '\r', '\n', 0xFF, 0x00};
    // Console output that nobody reads: a stream without a buffer drops it.
    std::ostream discard(nullptr);
    kivo::sim::runImage(image, options, discard);

    kivo::sim::TraceEntry entry;
    for (std::size_t at = 0; at + 4 <= std::min<std::size_t>(size, 1024); at += 4) {
        entry.pc = std::uint32_t(at);
        entry.instr = std::uint32_t(data[at]) | std::uint32_t(data[at + 1]) << 8 | std::uint32_t(data[at + 2]) << 16 |
                      std::uint32_t(data[at + 3]) << 24;
        entry.executed = data[at] & 1;
        discard << kivo::sim::traceLine(entry);
        // Bits 27..23: %11110 is AUGS, %11111 AUGD; they extend the next long.
        const std::uint32_t top = entry.instr >> 23;
        entry.augs = (top & 0x1F) == 0x1E ? std::int64_t(entry.instr << 9) : -1;
        entry.augd = (top & 0x1F) == 0x1F ? std::int64_t(entry.instr << 9) : -1;
    }
    return 0;
}
