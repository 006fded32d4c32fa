#include "app/verifyrun.h"

#include "model/kivodoc.h"
#include "model/projectfile.h"

#include <QMetaObject>

namespace kivo {

CVerifyRun::CVerifyRun(QObject *parent) : QObject(parent) {}

CVerifyRun::~CVerifyRun()
{
    if (m_stop)
        m_stop->store(true);
    Join();
}

void CVerifyRun::Join()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool CVerifyRun::Start(const CKivoDoc &doc, std::string *error)
{
    if (m_running) {
        *error = "Verify is already running on " + m_source->GetTitle() + ".";
        return false;
    }
    Join();
    // The board's objects point into the copy while the user goes on editing.
    std::shared_ptr<CKivoDoc> copy = CopyProject(doc);
    if (!copy) {
        *error = "The project cannot be copied for verify.";
        return false;
    }
    std::vector<std::uint8_t> project = SerializeProject(doc);
    m_source = &doc;
    m_running = true;
    m_stop = std::make_shared<std::atomic<bool>>(false);
    m_thread = std::thread([this, copy, stop = m_stop, project = std::move(project)]() mutable {
        sim::VerifyResult result = sim::VerifyProject(*copy, std::nullopt, [stop] { return stop->load(); });
        if (stop->load())
            return; // the object is going away
        // Queued: delivered on the user interface's thread, dropped with this object.
        QMetaObject::invokeMethod(
            this,
            [this, project = std::move(project), result = std::move(result)] {
                Join();
                const CKivoDoc *doc = m_source;
                m_running = false;
                m_source = nullptr;
                emit finished(doc, project, result);
            },
            Qt::QueuedConnection);
    });
    return true;
}

} // namespace kivo
