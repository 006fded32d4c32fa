#include "generator/generator.h"
#include "generator/library.h"
#include "generator/scripts.h"
#include "generator/skeleton.h"
#include "kinds/usbkbm/slots.h"
#include "objects/editor.h"
#include "objects/objectlist.h"
#include "project.h"

#include <unistd.h>

using namespace kivo;

namespace {

using test::Project;

void AddServo(Project &p, const std::string &pin = "38")
{
    p.Add(kServo, [&](CEditorModel &e) { e.UserSetText("pin", pin); });
}

std::string CommandLine(const std::string &script)
{
    auto a = script.find("\r\n") + 2;
    return script.substr(a, script.find("\r\n", a) - a);
}

} // namespace

TEST(Generate, NewProjectGivesTheSpecifiedFiles)
{
    Project p;
    ASSERT_TRUE(p.t.Show(GenerateProject(p.doc, p.t.services)));
    EXPECT_EQ(p.Read("build.bat"), "REM Kivo Generated Batch file\r\n"
                                   "C:\\FlexProp\\bin\\FlexSpin.exe -2 -L C:\\FlexProp\\bin\\include   Blink.c\r\n"
                                   "Pause \r\n");
    EXPECT_EQ(p.Read("load.bat"), "REM Kivo Generated Batch file\r\n"
                                  "C:\\FlexProp\\bin\\loadp2.exe  -t -k -b 230400  Blink.binary\r\n"
                                  "Pause \r\n");
    EXPECT_EQ(p.t.messages.shown, (std::vector<ShownMessage>{{MessageKind::Plain, "Project files created."}}));
    EXPECT_EQ(p.doc.m_strMainFilePath, p.dir / "Blink.c");
    // The options go back to the profile; tool folders only when they are
    // there (these Windows folders are not).
    EXPECT_EQ(p.t.profile.values.count("FlexOptions"), 1u);
    EXPECT_EQ(p.t.profile.values.size(), 1u);
    // No library file for a project without objects; beside the six files
    // and the verify scenario only the hidden folder of what was written.
    int files = 0;
    for (auto &e : std::filesystem::directory_iterator(p.dir.Path()))
        if (e.path().filename() != ".kivo-generated")
            ++files;
    EXPECT_EQ(files, 7);
    EXPECT_NE(p.Read("Blink.verify.yaml").find("  - verify: all\n"), std::string::npos);
    EXPECT_EQ(p.Read(".kivo-generated/Blink.c"), p.Read("Blink.c"));
}

TEST(Scripts, EachOptionOnItsOwn)
{
    CKivoDoc d;
    MemoryProfile profile;
    d.OnNewDocument(profile);
    struct Case {
        int32_t CKivoDoc::*flag;
        const char *build;
        const char *load;
    };
    const Case cases[] = {
        {&CKivoDoc::m_bUseLibraryPath,
         "C:\\FlexProp\\bin\\FlexSpin.exe -2 -L C:\\FlexProp\\bin\\include  -L C:\\FlexProp\\include B.c", nullptr},
        {&CKivoDoc::m_bSetOptLevel, "C:\\FlexProp\\bin\\FlexSpin.exe -2 -L C:\\FlexProp\\bin\\include   -O2 B.c",
         nullptr},
        {&CKivoDoc::m_bUseFlexOptions,
         "C:\\FlexProp\\bin\\FlexSpin.exe -2 -L C:\\FlexProp\\bin\\include   --fixed --fcache=200 B.c", nullptr},
        {&CKivoDoc::m_bUsePlan9, nullptr,
         "C:\\FlexProp\\bin\\loadp2.exe  -t -k -9 C:\\FlexProp\\Plan9 -b 230400  B.binary"},
        {&CKivoDoc::m_bSetBaud, nullptr, "C:\\FlexProp\\bin\\loadp2.exe  -t -k -b 230400  B.binary"},
        {&CKivoDoc::m_bUseLoadP2Options, nullptr, "C:\\FlexProp\\bin\\loadp2.exe  -t -k -b 230400 -SINGLE B.binary"},
        {&CKivoDoc::m_bShowTerminal, nullptr, "C:\\FlexProp\\bin\\loadp2.exe  -k -b 230400  B.binary"},
        {&CKivoDoc::m_bWaitOnExit, nullptr, "C:\\FlexProp\\bin\\loadp2.exe  -t -b 230400  B.binary"},
    };
    for (auto &c : cases) {
        d.*c.flag = d.*c.flag ? 0 : 1;
        if (c.build) {
            EXPECT_EQ(CommandLine(BuildBat(d, "B.c")), c.build);
        }
        if (c.load) {
            EXPECT_EQ(CommandLine(LoadBat(d, "B.binary")), c.load);
        }
        d.*c.flag = d.*c.flag ? 0 : 1;
    }
    d.m_bUsePlan9 = 1;
    d.m_strPlan9Path = "";
    d.m_bSetBaud = 1;
    d.m_strBaud = "921600";
    EXPECT_EQ(CommandLine(LoadBat(d, "B.binary")), "C:\\FlexProp\\bin\\loadp2.exe  -t -k -9  -b 921600  B.binary");
}

TEST(Scripts, ShellScriptsQuoteEveryPath)
{
    CKivoDoc d;
    MemoryProfile profile;
    d.OnNewDocument(profile);
    d.m_strFlexSpinPath = "/x/it's here/bin/";
    d.m_bUseLibraryPath = 1;
    d.m_strLibraryPath = "/lib dir";
    std::string s = BuildSh(d, "My Proj.c");
    EXPECT_NE(s.find("'/x/it'\\''s here/bin/flexspin' -2 -L '/x/it'\\''s here/include' -L '/lib dir' 'My Proj.c'\n"),
              std::string::npos)
        << s;
    EXPECT_EQ(ShellQuote("a'b"), "'a'\\''b'");
    // The pause keeps a console open, like Pause, and the script ends with
    // the tool's status.
    for (const std::string &script : {s, LoadSh(d, "My Proj.binary")})
        EXPECT_EQ(script.substr(script.find("\nkivo_status=$?\n")),
                  "\nkivo_status=$?\nprintf 'Press Enter to continue . . . '\nread kivo_pause || true\n"
                  "exit $kivo_status\n")
            << script;
}

// FlexProp keeps include beside bin; a flexspin on PATH finds its own, and
// the terminal keeps loadp2's baud unless one is ticked.
TEST(Scripts, ShellScriptsFindFlexPropsIncludeAndPassOnlyATickedBaud)
{
    CKivoDoc d;
    MemoryProfile profile;
    d.OnNewDocument(profile);
    const std::pair<std::string, std::string> folders[] = {
        {"flexprop/bin", "'flexprop/bin/flexspin' -2 -L 'flexprop/include' 'A.c'"},
        {"flexprop/bin/", "'flexprop/bin/flexspin' -2 -L 'flexprop/include' 'A.c'"},
        {"tools", "'tools/flexspin' -2 -L 'include' 'A.c'"},
        {"", "'flexspin' -2 'A.c'"},
    };
    for (auto &[folder, line] : folders) {
        d.m_strFlexSpinPath = folder;
        const std::string s = BuildSh(d, "A.c");
        EXPECT_NE(s.find("\n" + line + "\n"), std::string::npos) << folder << "\n" << s;
    }
    d.m_strLoadP2Path = "";
    d.m_bSetBaud = 0;
    EXPECT_NE(LoadSh(d, "A.binary").find("\n'loadp2' -t -k 'A.binary'\n"), std::string::npos) << LoadSh(d, "A.binary");
    d.m_bSetBaud = 1;
    d.m_strBaud = "921600";
    EXPECT_NE(LoadSh(d, "A.binary").find("\n'loadp2' -t -k -b '921600' 'A.binary'\n"), std::string::npos);
}

TEST(Generate, BackupsAreMadeOnce)
{
    Project p;
    p.doc.m_strClockFreq = "1";
    ASSERT_TRUE(p.t.Show(GenerateProject(p.doc, p.t.services)));
    EXPECT_FALSE(std::filesystem::exists(p.dir / "Platform.h.bak"));
    std::string firstHeader = p.Read("Platform.h"), firstMain = p.Read("Blink.c");
    p.doc.m_strClockFreq = "2";
    AddServo(p);
    ASSERT_TRUE(p.t.Show(GenerateProject(p.doc, p.t.services)));
    EXPECT_EQ(p.Read("Platform.h.bak"), firstHeader);
    EXPECT_EQ(p.Read("Blink.c.bak"), firstMain);
    p.doc.m_strClockFreq = "3";
    ASSERT_TRUE(p.t.Show(GenerateProject(p.doc, p.t.services)));
    EXPECT_EQ(p.Read("Platform.h.bak"), firstHeader);
    EXPECT_EQ(p.Read("Blink.c.bak"), firstMain);
    EXPECT_NE(p.Read("Platform.h").find("_clkfreq = 3}"), std::string::npos);
}

TEST(Generate, PlatformHeaderThatCannotBeCreatedStopsTheRun)
{
    Project p;
    AddServo(p);
    p.doc.m_strFlexSpinPath = p.dir.Path();
    p.t.files.failCreate["Platform.h"] = FileCause::AccessDenied;
    Result r = p.t.Show(GenerateProject(p.doc, p.t.services));
    EXPECT_EQ(r.what, Failure::CreateFile);
    EXPECT_EQ(r.why, FileCause::AccessDenied);
    std::string path = p.dir / "Platform.h";
    EXPECT_EQ(p.t.messages.shown,
              (std::vector<ShownMessage>{
                  {MessageKind::Plain, "Error:  Can't create " + path + " -->Access to " + path + " was denied."}}));
    EXPECT_TRUE(std::filesystem::exists(p.dir / "build.bat"));
    EXPECT_TRUE(std::filesystem::exists(p.dir / "load.bat"));
    EXPECT_FALSE(std::filesystem::exists(p.dir / "Blink.c"));
    EXPECT_FALSE(std::filesystem::exists(p.dir / "zd_servo.spin2"));
    EXPECT_EQ(p.t.profile.values.at("FlexSpinPath"), p.dir.Path());
    EXPECT_EQ(p.doc.m_strMainFilePath, "");
}

TEST(Generate, MainFileThatCannotBeCreatedKeepsItsPath)
{
    Project p;
    p.t.files.failCreate["Blink.c"] = FileCause::AccessDenied;
    EXPECT_EQ(p.t.Show(GenerateProject(p.doc, p.t.services)).what, Failure::CreateFile);
    EXPECT_EQ(p.doc.m_strMainFilePath, p.dir / "Blink.c");
    EXPECT_TRUE(std::filesystem::exists(p.dir / "Platform.h"));
}

TEST(Generate, FailedWriteLeavesNoPartOfTheFile)
{
    Project p;
    p.t.files.writeFailure = FileCause::DiskFull;
    // build.bat and load.bat fit, build.sh does not.
    p.t.files.writeBudget = BuildBat(p.doc, "Blink.c").size() + LoadBat(p.doc, "Blink.binary").size() + 10;
    Result r = p.t.Show(GenerateProject(p.doc, p.t.services));
    EXPECT_EQ(r.what, Failure::WriteFile);
    EXPECT_EQ(r.why, FileCause::DiskFull);
    std::string path = p.dir / "build.sh";
    EXPECT_EQ(p.t.messages.shown,
              (std::vector<ShownMessage>{{MessageKind::Plain, "Disk full while accessing " + path + "."}}));
    EXPECT_FALSE(std::filesystem::exists(p.dir / "build.sh"));
    EXPECT_FALSE(std::filesystem::exists(p.dir / "Platform.h"));
}

TEST(Generate, TextOutsideTheCodePageIsNamed)
{
    Project p;
    p.doc.m_strClockFreq = "160000000 \xE6\x97\xA5"; // a CJK character
    EXPECT_EQ(p.t.Show(GenerateProject(p.doc, p.t.services)).what, Failure::Unencodable);
    std::string path = p.dir / "Platform.h";
    ASSERT_EQ(p.t.messages.shown.size(), 1u);
    EXPECT_EQ(p.t.messages.shown[0].text,
              "Cannot write " + path + ": it would hold a character that the Windows-1252 code page cannot represent.");
    // Nothing of the file is written.
    EXPECT_FALSE(std::filesystem::exists(p.dir / "Platform.h"));
    EXPECT_FALSE(std::filesystem::exists(p.dir / "Blink.c"));
    // Characters the code page has are fine.
    Project q;
    q.doc.m_strClockFreq = "160000000 \xE2\x82\xAC";
    EXPECT_TRUE(q.t.Show(GenerateProject(q.doc, q.t.services)));
    EXPECT_NE(q.Read("Platform.h").find("160000000 \x80};"), std::string::npos);
}

TEST(Generate, ReasonTextsAreCut)
{
    std::string longPath(400, 'a');
    EXPECT_EQ(ReasonText(FileCause::AccessDenied, longPath).size(), 254u);
    EXPECT_EQ(ReasonText(FileCause::BadSeek, "f"), "Seek failed on f");
    EXPECT_EQ(ReasonText(CauseFromErrno(ENOSPC), "f"), "Disk full while accessing f.");
    EXPECT_EQ(ReasonText(CauseFromErrno(ENOENT), "f"), "f was not found.");
    EXPECT_EQ(ReasonText(CauseFromErrno(EMFILE), "f"), "Could not open f because there are too many open files.");
}

TEST(Generate, UnsavedProjectWritesNothing)
{
    test::TestServices t;
    CKivoDoc doc;
    doc.OnNewDocument(t.profile);
    EXPECT_EQ(t.Show(GenerateProject(doc, t.services)).what, Failure::NoProjectPath);
    EXPECT_EQ(t.messages.shown.size(), 2u);
    EXPECT_TRUE(t.profile.values.empty());
}

TEST(Generate, RefreshRunsBeforeAnythingIsRead)
{
    Project p;
    // A settings form copies its typed value in at the broadcast.
    p.doc.AddView([&] { p.doc.m_strClockFreq = "200000000"; });
    ASSERT_TRUE(p.t.Show(GenerateProject(p.doc, p.t.services)));
    EXPECT_NE(p.Read("Platform.h").find("_clkfreq = 200000000}"), std::string::npos);
}

TEST(Library, FilesAreWrittenUnchangedOncePerObject)
{
    Project p;
    AddServo(p, "1");
    AddServo(p, "2");
    ASSERT_TRUE(p.t.Show(GenerateProject(p.doc, p.t.services)));
    auto bytes = p.t.resources.Find(361);
    EXPECT_EQ(p.Read("zd_servo.spin2"), std::string(bytes.begin(), bytes.end()));
}

TEST(Library, Table)
{
    CCodeObject o;
    const std::pair<int, std::size_t> counts[] = {{0, 2}, {1, 1}, {2, 1}, {3, 0},  {4, 1},  {5, 8}, {6, 1},
                                                  {7, 0}, {8, 0}, {9, 0}, {10, 1}, {11, 1}, {12, 0}};
    for (auto [kind, n] : counts) {
        o.m_nKind = kind;
        EXPECT_EQ(LibraryFilesFor(o).size(), n) << kind;
    }
    o.m_nKind = kUsbKbm;
    EXPECT_STREQ(LibraryFilesFor(o)[0].fileName, "1CogKbM_kqv3b.spin2");
    UsbKbmSlots(o).NoErrorLed() = true;
    EXPECT_STREQ(LibraryFilesFor(o)[0].fileName, "1CogKbM_kqv3b_NoErrorLed.spin2");
    // Every id of the table is embedded.
    EmbeddedResources res;
    for (auto &f : AllLibraryFiles())
        EXPECT_FALSE(res.Find(f.resourceId).empty()) << f.fileName;
    EXPECT_EQ(AllLibraryFiles().size(), 17u);
}

// A library file that cannot be written stops the run like any other file,
// on the real disk: a folder in its place, a folder that cannot be written,
// a write the file system refuses part way.
TEST(Library, AFileThatCannotBeWrittenIsReported)
{
    {
        Project p;
        AddServo(p);
        std::filesystem::create_directory(p.dir / "zd_servo.spin2");
        Result r = p.t.Show(GenerateProject(p.doc, p.t.services));
        EXPECT_EQ(r.what, Failure::CreateFile);
        const std::string path = p.dir / "zd_servo.spin2";
        EXPECT_EQ(p.t.messages.shown,
                  (std::vector<ShownMessage>{{MessageKind::Plain, "Error:  Can't create " + path + " -->Access to " +
                                                                      path + " was denied."}}));
    }
    if (::geteuid() != 0) { // root writes anywhere
        Project p;
        AddServo(p);
        ASSERT_TRUE(p.t.Show(GenerateProject(p.doc, p.t.services)));
        std::filesystem::remove(p.dir / "zd_servo.spin2");
        std::filesystem::permissions(p.dir.Path(),
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        Result r = p.t.Show(GenerateProject(p.doc, p.t.services));
        std::filesystem::permissions(p.dir.Path(), std::filesystem::perms::owner_all);
        EXPECT_EQ(r.what, Failure::CreateFile);
        EXPECT_EQ(r.why, FileCause::AccessDenied);
        EXPECT_NE(p.t.messages.shown.back().text.find("zd_servo.spin2"), std::string::npos);
    }
    {
        Project p;
        AddServo(p);
        ASSERT_TRUE(p.t.Show(GenerateProject(p.doc, p.t.services)));
        std::filesystem::remove(p.dir / "zd_servo.spin2");
        p.t.files.writeFailure = FileCause::DiskFull;
        p.t.files.writeBudget = 100;
        p.t.messages.shown.clear();
        Result r = p.t.Show(GenerateProject(p.doc, p.t.services));
        EXPECT_EQ(r.what, Failure::WriteFile);
        const std::string path = p.dir / "zd_servo.spin2";
        EXPECT_EQ(p.t.messages.shown,
                  (std::vector<ShownMessage>{{MessageKind::Plain, "Disk full while accessing " + path + "."}}));
    }
}
