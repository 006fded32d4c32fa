#pragma once
// Runs a FlexSpin image on the simulated chip with its console: the words the
// async transmitter on pin 62 sends go to `console` as they are sent, input
// bytes go to pin 63, and the run ends at a time limit, on $FF $00 S, when
// every cog has stopped, or on a simulator fault.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kivo::sim {

class Chip;

struct ImageRunOptions {
    double seconds = 10.0;              // simulated time limit
    std::vector<std::uint8_t> serialIn; // fed to pin 63
    // Further input after serialIn, pulled a byte at a time as the console
    // sends it (false at the end), so that a file is never held whole.
    std::function<bool(std::uint8_t &)> serialSource;
    // The simulated second at which the input starts to go out (0: as soon
    // as the receive pin runs).
    double serialInAt = 0;
    std::optional<std::uint64_t> seed; // the chip's random sources; the fixed default without
    std::ostream *trace = nullptr;     // one line per executed instruction
    std::uint64_t traceLimit = 1000000;
};

struct ImageRunResult {
    enum class End { TimeLimit, ConsoleExit, AllStopped, Fault };
    End end = End::TimeLimit;
    int exitCode = 0;   // 0, the console exit status, or 3 for a fault
    std::string error;  // the fault
    double seconds = 0; // simulated time at the end
    std::uint64_t clocks = 0;
    std::uint64_t instructions = 0;
};

// Exit code of a simulator fault.
inline constexpr int kExitSimulatorFault = 3;

// Runs `chip` (an image already loaded) under `options`.
ImageRunResult runLoadedChip(Chip &chip, const ImageRunOptions &options, std::ostream &console);
// Loads `image` at hub $0 and runs it. A bad image is a fault with its reason.
ImageRunResult runImage(const std::vector<std::uint8_t> &image, const ImageRunOptions &options, std::ostream &console);

// Hub RAM: the largest image.
inline constexpr std::size_t kHubBytes = 0x80000;

// How reading an input file ended.
enum class ReadEnd { Ok, CannotOpen, CannotRead, Folder, TooLarge };
// Reads `path` into `bytes`, never more than `limit` bytes: TooLarge when
// more follow (an endless device ends there too).
ReadEnd readFileUpTo(const std::string &path, std::size_t limit, std::vector<std::uint8_t> &bytes);

// Why an output file cannot be written at `path` ("it is a folder."), or
// empty: outputs go to regular files (or new ones), never over a folder,
// device, pipe or socket.
std::string outputProblem(const std::string &path);

// "clock cog pc disassembly" for one trace line.
struct TraceEntry;
std::string traceLine(const TraceEntry &entry);

} // namespace kivo::sim
