// What the text area lays out: whole lines up to LongLine units, longer ones
// a fixed window of marks at a time, each window in its line's direction.

#include "textarea/LayoutCache.h"

#include "textarea/MemoInternal.h"

#include <QFontMetricsF>

#include <cmath>

using namespace MemoInternal;

TLayoutCache::TLayoutCache(const TMemoText& text, const TComposition& composition, const std::int64_t& caret)
    : FText(text), FComposition(composition), FCaret(caret)
{
}

TLayoutCache::~TLayoutCache() = default;

void TLayoutCache::SetFont(const QFont& font)
{
    FFont = font;
    FAdvances.clear();
    Forget();
    ResetWidth();
}

void TLayoutCache::ForgetLine(std::int64_t line)
{
    FLayouts.removeIf([line](const auto& entry) { return entry.key().first == line; });
}

void TLayoutCache::Forget()
{
    FLayouts.clear();
    FLaidOutUnits = 0;
    FLongLines.clear();
    FLaidOutRevision = FText.Revision();
}

qreal TLayoutCache::Advance(char32_t code)
{
    if (code >= 0x10000)
        return QFontMetricsF(FFont).horizontalAdvance(QString::fromUcs4(&code, 1));
    if (FAdvances.empty())
        FAdvances.assign(0x10000, -1.0f);
    float& advance = FAdvances[code];
    if (advance < 0)
        advance = float(QFontMetricsF(FFont).horizontalAdvance(QChar(char16_t(code))));
    return advance;
}

qreal TLayoutCache::Advances(QStringView text, qreal x)
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

const TLayoutCache::TLongLine& TLayoutCache::LongLineMarks(std::int64_t line)
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
    map->RightToLeft = StartsRightToLeft(start, end);
    LineMeasured(end - start, x);
    FLongLines.insert(line, map);
    return *map;
}

void TLayoutCache::Patch(std::int64_t line, bool withinLine, const TEditChange& edit)
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
        map.RightToLeft = StartsRightToLeft(start, start + lineLength);
    GrowWidth(map.Width);
}

TLayoutCache::TLayoutPtr TLayoutCache::For(std::int64_t line, std::int64_t pos, qreal x)
{
    const std::int64_t lineStart = FText.LineStart(line);
    const std::int64_t lineEnd = FText.LineEnd(line);
    qsizetype window = 0;
    if (lineEnd - lineStart > LongLine) {
        const TLongLine& map = LongLineMarks(line);
        window = pos >= 0 ? std::min(map.ChunkAt(pos - lineStart) / WindowChunks, map.Windows() - 1)
                          : map.WindowAtX(x);
    }
    return Window(line, window);
}

TLayoutCache::TLayoutPtr TLayoutCache::Window(std::int64_t line, qsizetype window)
{
    if (FText.Revision() != FLaidOutRevision)
        Forget();
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
    if (layout->LineEnd - layout->LineStart > LongLine) {
        const TLongLine& map = LongLineMarks(line);
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
    }
    const QString text = FText.Text(layout->Start, layout->End);
    if (layout->Start == layout->LineStart && layout->End == layout->LineEnd)
        layout->RightToLeft = text.isRightToLeft();
    layout->Layout.setText(text);
    layout->Layout.setFont(FFont);
    layout->Layout.setTextOption(option);
    layout->Layout.setCacheEnabled(true);
    const bool preedit = !FComposition.Text.isEmpty() && FCaret >= layout->Start
                         && (FCaret < layout->End || FCaret == layout->LineEnd) && FText.LineOf(FCaret) == line;
    if (preedit) {
        layout->Layout.setPreeditArea(int(FCaret - layout->Start), FComposition.Text);
        QList<QTextLayout::FormatRange> formats;
        for (const QTextLayout::FormatRange& range : FComposition.Formats)
            formats.append({range.start + int(FCaret - layout->Start), range.length, range.format});
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

bool TLayoutCache::RightToLeft(std::int64_t line)
{
    // A long line knows it from its marks; a short one is laid out whole anyway.
    const std::int64_t start = FText.LineStart(line);
    if (FText.LineEnd(line) - start > LongLine)
        return LongLineMarks(line).RightToLeft;
    return For(line, start)->RightToLeft;
}

bool TLayoutCache::StartsRightToLeft(std::int64_t start, std::int64_t end) const
{
    // The direction of a whole line, from its first strong character.
    return FText.Text(start, FText.Snap(std::min(end, start + LongLine))).isRightToLeft();
}

void TLayoutCache::ResetWidth()
{
    FWidestLaidOut = 0;
    FWidthEstimate = qreal(FText.Original().LongestLine()) * QFontMetricsF(FFont).averageCharWidth();
}

void TLayoutCache::LineMeasured(std::int64_t units, qreal width)
{
    // The loaded text's longest line measured exactly: no need to guess any more.
    if (units == FText.Original().LongestLine() && FText.Untouched())
        FWidthEstimate = 0;
    GrowWidth(width);
}

void TLayoutCache::GrowWidth(qreal width)
{
    if (width <= FWidestLaidOut)
        return;
    FWidestLaidOut = width;
    if (OnWidthGrew)
        OnWidthGrew();
}
