#include "base/Colors.h"

#include <QGuiApplication>
#include <QPalette>

QRgb SysColorRgb(TSysColor color)
{
    const QPalette palette = QGuiApplication::palette();
    switch (color) {
    case TSysColor::clBtnFace:
        return palette.color(QPalette::Button).rgb();
    case TSysColor::clBtnHighlight:
        return palette.color(QPalette::Light).rgb();
    case TSysColor::clBtnShadow:
        return palette.color(QPalette::Dark).rgb();
    case TSysColor::clWindowText:
        return palette.color(QPalette::WindowText).rgb();
    }
    return qRgb(0, 0, 0);
}

QRgb TransparentColour(const QImage& image)
{
    return image.pixel(0, image.height() - 1);
}
