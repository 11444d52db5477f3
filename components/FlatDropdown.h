#pragma once

// What links a flat tool button to menus and actions: the dropdown menu,
// the dropdown event, and the action link.

#include <QAction>
#include <QMenu>
#include <QMetaObject>
#include <QPoint>
#include <QPointer>

#include <functional>

class TFlatButton;

// An action that also carries a help context and an image index.
class TFlatAction final : public QAction
{
    Q_OBJECT
public:
    using QAction::QAction;

    int HelpContext() const { return FHelpContext; }
    void SetHelpContext(int context) { FHelpContext = context; Q_EMIT changed(); }
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int index) { FImageIndex = index; Q_EMIT changed(); }

private:
    int FHelpContext = 0;
    int FImageIndex = -1;
};



// A popup menu that remembers where it was asked to open relative to the
// point (Alignment) and which mouse button picks its items (TrackButton).
class TPopupMenu final : public QMenu
{
    Q_OBJECT
public:
    enum TPopupAlignment { paLeft, paRight, paCenter };
    Q_ENUM(TPopupAlignment)
    enum TTrackButton { tbRightButton, tbLeftButton };
    Q_ENUM(TTrackButton)

    using QMenu::QMenu;

    TPopupAlignment Alignment = paLeft;
    TTrackButton TrackButton = tbRightButton;
    // The control that opened the menu last.
    QPointer<QWidget> PopupComponent;
    // Called just before the menu shows; it may fail.
    std::function<void(TPopupMenu&)> OnPopup;

    // Shows the menu with the point at its left edge, right edge or centre,
    // and returns once it has closed.
    void Popup(QPoint global);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The dropdown event: the handler may turn the menu off (ShowMenu) and keep
// the clicks that closed it (RemoveClicks false).
using TButtonDropdownEvent = std::function<void(TFlatButton& Sender, bool& ShowMenu, bool& RemoveClicks)>;

// Carries a later change of an action's Checked, help context and image
// index to the button, each only while the button's value still equals the
// action's former one (the property is "linked"). The action's values are
// remembered at each change, since Qt tells of a change after it happened.
class TFlatButtonActionLink final
{
public:
    TFlatButtonActionLink(TFlatButton& client, QAction& action);
    Q_DISABLE_COPY_MOVE(TFlatButtonActionLink)

    bool IsCheckedLinked() const;
    bool IsHelpContextLinked() const;
    bool IsImageIndexLinked() const;
    void SetChecked(bool value);
    void SetHelpContext(int value);
    void SetImageIndex(int value);
    // The action changed: passes on what changed and is linked.
    void ActionChanged();
    // Takes the action's present values as the ones to compare with.
    void Remember();

private:
    TFlatButton& FClient;
    QAction& FAction;
    bool FChecked = false;
    int FHelpContext = 0;
    int FImageIndex = -1;
    QMetaObject::Connection FChanged;

public:
    ~TFlatButtonActionLink();
};
