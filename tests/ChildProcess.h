#pragma once

// Runs a piece of a test in a child process with limited address space, for
// the failures that only a lack of memory brings. The body returns the
// child's exit status; an exception out of it is status 3.

#include <QFile>

#include <functional>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// The address space this process uses now, in bytes.
inline qint64 AddressSpaceInUse()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmSize:"))
                return line.mid(7).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

// The child's exit status, or -1 when it could not run or did not exit.
inline int ExitStatusWithAddressLimit(qint64 limitBytes, const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{rlim_t(limitBytes), rlim_t(limitBytes)};
        ::setrlimit(RLIMIT_AS, &limit);
        int status = 3;
        try {
            status = body();
        } catch (...) {
        }
        ::_exit(status);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
