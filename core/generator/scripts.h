#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

class CKivoDoc;

// The command-interpreter scripts, with CR LF already in place.
std::string BuildBat(const CKivoDoc &doc, const std::string &mainFileName);
std::string LoadBat(const CKivoDoc &doc, const std::string &imageName);

// The POSIX shell scripts for hosts other than Windows: the same tools with
// the same options in the same order, every path quoted.
std::string BuildSh(const CKivoDoc &doc, const std::string &mainFileName);
std::string LoadSh(const CKivoDoc &doc, const std::string &imageName);

// An options field split into the words a program receives: blanks
// separate words; single and double quotes group what they enclose and are
// dropped, the enclosed text taken as it stands; a backslash outside quotes
// takes the next character as it is.
struct OptionWords {
    std::vector<std::string> words;
    // The first character outside quotes that a command interpreter would
    // act on (; | & < > $ ` and, for the Windows scripts, % ^), or a line
    // break anywhere; 0 when there is none.
    char unsafe = 0;
    bool unclosedQuote = false;
};
OptionWords SplitOptionWords(std::string_view text);

// Quotes a text for POSIX sh (single quotes).
std::string ShellQuote(const std::string &text);

} // namespace kivo
