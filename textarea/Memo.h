#pragma once

#include "textarea/MemoAccessible.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QPoint>
#include <QString>

#include <cstdint>
#include <memory>

class QMenu;
class TMemoText;
class TTextStore;

// The multi-line text area: an editable plain text without wrapping, so that
// a tail of any size shows at once. The editing core (TMemoEditor) holds the
// text, the caret and the commands; the widget takes input, paints and
// scrolls. Only the lines in view are laid out; a very long line is laid out
// a window at a time.
class TMemo final : public QAbstractScrollArea, public TTextView
{
    Q_OBJECT
public:
    explicit TMemo(QWidget* parent = nullptr);
    ~TMemo() override;
    Q_DISABLE_COPY_MOVE(TMemo)

    TMemoEditor& Editor() const override { return *FEditor; }

    // Shows a loaded text from the top with the caret at the start; the undo
    // history goes.
    void LoadStore(TTextStore store);
    // While a store is still being read for LoadStore: lays out ahead the
    // lines it will show first.
    void PrepareFor(const TTextStore& store);
    void SetText(const QString& text);
    // The whole text, each line end as '\n'.
    QString Text() const;
    const TMemoText& Model() const;

    std::int64_t CursorPosition() const;
    std::int64_t Anchor() const;
    std::int64_t SelectionStart() const;
    std::int64_t SelectionEnd() const;
    bool HasSelection() const;
    QString SelectedText() const;
    // Selects from anchor to position (the caret) and brings the caret into view.
    void SetSelection(std::int64_t anchor, std::int64_t position);
    void SelectAll();
    std::int64_t FirstVisibleLine() const;

    // The edit menu of the command table, enabled as the commands apply; the
    // caller owns it.
    QMenu* CreateContextMenu();

    // Geometry for views and assistive technology, in the viewport's coordinates.
    QWidget* TextViewport() const override { return viewport(); }
    QRect CharacterRect(std::int64_t pos) const override;
    // Where the caret stands (or would stand at pos), one pixel wide.
    QRect CaretRect(std::int64_t pos) const;
    std::int64_t PositionAt(const QPoint& viewportPoint) const override;
    void EnsureVisible(std::int64_t pos) override;

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
    bool HandleKey(QKeyEvent* event);
    int LineHeight() const;
    int VisibleLines() const;
    qreal HorizontalOffset() const;
    void UpdateScrollBars();
    void AutoScroll();
    void CaretMoved(bool reveal);
    void RestartBlink();

    std::unique_ptr<TMemoEditor> FEditor;
    bool FCaretOn = true;
    QBasicTimer FBlink;
    QBasicTimer FScrollTimer;
    QBasicTimer FTripleClick;
    QPoint FTripleClickPoint;
    QPoint FLastMouse;
    bool FDragging = false;
    qreal FWidthScale = 1; // pixels per step of the horizontal bar
};
