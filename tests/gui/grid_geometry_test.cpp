// The grid's layout, hit-testing, scrolling and clipboard texts as plain
// functions.
#include "grid/gridcell.h"
#include "grid/gridgeometry.h"

#include <QFontMetrics>
#include <gtest/gtest.h>

namespace kivo {
namespace {

// A header row of 20 and four rows of 24; a header column of 40 and three of 100.
GridLayout SampleLayout(QPoint scroll = {})
{
    GridLayout layout;
    layout.colWidths = {40, 100, 100, 100};
    layout.rowHeights = {20, 24, 24, 24, 24};
    layout.fixedRows = 1;
    layout.fixedCols = 1;
    layout.scroll = scroll;
    return layout;
}

TEST(GridGeometry, CellRectsKeepFixedCellsInPlaceWhenScrolled)
{
    GridLayout still = SampleLayout();
    EXPECT_EQ(CellRect(still, 0, 0), QRect(0, 0, 40, 20));
    EXPECT_EQ(CellRect(still, 1, 1), QRect(40, 20, 100, 24));
    EXPECT_EQ(CellRect(still, 4, 3), QRect(240, 92, 100, 24));
    EXPECT_EQ(still.TotalWidth(), 340);
    EXPECT_EQ(still.TotalHeight(), 116);

    GridLayout scrolled = SampleLayout({50, 24});
    EXPECT_EQ(CellRect(scrolled, 0, 0), QRect(0, 0, 40, 20));   // corner
    EXPECT_EQ(CellRect(scrolled, 0, 2), QRect(90, 0, 100, 20)); // header row: x scrolls only
    EXPECT_EQ(CellRect(scrolled, 2, 0), QRect(0, 20, 40, 24));  // header column: y scrolls only
    EXPECT_EQ(CellRect(scrolled, 2, 2), QRect(90, 20, 100, 24));

    EXPECT_FALSE(CellRect(still, 5, 0).isValid());
    EXPECT_FALSE(CellRect(still, 0, 4).isValid());
    EXPECT_FALSE(CellRect(still, -1, 0).isValid());
}

TEST(GridGeometry, CellAtFindsTheCellUnderAPoint)
{
    struct Case {
        QPoint scroll, pt;
        CCellID want;
    } cases[] = {
        {{0, 0}, {0, 0}, {0, 0}},
        {{0, 0}, {39, 19}, {0, 0}},
        {{0, 0}, {40, 20}, {1, 1}},
        {{0, 0}, {139, 43}, {1, 1}},
        {{0, 0}, {140, 44}, {2, 2}},
        {{0, 0}, {339, 115}, {4, 3}},
        {{0, 0}, {340, 50}, {}}, // right of the last column
        {{0, 0}, {50, 116}, {}}, // below the last row
        {{0, 0}, {-1, 5}, {}},
        {{50, 24}, {45, 25}, {2, 1}}, // the scrolled-off part of column 1 is under the
                                      // header column
        {{50, 24}, {90, 5}, {0, 2}},
        {{50, 24}, {10, 30}, {2, 0}},
        {{50, 24}, {289, 5}, {0, 3}},
        {{50, 24}, {100, 100}, {}}, // nothing below the last row after scrolling
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "scroll " << c.scroll.x() << "," << c.scroll.y() << " pt " << c.pt.x() << ","
                                        << c.pt.y());
        EXPECT_EQ(CellAt(SampleLayout(c.scroll), c.pt), c.want);
    }
}

TEST(GridGeometry, ResizeHandlesSitOnHeaderEdges)
{
    GridLayout layout = SampleLayout();
    EXPECT_EQ(ColumnEdgeAt(layout, {140, 10}, 3), 1);
    EXPECT_EQ(ColumnEdgeAt(layout, {137, 10}, 3), 1);
    EXPECT_EQ(ColumnEdgeAt(layout, {143, 10}, 3), 1);
    EXPECT_EQ(ColumnEdgeAt(layout, {144, 10}, 3), -1);
    EXPECT_EQ(ColumnEdgeAt(layout, {40, 10}, 3), 0);
    EXPECT_EQ(ColumnEdgeAt(layout, {140, 30}, 3), -1); // not in the header row
    EXPECT_EQ(RowEdgeAt(layout, {10, 44}, 3), 1);
    EXPECT_EQ(RowEdgeAt(layout, {10, 20}, 3), 0);
    EXPECT_EQ(RowEdgeAt(layout, {50, 44}, 3), -1);

    // A column pushed to zero width can be pulled open again: its edge wins.
    layout.colWidths[2] = 0;
    EXPECT_EQ(ColumnEdgeAt(layout, {140, 10}, 3), 2);
    // Edges scrolled under the fixed column are not handles.
    GridLayout scrolled = SampleLayout({100, 0});
    EXPECT_EQ(ColumnEdgeAt(scrolled, {40, 10}, 3), 0);
    EXPECT_EQ(ColumnEdgeAt(scrolled, {140, 10}, 3), 2);
}

TEST(GridGeometry, ScrollingLimitsAndBringingCellsIntoView)
{
    GridLayout layout = SampleLayout();
    EXPECT_EQ(MaxScroll(layout, {200, 70}), QPoint(140, 46));
    EXPECT_EQ(MaxScroll(layout, {400, 200}), QPoint(0, 0));

    // A viewport of 200 x 70 shows 160 x 50 of scrolling cells.
    EXPECT_EQ(ScrollToShow(layout, {200, 70}, 1, 1), QPoint(0, 0));
    EXPECT_EQ(ScrollToShow(layout, {200, 70}, 4, 3), QPoint(140, 46));
    EXPECT_EQ(ScrollToShow(layout, {200, 70}, 3, 2), QPoint(40, 22));
    EXPECT_EQ(ScrollToShow(SampleLayout({140, 46}), {200, 70}, 1, 1), QPoint(0, 0));
    EXPECT_EQ(ScrollToShow(SampleLayout({30, 10}), {200, 70}, 0, 0), QPoint(30, 10)); // fixed: no move

    IndexSpan rows = VisibleRows(layout, 70);
    EXPECT_EQ(rows.first, 1);
    EXPECT_EQ(rows.last, 3);
    IndexSpan cols = VisibleCols(SampleLayout({110, 0}), 200);
    EXPECT_EQ(cols.first, 2);
    EXPECT_EQ(cols.last, 3);
}

TEST(GridGeometry, WheelScrollsWholeRows)
{
    GridLayout layout;
    layout.rowHeights = {20, 10, 30, 10, 10, 10, 10};
    layout.colWidths = {50};
    layout.fixedRows = 1;
    struct Case {
        int from, lines, want;
    } cases[] = {
        {0, 3, 50},                             // rows of 10, 30 and 10
        {0, 1, 10},   {15, 1, 40},              // halfway into a row: to the next row's start
        {15, -1, 10},                           // back to the start of the row at the top
        {40, -2, 0},  {40, -9, 0}, {0, 99, 60}, // clamped to the largest offset
        {50, 0, 50},
    };
    for (const Case &c : cases) {
        layout.scroll = QPoint(0, c.from);
        EXPECT_EQ(WheelScroll(layout, c.lines, 60), c.want) << c.from << " by " << c.lines;
    }
}

TEST(GridGeometry, InPlaceEditGrowsToTheRightUpToTheGridEdge)
{
    EXPECT_EQ(InPlaceEditWidth(100, 50, 4, 10, 500), 100);   // fits: the cell's width
    EXPECT_EQ(InPlaceEditWidth(100, 120, 4, 10, 500), 128);  // the text and two spaces
    EXPECT_EQ(InPlaceEditWidth(100, 300, 4, 300, 500), 200); // stops at the right edge
    EXPECT_EQ(InPlaceEditWidth(100, 300, 4, 450, 500), 100); // never narrower than the cell
}

TEST(GridClipboardText, JoinsWithTabsAndCrLf)
{
    EXPECT_EQ(JoinClipboardText({{"a", "b", "c"}, {"d", "", "f"}}), QString("a\tb\tc\r\nd\t\tf"));
    EXPECT_EQ(JoinClipboardText({{"x"}}), QString("x"));
    EXPECT_EQ(JoinClipboardText({}), QString());
}

TEST(GridClipboardText, SplitsAtLineFeedsTabsAndCommasAndTrims)
{
    using Rows = std::vector<std::vector<QString>>;
    struct Case {
        QString text;
        Rows want;
    } cases[] = {
        {"a\tb\tc\r\nd\te\tf", Rows{{"a", "b", "c"}, {"d", "e", "f"}}},
        {"a,b\tc\n d , e \n", Rows{{"a", "b", "c"}, {"d", "e"}}},
        {"one", Rows{{"one"}}},
        {"a,,b", Rows{{"a", "", "b"}}},
        {"\n\nx", Rows{{""}, {""}, {"x"}}},
        {"", Rows{}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SplitClipboardText(c.text), c.want) << c.text.toStdString();
}

TEST(GridCellSizes, ComeFromTheFontOrTheFallbacks)
{
    CellSizes none = DefaultCellSizes(nullptr);
    EXPECT_EQ(none.margin, 3);
    EXPECT_EQ(none.width, 40);
    EXPECT_EQ(none.height, 16);

    QFont font;
    font.setPixelSize(13);
    QFontMetrics fm(font);
    CellSizes sizes = DefaultCellSizes(&font);
    EXPECT_EQ(sizes.margin, fm.horizontalAdvance(' '));
    EXPECT_EQ(sizes.width, fm.horizontalAdvance(" XXXXXXXXXXXX "));
    EXPECT_EQ(sizes.height, qRound(fm.height() * 1.5));
}

TEST(GridCellText, CutTextsEndWithAnEllipsis)
{
    QFont font;
    font.setPixelSize(12);
    const QString text = "Used for Programming the P2 and Standard I/O";
    QString cut = ElidedCellText(text, font, GridFormat::Standard, 60);
    EXPECT_TRUE(cut.endsWith(QChar(0x2026))) << cut.toStdString();
    EXPECT_LE(QFontMetrics(font).horizontalAdvance(cut), 60);
    EXPECT_EQ(ElidedCellText(text, font, GridFormat::Standard, 2000), text);
    EXPECT_EQ(ElidedCellText(text, font, GridFormat::Left | GridFormat::SingleLine, 60), text); // no ellipsis flag
}

} // namespace
} // namespace kivo
