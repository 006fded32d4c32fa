#include "run/image_run.h"

#include "board/console.h"
#include "chip/chip.h"
#include "chip/isa.h"
#include "chip/pins.h"

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
    if (options.seed)
        chip.setSeed(*options.seed);
    auto sendInput = [&] {
        if (!options.serialIn.empty())
            port.send(options.serialIn);
        if (options.serialSource)
            port.sendFrom(options.serialSource);
    };
    const double start = chip.seconds();
    Chip::StopReason stop;
    if (options.serialInAt > 0) {
        // The input waits for its moment; a run that ends before never sends it.
        stop = chip.runForSeconds(std::min(options.serialInAt, options.seconds));
        if (stop == Chip::StopReason::Limit && options.serialInAt < options.seconds) {
            sendInput();
            chip.pins().advance(chip.now()); // the pins learn the sender's new schedule
            stop = chip.runForSeconds(options.seconds - (chip.seconds() - start));
        }
    } else {
        sendInput();
        stop = chip.runForSeconds(options.seconds);
    }

    ImageRunResult r;
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

ReadEnd readFileUpTo(const std::string &path, std::size_t limit, std::vector<std::uint8_t> &bytes)
{
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == EISDIR ? ReadEnd::Folder : ReadEnd::CannotOpen;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return ReadEnd::Folder;
    }
    // One byte beyond the limit tells a file that is too large.
    bytes.resize(limit + 1);
    std::size_t used = 0;
    while (used < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            bytes.clear();
            return ReadEnd::CannotRead;
        }
        if (n == 0)
            break;
        used += std::size_t(n);
    }
    ::close(fd);
    bytes.resize(std::min(used, limit));
    return used > limit ? ReadEnd::TooLarge : ReadEnd::Ok;
}

std::string outputProblem(const std::string &path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return "";
    if (S_ISDIR(st.st_mode))
        return "it is a folder.";
    return "it is a device or other special file, not a regular file.";
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
