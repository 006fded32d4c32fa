#include "workspace/boardcard.h"

#include "model/codeobject.h"

#include <QLabel>
#include <QVBoxLayout>

#include <iterator>

namespace kivo {

namespace {

using Maker = CBoardCard *(*)(const CCodeObject &, QWidget *);

// Each kind code's card; null: the plain card of readings.
constexpr Maker kMakers[] = {
    MakeSimpleVgaCard,   // kSimpleVGA
    MakeI2CBusCard,      // kI2CBus
    MakeNeopixelCard,    // kNeopixel
    MakeNcoCard,         // kNCO
    MakeRtcCard,         // kRTC
    MakeSimpleSoundCard, // kSimpleSound
    MakeServoCard,       // kServo
    MakeDigitalCard,     // kDigital
    MakeFiltersCard,     // kFilters
    MakeDacCard,         // kDAC
    MakeAdcCard,         // kADC
    MakeUsbKbmCard,      // kUsbKbm
};
static_assert(std::size(kMakers) == kKindCodeCount, "every kind code needs an entry");

} // namespace

CBoardCard::CBoardCard(const CCodeObject &object, QWidget *parent)
    : QFrame(parent), m_name(object.m_strName), m_kind(object.m_nKind)
{
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setObjectName(QString::fromStdString("card." + m_name));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(4);
    auto *title = new QLabel(QString::fromStdString(m_name), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    m_device = new QLabel("-", this);
    m_device->setForegroundRole(QPalette::PlaceholderText);
    auto *head = new QHBoxLayout;
    head->addWidget(title);
    head->addStretch(1);
    head->addWidget(m_device);
    layout->addLayout(head);
    m_body = new QVBoxLayout;
    m_body->setSpacing(4);
    layout->addLayout(m_body);
    m_readings = new QLabel(this);
    m_readings->setWordWrap(true);
    m_readings->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_readings);
    layout->addStretch(1); // in a row with a taller card, the lines stay at the top
}

void CBoardCard::Show(const sim::LiveRun::Snapshot &, const Json &device)
{
    const Json &what = device.is_object() ? device.value("device", Json(nullptr)) : Json(nullptr);
    SetLabel(m_device, what.is_string() ? QString::fromStdString(what.get<std::string>()) : QString("no device"));
    SetLabel(m_readings, ReadingsText(device));
}

void CBoardCard::SetLabel(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
}

std::string CBoardCard::SetText(const std::string &key, const std::string &value) const
{
    return m_name + "." + key + "=" + value;
}

QLabel *CBoardCard::AddValue()
{
    auto *value = new QLabel("-", this);
    QFont big = value->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    value->setFont(big);
    m_body->addWidget(value);
    return value;
}

void CBoardCard::Change(const std::string &key, const std::string &value)
{
    if (m_run)
        m_run->change(SetText(key, value));
}

const Json &CBoardCard::Observed(const Json &device, const char *key)
{
    static const Json none;
    if (!device.is_object())
        return none;
    auto o = device.find("observations");
    if (o == device.end() || !o->is_object())
        return none;
    auto v = o->find(key);
    return v == o->end() ? none : *v;
}

QString CBoardCard::ReadingsText(const Json &device, const std::vector<const char *> &keys)
{
    QStringList lines;
    auto add = [&](const std::string &key, const Json &value) {
        if (!value.is_structured() && !value.is_null())
            lines << QString::fromStdString(key + " " + JsonText(value));
    };
    if (keys.empty()) {
        const Json &o = device.is_object() ? device.value("observations", Json::object()) : Json::object();
        if (o.is_object())
            for (const auto &[key, value] : o.items())
                add(key, value);
    } else {
        for (const char *key : keys)
            add(key, Observed(device, key));
    }
    return lines.join('\n');
}

CBoardCard *MakeBoardCard(const CCodeObject &object, QWidget *parent)
{
    const Maker make = object.m_nKind >= 0 && object.m_nKind < kKindCodeCount ? kMakers[object.m_nKind] : nullptr;
    return make ? make(object, parent) : new CBoardCard(object, parent);
}

} // namespace kivo
