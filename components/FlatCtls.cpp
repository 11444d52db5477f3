#include "components/FlatCtls.h"

#include "base/Accelerator.h"
#include "base/Failure.h"
#include "components/FlatActionLink.h"
#include "components/FlatDropdown.h"
#include "components/PointerPlace.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <exception>

// ---------------------------------------------------------------------------
// The flat tool button

void HotTimerTick();

namespace {

// A character typed with Alt is offered to the buttons of the window before
// the control with the focus sees it, whichever control that is.
class TAltKeyFilter final : public QObject
{
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) != Qt::AltModifier)
            return false;
        QWidget* window = static_cast<QWidget*>(watched)->window();
        const auto buttons = window->findChildren<TFlatButton*>();
        for (TFlatButton* button : buttons) {
            if (button->window() == window && button->OfferAccelerator(key))
                return true;
        }
        return false;
    }
};

// What all flat buttons share: the one hot button, the timer that checks it
// still has the pointer, where the pointer is, and the filter that offers
// Alt keys to the buttons of a window. Made with the first button, freed
// with the last.
struct THotTracker {
    THotTracker()
    {
        qApp->installEventFilter(&AltKeys);
        Timer.setInterval(125);
        QObject::connect(&Timer, &QTimer::timeout, [] { CallHandler(HotTimerTick); });
    }
    Q_DISABLE_COPY_MOVE(THotTracker)
    ~THotTracker() { TButtonGlyph::ReleaseCheckerPattern(); }

    TFlatButton* Hot = nullptr;
    QTimer Timer;
    TPointerPlace Place;
    int Buttons = 0;
    TAltKeyFilter AltKeys;
};

std::unique_ptr<THotTracker> GTracker;

} // namespace

void HotTimerTick()
{
    if (GTracker && GTracker->Hot && GTracker->Place.Control() != GTracker->Hot)
        GTracker->Hot->LeaveHot();
}

void HotHookListener(TAppHookKind kind, QObject* window, qintptr param1, qintptr param2)
{
    TFlatButton* hot = GTracker ? GTracker->Hot : nullptr;
    if (!hot)
        return;
    if (kind == ahActivateApp && param1 == 0) {
        if (!hot->FShowBorderWhenInactive)
            hot->LeaveHot();
    } else if (kind == ahMouseMove) {
        if (GTracker->Place.ControlAt(qobject_cast<QWindow*>(window), QPointF(param1, param2)) != hot)
            hot->LeaveHot();
    }
}

void DrawEdge(QPainter& painter, const QRect& rect, TEdgeStyle style, bool fillMiddle)
{
    const QPalette palette = QGuiApplication::palette();
    const QColor light = palette.color(QPalette::Light);
    const QColor dark = palette.color(QPalette::Dark);
    const QColor midlight = palette.color(QPalette::Midlight);
    const QColor darkest = palette.color(QPalette::Shadow);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (fillMiddle)
        painter.fillRect(rect, palette.color(QPalette::Button));
    // One ring: top and left in one colour, bottom and right (with their
    // corners) in the other.
    const auto ring = [&painter](const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
        if (r.width() <= 0 || r.height() <= 0)
            return;
        painter.setPen(topLeft);
        painter.drawLine(r.left(), r.top(), r.right() - 1, r.top());
        painter.drawLine(r.left(), r.top(), r.left(), r.bottom() - 1);
        painter.setPen(bottomRight);
        painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
        painter.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    };
    switch (style) {
    case esRaisedInner:
        ring(rect, light, dark);
        break;
    case esSunkenOuter:
        ring(rect, dark, light);
        break;
    case esRaised:
        ring(rect, midlight, darkest);
        ring(rect.adjusted(1, 1, -1, -1), light, dark);
        break;
    case esSunken:
        ring(rect, dark, light);
        ring(rect.adjusted(1, 1, -1, -1), darkest, midlight);
        break;
    }
    painter.restore();
}

TFlatButton::TFlatButton(QWidget* parent)
    : QWidget(parent)
{
    if (!GTracker)
        GTracker = std::make_unique<THotTracker>();
    RegisterAppHook(HotHookListener, AppHookBit(ahActivateApp) | AppHookBit(ahMouseMove));
    resize(23, 22);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    UpdateOpaqueStyle();
    FGlyph.OnGlyphChange = [this](TButtonGlyph&) { RefreshButton(); };
    ++GTracker->Buttons;
    WatchWindow();
}

TFlatButton::~TFlatButton()
{
    FDestroying = true;
    ReleaseHotTimer();
    UnregisterAppHook(HotHookListener);
    if (--GTracker->Buttons == 0)
        GTracker.reset();
}

TFlatButton* TFlatButton::HotButton() { return GTracker ? GTracker->Hot : nullptr; }
QTimer* TFlatButton::HotTimer() { return GTracker ? &GTracker->Timer : nullptr; }
int TFlatButton::ButtonCount() { return GTracker ? GTracker->Buttons : 0; }

void TFlatButton::RefreshButton(bool)
{
    // Qt composes windowless children itself: a transparent button gets its
    // parent painted beneath it, an opaque one does not need it.
    update();
}

bool TFlatButton::InMainArea(QPoint at) const
{
    const int part = (FDropdownCombo && FHasDropdown) ? ComboPartWidth : 0;
    return at.x() >= 0 && at.x() < width() - part && at.y() >= 0 && at.y() < height();
}

void TFlatButton::EnterHot()
{
    if (!isEnabled() || FMouseInside)
        return;
    FMouseInside = true;
    if (FButtonState == tsUp)
        FButtonState = tsHot;
    if (FFlat || NumGlyphs() == 5)
        RefreshButton(FDown || NumGlyphs() == 5);
    if (OnMouseEnter)
        OnMouseEnter(*this);
}

void TFlatButton::LeaveHot()
{
    if (!isEnabled() || !FMouseInside || FMouseHeld)
        return;
    FMouseInside = false;
    ReleaseHotTimer();
    const TToolButtonState old = FButtonState;
    if (FButtonState == tsHot || (FButtonState == tsPressed && !FClickRunning))
        FButtonState = (FDown && FGroupIndex != 0) ? tsLatched : tsUp;
    if (FFlat || NumGlyphs() == 5 || (FButtonState != old && old != tsHot))
        RefreshButton();
    if (OnMouseExit)
        OnMouseExit(*this);
}

void TFlatButton::ReleaseHotTimer()
{
    if (GTracker && GTracker->Hot == this) {
        GTracker->Timer.stop();
        GTracker->Hot = nullptr;
    }
}

void TFlatButton::RecheckHot()
{
    if (!isEnabled())
        return;
    const bool over = GTracker->Place.Control() == this;
    FMouseInside = !over;
    if (over) {
        // Hot again after a click: tracked like a hot button, so that the
        // timer or the next move anywhere ends the frame once the pointer
        // has gone, even when it left without crossing the button again.
        if (GTracker->Hot != this)
            BecomeHotButton();
        EnterHot();
    } else {
        LeaveHot();
    }
}

void TFlatButton::BecomeHotButton()
{
    if (GTracker->Hot)
        GTracker->Hot->LeaveHot();
    if (FShowBorderWhenInactive || ApplicationHasActiveWindow()) {
        GTracker->Hot = this;
        GTracker->Timer.start();
        EnterHot();
    }
}

void TFlatButton::MouseDown(Qt::MouseButton button, QPoint at, bool)
{
    if (!isEnabled()) {
        if (OnMouseDown)
            OnMouseDown(*this, button, at);
        return;
    }
    if (button != Qt::LeftButton) {
        EnterHot();
        if (OnMouseDown)
            OnMouseDown(*this, button, at);
        return;
    }
    EnterHot();
    FMenuPress = FHasDropdown && (!FDropdownCombo || at.x() >= width() - ComboPartWidth);
    try {
        if (!FDown) {
            FButtonState = tsPressed;
            RefreshButton();
        } else if (FAllowAllUp) {
            RefreshButton();
        }
        if (!FMenuPress)
            FMouseHeld = true;
        if (OnMouseDown)
            OnMouseDown(*this, button, at);
        if (FMenuPress) {
            Click();
        } else if (FRepeating) {
            Click();
            StartAutoRepeat();
        }
    } catch (...) {
        FMenuPress = false;
        throw;
    }
    FMenuPress = false;
}

void TFlatButton::MouseMove(QPoint at)
{
    if (OnMouseMove)
        OnMouseMove(*this, at);
    if (GTracker->Hot != this && GTracker->Place.ControlAt(this, at) == this)
        BecomeHotButton();
    if (FMouseHeld) {
        const bool inside = InMainArea(at);
        // Back inside, a paused repeat goes on; a running one keeps its countdown.
        if (inside && FAutoRepeatTimer && !FAutoRepeatTimer->isActive())
            FAutoRepeatTimer->start();
        const TToolButtonState next = FDown ? tsLatched : inside ? tsPressed : tsUp;
        if (next != FButtonState) {
            FButtonState = next;
            RefreshButton();
        }
    }
}

void TFlatButton::MouseUp(Qt::MouseButton button, QPoint at)
{
    FAutoRepeatTimer.reset();
    if (button == Qt::RightButton && isEnabled()) {
        FMouseHeld = false;
        LeaveHot();
    }
    if (OnMouseUp)
        OnMouseUp(*this, button, at);
    if (button == Qt::LeftButton && FMouseHeld) {
        FMouseHeld = false;
        if (InMainArea(at) && !FRepeating)
            Click();
        else
            LeaveHot();
    }
}

void TFlatButton::CancelMode()
{
    FAutoRepeatTimer.reset();
    if (FMouseHeld) {
        FMouseHeld = false;
        LeaveHot();
    }
    if (QWidget::mouseGrabber() == this)
        releaseMouse();
}

void TFlatButton::InheritedClick()
{
    if (FAction && !OnClick)
        FAction->trigger();
    else if (OnClick)
        OnClick(*this);
}

void TFlatButton::Click()
{
    if (FRepeating && !FMenuPress) {
        InheritedClick();
        return;
    }
    FClickRunning = true;
    const QPointer<TFlatButton> self(this);
    const auto finalStep = [&] {
        if (!self)
            return;
        FClickRunning = false;
        if (FButtonState == tsPressed)
            FButtonState = tsUp;
        if (!FDestroying) {
            RefreshButton();
            RecheckHot();
        }
    };
    try {
        if (FGroupIndex != 0 && !FMenuPress)
            SetDown(!FDown);
        if (FButtonState == tsUp || FButtonState == tsHot) {
            FButtonState = tsPressed;
            RefreshButton();
        }
        LeaveHot();
        if (!FHasDropdown || (FDropdownCombo && !FMenuPress)) {
            if (auto* dialog = qobject_cast<QDialog*>(window()))
                dialog->setResult(FModalResult);
            InheritedClick();
        } else {
            DropdownSequence();
        }
    } catch (...) {
        finalStep();
        throw;
    }
    finalStep();
}

void TFlatButton::SetDown(bool value)
{
    if (FGroupIndex == 0)
        value = false;
    if (value == FDown)
        return;
    if (FDown && !FAllowAllUp)
        return;
    FDown = value;
    FButtonState = !isEnabled() ? tsDisabled : value ? tsLatched : tsUp;
    RefreshButton();
    if (value)
        ReleaseGroupSiblings();
}

void TFlatButton::ReleaseGroupSiblings()
{
    if (FGroupIndex == 0 || !parentWidget())
        return;
    const auto siblings = parentWidget()->findChildren<TFlatButton*>(Qt::FindDirectChildrenOnly);
    for (TFlatButton* other : siblings) {
        if (other == this || other->FGroupIndex != FGroupIndex)
            continue;
        if (FDown && other->FDown) {
            other->FDown = false;
            other->FButtonState = other->isEnabled() ? tsUp : tsDisabled;
            other->RefreshButton();
        }
        other->FAllowAllUp = FAllowAllUp;
    }
}

void TFlatButton::StartAutoRepeat()
{
    if (!FAutoRepeatTimer) {
        FAutoRepeatTimer = std::make_unique<QTimer>();
        connect(FAutoRepeatTimer.get(), &QTimer::timeout, this, [this] { CallHandler([this] { AutoRepeatTick(); }); });
    }
    FAutoRepeatTimer->stop();
    FAutoRepeatTimer->setInterval(FRepeatDelay);
    FAutoRepeatTimer->start();
}

void TFlatButton::AutoRepeatTick()
{
    FAutoRepeatTimer->setInterval(FRepeatInterval);
    const QPoint at = mapFromGlobal(QCursor::pos());
    if (FRepeating && FMouseHeld && InMainArea(at))
        Click();
    else if (FAutoRepeatTimer)
        FAutoRepeatTimer->stop();
}

bool TFlatButton::ParentCanFocus() const
{
    const QWidget* parent = parentWidget();
    return parent && parent->isVisible() && parent->isEnabled();
}

QChar TFlatButton::Accelerator() const
{
    return ParseCaption(FCaption).Accelerator;
}

void TFlatButton::WatchWindow()
{
    QWidget* top = window();
    if (top == FWatchedWindow)
        return;
    if (FWatchedWindow)
        FWatchedWindow->removeEventFilter(this);
    FWatchedWindow = top != this ? top : nullptr;
    if (FWatchedWindow)
        FWatchedWindow->installEventFilter(this);
}

bool TFlatButton::eventFilter(QObject* watched, QEvent* event)
{
    // Keys nobody in the window took reach the window itself: Enter and
    // Escape for default and cancel buttons, characters as accelerators.
    if (watched != FWatchedWindow || event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const bool usable = ParentCanFocus() && isEnabled() && isVisible();
    if (!usable)
        return false;
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    bool handled = false;
    if (modifiers == Qt::NoModifier && ((enter && FDefault) || (key->key() == Qt::Key_Escape && FCancel))) {
        handled = true;
    } else {
        return OfferAccelerator(key);
    }
    if (handled)
        CallHandler([this] { Click(); });
    return handled;
}

bool TFlatButton::OfferAccelerator(const QKeyEvent* key)
{
    if (FDisplayMode == dmGlyphOnly || Accelerator().isNull() || !ParentCanFocus() || !isEnabled() || !isVisible())
        return false;
    const QString typed = key->text();
    const QChar keyChar = typed.size() == 1 && typed.front().isPrint() ? typed.front()
        : (key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z) ? QChar(u'a' + (key->key() - Qt::Key_A))
        : (key->key() >= Qt::Key_0 && key->key() <= Qt::Key_9) ? QChar(u'0' + (key->key() - Qt::Key_0))
                                                               : QChar();
    if (keyChar.isNull() || keyChar.toLower() != Accelerator().toLower())
        return false;
    CallHandler([this] { Click(); });
    return true;
}

void TFlatButton::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    CallHandler([&] { MouseDown(event->button(), event->position().toPoint(), false); });
}

void TFlatButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    CallHandler([&] {
        MouseDown(event->button(), event->position().toPoint(), true);
        if (event->button() == Qt::LeftButton && FDown && OnDblClick)
            OnDblClick(*this);
    });
}

void TFlatButton::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    CallHandler([&] { MouseMove(event->position().toPoint()); });
}

void TFlatButton::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    CallHandler([&] { MouseUp(event->button(), event->position().toPoint()); });
}

void TFlatButton::EnabledChanged()
{
    if (!isEnabled()) {
        FButtonState = tsDisabled;
        FMouseInside = false;
        FMouseHeld = false;
        ReleaseHotTimer();
        CancelMode();
    } else if (FButtonState == tsDisabled) {
        FButtonState = (FDown && FGroupIndex != 0) ? tsLatched : tsUp;
    }
    RefreshButton();
}

void TFlatButton::changeEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::EnabledChange:
        CallHandler([this] { EnabledChanged(); });
        break;
    case QEvent::FontChange:
        RefreshButton();
        break;
    case QEvent::PaletteChange:
        CallHandler([this] {
            FGlyph.SystemColorsChanged(FButtonState);
            RefreshButton();
        });
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

bool TFlatButton::event(QEvent* event)
{
    if (event->type() == CancelModeEventType()) {
        CallHandler([this] { CancelMode(); });
        return true;
    }
    if (event->type() == QEvent::ParentChange)
        WatchWindow();
    return QWidget::event(event);
}

void TFlatButton::Loaded()
{
    FLoading = false;
    CallHandler([this] { FGlyph.MakeStateImage(isEnabled() ? tsUp : tsDisabled); });
}

void TFlatButton::paintEvent(QPaintEvent*)
{
    try {
        const bool offscreen = FOpaque || !FFlat;
        QImage surface;
        if (offscreen) {
            // At the screen's resolution, so frame and caption stay sharp.
            const qreal ratio = devicePixelRatioF();
            surface = QImage(size() * ratio, QImage::Format_RGB32);
            surface.setDevicePixelRatio(ratio);
            surface.fill(palette().color(QPalette::Button));
        }
        QPainter canvas(this);
        QPainter offscreenPainter;
        if (offscreen)
            offscreenPainter.begin(&surface);
        QPainter& painter = offscreen ? offscreenPainter : canvas;
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::ButtonText));

        int left = 0, top = 0, right = width(), bottom = height();
        const bool pushed = FButtonState == tsPressed || FButtonState == tsLatched;
        const bool split = FDropdownCombo && FHasDropdown;
        const bool frame = !FNoBorder && (!FFlat || pushed || (FMouseInside && FButtonState != tsDisabled));
        const auto edge = [&](int l, int t, int r, int b, bool sunken) {
            const TEdgeStyle style = FFlat ? (sunken ? esSunkenOuter : esRaisedInner)
                                           : (sunken ? esSunken : esRaised);
            DrawEdge(painter, QRect(QPoint(l, t), QPoint(r - 1, b - 1)), style, !FFlat);
        };
        if (frame && split) {
            edge(right - ComboPartWidth, top, right - 2, bottom, pushed && FMenuPress);
            right -= ComboPartWidth;
        } else if (split) {
            right -= ComboPartWidth;
        }
        if (frame)
            edge(left, top, right, bottom, pushed && !(split && FMenuPress));
        if (!FNoBorder) {
            const int inset = FFlat ? 1 : 2;
            left += inset, top += inset, right -= inset, bottom -= inset;
        }
        const QRect content(QPoint(left, top), QPoint(right - 1, bottom - 1));
        QPoint offset(0, 0);
        if (pushed && !(split && FMenuPress)) {
            if (FButtonState == tsLatched && (!FFlat || !FMouseInside)) {
                painter.fillRect(content, QBrush(TButtonGlyph::CheckerPattern()));
            }
            offset = QPoint(1, 1);
        }
        TContentOptions options;
        options.Client = content;
        options.Offset = offset;
        options.DrawGlyph = FDisplayMode != dmTextOnly;
        options.DrawCaption = FDisplayMode != dmGlyphOnly;
        options.Caption = FCaption;
        options.WordWrap = FWordWrap;
        options.Alignment = FAlignment;
        options.Layout = TButtonLayout(FLayout);
        options.Margin = FMargin;
        options.Spacing = FSpacing;
        options.DropArrow = FDropdownArrow && FHasDropdown && !FDropdownCombo;
        FGlyph.PaintContent(painter, options, FButtonState);
        if (split)
            TButtonGlyph::PaintDropArrow(painter, width() - 13, height() / 2 - 1, FButtonState);
        if (offscreen) {
            offscreenPainter.end();
            canvas.drawImage(0, 0, surface);
        }
    } catch (const std::exception&) {
        // Not from inside a paint: show the failure once this paint is over.
        const std::exception_ptr failure = std::current_exception();
        QTimer::singleShot(0, qApp, [failure] {
            try {
                std::rethrow_exception(failure);
            } catch (...) {
                ShowCurrentException();
            }
        });
    }
}

// Setters: each does nothing for the value it already has.
