#pragma once

#include <QtGlobal>

#include <cstdint>

class QAccessibleInterface;
class QObject;
class QPoint;
class QRect;
class QString;
class QWidget;
class TMemoEditor;

// What a screen reader asks of the widget that shows an editor's text:
// where things are on screen. Positions count in the whole text.
class TTextView
{
public:
    virtual TMemoEditor& Editor() const = 0;
    // The widget whose coordinates the rectangles and points are in.
    virtual QWidget* TextViewport() const = 0;
    virtual QRect CharacterRect(std::int64_t pos) const = 0;
    virtual std::int64_t PositionAt(const QPoint& viewportPoint) const = 0;
    virtual void EnsureVisible(std::int64_t pos) = 0;

protected:
    TTextView() = default;
    ~TTextView() = default;
    Q_DISABLE_COPY_MOVE(TTextView)
};

// Makes the accessible interface of a widget that is a TTextView: an
// editable multi-line text that screen readers read a part at a time.
QAccessibleInterface* MemoAccessibleFactory(const QString& className, QObject* object);

// From now on screen readers hear, as events of `widget`, what the editor
// does: edits, caret moves and selections.
void AnnounceToScreenReaders(QWidget* widget, const TMemoEditor& editor);
