#include "golden.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "testsupport.h"

using namespace kivo;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> v)
{
    std::vector<uint8_t> out;
    for (int b : v)
        out.push_back(uint8_t(b));
    return out;
}

std::vector<uint8_t> Wide(const std::string &s)
{
    std::vector<uint8_t> out;
    AppendWideString(out, s);
    return out;
}

std::string AsString(const std::vector<uint8_t> &v) { return std::string(v.begin(), v.end()); }

// A project with three objects, odd texts and every field touched.
void FillSample(CKivoDoc &doc)
{
    MemoryProfile profile;
    doc.OnNewDocument(profile);
    doc.m_bSetBaud = 1;
    doc.m_strBaud = "115200";
    doc.m_strPlan9Path = std::string(300, 'p');
    doc.m_strPinNote[5] = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
    for (int k = 0; k < 3; ++k) {
        auto o = std::make_unique<CCodeObject>();
        o->m_nKind = 6 + k;
        o->m_strName = "Obj" + std::to_string(k);
        o->m_strPin = std::to_string(10 + k);
        o->m_nPinCount = 1;
        o->m_strExtraPin[5] = "sda";
        o->m_nPullUp = -3;
        o->m_strSpeed = "400";
        o->m_strText[63] = "last";
        o->m_nValue[0] = -123456;
        o->m_bFlag[17] = true;
        o->m_bValid = k != 1;
        o->m_bSpare1 = k == 0;
        o->m_bSpare2 = k == 2;
        doc.AppendObject(std::move(o));
    }
    doc.m_nKindCount[99] = 42;
}

} // namespace

TEST(StringEncoding, LengthPrefixes)
{
    EXPECT_EQ(Wide(""), Bytes({0xFF, 0xFE, 0xFF, 0x00}));
    auto clock = Wide("160000000");
    ASSERT_EQ(clock.size(), 4u + 18u);
    EXPECT_EQ(clock[3], 9);
    EXPECT_EQ(clock[4], '1');
    EXPECT_EQ(clock[5], 0);

    const std::pair<std::size_t, std::vector<uint8_t>> prefixes[] = {
        {254, Bytes({0xFF, 0xFE, 0xFF, 254})},
        {255, Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x00})},
        {300, Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01})},
        {65533, Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF})},
        {65534, Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
    };
    for (auto &[n, prefix] : prefixes) {
        auto bytes = Wide(std::string(n, 'x'));
        ASSERT_EQ(bytes.size(), prefix.size() + 2 * n) << n;
        EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), bytes.begin())) << n;
    }
    // Characters outside the BMP take two units.
    EXPECT_EQ(Wide("\xF0\x9F\x98\x80")[3], 2);
}

TEST(ProjectFile, NewProjectMatchesTheFixture)
{
    CKivoDoc doc;
    MemoryProfile profile;
    doc.OnNewDocument(profile);
    auto bytes = SerializeProject(doc);
    // The file `kivo-cli new` writes in the new-project case, less the host's tool folders.
    test::ExpectFileBytes(KIVO_TEST_CASES "/new-project/expected/Blink.kivo", AsString(bytes));
    // The layout's first items, spelled out.
    auto head = Bytes({1, 0, 0, 0, 0xFF, 0xFE, 0xFF, 9});
    EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin()));
    // 64 pins, zero objects, 100 counters close the file.
    std::vector<uint8_t> tail(bytes.end() - 400 - 8, bytes.end() - 400);
    EXPECT_EQ(tail, std::vector<uint8_t>(8, 0));
}

TEST(ProjectFile, SaveReopenSaveIsByteIdentical)
{
    CKivoDoc doc;
    FillSample(doc);
    auto first = SerializeProject(doc);
    test::ExpectGolden("projectfile/sample.kivo", AsString(first));
    CKivoDoc reopened;
    ASSERT_TRUE(DeserializeProject(first, reopened));
    ASSERT_EQ(reopened.m_objList.size(), 3u);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(*reopened.m_objList[k], *doc.m_objList[k]) << k;
    EXPECT_EQ(reopened.m_nKindCount, doc.m_nKindCount);
    EXPECT_EQ(reopened.m_strPinNote[5], doc.m_strPinNote[5]);
    EXPECT_EQ(reopened.m_strPinOwner, doc.m_strPinOwner);
    EXPECT_EQ(SerializeProject(reopened), first);
}

TEST(ProjectFile, NarrowStringsAreReadAndWrittenBackWide)
{
    CKivoDoc doc;
    MemoryProfile profile;
    doc.OnNewDocument(profile);
    auto wide = SerializeProject(doc);
    // Replace the clock string (offset 4, 22 bytes) with its narrow form, and
    // a 1252 byte to show the code page.
    std::vector<uint8_t> narrow(wide.begin(), wide.begin() + 4);
    std::string clock = "16000000\x80";
    narrow.push_back(uint8_t(clock.size()));
    narrow.insert(narrow.end(), clock.begin(), clock.end());
    narrow.insert(narrow.end(), wide.begin() + 4 + 22, wide.end());
    CKivoDoc read;
    ASSERT_TRUE(DeserializeProject(narrow, read));
    EXPECT_EQ(read.m_strClockFreq, "16000000\xE2\x82\xAC");
    auto again = SerializeProject(read);
    std::vector<uint8_t> expectedClock = Wide("16000000\xE2\x82\xAC");
    EXPECT_TRUE(std::equal(expectedClock.begin(), expectedClock.end(), again.begin() + 4));
}

TEST(ProjectFile, WideFormWithLongerPrefixesIsRead)
{
    // FF FE FF, then FF and the 2-byte length; then the 4-byte form.
    CKivoDoc doc;
    MemoryProfile profile;
    doc.OnNewDocument(profile);
    auto bytes = SerializeProject(doc);
    std::vector<uint8_t> custom(bytes.begin(), bytes.begin() + 4);
    auto put = [&](std::initializer_list<int> v) {
        for (int b : v)
            custom.push_back(uint8_t(b));
    };
    put({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00, '4', 0, '2', 0});
    custom.insert(custom.end(), bytes.begin() + 4 + 22, bytes.end());
    CKivoDoc read;
    ASSERT_TRUE(DeserializeProject(custom, read));
    EXPECT_EQ(read.m_strClockFreq, "42");
}

TEST(ProjectFile, ZeroLengthFileIsAnEmptyProject)
{
    CKivoDoc doc;
    ASSERT_TRUE(DeserializeProject({}, doc));
    EXPECT_EQ(doc.m_nHeaderValue, 0);
    EXPECT_EQ(doc.m_strClockFreq, "");
    EXPECT_FALSE(doc.m_bPinUsed[62]);
    EXPECT_TRUE(doc.m_objList.empty());
}

TEST(ProjectFile, ExtraBytesAfterTheCountersAreIgnored)
{
    CKivoDoc doc;
    FillSample(doc);
    auto bytes = SerializeProject(doc);
    bytes.insert(bytes.end(), {1, 2, 3, 4, 5});
    CKivoDoc read;
    ASSERT_TRUE(DeserializeProject(bytes, read));
    EXPECT_EQ(read.m_nKindCount[99], 42);
}

TEST(ProjectFile, EveryTruncationIsRejected)
{
    CKivoDoc doc;
    FillSample(doc);
    auto bytes = SerializeProject(doc);
    for (std::size_t n = 1; n < bytes.size(); ++n) {
        CKivoDoc read;
        ASSERT_FALSE(DeserializeProject(std::span(bytes.data(), n), read)) << "length " << n;
        ASSERT_TRUE(read.m_objList.empty());
        ASSERT_EQ(read.m_strClockFreq, "");
    }
}

TEST(ProjectFile, HostileLengthsAreRejectedBeforeAllocating)
{
    CKivoDoc doc;
    MemoryProfile profile;
    doc.OnNewDocument(profile);
    auto bytes = SerializeProject(doc);
    std::vector<uint8_t> head(bytes.begin(), bytes.begin() + 4);

    // String lengths far beyond the file: 2-, 4- and 8-byte forms, wide and narrow.
    const std::vector<uint8_t> strings[] = {
        Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF}),
        Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}),
        Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
               0x7F}),
        Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
               0xFF}),
        Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80}),
    };
    for (auto &s : strings) {
        auto hostile = head;
        hostile.insert(hostile.end(), s.begin(), s.end());
        hostile.insert(hostile.end(), 64, 'x');
        CKivoDoc read;
        EXPECT_FALSE(DeserializeProject(hostile, read));
    }

    // An object count far beyond what the file holds. The count sits right
    // before the 400 bytes of counters.
    for (uint64_t count : {uint64_t(1) << 62, uint64_t(1000000), uint64_t(2)}) {
        auto hostile = bytes;
        std::size_t at = hostile.size() - 400 - 8;
        for (int i = 0; i < 8; ++i)
            hostile[at + i] = uint8_t(count >> (8 * i));
        CKivoDoc read;
        EXPECT_FALSE(DeserializeProject(hostile, read)) << count;
    }
    // A negative count reads no records.
    auto negative = bytes;
    std::fill(negative.end() - 408, negative.end() - 400, 0xFF);
    CKivoDoc read;
    EXPECT_TRUE(DeserializeProject(negative, read));
    EXPECT_TRUE(read.m_objList.empty());
}

TEST(ProjectFile, OpenReportsUnreadableAndMalformedFiles)
{
    test::TempDir dir;
    test::TestServices t;
    CKivoDoc doc;
    EXPECT_EQ(t.Show(OpenProject(dir / "missing.kivo", doc, t.services)).what, Failure::ReadFile);
    ASSERT_EQ(t.messages.shown.size(), 1u);
    EXPECT_EQ(t.messages.shown[0].text, (dir / "missing.kivo") + " was not found.");

    test::WriteFileBytes(dir / "bad.kivo", "\x01\x00\x00\x00\xFF\xFE\xFF\x09"
                                           "1");
    t.messages.shown.clear();
    CKivoDoc bad;
    EXPECT_EQ(t.Show(OpenProject(dir / "bad.kivo", bad, t.services)).what, Failure::FileFormat);
    EXPECT_EQ(t.messages.shown,
              (std::vector<ShownMessage>{{MessageKind::Plain, "Unexpected file format.\n" + (dir / "bad.kivo")}}));
    EXPECT_EQ(bad.m_strPathName, "");
}

TEST(ProjectFile, FailedSaveKeepsTheOldFileAndTheDocument)
{
    test::TempDir dir;
    test::TestServices t;
    CKivoDoc doc;
    FillSample(doc);
    std::string path = dir / "P.kivo";
    ASSERT_TRUE(SaveProject(doc, path, t.services));
    std::string before = test::ReadFileBytes(path);

    int refreshes = 0;
    doc.AddView([&] { ++refreshes; });
    doc.m_strClockFreq = "300000000";
    const std::pair<FileCause, const char *> failures[] = {
        {FileCause::DiskFull, "Disk full while accessing %1."},
        {FileCause::AccessDenied, "Access to %1 was denied."},
        {FileCause::Generic, "Failed to save document."},
    };
    for (auto &[cause, text] : failures) {
        t.files.replaceFailure = cause;
        t.messages.shown.clear();
        Result r = t.Show(SaveProject(doc, dir / "Other.kivo", t.services));
        EXPECT_EQ(r.what, Failure::WriteFile);
        EXPECT_EQ(r.why, cause);
        ASSERT_EQ(t.messages.shown.size(), 1u);
        std::string expected = text;
        if (auto p = expected.find("%1"); p != std::string::npos)
            expected.replace(p, 2, dir / "Other.kivo");
        EXPECT_EQ(t.messages.shown[0].text, expected);
        EXPECT_EQ(doc.m_strPathName, path);
    }
    EXPECT_EQ(refreshes, 3); // every save starts with the refresh broadcast
    EXPECT_EQ(test::ReadFileBytes(path), before);
    EXPECT_FALSE(std::filesystem::exists(dir / "Other.kivo"));
}

TEST(ProjectFile, AtomicReplaceOnDiskLeavesNoTemporaryFiles)
{
    test::TempDir dir;
    DiskFileSystem fs;
    std::string path = dir / "A.kivo";
    ASSERT_EQ(fs.ReplaceAtomically(path, {1, 2, 3}), FileCause::None);
    ASSERT_EQ(fs.ReplaceAtomically(path, {4, 5}), FileCause::None);
    EXPECT_EQ(test::ReadFileBytes(path), "\x04\x05");
    // A folder in the way: the replace fails and the folder stays.
    std::filesystem::create_directory(dir / "D.kivo");
    test::WriteFileBytes(dir / "D.kivo/inside", "x");
    EXPECT_NE(fs.ReplaceAtomically(dir / "D.kivo", {9}), FileCause::None);
    EXPECT_EQ(test::ReadFileBytes(dir / "D.kivo/inside"), "x");
    // A folder that does not exist.
    EXPECT_EQ(fs.ReplaceAtomically(dir / "no/such/X.kivo", {9}), FileCause::FileNotFound);
    int entries = 0;
    for (auto &e : std::filesystem::directory_iterator(dir.Path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 2); // A.kivo and D.kivo only
}
