// The about window's three controls: gradient panel, wire-frame image and
// hyperlink label.

#include "base/Failure.h"
#include "components/ImageMp.h"
#include "components/VelmGrad.h"
#include "components/WebLabel.h"
#include "tests/Harness.h"

#include <QDesktopServices>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <cmath>
#include <limits>

namespace {

// A colour as the layouts store it, from its definition: red + 256 x green
// + 65536 x blue.
constexpr TColor Stored(int red, int green, int blue)
{
    return TColor(red + 256 * green + 65536 * blue);
}

using G = TVelmGradient;

// Receives what the label hands to the desktop's URL opener.
class TUrlCatcher final : public QObject
{
    Q_OBJECT
public:
    explicit TUrlCatcher(const QStringList& schemes) : FSchemes(schemes)
    {
        for (const QString& scheme : FSchemes)
            QDesktopServices::setUrlHandler(scheme, this, "Open");
    }
    ~TUrlCatcher() override
    {
        for (const QString& scheme : FSchemes)
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> Opened;

public Q_SLOTS:
    void Open(const QUrl& url) { Opened << url; }

private:
    QStringList FSchemes;
};

QImage PaintedGradient(int width, int height, G::TGradStyle style, int step = 1,
                       G::TStartColor start = G::scBlue, G::TEndColor end = G::ecBlack,
                       G::TGradDirection direction = G::gdUpLeft)
{
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    image.fill(Qt::red); // what the parent drew
    QPainter painter(&image);
    const G::TColourTable table = G::BuildColourTable(start, end, direction);
    G::PaintGradient(painter, {QSize(width, height), table, style, step});
    return image;
}

} // namespace

class TestComponents : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void colourTable_data();
    void colourTable();
    void aboutWindowBands();
    void bandsOfThree();
    void ellipseAndPyramid();
    void gradientSetters();

    void firstFrame();
    void counterWrapsAndScalesOnce();
    void stillFigureWithoutAngles();
    void backColourLags();
    void timerRate();
    void floatingPointFaultStopsTheAnimation();
    void tickAfterDestructionRendersNothing();

    void linkAddresses();
    void hoverStyle();
};

void TestComponents::colourTable_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("entry");
    QTest::addColumn<uint>("colour");

    const auto row = [](const char* name, G::TStartColor s, G::TEndColor e, G::TGradDirection d,
                        int entry, TColor colour) {
        QTest::newRow(name) << int(s) << int(e) << int(d) << entry << uint(colour);
    };
    row("blue to black, up-left, 0", G::scBlue, G::ecBlack, G::gdUpLeft, 0, Stored(0, 0, 0));
    row("blue to black, up-left, 200", G::scBlue, G::ecBlack, G::gdUpLeft, 200, Stored(0, 0, 200));
    row("blue to black, down-right, 0", G::scBlue, G::ecBlack, G::gdDownRight, 0, Stored(0, 0, 255));
    row("aqua to black, 55", G::scAqua, G::ecBlack, G::gdDownRight, 55, Stored(0, 200, 200));
    row("gray half at the black end", G::scGray, G::ecBlack, G::gdDownRight, 0, Stored(127, 127, 127));
    row("gray half at the white end", G::scGray, G::ecWhite, G::gdDownRight, 0, Stored(128, 128, 128));
    row("maroon to white, 100", G::scMaroon, G::ecWhite, G::gdDownRight, 100, Stored(178, 100, 100));
    row("olive to white, up-left, 10", G::scOlive, G::ecWhite, G::gdUpLeft, 10, Stored(250, 250, 245));
    row("teal to black, up-left, 9", G::scTeal, G::ecBlack, G::gdUpLeft, 9, Stored(0, 4, 4));
    row("yellow to white, 255", G::scYellow, G::ecWhite, G::gdDownRight, 255, Stored(255, 255, 255));
    row("yellow to white, 0", G::scYellow, G::ecWhite, G::gdDownRight, 0, Stored(255, 255, 0));
    row("white to white", G::scWhite, G::ecWhite, G::gdUpLeft, 77, Stored(255, 255, 255));
    row("white to black is a grey ramp", G::scWhite, G::ecBlack, G::gdDownRight, 100, Stored(155, 155, 155));
    row("purple to black", G::scPurple, G::ecBlack, G::gdDownRight, 0, Stored(127, 0, 127));
    row("green to white", G::scGreen, G::ecWhite, G::gdDownRight, 0, Stored(0, 128, 0));
    row("fuchsia to white", G::scFuchsia, G::ecWhite, G::gdDownRight, 40, Stored(255, 40, 255));
    row("lime to black", G::scLime, G::ecBlack, G::gdUpLeft, 30, Stored(0, 30, 0));
    row("navy to white", G::scNavy, G::ecWhite, G::gdDownRight, 0, Stored(0, 0, 128));
    row("red to white, up-left, 255", G::scRed, G::ecWhite, G::gdUpLeft, 255, Stored(255, 0, 0));
}

void TestComponents::colourTable()
{
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, direction);
    QFETCH(int, entry);
    QFETCH(uint, colour);
    const auto table = G::BuildColourTable(G::TStartColor(start), G::TEndColor(end),
                                           G::TGradDirection(direction));
    QCOMPARE(uint(table[entry]), colour);
}

void TestComponents::aboutWindowBands()
{
    // Read back from the control itself, as it paints inside a 256 x 191 panel.
    QWidget panel;
    panel.resize(256, 191);
    auto* gradient = new TVelmGradient(&panel);
    gradient->SetDirection(G::gdUpLeft);
    gradient->SetEndColor(G::ecBlack);
    gradient->SetStartColor(G::scBlue);
    gradient->SetStepWidth(1);
    gradient->SetStyle(G::gsVertical);
    QCOMPARE(gradient->geometry(), QRect(0, 0, 256, 191));
    const QImage image = gradient->grab().toImage();
    for (int x = 0; x < 256; ++x) {
        const QRgb expected = qRgb(0, 0, std::min(x + 1, 255));
        QCOMPARE(image.pixel(x, 0), expected);
        QCOMPARE(image.pixel(x, 190), expected);
    }
    // Horizontal bands at 191 pixels: the first row shows entry 2.
    gradient->SetStyle(G::gsHorizontal);
    QCOMPARE(gradient->grab().toImage().pixel(10, 0), qRgb(0, 0, 2));
}

void TestComponents::bandsOfThree()
{
    // 510 pixels: F is exactly 2, bands are 3 wide; entry i starts at 2(i - 1).
    const QImage image = PaintedGradient(510, 4, G::gsVertical);
    QCOMPARE(image.pixel(0, 0), qRgb(0, 0, 1));
    QCOMPARE(image.pixel(1, 0), qRgb(0, 0, 1));
    QCOMPARE(image.pixel(2, 0), qRgb(0, 0, 2));
    QCOMPARE(image.pixel(200, 0), qRgb(0, 0, 101));
    QCOMPARE(image.pixel(201, 0), qRgb(0, 0, 101));
    QCOMPARE(image.pixel(509, 0), qRgb(0, 0, 255));
    // 0 x 0 draws nothing and does not fail.
    const QImage empty = PaintedGradient(0, 0, G::gsVertical);
    QCOMPARE(empty.pixel(0, 0), qRgb(255, 0, 0));
}

void TestComponents::ellipseAndPyramid()
{
    const QImage ellipse = PaintedGradient(100, 60, G::gsEllipse, 1, G::scBlue, G::ecBlack, G::gdDownRight);
    QCOMPARE(ellipse.pixel(0, 0), qRgb(255, 0, 0));      // corner: the parent shows
    QCOMPARE(ellipse.pixel(1, 30), qRgb(0, 0, 245));     // outer ring: entry Trunc(2 x 255/48) = 10
    const QColor centre = ellipse.pixelColor(50, 30);
    QVERIFY(centre.blue() < 20 && centre.red() == 0);    // towards entry 255: black at the centre

    const QImage pyramid = PaintedGradient(100, 60, G::gsPyramid, 1, G::scBlue, G::ecBlack, G::gdUpLeft);
    QCOMPARE(pyramid.pixel(0, 0), qRgb(0, 0, 0));        // entry 0 at the top-left
    QCOMPARE(pyramid.pixel(99, 59), qRgb(0, 0, 255));    // entry 255 at the bottom right
    QCOMPARE(pyramid.pixel(50, 0), qRgb(0, 0, 79));      // top edge: entry Trunc(50 x 255/160)

    // The box's right and bottom are exclusive: a one-pixel margin on every side.
    for (const QSize size : {QSize(200, 100), QSize(10, 20)}) {
        const QImage image = PaintedGradient(size.width(), size.height(), G::gsEllipse, 1, G::scBlue);
        const int w = size.width();
        const int h = size.height();
        QCOMPARE(image.pixel(w - 1, h / 2), qRgb(255, 0, 0));
        QCOMPARE(image.pixel(w / 2, h - 1), qRgb(255, 0, 0));
        QVERIFY(image.pixel(w - 2, h / 2) != qRgb(255, 0, 0));
        QVERIFY(image.pixel(w / 2, h - 2) != qRgb(255, 0, 0));
    }

    // Too narrow for an ellipse, no size for a pyramid: nothing drawn, no failure.
    QCOMPARE(PaintedGradient(5, 40, G::gsEllipse).pixel(2, 20), qRgb(255, 0, 0));
    QCOMPARE(PaintedGradient(0, 0, G::gsPyramid).pixel(0, 0), qRgb(255, 0, 0));
}

void TestComponents::gradientSetters()
{
    // Every assignment paints at once, also of the value already there.
    QWidget window;
    window.resize(50, 50);
    auto* gradient = new TVelmGradient(&window);
    gradient->setObjectName(QStringLiteral("VelmGradient1"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    int paints = 0;
    struct TPaintCounter : QObject {
        int* Count;
        explicit TPaintCounter(int* count) : Count(count) {}
        bool eventFilter(QObject*, QEvent* e) override { if (e->type() == QEvent::Paint) ++*Count; return false; }
    } counter(&paints);
    gradient->installEventFilter(&counter);
    gradient->SetStyle(gradient->Style());
    QCOMPARE(paints, 1);
    gradient->SetStartColor(G::scRed);
    QCOMPARE(paints, 2);
    QCOMPARE(uint(gradient->ColourTable()[0]), uint(Stored(255, 0, 0)));

    QCOMPARE(FailureOf([&] { gradient->SetStepWidth(11); }), QStringLiteral("Range check error"));
    QCOMPARE(gradient->StepWidth(), 1);

    // Without a parent the value is stored, then painting fails.
    TVelmGradient orphan;
    orphan.setObjectName(QStringLiteral("Lonely"));
    QCOMPARE(FailureOf([&] { orphan.SetEndColor(G::ecWhite); }),
             QStringLiteral("Control 'Lonely' has no parent window"));
    QCOMPARE(orphan.EndColor(), G::ecWhite);
    QCOMPARE(uint(orphan.ColourTable()[0]), uint(Stored(0, 0, 255)));
}

void TestComponents::firstFrame()
{
    TWireFrame frame;
    frame.NextFrame(0.04, 0.03, 4.0, 81);
    const QList<QPoint> expected{{0, 35}, {34, 34}, {75, 35}, {37, 36}, {35, 0}, {35, 75}};
    QCOMPARE(QList<QPoint>(frame.Projected().begin(), frame.Projected().end()), expected);
    QCOMPARE(frame.Counter(), 1);
}

void TestComponents::counterWrapsAndScalesOnce()
{
    TWireFrame frame;
    frame.NextFrame(0, 0, 1, 81);
    QCOMPARE(frame.Vertices()[0].X, -10.0);
    frame.SetCounter(32698);
    frame.NextFrame(0, 0, 1, 81);
    QCOMPARE(frame.Counter(), 32699);
    frame.NextFrame(0, 0, 1, 81);
    QCOMPARE(frame.Counter(), 3);
    // Never back to 1, so never scaled again.
    QCOMPARE(frame.Vertices()[0].X, -10.0);
}

void TestComponents::stillFigureWithoutAngles()
{
    TImageMp image;
    image.SetTimerRate(0);
    image.SetPenColour(clBlue);
    image.SetAngleX(0);
    image.SetAngleY(0);
    image.RenderFrame();
    const QImage first = image.Picture();
    image.RenderFrame();
    QCOMPARE(image.Picture(), first);
    // No picture given: the first frame made one of the control's size.
    QCOMPARE(first.size(), QSize(150, 150));
    QCOMPARE(first.pixelColor(65, 50).blue(), 255); // on the edge from the centre up to the top vertex

    // Magnification 0 puts every point on the centre.
    TWireFrame frame;
    const auto lines = frame.NextFrame(0.3, 0.2, 0.0, 81);
    for (const QLine& line : lines)
        QCOMPARE(line, QLine(35, 35, 35, 35));
}

void TestComponents::backColourLags()
{
    TImageMp image;
    image.SetTimerRate(0);
    image.RenderFrame();
    image.SetBackColour(clWhite);
    image.RenderFrame(); // drawn on the background cleared before the change
    QCOMPARE(image.Picture().pixel(149, 149), qRgb(0, 0, 0));
    image.RenderFrame();
    QCOMPARE(image.Picture().pixel(149, 149), qRgb(255, 255, 255));
}

void TestComponents::timerRate()
{
    TImageMp image;
    QVERIFY(image.Timer().isActive());
    QCOMPARE(image.Timer().interval(), 100);
    image.SetTimerRate(30);
    QCOMPARE(image.Timer().interval(), 30);
    QVERIFY(image.Timer().isActive());
    QCOMPARE(FailureOf([&] { image.SetTimerRate(-5); }), QStringLiteral("Range check error"));
    QCOMPARE(image.TimerRate(), -5);
    QCOMPARE(image.Timer().interval(), 30);
    image.SetTimerRate(0);
    QVERIFY(!image.Timer().isActive());
    image.RenderFrame(); // a frame does not wake a stopped timer
    QVERIFY(!image.Timer().isActive());

    // Ticks arrive on their own at the set rate.
    image.SetTimerRate(10);
    QTRY_VERIFY(image.Frame().Counter() >= 3);
}

void TestComponents::floatingPointFaultStopsTheAnimation()
{
    TImageMp image;
    image.SetTimerRate(30);
    image.SetAngleX(std::numeric_limits<double>::infinity());
    QCOMPARE(FailureOf([&] { image.RenderFrame(); }), QStringLiteral("Invalid floating point operation"));
    QVERIFY(!image.Timer().isActive());

    TWireFrame frame;
    QCOMPARE(FailureOf([&] { frame.NextFrame(0.1, 0.1, 1e308, 81); }), QStringLiteral("Floating point overflow"));
}

void TestComponents::tickAfterDestructionRendersNothing()
{
    // A tick pumps messages first; one of them destroys the control.
    QWidget window;
    QPointer<TImageMp> image = new TImageMp(&window);
    image->SetTimerRate(0);
    QTimer::singleShot(0, &window, [&] { delete image; });
    image->Tick();
    QVERIFY(image.isNull());

    // Undisturbed, a tick renders one frame.
    TImageMp kept;
    kept.SetTimerRate(0);
    kept.Tick();
    QCOMPARE(kept.Frame().Counter(), 1);
}

void TestComponents::linkAddresses()
{
    TUrlCatcher catcher({QStringLiteral("http"), QStringLiteral("ftp"), QStringLiteral("mailto"),
                         QStringLiteral("file"), QStringLiteral("https")});
    TWebLabel label;
    label.resize(100, 20);

    label.SetLinkTyp(TWebLabel::lnFtp);
    QTest::mouseClick(&label, Qt::LeftButton);
    QCOMPARE(catcher.Opened.value(0), QUrl(QStringLiteral("http://") + TWebLabel::DefaultLink));
    QCOMPARE(label.Link(), TWebLabel::DefaultLink);
    QTest::mouseClick(&label, Qt::LeftButton);
    QCOMPARE(catcher.Opened.value(1), QUrl(QStringLiteral("ftp://") + TWebLabel::DefaultLink));

    label.SetLink(QStringLiteral("abc"));
    label.SetLinkTyp(TWebLabel::lnMailto);
    QCOMPARE(label.Address(), QStringLiteral("mailto:abc"));
    label.SetLinkTyp(TWebLabel::lnFile);
    QCOMPARE(label.Address(), QStringLiteral("file://abc"));
    label.SetLink(QStringLiteral("http://x.example"));
    label.SetLinkTyp(TWebLabel::lnHttp);
    QCOMPARE(label.Address(), QStringLiteral("http://http://x.example"));
    label.SetLinkTyp(TWebLabel::lnWais);
    QCOMPARE(label.Address(), QStringLiteral("wais:http://x.example"));

    // A right click or a press dragged off opens nothing.
    const int before = catcher.Opened.size();
    QTest::mouseClick(&label, Qt::RightButton);
    QTest::mousePress(&label, Qt::LeftButton);
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(300, 300));
    QCOMPARE(catcher.Opened.size(), before);

    // An address nobody can open: nothing shown, nothing changed.
    label.SetLinkTyp(TWebLabel::lnNews);
    label.SetLink(QStringLiteral("nowhere"));
    QTest::mouseClick(&label, Qt::LeftButton);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(label.Link(), QStringLiteral("nowhere"));
}

void TestComponents::hoverStyle()
{
    TWebLabel label;
    QVERIFY(label.font().underline());
    QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);
    QFont bold = label.font();
    bold.setBold(true);
    label.setFont(bold);
    label.SetHover(true);
    QVERIFY(!label.font().bold());
    QVERIFY(!label.font().underline());

    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(&label, &enter);
    QVERIFY(label.font().underline());
    QVERIFY(!label.font().bold());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&label, &leave);
    QVERIFY(!label.font().underline());

    label.SetHover(false);
    QCoreApplication::sendEvent(&label, &leave);
    QVERIFY(label.font().underline());
}

QTEST_MAIN(TestComponents)

#include "tst_components.moc"
