#include "kinds_c_support.h"

using namespace kivo;
using kc::Project;

namespace {

// The sound flag comes from the Platform.h walk, so a sound object that is
// met last still gives main() its polling loop.
void AddSoundLast(Project &p)
{
    ASSERT_EQ(p.Add(kSimpleVGA), AddResult::Added);
    ASSERT_EQ(p.Add(kUsbKbm, {{"basepin", "16"}}), AddResult::Added);
    ASSERT_EQ(p.Add(kSimpleSound, {{"effects", "0"}}), AddResult::Added);
    ASSERT_EQ(p.doc.m_objList.back()->m_nKind, kSimpleSound);
}

TEST(MixedC, SoundLastGetsPollingMain)
{
    Project p;
    AddSoundLast(p);
    p.Generate();
    std::string main = test::ReadFileBytes(p.dir / "Blink.c");
    EXPECT_NE(main.find("            sound.pollTick();\r\n"), std::string::npos);
    EXPECT_EQ(main.find("sleep(1)"), std::string::npos);
}

TEST(MixedC, SoundLastCompiles)
{
    Project p;
    AddSoundLast(p);
    p.Generate();
    KC_COMPILE_CHECK(p.dir.Path());
}

} // namespace
