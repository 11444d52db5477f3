#pragma once

#include <QEvent>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>

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
    TClickSweep(QWidget* button, bool removeClicks);
    ~TClickSweep() override;
    Q_DISABLE_COPY_MOVE(TClickSweep)

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TKept {
        QPointer<QWidget> Target;
        QEvent::Type Type;
        QPoint Global;
        Qt::MouseButton Button;
        Qt::MouseButtons Buttons;
        Qt::KeyboardModifiers Modifiers;
    };
    void Keep(QWidget* target, QEvent* event);

    QPointer<QWidget> FButton;
    bool FRemoveClicks;
    QList<TKept> FKept;
    QPointer<QWidget> FLastTarget;
    int FKeepReleases = 0;
    int FDropReleases = 0;
};
