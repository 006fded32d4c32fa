#pragma once
// CPinsView: the "I/O Pin View" tab. One grid row per P2 pin showing whether
// it is free and who uses it for what, copied from the project's pin table at
// every refresh, with the pins the project holds outside the table (the SD
// card's, the USB error LED) shown in use. The cells take no typing.
//
// For the main window:
//   - Embed `new CPinsView(doc)` as the tab's widget. The view registers with
//     doc.AddView() and unregisters when destroyed, so the document must
//     outlive it. The grid is built and filled by the constructor.
//   - Clipboard commands of the ribbon while this tab is active: enable the
//     buttons with CanCut(), CanCopy(), CanPaste(), CanSelectAll() (re-query
//     on editCommandsChanged()) and run OnEditCut(), OnEditCopy(),
//     OnEditPaste(), OnEditSelectAll(). OfferCommand() does both by command
//     id (57635 Cut, 57634 Copy, 57637 Paste, 57642 Select All).
//   - Print commands while this tab is active: OnFilePrint() (print dialog),
//     OnFilePrintDirect() (Quick Print: the default printer, no dialog),
//     OnFilePrintPreview() (preview dialog). Each prints the one-page pin
//     report; PaintPinReport() draws it on any painter.
//   - FillEditPopupMenu() builds the "Edit" pop-up menu; with a null grid
//     its entries are disabled (the tabbed view's own menu).
#include <QColor>
#include <QDate>
#include <QString>
#include <QWidget>

#include <array>

class QMenu;
class QPainter;
class QPrinter;

namespace kivo {

class CGridCtrl;
class CDavaroGrid;
class CKivoDoc;

constexpr int kPinViewRows = 65; // the header and the 64 pins
constexpr int kPinViewCols = 5;
constexpr int kPinGridId = 100;
inline QColor PinUsedColour() { return QColor(250, 150, 150); }
inline QColor PinFreeColour() { return QColor(150, 250, 150); }
// The pin number of a pin that a finding of the project checks concerns.
inline QColor PinErrorColour() { return QColor(255, 110, 60); }
inline QColor PinWarningColour() { return QColor(255, 215, 80); }

// What the printed pin report shows.
struct PinReport {
    struct Line {
        bool used = false;
        QString owner, usage, note;
    };
    QString project;
    QString date;
    std::array<Line, 64> pins;
};
PinReport MakePinReport(const CKivoDoc &doc, const QDate &date);
// ShownPins (check.h) in the view's strings.
std::array<PinReport::Line, 64> ShownPinLines(const CKivoDoc &doc);
// Draws the report as one page filling `page` (painter coordinates): the
// title, the project's name and the date, then the five columns for the
// 64 pins, and a count of the pins in use at the foot.
void PaintPinReport(QPainter &painter, const QRectF &page, const PinReport &report);

// The printer's document name for the pin report of `doc` ("Blink pin
// report"): what the print dialog proposes as the PDF file's name.
QString PinReportDocName(const CKivoDoc &doc);

// Fills `menu` with "Cu&t\tCtrl+X", "&Copy\tCtrl+C" and "&Paste\tCtrl+V",
// acting on `grid` and enabled as it allows (all disabled without a grid).
void FillEditPopupMenu(QMenu &menu, CGridCtrl *grid);

class CPinsView : public QWidget
{
    Q_OBJECT
public:
    explicit CPinsView(CKivoDoc &doc, QWidget *parent = nullptr);
    ~CPinsView() override;

    CKivoDoc &GetDocument() const { return m_doc; }
    CDavaroGrid *GetGrid() const { return m_pGrid; }

    // First show: builds the grid (once) and fills it. The constructor has
    // already called it; later calls do nothing.
    void OnInitialUpdate();
    // The refresh: rewrites columns 1 to 4 from the pin table.
    void OnUpdate();

    // Clipboard commands, passed to the grid.
    bool CanCut() const;
    bool CanCopy() const;
    bool CanPaste() const;
    bool CanSelectAll() const;
    bool OfferCommand(int id, bool execute, bool *enabled = nullptr);

    // Puts the pin report on `printer` (one page); false when the printer
    // cannot be opened.
    bool PrintReport(QPrinter &printer) const;

public slots:
    void OnEditCut();
    void OnEditCopy();
    void OnEditPaste();
    void OnEditSelectAll();
    // Print: the print dialog, then the report. False when cancelled.
    bool OnFilePrint();
    // Quick Print: the default printer without asking; without a printer
    // the print dialog is shown instead.
    bool OnFilePrintDirect();
    // Print Preview: a modal preview of the report, printable from there.
    void OnFilePrintPreview();

signals:
    // Re-query CanCut() and friends.
    void editCommandsChanged();
    // The report went into a file (a PDF), not to a printer.
    void reportSaved(const QString &file);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // After a print: says where a report printed to a file went.
    void Printed(const QPrinter &printer);

    CKivoDoc &m_doc;
    int m_nViewToken = 0;
    int m_nRows = 0;
    int m_nCols = 0;
    CDavaroGrid *m_pGrid = nullptr;
};

} // namespace kivo
