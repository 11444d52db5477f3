#pragma once

#include "components/AppHooks.h"
#include "components/ButtonGlyph.h"

#include <QAction>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QKeyEvent;
class QPainter;

// A windowless toolbar-style push button: flat until the mouse is over it
// (a thin raised frame), sunken while pressed, a dithered face while latched
// down. Glyph and/or caption, groups, auto-repeat, Enter/Escape and
// accelerators, actions.
class TPopupMenu;
class TFlatButton;

// The dropdown event: the handler may turn the menu off (ShowMenu) and keep
// the clicks that closed it (RemoveClicks false).
using TButtonDropdownEvent = std::function<void(TFlatButton& Sender, bool& ShowMenu, bool& RemoveClicks)>;

// Carries later changes of an action to the button (FlatActionLink.h).
class TFlatButtonActionLink;

class TFlatButton final : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(bool AllowAllUp READ AllowAllUp WRITE SetAllowAllUp)
    Q_PROPERTY(bool Cancel READ Cancel WRITE SetCancel)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int GroupIndex READ GroupIndex WRITE SetGroupIndex)
    Q_PROPERTY(bool Default READ Default WRITE SetDefault)
    Q_PROPERTY(TButtonDisplayMode DisplayMode READ DisplayMode WRITE SetDisplayMode)
    Q_PROPERTY(bool Down READ Down WRITE SetDown)
    Q_PROPERTY(bool DropdownAlways READ DropdownAlways WRITE SetDropdownAlways)
    Q_PROPERTY(bool DropdownArrow READ DropdownArrow WRITE SetDropdownArrow)
    Q_PROPERTY(bool DropdownCombo READ DropdownCombo WRITE SetDropdownCombo)
    Q_PROPERTY(bool Flat READ Flat WRITE SetFlat)
    Q_PROPERTY(QPixmap Glyph READ GlyphPixmap WRITE SetGlyphPixmap)
    Q_PROPERTY(QPixmap GlyphMask READ GlyphMaskPixmap WRITE SetGlyphMaskPixmap)
    Q_PROPERTY(int HelpContext READ HelpContext WRITE SetHelpContext)
    Q_PROPERTY(int ImageIndex READ ImageIndex WRITE SetImageIndex)
    Q_PROPERTY(int Layout READ Layout WRITE SetLayout)
    Q_PROPERTY(int Margin READ Margin WRITE SetMargin)
    Q_PROPERTY(int ModalResult READ ModalResult WRITE SetModalResult)
    Q_PROPERTY(bool NoBorder READ NoBorder WRITE SetNoBorder)
    Q_PROPERTY(int NumGlyphs READ NumGlyphs WRITE SetNumGlyphs)
    Q_PROPERTY(bool OldDisabledStyle READ OldDisabledStyle WRITE SetOldDisabledStyle)
    Q_PROPERTY(bool Opaque READ Opaque WRITE SetOpaque)
    Q_PROPERTY(bool Repeating READ Repeating WRITE SetRepeating)
    Q_PROPERTY(int RepeatDelay READ RepeatDelay WRITE SetRepeatDelay)
    Q_PROPERTY(int RepeatInterval READ RepeatInterval WRITE SetRepeatInterval)
    Q_PROPERTY(bool ShowBorderWhenInactive READ ShowBorderWhenInactive WRITE SetShowBorderWhenInactive)
    Q_PROPERTY(int Spacing READ Spacing WRITE SetSpacing)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)

public:
    enum TButtonDisplayMode { dmBoth, dmGlyphOnly, dmTextOnly };
    Q_ENUM(TButtonDisplayMode)

    static constexpr int ComboPartWidth = 11;

    explicit TFlatButton(QWidget* parent = nullptr);
    ~TFlatButton() override;

    TAlignment AlignmentValue() const { return FAlignment; }
    int Alignment() const { return FAlignment; }
    void SetAlignment(int value);
    bool AllowAllUp() const { return FAllowAllUp; }
    void SetAllowAllUp(bool value);
    bool Cancel() const { return FCancel; }
    void SetCancel(bool value) { FCancel = value; }
    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int value);
    bool Default() const { return FDefault; }
    void SetDefault(bool value) { FDefault = value; }
    TButtonDisplayMode DisplayMode() const { return FDisplayMode; }
    void SetDisplayMode(TButtonDisplayMode value);
    bool Down() const { return FDown; }
    void SetDown(bool value);
    bool DropdownAlways() const { return FDropdownAlways; }
    void SetDropdownAlways(bool value);
    bool DropdownArrow() const { return FDropdownArrow; }
    void SetDropdownArrow(bool value);
    bool DropdownCombo() const { return FDropdownCombo; }
    void SetDropdownCombo(bool value);
    TPopupMenu* DropdownMenu() const { return FDropdownMenu; }
    void SetDropdownMenu(TPopupMenu* menu);
    bool Flat() const { return FFlat; }
    void SetFlat(bool value);
    QPixmap GlyphPixmap() const { return QPixmap::fromImage(FGlyph.Glyph()); }
    void SetGlyphPixmap(const QPixmap& glyph) { SetGlyph(glyph.toImage()); }
    void SetGlyph(const QImage& glyph);
    QPixmap GlyphMaskPixmap() const { return QPixmap::fromImage(FGlyph.GlyphMask()); }
    void SetGlyphMaskPixmap(const QPixmap& mask) { SetGlyphMask(mask.toImage()); }
    void SetGlyphMask(const QImage& mask);
    int HelpContext() const { return FHelpContext; }
    void SetHelpContext(int value) { FHelpContext = value; }
    int ImageIndex() const { return FGlyph.ImageIndex(); }
    void SetImageIndex(int value) { FGlyph.SetImageIndex(value); }
    TMaskedImageList* Images() const { return FGlyph.Images(); }
    void SetImages(TMaskedImageList* images);
    int Layout() const { return FLayout; }
    void SetLayout(int value);
    int Margin() const { return FMargin; }
    void SetMargin(int value);
    int ModalResult() const { return FModalResult; }
    void SetModalResult(int value) { FModalResult = value; }
    bool NoBorder() const { return FNoBorder; }
    void SetNoBorder(bool value);
    int NumGlyphs() const { return FGlyph.NumGlyphs(); }
    void SetNumGlyphs(int value);
    bool OldDisabledStyle() const { return FGlyph.OldDisabledStyle(); }
    void SetOldDisabledStyle(bool value);
    bool Opaque() const { return FOpaque; }
    void SetOpaque(bool value);
    bool Repeating() const { return FRepeating; }
    void SetRepeating(bool value) { FRepeating = value; }
    int RepeatDelay() const { return FRepeatDelay; }
    void SetRepeatDelay(int value) { FRepeatDelay = value; }
    int RepeatInterval() const { return FRepeatInterval; }
    void SetRepeatInterval(int value) { FRepeatInterval = value; }
    bool ShowBorderWhenInactive() const { return FShowBorderWhenInactive; }
    void SetShowBorderWhenInactive(bool value) { FShowBorderWhenInactive = value; }
    int Spacing() const { return FSpacing; }
    void SetSpacing(int value);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool value);
    QAction* Action() const { return FAction; }
    // Links the button to an action (none unlinks). While a stored layout is
    // being read (BeginLoad .. Loaded), Down, HelpContext and ImageIndex only
    // take the action's values where they still hold their defaults.
    void SetAction(QAction* action);
    // Sets the action's Checked from Down, as assigning the button to it does.
    void AssignTo(QAction* action) const;
    void BeginLoad() { FLoading = true; }

    TToolButtonState State() const { return FButtonState; }
    bool MouseInside() const { return FMouseInside; }
    const TButtonGlyph& GlyphHolder() const { return FGlyph; }

    // Events, one handler each.
    std::function<void(TFlatButton&)> OnClick;
    std::function<void(TFlatButton&)> OnDblClick;
    std::function<void(TFlatButton&)> OnMouseEnter;
    std::function<void(TFlatButton&)> OnMouseExit;
    std::function<void(TFlatButton&, Qt::MouseButton, QPoint)> OnMouseDown;
    std::function<void(TFlatButton&, Qt::MouseButton, QPoint)> OnMouseUp;
    std::function<void(TFlatButton&, QPoint)> OnMouseMove;
    TButtonDropdownEvent OnDropdown;

    // The click: groups, the pressed look while it runs, then OnClick or the
    // action (or the dropdown sequence). Failures of handlers propagate after
    // the final step.
    void Click();
    // After a stored layout was read: builds the image the button shows first.
    Q_INVOKABLE void Loaded();
    // The accelerator test for a key: clicks and says so when it matches.
    bool OfferAccelerator(const QKeyEvent* key);

    // Shared by all buttons.
    static TFlatButton* HotButton();
    static QTimer* HotTimer();
    static int ButtonCount();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend void HotHookListener(TAppHookKind, QObject*, qintptr, qintptr);
    friend void HotTimerTick();

    void MouseDown(Qt::MouseButton button, QPoint at, bool doubleClick);
    void MouseMove(QPoint at);
    void MouseUp(Qt::MouseButton button, QPoint at);
    void CancelMode();
    void EnterHot();
    void LeaveHot();
    void RecheckHot();
    void BecomeHotButton();
    void ReleaseHotTimer();
    void RefreshButton(bool erase = true);
    void UpdateOpaqueStyle();
    void UpdateHasDropdown();
    bool InMainArea(QPoint at) const;
    void InheritedClick();
    void DropdownSequence();
    void ReleaseGroupSiblings();
    void StartAutoRepeat();
    void AutoRepeatTick();
    void EnabledChanged();
    void ActionChange(bool checkDefaults);
    bool ParentCanFocus() const;
    void WatchWindow();
    QChar Accelerator() const;

    TButtonGlyph FGlyph;
    TToolButtonState FButtonState = tsUp;
    bool FMouseInside = false;
    bool FMouseHeld = false;
    bool FMenuPress = false;
    bool FClickRunning = false;
    bool FHasDropdown = false;
    bool FDestroying = false;
    std::unique_ptr<QTimer> FAutoRepeatTimer;

    TAlignment FAlignment = taCenter;
    bool FAllowAllUp = false;
    bool FCancel = false;
    QString FCaption;
    int FGroupIndex = 0;
    bool FDefault = false;
    TButtonDisplayMode FDisplayMode = dmBoth;
    bool FDown = false;
    bool FDropdownAlways = false;
    bool FDropdownArrow = true;
    bool FDropdownCombo = false;
    TPopupMenu* FDropdownMenu = nullptr;
    QMetaObject::Connection FDropdownMenuGone;
    bool FFlat = true;
    int FHelpContext = 0;
    int FLayout = blGlyphLeft;
    int FMargin = -1;
    int FModalResult = 0;
    bool FNoBorder = false;
    bool FOpaque = true;
    bool FRepeating = false;
    int FRepeatDelay = 400;
    int FRepeatInterval = 100;
    bool FShowBorderWhenInactive = false;
    int FSpacing = 4;
    bool FWordWrap = false;
    QPointer<QAction> FAction;
    std::unique_ptr<TFlatButtonActionLink> FActionLink;
    bool FLoading = false;
    QPointer<QWidget> FWatchedWindow;
};

// The 3-D edges of the button frame, in the palette's colours.
enum TEdgeStyle { esRaisedInner, esSunkenOuter, esRaised, esSunken };
void DrawEdge(QPainter& painter, const QRect& rect, TEdgeStyle style, bool fillMiddle);

void HotHookListener(TAppHookKind kind, QObject* window, qintptr param1, qintptr param2);
