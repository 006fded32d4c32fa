// The USB object's card: the cable (a plug switch that works while the
// program runs), the device on the port as `--usb-device` names it (taken at
// each start from reset), and the device's state with the last key or mouse
// report the program's host took.
#include "board/usb_board.h"
#include "run/kindboard.h"
#include "workspace/boardcard.h"
#include "workspace/usbinput.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

namespace kivo {

namespace {

// The choices of --usb-device, and none.
constexpr const char *kDevices[] = {"none", "keyboard", "mouse", "mouse-fs"};

// In place of the plain readings: where the person's input goes.
constexpr const char *kInputHint = "Keys go to the keyboard while the monitor or the console has the focus; "
                                   "the mouse follows the pointer over the monitor.";

QString KeysText(const Json &report)
{
    if (!report.is_array() || report.size() < 8)
        return {};
    QStringList keys;
    const int mods = report[0].get<int>();
    for (const auto &[bit, name] : {std::pair{0x11, "Ctrl"}, {0x22, "Shift"}, {0x44, "Alt"}, {0x88, "GUI"}})
        if (mods & bit)
            keys << name;
    for (std::size_t i = 2; i < 8; i++)
        if (const int usage = report[i].get<int>()) {
            const QString name = HidUsageName(std::uint8_t(usage));
            keys << (name.isEmpty() ? QString("usage 0x%1").arg(usage, 2, 16, QChar('0')) : name);
        }
    return keys.join('+');
}

QString MouseText(const Json &report)
{
    if (!report.is_array() || report.size() < 3)
        return {};
    const int buttons = report[0].get<int>();
    QString text =
        QString("moved %1, %2").arg(std::int8_t(report[1].get<int>())).arg(std::int8_t(report[2].get<int>()));
    if (buttons)
        text += QString(", buttons %1%2%3")
                    .arg(buttons & 1 ? "L" : "")
                    .arg(buttons & 4 ? "M" : "")
                    .arg(buttons & 2 ? "R" : "");
    return text;
}

class CUsbKbmCard : public CBoardCard
{
public:
    CUsbKbmCard(const CCodeObject &object, QWidget *parent) : CBoardCard(object, parent)
    {
        m_plug = new QCheckBox("Plugged in", this);
        m_plug->setObjectName("plug");
        m_plug->setChecked(true);
        m_plug->setToolTip("Plug the device into the object's port, or pull its cable, while the program runs");
        m_choice = new QComboBox(this);
        m_choice->setObjectName("device");
        for (const char *d : kDevices)
            m_choice->addItem(d);
        m_choice->setToolTip("The device on the port, as kivo-cli simulate --usb-device names it; "
                             "a new choice takes effect when the chip starts from reset (Restart)");
        // What `kivo-cli verify` plugs in: the keyboard when the object reads one.
        sim::UsbRunOptions usb;
        if (const sim::IKindBoard *kind = sim::FindKindBoard(kUsbKbm))
            kind->verifyDevice(object, usb);
        m_choice->setCurrentText(usb.device.empty() ? "none" : QString::fromStdString(usb.device));
        auto *row = new QHBoxLayout;
        row->addWidget(m_plug);
        row->addSpacing(12);
        auto *label = new QLabel("&Device:", this);
        label->setBuddy(m_choice);
        row->addWidget(label);
        row->addWidget(m_choice);
        row->addStretch(1);
        Body()->addLayout(row);
        m_state = AddValue();
        m_state->setObjectName("state");
        m_state->setWordWrap(true);
        SetLabel(Readings(), kInputHint);
        connect(m_plug, &QCheckBox::toggled, this, [this](bool in) {
            if (Run())
                Run()->usbPlug(in);
        });
    }
    void BeforeOpen(sim::LiveRun &run) override
    {
        sim::UsbRunOptions usb;
        if (m_choice->currentText() != "none") {
            sim::ParseUsbDevice(usb, m_choice->currentText().toStdString());
            if (!m_plug->isChecked())
                usb.unplugAt = 0; // and never plugged in again until the switch says so
        }
        run.setStartUsb(usb);
        m_started = m_choice->currentText();
    }
    void Show(const sim::LiveRun::Snapshot &snapshot, const Json &device) override
    {
        CBoardCard::Show(snapshot, device);
        SetLabel(Readings(), kInputHint);
        SetLabel(m_state, StateText(device));
    }

private:
    QString StateText(const Json &device) const
    {
        QString text;
        const Json &plugged = Observed(device, "plugged");
        if (!device.is_object()) {
            text = "-";
        } else if (!plugged.is_boolean()) {
            text = "No device on the port";
        } else if (!plugged.get<bool>()) {
            text = "Unplugged";
        } else if (!Observed(device, "enumerated").get<bool>()) {
            text = "Plugged in, not enumerated yet";
        } else {
            text = QString("Enumerated at address %1").arg(Observed(device, "address").get<int>());
            const Json &last = Observed(device, "lastReport");
            const bool keyboard = Observed(device, "device") == "keyboard";
            const QString taken = keyboard ? KeysText(last) : MouseText(last);
            if (!taken.isEmpty())
                text += (keyboard ? "; last key: " : "; last report: ") + taken;
        }
        if (device.is_object() && m_choice->currentText() != m_started)
            text += "\nThe device changes at the next Restart.";
        return text;
    }

    QCheckBox *m_plug;
    QComboBox *m_choice;
    QLabel *m_state;
    QString m_started; // the device the run started with
};

} // namespace

CBoardCard *MakeUsbKbmCard(const CCodeObject &object, QWidget *parent) { return new CUsbKbmCard(object, parent); }

} // namespace kivo
