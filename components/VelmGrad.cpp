#include "components/VelmGrad.h"

#include "base/Failure.h"

#include <QEvent>
#include <QPainter>

namespace {

enum TChannel { chZero, chHalf, chFull };

struct TBasePattern {
    TChannel Red, Green, Blue;
};

// Indexed by TStartColor.
constexpr TBasePattern BasePatterns[] = {
    {chZero, chFull, chFull}, // scAqua
    {chZero, chZero, chFull}, // scBlue
    {chFull, chZero, chFull}, // scFuchsia
    {chHalf, chHalf, chHalf}, // scGray
    {chZero, chHalf, chZero}, // scGreen
    {chZero, chFull, chZero}, // scLime
    {chHalf, chZero, chZero}, // scMaroon
    {chZero, chZero, chHalf}, // scNavy
    {chHalf, chHalf, chZero}, // scOlive
    {chHalf, chZero, chHalf}, // scPurple
    {chFull, chZero, chZero}, // scRed
    {chZero, chHalf, chHalf}, // scTeal
    {chFull, chFull, chFull}, // scWhite
    {chFull, chFull, chZero}, // scYellow
};

int ChannelLevel(TChannel kind, int n, bool towardsWhite)
{
    switch (kind) {
    case chFull:
        return towardsWhite ? 255 : n;
    case chHalf:
        return towardsWhite ? n / 2 + 128 : n / 2;
    case chZero:
        return towardsWhite ? n : 0;
    }
    return 0;
}

int Trunc(double value)
{
    return static_cast<int>(value);
}

} // namespace

TVelmGradient::TVelmGradient(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    FColourTable = BuildColourTable(FStartColor, FEndColor, FDirection);
    FillParent();
}

TVelmGradient::TColourTable TVelmGradient::BuildColourTable(TStartColor start, TEndColor end,
                                                            TGradDirection direction)
{
    const TBasePattern pattern = BasePatterns[start];
    const bool towardsWhite = end == ecWhite;
    // With the black end n runs down from the start colour, with the white
    // end up from it; gdUpLeft turns the order round.
    const bool countDown = (direction == gdDownRight) != towardsWhite;
    TColourTable table{};
    for (int i = 0; i < 256; ++i) {
        const int n = countDown ? 255 - i : i;
        table[i] = RgbToColor(ChannelLevel(pattern.Red, n, towardsWhite),
                              ChannelLevel(pattern.Green, n, towardsWhite),
                              ChannelLevel(pattern.Blue, n, towardsWhite));
    }
    return table;
}

void TVelmGradient::PaintGradient(QPainter& painter, const TGradientPaint& how)
{
    const int width = how.Size.width();
    const int height = how.Size.height();
    const TColourTable& table = how.Table;
    const TGradStyle style = how.Style;
    const int stepWidth = how.StepWidth;
    painter.setRenderHint(QPainter::Antialiasing, false);
    const auto colour = [&table](int index) { return ToQColor(table[std::clamp(index, 0, 255)]); };

    switch (style) {
    case gsHorizontal:
    case gsVertical: {
        const bool horizontal = style == gsHorizontal;
        const float f = static_cast<float>(horizontal ? height : width) / 255.0f;
        const int band = Trunc(double(f) + 1.0);
        int p = 0;
        for (int i = 0; i < 256; ++i) {
            const QRect area = horizontal ? QRect(0, p, width, band) : QRect(p, 0, band, height);
            painter.fillRect(area, colour(i));
            p = Trunc(double(i) * double(f));
        }
        break;
    }
    case gsEllipse: {
        // Narrower than 6 pixels there is no ring to draw (and the ratios
        // below would divide by zero).
        const int l = width / 2 - 2;
        if (l <= 0 || stepWidth <= 0)
            break;
        const float r = static_cast<float>(height) / static_cast<float>(width);
        const float s = 255.0f / static_cast<float>(l);
        int x = 1;
        int y = 1;
        for (int k = 2; k < l; k += stepWidth) {
            const QColor q = colour(Trunc(double(k) * double(s)));
            painter.setPen(QPen(q, 1));
            painter.setBrush(q);
            // The box excludes its right and bottom; a one-pixel pen covers one
            // pixel past a QRect's right and bottom.
            painter.drawEllipse(QRect(QPoint(x, y), QPoint(width - x - 2, height - y - 2)));
            y = Trunc(double(k) * double(r));
            x = k;
        }
        break;
    }
    case gsPyramid: {
        if (width + height <= 0 || stepWidth <= 0)
            break;
        const int cx = width / 2;
        const int cy = height / 2;
        const float g = 255.0f / static_cast<float>(width + height);
        const auto pen = [&](int index) {
            painter.setPen(QPen(colour(index), stepWidth, Qt::SolidLine, Qt::RoundCap));
        };
        for (int x = 0; x <= width; x += stepWidth) {
            pen(Trunc(double(x) * double(g)));
            painter.drawLine(x, 0, cx, cy);
            pen(Trunc(double(x + height) * double(g)));
            painter.drawLine(cx, cy, x, height);
        }
        for (int y = 0; y <= height; y += stepWidth) {
            pen(Trunc(double(y + width) * double(g)));
            painter.drawLine(width, y, cx, cy);
            pen(Trunc(double(y) * double(g)));
            painter.drawLine(cx, cy, 0, y);
        }
        break;
    }
    }
}

void TVelmGradient::SetDirection(TGradDirection value)
{
    FDirection = value;
    FColourTable = BuildColourTable(FStartColor, FEndColor, FDirection);
    PaintNow();
}

void TVelmGradient::SetEndColor(TEndColor value)
{
    FEndColor = value;
    FColourTable = BuildColourTable(FStartColor, FEndColor, FDirection);
    PaintNow();
}

void TVelmGradient::SetStartColor(TStartColor value)
{
    FStartColor = value;
    FColourTable = BuildColourTable(FStartColor, FEndColor, FDirection);
    PaintNow();
}

void TVelmGradient::SetStepWidth(int value)
{
    if (value < 1 || value > 10)
        throw TFailure(QT_TRANSLATE_NOOP("Failure", "Range check error"));
    FStepWidth = value;
    PaintNow();
}

void TVelmGradient::SetStyle(TGradStyle value)
{
    FStyle = value;
    PaintNow();
}

void TVelmGradient::PaintNow()
{
    if (!parentWidget())
        throw TFailure(QT_TRANSLATE_NOOP("Failure", "Control '%s' has no parent window"), objectName());
    repaint();
}

void TVelmGradient::FillParent()
{
    if (QWidget* parent = parentWidget()) {
        setGeometry(parent->rect());
        parent->installEventFilter(this);
    }
}

bool TVelmGradient::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void TVelmGradient::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintGradient(painter, {size(), FColourTable, FStyle, FStepWidth});
}
