#pragma once

// What a flat tool button's dropdown uses: the menu, and the action with a
// help context and an image index. None of it knows the button.

#include <QAction>
#include <QMenu>
#include <QPoint>
#include <QPointer>

#include <functional>

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

// The control under a screen point: the topmost one there, disabled ones included.
QWidget* ControlAt(QPoint global);
