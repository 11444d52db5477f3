// How the text area lays out its lines: whole ones, and long ones a window
// at a time; where positions are, and the scrolling that follows from it.

#include "textarea/MemoInternal.h"

#include <QFontMetricsF>
#include <QScrollBar>

#include <cmath>

using namespace MemoInternal;

// --- Layout ---------------------------------------------------------------

void TMemo::ForgetLayouts() const
{
    FLayouts.clear();
    FLaidOutUnits = 0;
    FLongLines.clear();
    FLaidOutRevision = FText.Revision();
}

qreal TMemo::Advance(char32_t code) const
{
    if (code >= 0x10000)
        return QFontMetricsF(font()).horizontalAdvance(QString::fromUcs4(&code, 1));
    if (FAdvances.empty())
        FAdvances.assign(0x10000, -1.0f);
    float& advance = FAdvances[code];
    if (advance < 0)
        advance = float(QFontMetricsF(font()).horizontalAdvance(QChar(char16_t(code))));
    return advance;
}

qreal TMemo::Advances(QStringView text, qreal x) const
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\t') {
            x = (std::floor(x / TabStop) + 1) * TabStop;
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size()) {
            x += Advance(QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
        } else {
            x += Advance(c);
        }
    }
    return x;
}

const TMemo::TLongLine& TMemo::LongLineMap(std::int64_t line) const
{
    if (const auto found = FLongLines.find(line); found != FLongLines.end())
        return **found;
    if (FLongLines.size() > 64)
        FLongLines.clear();
    auto map = std::make_shared<TLongLine>();
    const std::int64_t start = FText.LineStart(line);
    const std::int64_t end = FText.LineEnd(line);
    qreal x = 0;
    // Decoded a large slice at a time; the marks fall every Chunk units, on
    // character boundaries.
    constexpr std::int64_t Slice = 64 * Chunk;
    for (std::int64_t at = start; at < end;) {
        const std::int64_t sliceEnd = FText.Snap(std::min(at + Slice, end));
        const QString text = FText.Text(at, sliceEnd > at ? sliceEnd : at + 2);
        map->HasTabs = map->HasTabs || text.contains(u'\t');
        for (qsizetype i = 0; i < text.size();) {
            qsizetype next = std::min<qsizetype>(i + Chunk, text.size());
            if (next < text.size() && text[next].isLowSurrogate())
                ++next;
            map->Offset.push_back(at + i - start);
            map->X.push_back(x);
            x = Advances(QStringView(text).sliced(i, next - i), x);
            i = next;
        }
        at += text.size();
    }
    map->Width = x;
    // The direction of the whole line, from its first strong character.
    map->RightToLeft = FText.Text(start, FText.Snap(std::min(end, start + LongLine))).isRightToLeft();
    LineMeasured(end - start, x);
    FLongLines.insert(line, map);
    return *map;
}

void TMemo::PatchLongLines(std::int64_t line, bool withinLine, const TEditChange& edit)
{
    const std::int64_t pos = edit.Pos;
    const std::int64_t removed = edit.Removed;
    const std::int64_t inserted = edit.Inserted;
    FLayouts.clear();
    FLaidOutUnits = 0;
    FLaidOutRevision = FText.Revision();
    // Other lines keep their marks while the lines keep their numbers.
    if (!withinLine) {
        FLongLines.clear();
        return;
    }
    const auto found = FLongLines.find(line);
    if (found == FLongLines.end())
        return;
    TLongLine& map = **found;
    const std::int64_t start = FText.LineStart(line);
    const std::int64_t lineLength = FText.LineEnd(line) - start;
    const std::int64_t at = pos - start;
    const auto k = qsizetype(std::upper_bound(map.Offset.begin(), map.Offset.end(), at) - map.Offset.begin() - 1);
    const qsizetype count = qsizetype(map.Offset.size());
    const std::int64_t delta = inserted - removed;
    const std::int64_t oldEnd = k + 1 < count ? map.Offset[k + 1] : lineLength - delta;
    const std::int64_t newEnd = oldEnd + delta;
    // Tabs make every later x depend on this one, and a chunk that became
    // empty or very large is better measured again.
    if (map.HasTabs || k < 0 || at + removed > oldEnd || newEnd <= map.Offset[k]
        || newEnd - map.Offset[k] > 8 * Chunk || lineLength <= LongLine) {
        FLongLines.erase(found);
        return;
    }
    const QString chunk = FText.Text(start + map.Offset[k], start + newEnd);
    if (chunk.contains(u'\t')) {
        FLongLines.erase(found);
        return;
    }
    const qreal oldWidth = (k + 1 < count ? map.X[k + 1] : map.Width) - map.X[k];
    const qreal change = Advances(chunk, 0) - oldWidth;
    for (qsizetype j = k + 1; j < count; ++j) {
        map.Offset[j] += delta;
        map.X[j] += change;
    }
    map.Width += change;
    if (at < LongLine)
        map.RightToLeft = FText.Text(start, FText.Snap(std::min(start + lineLength, start + LongLine))).isRightToLeft();
    GrowWidth(map.Width);
}

TMemo::TLayoutPtr TMemo::LayoutFor(std::int64_t line, std::int64_t pos, qreal x) const
{
    const std::int64_t lineStart = FText.LineStart(line);
    const std::int64_t lineEnd = FText.LineEnd(line);
    qsizetype window = 0;
    if (lineEnd - lineStart > LongLine) {
        const TLongLine& map = LongLineMap(line);
        window = pos >= 0 ? std::min(map.ChunkAt(pos - lineStart) / WindowChunks, map.Windows() - 1)
                          : map.WindowAtX(x);
    }
    return WindowLayout(line, window);
}

TMemo::TLayoutPtr TMemo::WindowLayout(std::int64_t line, qsizetype window) const
{
    if (FText.Revision() != FLaidOutRevision)
        ForgetLayouts();
    const auto key = std::make_pair(line, std::int64_t(window));
    if (const auto found = FLayouts.find(key); found != FLayouts.end())
        return *found;

    auto layout = std::make_shared<TLineLayout>();
    layout->LineStart = FText.LineStart(line);
    layout->LineEnd = FText.LineEnd(line);
    layout->Start = layout->LineStart;
    layout->End = layout->LineEnd;
    layout->Window = window;
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabStopDistance(TabStop);
    // Every line starts at the left margin, right-to-left ones too.
    option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
    QString text;
    if (layout->LineEnd - layout->LineStart > LongLine) {
        const TLongLine& map = LongLineMap(line);
        const qsizetype first = window * WindowChunks;
        const qsizetype last = std::min<qsizetype>(first + WindowChunks, qsizetype(map.Offset.size()));
        layout->Start = layout->LineStart + map.Offset[first];
        layout->End = last < qsizetype(map.Offset.size()) ? layout->LineStart + map.Offset[last] : layout->LineEnd;
        layout->Width = map.Width;
        layout->RightToLeft = map.RightToLeft;
        // A window takes the direction of its whole line, and sits where its
        // marks say: from the left end, or mirrored from the right end.
        option.setTextDirection(map.RightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
        layout->X0 = map.RightToLeft ? map.Width - map.ChunkX(last) : map.ChunkX(first);
        if (map.HasTabs && !map.RightToLeft) {
            // Tab stops keep their places in the whole line.
            QList<qreal> tabs;
            const qreal limit = map.ChunkX(last) - layout->X0 + TabStop;
            for (qreal stop = (std::floor(layout->X0 / TabStop) + 1) * TabStop - layout->X0; stop < limit;
                 stop += TabStop)
                tabs << stop;
            option.setTabArray(tabs);
        }
        text = FText.Text(layout->Start, layout->End);
    } else {
        text = FText.Text(layout->Start, layout->End);
        layout->RightToLeft = text.isRightToLeft();
    }
    layout->Layout.setText(text);
    layout->Layout.setFont(font());
    layout->Layout.setTextOption(option);
    layout->Layout.setCacheEnabled(true);
    const bool preedit = !FPreedit.isEmpty() && FCursor >= layout->Start
                         && (FCursor < layout->End || FCursor == layout->LineEnd) && FText.LineOf(FCursor) == line;
    if (preedit) {
        layout->Layout.setPreeditArea(int(FCursor - layout->Start), FPreedit);
        QList<QTextLayout::FormatRange> formats;
        for (const QTextLayout::FormatRange& range : FPreeditFormats)
            formats.append({range.start + int(FCursor - layout->Start), range.length, range.format});
        layout->Layout.setFormats(formats);
    }
    layout->Layout.beginLayout();
    QTextLine textLine = layout->Layout.createLine();
    textLine.setLineWidth(1e7);
    textLine.setPosition(QPointF(0, 0));
    layout->Layout.endLayout();
    if (layout->Start == layout->LineStart && layout->End == layout->LineEnd) {
        layout->Width = textLine.naturalTextWidth();
        LineMeasured(layout->End - layout->Start, layout->Width);
    }
    if (!preedit) {
        FLaidOutUnits += layout->End - layout->Start;
        if (FLaidOutUnits > CachedUnits) {
            FLayouts.clear();
            FLaidOutUnits = layout->End - layout->Start;
        }
        FLayouts.insert(key, layout);
    }
    return layout;
}

bool TMemo::LineIsRightToLeft(std::int64_t line) const
{
    return LayoutFor(line, FText.LineStart(line))->RightToLeft;
}

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
    const TLayoutPtr layout = LayoutFor(line, pos);
    const int previous = layout->Layout.previousCursorPosition(int(pos - layout->Start));
    return std::min(layout->Start + previous, pos - 1);
}

std::int64_t TMemo::WordStep(std::int64_t pos, bool forward) const
{
    // Word edges come from the text around pos, taken in growing slices until
    // the edge falls inside one, so that no window edge stops a word.
    const std::int64_t line = FText.LineOf(pos);
    const std::int64_t lineStart = FText.LineStart(line);
    const std::int64_t lineEnd = FText.LineEnd(line);
    for (std::int64_t span = Chunk;; span *= 4) {
        const std::int64_t from = forward ? pos : FText.Snap(std::max(lineStart, pos - span));
        const std::int64_t to = forward ? FText.Snap(std::min(lineEnd, pos + span)) : pos;
        QTextLayout slice(FText.Text(from, to)); // character attributes only; nothing is shaped
        const int local = int(pos - from);
        const std::int64_t edge = from + (forward ? slice.nextCursorPosition(local, QTextLayout::SkipWords)
                                                  : slice.previousCursorPosition(local, QTextLayout::SkipWords));
        if (forward ? (edge < to || to == lineEnd) : (edge > from || from == lineStart))
            return forward ? std::max(edge, pos + 1) : std::min(edge, pos - 1);
    }
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

void TMemo::ResetWidth()
{
    FWidestLaidOut = 0;
    FWidthEstimate = qreal(FText.Original().LongestLine()) * QFontMetricsF(font()).averageCharWidth();
}

void TMemo::LineMeasured(std::int64_t units, qreal width) const
{
    // The loaded text's longest line measured exactly: no need to guess any more.
    if (units == FText.Original().LongestLine() && FText.Untouched())
        FWidthEstimate = 0;
    GrowWidth(width);
}

void TMemo::GrowWidth(qreal width) const
{
    if (width <= FWidestLaidOut)
        return;
    FWidestLaidOut = width;
    const_cast<TMemo*>(this)->UpdateScrollBars();
}

void TMemo::UpdateScrollBars()
{
    const int visible = VisibleLines();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setPageStep(visible);
    vertical->setSingleStep(1);
    vertical->setRange(0, ClampToInt(FText.LineCount() - visible));

    // Past about a billion pixels one step of the bar is several pixels.
    const qreal total = std::max(FWidestLaidOut, FWidthEstimate) + 2 * Margin + 1;
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
    const int local = int(pos - layout->Start) + (pos == FCursor ? FPreeditCursor : 0);
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

    const qreal x = XOf(pos);
    GrowWidth(x);
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
