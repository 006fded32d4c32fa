#pragma once
// Shared helpers for the tests, header only (the Qt tests use them too):
// temporary folders, files, shell runs, a test service bundle and a file
// system that fails on demand.
#include "gitmerge.h"
#include "model/kivodoc.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/resources.h"
#include "platform/result.h"
#include "platform/services.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace kivo::test {

inline std::string ReadFileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string &path, const std::string &bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Quotes a text for POSIX sh.
inline std::string Quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command line with its output (both streams) sent to
// `outputFile`; returns the exit status and fills `output`.
inline int RunShell(const std::string &command, const std::string &outputFile, std::string &output)
{
    int status = std::system((command + " >" + Quote(outputFile) + " 2>&1 </dev/null").c_str());
    output = ReadFileBytes(outputFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir
{
public:
    TempDir()
    {
        auto base = std::filesystem::temp_directory_path() / "kivo-test-XXXXXX";
        std::string tmpl = base.string();
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        char *made = ::mkdtemp(buf.data());
        m_path = made ? made : tmpl;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string &Path() const { return m_path; }
    std::string operator/(const std::string &name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// A file system over the real disk whose operations can be made to fail.
class FaultyFileSystem : public IFileSystem
{
public:
    // Create fails for paths ending in one of these names.
    std::map<std::string, FileCause> failCreate;
    // Writes fail with this cause once `writeBudget` bytes went through.
    FileCause writeFailure = FileCause::None;
    std::size_t writeBudget = 0;
    FileCause replaceFailure = FileCause::None;

    std::unique_ptr<IOutFile> Create(const std::string &path, FileCause &cause) override
    {
        if (FileCause c = CreateFailure(path); c != FileCause::None) {
            cause = c;
            return nullptr;
        }
        auto inner = m_disk.Create(path, cause);
        if (!inner)
            return nullptr;
        return std::make_unique<File>(std::move(inner), *this);
    }
    bool Rename(const std::string &from, const std::string &to) override { return m_disk.Rename(from, to); }
    std::optional<std::vector<uint8_t>> ReadAll(const std::string &path, FileCause &cause) override
    {
        return m_disk.ReadAll(path, cause);
    }
    FileCause ReplaceAtomically(const std::string &path, const std::vector<uint8_t> &bytes) override
    {
        if (replaceFailure != FileCause::None)
            return replaceFailure;
        if (FileCause c = CreateFailure(path); c != FileCause::None)
            return c;
        // A replacement that does not fit the budget leaves the file as it was.
        if (writeFailure != FileCause::None) {
            if (bytes.size() > writeBudget) {
                writeBudget = 0;
                return writeFailure;
            }
            writeBudget -= bytes.size();
        }
        return m_disk.ReplaceAtomically(path, bytes);
    }
    bool Exists(const std::string &path) override { return m_disk.Exists(path); }
    bool CreateFolder(const std::string &path) override { return m_disk.CreateFolder(path); }
    bool IsLink(const std::string &path) override { return m_disk.IsLink(path); }
    bool Remove(const std::string &path) override { return m_disk.Remove(path); }

private:
    FileCause CreateFailure(const std::string &path) const
    {
        for (auto &[suffix, c] : failCreate)
            if (path.size() >= suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0)
                return c;
        return FileCause::None;
    }

    class File : public IOutFile
    {
    public:
        File(std::unique_ptr<IOutFile> inner, FaultyFileSystem &fs) : m_inner(std::move(inner)), m_fs(fs) {}
        FileCause Write(const void *data, std::size_t size) override
        {
            if (m_fs.writeFailure != FileCause::None) {
                std::size_t n = std::min(size, m_fs.writeBudget);
                m_inner->Write(data, n);
                m_fs.writeBudget -= n;
                if (n < size)
                    return m_fs.writeFailure;
                return FileCause::None;
            }
            return m_inner->Write(data, size);
        }
        FileCause Close() override { return m_inner->Close(); }

    private:
        std::unique_ptr<IOutFile> m_inner;
        FaultyFileSystem &m_fs;
    };
    DiskFileSystem m_disk;
};

// Services for a test: recorded messages, an in-memory profile, a fixed
// clock (Wednesday 2026-12-09 13:45:30), recorded processes and the libgit2
// merge.
struct TestServices {
    RecordingMessages messages;
    MemoryProfile profile;
    FaultyFileSystem files;
    FixedClock clock{LocalDateTime{2026, 12, 9, 3, 13, 45, 30}};
    RecordingProcessRunner processes;
    EmbeddedResources resources;
    GitTextMerger merger;
    Services services{messages, profile, files, clock, processes, resources, nullptr, &merger};

    // Shows a core result as the front ends do, and passes it on.
    Result Show(Result r)
    {
        ShowResult(messages, r);
        return r;
    }
};

// A new project as OnNewDocument makes it, with the default profile values,
// living at `path`.
inline void NewProject(CKivoDoc &doc, const std::string &path)
{
    MemoryProfile empty;
    doc.OnNewDocument(empty);
    doc.m_strPathName = path;
}

} // namespace kivo::test
