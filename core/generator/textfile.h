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

// Creates (or truncates) `path` and writes `text` (UTF-8, LF or CR LF) as
// Windows-1252 with CR LF line ends (LF only when `crlf` is false, for shell
// scripts). Text the code page cannot hold is written up to that character
// and fails with Failure::Unencodable.
Result WriteTextFile(const std::string &path, const std::string &text, IFileSystem &files, bool crlf = true);

} // namespace kivo
