#include "grid/gridctrl.h"

#include "grid/inplaceedit.h"
#include "grid/titletip.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QStyleHints>
#include <QWheelEvent>

#include <algorithm>

namespace kivo {

namespace {

// How near a header edge the pointer must be to resize.
constexpr int kResizeTolerance = 3;

int DefaultIndex(bool fixedRow, bool fixedCol) { return (fixedRow ? 1 : 0) + (fixedCol ? 2 : 0); }

} // namespace

CGridCtrl::CGridCtrl(QWidget *parent) : QAbstractScrollArea(parent)
{
    for (auto &cell : m_DefaultCells)
        cell = std::make_unique<CGridDefaultCell>();
    setFrameShape(QFrame::StyledPanel);
    setFocusPolicy(Qt::StrongFocus);
    setFont(QApplication::font("QMessageBox"));
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    m_pTitleTip = new CTitleTip(this);
    InitDefaultCells();
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &CGridCtrl::editCommandsChanged);
}

CGridCtrl::~CGridCtrl()
{
    // The edit box is a child widget; make sure its end does not call back.
    if (m_pInPlaceEdit)
        m_pInPlaceEdit->disconnect(this);
}

bool CGridCtrl::Create(const QRect &rect, QWidget *parent, int id)
{
    setParent(parent);
    setGeometry(rect);
    m_nID = id;
    setFrameShape(QFrame::StyledPanel); // the border
    setFocusPolicy(Qt::StrongFocus);    // the tab stop
    show();
    return true;
}

void CGridCtrl::InitDefaultCells()
{
    SetDefaultColours();
    SetDefaultFonts();
    for (int i = 0; i < 4; ++i) {
        CGridDefaultCell &def = *m_DefaultCells[i];
        def.SetFormat(GridFormat::Standard);
        unsigned state = 0;
        if (i & 1)
            state |= CellState::Fixed | CellState::FixedRow;
        if (i & 2)
            state |= CellState::Fixed | CellState::FixedCol;
        def.SetState(state);
    }
}

void CGridCtrl::SetDefaultColours()
{
    const QPalette pal = palette();
    for (int i = 0; i < 4; ++i) {
        m_DefaultCells[i]->SetTextClr(pal.color(QPalette::WindowText));
        m_DefaultCells[i]->SetBackClr(pal.color(i == 0 ? QPalette::Base : QPalette::Button));
    }
    if (!m_bCustomGridBk)
        m_crGridBkColour = pal.color(QPalette::Dark); // the button-shadow colour
}

void CGridCtrl::SetDefaultFonts()
{
    const QFont f = font();
    for (auto &def : m_DefaultCells)
        def->SetFont(&f);
}

void CGridCtrl::changeEvent(QEvent *e)
{
    // The defaults follow the widget's font and the desktop's colours.
    if (e->type() == QEvent::FontChange) {
        SetDefaultFonts();
        viewport()->update();
    } else if (e->type() == QEvent::PaletteChange) {
        SetDefaultColours();
        viewport()->update();
    }
    QAbstractScrollArea::changeEvent(e);
}

CGridDefaultCell *CGridCtrl::GetDefaultCell(bool fixedRow, bool fixedCol) const
{
    return m_DefaultCells[DefaultIndex(fixedRow, fixedCol)].get();
}

std::unique_ptr<CGridCellBase> CGridCtrl::CreateCell(int, int) { return std::make_unique<CGridCell>(); }

bool CGridCtrl::IsValid(int row, int col) const
{
    return row >= 0 && col >= 0 && row < GetRowCount() && col < GetColumnCount();
}

// ---------------------------------------------------------------- size

bool CGridCtrl::SetRowCount(int rows)
{
    if (rows < 0)
        return false;
    EndEditing(true);
    int cols = GetColumnCount();
    int old = GetRowCount();
    if (rows < old) {
        m_rows.resize(rows);
        m_arRowHeights.resize(rows);
    }
    for (int r = old; r < rows; ++r) {
        std::vector<std::unique_ptr<CGridCellBase>> line;
        for (int c = 0; c < cols; ++c) {
            auto cell = CreateCell(r, c);
            cell->SetGrid(this);
            line.push_back(std::move(cell));
        }
        m_rows.push_back(std::move(line));
        m_arRowHeights.push_back(GetDefaultCell(r < m_nFixedRows, false)->GetHeight());
    }
    m_nFixedRows = std::min(m_nFixedRows, rows);
    ResetFixedFlags();
    DropInvalidSelection();
    UpdateScrollBars();
    return true;
}

bool CGridCtrl::SetColumnCount(int cols)
{
    if (cols < 0)
        return false;
    EndEditing(true);
    int old = GetColumnCount();
    for (int r = 0; r < GetRowCount(); ++r) {
        auto &line = m_rows[r];
        if (cols < old)
            line.resize(cols);
        for (int c = old; c < cols; ++c) {
            auto cell = CreateCell(r, c);
            cell->SetGrid(this);
            line.push_back(std::move(cell));
        }
    }
    if (cols < old) {
        m_arColWidths.resize(cols);
        std::erase_if(m_arColOrder, [cols](int c) { return c >= cols; });
    }
    for (int c = old; c < cols; ++c) {
        m_arColWidths.push_back(GetDefaultCell(false, c < m_nFixedCols)->GetWidth());
        m_arColOrder.push_back(c);
    }
    m_nFixedCols = std::min(m_nFixedCols, cols);
    ResetFixedFlags();
    DropInvalidSelection();
    UpdateScrollBars();
    return true;
}

bool CGridCtrl::SetFixedRowCount(int rows)
{
    if (rows < 0)
        return false;
    if (rows > GetRowCount())
        SetRowCount(rows);
    m_nFixedRows = rows;
    ResetFixedFlags();
    DropInvalidSelection();
    UpdateScrollBars();
    return true;
}

bool CGridCtrl::SetFixedColumnCount(int cols)
{
    if (cols < 0)
        return false;
    if (cols > GetColumnCount())
        SetColumnCount(cols);
    m_nFixedCols = cols;
    ResetFixedFlags();
    DropInvalidSelection();
    UpdateScrollBars();
    return true;
}

void CGridCtrl::ResetFixedFlags()
{
    constexpr unsigned fixedBits = CellState::Fixed | CellState::FixedRow | CellState::FixedCol;
    for (int r = 0; r < GetRowCount(); ++r) {
        for (int c = 0; c < GetColumnCount(); ++c) {
            CGridCellBase &cell = *m_rows[r][c];
            unsigned state = cell.GetState() & ~fixedBits;
            if (r < m_nFixedRows)
                state |= CellState::Fixed | CellState::FixedRow;
            if (c < m_nFixedCols)
                state |= CellState::Fixed | CellState::FixedCol;
            if (state & CellState::Fixed)
                state &= ~(CellState::Selected | CellState::Focused);
            cell.SetState(state);
        }
    }
}

void CGridCtrl::DropInvalidSelection()
{
    auto keep = [this](CCellID id) {
        return IsValid(id.row, id.col) && id.row >= m_nFixedRows && id.col >= m_nFixedCols;
    };
    std::erase_if(m_SelectedCells, [&](CCellID id) { return !keep(id); });
    std::erase_if(m_PrevSelection, [&](CCellID id) { return !keep(id); });
    if (!keep(m_idCurrentCell))
        m_idCurrentCell = CCellID();
    if (!keep(m_idAnchor))
        m_idAnchor = CCellID();
    emit editCommandsChanged();
}

// ---------------------------------------------------------------- cells

CGridCellBase *CGridCtrl::GetCell(int row, int col) const
{
    if (!IsValid(row, col))
        return nullptr;
    return m_rows[row][col].get();
}

bool CGridCtrl::SetItemText(int row, int col, const QString &text)
{
    CGridCellBase *cell = GetCell(row, col);
    if (!cell)
        return false;
    cell->SetText(text);
    cell->SetState(cell->GetState() | CellState::Modified);
    return true;
}

QString CGridCtrl::GetItemText(int row, int col) const
{
    CGridCellBase *cell = GetCell(row, col);
    return cell ? cell->GetText() : QString();
}

bool CGridCtrl::SetItemFont(int row, int col, const QFont &font)
{
    CGridCellBase *cell = GetCell(row, col);
    if (!cell)
        return false;
    cell->SetFont(&font);
    return true;
}

const QFont *CGridCtrl::GetItemFont(int row, int col) const
{
    CGridCellBase *cell = GetCell(row, col);
    return cell ? cell->GetFont() : nullptr;
}

bool CGridCtrl::SetItemBkColour(int row, int col, const QColor &colour)
{
    CGridCellBase *cell = GetCell(row, col);
    if (!cell)
        return false;
    cell->SetBackClr(colour);
    return true;
}

QColor CGridCtrl::GetItemBkColour(int row, int col) const
{
    CGridCellBase *cell = GetCell(row, col);
    return cell ? cell->GetBackClr() : QColor();
}

bool CGridCtrl::SetItemFgColour(int row, int col, const QColor &colour)
{
    CGridCellBase *cell = GetCell(row, col);
    if (!cell)
        return false;
    cell->SetTextClr(colour);
    return true;
}

QColor CGridCtrl::GetItemFgColour(int row, int col) const
{
    CGridCellBase *cell = GetCell(row, col);
    return cell ? cell->GetTextClr() : QColor();
}

bool CGridCtrl::SetItemFormat(int row, int col, unsigned format)
{
    CGridCellBase *cell = GetCell(row, col);
    if (!cell)
        return false;
    cell->SetFormat(format);
    return true;
}

unsigned CGridCtrl::GetItemFormat(int row, int col) const
{
    CGridCellBase *cell = GetCell(row, col);
    return cell ? cell->GetFormat() : kDefaultFormat;
}

bool CGridCtrl::SetItemState(int row, int col, unsigned state)
{
    CGridCellBase *cell = GetCell(row, col);
    if (!cell)
        return false;
    // Fixedness, selection and focus belong to the grid.
    constexpr unsigned owned =
        CellState::Fixed | CellState::FixedRow | CellState::FixedCol | CellState::Selected | CellState::Focused;
    cell->SetState((cell->GetState() & owned) | (state & ~owned));
    emit editCommandsChanged();
    return true;
}

unsigned CGridCtrl::GetItemState(int row, int col) const
{
    CGridCellBase *cell = GetCell(row, col);
    return cell ? cell->GetState() : 0;
}

bool CGridCtrl::SetItemData(int row, int col, quintptr data)
{
    CGridCellBase *cell = GetCell(row, col);
    if (!cell)
        return false;
    cell->SetData(data);
    return true;
}

quintptr CGridCtrl::GetItemData(int row, int col) const
{
    CGridCellBase *cell = GetCell(row, col);
    return cell ? cell->GetData() : 0;
}

// ---------------------------------------------------------------- sizes

bool CGridCtrl::SetColumnWidth(int col, int width)
{
    if (col < 0 || col >= GetColumnCount() || width < 0)
        return false;
    m_arColWidths[m_arColOrder[col]] = width;
    UpdateScrollBars();
    return true;
}

int CGridCtrl::GetColumnWidth(int col) const
{
    if (col < 0 || col >= GetColumnCount())
        return 0;
    return m_arColWidths[m_arColOrder[col]];
}

bool CGridCtrl::SetRowHeight(int row, int height)
{
    if (row < 0 || row >= GetRowCount() || height < 0)
        return false;
    m_arRowHeights[row] = height;
    UpdateScrollBars();
    return true;
}

int CGridCtrl::GetRowHeight(int row) const
{
    if (row < 0 || row >= GetRowCount())
        return 0;
    return m_arRowHeights[row];
}

GridLayout CGridCtrl::Layout() const
{
    GridLayout layout;
    for (int c = 0; c < GetColumnCount(); ++c)
        layout.colWidths.push_back(GetColumnWidth(c));
    layout.rowHeights = m_arRowHeights;
    layout.fixedRows = m_nFixedRows;
    layout.fixedCols = m_nFixedCols;
    layout.scroll = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    return layout;
}

QRect CGridCtrl::GetCellRect(int row, int col) const { return CellRect(Layout(), row, col); }

CCellID CGridCtrl::GetCellFromPt(QPoint pt) const { return CellAt(Layout(), pt); }

void CGridCtrl::UpdateScrollBars()
{
    GridLayout layout = Layout();
    QSize vp = viewport()->size();
    QPoint max = MaxScroll(layout, vp);
    QScrollBar *h = horizontalScrollBar();
    QScrollBar *v = verticalScrollBar();
    h->setRange(0, max.x());
    h->setPageStep(std::max(1, vp.width() - layout.FixedWidth()));
    h->setSingleStep(std::max(1, GetDefaultCell(false, false)->GetWidth()));
    v->setRange(0, max.y());
    v->setPageStep(std::max(1, vp.height() - layout.FixedHeight()));
    v->setSingleStep(std::max(1, GetDefaultCell(false, false)->GetHeight()));
    viewport()->update();
}

void CGridCtrl::EnsureVisible(int row, int col)
{
    QPoint to = ScrollToShow(Layout(), viewport()->size(), row, col);
    horizontalScrollBar()->setValue(to.x());
    verticalScrollBar()->setValue(to.y());
}

void CGridCtrl::scrollContentsBy(int, int)
{
    EndEditing(true);
    HideTitleTip();
    viewport()->update();
}

bool CGridCtrl::viewportEvent(QEvent *e)
{
    if (e->type() == QEvent::Resize) {
        bool r = QAbstractScrollArea::viewportEvent(e);
        UpdateScrollBars();
        return r;
    }
    return QAbstractScrollArea::viewportEvent(e);
}

int CGridCtrl::WheelScrollLines()
{
    int lines = QApplication::wheelScrollLines();
    return lines > 0 ? lines : 3;
}

void CGridCtrl::EnableTitleTips(bool on)
{
    m_bTitleTips = on;
    if (!on)
        HideTitleTip();
}

void CGridCtrl::EnableSelection(bool on)
{
    m_bEnableSelection = on;
    if (!on)
        ClearSelection();
}

// ---------------------------------------------------------------- painting

void CGridCtrl::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    if (!m_bDoubleBuffer) {
        DrawGrid(painter, event->rect());
        return;
    }
    // Drawn off-screen first so that scrolling and refreshing do not flicker.
    qreal dpr = viewport()->devicePixelRatioF();
    QPixmap buffer(viewport()->size() * dpr);
    buffer.setDevicePixelRatio(dpr);
    {
        QPainter off(&buffer);
        DrawGrid(off, event->rect());
    }
    painter.drawPixmap(0, 0, buffer);
}

void CGridCtrl::DrawGrid(QPainter &painter, const QRect &)
{
    const GridLayout layout = Layout();
    const QSize vp = viewport()->size();
    const QPalette pal = palette();
    painter.fillRect(QRect(QPoint(0, 0), vp), m_crGridBkColour);

    const int fixedW = std::min(layout.FixedWidth(), vp.width());
    const int fixedH = std::min(layout.FixedHeight(), vp.height());
    const IndexSpan rows = VisibleRows(layout, vp.height());
    const IndexSpan cols = VisibleCols(layout, vp.width());

    auto drawCell = [&](int r, int c) {
        QRect rect = CellRect(layout, r, c);
        if (rect.width() <= 0 || rect.height() <= 0)
            return;
        const CGridCellBase &cell = *m_rows[r][c];
        cell.Draw(painter, rect, pal);
        if (!cell.IsFixed()) {
            painter.setPen(m_crGridLineColour);
            painter.drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
            painter.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
        }
    };

    // The scrolling cells, then the fixed rows, the fixed columns and the corner.
    painter.save();
    painter.setClipRect(QRect(fixedW, fixedH, vp.width() - fixedW, vp.height() - fixedH));
    for (int r = rows.first; r <= rows.last; ++r)
        for (int c = cols.first; c <= cols.last; ++c)
            drawCell(r, c);
    painter.setClipRect(QRect(fixedW, 0, vp.width() - fixedW, fixedH));
    for (int r = 0; r < m_nFixedRows; ++r)
        for (int c = cols.first; c <= cols.last; ++c)
            drawCell(r, c);
    painter.setClipRect(QRect(0, fixedH, fixedW, vp.height() - fixedH));
    for (int r = rows.first; r <= rows.last; ++r)
        for (int c = 0; c < m_nFixedCols; ++c)
            drawCell(r, c);
    painter.setClipRect(QRect(0, 0, fixedW, fixedH));
    for (int r = 0; r < m_nFixedRows; ++r)
        for (int c = 0; c < m_nFixedCols; ++c)
            drawCell(r, c);
    painter.restore();
}

// ---------------------------------------------------------------- selection

void CGridCtrl::SetCellSelected(CCellID id, bool on)
{
    CGridCellBase *cell = GetCell(id.row, id.col);
    if (!cell || cell->IsFixed())
        return;
    if (on) {
        m_SelectedCells.insert(id);
        cell->SetState(cell->GetState() | CellState::Selected);
    } else {
        m_SelectedCells.erase(id);
        cell->SetState(cell->GetState() & ~CellState::Selected);
    }
}

void CGridCtrl::SelectOnly(const std::set<CCellID> &cells)
{
    for (CCellID id : std::set<CCellID>(m_SelectedCells))
        if (!cells.count(id))
            SetCellSelected(id, false);
    for (CCellID id : cells)
        SetCellSelected(id, true);
    viewport()->update();
    emit editCommandsChanged();
}

void CGridCtrl::SetSelectedRange(const CCellRange &range, bool keepOld)
{
    std::set<CCellID> cells = keepOld ? m_SelectedCells : std::set<CCellID>{};
    if (m_bEnableSelection && range.IsValid()) {
        int r0 = std::max(range.minRow, m_nFixedRows), c0 = std::max(range.minCol, m_nFixedCols);
        int r1 = std::min(range.maxRow, GetRowCount() - 1), c1 = std::min(range.maxCol, GetColumnCount() - 1);
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c)
                cells.insert(CCellID(r, c));
    }
    SelectOnly(cells);
}

CCellRange CGridCtrl::GetSelectedCellRange() const
{
    if (m_SelectedCells.empty())
        return CCellRange();
    CCellRange range(GetRowCount(), GetColumnCount(), -1, -1);
    for (CCellID id : m_SelectedCells) {
        range.minRow = std::min(range.minRow, id.row);
        range.minCol = std::min(range.minCol, id.col);
        range.maxRow = std::max(range.maxRow, id.row);
        range.maxCol = std::max(range.maxCol, id.col);
    }
    return range;
}

bool CGridCtrl::IsCellSelected(int row, int col) const { return m_SelectedCells.count(CCellID(row, col)) != 0; }

void CGridCtrl::SelectAllCells()
{
    SetSelectedRange(CCellRange(m_nFixedRows, m_nFixedCols, GetRowCount() - 1, GetColumnCount() - 1));
}

void CGridCtrl::ClearSelection() { SelectOnly({}); }

void CGridCtrl::SetFocusCell(int row, int col)
{
    CCellID id(row, col);
    if (id == m_idCurrentCell)
        return;
    if (CGridCellBase *old = GetCell(m_idCurrentCell.row, m_idCurrentCell.col))
        old->SetState(old->GetState() & ~CellState::Focused);
    CGridCellBase *cell = GetCell(row, col);
    if (cell && !cell->IsFixed()) {
        cell->SetState(cell->GetState() | CellState::Focused);
        m_idCurrentCell = id;
    } else {
        m_idCurrentCell = CCellID();
    }
    viewport()->update();
    emit editCommandsChanged();
}

// ---------------------------------------------------------------- mouse

CCellID CGridCtrl::ClampedCellAt(QPoint pt) const
{
    GridLayout layout = Layout();
    QSize vp = viewport()->size();
    pt.setX(std::clamp(pt.x(), layout.FixedWidth(), std::max(layout.FixedWidth(), vp.width() - 1)));
    pt.setY(std::clamp(pt.y(), layout.FixedHeight(), std::max(layout.FixedHeight(), vp.height() - 1)));
    CCellID id = CellAt(layout, pt);
    if (!id.IsValid()) {
        // Beyond the last row or column: the last one.
        int row = CellAt(layout, QPoint(layout.FixedWidth(), pt.y())).row;
        int col = CellAt(layout, QPoint(pt.x(), layout.FixedHeight())).col;
        id = CCellID(row >= 0 ? row : GetRowCount() - 1, col >= 0 ? col : GetColumnCount() - 1);
    }
    return id;
}

void CGridCtrl::mousePressEvent(QMouseEvent *e)
{
    HideTitleTip();
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(e);
        return;
    }
    // The second click of a double-click whose first went through the title tip.
    if (m_tipPressTime >= 0) {
        qint64 since = qint64(e->timestamp()) - m_tipPressTime;
        bool near = (e->position().toPoint() - m_tipPressPos).manhattanLength() <=
                    QGuiApplication::styleHints()->startDragDistance();
        m_tipPressTime = -1;
        if (since >= 0 && since <= QGuiApplication::styleHints()->mouseDoubleClickInterval() && near) {
            mouseDoubleClickEvent(e);
            return;
        }
    }
    setFocus(Qt::MouseFocusReason);
    const QPoint pt = e->position().toPoint();
    const GridLayout layout = Layout();

    if (m_bAllowColResize) {
        int col = ColumnEdgeAt(layout, pt, kResizeTolerance);
        if (col >= 0) {
            m_MouseMode = MouseMode::SizeCol;
            m_nResizeIndex = col;
            m_nResizeStart = pt.x();
            m_nResizeOriginal = GetColumnWidth(col);
            return;
        }
    }
    if (m_bAllowRowResize) {
        int row = RowEdgeAt(layout, pt, kResizeTolerance);
        if (row >= 0) {
            m_MouseMode = MouseMode::SizeRow;
            m_nResizeIndex = row;
            m_nResizeStart = pt.y();
            m_nResizeOriginal = GetRowHeight(row);
            return;
        }
    }

    CCellID id = CellAt(layout, pt);
    if (!id.IsValid())
        return;
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    const int lastRow = GetRowCount() - 1, lastCol = GetColumnCount() - 1;
    const bool inFixedRow = id.row < m_nFixedRows, inFixedCol = id.col < m_nFixedCols;

    if (inFixedRow || inFixedCol) {
        if (!m_bEnableSelection)
            return;
        if (inFixedRow && inFixedCol) {
            SelectAllCells();
            return;
        }
        // A header selects its whole column or row.
        m_PrevSelection = ctrl ? m_SelectedCells : std::set<CCellID>{};
        if (inFixedRow) {
            int from = (shift && m_idAnchor.IsValid()) ? m_idAnchor.col : id.col;
            m_idAnchor = CCellID(m_nFixedRows, from);
            m_MouseMode = MouseMode::SelectCols;
            SetSelectedRange(CCellRange(m_nFixedRows, std::min(from, id.col), lastRow, std::max(from, id.col)), ctrl);
            SetFocusCell(m_nFixedRows, id.col);
        } else {
            int from = (shift && m_idAnchor.IsValid()) ? m_idAnchor.row : id.row;
            m_idAnchor = CCellID(from, m_nFixedCols);
            m_MouseMode = MouseMode::SelectRows;
            SetSelectedRange(CCellRange(std::min(from, id.row), m_nFixedCols, std::max(from, id.row), lastCol), ctrl);
            SetFocusCell(id.row, m_nFixedCols);
        }
        return;
    }

    if (!m_bEnableSelection) {
        SetFocusCell(id.row, id.col);
        return;
    }
    if (shift && m_idAnchor.IsValid()) {
        if (!ctrl)
            m_PrevSelection.clear();
        std::set<CCellID> cells = m_PrevSelection;
        CCellRange range = CCellRange::Spanning(m_idAnchor, id);
        for (int r = range.minRow; r <= range.maxRow; ++r)
            for (int c = range.minCol; c <= range.maxCol; ++c)
                cells.insert(CCellID(r, c));
        SelectOnly(cells);
    } else if (ctrl) {
        SetCellSelected(id, !IsCellSelected(id.row, id.col));
        m_PrevSelection = m_SelectedCells;
        m_idAnchor = id;
        viewport()->update();
        emit editCommandsChanged();
    } else {
        m_PrevSelection.clear();
        m_idAnchor = id;
        SelectOnly({id});
    }
    SetFocusCell(id.row, id.col);
    m_MouseMode = MouseMode::SelectCells;
}

void CGridCtrl::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint pt = e->position().toPoint();
    if (!(e->buttons() & Qt::LeftButton))
        m_MouseMode = MouseMode::None;

    switch (m_MouseMode) {
    case MouseMode::SizeCol:
        SetColumnWidth(m_nResizeIndex, std::max(0, m_nResizeOriginal + pt.x() - m_nResizeStart));
        return;
    case MouseMode::SizeRow:
        SetRowHeight(m_nResizeIndex, std::max(0, m_nResizeOriginal + pt.y() - m_nResizeStart));
        return;
    case MouseMode::SelectCells:
    case MouseMode::SelectRows:
    case MouseMode::SelectCols: {
        CCellID id = ClampedCellAt(pt);
        if (!id.IsValid() || !m_idAnchor.IsValid())
            return;
        CCellRange range = CCellRange::Spanning(m_idAnchor, id);
        if (m_MouseMode == MouseMode::SelectCols)
            range = CCellRange(m_nFixedRows, range.minCol, GetRowCount() - 1, range.maxCol);
        else if (m_MouseMode == MouseMode::SelectRows)
            range = CCellRange(range.minRow, m_nFixedCols, range.maxRow, GetColumnCount() - 1);
        std::set<CCellID> cells = m_PrevSelection;
        for (int r = range.minRow; r <= range.maxRow; ++r)
            for (int c = range.minCol; c <= range.maxCol; ++c)
                cells.insert(CCellID(r, c));
        SelectOnly(cells);
        EnsureVisible(id.row, id.col);
        if (m_MouseMode == MouseMode::SelectCells)
            SetFocusCell(id.row, id.col);
        return;
    }
    case MouseMode::None:
        break;
    }

    // Hovering: the resize cursor over header edges, title tips over cut texts.
    const GridLayout layout = Layout();
    if (m_bAllowColResize && ColumnEdgeAt(layout, pt, kResizeTolerance) >= 0)
        viewport()->setCursor(Qt::SplitHCursor);
    else if (m_bAllowRowResize && RowEdgeAt(layout, pt, kResizeTolerance) >= 0)
        viewport()->setCursor(Qt::SplitVCursor);
    else
        viewport()->unsetCursor();
    UpdateTitleTip(pt);
}

void CGridCtrl::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton) {
        m_MouseMode = MouseMode::None;
        m_PrevSelection = m_SelectedCells;
    }
    QAbstractScrollArea::mouseReleaseEvent(e);
}

void CGridCtrl::mouseDoubleClickEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    HideTitleTip();
    const QPoint pt = e->position().toPoint();
    const GridLayout layout = Layout();
    if ((m_bAllowColResize && ColumnEdgeAt(layout, pt, kResizeTolerance) >= 0) ||
        (m_bAllowRowResize && RowEdgeAt(layout, pt, kResizeTolerance) >= 0))
        return;
    CCellID id = CellAt(layout, pt);
    if (!id.IsValid() || !IsCellEditable(id.row, id.col))
        return;
    if (m_pInPlaceEdit && m_pInPlaceEdit->Row() == id.row && m_pInPlaceEdit->Col() == id.col)
        return;
    SetFocusCell(id.row, id.col);
    EditCell(id.row, id.col);
}

void CGridCtrl::PressFromTitleTip(QMouseEvent *e)
{
    QPointF local = viewport()->mapFromGlobal(e->globalPosition());
    QMouseEvent press(QEvent::MouseButtonPress, local, e->scenePosition(), e->globalPosition(), e->button(),
                      e->buttons(), e->modifiers());
    press.setTimestamp(e->timestamp());
    m_tipPressTime = -1;
    mousePressEvent(&press);
    m_tipPressTime = qint64(e->timestamp());
    m_tipPressPos = local.toPoint();
}

void CGridCtrl::wheelEvent(QWheelEvent *e)
{
    HideTitleTip();
    // 120 units per notch; touchpads send parts of notches.
    m_nWheelRemainder += e->angleDelta().y();
    int notches = m_nWheelRemainder / 120;
    m_nWheelRemainder -= notches * 120;
    if (notches != 0) {
        GridLayout layout = Layout();
        int maxY = MaxScroll(layout, viewport()->size()).y();
        verticalScrollBar()->setValue(WheelScroll(layout, -notches * WheelScrollLines(), maxY));
    }
    e->accept();
}

void CGridCtrl::leaveEvent(QEvent *e)
{
    if (m_pTitleTip->isVisible() && !m_pTitleTip->CellRect().contains(QCursor::pos()))
        HideTitleTip();
    QAbstractScrollArea::leaveEvent(e);
}

void CGridCtrl::focusInEvent(QFocusEvent *e)
{
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
}

void CGridCtrl::focusOutEvent(QFocusEvent *e)
{
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}

// ---------------------------------------------------------------- title tips

void CGridCtrl::UpdateTitleTip(QPoint pt)
{
    if (!m_bTitleTips) {
        HideTitleTip();
        return;
    }
    CCellID id = CellAt(Layout(), pt);
    CGridCellBase *cell = GetCell(id.row, id.col);
    if (m_pInPlaceEdit && id.row == m_pInPlaceEdit->Row() && id.col == m_pInPlaceEdit->Col())
        cell = nullptr;
    QRect rect = cell ? GetCellRect(id.row, id.col) : QRect();
    if (!cell || !cell->IsTextClipped(rect)) {
        HideTitleTip();
        return;
    }
    if (m_pTitleTip->isVisible() && id == m_idTipCell)
        return;
    m_idTipCell = id;
    QColor bg = cell->EffectiveBackClr();
    QColor fg = cell->EffectiveTextClr();
    QRect global(viewport()->mapToGlobal(rect.topLeft()), rect.size());
    m_pTitleTip->Show(global, cell->GetText(), cell->EffectiveFont(), fg, bg);
}

void CGridCtrl::HideTitleTip()
{
    m_idTipCell = CCellID();
    m_pTitleTip->Hide();
}

// ---------------------------------------------------------------- keyboard

int CGridCtrl::PageRows() const
{
    GridLayout layout = Layout();
    int area = viewport()->height() - layout.FixedHeight();
    int rowHeight = std::max(1, GetDefaultCell(false, false)->GetHeight());
    return std::max(1, area / rowHeight);
}

void CGridCtrl::MoveFocus(int key, Qt::KeyboardModifiers modifiers)
{
    const int firstRow = m_nFixedRows, firstCol = m_nFixedCols;
    const int lastRow = GetRowCount() - 1, lastCol = GetColumnCount() - 1;
    if (firstRow > lastRow || firstCol > lastCol)
        return;
    CCellID at = m_idCurrentCell.IsValid() ? m_idCurrentCell : CCellID(firstRow, firstCol);
    CCellID to = at;
    // Steps over rows and columns of zero size.
    auto stepRow = [&](int row, int dir, int count) {
        int r = row;
        while (count-- > 0) {
            int n = r + dir;
            while (n >= firstRow && n <= lastRow && GetRowHeight(n) == 0)
                n += dir;
            if (n < firstRow || n > lastRow)
                break;
            r = n;
        }
        return r;
    };
    auto stepCol = [&](int col, int dir) {
        int n = col + dir;
        while (n >= firstCol && n <= lastCol && GetColumnWidth(n) == 0)
            n += dir;
        return (n < firstCol || n > lastCol) ? col : n;
    };
    const bool ctrl = modifiers & Qt::ControlModifier;
    if (m_idCurrentCell.IsValid()) {
        switch (key) {
        case Qt::Key_Up:
            to.row = stepRow(at.row, -1, 1);
            break;
        case Qt::Key_Down:
            to.row = stepRow(at.row, 1, 1);
            break;
        case Qt::Key_Left:
            to.col = stepCol(at.col, -1);
            break;
        case Qt::Key_Right:
            to.col = stepCol(at.col, 1);
            break;
        case Qt::Key_PageUp:
            to.row = stepRow(at.row, -1, PageRows());
            break;
        case Qt::Key_PageDown:
            to.row = stepRow(at.row, 1, PageRows());
            break;
        case Qt::Key_Home:
            to.col = firstCol;
            if (ctrl)
                to.row = firstRow;
            break;
        case Qt::Key_End:
            to.col = lastCol;
            if (ctrl)
                to.row = lastRow;
            break;
        default:
            return;
        }
    }
    SetFocusCell(to.row, to.col);
    if (m_bEnableSelection) {
        if ((modifiers & Qt::ShiftModifier) && m_idAnchor.IsValid()) {
            SetSelectedRange(CCellRange::Spanning(m_idAnchor, to));
        } else {
            m_idAnchor = to;
            SelectOnly({to});
        }
    }
    EnsureVisible(to.row, to.col);
}

void CGridCtrl::keyPressEvent(QKeyEvent *e)
{
    HideTitleTip();
    if (e->matches(QKeySequence::Copy)) {
        OnEditCopy();
        return;
    }
    if (e->matches(QKeySequence::Cut)) {
        OnEditCut();
        return;
    }
    if (e->matches(QKeySequence::Paste)) {
        OnEditPaste();
        return;
    }
    if (e->matches(QKeySequence::SelectAll)) {
        OnEditSelectAll();
        return;
    }
    switch (e->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        MoveFocus(e->key(), e->modifiers());
        return;
    default:
        break;
    }
    const QString text = e->text();
    if (!text.isEmpty() && text.at(0).isPrint() && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) &&
        m_idCurrentCell.IsValid()) {
        if (EditCell(m_idCurrentCell.row, m_idCurrentCell.col, text.at(0)))
            return;
    }
    QAbstractScrollArea::keyPressEvent(e);
}

// ---------------------------------------------------------------- editing

bool CGridCtrl::IsCellEditable(int row, int col) const
{
    CGridCellBase *cell = GetCell(row, col);
    return m_bEditable && cell && !cell->IsFixed() && !cell->IsReadOnly();
}

bool CGridCtrl::EditCell(int row, int col, QChar typed)
{
    if (!IsCellEditable(row, col))
        return false;
    EndEditing(true);
    HideTitleTip();
    EnsureVisible(row, col);
    SetFocusCell(row, col);
    CGridCellBase *cell = GetCell(row, col);
    QRect rect = GetCellRect(row, col);
    bool typedStart = !typed.isNull();
    QString text = typedStart ? QString(typed) : cell->GetText();
    m_pInPlaceEdit = new CInPlaceEdit(viewport(), rect, row, col, text, typedStart, cell->EffectiveFont(),
                                      cell->EffectiveMargin(), viewport()->width());
    connect(m_pInPlaceEdit, &CInPlaceEdit::editEnded, this, &CGridCtrl::OnInPlaceEditEnded);
    m_pInPlaceEdit->show();
    m_pInPlaceEdit->setFocus(Qt::OtherFocusReason);
    emit editCommandsChanged();
    return true;
}

void CGridCtrl::EndEditing(bool keepText)
{
    if (m_pInPlaceEdit)
        m_pInPlaceEdit->EndEdit(keepText);
}

void CGridCtrl::OnInPlaceEditEnded(int row, int col, const QString &text, bool keep, int key,
                                   Qt::KeyboardModifiers mods)
{
    bool hadFocus = m_pInPlaceEdit && m_pInPlaceEdit->hasFocus();
    m_pInPlaceEdit = nullptr;
    if (key != 0 || hadFocus)
        setFocus(Qt::OtherFocusReason);
    if (keep)
        OnEndEditCell(row, col, text);
    // An edit ended by a move key moves on, as the key would have.
    if (CInPlaceEdit::IsMoveKey(key))
        MoveFocus(key, mods & ~Qt::ShiftModifier);
    viewport()->update();
    emit editCommandsChanged();
}

void CGridCtrl::OnEndEditCell(int row, int col, const QString &text)
{
    CGridCellBase *cell = GetCell(row, col);
    if (!cell)
        return;
    const QString old = cell->GetText();
    if (text == old)
        return;
    const unsigned oldState = cell->GetState();
    SetItemText(row, col, text);
    bool reject = !ValidateEdit(row, col, text);
    if (!reject)
        emit endEdit(row, col, text, &reject);
    if (reject) {
        cell->SetText(old);
        cell->SetState((cell->GetState() & ~CellState::Modified) | (oldState & CellState::Modified));
    }
    viewport()->update();
}

bool CGridCtrl::ValidateEdit(int, int, const QString &) { return true; }

// ---------------------------------------------------------------- clipboard

QString CGridCtrl::CopyTextFromGrid() const
{
    CCellRange range = GetSelectedCellRange();
    if (!range.IsValid())
        return QString();
    std::vector<std::vector<QString>> rows;
    for (int r = range.minRow; r <= range.maxRow; ++r) {
        if (GetRowHeight(r) <= 0)
            continue;
        std::vector<QString> line;
        for (int c = range.minCol; c <= range.maxCol; ++c) {
            if (GetColumnWidth(c) <= 0)
                continue;
            line.push_back(IsCellSelected(r, c) ? GetItemText(r, c) : QString());
        }
        rows.push_back(std::move(line));
    }
    return JoinClipboardText(rows);
}

bool CGridCtrl::PasteTextToGrid(CCellID topLeft, const QString &text)
{
    if (!IsCellEditable(topLeft.row, topLeft.col))
        return false;
    const auto rows = SplitClipboardText(text);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        int r = topLeft.row + int(i);
        if (r >= GetRowCount())
            break;
        for (std::size_t j = 0; j < rows[i].size(); ++j) {
            int c = topLeft.col + int(j);
            if (c >= GetColumnCount())
                break;
            CGridCellBase *cell = GetCell(r, c);
            if (cell->IsReadOnly())
                continue;
            SetItemText(r, c, rows[i][j]);
        }
    }
    viewport()->update();
    return true;
}

bool CGridCtrl::CanCopy() const
{
    if (m_pInPlaceEdit)
        return m_pInPlaceEdit->hasSelectedText();
    return !m_SelectedCells.empty();
}

bool CGridCtrl::CanCut() const
{
    if (m_pInPlaceEdit)
        return m_pInPlaceEdit->hasSelectedText();
    return m_bEditable && !m_SelectedCells.empty();
}

bool CGridCtrl::CanPaste() const
{
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    bool hasText = mime && mime->hasText();
    if (m_pInPlaceEdit)
        return hasText;
    return hasText && IsCellEditable(m_idCurrentCell.row, m_idCurrentCell.col);
}

bool CGridCtrl::CanSelectAll() const
{
    if (m_pInPlaceEdit)
        return !m_pInPlaceEdit->text().isEmpty();
    return m_bEnableSelection && GetRowCount() > m_nFixedRows && GetColumnCount() > m_nFixedCols;
}

void CGridCtrl::OnEditCopy()
{
    if (m_pInPlaceEdit) {
        m_pInPlaceEdit->copy();
        return;
    }
    if (!CanCopy())
        return;
    QGuiApplication::clipboard()->setText(CopyTextFromGrid());
}

void CGridCtrl::OnEditCut()
{
    if (m_pInPlaceEdit) {
        m_pInPlaceEdit->cut();
        return;
    }
    if (!CanCut())
        return;
    QGuiApplication::clipboard()->setText(CopyTextFromGrid());
    for (CCellID id : m_SelectedCells) {
        CGridCellBase *cell = GetCell(id.row, id.col);
        if (cell && !cell->IsReadOnly())
            SetItemText(id.row, id.col, QString());
    }
    viewport()->update();
}

void CGridCtrl::OnEditPaste()
{
    if (m_pInPlaceEdit) {
        m_pInPlaceEdit->paste();
        return;
    }
    if (!CanPaste())
        return;
    PasteTextToGrid(m_idCurrentCell, QGuiApplication::clipboard()->text());
}

void CGridCtrl::OnEditSelectAll()
{
    if (m_pInPlaceEdit) {
        m_pInPlaceEdit->selectAll();
        return;
    }
    if (CanSelectAll())
        SelectAllCells();
}

bool CGridCtrl::OfferCommand(int id, bool execute, bool *enabled)
{
    bool possible = false;
    void (CGridCtrl::*run)() = nullptr;
    switch (EditCommand(id)) {
    case EditCommand::Copy:
        possible = CanCopy();
        run = &CGridCtrl::OnEditCopy;
        break;
    case EditCommand::Cut:
        possible = CanCut();
        run = &CGridCtrl::OnEditCut;
        break;
    case EditCommand::Paste:
        possible = CanPaste();
        run = &CGridCtrl::OnEditPaste;
        break;
    case EditCommand::SelectAll:
        possible = CanSelectAll();
        run = &CGridCtrl::OnEditSelectAll;
        break;
    default:
        return false;
    }
    if (enabled)
        *enabled = possible;
    if (execute && possible)
        (this->*run)();
    return true;
}

} // namespace kivo
