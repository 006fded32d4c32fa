// The filters' card: the pin filters' settings as the chip holds them.
#include "workspace/boardcard.h"

#include <QLabel>

namespace kivo {

namespace {

class CFiltersCard : public CBoardCard
{
public:
    using CBoardCard::CBoardCard;
    void Show(const sim::LiveRun::Snapshot &snapshot, const Json &device) override
    {
        CBoardCard::Show(snapshot, device);
        const Json &filters = Observed(device, "filters");
        QStringList lines;
        if (filters.is_array())
            for (const Json &f : filters) {
                const bool set = f.value("set", false);
                lines << QString("Filter %1: %2 samples, tap %3%4")
                             .arg(f.value("filter", 0))
                             .arg(f.value("length", 0))
                             .arg(f.value("tap", 0))
                             .arg(set ? "" : " (not set)");
            }
        SetLabel(Readings(), lines.join('\n'));
    }
};

} // namespace

CBoardCard *MakeFiltersCard(const CCodeObject &object, QWidget *parent) { return new CFiltersCard(object, parent); }

} // namespace kivo
