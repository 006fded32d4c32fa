#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace kivo {

struct Services;

// `verify FILE.kivo [--time S] [--junit F.xml] [--json]` (args[0] == "verify").
int CmdVerify(const std::vector<std::string> &args, Services &services, std::ostream &out, std::ostream &err);

// `test SCENARIO.yaml... [--junit F.xml]` (args[0] == "test").
int CmdTest(const std::vector<std::string> &args, Services &services, std::ostream &out, std::ostream &err);

} // namespace kivo
