#pragma once
#include "platform/result.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kivo {

struct LibraryFile;
struct Services;

// The hidden folder of the project folder that keeps, per generated text
// file, what was last written to it.
constexpr const char *kRecordFolder = ".kivo-generated";

// Writes one generation's files into the project folder. A file whose
// content is already what would be written is left untouched, so that its
// time stays and a build tool has nothing to redo.
class CGeneratedFolder
{
public:
    CGeneratedFolder(std::string folder, Services &services);

    // A script: rewritten when it differs, no backup.
    Result WriteScript(const std::string &name, const std::string &text, bool crlf);

    // Platform.h or the main file. Without a record, or when the file is what
    // was last written: as before, the one-time ".bak" included (a copy when
    // the file stays). When the user changed it: the edits are merged into
    // the new text (the user's file kept as ".orig"), or, where they overlap
    // the changes, the file is left alone and the new text written as ".new".
    Result WriteSource(const std::string &name, const std::string &text);

    // A library file, written once per run and only when it differs.
    Result WriteLibrary(const LibraryFile &file);

    // What the closing message adds about merged and conflicting files.
    const std::vector<std::string> &Notes() const { return m_notes; }

private:
    std::string Path(const std::string &name) const;
    // `record` is what the record held before (nullopt: none).
    void SaveRecord(const std::string &name, const std::string &bytes,
                    const std::optional<std::vector<uint8_t>> &record);
    bool Same(const std::string &path, const std::string &bytes);

    std::string m_folder;
    Services &m_services;
    std::set<std::string> m_libraries;
    std::vector<std::string> m_notes;
};

} // namespace kivo
