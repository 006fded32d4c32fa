#include "cli.h"
#include "gitmerge.h"

#include "model/text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/resources.h"
#include "platform/services.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

namespace {

// Every message box becomes one line "CAPTION: TEXT" on standard error.
class StderrMessages : public kivo::IMessages
{
public:
    void Show(kivo::MessageKind kind, const std::string &text) override
    {
        std::string line = text;
        for (auto &c : line)
            if (c == '\n' || c == '\r')
                c = ' ';
        std::cerr << kivo::CaptionOf(kind) << ": " << line << std::endl;
    }
};

// A standard stream the caller closed is held open on /dev/null, read only:
// writes to it fail as they would on the closed stream, and no file the
// command opens can take its number and get the listing.
void HoldClosedStreams()
{
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            ::open("/dev/null", O_RDONLY);
}

} // namespace

int main(int argc, char **argv)
{
    HoldClosedStreams();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(kivo::SanitizeUtf8(argv[i]));
    StderrMessages messages;
    kivo::FileProfile profile(kivo::FileProfile::DefaultPath());
    kivo::DiskFileSystem files;
    kivo::SystemClock clock;
    kivo::SystemProcessRunner processes;
    kivo::EmbeddedResources resources;
    kivo::GitTextMerger merger;
    kivo::Services services{messages, profile, files, clock, processes, resources, nullptr, &merger};
    return kivo::RunCli(args, services, std::cout, std::cerr);
}
