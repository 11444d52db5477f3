// Where positions are in the text area's lines (LayoutCache lays them out),
// and the scrolling that follows from it.

#include "textarea/MemoInternal.h"

#include <QFontMetricsF>
#include <QScrollBar>

#include <cmath>
#include <optional>
#include <string_view>

using namespace MemoInternal;

qreal TMemo::XOf(std::int64_t pos) const
{
    return LayoutFor(FText.LineOf(pos), pos)->XOf(pos);
}

std::int64_t TMemo::PositionIn(std::int64_t line, qreal x) const
{
    line = std::clamp<std::int64_t>(line, 0, FText.LineCount() - 1);
    const TLayoutPtr layout = LayoutFor(line, -1, x);
    return layout->Start + layout->Line().xToCursor(x - layout->X0, QTextLine::CursorBetweenCharacters);
}

std::int64_t TMemo::NextPosition(std::int64_t pos, bool word) const
{
    const std::int64_t line = FText.LineOf(pos);
    if (pos >= FText.LineEnd(line))
        return std::min(pos + 1, FText.Length());
    if (word)
        return WordStep(pos, true);
    const TLayoutPtr layout = LayoutFor(line, pos);
    const int next = layout->Layout.nextCursorPosition(int(pos - layout->Start));
    return std::max(layout->Start + next, pos + 1);
}

std::int64_t TMemo::PreviousPosition(std::int64_t pos, bool word) const
{
    const std::int64_t line = FText.LineOf(pos);
    if (pos <= FText.LineStart(line))
        return std::max<std::int64_t>(pos - 1, 0);
    if (word)
        return WordStep(pos, false);
    const TLayoutPtr layout = LayoutBefore(line, pos);
    const int previous = layout->Layout.previousCursorPosition(int(pos - layout->Start));
    return std::min(layout->Start + previous, pos - 1);
}

namespace {

// What a word move stops at, as in Qt's own text fields: white space, the
// separators below, and everything else.
enum class TWordClass { wcSpace, wcSeparator, wcOther };

TWordClass WordClassOf(char32_t c)
{
    if (QChar::isSpace(c))
        return TWordClass::wcSpace;
    if (c < 128 && std::u16string_view(u".,?!@#$:;-<>[](){}=/+%&^*'\"`~|\\").find(char16_t(c)) != std::u16string_view::npos)
        return TWordClass::wcSeparator;
    return TWordClass::wcOther;
}

// The characters of one line from a position on, one way, read a slice at
// a time; a long run of ASCII word characters is crossed without reading it.
class TWordScan final
{
public:
    TWordScan(const TMemoText& text, std::int64_t pos, std::int64_t limit)
        : FText(text), FPos(pos), FLimit(limit), FForward(limit > pos) {}

    std::int64_t Pos() const { return FPos; }

    // The class of the next character, or nothing at the line's edge.
    std::optional<TWordClass> Next()
    {
        if (FPos == FLimit)
            return std::nullopt;
        if (OutsideSlice())
            Read();
        return WordClassOf(Character());
    }

    // Over the run of characters of one class that follows.
    void Skip(TWordClass skipped)
    {
        for (;;) {
            // Once a slice, a jump over the ASCII letters and digits ahead.
            if (skipped == TWordClass::wcOther && OutsideSlice())
                FPos = FText.SkipWordRun(FPos, FLimit);
            if (Next() != skipped)
                return;
            const int units = Character() > 0xFFFF ? 2 : 1;
            FPos += FForward ? units : -units;
        }
    }

private:
    static constexpr std::int64_t Slice = 4096;

    bool OutsideSlice() const { return FForward ? FPos < FFrom || FPos >= FTo : FPos <= FFrom || FPos > FTo; }

    void Read()
    {
        FFrom = FForward ? FPos : FText.Snap(std::max(FLimit, FPos - Slice));
        FTo = FForward ? FText.Snap(std::min(FLimit, FPos + Slice)) : FPos;
        FSlice = FText.Text(FFrom, FTo);
    }

    // The character after (forward) or before the position, a pair whole.
    char32_t Character() const
    {
        const qsizetype i = qsizetype(FPos - FFrom);
        if (FForward) {
            if (i + 1 < FSlice.size() && FSlice[i].isHighSurrogate() && FSlice[i + 1].isLowSurrogate())
                return QChar::surrogateToUcs4(FSlice[i], FSlice[i + 1]);
            return FSlice[i].unicode();
        }
        if (i >= 2 && FSlice[i - 1].isLowSurrogate() && FSlice[i - 2].isHighSurrogate())
            return QChar::surrogateToUcs4(FSlice[i - 2], FSlice[i - 1]);
        return FSlice[i - 1].unicode();
    }

    const TMemoText& FText;
    std::int64_t FPos;
    const std::int64_t FLimit;
    const bool FForward;
    QString FSlice;
    std::int64_t FFrom = 0;
    std::int64_t FTo = 0;
};

} // namespace

std::int64_t TMemo::WordStep(std::int64_t pos, bool forward) const
{
    // Qt's rule: forward over a run of separators or of other characters,
    // then over white space; backward over white space, then over one run.
    // Only the characters crossed are read, so a long word costs its bytes.
    const std::int64_t line = FText.LineOf(pos);
    TWordScan scan(FText, pos, forward ? FText.LineEnd(line) : FText.LineStart(line));
    if (!forward)
        scan.Skip(TWordClass::wcSpace);
    const std::optional<TWordClass> run = scan.Next();
    scan.Skip(run == TWordClass::wcSeparator ? TWordClass::wcSeparator : TWordClass::wcOther);
    if (forward)
        scan.Skip(TWordClass::wcSpace);
    return forward ? std::max(scan.Pos(), pos + 1) : std::min(scan.Pos(), pos - 1);
}

std::pair<std::int64_t, std::int64_t> TMemo::WordAt(std::int64_t pos) const
{
    const std::int64_t line = FText.LineOf(pos);
    const std::int64_t lineStart = FText.LineStart(line);
    const std::int64_t lineEnd = FText.LineEnd(line);
    // The characters around pos, more of them until the word ends inside.
    for (std::int64_t span = 256;; span *= 4) {
        const std::int64_t from = FText.Snap(std::max(lineStart, pos - span));
        const std::int64_t to = FText.Snap(std::min(lineEnd, pos + span));
        const QString text = FText.Text(from, to);
        qsizetype i = qsizetype(pos - from);
        if (i >= text.size() || !IsWordCharacter(text[i])) {
            if (i > 0 && IsWordCharacter(text[i - 1]))
                --i;
            else if (i < text.size())
                return {pos, FText.Snap(pos + (text[i].isHighSurrogate() ? 2 : 1))};
            else
                return {pos, pos};
        }
        qsizetype start = i;
        qsizetype end = i;
        while (start > 0 && IsWordCharacter(text[start - 1]))
            --start;
        while (end < text.size() && IsWordCharacter(text[end]))
            ++end;
        if ((start > 0 || from == lineStart) && (end < text.size() || to == lineEnd))
            return {from + start, from + end};
    }
}

// --- Geometry and scrolling -----------------------------------------------

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
    vertical->setRange(0, ClampToInt(FText.LineCount() - visible));

    // Past about a billion pixels one step of the bar is several pixels.
    const qreal total = FLayout.Width() + 2 * Margin + 1;
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
    pos = FText.Snap(pos);
    const std::int64_t line = FText.LineOf(pos);
    const TLayoutPtr layout = LayoutFor(line, pos);
    // At the caret, the input method's cursor within the text being composed.
    const int local = layout->Local(pos) + (pos == FCursor ? FComposition.Cursor : 0);
    const qreal x = layout->X0 + layout->Line().cursorToX(local);
    // Rounded, as Qt's own text fields report their cursor.
    return QRect(qRound(Margin + x - HorizontalOffset()), Margin + int(line - FirstVisibleLine()) * LineHeight(), 1,
                 LineHeight());
}

QRect TMemo::CharacterRect(std::int64_t pos) const
{
    pos = FText.Snap(pos);
    const std::int64_t line = FText.LineOf(pos);
    const TLayoutPtr layout = LayoutFor(line, pos);
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
    return PositionIn(FirstVisibleLine() + row, point.x() - Margin + HorizontalOffset());
}

void TMemo::EnsureVisible(std::int64_t pos)
{
    const std::int64_t line = FText.LineOf(pos);
    const std::int64_t first = FirstVisibleLine();
    const int visible = VisibleLines();
    if (line < first)
        verticalScrollBar()->setValue(ClampToInt(line));
    else if (line >= first + visible)
        verticalScrollBar()->setValue(ClampToInt(line - visible + 1));

    // At the caret, the input method's cursor within what it composes.
    const qreal x = pos == FCursor && !FComposition.Text.isEmpty()
        ? CaretRect(pos).x() - Margin + HorizontalOffset() : XOf(pos);
    FLayout.GrowWidth(x);
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
