#include "tests/Harness.h"

#include "base/Failure.h"

#include <QFile>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString FailureOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const TFailure& failure) {
        return failure.Message();
    }
    return QString();
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

namespace {

// Whether a lock on the file can be had within five seconds; it is let go again.
bool LockFree(const QString& path, bool wanted)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    bool free = false;
    for (int i = 0; fd >= 0 && i < 500; ++i) {
        free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (free)
            ::flock(fd, LOCK_UN);
        if (free == wanted)
            break;
        QThread::msleep(10);
    }
    if (fd >= 0)
        ::close(fd);
    return free;
}

} // namespace

TLockHolder::TLockHolder(const QString& path) : FPath(path)
{
    // One process that takes the lock and keeps it until it is killed.
    FProcess.start(QStringLiteral("sh"),
                   {QStringLiteral("-c"), QStringLiteral("exec 9<\"$0\"; flock -x 9; exec sleep 60"), path});
    // Held once nobody else can have the lock.
    FHeld = FProcess.waitForStarted() && !LockFree(path, false);
}

TLockHolder::~TLockHolder()
{
    FProcess.kill();
    FProcess.waitForFinished();
    // The lock goes with the holder's last descriptor; it is gone before the test goes on.
    LockFree(FPath, true);
}
