#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace kivo {

struct Services;
struct Result;
class CKivoDoc;

// Exit codes of kivo-cli.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// OpenProject, refusing a folder or a device with a message that says what
// the path is (the core only knows the read failed).
Result OpenProjectFile(const std::string &path, CKivoDoc &doc, Services &services);

// Runs one kivo-cli command (`args` without the program name). Message boxes
// go to `services.messages`; listings to `out`; usage texts to `err`. Output
// that cannot be written (a full disk, a closed `out`) fails the command.
int RunCli(const std::vector<std::string> &args, Services &services, std::ostream &out, std::ostream &err);

} // namespace kivo
