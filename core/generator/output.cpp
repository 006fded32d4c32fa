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

} // namespace

CGeneratedFolder::CGeneratedFolder(std::string folder, Services &services)
    : m_folder(std::move(folder)), m_services(services)
{
}

std::string CGeneratedFolder::Path(const std::string &name) const { return JoinPath(m_folder, name); }

bool CGeneratedFolder::Same(const std::string &path, const std::string &bytes)
{
    return m_services.files.HasContent(path, bytes.data(), bytes.size());
}

void CGeneratedFolder::SaveRecord(const std::string &name, const std::string &bytes,
                                  const std::optional<std::vector<uint8_t>> &record)
{
    // Failing to keep a record only means that the next run cannot merge.
    const std::string folder = Path(kRecordFolder);
    const std::string path = JoinPath(folder, name);
    if (record ? Equal(*record, bytes) : Same(path, bytes))
        return;
    if (m_services.files.CreateFolder(folder))
        WriteWholeFile(m_services.files, path, bytes.data(), bytes.size());
}

Result CGeneratedFolder::WriteScript(const std::string &name, const std::string &text, bool crlf)
{
    const std::string path = Path(name);
    std::string bytes;
    if (EncodeText(text, crlf, bytes) != std::string::npos)
        return WriteTextFile(path, text, m_services.files, crlf); // writes what it can and says why it stopped
    if (Same(path, bytes))
        return Succeed();
    return WriteWholeFile(m_services.files, path, bytes.data(), bytes.size());
}

Result CGeneratedFolder::WriteSource(const std::string &name, const std::string &text)
{
    IFileSystem &files = m_services.files;
    const std::string path = Path(name);
    std::string bytes;
    if (EncodeText(text, true, bytes) != std::string::npos) {
        files.Rename(path, path + ".bak");
        return WriteTextFile(path, text, files);
    }
    // The usual case: the file is already right, whatever the record says.
    if (Same(path, bytes)) {
        // The backup of a file that stays is a courtesy; failing it loses nothing.
        if (!files.Exists(path + ".bak"))
            WriteWholeFile(files, path + ".bak", bytes.data(), bytes.size());
        SaveRecord(name, bytes, std::nullopt);
        return Succeed();
    }
    const auto current = Read(files, path);
    const auto record = Read(files, JoinPath(Path(kRecordFolder), name));

    if (current && record && *current != *record) {
        // The user changed the file since it was last written.
        const std::string mine = Text(*current);
        std::optional<MergeOutcome> merged;
        if (m_services.merger)
            merged = m_services.merger->Merge(Text(*record), mine, bytes);
        if (merged && merged->clean) {
            if (merged->text != mine) {
                // The user's file is kept before the merged one replaces it.
                Result kept = WriteWholeFile(files, path + ".orig", mine.data(), mine.size());
                if (!kept)
                    return Fail(kept.what,
                                "Error:  Can't create " + path + ".orig -->" +
                                    ReasonText(FileCause::Generic, path + ".orig"),
                                kept.why);
                if (Result r = WriteWholeFile(files, path, merged->text.data(), merged->text.size()); !r)
                    return r;
            }
            SaveRecord(name, bytes, record);
            m_notes.push_back("Your changes to " + name + " were carried into the new code (your file as it was is " +
                              name + ".orig).");
            return Succeed();
        }
        // Overlapping changes: the user's file stays as it is and the record
        // keeps the old base, so that the next run can merge again.
        if (Result r = WriteWholeFile(files, path + ".new", bytes.data(), bytes.size()); !r)
            return r;
        m_notes.push_back(name +
                          " has changes of yours where the generated code changed too, so it was left as it "
                          "was: the new code is in " +
                          name + ".new. Carry your changes over to it and use it as " + name + ".");
        return Succeed();
    }

    // As before: a one-time backup, then the new text.
    files.Rename(path, path + ".bak");
    if (Result r = WriteWholeFile(files, path, bytes.data(), bytes.size()); !r)
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
    if (m_services.files.HasContent(path, bytes.data(), bytes.size()))
        return Succeed();
    return WriteWholeFile(m_services.files, path, bytes.data(), bytes.size());
}

} // namespace kivo
