#include "platform/projectlock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kivo {

Result ProjectLock::Acquire(const std::string &path, std::chrono::milliseconds wait)
{
    Release();
    const auto until = std::chrono::steady_clock::now() + wait;
    for (;;) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return Succeed();
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            struct stat held, now;
            if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &now) == 0 && held.st_dev == now.st_dev &&
                held.st_ino == now.st_ino) {
                m_fd = fd;
                return Succeed();
            }
            // Saved meanwhile: the name is another file now.
            ::close(fd);
            continue;
        }
        int err = errno;
        ::close(fd);
        if (err != EWOULDBLOCK && err != EINTR)
            return Succeed(); // a file system without locks
        if (std::chrono::steady_clock::now() >= until)
            return Fail(Failure::InUse,
                        path + " is in use: another program is changing it. Try again when it is done.");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void ProjectLock::Release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace kivo
