// The text area's text on its own: the display rules, edits and undo against
// a plain QString reference, and comparing a loaded block with the text.

#include "tests/textarea/MemoReference.h"

#include <QRandomGenerator>
#include <QTest>

using namespace MemoReference;

namespace {

// Random bytes of one flavour, never a zero byte (a zero ends the text).
QByteArray RandomBytes(const QByteArray& flavour, int size, QRandomGenerator& random)
{
    static const QList<QByteArray> utf8 = {"a", "b", " ", "\n", "\r\n", "\xc3\xa9", "\xe2\x82\xac",
                                           "\xf0\x9f\x98\x80", "\xe2\x82", "\xff", "\r"};
    QByteArray out;
    while (out.size() < size) {
        if (flavour == "log")
            out += random.bounded(60) == 0 ? '\n' : char('a' + random.bounded(26));
        else if (flavour == "line ends")
            out += "a\r\n"[random.bounded(3)];
        else if (flavour == "utf-8")
            out += utf8[random.bounded(utf8.size())];
        else
            out += char(1 + random.bounded(255));
    }
    if (flavour == "starts inside a character")
        out.prepend("\x82\xac");
    return out;
}

// The random edits' choices: texts from a pool of line ends, characters
// outside the first plane, lone surrogates, and pieces of the text itself.
struct TRandomChoices {
    QRandomGenerator& Random;

    qint64 Below(qint64 n) { return Random.bounded(n); }
    QString Text(const QString& reference)
    {
        static const QStringList pool = {
            QStringLiteral("x"), QStringLiteral("\r\n"), QStringLiteral("\r"), QStringLiteral("\n"),
            QString::fromUtf8("é€"), QString::fromUtf8("😀"), QString(QChar(0xD800)),
            QString(QChar(0x2029)), QStringLiteral("ab\rcd\r\nef\n"), QString(QChar(0xFFFD))};
        if (Random.bounded(4) == 0 && !reference.isEmpty())
            return reference.mid(Random.bounded(reference.size()), Random.bounded(200));
        return pool[Random.bounded(pool.size())];
    }
};

} // namespace

class TestMemoText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void displayRules_data();
    void displayRules();
    void randomEdits_data();
    void randomEdits();
    void typingAndDeletingMergeIntoOneUndo();
    void sameText_data();
    void sameText();
};

void TestMemoText::displayRules_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("mixed line ends") << QByteArray("one\rtwo\nthree\n\rfour")
                                     << QStringLiteral("one\ntwo\nthree\n\nfour");
    QTest::newRow("CR LF is one") << QByteArray("a\r\nb") << QStringLiteral("a\nb");
    QTest::newRow("LF CR is two") << QByteArray("a\n\rb") << QStringLiteral("a\n\nb");
    QTest::newRow("CR CR LF is two") << QByteArray("a\r\r\nb") << QStringLiteral("a\n\nb");
    QTest::newRow("tabs and controls pass") << QByteArray("a\tb\x01\x7f") << QStringLiteral("a\tb\x01\x7f");
    QTest::newRow("cut at the first zero") << QByteArray("0123456789\0rest\0", 16)
                                           << QStringLiteral("0123456789");
    QTest::newRow("zero first") << QByteArray("\0abc", 4) << QString();
    QTest::newRow("utf-8") << QByteArray("gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80")
                           << QString::fromUtf8("grüß € 😀");
    QTest::newRow("starts inside a 2-byte character") << QByteArray("\xbc" "ab") << QStringLiteral("\uFFFDab");
    QTest::newRow("starts inside a 4-byte character") << QByteArray("\x9f\x98\x80" "ab")
                                                       << QStringLiteral("\uFFFDab");
    QTest::newRow("invalid byte") << QByteArray("a\xff" "b") << QStringLiteral("a\uFFFDb");
    QTest::newRow("cut sequence before a line end") << QByteArray("a\xe2\n") << QStringLiteral("a\uFFFD\n");
    QTest::newRow("overlong") << QByteArray("\xc0\xaf") << QStringLiteral("\uFFFD\uFFFD");
    QTest::newRow("surrogate") << QByteArray("x\xed\xa0\x80") << QStringLiteral("x\uFFFD\uFFFD\uFFFD");
    QTest::newRow("past U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << QStringLiteral("\uFFFD\uFFFD\uFFFD\uFFFD");
    // A CR LF split by each edge the scan works with: a 64-byte block, and
    // the index marks about every 4,096 bytes.
    QByteArray straddling = QByteArray("0123456789abcdef").repeated(1300);
    for (const qsizetype cr : {63, 127, 4095, 8191, 12287})
        straddling.replace(cr, 2, "\r\n");
    QString expected = QString::fromLatin1(straddling);
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTest::newRow("CR LF across scan blocks and index marks") << straddling << expected;
    const QByteArray mixed = QByteArray("gr\xc3\xbc\xc3\x9f\r\n\xf0\x9f\x98\x80 ").repeated(400);
    QTest::newRow("a zero far in") << mixed + QByteArray("\0rest", 5) << TextOf(mixed);
}

void TestMemoText::displayRules()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    TMemoText model;
    model.Load(StoreOf(bytes));
    QCOMPARE(model.Text(), text);
    QCOMPARE(model.Text(), TextOf(bytes));
    QCOMPARE(model.LineCount(), text.count(u'\n') + 1);
    // The same bytes indexed as they arrive, in pieces of several sizes.
    for (const qsizetype piece : {1, 7, 65, 333}) {
        TBlockBytes block(static_cast<char*>(std::malloc(std::size_t(bytes.size()) + 1)));
        std::memcpy(block.get(), bytes.constData(), std::size_t(bytes.size()));
        TTextStore store = TTextStore::Reading(block.get(), bytes.size());
        for (qsizetype arrived = piece; arrived < bytes.size() && store.Grow(arrived); arrived += piece) {
        }
        store.Finish(bytes.size(), std::move(block));
        TMemoText grown;
        grown.Load(std::move(store));
        QCOMPARE(grown.Text(), text);
        QCOMPARE(grown.LineCount(), model.LineCount());
    }
}

void TestMemoText::randomEdits_data()
{
    QTest::addColumn<QByteArray>("flavour");
    QTest::addColumn<int>("size");
    for (const char* flavour : {"log", "line ends", "utf-8", "any byte", "starts inside a character"})
        for (int size : {0, 300, 20000})
            QTest::addRow("%s, %d bytes", flavour, size) << QByteArray(flavour) << size;
}

void TestMemoText::randomEdits()
{
    QFETCH(QByteArray, flavour);
    QFETCH(int, size);
    QRandomGenerator random(size * 31 + flavour.size());
    TChecker checker(RandomBytes(flavour, size, random));
    QCOMPARE(checker.Check(random.generate()), QString());

    TRandomChoices choices{random};
    qint64 caret = 0;
    for (int step = 0; step < 600; ++step) {
        RandomEdit(checker, caret, choices);
        const QString fault = checker.Check(random.generate());
        if (!fault.isEmpty())
            QFAIL(qPrintable(QStringLiteral("step %1: %2").arg(step).arg(fault)));
    }
}

void TestMemoText::typingAndDeletingMergeIntoOneUndo()
{
    TMemoText model;
    model.Load(StoreOf("hello world"));
    for (int i = 0; i < 3; ++i)
        model.Replace(5 + i, 5 + i, QString(QChar(u"xyz"[i])), TEditKind::ekTyping);
    QCOMPARE(model.Text(), QStringLiteral("helloxyz world"));
    for (int i = 0; i < 2; ++i)
        model.Replace(8 - i - 1, 8 - i, {}, TEditKind::ekDeleteBack);
    for (int i = 0; i < 2; ++i)
        model.Replace(6, 7, {}, TEditKind::ekDeleteForward);
    QCOMPARE(model.Text(), QStringLiteral("helloxorld"));

    const QStringList expected = {QStringLiteral("hellox world"), QStringLiteral("helloxyz world"),
                                  QStringLiteral("hello world")};
    for (const QString& text : expected) {
        QVERIFY(model.CanUndo());
        model.Undo();
        QCOMPARE(model.Text(), text);
    }
    QVERIFY(!model.CanUndo());

    // Typing after a break starts a new step even where it continues the
    // typing before; a load forgets all steps.
    model.Redo();
    model.Replace(8, 8, u"!", TEditKind::ekTyping);
    model.BreakMerge();
    model.Replace(9, 9, u"?", TEditKind::ekTyping);
    model.Undo();
    QCOMPARE(model.Text(), QStringLiteral("helloxyz! world"));
    model.Load(StoreOf("new"));
    QVERIFY(!model.CanUndo() && !model.CanRedo());
}

void TestMemoText::sameText_data()
{
    QTest::addColumn<QByteArray>("loaded");
    QTest::addColumn<QByteArray>("incoming");
    QTest::addColumn<bool>("same");
    QTest::newRow("same bytes") << QByteArray("a\nb") << QByteArray("a\nb") << true;
    QTest::newRow("CR LF shows as LF") << QByteArray("a\r\nb") << QByteArray("a\nb") << true;
    QTest::newRow("two broken bytes") << QByteArray("a\xff") << QByteArray("a\xfe") << true;
    QTest::newRow("one character differs") << QByteArray("abc") << QByteArray("abd") << false;
    QTest::newRow("one line end more") << QByteArray("a\n") << QByteArray("a\n\n") << false;
    const QByteArray big = QByteArray("line of a log\n").repeated(200000);
    QTest::newRow("big, last byte differs") << big << big.chopped(1) + "x" << false;
}

void TestMemoText::sameText()
{
    QFETCH(QByteArray, loaded);
    QFETCH(QByteArray, incoming);
    QFETCH(bool, same);
    TMemoText model;
    model.Load(StoreOf(loaded));
    QCOMPARE(model.SameText(StoreOf(incoming)), same);
    // After an edit that changes nothing visible the text still compares.
    model.Replace(0, 1, TextOf(loaded).left(1));
    QCOMPARE(model.SameText(StoreOf(incoming)), same);
}

QTEST_GUILESS_MAIN(TestMemoText)
#include "tst_memotext.moc"
