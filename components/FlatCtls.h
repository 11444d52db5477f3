#pragma once

#include "components/AppHooks.h"
#include "components/Colors.h"
#include "components/GlyphCache.h"

#include <QAction>
#include <QMenu>
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QMetaObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <utility>

class QPainter;

// The flat tool button's interaction state; image i of a glyph belongs to state i.
enum TToolButtonState { tsUp, tsDisabled, tsPressed, tsLatched, tsHot };
inline constexpr int ToolButtonStateCount = 5;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// Where ComputeLayout puts the three parts of a button's content.
struct TContentLayout {
    QPoint Glyph;
    QPoint Arrow;
    QRect TextBounds;
};

// Measures a caption: given the width it may take (with word wrap, the width
// its lines must fit), returns the size of the text block.
using TTextMeasure = std::function<QSize(int availableWidth, bool wordWrap)>;

// The glyph holder of a flat tool button: keeps the picture (a glyph bitmap
// with up to five state images side by side, or an entry of an image list),
// builds each state's ready-to-draw image once in the shared glyph lists,
// and lays out and paints glyph, caption and dropdown arrow.
class TButtonGlyph final
{
public:
    TButtonGlyph();
    ~TButtonGlyph();
    TButtonGlyph(const TButtonGlyph&) = delete;
    TButtonGlyph& operator=(const TButtonGlyph&) = delete;

    const QImage& Glyph() const { return FGlyph; }
    const QImage& GlyphMask() const { return FGlyphMask; }
    int NumGlyphs() const { return FNumGlyphs; }
    TMaskedImageList* Images() const { return FImages; }
    int ImageIndex() const { return FImageIndex; }
    bool OldDisabledStyle() const { return FOldDisabledStyle; }
    TColor MaskColor() const { return FMaskColor; }

    void SetGlyph(const QImage& glyph);
    void SetGlyphMask(const QImage& mask);
    // 1 while an image list is set or for n outside 1..5.
    void SetNumGlyphs(int n);
    void DeriveNumGlyphs();
    void SetImages(TMaskedImageList* images);
    void SetImageIndex(int index);
    void SetOldDisabledStyle(bool old);
    // sender: &Glyph(), &GlyphMask(), Images() or nullptr.
    void NotifyGlyphChanged(const void* sender);

    // Called after every change of the picture; the button repaints.
    std::function<void(TButtonGlyph&)> OnGlyphChange;

    void ReleaseImages();
    // The (list index, slot) of a state's image, built on first use; slot -1
    // when there is nothing to show.
    std::pair<int, int> MakeStateImage(TToolButtonState state);
    TGlyphList* StateList(int index) const { return FStateLists[index]; }
    int Slot(int list, TToolButtonState state) const { return FSlots[list][state]; }

    // Drops the checker pattern when the face or highlight colour changed,
    // then rebuilds this holder's image for the state.
    void SystemColorsChanged(TToolButtonState state);

    // The layout with the glyph size and the caption measure given; all
    // arithmetic in integers, divisions truncating toward zero.
    static TContentLayout ComputeLayout(const QRect& client, QPoint offset, QSize glyphSize,
                                        bool drawCaption, const TTextMeasure& measure,
                                        bool wordWrap, TButtonLayout layout, int margin,
                                        int spacing, bool dropArrow);
    // The layout for this holder's picture and a caption in the given font.
    TContentLayout ComputeLayout(const QFont& font, const QRect& client, QPoint offset,
                                 bool drawGlyph, bool drawCaption, const QString& caption,
                                 bool wordWrap, TButtonLayout layout, int margin, int spacing,
                                 bool dropArrow) const;

    QRect PaintContent(QPainter& painter, const QRect& client, QPoint offset, bool drawGlyph,
                       bool drawCaption, const QString& caption, bool wordWrap,
                       TAlignment alignment, TButtonLayout layout, int margin, int spacing,
                       bool dropArrow, TToolButtonState state);
    void PaintGlyphImage(QPainter& painter, QPoint at, TToolButtonState state);
    static void PaintCaption(QPainter& painter, const QString& caption, const QRect& bounds,
                             bool wordWrap, TAlignment alignment, TToolButtonState state);
    static void PaintDropArrow(QPainter& painter, int x, int y, TToolButtonState state);

    static void MakeCheckerPattern();

    // The size a glyph takes in the layout (0 x 0 without a picture).
    QSize GlyphSize() const;

private:

    QImage FGlyph;
    QImage FGlyphMask;
    std::array<TGlyphList*, 2> FStateLists{};
    int FImageIndex = -1;
    TMaskedImageList* FImages = nullptr;
    QMetaObject::Connection FImagesLink;
    QMetaObject::Connection FImagesGone;
    std::array<std::array<int, ToolButtonStateCount>, 2> FSlots;
    TColor FMaskColor = 0;
    int FNumGlyphs = 1;
    bool FOldDisabledStyle = false;
};

// The 8 x 8 checkerboard a latched button is filled with, or none, and the
// face and highlight colours it was made with.
extern std::optional<QImage> CheckerPattern;
extern QRgb PatternFaceColor;
extern QRgb PatternHighlightColor;

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

class TFlatButton;

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

// A windowless toolbar-style push button: flat until the mouse is over it
// (a thin raised frame), sunken while pressed, a dithered face while latched
// down. Glyph and/or caption, groups, auto-repeat, Enter/Escape and
// accelerators, actions.
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
