#pragma once
#include "objects/objectlist.h"

#include <QDialog>
#include <QPointer>

class QPushButton;

namespace kivo {

class CKivoDoc;
class IMessages;

// "Pick New Object": one button per kind. A kind's button opens its editor
// on a new object; the picker closes when the editor's OK added it, and a
// cancelled editor (Escape, Cancel) returns to the picker. The I2C clock is
// refused while the project has no I2C bus, and the picker stays open. The
// arrow and Tab keys move between the kinds; Enter opens the focused one.
class CObjectPicker : public QDialog
{
    Q_OBJECT
public:
    CObjectPicker(CKivoDoc &doc, IMessages &messages, QWidget *parent = nullptr);

    void SetEditorRunner(EditorRunner run) { m_run = std::move(run); }
    QPushButton *KindButton(int kind) const;
    QPushButton *CancelButton() const { return m_cancel; }
    // True once a kind's editor has run (the addition refreshed the views).
    bool AddRan() const { return m_addRan; }
    AddResult LastResult() const { return m_result; }

    void OnKind(int kind);
    // Closing gives the focus back to the control that had it before.
    void done(int result) override;

private:
    QPointer<QWidget> m_returnFocus;
    CKivoDoc &m_doc;
    IMessages &m_messages;
    EditorRunner m_run;
    QPushButton *m_buttons[12] = {};
    QPushButton *m_cancel = nullptr;
    bool m_addRan = false;
    AddResult m_result = AddResult::Cancelled;
};

} // namespace kivo
