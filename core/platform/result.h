#pragma once
#include "platform/files.h"

#include <string>

namespace kivo {

// What a core operation could not do. Callers tell failures apart by this,
// never by the text.
enum class Failure {
    None,
    NoProjectPath, // the project has no file, so no folder
    Refused,       // the project checks found errors; nothing written
    CreateFile,    // a file could not be created
    WriteFile,     // a file could not be written, or not all of it
    Unencodable,   // text the Windows-1252 code page cannot hold
    ReadFile,      // a file could not be opened or read
    FileFormat,    // the bytes are not a project
    BadValue,      // a value the operation cannot take
    Declined,      // the user said no; nothing to tell
    ToolMissing,   // the compiler or loader is not where the script looks
    StartFailed,   // a program could not be started
    NotGenerated,  // the project has no generated main file yet
    InUse,         // another program holds the project's lock
};

// The outcome of a core operation: what failed, why (the file failure's
// cause, where a file is to blame) and what the user is told. A success may
// carry a text too ("Project files created."). The front ends show the text;
// the core never does.
struct Result {
    Failure what = Failure::None;
    FileCause why = FileCause::None;
    std::string text;

    bool Ok() const { return what == Failure::None; }
    explicit operator bool() const { return Ok(); }
};

inline Result Fail(Failure what, std::string text, FileCause why = FileCause::None)
{
    return {what, why, std::move(text)};
}

inline Result Succeed(std::string text = {}) { return {Failure::None, FileCause::None, std::move(text)}; }

} // namespace kivo
