#include "app/TailLoad.h"

#include "base/Failure.h"
#include "textarea/TextReading.h"

#include <algorithm>
#include <new>
#include <system_error>

TTailLoad::TTailLoad(const QString& path, std::int32_t bytes, TMemo& memo)
    : FBlock(bytes),
      FFile(path),
      FArrivals(FBlock.Data(), std::min<std::int64_t>(bytes, FFile.Size())),
      FMemo(memo)
{
}

TTailLoad::~TTailLoad()
{
    StopReader();
}

std::optional<TTextStore> TTailLoad::Outcome()
{
    try {
        TTextReading reading(TArrivalsView(FArrivals), FMemo, FBlock.Size());
        StartReader();
        const bool stopped = reading.Follow();
        StopReader(); // from here the block is this thread's alone
        if (!stopped && TArrivalsView(FArrivals).Failed())
            throw TFailure(QT_TRANSLATE_NOOP("Failure", "Stream read error"));
        return reading.Finish(FBlock.TakeData());
    } catch (const std::bad_alloc&) {
        StopReader();
        throw TFailure(QT_TRANSLATE_NOOP("Failure", "Text exceeds memo capacity"));
    }
}

void TTailLoad::StartReader()
{
    const auto read = [this] {
        TArrivalsWriter writer(FArrivals);
        FFile.ReadTail(writer);
    };
    // A tail of one piece is read here: a thread would only add its start
    // (5 ms of a 0.5 MB load's 6).
    if (FArrivals.Size() <= TTailFile::SmallPiece) {
        read();
        return;
    }
    try {
        FReader = std::thread(read);
    } catch (const std::system_error&) {
        read(); // no thread to be had: all of it here, then
    }
}

void TTailLoad::StopReader()
{
    TArrivalsView(FArrivals).Stop();
    if (FReader.joinable())
        FReader.join();
}
