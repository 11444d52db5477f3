#pragma once

#include "base/Colors.h"

#include <QImage>
#include <QLine>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <array>

// The spinning octahedron: six vertices, twelve edges, turned a little about
// two axes every frame and projected in perspective. Plain arithmetic, no
// drawing, so a frame's lines can be checked on their own.
class TWireFrame final
{
public:
    static constexpr int VertexCount = 6;
    static constexpr int EdgeCount = 12;
    static constexpr int CounterWrap = 32700;

    struct TVertex { double X, Y, Z; };

    TWireFrame();

    // Advances one frame and returns the edges to draw, in edge order, as
    // integer segments. Throws "Invalid floating point operation" or
    // "Floating point overflow" rather than let a non-finite value through.
    std::array<QLine, EdgeCount> NextFrame(double angleX, double angleY, double magnification,
                                           int controlWidth);

    int Counter() const { return FCounter; }
    void SetCounter(int counter) { FCounter = counter; }
    const std::array<TVertex, VertexCount>& Vertices() const { return FVertices; }
    const std::array<QPoint, VertexCount>& Projected() const { return FProjected; }

private:
    std::array<TVertex, VertexCount> FVertices;
    std::array<QPoint, VertexCount> FProjected{};
    int FCounter = 0;
};

// An image control that animates the wire frame on its own timer: each tick
// draws a frame off-screen, copies it onto the picture in one step, and
// clears the off-screen image for the next frame.
class TImageMp final : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QPixmap Picture READ PicturePixmap WRITE SetPicturePixmap)
    Q_PROPERTY(int TimerRate READ TimerRate WRITE SetTimerRate)
    Q_PROPERTY(uint PenColour READ PenColour WRITE SetPenColour)
    Q_PROPERTY(uint BackColour READ BackColour WRITE SetBackColour)
    Q_PROPERTY(double Magnification READ Magnification WRITE SetMagnification)
    Q_PROPERTY(double AngleX READ AngleX WRITE SetAngleX)
    Q_PROPERTY(double AngleY READ AngleY WRITE SetAngleY)

public:
    static constexpr int FrameSize = 150;

    explicit TImageMp(QWidget* parent = nullptr);

    const QImage& Picture() const { return FPicture; }
    void SetPicture(const QImage& picture);
    QPixmap PicturePixmap() const { return QPixmap::fromImage(FPicture); }
    void SetPicturePixmap(const QPixmap& picture) { SetPicture(picture.toImage()); }

    int TimerRate() const { return FTimerRate; }
    // Stores the rate, then gives it to the timer: 0 stops the ticks, a
    // negative rate throws "Range check error" and keeps the old interval.
    void SetTimerRate(int rate);
    TColor PenColour() const { return FPenColour; }
    void SetPenColour(TColor colour) { FPenColour = colour; }
    TColor BackColour() const { return FBackColour; }
    // Takes effect at the next clearing, so the next frame still shows the old one.
    void SetBackColour(TColor colour) { FBackColour = colour; }
    double Magnification() const { return FMagnification; }
    void SetMagnification(double value) { FMagnification = value; }
    double AngleX() const { return FAngleX; }
    void SetAngleX(double value) { FAngleX = value; }
    double AngleY() const { return FAngleY; }
    void SetAngleY(double value) { FAngleY = value; }

    const QTimer& Timer() const { return FTimer; }
    const TWireFrame& Frame() const { return FWireFrame; }
    TWireFrame& Frame() { return FWireFrame; }

    // What the timer calls: handles pending messages first (one of them may
    // destroy this control; then nothing is drawn), then renders a frame.
    void Tick();
    // Draws and shows one frame.
    void RenderFrame();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void StartTimer();

    QImage FPicture;
    QImage FOffscreen;
    // What shows on a screen of more than one pixel per point: the picture
    // with the latest frame's lines drawn at the screen's resolution.
    QImage FDisplay;
    QColor FOffscreenFill;
    QTimer FTimer;
    TWireFrame FWireFrame;
    int FTimerRate = 100;
    TColor FPenColour = clRed;
    TColor FBackColour = clBlack;
    double FMagnification = 2.0;
    double FAngleX = 0.07;
    double FAngleY = 0.02;
};
