#pragma once
#include <string>

namespace kivo {

class IFileSystem;
struct Result;

// Lone "\n" becomes CR LF; an existing "\r\n" stays a single CR LF.
std::string ToCrLf(const std::string &text);

// The bytes WriteTextFile writes for `text`; returns the offset in `text` of
// the first character the code page cannot hold, or npos.
std::size_t EncodeText(const std::string &text, bool crlf, std::string &bytes);

// Writes `text` (UTF-8, LF or CR LF) to `path` as Windows-1252 with CR LF
// line ends (LF only when `crlf` is false), whole or not at all. Text the
// code page cannot hold writes nothing and fails with Failure::Unencodable.
Result WriteTextFile(const std::string &path, const std::string &text, IFileSystem &files, bool crlf = true);

} // namespace kivo
