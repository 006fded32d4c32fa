// The "I/O Pin View": its grid, the refresh from the pin table (checked on
// the rendered widget), the edit commands and the printed report.
#include "grid/davarogrid.h"
#include "grid/inplaceedit.h"
#include "grid/pinsview.h"
#include "kinds/servo/slots.h"
#include "model/codeobject.h"
#include "model/kivodoc.h"
#include "objects/objectlist.h"
#include "objects/pinrules.h"
#include "platform/profile.h"

#include "grid_events.h"

#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace kivo {
namespace {

class PinsViewTest : public ::testing::Test
{
protected:
    PinsViewTest()
    {
        MemoryProfile profile;
        doc.OnNewDocument(profile);
        doc.SetTitle("Blinky.kivo");
        view = std::make_unique<CPinsView>(doc);
        // Big enough to show every row and column.
        GridLayout layout = Grid()->Layout();
        int frame = 2 * Grid()->frameWidth();
        view->resize(layout.TotalWidth() + frame + 40, layout.TotalHeight() + frame + 40);
        QGuiApplication::clipboard()->clear();
    }

    CDavaroGrid *Grid() const { return view->GetGrid(); }

    QImage Render()
    {
        QImage image(view->size(), QImage::Format_RGB32);
        view->render(&image);
        return image;
    }
    // A point in the view inside cell (row, col), `inset` pixels left of its grid line.
    QPoint InCell(int row, int col, int inset = 3)
    {
        QRect r = Grid()->GetCellRect(row, col);
        return Grid()->viewport()->mapTo(view.get(), QPoint(r.right() - inset, r.center().y()));
    }
    // Whether the left part of a cell holds drawn text (pixels far from the background).
    bool HasInk(const QImage &image, int row, int col)
    {
        QRect r = Grid()->GetCellRect(row, col);
        QColor bg = Grid()->GetCell(row, col)->EffectiveBackClr();
        for (int x = r.left() + 2; x < r.left() + std::min(r.width(), 40); ++x)
            for (int y = r.top() + 2; y < r.bottom() - 1; ++y) {
                QColor c(image.pixel(Grid()->viewport()->mapTo(view.get(), QPoint(x, y))));
                if (std::abs(c.red() - bg.red()) + std::abs(c.green() - bg.green()) + std::abs(c.blue() - bg.blue()) >
                    200)
                    return true;
            }
        return false;
    }
    void ExpectPinShown(const QImage &image, int pin, bool used, const QString &owner, const QString &usage,
                        const QString &note)
    {
        SCOPED_TRACE(testing::Message() << "pin " << pin);
        const int row = pin + 1;
        EXPECT_EQ(Grid()->GetItemText(row, 0), QString::number(pin));
        EXPECT_EQ(Grid()->GetItemText(row, 1), used ? "No" : "Yes");
        EXPECT_EQ(QColor(image.pixel(InCell(row, 1))), used ? QColor(250, 150, 150) : QColor(150, 250, 150));
        EXPECT_TRUE(HasInk(image, row, 1));
        EXPECT_EQ(Grid()->GetItemText(row, 2), owner);
        EXPECT_EQ(Grid()->GetItemText(row, 3), usage);
        EXPECT_EQ(Grid()->GetItemText(row, 4), note);
        EXPECT_EQ(HasInk(image, row, 2), !owner.isEmpty());
    }

    CKivoDoc doc;
    std::unique_ptr<CPinsView> view;
};

TEST_F(PinsViewTest, BuildsTheGridWithItsHeadersFontsAndWidths)
{
    CDavaroGrid *grid = Grid();
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->parentWidget(), view.get());
    EXPECT_EQ(grid->GetDlgCtrlID(), 100);
    EXPECT_EQ(grid->GetRowCount(), 65);
    EXPECT_EQ(grid->GetColumnCount(), 5);
    EXPECT_EQ(grid->GetFixedRowCount(), 1);
    EXPECT_EQ(grid->GetFixedColumnCount(), 1);
    const char *headers[] = {"I/O Pin #", "Free?", "Used By", "Used For", "Notes"};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(grid->GetItemText(0, c), headers[c]);

    EXPECT_EQ(grid->GetItemFont(0, 0), nullptr); // the corner keeps the grid's font
    for (int c = 1; c < 5; ++c) {
        ASSERT_NE(grid->GetItemFont(0, c), nullptr);
        EXPECT_EQ(grid->GetItemFont(0, c)->weight(), 800);
        EXPECT_EQ(grid->GetItemFont(0, c)->family(), grid->font().family());
    }
    for (int r = 1; r < 65; ++r) {
        ASSERT_NE(grid->GetItemFont(r, 0), nullptr);
        EXPECT_EQ(grid->GetItemFont(r, 0)->weight(), 800);
        for (int c = 1; c < 5; ++c)
            EXPECT_EQ(grid->GetItemFont(r, c), nullptr);
    }
    EXPECT_EQ(grid->GetColumnWidth(0), 40);
    EXPECT_EQ(grid->GetColumnWidth(4), 500);
    for (int c = 1; c < 4; ++c)
        EXPECT_EQ(grid->GetColumnWidth(c), grid->GetDefaultCell(false, false)->GetWidth());

    // A second first show changes nothing.
    view->OnInitialUpdate();
    EXPECT_EQ(view->GetGrid(), grid);
}

TEST_F(PinsViewTest, ANewProjectShowsTheSerialPinsUsedAndTheRestFree)
{
    QImage image = Render();
    for (int pin = 0; pin < 62; ++pin)
        ExpectPinShown(image, pin, false, "", "", "");
    ExpectPinShown(image, 62, true, "Serial", "TX", "Used for Programming the P2 and Standard I/O");
    ExpectPinShown(image, 63, true, "Serial", "RX", "Used for Programming the P2 and stdio");
}

TEST_F(PinsViewTest, DeletingAnObjectFreesItsPinsAtTheNextRefresh)
{
    auto servo = std::make_unique<CCodeObject>();
    servo->m_nKind = kServo;
    servo->m_strName = "Servo1";
    servo->m_strPin = "16";
    ReservePin(doc, 16, "Servo1", "Servo PWM");
    doc.AppendObject(std::move(servo));
    doc.UpdateAllViews();
    QImage image = Render();
    ExpectPinShown(image, 16, true, "Servo1", "Servo PWM", "");

    ASSERT_TRUE(DeleteObject(doc, 0)); // refreshes the views itself
    image = Render();
    ExpectPinShown(image, 16, false, "", "", "");
    ExpectPinShown(image, 62, true, "Serial", "TX", "Used for Programming the P2 and Standard I/O");

    // The serial pins, once released, turn green as well.
    ReleasePinsOf(doc, "Serial");
    doc.UpdateAllViews();
    image = Render();
    ExpectPinShown(image, 63, false, "", "", "Used for Programming the P2 and stdio");
}

TEST_F(PinsViewTest, TheCellsTakeNoTypingCuttingOrPasting)
{
    CDavaroGrid *grid = Grid();
    grid->SetFocusCell(63, 2);
    test::Type(grid, 'Z');
    test::Key(grid, Qt::Key_F2);
    EXPECT_FALSE(grid->IsEditing());
    EXPECT_EQ(grid->GetInPlaceEdit(), nullptr);
    EXPECT_EQ(grid->GetItemText(63, 2), "Serial");
    grid->SetFocusCell(5, 4);
    test::Type(grid, 'N');
    EXPECT_FALSE(grid->IsEditing());
    EXPECT_EQ(grid->GetItemText(5, 4), "");

    QGuiApplication::clipboard()->setText("pasted,text");
    grid->SetFocusCell(5, 3);
    EXPECT_FALSE(view->CanPaste());
    view->OnEditPaste();
    EXPECT_EQ(grid->GetItemText(5, 4), "");
    // Selecting and copying stay.
    grid->SetSelectedRange(CCellRange(63, 2, 63, 3));
    EXPECT_TRUE(view->CanCopy());
    EXPECT_FALSE(view->CanCut());
    view->OnEditCut();
    EXPECT_EQ(grid->GetItemText(63, 2), "Serial");
    EXPECT_EQ(doc.m_strPinOwner[62], "Serial");
}

TEST_F(PinsViewTest, TheGridCoversTheViewAndNotesStay500Wide)
{
    view->show(); // hidden widgets get their resize events only when shown
    view->resize(1200, 900);
    EXPECT_EQ(Grid()->geometry(), view->rect());
    view->resize(300, 200);
    EXPECT_EQ(Grid()->geometry(), view->rect());
    EXPECT_EQ(Grid()->GetColumnWidth(4), 500);
}

TEST_F(PinsViewTest, ViewsRegisterWithTheDocumentAndLeaveWhenDestroyed)
{
    auto second = std::make_unique<CPinsView>(doc);
    ReservePin(doc, 3, "NCO_Freq1", "NCO");
    doc.UpdateAllViews();
    EXPECT_EQ(Grid()->GetItemText(4, 1), "No");
    EXPECT_EQ(second->GetGrid()->GetItemText(4, 2), "NCO_Freq1");
    second.reset();
    ClearPin(doc, 3);
    doc.UpdateAllViews(); // the destroyed view is no longer called
    EXPECT_EQ(Grid()->GetItemText(4, 1), "Yes");

    // Another project's refresh leaves this view alone.
    CKivoDoc other;
    MemoryProfile profile;
    other.OnNewDocument(profile);
    CPinsView otherView(other);
    Grid()->SetItemText(1, 2, "mine");
    other.UpdateAllViews();
    EXPECT_EQ(Grid()->GetItemText(1, 2), "mine");
}

TEST_F(PinsViewTest, ClipboardCommandsActOnTheGrid)
{
    bool enabled = true;
    EXPECT_TRUE(view->OfferCommand(int(EditCommand::Copy), false, &enabled));
    EXPECT_FALSE(enabled);
    EXPECT_FALSE(view->CanCopy());
    EXPECT_TRUE(view->CanSelectAll());
    int changes = 0;
    QObject::connect(view.get(), &CPinsView::editCommandsChanged, [&] { ++changes; });
    view->OnEditSelectAll();
    EXPECT_GT(changes, 0);
    EXPECT_TRUE(view->CanCopy());
    EXPECT_FALSE(view->CanCut());
    view->OnEditCopy();
    QStringList lines = QGuiApplication::clipboard()->text().split("\r\n");
    ASSERT_EQ(lines.size(), 64);
    EXPECT_EQ(lines[0], "Yes\t\t\t");
    EXPECT_EQ(lines[62], "No\tSerial\tTX\tUsed for Programming the P2 and Standard I/O");
    EXPECT_FALSE(view->OfferCommand(32773, true)); // Generate Code is not the grid's
}

TEST_F(PinsViewTest, TheEditMenuHoldsCutCopyAndPaste)
{
    QMenu menu;
    FillEditPopupMenu(menu, Grid());
    QList<QAction *> actions = menu.actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "Cu&t\tCtrl+X");
    EXPECT_EQ(actions[1]->text(), "&Copy\tCtrl+C");
    EXPECT_EQ(actions[2]->text(), "&Paste\tCtrl+V");
    for (QAction *a : actions)
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString(); // nothing selected, empty clipboard

    Grid()->SetSelectedRange(CCellRange(63, 2, 64, 3));
    Grid()->SetFocusCell(63, 2);
    QMenu second;
    FillEditPopupMenu(second, Grid());
    EXPECT_FALSE(second.actions()[0]->isEnabled()); // the cells are read-only
    EXPECT_TRUE(second.actions()[1]->isEnabled());
    second.actions()[1]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "Serial\tTX\r\nSerial\tRX");
    QMenu third;
    FillEditPopupMenu(third, Grid());
    EXPECT_FALSE(third.actions()[2]->isEnabled());

    QMenu without;
    FillEditPopupMenu(without, nullptr);
    ASSERT_EQ(without.actions().size(), 3);
    for (QAction *a : without.actions())
        EXPECT_FALSE(a->isEnabled());
}

TEST_F(PinsViewTest, RightClickingTheGridOpensTheEditMenu)
{
    Grid()->SetSelectedRange(CCellRange(1, 1, 1, 1));
    QStringList texts;
    std::vector<bool> enabled;
    QTimer::singleShot(0, [&] {
        QWidget *popup = QApplication::activePopupWidget();
        if (auto *menu = qobject_cast<QMenu *>(popup)) {
            for (QAction *a : menu->actions()) {
                texts << a->text();
                enabled.push_back(a->isEnabled());
            }
            menu->close();
        }
    });
    QPoint at = Grid()->GetCellRect(1, 1).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, Grid()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(Grid()->viewport(), &event);
    EXPECT_EQ(texts, QStringList({"Cu&t\tCtrl+X", "&Copy\tCtrl+C", "&Paste\tCtrl+V"}));
    EXPECT_EQ(enabled, (std::vector<bool>{false, true, false}));
}

// ------------------------------------------------------------ the report

int CountColour(const QImage &image, QColor colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += QColor(image.pixel(x, y)) == colour;
    return n;
}

TEST_F(PinsViewTest, TheReportListsEveryPinOfTheProject)
{
    PinReport report = MakePinReport(doc, QDate(2026, 12, 9));
    EXPECT_EQ(report.project, "Blinky");
    EXPECT_FALSE(report.date.isEmpty());
    EXPECT_TRUE(report.pins[62].used);
    EXPECT_EQ(report.pins[62].owner, "Serial");
    EXPECT_EQ(report.pins[63].usage, "RX");
    EXPECT_FALSE(report.pins[0].used);

    // Drawn on a page: one red cell per used pin, one green per free one,
    // and no typed grid text in it.
    Grid()->SetItemText(1, 2, "typed");
    QImage page(850, 1100, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        PaintPinReport(painter, QRectF(25, 25, 800, 1050), report);
    }
    int red = CountColour(page, QColor(250, 150, 150));
    int green = CountColour(page, QColor(150, 250, 150));
    ASSERT_GT(red, 0);
    double perCellRatio = double(green) / red; // 62 free cells against 2 used ones, text aside
    EXPECT_GT(perCellRatio, 25.0);
    EXPECT_LT(perCellRatio, 37.0);
    // Nothing is drawn outside the page rectangle.
    for (int x = 0; x < page.width(); ++x) {
        EXPECT_EQ(QColor(page.pixel(x, 5)), QColor(Qt::white));
        EXPECT_EQ(QColor(page.pixel(x, page.height() - 5)), QColor(Qt::white));
    }
}

TEST_F(PinsViewTest, PrintingWritesOnePage)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("pins.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    ASSERT_TRUE(view->PrintReport(printer));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray pdf = file.readAll();
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_EQ(pdf.count("/Type /Page\n"), 1) << "one page";
    EXPECT_GT(pdf.size(), 2000);
}

// Closes the next modal dialog once `ready` says so, after `check` has looked at it.
template <class Dialog> void CloseNextDialog(std::function<bool(Dialog *)> ready, std::function<void(Dialog *)> check)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, ready, check] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        if (!dialog || !ready(dialog))
            return;
        check(dialog);
        dialog->reject();
        poll->deleteLater();
    });
    poll->start(20);
}

TEST_F(PinsViewTest, PrintPreviewShowsTheOnePageReport)
{
    int pages = -1;
    CloseNextDialog<QPrintPreviewDialog>(
        [](QPrintPreviewDialog *d) {
            auto *w = d->findChild<QPrintPreviewWidget *>();
            return w && w->pageCount() > 0;
        },
        [&](QPrintPreviewDialog *d) { pages = d->findChild<QPrintPreviewWidget *>()->pageCount(); });
    view->OnFilePrintPreview();
    EXPECT_EQ(pages, 1);
}

TEST_F(PinsViewTest, CancellingThePrintDialogPrintsNothing)
{
    bool seen = false;
    CloseNextDialog<QPrintDialog>([](QPrintDialog *) { return true; }, [&](QPrintDialog *) { seen = true; });
    EXPECT_FALSE(view->OnFilePrint());
    EXPECT_TRUE(seen);
}

TEST_F(PinsViewTest, TheSdCardAndTheUsbErrorLedShowInUse)
{
    auto usb = std::make_unique<CCodeObject>();
    usb->m_nKind = kUsbKbm;
    usb->m_strName = "UsbKbM1";
    usb->m_strPin = "8";
    usb->m_nPinCount = 8;
    doc.AppendObject(std::move(usb));
    doc.m_strPinNote[56] = "red LED";
    doc.UpdateAllViews();
    QImage image = Render();
    ExpectPinShown(image, 56, true, "UsbKbM1", "Parallax USB Error LED", "red LED");
    ExpectPinShown(image, 58, false, "", "", "");

    doc.m_bMountSd = 1;
    doc.UpdateAllViews();
    image = Render();
    for (auto [pin, usage] : {std::pair{61, "SD CLK"}, {60, "SD CS"}, {59, "SD MOSI"}, {58, "SD MISO"}})
        ExpectPinShown(image, pin, true, "SD Card", usage, "");
    // The report shows them the same way; the pin table is left alone.
    PinReport report = MakePinReport(doc, QDate(2026, 1, 2));
    EXPECT_TRUE(report.pins[58].used);
    EXPECT_EQ(report.pins[56].owner, "UsbKbM1");
    EXPECT_FALSE(doc.m_bPinUsed[56]);
    EXPECT_FALSE(doc.m_bPinUsed[58]);
    EXPECT_EQ(doc.m_strPinOwner[58], "");
}

TEST_F(PinsViewTest, PinsOfFindingsAreMarkedOnTheirNumber)
{
    // Two servos on pin 5: an error of the project checks on that pin.
    for (const char *name : {"Servo1", "Servo2"}) {
        auto servo = std::make_unique<CCodeObject>();
        servo->m_nKind = kServo;
        servo->m_strName = name;
        servo->m_strPin = "5";
        servo->m_nPinCount = 1;
        ServoSlots(*servo).Degrees() = "90";
        ServoSlots(*servo).Microseconds() = "1500";
        doc.AppendObject(std::move(servo));
    }
    doc.UpdateAllViews();
    EXPECT_EQ(Grid()->GetItemBkColour(6, 0), PinErrorColour());
    EXPECT_FALSE(Grid()->GetItemBkColour(7, 0).isValid());
    ASSERT_TRUE(DeleteObject(doc, 1));
    EXPECT_FALSE(Grid()->GetItemBkColour(6, 0).isValid());
}

} // namespace
} // namespace kivo
