// Where the text area's positions are on screen, and its scrolling.

#include "textarea/Memo.h"

#include "textarea/MemoEditor.h"
#include "textarea/MemoInternal.h"

#include <QFontMetricsF>
#include <QScrollBar>

#include <cmath>

using namespace MemoInternal;

int TMemo::LineHeight() const
{
    return std::max(1, QFontMetrics(font()).height());
}

int TMemo::VisibleLines() const
{
    return std::max(1, (viewport()->height() - Margin) / LineHeight());
}

std::int64_t TMemo::FirstVisibleLine() const
{
    return verticalScrollBar()->value();
}

qreal TMemo::HorizontalOffset() const
{
    return horizontalScrollBar()->value() * FWidthScale;
}

void TMemo::UpdateScrollBars()
{
    const int visible = VisibleLines();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setPageStep(visible);
    vertical->setSingleStep(1);
    vertical->setRange(0, ClampToInt(FEditor->Text().LineCount() - visible));

    // Past about a billion pixels one step of the bar is several pixels.
    const qreal total = FEditor->Width() + 2 * Margin + 1;
    const qreal available = std::max(1, viewport()->width());
    const qreal scale = std::max<qreal>(1, std::ceil(total / 1e9));
    QScrollBar* horizontal = horizontalScrollBar();
    if (scale != FWidthScale) {
        const qreal offset = HorizontalOffset();
        FWidthScale = scale;
        horizontal->setRange(0, int(std::ceil((total - available) / scale)));
        horizontal->setValue(int(offset / scale));
    }
    horizontal->setPageStep(std::max(1, int(available / scale)));
    horizontal->setSingleStep(std::max(1, int(20 / scale)));
    horizontal->setRange(0, std::max(0, int(std::ceil((total - available) / scale))));
}

QRect TMemo::CaretRect(std::int64_t pos) const
{
    const TMemoText& text = FEditor->Text();
    pos = text.Snap(pos);
    const std::int64_t line = text.LineOf(pos);
    const TLayoutCache::TLayoutPtr layout = FEditor->LineLayout(line, pos);
    // At the caret, the input method's cursor within the text being composed.
    const int local = layout->Local(pos) + (pos == FEditor->Cursor() ? FEditor->Composition().Cursor : 0);
    const qreal x = layout->X0 + layout->Line().cursorToX(local);
    // Rounded, as Qt's own text fields report their cursor.
    return QRect(qRound(Margin + x - HorizontalOffset()), Margin + int(line - FirstVisibleLine()) * LineHeight(), 1,
                 LineHeight());
}

QRect TMemo::CharacterRect(std::int64_t pos) const
{
    const TMemoText& text = FEditor->Text();
    pos = text.Snap(pos);
    const std::int64_t line = text.LineOf(pos);
    const TLayoutCache::TLayoutPtr layout = FEditor->LineLayout(line, pos);
    qreal x = layout->XOf(pos);
    qreal right = x + QFontMetricsF(font()).horizontalAdvance(u' ');
    if (pos < layout->End) {
        // The character's own edges: in right-to-left text its end lies left of its start.
        const qreal other = layout->XOf(layout->Start + layout->Layout.nextCursorPosition(int(pos - layout->Start)));
        right = std::max(x, other);
        x = std::min(x, other);
    }
    const int left = int(std::floor(Margin + x - HorizontalOffset()));
    const int top = Margin + int(line - FirstVisibleLine()) * LineHeight();
    return QRect(left, top, std::max(1, int(std::ceil(right - x))), LineHeight());
}

std::int64_t TMemo::PositionAt(const QPoint& point) const
{
    const int row = point.y() < Margin ? -1 : (point.y() - Margin) / LineHeight();
    return FEditor->PositionIn(FirstVisibleLine() + row, point.x() - Margin + HorizontalOffset());
}

void TMemo::EnsureVisible(std::int64_t pos)
{
    const std::int64_t line = FEditor->Text().LineOf(pos);
    const std::int64_t first = FirstVisibleLine();
    const int visible = VisibleLines();
    if (line < first)
        verticalScrollBar()->setValue(ClampToInt(line));
    else if (line >= first + visible)
        verticalScrollBar()->setValue(ClampToInt(line - visible + 1));

    // At the caret, the input method's cursor within what it composes.
    const qreal x = pos == FEditor->Cursor() && !FEditor->Composition().Text.isEmpty()
        ? CaretRect(pos).x() - Margin + HorizontalOffset() : FEditor->XOf(pos);
    FEditor->GrowWidth(x);
    const qreal offset = HorizontalOffset();
    const qreal width = viewport()->width() - 2 * Margin - 1;
    if (x < offset)
        horizontalScrollBar()->setValue(int(std::floor(x / FWidthScale)));
    else if (x > offset + width)
        horizontalScrollBar()->setValue(int(std::ceil((x - width) / FWidthScale)));
}

void TMemo::scrollContentsBy(int, int)
{
    viewport()->update();
}
