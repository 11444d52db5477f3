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
// characters, and the widest line measured. The editing core owns it and is
// the only one that tells it what changed: each edit (Patch), a new text
// (Forget), a new font, and what an input method composes where.
class TLayoutCache final
{
public:
    struct TLineLayout;
    struct TLongLine;
    using TLayoutPtr = std::shared_ptr<TLineLayout>;

    explicit TLayoutCache(const TMemoText& text);
    Q_DISABLE_COPY_MOVE(TLayoutCache)
    ~TLayoutCache();

    void SetFont(const QFont& font);
    // What an input method composes, shown at `at` (nothing when its text is
    // empty); the lines it leaves and enters are laid out afresh.
    void SetComposition(const TComposition& composition, std::int64_t at);
    // Told when the widest line laid out grew, so that scroll bars follow.
    std::function<void()> OnWidthGrew;

    // The layout of a line around a position (or around x when pos < 0).
    TLayoutPtr For(std::int64_t line, std::int64_t pos, qreal x = 0);
    // The layout whose text runs up to pos: at a window's start, the window before.
    TLayoutPtr Before(std::int64_t line, std::int64_t pos);
    // One window of a line (the whole line when it is not long).
    TLayoutPtr Window(std::int64_t line, qsizetype window);
    const TLongLine& LongLineMarks(std::int64_t line);
    bool RightToLeft(std::int64_t line);
    // Lays out ahead the first `lines` lines of a store still being read
    // (those whose end has arrived and that are not long), as they will be
    // laid out once it is the text. The next Forget keeps those the text
    // then shows alike.
    void Prepare(const TTextStore& store, std::int64_t lines);
    // Everything laid out goes; or only one line's layouts (the composition changed).
    void Forget();
    void ForgetLine(std::int64_t line);
    // After an edit: the lines laid out are forgotten; a long line's windows
    // are cut again around the edit when it stayed within the line.
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
    // Cuts a long line into windows from `from`, a cut, on; from the offset
    // `settled` on, the first of the later cuts that is still sound ends the
    // work (Resume; the line's length when none does).
    struct TCuts {
        std::vector<std::int64_t> Starts;  // of the windows, from the line's start
        std::vector<qreal> Widths;         // estimated from the characters' advances
        std::int64_t Resume = 0;
        bool HasTabs = false;
    };
    TCuts Cut(std::int64_t lineStart, std::int64_t lineEnd, std::int64_t from, bool rightToLeft,
              std::int64_t settled, const std::vector<std::int64_t>& later);
    TLongLine& Marks(std::int64_t line);
    // After an edit within a long line: whether its windows can be kept
    // (the direction it sets noted), and then its windows cut again around it.
    bool WindowsOutlive(TLongLine& map, std::int64_t line, const TEditChange& edit) const;
    void CutAgain(TLongLine& map, std::int64_t line, const TEditChange& edit);
    QTextOption WindowOption(const TLongLine& map, qsizetype k) const;
    // Lays a window out and records its shaped width; the layout is not kept.
    void Shape(TLongLine& map, std::int64_t line, qsizetype k);
    void Place(TLineLayout& layout, const TLongLine& map) const;
    // A window's layout (a whole line's when map is null), its text set, not laid out yet.
    TLayoutPtr WindowLayout(std::int64_t line, qsizetype window, const TLongLine* map) const;
    void ShowComposition(TLineLayout& layout, TLongLine* map, std::int64_t line);
    // Records a laid-out window's width (or a whole line's) and places it.
    void Measure(TLineLayout& layout, TLongLine* map, bool preedit);
    // A short line's layout of text at [start, end) of its line.
    TLayoutPtr LineLayout(const QString& text, std::int64_t start, std::int64_t end) const;
    void Keep(std::int64_t line, const TLayoutPtr& layout);

    const TMemoText& FText;
    TComposition FComposition;
    std::int64_t FComposedAt = 0;
    QFont FFont;
    QHash<std::pair<std::int64_t, std::int64_t>, TLayoutPtr> FLayouts; // by line and window
    std::int64_t FLaidOutUnits = 0;
    QHash<std::int64_t, std::shared_ptr<TLongLine>> FLongLines;
    std::vector<float> FAdvances;
    QHash<char32_t, float> FWideAdvances;   // of characters past the first plane
    std::vector<TLayoutPtr> FPrepared;     // of the first lines of a text on its way
    const char* FPreparedFrom = nullptr;   // the bytes they were laid out from
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
    qreal X0 = 0;              // where the layout's x = 0 lies in the line
    qreal Right = 0;           // x of the window's right edge in the line
    qreal Width = 0;           // of the whole line
    bool RightToLeft = false;  // the line's direction
    int PreeditAt = -1;        // where a composition is shown, and its length
    int PreeditLength = 0;
    QTextLayout Layout;

    QTextLine Line() const { return Layout.lineAt(0); }
    // A position in the layout's own text, which holds the composition too.
    int Local(std::int64_t pos) const
    {
        const int local = int(pos - Start);
        return PreeditAt >= 0 && local > PreeditAt ? local + PreeditLength : local;
    }
    qreal XOf(std::int64_t pos) const { return X0 + Line().cursorToX(Local(pos)); }
};

// The windows of a long line: where each begins (counted from the line's
// start) and how wide it is, shaped or, until it is, estimated. Windows are
// placed one after the other from the line's start: from its left end, or
// from its right end in a right-to-left line.
struct TLayoutCache::TLongLine {
    std::vector<std::int64_t> Offset;
    std::vector<qreal> Widths;
    std::vector<bool> Shaped;
    bool HasTabs = false;
    bool RightToLeft = false;
    std::int64_t FirstStrong = -1;     // offset of the character that sets the direction, if any
    qsizetype PreeditWindow = -1;      // the window the composition widens, and by how much
    qreal PreeditWidth = 0;

    qsizetype Windows() const { return qsizetype(Offset.size()); }
    qsizetype WindowAt(std::int64_t offset) const
    {
        return std::max<qsizetype>(0, std::upper_bound(Offset.begin(), Offset.end(), offset) - Offset.begin() - 1);
    }
    // How far from the line's start window k begins, and the whole width.
    qreal StartOf(qsizetype k) const { return Starts()[size_t(k)]; }
    qreal Width() const { return Starts().back(); }
    // The window under x, measured from the line's left end.
    qsizetype WindowAtX(qreal x) const
    {
        const std::vector<qreal>& starts = Starts();
        const qreal fromStart = RightToLeft ? starts.back() - x : x;
        const auto k = std::upper_bound(starts.begin(), starts.end() - 1, fromStart) - starts.begin() - 1;
        return std::clamp<qsizetype>(k, 0, Windows() - 1);
    }
    void SetWidth(qsizetype k, qreal width, bool shaped)
    {
        FStale = FStale || Widths[size_t(k)] != width;
        Widths[size_t(k)] = width;
        Shaped[size_t(k)] = shaped;
    }
    void SetPreedit(qsizetype k, qreal width)
    {
        FStale = FStale || PreeditWindow != k || PreeditWidth != width;
        PreeditWindow = k;
        PreeditWidth = width;
    }
    void Changed() { FStale = true; }

private:
    const std::vector<qreal>& Starts() const
    {
        if (FStale) {
            FStarts.resize(Widths.size() + 1);
            FStarts[0] = 0;
            for (size_t k = 0; k < Widths.size(); ++k)
                FStarts[k + 1] = FStarts[k] + Widths[k] + (qsizetype(k) == PreeditWindow ? PreeditWidth : 0);
            FStale = false;
        }
        return FStarts;
    }
    mutable std::vector<qreal> FStarts;
    mutable bool FStale = true;
};
