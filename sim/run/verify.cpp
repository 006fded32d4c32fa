#include "run/verify.h"

#include "chip/chip.h"
#include "kinds/kind.h"
#include "model/codeobject.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "run/kindboard.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

namespace kivo::sim {

Verdict Pass(const std::string &evidence, Json measured)
{
    Verdict v;
    v.state = Verdict::State::Pass;
    v.text = evidence;
    v.measured = std::move(measured);
    return v;
}

Verdict Fail(const std::string &promised, const std::string &measured, Json values)
{
    Verdict v;
    v.state = Verdict::State::Fail;
    v.text = "promised " + promised + "; measured " + measured;
    v.measured = std::move(values);
    return v;
}

Verdict Skip(const std::string &reason)
{
    Verdict v;
    v.state = Verdict::State::Skipped;
    v.text = reason;
    return v;
}

const char *StateWord(Verdict::State state)
{
    switch (state) {
    case Verdict::State::Pass:
        return "PASS";
    case Verdict::State::Fail:
        return "FAIL";
    case Verdict::State::Skipped:
        break;
    }
    return "SKIP";
}

const char *StateName(Verdict::State state)
{
    switch (state) {
    case Verdict::State::Pass:
        return "pass";
    case Verdict::State::Fail:
        return "fail";
    case Verdict::State::Skipped:
        break;
    }
    return "skipped";
}

std::string VerifyView::folder() const { return std::filesystem::path(doc.m_strPathName).parent_path().string(); }

std::vector<std::string> ConsoleLines(const std::string &console)
{
    std::vector<std::string> out;
    std::istringstream s(console);
    std::string l;
    while (std::getline(s, l)) {
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
        out.push_back(std::move(l));
    }
    return out;
}

std::vector<std::string> VerifyView::lines(const std::string &prefix) const
{
    std::vector<std::string> out;
    for (auto &l : ConsoleLines(console))
        if (l.rfind(prefix, 0) == 0)
            out.push_back(std::move(l));
    return out;
}

double NumberAfterEquals(const std::string &line)
{
    auto at = line.rfind("= ");
    return at == std::string::npos ? 0.0 : std::atof(line.c_str() + at + 2);
}

std::string Shown(double value, int decimals)
{
    std::string s = Format("%.*f", decimals, value);
    if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.')
            s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

UsbRunOptions VerifyUsbDevice(const CKivoDoc &doc)
{
    UsbRunOptions usb;
    for (const auto &o : doc.m_objList)
        if (o->m_nKind == kUsbKbm) {
            FindKindBoard(kUsbKbm)->verifyDevice(*o, usb);
            break;
        }
    return usb;
}

std::vector<Verdict> JudgeObjects(const ProjectSession &session, const std::vector<std::string> &names)
{
    std::vector<Verdict> out;
    auto judge = [&](const ProjectBoard::Wired &w) {
        const IKindBoard *kind = FindKindBoard(w.object->m_nKind);
        VerifyView view{session.doc(),     session.board(),    w, session.chip().pins(), session.console(),
                        session.seconds(), session.usb().get()};
        Verdict v = kind ? kind->verify(view) : Skip("the kind is not known");
        v.name = w.object->m_strName;
        const IKind *k = FindKind(w.object->m_nKind);
        v.kind = k ? k->CliName() : "";
        out.push_back(std::move(v));
    };
    if (names.empty()) {
        for (const auto &w : session.board().objects())
            judge(w);
        return out;
    }
    for (const auto &name : names) {
        auto &objects = session.board().objects();
        auto it = std::find_if(objects.begin(), objects.end(),
                               [&](const ProjectBoard::Wired &w) { return w.object->m_strName == name; });
        if (it != objects.end()) {
            judge(*it);
            continue;
        }
        Verdict v = Fail("an object " + name, "none in the project");
        v.name = name;
        out.push_back(std::move(v));
    }
    return out;
}

namespace {

std::string XmlEscaped(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            // XML 1.0 has no other control characters than tab and the line ends.
            if (std::uint8_t(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                out += ' ';
            else
                out += c;
        }
    }
    return out;
}

} // namespace

std::string JUnitXml(const std::vector<JUnitSuite> &suites)
{
    auto count = [](const std::vector<Verdict> &cases, Verdict::State s) {
        return std::count_if(cases.begin(), cases.end(), [s](const Verdict &v) { return v.state == s; });
    };
    long tests = 0, failures = 0, skipped = 0;
    double seconds = 0;
    for (const auto &s : suites) {
        tests += long(s.cases.size());
        failures += count(s.cases, Verdict::State::Fail);
        skipped += count(s.cases, Verdict::State::Skipped);
        seconds += s.seconds;
    }
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    x += Format("<testsuites tests=\"%ld\" failures=\"%ld\" errors=\"0\" skipped=\"%ld\" time=\"%s\">\n", tests,
                failures, skipped, Shown(seconds, 6).c_str());
    for (const auto &s : suites) {
        x += "  <testsuite name=\"" + XmlEscaped(s.name) + "\"" +
             Format(" tests=\"%zu\" failures=\"%ld\" errors=\"0\" skipped=\"%ld\" time=\"%s\">\n", s.cases.size(),
                    long(count(s.cases, Verdict::State::Fail)), long(count(s.cases, Verdict::State::Skipped)),
                    Shown(s.seconds, 6).c_str());
        for (const auto &v : s.cases) {
            x += "    <testcase classname=\"" + XmlEscaped(s.name) + "\" name=\"" + XmlEscaped(v.name) +
                 "\" time=\"0\">\n";
            if (v.state == Verdict::State::Fail)
                x += "      <failure message=\"" + XmlEscaped(v.text) + "\"/>\n";
            else if (v.state == Verdict::State::Skipped)
                x += "      <skipped message=\"" + XmlEscaped(v.text) + "\"/>\n";
            else
                x += "      <system-out>" + XmlEscaped(v.text) + "</system-out>\n";
            x += "    </testcase>\n";
        }
        x += "  </testsuite>\n";
    }
    x += "</testsuites>\n";
    return x;
}

bool WriteJUnit(const std::string &path, const std::vector<JUnitSuite> &suites, std::string *error)
{
    if (std::string problem = outputProblem(path); !problem.empty()) {
        *error = "--junit: " + path + " cannot be written: " + problem;
        return false;
    }
    std::ofstream f(path, std::ios::binary);
    f << JUnitXml(suites);
    f.close();
    if (!f) {
        *error = "--junit: " + path + " cannot be written.";
        return false;
    }
    return true;
}

VerdictTally TallyVerdicts(const std::vector<Verdict> &verdicts)
{
    VerdictTally t;
    for (const auto &v : verdicts)
        (v.state == Verdict::State::Fail ? t.failed : v.state == Verdict::State::Pass ? t.passed : t.skipped)++;
    return t;
}

std::string VerdictCounts(const std::vector<Verdict> &verdicts)
{
    const VerdictTally t = TallyVerdicts(verdicts);
    return Format("%d passed, %d failed, %d skipped", t.passed, t.failed, t.skipped);
}

VerifyResult VerifyProject(const CKivoDoc &doc, std::optional<double> seconds, const std::function<bool()> &stop)
{
    VerifyResult r;
    ProjectSession session;
    if (r.status = session.open(doc, {}, VerifyUsbDevice(doc), &r.error); r.status != 0)
        return r;
    const double until = seconds ? *seconds : VerifySeconds(doc);
    session.runTo(until, stop);
    r.seconds = session.seconds();
    if (session.end() == ImageRunResult::End::Fault) {
        r.status = kExitSimulatorFault;
        r.error = session.fault();
        return r;
    }
    if (stop && !session.ended() && r.seconds + 1e-12 < until) {
        r.stopped = true;
        return r;
    }
    session.settle(true);
    r.verdicts = JudgeObjects(session);
    return r;
}

int RunVerify(const CKivoDoc &doc, const VerifyOptions &options, std::ostream &out, std::ostream &err)
{
    VerifyResult result = VerifyProject(doc, options.seconds);
    if (result.status != 0) {
        err << "Error: " << result.error << "\n";
        return result.status;
    }
    const std::vector<Verdict> &verdicts = result.verdicts;
    std::string error;
    const VerdictTally tally = TallyVerdicts(verdicts);
    const std::string project = std::filesystem::path(doc.m_strPathName).stem().string();
    if (!options.junitPath.empty() && !WriteJUnit(options.junitPath, {{project, result.seconds, verdicts}}, &error)) {
        err << "Error: " << error << "\n";
        return 1;
    }
    if (options.json) {
        Json r = Json::object();
        r["project"] = doc.m_strPathName;
        r["simulatedSeconds"] = Rounded(result.seconds, 9);
        Json list = Json::array();
        for (const auto &v : verdicts) {
            Json j = Json::object();
            j["name"] = v.name;
            j["kind"] = v.kind;
            j["verdict"] = StateName(v.state);
            j["text"] = v.text;
            j["measured"] = v.measured;
            list.push_back(std::move(j));
        }
        r["verdicts"] = std::move(list);
        r["passed"] = tally.passed;
        r["failed"] = tally.failed;
        r["skipped"] = tally.skipped;
        out << JsonText(r, 2) << "\n";
    } else {
        for (const auto &v : verdicts)
            out << StateWord(v.state) << " " << v.name << ": " << v.text << "\n";
        out << VerdictCounts(verdicts) << " in " << Shown(result.seconds, 3) << " simulated seconds\n";
    }
    out.flush();
    return tally.failed ? 1 : 0;
}

} // namespace kivo::sim
