#include "components/PointerPlace.h"

#include "components/FlatDropdown.h"

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

TPointerPlace::TPointerPlace(TSource source)
    : FSource(source)
{
    qApp->installEventFilter(this);
}

TPointerPlace::~TPointerPlace()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

TPointerPlace::TSource TPointerPlace::SourceOfPlatform()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ? psWindows : psScreen;
}

QWidget* TPointerPlace::Control() const
{
    if (FSource == psScreen)
        return ::ControlAt(QCursor::pos());
    return FWindow ? ControlAt(FWindow, FAt) : nullptr;
}

QWidget* TPointerPlace::ControlAt(QWindow* window, QPointF at) const
{
    if (!window)
        return Control();
    if (FSource == psScreen)
        return ::ControlAt(window->mapToGlobal(at.toPoint()));
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* top : windows) {
        if (top->windowHandle() == window)
            return InWindow(top, at.toPoint());
    }
    return nullptr;
}

QWidget* TPointerPlace::ControlAt(const QWidget* widget, QPoint at) const
{
    if (FSource == psScreen)
        return ::ControlAt(widget->mapToGlobal(at));
    QWidget* top = widget->window();
    return InWindow(top, widget->mapTo(top, at));
}

QWidget* TPointerPlace::InWindow(QWidget* top, QPoint at)
{
    // A window holding the pointer while a button is held hears moves
    // outside itself; there nothing of it is under the pointer.
    if (!top->rect().contains(at))
        return nullptr;
    QWidget* child = top->childAt(at);
    return child ? child : top;
}

bool TPointerPlace::eventFilter(QObject* watched, QEvent* event)
{
    if (FSource != psWindows || !watched->isWindowType())
        return false;
    switch (event->type()) {
    case QEvent::Enter:
        FWindow = static_cast<QWindow*>(watched);
        FAt = static_cast<QEnterEvent*>(event)->position();
        break;
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        FWindow = static_cast<QWindow*>(watched);
        FAt = static_cast<QMouseEvent*>(event)->position();
        break;
    case QEvent::Leave:
        if (FWindow == watched)
            FWindow = nullptr;
        break;
    default:
        break;
    }
    return false;
}
