#include "generator/output.h"

#include "generator/library.h"
#include "platform/files.h"
#include "platform/merge.h"
#include "platform/messages.h"
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

std::string Text(const Bytes &bytes)
{
    return std::string(reinterpret_cast<const char *>(bytes.data()), bytes.size());
}

bool Equal(const Bytes &a, const std::string &b)
{
    return a.size() == b.size() && (b.empty() || std::memcmp(a.data(), b.data(), b.size()) == 0);
}

// Writes without messages; true when everything was written.
bool WriteQuietly(IFileSystem &files, const std::string &path, const void *data, std::size_t size)
{
    FileCause cause;
    auto file = files.Create(path, cause);
    if (!file)
        return false;
    FileCause w = file->Write(data, size);
    FileCause c = file->Close();
    return w == FileCause::None && c == FileCause::None;
}

} // namespace

CGeneratedFolder::CGeneratedFolder(std::string folder, Services &services)
    : m_folder(std::move(folder)), m_services(services)
{
}

std::string CGeneratedFolder::Path(const std::string &name) const
{
    return JoinPath(m_folder, name);
}

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
        WriteQuietly(m_services.files, path, bytes.data(), bytes.size());
}

TextFileResult CGeneratedFolder::WriteScript(const std::string &name, const std::string &text, bool crlf)
{
    const std::string path = Path(name);
    std::string bytes;
    if (EncodeText(text, crlf, bytes) != std::string::npos)
        return WriteTextFile(path, text, m_services, crlf); // writes what it can and says why it stopped
    if (Same(path, bytes))
        return TextFileResult::Written;
    return WriteBytesFile(path, bytes, m_services);
}

TextFileResult CGeneratedFolder::WriteSource(const std::string &name, const std::string &text)
{
    IFileSystem &files = m_services.files;
    const std::string path = Path(name);
    std::string bytes;
    if (EncodeText(text, true, bytes) != std::string::npos) {
        files.Rename(path, path + ".bak");
        return WriteTextFile(path, text, m_services);
    }
    // The usual case: the file is already right, whatever the record says.
    if (Same(path, bytes)) {
        if (!files.Exists(path + ".bak"))
            WriteQuietly(files, path + ".bak", bytes.data(), bytes.size());
        SaveRecord(name, bytes, std::nullopt);
        return TextFileResult::Written;
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
                if (!WriteQuietly(files, path + ".orig", mine.data(), mine.size())) {
                    m_services.messages.Show(MessageKind::Plain, "Error:  Can't create " + path + ".orig -->" +
                                                                     ReasonText(FileCause::Generic, path + ".orig"));
                    return TextFileResult::CreateFailed;
                }
                TextFileResult r = WriteBytesFile(path, merged->text, m_services);
                if (r != TextFileResult::Written)
                    return r;
            }
            SaveRecord(name, bytes, record);
            m_notes.push_back("Your changes to " + name + " were carried into the new code (your file as it was is " +
                              name + ".orig).");
            return TextFileResult::Written;
        }
        // Overlapping changes: the user's file stays as it is and the record
        // keeps the old base, so that the next run can merge again.
        TextFileResult r = WriteBytesFile(path + ".new", bytes, m_services);
        if (r != TextFileResult::Written)
            return r;
        m_notes.push_back(name + " has changes of yours where the generated code changed too, so it was left as it "
                                 "was: the new code is in " +
                          name + ".new. Carry your changes over to it and use it as " + name + ".");
        return TextFileResult::Written;
    }

    // As before: a one-time backup, then the new text.
    files.Rename(path, path + ".bak");
    TextFileResult r = WriteBytesFile(path, bytes, m_services);
    if (r != TextFileResult::Written)
        return r;
    SaveRecord(name, bytes, record);
    return TextFileResult::Written;
}

void CGeneratedFolder::WriteLibrary(const LibraryFile &lib)
{
    if (!m_libraries.insert(lib.fileName).second)
        return;
    auto bytes = m_services.resources.Find(lib.resourceId);
    if (bytes.empty())
        return;
    const std::string path = Path(lib.fileName);
    if (m_services.files.HasContent(path, bytes.data(), bytes.size()))
        return;
    WriteQuietly(m_services.files, path, bytes.data(), bytes.size());
}

} // namespace kivo
