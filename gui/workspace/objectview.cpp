#include "workspace/objectview.h"

#include "app/commands.h"
#include "check/check.h"
#include "model/kivodoc.h"
#include "model/projectfile.h"
#include "objects/objectlist.h"
#include "platform/messages.h"
#include "platform/services.h"
#include "workspace/editordialog.h"
#include "workspace/objectpicker.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace kivo {

namespace {

// A verdict's mark: a green tick, a red cross, a grey dash.
QIcon VerdictIcon(sim::Verdict::State state)
{
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        const QColor fill = state == sim::Verdict::State::Pass   ? QColor(40, 150, 60)
                            : state == sim::Verdict::State::Fail ? QColor(200, 40, 40)
                                                                 : QColor(140, 140, 140);
        p.setPen(QPen(fill.darker(130), 1));
        p.setBrush(fill);
        p.drawEllipse(QRectF(1, 1, 14, 14));
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        if (state == sim::Verdict::State::Pass) {
            QPainterPath tick;
            tick.moveTo(4.5, 8.2);
            tick.lineTo(7, 10.8);
            tick.lineTo(11.5, 5.2);
            p.drawPath(tick);
        } else if (state == sim::Verdict::State::Fail) {
            p.drawLine(QPointF(5.2, 5.2), QPointF(10.8, 10.8));
            p.drawLine(QPointF(10.8, 5.2), QPointF(5.2, 10.8));
        } else {
            p.drawLine(QPointF(4.5, 8), QPointF(11.5, 8));
        }
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

CObjectView::CObjectView(CKivoDoc &doc, Services &services, QWidget *parent)
    : QWidget(parent), m_doc(doc), m_services(services)
{
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel("Add, Edit, or Delete an Object from List", this);
    QFont f = heading->font();
    f.setBold(true);
    heading->setFont(f);
    layout->addWidget(heading);

    auto *buttons = new QHBoxLayout;
    m_add = new QPushButton("Add Object", this);
    m_edit = new QPushButton("Edit Object", this);
    m_delete = new QPushButton("Delete Object", this);
    m_add->setObjectName("id1005");
    m_edit->setObjectName("id1006");
    m_delete->setObjectName("id1007");
    for (auto *b : {m_add, m_edit, m_delete})
        buttons->addWidget(b);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    layout->addWidget(new QLabel("Object List:  Click to select, double-click to edit.", this));
    m_objects = new QListWidget(this);
    m_objects->setObjectName("id1030");
    m_objects->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(m_objects, 3);
    m_verifySummary = new QLabel(this);
    m_verifySummary->setObjectName("verifySummary");
    m_verifySummary->setWordWrap(true);
    m_verifySummary->hide();
    layout->addWidget(m_verifySummary);
    layout->addWidget(new QLabel("Warnings:", this));
    m_warnings = new QListWidget(this);
    m_warnings->setObjectName("id1031");
    m_warnings->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(m_warnings, 1);

    // The buttons, the double-click, Enter and Delete all go through the
    // actions, which know when there is an object to act on.
    m_addAction = new QAction("Add Object", this);
    m_editAction = new QAction("Edit Object", this);
    m_duplicateAction = new QAction("Duplicate Object", this);
    m_deleteAction = new QAction("Delete Object", this);
    m_addAction->setObjectName(cmd::kObjectAdd);
    m_editAction->setObjectName(cmd::kObjectEdit);
    m_duplicateAction->setObjectName(cmd::kObjectDuplicate);
    m_deleteAction->setObjectName(cmd::kObjectDelete);
    connect(m_addAction, &QAction::triggered, this, &CObjectView::OnAddObject);
    connect(m_editAction, &QAction::triggered, this, &CObjectView::OnEditObject);
    connect(m_duplicateAction, &QAction::triggered, this, &CObjectView::OnDuplicateObject);
    connect(m_deleteAction, &QAction::triggered, this, &CObjectView::OnDeleteObject);
    for (auto [button, action] : {std::pair{m_add, m_addAction}, {m_edit, m_editAction}, {m_delete, m_deleteAction}}) {
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        connect(action, &QAction::enabledChanged, button, &QPushButton::setEnabled);
    }
    connect(m_objects, &QListWidget::itemDoubleClicked, m_editAction, &QAction::trigger);
    m_objects->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_objects, &QListWidget::customContextMenuRequested, this, &CObjectView::ShowContextMenu);
    connect(m_objects, &QListWidget::itemSelectionChanged, this, &CObjectView::UpdateActions);
    connect(m_objects, &QListWidget::currentItemChanged, this, &CObjectView::UpdateActions);
    // Enter edits and Delete deletes the selected object.
    m_objects->installEventFilter(this);
    connect(m_warnings, &QListWidget::itemDoubleClicked, this, &CObjectView::OnFindingActivated);

    m_viewToken = m_doc.AddView([this] { OnUpdate(); });
    OnUpdate();
}

CObjectView::~CObjectView() { m_doc.RemoveView(m_viewToken); }

void CObjectView::OnUpdate()
{
    m_objects->clear();
    m_warnings->clear();
    for (auto &line : ObjectLines(m_doc))
        m_objects->addItem(QString::fromStdString(line));
    ShowVerdictLines();
    UpdateActions();
    for (auto &line : WarningLines(m_doc))
        m_warnings->addItem(QString::fromStdString(line));
    // The project checks follow, each line keeping its finding's place.
    m_findings = CheckProject(m_doc);
    for (std::size_t i = 0; i < m_findings.size(); ++i) {
        auto *item = new QListWidgetItem(QString::fromStdString(FindingLine(m_findings[i])), m_warnings);
        item->setData(Qt::UserRole, int(i));
        item->setToolTip(m_findings[i].fix == FindingFix::RecomputeNco
                             ? QString("Double-click to recompute the registers for the project's clock.")
                             : item->text() + (m_findings[i].object < 0 ? "\nDouble-click to show the setting."
                                                                        : "\nDouble-click to edit the object."));
    }
}

void CObjectView::ShowVerdicts(const std::vector<sim::Verdict> &verdicts, std::vector<std::uint8_t> project)
{
    m_verdicts = verdicts;
    m_verified = std::move(project);
    if (m_verified != SerializeProject(m_doc)) {
        m_verdicts.clear();
        m_verified.clear();
        ShowVerifyMessage("Verify ended, but the project has changed since: verify it again.");
    } else {
        m_verifySummary->setText("Verify: " + QString::fromStdString(sim::VerdictCounts(m_verdicts)) +
                                 ". Point at an object for its evidence.");
        m_verifySummary->setStyleSheet(sim::TallyVerdicts(m_verdicts).failed ? "color: #b00000;" : "");
        m_verifySummary->show();
    }
    ShowVerdictLines();
}

void CObjectView::ShowVerifyMessage(const QString &text)
{
    m_verdicts.clear();
    m_verified.clear();
    m_verifySummary->setText(text);
    m_verifySummary->setStyleSheet("");
    m_verifySummary->setVisible(!text.isEmpty());
    ShowVerdictLines();
}

void CObjectView::ShowVerdictLines()
{
    // Any change of the project makes the verdicts stale.
    if (!m_verdicts.empty() && m_verified != SerializeProject(m_doc)) {
        m_verdicts.clear();
        m_verified.clear();
        m_verifySummary->hide();
    }
    for (int row = 0; row < m_objects->count(); ++row) {
        QListWidgetItem *item = m_objects->item(row);
        item->setIcon(QIcon());
        item->setToolTip(QString());
        if (std::size_t(row) >= m_doc.m_objList.size())
            continue;
        const std::string &name = m_doc.m_objList[std::size_t(row)]->m_strName;
        for (const auto &v : m_verdicts) {
            if (v.name != name)
                continue;
            item->setIcon(VerdictIcon(v.state));
            QString tip = QString("%1 %2: %3")
                              .arg(QString::fromLatin1(sim::StateWord(v.state)), QString::fromStdString(v.name),
                                   QString::fromStdString(v.text));
            if (v.state == sim::Verdict::State::Fail)
                tip += "\nDouble-click to edit the object.";
            item->setToolTip(tip);
            break;
        }
    }
}

void CObjectView::OnFindingActivated(QListWidgetItem *item)
{
    QVariant v = item ? item->data(Qt::UserRole) : QVariant();
    if (!v.isValid() || v.toInt() < 0 || std::size_t(v.toInt()) >= m_findings.size())
        return;
    const Finding f = m_findings[std::size_t(v.toInt())];
    if (f.fix != FindingFix::RecomputeNco) {
        if (f.object < 0) {
            emit settingsFindingChosen(QString::fromStdString(f.field));
        } else if (std::size_t(f.object) < m_doc.m_objList.size()) {
            m_objects->setCurrentRow(f.object);
            m_doc.UpdateAllViews();
            EditObject(m_doc, std::size_t(f.object), m_services.messages,
                       [this, &f](CEditorModel &editor) { return RunEditorDialog(editor, window(), f.field); });
        }
        return;
    }
    if (QMessageBox::question(window(), QString::fromUtf8(kAppTitle),
                              QString::fromStdString("Recompute the register values of " + f.name +
                                                     " from its desired frequency for the project's clock?")) !=
        QMessageBox::Yes)
        return;
    if (ApplyFix(m_doc, f))
        m_doc.UpdateAllViews();
}

bool CObjectView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_objects && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                m_editAction->trigger();
                return true;
            case Qt::Key_Delete:
                m_deleteAction->trigger();
                return true;
            default:
                break;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CObjectView::OnAddObject()
{
    // The editors work on the project as it is, typed settings included.
    m_doc.UpdateAllViews();
    CObjectPicker picker(m_doc, m_services.messages, window());
    picker.exec();
    // An addition refreshes the views itself; a plain Cancel must as well.
    if (!picker.AddRan())
        m_doc.UpdateAllViews();
}

int CObjectView::SelectedRow() const
{
    QListWidgetItem *item = m_objects->currentItem();
    return item && item->isSelected() ? m_objects->currentRow() : -1;
}

void CObjectView::UpdateActions()
{
    const int row = SelectedRow();
    m_editAction->setEnabled(row >= 0 && !m_objects->item(row)->text().isEmpty());
    m_duplicateAction->setEnabled(row >= 0 && CanDuplicateObject(m_doc, std::size_t(row)));
    m_deleteAction->setEnabled(row >= 0);
}

void CObjectView::ShowContextMenu(const QPoint &at)
{
    QMenu menu(this);
    menu.addActions({m_addAction, m_editAction, m_duplicateAction, m_deleteAction});
    menu.exec(m_objects->viewport()->mapToGlobal(at));
}

void CObjectView::OnDuplicateObject()
{
    int row = SelectedRow();
    if (row < 0)
        return;
    m_doc.UpdateAllViews();
    if (DuplicateObject(m_doc, std::size_t(row), m_services.messages, [this](CEditorModel &editor) {
            return RunEditorDialog(editor, window());
        }) == AddResult::Added) {
        // The copy is the last line.
        m_objects->setCurrentRow(m_objects->count() - 1);
        m_objects->currentItem()->setSelected(true);
    }
}

void CObjectView::OnEditObject()
{
    int row = SelectedRow();
    if (row < 0 || m_objects->item(row)->text().isEmpty())
        return;
    m_doc.UpdateAllViews();
    EditObject(m_doc, std::size_t(row), m_services.messages,
               [this](CEditorModel &editor) { return RunEditorDialog(editor, window()); });
}

void CObjectView::OnDeleteObject()
{
    int row = SelectedRow();
    if (row < 0)
        return;
    m_doc.UpdateAllViews();
    // Undo brings a deleted object back, so nothing is asked. The next line
    // takes the selection, for a run of deletions from the keyboard.
    DeleteObject(m_doc, std::size_t(row));
    if (m_objects->count() > 0) {
        m_objects->setCurrentRow(std::min(row, m_objects->count() - 1));
        m_objects->currentItem()->setSelected(true);
    }
}

} // namespace kivo
