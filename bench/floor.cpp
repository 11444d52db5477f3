// The floor under showing a tail: what any program pays to hold the last N
// bytes of a file, fresh memory (huge pages asked for) and one read into it,
// with no index and no painting. Prints the milliseconds it took.
//
//   bench_floor FILE BYTES

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_floor FILE BYTES\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const int handle = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (handle < 0 || ::fstat(handle, &info) != 0)
        return 1;
    const off_t count = std::min<off_t>(std::atoll(argv[2]), info.st_size);
    void* block = ::mmap(nullptr, size_t(std::max<off_t>(count, 1)), PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        return 1;
    ::madvise(block, size_t(count), MADV_HUGEPAGE);
    for (off_t done = 0; done < count;) {
        const ssize_t got = ::pread(handle, static_cast<char*>(block) + done, size_t(count - done),
                                    info.st_size - count + done);
        if (got <= 0)
            return 1;
        done += got;
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.1f\n", ms);
    return 0;
}
