// The DAC's card: the volts on its pin.
#include "workspace/boardcard.h"

#include <QLabel>

namespace kivo {

namespace {

class CDacCard : public CBoardCard
{
public:
    CDacCard(const CCodeObject &object, QWidget *parent) : CBoardCard(object, parent) { m_volts = AddValue(); }
    void Show(const sim::LiveRun::Snapshot &snapshot, const Json &device) override
    {
        CBoardCard::Show(snapshot, device);
        const Json &last = Observed(device, "lastVolts"), &low = Observed(device, "lowestVolts"),
                   &high = Observed(device, "highestVolts");
        SetLabel(m_volts, last.is_number()   ? QString("%1 V").arg(last.get<double>(), 0, 'f', 3)
                          : device.is_null() ? QString("-")
                                             : QString("Not driven"));
        SetLabel(Readings(), low.is_number() && high.is_number() ? QString("from %1 V to %2 V so far")
                                                                       .arg(low.get<double>(), 0, 'f', 3)
                                                                       .arg(high.get<double>(), 0, 'f', 3)
                                                                 : QString());
    }

private:
    QLabel *m_volts;
};

} // namespace

CBoardCard *MakeDacCard(const CCodeObject &object, QWidget *parent) { return new CDacCard(object, parent); }

} // namespace kivo
