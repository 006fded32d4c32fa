#pragma once
// Verify: each object's settings promise what its device must measure (the
// frequency the editor showed, the colour of every LED, the picture), and a
// run of the compiled program on the simulated board judges every promise.
// The kinds state their promises next to their wiring (IKindBoard::verify).
#include "json.h"
#include "run/projectrun.h"

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kivo::sim {

class Pins;

struct Verdict {
    enum class State { Pass, Fail, Skipped };
    std::string name; // the object's
    std::string kind; // its kind's command-line name
    State state = State::Skipped;
    std::string text;               // the evidence, what failed against what, or why skipped
    Json measured = Json::object(); // the values the verdict rests on
};

// A passing verdict with its evidence; a failing one naming what the settings
// promised and what the board measured; a skipped one with the reason.
Verdict Pass(const std::string &evidence, Json measured = Json::object());
Verdict Fail(const std::string &promised, const std::string &measured, Json values = Json::object());
Verdict Skip(const std::string &reason);
// "PASS", "FAIL", "SKIP" and "pass", "fail", "skipped".
const char *StateWord(Verdict::State state);
const char *StateName(Verdict::State state);

// What a kind's promise check sees of a run so far.
struct VerifyView {
    const CKivoDoc &doc;
    const ProjectBoard &board;
    const ProjectBoard::Wired &wired;
    const Pins &pins;
    const std::string &console; // everything the program printed
    double seconds;             // simulated time so far
    const Instrument *usb;      // the USB device plugged in, if any
    // The project's folder, where Generate and Compile left their files.
    std::string folder() const;
    // The console lines that start with `prefix`.
    std::vector<std::string> lines(const std::string &prefix) const;
};

// The console's lines, without their line ends (the program's printf ends
// each line with CR LF).
std::vector<std::string> ConsoleLines(const std::string &console);
// The number after the last "= " of a console line (0 without one).
double NumberAfterEquals(const std::string &line);
// A number as a verdict shows it: at most `decimals` decimals, no trailing zeros.
std::string Shown(double value, int decimals = 3);

// The USB device verify plugs in: what the project's first USB object
// needs to show its promises.
UsbRunOptions VerifyUsbDevice(const CKivoDoc &doc);

// Judges the objects named (every object when `names` is empty) on the
// session's board as it stands. A name the project lacks gets a failing
// verdict.
std::vector<Verdict> JudgeObjects(const ProjectSession &session, const std::vector<std::string> &names = {});

// One JUnit test suite: a case per verdict.
struct JUnitSuite {
    std::string name;
    double seconds = 0;
    std::vector<Verdict> cases;
};
// The suites as JUnit XML, as CI servers read it.
std::string JUnitXml(const std::vector<JUnitSuite> &suites);
// Writes it to `path`; false with the reason in *error.
bool WriteJUnit(const std::string &path, const std::vector<JUnitSuite> &suites, std::string *error);

struct VerdictTally {
    int passed = 0, failed = 0, skipped = 0;
};
VerdictTally TallyVerdicts(const std::vector<Verdict> &verdicts);
// "9 passed, 1 failed, 2 skipped".
std::string VerdictCounts(const std::vector<Verdict> &verdicts);

// What a verify run found: with status 0 a verdict per object; else the exit
// status (1 for a missing or stale binary, 3 for a simulator fault) and the
// message.
struct VerifyResult {
    int status = 0;
    std::string error;
    bool stopped = false; // `stop` held before the run ended
    double seconds = 0;   // simulated
    std::vector<Verdict> verdicts;
};
// Runs the compiled project for `seconds` (else VerifySeconds) and judges
// every object, as `kivo-cli verify` does. `stop`, asked every simulated
// millisecond, ends the run early without verdicts.
VerifyResult VerifyProject(const CKivoDoc &doc, std::optional<double> seconds, const std::function<bool()> &stop = {});

struct VerifyOptions {
    std::optional<double> seconds; // else VerifySeconds
    std::string junitPath;
    bool json = false;
};

// `kivo-cli verify`: runs the project and prints a line per object. Exit
// status: 0 when every promise holds, 1 when one fails or the binary is
// missing or stale, 3 for a simulator fault.
int RunVerify(const CKivoDoc &doc, const VerifyOptions &options, std::ostream &out, std::ostream &err);

} // namespace kivo::sim
