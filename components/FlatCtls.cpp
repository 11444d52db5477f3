#include "components/FlatCtls.h"

#include "components/Failure.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QScopeGuard>
#include <QWindow>

#include <exception>

std::optional<QImage> CheckerPattern;
QRgb PatternFaceColor = 0;
QRgb PatternHighlightColor = 0;

namespace {

constexpr QRgb White = qRgb(255, 255, 255);
constexpr QRgb Silver = qRgb(192, 192, 192);
constexpr QRgb Grey = qRgb(128, 128, 128);
constexpr QRgb Black = qRgb(0, 0, 0);
constexpr TColor PaletteRelative = 0x02000000;

QRgb BottomLeft(const QImage& image)
{
    return image.pixel(0, image.height() - 1);
}

// The mask grown by one transparent column on the right and row at the bottom.
QImage Enlarged(const QImage& mask)
{
    QImage larger = NewMask(mask.width() + 1, mask.height() + 1, true);
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x)
            larger.setPixel(x, y, mask.pixelIndex(x, y));
    return larger;
}

// Paints the colour at offset wherever the mask has the given bit.
void PaintWhere(const QImage& mask, bool white, QImage& target, QPoint offset, QRgb colour)
{
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x)
            if (IsWhite(mask, x, y) == white)
                target.setPixel(x + offset.x(), y + offset.y(), colour | 0xFF000000);
}

} // namespace

TButtonGlyph::TButtonGlyph()
{
    for (auto& list : FSlots)
        list.fill(-1);
    if (!GlyphCache)
        GlyphCache = std::make_unique<TGlyphCache>();
}

TButtonGlyph::~TButtonGlyph()
{
    QObject::disconnect(FImagesLink);
    QObject::disconnect(FImagesGone);
    ReleaseImages();
    if (GlyphCache && GlyphCache->IsEmpty())
        GlyphCache.reset();
}

void TButtonGlyph::SetGlyph(const QImage& glyph)
{
    ReleaseImages();
    FGlyph = glyph;
    NotifyGlyphChanged(&FGlyph);
    DeriveNumGlyphs();
}

void TButtonGlyph::SetGlyphMask(const QImage& mask)
{
    ReleaseImages();
    FGlyphMask = mask;
    NotifyGlyphChanged(&FGlyphMask);
}

void TButtonGlyph::SetNumGlyphs(int n)
{
    ReleaseImages();
    FNumGlyphs = (FImages || n < 1 || n > 5) ? 1 : n;
    NotifyGlyphChanged(nullptr);
}

void TButtonGlyph::DeriveNumGlyphs()
{
    int n = 1;
    if (FGlyph.width() > 0 && FGlyph.height() > 0 && FGlyph.width() % FGlyph.height() == 0) {
        n = FGlyph.width() / FGlyph.height();
        if (n > 5)
            n = 1;
    }
    SetNumGlyphs(n);
}

void TButtonGlyph::SetImages(TMaskedImageList* images)
{
    QObject::disconnect(FImagesLink);
    QObject::disconnect(FImagesGone);
    FImages = images;
    if (images) {
        FImagesLink = QObject::connect(images, &TMaskedImageList::Changed, images,
                                       [this] { NotifyGlyphChanged(FImages); });
        // A list destroyed elsewhere is taken off through this setter, which
        // derives NumGlyphs again.
        FImagesGone = QObject::connect(images, &QObject::destroyed, images, [this] {
            FImages = nullptr;
            SetImages(nullptr);
        });
    }
    DeriveNumGlyphs();
}

void TButtonGlyph::SetImageIndex(int index)
{
    if (index == FImageIndex)
        return;
    FImageIndex = index;
    if (FImages)
        NotifyGlyphChanged(nullptr);
}

void TButtonGlyph::SetOldDisabledStyle(bool old)
{
    FOldDisabledStyle = old;
    ReleaseImages();
}

void TButtonGlyph::NotifyGlyphChanged(const void* sender)
{
    if (sender == &FGlyph && FGlyph.width() > 0 && FGlyph.height() > 0)
    {
        const QRgb corner = BottomLeft(FGlyph);
        FMaskColor = RgbToColor(qRed(corner), qGreen(corner), qBlue(corner)) | PaletteRelative;
    }
    ReleaseImages();
    if (OnGlyphChange)
        OnGlyphChange(*this);
}

void TButtonGlyph::ReleaseImages()
{
    for (int li = 0; li < 2; ++li) {
        for (int& slot : FSlots[li]) {
            if (slot != -1 && FStateLists[li])
                FStateLists[li]->FreeSlot(slot);
            slot = -1;
        }
        if (GlyphCache)
            GlyphCache->Release(FStateLists[li]);
        FStateLists[li] = nullptr;
    }
}

QSize TButtonGlyph::GlyphSize() const
{
    if (FImages)
        return {FImages->Width(), FImages->Height()};
    return {FGlyph.width() / FNumGlyphs, FGlyph.height()};
}

std::pair<int, int> TButtonGlyph::MakeStateImage(TToolButtonState state)
{
    int s = state;
    if (state != tsDisabled && s >= FNumGlyphs)
        s = tsUp;
    if (FSlots[1][s] != -1)
        return {1, FSlots[1][s]};
    if (FSlots[0][s] != -1)
        return {0, FSlots[0][s]};
    if (FImages ? (FImageIndex < 0 || FImageIndex >= FImages->Count())
                : (FGlyph.width() == 0 || FGlyph.height() == 0))
        return {s == tsDisabled ? 0 : 1, -1};

    const bool disabled = s == tsDisabled;
    const int li = disabled ? 0 : 1;
    const int d = disabled ? 1 : 0;
    const bool hasMask = !FImages && FGlyphMask.width() != 0 && FGlyphMask.height() != 0;
    const QSize size = GlyphSize();
    const int w = size.width();
    const int h = size.height();
    if (w <= 0 || h <= 0)
        return {li, -1};

    if (!FStateLists[li]) {
        if (!GlyphCache)
            GlyphCache = std::make_unique<TGlyphCache>();
        FStateLists[li] = GlyphCache->ListForSize(w + d, h + d);
    }
    TGlyphList& list = *FStateLists[li];

    const QRgb face = SysColorRgb(TSysColor::clBtnFace);
    const QRgb highlight = SysColorRgb(TSysColor::clBtnHighlight);
    const QRgb shadow = SysColorRgb(TSysColor::clBtnShadow);
    const QImage g = FGlyph.convertToFormat(QImage::Format_RGB32);
    QImage t(w + d, h + d, QImage::Format_RGB32);
    t.fill(face);
    const int j = s < FNumGlyphs ? s : 0;
    const QPoint q(j * w, 0);
    // The image list's entry as a mask: white where it is transparent.
    const QImage l = FImages ? FImages->Mask(FImageIndex) : QImage();
    const auto glyphMaskOfQ = [&] { return MaskFromPixels(FGlyphMask, q, size, {White}); };

    if (!disabled) {
        if (FImages) {
            {
                QPainter painter(&t);
                FImages->Draw(painter, QPoint(0, 0), FImageIndex);
            }
            FSlots[1][s] = list.AddImage(t, l);
        } else {
            {
                QPainter painter(&t);
                painter.drawImage(QPoint(0, 0), g, QRect(q, size));
            }
            // Without a mask, each image's own bottom-left pixel is its transparent colour.
            FSlots[1][s] = hasMask ? list.AddImage(t, glyphMaskOfQ()) : list.AddImageMasked(t, 0, true);
        }
        return {1, FSlots[1][s]};
    }

    // The picture as the disabled recipes read it.
    QImage picture;
    QPoint origin = q;
    if (FImages) {
        picture = QImage(w, h, QImage::Format_RGB32);
        picture.fill(White);
        QPainter painter(&picture);
        FImages->Draw(painter, QPoint(0, 0), FImageIndex);
        origin = QPoint(0, 0);
    } else {
        picture = DeviceCopy(g);
    }
    // The transparent colour of disabled images is that of the whole glyph.
    const QRgb transparent = FImages ? White : BottomLeft(g);

    if (FNumGlyphs > 1) {
        // The glyph brings its own disabled image: white becomes highlight,
        // grey becomes shadow.
        {
            QPainter painter(&t);
            painter.drawImage(QPoint(0, 0), picture, QRect(origin, size));
        }
        PaintThroughMask(MaskFromPixels(g, q, size, {White}), t, QPoint(0, 0), highlight);
        PaintThroughMask(MaskFromPixels(g, q, size, {Grey}), t, QPoint(0, 0), shadow);
        const QImage mn = hasMask ? glyphMaskOfQ() : MaskFromPixels(g, q, size, {transparent});
        FSlots[0][1] = list.AddImage(t, Enlarged(mn));
        return {0, FSlots[0][1]};
    }

    // Generated: a one-bit shape, embossed in highlight and shadow.
    QImage mn;
    if (FOldDisabledStyle) {
        // The shape is white in mn: the picture's pure black pixels.
        QImage source = picture.copy(QRect(origin, size));
        if (hasMask) {
            const QImage mk = glyphMaskOfQ();
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (IsWhite(mk, x, y))
                        source.setPixel(x, y, White);
        }
        mn = MaskFromPixels(source, QPoint(0, 0), size, {Black});
    } else if (!FImages && !hasMask) {
        // The shape is black in mn: neither transparent, white nor silver.
        mn = MaskFromPixels(g, q, size, {transparent, White, Silver});
    } else {
        mn = MaskFromPixels(picture, origin, size, {White, Silver});
        const QImage transparency = FImages ? l : glyphMaskOfQ();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (IsWhite(transparency, x, y))
                    mn.setPixel(x, y, 1);
    }
    const bool shapeIsWhite = FOldDisabledStyle;
    t.fill(face);
    PaintWhere(mn, shapeIsWhite, t, QPoint(1, 1), highlight);
    PaintWhere(mn, shapeIsWhite, t, QPoint(0, 0), shadow);
    FSlots[0][1] = list.AddImageMasked(t, face);
    return {0, FSlots[0][1]};
}

void TButtonGlyph::SystemColorsChanged(TToolButtonState state)
{
    if (CheckerPattern
        && (SysColorRgb(TSysColor::clBtnFace) != PatternFaceColor
            || SysColorRgb(TSysColor::clBtnHighlight) != PatternHighlightColor))
        CheckerPattern.reset();
    ReleaseImages();
    MakeStateImage(state);
}

TContentLayout TButtonGlyph::ComputeLayout(const QRect& client, QPoint offset, QSize glyphSize,
                                           bool drawCaption, const TTextMeasure& measure,
                                           bool wordWrap, TButtonLayout layout, int margin,
                                           int spacing, bool dropArrow)
{
    const QPoint cs(client.width(), client.height());
    const QPoint gs(glyphSize.width(), glyphSize.height());
    const QPoint as = dropArrow ? QPoint(9, 3) : QPoint(0, 0);
    const bool glyphPresent = gs.x() != 0 && gs.y() != 0;
    bool horizontal = layout == blGlyphLeft || layout == blGlyphRight;
    if (!horizontal && !glyphPresent) {
        layout = blGlyphLeft;
        horizontal = true;
    }

    QPoint ts(0, 0);
    if (drawCaption) {
        int right = cs.x();
        if (horizontal)
            right -= as.x();
        if (wordWrap) {
            int m = 4;
            if (horizontal && glyphPresent) {
                right -= gs.x() + (spacing != -1 ? spacing : 4);
                m = margin != -1 ? margin : (spacing != -1 ? spacing : 4);
            }
            right -= 2 * m;
        }
        const QSize measured = measure(right, wordWrap);
        ts = QPoint(measured.width(), measured.height());
    }

    QPoint glyph(0, 0), text(0, 0), arrow(0, 0);
    if (horizontal) {
        glyph.setY((cs.y() - gs.y() + 1) / 2);
        text.setY((cs.y() - ts.y() + 1) / 2);
    } else {
        glyph.setX((cs.x() - gs.x() - as.x() + 1) / 2);
        text.setX((cs.x() - ts.x() + 1) / 2);
        arrow.setX(glyph.x() + gs.x());
    }

    int m = margin;
    int s = spacing;
    if (ts.x() == 0 || ts.y() == 0 || !glyphPresent)
        s = 0;
    const int csAxis = horizontal ? cs.x() : cs.y();
    const int gsAxis = horizontal ? gs.x() : gs.y();
    const int tsAxis = horizontal ? ts.x() : ts.y();
    const int asAxis = horizontal ? as.x() : 0;
    if (m == -1 && s == -1) {
        m = (csAxis - (gsAxis + tsAxis + asAxis)) / 3;
        s = m;
    } else if (m == -1) {
        m = (csAxis - (gsAxis + s + tsAxis + asAxis) + 1) / 2;
    } else if (s == -1) {
        const int room = csAxis - (m + gsAxis + asAxis);
        s = (room - tsAxis) / 2;
    }

    switch (layout) {
    case blGlyphLeft:
        glyph.setX(m);
        text.setX(glyph.x() + gs.x() + s);
        arrow.setX(text.x() + ts.x());
        break;
    case blGlyphRight:
        arrow.setX(cs.x() - m - as.x());
        glyph.setX(arrow.x() - gs.x());
        text.setX(glyph.x() - s - ts.x());
        break;
    case blGlyphTop:
        glyph.setY(m);
        text.setY(glyph.y() + gs.y() + s);
        break;
    case blGlyphBottom:
        glyph.setY(cs.y() - m - gs.y());
        text.setY(glyph.y() - s - ts.y());
        break;
    }
    arrow.setY(glyphPresent ? glyph.y() + (gs.y() - as.y()) / 2 : text.y() + (ts.y() - as.y()) / 2);

    const QPoint base = client.topLeft() + offset;
    return {glyph + base, arrow + base, QRect(text + base, QSize(ts.x(), ts.y()))};
}

TContentLayout TButtonGlyph::ComputeLayout(const QFont& font, const QRect& client, QPoint offset,
                                           bool drawGlyph, bool drawCaption, const QString& caption,
                                           bool wordWrap, TButtonLayout layout, int margin,
                                           int spacing, bool dropArrow) const
{
    const QFontMetrics metrics(font);
    const auto measure = [&](int width, bool wrap) {
        const int flags = Qt::TextShowMnemonic | Qt::AlignLeft | Qt::AlignTop
            | (wrap ? Qt::TextWordWrap : Qt::TextSingleLine);
        return metrics.boundingRect(QRect(0, 0, std::max(width, 0), 0), flags, caption).size();
    };
    return ComputeLayout(client, offset, drawGlyph ? GlyphSize() : QSize(0, 0),
                         drawCaption && !caption.isEmpty(), measure, wordWrap, layout, margin,
                         spacing, dropArrow);
}

QRect TButtonGlyph::PaintContent(QPainter& painter, const QRect& client, QPoint offset,
                                 bool drawGlyph, bool drawCaption, const QString& caption,
                                 bool wordWrap, TAlignment alignment, TButtonLayout layout,
                                 int margin, int spacing, bool dropArrow, TToolButtonState state)
{
    const TContentLayout placed = ComputeLayout(painter.font(), client, offset, drawGlyph,
                                                drawCaption, caption, wordWrap, layout, margin,
                                                spacing, dropArrow);
    if (drawGlyph)
        PaintGlyphImage(painter, placed.Glyph, state);
    if (drawCaption)
        PaintCaption(painter, caption, placed.TextBounds, wordWrap, alignment, state);
    if (dropArrow)
        PaintDropArrow(painter, placed.Arrow.x(), placed.Arrow.y(), state);
    return placed.TextBounds;
}

void TButtonGlyph::PaintGlyphImage(QPainter& painter, QPoint at, TToolButtonState state)
{
    const auto [list, slot] = MakeStateImage(state);
    if (slot != -1 && FStateLists[list])
        FStateLists[list]->Draw(painter, at, slot);
}

void TButtonGlyph::PaintCaption(QPainter& painter, const QString& caption, const QRect& bounds,
                                bool wordWrap, TAlignment alignment, TToolButtonState state)
{
    const int horizontal = alignment == taRightJustify ? Qt::AlignRight
        : alignment == taCenter                         ? Qt::AlignHCenter
                                                        : Qt::AlignLeft;
    const int flags = horizontal | Qt::AlignVCenter | Qt::TextShowMnemonic
        | (wordWrap ? Qt::TextWordWrap : Qt::TextSingleLine);
    painter.save();
    painter.setBrush(Qt::NoBrush);
    if (state == tsDisabled) {
        painter.setPen(QColor(SysColorRgb(TSysColor::clBtnHighlight)));
        painter.drawText(bounds.translated(1, 1), flags, caption);
        painter.setPen(QColor(SysColorRgb(TSysColor::clBtnShadow)));
        painter.drawText(bounds, flags, caption);
    } else {
        painter.drawText(bounds, flags, caption);
    }
    painter.restore();
}

void TButtonGlyph::PaintDropArrow(QPainter& painter, int x, int y, TToolButtonState state)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const auto triangle = [&](QColor colour, int dx, int dy) {
        painter.setPen(colour);
        painter.setBrush(colour);
        painter.drawPolygon(QPolygon({QPoint(x + 4 + dx, y + dy), QPoint(x + 8 + dx, y + dy),
                                      QPoint(x + 6 + dx, y + 2 + dy)}));
    };
    if (state == tsDisabled) {
        triangle(QColor(SysColorRgb(TSysColor::clBtnHighlight)), 1, 1);
        triangle(QColor(SysColorRgb(TSysColor::clBtnShadow)), 0, 0);
    } else {
        triangle(painter.pen().color(), 0, 0);
    }
    painter.restore();
}

void TButtonGlyph::MakeCheckerPattern()
{
    PatternFaceColor = SysColorRgb(TSysColor::clBtnFace);
    PatternHighlightColor = SysColorRgb(TSysColor::clBtnHighlight);
    QImage pattern(8, 8, QImage::Format_RGB32);
    pattern.fill(PatternFaceColor);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if ((x & 1) == (y & 1))
                pattern.setPixel(x, y, PatternHighlightColor);
    CheckerPattern = pattern;
}

// ---------------------------------------------------------------------------
// The flat tool button

namespace {

TFlatButton* GHotButton = nullptr;
QTimer* GHotTimer = nullptr;
int GButtonCount = 0;

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
TAltKeyFilter* GAltKeyFilter = nullptr;

QWidget* ControlAt(QPoint global)
{
    return QApplication::widgetAt(global);
}

} // namespace

void HotTimerTick()
{
    if (GHotButton && ControlAt(QCursor::pos()) != GHotButton)
        GHotButton->LeaveHot();
}

void HotHookListener(TAppHookKind kind, QObject* window, qintptr param1, qintptr param2)
{
    TFlatButton* hot = GHotButton;
    if (!hot)
        return;
    if (kind == ahActivateApp && param1 == 0) {
        if (!hot->FShowBorderWhenInactive)
            hot->LeaveHot();
    } else if (kind == ahMouseMove) {
        const auto* surface = qobject_cast<QWindow*>(window);
        const QPoint global = surface ? surface->mapToGlobal(QPoint(int(param1), int(param2))) : QCursor::pos();
        if (ControlAt(global) != hot)
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
    if (!GAltKeyFilter) {
        GAltKeyFilter = new TAltKeyFilter;
        qApp->installEventFilter(GAltKeyFilter);
    }
    if (!GHotTimer) {
        GHotTimer = new QTimer;
        GHotTimer->setInterval(125);
        QObject::connect(GHotTimer, &QTimer::timeout, [] { CallHandler(HotTimerTick); });
    }
    RegisterAppHook(HotHookListener, AppHookBit(ahActivateApp) | AppHookBit(ahMouseMove));
    resize(23, 22);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    UpdateOpaqueStyle();
    FGlyph.OnGlyphChange = [this](TButtonGlyph&) { RefreshButton(); };
    ++GButtonCount;
    WatchWindow();
}

TFlatButton::~TFlatButton()
{
    FDestroying = true;
    ReleaseHotTimer();
    if (GHotButton == this)
        GHotButton = nullptr;
    UnregisterAppHook(HotHookListener);
    if (--GButtonCount == 0) {
        CheckerPattern.reset();
        delete GHotTimer;
        GHotTimer = nullptr;
        delete GAltKeyFilter;
        GAltKeyFilter = nullptr;
    }
}

TFlatButton* TFlatButton::HotButton() { return GHotButton; }
QTimer* TFlatButton::HotTimer() { return GHotTimer; }
int TFlatButton::ButtonCount() { return GButtonCount; }

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
    if (GHotButton == this) {
        if (GHotTimer)
            GHotTimer->stop();
        GHotButton = nullptr;
    }
}

void TFlatButton::RecheckHot()
{
    if (!isEnabled())
        return;
    const bool over = ControlAt(QCursor::pos()) == this;
    FMouseInside = !over;
    if (over)
        EnterHot();
    else
        LeaveHot();
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
    const QPoint global = mapToGlobal(at);
    if (GHotButton != this && ControlAt(global) == this) {
        if (GHotButton)
            GHotButton->LeaveHot();
        if (FShowBorderWhenInactive || ApplicationHasActiveWindow()) {
            GHotButton = this;
            if (GHotTimer)
                GHotTimer->start();
            EnterHot();
        }
    }
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
    QChar found;
    for (qsizetype i = 0; i + 1 < FCaption.size(); ++i) {
        if (FCaption[i] != u'&')
            continue;
        if (FCaption[i + 1] == u'&') {
            ++i; // a literal ampersand
            continue;
        }
        found = FCaption[i + 1];
    }
    return found;
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
            surface = QImage(size(), QImage::Format_RGB32);
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
                if (!CheckerPattern)
                    TButtonGlyph::MakeCheckerPattern();
                painter.fillRect(content, QBrush(*CheckerPattern));
            }
            offset = QPoint(1, 1);
        }
        FGlyph.PaintContent(painter, content, offset, FDisplayMode != dmTextOnly,
                            FDisplayMode != dmGlyphOnly, FCaption, FWordWrap, FAlignment,
                            TButtonLayout(FLayout), FMargin, FSpacing,
                            FDropdownArrow && FHasDropdown && !FDropdownCombo, FButtonState);
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

namespace {

// Stores the value; true when it differed from what the field held.
template <typename T, typename V>
bool Assign(T& field, const V& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

void TFlatButton::UpdateOpaqueStyle()
{
    setAttribute(Qt::WA_OpaquePaintEvent, FOpaque || !FFlat);
}

void TFlatButton::UpdateHasDropdown()
{
    if (Assign(FHasDropdown, FDropdownAlways || FDropdownMenu) && (FDropdownArrow || FDropdownCombo))
        RefreshButton();
}

void TFlatButton::SetAlignment(int value)
{
    if (value >= taLeftJustify && value <= taCenter && Assign(FAlignment, TAlignment(value)))
        RefreshButton();
}

void TFlatButton::SetAllowAllUp(bool value)
{
    if (Assign(FAllowAllUp, value))
        ReleaseGroupSiblings();
}

void TFlatButton::SetCaption(const QString& caption)
{
    if (Assign(FCaption, caption))
        RefreshButton();
}

void TFlatButton::SetGroupIndex(int value)
{
    if (Assign(FGroupIndex, value))
        ReleaseGroupSiblings();
}

void TFlatButton::SetDisplayMode(TButtonDisplayMode value)
{
    if (Assign(FDisplayMode, value))
        RefreshButton();
}

void TFlatButton::SetDropdownAlways(bool value)
{
    if (Assign(FDropdownAlways, value))
        UpdateHasDropdown();
}

void TFlatButton::SetDropdownMenu(TPopupMenu* menu)
{
    if (menu == FDropdownMenu)
        return;
    QObject::disconnect(FDropdownMenuGone);
    FDropdownMenu = menu;
    // A menu destroyed elsewhere is taken off through this setter.
    if (menu)
        FDropdownMenuGone = connect(menu, &QObject::destroyed, this, [this] { SetDropdownMenu(nullptr); });
    UpdateHasDropdown();
}

void TFlatButton::SetDropdownArrow(bool value)
{
    if (Assign(FDropdownArrow, value))
        RefreshButton();
}

void TFlatButton::SetDropdownCombo(bool value)
{
    if (!Assign(FDropdownCombo, value))
        return;
    resize(value ? width() + ComboPartWidth : std::max(1, width() - ComboPartWidth), height());
    RefreshButton();
}

void TFlatButton::SetFlat(bool value)
{
    if (!Assign(FFlat, value))
        return;
    UpdateOpaqueStyle();
    RefreshButton();
}

void TFlatButton::SetGlyph(const QImage& glyph)
{
    FGlyph.SetGlyph(glyph);
    RefreshButton();
}

void TFlatButton::SetGlyphMask(const QImage& mask)
{
    FGlyph.SetGlyphMask(mask);
    RefreshButton();
}

void TFlatButton::SetImages(TMaskedImageList* images)
{
    if (images == FGlyph.Images())
        return;
    FGlyph.SetImages(images);
    RefreshButton();
}

void TFlatButton::SetLayout(int value)
{
    if (value >= blGlyphLeft && value <= blGlyphBottom && Assign(FLayout, value))
        RefreshButton();
}

void TFlatButton::SetMargin(int value)
{
    // Values below -1 are ignored.
    if (value >= -1 && Assign(FMargin, value))
        RefreshButton();
}

void TFlatButton::SetNoBorder(bool value)
{
    if (Assign(FNoBorder, value))
        update();
}

void TFlatButton::SetNumGlyphs(int value)
{
    value = std::clamp(value, 1, 5);
    if (value == FGlyph.NumGlyphs())
        return;
    FGlyph.SetNumGlyphs(value);
    RefreshButton();
}

void TFlatButton::SetOldDisabledStyle(bool value)
{
    if (value == FGlyph.OldDisabledStyle())
        return;
    FGlyph.SetOldDisabledStyle(value);
    RefreshButton();
}

void TFlatButton::SetOpaque(bool value)
{
    if (!Assign(FOpaque, value))
        return;
    UpdateOpaqueStyle();
    update();
}

void TFlatButton::SetSpacing(int value)
{
    if (Assign(FSpacing, value))
        RefreshButton();
}

void TFlatButton::SetWordWrap(bool value)
{
    if (Assign(FWordWrap, value))
        RefreshButton();
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
