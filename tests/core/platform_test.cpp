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
