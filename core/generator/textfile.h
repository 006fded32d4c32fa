#pragma once
#include <string>

namespace kivo {

struct Services;

// Outcome of writing one generated text file.
enum class TextFileResult {
    Written,
    CreateFailed, // reported as "Error:  Can't create " ...
    WriteFailed,  // reported with the reason text; what was written stays
};

// Lone "\n" becomes CR LF; an existing "\r\n" stays a single CR LF.
std::string ToCrLf(const std::string &text);

// Creates (or truncates) `path` and writes `text` (UTF-8, LF or CR LF) as
// Windows-1252 with CR LF line ends (LF only when `crlf` is false, for shell
// scripts). Shows the failure message itself.
// The bytes WriteTextFile writes for `text`; returns the offset in `text` of
// the first character the code page cannot hold, or npos.
std::size_t EncodeText(const std::string &text, bool crlf, std::string &bytes);
// Creates (or truncates) `path` and writes `bytes`, showing a failure as
// WriteTextFile does.
TextFileResult WriteBytesFile(const std::string &path, const std::string &bytes, Services &services);

TextFileResult WriteTextFile(const std::string &path, const std::string &text, Services &services, bool crlf = true);

} // namespace kivo
