#pragma once

#include "base/Colors.h"

#include <QWidget>

#include <array>

class QPainter;

// A windowless control that fills its parent with a colour gradient: bands,
// concentric ellipses or a pyramid, from one of fourteen start colours to
// black or white. It only paints; the mouse passes through to its parent.
class TVelmGradient final : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(TGradDirection Direction READ Direction WRITE SetDirection)
    Q_PROPERTY(TEndColor EndColor READ EndColor WRITE SetEndColor)
    Q_PROPERTY(TStartColor StartColor READ StartColor WRITE SetStartColor)
    Q_PROPERTY(int StepWidth READ StepWidth WRITE SetStepWidth)
    Q_PROPERTY(TGradStyle Style READ Style WRITE SetStyle)

public:
    enum TGradDirection : quint8 { gdDownRight, gdUpLeft };
    Q_ENUM(TGradDirection)
    enum TEndColor : quint8 { ecBlack, ecWhite };
    Q_ENUM(TEndColor)
    enum TGradStyle : quint8 { gsEllipse, gsHorizontal, gsPyramid, gsVertical };
    Q_ENUM(TGradStyle)
    enum TStartColor : quint8 {
        scAqua, scBlue, scFuchsia, scGray, scGreen, scLime, scMaroon,
        scNavy, scOlive, scPurple, scRed, scTeal, scWhite, scYellow
    };
    Q_ENUM(TStartColor)

    using TColourTable = std::array<TColor, 256>;

    explicit TVelmGradient(QWidget* parent = nullptr);

    TGradDirection Direction() const { return FDirection; }
    TEndColor EndColor() const { return FEndColor; }
    TStartColor StartColor() const { return FStartColor; }
    int StepWidth() const { return FStepWidth; }
    TGradStyle Style() const { return FStyle; }

    // Each setter stores, rebuilds the table where colours are concerned, and
    // paints at once, also when the value did not change. Without a parent
    // the value is stored and "Control '<name>' has no parent window" thrown.
    void SetDirection(TGradDirection value);
    void SetEndColor(TEndColor value);
    void SetStartColor(TStartColor value);
    void SetStepWidth(int value);
    void SetStyle(TGradStyle value);

    const TColourTable& ColourTable() const { return FColourTable; }

    static TColourTable BuildColourTable(TStartColor start, TEndColor end, TGradDirection direction);
    // What a gradient is painted with, over an area whose top-left is the
    // painter's origin.
    struct TGradientPaint {
        QSize Size;
        const TColourTable& Table;
        TGradStyle Style;
        int StepWidth = 0;
    };
    static void PaintGradient(QPainter& painter, const TGradientPaint& how);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void FillParent();
    void PaintNow();

    TGradDirection FDirection = gdDownRight;
    TEndColor FEndColor = ecBlack;
    TStartColor FStartColor = scBlue;
    int FStepWidth = 1;
    TGradStyle FStyle = gsHorizontal;
    TColourTable FColourTable{};
};
