// Run on Simulated Board: the project window's "Simulated Board" tab runs the
// compiled program; when the program is missing or stale the tab offers
// Compile, which builds through the Build pane and then starts the run.
// Verify on Simulated Board runs the program for verify's time on a thread of
// its own and shows each object's verdict in the object list.
#include "app/buildpane.h"
#include "app/mainframe.h"
#include "app/verifyrun.h"
#include "model/kivodoc.h"
#include "platform/messages.h"
#include "run/projectrun.h"
#include "workspace/kivoview.h"
#include "workspace/objectview.h"
#include "workspace/simboardtab.h"

#include <QMessageBox>
#include <QPointer>
#include <QStatusBar>

namespace kivo {

void CMainFrame::OnSimulate()
{
    CChildFrame *child = ActiveChild();
    if (!child)
        return;
    child->View()->setCurrentIndex(CKivoView::SimBoardTab);
    child->View()->SimBoard()->Start();
}

void CMainFrame::CompileThenSimulate(CChildFrame *child)
{
    QPointer<CSimBoardTab> tab = child->View()->SimBoard();
    CompileThen(child, [tab] {
        if (tab)
            tab->Start();
    });
}

void CMainFrame::CompileThen(CChildFrame *child, std::function<void()> then)
{
    ActivateChild(child);
    CKivoDoc &doc = child->Document();
    // Generate first when the project changed since, or was never generated.
    auto noCode = [&doc] { return sim::CheckProjectBinary(doc, nullptr, nullptr) == sim::BinaryState::NoCode; };
    if (doc.IsModified() || noCode()) {
        OnGenerate();
        if (noCode())
            return; // cancelled or failed; it said why
    }
    OnCompile(false);
    // Inside Kivo the build runs in the Build pane: a successful one goes on.
    // (In a terminal window of its own, the user starts the next step.)
    if (CScriptRun *run = m_buildPane ? m_buildPane->RunningFor(&doc) : nullptr) {
        connect(run, &CScriptRun::ended, this, [then = std::move(then)](CScriptRun *ended) {
            if (ended->GetState() == CScriptRun::State::Finished)
                then();
        });
    }
}

void CMainFrame::OnVerify()
{
    CChildFrame *child = ActiveChild();
    if (!child)
        return;
    if (m_verify && m_verify->IsRunning()) {
        QMessageBox::information(this, QString::fromUtf8(kAppTitle),
                                 QString::fromStdString("Verify is still running on " +
                                                        m_verify->Document()->GetTitle() +
                                                        ". Its verdicts come in the object list when it ends."));
        return;
    }
    std::string why;
    if (sim::CheckProjectBinary(child->Document(), nullptr, &why) != sim::BinaryState::Ready) {
        if (QMessageBox::question(this, QString::fromUtf8(kAppTitle),
                                  QString::fromStdString(why) + "\n\nCompile the project now, then verify it?") !=
            QMessageBox::Yes)
            return;
        QPointer<CChildFrame> target = child;
        CompileThen(child, [this, target] {
            if (target)
                StartVerify(target);
        });
        return;
    }
    StartVerify(child);
}

void CMainFrame::StartVerify(CChildFrame *child)
{
    if (!m_verify) {
        m_verify = new CVerifyRun(this);
        connect(m_verify, &CVerifyRun::finished, this,
                [this](const CKivoDoc *doc, const std::vector<std::uint8_t> &project, const sim::VerifyResult &r) {
                    QString summary;
                    if (r.status != 0)
                        summary = "Verify could not run: " + QString::fromStdString(r.error);
                    else
                        summary = "Verify: " + QString::fromStdString(sim::VerdictCounts(r.verdicts));
                    bool shown = false;
                    for (CChildFrame *c : Children()) {
                        if (&c->Document() != doc)
                            continue;
                        shown = true;
                        if (r.status != 0)
                            c->View()->ObjectView()->ShowVerifyMessage(summary);
                        else
                            c->View()->ObjectView()->ShowVerdicts(r.verdicts, project);
                    }
                    if (shown)
                        statusBar()->showMessage(summary);
                    else
                        statusBar()->clearMessage();
                });
    }
    std::string error;
    if (!m_verify->Start(child->Document(), &error)) {
        QMessageBox::warning(this, QString::fromUtf8(kAppTitle), QString::fromStdString(error));
        return;
    }
    const QString running = "Verifying on the simulated board...";
    for (CChildFrame *c : Children())
        if (&c->Document() == &child->Document())
            c->View()->ObjectView()->ShowVerifyMessage(running);
    child->View()->setCurrentIndex(CKivoView::ObjectsTab);
    statusBar()->showMessage(running);
}

} // namespace kivo
