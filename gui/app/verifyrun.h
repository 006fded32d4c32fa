#pragma once
// Verify on Simulated Board away from the user interface: a copy of the
// project runs on a thread of its own through the run layer's verify (the
// same code as `kivo-cli verify`), and `finished` comes back on the thread
// this object lives in. One run at a time.
#include "run/verify.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kivo {

class CKivoDoc;

class CVerifyRun : public QObject
{
    Q_OBJECT
public:
    explicit CVerifyRun(QObject *parent = nullptr);
    ~CVerifyRun() override; // stops a run under way and waits for its thread

    // Starts verify on the project as it stands. False, saying why, while a
    // run is under way or when the project cannot be copied.
    bool Start(const CKivoDoc &doc, std::string *error);
    bool IsRunning() const { return m_running; }
    // The project under verify (null when none): the original, only to be
    // compared with.
    const CKivoDoc *Document() const { return m_source; }

signals:
    // `project` is the project's saved form when the run started: the
    // verdicts hold for it only.
    void finished(const kivo::CKivoDoc *doc, const std::vector<std::uint8_t> &project,
                  const kivo::sim::VerifyResult &result);

private:
    void Join();

    const CKivoDoc *m_source = nullptr;
    bool m_running = false;
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::thread m_thread;
};

} // namespace kivo
