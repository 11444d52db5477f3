// Times a load the way the user sees it: from the path confirmed in the
// dialog to the text painted in Memo1, for one number of megabytes, and
// reports the peak memory of this process. bench/run-bench runs it once per
// size, so each peak belongs to one size alone.
//
//   bench_loadtail --make-log FILE BYTES    write a log of ~100-byte lines
//   bench_loadtail FILE MEGABYTES RUNS      time RUNS loads, print one line

#include "app/KestrunApp.h"
#include "app/Unit1.h"
#include "components/Failure.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include "components/Memo.h"
#include <QProcess>

#include <algorithm>
#include <cstdio>
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

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 4 && args[1] == u"--make-log")
        return MakeLog(args[2], args[3].toLongLong());
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: bench_loadtail FILE MEGABYTES RUNS\n");
        return 2;
    }
    const QString path = args[1];
    const QString megabytes = args[2];
    const int runs = std::max(1, args[3].toInt());

    TForm1 form;
    form.show();
    QCoreApplication::processEvents();
    form.ebReadNum->setText(megabytes);
    form.OpenDialog1.SetFileName(path);

    const long baseline = CurrentKilobytes();
    std::vector<double> loadMs;
    for (int run = 0; run < runs; ++run) {
        // Start from an empty text area so that every run replaces the text.
        form.Memo1->SetText(QString());
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        try {
            form.LoadTail();
        } catch (const TFailure& failure) {
            std::fprintf(stderr, "load failed: %s\n", failure.what());
            return 1;
        }
        form.Memo1->viewport()->repaint();
        loadMs.push_back(timer.nsecsElapsed() / 1e6);
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
