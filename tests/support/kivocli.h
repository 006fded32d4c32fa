#pragma once
// The real kivo-cli, run in a temporary folder of its own with a profile
// folder of its own.
#include "testsupport.h"

#include <string>
#include <vector>

namespace kivo {
class CKivoDoc;
}

namespace kivo::test {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class KivoCli
{
public:
    KivoCli();

    // The folder the commands run in; relative paths are relative to it.
    TempDir dir;
    // Further environment settings for every run ("PATH=... HOME=... ").
    std::string env;
    // Shell commands before every run ("ulimit -v 200000; ").
    std::string shell;
    // Both output streams of the last call of operator(), in the order written.
    std::string output;

    // A file in the folder; Blink.kivo unless named.
    std::string File(const std::string &name = "Blink.kivo") const { return dir / name; }

    // Runs kivo-cli with `args`; the streams are kept apart. `stdoutTo`
    // replaces the standard output's redirection (">/dev/full", ">&-").
    CliRun Run(const std::vector<std::string> &args, const std::string &stdoutTo = "") const;
    // Runs kivo-cli with `args`; returns the exit status and keeps both
    // streams together in `output`.
    int operator()(const std::vector<std::string> &args);

    // `new` on File().
    void New();
    // The bytes of File().
    std::string Bytes() const { return ReadFileBytes(File()); }
    // The project as File() now holds it.
    void Load(CKivoDoc &doc) const;

private:
    std::string CommandLine(const std::vector<std::string> &args) const;
};

} // namespace kivo::test
