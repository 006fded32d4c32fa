#pragma once
// The cells of CGridCtrl: the abstract cell, the ordinary cell and the
// default cells that hold the attributes a group of cells falls back on.
#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <memory>

class QPainter;
class QPalette;

namespace kivo {

class CGridCtrl;

// Text drawing format of a cell (bit flags; one horizontal and one vertical
// alignment, plus the line flags).
namespace GridFormat {
constexpr unsigned Left = 0x0000;
constexpr unsigned HCenter = 0x0001;
constexpr unsigned Right = 0x0002;
constexpr unsigned Top = 0x0000;
constexpr unsigned VCenter = 0x0004;
constexpr unsigned Bottom = 0x0008;
constexpr unsigned WordBreak = 0x0010;
constexpr unsigned SingleLine = 0x0020;
constexpr unsigned NoPrefix = 0x0800;    // '&' is drawn as it is
constexpr unsigned EndEllipsis = 0x8000; // a cut text ends with an ellipsis
// One line, left aligned, vertically centred, no access keys, ellipsis.
constexpr unsigned Standard = Left | VCenter | SingleLine | NoPrefix | EndEllipsis;
} // namespace GridFormat

// Cell state flags.
namespace CellState {
constexpr unsigned Focused = 0x0001;
constexpr unsigned Selected = 0x0002;
constexpr unsigned ReadOnly = 0x0004;
constexpr unsigned Fixed = 0x0008;
constexpr unsigned FixedRow = 0x0010; // lies in a fixed row
constexpr unsigned FixedCol = 0x0020; // lies in a fixed column
constexpr unsigned Modified = 0x0040;
} // namespace CellState

// Markers: "use the default cell's value".
constexpr unsigned kDefaultFormat = ~0u;
constexpr int kDefaultMargin = -1;
inline QColor DefaultColour() { return QColor(); } // the invalid colour

// Sizes derived from the default font.
struct CellSizes {
    int margin = 3;  // one space
    int width = 40;  // " XXXXXXXXXXXX "
    int height = 16; // 1.5 x that text's height
};
// The default sizes for `font`; without a font (no drawing context) the
// fallbacks 3, 40 and 16.
CellSizes DefaultCellSizes(const QFont *font);

// The text of `text` as a cell draws it in `width` pixels: cut with an
// ellipsis when the format asks for one and the text is too wide.
QString ElidedCellText(const QString &text, const QFont &font, unsigned format, int width);

class CGridCellBase
{
public:
    virtual ~CGridCellBase() = default;

    virtual void SetText(const QString &text) = 0;
    virtual QString GetText() const = 0;
    virtual void SetFormat(unsigned format) = 0;
    virtual unsigned GetFormat() const = 0; // may be kDefaultFormat
    virtual void SetTextClr(const QColor &colour) = 0;
    virtual QColor GetTextClr() const = 0; // invalid: the default
    virtual void SetBackClr(const QColor &colour) = 0;
    virtual QColor GetBackClr() const = 0; // invalid: the default
    // A null font means the default cell's font.
    virtual void SetFont(const QFont *font) = 0;
    virtual const QFont *GetFont() const = 0;
    virtual void SetMargin(int margin) = 0;
    virtual int GetMargin() const = 0; // may be kDefaultMargin

    virtual void SetState(unsigned state) { m_nState = state; }
    virtual unsigned GetState() const { return m_nState; }
    void SetImage(int image) { m_nImage = image; }
    int GetImage() const { return m_nImage; }
    void SetData(quintptr data) { m_lParam = data; }
    quintptr GetData() const { return m_lParam; }

    void SetGrid(CGridCtrl *grid) { m_pGrid = grid; }
    CGridCtrl *GetGrid() const { return m_pGrid; }
    // The default cell whose values replace this cell's markers (none for
    // a default cell itself).
    virtual const CGridCellBase *GetDefaultCell() const;

    bool IsFixed() const { return GetState() & CellState::Fixed; }
    bool IsFixedRow() const { return GetState() & CellState::FixedRow; }
    bool IsFixedCol() const { return GetState() & CellState::FixedCol; }
    bool IsSelected() const { return GetState() & CellState::Selected; }
    bool IsFocused() const { return GetState() & CellState::Focused; }
    bool IsReadOnly() const { return GetState() & CellState::ReadOnly; }
    bool IsModified() const { return GetState() & CellState::Modified; }

    // The values in effect, markers resolved.
    QColor EffectiveTextClr() const;
    QColor EffectiveBackClr() const;
    QFont EffectiveFont() const;
    unsigned EffectiveFormat() const;
    int EffectiveMargin() const;

    // The part of `cellRect` the text is drawn in (the margin taken off).
    QRect TextRect(const QRect &cellRect) const;
    // The text as drawn in `cellRect`.
    QString DisplayText(const QRect &cellRect) const;
    // True when the whole text does not fit into `cellRect`.
    bool IsTextClipped(const QRect &cellRect) const;

    // Paints the cell's background and text into `rect` (the grid line to
    // its right and bottom is the grid's business).
    virtual void Draw(QPainter &painter, const QRect &rect, const QPalette &palette) const;

protected:
    CGridCtrl *m_pGrid = nullptr;
    unsigned m_nState = 0;
    int m_nImage = -1;
    quintptr m_lParam = 0;
};

// An ordinary cell: every attribute starts as the default marker.
class CGridCell : public CGridCellBase
{
public:
    void SetText(const QString &text) override { m_strText = text; }
    QString GetText() const override { return m_strText; }
    void SetFormat(unsigned format) override { m_nFormat = format; }
    unsigned GetFormat() const override { return m_nFormat; }
    void SetTextClr(const QColor &colour) override { m_crFgClr = colour; }
    QColor GetTextClr() const override { return m_crFgClr; }
    void SetBackClr(const QColor &colour) override { m_crBkClr = colour; }
    QColor GetBackClr() const override { return m_crBkClr; }
    void SetFont(const QFont *font) override;
    const QFont *GetFont() const override { return m_pFont.get(); }
    void SetMargin(int margin) override { m_nMargin = margin; }
    int GetMargin() const override { return m_nMargin; }

private:
    QString m_strText;
    unsigned m_nFormat = kDefaultFormat;
    QColor m_crFgClr;
    QColor m_crBkClr;
    std::unique_ptr<QFont> m_pFont;
    int m_nMargin = kDefaultMargin;
};

// The attributes of one group of cells (ordinary, fixed-row, fixed-column,
// or both), with the default column width and row height. Its values are
// never markers.
class CGridDefaultCell : public CGridCell
{
public:
    CGridDefaultCell();
    // Sets the font and derives margin, width and height from it.
    void SetFont(const QFont *font) override;
    const CGridCellBase *GetDefaultCell() const override { return nullptr; }

    void SetWidth(int width) { m_Size.setWidth(width); }
    int GetWidth() const { return m_Size.width(); }
    void SetHeight(int height) { m_Size.setHeight(height); }
    int GetHeight() const { return m_Size.height(); }

private:
    QSize m_Size{40, 16};
};

} // namespace kivo
