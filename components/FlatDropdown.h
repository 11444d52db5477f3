#pragma once

// What a flat tool button's dropdown uses: the menu, the sweep of the clicks
// that arrive while it shows, and the action with a help context and an
// image index. None of it knows the button.

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QList>
#include <QMouseEvent>
#include <QWindow>
#include <QMenu>
#include <QMetaObject>
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
