#pragma once
#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kivo {

struct Services;

// Everything `kivo-cli simulate` was asked for. Options of the project run
// (devices, sound, USB) keep their values in `extra` under their option name
// ("--set" may appear several times).
struct SimulateOptions {
    std::string file;
    double seconds = 10.0;
    std::vector<std::uint8_t> serialIn;
    // --serial-in @FILE: read as the console sends it, never held whole.
    std::string serialInFile;
    std::shared_ptr<std::FILE> serialInStream;
    double serialInAt = 0; // --serial-in-at
    std::optional<std::uint64_t> seed;
    std::string traceFile;
    unsigned long long traceLimit = 1000000;
    std::map<std::string, std::vector<std::string>> extra;
};

// `simulate FILE [options]`: `args` as RunCli gets them (args[0] == "simulate").
int CmdSimulate(const std::vector<std::string> &args, Services &services, std::ostream &out, std::ostream &err);

// Runs a .kivo project on the simulated board (the project run fills this in).
int SimulateProject(const SimulateOptions &options, Services &services, std::ostream &out, std::ostream &err);

} // namespace kivo
