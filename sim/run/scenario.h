#pragma once
// Scenario files: a project, a time limit and steps run in order in
// simulated time (wait for console text, type on the USB keyboard, send
// serial bytes, change a device setting, expect an observation, verify
// objects, expect a frame). A YAML file, read with yaml-cpp.
#include "board/usb_board.h"
#include "json.h"
#include "run/verify.h"

#include <array>
#include <iosfwd>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace kivo::sim {

struct ScenarioStep {
    enum class Kind { WaitConsole, At, Wait, UsbKeys, UsbMouse, UsbUnplug, SerialIn, Set, Expect, Verify, ExpectFrame };
    Kind kind = Kind::Wait;
    int line = 0;      // in the file, from 1
    std::string label; // "wait-console \"Setup complete\"", for the report
    std::string text;  // the value: a pattern, keys, bytes, a setting, a path
    std::regex pattern;
    double seconds = 0;                    // at, wait
    double timeout = 1.0;                  // wait-console, expect-frame
    std::vector<std::string> names;        // verify: empty for every object
    std::vector<std::array<int, 3>> moves; // usb-mouse
    std::optional<double> near;            // expect
    double tolerance = 0;                  // expect near, in the value's unit
    std::optional<Json> equals;            // expect
    std::optional<std::regex> matches;     // expect
};

struct Scenario {
    std::string file;    // as given
    std::string project; // the project's path, absolute
    int projectLine = 0;
    double time = 10; // simulated seconds at most
    std::vector<ScenarioStep> steps;
    UsbRunOptions usb; // the device its USB steps need, plugged in from the start
};

// Reads a scenario. False with "FILE:LINE: step N (KIND): problem" (or
// without the step for the file's own keys) in *error.
bool LoadScenario(const std::string &path, Scenario &scenario, std::string *error);

struct ScenarioResult {
    std::vector<Verdict> steps; // one per step run; a failed step ends the list
    double seconds = 0;         // simulated
    int status = 0;             // 0 passed, 1 failed, 2 bad scenario (error), 3 simulator fault
    std::string error;          // for 2: FILE:LINE: step N (KIND): problem
};

// Runs the scenario on its project (already opened), writing a line per
// step to `out`.
ScenarioResult RunScenario(const Scenario &scenario, const CKivoDoc &doc, std::ostream &out);

} // namespace kivo::sim
