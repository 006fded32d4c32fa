// kivo-cli simulate P.kivo --wav F.wav on a generated sound project: a PCM
// WAV at the mixer's rate with the music on both channels; a project without
// a sound object is refused.
#include "kivocli.h"
#include "soundsim.h"

#include <cmath>

using namespace kivo;

namespace {

std::uint32_t Le(const std::string &b, std::size_t at, int n)
{
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = v << 8 | static_cast<std::uint8_t>(b[at + i]);
    return v;
}

} // namespace

TEST(SoundCli, SimulateRecordsTheSoundPinsAsWav)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    test::KivoCli cli;
    cli.New();
    ASSERT_EQ(cli({"add", cli.File(), "sound", "left=20", "right=61"}), 0) << cli.output;
    ASSERT_EQ(cli({"generate", cli.File()}), 0) << cli.output;
    auto c = test::CompileP2(flexspin, cli.dir.Path(), "Blink.c");
    ASSERT_TRUE(c.Ok()) << c.output;
    const std::string wav = cli.dir / "out.wav";
    ASSERT_EQ(cli({"simulate", cli.File(), "--time", "1.5", "--wav", wav, "--json"}), 0) << cli.output;
    EXPECT_NE(cli.output.find("\"sampleRate\": 32000"), std::string::npos) << cli.output;
    std::string b = test::ReadFileBytes(wav);
    ASSERT_GT(b.size(), 44u);
    EXPECT_EQ(b.substr(0, 4), "RIFF");
    EXPECT_EQ(Le(b, 22, 2), 2u);
    EXPECT_EQ(Le(b, 24, 4), 32000u);
    EXPECT_EQ(Le(b, 34, 2), 16u);
    const std::size_t frames = Le(b, 40, 4) / 4;
    EXPECT_NEAR(double(frames), 1.5 * 32000, 0.1 * 32000);
    double sum[2] = {0, 0};
    for (std::size_t i = frames / 10; i < frames; ++i)
        for (int ch = 0; ch < 2; ++ch) {
            double v = static_cast<std::int16_t>(Le(b, 44 + i * 4 + ch * 2, 2));
            sum[ch] += v * v;
        }
    for (int ch = 0; ch < 2; ++ch)
        EXPECT_GT(std::sqrt(sum[ch] / double(frames - frames / 10)), 300) << "channel " << ch;

    // The same run asked of a project with no sound object.
    test::KivoCli none;
    none.New();
    ASSERT_EQ(none({"add", none.File(), "nco"}), 0) << none.output;
    ASSERT_EQ(none({"generate", none.File()}), 0) << none.output;
    ASSERT_TRUE(test::CompileP2(flexspin, none.dir.Path(), "Blink.c").Ok());
    EXPECT_EQ(none({"simulate", none.File(), "--time", "0.1", "--wav", none.dir / "out.wav"}), 1);
    EXPECT_NE(none.output.find("--wav: the project has no Simple Sound object"), std::string::npos) << none.output;
    EXPECT_FALSE(std::filesystem::exists(none.dir / "out.wav"));
}
