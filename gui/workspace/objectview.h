#pragma once
#include "check/check.h"
#include "run/verify.h"

#include <QWidget>

#include <cstdint>
#include <vector>

class QAction;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace kivo {

class CKivoDoc;
struct Services;

// The "Object List" tab: the project's objects and warnings, with Add, Edit,
// Duplicate and Delete. The project is the only source of truth; the lists
// are rebuilt at every refresh of its views. The commands are actions of the
// view ("object.add", "object.edit", "object.duplicate", "object.delete");
// all but Add are enabled only while an object is selected, and the buttons
// and the list's context menu follow them.
//
// Verify on Simulated Board leaves a verdict on each object's line (an
// icon, the evidence as its tip) and a summary under the list; they stay
// while the project is the one verified.
class CObjectView : public QWidget
{
    Q_OBJECT
public:
    CObjectView(CKivoDoc &doc, Services &services, QWidget *parent = nullptr);
    ~CObjectView() override;

    QListWidget *ObjectList() const { return m_objects; }
    QListWidget *WarningList() const { return m_warnings; }
    QPushButton *AddButton() const { return m_add; }
    QPushButton *EditButton() const { return m_edit; }
    QPushButton *DeleteButton() const { return m_delete; }
    QAction *AddAction() const { return m_addAction; }
    QAction *EditAction() const { return m_editAction; }
    QAction *DeleteAction() const { return m_deleteAction; }
    QAction *DuplicateAction() const { return m_duplicateAction; }
    QLabel *VerifySummary() const { return m_verifySummary; }

    // The verdicts of verify on `project` (the project's saved form then),
    // by object name; they go at the first change of the project.
    void ShowVerdicts(const std::vector<sim::Verdict> &verdicts, std::vector<std::uint8_t> project);
    // The summary alone: verify under way, or why it could not run.
    void ShowVerifyMessage(const QString &text);
    bool HasVerdicts() const { return !m_verdicts.empty(); }

    void OnUpdate();
    void OnAddObject();
    void OnEditObject();
    void OnDeleteObject();
    void OnDuplicateObject();

signals:
    // A finding about the project's settings was double-clicked: its field.
    void settingsFindingChosen(const QString &field);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A double-click on a finding offers its fix, where it has one; else it
    // opens the object's editor on the field, or shows the settings field.
    void OnFindingActivated(QListWidgetItem *item);
    // The selected object's row, or -1.
    int SelectedRow() const;
    void UpdateActions();
    void ShowContextMenu(const QPoint &at);
    // The verdicts on the object lines, when the project is still `m_verified`.
    void ShowVerdictLines();
    std::vector<Finding> m_findings;
    std::vector<sim::Verdict> m_verdicts;
    std::vector<std::uint8_t> m_verified;

    CKivoDoc &m_doc;
    Services &m_services;
    QListWidget *m_objects;
    QListWidget *m_warnings;
    QLabel *m_verifySummary;
    QPushButton *m_add;
    QPushButton *m_edit;
    QPushButton *m_delete;
    QAction *m_addAction;
    QAction *m_editAction;
    QAction *m_deleteAction;
    QAction *m_duplicateAction;
    int m_viewToken = 0;
};

} // namespace kivo
