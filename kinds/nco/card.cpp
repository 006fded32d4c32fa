// The NCO's card: the frequency and duty its pin shows.
#include "workspace/boardcard.h"

#include <QLabel>

namespace kivo {

namespace {

class CNcoCard : public CBoardCard
{
public:
    CNcoCard(const CCodeObject &object, QWidget *parent) : CBoardCard(object, parent)
    {
        m_value = AddValue();
        m_value->setObjectName("value");
    }
    void Show(const sim::LiveRun::Snapshot &snapshot, const Json &device) override
    {
        CBoardCard::Show(snapshot, device);
        const Json &hz = Observed(device, "frequencyHz"), &duty = Observed(device, "duty");
        const Json &edges = Observed(device, "risingEdges");
        if (!hz.is_number() || hz.get<double>() <= 0) {
            SetLabel(m_value, device.is_null() ? QString("-") : QString("No signal"));
        } else {
            const double f = hz.get<double>();
            const QString freq = f >= 1e6   ? QString("%1 MHz").arg(f / 1e6, 0, 'f', 6)
                                 : f >= 1e3 ? QString("%1 kHz").arg(f / 1e3, 0, 'f', 3)
                                            : QString("%1 Hz").arg(f, 0, 'f', 3);
            SetLabel(
                m_value,
                QString("%1, duty %2%").arg(freq).arg(duty.is_number() ? duty.get<double>() * 100 : 0.0, 0, 'f', 1));
        }
        SetLabel(Readings(), edges.is_number() ? QString("%1 rising edges").arg(edges.get<long long>()) : QString());
    }

private:
    QLabel *m_value;
};

} // namespace

CBoardCard *MakeNcoCard(const CCodeObject &object, QWidget *parent) { return new CNcoCard(object, parent); }

} // namespace kivo
