#pragma once
#include <string>
#include <vector>

namespace kivo {

struct ProcessRequest {
    std::string program;           // path or name looked up on PATH
    std::vector<std::string> args; // each passed as one argument
    std::string workingFolder;
    bool wait = true; // wait without time limit for the process to end
};

struct ProcessOutcome {
    bool started = false;
    int errorCode = 0; // the system's error code when the start failed
    int exitCode = 0;  // when waited for
};

class IProcessRunner
{
public:
    virtual ~IProcessRunner() = default;
    virtual ProcessOutcome Run(const ProcessRequest &request) = 0;
};

class SystemProcessRunner : public IProcessRunner
{
public:
    ProcessOutcome Run(const ProcessRequest &request) override;
};

class RecordingProcessRunner : public IProcessRunner
{
public:
    ProcessOutcome Run(const ProcessRequest &request) override
    {
        requests.push_back(request);
        return outcome;
    }
    std::vector<ProcessRequest> requests;
    ProcessOutcome outcome{true, 0, 0};
};

} // namespace kivo
