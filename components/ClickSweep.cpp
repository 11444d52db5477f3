#include "components/ClickSweep.h"

#include "components/FlatDropdown.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWindow>

TClickSweep::TClickSweep(QWidget* button, bool removeClicks) : FButton(button), FRemoveClicks(removeClicks)
{
    qApp->installEventFilter(this);
}

TClickSweep::~TClickSweep()
{
    qApp->removeEventFilter(this);
    // Through the target's window, as a click from the system arrives, so
    // that the release finds its way to the control that had the press.
    for (const TKept& kept : FKept) {
        QWindow* surface = kept.Target ? kept.Target->window()->windowHandle() : nullptr;
        if (!surface)
            continue;
        const QPoint local = surface->mapFromGlobal(kept.Global);
        QCoreApplication::postEvent(surface, new QMouseEvent(kept.Type, local, local, kept.Global, kept.Button,
                                                             kept.Buttons, kept.Modifiers));
    }
}

bool TClickSweep::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonRelease) {
        // Taken where it first shows up, so it is seen once.
        if (FDropReleases > 0) {
            --FDropReleases;
            return true;
        }
        if (FKeepReleases > 0) {
            --FKeepReleases;
            Keep(FLastTarget, event);
            return true;
        }
        return false;
    }
    if ((type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick) || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    const QPoint global = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
    const bool toPopup = widget->windowType() == Qt::Popup;
    if (toPopup && widget->geometry().contains(global))
        return false; // a press in the menu itself
    QWidget* target = toPopup ? ControlAt(global) : widget;
    if (toPopup)
        widget->setAttribute(Qt::WA_NoMouseReplay, true);
    if (FRemoveClicks && target == FButton) {
        ++FDropReleases;
        return !toPopup; // a menu still closes on it
    }
    if (!toPopup || !target)
        return false; // pending while nothing is shown: it goes on in order as it is
    Keep(target, event);
    FLastTarget = target;
    ++FKeepReleases;
    return false;
}

void TClickSweep::Keep(QWidget* target, QEvent* event)
{
    const auto* mouse = static_cast<QMouseEvent*>(event);
    FKept.append({target, event->type(), mouse->globalPosition().toPoint(), mouse->button(), mouse->buttons(),
                  mouse->modifiers()});
}
