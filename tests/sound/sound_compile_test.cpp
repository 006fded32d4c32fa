// The sound files compile for the P2 without a warning, each on its own, and
// the projects holding them fit the hub RAM with room left for the stacks.
#include "kivocli.h"
#include "soundsim.h"

#include <filesystem>
#include <regex>
#include <sstream>

using namespace kivo;

namespace {

constexpr long kHubBytes = 512 * 1024;
// The main program's stack and heap live above the image.
constexpr long kStackRoom = 32 * 1024;

void CopySoundFiles(const test::TempDir &dir)
{
    for (const auto &f : test::kSoundFiles)
        std::filesystem::copy_file(std::string(KIVO_SOURCE_DIR) + "/resources/" + f, dir / f);
}

} // namespace

class SoundFileCompiles : public ::testing::TestWithParam<const char *>
{
};

TEST_P(SoundFileCompiles, AloneWithAllWarningsOn)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    test::TempDir dir;
    CopySoundFiles(dir);
    auto r = test::CompileP2(flexspin, dir.Path(), GetParam(), "-Wall");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(r.HasWarning()) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Sound, SoundFileCompiles,
                         ::testing::Values("SimpleSound.spin2", "reSound.spin2", "trackerPlayer.spin2"),
                         [](const auto &info) {
                             std::string n = info.param;
                             return n.substr(0, n.find('.'));
                         });

TEST(SoundProjects, FitTheHubWithRoomForTheirStacks)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    // A project with one sound object, as the user makes it.
    test::KivoCli cli;
    cli.New();
    ASSERT_EQ(cli({"add", cli.File(), "sound"}), 0) << cli.output;
    ASSERT_EQ(cli({"generate", cli.File()}), 0) << cli.output;
    auto sound = test::CompileP2(flexspin, cli.dir.Path(), "Blink.c");
    ASSERT_TRUE(sound.Ok()) << sound.output;
    ASSERT_TRUE(sound.programSize.has_value());

    // The example with one object of every kind.
    test::KivoCli all;
    std::filesystem::copy_file(std::string(KIVO_SOURCE_DIR) + "/examples/AllKinds.kivo", all.dir / "AllKinds.kivo");
    ASSERT_EQ(all({"generate", all.dir / "AllKinds.kivo"}), 0) << all.output;
    auto every = test::CompileP2(flexspin, all.dir.Path(), "AllKinds.c");
    ASSERT_TRUE(every.Ok()) << every.output;
    ASSERT_TRUE(every.programSize.has_value());

    for (auto [name, size] :
         {std::pair{"sound project", *sound.programSize}, std::pair{"all kinds", *every.programSize}}) {
        std::cout << "[ hub RAM  ] " << name << ": " << size << " bytes, " << kHubBytes - size << " free\n";
        EXPECT_LE(size + kStackRoom, kHubBytes) << name;
    }
}

// The mixer loop counted from the compiler's listing: each instruction two
// clocks, hub reads up to 16 and writes up to 10 (cog exec), branches 4. Its
// worst case leaves most of a sample period to the player's step even at
// the lowest clock the settings offer (100 MHz: 3125 clocks).
TEST(SoundListing, MixerLoopFitsTheSamplePeriod)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    test::TempDir dir;
    CopySoundFiles(dir);
    auto r = test::CompileP2(flexspin, dir.Path(), "SimpleSound.spin2", "-l");
    ASSERT_TRUE(r.Ok()) << r.output;
    std::istringstream lst(test::ReadFileBytes(dir / "SimpleSound.lst"));
    std::string line;
    std::regex code(R"(^[0-9a-f]{5}\s+(?:[0-9A-F]{2} ){4}\|\s*(\S.*)$)");
    bool inside = false;
    int instructions = 0, hubReads = 0, hubWrites = 0, branches = 0;
    while (std::getline(lst, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, code))
            continue;
        std::string text = m[1].str().substr(0, m[1].str().find('\''));
        if (!inside && std::regex_search(text, std::regex(R"(^loop\s+mov\s+accl)")))
            inside = true;
        if (!inside || std::regex_match(text, std::regex(R"(\.\w+\s*)")))
            continue;
        ++instructions;
        hubReads += std::regex_search(text, std::regex(R"(\brd(byte|word|long)\b)"));
        hubWrites += std::regex_search(text, std::regex(R"(\bwr(byte|word|long)\b)"));
        branches += std::regex_search(text, std::regex(R"(\b(jmp|call|tjz|tjnz)\b)"));
        if (std::regex_search(text, std::regex(R"(jmp\s+#loop)")))
            break;
    }
    ASSERT_GT(instructions, 50) << "the mixer loop was not found in the listing";
    const int worst = 2 * instructions + 14 * hubReads + 8 * hubWrites + 2 * branches;
    std::cout << "[ listing  ] mixer loop: " << instructions << " instructions, " << hubReads << " hub reads, "
              << hubWrites << " hub writes: at most " << worst << " clocks\n";
    EXPECT_EQ(hubReads, 7) << "six voices and the mailbox";
    EXPECT_LT(worst, 3125 / 4);
}
