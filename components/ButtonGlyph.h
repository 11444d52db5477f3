#pragma once

#include "base/Colors.h"
#include "components/GlyphCache.h"

#include <QFont>
#include <QImage>
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

// What a button shows inside its frame and how it is arranged: shared by the
// layout and the painting.
struct TContentOptions {
    QRect Client;
    QPoint Offset;              // (1, 1) while pressed
    bool DrawGlyph = true;
    bool DrawCaption = true;
    QString Caption;
    bool WordWrap = false;
    TAlignment Alignment = taCenter;
    TButtonLayout Layout = blGlyphLeft;
    int Margin = -1;
    int Spacing = 4;
    bool DropArrow = false;
};

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
    // (The options' DrawGlyph and Caption play no part: the glyph size and
    // the measure stand for them.)
    static TContentLayout ComputeLayout(const TContentOptions& options, QSize glyphSize,
                                        const TTextMeasure& measure);
    // The layout for this holder's picture and a caption in the given font.
    TContentLayout ComputeLayout(const QFont& font, const TContentOptions& options) const;

    QRect PaintContent(QPainter& painter, const TContentOptions& options, TToolButtonState state);
    void PaintGlyphImage(QPainter& painter, QPoint at, TToolButtonState state);
    // A caption to draw: its text with "&" marks, where, how, in which state.
    struct TCaptionPaint {
        QString Caption;
        QRect Bounds;
        bool WordWrap = false;
        TAlignment Alignment = taLeftJustify;
        TToolButtonState State = tsUp;
    };
    static void PaintCaption(QPainter& painter, const TCaptionPaint& what);
    static void PaintDropArrow(QPainter& painter, int x, int y, TToolButtonState state);

    // The 8 x 8 checkerboard a latched button is filled with, in the present
    // face and highlight colours: made on first need and again when those
    // colours change, freed with the last flat button.
    static const QImage& CheckerPattern();
    // Builds the checkerboard in the present colours and records them.
    static void MakeCheckerPattern();
    static bool HasCheckerPattern();
    static void ReleaseCheckerPattern();
    // The image lists all glyph holders share, while one has images.
    static const TGlyphCache* Cache();

    // The size a glyph takes in the layout (0 x 0 without a picture).
    QSize GlyphSize() const;

private:
    // What one state's image is made from.
    struct TStateSource {
        QImage Glyph;     // the whole glyph, RGB32
        QPoint At;        // where this state's image begins in it
        QSize Size;
        bool HasMask = false;
        QImage ListMask;  // the image list entry's mask, white where transparent
    };
    QImage GlyphMaskAt(const TStateSource& source) const;
    int AddEnabledImage(TGlyphList& list, QImage& canvas, const TStateSource& source);
    int AddDisabledImage(TGlyphList& list, QImage& canvas, const TStateSource& source);


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
