#include "run/projectrun.h"

#include "chip/pins.h"
#include "board/ds1339.h"
#include "board/i2c.h"
#include "board/ledchain.h"
#include "board/meters.h"
#include "board/vgamonitor.h"
#include "generator/library.h"
#include "model/codeobject.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "objects/kind.h"
#include "run/png.h"
#include "run/vcd.h"
#include "run/wav.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <ostream>

namespace kivo::sim {

namespace fs = std::filesystem;

namespace {

// A whole decimal number, or -1.
int PinNumber(const std::string &text)
{
    if (text.empty() || text.size() > 3)
        return -1;
    for (char c : text)
        if (c < '0' || c > '9')
            return -1;
    int v = std::atoi(text.c_str());
    return v <= 63 ? v : -1;
}

// Board pull-ups when the bus object asks for none (the driver then floats
// the lines and relies on them).
constexpr double kBoardPullUpOhms = 4700;
constexpr double kDefaultAdcVolts = 1.65;

struct SetValue {
    std::string name, key, value;
    bool used = false;
};

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

bool ParseNumber(const std::string &text, double &v)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    v = std::strtod(text.c_str(), &end);
    return end && *end == 0 && std::isfinite(v);
}

bool ParseDateTime(const std::string &text, RtcTime &t)
{
    int y, mo, d, h, mi, s, n = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%n", &y, &mo, &d, &h, &mi, &s, &n) != 6 ||
        std::size_t(n) != text.size())
        if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d%n", &y, &mo, &d, &h, &mi, &s, &n) != 6 ||
            std::size_t(n) != text.size())
            return false;
    if (y < 2000 || y > 2199 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || h < 0 ||
        mi < 0 || s < 0)
        return false;
    t = RtcTime{y, mo, d, h, mi, s, 1};
    // Day of the week (Sunday = 1), from Zeller's congruence.
    int mm = mo < 3 ? mo + 12 : mo, yy = mo < 3 ? y - 1 : y;
    int k = yy % 100, j = yy / 100;
    int zeller = (d + 13 * (mm + 1) / 5 + k + k / 4 + j / 4 + 5 * j) % 7; // 0 = Saturday
    t.wday = (zeller + 6) % 7 + 1;
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
    auto setFor = [&](const std::string &name, const std::string &key) -> SetValue * {
        for (auto &s : sets)
            if (s.name == name && s.key == key) {
                s.used = true;
                return &s;
            }
        return nullptr;
    };
    auto pinsOf = [&](const std::string &name, const char *usage = nullptr) {
        std::vector<int> p;
        for (int i = 0; i < kPinCount; i++)
            if (doc.m_strPinOwner[std::size_t(i)] == name &&
                (!usage || doc.m_strPinUsage[std::size_t(i)] == usage))
                p.push_back(i);
        return p;
    };

    // The I2C buses first, so that an RTC finds the bus it names.
    std::map<std::string, std::shared_ptr<I2cBus>> buses;
    std::map<std::string, std::shared_ptr<Ds1339>> clocks;

    m_objects.clear();
    for (const auto &up : doc.m_objList) {
        const CCodeObject &o = *up;
        Wired w;
        w.object = &o;
        w.pins = pinsOf(o.m_strName);
        int pin = w.pins.empty() ? PinNumber(o.m_strPin) : w.pins.front();
        switch (o.m_nKind) {
        case kSimpleVGA: {
            auto hs = pinsOf(o.m_strName, "HSync");
            int base = hs.empty() ? PinNumber(o.m_strPin) : hs.front();
            if (base < 0 || base > 59)
                break;
            auto mon = std::make_shared<VgaMonitor>(base);
            if (!m_monitor)
                m_monitor = mon;
            for (int i = 0; i < 4; i++)
                m_analog.push_back(base + i);
            w.device = mon;
            break;
        }
        case kI2CBus: {
            auto scl = pinsOf(o.m_strName, "SCL"), sda = pinsOf(o.m_strName, "SDA");
            int c = scl.empty() ? PinNumber(o.m_strExtraPin[6]) : scl.front();
            int d = sda.empty() ? PinNumber(o.m_strExtraPin[5]) : sda.front();
            if (c < 0 || d < 0)
                break;
            double pull = o.m_nPullUp == 0 ? kBoardPullUpOhms : 0.0;
            if (auto *s = setFor(o.m_strName, "pullup")) {
                if (!ParseNumber(s->value, pull) || pull < 0) {
                    *error = "--set " + o.m_strName + ".pullup takes ohms (0 for none), not '" + s->value + "'";
                    return false;
                }
            }
            auto bus = std::make_shared<I2cBus>(c, d, pull);
            buses[o.m_strName] = bus;
            w.device = bus;
            break;
        }
        case kNeopixel: {
            int count = std::atoi(o.m_strText[2].c_str());
            if (pin < 0)
                break;
            w.device = std::make_shared<LedChain>(pin, std::clamp(count, 0, 100000), LedPartFor(o.m_nValue[3]));
            break;
        }
        case kNCO:
            if (pin >= 0)
                w.device = std::make_shared<FrequencyCounter>(pin);
            break;
        case kServo:
            if (pin >= 0)
                w.device = std::make_shared<PulseMeter>(pin);
            break;
        case kDigital: {
            if (pin < 0)
                break;
            std::optional<bool> input;
            if (auto *s = setFor(o.m_strName, "input")) {
                if (s->value == "1" || s->value == "high")
                    input = true;
                else if (s->value == "0" || s->value == "low")
                    input = false;
                else if (s->value != "none" && s->value != "float") {
                    *error = "--set " + o.m_strName + ".input takes 0, 1 or none, not '" + s->value + "'";
                    return false;
                }
            }
            w.device = std::make_shared<LogicProbe>(pin, input);
            break;
        }
        case kFilters:
            w.device = std::make_shared<FilterReadout>();
            break;
        case kDAC:
            if (pin >= 0) {
                w.device = std::make_shared<Voltmeter>(pin);
                m_analog.push_back(pin);
            }
            break;
        case kADC: {
            if (pin < 0)
                break;
            static const int kOffset[8] = {0, 1, 2, 3, 0, -3, -2, -1};
            int source = (pin + kOffset[o.m_nValue[2] & 7] + 64) & 63;
            double volts = kDefaultAdcVolts;
            if (auto *s = setFor(o.m_strName, "volts")) {
                if (!ParseNumber(s->value, volts) || volts < 0 || volts > 3.3) {
                    *error = "--set " + o.m_strName + ".volts takes 0 to 3.3, not '" + s->value + "'";
                    return false;
                }
            }
            w.device = std::make_shared<VoltageSource>(source, volts);
            m_analog.push_back(source);
            break;
        }
        default: // sound and USB: their own devices
            break;
        }
        if (w.device)
            m_devices.push_back(w.device);
        m_objects.push_back(std::move(w));
    }

    // Every bus an RTC names gets one DS1339.
    for (auto &w : m_objects) {
        const CCodeObject &o = *w.object;
        if (o.m_nKind != kRTC)
            continue;
        auto bus = buses.find(o.m_strText[0]);
        if (bus == buses.end())
            continue;
        auto &chip = clocks[o.m_strText[0]];
        if (!chip) {
            RtcTime start = Ds1339::kStartTime;
            if (auto *s = setFor(o.m_strName, "start")) {
                if (!ParseDateTime(s->value, start)) {
                    *error = "--set " + o.m_strName + ".start takes a date and time 'YYYY-MM-DD hh:mm:ss', not '" +
                             s->value + "'";
                    return false;
                }
            }
            chip = std::make_shared<Ds1339>(time, start);
            bus->second->addTarget(chip);
        }
        std::shared_ptr<Ds1339> c = chip;
        std::string busName = o.m_strText[0];
        w.observe = [c, busName] {
            Json j = c->observations();
            j["bus"] = busName;
            return j;
        };
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

std::string FindProjectBinary(const CKivoDoc &doc, std::string *error)
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
            return "";
        }
    if (!fs::exists(binary, ec)) {
        *error = "The project has not been compiled (" + binary.string() + " is missing): run Compile first.";
        return "";
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
            return "";
        }
    }
    return binary.string();
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

// The D- pin of a USB object as its generated Platform.h defines it.
int UsbDmPin(const CCodeObject &u)
{
    if (u.m_nValue[0] == 0) // the Parallax adapter: activity, enable, D-, D+ per port
        return TextToInt(u.m_strPin) + 4 * u.m_nValue[1] + 2;
    return TextToInt(u.m_strText[0]);
}

} // namespace

int RunProject(const CKivoDoc &doc, const ProjectRunOptions &options, std::ostream &out, std::ostream &err)
{
    std::string error;
    std::string binary = FindProjectBinary(doc, &error);
    if (binary.empty()) {
        err << "Error: " << error << "\n";
        return 1;
    }
    std::ifstream in(binary, std::ios::binary);
    std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        err << "Error: cannot read " << binary << "\n";
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
        std::vector<int> digital;
        if (options.vcdAll)
            for (int p = 0; p < 64; p++)
                digital.push_back(p);
        else
            digital = board.objectPins();
        digital.push_back(62);
        digital.push_back(63);
        vcd = std::make_shared<VcdRecorder>(options.vcdPath, digital, board.analogPins());
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
        for (const auto &o : doc.m_objList)
            if (!u && o->m_nKind == kUsbKbm)
                u = o.get();
        if (!u) {
            err << "Error: --usb-*: the project has no USB object\n";
            return 1;
        }
        usb = MakeUsbDevice(options.usb, UsbDmPin(*u), &error);
        if (!usb) {
            err << "kivo-cli: " << error << "\n";
            return 2;
        }
        chip.pins().attach(usb);
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
