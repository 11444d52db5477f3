#include "components/GlyphCache.h"

#include <cmath>

#include "base/Colors.h"
#include "base/Failure.h"

#include <QPainter>

QImage NewMask(int width, int height, bool white)
{
    QImage mask(std::max(width, 0), std::max(height, 0), QImage::Format_Mono);
    mask.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mask.fill(white ? 1 : 0);
    return mask;
}

namespace {

QImage CellOf(const QImage& image, int width, int height)
{
    return image.copy(0, 0, width, height).convertToFormat(QImage::Format_RGB32);
}

QImage MaskCellOf(const QImage& mask, int width, int height)
{
    QImage cell = NewMask(width, height, false);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            cell.setPixel(x, y, mask.pixelIndex(x, y));
    return cell;
}

bool SameRgb(QRgb a, QRgb b)
{
    return (a & 0xFFFFFF) == (b & 0xFFFFFF);
}

} // namespace

TMaskedImageList::TMaskedImageList(int width, int height)
    : FWidth(width), FHeight(height)
{
}

int TMaskedImageList::AddEmpty()
{
    QImage blank(FWidth, FHeight, QImage::Format_RGB32);
    blank.fill(Qt::black);
    FImages.append(blank);
    FMasks.append(NewMask(FWidth, FHeight, true));
    Q_EMIT Changed();
    return Count() - 1;
}

int TMaskedImageList::AddMasked(const QImage& image, QRgb maskColour)
{
    if (image.width() < FWidth || image.height() < FHeight)
        return -1;
    const QImage cell = CellOf(image, FWidth, FHeight);
    FImages.append(cell);
    FMasks.append(MaskFromPixels(cell, QPoint(0, 0), QSize(FWidth, FHeight), {maskColour}));
    Q_EMIT Changed();
    return Count() - 1;
}

int TMaskedImageList::Add(const QImage& image, const QImage& mask)
{
    if (image.width() < FWidth || image.height() < FHeight || mask.width() < FWidth
        || mask.height() < FHeight)
        return -1;
    FImages.append(CellOf(image, FWidth, FHeight));
    FMasks.append(MaskCellOf(mask, FWidth, FHeight));
    Q_EMIT Changed();
    return Count() - 1;
}

bool TMaskedImageList::Replace(int index, const QImage& image, const QImage& mask)
{
    if (index < 0 || index >= Count() || image.width() < FWidth || image.height() < FHeight
        || mask.width() < FWidth || mask.height() < FHeight)
        return false;
    FImages[index] = CellOf(image, FWidth, FHeight);
    FMasks[index] = MaskCellOf(mask, FWidth, FHeight);
    Q_EMIT Changed();
    return true;
}

void TMaskedImageList::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    FImages.removeAt(index);
    FMasks.removeAt(index);
    Q_EMIT Changed();
}

void TMaskedImageList::Draw(QPainter& painter, QPoint at, int index) const
{
    if (index < 0 || index >= Count())
        return;
    QImage visible = FImages[index].convertToFormat(QImage::Format_ARGB32);
    const QImage& mask = FMasks[index];
    for (int y = 0; y < FHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(visible.scanLine(y));
        for (int x = 0; x < FWidth; ++x) {
            if (IsWhite(mask, x, y))
                line[x] = 0;
        }
    }
    // Pixel art stays sharp on a screen of fractional scale: each pixel
    // becomes the largest whole number of screen pixels that fits, centred
    // in the place the cell takes.
    const QTransform& toDevice = painter.deviceTransform();
    const qreal ratio = toDevice.m11();
    const int whole = std::max(1, int(std::floor(ratio + 1e-9)));
    if (ratio == whole || toDevice.m12() != 0 || toDevice.m21() != 0 || toDevice.m22() != ratio) {
        painter.drawImage(at, visible);
        return;
    }
    const QPointF corner = toDevice.map(QPointF(at));
    const QPointF origin(std::round(corner.x() + FWidth * (ratio - whole) / 2),
                         std::round(corner.y() + FHeight * (ratio - whole) / 2));
    const QPointF logical = toDevice.inverted().map(origin);
    painter.drawImage(QRectF(logical, QSizeF(FWidth * whole / ratio, FHeight * whole / ratio)), visible);
}

int TGlyphList::TakeSlot()
{
    qsizetype index = 0;
    while (index < FInUse.size() && FInUse.testBit(index))
        ++index;
    if (index >= FInUse.size()) {
        index = AddEmpty();
        FInUse.resize(index + 1);
    }
    FInUse.setBit(index);
    return int(index);
}

int TGlyphList::AddImage(const QImage& image, const QImage& mask)
{
    const int slot = TakeSlot();
    if (!Replace(slot, image, mask)) {
        FInUse.clearBit(slot);
        throw TFailure(QT_TRANSLATE_NOOP("Failure", "Invalid image size"));
    }
    ++FLiveCount;
    return slot;
}

int TGlyphList::AddImageMasked(const QImage& image, QRgb maskColour, bool maskIsDefault)
{
    const int slot = TakeSlot();
    try {
        ReplaceImageMasked(slot, image, maskColour, maskIsDefault);
    } catch (...) {
        FInUse.clearBit(slot);
        throw;
    }
    ++FLiveCount;
    return slot;
}

void TGlyphList::ReplaceImageMasked(int index, const QImage& image, QRgb maskColour, bool maskIsDefault)
{
    if (image.width() < Width() || image.height() < Height())
        throw TFailure(QT_TRANSLATE_NOOP("Failure", "Invalid image size"));
    if (maskIsDefault)
        maskColour = TransparentColour(image);
    // Store through a temporary entry, as the list computes its own mask.
    const int temporary = AddMasked(image, maskColour);
    if (temporary < 0)
        throw TFailure(QT_TRANSLATE_NOOP("Failure", "Unable to Replace Image"));
    const QImage colour = Image(temporary);
    const QImage mask = Mask(temporary);
    Delete(temporary);
    if (!Replace(index, colour, mask))
        throw TFailure(QT_TRANSLATE_NOOP("Failure", "Unable to Replace Image"));
}

void TGlyphList::FreeSlot(int index)
{
    if (index >= 0 && index < FInUse.size() && FInUse.testBit(index)) {
        --FLiveCount;
        FInUse.clearBit(index);
    }
}

TGlyphList* TGlyphCache::ListForSize(int width, int height)
{
    for (auto it = FLists.rbegin(); it != FLists.rend(); ++it) {
        if ((*it)->Width() == width && (*it)->Height() == height)
            return it->get();
    }
    FLists.push_back(std::make_unique<TGlyphList>(width, height));
    return FLists.back().get();
}

void TGlyphCache::Release(TGlyphList* list)
{
    if (!list || list->LiveCount() != 0)
        return;
    std::erase_if(FLists, [list](const auto& owned) { return owned.get() == list; });
}

QImage MaskFromPixels(const QImage& source, QPoint origin, QSize size, const QList<QRgb>& colours)
{
    QImage mask = NewMask(size.width(), size.height(), false);
    const QImage pixels = source.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        const int sy = origin.y() + y;
        if (sy < 0 || sy >= pixels.height())
            continue;
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(sy));
        for (int x = 0; x < size.width(); ++x) {
            const int sx = origin.x() + x;
            if (sx < 0 || sx >= pixels.width())
                continue;
            for (QRgb colour : colours) {
                if (SameRgb(line[sx], colour)) {
                    mask.setPixel(x, y, 1);
                    break;
                }
            }
        }
    }
    return mask;
}

QImage MaskFromDevice(const QImage& source, QPoint origin, QSize size, const QList<QRgb>& colours)
{
    return MaskFromPixels(source, origin, size, colours);
}

void PaintThroughMask(const QImage& mask, QImage& destination, QPoint at, QRgb colour)
{
    for (int y = 0; y < mask.height(); ++y) {
        for (int x = 0; x < mask.width(); ++x) {
            const QPoint target(at.x() + x, at.y() + y);
            if (IsWhite(mask, x, y) && destination.rect().contains(target))
                destination.setPixel(target, colour | 0xFF000000);
        }
    }
}

QImage DeviceCopy(const QImage& bitmap)
{
    return bitmap.copy();
}
