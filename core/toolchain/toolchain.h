#pragma once
#include <functional>
#include <string>

namespace kivo {

class CKivoDoc;
struct Services;
struct ProcessRequest;

// The front end's "Generate Code"; true when the files were written.
using GenerateStep = std::function<bool()>;

// "Compile" and "Load P2": run the generated script in the project folder and
// wait for it. A script missing from the folder is said, with the offer to
// Generate first (through `generate`, or GenerateProject when none is
// given); a compiler or loader that is not where the script looks for it is
// named with the folder searched, and nothing runs. "Edit code with
// FlexProp": start FlexProp on the main file. Each returns false when it
// stopped or could not start its program.
bool CompileProject(CKivoDoc &doc, Services &services, const GenerateStep &generate = {});
bool LoadProject(CKivoDoc &doc, Services &services, const GenerateStep &generate = {});
bool EditWithFlexProp(CKivoDoc &doc, Services &services);

// The command that runs a script on this host.
ProcessRequest ScriptRequest(const std::string &scriptBaseName, const std::string &folder);
// The FlexProp folder: the FlexSpin folder without its last four characters.
std::string FlexPropFolder(const std::string &flexSpinPath);

} // namespace kivo
