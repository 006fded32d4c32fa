#pragma once
// The grid's geometry as plain functions of the row heights, column widths,
// fixed counts and scroll position, so that layout, hit-testing and scrolling
// are the same wherever they are used (painting, the mouse, the tests).
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <vector>

namespace kivo {

struct CCellID {
    int row = -1;
    int col = -1;
    CCellID() = default;
    CCellID(int r, int c) : row(r), col(c) {}
    bool IsValid() const { return row >= 0 && col >= 0; }
    bool operator==(const CCellID &) const = default;
    auto operator<=>(const CCellID &) const = default;
};

// An inclusive block of cells; invalid when empty.
struct CCellRange {
    int minRow = -1;
    int minCol = -1;
    int maxRow = -1;
    int maxCol = -1;
    CCellRange() = default;
    CCellRange(int r1, int c1, int r2, int c2) : minRow(r1), minCol(c1), maxRow(r2), maxCol(c2) {}
    // The block spanned by two corners in any order.
    static CCellRange Spanning(CCellID a, CCellID b);
    bool IsValid() const { return minRow >= 0 && minCol >= 0 && minRow <= maxRow && minCol <= maxCol; }
    bool Contains(CCellID id) const
    {
        return IsValid() && id.row >= minRow && id.row <= maxRow && id.col >= minCol && id.col <= maxCol;
    }
    int RowSpan() const { return IsValid() ? maxRow - minRow + 1 : 0; }
    int ColSpan() const { return IsValid() ? maxCol - minCol + 1 : 0; }
    bool operator==(const CCellRange &) const = default;
};

struct GridLayout {
    std::vector<int> colWidths;  // by display position
    std::vector<int> rowHeights; // by row
    int fixedRows = 0;
    int fixedCols = 0;
    QPoint scroll; // pixels scrolled off the non-fixed area, x and y

    int Rows() const { return int(rowHeights.size()); }
    int Cols() const { return int(colWidths.size()); }
    int FixedWidth() const;
    int FixedHeight() const;
    int TotalWidth() const;
    int TotalHeight() const;
};

// The cell's rectangle in client coordinates, its right column and bottom
// row of pixels holding the grid lines. Fixed rows and columns ignore the
// scroll position in their own direction. Invalid for cells outside.
QRect CellRect(const GridLayout &layout, int row, int col);

// The cell under `pt`, or an invalid id when `pt` is beyond the last row or
// column (or left of / above the grid).
CCellID CellAt(const GridLayout &layout, QPoint pt);

// Resizing handles: the column whose right edge lies within `tolerance`
// pixels of `pt` while `pt` is in a fixed row (the row whose bottom edge,
// while in a fixed column); -1 when there is none.
int ColumnEdgeAt(const GridLayout &layout, QPoint pt, int tolerance);
int RowEdgeAt(const GridLayout &layout, QPoint pt, int tolerance);

// The largest scroll offsets that still show the grid's far end in a
// viewport of `viewport` pixels (0 when everything fits).
QPoint MaxScroll(const GridLayout &layout, QSize viewport);

// The scroll position after which cell (row, col) is wholly visible in
// `viewport`, moving as little as possible.
QPoint ScrollToShow(const GridLayout &layout, QSize viewport, int row, int col);

// The vertical scroll offset after turning the wheel by `lines` rows (down
// for positive numbers): each line is one row's height, starting from the
// row at the top of the scrolled area; clamped to 0..maxY.
int WheelScroll(const GridLayout &layout, int lines, int maxY);

// The non-fixed rows (or columns) at least partly visible: first and last,
// or an empty range when none.
struct IndexSpan {
    int first = 0;
    int last = -1;
};
IndexSpan VisibleRows(const GridLayout &layout, int viewportHeight);
IndexSpan VisibleCols(const GridLayout &layout, int viewportWidth);

// Width of the in-place editor for a text `textWidth` pixels wide: the
// cell's width at least, the text plus two spaces when longer, never past
// `rightEdge` (the grid's client width) from `left`.
int InPlaceEditWidth(int cellWidth, int textWidth, int spaceWidth, int left, int rightEdge);

// Clipboard texts: rows of cell texts joined with tabs, rows separated by
// CR LF (no line end after the last).
QString JoinClipboardText(const std::vector<std::vector<QString>> &rows);
// The pieces of a pasted text: lines cut at each line feed, each line cut
// at each tab or comma, every piece trimmed. A final line feed does not
// start another line.
std::vector<std::vector<QString>> SplitClipboardText(const QString &text);

} // namespace kivo
