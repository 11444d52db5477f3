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
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <vector>

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

// Applies the descriptor's fault to a read of `count` bytes at `offset`:
// false, with what the read returns in `refused`, when it does not reach
// the file; otherwise true, with `count` cut to what it may read.
bool LetRead(int fd, std::size_t& count, off_t offset, ssize_t& refused)
{
    switch (FaultOf(fd)) {
    case fEio:
        errno = EIO;
        refused = -1;
        return false;
    case fEintr:
        GInterrupted[fd] = !GInterrupted[fd];
        if (GInterrupted[fd]) {
            errno = EINTR;
            refused = -1;
            return false;
        }
        break;
    case fShort:
        count = std::min<std::size_t>(count, 1000);
        break;
    case fTruncated: {
        const off_t end = ::lseek(fd, 0, SEEK_END) / 2;
        if (offset >= end) {
            refused = 0;
            return false;
        }
        count = std::min<std::size_t>(count, std::size_t(end - offset));
        break;
    }
    default:
        break;
    }
    return true;
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
    ssize_t refused = 0;
    if (!LetRead(fd, count, offset, refused))
        return refused;
    return Next<ssize_t (*)(int, void*, size_t, off_t)>("pread64")(fd, buffer, count, offset);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset)
{
    return pread64(fd, buffer, count, offset);
}

ssize_t preadv64v2(int fd, const iovec* parts, int partCount, off_t offset, int flags)
{
    std::size_t count = 0;
    for (int i = 0; i < partCount; ++i)
        count += parts[i].iov_len;
    ssize_t refused = 0;
    if (!LetRead(fd, count, offset, refused))
        return refused;
    // The same parts, cut to the bytes the fault lets through.
    std::vector<iovec> cut(parts, parts + partCount);
    for (iovec& part : cut) {
        part.iov_len = std::min(part.iov_len, count);
        count -= part.iov_len;
    }
    return Next<ssize_t (*)(int, const iovec*, int, off_t, int)>("preadv64v2")(fd, cut.data(), partCount, offset, flags);
}

ssize_t preadv2(int fd, const iovec* parts, int partCount, off_t offset, int flags)
{
    return preadv64v2(fd, parts, partCount, offset, flags);
}

int close(int fd)
{
    if (fd >= 0 && fd < 4096)
        GFaults[fd] = fNone;
    return Next<int (*)(int)>("close")(fd);
}

} // extern "C"
