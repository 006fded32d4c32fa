// The real-time clock's card: the DS1339's date and time as it counts, and
// the time it starts at, editable before a run.
#include "board/ds1339.h"
#include "workspace/boardcard.h"

#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <cmath>

namespace kivo {

namespace {

QDateTime FromText(const std::string &text)
{
    return QDateTime::fromString(QString::fromStdString(text), "yyyy-MM-dd HH:mm:ss");
}

class CRtcCard : public CBoardCard
{
public:
    CRtcCard(const CCodeObject &object, QWidget *parent) : CBoardCard(object, parent)
    {
        m_now = AddValue();
        auto *row = new QHBoxLayout;
        row->addWidget(new QLabel("Starts at:", this));
        m_start = new QDateTimeEdit(this);
        m_start->setDisplayFormat("yyyy-MM-dd HH:mm:ss");
        m_start->setDateTimeRange(QDateTime(QDate(2000, 1, 1), QTime(0, 0)),
                                  QDateTime(QDate(2199, 12, 31), QTime(23, 59, 59)));
        m_start->setDateTime(FromText(sim::Ds1339::kStartTime.text()));
        m_start->setToolTip("The chip's time at reset (before a run)");
        row->addWidget(m_start);
        row->addStretch(1);
        Body()->addLayout(row);
    }
    void BeforeStart(std::vector<std::string> &sets) override
    {
        const QDateTime start = m_start->dateTime();
        if (start != FromText(sim::Ds1339::kStartTime.text()))
            sets.push_back(SetText("start", start.toString("yyyy-MM-dd HH:mm:ss").toStdString()));
    }
    // The chip counts whole seconds from the time last written to it (or
    // its start) while its oscillator runs.
    void Show(const sim::LiveRun::Snapshot &snapshot, const Json &device) override
    {
        CBoardCard::Show(snapshot, device);
        const bool running =
            snapshot.state == sim::LiveRun::State::Running || snapshot.state == sim::LiveRun::State::Paused;
        m_start->setEnabled(!running);
        QDateTime base =
            FromText(Observed(device, "startTime").is_string() ? Observed(device, "startTime").get<std::string>()
                                                               : std::string());
        double since = 0;
        const Json &sets = Observed(device, "setTimeWrites");
        if (sets.is_array() && !sets.empty() && sets.back().is_object()) {
            base = FromText(sets.back().value("time", ""));
            since = sets.back().value("atS", 0.0);
        }
        const Json &osc = Observed(device, "oscillatorRunning");
        if (!base.isValid()) {
            SetLabel(m_now, "-");
        } else {
            const QDateTime now = base.addSecs(qint64(std::floor(snapshot.seconds - since)));
            SetLabel(m_now, now.toString("ddd yyyy-MM-dd HH:mm:ss"));
        }
        QString text;
        if (osc.is_boolean())
            text = osc.get<bool>() ? QString("Oscillator running") : QString("Oscillator stopped");
        if (sets.is_array())
            text += QString(", time written %1 times").arg(sets.size());
        SetLabel(Readings(), text);
    }

private:
    QLabel *m_now;
    QDateTimeEdit *m_start;
};

} // namespace

CBoardCard *MakeRtcCard(const CCodeObject &object, QWidget *parent) { return new CRtcCard(object, parent); }

} // namespace kivo
