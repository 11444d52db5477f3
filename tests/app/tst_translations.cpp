// Our catalogues: every text of ours translated in each language with its
// placeholders kept, and the program in each language still whole.

#include "app/Unit1.h"
#include "base/Failure.h"
#include "tests/app/AppTestMain.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>

namespace {

// The placeholders a text carries, in order of appearance.
QStringList Placeholders(const QString& text)
{
    QStringList found;
    static const QRegularExpression placeholder(QStringLiteral("%(s|L?\\d+|n)|&(?!&)"));
    for (auto match = placeholder.globalMatch(text); match.hasNext();)
        found << match.next().captured();
    found.sort();
    return found;
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void catalogue_data();
    void catalogue();
    void program_data() { catalogue_data(); }
    void program();
};

void TestTranslations::catalogue_data()
{
    QTest::addColumn<QString>("language");
    for (const char* language : {"de", "ar", "zh_CN"})
        QTest::newRow(language) << QString::fromLatin1(language);
}

// The catalogue, brought up to date with the sources as `make translations`
// would, has a finished translation of every text with the same placeholders.
void TestTranslations::catalogue()
{
    QFETCH(QString, language);
    QTemporaryDir work;
    const QString ts = work.filePath(QStringLiteral("kestrun_%1.ts").arg(language));
    QVERIFY(QFile::copy(QStringLiteral(KESTRUN_SOURCE_DIR "/translations/kestrun_%1.ts").arg(language), ts));
    QProcess lupdate;
    lupdate.setWorkingDirectory(QStringLiteral(KESTRUN_SOURCE_DIR));
    lupdate.start(QStringLiteral(KESTRUN_LUPDATE),
                  {QStringLiteral("-silent"), QStringLiteral("-no-obsolete"), QStringLiteral("-locations"),
                   QStringLiteral("none"), QStringLiteral("-I"), QStringLiteral("."), QStringLiteral("app"),
                   QStringLiteral("about"), QStringLiteral("base"), QStringLiteral("components"),
                   QStringLiteral("textarea"), QStringLiteral("resources"), QStringLiteral("-ts"), ts});
    QVERIFY(lupdate.waitForFinished(60000));
    QCOMPARE(lupdate.exitCode(), 0);

    QFile file(ts);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    int messages = 0;
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1StringView("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1StringView("translation")) {
            const QString type = xml.attributes().value(QStringLiteral("type")).toString();
            const QString translation = xml.readElementText();
            QVERIFY2(type.isEmpty() && !translation.isEmpty(), qPrintable(source + QStringLiteral(" is not translated")));
            QVERIFY2(Placeholders(translation) == Placeholders(source),
                     qPrintable(source + QStringLiteral(" -> ") + translation));
            ++messages;
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(messages > 20);
}

// With the catalogue installed: the window's texts and a failure's are the
// language's, the path in the failure whole, and the caption still ends
// before the field it names.
void TestTranslations::program()
{
    QFETCH(QString, language);
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral("kestrun_") + language, QStringLiteral(KESTRUN_QM_DIR)));
    QCoreApplication::installTranslator(&translator);
    TForm1 form;
    const QString failure = FailureText(QT_TRANSLATE_NOOP("Failure", "Cannot open file %s"), QStringLiteral("/tmp/a%sb"));
    QCoreApplication::removeTranslator(&translator);

    QVERIFY(form.Label1->text() != QStringLiteral("Last MB to open"));
    QVERIFY2(form.Label1->geometry().right() < form.ebReadNum->x(), qPrintable(form.Label1->text()));
    QVERIFY(!failure.startsWith(QStringLiteral("Cannot open file")));
    QVERIFY(failure.contains(QStringLiteral("/tmp/a%sb")));
}

KESTRUN_APP_TEST_MAIN(TestTranslations)

#include "tst_translations.moc"
