#pragma once
// Helpers for the DAC, ADC, I2C bus and RTC kind tests: counting a text in
// the generated code and the FlexSpin compile check.
#include "flexspin.h"
#include "generator/generator.h"
#include "kinds/kind.h"
#include "kivocli.h"
#include "model/projectfile.h"
#include "objects/editor.h"
#include "objects/objectlist.h"
#include "project.h"

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

using Cli = test::KivoCli;

} // namespace kinds_b
