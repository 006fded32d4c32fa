// The additional options as words, and scripts that do only what the
// settings say.
#include "generator/scripts.h"
#include "project.h"

#include <sys/stat.h>

using namespace kivo;

namespace {

struct WordsCase {
    const char *text;
    std::vector<std::string> words;
    char unsafe;
    bool unclosed;
};

void PrintTo(const WordsCase &c, std::ostream *os) { *os << c.text; }

class OptionWordsTable : public ::testing::TestWithParam<WordsCase>
{
};

TEST_P(OptionWordsTable, SplitsAsTheShellWouldWithoutExpanding)
{
    const WordsCase &c = GetParam();
    OptionWords w = SplitOptionWords(c.text);
    EXPECT_EQ(w.words, c.words);
    EXPECT_EQ(w.unsafe, c.unsafe);
    EXPECT_EQ(w.unclosedQuote, c.unclosed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OptionWordsTable,
    ::testing::Values(WordsCase{"", {}, 0, false}, WordsCase{"  \t ", {}, 0, false},
                      WordsCase{"--fixed --fcache=200", {"--fixed", "--fcache=200"}, 0, false},
                      WordsCase{"  -O1   -g ", {"-O1", "-g"}, 0, false},
                      WordsCase{"-D 'NAME=a b'", {"-D", "NAME=a b"}, 0, false},
                      WordsCase{"-D\"X=$HOME\"", {"-DX=$HOME"}, 0, false}, WordsCase{"'it''s'", {"its"}, 0, false},
                      WordsCase{"\"it's\"", {"it's"}, 0, false}, WordsCase{"''", {""}, 0, false},
                      WordsCase{"a\\ b c", {"a b", "c"}, 0, false}, WordsCase{"a\\\"b", {"a\"b"}, 0, false},
                      WordsCase{"end\\", {"end\\"}, 0, false},
                      WordsCase{"--fixed; touch X", {"--fixed;", "touch", "X"}, ';', false},
                      WordsCase{"$(id)", {"$(id)"}, '$', false}, WordsCase{"`id`", {"`id`"}, '`', false},
                      WordsCase{"a|b", {"a|b"}, '|', false}, WordsCase{"a&", {"a&"}, '&', false},
                      WordsCase{">out", {">out"}, '>', false}, WordsCase{"<in", {"<in"}, '<', false},
                      WordsCase{"%PATH%", {"%PATH%"}, '%', false}, WordsCase{"a^b", {"a^b"}, '^', false},
                      WordsCase{"a\\;b", {"a;b"}, ';', false}, WordsCase{"'a;b' \"c|d\"", {"a;b", "c|d"}, 0, false},
                      WordsCase{"a\nb", {"a", "b"}, '\n', false}, WordsCase{"'a\nb'", {"a\nb"}, '\n', false},
                      WordsCase{"'open", {"open"}, 0, true}));

// A stand-in compiler that writes its arguments one per line.
std::string StandIn(const test::TempDir &dir, const std::string &log)
{
    const std::string bin = dir / "bin";
    std::filesystem::create_directories(bin);
    test::WriteFileBytes(bin + "/flexspin",
                         "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >" + test::Quote(log) + "\n");
    ::chmod((bin + "/flexspin").c_str(), 0755);
    return bin;
}

} // namespace

TEST(SafeScripts, OptionsThatTryToRunACommandReachTheCompilerAsWords)
{
    test::Project p;
    const std::string log = p.dir / "args.txt";
    p.doc.m_strFlexSpinPath = StandIn(p.dir, log);
    p.doc.m_bUseFlexOptions = 1;
    p.doc.m_strFlexOptions = "--fixed; touch PWNED1 $(touch PWNED2) `touch PWNED3` | touch PWNED4 && 'a b' \"c\"";
    p.doc.m_bSetOptLevel = 1;
    p.doc.m_strOptLevel = "1;touch PWNED5";
    p.Generate();
    std::string output;
    int rc = test::RunShell("cd " + test::Quote(p.dir.Path()) + " && sh build.sh", p.dir / "out.txt", output);
    EXPECT_EQ(rc, 0) << output;
    for (auto n : {"PWNED1", "PWNED2", "PWNED3", "PWNED4", "PWNED5"})
        EXPECT_FALSE(std::filesystem::exists(p.dir / n)) << n;
    EXPECT_EQ(test::ReadFileBytes(log), "-2\n-L\n" + (p.dir / "include") +
                                            "\n-O1;touch PWNED5\n--fixed;\ntouch\nPWNED1\n$(touch\nPWNED2)\n"
                                            "`touch\nPWNED3`\n|\ntouch\nPWNED4\n&&\na b\nc\nBlink.c\n");
    // The Windows script quotes each word, as the text holds characters
    // cmd.exe acts on; the checker refuses the project all the same.
    EXPECT_NE(test::ReadFileBytes(p.dir / "build.bat").find(" \"--fixed;\" \"touch\" \"PWNED1\""), std::string::npos);
}
