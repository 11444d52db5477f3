#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

// The loaded bytes of the text area, kept as they were read, and an index
// over them. Nothing is ever copied into UTF-16 except the parts that are
// shown, copied or asked for.
//
// Display rules: UTF-8 where every ill-formed part shows as one U+FFFD and a
// text that starts inside a character shows one U+FFFD for it; CR LF, a lone
// CR and a lone LF each end one line. Positions count UTF-16 units, a line
// end counting one.

// A text's bytes: memory from malloc, or a private mapping of `Mapped` bytes.
struct TFreeBytes {
    std::size_t Mapped = 0;
    void operator()(char* p) const noexcept;
};
using TBlockBytes = std::unique_ptr<char, TFreeBytes>;

// `size` fresh zero bytes (at least one) for a loaded text, mapped on huge
// page boundaries, where reading into them costs least; empty when the
// memory cannot be had.
TBlockBytes ZeroBlock(std::int64_t size);

// A character boundary in a byte store: its byte offset, and the UTF-16
// units and line ends before it.
struct TTextMark {
    std::int64_t Byte = 0;
    std::int64_t Units = 0;
    std::int64_t Breaks = 0;
};

// Bytes and the index over them: a mark at a character boundary about every
// 4 KB, so any position is found by a binary search and a short scan.
class TTextStore final
{
public:
    // An empty store that grows with Append.
    TTextStore();
    // A loaded block of which the first `size` bytes count; the text ends at
    // the first zero byte, and the block is cut to the text. Throws
    // std::bad_alloc when the index cannot be had.
    TTextStore(TBlockBytes block, std::int64_t size);
    // A block another thread is reading into, `capacity` bytes at most: Grow
    // indexes what has arrived, Finish ends the text where the bytes ended
    // and takes the block over, once nothing writes into it any more. Until
    // then the store only reads the bytes it has been told are in.
    static TTextStore Reading(const char* block, std::int64_t capacity);
    // The first `arrived` bytes are in; false once a zero byte has ended the
    // text, so that nothing after it is needed.
    bool Grow(std::int64_t arrived);
    void Finish(std::int64_t arrived, TBlockBytes block);

    TTextStore(TTextStore&&) noexcept = default;
    TTextStore& operator=(TTextStore&&) noexcept = default;

    std::int64_t Size() const { return FSize; }
    const char* Data() const { return reinterpret_cast<const char*>(Bytes()); }
    bool CutAtZero() const { return FCutAtZero; }
    const TTextMark& End() const { return FEnd; }
    // The longest line in UTF-16 units.
    std::int64_t LongestLine() const;

    // Appends text as UTF-8 with every line end (CR LF, CR, LF, U+2029) made
    // one LF and a lone surrogate made U+FFFD.
    void Append(QStringView text);

    TTextMark SeekByte(std::int64_t byte) const;
    // The boundary `units` units from the start (before a pair it would split).
    TTextMark SeekUnits(std::int64_t units) const;
    // The boundary just after line end number `breaks` (counted from 1).
    TTextMark SeekLine(std::int64_t breaks) const;

    // Appends the characters of bytes [from, to) to `out`, each line end as `lineBreak`.
    void Decode(std::int64_t from, std::int64_t to, QString& out, QChar lineBreak) const;

private:
    const unsigned char* Bytes() const;
    // One character at `byte`: its code (LF for a line end) and byte length.
    int CharAt(std::int64_t byte, char32_t& code) const;
    void Step(TTextMark& mark) const;
    TTextMark SeekTo(std::int64_t TTextMark::*key, std::int64_t value) const;
    // Indexes from the end indexed so far up to `limit` (or the first zero
    // byte before it, which then ends the text).
    void Index(std::int64_t limit);
    void SkipLeadingContinuation();

    TBlockBytes FBlock;
    // The block being read into, not yet ours (Reading until Finish).
    const char* FReading = nullptr;
    std::string FAdded;
    std::int64_t FSize = 0;
    int FLeadSkip = 0;
    bool FCutAtZero = false;
    std::vector<TTextMark> FMarks;
    TTextMark FEnd;
    std::int64_t FNextMark = 0;
    std::int64_t FLineStartUnits = 0;
    std::int64_t FLongestLine = 0;
};
