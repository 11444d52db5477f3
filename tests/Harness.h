#pragma once

// What the tests share: the failure an action ends with, a file written
// whole, and another process holding a lock on a file.

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <functional>

// The text of the failure an action ends with, or an empty string when it
// ends well.
QString FailureOf(const std::function<void()>& action);

// Whether the file now holds the bytes; callers QVERIFY it, so that a
// failed write ends the test.
[[nodiscard]] bool WriteFile(const QString& path, const QByteArray& bytes);

// Another process holding an exclusive lock on a file, for as long as this lives.
class TLockHolder
{
public:
    explicit TLockHolder(const QString& path);
    ~TLockHolder();
    Q_DISABLE_COPY_MOVE(TLockHolder)
    bool Held() const { return FHeld; }

private:
    QString FPath;
    QProcess FProcess;
    bool FHeld = false;
};
