// The library text files as the generator embeds them: 8-bit text with CR LF
// (the USB drivers UTF-16LE with a byte-order mark), opening with our header.
#include "testsupport.h"

#include <fstream>
#include <set>

using namespace kivo;

namespace {

std::vector<std::string> ManifestNames()
{
    std::ifstream in(std::string(KIVO_SOURCE_DIR) + "/resources/manifest.txt");
    std::vector<std::string> names;
    int id;
    std::string name;
    while (in >> id >> name)
        names.push_back(name);
    return names;
}

bool EndsWith(const std::string &s, const std::string &tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Files still standing in for the drivers of later work.
const std::set<std::string> kPlaceholders = {};

const std::set<std::string> kUtf16 = {"1CogKbM_kqv3b.spin2", "1CogKbM_kqv3b_NoErrorLed.spin2"};

// The text as 16-bit code units (one per byte for 8-bit files).
std::u16string Units(const std::string &name, const std::string &bytes)
{
    std::u16string u;
    if (kUtf16.count(name)) {
        EXPECT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE", 2)) << "byte-order mark";
        EXPECT_EQ(bytes.size() % 2, 0u);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            u.push_back(
                static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    } else {
        for (char c : bytes)
            u.push_back(static_cast<uint8_t>(c));
    }
    return u;
}

} // namespace

TEST(LibraryText, LineEndsEncodingAndHeader)
{
    int texts = 0;
    for (const std::string &name : ManifestNames()) {
        if (!EndsWith(name, ".spin2") && !EndsWith(name, ".h"))
            continue;
        SCOPED_TRACE(name);
        ++texts;
        std::u16string u = Units(name, test::ReadFileBytes(std::string(KIVO_SOURCE_DIR) + "/resources/" + name));
        ASSERT_FALSE(u.empty());
        std::string ascii;
        for (std::size_t i = 0; i < u.size(); ++i) {
            char16_t c = u[i];
            ASSERT_LT(c, 0x80) << "non-ASCII character at " << i;
            EXPECT_NE(c, u'\t') << "tab at " << i;
            if (c == u'\n') {
                EXPECT_TRUE(i > 0 && u[i - 1] == u'\r') << "bare LF at " << i;
            }
            if (c == u'\r') {
                EXPECT_TRUE(i + 1 < u.size() && u[i + 1] == u'\n') << "bare CR at " << i;
            }
            ascii.push_back(static_cast<char>(c));
        }
        EXPECT_TRUE(EndsWith(ascii, "\r\n")) << "last line ends with CR LF";
        std::string first = ascii.substr(0, ascii.find('\r'));
        if (kPlaceholders.count(name)) {
            EXPECT_EQ(first.rfind("' Placeholder for " + name + ":", 0), 0u) << first;
        } else {
            std::string marker = EndsWith(name, ".h") ? "// " : "' ";
            EXPECT_EQ(first.rfind(marker + name + " - ", 0), 0u) << first;
            EXPECT_EQ(ascii.find("Placeholder"), std::string::npos);
        }
    }
    EXPECT_EQ(texts, 11);
}
