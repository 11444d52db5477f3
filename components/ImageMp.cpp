#include "components/ImageMp.h"

#include "base/Failure.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPointer>

#include <cmath>

namespace {

constexpr double ViewingDistance = 10000.0;

constexpr std::array<std::pair<int, int>, TWireFrame::EdgeCount> Edges{{
    {0, 1}, {1, 2}, {2, 3}, {3, 0},  // the ring in the plane y = 0
    {0, 4}, {1, 4}, {2, 4}, {3, 4},  // up to the top vertex
    {0, 5}, {1, 5}, {2, 5}, {3, 5},  // down to the bottom vertex
}};

// A NaN means an invalid operation, an infinity an overflow; either stops the
// animation with an error instead of drawing nonsense.
double Checked(double value)
{
    if (std::isnan(value))
        throw TFailure(QT_TRANSLATE_NOOP("Failure", "Invalid floating point operation"));
    if (std::isinf(value))
        throw TFailure(QT_TRANSLATE_NOOP("Failure", "Floating point overflow"));
    return value;
}

// Clamps to [0, 1000] (a NaN cannot get here) and rounds halves to even.
int ScreenCoordinate(double value)
{
    value = std::min(value, 1000.0);
    value = std::max(value, 0.0);
    return static_cast<int>(std::nearbyint(value));
}

} // namespace

TWireFrame::TWireFrame()
    : FVertices{{{-1, 0, 0}, {0, 0, -1}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}, {0, -1, 0}}}
{
}

std::array<QLine, TWireFrame::EdgeCount> TWireFrame::NextFrame(double angleX, double angleY,
                                                               double magnification,
                                                               int controlWidth)
{
    if (++FCounter == CounterWrap)
        FCounter = 3;
    if (FCounter == 1) {
        for (TVertex& v : FVertices)
            v = {v.X * 10, v.Y * 10, v.Z * 10};
    }

    const double sa = Checked(std::sin(angleX));
    const double ca = Checked(std::cos(angleX));
    const double sb = Checked(std::sin(angleY));
    const double cb = Checked(std::cos(angleY));
    const double m = controlWidth / 2.3;

    for (int i = 0; i < VertexCount; ++i) {
        TVertex& v = FVertices[i];
        const double x1 = Checked(v.X * ca + v.Z * sa);
        const double z1 = Checked(-v.X * sa + v.Z * ca);
        const double y2 = Checked(v.Y * cb - z1 * sb);
        const double z2 = Checked(v.Y * sb + z1 * cb);
        v = {x1, y2, z2};

        double d = Checked(z2 + ViewingDistance);
        if (d == 0)
            d = 0.5;
        const double s = Checked(ViewingDistance / d * magnification);
        FProjected[i] = QPoint(ScreenCoordinate(Checked(x1 * s + m)),
                               ScreenCoordinate(Checked(m - y2 * s)));
    }

    std::array<QLine, EdgeCount> lines;
    for (int e = 0; e < EdgeCount; ++e)
        lines[e] = QLine(FProjected[Edges[e].first], FProjected[Edges[e].second]);
    return lines;
}

TImageMp::TImageMp(QWidget* parent)
    : QWidget(parent)
{
    resize(FrameSize, FrameSize);
    connect(&FTimer, &QTimer::timeout, this, [this] { CallHandler([this] { Tick(); }); });
    FTimer.setInterval(FTimerRate);
    FTimer.start();
    FOffscreen = QImage(FrameSize, FrameSize, QImage::Format_RGB32);
    FOffscreenFill = ToQColor(FBackColour);
    FOffscreen.fill(FOffscreenFill);
}

void TImageMp::SetPicture(const QImage& picture)
{
    FPicture = picture.convertToFormat(QImage::Format_RGB32);
    update();
}

void TImageMp::SetTimerRate(int rate)
{
    FTimerRate = rate;
    if (rate < 0)
        throw TFailure(QT_TRANSLATE_NOOP("Failure", "Range check error"));
    FTimer.setInterval(rate);
    if (rate == 0)
        FTimer.stop();
    else
        StartTimer();
}

void TImageMp::StartTimer()
{
    FTimer.start();
    if (!FTimer.isActive())
        throw TFailure(QT_TRANSLATE_NOOP("Failure", "Not enough timers available"));
}

void TImageMp::Tick()
{
    // Other windows' paints and input go first; one of them may close the
    // window that holds this control.
    const QPointer<TImageMp> self(this);
    QCoreApplication::processEvents();
    if (self)
        RenderFrame();
}

void TImageMp::RenderFrame()
{
    FTimer.stop();
    const auto lines = FWireFrame.NextFrame(FAngleX, FAngleY, FMagnification, width());
    {
        QPainter painter(&FOffscreen);
        painter.setPen(QPen(ToQColor(FPenColour), 1));
        painter.drawLines(lines.data(), int(lines.size()));
    }
    // The timer's own interval: a rejected negative rate left the old one.
    if (FTimer.interval() > 0)
        StartTimer();

    if (FPicture.isNull()) {
        FPicture = QImage(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
        FPicture.fill(Qt::white);
    }
    {
        QPainter painter(&FPicture);
        painter.drawImage(0, 0, FOffscreen);
    }
    const qreal ratio = devicePixelRatioF();
    if (ratio != 1.0) {
        FDisplay = FPicture.scaled(FPicture.size() * ratio);
        FDisplay.setDevicePixelRatio(ratio);
        QPainter painter(&FDisplay);
        painter.fillRect(FOffscreen.rect(), FOffscreenFill);
        painter.setPen(QPen(ToQColor(FPenColour), 1));
        painter.drawLines(lines.data(), int(lines.size()));
    } else {
        FDisplay = QImage();
    }
    update();
    FOffscreenFill = ToQColor(FBackColour);
    FOffscreen.fill(FOffscreenFill);
}

void TImageMp::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!FDisplay.isNull() && FDisplay.devicePixelRatio() == devicePixelRatioF())
        painter.drawImage(0, 0, FDisplay);
    else
        painter.drawImage(0, 0, FPicture);
}
