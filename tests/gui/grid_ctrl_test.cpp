// CGridCtrl as a widget: defaults, drawing, selection, resizing, scrolling,
// the clipboard, in-place editing and title tips.
#include "grid/davarogrid.h"
#include "grid/gridctrl.h"
#include "grid/inplaceedit.h"
#include "grid/titletip.h"

#include "grid_events.h"

#include <QClipboard>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QImage>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace kivo {
namespace {

using test::Click;
using test::Hover;
using test::Key;

QString CellName(int r, int c) { return QString("r%1c%2").arg(r).arg(c); }

// A grid of 8 rows by 5 columns, one fixed row and column, every cell
// holding its own name.
template <class Grid = CGridCtrl> struct GridSetup {
    Grid grid;
    GridSetup()
    {
        grid.resize(640, 320);
        grid.SetRowCount(8);
        grid.SetColumnCount(5);
        grid.SetFixedColumnCount(1);
        grid.SetFixedRowCount(1);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 5; ++c)
                grid.SetItemText(r, c, CellName(r, c));
        QGuiApplication::clipboard()->clear();
    }
    QWidget *vp() { return grid.viewport(); }
    QPoint Centre(int r, int c) { return grid.GetCellRect(r, c).center(); }
    CInPlaceEdit *Editor() { return grid.GetInPlaceEdit(); }
    QImage Render()
    {
        QImage image(vp()->size(), QImage::Format_RGB32);
        vp()->render(&image);
        return image;
    }
};

class GridCtrlTest : public ::testing::Test, public GridSetup<>
{
};

TEST_F(GridCtrlTest, StartsWithTheSystemDefaults)
{
    const QPalette pal = grid.palette();
    const QFont messageFont = QApplication::font("QMessageBox");
    for (int i = 0; i < 4; ++i) {
        bool fixedRow = i & 1, fixedCol = i & 2;
        const CGridDefaultCell *def = grid.GetDefaultCell(fixedRow, fixedCol);
        SCOPED_TRACE(i);
        EXPECT_EQ(def->EffectiveTextClr(), pal.color(QPalette::WindowText));
        EXPECT_EQ(def->EffectiveBackClr(), pal.color(i == 0 ? QPalette::Base : QPalette::Button));
        EXPECT_EQ(def->EffectiveFont(), messageFont);
        EXPECT_EQ(def->EffectiveFormat(), GridFormat::Standard);
        CellSizes sizes = DefaultCellSizes(&messageFont);
        EXPECT_EQ(def->EffectiveMargin(), sizes.margin);
        EXPECT_EQ(def->GetWidth(), sizes.width);
        EXPECT_EQ(def->GetHeight(), sizes.height);
    }
    EXPECT_EQ(grid.GetColumnWidth(3), grid.GetDefaultCell(false, false)->GetWidth());
    EXPECT_EQ(grid.GetRowHeight(3), grid.GetDefaultCell(false, false)->GetHeight());
    EXPECT_EQ(grid.GetGridLineColor(), QColor(192, 192, 192));
    EXPECT_EQ(grid.GetGridBkColor(), pal.color(QPalette::Dark));
    EXPECT_TRUE(grid.IsEditable());
    EXPECT_TRUE(grid.GetTitleTips());
    EXPECT_TRUE(grid.IsSelectable());
    EXPECT_TRUE(grid.GetColumnResize());
    EXPECT_TRUE(grid.GetRowResize());
    EXPECT_TRUE(grid.GetDoubleBuffering());
    EXPECT_FALSE(grid.GetHeaderSort());
    EXPECT_FALSE(grid.GetDragAndDrop());
    EXPECT_GE(CGridCtrl::WheelScrollLines(), 1);

    // An ordinary cell carries markers only; its values come from its group.
    const CGridCellBase *cell = grid.GetCell(2, 2);
    EXPECT_FALSE(cell->GetBackClr().isValid());
    EXPECT_EQ(cell->GetFont(), nullptr);
    EXPECT_EQ(cell->GetDefaultCell(), grid.GetDefaultCell(false, false));
    EXPECT_EQ(grid.GetCell(0, 2)->GetDefaultCell(), grid.GetDefaultCell(true, false));
    EXPECT_EQ(grid.GetCell(2, 0)->GetDefaultCell(), grid.GetDefaultCell(false, true));
    EXPECT_EQ(grid.GetCell(0, 0)->GetDefaultCell(), grid.GetDefaultCell(true, true));
}

TEST_F(GridCtrlTest, DefaultsFollowTheWidgetsFont)
{
    QFont big = grid.font();
    big.setPixelSize(30);
    grid.setFont(big);
    CellSizes sizes = DefaultCellSizes(&big);
    EXPECT_EQ(grid.GetDefaultCell(false, false)->GetWidth(), sizes.width);
    EXPECT_EQ(grid.GetDefaultCell(true, true)->GetHeight(), sizes.height);
    EXPECT_EQ(grid.GetCell(3, 3)->EffectiveFont(), big);
    grid.SetColumnCount(6); // new columns take the new default width
    EXPECT_EQ(grid.GetColumnWidth(5), sizes.width);
    EXPECT_EQ(grid.GetGridBkColor(), grid.palette().color(QPalette::Dark));
}

TEST_F(GridCtrlTest, CountChangesKeepCellsAndMarkFixedOnes)
{
    grid.SetFocusCell(1, 2);
    grid.SetSelectedRange(CCellRange(1, 1, 2, 2));
    ASSERT_EQ(grid.GetSelectedCount(), 4);
    grid.SetRowCount(12);
    grid.SetColumnCount(7);
    EXPECT_EQ(grid.GetItemText(7, 4), CellName(7, 4));
    EXPECT_EQ(grid.GetItemText(11, 6), QString());
    EXPECT_FALSE(grid.GetCell(11, 6)->IsFixed());

    grid.SetFixedRowCount(2);
    EXPECT_TRUE(grid.GetCell(1, 3)->IsFixed());
    EXPECT_TRUE(grid.GetCell(1, 3)->IsFixedRow());
    EXPECT_FALSE(grid.GetCell(2, 3)->IsFixed());
    EXPECT_FALSE(grid.GetFocusCell().IsValid()); // the focus was in the row that became fixed
    EXPECT_EQ(grid.GetSelectedCount(), 2);
    EXPECT_FALSE(grid.IsCellSelected(1, 1));

    grid.SetRowCount(3);
    EXPECT_EQ(grid.GetRowCount(), 3);
    EXPECT_EQ(grid.GetItemText(2, 2), CellName(2, 2));
    EXPECT_EQ(grid.GetCell(3, 0), nullptr);
}

TEST_F(GridCtrlTest, DrawsGridLinesHeadersAndTheOutsideArea)
{
    grid.SetItemBkColour(2, 2, QColor(10, 200, 30));
    QImage image = Render();
    QRect cell = grid.GetCellRect(1, 1);
    EXPECT_EQ(QColor(image.pixel(cell.right(), cell.center().y())), QColor(192, 192, 192));
    EXPECT_EQ(QColor(image.pixel(cell.center().x(), cell.bottom())), QColor(192, 192, 192));
    QRect custom = grid.GetCellRect(2, 2);
    EXPECT_EQ(QColor(image.pixel(custom.right() - 2, custom.top() + 2)), QColor(10, 200, 30));
    QRect header = grid.GetCellRect(0, 3);
    EXPECT_EQ(image.pixel(header.right() - 3, header.top() + 3), grid.palette().color(QPalette::Button).rgb());
    QRect last = grid.GetCellRect(7, 4);
    ASSERT_LT(last.right() + 5, image.width());
    EXPECT_EQ(image.pixel(last.right() + 5, 5), grid.GetGridBkColor().rgb());
    EXPECT_EQ(image.pixel(5, last.bottom() + 5), grid.GetGridBkColor().rgb());
}

TEST_F(GridCtrlTest, HeadersStayInPlaceWhenTheRestScrolls)
{
    grid.resize(300, 120);
    grid.SetRowCount(40);
    QRect headerBefore = grid.GetCellRect(0, 1);
    QRect cellBefore = grid.GetCellRect(3, 1);
    ASSERT_GT(grid.verticalScrollBar()->maximum(), 0);
    grid.verticalScrollBar()->setValue(grid.GetRowHeight(1) * 2);
    EXPECT_EQ(grid.GetCellRect(0, 1), headerBefore);
    EXPECT_EQ(grid.GetCellRect(3, 1), cellBefore.translated(0, -2 * grid.GetRowHeight(1)));
    EXPECT_EQ(grid.GetCellFromPt(cellBefore.center()), CCellID(5, 1));
    QImage image = Render();
    EXPECT_EQ(image.pixel(headerBefore.right() - 3, headerBefore.top() + 3),
              grid.palette().color(QPalette::Button).rgb());
}

TEST_F(GridCtrlTest, WheelScrollsByTheDesktopsLinesPerNotch)
{
    grid.resize(300, 120);
    grid.SetRowCount(60);
    test::Wheel(vp(), Centre(2, 2), -1); // one notch towards the user scrolls down
    int rows = CGridCtrl::WheelScrollLines();
    EXPECT_EQ(grid.verticalScrollBar()->value(), rows * grid.GetRowHeight(1));
    test::Wheel(vp(), Centre(2, 2), 1);
    EXPECT_EQ(grid.verticalScrollBar()->value(), 0);
}

TEST_F(GridCtrlTest, MouseSelectsByClickDragShiftAndCtrl)
{
    Click(vp(), Centre(2, 2));
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 2));
    EXPECT_EQ(grid.GetSelectedCellRange(), CCellRange(2, 2, 2, 2));

    Click(vp(), Centre(4, 3), Qt::ShiftModifier);
    EXPECT_EQ(grid.GetSelectedCellRange(), CCellRange(2, 2, 4, 3));
    EXPECT_EQ(grid.GetSelectedCount(), 6);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(4, 3));

    Click(vp(), Centre(6, 1), Qt::ControlModifier);
    EXPECT_EQ(grid.GetSelectedCount(), 7);
    EXPECT_TRUE(grid.IsCellSelected(6, 1));
    Click(vp(), Centre(6, 1), Qt::ControlModifier); // a second Ctrl-click takes it out again
    EXPECT_EQ(grid.GetSelectedCount(), 6);

    // Dragging spans a block from the pressed cell.
    test::Mouse(vp(), QEvent::MouseButtonPress, Centre(5, 4));
    test::Mouse(vp(), QEvent::MouseMove, Centre(3, 2));
    test::Mouse(vp(), QEvent::MouseButtonRelease, Centre(3, 2));
    EXPECT_EQ(grid.GetSelectedCellRange(), CCellRange(3, 2, 5, 4));
    EXPECT_EQ(grid.GetSelectedCount(), 9);

    // Headers select whole columns and rows, the corner everything; fixed
    // cells themselves are never selected.
    Click(vp(), Centre(0, 3));
    EXPECT_EQ(grid.GetSelectedCellRange(), CCellRange(1, 3, 7, 3));
    Click(vp(), Centre(2, 0));
    EXPECT_EQ(grid.GetSelectedCellRange(), CCellRange(2, 1, 2, 4));
    Click(vp(), Centre(0, 0));
    EXPECT_EQ(grid.GetSelectedCount(), 7 * 4);
    for (int c = 0; c < 5; ++c)
        EXPECT_FALSE(grid.GetCell(0, c)->IsSelected());

    grid.EnableSelection(false);
    Click(vp(), Centre(3, 3));
    EXPECT_EQ(grid.GetSelectedCount(), 0);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(3, 3));
}

TEST_F(GridCtrlTest, ArrowKeysMoveTheFocusAndShiftExtends)
{
    Click(vp(), Centre(2, 2));
    Key(&grid, Qt::Key_Down);
    Key(&grid, Qt::Key_Right);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(3, 3));
    EXPECT_EQ(grid.GetSelectedCount(), 1);
    Key(&grid, Qt::Key_Down, Qt::ShiftModifier);
    Key(&grid, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(grid.GetSelectedCellRange(), CCellRange(3, 3, 4, 4));
    // The focus stops at the edges and never enters the headers.
    for (int i = 0; i < 10; ++i)
        Key(&grid, Qt::Key_Up);
    Key(&grid, Qt::Key_Home);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(1, 1));
    Key(&grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(7, 4));
    // A hidden column is stepped over.
    grid.SetColumnWidth(3, 0);
    Key(&grid, Qt::Key_Left);
    EXPECT_EQ(grid.GetFocusCell(), CCellID(7, 2));
}

TEST_F(GridCtrlTest, HeaderEdgesResizeColumnsAndRows)
{
    QRect header = grid.GetCellRect(0, 2);
    int width = grid.GetColumnWidth(2);
    QPoint edge(header.right() + 1, header.center().y());
    test::Mouse(vp(), QEvent::MouseButtonPress, edge);
    test::Mouse(vp(), QEvent::MouseMove, edge + QPoint(35, 0));
    test::Mouse(vp(), QEvent::MouseButtonRelease, edge + QPoint(35, 0));
    EXPECT_EQ(grid.GetColumnWidth(2), width + 35);
    EXPECT_EQ(grid.GetSelectedCount(), 0); // resizing selects nothing

    QRect rowHeader = grid.GetCellRect(3, 0);
    ASSERT_GT(grid.GetRowHeight(3), 0);
    QPoint rowEdge(rowHeader.center().x(), rowHeader.bottom() + 1);
    test::Mouse(vp(), QEvent::MouseButtonPress, rowEdge);
    test::Mouse(vp(), QEvent::MouseMove, rowEdge + QPoint(0, -500));
    test::Mouse(vp(), QEvent::MouseButtonRelease, rowEdge + QPoint(0, -500));
    EXPECT_EQ(grid.GetRowHeight(3), 0); // shrinks to nothing, not below

    grid.SetColumnResize(false);
    edge = QPoint(grid.GetCellRect(0, 1).right() + 1, header.center().y());
    width = grid.GetColumnWidth(1);
    test::Mouse(vp(), QEvent::MouseButtonPress, edge);
    test::Mouse(vp(), QEvent::MouseMove, edge + QPoint(30, 0));
    test::Mouse(vp(), QEvent::MouseButtonRelease, edge + QPoint(30, 0));
    EXPECT_EQ(grid.GetColumnWidth(1), width);
}

// ------------------------------------------------------------ clipboard

TEST_F(GridCtrlTest, CopyGivesOneLinePerRowWithTabs)
{
    grid.SetSelectedRange(CCellRange(2, 1, 3, 3));
    const QString want = "r2c1\tr2c2\tr2c3\r\nr3c1\tr3c2\tr3c3";
    EXPECT_EQ(grid.CopyTextFromGrid(), want);
    grid.OnEditCopy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), want);

    // Zero-size columns and rows are left out; unselected cells in the block are empty.
    grid.SetColumnWidth(2, 0);
    EXPECT_EQ(grid.CopyTextFromGrid(), "r2c1\tr2c3\r\nr3c1\tr3c3");
    grid.SetRowHeight(2, 0);
    EXPECT_EQ(grid.CopyTextFromGrid(), "r3c1\tr3c3");
    grid.SetColumnWidth(2, 50);
    grid.SetRowHeight(2, 20);
    grid.SetSelectedRange(CCellRange(5, 1, 5, 1));
    grid.SetSelectedRange(CCellRange(6, 3, 6, 3), true);
    EXPECT_EQ(grid.CopyTextFromGrid(), "r5c1\t\t\r\n\t\tr6c3");
}

TEST_F(GridCtrlTest, PasteSplitsAtTabsAndCommasFromTheFocusedCell)
{
    QGuiApplication::clipboard()->setText("a, b\tc\r\n d ,e\n");
    grid.SetFocusCell(3, 2);
    ASSERT_TRUE(grid.CanPaste());
    grid.OnEditPaste();
    EXPECT_EQ(grid.GetItemText(3, 2), "a");
    EXPECT_EQ(grid.GetItemText(3, 3), "b");
    EXPECT_EQ(grid.GetItemText(3, 4), "c");
    EXPECT_EQ(grid.GetItemText(4, 2), "d");
    EXPECT_EQ(grid.GetItemText(4, 3), "e");
    EXPECT_EQ(grid.GetItemText(4, 4), CellName(4, 4));
    EXPECT_EQ(grid.GetItemText(5, 2), CellName(5, 2)); // the final line feed starts no line
    EXPECT_TRUE(grid.GetCell(3, 2)->IsModified());

    // What falls outside the grid is dropped.
    QGuiApplication::clipboard()->setText("x,y,z\nw");
    grid.SetFocusCell(7, 3);
    grid.OnEditPaste();
    EXPECT_EQ(grid.GetItemText(7, 3), "x");
    EXPECT_EQ(grid.GetItemText(7, 4), "y");
    EXPECT_EQ(grid.GetRowCount(), 8);
    EXPECT_EQ(grid.GetColumnCount(), 5);
}

TEST_F(GridCtrlTest, CopiedBlocksPasteBackUnchanged)
{
    grid.SetSelectedRange(CCellRange(1, 1, 2, 3));
    grid.OnEditCopy();
    grid.SetFocusCell(5, 2);
    grid.OnEditPaste();
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(grid.GetItemText(5 + r, 2 + c), CellName(1 + r, 1 + c));
}

TEST_F(GridCtrlTest, PasteIsRefusedOnReadOnlyCellsAndNonEditableGrids)
{
    QGuiApplication::clipboard()->setText("new,new");
    grid.SetFocusCell(2, 2);
    grid.SetItemState(2, 2, CellState::ReadOnly);
    EXPECT_FALSE(grid.CanPaste());
    grid.OnEditPaste();
    EXPECT_EQ(grid.GetItemText(2, 2), CellName(2, 2));
    EXPECT_EQ(grid.GetItemText(2, 3), CellName(2, 3));

    // A read-only cell further on keeps its text; the others take theirs.
    grid.SetFocusCell(2, 1);
    grid.OnEditPaste();
    EXPECT_EQ(grid.GetItemText(2, 1), "new");
    EXPECT_EQ(grid.GetItemText(2, 2), CellName(2, 2));

    grid.SetEditable(false);
    grid.SetFocusCell(4, 1);
    EXPECT_FALSE(grid.CanPaste());
    EXPECT_FALSE(grid.CanCut());
    grid.OnEditPaste();
    EXPECT_EQ(grid.GetItemText(4, 1), CellName(4, 1));
}

TEST_F(GridCtrlTest, CutCopiesThenClearsTheWritableSelectedCells)
{
    grid.SetItemState(2, 2, CellState::ReadOnly);
    grid.SetSelectedRange(CCellRange(1, 1, 2, 2));
    grid.OnEditCut();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "r1c1\tr1c2\r\nr2c1\tr2c2");
    EXPECT_EQ(grid.GetItemText(1, 1), "");
    EXPECT_EQ(grid.GetItemText(2, 1), "");
    EXPECT_EQ(grid.GetItemText(2, 2), CellName(2, 2));
}

TEST_F(GridCtrlTest, CommandsReportWhetherTheyArePossible)
{
    bool enabled = true;
    EXPECT_TRUE(grid.OfferCommand(int(EditCommand::Copy), false, &enabled));
    EXPECT_FALSE(enabled); // nothing selected
    EXPECT_TRUE(grid.OfferCommand(int(EditCommand::Paste), false, &enabled));
    EXPECT_FALSE(enabled); // no focused cell, empty clipboard
    EXPECT_TRUE(grid.OfferCommand(int(EditCommand::SelectAll), false, &enabled));
    EXPECT_TRUE(enabled);
    EXPECT_FALSE(grid.OfferCommand(32773, true, &enabled)); // not a grid command

    int changes = 0;
    QObject::connect(&grid, &CGridCtrl::editCommandsChanged, [&] { ++changes; });
    EXPECT_TRUE(grid.OfferCommand(int(EditCommand::SelectAll), true));
    EXPECT_GT(changes, 0);
    EXPECT_EQ(grid.GetSelectedCount(), 7 * 4);
    EXPECT_TRUE(grid.CanCopy());
    EXPECT_TRUE(grid.CanCut());
    EXPECT_TRUE(grid.OfferCommand(int(EditCommand::Copy), true, &enabled));
    EXPECT_TRUE(enabled);
    EXPECT_EQ(QGuiApplication::clipboard()->text().count("\r\n"), 6);
    grid.SetFocusCell(1, 1);
    EXPECT_TRUE(grid.CanPaste());

    // A grid without data cells has nothing to select.
    CGridCtrl empty;
    empty.SetRowCount(1);
    empty.SetColumnCount(3);
    empty.SetFixedRowCount(1);
    EXPECT_FALSE(empty.CanSelectAll());
}

// ------------------------------------------------------------ in-place editing

enum class Start { DoubleClick, Typing };

struct EditKeyCase {
    const char *name;
    Start start;
    int key;
    Qt::KeyboardModifiers mods;
    bool stillEditing;
    const char *cellText; // after the edit box held "new"
    CCellID focus;        // the focused cell afterwards
};

class InPlaceEditKeys : public ::testing::TestWithParam<EditKeyCase>, public GridSetup<>
{
};

TEST_P(InPlaceEditKeys, EndTheEditAsTheKeyRulesSay)
{
    const EditKeyCase &c = GetParam();
    if (c.start == Start::DoubleClick) {
        test::DoubleClick(vp(), Centre(3, 2));
    } else {
        grid.SetFocusCell(3, 2);
        test::Type(&grid, 'n');
    }
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(Editor()->StartedByTyping(), c.start == Start::Typing);
    EXPECT_EQ(Editor()->text(), c.start == Start::Typing ? QString("n") : CellName(3, 2));
    Editor()->setText("new");
    Key(Editor(), c.key, c.mods);
    test::FlushDeletes();
    EXPECT_EQ(grid.IsEditing(), c.stillEditing);
    EXPECT_EQ(grid.GetItemText(3, 2), c.cellText == nullptr ? CellName(3, 2) : QString(c.cellText));
    EXPECT_EQ(grid.GetFocusCell(), c.focus);
}

const EditKeyCase kEditKeyCases[] = {
    {"EnterKeeps", Start::DoubleClick, Qt::Key_Return, Qt::NoModifier, false, "new", {3, 2}},
    {"TabKeeps", Start::DoubleClick, Qt::Key_Tab, Qt::NoModifier, false, "new", {3, 2}},
    {"EscapeRestores", Start::DoubleClick, Qt::Key_Escape, Qt::NoModifier, false, nullptr, {3, 2}},
    {"EscapeRestoresTyped", Start::Typing, Qt::Key_Escape, Qt::NoModifier, false, nullptr, {3, 2}},
    {"ArrowMovesCaret", Start::DoubleClick, Qt::Key_Left, Qt::NoModifier, true, nullptr, {3, 2}},
    {"DownMovesCaret", Start::DoubleClick, Qt::Key_Down, Qt::NoModifier, true, nullptr, {3, 2}},
    {"PageDownMovesCaret", Start::DoubleClick, Qt::Key_PageDown, Qt::NoModifier, true, nullptr, {3, 2}},
    {"CtrlDownMovesFocus", Start::DoubleClick, Qt::Key_Down, Qt::ControlModifier, false, "new", {4, 2}},
    {"CtrlLeftMovesFocus", Start::DoubleClick, Qt::Key_Left, Qt::ControlModifier, false, "new", {3, 1}},
    {"TypedDownMovesFocus", Start::Typing, Qt::Key_Down, Qt::NoModifier, false, "new", {4, 2}},
    {"TypedUpMovesFocus", Start::Typing, Qt::Key_Up, Qt::NoModifier, false, "new", {2, 2}},
    {"TypedRightMovesFocus", Start::Typing, Qt::Key_Right, Qt::NoModifier, false, "new", {3, 3}},
    {"TypedLeftMovesFocus", Start::Typing, Qt::Key_Left, Qt::NoModifier, false, "new", {3, 1}},
    {"TypedPageDownMovesFocus", Start::Typing, Qt::Key_PageDown, Qt::NoModifier, false, "new", {7, 2}},
    {"TypedPageUpMovesFocus", Start::Typing, Qt::Key_PageUp, Qt::NoModifier, false, "new", {1, 2}},
    {"TypedEnterKeeps", Start::Typing, Qt::Key_Enter, Qt::NoModifier, false, "new", {3, 2}},
};

INSTANTIATE_TEST_SUITE_P(Grid, InPlaceEditKeys, ::testing::ValuesIn(kEditKeyCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(GridCtrlTest, LosingTheFocusEndsTheEditKeepingTheText)
{
    ASSERT_TRUE(grid.EditCell(2, 3));
    Editor()->setText("kept");
    QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(Editor(), &out);
    test::FlushDeletes();
    EXPECT_FALSE(grid.IsEditing());
    EXPECT_EQ(grid.GetItemText(2, 3), "kept");
}

TEST_F(GridCtrlTest, TheEditBoxSitsOnTheCellAndGrowsToTheRight)
{
    ASSERT_TRUE(grid.EditCell(2, 1));
    QRect cell = grid.GetCellRect(2, 1);
    EXPECT_EQ(Editor()->geometry().topLeft(), cell.topLeft());
    EXPECT_EQ(Editor()->width(), cell.width() - 1);
    EXPECT_EQ(Editor()->font(), grid.GetCell(2, 1)->EffectiveFont());
    QFontMetrics fm(Editor()->font());
    Editor()->setText("a somewhat longer text");
    EXPECT_EQ(Editor()->width(), fm.horizontalAdvance("a somewhat longer text") + 2 * fm.horizontalAdvance(' '));
    Editor()->setText(QString(200, 'W'));
    EXPECT_EQ(Editor()->geometry().right(), vp()->width() - 1); // stops at the grid's right edge
}

TEST_F(GridCtrlTest, FixedCellsRefuseEditing)
{
    EXPECT_FALSE(grid.EditCell(0, 2));
    EXPECT_FALSE(grid.EditCell(3, 0));
    EXPECT_FALSE(grid.EditCell(0, 0));
    test::DoubleClick(vp(), Centre(0, 2));
    test::DoubleClick(vp(), Centre(4, 0));
    EXPECT_FALSE(grid.IsEditing());
    EXPECT_FALSE(grid.IsCellEditable(0, 2));
    EXPECT_FALSE(grid.IsCellEditable(3, 0));
    // The focus never rests on a fixed cell, so typing cannot edit one either.
    grid.SetFocusCell(0, 2);
    EXPECT_FALSE(grid.GetFocusCell().IsValid());

    grid.SetItemState(2, 2, CellState::ReadOnly);
    EXPECT_FALSE(grid.EditCell(2, 2));
    grid.SetEditable(false);
    EXPECT_FALSE(grid.EditCell(2, 3));
    test::DoubleClick(vp(), Centre(2, 3));
    EXPECT_FALSE(grid.IsEditing());
}

// Rejects "bad" in its validation.
class ValidatingGrid : public CGridCtrl
{
public:
    bool ValidateEdit(int, int, const QString &text) override { return text != "bad"; }
};

TEST(GridEndEdit, ValidationAndTheParentCanVetoTheNewText)
{
    GridSetup<ValidatingGrid> s;
    std::vector<QString> notices;
    bool parentRejects = false;
    QObject::connect(&s.grid, &CGridCtrl::endEdit, [&](int row, int col, const QString &text, bool *reject) {
        notices.push_back(QString("%1,%2:%3").arg(row).arg(col).arg(text));
        *reject = parentRejects;
    });
    s.grid.OnEndEditCell(2, 2, "good");
    EXPECT_EQ(s.grid.GetItemText(2, 2), "good");
    s.grid.OnEndEditCell(2, 2, "good"); // unchanged: no notice
    s.grid.OnEndEditCell(2, 2, "bad");
    EXPECT_EQ(s.grid.GetItemText(2, 2), "good");
    parentRejects = true;
    s.grid.OnEndEditCell(2, 2, "vetoed");
    EXPECT_EQ(s.grid.GetItemText(2, 2), "good");
    EXPECT_EQ(notices, (std::vector<QString>{"2,2:good", "2,2:vetoed"}));
}

TEST(GridEndEdit, TheDavaroGridPassesTheHookThrough)
{
    GridSetup<CDavaroGrid> s;
    bool parentRejects = true;
    int notices = 0;
    QObject::connect(&s.grid, &CGridCtrl::endEdit, [&](int, int, const QString &, bool *reject) {
        ++notices;
        *reject = parentRejects;
    });
    ASSERT_TRUE(s.grid.EditCell(4, 4));
    s.Editor()->setText("typed");
    Key(s.Editor(), Qt::Key_Return);
    test::FlushDeletes();
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(s.grid.GetItemText(4, 4), CellName(4, 4));
    parentRejects = false;
    s.grid.OnEndEditCell(4, 4, "typed");
    EXPECT_EQ(s.grid.GetItemText(4, 4), "typed");
}

TEST_F(GridCtrlTest, WhileEditingTheCommandsActOnTheEditBox)
{
    Click(vp(), Centre(2, 2));
    ASSERT_TRUE(grid.EditCell(2, 2));
    Editor()->setText("abc def");
    Editor()->setSelection(4, 3);
    EXPECT_TRUE(grid.CanCopy());
    grid.OnEditCopy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "def");
    grid.OnEditSelectAll();
    EXPECT_EQ(Editor()->selectedText(), "abc def");
    EXPECT_EQ(grid.GetSelectedCount(), 1); // the grid's own selection is untouched
}

// ------------------------------------------------------------ title tips

TEST_F(GridCtrlTest, ClippedTextShowsAnEllipsisAndItsTitleTip)
{
    const QString longText = "A text far too long for the narrow column it sits in";
    grid.SetItemText(2, 2, longText);
    grid.SetColumnWidth(2, 60);
    const CGridCellBase *cell = grid.GetCell(2, 2);
    QRect rect = grid.GetCellRect(2, 2);
    ASSERT_TRUE(cell->IsTextClipped(rect));
    QString shown = cell->DisplayText(rect);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(longText.startsWith(shown.chopped(1)));

    CTitleTip *tip = grid.GetTitleTip();
    Hover(vp(), rect.center());
    ASSERT_TRUE(tip->isVisible());
    EXPECT_EQ(tip->Text(), " " + longText + " ");
    QFontMetrics fm(cell->EffectiveFont());
    EXPECT_EQ(tip->width(), fm.horizontalAdvance(" " + longText + " "));
    EXPECT_EQ(tip->geometry().topLeft(), vp()->mapToGlobal(rect.topLeft()));
    EXPECT_TRUE(tip->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(tip->windowFlags() & Qt::WindowTransparentForInput);

    // Within the cell it stays; out of it, it goes.
    Hover(vp(), rect.center() + QPoint(10, 0));
    EXPECT_TRUE(tip->isVisible());
    Hover(vp(), Centre(3, 3));
    EXPECT_FALSE(tip->isVisible());

    // A click that lands on the tip goes to the grid below.
    Hover(vp(), rect.center());
    ASSERT_TRUE(tip->isVisible());
    QPoint onTip = tip->mapFromGlobal(vp()->mapToGlobal(rect.center()));
    test::Mouse(tip, QEvent::MouseButtonPress, onTip);
    test::Mouse(tip, QEvent::MouseButtonRelease, onTip);
    EXPECT_FALSE(tip->isVisible());
    EXPECT_EQ(grid.GetFocusCell(), CCellID(2, 2));
    EXPECT_TRUE(grid.IsCellSelected(2, 2));
    // ... and a second one soon after makes a double-click: the edit opens.
    test::Mouse(vp(), QEvent::MouseButtonPress, rect.center());
    EXPECT_TRUE(grid.IsEditing());
}

TEST_F(GridCtrlTest, TextsThatFitShowNoTitleTip)
{
    Hover(vp(), Centre(2, 2));
    EXPECT_FALSE(grid.GetTitleTip()->isVisible());
    grid.SetItemText(2, 2, QString(80, 'x'));
    grid.EnableTitleTips(false);
    Hover(vp(), Centre(2, 2));
    EXPECT_FALSE(grid.GetTitleTip()->isVisible());
}

} // namespace
} // namespace kivo

namespace kivo {
namespace {

struct ShortcutCase {
    int key;
    Qt::KeyboardModifiers mods;
    const char *what; // "copy", "cut" or "paste"
};

class GridShortcuts : public ::testing::TestWithParam<ShortcutCase>, public GridSetup<>
{
};

TEST_P(GridShortcuts, ReachTheClipboardCommands)
{
    const ShortcutCase &c = GetParam();
    QGuiApplication::clipboard()->setText("from clipboard");
    grid.SetSelectedRange(CCellRange(2, 2, 2, 3));
    grid.SetFocusCell(5, 1);
    Key(&grid, c.key, c.mods);
    const QString what = c.what;
    if (what == "paste") {
        EXPECT_EQ(grid.GetItemText(5, 1), "from clipboard");
    } else {
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "r2c2\tr2c3");
        EXPECT_EQ(grid.GetItemText(2, 2), what == "cut" ? QString() : CellName(2, 2));
    }
}

INSTANTIATE_TEST_SUITE_P(Grid, GridShortcuts,
                         ::testing::Values(ShortcutCase{Qt::Key_C, Qt::ControlModifier, "copy"},
                                           ShortcutCase{Qt::Key_Insert, Qt::ControlModifier, "copy"},
                                           ShortcutCase{Qt::Key_X, Qt::ControlModifier, "cut"},
                                           ShortcutCase{Qt::Key_Delete, Qt::ShiftModifier, "cut"},
                                           ShortcutCase{Qt::Key_V, Qt::ControlModifier, "paste"},
                                           ShortcutCase{Qt::Key_Insert, Qt::ShiftModifier, "paste"}));

} // namespace
} // namespace kivo
