#pragma once
#include "platform/result.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kivo {

class CKivoDoc;
struct Services;
struct Finding;

// "Generate Code": the profile write-back, the scripts, Platform.h and the
// main file with their one-time backups and the library files. On hosts
// other than Windows, build.sh and load.sh follow load.bat. Stops at the
// first file that cannot be written (Failure::CreateFile, WriteFile or
// Unencodable); Failure::NoProjectPath when the project has no folder. A
// success carries the closing message ("Project files created.").
Result GenerateProject(CKivoDoc &doc, Services &services);

// The bytes "Generate Code" writes to a script of the project ("build.sh",
// "load.bat"...) for its settings as they are now; nullopt for another name
// or a text the script's encoding cannot hold. Compile and Load compare them
// with the script in the folder to tell whether it was written for other
// settings.
std::optional<std::string> GeneratedScript(const CKivoDoc &doc, const std::string &name);

// How a front end takes the findings of the checks: it shows them as it
// likes and, when there is an error, returns true to generate all the same
// (the command line's --force, the desktop's question).
using FindingsHandler = std::function<bool(const std::vector<Finding> &findings)>;

// The project checks, then "Generate Code". `handle` sees every non-empty
// list of findings; an error refuses the generation (Failure::Refused, no
// text, nothing written) unless it returns true.
Result GenerateCheckedProject(CKivoDoc &doc, Services &services, const FindingsHandler &handle);

} // namespace kivo
