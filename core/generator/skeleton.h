#pragma once
#include <string>

namespace kivo {

class CKivoDoc;
class IClock;

struct GeneratedSources {
    std::string platformHeader; // Platform.h
    std::string mainFile;       // <project>.c
};

// Platform.h and the main file: the fixed frame with every object's blocks
// in list order. Text uses "\n"; CR LF is applied when written.
std::string PlatformHeaderText(const CKivoDoc &doc, const IClock &clock, bool &soundFlag);
std::string MainFileText(const CKivoDoc &doc, const IClock &clock, bool soundFlag);

} // namespace kivo
