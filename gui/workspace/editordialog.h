#pragma once
#include "objects/editor.h"

#include <QDialog>
#include <functional>
#include <map>
#include <string>
#include <vector>

class QButtonGroup;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;

namespace kivo {

class CEditorModel;
struct FieldSpec;

// A kind's editor dialog, built from its model's field descriptions: the
// description on top, the name, then every field in order, consecutive
// fields of one group framed together. Every user step goes to the model and
// the dialog then shows the model again; OK and Cancel run the model's steps.
// The model's messages show beside their fields, all of them at once: a
// field's message stays until the field is changed, and OK stays refused
// while an error stands. Warnings of an accepted OK come in one box.
class CEditorDialog : public QDialog
{
    Q_OBJECT
public:
    CEditorDialog(CEditorModel &model, QWidget *parent = nullptr);
    ~CEditorDialog() override;

    CEditorModel &Model() const { return m_model; }
    // The control of a field ("name", or a field key).
    QWidget *FieldControl(const std::string &key) const;
    // The radio buttons of a choice field.
    std::vector<QRadioButton *> ChoiceButtons(const std::string &key) const;
    QPlainTextEdit *DescriptionBox() const { return m_description; }
    QPushButton *OkButton() const { return m_ok; }
    // The messages shown beside a field ("" for those of no field), one a
    // line; empty when there is none.
    QString MessageOf(const std::string &key) const;
    // The keys of the fields marked with an error, in the form's order.
    std::vector<std::string> ErrorFields() const;

    // Shows the model's values and the fields' states.
    void ShowModel();
    // Gives the focus to a field's control, brought into view.
    void FocusField(const std::string &key);

public slots:
    void accept() override; // OK: the model's OK sequence
    void reject() override; // Cancel, Escape, the close box

private:
    struct Field {
        const FieldSpec *desc;
        QWidget *control = nullptr; // line edit, check box, slider, combo, button, or the choices' box
        QLabel *label = nullptr;
        QButtonGroup *choices = nullptr;
        QGridLayout *choiceLayout = nullptr;
        QWidget *choiceBox = nullptr;
        QLabel *message = nullptr; // under the field, shown while it has messages
    };
    // A message shown, and the step that made it.
    struct Shown {
        FieldMessage message;
        std::string origin;
    };
    void AddField(const FieldSpec &desc, QGridLayout *grid, int &row, bool inGroup);
    void BuildChoices(Field &field, const std::vector<std::string> &options);
    // A user step on field `key`: its old messages go, the step runs, and
    // the model and the messages it made are shown.
    void Step(const std::string &key, const std::function<void()> &run);
    void AfterUserStep();
    // Takes the model's new messages, from the step `origin`.
    void TakeMessages(const std::string &origin);
    void ShowMessages();
    QLabel *NewMessageLabel(QWidget *owner);
    void FitToScreen();

    CEditorModel &m_model;
    QPlainTextEdit *m_description = nullptr;
    QLineEdit *m_name = nullptr;
    QScrollArea *m_scroll = nullptr;
    std::vector<Field> m_fields;
    QLabel *m_nameMessage = nullptr;
    QLabel *m_otherMessage = nullptr; // messages of no field shown
    QPushButton *m_ok = nullptr;
    std::vector<FieldMessage> m_kept; // the model's sink
    std::vector<Shown> m_shown;
    bool m_showing = false; // true while the dialog writes its controls
};

// Runs an opened editor model as its dialog, over `owner`, the focus on
// `focusField` when it names a field; true when it closed as accepted.
bool RunEditorDialog(CEditorModel &model, QWidget *owner, const std::string &focusField = "");

} // namespace kivo
