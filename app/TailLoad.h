#pragma once

#include "app/TailFile.h"
#include "base/Arrivals.h"
#include "textarea/TextStore.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <thread>

class TMemo;

// One load, from the file to the text to show. Made with the path, the byte
// count and the text area whose text it may replace, and asked once for the
// outcome. It owns the block, the thread that reads the tail into it, and
// the text made from the bytes as they arrive (TTextReading). The reader
// writes into the block only through its TArrivalsWriter, and this side reads
// only through a TArrivalsView; the block is handed to the text only once the
// reader has been joined. However a load ends (done, a zero byte, a read
// error, an exception here), the reader is asked to stop and joined before
// the block is handed over or freed.
class TTailLoad final
{
public:
    // Fails with "Out of memory" when the block cannot be had, then with
    // "Cannot open file <path>".
    TTailLoad(const QString& path, std::int32_t bytes, TMemo& memo);
    ~TTailLoad();
    Q_DISABLE_COPY_MOVE(TTailLoad)

    // The text to show, or nothing when it is the text shown. Fails with
    // "Stream read error" when the tail could not be read whole, and with
    // "Text exceeds memo capacity" when the memory for its index cannot be had.
    std::optional<TTextStore> Outcome();

private:
    void StartReader();
    void StopReader();

    TTailBlock FBlock;
    const TTailFile FFile;
    TArrivals FArrivals;
    TMemo& FMemo;
    std::thread FReader;
};
