#include "platform/files.h"

#include "model/text.h"
#include "platform/result.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace kivo {

FileCause CauseFromErrno(int err)
{
    switch (err) {
    case 0:
        return FileCause::None;
    case ENOENT:
        return FileCause::FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
        return FileCause::BadPath;
    case EMFILE:
    case ENFILE:
        return FileCause::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return FileCause::AccessDenied;
    case EBADF:
        return FileCause::InvalidFile;
    case EBUSY:
    case ETXTBSY:
        return FileCause::SharingViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return FileCause::DiskFull;
    case EMLINK:
        return FileCause::DirectoryFull;
    case ESPIPE:
        return FileCause::BadSeek;
    case EIO:
        return FileCause::HardIO;
    case EDEADLK:
    case ENOLCK:
        return FileCause::LockViolation;
    default:
        return FileCause::Generic;
    }
}

std::string ReasonText(FileCause cause, const std::string &path)
{
    const char *pattern = "An unknown error occurred while accessing %1.";
    switch (cause) {
    case FileCause::None:
        pattern = "No error occurred.";
        break;
    case FileCause::Generic:
        break;
    case FileCause::FileNotFound:
        pattern = "%1 was not found.";
        break;
    case FileCause::BadPath:
        pattern = "%1 contains an incorrect path.";
        break;
    case FileCause::TooManyOpenFiles:
        pattern = "Could not open %1 because there are too many open files.";
        break;
    case FileCause::AccessDenied:
        pattern = "Access to %1 was denied.";
        break;
    case FileCause::InvalidFile:
        pattern = "An incorrect file handle was associated with %1.";
        break;
    case FileCause::DirectoryFull:
        pattern = "Could not create %1 because the directory is full.";
        break;
    case FileCause::BadSeek:
        pattern = "Seek failed on %1";
        break;
    case FileCause::HardIO:
        pattern = "Encountered a hardware I/O error while accessing %1.";
        break;
    case FileCause::SharingViolation:
        pattern = "Encountered a sharing violation while accessing %1.";
        break;
    case FileCause::LockViolation:
        pattern = "Encountered a locking violation while accessing %1.";
        break;
    case FileCause::DiskFull:
        pattern = "Disk full while accessing %1.";
        break;
    }
    std::string text = ReplacePercent1(pattern, path);
    // Cut to 254 characters, not bytes, so no UTF-8 sequence is split.
    std::size_t chars = 0, i = 0;
    for (; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == 254)
                break;
            ++chars;
        }
    }
    text.resize(i);
    return text;
}

namespace {

class DiskOutFile : public IOutFile
{
public:
    explicit DiskOutFile(int fd) : m_fd(fd) {}
    ~DiskOutFile() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileCause Write(const void *data, std::size_t size) override
    {
        auto p = static_cast<const char *>(data);
        while (size > 0) {
            ssize_t n = ::write(m_fd, p, size);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return CauseFromErrno(errno);
            }
            p += n;
            size -= std::size_t(n);
        }
        return FileCause::None;
    }
    FileCause Close() override
    {
        int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            return CauseFromErrno(errno);
        return FileCause::None;
    }

private:
    int m_fd;
};

} // namespace

std::unique_ptr<IOutFile> DiskFileSystem::Create(const std::string &path, FileCause &cause)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        cause = CauseFromErrno(errno);
        return nullptr;
    }
    cause = FileCause::None;
    return std::make_unique<DiskOutFile>(fd);
}

bool DiskFileSystem::Rename(const std::string &from, const std::string &to)
{
    // link() refuses an existing target, which gives the no-replace rename.
    if (::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) == 0)
            return true;
        ::unlink(to.c_str());
        return false;
    }
    if (errno == EEXIST || errno == ENOENT)
        return false;
    // File systems without hard links.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0)
        return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

std::optional<std::vector<uint8_t>> DiskFileSystem::ReadAll(const std::string &path, FileCause &cause)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        cause = CauseFromErrno(errno);
        return std::nullopt;
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        cause = FileCause::AccessDenied;
        return std::nullopt;
    }
    // Read straight into the buffer, sized from the file (one byte more, so
    // that the end shows in one pass) and grown if the file grows meanwhile.
    std::vector<uint8_t> bytes(std::size_t(st.st_size > 0 ? st.st_size : 0) + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size())
            bytes.resize(bytes.size() * 2);
        ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            cause = CauseFromErrno(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        used += std::size_t(n);
    }
    bytes.resize(used);
    ::close(fd);
    cause = FileCause::None;
    return bytes;
}

bool IsReplaceTemporary(const std::string &fileName, const std::string &forName)
{
    const std::string head = "." + forName + ".";
    if (fileName.size() != head.size() + 6 || fileName.compare(0, head.size(), head) != 0)
        return false;
    for (std::size_t i = head.size(); i < fileName.size(); ++i) {
        char c = fileName[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

namespace {

// Temporary files of an earlier, killed replacement of `path`. Only old
// ones: a young one may be another process's replacement under way.
void RemoveStaleTemporaries(const std::string &folder, const std::string &name)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string file = it->path().filename().string();
        if (!IsReplaceTemporary(file, name))
            continue;
        std::error_code ec2;
        if (!it->is_regular_file(ec2) || it->is_symlink(ec2))
            continue;
        auto when = fs::last_write_time(it->path(), ec2);
        if (!ec2 && now - when > std::chrono::minutes(2))
            fs::remove(it->path(), ec2);
    }
}

} // namespace

FileCause DiskFileSystem::ReplaceAtomically(const std::string &linkPath, const std::vector<uint8_t> &bytes)
{
    // A link is saved where it points, as editors do; the rename would
    // replace the link itself. A device or folder is never replaced.
    std::string path = linkPath;
    std::error_code ec;
    if (std::filesystem::is_symlink(linkPath, ec)) {
        auto target = std::filesystem::weakly_canonical(linkPath, ec);
        if (ec)
            return CauseFromErrno(ec.value());
        path = target.string();
    }
    struct stat existing;
    if (::stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode))
        return FileCause::AccessDenied;
    std::string folder = ParentFolder(path);
    RemoveStaleTemporaries(folder.empty() ? "." : folder, FileNameOf(path));
    std::string tmpl = JoinPath(folder.empty() ? "." : folder, "." + FileNameOf(path) + ".XXXXXX");
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return CauseFromErrno(errno);
    std::string tmp(name.data());
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(tmp.c_str());
        return CauseFromErrno(err);
    };
    // Keep the mode of the file being replaced (not of what a link points to).
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::fchmod(fd, st.st_mode & 07777);
    else
        ::fchmod(fd, 0644);
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        done += std::size_t(n);
    }
    if (::fsync(fd) != 0)
        return fail(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        return CauseFromErrno(err);
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        return CauseFromErrno(err);
    }
    return FileCause::None;
}

bool DiskFileSystem::Exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

Result WriteWholeFile(IFileSystem &files, const std::string &path, const void *data, std::size_t size)
{
    FileCause cause = FileCause::None;
    auto file = files.Create(path, cause);
    if (!file)
        return Fail(Failure::CreateFile, "Error:  Can't create " + path + " -->" + ReasonText(cause, path), cause);
    FileCause writeCause = file->Write(data, size);
    FileCause closeCause = file->Close();
    if (writeCause == FileCause::None)
        writeCause = closeCause;
    if (writeCause != FileCause::None)
        return Fail(Failure::WriteFile, ReasonText(writeCause, path), writeCause);
    return Succeed();
}

Result ReplaceWholeFile(IFileSystem &files, const std::string &path, const void *data, std::size_t size)
{
    const auto *p = static_cast<const uint8_t *>(data);
    // The atomic replace saves through a link, as a project file is saved; a
    // generated file never writes through a link planted in the project
    // folder: the link goes and the file takes its place.
    if (files.IsLink(path) && !files.Remove(path))
        return Fail(Failure::CreateFile,
                    "Error:  Can't create " + path + " -->" + ReasonText(FileCause::AccessDenied, path),
                    FileCause::AccessDenied);
    FileCause cause = files.ReplaceAtomically(path, std::vector<uint8_t>(p, p + size));
    if (cause == FileCause::None)
        return Succeed();
    if (cause == FileCause::DiskFull)
        return Fail(Failure::WriteFile, ReasonText(cause, path), cause);
    return Fail(Failure::CreateFile, "Error:  Can't create " + path + " -->" + ReasonText(cause, path), cause);
}

bool DiskFileSystem::IsLink(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool DiskFileSystem::Remove(const std::string &path) { return ::unlink(path.c_str()) == 0; }

bool IFileSystem::HasContent(const std::string &path, const void *data, std::size_t size)
{
    FileCause cause;
    auto bytes = ReadAll(path, cause);
    return bytes && bytes->size() == size && (size == 0 || std::memcmp(bytes->data(), data, size) == 0);
}

bool DiskFileSystem::HasContent(const std::string &path, const void *data, std::size_t size)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && std::size_t(st.st_size) == size;
    const auto *expected = static_cast<const unsigned char *>(data);
    std::size_t done = 0;
    unsigned char buf[16384];
    while (same) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            same = n == 0 && done == size;
            break;
        }
        same = done + std::size_t(n) <= size && std::memcmp(buf, expected + done, std::size_t(n)) == 0;
        done += std::size_t(n);
    }
    ::close(fd);
    return same;
}

bool DiskFileSystem::CreateFolder(const std::string &path)
{
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}

char PathSeparator()
{
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

std::string JoinPath(const std::string &folder, const std::string &name) { return folder + PathSeparator() + name; }

std::string ParentFolder(const std::string &path)
{
    auto pos = path.find_last_of(PathSeparator() == '/' ? "/" : "\\/");
    if (pos == std::string::npos)
        return "";
    if (pos == 0)
        return path.substr(0, 1);
    return path.substr(0, pos);
}

std::string FileNameOf(const std::string &path)
{
    auto pos = path.find_last_of(PathSeparator() == '/' ? "/" : "\\/");
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string FindProgramOnPath(const std::string &name, const std::string &searchPath)
{
    if (name.empty())
        return "";
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        std::size_t end = searchPath.find(':', start);
        if (end == std::string::npos)
            end = searchPath.size();
        std::string folder = searchPath.substr(start, end - start);
        std::string candidate = folder + "/" + name;
        struct stat st;
        // Only absolute folders: a relative entry depends on where Kivo runs.
        if (!folder.empty() && folder[0] == '/' && ::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

bool IsFolder(const std::string &path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ErrorText(int err) { return std::strerror(err); }

} // namespace kivo
