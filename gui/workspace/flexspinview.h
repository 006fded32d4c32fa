#pragma once
#include <QScrollArea>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace kivo {

class CKivoDoc;

// The "P2 & FlexSpin" tab: a plain two-way copy of the project's settings.
// Controls are filled from the project when the form is made. A field goes
// into the project as one undo step when its editing finishes (a box left or
// Enter pressed, an entry chosen, a check box clicked), and every window on
// the project shows it at once; a refresh of the project's views also takes
// what is still being typed. The project checks' findings about the
// settings mark their fields (red for an error, amber for a warning) and are
// listed above the form.
class CFlexSpinView : public QScrollArea
{
    Q_OBJECT
public:
    explicit CFlexSpinView(CKivoDoc &doc, QWidget *parent = nullptr);
    ~CFlexSpinView() override;

    // The control of a field by its dialog id (1027 the clock box...).
    QWidget *Control(int id) const;
    // Browse for the folder of the text box beside button `buttonId`.
    void Browse(int buttonId);
    // The control of a finding's field ("clock_freq"); null for none.
    QWidget *FindingControl(const std::string &field) const;
    // Gives the focus to that control; false when there is none.
    bool FocusFinding(const std::string &field);
    // The findings listed above the form, one a line.
    QLabel *FindingsLabel() const { return m_findings; }

    // The refresh of the broadcast.
    void OnUpdate();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Row {
        int id;
        std::string CKivoDoc::*text;
        int32_t CKivoDoc::*flag;
        QWidget *control = nullptr;
        QString shown; // what the form last showed from the project
    };
    QString Read(const Row &row) const;
    void Show(Row &row);
    // Copies the field into the project as one undo step; false when it
    // holds what the project has.
    bool Commit(Row &row);
    void CommitControl(QWidget *control);
    QLineEdit *Edit(int id);
    QComboBox *Combo(int id, const QStringList &entries);
    QCheckBox *Check(int id, const QString &label);
    QAbstractButton *BrowseButton(int buttonId);
    void ShowFindings();

    CKivoDoc &m_doc;
    std::vector<Row> m_rows;
    QLabel *m_findings = nullptr;
    int m_viewToken = 0;
    bool m_committing = false;
};

} // namespace kivo
