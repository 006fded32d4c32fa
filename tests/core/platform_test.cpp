#include "platform/clock.h"
#include "platform/profile.h"
#include "testsupport.h"

#include <cstdlib>

using namespace kivo;

TEST(Profile, FileProfileKeepsValuesAcrossInstances)
{
    test::TempDir dir;
    std::string path = dir / "cfg/kivo/kivo.conf";
    {
        FileProfile p(path);
        EXPECT_EQ(p.GetString("FlexSpinPath", "dflt"), "dflt");
        p.SetString("FlexSpinPath", "C:\\FlexProp\\bin");
        p.SetString("Odd", "line\nbreak=and\\slash");
        p.SetInt("ApplicationLook", 217);
        EXPECT_TRUE(p.LastWriteOk());
    }
    FileProfile again(path);
    EXPECT_EQ(again.GetString("FlexSpinPath", ""), "C:\\FlexProp\\bin");
    EXPECT_EQ(again.GetString("Odd", ""), "line\nbreak=and\\slash");
    EXPECT_EQ(again.GetInt("ApplicationLook", 0), 217);
    EXPECT_EQ(again.GetInt("Missing", 5), 5);
}

TEST(Profile, UnreadableProfileCountsAsEmpty)
{
    test::TempDir dir;
    test::WriteFileBytes(dir / "kivo.conf", std::string("garbage without equals\n\x00\xFF=\n=x\n", 25));
    FileProfile p(dir / "kivo.conf");
    EXPECT_EQ(p.GetString("FlexSpinPath", "d"), "d");
    FileProfile nowhere(dir / "is-a-file/kivo.conf");
    test::WriteFileBytes(dir / "is-a-file", "x");
    nowhere.SetString("A", "B");
    EXPECT_FALSE(nowhere.LastWriteOk());
    EXPECT_EQ(nowhere.GetString("A", ""), "B"); // still held for this run
}

TEST(Clock, SourceDateEpochFixesTheTime)
{
    const char *oldTz = std::getenv("TZ");
    std::string savedTz = oldTz ? oldTz : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    ::setenv("SOURCE_DATE_EPOCH", "1700000000", 1); // Tuesday 2023-11-14 22:13:20 UTC
    LocalDateTime t = SystemClock().Now();
    ::unsetenv("SOURCE_DATE_EPOCH");
    if (oldTz)
        ::setenv("TZ", savedTz.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    EXPECT_EQ(t.year, 2023);
    EXPECT_EQ(t.month, 11);
    EXPECT_EQ(t.day, 14);
    EXPECT_EQ(t.weekday, 2);
    EXPECT_EQ(t.hour, 22);
    EXPECT_EQ(t.minute, 13);
    EXPECT_EQ(t.second, 20);
}

// A fixed instant past the year 9999, negative or not a number is refused:
// the year would overflow.
TEST(Clock, SourceDateEpochOutOfRangeIsAProblem)
{
    const std::pair<const char *, bool> cases[] = {
        {"253402300799", true}, {"0", true},      {"253402300800", false},           {"67768036191676799", false},
        {"-1", false},          {"12abc", false}, {"99999999999999999999999", false}};
    for (auto [value, ok] : cases) {
        ::setenv("SOURCE_DATE_EPOCH", value, 1);
        SystemClock clock;
        std::string problem = clock.Problem();
        LocalDateTime t = clock.Now();
        EXPECT_EQ(problem.empty(), ok) << value;
        EXPECT_GE(t.year, 1969) << value;
        EXPECT_LE(t.year, 10000) << value;
        if (!ok) {
            EXPECT_NE(problem.find(value), std::string::npos) << problem;
        }
    }
    ::unsetenv("SOURCE_DATE_EPOCH");
}
