#include "app/dialogs.h"

#include "app/icons.h"
#include "app/kivoapp.h"
#include "app/mainframe.h"
#include "workspace/kivoview.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kivo {

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle("About Kivo");
    auto *layout = new QVBoxLayout(this);
    auto *row = new QHBoxLayout;
    auto *icon = new QLabel(this);
    icon->setObjectName("aboutIcon");
    icon->setPixmap(AppIcon().pixmap(48, 48));
    row->addWidget(icon, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    auto *version = new QLabel("Kivo, Version 1.0", this);
    version->setObjectName("aboutVersion");
    texts->addWidget(version);
    texts->addWidget(new QLabel("A code generator for the Parallax Propeller 2.", this));
    row->addSpacing(8);
    row->addLayout(texts, 1);
    layout->addLayout(row);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

CWindowsDialog::CWindowsDialog(CMainFrame &frame) : QDialog(&frame), m_frame(frame)
{
    setWindowTitle("Windows");
    auto *layout = new QHBoxLayout(this);
    auto *left = new QVBoxLayout;
    auto *label = new QLabel("Select &window:", this);
    left->addWidget(label);
    m_list = new QListWidget(this);
    // The label's "&" marks Alt+W for the list rather than showing as is.
    label->setBuddy(m_list);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setMinimumWidth(260);
    left->addWidget(m_list);
    layout->addLayout(left, 1);

    auto *buttons = new QVBoxLayout;
    m_activate = new QPushButton("&Activate", this);
    auto *ok = new QPushButton("OK", this);
    m_save = new QPushButton("&Save", this);
    m_close = new QPushButton("&Close Window(s)", this);
    ok->setDefault(true);
    for (auto *b : {m_activate, ok, m_save, m_close})
        buttons->addWidget(b);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    connect(m_activate, &QPushButton::clicked, this, &CWindowsDialog::OnActivate);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (m_list->selectedItems().size() == 1)
            OnActivate();
        else
            accept();
    });
    connect(m_save, &QPushButton::clicked, this, &CWindowsDialog::OnSave);
    connect(m_close, &QPushButton::clicked, this, &CWindowsDialog::OnCloseWindows);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &CWindowsDialog::UpdateButtons);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &CWindowsDialog::OnActivate);
    Fill();
}

void CWindowsDialog::Fill()
{
    m_list->clear();
    CChildFrame *active = m_frame.ActiveChild();
    for (CChildFrame *child : m_frame.Children()) {
        auto *item = new QListWidgetItem(child->Title(), m_list);
        item->setData(Qt::UserRole, QVariant::fromValue(static_cast<void *>(child)));
        if (child == active)
            item->setSelected(true);
    }
    UpdateButtons();
}

void CWindowsDialog::UpdateButtons()
{
    int n = int(m_list->selectedItems().size());
    m_activate->setEnabled(n == 1);
    m_save->setEnabled(n > 0);
    m_close->setEnabled(n > 0);
}

static QList<CChildFrame *> Selected(QListWidget *list, CMainFrame &frame)
{
    QList<CChildFrame *> out;
    const auto children = frame.Children();
    for (QListWidgetItem *item : list->selectedItems()) {
        auto *child = static_cast<CChildFrame *>(item->data(Qt::UserRole).value<void *>());
        if (children.contains(child))
            out << child;
    }
    return out;
}

void CWindowsDialog::OnActivate()
{
    auto selected = Selected(m_list, m_frame);
    if (selected.size() != 1)
        return;
    m_frame.ActivateChild(selected.first());
    accept();
}

void CWindowsDialog::OnSave()
{
    QList<CKivoDoc *> saved;
    for (CChildFrame *child : Selected(m_list, m_frame)) {
        if (saved.contains(&child->Document()))
            continue;
        saved << &child->Document();
        m_frame.App().Save(child->Document());
    }
    Fill();
}

void CWindowsDialog::OnCloseWindows()
{
    for (CChildFrame *child : Selected(m_list, m_frame))
        m_frame.CloseChild(child);
    Fill();
}

} // namespace kivo
