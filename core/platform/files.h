#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kivo {

struct Result;

// The causes of a file failure, each with its reason text.
enum class FileCause {
    None,
    Generic,
    FileNotFound,
    BadPath,
    TooManyOpenFiles,
    AccessDenied,
    InvalidFile,
    DirectoryFull,
    BadSeek,
    HardIO,
    SharingViolation,
    LockViolation,
    DiskFull,
};

FileCause CauseFromErrno(int err);
// The reason text with %1 replaced by `path`, cut to 254 characters.
std::string ReasonText(FileCause cause, const std::string &path);

class IOutFile
{
public:
    virtual ~IOutFile() = default;
    virtual FileCause Write(const void *data, std::size_t size) = 0;
    // Flushes and closes; reports a failure that only shows at the end.
    virtual FileCause Close() = 0;
};

class IFileSystem
{
public:
    virtual ~IFileSystem() = default;
    // Creates or truncates a file for output.
    virtual std::unique_ptr<IOutFile> Create(const std::string &path, FileCause &cause) = 0;
    // Renames; a rename onto an existing name fails and changes nothing.
    virtual bool Rename(const std::string &from, const std::string &to) = 0;
    virtual std::optional<std::vector<uint8_t>> ReadAll(const std::string &path, FileCause &cause) = 0;
    // Writes a temporary file beside `path`, flushes it to disk and renames it
    // over `path`; on any failure `path` is left as it was.
    virtual FileCause ReplaceAtomically(const std::string &path, const std::vector<uint8_t> &bytes) = 0;
    virtual bool Exists(const std::string &path) = 0;
    // Creates a folder (and the folders above it); true when it exists after.
    virtual bool CreateFolder(const std::string &path) = 0;
    // Whether the file exists and holds exactly these bytes.
    virtual bool HasContent(const std::string &path, const void *data, std::size_t size);
    // Whether `path` itself is a symbolic link (not what it points to).
    virtual bool IsLink(const std::string &) { return false; }
    // Removes a file or a symbolic link (never what it points to).
    virtual bool Remove(const std::string &) { return false; }
};

// Creates (or truncates) `path` and writes `size` bytes. A failure is said
// as "Error:  Can't create PATH -->REASON" when the file cannot be created,
// as the reason alone when it cannot be written; what was written stays.
Result WriteWholeFile(IFileSystem &files, const std::string &path, const void *data, std::size_t size);

// Writes `size` bytes to `path` whole or not at all (ReplaceAtomically): a
// symbolic link at `path` is replaced, never written through. A failure is
// said as WriteWholeFile says it: a full disk by the reason alone
// (Failure::WriteFile), anything else as "Error:  Can't create PATH -->REASON".
Result ReplaceWholeFile(IFileSystem &files, const std::string &path, const void *data, std::size_t size);

// The temporary files ReplaceAtomically leaves beside `path` when the
// process is killed: "." + name + "." + six characters.
bool IsReplaceTemporary(const std::string &fileName, const std::string &forName);

// The real file system.
class DiskFileSystem : public IFileSystem
{
public:
    std::unique_ptr<IOutFile> Create(const std::string &path, FileCause &cause) override;
    bool Rename(const std::string &from, const std::string &to) override;
    std::optional<std::vector<uint8_t>> ReadAll(const std::string &path, FileCause &cause) override;
    FileCause ReplaceAtomically(const std::string &path, const std::vector<uint8_t> &bytes) override;
    bool Exists(const std::string &path) override;
    bool CreateFolder(const std::string &path) override;
    // Compares in pieces without reading the whole file into memory.
    bool HasContent(const std::string &path, const void *data, std::size_t size) override;
    bool IsLink(const std::string &path) override;
    bool Remove(const std::string &path) override;
};

// Path helpers using this host's separator.
char PathSeparator();
std::string JoinPath(const std::string &folder, const std::string &name);
// Removes the last component and the separator before it.
std::string ParentFolder(const std::string &path);
// The last component.
std::string FileNameOf(const std::string &path);

// The first executable file `name` in the absolute folders of `searchPath`
// (a PATH value, ':'-separated), or "".
std::string FindProgramOnPath(const std::string &name, const std::string &searchPath);
// True when `path` is a folder.
bool IsFolder(const std::string &path);
// The system's text for an error number ("No such file or directory").
std::string ErrorText(int err);

} // namespace kivo
