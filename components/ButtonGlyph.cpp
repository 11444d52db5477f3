#include "components/ButtonGlyph.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPolygon>

namespace {

// The checkerboard of latched buttons, with the colours it was made in.
struct TCheckerPattern {
    std::optional<QImage> Image;
    QRgb Face = 0;
    QRgb Highlight = 0;
};
TCheckerPattern GPattern;

// The glyph image lists of every glyph holder, while one has images.
std::unique_ptr<TGlyphCache> GGlyphCache;

constexpr QRgb White = qRgb(255, 255, 255);
constexpr QRgb Silver = qRgb(192, 192, 192);
constexpr QRgb Grey = qRgb(128, 128, 128);
constexpr QRgb Black = qRgb(0, 0, 0);
constexpr TColor PaletteRelative = 0x02000000;

// The mask grown by one transparent column on the right and row at the bottom.
QImage Enlarged(const QImage& mask)
{
    QImage larger = NewMask(mask.width() + 1, mask.height() + 1, true);
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x)
            larger.setPixel(x, y, mask.pixelIndex(x, y));
    return larger;
}

// A one-bit shape to stamp in a colour: where the mask has the given bit.
struct TStamp {
    const QImage& Mask;
    bool White = false;
    QPoint Offset;
    QRgb Colour = 0;
};

void PaintWhere(const TStamp& stamp, QImage& target)
{
    for (int y = 0; y < stamp.Mask.height(); ++y)
        for (int x = 0; x < stamp.Mask.width(); ++x)
            if (IsWhite(stamp.Mask, x, y) == stamp.White)
                target.setPixel(x + stamp.Offset.x(), y + stamp.Offset.y(), stamp.Colour | 0xFF000000);
}

} // namespace

TButtonGlyph::TButtonGlyph()
{
    for (auto& list : FSlots)
        list.fill(-1);
    if (!GGlyphCache)
        GGlyphCache = std::make_unique<TGlyphCache>();
}

TButtonGlyph::~TButtonGlyph()
{
    QObject::disconnect(FImagesLink);
    QObject::disconnect(FImagesGone);
    ReleaseImages();
    if (GGlyphCache && GGlyphCache->IsEmpty())
        GGlyphCache.reset();
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
        const QRgb corner = TransparentColour(FGlyph);
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
        if (GGlyphCache)
            GGlyphCache->Release(FStateLists[li]);
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
    // 1. An image made before for this state, or none to make.
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

    // 2. The list of this size the image goes to; a disabled one is a pixel larger.
    const bool disabled = s == tsDisabled;
    const int li = disabled ? 0 : 1;
    const int d = disabled ? 1 : 0;
    const QSize size = GlyphSize();
    if (size.width() <= 0 || size.height() <= 0)
        return {li, -1};
    if (!FStateLists[li]) {
        if (!GGlyphCache)
            GGlyphCache = std::make_unique<TGlyphCache>();
        FStateLists[li] = GGlyphCache->ListForSize(size.width() + d, size.height() + d);
    }
    TGlyphList& list = *FStateLists[li];

    // 3. What the image is made from, on the button face.
    TStateSource source;
    source.Glyph = FGlyph.convertToFormat(QImage::Format_RGB32);
    source.At = QPoint((s < FNumGlyphs ? s : 0) * size.width(), 0);
    source.Size = size;
    source.HasMask = !FImages && FGlyphMask.width() != 0 && FGlyphMask.height() != 0;
    source.ListMask = FImages ? FImages->Mask(FImageIndex) : QImage();
    QImage canvas(size.width() + d, size.height() + d, QImage::Format_RGB32);
    canvas.fill(SysColorRgb(TSysColor::clBtnFace));

    // 4. The image itself.
    if (!disabled) {
        FSlots[1][s] = AddEnabledImage(list, canvas, source);
        return {1, FSlots[1][s]};
    }
    FSlots[0][1] = AddDisabledImage(list, canvas, source);
    return {0, FSlots[0][1]};
}

QImage TButtonGlyph::GlyphMaskAt(const TStateSource& source) const
{
    return MaskFromPixels(FGlyphMask, source.At, source.Size, {White});
}

int TButtonGlyph::AddEnabledImage(TGlyphList& list, QImage& canvas, const TStateSource& source)
{
    QPainter painter(&canvas);
    if (FImages) {
        FImages->Draw(painter, QPoint(0, 0), FImageIndex);
        painter.end();
        return list.AddImage(canvas, source.ListMask);
    }
    painter.drawImage(QPoint(0, 0), source.Glyph, QRect(source.At, source.Size));
    painter.end();
    // Without a mask, each image's own bottom-left pixel is its transparent colour.
    return source.HasMask ? list.AddImage(canvas, GlyphMaskAt(source)) : list.AddImageMasked(canvas, 0, true);
}

int TButtonGlyph::AddDisabledImage(TGlyphList& list, QImage& canvas, const TStateSource& source)
{
    const QRgb face = SysColorRgb(TSysColor::clBtnFace);
    const QRgb highlight = SysColorRgb(TSysColor::clBtnHighlight);
    const QRgb shadow = SysColorRgb(TSysColor::clBtnShadow);
    const QImage& g = source.Glyph;
    const QPoint q = source.At;
    const QSize size = source.Size;

    // The picture as the disabled recipes read it.
    QImage picture;
    QPoint origin = q;
    if (FImages) {
        picture = QImage(size, QImage::Format_RGB32);
        picture.fill(White);
        QPainter painter(&picture);
        FImages->Draw(painter, QPoint(0, 0), FImageIndex);
        origin = QPoint(0, 0);
    } else {
        picture = DeviceCopy(g);
    }
    // The transparent colour of disabled images is that of the whole glyph.
    const QRgb transparent = FImages ? White : TransparentColour(g);

    if (FNumGlyphs > 1) {
        // The glyph brings its own disabled image: white becomes highlight,
        // grey becomes shadow.
        {
            QPainter painter(&canvas);
            painter.drawImage(QPoint(0, 0), picture, QRect(origin, size));
        }
        PaintThroughMask(MaskFromPixels(g, q, size, {White}), canvas, QPoint(0, 0), highlight);
        PaintThroughMask(MaskFromPixels(g, q, size, {Grey}), canvas, QPoint(0, 0), shadow);
        const QImage mn = source.HasMask ? GlyphMaskAt(source) : MaskFromPixels(g, q, size, {transparent});
        return list.AddImage(canvas, Enlarged(mn));
    }

    // Generated: a one-bit shape, embossed in highlight and shadow.
    QImage mn;
    if (FOldDisabledStyle) {
        // The shape is white in mn: the picture's pure black pixels.
        QImage shape = picture.copy(QRect(origin, size));
        if (source.HasMask) {
            const QImage mk = GlyphMaskAt(source);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    if (IsWhite(mk, x, y))
                        shape.setPixel(x, y, White);
        }
        mn = MaskFromPixels(shape, QPoint(0, 0), size, {Black});
    } else if (!FImages && !source.HasMask) {
        // The shape is black in mn: neither transparent, white nor silver.
        mn = MaskFromPixels(g, q, size, {transparent, White, Silver});
    } else {
        mn = MaskFromPixels(picture, origin, size, {White, Silver});
        const QImage transparency = FImages ? source.ListMask : GlyphMaskAt(source);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                if (IsWhite(transparency, x, y))
                    mn.setPixel(x, y, 1);
    }
    const bool shapeIsWhite = FOldDisabledStyle;
    canvas.fill(face);
    PaintWhere({mn, shapeIsWhite, QPoint(1, 1), highlight}, canvas);
    PaintWhere({mn, shapeIsWhite, QPoint(0, 0), shadow}, canvas);
    return list.AddImageMasked(canvas, face);
}

void TButtonGlyph::SystemColorsChanged(TToolButtonState state)
{
    ReleaseImages();
    MakeStateImage(state);
}

namespace {

// The sizes a button's content is laid out from, as points (x the width).
struct TContentSizes {
    QPoint Client;
    QPoint Glyph;
    QPoint Arrow;
    QPoint Text;
    bool Horizontal = true;      // glyph and caption side by side
    bool GlyphPresent = false;
};

// The caption's size. A wrapped caption is measured in the width left
// beside the glyph, the arrow and the margins.
QPoint CaptionSize(const TContentOptions& options, const TContentSizes& sizes, const TTextMeasure& measure)
{
    if (!options.DrawCaption)
        return {0, 0};
    int right = sizes.Client.x();
    if (sizes.Horizontal)
        right -= sizes.Arrow.x();
    if (options.WordWrap) {
        int m = 4;
        if (sizes.Horizontal && sizes.GlyphPresent) {
            right -= sizes.Glyph.x() + (options.Spacing != -1 ? options.Spacing : 4);
            m = options.Margin != -1 ? options.Margin : (options.Spacing != -1 ? options.Spacing : 4);
        }
        right -= 2 * m;
    }
    const QSize measured = measure(right, options.WordWrap);
    return {measured.width(), measured.height()};
}

// The margin and the spacing along the layout's axis. Either at -1 takes
// what room is left: split in three with both at -1, else in two.
std::pair<int, int> Gaps(const TContentOptions& options, const TContentSizes& sizes)
{
    const auto along = [&](QPoint p) { return sizes.Horizontal ? p.x() : p.y(); };
    const int room = along(sizes.Client) - along(sizes.Glyph) - along(sizes.Text) - (sizes.Horizontal ? sizes.Arrow.x() : 0);
    int m = options.Margin;
    int s = options.Spacing;
    if (sizes.Text.x() == 0 || sizes.Text.y() == 0 || !sizes.GlyphPresent)
        s = 0;
    if (m == -1 && s == -1) {
        m = room / 3;
        s = m;
    } else if (m == -1) {
        m = (room - s + 1) / 2;
    } else if (s == -1) {
        s = (room - m) / 2;
    }
    return {m, s};
}

} // namespace

TContentLayout TButtonGlyph::ComputeLayout(const TContentOptions& options, QSize glyphSize,
                                           const TTextMeasure& measure)
{
    TContentSizes sizes;
    sizes.Client = QPoint(options.Client.width(), options.Client.height());
    sizes.Glyph = QPoint(glyphSize.width(), glyphSize.height());
    sizes.Arrow = options.DropArrow ? QPoint(9, 3) : QPoint(0, 0);
    sizes.GlyphPresent = sizes.Glyph.x() != 0 && sizes.Glyph.y() != 0;
    // Without a glyph, a caption above or below one is a caption on its own line.
    TButtonLayout layout = options.Layout;
    if (layout != blGlyphLeft && layout != blGlyphRight && !sizes.GlyphPresent)
        layout = blGlyphLeft;
    sizes.Horizontal = layout == blGlyphLeft || layout == blGlyphRight;
    sizes.Text = CaptionSize(options, sizes, measure);
    const QPoint cs = sizes.Client, gs = sizes.Glyph, as = sizes.Arrow, ts = sizes.Text;

    // Centred across the axis; then placed along it.
    QPoint glyph(0, 0), text(0, 0), arrow(0, 0);
    if (sizes.Horizontal) {
        glyph.setY((cs.y() - gs.y() + 1) / 2);
        text.setY((cs.y() - ts.y() + 1) / 2);
    } else {
        glyph.setX((cs.x() - gs.x() - as.x() + 1) / 2);
        text.setX((cs.x() - ts.x() + 1) / 2);
        arrow.setX(glyph.x() + gs.x());
    }
    const auto [m, s] = Gaps(options, sizes);
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
    arrow.setY(sizes.GlyphPresent ? glyph.y() + (gs.y() - as.y()) / 2 : text.y() + (ts.y() - as.y()) / 2);

    const QPoint base = options.Client.topLeft() + options.Offset;
    return {glyph + base, arrow + base, QRect(text + base, QSize(ts.x(), ts.y()))};
}

TContentLayout TButtonGlyph::ComputeLayout(const QFont& font, const TContentOptions& options) const
{
    const QFontMetrics metrics(font);
    const auto measure = [&](int width, bool wrap) {
        const int flags = Qt::TextShowMnemonic | Qt::AlignLeft | Qt::AlignTop
            | (wrap ? Qt::TextWordWrap : Qt::TextSingleLine);
        return metrics.boundingRect(QRect(0, 0, std::max(width, 0), 0), flags, options.Caption).size();
    };
    TContentOptions shown = options;
    shown.DrawCaption = options.DrawCaption && !options.Caption.isEmpty();
    return ComputeLayout(shown, options.DrawGlyph ? GlyphSize() : QSize(0, 0), measure);
}

QRect TButtonGlyph::PaintContent(QPainter& painter, const TContentOptions& options, TToolButtonState state)
{
    const TContentLayout placed = ComputeLayout(painter.font(), options);
    if (options.DrawGlyph)
        PaintGlyphImage(painter, placed.Glyph, state);
    if (options.DrawCaption)
        PaintCaption(painter, {options.Caption, placed.TextBounds, options.WordWrap, options.Alignment, state});
    if (options.DropArrow)
        PaintDropArrow(painter, placed.Arrow.x(), placed.Arrow.y(), state);
    return placed.TextBounds;
}

void TButtonGlyph::PaintGlyphImage(QPainter& painter, QPoint at, TToolButtonState state)
{
    const auto [list, slot] = MakeStateImage(state);
    if (slot != -1 && FStateLists[list])
        FStateLists[list]->Draw(painter, at, slot);
}

void TButtonGlyph::PaintCaption(QPainter& painter, const TCaptionPaint& what)
{
    const QString& caption = what.Caption;
    const QRect& bounds = what.Bounds;
    const bool wordWrap = what.WordWrap;
    const TAlignment alignment = what.Alignment;
    const TToolButtonState state = what.State;
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
    const QRgb face = SysColorRgb(TSysColor::clBtnFace);
    const QRgb highlight = SysColorRgb(TSysColor::clBtnHighlight);
    QImage pattern(8, 8, QImage::Format_RGB32);
    pattern.fill(face);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if ((x & 1) == (y & 1))
                pattern.setPixel(x, y, highlight);
    GPattern = {pattern, face, highlight};
}

const QImage& TButtonGlyph::CheckerPattern()
{
    if (!GPattern.Image || GPattern.Face != SysColorRgb(TSysColor::clBtnFace)
        || GPattern.Highlight != SysColorRgb(TSysColor::clBtnHighlight))
        MakeCheckerPattern();
    return *GPattern.Image;
}

bool TButtonGlyph::HasCheckerPattern()
{
    return GPattern.Image.has_value();
}

void TButtonGlyph::ReleaseCheckerPattern()
{
    GPattern.Image.reset();
}

const TGlyphCache* TButtonGlyph::Cache()
{
    return GGlyphCache.get();
}
