#pragma once
// CGridCtrl: an owner-drawn grid window with fixed header rows and columns,
// per-cell text, colours and fonts, scrolling, selection, in-place editing,
// clipboard commands and title tips for clipped texts.
#include "grid/gridcell.h"
#include "grid/gridgeometry.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QPointer>

#include <array>
#include <memory>
#include <set>
#include <vector>

namespace kivo {

class CInPlaceEdit;
class CTitleTip;

// The edit commands the grid answers to, by their command ids.
enum class EditCommand : int {
    Copy = 57634,
    Cut = 57635,
    Paste = 57637,
    SelectAll = 57642,
};

class CGridCtrl : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit CGridCtrl(QWidget *parent = nullptr);
    ~CGridCtrl() override;

    // Makes the grid a visible child of `parent` covering `rect`, with a
    // border and a tab stop, known by `id`.
    bool Create(const QRect &rect, QWidget *parent, int id);
    int GetDlgCtrlID() const { return m_nID; }

    // --- Size. Changing a count keeps the existing cells, creates the
    // missing ones with the defaults and re-marks the fixed cells.
    bool SetRowCount(int rows);
    bool SetColumnCount(int cols);
    bool SetFixedRowCount(int rows);
    bool SetFixedColumnCount(int cols);
    int GetRowCount() const { return int(m_rows.size()); }
    int GetColumnCount() const { return int(m_arColWidths.size()); }
    int GetFixedRowCount() const { return m_nFixedRows; }
    int GetFixedColumnCount() const { return m_nFixedCols; }
    bool IsValid(int row, int col) const;

    // --- Cells. Setters store only; the grid shows the change when it is
    // next painted.
    CGridCellBase *GetCell(int row, int col) const;
    bool SetItemText(int row, int col, const QString &text); // marks the cell modified
    QString GetItemText(int row, int col) const;
    bool SetItemFont(int row, int col, const QFont &font);
    const QFont *GetItemFont(int row, int col) const; // null: the default font
    bool SetItemBkColour(int row, int col, const QColor &colour = QColor());
    QColor GetItemBkColour(int row, int col) const;
    bool SetItemFgColour(int row, int col, const QColor &colour = QColor());
    QColor GetItemFgColour(int row, int col) const;
    bool SetItemFormat(int row, int col, unsigned format);
    unsigned GetItemFormat(int row, int col) const;
    bool SetItemState(int row, int col, unsigned state);
    unsigned GetItemState(int row, int col) const;
    bool SetItemData(int row, int col, quintptr data);
    quintptr GetItemData(int row, int col) const;

    // The default cell of a group: ordinary, fixed-row, fixed-column, both.
    CGridDefaultCell *GetDefaultCell(bool fixedRow, bool fixedCol) const;

    // --- Sizes in pixels. Column widths go through the column order.
    bool SetColumnWidth(int col, int width);
    int GetColumnWidth(int col) const;
    bool SetRowHeight(int row, int height);
    int GetRowHeight(int row) const;
    const std::vector<int> &GetColumnOrder() const { return m_arColOrder; }

    // --- Geometry (viewport coordinates).
    GridLayout Layout() const;
    QRect GetCellRect(int row, int col) const;
    CCellID GetCellFromPt(QPoint pt) const;
    void EnsureVisible(int row, int col);

    // --- Settings.
    void SetGridLineColor(const QColor &colour) { m_crGridLineColour = colour; }
    QColor GetGridLineColor() const { return m_crGridLineColour; }
    void SetGridBkColor(const QColor &colour)
    {
        m_crGridBkColour = colour;
        m_bCustomGridBk = true;
    }
    QColor GetGridBkColor() const { return m_crGridBkColour; }
    void SetEditable(bool on) { m_bEditable = on; }
    bool IsEditable() const { return m_bEditable; }
    void EnableTitleTips(bool on);
    bool GetTitleTips() const { return m_bTitleTips; }
    void EnableSelection(bool on);
    bool IsSelectable() const { return m_bEnableSelection; }
    void SetColumnResize(bool on) { m_bAllowColResize = on; }
    bool GetColumnResize() const { return m_bAllowColResize; }
    void SetRowResize(bool on) { m_bAllowRowResize = on; }
    bool GetRowResize() const { return m_bAllowRowResize; }
    void SetDoubleBuffering(bool on) { m_bDoubleBuffer = on; }
    bool GetDoubleBuffering() const { return m_bDoubleBuffer; }
    // Sorting by header click and dragging of cells are not offered.
    bool GetHeaderSort() const { return false; }
    bool GetDragAndDrop() const { return false; }
    // Rows scrolled per wheel notch: the desktop's setting, 3 without one.
    static int WheelScrollLines();

    // --- Focus and selection. Fixed cells are never focused or selected.
    CCellID GetFocusCell() const { return m_idCurrentCell; }
    void SetFocusCell(int row, int col);
    // Replaces the selection by the non-fixed cells of `range` (added to it
    // with `keepOld`).
    void SetSelectedRange(const CCellRange &range, bool keepOld = false);
    // The smallest block holding every selected cell.
    CCellRange GetSelectedCellRange() const;
    int GetSelectedCount() const { return int(m_SelectedCells.size()); }
    bool IsCellSelected(int row, int col) const;
    void SelectAllCells();
    void ClearSelection();

    // --- In-place editing.
    bool IsCellEditable(int row, int col) const;
    // Opens the editor on a non-fixed, editable cell: with its text, or with
    // `typed` alone when the edit starts from a typed character. False when
    // the cell cannot be edited.
    bool EditCell(int row, int col, QChar typed = QChar());
    bool IsEditing() const { return m_pInPlaceEdit != nullptr; }
    CInPlaceEdit *GetInPlaceEdit() const { return m_pInPlaceEdit; }
    // Ends an open edit, keeping its text or dropping it.
    void EndEditing(bool keepText);

    // The end-of-edit hook. The base compares `text` with the cell's text;
    // when they differ it stores it, runs ValidateEdit, sends endEdit() to
    // the parent and restores the old text if either rejects it.
    virtual void OnEndEditCell(int row, int col, const QString &text);
    virtual bool ValidateEdit(int row, int col, const QString &text);

    // --- Clipboard. Copy: one line per selected row, lines separated by
    // CR LF, cells by tabs; zero-size rows and columns skipped, unselected
    // cells inside the selection's block empty. Paste: from the focused
    // cell rightwards and downwards, pieces outside the grid dropped.
    QString CopyTextFromGrid() const;
    bool PasteTextToGrid(CCellID topLeft, const QString &text);
    bool CanCut() const;
    bool CanCopy() const;
    bool CanPaste() const;
    bool CanSelectAll() const;
    // Offers a command by id: false when the grid does not handle it; when
    // it does, `*enabled` tells whether it is possible now and `execute`
    // runs it (if possible).
    bool OfferCommand(int id, bool execute, bool *enabled = nullptr);

    CTitleTip *GetTitleTip() const { return m_pTitleTip; }

public slots:
    // While an edit is open these act on the edit box's text.
    void OnEditCut();
    void OnEditCopy();
    void OnEditPaste();
    void OnEditSelectAll();

signals:
    // The end-of-edit notice (direct connections only): set *reject to
    // keep the old text.
    void endEdit(int row, int col, const QString &text, bool *reject);
    // The selection, the focus, the edit state or the clipboard changed:
    // CanCut() and friends may answer differently now.
    void editCommandsChanged();

protected:
    // Creates the cell object for a new position (CGridCell by default).
    virtual std::unique_ptr<CGridCellBase> CreateCell(int row, int col);

    void paintEvent(QPaintEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    friend class CTitleTip;
    enum class MouseMode { None, SelectCells, SelectRows, SelectCols, SizeCol, SizeRow };

    void InitDefaultCells();
    void SetDefaultColours();
    void SetDefaultFonts();
    void ResetFixedFlags();
    void DropInvalidSelection();
    void UpdateScrollBars();
    void DrawGrid(QPainter &painter, const QRect &area);
    void SetCellSelected(CCellID id, bool on);
    void SelectOnly(const std::set<CCellID> &cells);
    void MoveFocus(int key, Qt::KeyboardModifiers modifiers);
    void UpdateTitleTip(QPoint pt);
    void HideTitleTip();
    void OnInPlaceEditEnded(int row, int col, const QString &text, bool keep, int key, Qt::KeyboardModifiers mods);
    void PressFromTitleTip(QMouseEvent *event); // a click passed on by the title tip
    CCellID ClampedCellAt(QPoint pt) const;
    int PageRows() const;

    int m_nID = 0;
    std::vector<std::vector<std::unique_ptr<CGridCellBase>>> m_rows;
    std::vector<int> m_arRowHeights;
    std::vector<int> m_arColWidths;
    std::vector<int> m_arColOrder; // display position -> column
    int m_nFixedRows = 0;
    int m_nFixedCols = 0;
    std::array<std::unique_ptr<CGridDefaultCell>, 4> m_DefaultCells; // ordinary, fixed row, fixed col, both

    QColor m_crGridLineColour{192, 192, 192};
    QColor m_crGridBkColour;
    bool m_bCustomGridBk = false;
    bool m_bEditable = true;
    bool m_bTitleTips = true;
    bool m_bEnableSelection = true;
    bool m_bAllowColResize = true;
    bool m_bAllowRowResize = true;
    bool m_bDoubleBuffer = true;

    CCellID m_idCurrentCell;
    CCellID m_idAnchor;
    std::set<CCellID> m_SelectedCells;
    std::set<CCellID> m_PrevSelection; // kept while Ctrl drags add a block
    MouseMode m_MouseMode = MouseMode::None;
    int m_nResizeIndex = -1;
    int m_nResizeStart = 0;
    int m_nResizeOriginal = 0;
    int m_nWheelRemainder = 0;

    CInPlaceEdit *m_pInPlaceEdit = nullptr;
    CTitleTip *m_pTitleTip = nullptr;
    CCellID m_idTipCell;
    // The last click passed on by the title tip, for its double-click.
    qint64 m_tipPressTime = -1;
    QPoint m_tipPressPos;
};

} // namespace kivo
