// What the text area lays out: whole lines up to LongLine units, longer ones
// a window at a time, each window in its line's direction and placed where
// the windows before it end.

#include "textarea/LayoutCache.h"

#include <QFontMetricsF>
#include <QTextBoundaryFinder>

#include <array>
#include <cmath>
#include <utility>

namespace {

// Lines up to LongLine units are laid out whole, exactly as Qt lays out a
// paragraph; longer ones in windows of about Chunk units, cut where the
// pieces laid out apart show and move as the whole line would.
constexpr std::int64_t LongLine = 32768;
constexpr std::int64_t Chunk = 2048;
constexpr std::int64_t CachedUnits = 4'000'000; // laid-out text kept before the cache starts afresh
// Long lines up to this many units are shaped whole when first met; in
// longer ones a window is shaped when it is laid out, and until then its
// width is the sum of its characters' advances.
constexpr std::int64_t ShapedWhole = 1 << 19;
constexpr qreal TabStop = 80;                  // pixels between tab stops

} // namespace

TLayoutCache::TLayoutCache(const TMemoText& text)
    : FText(text)
{
}

void TLayoutCache::SetComposition(const TComposition& composition, std::int64_t at)
{
    if (!FComposition.Text.isEmpty())
        ForgetLine(FText.LineOf(std::min(FComposedAt, FText.Length())));
    FComposition = composition;
    FComposedAt = at;
    ForgetLine(FText.LineOf(at));
}

TLayoutCache::~TLayoutCache() = default;

void TLayoutCache::SetFont(const QFont& font)
{
    FFont = font;
    FPrepared.clear();
    FAdvances.clear();
    FWideAdvances.clear();
    Forget();
    ResetWidth();
}

void TLayoutCache::ForgetLine(std::int64_t line)
{
    FLayouts.removeIf([line](const auto& entry) { return entry.key().first == line; });
    if (const auto found = FLongLines.find(line); found != FLongLines.end())
        (*found)->SetPreedit(-1, 0);
}

void TLayoutCache::Forget()
{
    FLayouts.clear();
    FLaidOutUnits = 0;
    FLongLines.clear();
    // What was laid out ahead counts where the text shows the same lines.
    std::vector<TLayoutPtr> prepared = std::exchange(FPrepared, {});
    if (!FComposition.Text.isEmpty())
        return;
    for (std::int64_t line = 0; line < std::int64_t(prepared.size()) && line < FText.LineCount(); ++line) {
        const TLayoutPtr& layout = prepared[size_t(line)];
        if (FText.LineStart(line) != layout->Start || FText.LineEnd(line) != layout->End
            || FText.Text(layout->Start, layout->End) != layout->Layout.text())
            break;
        LineMeasured(layout->End - layout->Start, layout->Width);
        Keep(line, layout);
    }
}

void TLayoutCache::Prepare(const TTextStore& store, std::int64_t lines)
{
    // Another store than the one these were laid out for (a load that
    // changed nothing keeps its lines here): start afresh.
    if (FPreparedFrom != store.Data())
        FPrepared.clear();
    FPreparedFrom = store.Data();
    lines = std::min(lines, store.End().Breaks);
    for (auto line = std::int64_t(FPrepared.size()); line < lines; ++line) {
        const TTextMark start = store.SeekLine(line);
        const TTextMark next = store.SeekLine(line + 1);
        if (next.Units - 1 - start.Units > LongLine)
            return;
        QString text;
        store.Decode(start.Byte, next.Byte, text, u'\n');
        text.chop(1);
        FPrepared.push_back(LineLayout(text, start.Units, next.Units - 1));
    }
}

qreal TLayoutCache::Advance(char32_t code)
{
    if (code >= 0x10000) {
        auto found = FWideAdvances.find(code);
        if (found == FWideAdvances.end())
            found = FWideAdvances.insert(code, float(QFontMetricsF(FFont).horizontalAdvance(QString::fromUcs4(&code, 1))));
        return *found;
    }
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

namespace {

// Whether a character is one of the regional indicators that pair into flags.
bool IsRegionalIndicator(char32_t c) { return c >= 0x1F1E6 && c <= 0x1F1FF; }

bool IsExplicitDirection(char32_t c)
{
    switch (QChar::direction(c)) {
    case QChar::DirLRE: case QChar::DirLRO: case QChar::DirRLE: case QChar::DirRLO: case QChar::DirPDF:
    case QChar::DirLRI: case QChar::DirRLI: case QChar::DirFSI: case QChar::DirPDI:
        return true;
    default:
        return false;
    }
}

// Calls f with each character of text, a surrogate pair as one.
template <typename F> void ForEachCharacter(QStringView text, F&& f)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            f(QChar::surrogateToUcs4(text[i], text[i + 1]), i);
            ++i;
        } else {
            f(char32_t(text[i].unicode()), i);
        }
    }
}

// The first strong character outside isolates, as Qt finds a paragraph's
// direction: its offset and whether it reads right to left.
struct TStrong {
    qsizetype Offset = -1;
    bool RightToLeft = false;
};

TStrong FirstStrongIn(QStringView text, int& isolates)
{
    TStrong found;
    ForEachCharacter(text, [&](char32_t c, qsizetype i) {
        if (found.Offset >= 0)
            return;
        switch (QChar::direction(c)) {
        case QChar::DirLRI: case QChar::DirRLI: case QChar::DirFSI: ++isolates; break;
        case QChar::DirPDI: isolates = std::max(0, isolates - 1); break;
        case QChar::DirL: if (isolates == 0) found = {i, false}; break;
        case QChar::DirR: case QChar::DirAL: if (isolates == 0) found = {i, true}; break;
        default: break;
        }
    });
    return found;
}

// What the bidirectional algorithm has met so far, as far as a cut needs
// it. Where no embedding is open and the last character that is not neutral
// is a strong one of the line's own direction (or there is none), the text
// on each side of a cut resolves as it does in the whole line.
class TBidiState final
{
public:
    explicit TBidiState(bool rightToLeft) : FRightToLeft(rightToLeft) {}

    void Feed(char32_t c)
    {
        switch (c < 128 ? AsciiDirection()[c] : QChar::direction(c)) {
        case QChar::DirL: FLast = FRightToLeft ? kOther : kBase; break;
        case QChar::DirR: case QChar::DirAL: FLast = FRightToLeft ? kBase : kOther; break;
        case QChar::DirEN: case QChar::DirES: case QChar::DirET: case QChar::DirAN: case QChar::DirCS:
            FLast = kWeak;
            break;
        case QChar::DirLRE: case QChar::DirLRO: case QChar::DirRLE: case QChar::DirRLO:
        case QChar::DirLRI: case QChar::DirRLI: case QChar::DirFSI:
            ++FDepth;
            break;
        case QChar::DirPDF: case QChar::DirPDI: FDepth = std::max(0, FDepth - 1); break;
        default: break; // neutrals, marks and characters the algorithm ignores
        }
    }
    bool Sound() const { return FDepth == 0 && (FLast == kNone || FLast == kBase); }

private:
    enum TLast { kNone, kBase, kOther, kWeak };
    // The common case without a call into the Unicode tables.
    static const std::array<QChar::Direction, 128>& AsciiDirection()
    {
        static const std::array<QChar::Direction, 128> table = [] {
            std::array<QChar::Direction, 128> directions{};
            for (char32_t c = 0; c < 128; ++c)
                directions[c] = QChar::direction(c);
            return directions;
        }();
        return table;
    }
    const bool FRightToLeft;
    int FDepth = 0;
    TLast FLast = kNone;
};

// Whether a cluster ends before text[i], judged from the text around it;
// `indicators` counts the regional indicators just before i.
bool ClusterEndsAt(const QString& text, qsizetype i, int indicators)
{
    if (i == 0 || i >= text.size())
        return true;
    if (text[i].isLowSurrogate())
        return false;
    if (indicators > 0 && text[i].isHighSurrogate() && i + 1 < text.size()
        && IsRegionalIndicator(QChar::surrogateToUcs4(text[i], text[i + 1])))
        return indicators % 2 == 0;
    const qsizetype from = std::max<qsizetype>(0, i - 32);
    const qsizetype to = std::min<qsizetype>(text.size(), i + 32);
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text.constData() + from, int(to - from));
    clusters.setPosition(int(i - from));
    return clusters.isAtBoundary();
}

} // namespace

TLayoutCache::TCuts TLayoutCache::Cut(std::int64_t lineStart, std::int64_t lineEnd, std::int64_t from,
                                      bool rightToLeft, std::int64_t settled, const std::vector<std::int64_t>& later)
{
    // Windows end between clusters, where the text on both sides resolves to
    // the line's own direction, best before white space, so that nothing is
    // shaped across a cut either; a window without such a place is cut at the
    // first sound one, and one without any at LongLine.
    TCuts cuts;
    cuts.Starts.push_back(from - lineStart);
    TBidiState bidi(rightToLeft);
    auto next = later.begin();
    std::int64_t cut = from;
    qreal x = 0;
    qreal cutX = 0;
    int indicators = 0; // regional indicators just before, which pair from the first
    constexpr std::int64_t Slice = 64 * Chunk;
    constexpr std::int64_t Context = 64; // units around a place that decide whether a cluster ends there
    for (std::int64_t at = from; at < lineEnd;) {
        // Each slice is read with some text before and after it.
        const std::int64_t readFrom = FText.Snap(std::max(lineStart, at - Context));
        const std::int64_t sliceEnd = FText.Snap(std::min(at + Slice, lineEnd));
        const std::int64_t readTo = FText.Snap(std::min(sliceEnd + Context, lineEnd));
        const QString text = FText.Text(readFrom, std::max(readTo, std::min(at + 2, lineEnd)));
        const qsizetype end = std::max(qsizetype(at - readFrom) + 1, qsizetype(sliceEnd - readFrom));
        qsizetype i = qsizetype(at - readFrom);
        while (i < end && i < text.size()) {
            const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
            const char32_t c = pair ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode();
            const std::int64_t pos = readFrom + i;
            const std::int64_t offset = pos - lineStart;
            const std::int64_t length = pos - cut;
            // Clusters are only asked about where a cut would be taken.
            const auto endsCluster = [&] { return ClusterEndsAt(text, i, indicators); };
            if (pos > from && offset >= settled && bidi.Sound()) {
                while (next != later.end() && *next < offset)
                    ++next;
                if (next != later.end() && *next == offset && endsCluster()) {
                    cuts.Widths.push_back(x - cutX);
                    cuts.Resume = offset;
                    return cuts;
                }
            }
            if (pos > from
                && (length >= LongLine
                    || (bidi.Sound() && (length >= 2 * Chunk || (length >= Chunk && QChar::isSpace(c)))))
                && endsCluster()) {
                cuts.Starts.push_back(offset);
                cuts.Widths.push_back(x - cutX);
                cut = pos;
                cutX = x;
            }
            bidi.Feed(c);
            indicators = IsRegionalIndicator(c) ? indicators + 1 : 0;
            x = c == u'\t' ? (std::floor(x / TabStop) + 1) * TabStop : x + Advance(c);
            cuts.HasTabs = cuts.HasTabs || c == u'\t';
            i += pair ? 2 : 1;
        }
        at = readFrom + i;
    }
    cuts.Widths.push_back(x - cutX);
    cuts.Resume = lineEnd - lineStart;
    return cuts;
}

TLayoutCache::TLongLine& TLayoutCache::Marks(std::int64_t line)
{
    if (const auto found = FLongLines.find(line); found != FLongLines.end())
        return **found;
    if (FLongLines.size() > 64)
        FLongLines.clear();
    auto map = std::make_shared<TLongLine>();
    const std::int64_t start = FText.LineStart(line);
    const std::int64_t end = FText.LineEnd(line);
    // The direction, from the first strong character wherever it stands.
    int isolates = 0;
    for (std::int64_t at = start; at < end && map->FirstStrong < 0;) {
        const std::int64_t sliceEnd = FText.Snap(std::min(at + 4 * Chunk, end));
        const QString text = FText.Text(at, sliceEnd > at ? sliceEnd : std::min(at + 2, end));
        if (const TStrong strong = FirstStrongIn(text, isolates); strong.Offset >= 0) {
            map->FirstStrong = at + strong.Offset - start;
            map->RightToLeft = strong.RightToLeft;
        }
        at += text.size();
    }
    TCuts cuts = Cut(start, end, start, map->RightToLeft, end - start, {});
    map->Offset = std::move(cuts.Starts);
    map->Widths = std::move(cuts.Widths);
    map->Shaped.assign(map->Offset.size(), false);
    map->HasTabs = cuts.HasTabs;
    if (end - start <= ShapedWhole) {
        for (qsizetype k = 0; k < map->Windows(); ++k)
            Shape(*map, line, k);
    }
    FLongLines.insert(line, map);
    LineMeasured(end - start, map->Width());
    return *map;
}

const TLayoutCache::TLongLine& TLayoutCache::LongLineMarks(std::int64_t line)
{
    return Marks(line);
}

namespace {

QTextOption LineOption()
{
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabStopDistance(TabStop);
    // Every line starts at the left margin, right-to-left ones too.
    option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
    return option;
}

} // namespace

QTextOption TLayoutCache::WindowOption(const TLongLine& map, qsizetype k) const
{
    QTextOption option = LineOption();
    option.setTextDirection(map.RightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    if (map.HasTabs && !map.RightToLeft) {
        // Tab stops keep their places in the whole line.
        const qreal start = map.StartOf(k);
        QList<qreal> tabs;
        const qreal limit = 2 * map.Widths[size_t(k)] + 4 * TabStop;
        for (qreal stop = (std::floor(start / TabStop) + 1) * TabStop - start; stop < limit; stop += TabStop)
            tabs << stop;
        option.setTabArray(tabs);
    }
    return option;
}

namespace {

// How far a line's caret moves from position `from` to `to`.
qreal Span(const QTextLine& line, int from, int to) { return std::abs(line.cursorToX(to) - line.cursorToX(from)); }

void LayOutOneLine(QTextLayout& layout)
{
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1e7);
    line.setPosition(QPointF(0, 0));
    layout.endLayout();
}

} // namespace

void TLayoutCache::Shape(TLongLine& map, std::int64_t line, qsizetype k)
{
    const std::int64_t lineStart = FText.LineStart(line);
    const std::int64_t from = lineStart + map.Offset[size_t(k)];
    const std::int64_t to = k + 1 < map.Windows() ? lineStart + map.Offset[size_t(k + 1)] : FText.LineEnd(line);
    QTextLayout layout(FText.Text(from, to), FFont);
    layout.setTextOption(WindowOption(map, k));
    LayOutOneLine(layout);
    map.SetWidth(k, Span(layout.lineAt(0), 0, int(to - from)), true);
}

void TLayoutCache::Place(TLineLayout& layout, const TLongLine& map) const
{
    // The window's logical start goes where the windows before it end.
    const qsizetype k = layout.Window;
    const qreal start = map.StartOf(k);
    const qreal end = map.StartOf(k + 1);
    const qreal origin = layout.Line().cursorToX(0);
    layout.Width = map.Width();
    layout.X0 = (map.RightToLeft ? layout.Width - start : start) - origin;
    layout.Right = map.RightToLeft ? layout.Width - start : end;
}

void TLayoutCache::Patch(std::int64_t line, bool withinLine, const TEditChange& edit)
{
    FLayouts.clear();
    FLaidOutUnits = 0;
    // Other lines keep their windows while the lines keep their numbers.
    if (!withinLine) {
        FLongLines.clear();
        return;
    }
    const auto found = FLongLines.find(line);
    if (found == FLongLines.end())
        return;
    TLongLine& map = **found;
    if (!WindowsOutlive(map, line, edit)) {
        FLongLines.erase(found);
        return;
    }
    CutAgain(map, line, edit);
}

bool TLayoutCache::WindowsOutlive(TLongLine& map, std::int64_t line, const TEditChange& edit) const
{
    const std::int64_t start = FText.LineStart(line);
    const std::int64_t end = FText.LineEnd(line);
    const std::int64_t at = edit.Pos - start;
    // Tabs make every later x depend on this one; a short line is laid out whole.
    if (map.HasTabs || end - start <= LongLine)
        return false;
    // Regional indicators pair from the start of their run, and explicit
    // direction marks reach as far as they like: the windows are cut afresh.
    const QString around = FText.Text(FText.Snap(std::max(start, edit.Pos - 2)),
                                      FText.Snap(std::min(end, edit.Pos + edit.Inserted + 2)));
    bool farReaching = false;
    ForEachCharacter(around, [&](char32_t c, qsizetype) {
        farReaching = farReaching || IsRegionalIndicator(c) || IsExplicitDirection(c);
    });
    if (farReaching)
        return false;
    // The direction holds unless the edit reached the character that set it.
    if (map.FirstStrong < 0 || at <= map.FirstStrong) {
        if (map.FirstStrong >= 0 && at + edit.Removed > map.FirstStrong)
            return false;
        int isolates = 0;
        const TStrong strong = FirstStrongIn(FText.Text(edit.Pos, edit.Pos + edit.Inserted), isolates);
        if (strong.Offset >= 0 && strong.RightToLeft != map.RightToLeft && (map.FirstStrong >= 0 || strong.RightToLeft))
            return false;
        if (strong.Offset >= 0)
            map.FirstStrong = at + strong.Offset;
        else if (map.FirstStrong >= 0)
            map.FirstStrong += edit.Inserted - edit.Removed;
    }
    return true;
}

void TLayoutCache::CutAgain(TLongLine& map, std::int64_t line, const TEditChange& edit)
{
    // The windows from the one before the edit are cut again, until a later
    // cut is met that is still sound.
    const std::int64_t start = FText.LineStart(line);
    const std::int64_t at = edit.Pos - start;
    const std::int64_t delta = edit.Inserted - edit.Removed;
    const qsizetype k = map.WindowAt(at);
    const qsizetype first = std::max<qsizetype>(0, k - 1);
    std::vector<std::int64_t> later;
    for (qsizetype j = k + 1; j < map.Windows(); ++j)
        later.push_back(map.Offset[size_t(j)] + delta);
    const TCuts cuts = Cut(start, FText.LineEnd(line), start + map.Offset[size_t(first)], map.RightToLeft,
                           at + edit.Inserted, later);
    const auto resumed = qsizetype(std::lower_bound(later.begin(), later.end(), cuts.Resume) - later.begin());
    const auto kept = size_t(k + 1 + resumed); // the old window that now follows the new ones
    std::vector<std::int64_t> offsets(map.Offset.begin(), map.Offset.begin() + first);
    offsets.insert(offsets.end(), cuts.Starts.begin(), cuts.Starts.end());
    offsets.insert(offsets.end(), later.begin() + resumed, later.end());
    std::vector<qreal> widths(map.Widths.begin(), map.Widths.begin() + first);
    widths.insert(widths.end(), cuts.Widths.begin(), cuts.Widths.end());
    widths.insert(widths.end(), map.Widths.begin() + std::min(kept, map.Widths.size()), map.Widths.end());
    std::vector<bool> shaped(map.Shaped.begin(), map.Shaped.begin() + first);
    shaped.resize(shaped.size() + cuts.Starts.size(), false);
    shaped.insert(shaped.end(), map.Shaped.begin() + std::min(kept, map.Shaped.size()), map.Shaped.end());
    map.Offset = std::move(offsets);
    map.Widths = std::move(widths);
    map.Shaped = std::move(shaped);
    map.Changed();
    // The windows cut again are shaped now: the edit is in view.
    for (qsizetype j = first; j < first + qsizetype(cuts.Starts.size()); ++j)
        Shape(map, line, j);
    GrowWidth(map.Width());
}

TLayoutCache::TLayoutPtr TLayoutCache::For(std::int64_t line, std::int64_t pos, qreal x)
{
    const std::int64_t lineStart = FText.LineStart(line);
    qsizetype window = 0;
    if (FText.LineEnd(line) - lineStart > LongLine) {
        const TLongLine& map = Marks(line);
        window = pos >= 0 ? map.WindowAt(pos - lineStart) : map.WindowAtX(x);
    }
    return Window(line, window);
}

TLayoutCache::TLayoutPtr TLayoutCache::Before(std::int64_t line, std::int64_t pos)
{
    const std::int64_t lineStart = FText.LineStart(line);
    if (FText.LineEnd(line) - lineStart <= LongLine)
        return Window(line, 0);
    const TLongLine& map = Marks(line);
    return Window(line, map.WindowAt(pos - lineStart - 1));
}

TLayoutCache::TLayoutPtr TLayoutCache::Window(std::int64_t line, qsizetype window)
{
    const std::int64_t lineStart = FText.LineStart(line);
    const std::int64_t lineEnd = FText.LineEnd(line);
    const bool composing = !FComposition.Text.isEmpty() && FText.LineOf(FComposedAt) == line;
    TLongLine* map = lineEnd - lineStart > LongLine ? &Marks(line) : nullptr;
    // The composition widens its window, and so moves every window after it.
    if (map && composing) {
        const qsizetype caretWindow = map->WindowAt(FComposedAt - lineStart);
        if (map->PreeditWindow != caretWindow && window != caretWindow)
            Window(line, caretWindow);
    }
    if (const auto found = FLayouts.find(std::make_pair(line, std::int64_t(window))); found != FLayouts.end()) {
        if (map)
            Place(**found, *map);
        return *found;
    }
    if (!map && !(composing && FComposedAt >= lineStart && FComposedAt <= lineEnd)) {
        const TLayoutPtr layout = LineLayout(FText.Text(lineStart, lineEnd), lineStart, lineEnd);
        LineMeasured(lineEnd - lineStart, layout->Width);
        Keep(line, layout);
        return layout;
    }
    const TLayoutPtr layout = WindowLayout(line, window, map);
    const bool preedit = composing && FComposedAt >= layout->Start
                         && (FComposedAt < layout->End || FComposedAt == lineEnd);
    if (preedit)
        ShowComposition(*layout, map, line);
    LayOutOneLine(layout->Layout);
    Measure(*layout, map, preedit);
    if (!preedit)
        Keep(line, layout);
    return layout;
}

TLayoutCache::TLayoutPtr TLayoutCache::WindowLayout(std::int64_t line, qsizetype window, const TLongLine* map) const
{
    auto layout = std::make_shared<TLineLayout>();
    layout->LineStart = layout->Start = FText.LineStart(line);
    layout->LineEnd = layout->End = FText.LineEnd(line);
    layout->Window = window;
    if (map) {
        layout->Start = layout->LineStart + map->Offset[size_t(window)];
        if (window + 1 < map->Windows())
            layout->End = layout->LineStart + map->Offset[size_t(window + 1)];
        layout->RightToLeft = map->RightToLeft;
    }
    const QString text = FText.Text(layout->Start, layout->End);
    if (!map)
        layout->RightToLeft = text.isRightToLeft();
    layout->Layout.setText(text);
    layout->Layout.setFont(FFont);
    layout->Layout.setTextOption(map ? WindowOption(*map, window) : LineOption());
    return layout;
}

void TLayoutCache::ShowComposition(TLineLayout& layout, TLongLine* map, std::int64_t line)
{
    if (map && !map->Shaped[size_t(layout.Window)])
        Shape(*map, line, layout.Window);
    layout.PreeditAt = int(FComposedAt - layout.Start);
    layout.PreeditLength = int(FComposition.Text.size());
    layout.Layout.setPreeditArea(layout.PreeditAt, FComposition.Text);
    QList<QTextLayout::FormatRange> formats;
    for (const QTextLayout::FormatRange& range : FComposition.Formats)
        formats.append({range.start + layout.PreeditAt, range.length, range.format});
    layout.Layout.setFormats(formats);
}

void TLayoutCache::Measure(TLineLayout& layout, TLongLine* map, bool preedit)
{
    const int units = int(layout.End - layout.Start);
    if (!map) {
        layout.Width = layout.Line().naturalTextWidth();
        layout.Right = layout.Width;
        LineMeasured(units, layout.Width);
        return;
    }
    const auto window = size_t(layout.Window);
    if (preedit)
        map->SetPreedit(layout.Window, Span(layout.Line(), 0, units + layout.PreeditLength) - map->Widths[window]);
    else if (!map->Shaped[window])
        map->SetWidth(layout.Window, Span(layout.Line(), 0, units), true);
    Place(layout, *map);
    GrowWidth(map->Width());
}

void TLayoutCache::Keep(std::int64_t line, const TLayoutPtr& layout)
{
    FLaidOutUnits += layout->End - layout->Start;
    if (FLaidOutUnits > CachedUnits) {
        FLayouts.clear();
        FLaidOutUnits = layout->End - layout->Start;
    }
    FLayouts.insert(std::make_pair(line, std::int64_t(layout->Window)), layout);
}

TLayoutCache::TLayoutPtr TLayoutCache::LineLayout(const QString& text, std::int64_t start, std::int64_t end) const
{
    auto layout = std::make_shared<TLineLayout>();
    layout->LineStart = layout->Start = start;
    layout->LineEnd = layout->End = end;
    layout->RightToLeft = text.isRightToLeft();
    layout->Layout.setText(text);
    layout->Layout.setFont(FFont);
    layout->Layout.setTextOption(LineOption());
    LayOutOneLine(layout->Layout);
    layout->Width = layout->Line().naturalTextWidth();
    layout->Right = layout->Width;
    return layout;
}

bool TLayoutCache::RightToLeft(std::int64_t line)
{
    // A long line knows it from its windows; a short one is laid out whole anyway.
    const std::int64_t start = FText.LineStart(line);
    if (FText.LineEnd(line) - start > LongLine)
        return Marks(line).RightToLeft;
    return For(line, start)->RightToLeft;
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
