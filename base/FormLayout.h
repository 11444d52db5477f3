#pragma once

#include <QFlags>
#include <QFont>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

// The edges of a control whose distance to the matching edge of its parent
// stays fixed when the parent is resized.
enum class TAnchor { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
Q_DECLARE_FLAGS(TAnchors, TAnchor)
Q_DECLARE_OPERATORS_FOR_FLAGS(TAnchors)

// Reads an anchor list such as "left,top,right". An empty text means left, top.
TAnchors AnchorsFromText(const QString& text);

// Where a control designed at `design` in a parent of `designParent` goes
// when the parent's client area is `parent`. Opposite anchors stretch the
// control, a single one keeps that edge's distance, none keeps it centred.
QRect AnchoredGeometry(const QRect& design, const QSize& designParent,
                       const QSize& parent, TAnchors anchors);

// a * numerator / denominator rounded to the nearest integer, halves away from zero.
int MulDivRound(int a, int numerator, int denominator);

// Keeps the children of a form at their anchored places. Each child's anchors
// come from its "anchors" property in the stored layout.
class TAnchorLayout final
{
public:
    // Records every direct child's current geometry against the form's
    // current client size.
    void Capture(QWidget* form);
    void Apply(const QSize& clientSize) const;

private:
    struct TItem {
        QPointer<QWidget> Control;
        QRect Design;
        TAnchors Anchors;
    };
    QList<TItem> FItems;
    QSize FDesignClient;
};

// The window font of our forms: the nearest sans-serif face at the given
// pixel height.
QFont DesignFont(int pixelHeight, bool bold = false);

// The line height of "0" a form was designed with, at 96 pixels per inch.
inline constexpr int DesignZeroHeight = 13;

// Scales a form built from a stored layout to this screen: the form's font
// height is first multiplied by dpi / 96; when "0" is then not 13 pixels
// high, every child's geometry and font and the form's client size are
// multiplied by the measured height / 13. Returns the measured height.
int ScaleFormToScreen(QWidget* form, qreal logicalDpi);

// Where a window goes that is centred on the primary monitor, moved to the
// same relative place on the monitor of the active window.
QPoint CentredTopLeft(const QRect& primary, const QRect& activeMonitor, const QSize& window);

// The top-left corner that centres a dialog horizontally on a monitor and puts
// its top a third of the way down the free space.
QPoint DialogTopLeft(const QRect& monitor, const QSize& dialog);

// The top-left corner of a window frame at `frame` moved just enough to lie
// on `available`: unchanged where it fits, against the left or top edge
// where it is larger than the screen.
QPoint KeptOnScreen(const QRect& frame, const QRect& available);

// Applies what a stored layout says beyond Qt's own properties: the pixel
// fonts ("fontPixelSize", "fontBold", "fontFamily", "fontUnderline",
// "fontColor" on the form and any control in it), the
// scaling to this screen, labels that size themselves to their text
// ("autoSize") and the form's place on the screen ("screenPosition"), kept
// on the screen's available area when the scaled form would not fit there.
void ApplyStoredLayout(QWidget* form);
