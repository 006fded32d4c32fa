#include "grid/gridgeometry.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace kivo {

CCellRange CCellRange::Spanning(CCellID a, CCellID b)
{
    return CCellRange(std::min(a.row, b.row), std::min(a.col, b.col), std::max(a.row, b.row), std::max(a.col, b.col));
}

namespace {

int Sum(const std::vector<int> &v, int from, int to)
{
    from = std::clamp(from, 0, int(v.size()));
    to = std::clamp(to, from, int(v.size()));
    return std::accumulate(v.begin() + from, v.begin() + to, 0);
}

// Start of `index` along one axis in client coordinates.
int Start(const std::vector<int> &sizes, int fixed, int scroll, int index)
{
    if (index < fixed)
        return Sum(sizes, 0, index);
    return Sum(sizes, 0, fixed) + Sum(sizes, fixed, index) - scroll;
}

// The index under client coordinate `pos` along one axis, or -1.
int IndexAt(const std::vector<int> &sizes, int fixed, int scroll, int pos)
{
    if (pos < 0)
        return -1;
    int n = int(sizes.size());
    fixed = std::min(fixed, n);
    int fixedExtent = Sum(sizes, 0, fixed);
    int acc = 0;
    int i = 0;
    if (pos < fixedExtent) {
        for (; i < fixed; ++i) {
            if (pos < acc + sizes[i])
                return i;
            acc += sizes[i];
        }
        return -1;
    }
    int p = pos - fixedExtent + scroll;
    acc = 0;
    for (i = fixed; i < n; ++i) {
        if (p < acc + sizes[i])
            return i;
        acc += sizes[i];
    }
    return -1;
}

int EdgeAt(const std::vector<int> &sizes, int fixed, int scroll, int pos, int tolerance)
{
    int n = int(sizes.size());
    int fixedExtent = Sum(sizes, 0, std::min(fixed, n));
    int best = -1;
    int bestDistance = tolerance + 1;
    for (int i = 0; i < n; ++i) {
        int edge = Start(sizes, fixed, scroll, i) + sizes[i];
        if (i >= fixed && edge <= fixedExtent)
            continue; // scrolled under the fixed part
        int d = std::abs(pos - edge);
        if (d <= tolerance && d <= bestDistance) { // ties: the later one, so hidden ones can be pulled open
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

int ScrollAxis(const std::vector<int> &sizes, int fixed, int scroll, int viewport, int index, int maxScroll)
{
    if (index < fixed || index >= int(sizes.size()))
        return scroll;
    int area = viewport - Sum(sizes, 0, fixed);
    int start = Sum(sizes, fixed, index);
    int end = start + sizes[index];
    if (start < scroll)
        scroll = start;
    else if (end > scroll + area)
        scroll = std::min(start, end - area);
    return std::clamp(scroll, 0, std::max(maxScroll, 0));
}

IndexSpan Visible(const std::vector<int> &sizes, int fixed, int scroll, int viewport)
{
    IndexSpan span;
    int fixedExtent = Sum(sizes, 0, fixed);
    bool any = false;
    for (int i = fixed; i < int(sizes.size()); ++i) {
        int start = Start(sizes, fixed, scroll, i);
        int end = start + sizes[i];
        if (start >= viewport)
            break;
        if (end <= fixedExtent || sizes[i] <= 0)
            continue;
        if (!any)
            span.first = i;
        span.last = i;
        any = true;
    }
    if (!any)
        span = IndexSpan{fixed, fixed - 1};
    return span;
}

} // namespace

int GridLayout::FixedWidth() const { return Sum(colWidths, 0, fixedCols); }
int GridLayout::FixedHeight() const { return Sum(rowHeights, 0, fixedRows); }
int GridLayout::TotalWidth() const { return Sum(colWidths, 0, Cols()); }
int GridLayout::TotalHeight() const { return Sum(rowHeights, 0, Rows()); }

QRect CellRect(const GridLayout &layout, int row, int col)
{
    if (row < 0 || col < 0 || row >= layout.Rows() || col >= layout.Cols())
        return QRect();
    int x = Start(layout.colWidths, layout.fixedCols, layout.scroll.x(), col);
    int y = Start(layout.rowHeights, layout.fixedRows, layout.scroll.y(), row);
    return QRect(x, y, layout.colWidths[col], layout.rowHeights[row]);
}

CCellID CellAt(const GridLayout &layout, QPoint pt)
{
    int col = IndexAt(layout.colWidths, layout.fixedCols, layout.scroll.x(), pt.x());
    int row = IndexAt(layout.rowHeights, layout.fixedRows, layout.scroll.y(), pt.y());
    if (row < 0 || col < 0)
        return CCellID();
    return CCellID(row, col);
}

int ColumnEdgeAt(const GridLayout &layout, QPoint pt, int tolerance)
{
    if (pt.y() < 0 || pt.y() >= layout.FixedHeight())
        return -1;
    return EdgeAt(layout.colWidths, layout.fixedCols, layout.scroll.x(), pt.x(), tolerance);
}

int RowEdgeAt(const GridLayout &layout, QPoint pt, int tolerance)
{
    if (pt.x() < 0 || pt.x() >= layout.FixedWidth())
        return -1;
    return EdgeAt(layout.rowHeights, layout.fixedRows, layout.scroll.y(), pt.y(), tolerance);
}

QPoint MaxScroll(const GridLayout &layout, QSize viewport)
{
    return QPoint(std::max(0, layout.TotalWidth() - viewport.width()),
                  std::max(0, layout.TotalHeight() - viewport.height()));
}

QPoint ScrollToShow(const GridLayout &layout, QSize viewport, int row, int col)
{
    QPoint max = MaxScroll(layout, viewport);
    int x = ScrollAxis(layout.colWidths, layout.fixedCols, layout.scroll.x(), viewport.width(), col, max.x());
    int y = ScrollAxis(layout.rowHeights, layout.fixedRows, layout.scroll.y(), viewport.height(), row, max.y());
    return QPoint(x, y);
}

int WheelScroll(const GridLayout &layout, int lines, int maxY)
{
    const auto &h = layout.rowHeights;
    int fixed = std::min(layout.fixedRows, layout.Rows());
    int y = layout.scroll.y();
    // Starts of the non-fixed rows in scrolled coordinates.
    std::vector<int> starts;
    int acc = 0;
    for (int r = fixed; r < layout.Rows(); ++r) {
        starts.push_back(acc);
        acc += h[r];
    }
    if (starts.empty())
        return 0;
    int top = 0;
    while (top + 1 < int(starts.size()) && starts[top + 1] <= y)
        ++top;
    int target = top;
    if (lines > 0)
        target = top + lines;
    else if (lines < 0)
        target = (y > starts[top]) ? top + lines + 1 : top + lines;
    int result = target >= int(starts.size()) ? acc : starts[std::max(target, 0)];
    return std::clamp(result, 0, std::max(maxY, 0));
}

IndexSpan VisibleRows(const GridLayout &layout, int viewportHeight)
{
    return Visible(layout.rowHeights, layout.fixedRows, layout.scroll.y(), viewportHeight);
}

IndexSpan VisibleCols(const GridLayout &layout, int viewportWidth)
{
    return Visible(layout.colWidths, layout.fixedCols, layout.scroll.x(), viewportWidth);
}

int InPlaceEditWidth(int cellWidth, int textWidth, int spaceWidth, int left, int rightEdge)
{
    int wanted = textWidth + 2 * spaceWidth;
    if (wanted <= cellWidth)
        return cellWidth;
    return std::max(cellWidth, std::min(wanted, rightEdge - left));
}

QString JoinClipboardText(const std::vector<std::vector<QString>> &rows)
{
    QStringList lines;
    for (const auto &row : rows)
        lines << QStringList(row.begin(), row.end()).join(QLatin1Char('\t'));
    return lines.join(QStringLiteral("\r\n"));
}

std::vector<std::vector<QString>> SplitClipboardText(const QString &text)
{
    std::vector<std::vector<QString>> rows;
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    static const QRegularExpression separators(QStringLiteral("[\t,]"));
    for (const QString &line : lines) {
        std::vector<QString> pieces;
        for (const QString &piece : line.split(separators))
            pieces.push_back(piece.trimmed());
        rows.push_back(std::move(pieces));
    }
    return rows;
}

} // namespace kivo
