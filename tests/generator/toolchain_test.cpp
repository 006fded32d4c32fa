#include "toolchain/toolchain.h"
#include "platform/process.h"
#include "testsupport.h"

using namespace kivo;

TEST(Toolchain, ScriptsRunInTheProjectFolderAndAreWaitedFor)
{
    test::TempDir dir;
    test::TestServices t;
    CKivoDoc doc;
    test::NewProject(doc, dir / "Blink.kivo");
    EXPECT_TRUE(CompileProject(doc, t.services));
    EXPECT_TRUE(LoadProject(doc, t.services));
    ASSERT_EQ(t.processes.requests.size(), 2u);
    EXPECT_EQ(t.processes.requests[0].program, "sh");
    EXPECT_EQ(t.processes.requests[0].args, std::vector<std::string>{"build.sh"});
    EXPECT_EQ(t.processes.requests[0].workingFolder, dir.Path());
    EXPECT_TRUE(t.processes.requests[0].wait);
    EXPECT_EQ(t.processes.requests[1].args, std::vector<std::string>{"load.sh"});
    EXPECT_TRUE(t.messages.shown.empty());

    t.processes.outcome = {false, 2, 0};
    EXPECT_FALSE(CompileProject(doc, t.services));
    EXPECT_FALSE(LoadProject(doc, t.services));
    EXPECT_EQ(t.messages.shown, (std::vector<ShownMessage>{{MessageKind::Plain, "Error running build.sh:  2"},
                                                           {MessageKind::Plain, "Error running load.sh:  2"}}));
}

TEST(Toolchain, UnsavedProjectStartsNothing)
{
    test::TestServices t;
    CKivoDoc doc;
    doc.OnNewDocument(t.profile);
    EXPECT_FALSE(CompileProject(doc, t.services));
    EXPECT_TRUE(t.processes.requests.empty());
    EXPECT_EQ(t.messages.shown.size(), 2u);
    EXPECT_EQ(t.messages.shown[1].text, "Unable to find project path.");
}

TEST(Toolchain, FlexPropFolderDropsFourCharacters)
{
    const std::pair<const char *, const char *> cases[] = {
        {"C:\\flexprop\\bin", "C:\\flexprop"}, {"/home/u/flexprop/bin/", "/home/u/flexprop/"},
        {"/bin", ""}, {"abcde", "a"}, {"/x/\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", "/x/"}, {"", ""}};
    for (auto [setting, folder] : cases)
        EXPECT_EQ(FlexPropFolder(setting), folder) << setting;
}

TEST(Toolchain, FlexPropGetsTheMainFileAsOneArgument)
{
    test::TestServices t;
    CKivoDoc doc;
    doc.OnNewDocument(t.profile);
    EXPECT_FALSE(EditWithFlexProp(doc, t.services));
    doc.m_strMainFilePath = "/home/u/my projects/Blink.c";
    doc.m_strFlexSpinPath = "";
    EXPECT_FALSE(EditWithFlexProp(doc, t.services));
    doc.m_strFlexSpinPath = "/bin";
    EXPECT_FALSE(EditWithFlexProp(doc, t.services)); // nothing to start, nothing said
    EXPECT_EQ(t.messages.shown,
              (std::vector<ShownMessage>{{MessageKind::Plain, "Please Generate Files before invoking FlexProp."},
                                         {MessageKind::Plain, "Please specify FlexProp path before invoking FlexProp."}}));
    EXPECT_TRUE(t.processes.requests.empty());

    doc.m_strFlexSpinPath = "/home/u/flexprop/bin";
    EXPECT_TRUE(EditWithFlexProp(doc, t.services));
    ASSERT_EQ(t.processes.requests.size(), 1u);
    auto &r = t.processes.requests[0];
    EXPECT_EQ(r.program, "/home/u/flexprop/flexprop");
    EXPECT_EQ(r.args, std::vector<std::string>{"/home/u/my projects/Blink.c"});
    EXPECT_EQ(r.workingFolder, "/home/u/flexprop");
    EXPECT_FALSE(r.wait);

    t.processes.outcome = {false, 13, 0};
    EXPECT_FALSE(EditWithFlexProp(doc, t.services));
    EXPECT_EQ(t.messages.shown.back().text, "Error running FlexProp:  13");
}

TEST(Toolchain, SystemRunnerReportsStartFailuresAndExitCodes)
{
    test::TempDir dir;
    SystemProcessRunner runner;
    auto ok = runner.Run({"sh", {"-c", "pwd > out.txt; exit 3"}, dir.Path(), true});
    EXPECT_TRUE(ok.started);
    EXPECT_EQ(ok.exitCode, 3);
    EXPECT_EQ(test::ReadFileBytes(dir / "out.txt"), dir.Path() + "\n");
    auto missing = runner.Run({dir / "no-such-program", {}, dir.Path(), true});
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.errorCode, ENOENT);
    auto badFolder = runner.Run({"sh", {}, dir / "nowhere", false});
    EXPECT_FALSE(badFolder.started);
    auto detached = runner.Run({"true", {}, dir.Path(), false});
    EXPECT_TRUE(detached.started);
}
