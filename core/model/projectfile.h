#pragma once
#include "platform/result.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kivo {

class CKivoDoc;
class CCodeObject;
struct Services;

constexpr const char *kUnexpectedFileFormat = "Unexpected file format.";
constexpr const char *kFailedToOpen = "Failed to open document.";
constexpr const char *kFailedToSave = "Failed to save document.";

// The byte stream of a project file.
std::vector<uint8_t> SerializeProject(const CKivoDoc &doc);

// Reads a project stream into `doc`, which must be freshly constructed. On a
// stream that ends early (or claims more than it holds) returns false and
// leaves `doc` with nothing of the file: no object list, no fields.
bool DeserializeProject(std::span<const uint8_t> bytes, CKivoDoc &doc);

// A copy of the project as its file would hold it, with its path: what a run
// works on while the user goes on editing the original. Null when the
// project cannot be read back.
std::unique_ptr<CKivoDoc> CopyProject(const CKivoDoc &doc);

// Opens `path` into a fresh `doc`. Fails with the file error
// (Failure::ReadFile) or "Unexpected file format." (Failure::FileFormat).
Result OpenProject(const std::string &path, CKivoDoc &doc, Services &services);

// Runs the refresh broadcast, then writes the project atomically to `path`.
// On failure (Failure::WriteFile, with the file error text) the old file is
// intact and the document keeps its path.
Result SaveProject(CKivoDoc &doc, const std::string &path, Services &services);

// True when the document's file is no longer what the document last read or
// wrote there: another program saved the project meanwhile. A file that is
// gone or cannot be read holds nothing to lose.
bool ChangedOnDisk(const CKivoDoc &doc, Services &services);

// Wide-string encoding of one string (marker, length prefix, UTF-16LE).
void AppendWideString(std::vector<uint8_t> &out, const std::string &text);

} // namespace kivo
