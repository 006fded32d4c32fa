#include "generator/textfile.h"

#include "model/text.h"
#include "platform/files.h"
#include "platform/result.h"

#include <cstdint>
#include <cstring>

namespace kivo {

std::string ToCrLf(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    std::size_t from = 0;
    for (std::size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', nl + 1)) {
        out.append(text, from, nl - from);
        if (nl == 0 || text[nl - 1] != '\r')
            out += '\r';
        out += '\n';
        from = nl + 1;
    }
    out.append(text, from, std::string::npos);
    return out;
}

namespace {

// Eight bytes at a time: no byte with its top bit set.
bool IsAscii(const std::string &text)
{
    const char *p = text.data();
    std::size_t n = text.size(), i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ull)
            return false;
    }
    for (; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) >= 0x80)
            return false;
    return true;
}

} // namespace

std::size_t EncodeText(const std::string &text, bool crlf, std::string &bytes)
{
    bytes.clear();
    // Plain ASCII, the usual case, needs no conversion: one pass.
    if (IsAscii(text)) {
        if (crlf)
            bytes = ToCrLf(text);
        else
            bytes = text;
        return std::string::npos;
    }
    return Utf8ToCp1252(crlf ? ToCrLf(text) : text, bytes);
}

Result WriteTextFile(const std::string &path, const std::string &text, IFileSystem &files, bool crlf)
{
    std::string bytes;
    if (EncodeText(text, crlf, bytes) != std::string::npos)
        return Fail(Failure::Unencodable,
                    "Cannot write " + path +
                        ": it would hold a character that the Windows-1252 code page cannot represent.");
    return ReplaceWholeFile(files, path, bytes.data(), bytes.size());
}

} // namespace kivo
