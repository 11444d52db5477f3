#pragma once

#include "textarea/TextStore.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <random>
#include <utility>
#include <vector>

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

// The text of the text area: the loaded store and a piece table of the
// user's edits over it, with their undo history.
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
    // The farthest position from `pos` toward `limit` (either way) with only
    // ASCII letters, digits and underscores between: a long run of them is
    // crossed at memory speed, without decoding a character.
    std::int64_t SkipWordRun(std::int64_t pos, std::int64_t limit) const;
    // Whether the text equals what `store` shows, without copying either.
    bool SameText(const TTextStore& store) const;

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
    // The bytes in its store of units [from, to) of a piece.
    std::pair<std::int64_t, std::int64_t> BytesOf(const TPiece& piece, std::int64_t from, std::int64_t to) const;
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
    std::minstd_rand FRandom;
};
