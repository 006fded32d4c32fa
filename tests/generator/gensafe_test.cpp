// Generate in a folder it cannot trust: links planted in it, a disk that
// fills, a run killed part way, another project's files.
#include "check/check.h"
#include "generator/library.h"
#include "generator/output.h"
#include "generator/scripts.h"
#include "kinds/kind.h"
#include "kinds/usbkbm/slots.h"
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

} // namespace

// Every file Generate writes, planted as a link to a file outside the
// folder: the outside file stays, the link is replaced by the file.
TEST(GenerateSafely, LinksInTheFolderAreReplacedNotWrittenThrough)
{
    test::TempDir outside;
    for (std::string name : {"build.bat", "build.sh", "load.sh", "Platform.h", "Blink.c", "Blink.c.bak",
                             "zd_servo.spin2", "Blink.c.orig", "Blink.c.new"}) {
        test::Project p;
        p.Add(kServo);
        const std::string victim = outside / ("victim-" + name);
        test::WriteFileBytes(victim, "precious");
        p.Generate();
        if (name == "Blink.c.orig" || name == "Blink.c.new") {
            // A merge writes these: an edit of the main file, then a change.
            std::string edited = name == "Blink.c.orig"
                                     ? Replaced(p.MainFile(), "{//LOOP\r\n", "{//LOOP\r\n    int mine = 1;\r\n")
                                     : Replaced(p.MainFile(), "        sleep(1); //wait a second", "   sleep(2);");
            test::WriteFileBytes(p.dir / "Blink.c", edited);
            p.Add(name == "Blink.c.orig" ? kDAC : kSimpleSound);
        } else {
            p.doc.m_strClockFreq = "3";
        }
        fs::remove(p.dir / name);
        fs::create_symlink(victim, p.dir / name);
        p.Generate();
        EXPECT_EQ(test::ReadFileBytes(victim), "precious") << name;
        EXPECT_FALSE(fs::is_symlink(p.dir / name)) << name;
        EXPECT_TRUE(fs::is_regular_file(p.dir / name)) << name;
    }
    // The record folder, and a record file in it.
    {
        test::Project p;
        fs::create_directories(outside / "records");
        fs::create_directory_symlink(outside / "records", p.dir / ".kivo-generated");
        p.Generate();
        EXPECT_TRUE(fs::is_empty(outside / "records"));
        EXPECT_FALSE(fs::is_symlink(p.dir / ".kivo-generated"));
        EXPECT_EQ(p.Read(".kivo-generated/Blink.c"), p.MainFile());
    }
    {
        test::Project p;
        const std::string victim = outside / "victim-record";
        test::WriteFileBytes(victim, "precious");
        fs::create_directories(p.dir / ".kivo-generated");
        fs::create_symlink(victim, p.dir / ".kivo-generated/Platform.h");
        p.Generate();
        EXPECT_EQ(test::ReadFileBytes(victim), "precious");
        EXPECT_EQ(p.Read(".kivo-generated/Platform.h"), p.Header());
    }
}

// A disk that fills while the merged main file is written leaves the
// user's file whole; the next run merges from it again, not from a cut file.
TEST(GenerateSafely, DiskFullDuringAMergeLeavesTheUsersFileWhole)
{
    test::Project p;
    p.Add(kServo);
    p.Generate();
    const std::string edited =
        Replaced(p.MainFile(), "{//LOOP\r\n", "{//LOOP\r\n    Servo1_position = 45; // my own line\r\n");
    test::WriteFileBytes(p.dir / "Blink.c", edited);
    p.Add(kDAC);
    // The disk fills as the merged file is written (the .orig fits).
    p.t.files.failCreate["Blink.c"] = FileCause::DiskFull;
    Result r = p.t.Show(GenerateProject(p.doc, p.t.services));
    EXPECT_EQ(r.what, Failure::WriteFile);
    EXPECT_EQ(p.MainFile(), edited);
    EXPECT_EQ(p.Read("Blink.c.orig"), edited);

    p.t.files.failCreate.clear();
    p.Generate();
    EXPECT_NE(p.MainFile().find("// my own line"), std::string::npos);
    EXPECT_NE(p.MainFile().find("DAC"), std::string::npos);
    EXPECT_EQ(p.Read("Blink.c.orig"), edited);
}

// Library files on a disk that fills: each is there whole or not at all.
TEST(GenerateSafely, LibraryFilesAreWholeOrAbsent)
{
    for (std::size_t budget : {0u, 100u, 3000u, 20000u, 60000u}) {
        test::Project p;
        p.Add(kUsbKbm);
        p.Add(kSimpleVGA);
        p.Add(kServo);
        p.Generate();
        for (auto &e : fs::directory_iterator(p.dir.Path()))
            if (e.path().extension() == ".spin2")
                fs::remove(e.path());
        p.t.files.writeFailure = FileCause::DiskFull;
        p.t.files.writeBudget = budget;
        GenerateProject(p.doc, p.t.services);
        for (auto *object : {&p.Object(0), &p.Object(1), &p.Object(2)})
            for (auto &lib : LibraryFilesFor(*object)) {
                if (!fs::exists(p.dir / lib.fileName))
                    continue;
                auto bytes = p.t.resources.Find(lib.resourceId);
                EXPECT_EQ(p.Read(lib.fileName), std::string(bytes.begin(), bytes.end())) << lib.fileName << budget;
            }
        for (auto &e : fs::directory_iterator(p.dir.Path()))
            EXPECT_TRUE(e.path().filename() == ".kivo-generated" || e.path().filename().string()[0] != '.') << e.path();
    }
}

// A killed run left Platform.h and its backup as two names of one file:
// the next run writes a new file, so the backup keeps the first output.
TEST(GenerateSafely, AHeaderSharingItsBackupsDataLeavesTheBackup)
{
    test::Project p;
    p.Generate();
    const std::string first = p.Header();
    fs::remove(p.dir / "Platform.h.bak");
    fs::create_hard_link(p.dir / "Platform.h", p.dir / "Platform.h.bak");
    p.doc.m_strClockFreq = "3";
    p.Generate();
    EXPECT_EQ(p.Read("Platform.h.bak"), first);
    EXPECT_NE(p.Header(), first);
}

// Temporary files of a killed replacement are removed once they are old;
// a young one may be another process's and stays.
TEST(GenerateSafely, StaleTemporaryFilesAreRemoved)
{
    test::TempDir dir;
    DiskFileSystem files;
    test::WriteFileBytes(dir / ".P.kivo.a1B2c3", "old");
    test::WriteFileBytes(dir / ".P.kivo.z9Y8x7", "young");
    test::WriteFileBytes(dir / ".P.kivo.keep", "not ours");
    fs::last_write_time(dir / ".P.kivo.a1B2c3", fs::file_time_type::clock::now() - std::chrono::hours(1));
    fs::last_write_time(dir / ".P.kivo.keep", fs::file_time_type::clock::now() - std::chrono::hours(1));
    ASSERT_EQ(files.ReplaceAtomically(dir / "P.kivo", {1}), FileCause::None);
    EXPECT_FALSE(fs::exists(dir / ".P.kivo.a1B2c3"));
    EXPECT_TRUE(fs::exists(dir / ".P.kivo.z9Y8x7"));
    EXPECT_TRUE(fs::exists(dir / ".P.kivo.keep"));
}

// A merge that leaves the user's file as it is writes no .orig and names none.
TEST(GenerateSafely, TheMergeNoteNamesOnlyABackupItWrote)
{
    test::Project p;
    p.Add(kServo);
    p.Generate();
    const std::string edited = p.MainFile() + "// mine\r\n";
    test::WriteFileBytes(p.dir / "Blink.c", edited);
    p.Generate(); // nothing new to carry in
    EXPECT_EQ(p.MainFile(), edited);
    EXPECT_FALSE(fs::exists(p.dir / "Blink.c.orig"));
    EXPECT_EQ(p.Said(), "Kivo: Project files created.\n");
}

// A project saved beside another project's generated files asks before it
// takes them over; its own files, or an answer yes, go ahead.
TEST(GenerateSafely, AnotherProjectsFilesAreReplacedOnlyWhenTheUserSaysSo)
{
    test::Project p;
    p.Generate();
    const std::string header = p.Header();
    CKivoDoc other;
    test::NewProject(other, p.dir / "Other.kivo");
    other.m_strClockFreq = "3";
    Result r = GenerateProject(other, p.t.services);
    EXPECT_EQ(r.what, Failure::Declined);
    ASSERT_EQ(p.t.messages.asked.size(), 1u);
    EXPECT_NE(p.t.messages.asked[0].text.find("Blink.kivo"), std::string::npos);
    EXPECT_EQ(p.Header(), header);
    EXPECT_FALSE(fs::exists(p.dir / "Other.c"));
    // Blink itself is not asked about again.
    p.Generate();
    EXPECT_EQ(p.t.messages.asked.size(), 1u);
    p.t.messages.answer = true;
    EXPECT_TRUE(GenerateProject(other, p.t.services));
    EXPECT_NE(p.Header(), header);
    EXPECT_TRUE(fs::exists(p.dir / "Other.c"));
}

// Tool folders that are not on this computer stay out of the profile.
TEST(GenerateSafely, OnlyToolFoldersThatExistGoToTheProfile)
{
    test::Project p;
    p.doc.m_strFlexSpinPath = "C:\\FlexProp\\bin";
    p.doc.m_strLoadP2Path = p.dir.Path();
    p.doc.m_strLibraryPath = "";
    p.Generate();
    EXPECT_EQ(p.t.profile.values.count("FlexSpinPath"), 0u);
    EXPECT_EQ(p.t.profile.values.count("Plan9Path"), 0u);
    EXPECT_EQ(p.t.profile.values.at("LoadP2Path"), p.dir.Path());
    EXPECT_EQ(p.t.profile.values.at("LibraryPath"), "");
}

// The shell scripts carry paths as the file system holds them (UTF-8); the
// batch files keep the Windows code page.
TEST(GenerateSafely, ShellScriptsAreUtf8)
{
    test::Project p;
    p.doc.m_strFlexSpinPath = "tools/t\xC3\xB8ols";
    p.doc.m_strLoadP2Path = "tools/t\xC3\xB8ols";
    p.Generate();
    EXPECT_NE(p.Read("build.sh").find("'tools/t\xC3\xB8ols/flexspin'"), std::string::npos);
    EXPECT_NE(p.Read("load.sh").find("'tools/t\xC3\xB8ols/loadp2'"), std::string::npos);
    EXPECT_NE(p.Read("build.bat").find("tools/t\xF8ols\\FlexSpin.exe"), std::string::npos);
}

// A project named like an option: its files are passed as paths.
TEST(GenerateSafely, AFileNameStartingWithADashIsNoOption)
{
    test::Project p;
    p.doc.m_strPathName = p.dir / "-h.kivo";
    p.Generate();
    EXPECT_NE(p.Read("build.sh").find(" './-h.c'\n"), std::string::npos) << p.Read("build.sh");
    EXPECT_NE(p.Read("load.sh").find(" './-h.binary'\n"), std::string::npos) << p.Read("load.sh");
    EXPECT_NE(p.Read("build.bat").find(" .\\-h.c\r\n"), std::string::npos) << p.Read("build.bat");
    EXPECT_NE(p.Read("load.bat").find(" .\\-h.binary\r\n"), std::string::npos) << p.Read("load.bat");
}

// What cmd.exe would act on in a folder or an option is quoted, % doubled;
// text without such characters is carried as it stands.
TEST(GenerateSafely, BatchFilesQuoteWhatCmdWouldRun)
{
    CKivoDoc d;
    MemoryProfile profile;
    d.OnNewDocument(profile);
    d.m_strFlexSpinPath = "C:\\Tools&calc";
    d.m_bUseFlexOptions = true;
    d.m_strFlexOptions = "-DX=1&calc \"%PATH%\" -O1";
    d.m_bUseLibraryPath = true;
    d.m_strLibraryPath = "C:\\Lib|x";
    EXPECT_EQ(BuildBat(d, "a&b.c"), "REM Kivo Generated Batch file\r\n"
                                    "\"C:\\Tools&calc\\FlexSpin.exe\" -2 -L \"C:\\Tools&calc\\include\"  "
                                    "-L \"C:\\Lib|x\" \"-DX=1&calc\" \"%%PATH%%\" \"-O1\" \"a&b.c\"\r\n"
                                    "Pause \r\n");
    d.m_strLoadP2Path = "C:\\P2\"&calc";
    d.m_bUseLoadP2Options = true;
    d.m_strLoadP2Options = "-v ^x";
    EXPECT_EQ(BuildBat(d, "a&b.c").find("calc&"), std::string::npos);
    EXPECT_EQ(LoadBat(d, "P.binary"), "REM Kivo Generated Batch file\r\n"
                                      "\"C:\\P2\"\"&calc\\loadp2.exe\"  -t -k -b 230400 \"-v\" \"^x\" P.binary\r\n"
                                      "Pause \r\n");
    d.m_strLoadP2Path = "C:\\P2";
    d.m_strLoadP2Options = "-v -SINGLE";
    EXPECT_EQ(LoadBat(d, "P.binary"), "REM Kivo Generated Batch file\r\n"
                                      "C:\\P2\\loadp2.exe  -t -k -b 230400 -v -SINGLE P.binary\r\n"
                                      "Pause \r\n");
}

// Numbers from a project file at the ends of the int range: the checks
// name them and generating all the same writes no wrapped-around pin.
TEST(GenerateSafely, UsbNumbersAtTheEndsOfTheRangeDoNotOverflow)
{
    const std::pair<const char *, int> cases[] = {{"99999999999999999999", 0},
                                                  {"8", std::numeric_limits<int>::max()},
                                                  {"8", std::numeric_limits<int>::min()},
                                                  {"-99999999999999999999", 1}};
    for (auto [base, port] : cases) {
        test::Project p;
        ASSERT_EQ(p.Add(kUsbKbm), AddResult::Added);
        UsbKbmSlots slots(p.Object(0));
        slots.BasePin() = base;
        slots.Port() = port;
        p.Object(0).m_strPin = base;
        auto findings = CheckProject(p.doc);
        EXPECT_TRUE(HasError(findings)) << base << " " << port;
        EXPECT_EQ(LibraryFilesFor(p.Object(0)).size(), 1u);
        for (int pin : FindKind(kUsbKbm)->PinsOf(p.Object(0)))
            EXPECT_LE(std::abs(pin), 1000008) << base << " " << port;
        // A second object is placed among the broken one's pins.
        EXPECT_EQ(p.Add(kServo), AddResult::Added);
        p.Generate();
        const std::string header = p.Header();
        EXPECT_EQ(header.find("-21474"), std::string::npos) << header;
        EXPECT_EQ(header.find("21474836"), std::string::npos) << header;
    }
}

// The examples come without tool folders: the folders of the computer they
// were made on would go to the user's profile with the first generation.
TEST(GenerateSafely, ExamplesCarryNoToolFolders)
{
    for (auto &e : fs::directory_iterator(std::string(KIVO_SOURCE_DIR) + "/examples")) {
        if (e.path().extension() != ".kivo")
            continue;
        test::TestServices t;
        CKivoDoc doc;
        ASSERT_TRUE(OpenProject(e.path().string(), doc, t.services)) << e.path();
        EXPECT_EQ(doc.m_strFlexSpinPath, "") << e.path();
        EXPECT_EQ(doc.m_strLoadP2Path, "") << e.path();
        EXPECT_EQ(doc.m_strLibraryPath, "") << e.path();
        EXPECT_EQ(doc.m_strPlan9Path, "") << e.path();
    }
}
