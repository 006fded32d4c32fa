#include "platform/process.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kivo {

ProcessOutcome SystemProcessRunner::Run(const ProcessRequest &request)
{
    ProcessOutcome outcome;
    // The child reports a failed chdir or exec through a close-on-exec pipe,
    // so a program that cannot start is told apart from one that ran.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        outcome.errorCode = errno;
        return outcome;
    }
    std::vector<std::string> argvStore;
    argvStore.push_back(request.program);
    argvStore.insert(argvStore.end(), request.args.begin(), request.args.end());
    std::vector<char *> argv;
    for (auto &a : argvStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = ::fork();
    if (pid < 0) {
        outcome.errorCode = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        return outcome;
    }
    if (pid == 0) {
        ::close(fds[0]);
        int err = 0;
        if (!request.wait) {
            // Detach through a second fork so that no zombie is left behind.
            pid_t grandchild = ::fork();
            if (grandchild > 0)
                ::_exit(0);
            if (grandchild < 0)
                err = errno;
            else
                ::setsid();
        }
        if (err == 0 && !request.workingFolder.empty() && ::chdir(request.workingFolder.c_str()) != 0)
            err = errno;
        if (err == 0) {
            ::execvp(argv[0], argv.data());
            err = errno;
        }
        ssize_t ignored = ::write(fds[1], &err, sizeof err);
        (void)ignored;
        ::_exit(127);
    }
    ::close(fds[1]);
    int err = 0;
    ssize_t n;
    if (!request.wait) {
        int status;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    do {
        n = ::read(fds[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    ::close(fds[0]);
    if (n == sizeof err) {
        int status;
        if (request.wait)
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        outcome.errorCode = err;
        return outcome;
    }
    outcome.started = true;
    if (request.wait) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return outcome;
}

} // namespace kivo
