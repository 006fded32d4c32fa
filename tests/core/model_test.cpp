#include "kinds/kind.h"
#include "model/codeobject.h"
#include "model/kivodoc.h"
#include "model/text.h"
#include "platform/services.h"
#include "testsupport.h"

using namespace kivo;

TEST(Document, NewProjectHasOnlyTheSerialPinsTaken)
{
    CKivoDoc doc;
    MemoryProfile profile;
    ASSERT_TRUE(doc.OnNewDocument(profile));
    for (int p = 0; p < 62; ++p) {
        EXPECT_FALSE(doc.m_bPinUsed[p]) << p;
        EXPECT_EQ(doc.m_strPinOwner[p], "") << p;
    }
    EXPECT_TRUE(doc.m_bPinUsed[62]);
    EXPECT_EQ(doc.m_strPinOwner[62], "Serial");
    EXPECT_EQ(doc.m_strPinUsage[62], "TX");
    EXPECT_EQ(doc.m_strPinNote[62], "Used for Programming the P2 and Standard I/O");
    EXPECT_EQ(doc.m_strPinUsage[63], "RX");
    EXPECT_EQ(doc.m_strPinNote[63], "Used for Programming the P2 and stdio");
    EXPECT_TRUE(doc.m_objList.empty());
    EXPECT_EQ(doc.m_nHeaderValue, 1);
    EXPECT_EQ(doc.m_strClockFreq, "160000000");
    EXPECT_EQ(doc.m_strFlexSpinPath, "C:\\FlexProp\\bin");
    EXPECT_EQ(doc.m_strFlexOptions, "--fixed --fcache=200");
    EXPECT_EQ(doc.m_strLoadP2Options, "-SINGLE");
    EXPECT_EQ(doc.m_bShowTerminal, 1);
    EXPECT_EQ(doc.m_bWaitOnExit, 1);
    EXPECT_EQ(doc.m_bUsePlan9, 0);
    EXPECT_EQ(doc.m_strSdMisoPin, "58");
    EXPECT_EQ(doc.m_strHeapSize, "8000");
}

TEST(Document, ProfileValuesSeedNewProjects)
{
    MemoryProfile profile;
    profile.SetString("FlexSpinPath", "/home/u/flexprop/bin");
    profile.SetString("Plan9Path", "/srv/p9");
    CKivoDoc doc;
    doc.OnNewDocument(profile);
    EXPECT_EQ(doc.m_strFlexSpinPath, "/home/u/flexprop/bin");
    EXPECT_EQ(doc.m_strPlan9Path, "/srv/p9");
    EXPECT_EQ(doc.m_strLoadP2Path, "C:\\FlexProp\\bin");
    EXPECT_EQ(doc.m_strLibraryPath, "C:\\FlexProp\\include");
}

TEST(Document, KindLabels)
{
    CCodeObject o;
    EXPECT_EQ(o.GetKindName(), "SimpleVGA");
    const std::pair<int, const char *> cases[] = {
        {1, "I2C Bus and Scanner"}, {6, "Hobby Servo"},  {11, "USB Keyboard and/or Mouse"},
        {12, "Unkown Type"},        {-1, "Unkown Type"}, {99, "Unkown Type"}};
    for (auto [kind, label] : cases) {
        o.m_nKind = kind;
        EXPECT_EQ(o.GetKindName(), label) << kind;
    }
}

// Every kind code 0..11 finds its own module, and nothing else does.
TEST(Document, EveryKindCodeHasItsKind)
{
    ASSERT_EQ(kKindCodeCount, 12);
    for (int code = 0; code < 12; ++code) {
        const IKind *k = FindKind(code);
        ASSERT_NE(k, nullptr) << code;
        EXPECT_EQ(k->Code(), code);
        EXPECT_EQ(FindKindByName(k->CliName()), k) << code;
    }
    EXPECT_EQ(FindKind(-1), nullptr);
    EXPECT_EQ(FindKind(12), nullptr);
    EXPECT_EQ(AllKinds().size(), 12u);
}

TEST(Document, DefaultNamesFollowTheCountersWhichNeverFall)
{
    CKivoDoc doc;
    MemoryProfile profile;
    doc.OnNewDocument(profile);
    EXPECT_EQ(DefaultObjectName(doc, kServo), "Servo1");
    for (int i = 0; i < 3; ++i) {
        auto o = std::make_unique<CCodeObject>();
        o->m_nKind = kServo;
        doc.AppendObject(std::move(o));
    }
    doc.m_objList.erase(doc.m_objList.begin() + 1);
    EXPECT_EQ(DefaultObjectName(doc, kServo), "Servo4");
    EXPECT_EQ(DefaultObjectName(doc, kNCO), "NCO_Freq1");
    EXPECT_EQ(DefaultObjectName(doc, kUsbKbm), "UsbKbM1");
}

namespace {

struct CancellingSaver : IDocumentSaver {
    int calls = 0;
    std::string pathToSet;
    void SaveDocument(CKivoDoc &doc) override
    {
        ++calls;
        doc.m_strPathName = pathToSet;
    }
};

} // namespace

TEST(Document, ProjectFolderOfAnUnsavedProject)
{
    test::TestServices t;
    CancellingSaver saver;
    t.services.saver = &saver;
    CKivoDoc doc;
    doc.OnNewDocument(t.profile);
    EXPECT_EQ(doc.GetProjectFolder(t.services), "");
    EXPECT_EQ(saver.calls, 1);
    // Why the save is asked for; the caller reports that there is no path.
    EXPECT_EQ(t.messages.shown, (std::vector<ShownMessage>{{MessageKind::Plain, "Project must be saved first."}}));

    t.messages.shown.clear();
    saver.pathToSet = "/data/p2/Blink.kivo";
    EXPECT_EQ(doc.GetProjectFolder(t.services), "/data/p2");
    EXPECT_EQ(t.messages.shown.size(), 1u);
    EXPECT_EQ(doc.GetProjectName(), "Blink");
    t.messages.shown.clear();
    EXPECT_EQ(doc.GetProjectFolder(t.services), "/data/p2");
    EXPECT_TRUE(t.messages.shown.empty());
}

TEST(Text, NumericConversion)
{
    const std::pair<const char *, int> cases[] = {
        {"38", 38},
        {"  12abc", 12},
        {"", 0},
        {"abc", 0},
        {"-1", -1},
        {"+7", 7},
        {"\t 64", 64},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
        {"- 5", 0},
        {"1e3", 1},
    };
    for (auto [text, value] : cases)
        EXPECT_EQ(TextToInt(text), value) << text;
}

TEST(Text, CodePageConversions)
{
    // Every byte survives 1252 -> UTF-8 -> 1252.
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += char(b);
    std::string back;
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all), back), std::string::npos);
    EXPECT_EQ(back, all);
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC"); // euro sign

    std::string out;
    EXPECT_EQ(Utf8ToCp1252("ab\xE2\x82\xAC"
                           "c\xE6\x97\xA5z",
                           out),
              6u); // stops at U+65E5
    EXPECT_EQ(out, "ab\x80"
                   "c");
}

TEST(Text, Utf16RoundTripKeepsLoneSurrogates)
{
    std::u16string units = {u'A', 0xD800, u'B', 0xDC00, 0xD83D, 0xDE00, 0xDFFF};
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(units)), units);
    EXPECT_EQ(Utf16ToUtf8({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
    EXPECT_EQ(SanitizeUtf8("a\xFF"
                           "b"),
              "a\xEF\xBF\xBD"
              "b");
}
