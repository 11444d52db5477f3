// The text area's editing core: the caret, the selection and the commands
// over the text, and where positions are in its lines.

#include "textarea/MemoEditor.h"

#include "base/Failure.h"
#include "textarea/MemoInternal.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>

#include <new>
#include <optional>
#include <string_view>

using namespace MemoInternal;

TMemoEditor::TMemoEditor()
{
    FLayout.OnWidthGrew = [this] { Q_EMIT WidthGrew(); };
}

void TMemoEditor::SetFont(const QFont& font)
{
    FLayout.SetFont(font);
}

TLayoutCache::TLayoutPtr TMemoEditor::LineLayout(std::int64_t line, std::int64_t pos, qreal x) const
{
    return FLayout.For(line, pos, x);
}

TLayoutCache::TLayoutPtr TMemoEditor::WindowRightOf(const TLayoutCache::TLineLayout& layout) const
{
    if (layout.Start == layout.LineStart && layout.End == layout.LineEnd)
        return nullptr;
    // The next window, or in a right-to-left line the one before.
    const qsizetype next = layout.Window + (layout.RightToLeft ? -1 : 1);
    const std::int64_t line = FText.LineOf(layout.LineStart);
    if (next < 0 || next >= FLayout.LongLineMarks(line).Windows())
        return nullptr;
    return FLayout.Window(line, next);
}

TMemoEditor::~TMemoEditor() = default;

void TMemoEditor::Load(TTextStore store)
{
    const std::int64_t before = FText.Length();
    Q_EMIT TextChanging({0, before, 0});
    FText.Load(std::move(store));
    FCursor = FAnchor = 0;
    FColumnX = -1;
    FLayout.ResetWidth();
    FLayout.Forget();
    Q_EMIT TextChanged({0, before, FText.Length()});
    Finish(true, false);
}

QString TMemoEditor::SelectedText() const
{
    try {
        return FText.Text(SelectionStart(), SelectionEnd());
    } catch (const std::bad_alloc&) {
        throw TFailure(QT_TRANSLATE_NOOP("Failure", "Not enough memory to copy the selection"));
    }
}

void TMemoEditor::Finish(bool selectionToo, bool reveal)
{
    // What is being composed shows at the caret, wherever the command left it.
    if (!FComposition.Text.isEmpty())
        FLayout.SetComposition(FComposition, FCursor);
    Q_EMIT CaretMoved(selectionToo, reveal);
}

// --- Commands ---------------------------------------------------------------

void TMemoEditor::Run(TCommand command, bool select, int page)
{
    using C = TCommand;
    switch (command) {
    case C::cmUndo:
        if (FText.CanUndo())
            Edit(FText.NextUndo(), [this] { return FText.Undo(); });
        return;
    case C::cmRedo:
        if (FText.CanRedo())
            Edit(FText.NextRedo(), [this] { return FText.Redo(); });
        return;
    case C::cmCut:
        if (HasSelection()) {
            Copy();
            DeleteSelection();
        }
        return;
    case C::cmCopy: Copy(); return;
    case C::cmPaste: Paste(); return;
    case C::cmDeleteSelection: DeleteSelection(); return;
    case C::cmSelectAll: SelectAll(); return;
    case C::cmDeleteBack:
    case C::cmDeleteForward:
    case C::cmDeleteWordBack:
    case C::cmDeleteWordForward: Delete(command); return;
    case C::cmNewLine: Insert(QStringLiteral("\n"), TEditKind::ekTyping); return;
    case C::cmTab: Insert(QStringLiteral("\t"), TEditKind::ekTyping); return;
    default: Move(command, select, page); return;
    }
}

void TMemoEditor::Delete(TCommand command)
{
    // An editing key ends a run of Up and Down, even one that changes nothing.
    FColumnX = -1;
    if (HasSelection()) {
        DeleteSelection();
        return;
    }
    switch (command) {
    case TCommand::cmDeleteWordBack: Replace(PreviousPosition(FCursor, true), FCursor, {}); break;
    case TCommand::cmDeleteWordForward: Replace(FCursor, NextPosition(FCursor, true), {}); break;
    case TCommand::cmDeleteBack:
        if (FCursor > 0)
            Replace(FText.Snap(FCursor - 1), FCursor, {}, TEditKind::ekDeleteBack);
        break;
    default:
        if (FCursor < FText.Length())
            Replace(FCursor, NextPosition(FCursor, false), {}, TEditKind::ekDeleteForward);
        break;
    }
}

bool TMemoEditor::Applies(TCommand command) const
{
    switch (command) {
    case TCommand::cmUndo: return FText.CanUndo();
    case TCommand::cmRedo: return FText.CanRedo();
    case TCommand::cmCut:
    case TCommand::cmCopy:
    case TCommand::cmDeleteSelection: return HasSelection();
    case TCommand::cmPaste: return !QGuiApplication::clipboard()->text().isEmpty();
    case TCommand::cmSelectAll: return FText.Length() > 0 && (SelectionStart() > 0 || SelectionEnd() < FText.Length());
    default: return true;
    }
}

void TMemoEditor::Move(TCommand command, bool select, int page)
{
    using C = TCommand;
    const std::int64_t line = FText.LineOf(FCursor);
    std::int64_t target = FCursor;
    bool keepColumn = false;
    const auto toLine = [&](std::int64_t wanted) {
        if (FColumnX < 0)
            FColumnX = XOf(FCursor);
        // Past the first or last line the caret goes to the text's start
        // or end, and the column starts afresh from there.
        keepColumn = wanted >= 0 && wanted < FText.LineCount();
        if (wanted < 0)
            return std::int64_t(0);
        if (wanted >= FText.LineCount())
            return FText.Length();
        return PositionIn(wanted, FColumnX);
    };
    switch (Mirrored(command, FLayout.RightToLeft(line))) {
    case C::cmNextChar: target = !select && HasSelection() ? SelectionEnd() : NextPosition(FCursor, false); break;
    case C::cmPreviousChar:
        target = !select && HasSelection() ? SelectionStart() : PreviousPosition(FCursor, false);
        break;
    case C::cmNextWord: target = NextPosition(FCursor, true); break;
    case C::cmPreviousWord: target = PreviousPosition(FCursor, true); break;
    case C::cmNextLine: target = toLine(line + 1); break;
    case C::cmPreviousLine: target = toLine(line - 1); break;
    case C::cmLineStart: target = FText.LineStart(line); break;
    case C::cmLineEnd: target = FText.LineEnd(line); break;
    case C::cmTextStart: target = 0; break;
    case C::cmTextEnd: target = FText.Length(); break;
    case C::cmNextPage: target = toLine(std::min(line + page, FText.LineCount() - 1)); break;
    case C::cmPreviousPage: target = toLine(std::max<std::int64_t>(line - page, 0)); break;
    default: return;
    }
    MoveTo(target, select, keepColumn);
}

void TMemoEditor::Replace(std::int64_t from, std::int64_t to, const QString& text, TEditKind kind)
{
    from = FText.Snap(from);
    to = FText.Snap(to);
    if (from > to)
        std::swap(from, to);
    Edit({from, to - from, 0}, [&] { return TEditChange{from, to - from, FText.Replace(from, to, text, kind)}; });
}

void TMemoEditor::Insert(const QString& text, TEditKind kind)
{
    Replace(SelectionStart(), SelectionEnd(), text, kind);
}

void TMemoEditor::Edit(const TEditChange& coming, const std::function<TEditChange()>& apply)
{
    Q_EMIT TextChanging(coming);
    const std::int64_t line = FText.LineOf(coming.Pos);
    const bool withinLine = FText.LineOf(coming.Pos + coming.Removed) == line;
    const TEditChange change = apply();
    FCursor = FAnchor = change.Pos + change.Inserted;
    FColumnX = -1;
    FLayout.Patch(line, withinLine && FText.LineOf(change.Pos + change.Inserted) == line, change);
    Q_EMIT TextChanged(change);
    Finish(true, true);
}

void TMemoEditor::DeleteSelection()
{
    if (HasSelection())
        Replace(SelectionStart(), SelectionEnd(), {});
}

void TMemoEditor::Copy() const
{
    if (HasSelection())
        QGuiApplication::clipboard()->setText(SelectedText());
}

void TMemoEditor::Paste()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (!text.isEmpty())
        Insert(text);
}

void TMemoEditor::OfferSelection() const
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && HasSelection() && SelectionEnd() - SelectionStart() <= PrimaryLimit)
        clipboard->setText(SelectedText(), QClipboard::Selection);
}

// --- Caret and selection ----------------------------------------------------

void TMemoEditor::SelectAll()
{
    FAnchor = 0;
    FCursor = FText.Length();
    CaretPlaced(true, false);
}

void TMemoEditor::SetSelection(std::int64_t anchor, std::int64_t position)
{
    FAnchor = FText.Snap(anchor);
    FCursor = FText.Snap(position);
    CaretPlaced(true, true);
}

void TMemoEditor::MoveTo(std::int64_t pos, bool select, bool keepColumn)
{
    const bool hadSelection = HasSelection();
    FCursor = FText.Snap(pos);
    if (!select)
        FAnchor = FCursor;
    CaretPlaced(select || hadSelection, true, keepColumn);
}

void TMemoEditor::CaretPlaced(bool selectionToo, bool reveal, bool keepColumn)
{
    // A caret placed anew ends a run of Up and Down, and typing after it
    // starts a new undo step.
    if (!keepColumn)
        FColumnX = -1;
    FText.BreakMerge();
    Finish(selectionToo, reveal);
}

void TMemoEditor::Press(std::int64_t pos, TSelectUnit unit, bool extend)
{
    FSelectUnit = unit;
    if (unit != TSelectUnit::suCharacter) {
        SelectAround(pos, unit, false);
        return;
    }
    FSelectFrom = FSelectTo = extend ? FAnchor : pos;
    MoveTo(pos, extend);
}

void TMemoEditor::Drag(std::int64_t pos)
{
    SelectAround(pos, FSelectUnit, true);
}

void TMemoEditor::SelectAround(std::int64_t pos, TSelectUnit unit, bool extend)
{
    std::pair<std::int64_t, std::int64_t> range{pos, pos};
    if (unit == TSelectUnit::suWord) {
        range = WordAt(pos);
    } else if (unit == TSelectUnit::suLine) {
        const std::int64_t line = FText.LineOf(pos);
        range = {FText.LineStart(line), line + 1 < FText.LineCount() ? FText.LineStart(line + 1) : FText.Length()};
    }
    if (!extend) {
        FSelectFrom = range.first;
        FSelectTo = range.second;
        FAnchor = range.first;
        FCursor = range.second;
    } else if (range.first < FSelectFrom) {
        FAnchor = FSelectTo;
        FCursor = range.first;
    } else {
        FAnchor = FSelectFrom;
        FCursor = std::max(range.second, FSelectTo);
    }
    CaretPlaced(true, true);
}

// --- Input methods ------------------------------------------------------------

void TMemoEditor::InputMethod(const QInputMethodEvent& event)
{
    // Composing, committing or replacing takes the selection's place first.
    const bool input = !event.commitString().isEmpty() || event.preeditString() != FComposition.Text
                       || event.replacementLength() > 0;
    if (input && HasSelection())
        Replace(SelectionStart(), SelectionEnd(), QString(), TEditKind::ekTyping);
    if (!event.commitString().isEmpty() || event.replacementLength() > 0) {
        const std::int64_t from = std::clamp<std::int64_t>(FCursor + event.replacementStart(), 0, FText.Length());
        const std::int64_t to = std::min(from + event.replacementLength(), FText.Length());
        Replace(from, to, event.commitString(), TEditKind::ekTyping);
    }
    // The text being composed shows at the caret with the input method's
    // formats (underlines, its own cursor); the commit above replaced it.
    FComposition.Text = event.preeditString();
    FComposition.Formats.clear();
    FComposition.Cursor = 0;
    FComposition.CursorVisible = true;
    for (const QInputMethodEvent::Attribute& attribute : event.attributes()) {
        if (attribute.type == QInputMethodEvent::TextFormat) {
            const QTextCharFormat format = attribute.value.value<QTextFormat>().toCharFormat();
            if (format.isValid())
                FComposition.Formats.append({attribute.start, attribute.length, format});
        } else if (attribute.type == QInputMethodEvent::Cursor) {
            FComposition.Cursor = std::clamp(attribute.start, 0, int(FComposition.Text.size()));
            FComposition.CursorVisible = attribute.length != 0;
        } else if (attribute.type == QInputMethodEvent::Selection) {
            // Counted as the surrounding text counts: from the start of the caret's line or window.
            const std::int64_t base = FLayout.For(FText.LineOf(FCursor), FCursor)->Start;
            SetSelection(base + attribute.start, base + attribute.start + attribute.length);
        }
    }
    if (FComposition.Text.isEmpty())
        FComposition.Cursor = 0;
    // The caret's line is laid out afresh, with or without the preedit.
    FLayout.SetComposition(FComposition, FCursor);
    Q_EMIT CompositionChanged(true);
}

void TMemoEditor::CommitComposition()
{
    if (FComposition.Text.isEmpty())
        return;
    QGuiApplication::inputMethod()->commit();
    if (FComposition.Text.isEmpty())
        return;
    // An input method that did not answer: what it was composing goes, as in Qt's own fields.
    FComposition = TComposition();
    FLayout.SetComposition(FComposition, FCursor);
    Q_EMIT CompositionChanged(false);
}

// --- Positions ----------------------------------------------------------------

qreal TMemoEditor::XOf(std::int64_t pos) const
{
    return FLayout.For(FText.LineOf(pos), pos)->XOf(pos);
}

std::int64_t TMemoEditor::PositionIn(std::int64_t line, qreal x) const
{
    line = std::clamp<std::int64_t>(line, 0, FText.LineCount() - 1);
    const TLayoutCache::TLayoutPtr layout = FLayout.For(line, -1, x);
    return layout->Start + layout->Line().xToCursor(x - layout->X0, QTextLine::CursorBetweenCharacters);
}

std::int64_t TMemoEditor::NextPosition(std::int64_t pos, bool word) const
{
    const std::int64_t line = FText.LineOf(pos);
    if (pos >= FText.LineEnd(line))
        return std::min(pos + 1, FText.Length());
    if (word)
        return WordStep(pos, true);
    const TLayoutCache::TLayoutPtr layout = FLayout.For(line, pos);
    const int next = layout->Layout.nextCursorPosition(int(pos - layout->Start));
    return std::max(layout->Start + next, pos + 1);
}

std::int64_t TMemoEditor::PreviousPosition(std::int64_t pos, bool word) const
{
    const std::int64_t line = FText.LineOf(pos);
    if (pos <= FText.LineStart(line))
        return std::max<std::int64_t>(pos - 1, 0);
    if (word)
        return WordStep(pos, false);
    const TLayoutCache::TLayoutPtr layout = FLayout.Before(line, pos);
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

std::int64_t TMemoEditor::WordStep(std::int64_t pos, bool forward) const
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

std::pair<std::int64_t, std::int64_t> TMemoEditor::WordAt(std::int64_t pos) const
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

