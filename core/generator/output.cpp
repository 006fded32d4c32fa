#include "generator/output.h"

#include "generator/library.h"
#include "generator/textfile.h"
#include "platform/files.h"
#include "platform/merge.h"
#include "platform/resources.h"
#include "platform/services.h"

#include <algorithm>
#include <cstring>

namespace kivo {

namespace {

using Bytes = std::vector<uint8_t>;

std::optional<Bytes> Read(IFileSystem &files, const std::string &path)
{
    FileCause cause;
    return files.ReadAll(path, cause);
}

std::string Text(const Bytes &bytes) { return std::string(reinterpret_cast<const char *>(bytes.data()), bytes.size()); }

bool Equal(const Bytes &a, const std::string &b)
{
    return a.size() == b.size() && (b.empty() || std::memcmp(a.data(), b.data(), b.size()) == 0);
}

Result UnencodableFailure(const std::string &path)
{
    return Fail(Failure::Unencodable,
                "Cannot write " + path +
                    ": it would hold a character that the Windows-1252 code page cannot represent.");
}

} // namespace

CGeneratedFolder::CGeneratedFolder(std::string folder, Services &services)
    : m_folder(std::move(folder)), m_services(services)
{
}

std::string CGeneratedFolder::Path(const std::string &name) const { return JoinPath(m_folder, name); }

// A link in the project folder is never taken as a file of ours: it is
// replaced by the file, not written through, and what it points to is not
// read as the user's.
bool CGeneratedFolder::Same(const std::string &path, const std::string &bytes)
{
    return !m_services.files.IsLink(path) && m_services.files.HasContent(path, bytes.data(), bytes.size());
}

bool CGeneratedFolder::HasOwn(const std::string &path)
{
    return !m_services.files.IsLink(path) && m_services.files.Exists(path);
}

std::optional<std::vector<uint8_t>> CGeneratedFolder::ReadOwn(const std::string &path)
{
    if (m_services.files.IsLink(path))
        return std::nullopt;
    return Read(m_services.files, path);
}

std::optional<std::vector<uint8_t>> CGeneratedFolder::ReadRecord(const std::string &name)
{
    if (m_services.files.IsLink(Path(kRecordFolder)))
        return std::nullopt;
    return ReadOwn(JoinPath(Path(kRecordFolder), name));
}

bool CGeneratedFolder::MakeRecordFolder()
{
    const std::string folder = Path(kRecordFolder);
    if (m_services.files.IsLink(folder) && !m_services.files.Remove(folder))
        return false;
    return m_services.files.CreateFolder(folder);
}

void CGeneratedFolder::SaveRecord(const std::string &name, const std::string &bytes,
                                  const std::optional<std::vector<uint8_t>> &record)
{
    // Failing to keep a record only means that the next run cannot merge;
    // a record that no longer matches the file must not be merged from.
    const std::string path = JoinPath(Path(kRecordFolder), name);
    if (record ? Equal(*record, bytes) : Same(path, bytes))
        return;
    if (!MakeRecordFolder() || !ReplaceWholeFile(m_services.files, path, bytes.data(), bytes.size()))
        m_services.files.Remove(path);
}

std::optional<std::string> CGeneratedFolder::OtherOwner(const std::string &projectFile)
{
    const auto owner = ReadRecord(kOwnerRecord);
    if (!owner || Text(*owner) == projectFile)
        return std::nullopt;
    for (const char *name : {"build.bat", "load.bat", "build.sh", "load.sh", "Platform.h"})
        if (m_services.files.Exists(Path(name)))
            return Text(*owner);
    return std::nullopt;
}

void CGeneratedFolder::SetOwner(const std::string &projectFile)
{
    // An unchanged owner is not written again: regenerating an unchanged
    // project writes nothing at all.
    const std::string path = JoinPath(Path(kRecordFolder), kOwnerRecord);
    if (!Same(path, projectFile) && MakeRecordFolder())
        ReplaceWholeFile(m_services.files, path, projectFile.data(), projectFile.size());
}

Result CGeneratedFolder::WriteScript(const std::string &name, const std::string &text, bool crlf, bool utf8)
{
    const std::string path = Path(name);
    std::string bytes = text;
    if (!utf8 && EncodeText(text, crlf, bytes) != std::string::npos)
        return UnencodableFailure(path);
    if (Same(path, bytes))
        return Succeed();
    return ReplaceWholeFile(m_services.files, path, bytes.data(), bytes.size());
}

Result CGeneratedFolder::WriteSource(const std::string &name, const std::string &text)
{
    IFileSystem &files = m_services.files;
    const std::string path = Path(name);
    std::string bytes;
    if (EncodeText(text, true, bytes) != std::string::npos)
        return UnencodableFailure(path);
    // The usual case: the file is already right, whatever the record says.
    if (Same(path, bytes)) {
        // The backup of a file that stays is a courtesy; failing it loses nothing.
        if (!HasOwn(path + ".bak"))
            ReplaceWholeFile(files, path + ".bak", bytes.data(), bytes.size());
        SaveRecord(name, bytes, std::nullopt);
        return Succeed();
    }
    const auto current = ReadOwn(path);
    const auto record = ReadRecord(name);

    if (current && record && *current != *record) {
        // The user changed the file since it was last written.
        const std::string mine = Text(*current);
        std::optional<MergeOutcome> merged;
        if (m_services.merger)
            merged = m_services.merger->Merge(Text(*record), mine, bytes);
        if (merged && merged->clean) {
            // A merge that changes nothing in the user's file leaves it, and
            // writes no backup, alone.
            if (merged->text != mine) {
                // The user's file is kept before the merged one replaces it.
                Result kept = ReplaceWholeFile(files, path + ".orig", mine.data(), mine.size());
                if (!kept)
                    return Fail(kept.what,
                                "Error:  Can't create " + path + ".orig -->" +
                                    ReasonText(FileCause::Generic, path + ".orig"),
                                kept.why);
                if (Result r = ReplaceWholeFile(files, path, merged->text.data(), merged->text.size()); !r)
                    return r;
                m_notes.push_back("Your changes to " + name +
                                  " were carried into the new code (your file as it was is " + name + ".orig).");
            }
            SaveRecord(name, bytes, record);
            return Succeed();
        }
        // Overlapping changes: the user's file stays as it is and the record
        // keeps the old base, so that the next run can merge again.
        if (Result r = ReplaceWholeFile(files, path + ".new", bytes.data(), bytes.size()); !r)
            return r;
        m_notes.push_back(name +
                          " has changes of yours where the generated code changed too, so it was left as it "
                          "was: the new code is in " +
                          name + ".new. Carry your changes over to it and use it as " + name + ".");
        return Succeed();
    }

    // As before: a one-time backup, then the new text. The backup is a copy,
    // so that the file is never missing and never shares its data with it.
    if (current && !HasOwn(path + ".bak"))
        if (Result r = ReplaceWholeFile(files, path + ".bak", current->data(), current->size()); !r)
            return r;
    if (Result r = ReplaceWholeFile(files, path, bytes.data(), bytes.size()); !r)
        return r;
    SaveRecord(name, bytes, record);
    return Succeed();
}

Result CGeneratedFolder::WriteLibrary(const LibraryFile &lib)
{
    if (!m_libraries.insert(lib.fileName).second)
        return Succeed();
    auto bytes = m_services.resources.Find(lib.resourceId);
    if (bytes.empty())
        return Succeed();
    const std::string path = Path(lib.fileName);
    if (!m_services.files.IsLink(path) && m_services.files.HasContent(path, bytes.data(), bytes.size()))
        return Succeed();
    return ReplaceWholeFile(m_services.files, path, bytes.data(), bytes.size());
}

} // namespace kivo
