#include "run/projectrun.h"

#include "board/console.h"
#include "board/vgamonitor.h"
#include "chip/pins.h"
#include "generator/library.h"
#include "kinds/kind.h"
#include "model/codeobject.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "run/kindboard.h"
#include "run/png.h"
#include "run/vcd.h"
#include "run/wav.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

namespace kivo::sim {

namespace fs = std::filesystem;

namespace {

bool ParseSets(const std::vector<std::string> &sets, std::vector<SetValue> &out, std::string *error)
{
    for (const auto &s : sets) {
        auto eq = s.find('=');
        auto dot = s.find('.');
        if (eq == std::string::npos || dot == std::string::npos || dot > eq || dot == 0 || dot + 1 == eq) {
            *error = "--set takes NAME.KEY=VALUE, not '" + s + "'";
            return false;
        }
        out.push_back({s.substr(0, dot), s.substr(dot + 1, eq - dot - 1), s.substr(eq + 1)});
    }
    return true;
}

} // namespace

bool ProjectBoard::build(const CKivoDoc &doc, const std::vector<std::string> &setTexts, const TimeBase &time,
                         std::string *error)
{
    std::string dummy;
    if (!error)
        error = &dummy;
    std::vector<SetValue> sets;
    if (!ParseSets(setTexts, sets, error))
        return false;
    BoardWiring wiring(doc, time, sets, m_analog, m_monitor);

    m_objects.clear();
    for (const auto &up : doc.m_objList) {
        const CCodeObject &o = *up;
        Wired w;
        w.object = &o;
        w.pins = wiring.pinsOf(o.m_strName);
        const IKindBoard *kind = FindKindBoard(o.m_nKind);
        if (kind && !kind->wire(wiring, w)) {
            *error = wiring.error;
            return false;
        }
        if (w.device)
            m_devices.push_back(w.device);
        m_objects.push_back(std::move(w));
    }
    for (auto &w : m_objects) {
        const IKindBoard *kind = FindKindBoard(w.object->m_nKind);
        if (kind && !kind->wireLate(wiring, w)) {
            *error = wiring.error;
            return false;
        }
    }

    for (auto &s : sets)
        if (!s.used) {
            bool named = false;
            for (auto &w : m_objects)
                named = named || w.object->m_strName == s.name;
            *error = named ? "--set: object " + s.name + " has no setting '" + s.key + "'"
                           : "--set: the project has no object " + s.name;
            return false;
        }
    return true;
}

} // namespace kivo::sim

namespace kivo::sim {

void ProjectBoard::attach(Pins &pins)
{
    for (auto &d : m_devices)
        pins.attach(d);
}

std::vector<int> ProjectBoard::objectPins() const
{
    std::vector<int> p;
    for (const auto &w : m_objects)
        p.insert(p.end(), w.pins.begin(), w.pins.end());
    std::sort(p.begin(), p.end());
    p.erase(std::unique(p.begin(), p.end()), p.end());
    return p;
}

Json ProjectBoard::report() const
{
    Json list = Json::array();
    for (const auto &w : m_objects) {
        const CCodeObject &o = *w.object;
        Json j = Json::object();
        j["name"] = o.m_strName;
        j["kind"] = KindLabel(o.m_nKind);
        const IKind *k = FindKind(o.m_nKind);
        j["kindName"] = k ? k->CliName() : "";
        Json pins = Json::array();
        for (int p : w.pins)
            pins.push_back(p);
        j["pins"] = std::move(pins);
        if (w.device) {
            j["device"] = w.device->what();
            j["observations"] = w.device->observations();
        } else if (w.observe) {
            j["device"] = "DS1339 on the bus";
            j["observations"] = w.observe();
        } else {
            j["device"] = nullptr;
            j["observations"] = Json::object();
        }
        list.push_back(std::move(j));
    }
    return list;
}

std::string ProjectBoard::change(const std::string &setting, Pins &pins, Clock now)
{
    std::vector<SetValue> parsed;
    std::string error;
    if (!ParseSets({setting}, parsed, &error))
        return error;
    const SetValue &s = parsed.front();
    for (auto &w : m_objects)
        if (w.object->m_strName == s.name) {
            const IKindBoard *kind = FindKindBoard(w.object->m_nKind);
            pins.advance(now);
            std::string problem = kind ? kind->change(w, s.key, s.value, now) : "the kind is not known";
            pins.advance(now);
            return problem;
        }
    return "the project has no object " + s.name;
}

BinaryState CheckProjectBinary(const CKivoDoc &doc, std::string *path, std::string *error)
{
    std::string dummy;
    if (!error)
        error = &dummy;
    fs::path project(doc.m_strPathName);
    fs::path folder = project.parent_path();
    std::string name = project.stem().string();
    fs::path binary = folder / (name + ".binary");
    std::error_code ec;
    std::vector<fs::path> generated = {folder / "Platform.h", folder / (name + ".c")};
    for (const auto &g : generated)
        if (!fs::exists(g, ec)) {
            *error = "The project has no generated code (" + g.filename().string() +
                     " is missing): run Generate Code, then Compile.";
            return BinaryState::NoCode;
        }
    if (!fs::exists(binary, ec)) {
        *error = "The project has not been compiled (" + binary.string() + " is missing): run Compile first.";
        return BinaryState::NotCompiled;
    }
    // The library files the objects need are generated files too.
    for (const auto &o : doc.m_objList)
        for (const LibraryFile &f : LibraryFilesFor(*o))
            if (fs::exists(folder / f.fileName, ec))
                generated.push_back(folder / f.fileName);
    auto built = fs::last_write_time(binary, ec);
    for (const auto &g : generated) {
        auto t = fs::last_write_time(g, ec);
        if (!ec && t > built) {
            *error = binary.filename().string() + " is older than the generated " + g.filename().string() +
                     ": run Compile again.";
            return BinaryState::Stale;
        }
    }
    if (path)
        *path = binary.string();
    return BinaryState::Ready;
}

std::shared_ptr<Instrument> PlugUsbDevice(const CKivoDoc &doc, const UsbRunOptions &usb, Pins &pins,
                                          const CCodeObject **object, std::string *error)
{
    *object = nullptr;
    for (const auto &o : doc.m_objList)
        if (o->m_nKind == kUsbKbm) {
            *object = o.get();
            break;
        }
    if (!*object)
        return nullptr;
    auto device = MakeUsbDevice(usb, FindKindBoard(kUsbKbm)->usbDmPin(**object), error);
    if (device)
        pins.attach(device);
    return device;
}

std::string FindProjectBinary(const CKivoDoc &doc, std::string *error)
{
    std::string path;
    CheckProjectBinary(doc, &path, error);
    return path;
}

namespace {

const char *ReasonText(ImageRunResult::End end)
{
    switch (end) {
    case ImageRunResult::End::TimeLimit:
        return "time limit";
    case ImageRunResult::End::AllStopped:
        return "all cogs stopped";
    case ImageRunResult::End::ConsoleExit:
        return "console exit";
    case ImageRunResult::End::Fault:
        return "fault";
    }
    return "";
}

} // namespace

std::string ReadProjectImage(const CKivoDoc &doc, std::vector<std::uint8_t> &image, std::string *error)
{
    std::string dummy;
    if (!error)
        error = &dummy;
    std::string binary = FindProjectBinary(doc, error);
    if (binary.empty())
        return "";
    switch (readFileUpTo(binary, kHubBytes, image)) {
    case ReadEnd::Ok:
        return binary;
    case ReadEnd::Folder:
        *error = binary + " cannot be read: it is a folder.";
        break;
    case ReadEnd::TooLarge:
        *error = binary + " is not a P2 image: it is larger than the 512 KB of hub RAM.";
        break;
    default:
        *error = "cannot read " + binary;
        break;
    }
    image.clear();
    return "";
}

int RunProject(const CKivoDoc &doc, const ProjectRunOptions &options, std::ostream &out, std::ostream &err)
{
    std::string error;
    std::vector<std::uint8_t> image;
    const std::string binary = ReadProjectImage(doc, image, &error);
    if (binary.empty()) {
        err << "Error: " << error << "\n";
        return 1;
    }
    for (auto [option, path] : {std::pair{"--frame", &options.framePath}, std::pair{"--vcd", &options.vcdPath},
                                std::pair{"--wav", &options.wavPath}})
        if (std::string problem = path->empty() ? "" : outputProblem(*path); !problem.empty()) {
            err << "Error: " << option << ": " << *path << " cannot be written: " << problem << "\n";
            return 1;
        }

    Chip chip;
    ProjectBoard board;
    if (!board.build(doc, options.sets, chip.time(), &error)) {
        err << "kivo-cli: " << error << "\n";
        return 2;
    }
    if (!chip.loadImage(image, &error)) {
        err << "Error: " << binary << ": " << error << "\n";
        return 1;
    }
    board.attach(chip.pins());

    std::shared_ptr<VcdRecorder> vcd;
    if (!options.vcdPath.empty()) {
        std::vector<int> digital, analog = board.analogPins();
        if (!options.vcdPins.empty()) {
            digital = options.vcdPins;
            std::erase_if(analog, [&](int p) { return std::find(digital.begin(), digital.end(), p) == digital.end(); });
        } else if (options.vcdAll) {
            for (int p = 0; p < 64; p++)
                digital.push_back(p);
        } else {
            digital = board.objectPins();
            digital.push_back(62);
            digital.push_back(63);
        }
        vcd = std::make_shared<VcdRecorder>(options.vcdPath, digital, analog, options.vcdFrom);
        if (!vcd->ok()) {
            err << "Error: " << vcd->error() << "\n";
            return 1;
        }
        chip.pins().attach(vcd);
    }

    // The USB device on the first USB object's port (one port, no hub).
    std::shared_ptr<Instrument> usb;
    if (options.usb.any()) {
        const CCodeObject *u = nullptr;
        usb = PlugUsbDevice(doc, options.usb, chip.pins(), &u, &error);
        if (!u) {
            err << "Error: --usb-*: the project has no USB object\n";
            return 1;
        }
        if (!usb) {
            err << "kivo-cli: " << error << "\n";
            return 2;
        }
    }

    std::shared_ptr<WavRecorder> wav;
    if (!options.wavPath.empty()) {
        int left = 0, right = 0;
        if (!WavRecorder::SoundPins(doc, &left, &right)) {
            err << "Error: --wav: the project has no Simple Sound object\n";
            return 1;
        }
        wav = std::make_shared<WavRecorder>(left, right);
        chip.pins().attach(wav);
    }

    std::ostringstream console;
    ImageRunResult result = runLoadedChip(chip, options.run, options.json ? console : out);
    Clock end = chip.now();
    chip.pins().advance(end);
    for (auto &d : chip.pins().devices())
        d->finish(end);
    const ImageRunResult::End reason = result.end;

    int status = result.exitCode;

    bool filesOk = true;
    if (vcd && !vcd->close()) {
        err << "Error: " << vcd->error() << "\n";
        filesOk = false;
    }
    if (wav && !wav->write(options.wavPath, &error)) {
        err << "Error: " << error << "\n";
        filesOk = false;
    }
    Json frame = nullptr;
    if (!options.framePath.empty()) {
        auto mon = board.monitor();
        if (!mon) {
            err << "Error: --frame: the project has no VGA object\n";
            filesOk = false;
        } else if (!mon->captured()) {
            err << "Error: --frame: the monitor captured no complete frame in the simulated time\n";
            filesOk = false;
        } else if (!WritePng(options.framePath, VgaMonitor::kWidth, VgaMonitor::kHeight, mon->frame(), &error)) {
            err << "Error: " << error << "\n";
            filesOk = false;
        } else {
            frame = options.framePath;
        }
    }
    if (reason == ImageRunResult::End::Fault)
        err << "Error: " << result.error << "\n";

    if (options.json) {
        Json r = Json::object();
        r["project"] = doc.m_strPathName;
        r["binary"] = binary;
        r["clockHz"] = chip.clockHz();
        r["simulatedSeconds"] = Rounded(chip.seconds(), 9);
        Json exit = Json::object();
        exit["reason"] = ReasonText(reason);
        exit["status"] = status;
        if (reason == ImageRunResult::End::Fault)
            exit["message"] = result.error;
        r["exit"] = std::move(exit);
        r["console"] = console.str();
        r["objects"] = board.report();
        if (!frame.is_null())
            r["frame"] = frame;
        if (vcd)
            r["vcd"] = options.vcdPath;
        if (usb) {
            Json u = Json::object();
            u["device"] = usb->what();
            u["observations"] = usb->observations();
            r["usb"] = std::move(u);
        }
        if (wav) {
            Json w = Json::object();
            w["path"] = options.wavPath;
            w["sampleRate"] = wav->sampleRate();
            w["frames"] = static_cast<double>(wav->frames());
            r["wav"] = std::move(w);
        }
        out << JsonText(r, 2) << "\n";
    }
    out.flush();
    if (status == 0 && !filesOk)
        status = 1;
    return status;
}

} // namespace kivo::sim

namespace kivo::sim {

struct ProjectSession::Port {
    explicit Port(Chip &chip) : console(chip) {}
    Console console;
};

ProjectSession::ProjectSession() : m_chip(std::make_unique<Chip>()) {}

ProjectSession::~ProjectSession() = default;

int ProjectSession::open(const CKivoDoc &doc, const std::vector<std::string> &sets, const UsbRunOptions &usb,
                         std::string *error)
{
    m_doc = &doc;
    m_binary = FindProjectBinary(doc, error);
    if (m_binary.empty())
        return 1;
    std::vector<std::uint8_t> image;
    if (readFileUpTo(m_binary, kHubBytes, image) != ReadEnd::Ok) {
        *error = "cannot read " + m_binary + " as a P2 image";
        return 1;
    }
    if (!m_board.build(doc, sets, m_chip->time(), error))
        return 2;
    if (!m_chip->loadImage(image, error)) {
        *error = m_binary + ": " + *error;
        return 1;
    }
    m_board.attach(m_chip->pins());
    if (usb.any()) {
        const CCodeObject *u = nullptr;
        m_usb = PlugUsbDevice(doc, usb, m_chip->pins(), &u, error);
        if (!u)
            *error = "the project has no USB object to plug a USB device into";
        if (!m_usb)
            return 2;
    }
    m_port = std::make_unique<Port>(*m_chip);
    m_port->console.setOutput([this](std::uint8_t b, Clock) { m_console.push_back(char(b)); });
    return 0;
}

double ProjectSession::seconds() const { return m_chip->seconds(); }

bool ProjectSession::runTo(double limit, const std::function<bool()> &done)
{
    constexpr double kSlice = 0.001;
    while (!m_ended && m_chip->seconds() + 1e-12 < limit) {
        if (done && done())
            return true;
        const double step = done ? std::min(kSlice, limit - m_chip->seconds()) : limit - m_chip->seconds();
        const Chip::StopReason stop = m_chip->runForSeconds(step);
        if (stop == Chip::StopReason::Limit)
            continue;
        if (stop == Chip::StopReason::Stopped && m_port->console.exitStatus() < 0)
            continue; // a device's request, not the program's exit
        m_ended = true;
        if (stop == Chip::StopReason::AllStopped) {
            m_end = ImageRunResult::End::AllStopped;
        } else if (stop == Chip::StopReason::Fault) {
            m_end = ImageRunResult::End::Fault;
            m_status = kExitSimulatorFault;
            m_fault = m_chip->faultMessage();
        } else {
            m_end = ImageRunResult::End::ConsoleExit;
            m_status = m_port->console.exitStatus();
        }
    }
    return !m_ended;
}

void ProjectSession::sendSerial(const std::string &bytes)
{
    m_port->console.send(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    settle(false); // the pins learn the sender's new schedule
}

std::string ProjectSession::change(const std::string &setting)
{
    return m_board.change(setting, m_chip->pins(), m_chip->now());
}

void ProjectSession::settle(bool last)
{
    const Clock now = m_chip->now();
    m_chip->pins().advance(now);
    if (last)
        for (auto &d : m_chip->pins().devices())
            d->finish(now);
}

} // namespace kivo::sim
