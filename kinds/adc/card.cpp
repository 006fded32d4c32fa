// The ADC's card: the volts of the source on the pin it samples, 0..3.3 V,
// set with a slider or a number, before a run or while it goes.
#include "workspace/boardcard.h"

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace kivo {

namespace {

// What the board's source gives without a setting.
constexpr int kDefaultMillivolts = 1650;

class CAdcCard : public CBoardCard
{
public:
    CAdcCard(const CCodeObject &object, QWidget *parent) : CBoardCard(object, parent)
    {
        auto *row = new QHBoxLayout;
        row->addWidget(new QLabel("Source:", this));
        m_slider = new QSlider(Qt::Horizontal, this);
        m_slider->setRange(0, 3300);
        m_slider->setSingleStep(10);
        m_slider->setPageStep(100);
        m_slider->setValue(kDefaultMillivolts);
        m_slider->setToolTip("The volts of the source the ADC samples");
        m_number = new QDoubleSpinBox(this);
        m_number->setRange(0, 3.3);
        m_number->setDecimals(3);
        m_number->setSingleStep(0.01);
        m_number->setSuffix(" V");
        m_number->setValue(kDefaultMillivolts / 1000.0);
        row->addWidget(m_slider, 1);
        row->addWidget(m_number);
        Body()->addLayout(row);
        connect(m_slider, &QSlider::valueChanged, this, [this](int mv) {
            if (std::lround(m_number->value() * 1000) != mv)
                m_number->setValue(mv / 1000.0);
        });
        connect(m_number, &QDoubleSpinBox::valueChanged, this, [this](double v) {
            const int mv = int(std::lround(v * 1000));
            if (m_slider->value() != mv)
                m_slider->setValue(mv);
            Change("volts", Volts());
        });
    }
    void BeforeStart(std::vector<std::string> &sets) override
    {
        if (m_slider->value() != kDefaultMillivolts)
            sets.push_back(SetText("volts", Volts()));
    }
    void Show(const sim::LiveRun::Snapshot &snapshot, const Json &device) override
    {
        CBoardCard::Show(snapshot, device);
        const Json &volts = Observed(device, "volts"), &pin = Observed(device, "sourcePin");
        SetLabel(Readings(), volts.is_number() && pin.is_number()
                                 ? QString("%1 V on pin %2").arg(volts.get<double>(), 0, 'f', 3).arg(pin.get<int>())
                                 : QString());
    }

private:
    std::string Volts() const { return QString::number(m_number->value(), 'f', 3).toStdString(); }
    QSlider *m_slider;
    QDoubleSpinBox *m_number;
};

} // namespace

CBoardCard *MakeAdcCard(const CCodeObject &object, QWidget *parent) { return new CAdcCard(object, parent); }

} // namespace kivo
