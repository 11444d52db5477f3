// The tail loader on its own: the number grammar and its byte outcomes, the
// bytes-to-text rules, and reading real files from a temporary folder.

#include "app/NativePath.h"
#include "app/NumberField.h"
#include "app/TailFile.h"
#include "textarea/MemoText.h"
#include "base/Failure.h"
#include "tests/ChildProcess.h"
#include "tests/Harness.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The outcome of BytesToRead: the byte count, or the failure text.
QString Outcome(const QString& text, QChar separator)
{
    QString bytes;
    const QString failure = FailureOf([&] { bytes = QString::number(BytesToRead(text, separator)); });
    return failure.isEmpty() ? bytes : failure;
}

QString Invalid(const QString& text)
{
    return u'\'' + text + QStringLiteral("' is not a valid floating point value");
}

// A sparse file of the given size whose last bytes are `tail`.
[[nodiscard]] bool WriteSparseFile(const QString& path, std::int64_t size, const QByteArray& tail)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::ftruncate(fd, size) == 0
        && ::pwrite(fd, tail.constData(), tail.size(), size - tail.size()) == ssize_t(tail.size());
    ::close(fd);
    return written;
}

// What a load of `bytes` bytes of the file at `path` reads.
QByteArray ReadTailBytes(const QString& path, std::int32_t bytes)
{
    TTailBlock block(bytes);
    const TTailFile file(path);
    const std::int64_t count = file.ReadTail(block);
    return QByteArray(block.Data(), count);
}

TBlockBytes ReadTailBlock(const QString& path, std::int32_t bytes)
{
    TTailBlock block(bytes);
    TTailFile(path).ReadTail(block);
    return block.TakeData();
}

QString OpenFailure(const QString& path)
{
    return FailureOf([&] { TTailFile file(path); });
}


} // namespace

class TestTailLoader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bytesFromNumberText_data();
    void bytesFromNumberText();
    void hugeDigitStrings();
    void readsTheTail();
    void startBetweenCrAndLf();
    void sparseFilesPastFourGigabytes();
    void readLongerThanOneSystemRead();
    void refusesWhatIsNotARegularFile();
    void lockedFiles();
    void fileShrinkingDuringTheLoad();
    void namesThatAreNotUtf8_data();
    void namesThatAreNotUtf8();
    void outOfMemory();

private:
    QTemporaryDir FDir;
    QString Path(const char* name) const { return FDir.filePath(QString::fromUtf8(name)); }
};

void TestTailLoader::bytesFromNumberText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("outcome");

    const QChar dot(u'.');
    const QChar comma(u',');
    const auto row = [](const char* name, const QString& text, QChar sep, const QString& outcome) {
        QTest::newRow(name) << text << sep << outcome;
    };
    row("0.5", QStringLiteral("0.5"), dot, QStringLiteral("500000"));
    row("1", QStringLiteral("1"), dot, QStringLiteral("1000000"));
    row("0.3", QStringLiteral("0.3"), dot, QStringLiteral("300000"));
    row("0.000001", QStringLiteral("0.000001"), dot, QStringLiteral("1"));
    row("0.0000005", QStringLiteral("0.0000005"), dot, QStringLiteral("0"));
    row("0.001 one short", QStringLiteral("0.001"), dot, QStringLiteral("999"));
    row("0.000125 one short", QStringLiteral("0.000125"), dot, QStringLiteral("124"));
    row("1e-3 like 0.001", QStringLiteral("1e-3"), dot, QStringLiteral("999"));
    row("2147.483647", QStringLiteral("2147.483647"), dot, QStringLiteral("2147483646"));
    row("2147.483648", QStringLiteral("2147.483648"), dot, QStringLiteral("Range check error"));
    row("0", QStringLiteral("0"), dot, QStringLiteral("0"));
    row("lone separator", QStringLiteral("."), dot, QStringLiteral("0"));
    row("sign and separator", QStringLiteral("-."), dot, QStringLiteral("0"));
    row("spaces around", QStringLiteral("  0.5  "), dot, QStringLiteral("500000"));
    row("+3", QStringLiteral("+3"), dot, QStringLiteral("3000000"));
    row("1e", QStringLiteral("1e"), dot, QStringLiteral("1000000"));
    row("1e+", QStringLiteral("1e+"), dot, QStringLiteral("1000000"));
    row("1e3", QStringLiteral("1e3"), dot, QStringLiteral("1000000000"));
    row("1E2", QStringLiteral("1E2"), dot, QStringLiteral("100000000"));
    row("5.", QStringLiteral("5."), dot, QStringLiteral("5000000"));
    row("-0.5", QStringLiteral("-0.5"), dot, QStringLiteral("Range check error"));
    row("truncates -0.7 to 0", QStringLiteral("-0.0000007"), dot, QStringLiteral("0"));
    row("-2147.483648", QStringLiteral("-2147.483648"), dot, QStringLiteral("Range check error"));
    row("1e12 in range check", QStringLiteral("1e12"), dot, QStringLiteral("Range check error"));
    row("1e13", QStringLiteral("1e13"), dot, QStringLiteral("Invalid floating point operation"));
    row("-1e13", QStringLiteral("-1e13"), dot, QStringLiteral("Invalid floating point operation"));
    row("1e999", QStringLiteral("1e999"), dot, QStringLiteral("Invalid floating point operation"));
    row("1e4930", QStringLiteral("1e4930"), dot, QStringLiteral("Floating point overflow"));
    row("1e4940 overflows", QStringLiteral("1e4940"), dot, Invalid(QStringLiteral("1e4940")));
    row("underflow is zero", QStringLiteral("1e-4999"), dot, QStringLiteral("0"));
    row("1e10000", QStringLiteral("1e10000"), dot, Invalid(QStringLiteral("1e10000")));
    row("empty", QString(), dot, QStringLiteral("'' is not a valid floating point value"));
    row("spaces only", QStringLiteral("   "), dot, Invalid(QStringLiteral("   ")));
    row("leading tab", QStringLiteral("\t0.5"), dot, Invalid(QStringLiteral("\t0.5")));
    row("lone sign", QStringLiteral("-"), dot, Invalid(QStringLiteral("-")));
    row("exponent first", QStringLiteral("e5"), dot, Invalid(QStringLiteral("e5")));
    row("thousands separator", QStringLiteral("1,000"), dot, Invalid(QStringLiteral("1,000")));
    row("trailing letter", QStringLiteral("0.5x"), dot, Invalid(QStringLiteral("0.5x")));
    row("two signs", QStringLiteral("+-1"), dot, Invalid(QStringLiteral("+-1")));
    row("abc", QStringLiteral("abc"), dot, Invalid(QStringLiteral("abc")));
    row("0,5 with dot", QStringLiteral("0,5"), dot, Invalid(QStringLiteral("0,5")));
    row("0,5 with comma", QStringLiteral("0,5"), comma, QStringLiteral("500000"));
    row("0.5 with comma", QStringLiteral("0.5"), comma, Invalid(QStringLiteral("0.5")));
}

void TestTailLoader::bytesFromNumberText()
{
    QFETCH(QString, text);
    QFETCH(QChar, separator);
    QFETCH(QString, outcome);
    QCOMPARE(Outcome(text, separator), outcome);
}

void TestTailLoader::hugeDigitStrings()
{
    // So many digits that accumulating them overflows: not a number.
    const QString nines(6000, u'9');
    QCOMPARE(Outcome(nines, u'.'), Invalid(nines));
    // A power of ten past the extended range divides down to zero.
    const QString tiny = QStringLiteral("0.") + QString(6000, u'0') + u'1';
    QCOMPARE(Outcome(tiny, u'.'), QStringLiteral("0"));
    // 5 x 10^3000 divided by 10^3001 in three rounded steps lands just
    // below one half, like 0.001 lands below one thousandth.
    QCOMPARE(Outcome(QStringLiteral("0.5") + QString(3000, u'0'), u'.'), QStringLiteral("499999"));
}

void TestTailLoader::readsTheTail()
{
    QByteArray content;
    for (int i = 0; content.size() < 10'000'000; ++i)
        content += "line " + QByteArray::number(i) + " of a log that goes on and on\n";
    content.truncate(10'000'000);
    QVERIFY(WriteFile(Path("ten.log"), content));

    QCOMPARE(ReadTailBytes(Path("ten.log"), 500'000), content.right(500'000));
    QCOMPARE(ReadTailBytes(Path("ten.log"), 0), QByteArray());
    // The pieces are published in order as they arrive, up to the whole
    // tail; a stop asked before the reader starts ends the read at once,
    // without failing.
    TTailBlock whole(10'000'000);
    const TTailFile ten(Path("ten.log"));
    for (const bool stop : {true, false}) {
        TArrivals arrivals(whole.Data(), whole.Size());
        TArrivalsView view(arrivals);
        if (stop)
            view.Stop();
        std::thread reader([&] {
            TArrivalsWriter writer(arrivals);
            ten.ReadTail(writer);
        });
        std::vector<std::int64_t> counts{0};
        for (std::int64_t in = 0; (in = view.Wait(counts.back())) > counts.back();)
            counts.push_back(in);
        reader.join();
        QVERIFY(!view.Failed());
        QVERIFY(std::is_sorted(counts.begin(), counts.end()));
        QCOMPARE(counts.back(), stop ? 0 : 10'000'000);
    }
    QCOMPARE(QByteArray(whole.Data(), 10'000'000), content);

    const QByteArray shortContent = content.left(300'000);
    QVERIFY(WriteFile(Path("short.log"), shortContent));
    TTailBlock block(500'000);
    {
        const TTailFile file(Path("short.log"));
        QCOMPARE(file.Size(), 300'000);
        QCOMPARE(file.ReadTail(block), 300'000);
    }
    QCOMPARE(QByteArray(block.Data(), 300'000), shortContent);
    // The rest of the block stays zero.
    QCOMPARE(QByteArray(block.Data() + 300'000, 200'000), QByteArray(200'000, '\0'));

    QVERIFY(WriteFile(Path("empty.log"), QByteArray()));
    QCOMPARE(ReadTailBytes(Path("empty.log"), 500'000), QByteArray());
}

void TestTailLoader::startBetweenCrAndLf()
{
    QVERIFY(WriteFile(Path("crlf.log"), "first\r\nsecond\r\n"));
    const QByteArray tail = ReadTailBytes(Path("crlf.log"), 9);
    QCOMPARE(tail, QByteArray("\nsecond\r\n"));
    TMemoText text;
    text.Load(TTextStore(ReadTailBlock(Path("crlf.log"), 9), 9));
    QCOMPARE(text.Text(), QStringLiteral("\nsecond\n"));
}

void TestTailLoader::sparseFilesPastFourGigabytes()
{
    const QByteArray tail = QByteArray("the end of a very large file\n").repeated(20'000).right(500'000);
    QVERIFY(WriteSparseFile(Path("three.bin"), 3'000'000'000LL, tail));
    QCOMPARE(ReadTailBytes(Path("three.bin"), 500'000), tail);

    QVERIFY(WriteSparseFile(Path("hundred.bin"), 100'000'000'000LL, tail));
    QCOMPARE(ReadTailBytes(Path("hundred.bin"), 500'000), tail);

    // Where the old limit of start = 2,147,483,647 lay.
    QVERIFY(WriteSparseFile(Path("edge.bin"), 2'147'983'647LL, tail));
    QCOMPARE(ReadTailBytes(Path("edge.bin"), 500'000), tail);
}

void TestTailLoader::readLongerThanOneSystemRead()
{
    // One read returns at most 2,147,479,552 bytes; the largest block needs two.
    const QByteArray marker("marker at the very end");
    QVERIFY(WriteSparseFile(Path("big.bin"), 2'200'000'000LL, marker));
    TTailBlock block(INT32_MAX);
    const TTailFile file(Path("big.bin"));
    QCOMPARE(file.ReadTail(block), std::int64_t(INT32_MAX));
    QCOMPARE(QByteArray(block.Data() + INT32_MAX - marker.size(), marker.size()), marker);
}

void TestTailLoader::refusesWhatIsNotARegularFile()
{
    const QString missing = Path("missing.log");
    QCOMPARE(OpenFailure(missing), QStringLiteral("Cannot open file ") + missing);
    QCOMPARE(OpenFailure(FDir.path()), QStringLiteral("Cannot open file ") + FDir.path());
    QCOMPARE(OpenFailure(QString()), QStringLiteral("Cannot open file "));

    // Opening a FIFO for reading would wait for a writer forever.
    const QString fifo = Path("pipe");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QCOMPARE(OpenFailure(fifo), QStringLiteral("Cannot open file ") + fifo);
    QCOMPARE(OpenFailure(QStringLiteral("/dev/null")), QStringLiteral("Cannot open file /dev/null"));

    // A path with a NUL in it must not open the part before the NUL.
    QVERIFY(WriteFile(Path("real.log"), "x"));
    QCOMPARE(OpenFailure(Path("real.log") + QChar(u'\0') + QStringLiteral("more")),
             QStringLiteral("Cannot open file ") + Path("real.log") + QChar(u'\0') + QStringLiteral("more"));

    // A symbolic link to a regular file is that file.
    QVERIFY(QFile::link(Path("real.log"), Path("link.log")));
    QCOMPARE(ReadTailBytes(Path("link.log"), 10), QByteArray("x"));
}

void TestTailLoader::lockedFiles()
{
    const QString path = Path("locked.log");
    QVERIFY(WriteFile(path, "locked content\n"));
    {
        TLockHolder holder(path);
        QVERIFY(holder.Held());
        QCOMPARE(OpenFailure(path), QStringLiteral("Cannot open file ") + path);
    }
    // While a load holds the file, another program cannot lock it; after,
    // it can.
    const auto otherProgramLocks = [&] {
        return QProcess::execute(QStringLiteral("flock"),
                                 {QStringLiteral("-n"), path, QStringLiteral("true")}) == 0;
    };
    {
        const TTailFile file(path);
        QVERIFY(!otherProgramLocks());
    }
    QVERIFY(otherProgramLocks());
}

void TestTailLoader::fileShrinkingDuringTheLoad()
{
    const QString path = Path("shrinking.log");
    QVERIFY(WriteFile(path, QByteArray(1000, 'a')));
    TTailBlock block(1000);
    const TTailFile file(path);
    QVERIFY(QFile::resize(path, 10));
    QCOMPARE(FailureOf([&] { file.ReadTail(block); }), QStringLiteral("Stream read error"));
}

void TestTailLoader::namesThatAreNotUtf8_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("read");
    const auto row = [](const char* name, const char* typed, const char* read) {
        QTest::newRow(name) << QString::fromUtf8(typed) << QByteArray(read);
    };
    // Files with the Latin-1 names ÿþ-latin1.log, é/inner.log and, twice
    // shown alike, \xe0.log and \xe1.log.
    row("as Qt shows it", "\uFFFD\uFFFD-latin1.log", "latin1");
    row("escaped as ls -b does", "\\377\\376-latin1.log", "latin1");
    row("escaped as bash does", "\\xff\\xfe-latin1.log", "latin1");
    row("a folder escaped", "\\351/inner.log", "inner");
    row("a folder as Qt shows it", "\uFFFD/inner.log", "inner");
    row("two names shown alike", "\uFFFD.log", "");
    row("a name as typed wins", "\\351-named.log", "typed");
}

void TestTailLoader::namesThatAreNotUtf8()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, read);
    const QByteArray folder = QFile::encodeName(FDir.path()) + '/';
    const auto write = [&](const QByteArray& name, const QByteArray& bytes) {
        const int fd = ::open((folder + name).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        return fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size() && ::close(fd) == 0;
    };
    ::mkdir((folder + "\xe9").constData(), 0755);
    // Qt cannot name these to remove them with the folder.
    const auto remove = qScopeGuard([&folder] {
        for (const char* name : {"\xff\xfe-latin1.log", "\xe9/inner.log", "\xe0.log", "\xe1.log", "\\351-named.log",
                                 "\xe9-named.log"})
            ::unlink((folder + name).constData());
        ::rmdir((folder + "\xe9").constData());
    });
    QVERIFY(write("\xff\xfe-latin1.log", "latin1") && write("\xe9/inner.log", "inner")
            && write("\xe0.log", "first") && write("\xe1.log", "second")
            && write("\\351-named.log", "typed") && write("\xe9-named.log", "escaped"));
    const QString path = FDir.filePath(typed);
    if (read.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(TFailure, TTailFile{path});
        return;
    }
    QCOMPARE(ReadTailBytes(path, 100), read);
}

void TestTailLoader::outOfMemory()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("the sanitizers need more address space than the limit below allows");
#endif
    // In a child process with 1 GiB of address space the largest block cannot be had.
    const int status = ExitStatusWithAddressLimit(1LL << 30, [] {
        try {
            TTailBlock block(INT32_MAX);
            return 1;
        } catch (const TFailure& failure) {
            return failure.Message() == u"Out of memory" ? 0 : 2;
        }
    });
    QCOMPARE(status, 0);

    // The text keeps only its own bytes: a 300 MB block read for a 15-byte
    // file is given back, so the next such load has the memory.
    const QString path = Path("short.log");
    QVERIFY(WriteFile(path, "fifteen bytes!\n"));
    const int kept = ExitStatusWithAddressLimit(AddressSpaceInUse() + (450 << 20), [&path] {
        std::vector<TTextStore> shown;
        for (int load = 0; load < 3; ++load) {
            TTailBlock block(300'000'000);
            const std::int64_t count = TTailFile(path).ReadTail(block);
            shown.emplace_back(block.TakeData(), count);
            if (shown.back().Size() != 15)
                return 2;
        }
        return 0;
    });
    QCOMPARE(kept, 0);
}

QTEST_GUILESS_MAIN(TestTailLoader)
#include "tst_tailloader.moc"
