#pragma once
#include <QDialog>
#include <map>
#include <string>
#include <vector>

class QButtonGroup;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QScrollArea;

namespace kivo {

class CEditorModel;
struct FieldSpec;

// A kind's editor dialog, built from its model's field descriptions: the
// description on top, the name, then every field in order, consecutive
// fields of one group framed together. Every user step goes to the model and
// the dialog then shows the model again; OK and Cancel run the model's steps.
class CEditorDialog : public QDialog
{
    Q_OBJECT
public:
    CEditorDialog(CEditorModel &model, QWidget *parent = nullptr);

    CEditorModel &Model() const { return m_model; }
    // The control of a field ("name", or a field key).
    QWidget *FieldControl(const std::string &key) const;
    // The radio buttons of a choice field.
    std::vector<QRadioButton *> ChoiceButtons(const std::string &key) const;
    QPlainTextEdit *DescriptionBox() const { return m_description; }

    // Shows the model's values and the fields' states.
    void ShowModel();

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
    };
    void AddField(const FieldSpec &desc, QGridLayout *grid, int &row, bool inGroup);
    void BuildChoices(Field &field, const std::vector<std::string> &options);
    void AfterUserStep();
    void FitToScreen();

    CEditorModel &m_model;
    QPlainTextEdit *m_description = nullptr;
    QLineEdit *m_name = nullptr;
    QScrollArea *m_scroll = nullptr;
    std::vector<Field> m_fields;
    bool m_showing = false; // true while the dialog writes its controls
};

// Runs an opened editor model as its dialog, over `owner`; true when it
// closed as accepted.
bool RunEditorDialog(CEditorModel &model, QWidget *owner);

} // namespace kivo
