#include "flexspin.h"
#include "generator/generator.h"

using namespace kivo;

// The frame alone, with every project option on, is a valid program.
TEST(Compile, ProjectWithoutObjectsCompiles)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const std::pair<const char *, bool> variants[] = {{"defaults", false}, {"all-options", true}};
    for (auto [label, on] : variants) {
        test::TempDir dir;
        test::TestServices t;
        CKivoDoc doc;
        test::NewProject(doc, dir / "Blink.kivo");
        if (on)
            doc.m_bSetBaud = doc.m_bSetHeapSize = doc.m_bUsePlan9 = doc.m_bMountSd = 1;
        ASSERT_TRUE(t.Show(GenerateProject(doc, t.services)));
        auto r = test::CompileP2(flexspin, dir.Path(), "Blink.c");
        EXPECT_TRUE(r.Ok()) << label << "\n" << r.output;
        EXPECT_TRUE(std::filesystem::exists(dir / "Blink.binary")) << label;
    }
}
