#pragma once

// What the text area's source files share: its measures, small helpers, and
// the layout records of its lines. Not for use outside textarea/.

#include "textarea/Memo.h"

#include <QTextLayout>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace MemoInternal {

constexpr int Margin = 4;                      // around the text, as a plain text edit has
constexpr qreal TabStop = 80;                  // pixels between tab stops
// Lines up to LongLine units are laid out whole, exactly as Qt lays out a
// paragraph; longer ones a fixed window of WindowChunks marks at a time.
constexpr std::int64_t LongLine = 32768;
constexpr std::int64_t Chunk = 1024;           // units between the marks of a long line
constexpr qsizetype WindowChunks = 4;
constexpr std::int64_t CachedUnits = 4'000'000; // laid-out text kept before the cache starts afresh
constexpr std::int64_t NoticeLimit = 65536;    // most text carried by one change notice
constexpr std::int64_t PrimaryLimit = 16'000'000; // most text a mouse selection offers to other programs

inline int ClampToInt(std::int64_t value)
{
    return int(std::clamp<std::int64_t>(value, 0, std::numeric_limits<int>::max()));
}

inline bool IsWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c.isMark();
}

} // namespace MemoInternal

// A laid-out line, or one window of a long line. Its text starts at the left
// margin whatever its direction; a right-to-left line reads from its right end.
struct TMemo::TLineLayout {
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
struct TMemo::TLongLine {
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
