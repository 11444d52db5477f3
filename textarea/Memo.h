#pragma once

#include "textarea/LayoutCache.h"
#include "textarea/MemoText.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QHash>
#include <QPoint>
#include <QString>
#include <QTextLayout>

#include <functional>
#include <memory>
#include <vector>

class QMenu;

// The multi-line text area: an editable plain text without wrapping over a
// TMemoText, so that a tail of any size shows at once. Only the lines in
// view are laid out; a very long line is laid out a window at a time.
class TMemo final : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit TMemo(QWidget* parent = nullptr);
    ~TMemo() override;
    Q_DISABLE_COPY_MOVE(TMemo)

    // Shows a loaded text from the top with the caret at the start; the undo
    // history goes.
    void LoadStore(TTextStore store);
    void SetText(const QString& text);
    // The whole text, each line end as '\n'.
    QString Text() const { return FText.Text(); }
    const TMemoText& Model() const { return FText; }

    std::int64_t CursorPosition() const { return FCursor; }
    std::int64_t Anchor() const { return FAnchor; }
    std::int64_t SelectionStart() const { return std::min(FCursor, FAnchor); }
    std::int64_t SelectionEnd() const { return std::max(FCursor, FAnchor); }
    bool HasSelection() const { return FCursor != FAnchor; }
    QString SelectedText() const;
    // Selects from anchor to position (the caret) and brings the caret into view.
    void SetSelection(std::int64_t anchor, std::int64_t position);
    std::int64_t FirstVisibleLine() const;

    // What the user can do from the keyboard or the context menu.
    void Undo();
    void Redo();
    void Cut();
    void Copy();
    void Paste();
    void DeleteSelection();
    void SelectAll();
    // Replaces the selection by text, as typing or pasting does.
    void InsertText(const QString& text, TEditKind kind = TEditKind::ekOther);
    // Replaces [from, to) by text and keeps the caret after it.
    void ReplaceRange(std::int64_t from, std::int64_t to, const QString& text,
                      TEditKind kind = TEditKind::ekOther);

    // The standard edit menu with Undo, Redo, Cut, Copy, Paste, Delete and
    // Select All, enabled as they apply; the caller owns it.
    QMenu* CreateContextMenu();

    // Where the text a screen reader is offered begins: 0, unless the text is
    // longer than 2,147,483,647 units; then the stretch of that length around
    // the caret is offered.
    std::int64_t AccessibleOrigin() const;

    // Geometry for views and assistive technology.
    QRect CharacterRect(std::int64_t pos) const;
    // Where the caret stands (or would stand at pos), one pixel wide.
    QRect CaretRect(std::int64_t pos) const;
    std::int64_t PositionAt(const QPoint& viewportPoint) const;
    // The word (or the single other character) at pos, within its line.
    std::pair<std::int64_t, std::int64_t> WordAt(std::int64_t pos) const;
    void EnsureVisible(std::int64_t pos);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void scrollContentsBy(int dx, int dy) override;

private:
    using TLineLayout = TLayoutCache::TLineLayout;
    using TLayoutPtr = TLayoutCache::TLayoutPtr;
    enum class TSelectUnit { suCharacter, suWord, suLine };

    // The layout of a line around a position (or around x when pos < 0).
    // Commits what an input method is composing, as a click does.
    void CommitComposition();
    TLayoutPtr LayoutFor(std::int64_t line, std::int64_t pos, qreal x = 0) const { return FLayout.For(line, pos, x); }
    TLayoutPtr LayoutBefore(std::int64_t line, std::int64_t pos) const { return FLayout.Before(line, pos); }
    bool LineIsRightToLeft(std::int64_t line) const { return FLayout.RightToLeft(line); }
    // The next or previous word edge within pos's line.
    std::int64_t WordStep(std::int64_t pos, bool forward) const;
    qreal XOf(std::int64_t pos) const;
    std::int64_t PositionIn(std::int64_t line, qreal x) const;
    std::int64_t NextPosition(std::int64_t pos, bool word) const;
    std::int64_t PreviousPosition(std::int64_t pos, bool word) const;
    int LineHeight() const;
    int VisibleLines() const;
    qreal HorizontalOffset() const;
    void UpdateScrollBars();
    bool HandleKey(QKeyEvent* event);
    // The three kinds of key HandleKey tries in turn; each says whether it took the key.
    bool CommandKey(QKeyEvent* event);
    bool MoveKey(QKeyEvent* event);
    bool EditKey(QKeyEvent* event);
    void MoveTo(std::int64_t pos, bool select, bool keepColumn = false);
    void SelectAround(std::int64_t pos, TSelectUnit unit, bool extend);
    void AutoScroll();
    void CaretChanged(bool selectionToo);
    // Runs an edit of the text (what is coming: where, and how much goes) and
    // brings caret, layouts, scroll bars and screen readers up to date.
    void Edit(const TEditChange& coming, const std::function<TEditChange()>& apply);
    void Changed(std::int64_t pos, std::int64_t removed, const QString& removedText,
                 std::int64_t inserted);
    void RestartBlink();
    void CopyToSelectionClipboard();

    TMemoText FText;
    std::int64_t FCursor = 0;
    std::int64_t FAnchor = 0;
    qreal FColumnX = -1;
    TComposition FComposition;
    bool FCaretOn = true;
    QBasicTimer FBlink;
    QBasicTimer FScrollTimer;
    QBasicTimer FTripleClick;
    QPoint FTripleClickPoint;
    QPoint FLastMouse;
    bool FDragging = false;
    TSelectUnit FSelectUnit = TSelectUnit::suCharacter;
    std::int64_t FSelectFrom = 0;
    std::int64_t FSelectTo = 0;

    // What is laid out follows the text on its own: a cache, so const
    // questions (where is a position?) may fill it.
    mutable TLayoutCache FLayout{FText, FComposition, FCursor};
    qreal FWidthScale = 1; // pixels per step of the horizontal bar
};
