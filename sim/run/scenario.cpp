#include "run/scenario.h"

#include "board/usb_device.h"
#include "board/vgamonitor.h"
#include "model/text.h"
#include "run/png.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>

namespace kivo::sim {

namespace fs = std::filesystem;

namespace {

struct StepName {
    const char *key;
    ScenarioStep::Kind kind;
};

constexpr StepName kStepNames[] = {
    {"wait-console", ScenarioStep::Kind::WaitConsole},
    {"at", ScenarioStep::Kind::At},
    {"wait", ScenarioStep::Kind::Wait},
    {"usb-keys", ScenarioStep::Kind::UsbKeys},
    {"usb-mouse", ScenarioStep::Kind::UsbMouse},
    {"usb-unplug", ScenarioStep::Kind::UsbUnplug},
    {"serial-in", ScenarioStep::Kind::SerialIn},
    {"set", ScenarioStep::Kind::Set},
    {"expect", ScenarioStep::Kind::Expect},
    {"verify", ScenarioStep::Kind::Verify},
    {"expect-frame", ScenarioStep::Kind::ExpectFrame},
};

// The options each step takes besides its own key.
bool TakesOption(ScenarioStep::Kind kind, const std::string &option)
{
    using K = ScenarioStep::Kind;
    if (option == "timeout")
        return kind == K::WaitConsole || kind == K::ExpectFrame;
    if (option == "near" || option == "tolerance" || option == "equals" || option == "matches")
        return kind == K::Expect;
    return false;
}

// A problem with the file, at a node's line.
struct BadFile {
    int line;
    std::string text;
};

int LineOf(const YAML::Node &n) { return n.Mark().is_null() ? 0 : n.Mark().line + 1; }

std::string Scalar(const YAML::Node &n, const std::string &what)
{
    if (!n.IsScalar())
        throw BadFile{LineOf(n), what + " takes a text"};
    return n.Scalar();
}

double Number(const YAML::Node &n, const std::string &what, bool zeroAllowed = true)
{
    const std::string v = n.IsScalar() ? n.Scalar() : std::string();
    char *end = nullptr;
    const double d = std::strtod(v.c_str(), &end);
    if (!n.IsScalar() || v.empty() || *end || v.find_first_not_of("0123456789.eE+-") != std::string::npos ||
        !std::isfinite(d) || d < 0 || (!zeroAllowed && d == 0))
        throw BadFile{LineOf(n), what + " takes a number of seconds" + (zeroAllowed ? "" : " above 0") +
                                     (n.IsScalar() ? ", not '" + v + "'" : "")};
    return d;
}

std::regex Pattern(const YAML::Node &n, const std::string &what)
{
    const std::string text = Scalar(n, what);
    try {
        return std::regex(text, std::regex::ECMAScript);
    } catch (const std::regex_error &e) {
        throw BadFile{LineOf(n), "bad regular expression '" + text + "': " + e.what()};
    }
}

// A YAML scalar as the JSON value it reads as: a number, true or false, or a text.
Json JsonOf(const std::string &v)
{
    char *end = nullptr;
    const double d = std::strtod(v.c_str(), &end);
    if (!v.empty() && !*end && v.find_first_not_of("0123456789.eE+-") == std::string::npos)
        return d;
    if (v == "true" || v == "false")
        return v == "true";
    return v;
}

std::string Joined(const std::vector<std::string> &parts, const std::string &between)
{
    std::string out;
    for (const auto &p : parts)
        out += (out.empty() ? "" : between) + p;
    return out;
}

std::vector<std::string> Split(const std::string &text, char at)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); i++)
        if (i == text.size() || text[i] == at) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    return parts;
}

std::string Quoted(const std::string &s)
{
    std::string q = "\"";
    for (char c : s)
        q += c == '\n' ? std::string("\\n") : c == '"' ? std::string("\\\"") : std::string(1, c);
    return q + "\"";
}

ScenarioStep ReadStep(const YAML::Node &node, const fs::path &folder, Scenario &s)
{
    ScenarioStep step;
    step.line = LineOf(node);
    if (!node.IsMap())
        throw BadFile{step.line, "a step is a map such as 'wait: 0.5'"};
    const StepName *name = nullptr;
    YAML::Node value;
    for (const auto &kv : node) {
        const std::string key = kv.first.IsScalar() ? kv.first.Scalar() : "";
        for (const auto &n : kStepNames)
            if (key == n.key) {
                if (name)
                    throw BadFile{LineOf(kv.first),
                                  std::string("one step has one kind, not both ") + name->key + " and " + key};
                name = &n;
                value = kv.second;
            }
    }
    if (!name) {
        if (node.size() == 0)
            throw BadFile{step.line, "an empty step"};
        const YAML::Node key = (*node.begin()).first;
        throw BadFile{step.line, "unknown step '" + (key.IsScalar() ? key.Scalar() : std::string()) + "'"};
    }
    step.kind = name->kind;
    const std::string kind = name->key;
    for (const auto &kv : node) {
        const std::string key = kv.first.IsScalar() ? kv.first.Scalar() : "";
        if (key != kind && !TakesOption(step.kind, key))
            throw BadFile{LineOf(kv.first), kind + " has no option '" + key + "'"};
    }
    if (node["timeout"])
        step.timeout = Number(node["timeout"], "timeout", false);
    using K = ScenarioStep::Kind;
    switch (step.kind) {
    case K::WaitConsole:
        step.text = Scalar(value, kind);
        step.pattern = Pattern(value, kind);
        step.label = kind + " " + Quoted(step.text);
        break;
    case K::At:
    case K::Wait:
        step.seconds = Number(value, kind);
        step.label = kind + " " + Shown(step.seconds, 6);
        break;
    case K::UsbKeys: {
        UsbRunOptions o;
        if (std::string problem = ParseUsbKeys(o, Scalar(value, kind)); !problem.empty())
            throw BadFile{LineOf(value), problem};
        step.text = o.keys;
        step.label = kind + " " + Quoted(value.Scalar());
        break;
    }
    case K::UsbMouse: {
        UsbRunOptions o;
        if (std::string problem = ParseUsbMouse(o, Scalar(value, kind)); !problem.empty())
            throw BadFile{LineOf(value), problem};
        step.moves = o.moves;
        step.label = kind + " " + Quoted(value.Scalar());
        break;
    }
    case K::UsbUnplug:
        step.seconds = Number(value, kind, false);
        step.label = kind + " " + Shown(step.seconds, 6);
        break;
    case K::SerialIn:
        step.text = Scalar(value, kind);
        step.label = kind + " " + Quoted(step.text);
        break;
    case K::Set: {
        step.text = Scalar(value, kind);
        const auto eq = step.text.find('='), dot = step.text.find('.');
        if (eq == std::string::npos || dot == std::string::npos || dot == 0 || dot + 1 >= eq)
            throw BadFile{LineOf(value), "set takes NAME.KEY=VALUE, not '" + step.text + "'"};
        step.label = kind + " " + step.text;
        break;
    }
    case K::Expect: {
        step.text = Scalar(value, kind);
        if (step.text.find('.') == std::string::npos)
            throw BadFile{LineOf(value), "expect takes NAME.OBSERVATION, not '" + step.text + "'"};
        int given = 0;
        if (node["near"]) {
            const YAML::Node n = node["near"];
            char *end = nullptr;
            const std::string v = n.IsScalar() ? n.Scalar() : "";
            const double d = std::strtod(v.c_str(), &end);
            if (v.empty() || *end)
                throw BadFile{LineOf(n), "near takes a number" + (n.IsScalar() ? ", not '" + v + "'" : "")};
            step.near = d;
            given++;
        }
        if (node["tolerance"]) {
            if (!node["near"])
                throw BadFile{LineOf(node["tolerance"]), "tolerance goes with near"};
            step.tolerance = Number(node["tolerance"], "tolerance");
        }
        if (node["equals"]) {
            step.equals = JsonOf(Scalar(node["equals"], "equals"));
            given++;
        }
        if (node["matches"]) {
            step.matches = Pattern(node["matches"], "matches");
            given++;
        }
        if (given != 1)
            throw BadFile{step.line, "expect takes one of near, equals or matches"};
        step.label = kind + " " + step.text;
        break;
    }
    case K::Verify:
        if (value.IsSequence()) {
            for (const auto &n : value)
                step.names.push_back(Scalar(n, "verify"));
        } else if (value.IsScalar() && value.Scalar() != "all") {
            step.names.push_back(value.Scalar());
        } else if (!value.IsNull() && !value.IsScalar()) {
            throw BadFile{LineOf(value), "verify takes a list of object names"};
        }
        step.label = kind + (step.names.empty() ? std::string(" every object") : " " + Joined(step.names, ", "));
        break;
    case K::ExpectFrame: {
        const std::string png = Scalar(value, kind);
        step.text = (folder / png).lexically_normal().string();
        std::error_code ec;
        if (!fs::is_regular_file(step.text, ec))
            throw BadFile{LineOf(value), "the frame " + png + " is not a file"};
        step.label = kind + " " + png;
        break;
    }
    }
    if (step.kind == K::UsbKeys || step.kind == K::UsbMouse || step.kind == K::UsbUnplug) {
        const std::string device = step.kind == K::UsbKeys ? "keyboard" : step.kind == K::UsbMouse ? "mouse" : "";
        if (!device.empty() && !s.usb.device.empty() && s.usb.device != device)
            throw BadFile{step.line, "a keyboard and a mouse at once need a USB hub, which the simulated board does "
                                     "not have"};
        if (!device.empty())
            s.usb.device = device;
    }
    return step;
}

// The step a line of the file belongs to (its number from 1, and its kind),
// read from the text itself: for a file that does not parse. 0 outside the
// steps.
int StepAt(const std::string &path, int line, std::string &kind)
{
    std::ifstream in(path, std::ios::binary);
    std::string l;
    int number = 0, at = 0;
    bool inSteps = false;
    std::size_t indent = std::string::npos;
    while (std::getline(in, l) && ++at <= line) {
        if (l.rfind("steps:", 0) == 0) {
            inSteps = true;
            continue;
        }
        const std::size_t first = l.find_first_not_of(' ');
        if (first == std::string::npos || l[first] == '#')
            continue;
        if (first == 0) {
            inSteps = false;
            continue;
        }
        if (!inSteps || l[first] != '-' || (indent != std::string::npos && first != indent))
            continue;
        indent = first;
        ++number;
        const std::size_t key = l.find_first_not_of(' ', first + 1);
        kind = key == std::string::npos ? "" : l.substr(key, l.find(':', key) - key);
    }
    return number;
}

} // namespace

bool LoadScenario(const std::string &path, Scenario &s, std::string *error)
{
    s = Scenario{};
    s.file = path;
    int stepNumber = 0;
    std::string stepKind;
    auto fail = [&](int line, const std::string &text) {
        *error =
            path + ":" + std::to_string(line) + ": " +
            (stepNumber ? "step " + std::to_string(stepNumber) + (stepKind.empty() ? "" : " (" + stepKind + ")") + ": "
                        : "") +
            text;
        return false;
    };
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return fail(0, "a folder, not a scenario file");
    YAML::Node root;
    try {
        root = YAML::LoadFile(path);
    } catch (const YAML::BadFile &) {
        *error = path + ": cannot be read";
        return false;
    } catch (const YAML::Exception &e) {
        stepNumber = StepAt(path, e.mark.line + 1, stepKind);
        return fail(e.mark.line + 1, "not YAML: " + e.msg);
    }
    const fs::path folder = fs::absolute(fs::path(path), ec).parent_path();
    try {
        if (!root.IsMap())
            throw BadFile{LineOf(root), "a scenario is a map with project, time and steps"};
        for (const auto &kv : root) {
            const std::string key = kv.first.IsScalar() ? kv.first.Scalar() : "";
            if (key != "project" && key != "time" && key != "steps")
                throw BadFile{LineOf(kv.first), "a scenario has no key '" + key + "' (project, time, steps)"};
        }
        const YAML::Node project = root["project"];
        if (!project)
            throw BadFile{1, "no project: name the .kivo file, relative to the scenario"};
        s.projectLine = LineOf(project);
        s.project = (folder / Scalar(project, "project")).lexically_normal().string();
        if (!fs::is_regular_file(s.project, ec))
            throw BadFile{s.projectLine, "the project " + project.Scalar() + " is not a file"};
        if (root["time"])
            s.time = Number(root["time"], "time", false);
        const YAML::Node steps = root["steps"];
        if (!steps || !steps.IsSequence())
            throw BadFile{steps ? LineOf(steps) : 1, "no steps: give a list of steps"};
        for (const auto &n : steps) {
            ++stepNumber;
            stepKind.clear();
            if (n.IsMap() && n.size() && (*n.begin()).first.IsScalar())
                stepKind = (*n.begin()).first.Scalar();
            if (n.IsMap())
                for (const auto &kv : n)
                    for (const auto &k : kStepNames)
                        if (kv.first.IsScalar() && kv.first.Scalar() == k.key)
                            stepKind = k.key;
            s.steps.push_back(ReadStep(n, folder, s));
        }
    } catch (const BadFile &b) {
        return fail(b.line, b.text);
    } catch (const YAML::Exception &e) {
        return fail(e.mark.line + 1, e.msg);
    }
    return true;
}

namespace {

// The observation at NAME.KEY[.KEY...] of the board's report; null when none.
Json Observation(const ProjectBoard &board, const std::string &path)
{
    std::vector<std::string> parts = Split(path, '.');
    for (const auto &o : board.report())
        if (o.at("name").get<std::string>() == parts.front()) {
            Json at = o.at("observations");
            for (std::size_t i = 1; i < parts.size(); i++) {
                if (at.is_object() && at.contains(parts[i]))
                    at = Json(at.at(parts[i]));
                else if (at.is_array() && !parts[i].empty() &&
                         parts[i].find_first_not_of("0123456789") == std::string::npos &&
                         std::stoul(parts[i]) < at.size())
                    at = Json(at.at(std::stoul(parts[i])));
                else
                    return nullptr;
            }
            return at;
        }
    return nullptr;
}

std::string TextOf(const Json &v) { return v.is_string() ? v.get<std::string>() : JsonLine(v); }

} // namespace

ScenarioResult RunScenario(const Scenario &s, const CKivoDoc &doc, std::ostream &out)
{
    ScenarioResult r;
    ProjectSession session;
    std::string error;
    // Without USB steps of its own, a scenario that verifies plugs in what
    // verify would.
    const bool verifies = std::any_of(s.steps.begin(), s.steps.end(),
                                      [](const ScenarioStep &x) { return x.kind == ScenarioStep::Kind::Verify; });
    const int opened = session.open(doc, {}, s.usb.any() || !verifies ? s.usb : VerifyUsbDevice(doc), &error);
    auto finish = [&](int status) {
        r.status = status;
        r.seconds = session.seconds();
        return r;
    };
    if (opened != 0) {
        if (opened == 2) {
            r.error = s.file + ":" + std::to_string(s.projectLine) + ": " + error;
            return finish(2);
        }
        Verdict v = Fail("a compiled project", error);
        v.name = "project";
        out << "  FAIL project: " << error << "\n";
        r.steps.push_back(v);
        return finish(1);
    }
    std::size_t consoleFrom = 0; // wait-console searches from after the last match
    using K = ScenarioStep::Kind;
    int number = 0;
    for (const ScenarioStep &step : s.steps) {
        ++number;
        Verdict v;
        const double now = session.seconds();
        auto deadline = [&](double span) { return std::min(now + span, s.time); };
        switch (step.kind) {
        case K::WaitConsole: {
            std::smatch m;
            auto seen = [&] {
                const std::string &c = session.console();
                return std::regex_search(c.begin() + std::ptrdiff_t(consoleFrom), c.end(), m, step.pattern);
            };
            session.runTo(deadline(step.timeout), seen);
            if (seen()) {
                v = Pass("seen at " + Shown(session.seconds(), 3) + " s: " + Quoted(m.str()));
                consoleFrom += std::size_t(m.position(0) + m.length(0));
            } else {
                v = Fail("console text matching " + Quoted(step.text) + " within " + Shown(step.timeout, 3) + " s",
                         "none by " + Shown(session.seconds(), 3) + " s" +
                             (session.ended() ? " (the program ended)" : ""));
            }
            break;
        }
        case K::At:
        case K::Wait: {
            const double target = step.kind == K::At ? step.seconds : now + step.seconds;
            if (target > s.time + 1e-9) {
                v = Fail(Shown(target, 3) + " s within the scenario's " + Shown(s.time, 3) + " s", "beyond it");
                break;
            }
            session.runTo(target);
            v = Pass("at " + Shown(session.seconds(), 3) + " s" + (session.ended() ? " (the program ended)" : ""));
            break;
        }
        case K::UsbKeys:
        case K::UsbMouse:
        case K::UsbUnplug: {
            auto usb = std::dynamic_pointer_cast<UsbDevice>(session.usb());
            if (!usb) {
                v = Fail("a USB device", "none plugged in");
                break;
            }
            session.settle(false);
            if (step.kind == K::UsbKeys) {
                if (!usb->typeText(step.text, 0.05, 0.05, &error)) {
                    r.error = s.file + ":" + std::to_string(step.line) + ": step " + std::to_string(number) +
                              " (usb-keys): " + error;
                    return finish(2);
                }
                v = Pass("typing " + std::to_string(step.text.size()) + " keys from " + Shown(now, 3) + " s");
            } else if (step.kind == K::UsbMouse) {
                usb->move(step.moves, 0.02);
                v = Pass(std::to_string(step.moves.size()) + " mouse reports from " + Shown(now, 3) + " s");
            } else {
                usb->setUnplug(now, now + step.seconds);
                v = Pass("unplugged from " + Shown(now, 3) + " to " + Shown(now + step.seconds, 3) + " s");
            }
            session.settle(false); // the pins learn the device's new schedule
            break;
        }
        case K::SerialIn:
            session.sendSerial(step.text);
            v = Pass("sending " + std::to_string(step.text.size()) + " bytes from " + Shown(now, 3) + " s");
            break;
        case K::Set:
            if (std::string problem = session.change(step.text); !problem.empty()) {
                r.error = s.file + ":" + std::to_string(step.line) + ": step " + std::to_string(number) +
                          " (set): " + problem;
                return finish(2);
            }
            v = Pass(step.text + " from " + Shown(now, 3) + " s");
            break;
        case K::Expect: {
            session.settle(false);
            const Json got = Observation(session.board(), step.text);
            std::string want;
            bool ok = false;
            if (step.near) {
                want = Shown(*step.near, 6) + " within " + Shown(step.tolerance, 6);
                ok = got.is_number() && std::fabs(got.get<double>() - *step.near) <= step.tolerance;
            } else if (step.equals) {
                want = TextOf(*step.equals);
                ok = got.is_number() && step.equals->is_number() ? got.get<double>() == step.equals->get<double>()
                                                                 : !got.is_null() && TextOf(got) == want;
            } else {
                want = "a value matching the pattern";
                ok = !got.is_null() && std::regex_search(TextOf(got), *step.matches);
            }
            Json measured = Json::object();
            measured["value"] = got;
            v = ok ? Pass(step.text + " = " + TextOf(got), measured)
                   : Fail(step.text + " " + want, got.is_null() ? "no such observation" : TextOf(got), measured);
            break;
        }
        case K::Verify: {
            session.settle(false);
            std::string passed, failed;
            for (const Verdict &x : JudgeObjects(session, step.names)) {
                std::string &to = x.state == Verdict::State::Fail ? failed : passed;
                to += (to.empty() ? "" : "; ") + std::string(StateWord(x.state)) + " " + x.name + ": " + x.text;
            }
            v = failed.empty() ? Pass(passed) : Verdict{};
            if (!failed.empty()) {
                v.state = Verdict::State::Fail;
                v.text = failed;
            }
            break;
        }
        case K::ExpectFrame: {
            auto mon = session.board().monitor();
            if (!mon) {
                v = Fail("a frame on the monitor", "the project has no VGA object");
                break;
            }
            int w = 0, h = 0;
            std::vector<std::uint8_t> golden;
            if (!ReadPng(step.text, w, h, golden, &error) || w != VgaMonitor::kWidth || h != VgaMonitor::kHeight) {
                r.error = s.file + ":" + std::to_string(step.line) + ": step " + std::to_string(number) +
                          " (expect-frame): " + step.text + " is not a 640 x 480 RGB PNG" +
                          (error.empty() ? "" : ": " + error);
                return finish(2);
            }
            session.settle(false);
            mon->captureNext();
            session.runTo(deadline(step.timeout), [&] { return mon->captured(); });
            if (!mon->captured()) {
                v = Fail("a frame within " + Shown(step.timeout, 3) + " s", "no complete frame");
                break;
            }
            const auto &frame = mon->frame();
            long bad = 0, first = -1;
            for (std::size_t i = 0; i < golden.size(); i++)
                if (std::abs(int(frame[i]) - int(golden[i])) > 1 && bad++ == 0)
                    first = long(i / 3);
            v = bad ? Fail("the frame of " + fs::path(step.text).filename().string() + " within one level",
                           Format("%ld channels differ, the first at pixel %ld,%ld", bad, first % w, first / w))
                    : Pass("the frame at " + Shown(session.seconds(), 3) + " s equals " +
                           fs::path(step.text).filename().string());
            break;
        }
        }
        if (session.end() == ImageRunResult::End::Fault) {
            out << "  FAIL step " << number << " " << step.label << ": simulator fault: " << session.fault() << "\n";
            r.error = session.fault();
            return finish(3);
        }
        v.name = "step " + std::to_string(number) + " " + step.label;
        out << "  " << StateWord(v.state) << " " << v.name << ": " << v.text << "\n";
        const bool failed = v.state == Verdict::State::Fail;
        r.steps.push_back(std::move(v));
        if (failed)
            return finish(1);
    }
    return finish(0);
}

} // namespace kivo::sim
