// Faults a file system can return, injected into the real program for the
// end-to-end tests (LD_PRELOAD). A file whose name holds a marker fails in
// the marked way; every other file is untouched:
//   fault-eacces, fault-emfile   open fails with EACCES or EMFILE
//   fault-enolck                 flock fails with ENOLCK
//   fault-eio                    every read fails with EIO
//   fault-eintr                  every read is first interrupted (EINTR)
//   fault-short                  reads return at most 1,000 bytes each
//   fault-truncated              the file ends halfway through the read

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace {

enum TFault { fNone, fEio, fEintr, fShort, fTruncated, fEnolck };

// The fault of each open descriptor; descriptors are small numbers.
TFault GFaults[4096];
bool GInterrupted[4096];

template <class Function>
Function Next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

bool Marked(const char* path, const char* marker)
{
    return path && std::strstr(path, marker);
}

int Opened(const char* path, int fd)
{
    if (fd >= 0 && fd < 4096) {
        GInterrupted[fd] = false;
        GFaults[fd] = Marked(path, "fault-eio") ? fEio
            : Marked(path, "fault-eintr") ? fEintr
            : Marked(path, "fault-short") ? fShort
            : Marked(path, "fault-truncated") ? fTruncated
            : Marked(path, "fault-enolck") ? fEnolck : fNone;
    }
    return fd;
}

int Refused(const char* path)
{
    if (Marked(path, "fault-eacces"))
        return EACCES;
    if (Marked(path, "fault-emfile"))
        return EMFILE;
    return 0;
}

// The system's open (or open64), unless the name asks for a refusal.
int Open(const char* function, const char* path, int flags, mode_t mode)
{
    if (const int error = Refused(path)) {
        errno = error;
        return -1;
    }
    return Opened(path, Next<int (*)(const char*, int, ...)>(function)(path, flags, mode));
}

TFault FaultOf(int fd)
{
    return fd >= 0 && fd < 4096 ? GFaults[fd] : fNone;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) ? mode_t(va_arg(args, int)) : 0;
    va_end(args);
    return Open("open", path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) ? mode_t(va_arg(args, int)) : 0;
    va_end(args);
    return Open("open64", path, flags, mode);
}

int flock(int fd, int operation)
{
    if (FaultOf(fd) == fEnolck) {
        errno = ENOLCK;
        return -1;
    }
    return Next<int (*)(int, int)>("flock")(fd, operation);
}

ssize_t pread64(int fd, void* buffer, size_t count, off_t offset)
{
    const auto real = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread64");
    switch (FaultOf(fd)) {
    case fEio:
        errno = EIO;
        return -1;
    case fEintr:
        GInterrupted[fd] = !GInterrupted[fd];
        if (GInterrupted[fd]) {
            errno = EINTR;
            return -1;
        }
        break;
    case fShort:
        count = std::min<size_t>(count, 1000);
        break;
    case fTruncated: {
        const off_t end = ::lseek(fd, 0, SEEK_END) / 2;
        if (offset >= end)
            return 0;
        count = std::min<size_t>(count, size_t(end - offset));
        break;
    }
    default:
        break;
    }
    return real(fd, buffer, count, offset);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset)
{
    return pread64(fd, buffer, count, offset);
}

int close(int fd)
{
    if (fd >= 0 && fd < 4096)
        GFaults[fd] = fNone;
    return Next<int (*)(int)>("close")(fd);
}

} // extern "C"
