// What the text area does with keys, the mouse and input methods.

#include "textarea/Memo.h"

#include "base/Failure.h"
#include "textarea/MemoEditor.h"
#include "textarea/MemoInternal.h"

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
        if (KeepsFromShortcuts(static_cast<QKeyEvent*>(event))) {
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
    if (const TCommandRow* row = CommandFor(event)) {
        // A page move turns the view a page first; the caret follows.
        const int page = VisibleLines();
        if (row->Command == TCommand::cmNextPage)
            verticalScrollBar()->setValue(ClampToInt(FirstVisibleLine() + page));
        else if (row->Command == TCommand::cmPreviousPage)
            verticalScrollBar()->setValue(ClampToInt(FirstVisibleLine() - page));
        FEditor->Run(row->Command, row->Select, page);
        return true;
    }
    if (TypesText(event)) {
        FEditor->Insert(event->text(), TEditKind::ekTyping);
        return true;
    }
    return false;
}

// --- Mouse ------------------------------------------------------------------

void TMemo::mousePressEvent(QMouseEvent* event)
{
    CallHandler([&] {
        // What is being composed is committed where it was typed, then the click moves the caret.
        FEditor->CommitComposition();
        const QPoint point = event->position().toPoint();
        const std::int64_t pos = PositionAt(point);
        if (event->button() == Qt::LeftButton) {
            FDragging = true;
            using TUnit = TMemoEditor::TSelectUnit;
            if (FTripleClick.isActive()
                && (point - FTripleClickPoint).manhattanLength() < QApplication::startDragDistance()) {
                FEditor->Press(pos, TUnit::suLine, false);
                FTripleClick.stop();
                return;
            }
            FEditor->Press(pos, TUnit::suCharacter, event->modifiers() & Qt::ShiftModifier);
        } else if (event->button() == Qt::MiddleButton) {
            QClipboard* clipboard = QGuiApplication::clipboard();
            if (clipboard->supportsSelection()) {
                const QString text = clipboard->text(QClipboard::Selection);
                FEditor->MoveTo(pos, false);
                if (!text.isEmpty())
                    FEditor->Insert(text);
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
        FEditor->Press(PositionAt(event->position().toPoint()), TMemoEditor::TSelectUnit::suWord, false);
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
        FEditor->Drag(PositionAt(FLastMouse));
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
    CallHandler([&] { FEditor->Drag(PositionAt(FLastMouse)); });
}

void TMemo::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && FDragging) {
        FDragging = false;
        FScrollTimer.stop();
        CallHandler([&] { FEditor->OfferSelection(); });
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
    CallHandler([&] { FEditor->InputMethod(*event); });
    event->accept();
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
        return CaretRect(FEditor->Cursor()).translated(viewport()->pos());
    case Qt::ImSurroundingText:
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
    case Qt::ImCurrentSelection: {
        // The caret's line, or the window of a long line around the caret;
        // positions count from its start.
        const TMemoEditor& editor = *FEditor;
        const TMemoText& text = editor.Text();
        const TLayoutCache::TLayoutPtr layout = editor.LineLayout(text.LineOf(editor.Cursor()), editor.Cursor());
        const auto local = [&](std::int64_t at) { return int(std::clamp(at, layout->Start, layout->End) - layout->Start); };
        if (query == Qt::ImSurroundingText)
            return text.Text(layout->Start, layout->End);
        if (query == Qt::ImCursorPosition)
            return local(editor.Cursor());
        if (query == Qt::ImAnchorPosition)
            return local(editor.Anchor());
        return text.Text(layout->Start + local(editor.SelectionStart()), layout->Start + local(editor.SelectionEnd()));
    }
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}
