#include "generator/generator.h"
#include "objects/objectlist.h"
#include "objects/editor.h"
#include "testsupport.h"

using namespace kivo;

TEST(Smoke, ServoProjectGenerates)
{
    test::TempDir dir;
    test::TestServices t;
    CKivoDoc doc;
    test::NewProject(doc, dir / "Blink.kivo");
    auto r = AddObject(doc, kServo, t.messages, [](CEditorModel &e) { return e.Ok() == OkResult::Accepted; });
    ASSERT_EQ(r, AddResult::Added);
    EXPECT_EQ(GenerateProject(doc, t.services), GenerateResult::Done);
    EXPECT_TRUE(std::filesystem::exists(dir / "zd_servo.spin2"));
}
