#pragma once
#include "platform/result.h"

#include <chrono>
#include <string>

namespace kivo {

// An advisory lock (flock) on a project file, held for a read-change-write
// so that two programs changing one project do not lose a change. Saving
// replaces the file, so the lock follows the name: a lock taken on a file
// that was replaced meanwhile is taken again on the new one.
class ProjectLock
{
public:
    ProjectLock() = default;
    ~ProjectLock() { Release(); }
    ProjectLock(const ProjectLock &) = delete;
    ProjectLock &operator=(const ProjectLock &) = delete;

    // Takes the lock, waiting up to `wait` while another program holds it;
    // then Failure::InUse. A file that cannot be opened is not locked and
    // not a failure: reading it says why.
    Result Acquire(const std::string &path, std::chrono::milliseconds wait = std::chrono::seconds(3));
    void Release();
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace kivo
