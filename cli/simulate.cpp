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

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>

namespace kivo {

namespace {

// `name` is how the message names the file.
Result ReadBytes(const std::string &path, const std::string &name, std::vector<std::uint8_t> &bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Fail(Failure::ReadFile, name + " cannot be opened.");
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad())
        return Fail(Failure::ReadFile, name + " cannot be read.");
    return Succeed();
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

Result ParseSeconds(SimulateOptions &o, const std::string &v)
{
    char *end = nullptr;
    const double s = std::strtod(v.c_str(), &end);
    if (v.empty() || *end || !(s > 0) || s > 1e6)
        return Fail(Failure::BadValue, "--time takes a number of seconds above 0 (at most 1000000), not '" + v + "'");
    o.seconds = s;
    return Succeed();
}

Result ParseSerialIn(SimulateOptions &o, const std::string &v)
{
    if (!v.empty() && v[0] == '@')
        return ReadBytes(v.substr(1), "the serial input file " + v.substr(1), o.serialIn);
    o.serialIn.assign(v.begin(), v.end());
    return Succeed();
}

Result ParseTraceLimit(SimulateOptions &o, const std::string &v)
{
    char *end = nullptr;
    const unsigned long long n = std::strtoull(v.c_str(), &end, 10);
    if (v.empty() || *end || v[0] == '-')
        return Fail(Failure::BadValue, "--trace-limit takes a count of lines, not '" + v + "'");
    o.traceLimit = n;
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
        {"--trace", "FILE", "write one line per executed instruction",
         [](SimulateOptions &o, const std::string &v) {
             o.traceFile = v;
             return Succeed();
         }},
        {"--trace-limit", "N", "at most N trace lines (default 1000000)", ParseTraceLimit},
        // The project run (FILE.kivo).
        {"--json", nullptr, "print one JSON report instead of the console text", Extra("--json")},
        {"--frame", "F.png", "write the first VGA frame the monitor captured", Extra("--frame")},
        {"--vcd", "F.vcd", "write the project's pin levels and DAC volts as a VCD", Extra("--vcd")},
        {"--vcd-all", nullptr, "every pin in the VCD", Extra("--vcd-all")},
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
    ro.run.traceLimit = options.traceLimit;
    ro.json = options.extra.count("--json") > 0;
    ro.framePath = last("--frame");
    ro.vcdPath = last("--vcd");
    ro.vcdAll = options.extra.count("--vcd-all") > 0;
    ro.wavPath = last("--wav");
    if (ro.vcdAll && ro.vcdPath.empty()) {
        err << "kivo-cli: --vcd-all needs --vcd F.vcd\n" << Usage();
        return kExitUsage;
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
    if (Result opened = OpenProject(ec ? options.file : path.lexically_normal().string(), doc, services); !opened) {
        ShowResult(services.messages, opened);
        return kExitFailed;
    }
    std::ofstream trace;
    if (!options.traceFile.empty()) {
        trace.open(options.traceFile);
        if (!trace) {
            services.messages.Show(MessageKind::Plain, "The trace file " + options.traceFile + " cannot be written.");
            return kExitFailed;
        }
        ro.run.trace = &trace;
    }
    const int code = sim::RunProject(doc, ro, out, err);
    if (!TraceWritten(trace)) {
        services.messages.Show(MessageKind::Plain, "The trace file " + options.traceFile + " cannot be written.");
        return kExitFailed;
    }
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
    if (EndsWith(o.file, ".kivo"))
        return SimulateProject(o, services, out, err);
    if (!o.extra.empty()) { // the board's options need a project
        err << "kivo-cli: " << o.extra.begin()->first << " needs a .kivo project, not an image\n" << Usage();
        return kExitUsage;
    }

    std::vector<std::uint8_t> image;
    if (Result read = ReadBytes(o.file, o.file, image); !read) {
        ShowResult(services.messages, read);
        return kExitFailed;
    }
    if (image.empty() || image.size() > 0x80000) {
        services.messages.Show(MessageKind::Plain, o.file + " is not a P2 image: " +
                                                       (image.empty() ? std::string("it is empty.")
                                                                      : "it is larger than the 512 KB of hub RAM."));
        return kExitFailed;
    }
    sim::ImageRunOptions ro;
    ro.seconds = o.seconds;
    ro.serialIn = o.serialIn;
    ro.traceLimit = o.traceLimit;
    std::ofstream trace;
    if (!o.traceFile.empty()) {
        trace.open(o.traceFile);
        if (!trace) {
            services.messages.Show(MessageKind::Plain, "The trace file " + o.traceFile + " cannot be written.");
            return kExitFailed;
        }
        ro.trace = &trace;
    }
    const sim::ImageRunResult r = sim::runImage(image, ro, out);
    out.flush();
    if (!TraceWritten(trace)) {
        services.messages.Show(MessageKind::Plain, "The trace file " + o.traceFile + " cannot be written.");
        return kExitFailed;
    }
    if (r.end == sim::ImageRunResult::End::Fault) {
        err << "Error: " << r.error << "\n";
        return sim::kExitSimulatorFault;
    }
    return r.exitCode;
}

} // namespace kivo
