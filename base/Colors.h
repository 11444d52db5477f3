#pragma once

#include <QColor>
#include <QImage>
#include <QRgb>
#include <QtGlobal>

// A colour as the layouts store it: red + 256 x green + 65536 x blue.
using TColor = quint32;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;

constexpr TColor RgbToColor(int red, int green, int blue)
{
    return TColor(red) | (TColor(green) << 8) | (TColor(blue) << 16);
}

inline QColor ToQColor(TColor color)
{
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

// The colour that marks what is transparent in a stored picture: that of its
// bottom-left pixel.
QRgb TransparentColour(const QImage& image);

// System colours, resolved from the application palette when used.
enum class TSysColor { clBtnFace, clBtnHighlight, clBtnShadow, clWindowText };

QRgb SysColorRgb(TSysColor color);
