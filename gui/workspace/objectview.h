#pragma once
#include "check/check.h"

#include <QWidget>

#include <vector>

class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace kivo {

class CKivoDoc;
struct Services;

// The "Object List" tab: the project's objects and warnings, with Add, Edit
// and Delete. The project is the only source of truth; the lists are rebuilt
// at every refresh of its views.
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

    void OnUpdate();
    void OnAddObject();
    void OnEditObject();
    void OnDeleteObject();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A double-click on a finding offers its fix.
    void OnFindingActivated(QListWidgetItem *item);
    std::vector<Finding> m_findings;

    CKivoDoc &m_doc;
    Services &m_services;
    QListWidget *m_objects;
    QListWidget *m_warnings;
    QPushButton *m_add;
    QPushButton *m_edit;
    QPushButton *m_delete;
    int m_viewToken = 0;
};

} // namespace kivo
