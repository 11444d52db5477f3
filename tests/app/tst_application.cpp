// The application object and the error display every handler relies on.

#include "base/Failure.h"
#include "tests/app/ModalDriver.h"
#include "tests/app/AppTestMain.h"

#include <QAccessible>
#include <QAbstractButton>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QTest>

namespace {

// Records the cancel-mode notification while it holds the mouse.
class TGrabbingWidget final : public QWidget
{
public:
    bool Cancelled = false;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == CancelModeEventType())
            Cancelled = true;
        return QWidget::event(event);
    }
};

struct TShownBox {
    QString Text;
    // What a screen reader reads of the message.
    QString Spoken;
    QString Caption;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    int Buttons = 0;
    QString ButtonText;
    bool GrabCancelledBefore = false;
};

} // namespace

class TestApplication : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void titleFromExecutable_data();
    void titleFromExecutable();
    void displayText_data();
    void displayText();
    void errorBox();
    void failuresAtTheBoundary();
    void programIcon();
};

void TestApplication::titleFromExecutable_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("upper case") << QStringLiteral("/opt/KESTRUN.EXE") << QStringLiteral("Kestrun");
    QTest::newRow("lower case keeps its first") << QStringLiteral("kestrun.exe") << QStringLiteral("kestrun");
    QTest::newRow("cut at the first dot") << QStringLiteral("/x/MY.TAIL.EXE") << QStringLiteral("My");
    QTest::newRow("no extension") << QStringLiteral("/usr/bin/Kestrun") << QStringLiteral("Kestrun");
    QTest::newRow("dot in the folder") << QStringLiteral("/a.b/TaIl") << QStringLiteral("Tail");
    QTest::newRow("one character") << QStringLiteral("K") << QStringLiteral("K");
    QTest::newRow("starts with a dot") << QStringLiteral("/x/.hidden") << QString();
}

void TestApplication::titleFromExecutable()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(TApplication::TitleFromExecutable(path), title);
}

void TestApplication::displayText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    const auto row = [](const char* name, const QString& message, const QString& shown) {
        QTest::newRow(name) << message << shown;
    };
    row("letter", QStringLiteral("Range check error"), QStringLiteral("Range check error."));
    row("digit", QStringLiteral("Cannot open file /tmp/a1"), QStringLiteral("Cannot open file /tmp/a1."));
    row("slash", QStringLiteral("/tmp/"), QStringLiteral("/tmp/."));
    row("colon", QStringLiteral("a:"), QStringLiteral("a:."));
    row("question mark", QStringLiteral("why?"), QStringLiteral("why?."));
    row("period", QStringLiteral("Done."), QStringLiteral("Done."));
    row("comma", QStringLiteral("a,"), QStringLiteral("a,"));
    row("dash", QStringLiteral("a-"), QStringLiteral("a-"));
    row("parenthesis", QStringLiteral("(a)"), QStringLiteral("(a)"));
    row("exclamation", QStringLiteral("a!"), QStringLiteral("a!"));
    row("space", QStringLiteral("a "), QStringLiteral("a "));
    row("apostrophe", QStringLiteral("'' is not a valid floating point value"),
        QStringLiteral("'' is not a valid floating point value."));
    row("ends in apostrophe", QStringLiteral("'x'"), QStringLiteral("'x'"));
    row("double quote", QStringLiteral("\"x\""), QStringLiteral("\"x\""));
    row("non-ASCII", QStringLiteral("Gr\u00fc\u00df"), QStringLiteral("Gr\u00fc\u00df."));
    row("empty", QString(), QString());
}

void TestApplication::displayText()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(DisplayText(message), shown);
}

void TestApplication::errorBox()
{
    TGrabbingWidget grabber;
    grabber.resize(50, 50);
    grabber.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grabber));
    grabber.grabMouse();
    QCOMPARE(QWidget::mouseGrabber(), &grabber);

    TShownBox shown;
    TModalDriver driver([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return;
        shown.Text = box->text();
        shown.Spoken = QAccessible::queryAccessibleInterface(box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
                           ->text(QAccessible::Name);
        shown.Caption = box->windowTitle();
        shown.Icon = box->icon();
        shown.Buttons = box->buttons().size();
        shown.ButtonText = box->buttons().value(0) ? box->buttons().value(0)->text() : QString();
        shown.GrabCancelledBefore = grabber.Cancelled && !QWidget::mouseGrabber();
        box->button(QMessageBox::Ok)->click();
    });
    ShowFailure(QStringLiteral("Cannot open file /tmp/some.log"));

    QVERIFY(driver.Seen());
    QCOMPARE(shown.Text, QStringLiteral("Cannot open file /tmp/some.log."));
    QCOMPARE(shown.Caption, QCoreApplication::applicationName());
    QCOMPARE(shown.Caption, QStringLiteral("tst_application"));
    QCOMPARE(shown.Icon, QMessageBox::Critical);
    QCOMPARE(shown.Buttons, 1);
    QCOMPARE(shown.ButtonText.remove(u'&'), QStringLiteral("OK"));
    QVERIFY(shown.GrabCancelledBefore);

    // Markup in a message is text: a screen reader reads every character.
    for (const QString& markup : {QStringLiteral("Cannot open file /tmp/<b>bold"),
                                  QStringLiteral("'<a href=http:example.org>x</a>' is not a valid floating point value")}) {
        ShowFailure(markup);
        QCOMPARE(shown.Spoken, DisplayText(markup));
    }
}

void TestApplication::failuresAtTheBoundary()
{
    QString text;
    const auto readText = [&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            text = box->text();
            box->button(QMessageBox::Ok)->click();
        }
    };
    {
        TModalDriver driver(readText);
        CallHandler([] { throw TFailure(QStringLiteral("Stream read error")); });
        QCOMPARE(text, QStringLiteral("Stream read error."));
    }
    {
        TModalDriver driver(readText);
        CallHandler([] { throw std::bad_alloc(); });
        QCOMPARE(text, QStringLiteral("Out of memory."));
    }
    // A handler that returns normally shows nothing.
    bool ran = false;
    CallHandler([&] { ran = true; });
    QVERIFY(ran);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestApplication::programIcon()
{
    QImageReader reader(QStringLiteral(":/kestrun.ico"));
    QCOMPARE(reader.imageCount(), 2);
    QList<int> sizes;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY(!image.isNull());
        sizes << image.width();
        QCOMPARE(image.width(), image.height());
        // The mask makes the corners transparent; the tip of the pyramid is
        // drawn at the bottom centre.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(image.width() / 2, image.height() - 3)), 255);
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                colours.insert(image.pixel(x, y));
        QVERIFY(colours.size() <= 16 + 1);
        for (QRgb colour : colours)
            QVERIFY(qAlpha(colour) == 0 || (qRed(colour) == qGreen(colour) && qGreen(colour) == qBlue(colour)));
    }
    std::sort(sizes.begin(), sizes.end());
    QCOMPARE(sizes, (QList<int>{16, 32}));
    // The window icon adds larger pictures for docks and task switchers.
    QList<int> iconSizes;
    for (const QSize size : TApplication::ProgramIcon().availableSizes())
        iconSizes << size.width();
    std::sort(iconSizes.begin(), iconSizes.end());
    QCOMPARE(iconSizes, (QList<int>{16, 32, 48, 128}));
    QVERIFY(!QApplication::windowIcon().isNull());
}

KESTRUN_APP_TEST_MAIN(TestApplication)

#include "tst_application.moc"
