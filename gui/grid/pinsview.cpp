#include "grid/pinsview.h"

#include "check/check.h"
#include "grid/davarogrid.h"
#include "model/kivodoc.h"

#include <QContextMenuEvent>

#include <QCursor>
#include <QFontMetricsF>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <array>

namespace kivo {

namespace {

QString Q(const std::string &utf8) { return QString::fromStdString(utf8); }

const char *const kHeaders[kPinViewCols] = {"I/O Pin #", "Free?", "Used By", "Used For", "Notes"};

} // namespace

// ---------------------------------------------------------------- the report

std::array<PinReport::Line, 64> ShownPinLines(const CKivoDoc &doc)
{
    std::array<PinReport::Line, 64> lines;
    const auto shown = ShownPins(doc);
    for (std::size_t p = 0; p < lines.size(); ++p)
        lines[p] = {shown[p].used, Q(shown[p].owner), Q(shown[p].usage), Q(shown[p].note)};
    return lines;
}

PinReport MakePinReport(const CKivoDoc &doc, const QDate &date)
{
    PinReport report;
    report.project = Q(doc.GetProjectName());
    if (report.project.isEmpty())
        report.project = QStringLiteral("Untitled");
    report.date = QLocale().toString(date, QLocale::LongFormat);
    report.pins = ShownPinLines(doc);
    return report;
}

void PaintPinReport(QPainter &painter, const QRectF &page, const PinReport &report)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    // Everything scales with the page: 64 pin lines, the column header and
    // about eight lines' worth of title and foot.
    const qreal line = page.height() / 74.0;
    const qreal pad = line * 0.3;
    const QFont base; // the application's font family
    auto font = [&](qreal size, bool bold) {
        QFont f = base;
        f.setPixelSize(std::max(1, int(size)));
        f.setBold(bold);
        return f;
    };
    const QFont titleFont = font(line * 1.6, true);
    const QFont infoFont = font(line * 0.8, false);
    const QFont headFont = font(line * 0.62, true);
    const QFont cellFont = font(line * 0.62, false);
    const QColor ink(0, 0, 0);
    const QColor rule(160, 160, 160);

    qreal y = page.top();
    painter.setPen(ink);
    painter.setFont(titleFont);
    QRectF titleRect(page.left(), y, page.width(), line * 2.2);
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("I/O Pin Report"));
    y += line * 2.4;

    painter.setFont(infoFont);
    QRectF infoRect(page.left(), y, page.width(), line * 1.2);
    QFontMetricsF infoMetrics(infoFont);
    painter.drawText(
        infoRect, Qt::AlignLeft | Qt::AlignVCenter,
        infoMetrics.elidedText(QStringLiteral("Project: ") + report.project, Qt::ElideRight, page.width() * 0.65));
    painter.drawText(infoRect, Qt::AlignRight | Qt::AlignVCenter, report.date);
    y += line * 1.5;
    painter.setPen(QPen(ink, std::max<qreal>(1.0, line * 0.06)));
    painter.drawLine(QPointF(page.left(), y), QPointF(page.right(), y));
    y += line * 0.6;

    // The five columns share the width: number, free, owner, use, notes.
    const qreal shares[kPinViewCols] = {0.09, 0.08, 0.2, 0.2, 0.43};
    qreal xs[kPinViewCols + 1];
    xs[0] = page.left();
    for (int c = 0; c < kPinViewCols; ++c)
        xs[c + 1] = xs[c] + page.width() * shares[c];
    xs[kPinViewCols] = page.right();

    auto cell = [&](int c, qreal top, const QString &text, const QFont &f, const QColor &fill) {
        QRectF r(xs[c], top, xs[c + 1] - xs[c], line);
        if (fill.isValid())
            painter.fillRect(r, fill);
        painter.setPen(QPen(rule, 0));
        painter.drawRect(r);
        painter.setPen(ink);
        painter.setFont(f);
        QRectF textRect = r.adjusted(pad, 0, -pad, 0);
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                         QFontMetricsF(f).elidedText(text, Qt::ElideRight, textRect.width()));
    };

    for (int c = 0; c < kPinViewCols; ++c)
        cell(c, y, QString::fromLatin1(kHeaders[c]), headFont, QColor(225, 225, 225));
    y += line;
    int used = 0;
    for (int p = 0; p < kPinCount; ++p) {
        const PinReport::Line &pin = report.pins[p];
        used += pin.used ? 1 : 0;
        cell(0, y, QString::number(p), headFont, QColor());
        cell(1, y, pin.used ? QStringLiteral("No") : QStringLiteral("Yes"), cellFont,
             pin.used ? PinUsedColour() : PinFreeColour());
        cell(2, y, pin.owner, cellFont, QColor());
        cell(3, y, pin.usage, cellFont, QColor());
        cell(4, y, pin.note, cellFont, QColor());
        y += line;
    }

    y += line * 0.5;
    painter.setPen(ink);
    painter.setFont(infoFont);
    painter.drawText(QRectF(page.left(), y, page.width(), line * 1.2), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("%1 of 64 pins in use, %2 free").arg(used).arg(kPinCount - used));
    painter.restore();
}

void FillEditPopupMenu(QMenu &menu, CGridCtrl *grid)
{
    menu.setTitle(QStringLiteral("Edit"));
    struct Entry {
        const char *text;
        bool (CGridCtrl::*can)() const;
        void (CGridCtrl::*run)();
    };
    const Entry entries[] = {
        {"Cu&t\tCtrl+X", &CGridCtrl::CanCut, &CGridCtrl::OnEditCut},
        {"&Copy\tCtrl+C", &CGridCtrl::CanCopy, &CGridCtrl::OnEditCopy},
        {"&Paste\tCtrl+V", &CGridCtrl::CanPaste, &CGridCtrl::OnEditPaste},
    };
    for (const Entry &e : entries) {
        QAction *action = menu.addAction(QString::fromLatin1(e.text));
        action->setEnabled(grid && (grid->*e.can)());
        if (grid) {
            auto run = e.run;
            QObject::connect(action, &QAction::triggered, grid, [grid, run] { (grid->*run)(); });
        }
    }
}

// ---------------------------------------------------------------- the view

CPinsView::CPinsView(CKivoDoc &doc, QWidget *parent) : QWidget(parent), m_doc(doc)
{
    m_nViewToken = m_doc.AddView([this] { OnUpdate(); });
    OnInitialUpdate();
}

CPinsView::~CPinsView() { m_doc.RemoveView(m_nViewToken); }

void CPinsView::OnInitialUpdate()
{
    if (m_pGrid)
        return;
    m_nRows = kPinViewRows;
    m_nCols = kPinViewCols;
    m_pGrid = new CDavaroGrid;
    m_pGrid->Create(rect(), this, kPinGridId);
    m_pGrid->SetRowCount(m_nRows);
    m_pGrid->SetColumnCount(m_nCols);
    m_pGrid->SetFixedColumnCount(1);
    m_pGrid->SetFixedRowCount(1);
    // A copy of the project's pin table: selected, copied and printed, never
    // typed into.
    m_pGrid->SetEditable(false);

    QFont bold = m_pGrid->font();
    bold.setWeight(QFont::ExtraBold); // 800
    for (int r = 1; r < m_nRows; ++r) {
        m_pGrid->SetItemText(r, 0, QString::number(r - 1));
        m_pGrid->SetItemFont(r, 0, bold);
    }
    for (int c = 1; c < m_nCols; ++c)
        m_pGrid->SetItemFont(0, c, bold);
    for (int c = 0; c < m_nCols; ++c)
        m_pGrid->SetItemText(0, c, QString::fromLatin1(kHeaders[c]));
    m_pGrid->SetColumnWidth(0, 40);
    m_pGrid->SetColumnWidth(4, 500);

    connect(m_pGrid, &CGridCtrl::editCommandsChanged, this, &CPinsView::editCommandsChanged);
    OnUpdate();
}

void CPinsView::OnUpdate()
{
    if (!m_pGrid)
        return;
    const auto pins = ShownPinLines(m_doc);
    for (int p = 0; p < kPinCount; ++p) {
        const int row = p + 1;
        const PinReport::Line &pin = pins[std::size_t(p)];
        if (pin.used) {
            m_pGrid->SetItemText(row, 1, QStringLiteral("No"));
            m_pGrid->SetItemBkColour(row, 1, PinUsedColour());
        } else {
            m_pGrid->SetItemText(row, 1, QStringLiteral("Yes"));
            m_pGrid->SetItemBkColour(row, 1, PinFreeColour());
        }
        m_pGrid->SetItemText(row, 2, pin.owner);
        m_pGrid->SetItemText(row, 3, pin.usage);
        m_pGrid->SetItemText(row, 4, pin.note);
        m_pGrid->SetItemBkColour(row, 0, QColor());
    }
    // Rows of pins that a finding of the project checks concerns are marked
    // on their pin number: errors over warnings.
    std::array<int, kPinCount> mark{};
    for (auto &f : CheckProject(m_doc))
        for (int p : f.pins)
            if (p >= 0 && p < kPinCount)
                mark[std::size_t(p)] = std::max(mark[std::size_t(p)], f.severity == Severity::Error ? 2 : 1);
    for (int p = 0; p < kPinCount; ++p)
        if (mark[std::size_t(p)])
            m_pGrid->SetItemBkColour(p + 1, 0, mark[std::size_t(p)] == 2 ? PinErrorColour() : PinWarningColour());
    // Only a request: the grid shows the new texts when it next paints.
    m_pGrid->viewport()->update();
}

void CPinsView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_pGrid)
        m_pGrid->setGeometry(rect());
}

void CPinsView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    FillEditPopupMenu(menu, m_pGrid);
    QPoint at = event->reason() == QContextMenuEvent::Mouse ? event->globalPos() : QCursor::pos();
    menu.exec(at);
}

bool CPinsView::CanCut() const { return m_pGrid && m_pGrid->CanCut(); }
bool CPinsView::CanCopy() const { return m_pGrid && m_pGrid->CanCopy(); }
bool CPinsView::CanPaste() const { return m_pGrid && m_pGrid->CanPaste(); }
bool CPinsView::CanSelectAll() const { return m_pGrid && m_pGrid->CanSelectAll(); }

void CPinsView::OnEditCut()
{
    if (m_pGrid)
        m_pGrid->OnEditCut();
}

void CPinsView::OnEditCopy()
{
    if (m_pGrid)
        m_pGrid->OnEditCopy();
}

void CPinsView::OnEditPaste()
{
    if (m_pGrid)
        m_pGrid->OnEditPaste();
}

void CPinsView::OnEditSelectAll()
{
    if (m_pGrid)
        m_pGrid->OnEditSelectAll();
}

bool CPinsView::OfferCommand(int id, bool execute, bool *enabled)
{
    return m_pGrid && m_pGrid->OfferCommand(id, execute, enabled);
}

// ---------------------------------------------------------------- printing

QString PinReportDocName(const CKivoDoc &doc)
{
    // The print dialog makes its "Print to File" name from this, so it holds
    // no folder separator (the report's own title, "I/O Pin Report", would).
    QString name = Q(doc.GetProjectName());
    if (name.isEmpty())
        name = QStringLiteral("Untitled");
    name += QStringLiteral(" pin report");
    for (QChar &c : name)
        if (c == '/' || c == '\\' || c == ':')
            c = '-';
    return name;
}

bool CPinsView::PrintReport(QPrinter &printer) const
{
    printer.setDocName(PinReportDocName(m_doc));
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    page.moveTopLeft(QPointF(0, 0)); // the painter starts at the printable area
    PaintPinReport(painter, page, MakePinReport(m_doc, QDate::currentDate()));
    return painter.end();
}

bool CPinsView::OnFilePrint()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(PinReportDocName(m_doc));
    QPrintDialog dialog(&printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (!PrintReport(printer))
        return false;
    Printed(printer);
    return true;
}

void CPinsView::Printed(const QPrinter &printer)
{
    if (!printer.outputFileName().isEmpty())
        emit reportSaved(printer.outputFileName());
}

bool CPinsView::OnFilePrintDirect()
{
    QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return OnFilePrint();
    QPrinter printer(info, QPrinter::HighResolution);
    if (!PrintReport(printer))
        return false;
    Printed(printer);
    return true;
}

void CPinsView::OnFilePrintPreview()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(PinReportDocName(m_doc));
    QPrintPreviewDialog preview(&printer, this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter *p) { PrintReport(*p); });
    // The preview's Print button closes it with Accepted once printed.
    if (preview.exec() == QDialog::Accepted)
        Printed(printer);
}

} // namespace kivo
