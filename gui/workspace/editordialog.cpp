#include "workspace/editordialog.h"

#include "objects/editor.h"
#include "platform/messages.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
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

// Read-only boxes show as readouts (the dialog's style sheet greys them).
void SetReadOnly(QLineEdit *edit, bool readOnly)
{
    if (edit->isReadOnly() == readOnly && edit->property("readout").isValid())
        return;
    edit->setReadOnly(readOnly);
    edit->setProperty("readout", readOnly);
    edit->style()->unpolish(edit);
    edit->style()->polish(edit);
}

// A control with an error stands out in red; the style sheet names the
// control's own class, so that its popups and children keep their look.
void MarkError(QWidget *control, bool on)
{
    if (control->property("fieldError").toBool() == on)
        return;
    control->setProperty("fieldError", on);
    const char *kind = qobject_cast<QLineEdit *>(control)   ? "QLineEdit"
                       : qobject_cast<QComboBox *>(control) ? "QComboBox"
                       : qobject_cast<QGroupBox *>(control) ? "QGroupBox"
                                                            : nullptr;
    if (!kind)
        return;
    control->setStyleSheet(on ? QString("%1 { border: 2px solid #c42b1c; border-radius: 2px; }").arg(kind) : QString());
}

// Choice groups with many options lay them out in rows of four.
constexpr int kChoicesPerRow = 4;

} // namespace

CEditorDialog::CEditorDialog(CEditorModel &model, QWidget *parent) : QDialog(parent), m_model(model)
{
    setWindowTitle(Q(model.Title()));
    setStyleSheet("QLineEdit[readout=\"true\"] { background: palette(window); }");
    m_model.KeepMessages(&m_kept);
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
    connect(m_name, &QLineEdit::textEdited, this,
            [this](const QString &t) { Step("name", [this, t] { m_model.UserSetText("name", t.toStdString()); }); });
    grid->addWidget(m_name, row++, 1, 1, 2);
    m_nameMessage = NewMessageLabel(form);
    grid->addWidget(m_nameMessage, row++, 1, 1, 2);
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
    m_otherMessage = NewMessageLabel(this);
    layout->addWidget(m_otherMessage);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &CEditorDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CEditorDialog::reject);
    layout->addWidget(buttons);

    ShowModel();
    // What opening said (a value it could not take) shows from the start.
    TakeMessages("");
    ShowMessages();
    FitToScreen();
}

CEditorDialog::~CEditorDialog() { m_model.KeepMessages(nullptr); }

QLabel *CEditorDialog::NewMessageLabel(QWidget *owner)
{
    auto *label = new QLabel(owner);
    label->setObjectName("fieldMessage");
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, QColor(0xc4, 0x2b, 0x1c));
    label->setPalette(pal);
    label->hide();
    return label;
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
    // A short note stands beside its field, where a hint would; a long one
    // gets a line of its own below.
    QString besideNote;
    if (hint.isEmpty() && !desc.note.empty() && QFontMetrics(font()).horizontalAdvance(Q(desc.note)) <= 120)
        hint = besideNote = Q(desc.note);

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
            Step(key, [this, key, t] { m_model.UserSetText(key, t.toStdString()); });
        });
        field.control = edit;
        break;
    }
    case FieldType::Flag: {
        auto *check = new QCheckBox(label, owner);
        connect(check, &QCheckBox::clicked, this,
                [this, key](bool on) { Step(key, [this, key, on] { m_model.UserSetFlag(key, on); }); });
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
        connect(field.choices, &QButtonGroup::idClicked, this,
                [this, key](int index) { Step(key, [this, key, index] { m_model.UserChoose(key, index); }); });
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
            Step(key, [this, key, v] { m_model.UserSlide(key, v); });
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
            Step(key, [this, key, t] { m_model.UserSetText(key, t.toStdString()); });
        });
        field.control = combo;
        break;
    }
    case FieldType::Button: {
        auto *button = new QPushButton(label, owner);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this,
                [this, key] { Step(key, [this, key] { m_model.UserPress(key); }); });
        field.control = button;
        break;
    }
    }
    field.control->setObjectName(Q(key));
    if (!hint.isEmpty() && besideNote.isEmpty())
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
    field.message = NewMessageLabel(owner);
    grid->addWidget(field.message, row++, ownText ? 0 : 1, 1, ownText ? 3 : 2);
    if (!desc.note.empty() && besideNote.isEmpty()) {
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

void CEditorDialog::Step(const std::string &key, const std::function<void()> &run)
{
    // The field changed: what was said about it, or by its last press, goes.
    std::erase_if(m_shown, [&](const Shown &s) { return s.message.field == key || s.origin == key; });
    run();
    TakeMessages(key);
    AfterUserStep();
}

void CEditorDialog::AfterUserStep()
{
    ShowModel();
    ShowMessages();
}

void CEditorDialog::TakeMessages(const std::string &origin)
{
    for (auto &m : m_kept)
        m_shown.push_back({m, origin});
    m_kept.clear();
}

QString CEditorDialog::MessageOf(const std::string &key) const
{
    QStringList lines;
    for (auto &s : m_shown)
        if (s.message.field == key)
            lines << Q(s.message.text);
    return lines.join('\n');
}

std::vector<std::string> CEditorDialog::ErrorFields() const
{
    std::vector<std::string> out;
    auto marked = [&](const std::string &key) {
        for (auto &s : m_shown)
            if (s.message.error && s.message.field == key)
                return true;
        return false;
    };
    if (marked("name"))
        out.push_back("name");
    for (auto &f : m_fields)
        if (marked(f.desc->key))
            out.push_back(f.desc->key);
    return out;
}

void CEditorDialog::ShowMessages()
{
    // Each field's messages under it; those of no field shown, or of none,
    // above the buttons.
    std::map<std::string, std::pair<QStringList, bool>> byField;
    QStringList other;
    bool anyError = false;
    for (auto &s : m_shown) {
        anyError = anyError || s.message.error;
        const std::string &key = s.message.field;
        if (key == "name" || (!key.empty() && FieldControl(key) && FieldControl(key)->isVisibleTo(this))) {
            auto &entry = byField[key];
            entry.first << Q(s.message.text);
            entry.second = entry.second || s.message.error;
        } else {
            other << Q(s.message.text);
        }
    }
    auto show = [&](QLabel *label, QWidget *control, const std::string &key) {
        auto it = byField.find(key);
        const bool has = it != byField.end();
        label->setText(has ? it->second.first.join('\n') : QString());
        label->setVisible(has);
        MarkError(control, has && it->second.second);
    };
    show(m_nameMessage, m_name, "name");
    for (auto &f : m_fields)
        show(f.message, f.control, f.desc->key);
    m_otherMessage->setText(other.join('\n'));
    m_otherMessage->setVisible(!other.isEmpty());
    m_ok->setEnabled(!anyError);
    m_ok->setToolTip(anyError ? "Correct the fields marked in red first" : QString());
}

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
    // OK looks at the form afresh: every message it finds shows at once.
    m_shown.clear();
    m_kept.clear();
    const OkResult result = m_model.Ok();
    TakeMessages("ok");
    if (result == OkResult::Accepted) {
        ShowModel();
        QStringList notes;
        for (auto &s : m_shown)
            notes << Q(s.message.text);
        m_shown.clear();
        if (!notes.isEmpty())
            QMessageBox::warning(this, QString::fromUtf8(CaptionOf(MessageKind::Warning)), notes.join("\n\n"));
        QDialog::accept();
        return;
    }
    ShowModel();
    ShowMessages();
    // The first field in error takes the focus, its text selected; else the
    // one the refusal named.
    const auto errors = ErrorFields();
    FocusField(errors.empty() ? m_model.FocusField() : errors.front());
}

void CEditorDialog::FocusField(const std::string &key)
{
    QWidget *field = FieldControl(key);
    if (!field)
        return;
    if (m_scroll)
        m_scroll->ensureWidgetVisible(field);
    if (auto *edit = qobject_cast<QLineEdit *>(field)) {
        edit->setFocus(Qt::OtherFocusReason);
        edit->selectAll();
        return;
    }
    // A choice's box takes it on its checked option.
    for (QRadioButton *radio : ChoiceButtons(key))
        if (radio && radio->isChecked()) {
            radio->setFocus(Qt::OtherFocusReason);
            return;
        }
    field->setFocus(Qt::OtherFocusReason);
}

void CEditorDialog::reject()
{
    m_model.Cancel();
    QDialog::reject();
}

bool RunEditorDialog(CEditorModel &model, QWidget *owner, const std::string &focusField)
{
    // The control that opened the editor has the focus again when it closes.
    QPointer<QWidget> focus = QApplication::focusWidget();
    bool accepted;
    {
        CEditorDialog dialog(model, owner);
        if (!focusField.empty())
            dialog.FocusField(focusField);
        accepted = dialog.exec() == QDialog::Accepted;
    }
    if (focus && focus->isVisible())
        focus->setFocus(Qt::OtherFocusReason);
    return accepted;
}

} // namespace kivo
