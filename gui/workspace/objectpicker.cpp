#include "workspace/objectpicker.h"

#include "app/icons.h"
#include "kinds/kind.h"
#include "model/codeobject.h"
#include "model/kivodoc.h"
#include "platform/messages.h"
#include "workspace/editordialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace kivo {

namespace {

struct PickerButton {
    int id;
    int column; // 0 left, 1 right
    int row;    // from 1
    const char *caption;
    const char *tooltip;
    int kind;
};

// In the dialog's tab order.
const PickerButton kButtons[] = {
    {1005, 0, 1, "Simple VGA 8bpp", "Add a simple VGA 8bpp driver object", kSimpleVGA},
    {1032, 0, 2, "I2C Bus && Scanner", "Add an I2C Bus Driver and Scanner object", kI2CBus},
    {1033, 0, 3, "RGB LED String", "Add a Neopixel String Driver object", kNeopixel},
    {1035, 1, 2, "I2C RTC", "Add an I2C Real Time Clock (RTC) object", kRTC},
    {1034, 0, 4, "NCO (Square Wave)", "Add an NCO (Square Wave) object", kNCO},
    {1036, 0, 5, "Simple Sound", "Add a Simple Sound Stereo Music and Effects object", kSimpleSound},
    {1037, 0, 6, "Servo", "Add a Hobby Servo Control via PWM object", kServo},
    {1038, 0, 7, "Smart Digital I/O Pin", "Add a Smart Digital I/O Pin object", kDigital},
    {1039, 1, 7, "Global Digital Filters", "Add a Global Digital Filters object", kFilters},
    {1040, 0, 8, "DAC Analog Output", "Add a Digital to Analog (DAC) object", kDAC},
    {1042, 0, 9, "ADC Analog Input", "Add an Analog to Digital (ADC) Smart Pin input object", kADC},
    {1043, 0, 10, "USB Keyboard && Mouse", "Add a USB Keyboard and/or Mouse object", kUsbKbm},
};

// Whether the kind has an editor to open yet.
bool HasEditor(int kind, CKivoDoc &doc)
{
    const IKind *k = FindKind(kind);
    if (!k)
        return false;
    CCodeObject scratch;
    RecordingMessages quiet;
    return k->CreateEditor(scratch, doc, 0, quiet) != nullptr;
}

} // namespace

CObjectPicker::CObjectPicker(CKivoDoc &doc, IMessages &messages, QWidget *parent)
    : QDialog(parent), m_doc(doc), m_messages(messages),
      m_run([this](CEditorModel &editor) { return RunEditorDialog(editor, this); })
{
    m_returnFocus = QApplication::focusWidget();
    setWindowTitle("Pick New Object");
    auto *layout = new QVBoxLayout(this);
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    QWidget *previous = nullptr;
    for (const PickerButton &b : kButtons) {
        auto *button = new QPushButton(KindIcon(b.kind), b.caption, this);
        button->setObjectName(QString("id%1").arg(b.id));
        button->setToolTip(b.tooltip);
        button->setIconSize(QSize(24, 24));
        // Enter opens the kind whose button has the focus.
        button->setAutoDefault(true);
        // Left-aligned captions need a style sheet, which hides the style's
        // own focus frame: the focused button draws one of its own.
        button->setStyleSheet(
            "QPushButton { text-align: left; padding: 4px 10px; border: 1px solid palette(mid); border-radius: 3px;"
            " background: palette(button); }"
            "QPushButton:hover { background: palette(midlight); }"
            "QPushButton:pressed { background: palette(mid); }"
            "QPushButton:focus { border: 2px solid palette(highlight); padding: 3px 9px; background: palette(light); "
            "}");
        button->setMinimumWidth(210);
        int kind = b.kind;
        connect(button, &QPushButton::clicked, this, [this, kind] { OnKind(kind); });
        grid->addWidget(button, b.row - 1, b.column);
        if (previous)
            setTabOrder(previous, button);
        previous = button;
        m_buttons[b.kind] = button;
    }
    layout->addLayout(grid);

    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    m_cancel = new QPushButton("Cancel", this);
    m_cancel->setAutoDefault(true);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    bottom->addWidget(m_cancel);
    layout->addLayout(bottom);
    setTabOrder(previous, m_cancel);
    // The first kind has the focus, so that the keyboard starts there.
    m_buttons[kButtons[0].kind]->setFocus(Qt::OtherFocusReason);
}

void CObjectPicker::done(int result)
{
    QDialog::done(result);
    if (m_returnFocus && m_returnFocus->isVisible())
        m_returnFocus->setFocus(Qt::OtherFocusReason);
}

QPushButton *CObjectPicker::KindButton(int kind) const { return kind >= 0 && kind < 12 ? m_buttons[kind] : nullptr; }

void CObjectPicker::OnKind(int kind)
{
    if (!PickerAllowsKind(m_doc, kind, m_messages))
        return; // the refusal was shown; another kind may be chosen
    if (!HasEditor(kind, m_doc)) {
        m_messages.Show(MessageKind::Plain, "This object's editor is not available yet.");
        return;
    }
    m_addRan = true;
    m_result = AddObject(m_doc, kind, m_messages, m_run);
    // A cancelled editor comes back here, so another kind can be picked.
    if (m_result == AddResult::Added)
        accept();
    else if (KindButton(kind))
        KindButton(kind)->setFocus(Qt::OtherFocusReason);
}

} // namespace kivo
