#pragma once
#include <functional>
#include <vector>

namespace kivo {

class CKivoDoc;
struct Services;
struct Finding;

enum class GenerateResult {
    Done,      // "Project files created." was shown
    NoFolder,  // the project has no folder; nothing written
    Failed,    // stopped at a file that could not be written
    Refused,   // the project checks found errors; nothing written
};

// "Generate Code": the profile write-back, the scripts, Platform.h and the
// main file with their one-time backups, the library files, and the closing
// message. On hosts other than Windows, build.sh and load.sh follow load.bat.
GenerateResult GenerateProject(CKivoDoc &doc, Services &services);

// How a front end takes the findings of the checks: it shows them as it
// likes and, when there is an error, returns true to generate all the same
// (the command line's --force, the desktop's question).
using FindingsHandler = std::function<bool(const std::vector<Finding> &findings)>;

// The project checks, then "Generate Code". `handle` sees every non-empty
// list of findings; an error refuses the generation (nothing written) unless
// it returns true.
GenerateResult GenerateCheckedProject(CKivoDoc &doc, Services &services, const FindingsHandler &handle);

} // namespace kivo
