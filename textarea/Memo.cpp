// The text area's widget: what it listens to of the editing core, painting,
// the caret's blink. Geometry and scrolling are in MemoLayout.cpp; keys, the
// mouse and input methods in MemoInput.cpp.

#include "textarea/Memo.h"

#include "base/Failure.h"
#include "textarea/MemoEditor.h"
#include "textarea/MemoInternal.h"

#include <QAccessible>
#include <QApplication>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>


using namespace MemoInternal;

TMemo::TMemo(QWidget* parent)
    : QAbstractScrollArea(parent), FEditor(std::make_unique<TMemoEditor>())
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
    FEditor->SetFont(font());
    connect(FEditor.get(), &TMemoEditor::WidthGrew, this, [this] { UpdateScrollBars(); });
    connect(FEditor.get(), &TMemoEditor::TextChanged, this, [this] { UpdateScrollBars(); });
    connect(FEditor.get(), &TMemoEditor::CaretMoved, this, [this](bool, bool reveal) { CaretMoved(reveal); });
    connect(FEditor.get(), &TMemoEditor::CompositionChanged, this, [this](bool reveal) {
        // The caret within the composition in view, and the candidate window with it.
        if (reveal)
            EnsureVisible(FEditor->Cursor());
        viewport()->update();
        updateMicroFocus();
    });
    AnnounceToScreenReaders(this, *FEditor);
    LoadStore(TTextStore());
}

TMemo::~TMemo() = default;

void TMemo::LoadStore(TTextStore store)
{
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    FEditor->Load(std::move(store));
}

void TMemo::PrepareFor(const TTextStore& store)
{
    FEditor->PrepareFor(store, VisibleLines() + 1);
}

void TMemo::SetText(const QString& text)
{
    TTextStore store;
    store.Append(text);
    LoadStore(std::move(store));
}

QString TMemo::Text() const { return FEditor->Text().Text(); }
const TMemoText& TMemo::Model() const { return FEditor->Text(); }
std::int64_t TMemo::CursorPosition() const { return FEditor->Cursor(); }
std::int64_t TMemo::Anchor() const { return FEditor->Anchor(); }
std::int64_t TMemo::SelectionStart() const { return FEditor->SelectionStart(); }
std::int64_t TMemo::SelectionEnd() const { return FEditor->SelectionEnd(); }
bool TMemo::HasSelection() const { return FEditor->HasSelection(); }
QString TMemo::SelectedText() const { return FEditor->SelectedText(); }
void TMemo::SetSelection(std::int64_t anchor, std::int64_t position) { FEditor->SetSelection(anchor, position); }
void TMemo::SelectAll() { FEditor->Run(TCommand::cmSelectAll); }

void TMemo::CaretMoved(bool reveal)
{
    if (reveal)
        EnsureVisible(FEditor->Cursor());
    RestartBlink();
    viewport()->update();
    updateMicroFocus();
}

QMenu* TMemo::CreateContextMenu()
{
    auto* menu = new QMenu(this);
    for (const TCommandRow& row : Commands) {
        if (!row.Caption)
            continue;
        if (row.SeparatorBefore)
            menu->addSeparator();
        // The captions of Qt's own plain text fields, so that Qt's translations
        // give them in the user's language.
        QString caption = QCoreApplication::translate("QWidgetTextControl", row.Caption);
        const QKeySequence shortcut(row.Keys[0].Standard);
        if (!shortcut.isEmpty())
            caption += u'\t' + shortcut.toString(QKeySequence::NativeText);
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1StringView(row.Name));
        action->setEnabled(FEditor->Applies(row.Command));
        const TCommand command = row.Command;
        connect(action, &QAction::triggered, this, [this, command] { CallHandler([&] { FEditor->Run(command); }); });
    }
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
    const TMemoEditor& editor = *FEditor;
    const TMemoText& text = editor.Text();
    const std::int64_t cursor = editor.Cursor();
    const std::int64_t selectionStart = editor.SelectionStart();
    const std::int64_t selectionEnd = editor.SelectionEnd();
    const bool showCaret = hasFocus() && FCaretOn;
    const qreal spaceWidth = QFontMetricsF(font()).horizontalAdvance(u' ');

    QTextCharFormat selected;
    selected.setBackground(colours.brush(QPalette::Highlight));
    selected.setForeground(colours.brush(QPalette::HighlightedText));

    const qreal right = offset + viewport()->width();
    std::int64_t line = FirstVisibleLine();
    for (int y = Margin; y < viewport()->height() && line < text.LineCount(); y += lineHeight, ++line) {
        // A short line is one layout; a long one the windows across the view.
        TLayoutCache::TLayoutPtr layout = editor.LineLayout(line, -1, offset);
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
            const bool caretHere = cursor >= layout->Start && (cursor < layout->End || cursor == layout->LineEnd)
                                   && text.LineOf(cursor) == line;
            if (showCaret && caretHere && editor.Composition().CursorVisible)
                layout->Layout.drawCursor(&painter, origin, int(cursor - layout->Start) + editor.Composition().Cursor, 1);
            if (layout->Right >= right)
                break;
            layout = editor.WindowRightOf(*layout);
            if (!layout)
                break;
        }
        // A selected line end shows as a space's width of highlight after the line.
        if (selectionStart <= text.LineEnd(line) && selectionEnd > text.LineEnd(line)) {
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
        FEditor->SetFont(font());
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
        const std::int64_t cursor = FEditor->Cursor();
        viewport()->update(CharacterRect(cursor).united(CaretRect(cursor)).adjusted(-2, 0, 2, 0));
    } else if (event->timerId() == FScrollTimer.timerId()) {
        AutoScroll();
    } else if (event->timerId() == FTripleClick.timerId()) {
        FTripleClick.stop();
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}
