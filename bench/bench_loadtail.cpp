// Times a load the way the user sees it: from the path confirmed in the
// dialog to the text painted in Memo1, for one number of megabytes, and
// reports the peak memory of this process; times what a user then does in
// the loaded text. bench/run-bench runs it once per size, so each peak
// belongs to one size alone.
//
//   bench_loadtail --make-log FILE BYTES    write a log of ~100-byte lines
//   bench_loadtail --make-line FILE BYTES   write one line of words, no line end
//   bench_loadtail --make-arabic-line FILE BYTES   the same in Arabic
//   bench_loadtail --make-emoji-line FILE BYTES   one line of emoji with skin tones, no space
//   bench_loadtail --make-token FILE BYTES  one line of letters and digits, no space
//   bench_loadtail FILE MEGABYTES RUNS      time RUNS loads, print one line
//   bench_loadtail --keys FILE MEGABYTES    load once, then time keys, one line each
//   bench_loadtail --first FILE MEGABYTES   the first load of a fresh process, a reload
//                                           and a changed reload: | bytes | ms | peak MB |
//                                           reload ms | reload peak MB | changed reload ms |
//   bench_loadtail --resident FILE MEGABYTES   memory the shown text keeps: | MB asked | MB resident |
//   bench_loadtail --word-keys FILE MEGABYTES  word moves across the first line

#include "app/KestrunApp.h"
#include "app/NumberField.h"
#include "app/Unit1.h"
#include "base/Failure.h"
#include "textarea/MemoText.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QLineEdit>
#include "textarea/Memo.h"
#include <QKeyEvent>
#include <QProcess>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

long PeakKilobytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long CurrentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

int MakeLog(const QString& path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    static const char* const levels[] = {"INFO ", "DEBUG", "WARN ", "INFO ", "ERROR"};
    QByteArray chunk;
    qint64 written = 0;
    for (qint64 i = 0; written < bytes; ++i) {
        QByteArray line = QByteArray("2026-12-08 17:") + QByteArray::number(10 + i / 60000 % 50)
            + ':' + QByteArray::number(10 + i / 1000 % 50) + '.'
            + QByteArray::number(100 + i % 900) + ' ' + levels[i % 5] + " [worker-"
            + QByteArray::number(i % 16) + "] request " + QByteArray::number(i)
            + " served in " + QByteArray::number(i * 7 % 997) + " ms";
        line = line.leftJustified(99, '.') + '\n';
        chunk += line;
        written += line.size();
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    file.resize(bytes);
    return 0;
}

int MakeToken(const QString& path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    QByteArray chunk(1 << 20, 'a');
    for (int i = 0; i < chunk.size(); ++i)
        chunk[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[i * 7 % 36];
    for (qint64 written = 0; written < bytes; written += chunk.size())
        file.write(chunk.left(std::min<qint64>(chunk.size(), bytes - written)));
    return 0;
}

int MakeLine(const QString& path, qint64 bytes, const QByteArray& word, bool words = true)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    QByteArray chunk;
    for (int i = 0; chunk.size() < (1 << 20); ++i)
        chunk += words ? word + QByteArray::number(i % 1000) + ' ' : word;
    for (qint64 written = 0; written < bytes; written += chunk.size())
        file.write(chunk.left(std::min<qint64>(chunk.size(), bytes - written)));
    return 0;
}

// Loads the tail and paints it; the milliseconds it took, or a negative
// number when the load failed (the failure is printed).
double TimedLoad(TForm1& form)
{
    QElapsedTimer timer;
    timer.start();
    try {
        form.LoadTail();
    } catch (const TFailure& failure) {
        std::fprintf(stderr, "load failed: %s\n", failure.what());
        return -1;
    }
    form.Memo1->viewport()->repaint();
    return timer.nsecsElapsed() / 1e6;
}

// The window shown, with the number and the file a load will take.
void Prepare(TForm1& form, const QString& path, const QString& megabytes)
{
    form.show();
    QCoreApplication::processEvents();
    form.ebReadNum->setText(megabytes);
    form.OpenDialog1.SetFileName(path);
}

// The bytes a load of megabytes reads from the file.
qint64 BytesRead(const QString& path, const QString& megabytes)
{
    return std::min<qint64>(BytesToRead(megabytes, u'.'), QFileInfo(path).size());
}

// What a user meets: the first load in this process, pages and all; then a
// reload of the same bytes, which holds the old text while the new block is
// read; then a changed reload, the tail one byte shorter, which replaces the
// text as a reload of a log that grew does.
int FirstLoad(const QString& path, const QString& megabytes)
{
    TForm1 form;
    Prepare(form, path, megabytes);
    const long baseline = CurrentKilobytes();
    const double first = TimedLoad(form);
    const long firstPeak = PeakKilobytes();
    const double reload = TimedLoad(form);
    const long reloadPeak = PeakKilobytes();
    const qint64 bytes = BytesRead(path, megabytes);
    form.ebReadNum->setText(QString::number((bytes - 1) / 1e6, 'f', 6));
    const double changed = TimedLoad(form);
    if (first < 0 || reload < 0 || changed < 0)
        return 1;
    std::printf("| %lld | %.1f | %.0f | %.1f | %.0f | %.1f |\n", bytes, first,
                (firstPeak - baseline) / 1024.0, reload, (reloadPeak - baseline) / 1024.0, changed);
    return 0;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Loads once, then times each key (or key pair) with the repaint it causes,
// as the median of a few presses.
int TimeKeys(const QString& path, const QString& megabytes)
{
    TForm1 form;
    Prepare(form, path, megabytes);
    const double shown = TimedLoad(form);
    if (shown < 0)
        return 1;
    TMemo* memo = form.Memo1;
    std::printf("| load %s MB, shown | %.1f |\n", qPrintable(megabytes), shown);
    memo->setFocus();

    const auto time = [&](const char* what, int key, Qt::KeyboardModifiers modifiers, int presses) {
        std::vector<double> ms;
        for (int i = 0; i < presses; ++i) {
            QElapsedTimer one;
            one.start();
            // As the window system delivers a key: shortcuts first, then the text area.
            QTest::keyClick(memo, Qt::Key(key), modifiers);
            memo->viewport()->repaint();
            ms.push_back(one.nsecsElapsed() / 1e6);
        }
        std::printf("| %s | %.2f |\n", what, Median(ms));
    };
    time("Ctrl+End", Qt::Key_End, Qt::ControlModifier, 1);
    time("Ctrl+Home", Qt::Key_Home, Qt::ControlModifier, 1);
    time("Page Down", Qt::Key_PageDown, Qt::NoModifier, 9);
    time("End", Qt::Key_End, Qt::NoModifier, 1);
    time("a typed character", Qt::Key_X, Qt::NoModifier, 9);
    // From the middle of the text, where Right has somewhere to go.
    memo->SetSelection(memo->Model().Length() / 2, memo->Model().Length() / 2);
    time("Right arrow", Qt::Key_Right, Qt::NoModifier, 9);
    // A page sideways, away from whichever edge the view is at; it must move.
    QScrollBar* bar = memo->horizontalScrollBar();
    std::vector<double> sideways;
    for (int i = 0; i < 9; ++i) {
        const int step = bar->value() + bar->pageStep() <= bar->maximum() ? bar->pageStep() : -bar->pageStep();
        const int before = bar->value();
        QElapsedTimer one;
        one.start();
        bar->setValue(before + step);
        memo->viewport()->repaint();
        if (bar->value() != before)
            sideways.push_back(one.nsecsElapsed() / 1e6);
    }
    if (sideways.empty())
        std::printf("| a page sideways | n/a (the text fits) |\n");
    else
        std::printf("| a page sideways | %.2f |\n", Median(sideways));
    time("Ctrl+A", Qt::Key_A, Qt::ControlModifier, 1);
    time("Delete", Qt::Key_Delete, Qt::NoModifier, 1);
    time("Undo (Ctrl+Z)", Qt::Key_Z, Qt::ControlModifier, 1);
    return 0;
}

// What stays resident once the text is shown: the text, not the block
// read for it when the text is shorter (a short file, an early zero byte).
int Resident(const QString& path, const QString& megabytes)
{
    TForm1 form;
    Prepare(form, path, megabytes);
    const long baseline = CurrentKilobytes();
    if (TimedLoad(form) < 0)
        return 1;
    std::printf("| %s | %lld | %.1f |\n", qPrintable(megabytes), static_cast<long long>(form.Memo1->Model().Length()),
                (CurrentKilobytes() - baseline) / 1024.0);
    return 0;
}

// Word moves from one end of the first line to the other and back, and a
// word deleted, each with its repaint.
int TimeWordKeys(const QString& path, const QString& megabytes)
{
    TForm1 form;
    Prepare(form, path, megabytes);
    if (TimedLoad(form) < 0)
        return 1;
    TMemo* memo = form.Memo1;
    memo->setFocus();
    const auto time = [&](const char* what, int key, Qt::KeyboardModifiers modifiers) {
        const std::int64_t before = memo->CursorPosition();
        QElapsedTimer one;
        one.start();
        QTest::keyClick(memo, Qt::Key(key), modifiers);
        memo->viewport()->repaint();
        std::printf("| %s (%lld characters) | %.2f |\n", what,
                    static_cast<long long>(std::abs(memo->CursorPosition() - before)), one.nsecsElapsed() / 1e6);
    };
    QTest::keyClick(memo, Qt::Key_Home, Qt::ControlModifier);
    time("Ctrl+Right", Qt::Key_Right, Qt::ControlModifier);
    time("Ctrl+Left", Qt::Key_Left, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_End);
    time("Ctrl+Backspace", Qt::Key_Backspace, Qt::ControlModifier);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 4 && args[1] == u"--make-log")
        return MakeLog(args[2], args[3].toLongLong());
    if (args.size() == 4 && args[1] == u"--make-line")
        return MakeLine(args[2], args[3].toLongLong(), "word");
    if (args.size() == 4 && args[1] == u"--make-arabic-line")
        return MakeLine(args[2], args[3].toLongLong(), "\xd9\x85\xd8\xb1\xd8\xad\xd8\xa8\xd8\xa7"); // marhaba
    if (args.size() == 4 && args[1] == u"--make-emoji-line")
        return MakeLine(args[2], args[3].toLongLong(), "\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd", false); // thumbs up, skin tone
    if (args.size() == 4 && args[1] == u"--make-token")
        return MakeToken(args[2], args[3].toLongLong());
    if (args.size() == 4 && args[1] == u"--resident")
        return Resident(args[2], args[3]);
    if (args.size() == 4 && args[1] == u"--word-keys")
        return TimeWordKeys(args[2], args[3]);
    if (args.size() == 4 && args[1] == u"--keys")
        return TimeKeys(args[2], args[3]);
    if (args.size() == 4 && args[1] == u"--first")
        return FirstLoad(args[2], args[3]);
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: bench_loadtail FILE MEGABYTES RUNS\n");
        return 2;
    }
    const QString path = args[1];
    const QString megabytes = args[2];
    const int runs = std::max(1, args[3].toInt());

    TForm1 form;
    Prepare(form, path, megabytes);

    const long baseline = CurrentKilobytes();
    std::vector<double> loadMs;
    for (int run = 0; run < runs; ++run) {
        // Start from an empty text area so that every run replaces the text.
        form.Memo1->SetText(QString());
        QCoreApplication::processEvents();
        const double ms = TimedLoad(form);
        if (ms < 0)
            return 1;
        loadMs.push_back(ms);
    }
    const long peak = PeakKilobytes();

    std::vector<double> tailMs;
    const qint64 bytes = static_cast<qint64>(megabytes.toDouble() * 1'000'000);
    for (int run = 0; run < runs; ++run) {
        QProcess tail;
        tail.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        tail.start(QStringLiteral("tail"), {QStringLiteral("-c"), QString::number(bytes), path});
        tail.waitForFinished(-1);
        tailMs.push_back(timer.nsecsElapsed() / 1e6);
    }

    std::printf("| %s | %.1f | %.1f | %.1f | %.0f | %.0f |\n", qPrintable(megabytes),
                Median(loadMs), *std::min_element(loadMs.begin(), loadMs.end()),
                Median(tailMs), baseline / 1024.0, peak / 1024.0);
    return 0;
}
