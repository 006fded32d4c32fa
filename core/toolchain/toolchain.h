#pragma once
#include "platform/result.h"

#include <functional>
#include <string>

namespace kivo {

class CKivoDoc;
struct Services;
struct ProcessRequest;

// The front end's "Generate Code", showing its own result; true when the
// files were written.
using GenerateStep = std::function<bool()>;

// "Compile" and "Load P2": run the generated script in the project folder and
// wait for it. A script missing from the folder is asked about, with the
// offer to Generate first through `generate` (Failure::Declined when the
// user says no or the generation fails); a compiler or loader that is not
// where the script looks for it is named with the folder searched
// (Failure::ToolMissing), and nothing runs. "Edit code with FlexProp": start
// FlexProp on the main file. Failure::StartFailed when the program could
// not be started.
Result CompileProject(CKivoDoc &doc, Services &services, const GenerateStep &generate);
Result LoadProject(CKivoDoc &doc, Services &services, const GenerateStep &generate);
Result EditWithFlexProp(CKivoDoc &doc, Services &services);

// The command that runs a script on this host.
ProcessRequest ScriptRequest(const std::string &scriptBaseName, const std::string &folder);
// The FlexProp folder: the FlexSpin folder without its last four characters.
std::string FlexPropFolder(const std::string &flexSpinPath);

} // namespace kivo
