// The flat tool button's dropdown sequence and its link to an action.

#include "components/FlatCtls.h"

#include "base/Failure.h"
#include "components/ClickSweep.h"
#include "components/FlatActionLink.h"
#include "components/FlatDropdown.h"

#include <QCoreApplication>
#include <QScopeGuard>

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

namespace {

// Caption, enabled state and tool tip always follow the action.
void FollowAction(TFlatButton& button, const QAction& action)
{
    button.SetCaption(action.text());
    button.setEnabled(action.isEnabled());
    button.setToolTip(action.toolTip());
}

} // namespace

void TFlatButton::ActionChange(bool checkDefaults)
{
    if (!FAction)
        return;
    FollowAction(*this, *FAction);
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
    FollowAction(FClient, FAction);
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
