// Golden cases: every folder here holds `steps`, the kivo-cli commands that
// build a project, and `expected/`, the files those commands must write.
// README.md tells how to add one.
#include "golden.h"
#include "kivocli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace kivo::test {
namespace {

namespace fs = std::filesystem;

// Wednesday 2026-12-09 13:45:30 UTC, the clock of the in-process tests.
const char *const kClock = "TZ=UTC SOURCE_DATE_EPOCH=1796823930 ";

fs::path CasesFolder() { return KIVO_TEST_CASES; }

std::vector<std::string> CaseNames()
{
    std::vector<std::string> names;
    for (auto &e : fs::directory_iterator(CasesFolder()))
        if (e.is_directory() && fs::exists(e.path() / "steps"))
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Step {
    int line = 0;
    std::string text;
    std::vector<std::string> args;
    bool mustFail = false; // written with a leading "!"
};

// One command a line, its words split at blanks; '...' or "..." keep blanks
// and the other quote inside a word; a backslash is an ordinary character,
// as in a Windows path. '#' starts a comment line.
std::vector<Step> ReadSteps(const fs::path &file)
{
    std::vector<Step> steps;
    std::ifstream in(file);
    std::string text;
    for (int n = 1; std::getline(in, text); ++n) {
        Step s{n, text, {}, false};
        auto first = text.find_first_not_of(" \t\r");
        if (first == std::string::npos || text[first] == '#')
            continue;
        std::string word;
        bool inWord = false;
        char quote = 0;
        for (char c : text) {
            if (quote) {
                if (c == quote)
                    quote = 0;
                else
                    word += c;
            } else if (c == '\'' || c == '"') {
                quote = c;
                inWord = true;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                if (inWord)
                    s.args.push_back(word);
                word.clear();
                inWord = false;
            } else {
                word += c;
                inWord = true;
            }
        }
        EXPECT_EQ(quote, 0) << file.string() << ":" << n << ": unclosed quote";
        if (inWord)
            s.args.push_back(word);
        if (s.args[0] == "!") {
            s.mustFail = true;
            s.args.erase(s.args.begin());
        } else if (s.args[0][0] == '!') {
            s.mustFail = true;
            s.args[0].erase(0, 1);
        }
        steps.push_back(std::move(s));
    }
    return steps;
}

// The files under `folder`, as paths relative to it, in order.
std::vector<fs::path> FilesUnder(const fs::path &folder)
{
    std::vector<fs::path> files;
    if (fs::exists(folder))
        for (auto &e : fs::recursive_directory_iterator(folder))
            if (e.is_regular_file())
                files.push_back(fs::relative(e.path(), folder));
    std::sort(files.begin(), files.end());
    return files;
}

class GoldenCase : public testing::TestWithParam<std::string>
{
};

TEST_P(GoldenCase, WritesTheExpectedFiles)
{
    const fs::path folder = CasesFolder() / GetParam();
    KivoCli cli;
    cli.env = std::string(kClock) + "HOME=" + Quote(cli.dir.Path()) + " ";
    // Files a case starts from, such as a project an older version saved.
    for (auto &f : FilesUnder(folder / "input")) {
        fs::create_directories(fs::path(cli.dir / f.string()).parent_path());
        fs::copy_file(folder / "input" / f, cli.dir / f.string());
    }
    const auto steps = ReadSteps(folder / "steps");
    ASSERT_FALSE(steps.empty()) << "no commands in " << (folder / "steps").string();
    for (auto &s : steps) {
        CliRun r = cli.Run(s.args);
        if (s.mustFail)
            ASSERT_NE(r.exitCode, 0) << "steps:" << s.line << ": " << s.text << " should have failed\n" << r.err;
        else
            ASSERT_EQ(r.exitCode, 0) << "steps:" << s.line << ": " << s.text << "\n" << r.out << r.err;
    }

    const auto expected = FilesUnder(folder / "expected");
    ASSERT_FALSE(expected.empty()) << "no files in " << (folder / "expected").string()
                                   << " (create the files to compare, empty, and run with KIVO_UPDATE_GOLDEN=1)";
    for (auto &f : expected) {
        const std::string written = cli.dir / f.string();
        if (!fs::exists(written)) {
            ADD_FAILURE() << f.string() << " was not written";
            continue;
        }
        SCOPED_TRACE(f.string());
        ExpectFileBytes((folder / "expected" / f).string(), ReadFileBytes(written));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenCase, testing::ValuesIn(CaseNames()), [](const auto &info) {
    std::string name = info.param;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
});

} // namespace
} // namespace kivo::test
