// kivo-cli verify: the compiled project on the simulated board, each object
// judged against what its settings promise.
#include "verify.h"

#include "cli.h"
#include "model/kivodoc.h"
#include "platform/messages.h"
#include "platform/result.h"
#include "platform/services.h"
#include "run/scenario.h"
#include "run/verify.h"

#include <cstdlib>
#include <filesystem>
#include <ostream>

namespace kivo {

namespace {

const char *kVerifyUsage = "usage: kivo-cli verify FILE.kivo [--time SECONDS] [--junit FILE.xml] [--json]\n"
                           "  --time SECONDS   simulated seconds to run (default: what the slowest object needs, "
                           "at most 10)\n"
                           "  --junit FILE.xml write one JUnit test case per object\n"
                           "  --json           print the verdicts with their measured values as JSON\n";

// A number of simulated seconds above 0, decimal only.
bool ParseTime(const std::string &v, double &seconds)
{
    char *end = nullptr;
    seconds = std::strtod(v.c_str(), &end);
    return !v.empty() && !*end && v.find_first_not_of("0123456789.eE+-") == std::string::npos && seconds > 0 &&
           seconds <= 1e6;
}

} // namespace

int CmdVerify(const std::vector<std::string> &args, Services &services, std::ostream &out, std::ostream &err)
{
    sim::VerifyOptions o;
    std::string file;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h") {
            out << kVerifyUsage;
            return kExitOk;
        }
        if (a == "--json") {
            o.json = true;
            continue;
        }
        if (a == "--time" || a == "--junit") {
            if (i + 1 >= args.size()) {
                err << "kivo-cli: " << a << " needs a value\n" << kVerifyUsage;
                return kExitUsage;
            }
            const std::string &v = args[++i];
            if (a == "--junit") {
                o.junitPath = v;
                continue;
            }
            double s = 0;
            if (!ParseTime(v, s)) {
                err << "kivo-cli: --time takes a number of seconds above 0, not '" << v << "'\n";
                return kExitUsage;
            }
            o.seconds = s;
            continue;
        }
        if (a.rfind("--", 0) == 0) {
            err << "kivo-cli: verify has no option " << a << "\n" << kVerifyUsage;
            return kExitUsage;
        }
        if (!file.empty()) {
            err << "kivo-cli: verify takes one FILE.kivo\n" << kVerifyUsage;
            return kExitUsage;
        }
        file = a;
    }
    if (file.empty()) {
        err << "kivo-cli: verify takes a FILE.kivo\n" << kVerifyUsage;
        return kExitUsage;
    }
    CKivoDoc doc;
    std::error_code ec;
    auto path = std::filesystem::absolute(file, ec);
    if (Result opened = OpenProjectFile(ec ? file : path.lexically_normal().string(), doc, services); !opened) {
        ShowResult(services.messages, opened);
        return kExitFailed;
    }
    return sim::RunVerify(doc, o, out, err);
}

namespace {

const char *kTestUsage = "usage: kivo-cli test SCENARIO.yaml... [--junit FILE.xml]\n"
                         "  runs each scenario's steps on its project's simulated board\n"
                         "  --junit FILE.xml write one JUnit test suite per scenario, a case per step\n";

} // namespace

int CmdTest(const std::vector<std::string> &args, Services &services, std::ostream &out, std::ostream &err)
{
    std::vector<std::string> files;
    std::string junit;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h") {
            out << kTestUsage;
            return kExitOk;
        }
        if (a == "--junit") {
            if (i + 1 >= args.size()) {
                err << "kivo-cli: --junit needs a value\n" << kTestUsage;
                return kExitUsage;
            }
            junit = args[++i];
            continue;
        }
        if (a.rfind("--", 0) == 0) {
            err << "kivo-cli: test has no option " << a << "\n" << kTestUsage;
            return kExitUsage;
        }
        files.push_back(a);
    }
    if (files.empty()) {
        err << "kivo-cli: test takes one or more SCENARIO.yaml files\n" << kTestUsage;
        return kExitUsage;
    }
    bool bad = false, failed = false, fault = false;
    int passed = 0;
    std::vector<sim::JUnitSuite> suites;
    for (const std::string &file : files) {
        sim::JUnitSuite suite;
        suite.name = std::filesystem::path(file).stem().string();
        auto badFile = [&](const std::string &message) {
            err << "kivo-cli: " << message << "\n";
            sim::Verdict v = sim::Fail("a valid scenario file", message);
            v.name = "scenario file";
            suite.cases.push_back(v);
            bad = true;
        };
        sim::Scenario scenario;
        std::string error;
        if (!sim::LoadScenario(file, scenario, &error)) {
            badFile(error);
            suites.push_back(std::move(suite));
            continue;
        }
        CKivoDoc doc;
        if (Result opened = OpenProjectFile(scenario.project, doc, services); !opened) {
            badFile(file + ":" + std::to_string(scenario.projectLine) + ": " + opened.text);
            suites.push_back(std::move(suite));
            continue;
        }
        out << "SCENARIO " << file << ": " << std::filesystem::path(scenario.project).filename().string() << "\n";
        sim::ScenarioResult r = sim::RunScenario(scenario, doc, out);
        suite.cases = r.steps;
        suite.seconds = r.seconds;
        if (r.status == 2) {
            badFile(r.error);
        } else if (r.status == 3) {
            err << "Error: " << r.error << "\n";
            fault = true;
        } else if (r.status == 1) {
            failed = true;
        } else {
            passed++;
        }
        out << (r.status == 0 ? "PASS " : "FAIL ") << file << ": " << r.steps.size() << " of " << scenario.steps.size()
            << " steps passed" << (r.status == 0 ? "" : " before a failure") << " in " << sim::Shown(r.seconds, 3)
            << " simulated seconds\n";
        suites.push_back(std::move(suite));
    }
    if (files.size() > 1)
        out << passed << " of " << files.size() << " scenarios passed\n";
    if (!junit.empty()) {
        std::string error;
        if (!sim::WriteJUnit(junit, suites, &error)) {
            err << "Error: " << error << "\n";
            return kExitFailed;
        }
    }
    return bad ? kExitUsage : fault ? sim::kExitSimulatorFault : failed ? kExitFailed : kExitOk;
}

} // namespace kivo
