#include "workspace/logicview.h"

#include "run/liverun.h"
#include "run/vcd.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace kivo {

namespace {

constexpr int kLabelWidth = 120;
constexpr int kRowHeight = 20;
constexpr int kAxisHeight = 18;

// The window lengths: 1-2-5 steps from 1 µs to 10 s.
const std::vector<double> &Spans()
{
    static const std::vector<double> spans = [] {
        std::vector<double> s;
        for (double decade = 1e-6; decade < 10; decade *= 10)
            for (double m : {1.0, 2.0, 5.0})
                s.push_back(decade * m);
        s.push_back(10);
        return s;
    }();
    return spans;
}

// "250 µs", "1.5 s": `digits` significant digits in the largest unit that keeps it at least 1.
QString FormatTime(double seconds, int digits = 4)
{
    const double a = std::fabs(seconds);
    struct Unit {
        double scale;
        const char *name;
    };
    static const Unit units[] = {{1, "s"}, {1e-3, "ms"}, {1e-6, "µs"}, {1e-9, "ns"}};
    for (const Unit &u : units)
        if (a >= u.scale * 0.9999 || u.scale == 1e-9)
            return QString::number(seconds / u.scale, 'g', digits) + " " + QString::fromUtf8(u.name);
    return "0 s";
}

} // namespace

// The waveforms: a row per pin, its name on the left, time to the right
// with the present at the right edge; before a pin's history begins the row
// is hatched.
class CLogicView::WaveCanvas : public QWidget
{
public:
    explicit WaveCanvas(CLogicView &view) : QWidget(&view), m_view(view)
    {
        setFocusPolicy(Qt::StrongFocus);
        setToolTip("Click to set the time cursor; the wheel or + and - zoom");
    }
    QSize sizeHint() const override { return {600, Height()}; }
    QSize minimumSizeHint() const override { return {300, kRowHeight + kAxisHeight}; }
    int Height() const { return int(m_view.m_trace.pins.size()) * kRowHeight + kAxisHeight + 4; }
    double TimeAt(int x) const
    {
        const int w = std::max(1, width() - kLabelWidth - 4);
        return m_view.WindowStart() + double(x - kLabelWidth) / w * m_view.m_span;
    }
    double XAt(double t) const
    {
        const int w = std::max(1, width() - kLabelWidth - 4);
        return kLabelWidth + (t - m_view.WindowStart()) / m_view.m_span * w;
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().base());
        const QColor ink = palette().text().color();
        // A trace colour that reads on every look's base.
        const QColor wave(20, 120, 50);
        const int right = width() - 4;
        const auto &pins = m_view.m_trace.pins;
        for (std::size_t r = 0; r < pins.size(); r++) {
            const int top = int(r) * kRowHeight + 2;
            p.setPen(ink);
            p.drawText(QRect(4, top, kLabelWidth - 8, kRowHeight), Qt::AlignVCenter | Qt::AlignLeft,
                       r < m_view.m_names.size() ? m_view.m_names[r] : QString());
            p.setPen(QColor(ink.red(), ink.green(), ink.blue(), 40));
            p.drawLine(kLabelWidth, top + kRowHeight - 1, right, top + kRowHeight - 1);
            DrawPin(p, pins[r], top + 4, top + kRowHeight - 5, wave);
        }
        DrawAxis(p, int(pins.size()) * kRowHeight + 2, ink);
        if (std::isfinite(m_view.m_cursor) && m_view.m_cursor >= m_view.WindowStart()) {
            const int x = int(std::lround(XAt(m_view.m_cursor)));
            p.setPen(QPen(QColor(200, 40, 40), 1, Qt::DashLine));
            p.drawLine(x, 0, x, height());
        }
        if (hasFocus()) {
            p.setPen(QPen(wave, 1, Qt::DotLine));
            p.drawRect(rect().adjusted(0, 0, -1, -1));
        }
    }
    void mousePressEvent(QMouseEvent *e) override
    {
        setFocus();
        if (e->position().x() >= kLabelWidth)
            m_view.SetCursor(TimeAt(int(e->position().x())));
    }
    void wheelEvent(QWheelEvent *e) override
    {
        if (e->angleDelta().y() > 0)
            m_view.ZoomIn();
        else if (e->angleDelta().y() < 0)
            m_view.ZoomOut();
        e->accept();
    }
    void keyPressEvent(QKeyEvent *e) override
    {
        switch (e->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            m_view.ZoomIn();
            break;
        case Qt::Key_Minus:
            m_view.ZoomOut();
            break;
        case Qt::Key_Left:
        case Qt::Key_Right: {
            const double step = m_view.m_span / 100 * (e->key() == Qt::Key_Left ? -1 : 1);
            const double from = std::isfinite(m_view.m_cursor) ? m_view.m_cursor : m_view.WindowEnd();
            m_view.SetCursor(from + step);
            break;
        }
        default:
            QWidget::keyPressEvent(e);
        }
    }

private:
    // Per pixel column, the levels the pin took there (1 low, 2 high, 0
    // unknown); a column with both is drawn as a bar.
    void DrawPin(QPainter &p, const sim::LogicPin &pin, int high, int low, const QColor &wave)
    {
        const int left = kLabelWidth, right = width() - 4;
        if (right <= left)
            return;
        std::vector<std::uint8_t> seen(std::size_t(right - left), 0);
        const auto &edges = pin.edges;
        const double end = m_view.WindowEnd();
        for (std::size_t i = 0; i < edges.size(); i++) {
            const double from = edges[i].seconds;
            const double to = i + 1 < edges.size() ? edges[i + 1].seconds : end;
            if (to < m_view.WindowStart())
                continue;
            const int c0 = std::clamp(int(std::floor(XAt(from))) - left, 0, int(seen.size()) - 1);
            const int c1 = std::clamp(int(std::ceil(XAt(to))) - left - 1, c0, int(seen.size()) - 1);
            for (int c = c0; c <= c1; c++)
                seen[std::size_t(c)] |= edges[i].level ? 2 : 1;
        }
        QColor hatch = palette().text().color();
        hatch.setAlpha(60);
        p.setPen(wave);
        int c = 0;
        while (c < int(seen.size())) {
            int run = c;
            while (run + 1 < int(seen.size()) && seen[std::size_t(run + 1)] == seen[std::size_t(c)])
                run++;
            const int x0 = left + c, x1 = left + run;
            switch (seen[std::size_t(c)]) {
            case 0:
                p.fillRect(QRect(x0, high, x1 - x0 + 1, low - high + 1), QBrush(hatch, Qt::BDiagPattern));
                break;
            case 1:
                p.drawLine(x0, low, x1, low);
                break;
            case 2:
                p.drawLine(x0, high, x1, high);
                break;
            default:
                p.fillRect(QRect(x0, high, x1 - x0 + 1, low - high + 1), wave);
            }
            // A change between neighbouring columns is an edge.
            if (c > 0 && seen[std::size_t(c - 1)] && seen[std::size_t(c)] &&
                seen[std::size_t(c - 1)] != seen[std::size_t(c)])
                p.drawLine(x0, high, x0, low);
            c = run + 1;
        }
    }
    // Ticks at a tenth of the window, labelled by their distance from the present.
    void DrawAxis(QPainter &p, int top, const QColor &ink)
    {
        p.setPen(ink);
        p.drawLine(kLabelWidth, top, width() - 4, top);
        const double span = m_view.m_span;
        for (int i = 0; i <= 10; i++) {
            const int x = int(std::lround(XAt(m_view.WindowEnd() - span + span * i / 10)));
            p.drawLine(x, top, x, top + 4);
            if (i % 2 == 0) {
                const QString text = i == 10 ? QString("now") : "-" + FormatTime(span * (10 - i) / 10, 3);
                const QRect box(x - 40, top + 3, 80, kAxisHeight - 3);
                p.drawText(i == 10  ? box.translated(-36, 0)
                           : i == 0 ? box.translated(38, 0)
                                    : box,
                           i == 10  ? Qt::AlignRight
                           : i == 0 ? Qt::AlignLeft
                                    : Qt::AlignHCenter,
                           text);
            }
        }
    }

    CLogicView &m_view;
};

CLogicView::CLogicView(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *bar = new QHBoxLayout;
    auto *pinsLabel = new QLabel("P&ins:", this);
    m_pins = new QLineEdit(this);
    m_pins->setPlaceholderText("the project's pins");
    m_pins->setToolTip("Pins to show: numbers and ranges, as 12,16-19");
    m_pins->setMaximumWidth(160);
    pinsLabel->setBuddy(m_pins);
    m_zoomIn = new QPushButton("Zoom &In", this);
    m_zoomOut = new QPushButton("Zoom O&ut", this);
    m_save = new QPushButton("Save as &VCD...", this);
    m_save->setToolTip("Write the shown window as a Value Change Dump (for GTKWave)");
    m_windowLabel = new QLabel(this);
    m_cursorLabel = new QLabel(this);
    m_cursorLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bar->addWidget(pinsLabel);
    bar->addWidget(m_pins);
    bar->addWidget(m_zoomIn);
    bar->addWidget(m_zoomOut);
    bar->addWidget(m_windowLabel);
    bar->addWidget(m_cursorLabel, 1);
    bar->addWidget(m_save);
    layout->addLayout(bar);
    m_canvas = new WaveCanvas(*this);
    auto *scroll = new QScrollArea(this);
    scroll->setWidget(m_canvas);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(scroll, 1);

    connect(m_pins, &QLineEdit::editingFinished, this, [this] { ChoosePins(m_pins->text()); });
    connect(m_zoomIn, &QPushButton::clicked, this, &CLogicView::ZoomIn);
    connect(m_zoomOut, &QPushButton::clicked, this, &CLogicView::ZoomOut);
    connect(m_save, &QPushButton::clicked, this, &CLogicView::OnSave);
    setTabOrder(m_pins, m_zoomIn);
    setTabOrder(m_zoomIn, m_zoomOut);
    setTabOrder(m_zoomOut, m_canvas);
    setTabOrder(m_canvas, m_save);
    ShowLabels();
}

CLogicView::~CLogicView() = default;

QWidget *CLogicView::Canvas() const { return m_canvas; }

void CLogicView::SetRun(sim::LiveRun *run)
{
    m_run = run;
    m_trace = {};
    m_names.clear();
    if (m_run && m_chosen)
        m_run->setLogicPins(*m_chosen);
    Refresh();
}

void CLogicView::Refresh()
{
    if (m_run) {
        // From the last window's start: a refresh's worth more than needed, and no second copy.
        m_trace = m_run->logic(m_trace.until - m_span);
        m_names.clear();
        for (const sim::LogicPin &p : m_trace.pins)
            m_names.push_back(PinName(p.pin));
        if (!m_chosen && !m_pins->hasFocus()) {
            QStringList pins;
            for (const sim::LogicPin &p : m_trace.pins)
                pins << QString::number(p.pin);
            m_pins->setText(pins.join(","));
        }
    }
    m_canvas->setMinimumHeight(m_canvas->Height());
    ShowLabels();
    m_canvas->update();
}

QString CLogicView::PinName(int pin) const
{
    const std::string owner = m_run ? m_run->pinOwner(pin) : std::string();
    return QString("P%1").arg(pin) + (owner.empty() ? QString() : "  " + QString::fromStdString(owner));
}

void CLogicView::SetSpan(double seconds)
{
    const auto &spans = Spans();
    auto it = std::lower_bound(spans.begin(), spans.end(), seconds * 0.999);
    m_span = it == spans.end() ? spans.back() : *it;
    Refresh();
}

void CLogicView::ZoomIn()
{
    const auto &spans = Spans();
    auto it = std::lower_bound(spans.begin(), spans.end(), m_span * 0.999);
    if (it != spans.begin())
        SetSpan(*std::prev(it));
}

void CLogicView::ZoomOut()
{
    const auto &spans = Spans();
    auto it = std::upper_bound(spans.begin(), spans.end(), m_span * 1.001);
    if (it != spans.end())
        SetSpan(*it);
}

void CLogicView::SetCursor(double seconds)
{
    m_cursor = seconds;
    ShowLabels();
    m_canvas->update();
}

bool CLogicView::ChoosePins(const QString &text)
{
    std::vector<int> pins;
    if (!sim::ParsePinList(text.trimmed().remove(' ').toStdString(), pins)) {
        m_pins->setStyleSheet("color: #b00000;");
        m_pins->setToolTip("Not a pin list: numbers 0..63 and ranges, as 12,16-19");
        return false;
    }
    m_pins->setStyleSheet("");
    m_pins->setToolTip("Pins to show: numbers and ranges, as 12,16-19");
    m_chosen = pins;
    if (m_pins->text() != text)
        m_pins->setText(text);
    if (m_run)
        m_run->setLogicPins(pins);
    Refresh();
    return true;
}

void CLogicView::ShowLabels()
{
    m_windowLabel->setText(QString("Last %1, up to %2").arg(FormatTime(m_span), FormatTime(WindowEnd(), 7)));
    m_zoomIn->setEnabled(m_span > Spans().front() * 1.001);
    m_zoomOut->setEnabled(m_span < Spans().back() * 0.999);
    if (!std::isfinite(m_cursor)) {
        m_cursorLabel->setText("Click the waveform for a cursor");
        return;
    }
    QStringList levels;
    for (std::size_t i = 0; i < m_trace.pins.size(); i++) {
        const int level = m_trace.pins[i].levelAt(m_cursor);
        levels << QString("P%1 %2").arg(m_trace.pins[i].pin).arg(level < 0 ? QString("?") : QString::number(level));
    }
    m_cursorLabel->setText(QString("Cursor %1: %2").arg(FormatTime(m_cursor, 9), levels.join(", ")));
}

bool CLogicView::SaveVcd(const QString &path, QString *error) const
{
    std::string why;
    if (sim::WriteVcd(path.toStdString(), m_trace, WindowStart(), WindowEnd(), &why))
        return true;
    if (error)
        *error = QString::fromStdString(why);
    return false;
}

void CLogicView::OnSave()
{
    const QString path = QFileDialog::getSaveFileName(this, "Save as VCD", QString(), "Value Change Dump (*.vcd)");
    QString error;
    if (!path.isEmpty() && !SaveVcd(path, &error))
        m_cursorLabel->setText("The VCD cannot be saved: " + error);
}

} // namespace kivo
