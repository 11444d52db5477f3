#pragma once

#include "textarea/MemoText.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// The number field is read in the 80-bit extended format.
static_assert(LDBL_MANT_DIG == 64, "long double must be the 80-bit extended format");

// Reads a decimal number by the field's grammar: spaces, an optional sign,
// digits with an optional decimal separator, an optional exponent, spaces.
// Returns nothing when the text does not follow the grammar or its value
// overflows.
std::optional<long double> TextToExtended(QStringView text, QChar decimalSeparator);

// The byte count for a number of megabytes: value x 1,000,000 truncated
// toward zero. Fails with "Floating point overflow", "Invalid floating point
// operation" or "Range check error" when no block of that size can exist.
std::int32_t BytesFromMegabytes(long double megabytes);

// Both steps for the text of the number field; a text that is no number
// fails with "'<text>' is not a valid floating point value".
std::int32_t BytesToRead(const QString& numberText, QChar decimalSeparator);

// The decimal separator of the user's regional settings ("." when none),
// read from the environment's numeric locale each time it is asked.
QChar UserDecimalSeparator();

// The bytes of the file a path names. A name that is not UTF-8 reaches us
// with U+FFFD in place of its bad bytes, or escaped as \ooo or \xHH as other
// tools print it; such a component is matched against the folder's entries
// where the path as typed does not exist.
QByteArray NativePath(const QString& path);

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

    // Reads the last min(N, size) bytes into the start of the block and
    // returns how many that was. Fails with "Stream read error" when fewer
    // bytes could be had. A thread of its own reads a piece at a time, and
    // after each piece `arrived` is told, on the calling thread, how many
    // bytes are in; when it answers false no more are read. The block's
    // memory may change hands meanwhile; it must stay allocated.
    std::int64_t ReadTail(TTailBlock& block, const std::function<bool(std::int64_t)>& arrived = {}) const;

private:
    // Declared first: opening the file fills it in.
    std::int64_t FSize = 0;
    int FHandle = -1;
};
