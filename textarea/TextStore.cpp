#include "textarea/TextStore.h"

#include <QLatin1StringView>

#include <algorithm>
#include <bit>
#include <cstring>

#include <immintrin.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Bytes between index marks: the longest scan a position lookup makes.
constexpr std::int64_t MarkSpacing = 4096;

// One character by the display rules: its code (LF for any line end) and
// how many bytes it took. What is ill-formed is one U+FFFD per maximal part.
int DecodeUtf8(const unsigned char* p, const unsigned char* end, char32_t& code)
{
    const unsigned c = *p;
    if (c < 0x80) {
        if (c == '\r') {
            code = U'\n';
            return p + 1 < end && p[1] == '\n' ? 2 : 1;
        }
        code = c;
        return 1;
    }
    int need = 0;
    char32_t value = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        need = 1;
        value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 2;
        value = c & 0x0F;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 3;
        value = c & 0x07;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        code = 0xFFFD;
        return 1;
    }
    int taken = 0;
    for (const unsigned char* q = p + 1; taken < need && q < end && *q >= low && *q <= high;
         ++taken, ++q) {
        value = (value << 6) | (*q & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    code = taken == need ? value : 0xFFFD;
    return 1 + taken;
}

int UnitsOf(char32_t code)
{
    return code >= 0x10000 ? 2 : 1;
}

// Whether the 64 bytes at p are plain ASCII without CR or zero, the common
// case; if so, `lines` has bit i set where byte i is a line feed. One load
// of each 16 bytes serves both.
inline bool Plain64(const unsigned char* p, std::uint64_t& lines)
{
    const __m128i feed = _mm_set1_epi8('\n');
    const __m128i ret = _mm_set1_epi8('\r');
    const __m128i zero = _mm_setzero_si128();
    __m128i odd = zero;
    lines = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        // A byte past ASCII has its top bit set; so has a comparison that matched.
        odd = _mm_or_si128(odd, _mm_or_si128(chunk, _mm_or_si128(_mm_cmpeq_epi8(chunk, ret), _mm_cmpeq_epi8(chunk, zero))));
        lines |= std::uint64_t(std::uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, feed)))) << (16 * i);
    }
    return _mm_movemask_epi8(odd) == 0;
}

// The same, 32 bytes to a load, where the processor has AVX2.
__attribute__((target("avx2"))) inline bool Plain64Avx2(const unsigned char* p, std::uint64_t& lines)
{
    const __m256i feed = _mm256_set1_epi8('\n');
    const __m256i ret = _mm256_set1_epi8('\r');
    const __m256i zero = _mm256_setzero_si256();
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    const __m256i odd = _mm256_or_si256(
        _mm256_or_si256(low, high),
        _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(low, ret), _mm256_cmpeq_epi8(low, zero)),
                        _mm256_or_si256(_mm256_cmpeq_epi8(high, ret), _mm256_cmpeq_epi8(high, zero))));
    lines = std::uint64_t(std::uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, feed))))
            | std::uint64_t(std::uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, feed)))) << 32;
    return _mm256_movemask_epi8(odd) == 0;
}

// Where the index stands: the mark reached, where the current line started
// and the longest line so far.
struct TIndexRun {
    TTextMark At;
    std::int64_t LineStart = 0;
    std::int64_t Longest = 0;

    void LineEnd(std::int64_t unitsAtBreak)
    {
        Longest = std::max(Longest, unitsAtBreak - LineStart);
        LineStart = unitsAtBreak + 1;
        ++At.Breaks;
    }
};

// Crosses plain 64-byte blocks while they last, up to `stop` (no block
// starts at or past it) and `limit` (no block ends past it).
template <bool (*Plain)(const unsigned char*, std::uint64_t&)>
inline void CrossPlainWith(const unsigned char* bytes, TIndexRun& run, std::int64_t stop, std::int64_t limit)
{
    TTextMark& at = run.At;
    for (std::uint64_t lines = 0; at.Byte < stop && limit - at.Byte >= 64 && Plain(bytes + at.Byte, lines);) {
        for (; lines; lines &= lines - 1)
            run.LineEnd(at.Units + std::countr_zero(lines));
        at.Units += 64;
        at.Byte += 64;
    }
}

void CrossPlainSse2(const unsigned char* bytes, TIndexRun& run, std::int64_t stop, std::int64_t limit)
{
    CrossPlainWith<Plain64>(bytes, run, stop, limit);
}

__attribute__((target("avx2"))) void CrossPlainAvx2(const unsigned char* bytes, TIndexRun& run,
                                                     std::int64_t stop, std::int64_t limit)
{
    CrossPlainWith<Plain64Avx2>(bytes, run, stop, limit);
}

std::size_t RoundUp(std::size_t value, std::size_t step)
{
    return (value + step - 1) / step * step;
}

std::size_t PageSize()
{
    return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// Gives back what lies past the first `size` bytes (at least one).
void ShrinkTo(TBlockBytes& block, std::int64_t size)
{
    const auto keep = static_cast<std::size_t>(std::max<std::int64_t>(size, 1));
    if (std::size_t& mapped = block.get_deleter().Mapped; mapped > 0) {
        const std::size_t length = RoundUp(keep, PageSize());
        if (length < mapped && ::munmap(block.get() + length, mapped - length) == 0)
            mapped = length;
    } else if (void* kept = std::realloc(block.get(), keep)) {
        (void)block.release();
        block.reset(static_cast<char*>(kept));
    }
}

} // namespace

void TFreeBytes::operator()(char* p) const noexcept
{
    if (Mapped > 0)
        ::munmap(p, Mapped);
    else
        std::free(p);
}

TBlockBytes ZeroBlock(std::int64_t size)
{
    // Mapped a huge page longer than asked and cut to start on a huge page
    // boundary; from 2 MB on, its length is a whole number of huge pages.
    // Every 2 MB of it, the last included, can then be one page. A 100 MB
    // load into memory from calloc took 3 ms longer, and its last, partial
    // huge page (4 KB pages) took 1.7 ms to read and as long to index.
    constexpr std::size_t HugePage = 2 << 20;
    const auto bytes = static_cast<std::size_t>(std::max<std::int64_t>(size, 1));
    const std::size_t length = RoundUp(bytes, bytes >= HugePage ? HugePage : PageSize());
    void* const mapping = ::mmap(nullptr, length + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED)
        return {};
    const auto from = reinterpret_cast<std::uintptr_t>(mapping);
    const std::uintptr_t begin = RoundUp(from, HugePage);
    if (begin > from)
        ::munmap(mapping, begin - from);
    if (const std::uintptr_t after = from + HugePage - begin; after > 0)
        ::munmap(reinterpret_cast<void*>(begin + length), after);
    ::madvise(reinterpret_cast<void*>(begin), length, MADV_HUGEPAGE);
    return TBlockBytes(reinterpret_cast<char*>(begin), TFreeBytes{length});
}

TTextStore::TTextStore()
{
    FMarks.push_back({});
    FNextMark = MarkSpacing;
}

TTextStore::TTextStore(TBlockBytes block, std::int64_t size)
    : TTextStore(Reading(block.get(), size))
{
    Finish(size, std::move(block));
}

TTextStore TTextStore::Reading(const char* block, std::int64_t capacity)
{
    TTextStore store;
    store.FReading = block;
    store.FMarks.reserve(static_cast<std::size_t>(capacity / MarkSpacing + 2));
    return store;
}

bool TTextStore::Grow(std::int64_t arrived)
{
    if (FCutAtZero)
        return false;
    // A character or a CR LF may go on past what has arrived: the last few
    // bytes wait for the next piece.
    constexpr std::int64_t Margin = 64;
    FSize = arrived;
    if (arrived - Margin > FEnd.Byte) {
        if (FEnd.Byte == 0)
            SkipLeadingContinuation();
        Index(arrived - Margin);
    }
    return !FCutAtZero;
}

void TTextStore::Finish(std::int64_t arrived, TBlockBytes block)
{
    Q_ASSERT(block.get() == FReading);
    FBlock = std::move(block);
    FReading = nullptr;
    if (!FCutAtZero) {
        FSize = arrived;
        if (FEnd.Byte == 0)
            SkipLeadingContinuation();
        Index(arrived);
    }
    // Keep only the text: a block read for a longer text (a file shorter than
    // asked for, a zero byte early on) gives the rest back to the system.
    ShrinkTo(FBlock, FSize);
}

void TTextStore::SkipLeadingContinuation()
{
    // A text that starts inside a character shows one U+FFFD for its rest.
    const unsigned char* bytes = Bytes();
    FLeadSkip = 0;
    while (FLeadSkip < 3 && FLeadSkip < FSize && bytes[FLeadSkip] != 0 && (bytes[FLeadSkip] & 0xC0) == 0x80)
        ++FLeadSkip;
}

const unsigned char* TTextStore::Bytes() const
{
    const char* bytes = FBlock ? FBlock.get() : FReading ? FReading : FAdded.data();
    return reinterpret_cast<const unsigned char*>(bytes);
}

std::int64_t TTextStore::LongestLine() const
{
    return std::max(FLongestLine, FEnd.Units - FLineStartUnits);
}

int TTextStore::CharAt(std::int64_t byte, char32_t& code) const
{
    if (byte == 0 && FLeadSkip > 0) {
        code = 0xFFFD;
        return FLeadSkip;
    }
    const unsigned char* bytes = Bytes();
    return DecodeUtf8(bytes + byte, bytes + FSize, code);
}

void TTextStore::Step(TTextMark& mark) const
{
    char32_t code = 0;
    mark.Byte += CharAt(mark.Byte, code);
    mark.Units += UnitsOf(code);
    mark.Breaks += code == U'\n';
}

void TTextStore::Index(std::int64_t limit)
{
    static const auto crossPlain = __builtin_cpu_supports("avx2") ? CrossPlainAvx2 : CrossPlainSse2;
    const unsigned char* const bytes = Bytes();
    TIndexRun run{FEnd, FLineStartUnits, FLongestLine};
    TTextMark& at = run.At;
    // The text ends at its first zero byte.
    const auto step = [&] {
        char32_t code = 0;
        const int length = CharAt(at.Byte, code);
        if (code == 0 && length == 1 && (FBlock || FReading) && (at.Byte > 0 || FLeadSkip == 0)) {
            FSize = at.Byte;
            FCutAtZero = true;
            return;
        }
        if (code == U'\n')
            run.LineEnd(at.Units);
        at.Units += UnitsOf(code);
        at.Byte += length;
    };

    while (at.Byte < limit && !FCutAtZero) {
        if (at.Byte >= FNextMark) {
            FMarks.push_back(at);
            FNextMark = at.Byte + MarkSpacing;
        }
        if (limit - at.Byte < 64) {
            step();
            continue;
        }
        // Plain ASCII without CR or zero, the common case, goes 64 bytes at a
        // time; a block with anything else a character at a time.
        const std::int64_t before = at.Byte;
        crossPlain(bytes, run, FNextMark, limit);
        if (at.Byte != before)
            continue;
        for (const std::int64_t blockEnd = at.Byte + 64; at.Byte < blockEnd && !FCutAtZero;)
            step();
    }
    FEnd = at;
    FLineStartUnits = run.LineStart;
    FLongestLine = run.Longest;
}

void TTextStore::Append(QStringView text)
{
    std::string utf8;
    utf8.reserve(static_cast<std::size_t>(text.size()) * 3);
    const auto put = [&utf8](char32_t c) {
        if (c < 0x80) {
            utf8 += char(c);
        } else if (c < 0x800) {
            utf8 += char(0xC0 | (c >> 6));
            utf8 += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += char(0xE0 | (c >> 12));
            utf8 += char(0x80 | ((c >> 6) & 0x3F));
            utf8 += char(0x80 | (c & 0x3F));
        } else {
            utf8 += char(0xF0 | (c >> 18));
            utf8 += char(0x80 | ((c >> 12) & 0x3F));
            utf8 += char(0x80 | ((c >> 6) & 0x3F));
            utf8 += char(0x80 | (c & 0x3F));
        }
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            put(U'\n');
        } else if (c == u'\u2029') {
            put(U'\n');
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            put(QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            put(0xFFFD);
        } else {
            put(c);
        }
    }
    FAdded += utf8;
    FSize = static_cast<std::int64_t>(FAdded.size());
    Index(FSize);
}

// The last boundary whose `key` is at most `value`: the mark before it,
// then a step at a time.
TTextMark TTextStore::SeekTo(std::int64_t TTextMark::*key, std::int64_t value) const
{
    auto it = std::upper_bound(FMarks.begin(), FMarks.end(), value,
                               [key](std::int64_t v, const TTextMark& m) { return v < m.*key; });
    TTextMark at = *(it - 1);
    while (at.*key < value) {
        TTextMark next = at;
        Step(next);
        if (next.*key > value)
            break;
        at = next;
    }
    return at;
}

TTextMark TTextStore::SeekByte(std::int64_t byte) const
{
    return SeekTo(&TTextMark::Byte, std::clamp<std::int64_t>(byte, 0, FSize));
}

TTextMark TTextStore::SeekUnits(std::int64_t units) const
{
    return SeekTo(&TTextMark::Units, std::clamp<std::int64_t>(units, 0, FEnd.Units));
}

TTextMark TTextStore::SeekLine(std::int64_t breaks) const
{
    if (breaks <= 0)
        return {};
    if (breaks > FEnd.Breaks)
        return FEnd;
    auto it = std::lower_bound(FMarks.begin(), FMarks.end(), breaks,
                               [](const TTextMark& m, std::int64_t k) { return m.Breaks < k; });
    TTextMark at = *(it - 1);
    while (at.Breaks < breaks)
        Step(at);
    return at;
}

void TTextStore::Decode(std::int64_t from, std::int64_t to, QString& out, QChar lineBreak) const
{
    to = std::min(to, FSize);
    if (from >= to)
        return;
    // Written straight into the string: a character never takes more units
    // than bytes, and the last one may run past `to` by two units at most.
    const qsizetype start = out.size();
    out.resize(start + qsizetype(to - from) + 2);
    char16_t* const first = reinterpret_cast<char16_t*>(out.data());
    char16_t* write = first + start;
    const unsigned char* const bytes = Bytes();
    std::int64_t at = from;
    while (at < to) {
        const unsigned char c = bytes[at];
        if (c < 0x80 && c != '\r' && c != '\n') {
            *write++ = c;
            ++at;
            continue;
        }
        char32_t code = 0;
        at += at == 0 ? CharAt(at, code) : DecodeUtf8(bytes + at, bytes + FSize, code);
        if (code == U'\n') {
            *write++ = lineBreak.unicode();
        } else if (code >= 0x10000) {
            *write++ = QChar::highSurrogate(code);
            *write++ = QChar::lowSurrogate(code);
        } else {
            *write++ = char16_t(code);
        }
    }
    out.truncate(write - first);
}
