// The about window: its layout, showing, keyboard and the two ways it closes.

#include "about/AboutUnit.h"
#include "components/BitBtn.h"
#include "components/ImageMp.h"
#include "components/VelmGrad.h"
#include "components/WebLabel.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

class TestAbout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void layout();
    void showingStartsTheFigure();
    void centredAndOnTopOfEachOther();
    void focusAndKeys();
    void okFreesTitleBarCloseHides();
};

void TestAbout::layout()
{
    TAboutForm about;
    QCOMPARE(about.objectName(), QStringLiteral("AboutForm"));
    QCOMPARE(about.windowTitle(), QStringLiteral("About"));
    QCOMPARE(about.size(), QSize(352, 191));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    QVERIFY(about.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(about.windowType(), Qt::Tool);
    // Black where no control covers the window (below the spinning figure).
    QCOMPARE(about.grab().toImage().pixelColor(2, 185), QColor(Qt::black));

    QCOMPARE(about.ImageMp1->geometry(), QRect(12, 44, 81, 77));
    QCOMPARE(about.ImageMp1->TimerRate(), 320000);
    QCOMPARE(about.ImageMp1->PenColour(), clBlue);
    QCOMPARE(about.ImageMp1->Magnification(), 4.0);
    QCOMPARE(about.ImageMp1->AngleX(), 0.04);
    QCOMPARE(about.ImageMp1->AngleY(), 0.03);
    // The stored still shows until the first frame.
    QCOMPARE(about.ImageMp1->Picture().size(), QSize(121, 121));
    QCOMPARE(about.ImageMp1->Picture(), QImage(QStringLiteral(":/AboutStill.bmp")).convertToFormat(QImage::Format_RGB32));

    QCOMPARE(about.Panel1->geometry(), QRect(96, 0, 256, 191));
    QCOMPARE(about.VelmGradient1->geometry(), QRect(0, 0, 256, 191));
    QCOMPARE(about.VelmGradient1->Direction(), TVelmGradient::gdUpLeft);
    QCOMPARE(about.VelmGradient1->Style(), TVelmGradient::gsVertical);
    QCOMPARE(about.VelmGradient1->StartColor(), TVelmGradient::scBlue);

    // The gradient paints first, the labels and OK over it, white on it.
    const QList<QWidget*> order = about.Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(order.value(0), about.VelmGradient1);
    for (QLabel* label : {about.Label2, about.label1, static_cast<QLabel*>(about.WebLabel1), about.Label3}) {
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::white));
        QVERIFY(!label->autoFillBackground());
        QVERIFY(about.Panel1->rect().contains(label->geometry()));
    }
    QCOMPARE(about.label1->text(), QStringLiteral("Kestrun"));
    QCOMPARE(about.label1->pos(), QPoint(102, 16));
    QCOMPARE(about.WebLabel1->LinkTyp(), TWebLabel::lnHttp);
    QVERIFY(!about.WebLabel1->Hover());
    QVERIFY(about.WebLabel1->font().underline());
    QCOMPARE(about.WebLabel1->text(), about.WebLabel1->Link());

    QCOMPARE(about.BitBtnClose->geometry(), QRect(92, 100, 65, 25));
    QCOMPARE(about.BitBtnClose->text(), QStringLiteral("OK"));
    QVERIFY(about.BitBtnClose->isDefault());
    QVERIFY(!about.BitBtnClose->icon().isNull());

    // The glyph: green check mark, olive transparent, a grey look when disabled.
    const QImage normal = TAboutForm::OkGlyph().pixmap(18, 18).toImage();
    QCOMPARE(qAlpha(normal.pixel(0, 17)), 0);
    QCOMPARE(normal.pixel(7, 13), qRgb(0, 128, 0));
    const QImage disabled = TAboutForm::OkGlyph().pixmap(QSize(18, 18), QIcon::Disabled).toImage();
    QCOMPARE(disabled.pixel(7, 13), qRgb(128, 128, 128));
}

void TestAbout::showingStartsTheFigure()
{
    TAboutForm about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(about.ImageMp1->TimerRate(), 30);
    QCOMPARE(about.ImageMp1->Timer().interval(), 30);
    QTRY_VERIFY(about.ImageMp1->Frame().Counter() >= 2);
    // The frames replaced the still with the figure on black.
    QCOMPARE(about.ImageMp1->Picture().pixel(0, 120), qRgb(0, 0, 0));
}

void TestAbout::centredAndOnTopOfEachOther()
{
    QScopedPointer<TAboutForm> first(new TAboutForm);
    QScopedPointer<TAboutForm> second(new TAboutForm);
    first->show();
    second->show();
    QVERIFY(QTest::qWaitForWindowExposed(second.get()));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint centred((screen.width() - 352) / 2, (screen.height() - 191) / 2);
    QCOMPARE(first->pos(), centred);
    QCOMPARE(second->pos(), centred);
}

void TestAbout::focusAndKeys()
{
    QPointer<TAboutForm> about = new TAboutForm;
    about->show();
    QVERIFY(QTest::qWaitForWindowActive(about));
    QCOMPARE(QApplication::focusWidget(), about->Panel1);
    QTest::keyClick(about->Panel1, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(about && about->isVisible());
    const QImage unfocused = about->BitBtnClose->grab().toImage();
    QTest::keyClick(about->Panel1, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), about->BitBtnClose);
    // The focus shows on OK, although it is the default button.
    QVERIFY(about->BitBtnClose->grab().toImage() != unfocused);

    // Enter before OK was ever tabbed to closes and frees the window.
    QPointer<TAboutForm> other = new TAboutForm;
    other->show();
    QVERIFY(QTest::qWaitForWindowActive(other));
    QCOMPARE(QApplication::focusWidget(), other->Panel1);
    QTest::keyClick(other->Panel1, Qt::Key_Return);
    QVERIFY(other); // freed after the click, not during it
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(other.isNull());
    delete about;
}

void TestAbout::okFreesTitleBarCloseHides()
{
    QPointer<TAboutForm> closed = new TAboutForm;
    closed->show();
    QVERIFY(QTest::qWaitForWindowExposed(closed));
    QVERIFY(closed->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(closed);
    QVERIFY(!closed->isVisible());

    QPointer<TAboutForm> okd = new TAboutForm;
    okd->show();
    QVERIFY(QTest::qWaitForWindowExposed(okd));
    QTest::mouseClick(okd->BitBtnClose, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(okd.isNull());
    delete closed;
}

QTEST_MAIN(TestAbout)

#include "tst_about.moc"
