// The glyph holder: layout arithmetic, the shared glyph lists, and the
// pixels of the images it builds for each state.

#include "base/Failure.h"
#include "components/FlatCtls.h"
#include "tests/Harness.h"

#include <QPainter>
#include <QScopeGuard>
#include <QGuiApplication>
#include <QPalette>
#include <QTest>

namespace {

// The button colours, read from the palette as the system colours map to it.
QRgb Face() { return QGuiApplication::palette().color(QPalette::Button).rgb(); }
QRgb Highlight() { return QGuiApplication::palette().color(QPalette::Light).rgb(); }
QRgb Shadow() { return QGuiApplication::palette().color(QPalette::Dark).rgb(); }

constexpr QRgb Olive = qRgb(128, 128, 0);
constexpr QRgb Red = qRgb(255, 0, 0);

QImage Filled(int w, int h, QRgb colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The state image as drawn onto a magenta background: transparent pixels stay magenta.
QImage Drawn(TButtonGlyph& holder, TToolButtonState state)
{
    const auto [list, slot] = holder.MakeStateImage(state);
    if (slot < 0)
        return QImage();
    TGlyphList* glyphs = holder.StateList(list);
    QImage canvas = Filled(glyphs->Width(), glyphs->Height(), qRgb(255, 0, 255));
    QPainter painter(&canvas);
    glyphs->Draw(painter, QPoint(0, 0), slot);
    return canvas;
}

constexpr QRgb Magenta = qRgb(255, 0, 255);

} // namespace

class TestGlyphs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void layout_data();
    void layout();
    void wordWrapWidths_data();
    void wordWrapWidths();
    void numGlyphsFromShape_data();
    void numGlyphsFromShape();
    void slotsAreReused();
    void listsAreShared();
    void normalImagesAndTransparency();
    void generatedDisabledNewStyle();
    void generatedDisabledOldStyle();
    void suppliedDisabledImage();
    void imageListPicture();
    void wholePixelsOnFractionalScreens_data();
    void wholePixelsOnFractionalScreens();
    void invalidImageSize();
    void checkerPatternAndColourChanges();
    void disabledCaptionAndArrow();
};

void TestGlyphs::layout_data()
{
    QTest::addColumn<QRect>("client");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<QSize>("glyph");
    QTest::addColumn<QSize>("text");
    QTest::addColumn<int>("layout");
    QTest::addColumn<int>("margin");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<bool>("arrow");
    QTest::addColumn<QPoint>("glyphAt");
    QTest::addColumn<QPoint>("textAt");
    QTest::addColumn<QPoint>("arrowAt");

    const QSize none(0, 0);
    QTest::newRow("about button") << QRect(1, 1, 23, 23) << QPoint(0, 0) << QSize(16, 16) << none
                                  << int(blGlyphLeft) << -1 << 4 << false
                                  << QPoint(5, 5) << QPoint(21, 13) << QPoint(21, 13);
    QTest::newRow("about button pressed") << QRect(1, 1, 23, 23) << QPoint(1, 1) << QSize(16, 16) << none
                                          << int(blGlyphLeft) << -1 << 4 << false
                                          << QPoint(6, 6) << QPoint(22, 14) << QPoint(22, 14);
    QTest::newRow("margin and spacing -1") << QRect(0, 0, 60, 22) << QPoint() << QSize(16, 16) << QSize(20, 13)
                                           << int(blGlyphLeft) << -1 << -1 << false
                                           << QPoint(8, 3) << QPoint(32, 5) << QPoint(52, 11);
    QTest::newRow("margin 2") << QRect(0, 0, 60, 22) << QPoint() << QSize(16, 16) << QSize(20, 13)
                              << int(blGlyphLeft) << 2 << -1 << false
                              << QPoint(2, 3) << QPoint(29, 5) << QPoint(49, 11);
    QTest::newRow("glyph right with arrow") << QRect(0, 0, 80, 22) << QPoint() << QSize(16, 16) << QSize(20, 13)
                                            << int(blGlyphRight) << 3 << 4 << true
                                            << QPoint(52, 3) << QPoint(28, 5) << QPoint(68, 9);
    QTest::newRow("caption only, top layout") << QRect(0, 0, 60, 22) << QPoint() << none << QSize(20, 13)
                                              << int(blGlyphTop) << -1 << 4 << false
                                              << QPoint(20, 11) << QPoint(20, 5) << QPoint(40, 11);
    QTest::newRow("wider than the client") << QRect(0, 0, 10, 22) << QPoint() << QSize(16, 16) << none
                                           << int(blGlyphLeft) << -1 << 4 << false
                                           << QPoint(-2, 3) << QPoint(14, 11) << QPoint(14, 11);
    QTest::newRow("glyph on top") << QRect(0, 0, 40, 40) << QPoint() << QSize(16, 16) << QSize(20, 13)
                                  << int(blGlyphTop) << -1 << 4 << false
                                  << QPoint(12, 4) << QPoint(10, 24) << QPoint(28, 12);
    QTest::newRow("glyph at the bottom") << QRect(0, 0, 40, 40) << QPoint() << QSize(16, 16) << QSize(20, 13)
                                         << int(blGlyphBottom) << 2 << 3 << false
                                         << QPoint(12, 22) << QPoint(10, 6) << QPoint(28, 30);
}

void TestGlyphs::layout()
{
    QFETCH(QRect, client);
    QFETCH(QPoint, offset);
    QFETCH(QSize, glyph);
    QFETCH(QSize, text);
    QFETCH(int, layout);
    QFETCH(int, margin);
    QFETCH(int, spacing);
    QFETCH(bool, arrow);
    QFETCH(QPoint, glyphAt);
    QFETCH(QPoint, textAt);
    QFETCH(QPoint, arrowAt);

    const auto measure = [&](int, bool) { return text; };
    TContentOptions options;
    options.Client = client;
    options.Offset = offset;
    options.DrawCaption = !text.isEmpty();
    options.Layout = TButtonLayout(layout);
    options.Margin = margin;
    options.Spacing = spacing;
    options.DropArrow = arrow;
    const TContentLayout placed = TButtonGlyph::ComputeLayout(options, glyph, measure);
    QCOMPARE(placed.Glyph, glyphAt);
    QCOMPARE(placed.TextBounds.topLeft(), textAt);
    QCOMPARE(placed.TextBounds.size(), text);
    QCOMPARE(placed.Arrow, arrowAt);
}

void TestGlyphs::wordWrapWidths_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<int>("margin");
    QTest::addColumn<int>("width");
    QTest::newRow("glyph left, defaults") << int(blGlyphLeft) << -1 << 72;
    QTest::newRow("glyph left, margin 6") << int(blGlyphLeft) << 6 << 68;
    QTest::newRow("glyph on top") << int(blGlyphTop) << -1 << 92;
}

void TestGlyphs::wordWrapWidths()
{
    QFETCH(int, layout);
    QFETCH(int, margin);
    QFETCH(int, width);
    int asked = -1;
    const auto measure = [&](int available, bool wrap) {
        asked = wrap ? available : -1;
        return QSize(30, 26);
    };
    TContentOptions options;
    options.Client = QRect(0, 0, 100, 40);
    options.WordWrap = true;
    options.Layout = TButtonLayout(layout);
    options.Margin = margin;
    options.Spacing = -1;
    TButtonGlyph::ComputeLayout(options, QSize(16, 16), measure);
    QCOMPARE(asked, width);
}

void TestGlyphs::numGlyphsFromShape_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("count");
    QTest::newRow("16x16") << QSize(16, 16) << 1;
    QTest::newRow("32x16") << QSize(32, 16) << 2;
    QTest::newRow("80x16") << QSize(80, 16) << 5;
    QTest::newRow("96x16, six squares") << QSize(96, 16) << 1;
    QTest::newRow("40x16, no multiple") << QSize(40, 16) << 1;
    QTest::newRow("empty") << QSize(0, 0) << 1;
}

void TestGlyphs::numGlyphsFromShape()
{
    QFETCH(QSize, size);
    QFETCH(int, count);
    TButtonGlyph holder;
    holder.SetGlyph(size.isEmpty() ? QImage() : Filled(size.width(), size.height(), Red));
    QCOMPARE(holder.NumGlyphs(), count);
    holder.SetNumGlyphs(9);
    QCOMPARE(holder.NumGlyphs(), 1);
}

void TestGlyphs::slotsAreReused()
{
    TGlyphList list(4, 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(list.AddImageMasked(Filled(4, 4, Red), 0, true), i);
    list.FreeSlot(2);
    QCOMPARE(list.LiveCount(), 3);
    QCOMPARE(list.AddImageMasked(Filled(4, 4, Red), 0, true), 2);
    QCOMPARE(list.Count(), 4);
    QCOMPARE(list.AddImageMasked(Filled(4, 4, Red), 0, true), 4);
    QCOMPARE(list.Count(), 5);
    list.FreeSlot(2);
    list.FreeSlot(2); // only once
    QCOMPARE(list.LiveCount(), 4);
}

void TestGlyphs::listsAreShared()
{
    QImage glyph = Filled(16, 16, Red);
    glyph.setPixel(0, 15, Olive);
    {
        auto first = std::make_unique<TButtonGlyph>();
        auto second = std::make_unique<TButtonGlyph>();
        first->SetGlyph(glyph);
        second->SetGlyph(glyph);
        for (TButtonGlyph* holder : {first.get(), second.get()}) {
            holder->MakeStateImage(tsUp);
            holder->MakeStateImage(tsDisabled);
        }
        QCOMPARE(first->StateList(1), second->StateList(1));
        QCOMPARE(first->StateList(0), second->StateList(0));
        QCOMPARE(first->StateList(1)->Width(), 16);
        QCOMPARE(first->StateList(0)->Width(), 17);
        QCOMPARE(TButtonGlyph::Cache()->ListCount(), 2);

        // NumGlyphs 1: the hot look is the up image, nothing new is built.
        const int before = first->StateList(1)->LiveCount();
        QCOMPARE(first->MakeStateImage(tsHot), first->MakeStateImage(tsUp));
        QCOMPARE(first->StateList(1)->LiveCount(), before);

        first->ReleaseImages();
        QCOMPARE(TButtonGlyph::Cache()->ListCount(), 2);
        second->ReleaseImages();
        QVERIFY(TButtonGlyph::Cache()->IsEmpty());
    }
    QVERIFY(!TButtonGlyph::Cache()); // the last holder freed the cache
}

void TestGlyphs::normalImagesAndTransparency()
{
    // Two images; each takes its own bottom-left pixel as its transparent colour.
    QImage glyph(32, 16, QImage::Format_RGB32);
    glyph.fill(Olive);
    QPainter(&glyph).fillRect(16, 0, 16, 16, QColor(Qt::blue));
    glyph.setPixel(5, 5, Red);
    glyph.setPixel(20, 5, Olive);
    TButtonGlyph holder;
    holder.SetGlyph(glyph);
    QCOMPARE(holder.NumGlyphs(), 2);
    QCOMPARE(holder.MaskColor(), TColor(0x02008080));

    const QImage up = Drawn(holder, tsUp);
    QCOMPARE(up.pixel(0, 0), Magenta);
    QCOMPARE(up.pixel(5, 5), Red);
    // State 2 has no image of its own: it shows image 0.
    QCOMPARE(Drawn(holder, tsPressed), up);
    // A glyph mask overrides the colour rule: white transparent, black opaque.
    QImage mask = Filled(32, 16, qRgb(0, 0, 0));
    mask.setPixel(5, 5, qRgb(255, 255, 255));
    holder.SetGlyphMask(mask);
    const QImage masked = Drawn(holder, tsUp);
    QCOMPARE(masked.pixel(0, 0), Olive);
    QCOMPARE(masked.pixel(5, 5), Magenta);
}

void TestGlyphs::generatedDisabledNewStyle()
{
    // 24-bit, white background: white, silver and the bottom-left colour vanish.
    QImage glyph = Filled(16, 16, qRgb(255, 255, 255));
    glyph.setPixel(4, 4, Red);
    glyph.setPixel(5, 4, qRgb(192, 192, 192));
    glyph.setPixel(6, 4, qRgb(0, 0, 0));
    TButtonGlyph holder;
    holder.SetGlyph(glyph);
    const QImage disabled = Drawn(holder, tsDisabled);
    QCOMPARE(disabled.size(), QSize(17, 17));
    QCOMPARE(disabled.pixel(4, 4), Shadow());
    QCOMPARE(disabled.pixel(5, 5), Highlight()); // the highlight copy one right and down
    QCOMPARE(disabled.pixel(6, 4), Shadow());
    QCOMPARE(disabled.pixel(7, 5), Highlight());
    QCOMPARE(disabled.pixel(5, 4), Magenta);     // silver vanished
    QCOMPARE(disabled.pixel(0, 0), Magenta);
    QCOMPARE(disabled.pixel(16, 16), Magenta);
}

void TestGlyphs::generatedDisabledOldStyle()
{
    QImage glyph = Filled(16, 16, qRgb(255, 255, 255));
    glyph.setPixel(4, 4, qRgb(0, 0, 0));
    glyph.setPixel(8, 8, Red);
    TButtonGlyph holder;
    holder.SetOldDisabledStyle(true);
    holder.SetGlyph(glyph);
    const QImage disabled = Drawn(holder, tsDisabled);
    QCOMPARE(disabled.pixel(4, 4), Shadow());
    QCOMPARE(disabled.pixel(5, 5), Highlight());
    QCOMPARE(disabled.pixel(8, 8), Magenta); // only pure black counts in the old style

    // No pure black at all: nothing is left.
    TButtonGlyph grey;
    grey.SetOldDisabledStyle(true);
    grey.SetGlyph(Filled(16, 16, qRgb(1, 1, 1)));
    const QImage empty = Drawn(grey, tsDisabled);
    for (int y = 0; y < empty.height(); ++y)
        for (int x = 0; x < empty.width(); ++x)
            QCOMPARE(empty.pixel(x, y), Magenta);
}

void TestGlyphs::suppliedDisabledImage()
{
    // The second half is drawn in white and grey on the transparent colour.
    QImage glyph = Filled(32, 16, Olive);
    glyph.setPixel(20, 3, qRgb(255, 255, 255));
    glyph.setPixel(21, 3, qRgb(128, 128, 128));
    glyph.setPixel(22, 3, Red);
    TButtonGlyph holder;
    holder.SetGlyph(glyph);
    const QImage disabled = Drawn(holder, tsDisabled);
    QCOMPARE(disabled.size(), QSize(17, 17));
    QCOMPARE(disabled.pixel(4, 3), Highlight());
    QCOMPARE(disabled.pixel(5, 3), Shadow());
    QCOMPARE(disabled.pixel(6, 3), Red);
    QCOMPARE(disabled.pixel(0, 0), Magenta);
    for (int i = 0; i < 17; ++i) {
        QCOMPARE(disabled.pixel(16, i), Magenta); // the added right column
        QCOMPARE(disabled.pixel(i, 16), Magenta); // and bottom row
    }

    // The disabled image's transparent colour is the whole glyph's bottom-left
    // pixel, not the bottom-left pixel of its own half.
    QImage mixed = Filled(32, 16, Olive);
    QPainter(&mixed).fillRect(16, 0, 16, 16, QColor(Red));
    TButtonGlyph other;
    other.SetGlyph(mixed);
    QCOMPARE(Drawn(other, tsDisabled).pixel(3, 3), Red);
}

void TestGlyphs::imageListPicture()
{
    TMaskedImageList images(8, 8);
    QImage picture = Filled(8, 8, Olive);
    picture.setPixel(2, 2, Red);
    images.AddMasked(picture, Olive);
    TButtonGlyph holder;
    int changes = 0;
    holder.OnGlyphChange = [&](TButtonGlyph&) { ++changes; };
    holder.SetImages(&images);
    holder.SetNumGlyphs(3);
    QCOMPARE(holder.NumGlyphs(), 1);
    QCOMPARE(holder.GlyphSize(), QSize(8, 8));
    // No valid index: the space is kept, nothing drawn.
    QCOMPARE(holder.MakeStateImage(tsUp).second, -1);
    holder.SetImageIndex(0);
    const QImage up = Drawn(holder, tsUp);
    QCOMPARE(up.pixel(2, 2), Red);
    QCOMPARE(up.pixel(0, 0), Magenta);
    QCOMPARE(Drawn(holder, tsDisabled).pixel(2, 2), Shadow());

    // A change to the list's contents drops the cached images.
    const int before = changes;
    images.AddMasked(picture, Olive);
    QVERIFY(changes > before);
    QCOMPARE(holder.Slot(1, tsUp), -1);

    // A list destroyed elsewhere is taken off as Images := none: a 16 x 8
    // glyph is then two images again.
    auto* doomed = new TMaskedImageList(8, 8);
    holder.SetGlyph(Filled(16, 8, Olive));
    holder.SetImages(doomed);
    QCOMPARE(holder.NumGlyphs(), 1);
    delete doomed;
    QCOMPARE(holder.Images(), nullptr);
    QCOMPARE(holder.NumGlyphs(), 2);
}

void TestGlyphs::wholePixelsOnFractionalScreens_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("run");
    QTest::newRow("1.5") << 1.5 << 1;
    QTest::newRow("2") << 2.0 << 2;
    QTest::newRow("2.5") << 2.5 << 2;
}

// Every glyph pixel becomes the same whole number of screen pixels.
void TestGlyphs::wholePixelsOnFractionalScreens()
{
    QFETCH(qreal, ratio);
    QFETCH(int, run);
    TMaskedImageList images(8, 8);
    QImage checker = Filled(8, 8, Red);
    for (int y = 0; y < 8; ++y)
        for (int x = (y % 2); x < 8; x += 2)
            checker.setPixel(x, y, qRgb(0, 0, 255));
    images.AddMasked(checker, Olive);
    QImage screen(QSize(20, 20) * ratio, QImage::Format_RGB32);
    screen.setDevicePixelRatio(ratio);
    screen.fill(Qt::white);
    {
        QPainter painter(&screen);
        images.Draw(painter, QPoint(3, 3), 0);
    }
    // The runs of one colour along a row through the glyph.
    const int y = int(5 * ratio);
    QList<int> runs;
    QRgb last = screen.pixel(0, y);
    int length = 0;
    for (int x = 0; x < screen.width(); ++x) {
        const QRgb here = screen.pixel(x, y);
        if (here != last) {
            if (last != qRgb(255, 255, 255))
                runs << length;
            last = here;
            length = 0;
        }
        ++length;
    }
    QCOMPARE(runs, QList<int>(8, run));
}

void TestGlyphs::invalidImageSize()
{
    TGlyphList list(16, 16);
    QCOMPARE(FailureOf([&] { list.AddImageMasked(Filled(8, 16, Red), 0, true); }), QStringLiteral("Invalid image size"));
    QCOMPARE(list.LiveCount(), 0);
    // The refused slot is free again.
    QCOMPARE(list.AddImageMasked(Filled(16, 16, Red), 0, true), 0);
}

void TestGlyphs::checkerPatternAndColourChanges()
{
    const QPalette original = QGuiApplication::palette();
    // Put back also when a check below fails, for the tests after this one.
    const auto restore = qScopeGuard([&] { QGuiApplication::setPalette(original); });
    const QImage pattern = TButtonGlyph::CheckerPattern();
    QCOMPARE(pattern.pixel(0, 0), Highlight());
    QCOMPARE(pattern.pixel(1, 0), Face());
    QCOMPARE(pattern.pixel(1, 1), Highlight());
    QCOMPARE(pattern.pixel(7, 6), Face());

    TButtonGlyph holder;
    holder.SetGlyph(Filled(16, 16, qRgb(255, 255, 255)).copy());
    QImage glyph = holder.Glyph();
    glyph.setPixel(4, 4, Red);
    holder.SetGlyph(glyph);
    QCOMPARE(Drawn(holder, tsDisabled).pixel(4, 4), Shadow());

    // New system colours: the pattern and the images are made again in them.
    QPalette changed = original;
    changed.setColor(QPalette::Button, QColor(10, 20, 30));
    changed.setColor(QPalette::Dark, QColor(40, 50, 60));
    QGuiApplication::setPalette(changed);
    holder.SystemColorsChanged(tsDisabled);
    QCOMPARE(TButtonGlyph::CheckerPattern().pixel(1, 0), qRgb(10, 20, 30));
    QCOMPARE(TButtonGlyph::CheckerPattern().pixel(0, 0), Highlight());
    QCOMPARE(Drawn(holder, tsDisabled).pixel(4, 4), qRgb(40, 50, 60));
}

void TestGlyphs::disabledCaptionAndArrow()
{
    QImage canvas = Filled(60, 30, qRgb(255, 0, 255));
    {
        QPainter painter(&canvas);
        TButtonGlyph::PaintDropArrow(painter, 0, 10, tsDisabled);
        painter.setPen(QColor(Qt::black));
        TButtonGlyph::PaintDropArrow(painter, 20, 10, tsUp);
    }
    // Shadow triangle on top, highlight one pixel right and down.
    QCOMPARE(canvas.pixel(4, 10), Shadow());
    QCOMPARE(canvas.pixel(9, 11), Highlight());
    QCOMPARE(canvas.pixel(6, 12), Shadow());
    QCOMPARE(canvas.pixel(3, 10), Magenta);
    QCOMPARE(canvas.pixel(24, 10), qRgb(0, 0, 0));
    QCOMPARE(canvas.pixel(28, 10), qRgb(0, 0, 0));
    QCOMPARE(canvas.pixel(26, 12), qRgb(0, 0, 0));
    QCOMPARE(canvas.pixel(25, 12), Magenta);

    // The disabled caption: highlight at (+1, +1) under shadow.
    QImage text = Filled(80, 30, qRgb(255, 0, 255));
    {
        QPainter painter(&text);
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
        TButtonGlyph::PaintCaption(painter, {QStringLiteral("&Ab"), QRect(0, 0, 60, 30), false, taLeftJustify,
                                             tsDisabled});
    }
    bool shadow = false;
    bool highlight = false;
    for (int y = 0; y < text.height(); ++y)
        for (int x = 0; x < text.width(); ++x) {
            shadow |= text.pixel(x, y) == Shadow();
            highlight |= text.pixel(x, y) == Highlight();
        }
    QVERIFY(shadow && highlight);
}

QTEST_MAIN(TestGlyphs)

#include "tst_glyphs.moc"
