#pragma once
// A Kivo project on a simulated board: the program Compile made in the
// project's folder runs on the chip, and each object's pins get the device a
// user would wire to them (see ProjectBoard). The run ends with a report.
#include "board/instrument.h"
#include "board/usb_board.h"
#include "chip/chip.h"
#include "json.h"
#include "run/image_run.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace kivo {
class CKivoDoc;
class CCodeObject;
} // namespace kivo

namespace kivo::sim {

class VgaMonitor;
class I2cTarget;

// The devices of one project, by object.
class ProjectBoard
{
public:
    struct Wired {
        const CCodeObject *object = nullptr;
        std::vector<int> pins;              // as the pin table gives them
        std::shared_ptr<Instrument> device; // null when nothing is wired
        std::shared_ptr<Json> extra;        // observations of shared devices (an RTC's chip)
        std::function<Json()> observe;      // when the observations come from elsewhere
        std::shared_ptr<I2cTarget> target;  // a device on another object's bus (an RTC's chip)
    };

    // Builds the devices; `sets` are NAME.KEY=VALUE texts. False with a
    // message when a set names no object or a key the object does not take.
    bool build(const CKivoDoc &doc, const std::vector<std::string> &sets, const TimeBase &time, std::string *error);
    void attach(Pins &pins);
    // The pins of the objects and the DAC pins among them (for --vcd).
    std::vector<int> objectPins() const;
    std::vector<int> analogPins() const { return m_analog; }
    // The first VGA monitor, if any.
    std::shared_ptr<VgaMonitor> monitor() const { return m_monitor; }
    const std::vector<Wired> &objects() const { return m_objects; }
    std::vector<Wired> &objects() { return m_objects; }
    Json report() const;
    // NAME.KEY=VALUE changed while the program runs, at `now` (the pins
    // brought up to it first): "" when done, else why not.
    std::string change(const std::string &setting, Pins &pins, Clock now);

private:
    std::vector<Wired> m_objects;
    std::vector<std::shared_ptr<Device>> m_devices; // everything to attach
    std::vector<int> m_analog;
    std::shared_ptr<VgaMonitor> m_monitor;
};

// The settings a `.kivo` simulate call takes beyond the image run's own.
struct ProjectRunOptions {
    ImageRunOptions run;           // time limit, console input, trace
    bool json = false;             // standard output is one JSON report
    std::string framePath;         // --frame F.png
    std::string vcdPath;           // --vcd F.vcd
    bool vcdAll = false;           // every pin in the VCD, not only the project's
    double vcdFrom = 0;            // the VCD starts at this simulated second
    std::vector<int> vcdPins;      // --vcd-pins: only these (empty: the project's pins, 62 and 63)
    std::string wavPath;           // --wav F.wav: the sound object's pins
    UsbRunOptions usb;             // --usb-*: the device plugged into the first USB object's port
    std::vector<std::string> sets; // NAME.KEY=VALUE
};

// The compiled project on its board, run a stretch at a time: verify and the
// scenarios look at the console and the devices between stretches.
class ProjectSession
{
public:
    ProjectSession();
    ~ProjectSession();
    ProjectSession(const ProjectSession &) = delete;
    ProjectSession &operator=(const ProjectSession &) = delete;

    // Loads the program Compile made and wires the board. 0, else the exit
    // status with the message in *error: 1 when the binary is missing, stale
    // or unreadable, 2 for a bad --set or USB option.
    int open(const CKivoDoc &doc, const std::vector<std::string> &sets, const UsbRunOptions &usb, std::string *error);
    // Runs until `seconds` of simulated time from the start, or until `done`
    // (asked every millisecond) holds. False once the program has ended:
    // its exit, every cog stopped, or a simulator fault.
    bool runTo(double seconds, const std::function<bool()> &done = {});
    bool ended() const { return m_ended; }
    ImageRunResult::End end() const { return m_end; }
    int exitStatus() const { return m_status; }
    const std::string &fault() const { return m_fault; }
    double seconds() const;
    // Everything the program printed so far.
    const std::string &console() const { return m_console; }
    // Bytes to the program's console input from now on.
    void sendSerial(const std::string &bytes);
    // NAME.KEY=VALUE of --set, from now on: "" when done, else the problem.
    std::string change(const std::string &setting);
    // Brings the devices up to now; `last` ends their measurements.
    void settle(bool last);

    const CKivoDoc &doc() const { return *m_doc; }
    const ProjectBoard &board() const { return m_board; }
    ProjectBoard &board() { return m_board; }
    Chip &chip() { return *m_chip; }
    const Chip &chip() const { return *m_chip; }
    const std::string &binary() const { return m_binary; }
    // The USB device plugged into the first USB object's port, if any.
    const std::shared_ptr<Instrument> &usb() const { return m_usb; }

private:
    struct Port;
    const CKivoDoc *m_doc = nullptr;
    std::unique_ptr<Chip> m_chip;
    ProjectBoard m_board;
    std::unique_ptr<Port> m_port;
    std::shared_ptr<Instrument> m_usb;
    std::string m_binary, m_console, m_fault;
    bool m_ended = false;
    ImageRunResult::End m_end = ImageRunResult::End::TimeLimit;
    int m_status = 0;
};

// The device `usb` names on the port of the project's first USB object (one
// port, no hub), attached to `pins`. Null when the project has no USB object
// (`*object` null) or the device cannot be made (`error` says why).
std::shared_ptr<Instrument> PlugUsbDevice(const CKivoDoc &doc, const UsbRunOptions &usb, Pins &pins,
                                          const CCodeObject **object, std::string *error);

// What stands between the project and its compiled program: nothing
// (Ready), no generated code, no program, or a program older than the
// generated files. All but Ready are mended by Generate and Compile.
enum class BinaryState { Ready, NoCode, NotCompiled, Stale };
// Where Compile leaves the program: <folder>/<project>.binary, in *path when
// Ready; else the message in *error.
BinaryState CheckProjectBinary(const CKivoDoc &doc, std::string *path, std::string *error);
// The program's path, or empty with the message in *error.
std::string FindProjectBinary(const CKivoDoc &doc, std::string *error);
// That binary read into `image`: its path, or empty with the message in
// *error when it is missing, stale, unreadable or larger than hub RAM.
std::string ReadProjectImage(const CKivoDoc &doc, std::vector<std::uint8_t> &image, std::string *error);

// Runs the project. Exit status: the program's own ($FF $00 S), 0 at the
// time limit or when every cog stopped, 1 when the binary is missing or
// stale or an output file cannot be written, 2 for a bad --set, 3 for a
// simulator fault.
int RunProject(const CKivoDoc &doc, const ProjectRunOptions &options, std::ostream &out, std::ostream &err);

} // namespace kivo::sim
