#pragma once

#include <QBitArray>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QRgb>

#include <memory>
#include <vector>

class QPainter;

// One-bit masks are QImage::Format_Mono images whose index 1 is white
// (transparent) and index 0 black (opaque).
QImage NewMask(int width, int height, bool white);
inline bool IsWhite(const QImage& mask, int x, int y) { return mask.pixelIndex(x, y) == 1; }

// A store of equally sized images, each with a one-bit mask. Tells its
// listeners through Changed() whenever an entry is added, replaced or deleted.
class TMaskedImageList : public QObject
{
    Q_OBJECT
public:
    TMaskedImageList(int width, int height);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return int(FImages.size()); }

    // Appends a blank, fully transparent entry and returns its index.
    int AddEmpty();
    // Appends the cell-sized top-left part of an image, transparent where a
    // pixel equals the mask colour. Returns the index, or -1 when the image
    // is smaller than a cell.
    int AddMasked(const QImage& image, QRgb maskColour);
    // Appends an image with its mask; -1 when either is smaller than a cell.
    int Add(const QImage& image, const QImage& mask);
    bool Replace(int index, const QImage& image, const QImage& mask);
    void Delete(int index);

    // Draws an entry through its mask: transparent pixels leave the target as it was.
    void Draw(QPainter& painter, QPoint at, int index) const;
    // The entry's colour pixels and its mask.
    QImage Image(int index) const { return FImages.value(index); }
    QImage Mask(int index) const { return FMasks.value(index); }

Q_SIGNALS:
    void Changed();

private:
    int FWidth;
    int FHeight;
    QList<QImage> FImages;
    QList<QImage> FMasks;
};

// A shared list of one cell size whose slots are recycled: a freed slot is
// the next one taken, and the list grows by one entry only when none is free.
class TGlyphList final : public TMaskedImageList
{
    Q_OBJECT
public:
    TGlyphList(int width, int height) : TMaskedImageList(width, height) {}

    int TakeSlot();
    int AddImage(const QImage& image, const QImage& mask);
    // A mask colour of clDefault takes the image's bottom-left pixel.
    int AddImageMasked(const QImage& image, QRgb maskColour, bool maskIsDefault = false);
    // Throws "Invalid image size" for an image smaller than a cell and
    // "Unable to Replace Image" when the list refuses it.
    void ReplaceImageMasked(int index, const QImage& image, QRgb maskColour, bool maskIsDefault = false);
    void FreeSlot(int index);

    int LiveCount() const { return FLiveCount; }
    const QBitArray& InUse() const { return FInUse; }

private:
    QBitArray FInUse;
    int FLiveCount = 0;
};

// The process's shared lists, at most one per cell size.
class TGlyphCache final
{
public:
    TGlyphList* ListForSize(int width, int height);
    // Frees the list when nothing in it is live any more.
    void Release(TGlyphList* list);
    bool IsEmpty() const { return FLists.empty(); }
    int ListCount() const { return int(FLists.size()); }

private:
    std::vector<std::unique_ptr<TGlyphList>> FLists;
};

// A w x h mask, white where the pixel of the source rectangle at origin
// equals (on red, green and blue) any of the colours.
QImage MaskFromPixels(const QImage& source, QPoint origin, QSize size, const QList<QRgb>& colours);
// The device path. Without device-form bitmaps it makes the same comparisons.
QImage MaskFromDevice(const QImage& source, QPoint origin, QSize size, const QList<QRgb>& colours);
// Where the mask is white the destination becomes the colour; elsewhere it stays.
void PaintThroughMask(const QImage& mask, QImage& destination, QPoint at, QRgb colour);
// A copy of the bitmap in its own format.
QImage DeviceCopy(const QImage& bitmap);
