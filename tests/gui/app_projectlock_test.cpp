// The application and kivo-cli changing one project: the application's
// saves and generations take the project's lock, and a save asks before it
// replaces what another program saved meanwhile.
#include "app_support.h"
#include "kivocli.h"
#include "model/kivodoc.h"
#include "objects/editor.h"
#include "objects/objectlist.h"
#include "platform/projectlock.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace kivo::test {
namespace {

using std::chrono::steady_clock;

class ProjectLockTest : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ASSERT_EQ(cli.Run({"new", "P.kivo"}).exitCode, 0);
        path = cli.File("P.kivo");
        Start({QString::fromStdString(path)});
    }
    // The application's change, not saved yet: a servo on `pin`.
    void AddServo(const char *pin)
    {
        auto edit = [pin](CEditorModel &e) {
            e.UserSetText("pin", pin);
            return e.Ok() == OkResult::Accepted;
        };
        ASSERT_EQ(AddObject(Doc(), kServo, app->Messages(), edit), AddResult::Added);
    }
    // The pins of the objects the file holds.
    std::string FilePins()
    {
        CKivoDoc saved;
        TestServices t;
        DiskFileSystem disk;
        Services s{t.messages, t.profile, disk, t.clock, t.processes, t.resources, nullptr};
        EXPECT_TRUE(OpenProject(path, saved, s));
        std::string pins;
        for (auto &o : saved.m_objList)
            pins += o->m_strPin + " ";
        return pins;
    }
    // Answers a question box with `answer`, noting its text.
    Modals::Step Answer(QMessageBox::StandardButton answer, QString *text)
    {
        return [answer, text](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            ASSERT_NE(box, nullptr);
            *text = box->text();
            ASSERT_NE(box->button(answer), nullptr) << text->toStdString();
            box->button(answer)->click();
        };
    }

    KivoCli cli;
    std::string path;
};

// A command changing the project holds it: Save and Generate wait a moment,
// then say that it is in use and write nothing; one that ends within the
// wait is waited for.
TEST_F(ProjectLockTest, AProjectAnotherProgramChangesIsWaitedForOrInUse)
{
    ProjectLock held;
    ASSERT_TRUE(held.Acquire(path));
    ASSERT_TRUE(held.Held());
    AddServo("12");
    const std::string before = ReadFileBytes(path);
    const std::string inUse = path + " is in use: another program is changing it. Try again when it is done.";

    auto start = steady_clock::now();
    Modals::Get().ThenBox();
    EXPECT_FALSE(app->Save(Doc()));
    const auto waited = steady_clock::now() - start;
    EXPECT_GE(waited, kProjectLockWait);
    EXPECT_LT(waited, kProjectLockWait + std::chrono::seconds(1));
    Modals::Get().ThenBox();
    Frame().RunCommand("project.generate");
    ASSERT_EQ(Modals::Get().Boxes().size(), 2u);
    for (auto &box : Modals::Get().Boxes())
        EXPECT_EQ(box.text.toStdString(), inUse);
    EXPECT_TRUE(ReadFileBytes(path) == before);
    EXPECT_FALSE(std::filesystem::exists(cli.File("P.c")));
    EXPECT_TRUE(Doc().IsModified());

    std::thread done([&held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        held.Release();
    });
    EXPECT_TRUE(app->Save(Doc()));
    done.join();
    EXPECT_FALSE(Doc().IsModified());
    EXPECT_EQ(FilePins(), "12 ");
}

// kivo-cli added an object while the application had its own change: Save
// asks first; No keeps the file as the command left it, Yes replaces it, and
// a file that is as the application wrote it is saved without asking.
TEST_F(ProjectLockTest, SaveAsksBeforeReplacingAChangeMadeMeanwhile)
{
    AddServo("12");
    ASSERT_EQ(cli.Run({"add", "P.kivo", "servo", "pin=20"}).exitCode, 0);

    QString asked;
    Modals::Get().Then(Answer(QMessageBox::No, &asked));
    EXPECT_FALSE(app->Save(Doc()));
    EXPECT_EQ(asked.toStdString(), path + " was changed by another program after Kivo opened or saved it.\n\n"
                                          "Save anyway, replacing those changes?");
    EXPECT_EQ(FilePins(), "20 ");
    EXPECT_TRUE(Doc().IsModified());

    asked.clear();
    Modals::Get().Then(Answer(QMessageBox::Yes, &asked));
    EXPECT_TRUE(app->Save(Doc()));
    EXPECT_FALSE(asked.isEmpty());
    EXPECT_EQ(FilePins(), "12 ");

    AddServo("13");
    EXPECT_TRUE(app->Save(Doc()));
    EXPECT_EQ(FilePins(), "12 13 ");
    EXPECT_EQ(Modals::Get().Pending(), 0u);
}

// While the application generates (here: asking whether to replace another
// project's files), the project is held; after it, free again.
TEST_F(ProjectLockTest, GenerateHoldsTheProjectUntilItEnds)
{
    ASSERT_EQ(cli.Run({"new", "A.kivo"}).exitCode, 0);
    ASSERT_EQ(cli.Run({"generate", "A.kivo"}).exitCode, 0);
    bool heldMeanwhile = false;
    Modals::Get().Then([&](QWidget *w) {
        ProjectLock probe;
        heldMeanwhile = !probe.Acquire(path, std::chrono::milliseconds(0));
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->text().contains("holds the generated files of the project A.kivo"))
            << box->text().toStdString();
        box->button(QMessageBox::No)->click();
    });
    Frame().RunCommand("project.generate");
    EXPECT_TRUE(heldMeanwhile);
    ProjectLock after;
    EXPECT_TRUE(after.Acquire(path, std::chrono::milliseconds(0)));
}

} // namespace
} // namespace kivo::test
