// What the simulator shows, held still: every kind alone and the all-kinds
// example (with the USB keyboard typing) run for a short simulated time, and
// their console, JSON report, frame, WAV and VCD (of a short window: a fast
// pin makes a large one) are compared with what was recorded in
// tests/data/simrun/<case>/. A change of any of them is a change of the
// simulation: KIVO_UPDATE_GOLDEN=1 records the results anew.
//
// The recorded files: console.txt and report.json as the run wrote them (the
// scratch folder written as $DIR); frame.txt, wav.txt and vcd.txt sum the
// larger outputs up: sizes, a few telling figures and FNV-1a hashes (of the
// decoded pixels, since the PNG's compressed bytes depend on zlib). A VCD of
// at most kWholeVcdBytes is kept whole as pins.vcd instead. The programs are
// compiled with FlexSpin, whose code shapes the timing: flexspin.txt holds
// the version the results were recorded with, and another version skips.
#include "board/usb_board.h"
#include "golden.h"
#include "run/png.h"
#include "run/wav.h"
#include "simrun_support.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <map>

namespace kivo::test {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kWholeVcdBytes = 48 * 1024;

struct Case {
    const char *name;
    std::vector<int> kinds; // empty: examples/AllKinds.kivo
    double seconds;
    double vcdFrom, vcdTo; // the VCD's window, from a run of its own
    std::vector<std::string> sets;
    const char *usbKeys = nullptr;
};

const Case kCases[] = {
    {"vga", {kSimpleVGA}, 0.1, 0.06, 0.0601, {}},
    {"i2c", {kI2CBus}, 0.3, 0, 0.3, {}},
    {"neopixel", {kNeopixel}, 0.3, 0, 0.3, {}},
    {"nco", {kNCO}, 0.3, 0.05, 0.0501, {}},
    {"rtc", {kI2CBus, kRTC}, 0.3, 0, 0.3, {}},
    {"sound", {kSimpleSound}, 0.3, 0.1, 0.1002, {}},
    {"servo", {kServo}, 0.3, 0, 0.3, {}},
    {"digital", {kDigital}, 0.3, 0, 0.3, {"SmartPin1.input=1"}},
    {"filters", {kFilters}, 0.3, 0, 0.3, {}},
    {"dac", {kDAC}, 0.3, 0, 0.3, {}},
    {"adc", {kADC}, 0.3, 0, 0.05, {"ADC1.volts=2.5"}},
    {"usb", {kUsbKbm}, 2.2, 0, 0.05, {}, "go\\n"},
    {"allkinds", {}, 2.2, 0.3, 0.3001, {"ADC1.volts=2.5", "SmartPin1.input=1"}, "go\\n"},
};

fs::path RecordedFolder() { return fs::path(KIVO_TEST_DATA) / "simrun"; }

std::uint64_t Fnv(const void *data, std::size_t n, std::uint64_t h = 0xcbf29ce484222325ull)
{
    auto *p = static_cast<const unsigned char *>(data);
    for (std::size_t i = 0; i < n; i++)
        h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}
std::uint64_t Fnv(const std::string &s, std::uint64_t h = 0xcbf29ce484222325ull) { return Fnv(s.data(), s.size(), h); }

std::string Hex(std::uint64_t h)
{
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016" PRIx64, h);
    return buf;
}

std::string ReplaceAll(std::string s, const std::string &from, const std::string &to)
{
    for (auto at = s.find(from); !from.empty() && at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

// The first line of `flexspin --version` that names the version.
std::string FlexspinVersion(const std::string &flexspin)
{
    TempDir dir;
    std::string output;
    RunShell(Quote(flexspin) + " --version", dir / "version.log", output);
    std::smatch m;
    if (std::regex_search(output, m, std::regex("Version [^ \n]+")))
        return m[0].str() + "\n";
    return "";
}

// The frame: its size, the pixels' hash as a whole and per band of 60 rows
// (so a difference says where), how many colours and lit pixels.
std::string FrameSummary(const std::string &png)
{
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgb;
    std::string error;
    if (!sim::ReadPng(png, w, h, rgb, &error))
        return "unreadable: " + error + "\n";
    std::string s = "size " + std::to_string(w) + "x" + std::to_string(h) + "\n";
    s += "pixels " + Hex(Fnv(rgb.data(), rgb.size())) + "\n";
    const std::size_t row = std::size_t(w) * 3;
    for (int y = 0; y < h; y += 60)
        s += "rows " + std::to_string(y) + ".. " +
             Hex(Fnv(rgb.data() + std::size_t(y) * row, std::size_t(std::min(60, h - y)) * row)) + "\n";
    std::map<std::uint32_t, int> colours;
    std::size_t lit = 0;
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
        colours[std::uint32_t(rgb[i]) << 16 | std::uint32_t(rgb[i + 1]) << 8 | rgb[i + 2]]++;
        lit += (rgb[i] | rgb[i + 1] | rgb[i + 2]) != 0;
    }
    s += "colours " + std::to_string(colours.size()) + "\n";
    s += "lit pixels " + std::to_string(lit) + "\n";
    return s;
}

// The WAV: its format, length, the samples' hash and each channel's range.
std::string WavSummary(const std::string &bytes)
{
    auto le = [&](std::size_t at, int n) {
        std::uint32_t v = 0;
        for (int i = n - 1; i >= 0; i--)
            v = v << 8 | std::uint8_t(bytes[at + std::size_t(i)]);
        return v;
    };
    if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0)
        return "not a WAV file\n";
    std::string s = "bytes " + std::to_string(bytes.size()) + " hash " + Hex(Fnv(bytes)) + "\n";
    s += "channels " + std::to_string(le(22, 2)) + " rate " + std::to_string(le(24, 4)) + " bits " +
         std::to_string(le(34, 2)) + "\n";
    std::size_t at = 12;
    while (at + 8 <= bytes.size() && bytes.compare(at, 4, "data") != 0)
        at += 8 + le(at + 4, 4);
    if (at + 8 > bytes.size())
        return s + "no data chunk\n";
    const std::size_t n = std::min<std::size_t>(le(at + 4, 4), bytes.size() - at - 8) / 4;
    s += "frames " + std::to_string(n) + "\n";
    for (int c = 0; c < 2; c++) {
        int lo = 32767, hi = -32768;
        long long sum = 0;
        for (std::size_t i = 0; i < n; i++) {
            int v = std::int16_t(le(at + 8 + i * 4 + std::size_t(c) * 2, 2));
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            sum += v;
        }
        s += std::string(c ? "right" : "left") + " min " + std::to_string(n ? lo : 0) + " max " +
             std::to_string(n ? hi : 0) + " mean " + std::to_string(n ? sum / (long long)n : 0) + "\n";
    }
    return s;
}

// The VCD: its header's and whole hash, and per signal the number of
// changes, the last one's time and the hash of its changes.
std::string VcdSummary(const std::string &text)
{
    struct Signal {
        std::string name;
        std::size_t changes = 0;
        std::string last = "-";
        std::uint64_t hash = 0xcbf29ce484222325ull;
    };
    std::map<std::string, Signal> signals;
    std::vector<std::string> order;
    std::string scope, time = "0";
    const auto body = text.find("$enddefinitions");
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string w, id, kind, size, name;
        if (line.rfind("$scope", 0) == 0) {
            words >> w >> kind >> scope;
        } else if (line.rfind("$var", 0) == 0) {
            words >> w >> kind >> size >> id >> name;
            signals[id].name = scope + "." + name;
            order.push_back(id);
        } else if (!line.empty() && line[0] == '#') {
            time = line.substr(1);
        } else if (!line.empty() && line[0] != '$') {
            std::string value;
            if (line[0] == 'r' || line[0] == 'b')
                words >> value >> id;
            else
                value = line.substr(0, 1), id = line.substr(1);
            auto it = signals.find(id);
            if (it == signals.end())
                continue;
            it->second.changes++;
            it->second.last = time;
            it->second.hash = Fnv(time + " " + value + "\n", it->second.hash);
        }
    }
    std::string s = "bytes " + std::to_string(text.size()) + " hash " + Hex(Fnv(text)) + "\n";
    s += "header hash " + Hex(Fnv(text.substr(0, body))) + "\n";
    for (const auto &id : order) {
        const Signal &g = signals[id];
        s += g.name + " changes " + std::to_string(g.changes) + " last #" + g.last + " hash " + Hex(g.hash) + "\n";
    }
    return s;
}

// The case's project, generated and compiled in `dir`.
void BuildCase(const Case &c, const std::string &flexspin, Project &p, CKivoDoc *&doc, CKivoDoc &example)
{
    if (!c.kinds.empty()) {
        for (int kind : c.kinds)
            ASSERT_EQ(p.Add(kind), AddResult::Added) << p.Said();
        Build(p, flexspin);
        doc = &p.doc;
        return;
    }
    fs::copy_file(fs::path(KIVO_SOURCE_DIR) / "examples/AllKinds.kivo", p.dir / "AllKinds.kivo");
    ASSERT_TRUE(OpenProject(p.dir / "AllKinds.kivo", example, p.t.services));
    ASSERT_TRUE(p.t.Show(GenerateProject(example, p.t.services))) << p.Said();
    CompileResult r = CompileP2(flexspin, p.dir.Path(), "AllKinds.c", BuildScriptOptions(p.dir.Path()));
    ASSERT_TRUE(r.Ok()) << r.output;
    doc = &example;
}

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

class RecordedRun : public testing::TestWithParam<Case>
{
};

TEST_P(RecordedRun, ShowsWhatWasRecorded)
{
    KIVO_REQUIRE_FLEXSPIN(flexspin);
    const Case &c = GetParam();
    const fs::path folder = RecordedFolder() / c.name;
    const std::string version = FlexspinVersion(flexspin);
    if (UpdatingGolden()) {
        fs::create_directories(folder);
        WriteFileBytes((folder / "flexspin.txt").string(), version);
    } else {
        ASSERT_TRUE(fs::exists(folder / "flexspin.txt"))
            << "nothing recorded in " << folder.string() << " (KIVO_UPDATE_GOLDEN=1 records it)";
        const std::string recorded = ReadFileBytes((folder / "flexspin.txt").string());
        if (recorded != version)
            GTEST_SKIP() << "recorded with FlexSpin " << recorded.substr(0, recorded.size() - 1) << ", this is "
                         << (version.empty() ? "an unknown version" : version.substr(0, version.size() - 1))
                         << ": its code times differently (KIVO_UPDATE_GOLDEN=1 records anew)";
    }

    Project p;
    CKivoDoc example;
    CKivoDoc *doc = nullptr;
    BuildCase(c, flexspin, p, doc, example);
    if (HasFatalFailure())
        return;

    sim::ProjectRunOptions o;
    o.run.seconds = c.seconds;
    o.json = true;
    o.sets = c.sets;
    const bool vga = std::any_of(doc->m_objList.begin(), doc->m_objList.end(),
                                 [](const auto &ob) { return ob->m_nKind == kSimpleVGA; });
    int left = 0, right = 0;
    const bool sound = sim::WavRecorder::SoundPins(*doc, &left, &right);
    if (vga)
        o.framePath = p.dir / "frame.png";
    if (sound)
        o.wavPath = p.dir / "sound.wav";
    if (c.usbKeys) {
        ASSERT_EQ(sim::ParseUsbKeys(o.usb, c.usbKeys), "");
    }
    std::ostringstream out, err;
    EXPECT_EQ(sim::RunProject(*doc, o, out, err), 0) << err.str();

    // The VCD of a window.
    sim::ProjectRunOptions v = o;
    v.run.seconds = c.vcdTo;
    v.vcdFrom = c.vcdFrom;
    v.json = false;
    v.framePath.clear();
    v.wavPath.clear();
    v.vcdPath = p.dir / "pins.vcd";
    std::ostringstream vout, verr;
    EXPECT_EQ(sim::RunProject(*doc, v, vout, verr), 0) << verr.str();

    // The report without the console, which is kept apart, and with the
    // scratch folder written as $DIR.
    kivo::Json report = kivo::Json::parse(out.str(), nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << out.str();
    const std::string console = report.value("console", "");
    report.erase("console");
    const std::string reportText = ReplaceAll(JsonText(report, 2), p.dir.Path(), "$DIR") + "\n";

    std::map<std::string, std::string> actual = {{"console.txt", console}, {"report.json", reportText}};
    if (vga)
        actual["frame.txt"] = FrameSummary(p.dir / "frame.png");
    if (sound)
        actual["wav.txt"] = WavSummary(ReadFileBytes(p.dir / "sound.wav"));
    const std::string vcd = ReplaceAll(ReadFileBytes(p.dir / "pins.vcd"), p.dir.Path(), "$DIR");
    const bool whole = UpdatingGolden() ? vcd.size() <= kWholeVcdBytes : fs::exists(folder / "pins.vcd");
    actual[whole ? "pins.vcd" : "vcd.txt"] = whole ? vcd : VcdSummary(vcd);
    if (UpdatingGolden())
        fs::remove(folder / (whole ? "vcd.txt" : "pins.vcd"));

    for (const auto &[name, bytes] : actual) {
        SCOPED_TRACE(name);
        ExpectFileBytes((folder / name).string(), bytes);
    }
    if (HasFailure()) {
        // The full outputs, to look at what changed.
        const fs::path keep = fs::temp_directory_path() / "kivo-recorded-run" / c.name;
        fs::remove_all(keep);
        fs::create_directories(keep);
        for (const char *f : {"frame.png", "sound.wav", "pins.vcd"})
            if (fs::exists(p.dir / f))
                fs::copy_file(p.dir / f, keep / f);
        ADD_FAILURE() << "this run's frame, WAV and VCD are in " << keep.string();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RecordedRun, testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace kivo::test
