// What the text area does with keys, the mouse and input methods.

#include "textarea/MemoInternal.h"
#include "textarea/MemoKeys.h"

#include "base/Failure.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QStyleHints>

#include <memory>

using namespace MemoInternal;

// --- Keyboard ---------------------------------------------------------------


bool TMemo::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // Keys that edit here are not shortcuts for the window.
        auto* key = static_cast<QKeyEvent*>(event);
        // Text typed with Alt or Meta goes to a shortcut first, if one wants it.
        const bool plain = !(key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
        bool mine = (TypesText(key) && plain) || key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete
                    || key->key() == Qt::Key_Insert || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        for (const TMoveKey& move : MoveKeys)
            mine = mine || key->matches(move.Key);
        for (const TActionKey& action : ActionKeys)
            mine = mine || key->matches(action.Key);
        if (mine) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TMemo::keyPressEvent(QKeyEvent* event)
{
    bool handled = false;
    CallHandler([&] { handled = HandleKey(event); });
    if (handled)
        event->accept();
    else
        QAbstractScrollArea::keyPressEvent(event);
}

bool TMemo::HandleKey(QKeyEvent* event)
{
    // Commands first, then the caret's moves, then what edits.
    return CommandKey(event) || MoveKey(event) || EditKey(event);
}

bool TMemo::CommandKey(QKeyEvent* event)
{
    for (const TActionKey& action : ActionKeys) {
        if (event->matches(action.Key)) {
            (this->*action.Action)();
            return true;
        }
    }
    if (IsKey(event, Qt::Key_Insert, Qt::ControlModifier)) {
        Copy();
        return true;
    }
    if (IsKey(event, Qt::Key_Insert, Qt::ShiftModifier)) {
        Paste();
        return true;
    }
    if (IsKey(event, Qt::Key_Delete, Qt::ShiftModifier)) {
        Cut();
        return true;
    }
    return false;
}

bool TMemo::MoveKey(QKeyEvent* event)
{
    for (const TMoveKey& move : MoveKeys) {
        if (!event->matches(move.Key))
            continue;
        const std::int64_t line = FText.LineOf(FCursor);
        const int page = VisibleLines();
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
        switch (Mirrored(move.Move, LineIsRightToLeft(line))) {
        case TMove::mvNextChar:
            target = !move.Select && HasSelection() ? SelectionEnd() : NextPosition(FCursor, false);
            break;
        case TMove::mvPreviousChar:
            target = !move.Select && HasSelection() ? SelectionStart() : PreviousPosition(FCursor, false);
            break;
        case TMove::mvNextWord: target = NextPosition(FCursor, true); break;
        case TMove::mvPreviousWord: target = PreviousPosition(FCursor, true); break;
        case TMove::mvNextLine: target = toLine(line + 1); break;
        case TMove::mvPreviousLine: target = toLine(line - 1); break;
        case TMove::mvLineStart: target = FText.LineStart(line); break;
        case TMove::mvLineEnd: target = FText.LineEnd(line); break;
        case TMove::mvTextStart: target = 0; break;
        case TMove::mvTextEnd: target = FText.Length(); break;
        case TMove::mvNextPage:
            verticalScrollBar()->setValue(ClampToInt(FirstVisibleLine() + page));
            target = toLine(std::min(line + page, FText.LineCount() - 1));
            break;
        case TMove::mvPreviousPage:
            verticalScrollBar()->setValue(ClampToInt(FirstVisibleLine() - page));
            target = toLine(std::max<std::int64_t>(line - page, 0));
            break;
        }
        MoveTo(target, move.Select, keepColumn);
        return true;
    }
    return false;
}

bool TMemo::EditKey(QKeyEvent* event)
{
    // An editing key ends a run of Up and Down, even one that changes nothing.
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete || event->key() == Qt::Key_Return
        || event->key() == Qt::Key_Enter || TypesText(event))
        FColumnX = -1;

    if (event->matches(QKeySequence::DeleteStartOfWord)) {
        if (HasSelection())
            DeleteSelection();
        else
            ReplaceRange(PreviousPosition(FCursor, true), FCursor, {});
        return true;
    }
    if (event->matches(QKeySequence::DeleteEndOfWord)) {
        if (HasSelection())
            DeleteSelection();
        else
            ReplaceRange(FCursor, NextPosition(FCursor, true), {});
        return true;
    }
    if (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier))) {
        if (HasSelection())
            DeleteSelection();
        else if (FCursor > 0)
            ReplaceRange(FText.Snap(FCursor - 1), FCursor, {}, TEditKind::ekDeleteBack);
        return true;
    }
    if (event->matches(QKeySequence::Delete)) {
        if (HasSelection())
            DeleteSelection();
        else if (FCursor < FText.Length())
            ReplaceRange(FCursor, NextPosition(FCursor, false), {}, TEditKind::ekDeleteForward);
        return true;
    }
    if (event->matches(QKeySequence::InsertParagraphSeparator) || event->matches(QKeySequence::InsertLineSeparator)) {
        InsertText(QStringLiteral("\n"), TEditKind::ekTyping);
        return true;
    }
    // Tab moves the focus on; Ctrl+Tab types a tab.
    if (IsKey(event, Qt::Key_Tab, Qt::ControlModifier)) {
        InsertText(QStringLiteral("\t"), TEditKind::ekTyping);
        return true;
    }
    if (TypesText(event)) {
        InsertText(event->text(), TEditKind::ekTyping);
        return true;
    }
    return false;
}

void TMemo::MoveTo(std::int64_t pos, bool select, bool keepColumn)
{
    const bool hadSelection = HasSelection();
    FCursor = FText.Snap(pos);
    if (!select)
        FAnchor = FCursor;
    if (!keepColumn)
        FColumnX = -1;
    FText.BreakMerge();
    EnsureVisible(FCursor);
    CaretChanged(select || hadSelection);
}

// --- Mouse ------------------------------------------------------------------

void TMemo::SelectAround(std::int64_t pos, TSelectUnit unit, bool extend)
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
    FColumnX = -1;
    FText.BreakMerge();
    EnsureVisible(FCursor);
    CaretChanged(true);
}

void TMemo::mousePressEvent(QMouseEvent* event)
{
    CallHandler([&] {
        // What is being composed is committed where it was typed, then the click moves the caret.
        CommitComposition();
        const QPoint point = event->position().toPoint();
        const std::int64_t pos = PositionAt(point);
        if (event->button() == Qt::LeftButton) {
            FDragging = true;
            if (FTripleClick.isActive()
                && (point - FTripleClickPoint).manhattanLength() < QApplication::startDragDistance()) {
                FSelectUnit = TSelectUnit::suLine;
                SelectAround(pos, FSelectUnit, false);
                FTripleClick.stop();
                return;
            }
            FSelectUnit = TSelectUnit::suCharacter;
            if (event->modifiers() & Qt::ShiftModifier) {
                FSelectFrom = FSelectTo = FAnchor;
                MoveTo(pos, true);
            } else {
                FSelectFrom = FSelectTo = pos;
                MoveTo(pos, false);
            }
        } else if (event->button() == Qt::MiddleButton) {
            QClipboard* clipboard = QGuiApplication::clipboard();
            if (clipboard->supportsSelection()) {
                const QString text = clipboard->text(QClipboard::Selection);
                MoveTo(pos, false);
                if (!text.isEmpty())
                    InsertText(text);
            }
        }
    });
    event->accept();
}

void TMemo::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        mousePressEvent(event);
        return;
    }
    CallHandler([&] {
        FDragging = true;
        FSelectUnit = TSelectUnit::suWord;
        SelectAround(PositionAt(event->position().toPoint()), FSelectUnit, false);
        FTripleClickPoint = event->position().toPoint();
        FTripleClick.start(QGuiApplication::styleHints()->mouseDoubleClickInterval(), this);
    });
    event->accept();
}

void TMemo::mouseMoveEvent(QMouseEvent* event)
{
    if (!FDragging || !(event->buttons() & Qt::LeftButton))
        return;
    CallHandler([&] {
        FLastMouse = event->position().toPoint();
        if (viewport()->rect().contains(FLastMouse))
            FScrollTimer.stop();
        else if (!FScrollTimer.isActive())
            FScrollTimer.start(50, this);
        SelectAround(PositionAt(FLastMouse), FSelectUnit, true);
    });
}

void TMemo::AutoScroll()
{
    const QRect area = viewport()->rect();
    QScrollBar* vertical = verticalScrollBar();
    QScrollBar* horizontal = horizontalScrollBar();
    if (FLastMouse.y() < area.top())
        vertical->setValue(vertical->value() - 1);
    else if (FLastMouse.y() > area.bottom())
        vertical->setValue(vertical->value() + 1);
    if (FLastMouse.x() < area.left())
        horizontal->setValue(horizontal->value() - horizontal->singleStep());
    else if (FLastMouse.x() > area.right())
        horizontal->setValue(horizontal->value() + horizontal->singleStep());
    CallHandler([&] { SelectAround(PositionAt(FLastMouse), FSelectUnit, true); });
}

void TMemo::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && FDragging) {
        FDragging = false;
        FScrollTimer.stop();
        CallHandler([&] { CopyToSelectionClipboard(); });
    }
    event->accept();
}

void TMemo::wheelEvent(QWheelEvent* event)
{
    const QPoint delta = event->angleDelta();
    if (delta.x() == 0 && !(event->modifiers() & Qt::ShiftModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    // Sideways: a tilted wheel, or Shift with the wheel.
    QScrollBar* horizontal = horizontalScrollBar();
    const int notches = (delta.x() != 0 ? delta.x() : delta.y());
    const int step = horizontal->singleStep() * QApplication::wheelScrollLines();
    horizontal->setValue(horizontal->value() - notches * step / 120);
    event->accept();
}

void TMemo::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu(CreateContextMenu());
    menu->exec(event->globalPos());
}

// --- Input methods ------------------------------------------------------------

void TMemo::inputMethodEvent(QInputMethodEvent* event)
{
    CallHandler([&] {
        // Composing, committing or replacing takes the selection's place first.
        const bool input = !event->commitString().isEmpty() || event->preeditString() != FComposition.Text
                           || event->replacementLength() > 0;
        if (input && HasSelection())
            ReplaceRange(SelectionStart(), SelectionEnd(), QString(), TEditKind::ekTyping);
        if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
            const std::int64_t from = std::clamp<std::int64_t>(FCursor + event->replacementStart(), 0, FText.Length());
            const std::int64_t to = std::min(from + event->replacementLength(), FText.Length());
            ReplaceRange(from, to, event->commitString(), TEditKind::ekTyping);
        }
        // The text being composed shows at the caret with the input method's
        // formats (underlines, its own cursor); the commit above replaced it.
        FComposition.Text = event->preeditString();
        FComposition.Formats.clear();
        FComposition.Cursor = 0;
        FComposition.CursorVisible = true;
        for (const QInputMethodEvent::Attribute& attribute : event->attributes()) {
            if (attribute.type == QInputMethodEvent::TextFormat) {
                const QTextCharFormat format = attribute.value.value<QTextFormat>().toCharFormat();
                if (format.isValid())
                    FComposition.Formats.append({attribute.start, attribute.length, format});
            } else if (attribute.type == QInputMethodEvent::Cursor) {
                FComposition.Cursor = std::clamp(attribute.start, 0, int(FComposition.Text.size()));
                FComposition.CursorVisible = attribute.length != 0;
            } else if (attribute.type == QInputMethodEvent::Selection) {
                // Counted as the surrounding text counts: from the start of the caret's line or window.
                const std::int64_t base = LayoutFor(FText.LineOf(FCursor), FCursor)->Start;
                SetSelection(base + attribute.start, base + attribute.start + attribute.length);
            }
        }
        if (FComposition.Text.isEmpty())
            FComposition.Cursor = 0;
        // The caret's line is laid out afresh, with or without the preedit.
        const std::int64_t line = FText.LineOf(FCursor);
        FLayout.ForgetLine(line);
        // The caret within the composition in view, and the candidate window with it.
        EnsureVisible(FCursor);
        viewport()->update();
        updateMicroFocus();
    });
    event->accept();
}

void TMemo::CommitComposition()
{
    if (FComposition.Text.isEmpty())
        return;
    QGuiApplication::inputMethod()->commit();
    if (FComposition.Text.isEmpty())
        return;
    // An input method that did not answer: what it was composing goes, as in Qt's own fields.
    FComposition = TComposition();
    FLayout.ForgetLine(FText.LineOf(FCursor));
    viewport()->update();
}

QVariant TMemo::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    case Qt::ImFont:
        return font();
    case Qt::ImCursorRectangle:
        return CaretRect(FCursor).translated(viewport()->pos());
    case Qt::ImSurroundingText:
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
    case Qt::ImCurrentSelection: {
        // The caret's line, or the window of a long line around the caret;
        // positions count from its start.
        const TLayoutPtr layout = LayoutFor(FText.LineOf(FCursor), FCursor);
        const auto local = [&](std::int64_t at) { return int(std::clamp(at, layout->Start, layout->End) - layout->Start); };
        if (query == Qt::ImSurroundingText)
            return FText.Text(layout->Start, layout->End);
        if (query == Qt::ImCursorPosition)
            return local(FCursor);
        if (query == Qt::ImAnchorPosition)
            return local(FAnchor);
        return FText.Text(layout->Start + local(SelectionStart()), layout->Start + local(SelectionEnd()));
    }
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}
