#pragma once
#include <string>

namespace kivo {

class CKivoDoc;
struct Services;
struct ProcessRequest;

// "Compile" and "Load P2": run the generated script in the project folder and
// wait for it. "Edit code with FlexProp": start FlexProp on the main file.
// Each returns false when it stopped or could not start its program.
bool CompileProject(CKivoDoc &doc, Services &services);
bool LoadProject(CKivoDoc &doc, Services &services);
bool EditWithFlexProp(CKivoDoc &doc, Services &services);

// The command that runs a script on this host.
ProcessRequest ScriptRequest(const std::string &scriptBaseName, const std::string &folder);
// The FlexProp folder: the FlexSpin folder without its last four characters.
std::string FlexPropFolder(const std::string &flexSpinPath);

} // namespace kivo
