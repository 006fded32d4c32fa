// kivo-cli simulate: runs a FlexSpin image, or a .kivo project's binary on a
// simulated board, on the P2 simulator.
#include "simulate.h"

#include "cli.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "platform/messages.h"
#include "platform/result.h"
#include "platform/services.h"
#include "run/image_run.h"
#include "run/projectrun.h"
#include "run/vcd.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>

namespace kivo {

namespace {

// The image at `path`, at most the hub RAM's size. False after the message.
bool ReadImage(const std::string &path, std::vector<std::uint8_t> &image, Services &services)
{
    std::string problem;
    switch (sim::readFileUpTo(path, sim::kHubBytes, image)) {
    case sim::ReadEnd::Ok:
        if (!image.empty())
            return true;
        problem = path + " is not a P2 image: it is empty.";
        break;
    case sim::ReadEnd::CannotOpen:
        problem = path + " cannot be opened.";
        break;
    case sim::ReadEnd::CannotRead:
        problem = path + " cannot be read.";
        break;
    case sim::ReadEnd::Folder:
        problem = path + " cannot be read: it is a folder.";
        break;
    case sim::ReadEnd::TooLarge:
        problem = path + " is not a P2 image: it is larger than the 512 KB of hub RAM.";
        break;
    }
    services.messages.Show(MessageKind::Plain, problem);
    return false;
}

// Feeds the serial input file to the console a byte at a time.
std::function<bool(std::uint8_t &)> SerialSource(const SimulateOptions &o)
{
    if (!o.serialInStream)
        return nullptr;
    return [file = o.serialInStream](std::uint8_t &b) {
        const int c = std::getc(file.get());
        b = std::uint8_t(c);
        return c != EOF;
    };
}

// False, after the message, when the serial input file failed part way.
bool SerialInRead(const SimulateOptions &o, Services &services)
{
    if (!o.serialInStream || !std::ferror(o.serialInStream.get()))
        return true;
    services.messages.Show(MessageKind::Plain, "The serial input file " + o.serialInFile + " cannot be read.");
    return false;
}

// Opens the trace file. False after the message when it cannot be written.
bool OpenTrace(const std::string &path, std::ofstream &trace, Services &services)
{
    if (std::string problem = sim::outputProblem(path); !problem.empty()) {
        services.messages.Show(MessageKind::Plain, "The trace file " + path + " cannot be written: " + problem);
        return false;
    }
    trace.open(path);
    if (!trace) {
        services.messages.Show(MessageKind::Plain, "The trace file " + path + " cannot be written.");
        return false;
    }
    return true;
}

// Closes the trace; false when not all of it reached the file (a full disk
// shows only here).
bool TraceWritten(std::ofstream &trace)
{
    if (!trace.is_open())
        return true;
    trace.close();
    return !trace.fail();
}

bool EndsWith(const std::string &s, const std::string &tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// One option of `simulate`. `apply` gets the value (empty for flags); a
// value it cannot take is Failure::BadValue, a file it cannot read
// Failure::ReadFile.
using ApplyOption = std::function<Result(SimulateOptions &, const std::string &)>;
struct SimulateOption {
    const char *name;
    const char *value; // the value's name in the usage text, nullptr for a flag
    const char *help;
    ApplyOption apply;
};

// Digits only: no sign, no spaces, no hex.
bool AllDigits(const std::string &v) { return !v.empty() && v.find_first_not_of("0123456789") == std::string::npos; }

Result ParseSeconds(SimulateOptions &o, const std::string &v)
{
    // Decimal only: strtod would read 0x10 as 16.
    char *end = nullptr;
    const double s = std::strtod(v.c_str(), &end);
    if (v.empty() || *end || v.find_first_not_of("0123456789.eE+-") != std::string::npos || !(s > 0) || s > 1e6)
        return Fail(Failure::BadValue, "--time takes a number of seconds above 0 (at most 1000000), not '" + v + "'");
    o.seconds = s;
    return Succeed();
}

Result ParseSerialIn(SimulateOptions &o, const std::string &v)
{
    if (v.empty() || v[0] != '@') {
        o.serialIn.assign(v.begin(), v.end());
        o.serialInFile.clear();
        o.serialInStream = nullptr;
        return Succeed();
    }
    const std::string path = v.substr(1);
    const std::string name = "The serial input file " + path;
    std::shared_ptr<std::FILE> file(std::fopen(path.c_str(), "rb"), [](std::FILE *f) {
        if (f)
            std::fclose(f);
    });
    if (!file)
        return Fail(Failure::ReadFile, name + " cannot be opened.");
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return Fail(Failure::ReadFile, name + " cannot be read: it is a folder.");
    o.serialIn.clear();
    o.serialInFile = path;
    o.serialInStream = std::move(file);
    return Succeed();
}

Result ParseSerialInAt(SimulateOptions &o, const std::string &v)
{
    char *end = nullptr;
    const double s = std::strtod(v.c_str(), &end);
    if (v.empty() || *end || v.find_first_not_of("0123456789.eE+-") != std::string::npos || !(s >= 0) || s > 1e6)
        return Fail(Failure::BadValue,
                    "--serial-in-at takes a number of seconds from 0 (at most 1000000), not '" + v + "'");
    o.serialInAt = s;
    return Succeed();
}

Result ParseTraceLimit(SimulateOptions &o, const std::string &v)
{
    errno = 0;
    const unsigned long long n = std::strtoull(v.c_str(), nullptr, 10);
    if (!AllDigits(v) || errno == ERANGE)
        return Fail(Failure::BadValue, "--trace-limit takes a count of lines, not '" + v + "'");
    o.traceLimit = n;
    return Succeed();
}

Result ParseSeed(SimulateOptions &o, const std::string &v)
{
    errno = 0;
    const unsigned long long n = std::strtoull(v.c_str(), nullptr, 10);
    if (!AllDigits(v) || errno == ERANGE)
        return Fail(Failure::BadValue, "--seed takes a whole number from 0 to 18446744073709551615, not '" + v + "'");
    o.seed = n;
    return Succeed();
}

// An option of the project run: its values are kept under its name.
ApplyOption Extra(const char *name)
{
    return [name](SimulateOptions &o, const std::string &v) {
        o.extra[name].push_back(v);
        return Succeed();
    };
}

// The options, in the order the usage text shows them. The project run's
// options go below the image options; their values land in `extra`.
const std::vector<SimulateOption> &Options()
{
    static const std::vector<SimulateOption> options = {
        {"--time", "SECONDS", "simulated seconds to run (default 10)", ParseSeconds},
        {"--serial-in", "TEXT|@FILE", "bytes to send to the program's console input (pin 63)", ParseSerialIn},
        {"--serial-in-at", "SECONDS", "start sending the --serial-in bytes at this simulated time", ParseSerialInAt},
        {"--trace", "FILE", "write one line per executed instruction",
         [](SimulateOptions &o, const std::string &v) {
             o.traceFile = v;
             return Succeed();
         }},
        {"--trace-limit", "N", "at most N trace lines (default 1000000)", ParseTraceLimit},
        {"--seed", "N", "start the chip's random sources from N (default: the same every run)", ParseSeed},
        // The project run (FILE.kivo).
        {"--json", nullptr, "print one JSON report instead of the console text", Extra("--json")},
        {"--frame", "F.png", "write the first VGA frame the monitor captured", Extra("--frame")},
        {"--vcd", "F.vcd", "write the project's pin levels and DAC volts as a VCD", Extra("--vcd")},
        {"--vcd-all", nullptr, "every pin in the VCD", Extra("--vcd-all")},
        {"--vcd-pins", "LIST", "only these pins in the VCD, e.g. 24,48-52 (default: the project's)",
         Extra("--vcd-pins")},
        {"--vcd-from", "SECONDS", "the VCD starts at this simulated time (default 0)", Extra("--vcd-from")},
        {"--wav", "F.wav", "write the sound object's two pins as a 16-bit stereo WAV", Extra("--wav")},
        {"--set", "NAME.KEY=VALUE", "a device setting, e.g. ADC1.volts=2.5 (repeatable)", Extra("--set")},
        {"--usb-device", "keyboard|mouse|mouse-fs", "the USB device on the USB object's port", Extra("--usb-device")},
        {"--usb-keys", "TEXT", "the keyboard types TEXT after enumeration (\\n Enter, \\t Tab)", Extra("--usb-keys")},
        {"--usb-mouse", "DX,DY,BUTTONS[;...]", "the mouse sends these reports, 20 ms apart", Extra("--usb-mouse")},
        {"--usb-unplug", "T1:T2", "the USB cable is pulled from T1 to T2 seconds", Extra("--usb-unplug")},
    };
    return options;
}

std::string Usage()
{
    std::string u = "usage: kivo-cli simulate FILE [options]\n"
                    "  FILE is a FlexSpin .binary image or a .kivo project\n";
    for (const SimulateOption &o : Options()) {
        std::string left = std::string("  ") + o.name + (o.value ? std::string(" ") + o.value : "");
        if (left.size() < 28)
            left.resize(28, ' ');
        u += left + " " + o.help + "\n";
    }
    return u;
}

} // namespace

int SimulateProject(const SimulateOptions &options, Services &services, std::ostream &out, std::ostream &err)
{
    auto last = [&](const char *name) {
        auto it = options.extra.find(name);
        return it == options.extra.end() || it->second.empty() ? std::string() : it->second.back();
    };
    sim::ProjectRunOptions ro;
    ro.run.seconds = options.seconds;
    ro.run.serialIn = options.serialIn;
    ro.run.serialSource = SerialSource(options);
    ro.run.serialInAt = options.serialInAt;
    ro.run.traceLimit = options.traceLimit;
    ro.run.seed = options.seed;
    ro.json = options.extra.count("--json") > 0;
    ro.framePath = last("--frame");
    ro.vcdPath = last("--vcd");
    ro.vcdAll = options.extra.count("--vcd-all") > 0;
    ro.wavPath = last("--wav");
    if (ro.vcdAll && ro.vcdPath.empty()) {
        err << "kivo-cli: --vcd-all needs --vcd F.vcd\n" << Usage();
        return kExitUsage;
    }
    if (options.extra.count("--vcd-from")) {
        const std::string v = last("--vcd-from");
        char *end = nullptr;
        ro.vcdFrom = std::strtod(v.c_str(), &end);
        if (ro.vcdPath.empty() || v.empty() || *end || v.find_first_not_of("0123456789.") != std::string::npos ||
            !(ro.vcdFrom <= 1e6)) {
            err << "kivo-cli: --vcd-from takes a number of seconds (decimal, at most 1000000) and needs --vcd F.vcd, "
                   "not '"
                << v << "'\n";
            return kExitUsage;
        }
    }
    if (options.extra.count("--vcd-pins")) {
        const std::string list = last("--vcd-pins");
        if (ro.vcdPath.empty() || ro.vcdAll) {
            err << "kivo-cli: --vcd-pins needs --vcd F.vcd and no --vcd-all\n" << Usage();
            return kExitUsage;
        }
        if (!sim::ParsePinList(list, ro.vcdPins)) {
            err << "kivo-cli: --vcd-pins takes pin numbers 0..63 and ranges, such as 24,48-52, not '" << list << "'\n";
            return kExitUsage;
        }
    }
    if (auto it = options.extra.find("--set"); it != options.extra.end())
        ro.sets = it->second;
    for (auto [name, parse] :
         {std::pair{"--usb-device", &sim::ParseUsbDevice}, std::pair{"--usb-keys", &sim::ParseUsbKeys},
          std::pair{"--usb-mouse", &sim::ParseUsbMouse}, std::pair{"--usb-unplug", &sim::ParseUsbUnplug}}) {
        if (options.extra.count(name) == 0)
            continue;
        if (std::string problem = parse(ro.usb, last(name)); !problem.empty()) {
            err << "kivo-cli: " << problem << "\n";
            return kExitUsage;
        }
    }
    if (std::string problem = sim::CheckUsbOptions(ro.usb); !problem.empty()) {
        err << "kivo-cli: " << problem << "\n" << Usage();
        return kExitUsage;
    }

    CKivoDoc doc;
    std::error_code ec;
    auto path = std::filesystem::absolute(options.file, ec);
    if (Result opened = OpenProjectFile(ec ? options.file : path.lexically_normal().string(), doc, services); !opened) {
        ShowResult(services.messages, opened);
        return kExitFailed;
    }
    std::ofstream trace;
    if (!options.traceFile.empty()) {
        if (!OpenTrace(options.traceFile, trace, services))
            return kExitFailed;
        ro.run.trace = &trace;
    }
    const int code = sim::RunProject(doc, ro, out, err);
    if (!TraceWritten(trace)) {
        services.messages.Show(MessageKind::Plain, "The trace file " + options.traceFile + " cannot be written.");
        return kExitFailed;
    }
    if (!SerialInRead(options, services))
        return kExitFailed;
    return code;
}

int CmdSimulate(const std::vector<std::string> &args, Services &services, std::ostream &out, std::ostream &err)
{
    SimulateOptions o;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h") {
            out << Usage();
            return kExitOk;
        }
        if (a.rfind("--", 0) != 0) {
            if (!o.file.empty()) {
                err << "kivo-cli: simulate takes one FILE\n" << Usage();
                return kExitUsage;
            }
            o.file = a;
            continue;
        }
        std::string name = a, value;
        const std::size_t eq = a.find('=');
        bool inlineValue = false;
        if (eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        const SimulateOption *opt = nullptr;
        for (const SimulateOption &c : Options())
            if (name == c.name)
                opt = &c;
        if (!opt) {
            err << "kivo-cli: simulate has no option " << name << "\n" << Usage();
            return kExitUsage;
        }
        if (opt->value && !inlineValue) {
            if (i + 1 >= args.size()) {
                err << "kivo-cli: " << name << " needs a value (" << opt->value << ")\n" << Usage();
                return kExitUsage;
            }
            value = args[++i];
        }
        const Result applied = opt->apply(o, value);
        if (applied.what == Failure::BadValue) {
            err << "kivo-cli: " << applied.text << "\n";
            return kExitUsage;
        }
        // A file that cannot be read is a failure, not a usage error.
        if (!applied) {
            ShowResult(services.messages, applied);
            return kExitFailed;
        }
    }
    if (o.file.empty()) {
        err << "kivo-cli: simulate takes a FILE\n" << Usage();
        return kExitUsage;
    }
    if (o.serialInAt > 0 && o.serialIn.empty() && !o.serialInStream) {
        err << "kivo-cli: --serial-in-at needs --serial-in\n" << Usage();
        return kExitUsage;
    }
    if (EndsWith(o.file, ".kivo"))
        return SimulateProject(o, services, out, err);
    if (!o.extra.empty()) { // the board's options need a project
        err << "kivo-cli: " << o.extra.begin()->first << " needs a .kivo project, not an image\n" << Usage();
        return kExitUsage;
    }

    std::vector<std::uint8_t> image;
    if (!ReadImage(o.file, image, services))
        return kExitFailed;
    sim::ImageRunOptions ro;
    ro.seconds = o.seconds;
    ro.serialIn = o.serialIn;
    ro.serialSource = SerialSource(o);
    ro.serialInAt = o.serialInAt;
    ro.traceLimit = o.traceLimit;
    ro.seed = o.seed;
    std::ofstream trace;
    if (!o.traceFile.empty()) {
        if (!OpenTrace(o.traceFile, trace, services))
            return kExitFailed;
        ro.trace = &trace;
    }
    const sim::ImageRunResult r = sim::runImage(image, ro, out);
    out.flush();
    if (!TraceWritten(trace)) {
        services.messages.Show(MessageKind::Plain, "The trace file " + o.traceFile + " cannot be written.");
        return kExitFailed;
    }
    if (!SerialInRead(o, services))
        return kExitFailed;
    if (r.end == sim::ImageRunResult::End::Fault) {
        err << "Error: " << r.error << "\n";
        return sim::kExitSimulatorFault;
    }
    return r.exitCode;
}

} // namespace kivo
