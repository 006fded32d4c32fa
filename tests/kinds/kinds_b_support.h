#pragma once
// Helpers for the DAC, ADC, I2C bus and RTC kind tests: a project in a
// temporary folder, editor runners, golden comparison, the FlexSpin compile
// check and kivo-cli runs.
#include "generator/generator.h"
#include "model/projectfile.h"
#include "objects/editor.h"
#include "objects/kind.h"
#include "objects/objectlist.h"
#include "flexspin.h"
#include "kindproject.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kinds_b {

using namespace kivo;

using test::PressOk;
using test::Project;
using test::Setter;

inline std::size_t CountOf(const std::string &text, const std::string &part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

// Generates the project and compiles Blink.c with FlexSpin in its folder.
// Skips when FlexSpin is not found.
inline void ExpectCompiles(Project &p)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    p.Generate();
    auto r = test::CompileP2(flexspin, p.dir.Path(), "Blink.c");
    EXPECT_TRUE(r.Ok()) << r.output << "\n--- Blink.c ---\n" << p.MainFile();
}

// kivo-cli with its own settings folder; returns the exit status.
struct Cli {
    test::TempDir dir;
    std::string output;

    std::string File() const { return dir / "Blink.kivo"; }
    int operator()(const std::vector<std::string> &args)
    {
        std::string line = "XDG_CONFIG_HOME=" + test::Quote(dir / "config") + " " + test::Quote(KIVO_CLI);
        for (auto &a : args)
            line += " " + test::Quote(a);
        return test::RunShell(line, dir / "cli.log", output);
    }
    void New() { ASSERT_EQ((*this)({"new", File()}), 0) << output; }
    std::string Bytes() const { return test::ReadFileBytes(File()); }
    // The project as the file now holds it.
    void Load(CKivoDoc &doc)
    {
        test::TestServices t;
        ASSERT_TRUE(OpenProject(File(), doc, t.services));
    }
};

} // namespace kinds_b
