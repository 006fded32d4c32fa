#include "workspace/kivoview.h"

#include "app/commands.h"
#include "model/kivodoc.h"
#include "workspace/colortabbar.h"
#include "workspace/flexspinview.h"
#include "workspace/objectview.h"
#include "workspace/pinstab.h"
#include "workspace/simboardtab.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QVBoxLayout>

namespace kivo {

CKivoView::CKivoView(CKivoDoc &doc, Services &services, QWidget *parent)
    : QTabWidget(parent), m_doc(doc), m_tabBar(new CColorTabBar(this))
{
    setTabBar(m_tabBar);
    setTabPosition(QTabWidget::South);
    setDocumentMode(true);
    m_settings = new CFlexSpinView(doc, this);
    m_objects = new CObjectView(doc, services, this);
    m_pins = CreatePinsTab(doc, this);
    // "&&" shows as one ampersand.
    addTab(m_settings, "P2 && FlexSpin");
    addTab(m_objects, "Object List");
    addTab(m_pins, "I/O Pin View");
    m_simBoard = new CSimBoardTab(doc, this);
    addTab(m_simBoard, "Simulated Board");
    m_tabBar->SetAutoColors(true);
    m_tabBar->SetTabBackground(SettingsTab, QColor(200, 250, 250));
    m_tabBar->SetActiveTabBackground(QColor(250, 250, 200));
    setCurrentIndex(SettingsTab);
    connect(m_objects, &CObjectView::settingsFindingChosen, this, [this](const QString &field) {
        setCurrentIndex(SettingsTab);
        m_settings->FocusFinding(field.toStdString());
    });
}

QString CKivoView::ShownTabText(int index) const { return tabText(index).replace("&&", "&"); }

void CKivoView::contextMenuEvent(QContextMenuEvent *event)
{
    // The "Edit" pop-up: its own texts over the main window's clipboard
    // commands, which act on the current tab when it takes them; then the
    // main window's Undo and Redo themselves.
    auto command = [this](const char *id) { return window()->findChild<QAction *>(id); };
    QMenu menu(this);
    struct Entry {
        const char *text;
        const char *id;
    };
    for (const Entry &e : {Entry{"Cu&t\tCtrl+X", cmd::kEditCut}, Entry{"&Copy\tCtrl+C", cmd::kEditCopy},
                           Entry{"&Paste\tCtrl+V", cmd::kEditPaste}}) {
        QAction *a = menu.addAction(e.text);
        QAction *target = command(e.id);
        a->setEnabled(target && target->isEnabled());
        if (target)
            connect(a, &QAction::triggered, target, &QAction::trigger);
    }
    menu.addSeparator();
    for (const char *id : {cmd::kEditUndo, cmd::kEditRedo})
        if (QAction *action = command(id))
            menu.addAction(action);
    menu.exec(event->globalPos());
}

CChildFrame::CChildFrame(CKivoDoc &doc, Services &services, QWidget *parent)
    : QWidget(parent), m_view(new CKivoView(doc, services, this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    // After the tab views: the form has copied its values in by then.
    m_viewToken = doc.AddView([this] { emit documentChanged(); });
}

CChildFrame::~CChildFrame() { Document().RemoveView(m_viewToken); }

QString CChildFrame::Title() const
{
    QString title = QString::fromStdString(Document().GetTitle());
    if (m_number > 0)
        title += QString(":%1").arg(m_number);
    if (Document().IsModified())
        title += "*";
    return title;
}

} // namespace kivo
