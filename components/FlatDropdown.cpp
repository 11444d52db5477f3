#include "components/FlatCtls.h"

#include "base/Failure.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QWindow>

namespace {

// The sweep of the clicks that arrive while a dropdown runs. Qt hands a
// press outside an open menu to the menu, which closes; whether the press
// then reaches the control under it depends on the platform, and the release
// that follows may be lost. We take that into our own hands: every such
// press, and the release that belongs to it, is kept and posted again to its
// control once the menu has closed, in the order they came. With
// RemoveClicks, a press on the button that opened the menu (which would only
// open it again) is dropped with its release.
class TClickSweep final : public QObject
{
public:
    TClickSweep(QWidget* button, bool removeClicks) : FButton(button), FRemoveClicks(removeClicks)
    {
        qApp->installEventFilter(this);
    }
    ~TClickSweep() override
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
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

private:
    struct TKept {
        QPointer<QWidget> Target;
        QEvent::Type Type;
        QPoint Global;
        Qt::MouseButton Button;
        Qt::MouseButtons Buttons;
        Qt::KeyboardModifiers Modifiers;
    };
    void Keep(QWidget* target, QEvent* event)
    {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        FKept.append({target, event->type(), mouse->globalPosition().toPoint(), mouse->button(), mouse->buttons(),
                      mouse->modifiers()});
    }

    QPointer<QWidget> FButton;
    bool FRemoveClicks;
    QList<TKept> FKept;
    QPointer<QWidget> FLastTarget;
    int FKeepReleases = 0;
    int FDropReleases = 0;
};

} // namespace

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

void TFlatButton::DropdownSequence()
{
    if (!FDropdownCombo)
        InheritedClick();
    if (QWidget::mouseGrabber() == this)
        releaseMouse();

    bool showMenu = FDropdownMenu != nullptr;
    bool removeClicks = true;
    if (OnDropdown)
        OnDropdown(*this, showMenu, removeClicks);

    const QPointer<TPopupMenu> menu = FDropdownMenu;
    if (!menu || !showMenu) {
        // Nothing of ours shows (the handler may have shown something of its
        // own): the clicks pending now still go through the sweep.
        if (removeClicks) {
            const TClickSweep sweep(this, true);
            QCoreApplication::processEvents();
        }
        return;
    }

    // The menu's settings are this showing's only; they go back on every path.
    const auto oldAlignment = menu->Alignment;
    const auto oldTrackButton = menu->TrackButton;
    const auto restore = qScopeGuard([&] {
        if (menu) {
            menu->Alignment = oldAlignment;
            menu->TrackButton = oldTrackButton;
        }
    });
    menu->Alignment = TPopupMenu::paLeft;
    QPoint at(0, height());
    if (parentWidget()) {
        const QString dock = parentWidget()->property("DockPosition").toString();
        if (dock == u"dpLeft") {
            at = QPoint(width(), 0);
        } else if (dock == u"dpRight") {
            at = QPoint(0, 0);
            menu->Alignment = TPopupMenu::paRight;
        }
    }
    menu->PopupComponent = this;
    menu->TrackButton = TPopupMenu::tbLeftButton;
    // Destroyed after the menu closed, also on failure: posts what it kept.
    const TClickSweep sweep(this, removeClicks);
    menu->Popup(mapToGlobal(at));
}

void TFlatButton::SetAction(QAction* action)
{
    if (action == FAction)
        return;
    FActionLink.reset();
    FAction = action;
    if (action) {
        FActionLink = std::make_unique<TFlatButtonActionLink>(*this, *action);
        ActionChange(FLoading);
        FActionLink->Remember();
    }
}

void TFlatButton::AssignTo(QAction* action) const
{
    if (!action)
        return;
    action->setText(FCaption);
    action->setEnabled(isEnabled());
    action->setToolTip(toolTip());
    action->setChecked(FDown);
    if (auto* flat = qobject_cast<TFlatAction*>(action)) {
        flat->SetHelpContext(FHelpContext);
        flat->SetImageIndex(ImageIndex());
    }
}

void TFlatButton::ActionChange(bool checkDefaults)
{
    if (!FAction)
        return;
    SetCaption(FAction->text());
    setEnabled(FAction->isEnabled());
    setToolTip(FAction->toolTip());
    if (!checkDefaults || !FDown)
        SetDown(FAction->isChecked());
    if (auto* flat = qobject_cast<TFlatAction*>(FAction.data())) {
        if (!checkDefaults || FHelpContext == 0)
            SetHelpContext(flat->HelpContext());
        if (!checkDefaults || ImageIndex() == -1)
            SetImageIndex(flat->ImageIndex());
    }
}

TFlatButtonActionLink::TFlatButtonActionLink(TFlatButton& client, QAction& action)
    : FClient(client), FAction(action)
{
    FChanged = QObject::connect(&action, &QAction::changed, &client, [this] { CallHandler([this] { ActionChanged(); }); });
    Remember();
}

TFlatButtonActionLink::~TFlatButtonActionLink()
{
    QObject::disconnect(FChanged);
}

void TFlatButtonActionLink::Remember()
{
    FChecked = FAction.isChecked();
    if (auto* flat = qobject_cast<TFlatAction*>(&FAction)) {
        FHelpContext = flat->HelpContext();
        FImageIndex = flat->ImageIndex();
    }
}

bool TFlatButtonActionLink::IsCheckedLinked() const
{
    return FChecked == FClient.Down();
}

bool TFlatButtonActionLink::IsHelpContextLinked() const
{
    return FHelpContext == FClient.HelpContext();
}

bool TFlatButtonActionLink::IsImageIndexLinked() const
{
    return FImageIndex == FClient.ImageIndex();
}

void TFlatButtonActionLink::SetChecked(bool value)
{
    if (IsCheckedLinked())
        FClient.SetDown(value);
}

void TFlatButtonActionLink::SetHelpContext(int value)
{
    if (IsHelpContextLinked())
        FClient.SetHelpContext(value);
}

void TFlatButtonActionLink::SetImageIndex(int value)
{
    if (IsImageIndexLinked())
        FClient.SetImageIndex(value);
}

void TFlatButtonActionLink::ActionChanged()
{
    // Caption, enabled and tool tip follow the action as they always did.
    FClient.SetCaption(FAction.text());
    FClient.setEnabled(FAction.isEnabled());
    FClient.setToolTip(FAction.toolTip());
    if (FAction.isChecked() != FChecked)
        SetChecked(FAction.isChecked());
    if (auto* flat = qobject_cast<TFlatAction*>(&FAction)) {
        if (flat->HelpContext() != FHelpContext)
            SetHelpContext(flat->HelpContext());
        if (flat->ImageIndex() != FImageIndex)
            SetImageIndex(flat->ImageIndex());
    }
    Remember();
}
