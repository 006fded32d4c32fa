// Generate again after the user edited the generated files, and generate
// again with nothing changed.
#include "project.h"

#include <filesystem>

using namespace kivo;

namespace {

namespace fs = std::filesystem;

std::string Replaced(std::string text, const std::string &from, const std::string &to)
{
    auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

// What a fresh folder gets for the same project: the output without edits.
std::string FreshMainFile(CKivoDoc &doc)
{
    test::TempDir other;
    std::string saved = doc.m_strPathName;
    doc.m_strPathName = other / "Blink.kivo";
    test::TestServices t;
    GenerateProject(doc, t.services);
    doc.m_strPathName = saved;
    return test::ReadFileBytes(other / "Blink.c");
}

void AgeFile(const std::string &path)
{
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(1));
}

} // namespace

TEST(KeepEdits, AnEditInLoopSurvivesAddingAnObject)
{
    test::Project p;
    p.Add(kServo);
    p.Generate();
    const std::string edited =
        Replaced(p.MainFile(), "{//LOOP\r\n", "{//LOOP\r\n    Servo1_position = 45; // my own line\r\n");
    test::WriteFileBytes(p.dir / "Blink.c", edited);

    ASSERT_EQ(p.Add(kDAC), AddResult::Added);
    p.Generate();
    const std::string expected =
        Replaced(FreshMainFile(p.doc), "{//LOOP\r\n", "{//LOOP\r\n    Servo1_position = 45; // my own line\r\n");
    EXPECT_EQ(p.MainFile(), expected);
    EXPECT_EQ(test::ReadFileBytes(p.dir / "Blink.c.orig"), edited);
    EXPECT_FALSE(fs::exists(p.dir / "Blink.c.new"));
    EXPECT_TRUE(p.t.merger.Started());
    EXPECT_EQ(p.Said(), "Kivo: Project files created.\n\nYour changes to Blink.c were carried into the new code (your "
                        "file as it was is Blink.c.orig).\n");
    // The record holds the plain output, so the next run merges against it
    // and, with nothing new, leaves the user's file alone.
    EXPECT_EQ(test::ReadFileBytes(p.dir / ".kivo-generated/Blink.c"), FreshMainFile(p.doc));
    fs::remove(p.dir / "Blink.c.orig");
    AgeFile(p.dir / "Blink.c");
    auto before = fs::last_write_time(p.dir / "Blink.c");
    p.Generate();
    EXPECT_EQ(p.MainFile(), expected);
    EXPECT_EQ(fs::last_write_time(p.dir / "Blink.c"), before);
}

TEST(KeepEdits, AnEditOnALineTheNewObjectChangesGivesTheNewFile)
{
    test::Project p;
    p.Add(kServo);
    p.Generate();
    const std::string first = p.MainFile();
    // Adding a sound object rewrites main()'s wait.
    const std::string edited = Replaced(first, "        sleep(1); //wait a second", "        sleep(2); //slower");
    test::WriteFileBytes(p.dir / "Blink.c", edited);
    test::WriteFileBytes(p.dir / "Blink.c.new", "an older one");

    ASSERT_EQ(p.Add(kSimpleSound), AddResult::Added);
    p.Generate();
    EXPECT_EQ(p.MainFile(), edited);
    EXPECT_EQ(test::ReadFileBytes(p.dir / "Blink.c.new"), FreshMainFile(p.doc));
    EXPECT_EQ(test::ReadFileBytes(p.dir / ".kivo-generated/Blink.c"), first);
    EXPECT_FALSE(fs::exists(p.dir / "Blink.c.orig"));
    EXPECT_EQ(p.Said(), "Kivo: Project files created.\n\nBlink.c has changes of yours where the generated code changed "
                        "too, so it was left as it was: the new code is in Blink.c.new. Carry your changes over to it "
                        "and use it as Blink.c.\n");
    // Platform.h was not edited and simply follows.
    EXPECT_NE(p.Header().find("Sound"), std::string::npos);
}

TEST(KeepEdits, WithoutAMergeAnEditedFileIsLeftAlone)
{
    test::Project p;
    p.t.services.merger = nullptr;
    p.Add(kServo);
    p.Generate();
    const std::string edited = p.MainFile() + "// mine\r\n";
    test::WriteFileBytes(p.dir / "Blink.c", edited);
    p.Add(kDAC);
    p.Generate();
    EXPECT_EQ(p.MainFile(), edited);
    EXPECT_EQ(test::ReadFileBytes(p.dir / "Blink.c.new"), FreshMainFile(p.doc));
}

TEST(KeepEdits, AnUntouchedFileIsRegeneratedAsBefore)
{
    test::Project p;
    p.Add(kServo);
    p.Generate();
    const std::string first = p.MainFile();
    p.Add(kDAC);
    p.Generate();
    EXPECT_EQ(p.MainFile(), FreshMainFile(p.doc));
    EXPECT_EQ(test::ReadFileBytes(p.dir / "Blink.c.bak"), first);
    EXPECT_FALSE(fs::exists(p.dir / "Blink.c.orig"));
    EXPECT_FALSE(fs::exists(p.dir / "Blink.c.new"));
    EXPECT_EQ(p.Said(), "Kivo: Project files created.\n");
    // Nothing was merged, so the merge library was never started: its start
    // costs every command that does not merge.
    EXPECT_FALSE(p.t.merger.Started());
}

TEST(FasterGenerate, FilesAlreadyRightAreLeftUntouched)
{
    test::Project p;
    p.Add(kServo);
    p.Add(kServo, [](CEditorModel &e) { e.UserSetText("pin", "39"); });
    p.Generate();
    const std::vector<std::string> names = {"build.bat", "load.bat", "build.sh", "load.sh", "Platform.h", "Blink.c",
                                            "zd_servo.spin2",
                                            // the folder's owner, whose record is read first
                                            ".kivo-generated/project"};
    std::map<std::string, fs::file_time_type> times;
    for (auto &n : names) {
        AgeFile(p.dir / n);
        times[n] = fs::last_write_time(p.dir / n);
    }
    fs::remove(p.dir / "Platform.h.bak");
    p.Generate();
    for (auto &n : names)
        EXPECT_EQ(fs::last_write_time(p.dir / n), times[n]) << n;
    // The one-time backup is still made, as a copy.
    EXPECT_EQ(test::ReadFileBytes(p.dir / "Platform.h.bak"), p.Header());
    // A library file that differs is written again.
    test::WriteFileBytes(p.dir / "zd_servo.spin2", "changed");
    p.Generate();
    auto servo = p.t.resources.Find(361);
    EXPECT_EQ(test::ReadFileBytes(p.dir / "zd_servo.spin2"), std::string(servo.begin(), servo.end()));
}
