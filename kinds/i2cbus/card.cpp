// The I2C bus's card: the devices that answered and the latest transactions,
// addresses in hex as the scanner prints them: the 8-bit form, the 7-bit
// address shifted left (the DS1339 at $68 is D0).
#include "workspace/boardcard.h"

#include <QFontDatabase>
#include <QLabel>
#include <QVBoxLayout>

namespace kivo {

namespace {

constexpr int kShown = 6; // transactions

QString Hex(int v) { return QString("%1").arg(v, 2, 16, QChar('0')).toUpper(); }

class CI2CBusCard : public CBoardCard
{
public:
    CI2CBusCard(const CCodeObject &object, QWidget *parent) : CBoardCard(object, parent)
    {
        m_log = new QLabel(this);
        m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        m_log->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_log->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_log->setMinimumHeight(m_log->fontMetrics().lineSpacing() * kShown);
        Body()->addWidget(m_log);
    }
    void Show(const sim::LiveRun::Snapshot &snapshot, const Json &device) override
    {
        CBoardCard::Show(snapshot, device);
        const Json &log = Observed(device, "transactions");
        QStringList lines;
        if (log.is_array())
            for (std::size_t i = log.size() > kShown ? log.size() - kShown : 0; i < log.size(); i++) {
                const Json &t = log[i];
                QString line = QString("%1 %2 %3")
                                   .arg(Hex(t.value("address", 0) << 1))
                                   .arg(t.value("read", false) ? "read " : "write")
                                   .arg(t.value("ack", false) ? "ack " : "nack");
                const Json &bytes = t.value("bytes", Json::array());
                for (const Json &b : bytes)
                    line += " " + Hex(b.value("value", 0));
                lines << line;
            }
        SetLabel(m_log, lines.isEmpty() ? QString("No transactions yet") : lines.join('\n'));
        QStringList answered;
        const Json &acks = Observed(device, "acknowledgedAddresses");
        if (acks.is_array())
            for (const Json &a : acks)
                answered << Hex(a.get<int>() << 1);
        const Json &count = Observed(device, "transactionCount"), &scl = Observed(device, "maxSclHz");
        QString text = QString("Answered: %1").arg(answered.isEmpty() ? QString("none") : answered.join(' '));
        if (count.is_number())
            text += QString("; %1 transactions").arg(count.get<long long>());
        if (scl.is_number() && scl.get<double>() > 0)
            text += QString("; SCL up to %1 kHz").arg(scl.get<double>() / 1000, 0, 'f', 1);
        SetLabel(Readings(), device.is_null() ? QString() : text);
    }

private:
    QLabel *m_log;
};

} // namespace

CBoardCard *MakeI2CBusCard(const CCodeObject &object, QWidget *parent) { return new CI2CBusCard(object, parent); }

} // namespace kivo
