// The text area: its text and selection, painting and the caret. Layout is
// in MemoLayout.cpp, keys, mouse and input methods in MemoInput.cpp, what
// screen readers see in MemoAccessible.cpp.

#include "textarea/Memo.h"

#include "base/Failure.h"
#include "textarea/MemoAccessible.h"
#include "textarea/MemoInternal.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>

#include <new>

using namespace MemoInternal;

TMemo::TMemo(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(MemoAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setAttribute(Qt::WA_KeyCompression);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FLayout.SetFont(font());
    FLayout.OnWidthGrew = [this] { UpdateScrollBars(); };
    LoadStore(TTextStore());
}

TMemo::~TMemo() = default;

// --- Text -----------------------------------------------------------------

void TMemo::LoadStore(TTextStore store)
{
    // Screen readers hear of the change with at most NoticeLimit characters of text.
    const QString removedText = QAccessible::isActive() ? FText.Text(0, NoticeLimit) : QString();
    FText.Load(std::move(store));
    FCursor = FAnchor = 0;
    FColumnX = -1;
    FLayout.Forget();
    FLayout.ResetWidth();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    UpdateScrollBars();
    if (!removedText.isEmpty()) {
        QAccessibleTextRemoveEvent removed(this, 0, removedText);
        QAccessible::updateAccessibility(&removed);
    }
    if (QAccessible::isActive() && FText.Length() > 0) {
        QAccessibleTextInsertEvent inserted(this, 0, FText.Text(0, NoticeLimit));
        QAccessible::updateAccessibility(&inserted);
    }
    CaretChanged(true);
}

std::int64_t TMemo::AccessibleOrigin() const
{
    // Screen readers count in int. Past that many units they are offered a
    // stretch of that length around the caret, which moves on half a billion
    // units at a time, so that offsets stay put while the caret moves about.
    constexpr std::int64_t Limit = std::numeric_limits<int>::max();
    constexpr std::int64_t Step = std::int64_t(1) << 30;
    const std::int64_t length = FText.Length();
    if (length <= Limit)
        return 0;
    const std::int64_t origin = std::clamp<std::int64_t>(FCursor / Step * Step - Step / 2, 0, length - Limit);
    // Never inside a surrogate pair; past it, so that the text's end stays in reach.
    return FText.Snap(origin) < origin ? origin + 1 : origin;
}

void TMemo::SetText(const QString& text)
{
    TTextStore store;
    store.Append(text);
    LoadStore(std::move(store));
}

QString TMemo::SelectedText() const
{
    try {
        return FText.Text(SelectionStart(), SelectionEnd());
    } catch (const std::bad_alloc&) {
        throw TFailure(QStringLiteral("Not enough memory to copy the selection"));
    }
}

void TMemo::ReplaceRange(std::int64_t from, std::int64_t to, const QString& text, TEditKind kind)
{
    from = FText.Snap(from);
    to = FText.Snap(to);
    if (from > to)
        std::swap(from, to);
    Edit({from, to - from, 0}, [&] { return TEditChange{from, to - from, FText.Replace(from, to, text, kind)}; });
}

void TMemo::Edit(const TEditChange& coming, const std::function<TEditChange()>& apply)
{
    const QString removedText = QAccessible::isActive()
        ? FText.Text(coming.Pos, coming.Pos + std::min(coming.Removed, NoticeLimit)) : QString();
    const std::int64_t line = FText.LineOf(coming.Pos);
    const bool withinLine = FText.LineOf(coming.Pos + coming.Removed) == line;
    const TEditChange change = apply();
    FCursor = FAnchor = change.Pos + change.Inserted;
    FColumnX = -1;
    FLayout.Patch(line, withinLine && FText.LineOf(change.Pos + change.Inserted) == line, change);
    Changed(change.Pos, change.Removed, removedText, change.Inserted);
}

void TMemo::InsertText(const QString& text, TEditKind kind)
{
    ReplaceRange(SelectionStart(), SelectionEnd(), text, kind);
}

void TMemo::Changed(std::int64_t pos, std::int64_t removed, const QString& removedText, std::int64_t inserted)
{
    UpdateScrollBars();
    if (QAccessible::isActive()) {
        if (removed > 0) {
            QAccessibleTextRemoveEvent event(this, ClampToInt(pos - AccessibleOrigin()), removedText);
            QAccessible::updateAccessibility(&event);
        }
        if (inserted > 0) {
            QAccessibleTextInsertEvent event(this, ClampToInt(pos - AccessibleOrigin()),
                                             FText.Text(pos, pos + std::min(inserted, NoticeLimit)));
            QAccessible::updateAccessibility(&event);
        }
    }
    EnsureVisible(FCursor);
    CaretChanged(true);
}

void TMemo::Undo()
{
    if (FText.CanUndo())
        Edit(FText.NextUndo(), [this] { return FText.Undo(); });
}

void TMemo::Redo()
{
    if (FText.CanRedo())
        Edit(FText.NextRedo(), [this] { return FText.Redo(); });
}

void TMemo::Copy()
{
    if (HasSelection())
        QGuiApplication::clipboard()->setText(SelectedText());
}

void TMemo::Cut()
{
    if (!HasSelection())
        return;
    Copy();
    DeleteSelection();
}

void TMemo::Paste()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (!text.isEmpty())
        InsertText(text);
}

void TMemo::DeleteSelection()
{
    if (HasSelection())
        ReplaceRange(SelectionStart(), SelectionEnd(), {});
}

void TMemo::SelectAll()
{
    FAnchor = 0;
    FCursor = FText.Length();
    FColumnX = -1;
    FText.BreakMerge();
    CaretChanged(true);
}

void TMemo::SetSelection(std::int64_t anchor, std::int64_t position)
{
    FAnchor = FText.Snap(anchor);
    FCursor = FText.Snap(position);
    FColumnX = -1;
    FText.BreakMerge();
    EnsureVisible(FCursor);
    CaretChanged(true);
}

void TMemo::CaretChanged(bool selectionToo)
{
    if (QAccessible::isActive()) {
        const std::int64_t origin = AccessibleOrigin();
        QAccessibleTextCursorEvent cursor(this, ClampToInt(FCursor - origin));
        QAccessible::updateAccessibility(&cursor);
        if (selectionToo) {
            QAccessibleTextSelectionEvent selection(this, ClampToInt(SelectionStart() - origin),
                                                    ClampToInt(SelectionEnd() - origin));
            QAccessible::updateAccessibility(&selection);
        }
    }
    RestartBlink();
    viewport()->update();
    updateMicroFocus();
}

void TMemo::CopyToSelectionClipboard()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && HasSelection() && SelectionEnd() - SelectionStart() <= PrimaryLimit)
        clipboard->setText(SelectedText(), QClipboard::Selection);
}

QMenu* TMemo::CreateContextMenu()
{
    auto* menu = new QMenu(this);
    const auto add = [&](const QString& text, const char* name, QKeySequence::StandardKey key,
                         bool enabled, void (TMemo::*slot)()) {
        QString caption = text;
        const QKeySequence shortcut(key);
        if (!shortcut.isEmpty())
            caption += u'\t' + shortcut.toString(QKeySequence::NativeText);
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1StringView(name));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [this, slot] { CallHandler([&] { (this->*slot)(); }); });
    };
    // The captions of Qt's own plain text fields, so that Qt's translations
    // give them in the user's language.
    const auto qtText = [](const char* text) { return QCoreApplication::translate("QWidgetTextControl", text); };
    const bool hasText = FText.Length() > 0;
    add(qtText("&Undo"), "edit-undo", QKeySequence::Undo, FText.CanUndo(), &TMemo::Undo);
    add(qtText("&Redo"), "edit-redo", QKeySequence::Redo, FText.CanRedo(), &TMemo::Redo);
    menu->addSeparator();
    add(qtText("Cu&t"), "edit-cut", QKeySequence::Cut, HasSelection(), &TMemo::Cut);
    add(qtText("&Copy"), "edit-copy", QKeySequence::Copy, HasSelection(), &TMemo::Copy);
    add(qtText("&Paste"), "edit-paste", QKeySequence::Paste, !QGuiApplication::clipboard()->text().isEmpty(),
        &TMemo::Paste);
    add(qtText("Delete"), "edit-delete", QKeySequence::UnknownKey, HasSelection(), &TMemo::DeleteSelection);
    menu->addSeparator();
    add(qtText("Select All"), "select-all", QKeySequence::SelectAll,
        hasText && (SelectionStart() > 0 || SelectionEnd() < FText.Length()), &TMemo::SelectAll);
    return menu;
}
// --- Painting -------------------------------------------------------------

void TMemo::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const QPalette& colours = palette();
    painter.setPen(colours.color(QPalette::Text));
    painter.setFont(font());

    const int lineHeight = LineHeight();
    const qreal offset = HorizontalOffset();
    const std::int64_t selectionStart = SelectionStart();
    const std::int64_t selectionEnd = SelectionEnd();
    const bool showCaret = hasFocus() && FCaretOn;
    const qreal spaceWidth = QFontMetricsF(font()).horizontalAdvance(u' ');

    QTextCharFormat selected;
    selected.setBackground(colours.brush(QPalette::Highlight));
    selected.setForeground(colours.brush(QPalette::HighlightedText));

    const qreal right = offset + viewport()->width();
    std::int64_t line = FirstVisibleLine();
    for (int y = Margin; y < viewport()->height() && line < FText.LineCount(); y += lineHeight, ++line) {
        // A short line is one layout; a long one the windows across the view.
        TLayoutPtr layout = LayoutFor(line, -1, offset);
        const qreal lineWidth = layout->Width;
        for (;;) {
            const QPointF origin(Margin + layout->X0 - offset, y);
            QList<QTextLayout::FormatRange> ranges;
            if (selectionStart < layout->End && selectionEnd > layout->Start) {
                const std::int64_t from = std::max(selectionStart, layout->Start);
                const std::int64_t to = std::min(selectionEnd, layout->End);
                ranges.append({int(from - layout->Start), int(to - from), selected});
            }
            layout->Layout.draw(&painter, origin, ranges);
            const bool caretHere = FCursor >= layout->Start && (FCursor < layout->End || FCursor == layout->LineEnd)
                                   && FText.LineOf(FCursor) == line;
            if (showCaret && caretHere && FComposition.CursorVisible)
                layout->Layout.drawCursor(&painter, origin, int(FCursor - layout->Start) + FComposition.Cursor, 1);
            const bool wholeLine = layout->Start == layout->LineStart && layout->End == layout->LineEnd;
            if (wholeLine || layout->Right >= right)
                break;
            // The window to the right: the next one, or in a right-to-left line the one before.
            const qsizetype next = layout->Window + (layout->RightToLeft ? -1 : 1);
            if (next < 0 || next >= FLayout.LongLineMarks(line).Windows())
                break;
            layout = FLayout.Window(line, next);
        }
        // A selected line end shows as a space's width of highlight after the line.
        if (selectionStart <= FText.LineEnd(line) && selectionEnd > FText.LineEnd(line)) {
            const qreal x = Margin + lineWidth - offset;
            if (x < viewport()->width())
                painter.fillRect(QRectF(x, y, spaceWidth, lineHeight), colours.brush(QPalette::Highlight));
        }
    }
}

void TMemo::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void TMemo::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        FLayout.SetFont(font());
        UpdateScrollBars();
        viewport()->update();
    }
}

// --- Caret ------------------------------------------------------------------

void TMemo::RestartBlink()
{
    FCaretOn = true;
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (hasFocus() && flash > 0)
        FBlink.start(flash / 2, this);
    else
        FBlink.stop();
}

void TMemo::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    RestartBlink();
    viewport()->update();
}

void TMemo::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    FBlink.stop();
    viewport()->update();
}

void TMemo::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == FBlink.timerId()) {
        FCaretOn = !FCaretOn;
        // The caret's cell, and its place within a composition when there is one.
        viewport()->update(CharacterRect(FCursor).united(CaretRect(FCursor)).adjusted(-2, 0, 2, 0));
    } else if (event->timerId() == FScrollTimer.timerId()) {
        AutoScroll();
    } else if (event->timerId() == FTripleClick.timerId()) {
        FTripleClick.stop();
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}
