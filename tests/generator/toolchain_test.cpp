#include "generator/generator.h"
#include "model/kivodoc.h"
#include "platform/files.h"
#include "platform/process.h"
#include "testsupport.h"
#include "toolchain/toolchain.h"

#include <cstdlib>
#include <filesystem>

using namespace kivo;

namespace {

void MakeProgram(const std::string &path)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    test::WriteFileBytes(path, "#!/bin/sh\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// PATH set for one test.
struct ScopedPath {
    explicit ScopedPath(const std::string &value) : old(std::getenv("PATH") ? std::getenv("PATH") : "")
    {
        ::setenv("PATH", value.c_str(), 1);
    }
    ~ScopedPath() { ::setenv("PATH", old.c_str(), 1); }
    std::string old;
};

// A saved project whose tool folders hold a compiler and a loader. Compile
// and Load get the front ends' Generate step and their results are shown.
struct ToolProject {
    test::TempDir dir;
    test::TestServices t;
    CKivoDoc doc;
    Result Compile() { return t.Show(CompileProject(doc, t.services, Generate())); }
    Result Load() { return t.Show(LoadProject(doc, t.services, Generate())); }
    GenerateStep Generate()
    {
        return [this] { return t.Show(GenerateProject(doc, t.services)).Ok(); };
    }
    ToolProject()
    {
        test::NewProject(doc, dir / "Blink.kivo");
        MakeProgram(dir / "bin/flexspin");
        MakeProgram(dir / "bin/loadp2");
        doc.m_strFlexSpinPath = doc.m_strLoadP2Path = dir / "bin";
    }
    // The scripts as Generate writes them for the settings now.
    void Scripts()
    {
        for (const char *name : {"build.sh", "load.sh"})
            test::WriteFileBytes(dir / name, GeneratedScript(doc, name).value());
    }
};

} // namespace

TEST(Toolchain, ScriptsRunInTheProjectFolderAndAreWaitedFor)
{
    ToolProject p;
    p.Scripts();
    auto &t = p.t;
    EXPECT_TRUE(p.Compile());
    EXPECT_TRUE(p.Load());
    ASSERT_EQ(t.processes.requests.size(), 2u);
    EXPECT_EQ(t.processes.requests[0].program, "sh");
    EXPECT_EQ(t.processes.requests[0].args, std::vector<std::string>{"build.sh"});
    EXPECT_EQ(t.processes.requests[0].workingFolder, p.dir.Path());
    EXPECT_TRUE(t.processes.requests[0].wait);
    EXPECT_EQ(t.processes.requests[1].args, std::vector<std::string>{"load.sh"});
    EXPECT_TRUE(t.messages.shown.empty());

    // The known text first, then what failed and the system's reason.
    t.processes.outcome = {false, 2, 0};
    EXPECT_EQ(p.Compile().what, Failure::StartFailed);
    EXPECT_EQ(p.Load().why, FileCause::FileNotFound);
    EXPECT_EQ(t.messages.shown,
              (std::vector<ShownMessage>{{MessageKind::Plain, "Error running build.sh:  2\nbuild.sh: " + ErrorText(2)},
                                         {MessageKind::Plain, "Error running load.sh:  2\nload.sh: " + ErrorText(2)}}));
}

TEST(Toolchain, AMissingScriptOffersToGenerateFirst)
{
    ToolProject p;
    auto &t = p.t;
    // No: nothing runs, and there is nothing more to say.
    Result declined = p.Compile();
    EXPECT_EQ(declined.what, Failure::Declined);
    EXPECT_EQ(declined.text, "");
    ASSERT_EQ(t.messages.asked.size(), 1u);
    EXPECT_EQ(t.messages.asked[0].text,
              "build.sh is not in the project folder " + p.dir.Path() + ".\nGenerate the project's files first?");
    EXPECT_TRUE(t.processes.requests.empty());

    // Yes, with a generation that fails: nothing runs either.
    t.messages.answer = true;
    int generated = 0;
    EXPECT_FALSE(t.Show(LoadProject(p.doc, t.services, [&] { return ++generated, false; })));
    EXPECT_EQ(generated, 1);
    EXPECT_TRUE(t.processes.requests.empty());

    // Yes: the project is generated, then the script runs.
    EXPECT_TRUE(p.Compile());
    EXPECT_TRUE(std::filesystem::exists(p.dir / "build.sh"));
    EXPECT_TRUE(std::filesystem::exists(p.dir / "Blink.c"));
    ASSERT_EQ(t.processes.requests.size(), 1u);
    EXPECT_EQ(t.processes.requests[0].args, std::vector<std::string>{"build.sh"});
}

// Generate writes the tool folders into the scripts, and the tools are
// checked in the folders the settings name now: a script written for other
// settings would run other tools than the ones checked.
TEST(Toolchain, AScriptWrittenForOtherSettingsOffersToGenerateFirst)
{
    ToolProject p;
    auto &t = p.t;
    ASSERT_TRUE(t.Show(GenerateProject(p.doc, t.services)));
    MakeProgram(p.dir / "other/loadp2");
    p.doc.m_strLoadP2Path = p.dir / "other";

    // No: the old script does not run.
    EXPECT_EQ(p.Load().what, Failure::Declined);
    ASSERT_EQ(t.messages.asked.size(), 1u);
    EXPECT_EQ(t.messages.asked[0].text, "load.sh in the project folder " + p.dir.Path() +
                                            " was generated for other settings than the project's.\nGenerate the "
                                            "project's files first?");
    EXPECT_TRUE(t.processes.requests.empty());

    // The build script does not name the loader: Compile runs as it is.
    EXPECT_TRUE(p.Compile());
    EXPECT_EQ(t.messages.asked.size(), 1u);

    // Yes: generated for the new folder, then run.
    t.messages.answer = true;
    EXPECT_TRUE(p.Load());
    EXPECT_NE(test::ReadFileBytes(p.dir / "load.sh").find(p.dir / "other"), std::string::npos);
    ASSERT_EQ(t.processes.requests.size(), 2u);
    EXPECT_EQ(t.processes.requests[1].args, std::vector<std::string>{"load.sh"});

    // A script changed by hand counts as written for other settings too.
    test::WriteFileBytes(p.dir / "build.sh", "echo edited\n");
    t.messages.answer = false;
    EXPECT_EQ(p.Compile().what, Failure::Declined);
    EXPECT_EQ(t.messages.asked.size(), 3u);
}

TEST(Toolchain, AMissingCompilerOrLoaderIsNamedWithTheFolderSearched)
{
    ToolProject p;
    p.Scripts();
    auto &t = p.t;
    p.doc.m_strFlexSpinPath = p.dir / "nowhere";
    EXPECT_EQ(p.Compile().what, Failure::ToolMissing);
    p.doc.m_strLoadP2Path = "";
    {
        ScopedPath path("/nonexistent");
        EXPECT_FALSE(p.Load());
    }
    EXPECT_TRUE(t.processes.requests.empty());
    ASSERT_EQ(t.messages.shown.size(), 2u);
    EXPECT_EQ(t.messages.shown[0].text,
              "The compiler flexspin was not found in the folder " + (p.dir / "nowhere") +
                  ".\nSet the FlexSpin folder on the \"P2 & FlexSpin\" tab, then Generate again.");
    EXPECT_EQ(t.messages.shown[1].text, "The loader loadp2 was not found on PATH (/nonexistent).\nSet the loadp2 "
                                        "folder on the \"P2 & FlexSpin\" tab, then Generate again.");

    // An empty folder setting finds the program on PATH.
    p.Scripts();
    ScopedPath path(p.dir / "bin");
    EXPECT_TRUE(p.Load());
}

TEST(Toolchain, UnsavedProjectStartsNothing)
{
    test::TestServices t;
    CKivoDoc doc;
    doc.OnNewDocument(t.profile);
    EXPECT_EQ(t.Show(CompileProject(doc, t.services, {})).what, Failure::NoProjectPath);
    EXPECT_TRUE(t.processes.requests.empty());
    EXPECT_EQ(t.messages.shown.size(), 2u);
    EXPECT_EQ(t.messages.shown[1].text, "Unable to find project path.");
}

TEST(Toolchain, FlexPropFolderDropsFourCharacters)
{
    const std::pair<const char *, const char *> cases[] = {{"C:\\flexprop\\bin", "C:\\flexprop"},
                                                           {"/home/u/flexprop/bin/", "/home/u/flexprop/"},
                                                           {"/bin", ""},
                                                           {"abcde", "a"},
                                                           {"/x/\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", "/x/"},
                                                           {"", ""}};
    for (auto [setting, folder] : cases)
        EXPECT_EQ(FlexPropFolder(setting), folder) << setting;
}

TEST(Toolchain, FlexPropGetsTheMainFileAsOneArgument)
{
    test::TempDir dir;
    ScopedPath path(dir / "empty");
    test::TestServices t;
    CKivoDoc doc;
    doc.OnNewDocument(t.profile);
    EXPECT_FALSE(t.Show(EditWithFlexProp(doc, t.services)));
    doc.m_strMainFilePath = "/home/u/my projects/Blink.c";
    doc.m_strFlexSpinPath = "";
    EXPECT_FALSE(t.Show(EditWithFlexProp(doc, t.services)));
    // A folder that leads to no FlexProp says where it looked.
    const std::string bin = dir / "flexprop/bin";
    for (const std::string &setting : {std::string("/bin"), bin}) {
        doc.m_strFlexSpinPath = setting;
        EXPECT_EQ(t.Show(EditWithFlexProp(doc, t.services)).what, Failure::ToolMissing) << setting;
    }
    const std::string setUp = ", and no flexprop is on PATH.\nSet the FlexSpin folder on the \"P2 & FlexSpin\" tab to "
                              "the bin folder beside FlexProp.";
    EXPECT_EQ(
        t.messages.shown,
        (std::vector<ShownMessage>{
            {MessageKind::Plain, "Please Generate Files before invoking FlexProp."},
            {MessageKind::Plain, "Please specify FlexProp path before invoking FlexProp."},
            {MessageKind::Plain, "FlexProp was not found: the FlexSpin folder /bin has no folder above it" + setUp},
            {MessageKind::Plain, "FlexProp was not found: there is no " + (dir / "flexprop/flexprop") + setUp}}));
    EXPECT_TRUE(t.processes.requests.empty());

    MakeProgram(dir / "flexprop/flexprop");
    EXPECT_TRUE(t.Show(EditWithFlexProp(doc, t.services)));
    ASSERT_EQ(t.processes.requests.size(), 1u);
    auto &r = t.processes.requests[0];
    EXPECT_EQ(r.program, dir / "flexprop/flexprop");
    EXPECT_EQ(r.args, std::vector<std::string>{"/home/u/my projects/Blink.c"});
    EXPECT_EQ(r.workingFolder, dir / "flexprop");
    EXPECT_FALSE(r.wait);

    // A start that fails says so in words, with the program tried.
    t.processes.outcome = {false, 13, 0};
    EXPECT_FALSE(t.Show(EditWithFlexProp(doc, t.services)));
    EXPECT_EQ(t.messages.shown.back().text, "FlexProp could not be started: " + ErrorText(13) +
                                                ".\nThe program tried was " + (dir / "flexprop/flexprop") + ".");
}

TEST(Toolchain, FlexPropIsFoundOnPathWhenTheFolderDoesNotLeadToIt)
{
    test::TempDir dir;
    MakeProgram(dir / "launcher/flexprop");
    ScopedPath path(dir / "launcher");
    test::TestServices t;
    CKivoDoc doc;
    doc.OnNewDocument(t.profile);
    doc.m_strMainFilePath = dir / "Blink.c";
    for (const char *setting : {"", "/usr/local/flexprop/bin"}) {
        doc.m_strFlexSpinPath = setting;
        t.processes.requests.clear();
        EXPECT_TRUE(t.Show(EditWithFlexProp(doc, t.services))) << setting;
        ASSERT_EQ(t.processes.requests.size(), 1u);
        EXPECT_EQ(t.processes.requests[0].program, dir / "launcher/flexprop");
        EXPECT_EQ(t.processes.requests[0].workingFolder, dir / "launcher");
    }
    EXPECT_TRUE(t.messages.shown.empty());
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
