// The project's history: snapshots, undo and redo across the object list's
// operations and settings, the modified state, Cancel putting an object back,
// and the tool folders of a new project on this host.
#include "kinds/kind.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "model/undo.h"
#include "platform/files.h"
#include "project.h"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace kivo;

namespace {

std::vector<uint8_t> Bytes(const CKivoDoc &doc) { return SerializeProject(doc); }

test::Setter Servo(const std::string &pin)
{
    return [pin](CEditorModel &e) { e.UserSetText("pin", pin); };
}

test::Setter I2C(const std::string &sda, const std::string &scl)
{
    return [sda, scl](CEditorModel &e) {
        e.UserSetText("sda", sda);
        e.UserSetText("scl", scl);
    };
}

} // namespace

TEST(Undo, SnapshotRestoresEveryStoredField)
{
    // A project with every kind of stored value changed, restored into a new
    // one, saves to the same bytes.
    test::Project p;
    ASSERT_EQ(p.Add(kServo, Servo("7")), AddResult::Added);
    ASSERT_EQ(p.Add(kI2CBus), AddResult::Added);
    CKivoDoc &d = p.doc;
    d.m_nHeaderValue = 3;
    for (std::string *t :
         {&d.m_strClockFreq, &d.m_strFlexSpinPath, &d.m_strLoadP2Path, &d.m_strLibraryPath, &d.m_strOptLevel,
          &d.m_strFlexOptions, &d.m_strHeapSize, &d.m_strPlan9Path, &d.m_strBaud, &d.m_strLoadP2Options,
          &d.m_strSdClkPin, &d.m_strSdCsPin, &d.m_strSdMosiPin, &d.m_strSdMisoPin})
        *t += "x";
    for (int32_t *f :
         {&d.m_bUseLibraryPath, &d.m_bSetOptLevel, &d.m_bUseFlexOptions, &d.m_bSetHeapSize, &d.m_bShowTerminal,
          &d.m_bUsePlan9, &d.m_bSetBaud, &d.m_bUseLoadP2Options, &d.m_bWaitOnExit, &d.m_bMountSd})
        *f = !*f;
    d.m_nKindCount[99] = 5;

    CKivoDoc other;
    test::NewProject(other, "/x/Other.kivo");
    RestoreSnapshot(other, TakeSnapshot(d));
    EXPECT_EQ(Bytes(other), Bytes(d));
    EXPECT_TRUE(TakeSnapshot(other) == TakeSnapshot(d));
}

TEST(Undo, AddEditDeleteStepBackAndForthExactly)
{
    test::Project p;
    std::vector<std::vector<uint8_t>> states{Bytes(p.doc)};
    ASSERT_EQ(p.Add(kServo, Servo("7")), AddResult::Added);
    states.push_back(Bytes(p.doc));
    ASSERT_EQ(p.Add(kI2CBus, I2C("20", "21")), AddResult::Added);
    states.push_back(Bytes(p.doc));
    ASSERT_TRUE(p.Edit(0, Servo("9")));
    states.push_back(Bytes(p.doc));
    ASSERT_TRUE(DeleteObject(p.doc, 1));
    states.push_back(Bytes(p.doc));
    EXPECT_FALSE(p.doc.m_bPinUsed[20]);
    EXPECT_TRUE(p.doc.m_bPinUsed[9]);

    CUndoHistory &h = p.doc.History();
    ASSERT_EQ(h.StepCount(), 4u);
    EXPECT_EQ(h.UndoLabel(), "Delete Object");
    for (std::size_t i = states.size() - 1; i > 0; --i) {
        ASSERT_TRUE(h.Undo(p.doc));
        EXPECT_EQ(Bytes(p.doc), states[i - 1]) << "undo to state " << i - 1;
    }
    EXPECT_FALSE(h.CanUndo());
    EXPECT_EQ(p.doc.m_nKindCount[kServo], 0);
    EXPECT_EQ(DefaultObjectName(p.doc, kServo), "Servo1");
    for (std::size_t i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(h.Redo(p.doc));
        EXPECT_EQ(Bytes(p.doc), states[i]) << "redo to state " << i;
    }
    EXPECT_FALSE(h.CanRedo());

    // A new change after an undo drops the steps that could be redone.
    ASSERT_TRUE(h.Undo(p.doc));
    ASSERT_EQ(p.Add(kServo, Servo("30")), AddResult::Added);
    EXPECT_FALSE(h.CanRedo());
    EXPECT_EQ(h.StepCount(), 4u);
}

TEST(Undo, CancelledEditorsLeaveNoStepAndNoTrace)
{
    test::Project p;
    ASSERT_EQ(p.Add(kServo, Servo("7")), AddResult::Added);
    ASSERT_EQ(p.Add(kServo, Servo("8")), AddResult::Added);
    const auto before = Bytes(p.doc);
    const std::size_t steps = p.doc.History().StepCount();

    // Edit: an OK refused on a taken pin, then Cancel.
    EXPECT_FALSE(EditObject(p.doc, 0, p.t.messages, [](CEditorModel &e) {
        e.UserSetText("pin", "8");
        EXPECT_EQ(e.Ok(), OkResult::StayOpen);
        e.UserSetText("pin", "70");
        EXPECT_EQ(e.Ok(), OkResult::StayOpen);
        return false;
    }));
    EXPECT_EQ(Bytes(p.doc), before);
    EXPECT_TRUE(p.Object(0).m_bValid);
    EXPECT_EQ(p.Object(0).m_strPin, "7");

    // Add: every pin a refused OK may have touched is put back.
    EXPECT_EQ(AddObject(p.doc, kI2CBus, p.t.messages,
                        [](CEditorModel &e) {
                            e.UserSetText("sda", "30");
                            e.UserSetText("scl", "7");
                            EXPECT_EQ(e.Ok(), OkResult::StayOpen);
                            return false;
                        }),
              AddResult::Cancelled);
    EXPECT_EQ(Bytes(p.doc), before);
    EXPECT_EQ(p.doc.History().StepCount(), steps);
}

TEST(Undo, ModifiedFollowsTheSavedState)
{
    test::Project p;
    EXPECT_FALSE(p.doc.IsModified());
    ASSERT_EQ(p.Add(kServo, Servo("7")), AddResult::Added);
    EXPECT_TRUE(p.doc.IsModified());
    p.doc.History().Undo(p.doc);
    EXPECT_FALSE(p.doc.IsModified());
    p.doc.History().Redo(p.doc);
    ASSERT_TRUE(SaveProject(p.doc, p.dir / "Blink.kivo", p.t.services));
    EXPECT_FALSE(p.doc.IsModified());

    // A settings change made through a change record is one step.
    {
        CDocChange change(p.doc, "Clock");
        p.doc.m_strClockFreq = "200000000";
        EXPECT_TRUE(change.Commit());
    }
    {
        CDocChange same(p.doc, "Nothing");
        EXPECT_FALSE(same.Commit());
    }
    EXPECT_TRUE(p.doc.IsModified());
    EXPECT_EQ(p.doc.History().UndoLabel(), "Clock");
    p.doc.History().Undo(p.doc);
    EXPECT_EQ(p.doc.m_strClockFreq, "160000000");
    EXPECT_FALSE(p.doc.IsModified());

    CKivoDoc opened;
    ASSERT_TRUE(OpenProject(p.dir / "Blink.kivo", opened, p.t.services));
    EXPECT_FALSE(opened.IsModified());
    EXPECT_FALSE(opened.History().CanUndo());
}

TEST(Undo, HistoryKeepsALimitedNumberOfSteps)
{
    test::Project p;
    for (std::size_t i = 0; i < CUndoHistory::kMaxSteps + 5; ++i) {
        CDocChange change(p.doc, "Heap");
        p.doc.m_strHeapSize = std::to_string(i);
        change.Commit();
    }
    EXPECT_EQ(p.doc.History().StepCount(), CUndoHistory::kMaxSteps);
    while (p.doc.History().Undo(p.doc)) {
    }
    EXPECT_EQ(p.doc.m_strHeapSize, "4");
}

// ---- tool folders of new projects ----

namespace {

void MakeProgram(const std::filesystem::path &path)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\n";
    ::chmod(path.c_str(), 0755);
}

} // namespace

#ifndef _WIN32
TEST(NewProject, ToolFoldersComeFromTheProfileElseFromThePath)
{
    test::TempDir dir;
    const std::string flex = dir / "flexprop/bin";
    MakeProgram(std::filesystem::path(flex) / "flexspin");
    std::filesystem::create_directories(dir / "flexprop/include");
    MakeProgram(dir / "loader/loadp2");
    // A file that is not executable is not a program.
    std::ofstream(dir / "plain-flexspin") << "";
    ToolSearch search{"relative/bin:" + dir.Path() + ":" + flex + ":" + (dir / "loader"), "/home/u"};

    MemoryProfile empty;
    CKivoDoc doc;
    NewProjectForHost(doc, empty, search);
    EXPECT_EQ(doc.m_strFlexSpinPath, flex);
    EXPECT_EQ(doc.m_strLoadP2Path, dir / "loader");
    EXPECT_EQ(doc.m_strLibraryPath, dir / "flexprop/include");
    EXPECT_EQ(doc.m_strPlan9Path, "/home/u");
    EXPECT_EQ(doc.m_strClockFreq, "160000000");
    EXPECT_FALSE(doc.IsModified());

    // Nothing on the path: empty folders (the scripts then use PATH).
    CKivoDoc bare;
    NewProjectForHost(bare, empty, ToolSearch{"/nonexistent", "/home/u"});
    EXPECT_EQ(bare.m_strFlexSpinPath, "");
    EXPECT_EQ(bare.m_strLoadP2Path, "");
    EXPECT_EQ(bare.m_strLibraryPath, "");

    // What the user chose wins, folder by folder.
    MemoryProfile chosen;
    chosen.SetString("FlexSpinPath", "fs/bin");
    chosen.SetString("Plan9Path", "/srv/p9");
    CKivoDoc mine;
    NewProjectForHost(mine, chosen, search);
    EXPECT_EQ(mine.m_strFlexSpinPath, "fs/bin");
    EXPECT_EQ(mine.m_strLoadP2Path, dir / "loader");
    EXPECT_EQ(mine.m_strLibraryPath, dir / "flexprop/include");
    EXPECT_EQ(mine.m_strPlan9Path, "/srv/p9");
}

TEST(NewProject, FindsOnlyExecutableFilesInAbsoluteFolders)
{
    test::TempDir dir;
    MakeProgram(dir / "b/tool");
    std::filesystem::create_directories(dir / "c/tool");
    EXPECT_EQ(FindProgramOnPath("tool", (dir / "c") + ":" + (dir / "b")), dir / "b/tool");
    EXPECT_EQ(FindProgramOnPath("tool", (dir / "c")), "");
    EXPECT_EQ(FindProgramOnPath("tool", ""), "");
    EXPECT_EQ(FindProgramOnPath("", dir / "b"), "");
}
#endif
