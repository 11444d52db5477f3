#pragma once

#include "textarea/MemoText.h"

#include <QFont>
#include <QHash>
#include <QList>
#include <QString>
#include <QTextLayout>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace MemoInternal {

// Lines up to LongLine units are laid out whole, exactly as Qt lays out a
// paragraph; longer ones a fixed window of WindowChunks marks at a time.
constexpr std::int64_t LongLine = 32768;
constexpr std::int64_t Chunk = 1024;           // units between the marks of a long line
constexpr qsizetype WindowChunks = 4;
constexpr std::int64_t CachedUnits = 4'000'000; // laid-out text kept before the cache starts afresh

} // namespace MemoInternal

// What an input method is composing at the caret: its text, its formats and
// where its own cursor is.
struct TComposition {
    QString Text;
    QList<QTextLayout::FormatRange> Formats;
    int Cursor = 0;
    bool CursorVisible = true;
};

// What the text area has laid out and measured: the layouts of lines (of
// long lines a window at a time), the marks of long lines, the advances of
// characters, and the widest line measured. It follows the text's revision
// on its own; a new font or composition is told to it.
class TLayoutCache final
{
public:
    struct TLineLayout;
    struct TLongLine;
    using TLayoutPtr = std::shared_ptr<TLineLayout>;

    // The text laid out, the composition shown in the caret's line, and the caret.
    TLayoutCache(const TMemoText& text, const TComposition& composition, const std::int64_t& caret);
    Q_DISABLE_COPY_MOVE(TLayoutCache)
    ~TLayoutCache();

    void SetFont(const QFont& font);
    // Told when the widest line laid out grew, so that scroll bars follow.
    std::function<void()> OnWidthGrew;

    // The layout of a line around a position (or around x when pos < 0).
    TLayoutPtr For(std::int64_t line, std::int64_t pos, qreal x = 0);
    // One window of a line (the whole line when it is not long).
    TLayoutPtr Window(std::int64_t line, qsizetype window);
    const TLongLine& LongLineMarks(std::int64_t line);
    bool RightToLeft(std::int64_t line);
    // Everything laid out goes; or only one line's layouts (the composition changed).
    void Forget();
    void ForgetLine(std::int64_t line);
    // After an edit: the lines laid out are forgotten, a long line's marks
    // are moved when the edit stayed within the line and they can be.
    void Patch(std::int64_t line, bool withinLine, const TEditChange& edit);

    // The horizontal extent: an estimate from the index until the longest
    // line is measured, and the widest line laid out.
    void ResetWidth();
    void GrowWidth(qreal width);
    qreal Width() const { return std::max(FWidestLaidOut, FWidthEstimate); }

private:
    qreal Advance(char32_t code);
    // x after the characters of text, starting at x.
    qreal Advances(QStringView text, qreal x);
    void LineMeasured(std::int64_t units, qreal width);
    bool StartsRightToLeft(std::int64_t start, std::int64_t end) const;

    const TMemoText& FText;
    const TComposition& FComposition;
    const std::int64_t& FCaret;
    QFont FFont;
    QHash<std::pair<std::int64_t, std::int64_t>, TLayoutPtr> FLayouts; // by line and window
    std::int64_t FLaidOutUnits = 0;
    QHash<std::int64_t, std::shared_ptr<TLongLine>> FLongLines;
    std::vector<float> FAdvances;
    std::uint64_t FLaidOutRevision = ~std::uint64_t(0);
    qreal FWidestLaidOut = 0;
    qreal FWidthEstimate = 0;
};

// A laid-out line, or one window of a long line. Its text starts at the left
// margin whatever its direction; a right-to-left line reads from its right end.
struct TLayoutCache::TLineLayout {
    std::int64_t Start = 0;    // position of the window's first character
    std::int64_t End = 0;      // position after its last
    std::int64_t LineStart = 0;
    std::int64_t LineEnd = 0;
    qsizetype Window = 0;      // which window of a long line
    qreal X0 = 0;              // x of the window's left edge in the line
    qreal Width = 0;           // of the whole line
    bool RightToLeft = false;  // the line's direction
    QTextLayout Layout;

    QTextLine Line() const { return Layout.lineAt(0); }
    qreal XOf(std::int64_t pos) const { return X0 + Line().cursorToX(int(pos - Start)); }
};

// Where every Chunk units of a long line begin (counted from the line's
// start), and how far from the line's start (its left end, or its right end
// for a right-to-left line) each begins.
struct TLayoutCache::TLongLine {
    std::vector<std::int64_t> Offset;
    std::vector<qreal> X;
    qreal Width = 0;
    bool HasTabs = false;
    bool RightToLeft = false;

    qsizetype Windows() const { return (qsizetype(Offset.size()) + MemoInternal::WindowChunks - 1) / MemoInternal::WindowChunks; }
    qsizetype ChunkAt(std::int64_t offset) const
    {
        return std::max<qsizetype>(0, std::upper_bound(Offset.begin(), Offset.end(), offset) - Offset.begin() - 1);
    }
    // The window under x, measured from the line's left end.
    qsizetype WindowAtX(qreal x) const
    {
        const qreal fromStart = RightToLeft ? Width - x : x;
        const auto chunk = std::upper_bound(X.begin(), X.end(), fromStart) - X.begin() - 1;
        return std::clamp<qsizetype>(chunk / MemoInternal::WindowChunks, 0, Windows() - 1);
    }
    qreal ChunkX(qsizetype chunk) const { return chunk < qsizetype(X.size()) ? X[chunk] : Width; }
};
