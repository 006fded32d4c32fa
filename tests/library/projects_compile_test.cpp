// Generated projects build with the library files the generator writes: one
// project per kind, and one holding every kind there is an editor for.
#include "flexspin_run.h"
#include "generator/generator.h"
#include "kinds/kind.h"
#include "objects/editor.h"
#include "objects/objectlist.h"

#include <cctype>

using namespace kivo;

namespace {

struct Setting {
    const char *key;
    const char *value;
};

struct Step {
    const char *kind; // command-line kind name
    std::vector<Setting> settings;
};

// Pins chosen so that all kinds fit in one project.
const std::vector<Step> kSteps = {
    {"vga", {{"basepin", "48"}}},
    // Off the USB adapter's error LED pins 56 and 57.
    {"i2c", {{"scl", "45"}, {"sda", "46"}, {"pullup", "1"}, {"scan", "1"}}},
    {"neopixel", {{"pin", "53"}, {"leds", "8"}, {"random", "1"}}},
    {"nco", {{"pin", "40"}}},
    {"rtc", {{"settime", "1"}}},
    {"sound", {{"left", "54"}, {"right", "55"}}},
    {"servo", {{"pin", "38"}}},
    {"digital", {{"pin", "41"}}},
    {"filters", {}},
    {"dac", {{"pin", "42"}}},
    {"adc", {{"pin", "44"}}},
    {"usb", {{"basepin", "8"}}},
};

bool IsNumber(const std::string &s) { return !s.empty() && std::all_of(s.begin(), s.end(), ::isdigit); }

// Sets the fields the editor has, as a user would, and presses OK.
bool Run(CEditorModel &e, const Step &step)
{
    for (const Setting &s : step.settings) {
        const FieldSpec *f = e.FindField(s.key);
        if (!f)
            continue;
        switch (f->type) {
        case FieldType::Flag:
            e.UserSetFlag(s.key, std::string(s.value) == "1");
            break;
        case FieldType::Choice: {
            if (IsNumber(s.value)) {
                e.UserChoose(s.key, std::stoi(s.value));
            } else {
                auto options = e.Options(s.key);
                auto it = std::find(options.begin(), options.end(), s.value);
                if (it != options.end())
                    e.UserChoose(s.key, static_cast<int>(it - options.begin()));
            }
            break;
        }
        case FieldType::Slider:
            e.UserSlide(s.key, std::stoi(s.value));
            break;
        default:
            e.UserSetText(s.key, s.value);
            break;
        }
    }
    return e.Ok() == OkResult::Accepted;
}

// Whether the kind has an editor in this build yet.
bool HasEditor(const IKind &kind)
{
    CKivoDoc doc;
    CCodeObject o;
    RecordingMessages m;
    return kind.CreateEditor(o, doc, 0, m) != nullptr;
}

void AddStep(CKivoDoc &doc, const Step &step, test::TestServices &t)
{
    const IKind *kind = FindKindByName(step.kind);
    ASSERT_NE(kind, nullptr) << step.kind;
    auto r = AddObject(doc, kind->Code(), t.messages, [&](CEditorModel &e) { return Run(e, step); });
    ASSERT_EQ(r, AddResult::Added) << step.kind;
}

void GenerateAndCompile(const std::string &flexspin, const std::vector<Step> &steps)
{
    test::TempDir dir;
    test::TestServices t;
    CKivoDoc doc;
    test::NewProject(doc, dir / "Blink.kivo");
    for (const Step &s : steps)
        ASSERT_NO_FATAL_FAILURE(AddStep(doc, s, t));
    ASSERT_TRUE(t.Show(GenerateProject(doc, t.services)));
    auto r = test::CompileP2(flexspin, dir.Path(), "Blink.c");
    EXPECT_EQ(r.status, 0) << test::ReadFileBytes(dir / "Blink.c") << "\n" << r.output;
    EXPECT_FALSE(r.HasWarning()) << r.output;
    if (r.programSize)
        std::cout << "[ size     ] " << r.programSize.value() << " bytes\n";
}

class KindProject : public ::testing::TestWithParam<Step>
{
};

void PrintTo(const Step &s, std::ostream *os) { *os << s.kind; }

} // namespace

TEST_P(KindProject, Compiles)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const IKind *kind = FindKindByName(GetParam().kind);
    ASSERT_NE(kind, nullptr);
    if (!HasEditor(*kind))
        GTEST_SKIP() << GetParam().kind << " has no editor in this build";
    std::vector<Step> steps;
    if (std::string(GetParam().kind) == "rtc")
        steps.push_back(kSteps[1]); // the clock needs its bus
    steps.push_back(GetParam());
    GenerateAndCompile(flexspin, steps);
}

INSTANTIATE_TEST_SUITE_P(Library, KindProject, ::testing::ValuesIn(kSteps),
                         [](const auto &info) { return std::string(info.param.kind); });

TEST(AllKindsProject, Compiles)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    std::vector<Step> steps;
    std::string missing;
    for (const Step &s : kSteps) {
        if (HasEditor(*FindKindByName(s.kind)))
            steps.push_back(s);
        else
            missing += std::string(" ") + s.kind;
    }
    if (!missing.empty())
        std::cout << "[ note     ] kinds without an editor in this build:" << missing << "\n";
    ASSERT_FALSE(steps.empty());
    GenerateAndCompile(flexspin, steps);
}
