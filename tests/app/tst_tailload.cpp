// How a load ends, every way it can: whatever happens, the reader has been
// stopped and joined before the block is handed over or given back, and the
// text area keeps its text unless the load succeeded.

#include "app/TailLoad.h"
#include "base/Failure.h"
#include "textarea/Memo.h"
#include "textarea/MemoText.h"
#include "tests/ChildProcess.h"
#include "tests/Harness.h"
#include "tests/app/AppTestMain.h"

#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <malloc.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define KESTRUN_REFILL_FREED_MEMORY 1
namespace {
// Large memory given back is mapped again at once at the same place and
// filled with a pattern, as anything mapping memory meanwhile could do: a
// byte written there after the block was freed shows.
struct TRefill {
    std::size_t From = 0; // only mappings at least this long
    unsigned char* At = nullptr;
    std::size_t Length = 0;
} GRefill;
constexpr unsigned char Pattern = 0x5A;

// One heap for every thread: a thread's heap keeps tens of megabytes of
// address space in reserve, where a limit would not show.
const int OneArena = mallopt(M_ARENA_MAX, 1);

// Takes up what the heap holds free, so that the next large request needs
// new address space.
std::vector<void*> TakeFreeHeap()
{
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    std::vector<void*> held;
    held.reserve(4096);
    for (std::size_t free = mallinfo2().fordblks; free > (64 << 10) && held.size() < 4096; free = mallinfo2().fordblks)
        held.push_back(std::malloc(free / 2));
    return held;
}
} // namespace

extern "C" int munmap(void* address, std::size_t length)
{
    const auto result = static_cast<int>(::syscall(SYS_munmap, address, length));
    if (result == 0 && GRefill.From > 0 && length >= GRefill.From && !GRefill.At) {
        void* again = ::mmap(address, length, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
        if (again == address) {
            std::memset(again, Pattern, length);
            GRefill.At = static_cast<unsigned char*>(again);
            GRefill.Length = length;
        }
    }
    return result;
}
#endif

namespace {

// The outcome of a load into `memo`: its failure text, or "" when it ended well.
QString LoadInto(TMemo& memo, const QString& path, std::int32_t bytes)
{
    return FailureOf([&] {
        TTailLoad load(path, bytes, memo);
        if (auto text = load.Outcome())
            memo.LoadStore(std::move(*text));
    });
}

// A file of `size` bytes of log lines, with a zero byte at `zeroAt` (none
// when negative), written through to the disk.
[[nodiscard]] bool WriteLog(const QString& path, std::int64_t size, std::int64_t zeroAt = -1)
{
    QByteArray bytes = QByteArray("a line of the log, as long as the others\n").repeated(int(size / 41 + 1));
    bytes.truncate(size);
    if (zeroAt >= 0)
        bytes[qsizetype(zeroAt)] = '\0';
    return WriteFile(path, bytes);
}

// Takes the file out of the page cache, so that its bytes come from the disk.
[[nodiscard]] bool Evict(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    const bool evicted = fd >= 0 && ::fdatasync(fd) == 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    if (fd >= 0)
        ::close(fd);
    return evicted;
}

// From now on this process can start no thread: clone3 is not there, and
// clone with CLONE_THREAD fails as when the system has no more.
bool ForbidThreads()
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone3, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, CLONE_THREAD, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
        && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

} // namespace

class TestTailLoad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void readErrorMidway();
    void stopEndsAColdReadAtOnce();
    void noThreadToBeHad();
    void outOfMemoryWritesNothingAfterTheBlockIsFreed();

private:
    QString Path(const char* name) const { return FDir.filePath(QString::fromUtf8(name)); }

    QTemporaryDir FDir;
    std::unique_ptr<TMemo> FMemo;
};

void TestTailLoad::init()
{
    FMemo = std::make_unique<TMemo>();
    FMemo->resize(300, 200);
    FMemo->SetText(QStringLiteral("what the user had"));
}

void TestTailLoad::readErrorMidway()
{
    // The file is cut short after it was opened: the reader meets its end
    // early, on its own thread.
    const QString path = Path("shrinking.log");
    QVERIFY(WriteLog(path, 30'000'000));
    const QString failure = FailureOf([&] {
        TTailLoad load(path, 30'000'000, *FMemo);
        QVERIFY(QFile::resize(path, 10'000'000));
        load.Outcome();
    });
    QCOMPARE(failure, QStringLiteral("Stream read error"));
    QCOMPARE(FMemo->Text(), QStringLiteral("what the user had"));
}

void TestTailLoad::stopEndsAColdReadAtOnce()
{
    // A zero byte early in a tail that must come from the disk: the text
    // ends there, and the reader is stopped.
    const QString path = Path("zero-early.log");
    QVERIFY(WriteLog(path, 100'000'000, 100));
    QVERIFY(Evict(path));
    {
        TTailLoad load(path, 100'000'000, *FMemo);
        const auto text = load.Outcome();
        QVERIFY(text);
        QCOMPARE(text->Size(), 100);
    }
    // Asked to stop, the reader reads at most the request in hand, however
    // far the consumer is behind (a quarter of the tail in one request, once).
    QVERIFY(Evict(path));
    TTailBlock block(100'000'000);
    const TTailFile file(path);
    TArrivals arrivals(block.Data(), block.Size());
    std::thread reader([&] {
        TArrivalsWriter writer(arrivals);
        file.ReadTail(writer);
    });
    TArrivalsView view(arrivals);
    const std::int64_t atStop = view.Wait(0);
    view.Stop();
    std::int64_t last = atStop;
    for (std::int64_t in = 0; (in = view.Wait(last)) > last;)
        last = in;
    reader.join();
    QVERIFY(!view.Failed());
    QVERIFY2(last - atStop <= 2 * TTailFile::DiskPiece, QByteArray::number(qlonglong(last - atStop)));
}

void TestTailLoad::noThreadToBeHad()
{
#if defined(__SANITIZE_THREAD__)
    QSKIP("ThreadSanitizer cannot follow a fork of a process with threads");
#endif
    const QString path = Path("threadless.log");
    QVERIFY(WriteLog(path, 20'000'000));
    TMemo& memo = *FMemo;
    const int status = ExitStatusWithAddressLimit(RLIM_INFINITY, [&] {
        if (!ForbidThreads())
            return 4;
        try {
            std::thread([] {}).join();
            return 5; // threads still start: nothing would be tried
        } catch (const std::system_error&) {
        }
        if (!LoadInto(memo, path, 20'000'000).isEmpty())
            return 6;
        return memo.Model().LineCount() == 20'000'000 / 41 + 1 ? 0 : 7;
    });
    QCOMPARE(status, 0);
}

void TestTailLoad::outOfMemoryWritesNothingAfterTheBlockIsFreed()
{
#ifndef KESTRUN_REFILL_FREED_MEMORY
    QSKIP("the sanitizers keep their own books of munmap");
#else
    // Room for the block, not for its index: the index fails while the
    // reader is still reading a sparse gigabyte into the block. The block is
    // given back only once the reader has stopped, so memory mapped at its
    // place at once keeps what is put there.
    const QString path = Path("sparse.bin");
    QVERIFY(WriteFile(path, QByteArray()));
    QVERIFY(QFile::resize(path, 1'000'000'000));
    TMemo& memo = *FMemo;
    const int status = ExitStatusWithAddressLimit(RLIM_INFINITY, [&] {
        std::thread([] {}).join(); // the reader takes this stack: no new one is mapped
        const std::vector<void*> held = TakeFreeHeap();
        constexpr std::int64_t HugePage = 2 << 20;
        const std::int64_t block = (1'000'000'000 + HugePage - 1) / HugePage * HugePage;
        const rlimit limit{rlim_t(AddressSpaceInUse() + block + 2 * HugePage), RLIM_INFINITY};
        ::setrlimit(RLIMIT_AS, &limit);
        GRefill.From = 500'000'000;
        if (LoadInto(memo, path, 1'000'000'000) != u"Text exceeds memo capacity")
            return 4;
        if (!GRefill.At)
            return 5;
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // as long as an old reader went on writing
        for (std::size_t i = 0; i < GRefill.Length; ++i) {
            if (GRefill.At[i] != Pattern)
                return 6;
        }
        return memo.Text() == u"what the user had" ? 0 : 7;
    });
    QCOMPARE(status, 0);
#endif
}

KESTRUN_APP_TEST_MAIN(TestTailLoad)
#include "tst_tailload.moc"
