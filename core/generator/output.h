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
// The record of which project file the folder's generated files are for.
constexpr const char *kOwnerRecord = "project";

// Writes one generation's files into the project folder. A file whose
// content is already what would be written is left untouched, so that its
// time stays and a build tool has nothing to redo. Every file is written
// whole or not at all, and a symbolic link in the folder is replaced by the
// file, never written through.
class CGeneratedFolder
{
public:
    CGeneratedFolder(std::string folder, Services &services);

    // The project file the folder's generated files were last written for,
    // when it is not `projectFile` and such files are there.
    std::optional<std::string> OtherOwner(const std::string &projectFile);
    void SetOwner(const std::string &projectFile);

    // A script: rewritten when it differs, no backup. `utf8`: the text as it
    // is, not in the Windows code page.
    Result WriteScript(const std::string &name, const std::string &text, bool crlf, bool utf8 = false);

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
    bool HasOwn(const std::string &path);
    std::optional<std::vector<uint8_t>> ReadOwn(const std::string &path);
    std::optional<std::vector<uint8_t>> ReadRecord(const std::string &name);
    bool MakeRecordFolder();

    std::string m_folder;
    Services &m_services;
    std::set<std::string> m_libraries;
    std::vector<std::string> m_notes;
};

} // namespace kivo
