#pragma once

#include "textarea/LayoutCache.h"
#include "textarea/MemoCommands.h"
#include "textarea/MemoText.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QInputMethodEvent;

// The text area's editing core, below any widget: the text, the caret and
// the anchor of the selection, the column that Up and Down keep, what an
// input method is composing, and the commands over them. Every command ends
// in one step that tells listeners what changed: the widget repaints and
// scrolls, screen readers hear of it.
class TMemoEditor final : public QObject
{
    Q_OBJECT
public:
    enum class TSelectUnit { suCharacter, suWord, suLine };

    TMemoEditor();
    ~TMemoEditor() override;
    Q_DISABLE_COPY_MOVE(TMemoEditor)

    const TMemoText& Text() const { return FText; }
    const TComposition& Composition() const { return FComposition; }

    // What the view needs of the lines laid out (a cache, so that const
    // questions may fill it): the layout of a line around a position (or
    // around x when pos < 0), the window to the right of one (null at the
    // line's end), the width of the text, and the font.
    TLayoutCache::TLayoutPtr LineLayout(std::int64_t line, std::int64_t pos, qreal x = 0) const;
    TLayoutCache::TLayoutPtr WindowRightOf(const TLayoutCache::TLineLayout& layout) const;
    qreal Width() const { return FLayout.Width(); }
    // A line drawn wider than measured (the caret past a line's end) widens the text.
    void GrowWidth(qreal width) { FLayout.GrowWidth(width); }
    void SetFont(const QFont& font);
    // Lays out ahead the lines a store still being read will show first.
    void PrepareFor(const TTextStore& store, std::int64_t lines) { FLayout.Prepare(store, lines); }

    std::int64_t Cursor() const { return FCursor; }
    std::int64_t Anchor() const { return FAnchor; }
    std::int64_t SelectionStart() const { return std::min(FCursor, FAnchor); }
    std::int64_t SelectionEnd() const { return std::max(FCursor, FAnchor); }
    bool HasSelection() const { return FCursor != FAnchor; }
    QString SelectedText() const;

    // A loaded text, shown from the start; the undo history goes.
    void Load(TTextStore store);
    // A command from the table; a page move goes `page` lines.
    void Run(TCommand command, bool select = false, int page = 1);
    // Whether the command would do anything now (the context menu greys the others).
    bool Applies(TCommand command) const;
    // Replaces the selection by text, as typing or pasting does.
    void Insert(const QString& text, TEditKind kind = TEditKind::ekOther);
    // Replaces [from, to) by text and leaves the caret after it.
    void Replace(std::int64_t from, std::int64_t to, const QString& text, TEditKind kind = TEditKind::ekOther);
    void SetSelection(std::int64_t anchor, std::int64_t position);
    void MoveTo(std::int64_t pos, bool select, bool keepColumn = false);
    // A press of the mouse selects by the unit; dragging extends by it.
    void Press(std::int64_t pos, TSelectUnit unit, bool extend);
    void Drag(std::int64_t pos);
    // Offers the selection to other programs, as a mouse selection does on X11.
    void OfferSelection() const;

    void InputMethod(const QInputMethodEvent& event);
    // Commits what an input method is composing, as a click does.
    void CommitComposition();

    // Where positions are, from the layouts alone.
    qreal XOf(std::int64_t pos) const;
    std::int64_t PositionIn(std::int64_t line, qreal x) const;
    std::int64_t NextPosition(std::int64_t pos, bool word) const;
    std::int64_t PreviousPosition(std::int64_t pos, bool word) const;
    // The word (or the single other character) at pos, within its line.
    std::pair<std::int64_t, std::int64_t> WordAt(std::int64_t pos) const;

Q_SIGNALS:
    // Before and after the text changes; a load changes all of it.
    void TextChanging(const TEditChange& coming);
    void TextChanged(const TEditChange& change);
    // The caret moved (or might have), the selection too when said; brought
    // into view when `reveal` says so.
    void CaretMoved(bool selectionToo, bool reveal);
    // What is composed changed; the caret within it into view when `reveal` says so.
    void CompositionChanged(bool reveal);
    // The widest line laid out grew: the scroll bars follow.
    void WidthGrew();

private:
    void Move(TCommand command, bool select, int page);
    // Backspace, Delete and their word forms: the selection, else what the key takes.
    void Delete(TCommand command);
    // Runs an edit (what is coming: where, and how much goes) and tells the listeners.
    void Edit(const TEditChange& coming, const std::function<TEditChange()>& apply);
    void DeleteSelection();
    void Copy() const;
    void Paste();
    void SelectAll();
    void SelectAround(std::int64_t pos, TSelectUnit unit, bool extend);
    void Finish(bool selectionToo, bool reveal);
    // The caret (and anchor) set anew, not by an edit: the column Up and Down
    // keep goes unless kept, the undo step ends, and the listeners hear it.
    void CaretPlaced(bool selectionToo, bool reveal, bool keepColumn = false);
    std::int64_t WordStep(std::int64_t pos, bool forward) const;

    TMemoText FText;
    std::int64_t FCursor = 0;
    std::int64_t FAnchor = 0;
    qreal FColumnX = -1;
    TComposition FComposition;
    // A mouse selection: its unit, and what the press first selected.
    TSelectUnit FSelectUnit = TSelectUnit::suCharacter;
    std::int64_t FSelectFrom = 0;
    std::int64_t FSelectTo = 0;
    mutable TLayoutCache FLayout{FText};
};
