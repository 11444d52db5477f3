#pragma once

#include "base/Arrivals.h"
#include "textarea/TextStore.h"

#include <QString>

#include <cstdint>

// The block a load reads into: exactly N zero bytes, freed on every path.
// Fails with "Out of memory" when the memory cannot be had.
class TTailBlock final
{
public:
    explicit TTailBlock(std::int32_t size);

    char* Data() const { return FData.get(); }
    std::int32_t Size() const { return FSize; }
    // Hands the memory over (to the text that shows it); the block is empty after.
    TBlockBytes TakeData() { return std::move(FData); }

private:
    TBlockBytes FData;
    std::int32_t FSize = 0;
};

// A regular file opened read-only and locked against other processes for as
// long as this object lives. Fails with "Cannot open file <path>" for a file
// that is missing, unreadable, locked elsewhere or not a regular file.
class TTailFile final
{
public:
    explicit TTailFile(const QString& path);
    ~TTailFile();
    TTailFile(const TTailFile&) = delete;
    TTailFile& operator=(const TTailFile&) = delete;

    std::int64_t Size() const { return FSize; }

    // Reads the file's last bytes, as many as the arrivals hold, publishing
    // each piece as it comes: SmallPiece bytes at most of what is in memory,
    // DiskPiece of what the disk must deliver, so that a stop the consumer
    // asks for ends the read within one such request. Ends the arrivals,
    // failed when fewer bytes could be had. Runs on the thread that holds
    // the writer.
    void ReadTail(TArrivalsWriter& writer) const;
    // All on the calling thread: the last min(N, size) bytes into the start
    // of the block; how many that was. Fails with "Stream read error" when
    // fewer bytes could be had.
    std::int64_t ReadTail(TTailBlock& block) const;

    static constexpr std::int64_t SmallPiece = 1 << 20;
    static constexpr std::int64_t DiskPiece = 8 << 20;

private:
    // Declared first: opening the file fills it in.
    std::int64_t FSize = 0;
    int FHandle = -1;
};
