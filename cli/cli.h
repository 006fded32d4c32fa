#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace kivo {

struct Services;

// Exit codes of kivo-cli.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Runs one kivo-cli command (`args` without the program name). Message boxes
// go to `services.messages`; listings to `out`; usage texts to `err`.
int RunCli(const std::vector<std::string> &args, Services &services, std::ostream &out, std::ostream &err);

} // namespace kivo
