#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

// The text of the text area: the loaded bytes kept as they were read, an
// index over them, and a piece table for the user's edits. Nothing is ever
// copied into UTF-16 except the parts that are shown, copied or asked for.
//
// Display rules: UTF-8 where every ill-formed part shows as one U+FFFD and a
// text that starts inside a character shows one U+FFFD for it; CR LF, a lone
// CR and a lone LF each end one line. Positions count UTF-16 units, a line
// end counting one.

struct TFreeBytes {
    void operator()(char* p) const noexcept { std::free(p); }
};
using TMallocBytes = std::unique_ptr<char, TFreeBytes>;

// A character boundary in a byte store: its byte offset, and the UTF-16
// units and line ends before it.
struct TTextMark {
    std::int64_t Byte = 0;
    std::int64_t Units = 0;
    std::int64_t Breaks = 0;
};

// Bytes and the index over them: a mark at a character boundary about every
// 4 KB, so any position is found by a binary search and a short scan.
class TTextStore final
{
public:
    // An empty store that grows with Append.
    TTextStore();
    // A loaded block of which the first `size` bytes count; the text ends at
    // the first zero byte. Throws std::bad_alloc when the index cannot be had.
    TTextStore(TMallocBytes block, std::int64_t size);

    TTextStore(TTextStore&&) noexcept = default;
    TTextStore& operator=(TTextStore&&) noexcept = default;

    std::int64_t Size() const { return FSize; }
    const char* Data() const { return reinterpret_cast<const char*>(Bytes()); }
    bool CutAtZero() const { return FCutAtZero; }
    const TTextMark& End() const { return FEnd; }
    // The longest line in UTF-16 units.
    std::int64_t LongestLine() const;

    // Appends text as UTF-8 with every line end (CR LF, CR, LF, U+2029) made
    // one LF and a lone surrogate made U+FFFD.
    void Append(QStringView text);

    TTextMark SeekByte(std::int64_t byte) const;
    // The boundary `units` units from the start (before a pair it would split).
    TTextMark SeekUnits(std::int64_t units) const;
    // The boundary just after line end number `breaks` (counted from 1).
    TTextMark SeekLine(std::int64_t breaks) const;

    // Appends the characters of bytes [from, to) to `out`, each line end as `lineBreak`.
    void Decode(std::int64_t from, std::int64_t to, QString& out, QChar lineBreak) const;

private:
    const unsigned char* Bytes() const;
    // One character at `byte`: its code (LF for a line end) and byte length.
    int CharAt(std::int64_t byte, char32_t& code) const;
    void Step(TTextMark& mark) const;
    TTextMark SeekTo(std::int64_t TTextMark::*key, std::int64_t value) const;
    void Index();

    TMallocBytes FBlock;
    std::string FAdded;
    std::int64_t FSize = 0;
    int FLeadSkip = 0;
    bool FCutAtZero = false;
    std::vector<TTextMark> FMarks;
    TTextMark FEnd;
    std::int64_t FNextMark = 0;
    std::int64_t FLineStartUnits = 0;
    std::int64_t FLongestLine = 0;
};

// A run of one store's bytes between two character boundaries.
struct TPiece {
    bool Added = false;
    TTextMark Begin;
    TTextMark End;
    std::int64_t Units() const { return End.Units - Begin.Units; }
    std::int64_t Breaks() const { return End.Breaks - Begin.Breaks; }
};

// How an edit came about; typing and deleting merge into one undo step.
enum class TEditKind { ekOther, ekTyping, ekDeleteBack, ekDeleteForward };

// What an undo or redo changed: at Pos, Removed units went and Inserted came.
struct TEditChange {
    std::int64_t Pos = 0;
    std::int64_t Removed = 0;
    std::int64_t Inserted = 0;
};

class TMemoText final
{
public:
    TMemoText();
    ~TMemoText();
    TMemoText(const TMemoText&) = delete;
    TMemoText& operator=(const TMemoText&) = delete;

    // Replaces the whole text by a loaded store; the undo history goes.
    void Load(TTextStore original);
    const TTextStore& Original() const { return FOriginal; }

    std::int64_t Length() const;
    std::int64_t LineCount() const;
    std::int64_t LineStart(std::int64_t line) const;
    // The position of the line's end (the text's length for the last line).
    std::int64_t LineEnd(std::int64_t line) const;
    std::int64_t LineOf(std::int64_t pos) const;
    // The nearest character boundary at or before pos, within the text.
    std::int64_t Snap(std::int64_t pos) const;

    // The characters of [from, to), line ends as `lineBreak`. Throws
    // std::bad_alloc when the memory for them cannot be had.
    QString Text(std::int64_t from, std::int64_t to, QChar lineBreak = u'\n') const;
    QString Text() const { return Text(0, Length()); }
    // Whether the text equals what `store` shows, without copying either.
    bool SameText(const TTextStore& store) const;
    // Counts every edit and load, so views know when to forget what they laid out.
    std::uint64_t Revision() const { return FRevision; }

    // Replaces [from, to) by text (line ends made one, see Append); returns
    // the units inserted.
    std::int64_t Replace(std::int64_t from, std::int64_t to, QStringView text,
                         TEditKind kind = TEditKind::ekOther);
    // The next edit starts a new undo step even when it could merge.
    void BreakMerge() { FMergeable = false; }
    // No edit since the last load (or every one undone and forgotten).
    bool Untouched() const { return FUndo.empty() && FRedo.empty(); }
    bool CanUndo() const { return !FUndo.empty(); }
    bool CanRedo() const { return !FRedo.empty(); }
    // What Undo or Redo would change, before it does.
    TEditChange NextUndo() const;
    TEditChange NextRedo() const;
    TEditChange Undo();
    TEditChange Redo();

private:
    struct TNode;
    struct TEdit;
    using TTree = std::unique_ptr<TNode>;

    const TTextStore& StoreOf(const TPiece& piece) const;
    // Byte is unused: positions in the whole text have no single store.
    TTextMark Locate(std::int64_t pos) const;
    TTree NewNode(const TPiece& piece);
    TTree Merge(TTree left, TTree right) const;
    std::pair<TTree, TTree> Split(TTree tree, std::int64_t units) const;
    TTree Build(const std::vector<TPiece>& pieces);
    static void Collect(const TNode* node, std::vector<TPiece>& out);
    // Takes out [pos, pos + units) and puts `pieces` in its place.
    std::vector<TPiece> Swap(std::int64_t pos, std::int64_t units, const std::vector<TPiece>& pieces);
    static TEditChange Peek(const std::vector<TEdit>& history, bool undo);
    TEditChange Replay(std::vector<TEdit>& from, std::vector<TEdit>& to, bool undo);
    template <class Visit> void Visit(std::int64_t from, std::int64_t to, Visit&& visit) const;

    TTextStore FOriginal;
    TTextStore FAdded;
    TTree FRoot;
    std::vector<TEdit> FUndo;
    std::vector<TEdit> FRedo;
    bool FMergeable = false;
    std::uint64_t FRevision = 0;
    std::minstd_rand FRandom;
};
