#pragma once
#include <string>

namespace kivo {

class CKivoDoc;

// The command-interpreter scripts, with CR LF already in place.
std::string BuildBat(const CKivoDoc &doc, const std::string &mainFileName);
std::string LoadBat(const CKivoDoc &doc, const std::string &imageName);

// The POSIX shell scripts for hosts other than Windows: the same tools with
// the same options in the same order, every path quoted.
std::string BuildSh(const CKivoDoc &doc, const std::string &mainFileName);
std::string LoadSh(const CKivoDoc &doc, const std::string &imageName);

// Quotes a text for POSIX sh (single quotes).
std::string ShellQuote(const std::string &text);

} // namespace kivo
