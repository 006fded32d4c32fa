#include "run/image_run.h"

#include "board/console.h"
#include "chip/chip.h"
#include "chip/isa.h"

#include <cstdio>
#include <ostream>

namespace kivo::sim {

std::string traceLine(const TraceEntry &e)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%12llu %d %05X %08X %s", static_cast<unsigned long long>(e.clock), e.cog, e.pc,
                  e.instr, e.executed ? "" : "(skipped) ");
    return buf + disassemble(e.instr, e.pc, e.augs, e.augd);
}

ImageRunResult runLoadedChip(Chip &chip, const ImageRunOptions &options, std::ostream &console)
{
    Console port(chip);
    port.setOutput([&console](std::uint8_t b, Clock) {
        console.put(char(b));
        if (b == '\n')
            console.flush();
    });
    std::uint64_t lines = 0;
    if (options.trace) {
        std::ostream *trace = options.trace;
        const std::uint64_t limit = options.traceLimit;
        chip.setTraceHook([trace, limit, &lines](const TraceEntry &e) {
            if (lines >= limit)
                return;
            *trace << traceLine(e) << '\n';
            ++lines;
        });
    }
    if (!options.serialIn.empty())
        port.send(options.serialIn);

    ImageRunResult r;
    const Chip::StopReason stop = chip.runForSeconds(options.seconds);
    switch (stop) {
    case Chip::StopReason::AllStopped:
        r.end = ImageRunResult::End::AllStopped;
        break;
    case Chip::StopReason::Fault:
        r.end = ImageRunResult::End::Fault;
        r.exitCode = kExitSimulatorFault;
        r.error = chip.faultMessage();
        break;
    default:
        // A stop on request: the console's exit, else as at the time limit.
        if (stop == Chip::StopReason::Stopped && port.exitStatus() >= 0) {
            r.end = ImageRunResult::End::ConsoleExit;
            r.exitCode = port.exitStatus();
        } else {
            r.end = ImageRunResult::End::TimeLimit;
        }
        break;
    }
    console.flush();
    port.setOutput(nullptr);
    chip.setTraceHook(nullptr);
    r.seconds = chip.seconds();
    r.clocks = chip.now();
    r.instructions = chip.instructions();
    return r;
}

ImageRunResult runImage(const std::vector<std::uint8_t> &image, const ImageRunOptions &options, std::ostream &console)
{
    Chip chip;
    std::string error;
    if (!chip.loadImage(image, &error)) {
        ImageRunResult r;
        r.end = ImageRunResult::End::Fault;
        r.exitCode = kExitSimulatorFault;
        r.error = error;
        return r;
    }
    return runLoadedChip(chip, options, console);
}

} // namespace kivo::sim
