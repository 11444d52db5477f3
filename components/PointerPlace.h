#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>

class QWidget;
class QWindow;

// The control under the pointer, for hot tracking. On X11 the pointer's
// place on the screen can be asked at any moment. On Wayland a program sees
// the pointer only over its own surfaces and does not know where its windows
// are: QCursor::pos() keeps the last place it saw, and a global point names
// no window. There the place is what the windows were told: the window the
// pointer entered and has not left, and where in it the pointer last moved.
class TPointerPlace final : public QObject
{
public:
    enum TSource { psScreen, psWindows };

    // Installs itself as an application event filter.
    explicit TPointerPlace(TSource source = SourceOfPlatform());
    ~TPointerPlace() override;
    Q_DISABLE_COPY_MOVE(TPointerPlace)

    static TSource SourceOfPlatform();

    // The topmost control under the pointer, disabled ones included; null
    // when the pointer is over no window of ours.
    QWidget* Control() const;
    // The control under a point of one of our windows (window coordinates),
    // or of a control (its own coordinates).
    QWidget* ControlAt(QWindow* window, QPointF at) const;
    QWidget* ControlAt(const QWidget* widget, QPoint at) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static QWidget* InWindow(QWidget* top, QPoint at);

    TSource FSource;
    QPointer<QWindow> FWindow;
    QPointF FAt;
};
