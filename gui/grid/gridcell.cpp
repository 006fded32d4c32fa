#include "grid/gridcell.h"

#include "grid/gridctrl.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <qdrawutil.h>

#include <cmath>

namespace kivo {

namespace {

int QtFlags(unsigned format)
{
    int flags = 0;
    if (format & GridFormat::HCenter)
        flags |= Qt::AlignHCenter;
    else if (format & GridFormat::Right)
        flags |= Qt::AlignRight;
    else
        flags |= Qt::AlignLeft;
    if (format & GridFormat::VCenter)
        flags |= Qt::AlignVCenter;
    else if (format & GridFormat::Bottom)
        flags |= Qt::AlignBottom;
    else
        flags |= Qt::AlignTop;
    if (format & GridFormat::WordBreak && !(format & GridFormat::SingleLine))
        flags |= Qt::TextWordWrap;
    else
        flags |= Qt::TextSingleLine;
    return flags;
}

bool Elides(unsigned format)
{
    return (format & GridFormat::EndEllipsis) &&
           !((format & GridFormat::WordBreak) && !(format & GridFormat::SingleLine));
}

} // namespace

CellSizes DefaultCellSizes(const QFont *font)
{
    CellSizes sizes;
    if (!font)
        return sizes;
    QFontMetrics fm(*font);
    const QString sample = QStringLiteral(" XXXXXXXXXXXX ");
    int space = fm.horizontalAdvance(QLatin1Char(' '));
    int width = fm.horizontalAdvance(sample);
    int height = fm.height();
    if (width <= 0 || height <= 0)
        return sizes;
    sizes.margin = space;
    sizes.width = width;
    sizes.height = int(std::lround(height * 1.5));
    return sizes;
}

QString ElidedCellText(const QString &text, const QFont &font, unsigned format, int width)
{
    if (!Elides(format))
        return text;
    QFontMetrics fm(font);
    if (fm.horizontalAdvance(text) <= width)
        return text;
    return fm.elidedText(text, Qt::ElideRight, std::max(width, 0));
}

const CGridCellBase *CGridCellBase::GetDefaultCell() const
{
    if (!m_pGrid)
        return nullptr;
    return m_pGrid->GetDefaultCell(IsFixedRow(), IsFixedCol());
}

QColor CGridCellBase::EffectiveTextClr() const
{
    QColor c = GetTextClr();
    if (c.isValid())
        return c;
    if (const CGridCellBase *def = GetDefaultCell())
        return def->EffectiveTextClr();
    return QGuiApplication::palette().color(QPalette::WindowText);
}

QColor CGridCellBase::EffectiveBackClr() const
{
    QColor c = GetBackClr();
    if (c.isValid())
        return c;
    if (const CGridCellBase *def = GetDefaultCell())
        return def->EffectiveBackClr();
    return QGuiApplication::palette().color(IsFixed() ? QPalette::Button : QPalette::Base);
}

QFont CGridCellBase::EffectiveFont() const
{
    if (const QFont *f = GetFont())
        return *f;
    if (const CGridCellBase *def = GetDefaultCell())
        return def->EffectiveFont();
    return QGuiApplication::font();
}

unsigned CGridCellBase::EffectiveFormat() const
{
    unsigned f = GetFormat();
    if (f != kDefaultFormat)
        return f;
    if (const CGridCellBase *def = GetDefaultCell())
        return def->EffectiveFormat();
    return GridFormat::Standard;
}

int CGridCellBase::EffectiveMargin() const
{
    int m = GetMargin();
    if (m != kDefaultMargin)
        return m;
    if (const CGridCellBase *def = GetDefaultCell())
        return def->EffectiveMargin();
    return CellSizes{}.margin;
}

QRect CGridCellBase::TextRect(const QRect &cellRect) const
{
    int m = EffectiveMargin();
    // The grid line takes the last pixel column and row of the rectangle.
    return cellRect.adjusted(m, 0, -m - 1, -1);
}

QString CGridCellBase::DisplayText(const QRect &cellRect) const
{
    return ElidedCellText(GetText(), EffectiveFont(), EffectiveFormat(), TextRect(cellRect).width());
}

bool CGridCellBase::IsTextClipped(const QRect &cellRect) const
{
    const QString text = GetText();
    if (text.isEmpty())
        return false;
    QFontMetrics fm(EffectiveFont());
    QRect area = TextRect(cellRect);
    unsigned format = EffectiveFormat();
    if (format & GridFormat::SingleLine || !(format & GridFormat::WordBreak))
        return fm.horizontalAdvance(text) > area.width();
    QRect needed = fm.boundingRect(area, QtFlags(format), text);
    return needed.width() > area.width() || needed.height() > area.height();
}

void CGridCellBase::Draw(QPainter &painter, const QRect &rect, const QPalette &palette) const
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    painter.save();
    QRect inner = rect.adjusted(0, 0, -1, -1);
    QColor fg = EffectiveTextClr();
    if (IsFixed()) {
        // A raised header button.
        QBrush face(EffectiveBackClr());
        qDrawShadePanel(&painter, rect, palette, false, 1, &face);
    } else if (IsSelected() && !IsFocused()) {
        painter.fillRect(inner, palette.color(QPalette::Highlight));
        fg = palette.color(QPalette::HighlightedText);
    } else {
        painter.fillRect(inner, EffectiveBackClr());
    }

    const QString text = GetText();
    if (!text.isEmpty()) {
        QFont font = EffectiveFont();
        unsigned format = EffectiveFormat();
        QRect area = TextRect(rect);
        painter.setClipRect(inner);
        painter.setFont(font);
        painter.setPen(fg);
        painter.drawText(area, QtFlags(format), ElidedCellText(text, font, format, area.width()));
        painter.setClipping(false);
    }
    if (IsFocused() && !IsFixed()) {
        painter.setPen(QPen(palette.color(QPalette::WindowText), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(inner.adjusted(0, 0, -1, -1));
    }
    painter.restore();
}

void CGridCell::SetFont(const QFont *font)
{
    if (font)
        m_pFont = std::make_unique<QFont>(*font);
    else
        m_pFont.reset();
}

CGridDefaultCell::CGridDefaultCell()
{
    SetFormat(GridFormat::Standard);
    SetMargin(CellSizes{}.margin);
}

void CGridDefaultCell::SetFont(const QFont *font)
{
    CGridCell::SetFont(font);
    CellSizes sizes = DefaultCellSizes(font);
    SetMargin(sizes.margin);
    m_Size = QSize(sizes.width, sizes.height);
}

} // namespace kivo
