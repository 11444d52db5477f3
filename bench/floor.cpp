// The floor under showing a tail: what any program pays to hold the last N
// bytes of a file, fresh memory (huge pages asked for) and one read into it,
// with no index and no painting. Prints the milliseconds it took. With
// --reload, the floor under a reload: the same read into fresh memory while
// a first copy of the bytes is still held.
//
//   bench_floor FILE BYTES [--reload]
//   bench_floor --touch BYTES
//
// --touch writes BYTES of fresh memory and frees it. Under a hypervisor that
// backs a machine's memory lazily and takes back what the machine frees, a
// page the machine has not touched lately costs several times its zeroing
// (5 GB: 8 s first, 0.5 s right after, 2.5 s five seconds later). Touched
// right before a run, the memory the run takes is the machine's own.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Reads the last count bytes of the file into fresh memory; the memory, or nullptr.
char* ReadTail(int handle, off_t fileSize, off_t count)
{
    void* block = ::mmap(nullptr, size_t(std::max<off_t>(count, 1)), PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        return nullptr;
    ::madvise(block, size_t(count), MADV_HUGEPAGE);
    for (off_t done = 0; done < count;) {
        const ssize_t got = ::pread(handle, static_cast<char*>(block) + done, size_t(count - done),
                                    fileSize - count + done);
        if (got <= 0)
            return nullptr;
        done += got;
    }
    return static_cast<char*>(block);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--touch") == 0) {
        const auto bytes = static_cast<std::size_t>(std::atoll(argv[2]));
        void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED)
            return 1;
        ::madvise(memory, bytes, MADV_HUGEPAGE);
        return ::madvise(memory, bytes, MADV_POPULATE_WRITE) == 0 ? 0 : 1;
    }
    const bool reload = argc == 4 && std::strcmp(argv[3], "--reload") == 0;
    if (argc != 3 && !reload) {
        std::fprintf(stderr, "usage: bench_floor FILE BYTES [--reload] | --touch BYTES\n");
        return 2;
    }
    // Opening the file counts, as it does in a load.
    auto start = std::chrono::steady_clock::now();
    const int handle = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (handle < 0 || ::fstat(handle, &info) != 0)
        return 1;
    const off_t count = std::min<off_t>(std::atoll(argv[2]), info.st_size);
    if (reload) {
        if (!ReadTail(handle, info.st_size, count))
            return 1;
        start = std::chrono::steady_clock::now();
    }
    if (!ReadTail(handle, info.st_size, count))
        return 1;
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.1f\n", ms);
    return 0;
}
