// The main window as the user meets it: its layout, focus and keyboard,
// loads through LoadTail and through the real file dialog, and the error box.

#include "app/NumberField.h"
#include "app/Unit1.h"
#include "base/Failure.h"
#include "base/FormLayout.h"
#include "textarea/Memo.h"
#include "textarea/MemoText.h"
#include "tests/Harness.h"
#include "tests/app/AppTestMain.h"
#include "tests/app/ModalDriver.h"

#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Runs LoadTail as the dialog would leave it; returns the failure text, or
// nothing when the load succeeded.
QString Load(TForm1& form, const QString& number, const QString& path)
{
    form.ebReadNum->setText(number);
    form.OpenDialog1.SetFileName(path);
    return FailureOf([&] { form.LoadTail(); });
}

QString Shown(const TForm1& form)
{
    return form.Memo1->Text();
}

// Answers the file dialog with a path, or cancels it with an empty one; closes
// error boxes and keeps their texts.
struct TUser {
    QString Path;
    QStringList Boxes;
    QString Prefilled;
    QPoint DialogPos;
    QPoint ExpectedDialogPos;
    bool Resizable = false;
    QFileDialog::FileMode Mode = QFileDialog::ExistingFile;

    void Answer(QWidget* modal)
    {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            Boxes << box->windowTitle() + u'|' + box->text();
            box->button(QMessageBox::Ok)->click();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            Prefilled = dialog->selectedFiles().value(0);
            DialogPos = dialog->pos();
            ExpectedDialogPos = DialogTopLeft(dialog->screen()->geometry(), dialog->frameGeometry().size());
            Resizable = dialog->isSizeGripEnabled();
            Mode = dialog->fileMode();
            if (Path.isEmpty()) {
                dialog->reject();
            } else {
                // Type the path into the name box and confirm, as a user does.
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                QVERIFY(name);
                name->setText(Path);
                QMetaObject::invokeMethod(dialog, "accept");
            }
        }
    }
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void startUp();
    void tabOrder();
    void anchorsOnResize();
    void anchoredGeometry_data();
    void anchoredGeometry();
    void scalingToTheFont();
    void dialogPlacement();

    void loadsTheTail();
    void lineEndsAndZeroBytes();
    void failuresKeepTheText_data();
    void failuresKeepTheText();
    void lockedFileKeepsTheText();
    void sameTextKeepsTheView();
    void linesLaidOutAheadPlaceAsFreshOnes();
    void decimalSeparatorFollowsTheLocale();

    void cancelReadsNothing();
    void dialogReadsNoFile();
    void dialogLoadsAndRemembersThePath();
    void dialogFailuresShowTheErrorBox();
    void longPaths();
    void nothingIsStored();
    void closingEndsTheProgram();

private:
    QString Path(const char* name) const { return FDir.filePath(QString::fromUtf8(name)); }

    QTemporaryDir FDir;
    std::unique_ptr<TForm1> FForm;
};

void TestMainWindow::init()
{
    FForm = std::make_unique<TForm1>();
    FForm->show();
    QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
}

void TestMainWindow::cleanup()
{
    FForm.reset();
}

void TestMainWindow::startUp()
{
    TForm1& form = *FForm;
    QCOMPARE(form.windowTitle(), QStringLiteral("Kestrun 1.0"));
    QCOMPARE(form.pos(), QPoint(293, 203));
    QCOMPARE(form.size(), QSize(385, 377));
    QCOMPARE(form.backgroundRole(), QPalette::Button);
    QCOMPARE(form.font().pixelSize(), 11);
    QCOMPARE(QFontMetrics(form.font()).height(), DesignZeroHeight);

    QCOMPARE(form.Memo1->geometry(), QRect(16, 60, 357, 301));
    QCOMPARE(form.bbOpen->geometry(), QRect(296, 16, 37, 25));
    QCOMPARE(form.ebReadNum->geometry(), QRect(176, 20, 65, 21));
    QCOMPARE(form.Label1->pos(), QPoint(88, 24));
    QCOMPARE(form.Label1->height(), 13);
    QCOMPARE(form.Label1->text(), QStringLiteral("Last MB to open"));
    QCOMPARE(form.Label1->focusPolicy(), Qt::NoFocus);

    QCOMPARE(form.ebReadNum->text(), QStringLiteral("0.5"));
    QCOMPARE(form.bbOpen->text(), QStringLiteral("..."));
    QCOMPARE(form.bbOpen->font().pixelSize(), 16);
    QVERIFY(form.bbOpen->font().bold());
    QVERIFY(!form.bbOpen->isDefault());
    QVERIFY(!form.bbOpen->autoDefault());

    QVERIFY(form.Memo1->Text().isEmpty());
    QCOMPARE(form.Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(form.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(QApplication::focusWidget(), form.Memo1);
}

void TestMainWindow::tabOrder()
{
    TForm1& form = *FForm;
    QCOMPARE(QApplication::focusWidget(), form.Memo1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.bbOpen);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.ebReadNum);
    QCOMPARE(form.ebReadNum->selectedText(), QStringLiteral("0.5"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.Memo1);
    // Tab in the text area moves on; it types no tab character.
    QVERIFY(form.Memo1->Text().isEmpty());
}

void TestMainWindow::anchorsOnResize()
{
    TForm1& form = *FForm;
    form.resize(485, 427);
    QCOMPARE(form.Memo1->geometry(), QRect(16, 60, 457, 351));
    QCOMPARE(form.bbOpen->geometry(), QRect(296, 16, 37, 25));
    QCOMPARE(form.ebReadNum->geometry(), QRect(176, 20, 65, 21));
    QCOMPARE(form.Label1->pos(), QPoint(88, 24));
    form.resize(385, 377);
    QCOMPARE(form.Memo1->geometry(), QRect(16, 60, 357, 301));
    // No minimum size: the text area shrinks to nothing, never below.
    form.resize(20, 50);
    QCOMPARE(form.Memo1->size(), QSize(0, 0));
}

void TestMainWindow::anchoredGeometry_data()
{
    QTest::addColumn<QString>("anchors");
    QTest::addColumn<QRect>("expected");
    // Designed at 100, 50, 40 x 20 in a 300 x 200 parent; the parent grows by 60 x 30.
    QTest::newRow("left top") << QStringLiteral("left,top") << QRect(100, 50, 40, 20);
    QTest::newRow("all four") << QStringLiteral("left,top,right,bottom") << QRect(100, 50, 100, 50);
    QTest::newRow("right bottom") << QStringLiteral("right,bottom") << QRect(160, 80, 40, 20);
    QTest::newRow("none keeps the centre") << QString() << QRect(130, 65, 40, 20);
}

void TestMainWindow::anchoredGeometry()
{
    QFETCH(QString, anchors);
    QFETCH(QRect, expected);
    const TAnchors parsed = anchors.isEmpty() ? TAnchors() : AnchorsFromText(anchors);
    QCOMPARE(AnchoredGeometry(QRect(100, 50, 40, 20), QSize(300, 200), QSize(360, 230), parsed), expected);
    // An empty list in a layout means left, top.
    QCOMPARE(AnchorsFromText(QString()), TAnchor::akLeft | TAnchor::akTop);
}

void TestMainWindow::scalingToTheFont()
{
    // A form whose font is not 13 pixels high scales by the measured height / 13.
    QWidget form;
    form.resize(385, 377);
    auto* child = new QWidget(&form);
    child->setGeometry(16, 60, 357, 301);
    auto* ownFont = new QWidget(&form);
    ownFont->setGeometry(296, 16, 37, 25);
    ownFont->setFont(DesignFont(16, true));
    form.setFont(DesignFont(22));
    const int measured = ScaleFormToScreen(&form, 96);
    QVERIFY(measured != DesignZeroHeight);
    // Each rounded to the nearest, halves away from zero.
    const auto scaled = [measured](int v) { return int(std::lround(double(v) * measured / 13)); };
    QCOMPARE(child->geometry(), QRect(scaled(16), scaled(60), scaled(357), scaled(301)));
    QCOMPARE(ownFont->font().pixelSize(), scaled(16));
    QCOMPARE(form.size(), QSize(scaled(385), scaled(377)));

    // At 96 dpi with the designed font nothing changes.
    QWidget plain;
    plain.resize(385, 377);
    plain.setFont(DesignFont(11));
    QCOMPARE(ScaleFormToScreen(&plain, 96), 13);
    QCOMPARE(plain.size(), QSize(385, 377));
    // At 192 dpi the font doubles first.
    QWidget doubled;
    doubled.setFont(DesignFont(11));
    ScaleFormToScreen(&doubled, 192);
    QCOMPARE(doubled.font().pixelSize(), 22);

    QCOMPARE(MulDivRound(13, 1, 2), 7);
    QCOMPARE(MulDivRound(-13, 1, 2), -7);
}

void TestMainWindow::dialogPlacement()
{
    QCOMPARE(DialogTopLeft(QRect(0, 0, 1280, 1024), QSize(600, 400)), QPoint(340, 208));
    QCOMPARE(DialogTopLeft(QRect(1280, 0, 1920, 1080), QSize(601, 401)), QPoint(1280 + 659, 226));
    // Larger than the monitor: the divisions truncate toward zero.
    QCOMPARE(DialogTopLeft(QRect(0, 0, 100, 100), QSize(201, 201)), QPoint(-50, -33));

    // The main window keeps its place where it fits and moves just enough
    // where it does not, never past the left or top edge.
    const QRect screen(0, 0, 640, 512);
    QCOMPARE(KeptOnScreen(QRect(293, 203, 393, 404), QRect(0, 0, 1280, 1024)), QPoint(293, 203));
    QCOMPARE(KeptOnScreen(QRect(293, 203, 393, 404), screen), QPoint(247, 108));
    QCOMPARE(KeptOnScreen(QRect(293, 203, 393, 404), screen.adjusted(0, 0, 0, -30)), QPoint(247, 78));
    QCOMPARE(KeptOnScreen(QRect(-20, -5, 100, 100), screen.translated(1280, 0)), QPoint(1280, 0));
    QCOMPARE(KeptOnScreen(QRect(293, 203, 700, 600), screen), QPoint(0, 0));
}

void TestMainWindow::loadsTheTail()
{
    TForm1& form = *FForm;
    QByteArray content;
    for (int i = 0; content.size() < 300'000; ++i)
        content += "2026-12-08 17:00:00 INFO request " + QByteArray::number(i) + " served\n";
    content.truncate(300'000);
    QVERIFY(WriteFile(Path("short.log"), content));
    QCOMPARE(Load(form, QStringLiteral("0.5"), Path("short.log")), QString());
    QCOMPARE(Shown(form), QString::fromLatin1(content));
    QCOMPARE(form.Memo1->CursorPosition(), 0);

    QVERIFY(WriteFile(Path("long.log"), content.repeated(34).left(10'000'000)));
    QCOMPARE(Load(form, QStringLiteral("0.5"), Path("long.log")), QString());
    QCOMPARE(Shown(form), QString::fromLatin1(content.repeated(34).left(10'000'000).right(500'000)));
    QCOMPARE(form.Memo1->verticalScrollBar()->value(), 0);

    QVERIFY(WriteFile(Path("empty.log"), QByteArray()));
    QCOMPARE(Load(form, QStringLiteral("0.5"), Path("empty.log")), QString());
    QVERIFY(Shown(form).isEmpty());

    // Zero bytes read nothing and empty the text area, from any file that opens.
    Load(form, QStringLiteral("0.5"), Path("short.log"));
    for (const char* zero : {"0", ".", "0.0000005"}) {
        QCOMPARE(Load(form, QString::fromLatin1(zero), Path("short.log")), QString());
        QVERIFY(Shown(form).isEmpty());
    }
    QCOMPARE(Load(form, QStringLiteral("0"), Path("missing.log")),
             QStringLiteral("Cannot open file ") + Path("missing.log"));

    // A tail that starts inside a character: one replacement character there.
    QVERIFY(WriteFile(Path("euro.txt"), "\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac"));
    QCOMPARE(Load(form, QStringLiteral("0.000008"), Path("euro.txt")), QString());
    QCOMPARE(Shown(form), QStringLiteral("\uFFFD\u20AC\u20AC"));
}

void TestMainWindow::lineEndsAndZeroBytes()
{
    TForm1& form = *FForm;
    QVERIFY(WriteFile(Path("ends.txt"), "one\rtwo\nthree\n\rfour"));
    QCOMPARE(Load(form, QStringLiteral("1"), Path("ends.txt")), QString());
    QCOMPARE(form.Memo1->Model().LineCount(), 5);
    QCOMPARE(Shown(form), QStringLiteral("one\ntwo\nthree\n\nfour"));

    QVERIFY(WriteFile(Path("zero.bin"), QByteArray("0123456789\0after the zero", 25)));
    QCOMPARE(Load(form, QStringLiteral("1"), Path("zero.bin")), QString());
    QCOMPARE(Shown(form), QStringLiteral("0123456789"));

    QVERIFY(WriteFile(Path("crlf.txt"), "first\r\nsecond\r\n"));
    QCOMPARE(Load(form, QStringLiteral("0.000009"), Path("crlf.txt")), QString());
    QCOMPARE(Shown(form), QStringLiteral("\nsecond\n"));
}

void TestMainWindow::failuresKeepTheText_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");

    QTest::newRow("not a number") << QStringLiteral("abc") << QStringLiteral("text.log")
                                  << QStringLiteral("'abc' is not a valid floating point value");
    QTest::newRow("empty number") << QString() << QStringLiteral("text.log")
                                  << QStringLiteral("'' is not a valid floating point value");
    QTest::newRow("negative") << QStringLiteral("-0.5") << QStringLiteral("text.log")
                              << QStringLiteral("Range check error");
    QTest::newRow("too big") << QStringLiteral("1e13") << QStringLiteral("text.log")
                             << QStringLiteral("Invalid floating point operation");
    QTest::newRow("overflow") << QStringLiteral("1e4930") << QStringLiteral("text.log")
                              << QStringLiteral("Floating point overflow");
    QTest::newRow("bad number before a missing file")
        << QStringLiteral("abc") << QStringLiteral("missing.log")
        << QStringLiteral("'abc' is not a valid floating point value");
    QTest::newRow("missing file") << QStringLiteral("0.5") << QStringLiteral("missing.log")
                                  << QStringLiteral("Cannot open file %1");
    QTest::newRow("directory") << QStringLiteral("0.5") << QStringLiteral("folder")
                               << QStringLiteral("Cannot open file %1");
    QTest::newRow("fifo") << QStringLiteral("0.5") << QStringLiteral("pipe")
                          << QStringLiteral("Cannot open file %1");
}

void TestMainWindow::failuresKeepTheText()
{
    QFETCH(QString, number);
    QFETCH(QString, file);
    QFETCH(QString, message);

    QVERIFY(WriteFile(Path("text.log"), "some text\n"));
    QDir(FDir.path()).mkpath(QStringLiteral("folder"));
    if (!QFileInfo::exists(Path("pipe")))
        QCOMPARE(::mkfifo(QFile::encodeName(Path("pipe")).constData(), 0600), 0);

    TForm1& form = *FForm;
    form.Memo1->SetText(QStringLiteral("what the user had"));
    const QString path = FDir.filePath(file);
    QCOMPARE(Load(form, number, path), message.contains(u"%1") ? message.arg(path) : message);
    QCOMPARE(Shown(form), QStringLiteral("what the user had"));
    QCOMPARE(form.ebReadNum->text(), number);
    QCOMPARE(form.OpenDialog1.FileName(), path);
}

void TestMainWindow::lockedFileKeepsTheText()
{
    const QString path = Path("locked.log");
    QVERIFY(WriteFile(path, "locked\n"));
    TForm1& form = *FForm;
    form.Memo1->SetText(QStringLiteral("before"));
    {
        TLockHolder holder(path);
        QVERIFY(holder.Held());
        QCOMPARE(Load(form, QStringLiteral("0.5"), path), QStringLiteral("Cannot open file ") + path);
        QCOMPARE(Shown(form), QStringLiteral("before"));
    }
    QCOMPARE(Load(form, QStringLiteral("0.5"), path), QString());
    QCOMPARE(Shown(form), QStringLiteral("locked\n"));
}

void TestMainWindow::sameTextKeepsTheView()
{
    TForm1& form = *FForm;
    QByteArray content;
    for (int i = 0; content.size() < 600'000; ++i)
        content += "line " + QByteArray::number(i) + " with some words to make it wide enough\n";
    QVERIFY(WriteFile(Path("same.log"), content));

    QCOMPARE(Load(form, QStringLiteral("0.5"), Path("same.log")), QString());
    QScrollBar* vertical = form.Memo1->verticalScrollBar();
    vertical->setValue(300);
    form.Memo1->SetSelection(4000, 4100);
    vertical->setValue(300);

    QCOMPARE(Load(form, QStringLiteral("0.5"), Path("same.log")), QString());
    QCOMPARE(vertical->value(), 300);
    QCOMPARE(form.Memo1->SelectionStart(), 4000);
    QCOMPARE(form.Memo1->SelectionEnd(), 4100);

    // A changed file replaces the text and shows its top.
    QVERIFY(WriteFile(Path("same.log"), content + "one more line\n"));
    QCOMPARE(Load(form, QStringLiteral("0.5"), Path("same.log")), QString());
    QCOMPARE(vertical->value(), 0);
    QCOMPARE(form.Memo1->CursorPosition(), 0);
    QVERIFY(!form.Memo1->HasSelection());

    // A file shorter than the block always replaces: the view goes back up.
    QVERIFY(WriteFile(Path("small.log"), content.left(200'000)));
    QCOMPARE(Load(form, QStringLiteral("0.5"), Path("small.log")), QString());
    vertical->setValue(200);
    QCOMPARE(Load(form, QStringLiteral("0.5"), Path("small.log")), QString());
    QCOMPARE(vertical->value(), 0);

    // A tail read in several pieces that differs only in its last byte
    // replaces, lines and all (the index skips the pieces that were the same).
    const QByteArray big = content.repeated(6);
    QVERIFY(WriteFile(Path("big.log"), big));
    QCOMPARE(Load(form, QStringLiteral("3"), Path("big.log")), QString());
    vertical->setValue(300);
    const QByteArray changed = big.chopped(1) + 'X';
    QVERIFY(WriteFile(Path("big.log"), changed));
    QCOMPARE(Load(form, QStringLiteral("3"), Path("big.log")), QString());
    QCOMPARE(vertical->value(), 0);
    QCOMPARE(Shown(form), QString::fromLatin1(changed.right(3'000'000)));
    QCOMPARE(form.Memo1->Model().LineCount(), changed.right(3'000'000).count('\n') + 1);
}

void TestMainWindow::linesLaidOutAheadPlaceAsFreshOnes()
{
    // A load lays its first lines out while the rest is read; their places
    // are those of lines laid out afresh from the same text.
    QByteArray content;
    for (int i = 0; content.size() < 3'000'000; ++i)
        content += "\tline " + QByteArray::number(i) + " \xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d mixed\n";
    QVERIFY(WriteFile(Path("ahead.log"), content));
    TForm1& form = *FForm;
    QCOMPARE(Load(form, QStringLiteral("3"), Path("ahead.log")), QString());
    const auto places = [&] {
        QList<QRect> rects;
        for (std::int64_t pos = 0; pos < 400; pos += 3)
            rects << form.Memo1->CharacterRect(pos);
        return rects;
    };
    const QList<QRect> loaded = places();
    form.Memo1->SetText(Shown(form));
    QCOMPARE(loaded, places());
}

void TestMainWindow::decimalSeparatorFollowsTheLocale()
{
    // The separator is the C library's, for the locale the environment names
    // when the desktop announces a change; Qt's data says "\u066B" for ar_EG.
    const QString locales = Path("locales");
    QVERIFY(QDir().mkpath(locales));
    for (const QString& name : {QStringLiteral("de_DE"), QStringLiteral("ar_EG")}) {
        const QString built = locales + u'/' + name + QStringLiteral(".UTF-8");
        QProcess::execute(QStringLiteral("localedef"),
                          {QStringLiteral("-i"), name, QStringLiteral("-f"), QStringLiteral("UTF-8"), built});
        QVERIFY2(QFileInfo::exists(built + QStringLiteral("/LC_NUMERIC")), qPrintable(name));
    }
    const QByteArray oldAll = qgetenv("LC_ALL");
    const auto restore = qScopeGuard([&] {
        qputenv("LC_ALL", oldAll);
        qunsetenv("LOCPATH");
    });
    qputenv("LOCPATH", locales.toLocal8Bit());
    QVERIFY(WriteFile(Path("sep.log"), QByteArray(1'000'000, 'a')));
    const struct {
        const char* Locale;
        QString Number;
        bool Loads;
    } cases[] = {
        {"C", QStringLiteral("0.5"), true},   {"C", QStringLiteral("0,5"), false},
        {"de_DE.UTF-8", QStringLiteral("0,5"), true}, {"de_DE.UTF-8", QStringLiteral("0.5"), false},
        {"ar_EG.UTF-8", QStringLiteral("0.5"), true}, {"no_SUCH.UTF-8", QStringLiteral("0.5"), true},
    };
    for (const auto& c : cases) {
        qputenv("LC_ALL", c.Locale);
        QEvent change(QEvent::LocaleChange);
        QCoreApplication::sendEvent(FForm.get(), &change);
        const QString failure = Load(*FForm, c.Number, Path("sep.log"));
        const QString expected = c.Loads ? QString() : u'\'' + c.Number + QStringLiteral("' is not a valid floating point value");
        QVERIFY2(failure == expected, c.Locale);
    }
}

void TestMainWindow::cancelReadsNothing()
{
    TForm1& form = *FForm;
    form.Memo1->SetText(QStringLiteral("untouched"));
    form.ebReadNum->setText(QStringLiteral("abc"));
    TUser user; // no path: cancel
    TModalDriver driver([&](QWidget* modal) { user.Answer(modal); });
    form.bbOpen->click();
    QCOMPARE(driver.Count(), 1); // the dialog, and no error box
    QVERIFY(user.Boxes.isEmpty());
    QCOMPARE(Shown(form), QStringLiteral("untouched"));
    QVERIFY(form.OpenDialog1.FileName().isEmpty());
}

void TestMainWindow::dialogReadsNoFile()
{
    // A file the dialog lists is never opened to find its icon or type: one
    // in /proc or on a hung mount would block the program.
    const QString folder = Path("listed");
    QVERIFY(QDir().mkpath(folder));
    for (const char* name : {"kmsg", "data.log", "image.png", "script"})
        QVERIFY(WriteFile(folder + u'/' + QLatin1StringView(name), "#!/bin/sh\n\x89PNG\r\n"));
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0);
    const auto closeWatch = qScopeGuard([watch] { ::close(watch); });
    QVERIFY(::inotify_add_watch(watch, QFile::encodeName(folder).constData(), IN_OPEN) >= 0);

    FForm->OpenDialog1.SetFileName(folder + QStringLiteral("/data.log"));
    QStringList types;
    TModalDriver driver([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        auto* model = dialog ? dialog->findChild<QFileSystemModel*>() : nullptr;
        if (!model)
            return;
        const QModelIndex listed = model->index(folder);
        QTRY_COMPARE(model->rowCount(listed), 4);
        // Every row shown with its icon and its type, as the detail view does.
        QTest::qWait(200);
        for (int row = 0; row < 4; ++row) {
            const QModelIndex entry = model->index(row, 0, listed);
            QVERIFY(!model->fileIcon(entry).isNull());
            types << model->fileName(entry) + u'=' + model->type(entry);
        }
        dialog->reject();
    });
    FForm->OpenDialog1.Execute();
    QVERIFY(driver.Seen());
    QCOMPARE(types.size(), 4);

    QStringList opened;
    alignas(inotify_event) char events[4096];
    for (ssize_t got; (got = ::read(watch, events, sizeof events)) > 0;)
        for (char* at = events; at < events + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (!(event->mask & IN_ISDIR) && event->len > 0)
                opened << QString::fromLocal8Bit(event->name);
            at += sizeof(inotify_event) + event->len;
        }
    QVERIFY2(opened.isEmpty(), qPrintable(opened.join(u' ') + u' ' + types.join(u' ')));
}

void TestMainWindow::dialogLoadsAndRemembersThePath()
{
    TForm1& form = *FForm;
    QVERIFY(WriteFile(Path("picked.log"), "picked through the dialog\n"));
    TUser user;
    user.Path = Path("picked.log");
    TModalDriver driver([&](QWidget* modal) { user.Answer(modal); });
    form.bbOpen->click();
    QVERIFY(user.Boxes.isEmpty());
    QCOMPARE(Shown(form), QStringLiteral("picked through the dialog\n"));
    QCOMPARE(form.OpenDialog1.FileName(), Path("picked.log"));
    QVERIFY(user.Resizable);
    QCOMPARE(user.Mode, QFileDialog::AnyFile);
    QCOMPARE(user.DialogPos, user.ExpectedDialogPos);

    // The next run shows the last path; cancelling it keeps everything.
    user.Path.clear();
    form.bbOpen->click();
    QCOMPARE(user.Prefilled, Path("picked.log"));
    QCOMPARE(Shown(form), QStringLiteral("picked through the dialog\n"));

    // Each run's dialog goes with its run, and its name box's completion
    // list with it: nothing is left to pop up over the main window later.
    for (QWidget* top : QApplication::topLevelWidgets())
        QVERIFY2(!qobject_cast<QFileDialog*>(top) && !top->inherits("QAbstractItemView"),
                 top->metaObject()->className());
}

void TestMainWindow::dialogFailuresShowTheErrorBox()
{
    TForm1& form = *FForm;
    form.Memo1->SetText(QStringLiteral("before"));
    TUser user;
    TModalDriver driver([&](QWidget* modal) { user.Answer(modal); });

    // A name that does not exist is accepted by the dialog and fails to open.
    user.Path = Path("does-not-exist.log");
    form.bbOpen->click();
    const QString title = QCoreApplication::applicationName();
    QCOMPARE(user.Boxes, QStringList{title + u'|' + QStringLiteral("Cannot open file ")
                                     + Path("does-not-exist.log") + u'.'});

    // A bad number is reported only after a file was chosen.
    QVERIFY(WriteFile(Path("good.log"), "good\n"));
    user.Path = Path("good.log");
    user.Boxes.clear();
    form.ebReadNum->setText(QStringLiteral("abc"));
    form.bbOpen->click();
    QCOMPARE(user.Boxes, QStringList{title + QStringLiteral("|'abc' is not a valid floating point value.")});
    QCOMPARE(Shown(form), QStringLiteral("before"));
    QCOMPARE(form.ebReadNum->text(), QStringLiteral("abc"));
    QCOMPARE(form.OpenDialog1.FileName(), Path("good.log"));
}

void TestMainWindow::longPaths()
{
    // Far past the 260 characters of other platforms.
    QString folder = FDir.path();
    for (int i = 0; i < 6; ++i)
        folder += u'/' + QString(60, QChar(u'a' + i));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/a-log-with-a-long-name.log");
    QVERIFY(path.size() > 400);
    QVERIFY(WriteFile(path, "deep down\n"));

    TForm1& form = *FForm;
    TUser user;
    user.Path = path;
    TModalDriver driver([&](QWidget* modal) { user.Answer(modal); });
    form.bbOpen->click();
    QVERIFY(user.Boxes.isEmpty());
    QCOMPARE(Shown(form), QStringLiteral("deep down\n"));
    user.Path.clear();
    form.bbOpen->click();
    QCOMPARE(user.Prefilled, path);
}

void TestMainWindow::closingEndsTheProgram()
{
    // An extra top-level window, as an about window will be, does not keep
    // the program running.
    QPointer<QWidget> other = new QWidget(nullptr, Qt::Tool);
    other->show();
    QPointer<QWidget> hidden = new QWidget(nullptr, Qt::Tool);
    bool timedOut = false;
    QTimer::singleShot(0, FForm.get(), [this] { FForm->close(); });
    QTimer::singleShot(10'000, qApp, [&] { timedOut = true; QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!timedOut);
    // What the program does next: the other windows go, the main one stays.
    TApplication::DestroyOtherWindows(FForm.get());
    QVERIFY(other.isNull());
    QVERIFY(hidden.isNull());
    QVERIFY(FForm);
}

void TestMainWindow::nothingIsStored()
{
    // A dialog run for real, confirmed and cancelled: the program keeps
    // nothing of it (Qt's own dialog would store its history and folder).
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    QVERIFY(QFileInfo(configHome).isDir());
    QVERIFY(WriteFile(Path("kept.log"), "kept\n"));
    TUser user;
    TModalDriver driver([&](QWidget* modal) { user.Answer(modal); });
    user.Path = Path("kept.log");
    FForm->bbOpen->click();
    QCOMPARE(Shown(*FForm), QStringLiteral("kept\n"));
    user.Path.clear();
    FForm->bbOpen->click();
    QCOMPARE(user.Prefilled, Path("kept.log"));
    QCOMPARE(QDir(configHome).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

KESTRUN_APP_TEST_MAIN(TestMainWindow)

#include "tst_mainwindow.moc"
