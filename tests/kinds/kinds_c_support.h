#pragma once
// Helpers for the VGA, sound and USB kind tests: pin table entries and the
// FlexSpin compile check.
#include "flexspin.h"
#include "generator/generator.h"
#include "kinds/kind.h"
#include "kivocli.h"
#include "model/kivodoc.h"
#include "objects/editor.h"
#include "objects/objectlist.h"
#include "project.h"

#include <string>
#include <vector>

namespace kivo::kc {

using test::FieldValues;
using test::Press;
using test::Project;

// One pin's entry in the table, for compact comparisons.
inline std::string PinEntry(const CKivoDoc &doc, int p)
{
    return std::string(doc.m_bPinUsed[p] ? "used" : "free") + "|" + doc.m_strPinOwner[p] + "|" + doc.m_strPinUsage[p] +
           "|" + doc.m_strPinNote[p];
}

// The pins held by `owner`, as "pin:usage" in ascending order.
inline std::vector<std::string> PinsOwnedBy(const CKivoDoc &doc, const std::string &owner)
{
    std::vector<std::string> v;
    for (int p = 0; p < kPinCount; ++p)
        if (doc.m_bPinUsed[p] && doc.m_strPinOwner[p] == owner)
            v.push_back(std::to_string(p) + ":" + doc.m_strPinUsage[p]);
    return v;
}

#define KC_COMPILE_CHECK(folder)                                                                                       \
    do {                                                                                                               \
        KIVO_REQUIRE_FLEXSPIN(flexspin_);                                                                              \
        auto r_ = ::kivo::test::CompileP2(flexspin_, folder, "Blink.c");                                               \
        EXPECT_TRUE(r_.Ok()) << r_.output;                                                                             \
    } while (0)

} // namespace kivo::kc
