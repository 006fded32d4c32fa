#pragma once

namespace kivo {

class CKivoDoc;
struct Services;

enum class GenerateResult {
    Done,      // "Project files created." was shown
    NoFolder,  // the project has no folder; nothing written
    Failed,    // stopped at a file that could not be written
};

// "Generate Code": the profile write-back, the scripts, Platform.h and the
// main file with their one-time backups, the library files, and the closing
// message. On hosts other than Windows, build.sh and load.sh follow load.bat.
GenerateResult GenerateProject(CKivoDoc &doc, Services &services);

} // namespace kivo
