// The smart digital pin's card: a lamp for the pin's level, and a switch that
// drives its input through 1 kOhm (high, low) or leaves it open.
#include "workspace/boardcard.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace kivo {

namespace {

class CLamp : public QWidget
{
public:
    explicit CLamp(QWidget *parent) : QWidget(parent) { setFixedSize(22, 22); }
    void setLit(int lit) // 1 lit, 0 dark, -1 not known
    {
        if (lit != m_lit) {
            m_lit = lit;
            update();
        }
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette().color(QPalette::Mid), 1));
        p.setBrush(m_lit > 0    ? QColor(255, 60, 40)
                   : m_lit == 0 ? QColor(90, 20, 16)
                                : palette().color(QPalette::Button));
        p.drawEllipse(QRectF(1.5, 1.5, width() - 3, height() - 3));
    }

private:
    int m_lit = -1;
};

class CDigitalCard : public CBoardCard
{
public:
    CDigitalCard(const CCodeObject &object, QWidget *parent) : CBoardCard(object, parent)
    {
        auto *row = new QHBoxLayout;
        m_lamp = new CLamp(this);
        m_level = new QLabel("-", this);
        m_level->setObjectName("level");
        row->addWidget(m_lamp);
        row->addWidget(m_level);
        row->addStretch(1);
        row->addWidget(new QLabel("Input:", this));
        m_switch = new QButtonGroup(this);
        const char *texts[] = {"Open", "Low", "High"};
        for (int i = 0; i < 3; i++) {
            auto *b = new QPushButton(texts[i], this);
            b->setCheckable(true);
            b->setObjectName(QString("input.") + QString(texts[i]).toLower());
            b->setToolTip(i ? QString("Drive the pin %1 through 1 kOhm").arg(i == 1 ? "low" : "high")
                            : QString("Leave the pin's input open"));
            m_switch->addButton(b, i);
            row->addWidget(b);
        }
        m_switch->button(0)->setChecked(true);
        Body()->addLayout(row);
        connect(m_switch, &QButtonGroup::idClicked, this, [this](int id) { Change("input", Setting(id)); });
    }
    void BeforeStart(std::vector<std::string> &sets) override
    {
        if (m_switch->checkedId() > 0)
            sets.push_back(SetText("input", Setting(m_switch->checkedId())));
    }
    void Show(const sim::LiveRun::Snapshot &snapshot, const Json &device) override
    {
        CBoardCard::Show(snapshot, device);
        const Json &level = Observed(device, "level"), &transitions = Observed(device, "transitions");
        m_lamp->setLit(level.is_number() ? level.get<int>() : -1);
        SetLabel(m_level, level.is_number() ? (level.get<int>() ? QString("High") : QString("Low")) : QString("-"));
        SetLabel(Readings(),
                 transitions.is_number() ? QString("%1 transitions").arg(transitions.get<long long>()) : QString());
    }

private:
    static std::string Setting(int id) { return id == 2 ? "1" : id == 1 ? "0" : "none"; }
    CLamp *m_lamp;
    QLabel *m_level;
    QButtonGroup *m_switch;
};

} // namespace

CBoardCard *MakeDigitalCard(const CCodeObject &object, QWidget *parent) { return new CDigitalCard(object, parent); }

} // namespace kivo
