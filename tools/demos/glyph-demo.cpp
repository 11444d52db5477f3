// Paints a few glyphs in each look (normal, disabled in the new and the old
// style, a supplied disabled half) on the button face and saves the picture,
// enlarged, as a PNG:  glyph_demo OUT.png

#include "components/FlatCtls.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

namespace {

QImage Glyph(int kind)
{
    QImage glyph(16, 16, QImage::Format_RGB32);
    glyph.fill(QColor(192, 192, 192));
    QPainter painter(&glyph);
    switch (kind) {
    case 0: // a folder
        painter.fillRect(1, 4, 14, 10, QColor(255, 255, 0));
        painter.setPen(Qt::black);
        painter.drawRect(1, 4, 13, 9);
        painter.drawLine(2, 3, 6, 3);
        break;
    case 1: // a black letter
        painter.setPen(Qt::black);
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 11, QFont::Bold));
        painter.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("A"));
        break;
    default: { // a red arrow with a dark outline
        QPainterPath arrow;
        arrow.moveTo(2, 8);
        arrow.lineTo(9, 2);
        arrow.lineTo(9, 5);
        arrow.lineTo(14, 5);
        arrow.lineTo(14, 11);
        arrow.lineTo(9, 11);
        arrow.lineTo(9, 14);
        arrow.closeSubpath();
        painter.setPen(QColor(128, 0, 0));
        painter.setBrush(QColor(255, 0, 0));
        painter.drawPath(arrow);
        break;
    }
    }
    return glyph;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("glyphs.png");

    QImage sheet(4 * 24 + 8, 3 * 24 + 8, QImage::Format_RGB32);
    sheet.fill(SysColorRgb(TSysColor::clBtnFace));
    QPainter painter(&sheet);
    for (int kind = 0; kind < 3; ++kind) {
        TButtonGlyph normal;
        normal.SetGlyph(Glyph(kind));
        TButtonGlyph oldStyle;
        oldStyle.SetOldDisabledStyle(true);
        oldStyle.SetGlyph(Glyph(kind));
        // A glyph with its own disabled half, drawn in white and grey.
        QImage pair(32, 16, QImage::Format_RGB32);
        pair.fill(QColor(192, 192, 192));
        {
            QPainter p(&pair);
            p.drawImage(0, 0, Glyph(kind));
            const QImage shape = Glyph(kind);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    if (shape.pixel(x, y) != qRgb(192, 192, 192)) {
                        pair.setPixel(16 + x, y, qRgb(128, 128, 128));
                        if (x + 1 < 16 && y + 1 < 16)
                            pair.setPixel(17 + x, y + 1, qRgb(255, 255, 255));
                    }
        }
        TButtonGlyph supplied;
        supplied.SetGlyph(pair);

        const int y = 4 + kind * 24;
        normal.PaintGlyphImage(painter, QPoint(4, y), tsUp);
        normal.PaintGlyphImage(painter, QPoint(28, y), tsDisabled);
        oldStyle.PaintGlyphImage(painter, QPoint(52, y), tsDisabled);
        supplied.PaintGlyphImage(painter, QPoint(76, y), tsDisabled);
    }
    painter.end();
    return sheet.scaled(sheet.size() * 6, Qt::IgnoreAspectRatio, Qt::FastTransformation).save(out) ? 0 : 1;
}
