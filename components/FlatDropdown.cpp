#include "components/FlatDropdown.h"

#include "base/Failure.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QWindow>


void TPopupMenu::Popup(QPoint global)
{
    if (OnPopup)
        OnPopup(*this);
    const QSize size = sizeHint();
    if (Alignment == paRight)
        global.rx() -= size.width();
    else if (Alignment == paCenter)
        global.rx() -= size.width() / 2;
    exec(global);
}

void TPopupMenu::mouseReleaseEvent(QMouseEvent* event)
{
    // With the left button tracking, the right button picks nothing.
    if (TrackButton == tbLeftButton && event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QMenu::mouseReleaseEvent(event);
}

QWidget* ControlAt(QPoint global)
{
    return QApplication::widgetAt(global);
}
