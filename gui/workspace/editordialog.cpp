#include "workspace/editordialog.h"

#include "objects/editor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QVBoxLayout>

namespace kivo {

namespace {

QString Q(const std::string &s) { return QString::fromStdString(s); }

// Descriptions are written with CR LF line breaks.
QString PlainText(const std::string &s) { return Q(s).replace("\r\n", "\n"); }

QLabel *Remark(const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setWordWrap(true);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, pal.color(QPalette::Disabled, QPalette::WindowText).darker(130));
    l->setPalette(pal);
    return l;
}

// Read-only boxes show as readouts (the looks' style sheet greys them).
void SetReadOnly(QLineEdit *edit, bool readOnly)
{
    if (edit->isReadOnly() == readOnly && edit->property("readout").isValid())
        return;
    edit->setReadOnly(readOnly);
    edit->setProperty("readout", readOnly);
    edit->style()->unpolish(edit);
    edit->style()->polish(edit);
}

// Choice groups with many options lay them out in rows of four.
constexpr int kChoicesPerRow = 4;

} // namespace

CEditorDialog::CEditorDialog(CEditorModel &model, QWidget *parent) : QDialog(parent), m_model(model)
{
    setWindowTitle(Q(model.Title()));
    auto *layout = new QVBoxLayout(this);

    m_description = new QPlainTextEdit(PlainText(model.Description()), this);
    m_description->setObjectName("description");
    m_description->setReadOnly(true);
    m_description->setFocusPolicy(Qt::NoFocus);
    m_description->setMinimumWidth(460);
    // Tall enough for the whole text at the dialog's usual width.
    QRect text = m_description->fontMetrics().boundingRect(QRect(0, 0, 440, 10000), Qt::TextWordWrap,
                                                           m_description->toPlainText());
    int lineSpacing = m_description->fontMetrics().lineSpacing();
    m_description->setFixedHeight(std::clamp(text.height(), 2 * lineSpacing, 10 * lineSpacing) + 14);
    layout->addWidget(m_description);

    // The fields scroll when the dialog would not fit the screen.
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName("fields");
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *form = new QWidget(m_scroll);
    auto *fieldsLayout = new QVBoxLayout(form);
    fieldsLayout->setContentsMargins(0, 0, 0, 0);
    auto *grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    int row = 0;
    grid->addWidget(new QLabel(Q(model.NameLabel()), form), row, 0);
    m_name = new QLineEdit(form);
    m_name->setObjectName("name");
    connect(m_name, &QLineEdit::textEdited, this, [this](const QString &t) {
        m_model.UserSetText("name", t.toStdString());
        AfterUserStep();
    });
    grid->addWidget(m_name, row++, 1, 1, 2);
    fieldsLayout->addLayout(grid);
    fieldsLayout->addStretch(1);

    // Fields in order; consecutive fields of one group share a frame.
    m_fields.reserve(model.Fields().size());
    const auto &fields = model.Fields();
    for (std::size_t i = 0; i < fields.size();) {
        const std::string &group = fields[i].group;
        // A choice alone in a group of its own caption is that group.
        bool ownGroup = !group.empty() && fields[i].type == FieldType::Choice && fields[i].label == group &&
                        (i + 1 == fields.size() || fields[i + 1].group != group);
        if (group.empty() || ownGroup) {
            AddField(fields[i], grid, row, false);
            ++i;
            continue;
        }
        auto *box = new QGroupBox(Q(group), form);
        auto *boxGrid = new QGridLayout(box);
        boxGrid->setColumnStretch(1, 1);
        int boxRow = 0;
        while (i < fields.size() && fields[i].group == group)
            AddField(fields[i++], boxGrid, boxRow, true);
        grid->addWidget(box, row++, 0, 1, 3);
    }

    m_scroll->setWidget(form);
    layout->addWidget(m_scroll, 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CEditorDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CEditorDialog::reject);
    layout->addWidget(buttons);

    ShowModel();
    FitToScreen();
}

void CEditorDialog::FitToScreen()
{
    // The whole form where it fits; else as tall as the screen allows, the
    // fields scrolling. The screen's work area less room for the frame.
    QWidget *fields = m_scroll->widget();
    fields->adjustSize();
    QSize want = fields->sizeHint();
    m_scroll->setMinimumWidth(want.width() + m_scroll->verticalScrollBar()->sizeHint().width());
    QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1366, 768);
    int others = sizeHint().height() - m_scroll->sizeHint().height();
    int room = area.height() - 60 - others;
    m_scroll->setMinimumHeight(std::max(80, std::min(want.height(), room)));
    adjustSize();
    setMaximumHeight(std::max(area.height() - 40, 200));
}

void CEditorDialog::AddField(const FieldSpec &desc, QGridLayout *grid, int &row, bool inGroup)
{
    QWidget *owner = grid->parentWidget() ? grid->parentWidget() : this;
    Field field{&desc};
    const std::string key = desc.key;
    QString label = Q(desc.label);
    QString hint = Q(desc.hint);

    switch (desc.type) {
    case FieldType::Text:
    case FieldType::Integer:
    case FieldType::ReadOnly: {
        auto *edit = new QLineEdit(owner);
        if (desc.type == FieldType::ReadOnly) {
            edit->setReadOnly(true);
            edit->setFocusPolicy(Qt::ClickFocus);
        }
        connect(edit, &QLineEdit::textEdited, this, [this, key](const QString &t) {
            m_model.UserSetText(key, t.toStdString());
            AfterUserStep();
        });
        field.control = edit;
        break;
    }
    case FieldType::Flag: {
        auto *check = new QCheckBox(label, owner);
        connect(check, &QCheckBox::clicked, this, [this, key](bool on) {
            m_model.UserSetFlag(key, on);
            AfterUserStep();
        });
        field.control = check;
        break;
    }
    case FieldType::Choice: {
        // Shown framed, under the field's label (or its group's caption).
        bool frame = !inGroup || (!desc.label.empty() && desc.label != desc.group);
        QWidget *box;
        if (frame) {
            box = new QGroupBox(label, owner);
        } else {
            box = new QWidget(owner);
        }
        field.choiceLayout = new QGridLayout(box);
        if (!frame)
            field.choiceLayout->setContentsMargins(0, 0, 0, 0);
        field.choices = new QButtonGroup(box);
        connect(field.choices, &QButtonGroup::idClicked, this, [this, key](int index) {
            m_model.UserChoose(key, index);
            AfterUserStep();
        });
        field.choiceBox = box;
        field.control = box;
        break;
    }
    case FieldType::Slider: {
        auto *slider = new QSlider(Qt::Horizontal, owner);
        slider->setMinimumWidth(220);
        slider->setTickPosition(QSlider::TicksBelow);
        connect(slider, &QSlider::valueChanged, this, [this, key](int v) {
            if (m_showing)
                return;
            m_model.UserSlide(key, v);
            AfterUserStep();
        });
        field.control = slider;
        break;
    }
    case FieldType::Combo: {
        auto *combo = new QComboBox(owner);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        connect(combo, &QComboBox::editTextChanged, this, [this, key](const QString &t) {
            if (m_showing)
                return;
            m_model.UserSetText(key, t.toStdString());
            AfterUserStep();
        });
        field.control = combo;
        break;
    }
    case FieldType::Button: {
        auto *button = new QPushButton(label, owner);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, key] {
            m_model.UserPress(key);
            AfterUserStep();
        });
        field.control = button;
        break;
    }
    }
    field.control->setObjectName(Q(key));
    if (!hint.isEmpty())
        field.control->setToolTip(hint);

    // Row: label | control | hint; check boxes, buttons and framed choices
    // carry their own text.
    bool ownText = desc.type == FieldType::Flag || desc.type == FieldType::Button ||
                   (desc.type == FieldType::Choice && qobject_cast<QGroupBox *>(field.control));
    if (ownText) {
        int span = hint.isEmpty() ? 3 : 2;
        grid->addWidget(field.control, row, 0, 1, span,
                        desc.type == FieldType::Button ? Qt::AlignLeft : Qt::Alignment());
    } else {
        if (!label.isEmpty()) {
            field.label = new QLabel(label, owner);
            grid->addWidget(field.label, row, 0);
        }
        grid->addWidget(field.control, row, 1, 1, hint.isEmpty() ? 2 : 1);
    }
    if (!hint.isEmpty()) {
        // Long hints wrap within a fixed width so their rows grow to fit.
        QLabel *remark = Remark(hint, owner);
        int natural = remark->fontMetrics().horizontalAdvance(hint) + 4;
        remark->setFixedWidth(std::min(natural, 230));
        remark->setMinimumHeight(remark->heightForWidth(remark->width()));
        grid->addWidget(remark, row, 2);
    }
    ++row;
    if (!desc.note.empty()) {
        auto *note = new QLabel(Q(desc.note), owner);
        note->setWordWrap(true);
        grid->addWidget(note, row++, 0, 1, 3);
    }
    m_fields.push_back(field);
    if (desc.type == FieldType::Choice)
        BuildChoices(m_fields.back(), m_model.Options(key));
}

void CEditorDialog::BuildChoices(Field &field, const std::vector<std::string> &options)
{
    for (QAbstractButton *b : field.choices->buttons()) {
        field.choices->removeButton(b);
        delete b;
    }
    int columns = int(options.size()) <= kChoicesPerRow + 1 ? int(options.size()) : kChoicesPerRow;
    for (std::size_t i = 0; i < options.size(); ++i) {
        auto *radio = new QRadioButton(Q(options[i]), field.choiceBox);
        field.choices->addButton(radio, int(i));
        field.choiceLayout->addWidget(radio, int(i) / std::max(columns, 1), int(i) % std::max(columns, 1));
    }
}

QWidget *CEditorDialog::FieldControl(const std::string &key) const
{
    if (key == "name")
        return m_name;
    for (auto &f : m_fields)
        if (f.desc->key == key)
            return f.control;
    return nullptr;
}

std::vector<QRadioButton *> CEditorDialog::ChoiceButtons(const std::string &key) const
{
    std::vector<QRadioButton *> out;
    for (auto &f : m_fields)
        if (f.desc->key == key && f.choices)
            for (int i = 0; i < int(f.choices->buttons().size()); ++i)
                out.push_back(qobject_cast<QRadioButton *>(f.choices->button(i)));
    return out;
}

void CEditorDialog::AfterUserStep() { ShowModel(); }

void CEditorDialog::ShowModel()
{
    m_showing = true;
    if (m_name->text() != Q(m_model.Name()))
        m_name->setText(Q(m_model.Name()));
    SetReadOnly(m_name, m_model.IsReadOnly("name"));

    for (auto &f : m_fields) {
        const std::string &key = f.desc->key;
        bool enabled = m_model.IsEnabled(key);
        switch (f.desc->type) {
        case FieldType::Text:
        case FieldType::Integer:
        case FieldType::ReadOnly: {
            auto *edit = static_cast<QLineEdit *>(f.control);
            QString text = Q(m_model.Text(key));
            if (edit->text() != text)
                edit->setText(text);
            SetReadOnly(edit, m_model.IsReadOnly(key));
            break;
        }
        case FieldType::Flag:
            static_cast<QCheckBox *>(f.control)->setChecked(m_model.Flag(key));
            break;
        case FieldType::Choice: {
            auto options = m_model.Options(key);
            bool same = int(options.size()) == int(f.choices->buttons().size());
            for (std::size_t i = 0; same && i < options.size(); ++i)
                same = f.choices->button(int(i))->text() == Q(options[i]);
            if (!same)
                BuildChoices(f, options);
            // The group shows the held index; an index outside it checks none.
            int index = m_model.Int(key);
            f.choices->setExclusive(false);
            for (QAbstractButton *b : f.choices->buttons())
                b->setChecked(f.choices->id(b) == index);
            f.choices->setExclusive(true);
            break;
        }
        case FieldType::Slider: {
            auto *slider = static_cast<QSlider *>(f.control);
            auto [lo, hi] = m_model.SliderRange(key);
            slider->setRange(std::min(lo, hi), std::max(lo, hi));
            int span = std::max(lo, hi) - std::min(lo, hi);
            slider->setPageStep(std::max(1, span / 10));
            slider->setTickInterval(std::max(1, span / 10));
            slider->setValue(m_model.Int(key));
            break;
        }
        case FieldType::Combo: {
            auto *combo = static_cast<QComboBox *>(f.control);
            QStringList items;
            for (auto &o : m_model.Options(key))
                items << Q(o);
            QStringList current;
            for (int i = 0; i < combo->count(); ++i)
                current << combo->itemText(i);
            if (items != current) {
                combo->clear();
                combo->addItems(items);
            }
            QString text = Q(m_model.Text(key));
            if (combo->currentText() != text)
                combo->setEditText(text);
            break;
        }
        case FieldType::Button:
            break;
        }
        f.control->setEnabled(enabled);
        if (f.label)
            f.label->setEnabled(enabled);
    }
    m_showing = false;
}

void CEditorDialog::accept()
{
    if (m_model.Ok() == OkResult::Accepted) {
        ShowModel();
        QDialog::accept();
        return;
    }
    ShowModel();
    // The field the refusal named takes the focus, its text selected.
    if (QWidget *field = FieldControl(m_model.FocusField())) {
        if (m_scroll)
            m_scroll->ensureWidgetVisible(field);
        field->setFocus(Qt::OtherFocusReason);
        if (auto *edit = qobject_cast<QLineEdit *>(field))
            edit->selectAll();
    }
}

void CEditorDialog::reject()
{
    m_model.Cancel();
    QDialog::reject();
}

bool RunEditorDialog(CEditorModel &model, QWidget *owner)
{
    CEditorDialog dialog(model, owner);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace kivo
