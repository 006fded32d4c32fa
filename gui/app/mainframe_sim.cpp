// Run on Simulated Board: the project window's "Simulated Board" tab runs the
// compiled program; when the program is missing or stale the tab offers
// Compile, which builds through the Build pane and then starts the run.
#include "app/buildpane.h"
#include "app/mainframe.h"
#include "model/kivodoc.h"
#include "run/projectrun.h"
#include "workspace/kivoview.h"
#include "workspace/simboardtab.h"

#include <QPointer>

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
    ActivateChild(child);
    CKivoDoc &doc = child->Document();
    // Generate first when the project changed since, or was never generated.
    std::string why;
    const bool noCode = sim::FindProjectBinary(doc, &why).empty() && why.find("Generate") != std::string::npos;
    if (doc.IsModified() || noCode) {
        OnGenerate();
        if (sim::FindProjectBinary(doc, &why).empty() && why.find("Generate") != std::string::npos)
            return; // cancelled or failed; it said why
    }
    OnCompile(false);
    // Inside Kivo the build runs in the Build pane: a successful one starts the
    // run. (In a terminal window of its own, the user presses Run after it.)
    if (CScriptRun *run = m_buildPane->RunningFor(&doc)) {
        QPointer<CSimBoardTab> tab = child->View()->SimBoard();
        connect(run, &CScriptRun::ended, tab, [tab](CScriptRun *ended) {
            if (tab && ended->GetState() == CScriptRun::State::Finished)
                tab->Start();
        });
    }
}

} // namespace kivo
