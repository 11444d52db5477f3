#pragma once

#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_write_range(void* address, long size);
#endif

class TArrivalsWriter;
class TArrivalsView;

// Bytes one thread reads into a block while another goes through those that
// have arrived. Neither side touches the block but through its handle:
// - the writer (TArrivalsWriter), held by the reading thread, writes only at
//   and past the count it has published, and never after End;
// - the view (TArrivalsView), held by the consumer, reads only below the
//   count it has been given by Wait, which never shrinks.
// Publishing the count is the one place the two meet (under FLock: release
// on the writer's side, acquire on the consumer's). The block belongs to
// whoever made the arrivals; it must outlive the reading thread, which its
// owner joins after asking it to stop.
class TArrivals final
{
public:
    TArrivals(char* block, std::int64_t size) : FBlock(block), FSize(size) {}
    Q_DISABLE_COPY_MOVE(TArrivals)

    std::int64_t Size() const { return FSize; }

private:
    friend class TArrivalsWriter;
    friend class TArrivalsView;

    char* const FBlock;
    const std::int64_t FSize;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::int64_t FCount = 0; // guarded by FLock
    bool FEnded = false;     // guarded by FLock
    bool FFailed = false;    // guarded by FLock
    std::atomic<bool> FStopAsked{false};
};

// The reading thread's handle.
class TArrivalsWriter final
{
public:
    explicit TArrivalsWriter(TArrivals& arrivals) : FArrivals(arrivals) {}

    // Where the next bytes go, and how many may still come.
    char* Free() const { return FArrivals.FBlock + FWritten; }
    std::int64_t Written() const { return FWritten; }
    std::int64_t Left() const { return FArrivals.FSize - FWritten; }
    // The next `count` bytes at Free() are in: the consumer may read them.
    void Publish(std::int64_t count)
    {
#if defined(__SANITIZE_THREAD__)
        // The kernel wrote these bytes for this thread, which ThreadSanitizer
        // does not see: told so, it checks every read of them.
        __tsan_write_range(Free(), static_cast<long>(count));
#endif
        FWritten += count;
        const std::scoped_lock hold(FArrivals.FLock);
        FArrivals.FCount = FWritten;
        FArrivals.FChanged.notify_one();
    }
    // Nothing more comes; with `failed`, fewer bytes than asked could be had.
    void End(bool failed)
    {
        const std::scoped_lock hold(FArrivals.FLock);
        FArrivals.FEnded = true;
        FArrivals.FFailed = failed;
        FArrivals.FChanged.notify_one();
    }
    // The consumer wants no more: end as soon as the request in hand is in.
    bool StopAsked() const { return FArrivals.FStopAsked.load(std::memory_order_relaxed); }

private:
    TArrivals& FArrivals;
    std::int64_t FWritten = 0; // the writer's own count, ahead of nothing
};

// The consumer's handle.
class TArrivalsView final
{
public:
    explicit TArrivalsView(TArrivals& arrivals) : FArrivals(arrivals) {}

    // The bytes below the count Wait last gave; read-only.
    const char* Data() const { return FArrivals.FBlock; }
    std::int64_t Size() const { return FArrivals.FSize; }
    // Waits until more than `seen` bytes are in or the read has ended, and
    // gives the count in: bytes below it stay as they are. The same count as
    // `seen` means the read has ended.
    std::int64_t Wait(std::int64_t seen)
    {
        std::unique_lock hold(FArrivals.FLock);
        FArrivals.FChanged.wait(hold, [&] { return FArrivals.FEnded || FArrivals.FCount > seen; });
        return FArrivals.FCount;
    }
    // Whether the read ended short of the size: the bytes could not be had.
    bool Failed()
    {
        const std::scoped_lock hold(FArrivals.FLock);
        return FArrivals.FFailed;
    }
    void Stop() { FArrivals.FStopAsked.store(true, std::memory_order_relaxed); }

private:
    TArrivals& FArrivals;
};
