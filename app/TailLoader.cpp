#include "app/TailLoader.h"

#include "base/Failure.h"

#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

// Powers of ten, each rounded to extended precision by the compiler.
constexpr long double PowersOfTen[32] = {
    1e0L, 1e1L, 1e2L, 1e3L, 1e4L, 1e5L, 1e6L, 1e7L,
    1e8L, 1e9L, 1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L,
    1e16L, 1e17L, 1e18L, 1e19L, 1e20L, 1e21L, 1e22L, 1e23L,
    1e24L, 1e25L, 1e26L, 1e27L, 1e28L, 1e29L, 1e30L, 1e31L
};
constexpr long double PowersOfTen32[16] = {
    1e0L, 1e32L, 1e64L, 1e96L, 1e128L, 1e160L,
    1e192L, 1e224L, 1e256L, 1e288L, 1e320L, 1e352L,
    1e384L, 1e416L, 1e448L, 1e480L
};
constexpr long double PowersOfTen512[10] = {
    1e0L, 1e512L, 1e1024L, 1e1536L, 1e2048L,
    1e2560L, 1e3072L, 1e3584L, 1e4096L, 1e4608L
};

// 10^(512 x steps), infinite past the extended range.
long double PowerOfTen512(std::int64_t steps)
{
    return steps < 10 ? PowersOfTen512[steps] : HUGE_VALL;
}

// Scales by 10^power in at most three rounded steps, multiplying for a
// positive power and dividing for a negative one.
long double ScaleByPowerOfTen(long double value, std::int64_t power)
{
    if (power == 0)
        return value;
    const std::int64_t magnitude = power < 0 ? -power : power;
    const long double factors[3] = {PowersOfTen[magnitude % 32],
                                    PowersOfTen32[(magnitude / 32) % 16],
                                    PowerOfTen512(magnitude / 512)};
    for (int step = 0; step < 3; ++step) {
        if (step > 0 && factors[step] == 1.0L)
            continue;
        value = power > 0 ? value * factors[step] : value / factors[step];
    }
    return value;
}

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

[[noreturn]] void Fail(const char16_t* message)
{
    throw TFailure(QString::fromUtf16(message));
}

} // namespace

std::optional<long double> TextToExtended(QStringView text, QChar decimalSeparator)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && text[i] == u' ')
        ++i;

    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }

    long double value = 0.0L;
    bool consumed = false;
    std::int64_t fractionDigits = 0;
    for (; i < n && IsDigit(text[i]); ++i, consumed = true)
        value = value * 10.0L + (text[i].unicode() - u'0');
    if (i < n && text[i] == decimalSeparator) {
        consumed = true;
        for (++i; i < n && IsDigit(text[i]); ++i, ++fractionDigits)
            value = value * 10.0L + (text[i].unicode() - u'0');
    }
    if (!consumed)
        return std::nullopt;

    std::int64_t exponent = 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            negativeExponent = text[i] == u'-';
            ++i;
        }
        // Digits are taken only while the exponent is below 500, so the
        // digit that reaches 500 is the last one read.
        for (; i < n && IsDigit(text[i]) && exponent < 500; ++i)
            exponent = exponent * 10 + (text[i].unicode() - u'0');
        if (negativeExponent)
            exponent = -exponent;
    }

    while (i < n && text[i] == u' ')
        ++i;
    if (i != n)
        return std::nullopt;

    value = ScaleByPowerOfTen(value, exponent - fractionDigits);
    if (negative)
        value = -value;
    // Overflow leaves an infinity, an invalid operation a NaN; an underflow
    // to zero is fine.
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

std::int32_t BytesFromMegabytes(long double megabytes)
{
    const long double product = megabytes * 1'000'000.0L;
    if (std::isinf(product))
        Fail(u"Floating point overflow");
    const long double truncated = std::trunc(product);
    constexpr long double TwoTo63 = 9223372036854775808.0L;
    if (std::isnan(truncated) || truncated >= TwoTo63 || truncated < -TwoTo63)
        Fail(u"Invalid floating point operation");
    const auto bytes = static_cast<std::int64_t>(truncated);
    if (bytes < 0 || bytes > INT32_MAX)
        Fail(u"Range check error");
    return static_cast<std::int32_t>(bytes);
}

std::int32_t BytesToRead(const QString& numberText, QChar decimalSeparator)
{
    const auto megabytes = TextToExtended(numberText, decimalSeparator);
    if (!megabytes)
        throw TFailure(u'\'' + numberText + QStringLiteral("' is not a valid floating point value"));
    return BytesFromMegabytes(*megabytes);
}

QChar UserDecimalSeparator()
{
    // The C library's LC_NUMERIC as the environment names it now, which is
    // the user's setting on Linux; Qt's locale data differs for some
    // locales. A locale that is not installed counts as none.
    const locale_t numeric = ::newlocale(LC_NUMERIC_MASK, "", locale_t(nullptr));
    if (!numeric)
        return u'.';
    const QString point = QString::fromLocal8Bit(::nl_langinfo_l(RADIXCHAR, numeric));
    ::freelocale(numeric);
    return point.isEmpty() ? QChar(u'.') : point.front();
}

TTailBlock::TTailBlock(std::int32_t size)
    : FData(size >= 0 ? ZeroBlock(size) : TBlockBytes()),
      FSize(size)
{
    if (size < 0)
        Fail(u"Range check error");
    if (!FData)
        Fail(u"Out of memory");
}

namespace {

// Faults [from, from + count) in at once, before it is read into: in one
// call it costs less than a fault per page in the read (a 0.5 MB load 5.2 ms
// against 6.0). Where the system cannot, the read faults it in.
void Prefault(char* from, std::int64_t count)
{
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(from) + page - 1) & ~(page - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(from) + static_cast<std::uintptr_t>(count);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

// Reads up to `size` bytes at `offset`, again when a signal cuts the read
// short; -1 when it fails. With RWF_NOWAIT, only what is in memory now:
// -1 (EAGAIN) when nothing is.
ssize_t ReadAt(int handle, char* to, std::int64_t size, std::int64_t offset, int flags)
{
    const iovec part{to, static_cast<std::size_t>(size)};
    ssize_t got = 0;
    do
        got = ::preadv2(handle, &part, 1, offset, flags);
    while (got < 0 && errno == EINTR);
    return got;
}

// Opens a regular file read-only and takes an exclusive lock on it. Returns
// -1 for anything that is not a regular file or cannot be opened or locked.
// The path is checked before opening so that a FIFO or a device is never
// opened at all; the check after opening catches a swap in between.
int OpenRegularLocked(const QByteArray& path, std::int64_t& size)
{
    struct stat info {};
    if (path.isEmpty() || path.contains('\0') || ::stat(path.constData(), &info) != 0
        || !S_ISREG(info.st_mode))
        return -1;

    const int handle = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (handle < 0)
        return -1;
    // Locks are advisory here: another program's lock refuses the load, and
    // ours keeps cooperating programs out while the load runs. A file system
    // without locks does not keep the file from being shown.
    if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)
        || (::flock(handle, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)) {
        ::close(handle);
        return -1;
    }
    size = info.st_size;
    return handle;
}

} // namespace

namespace {

bool Exists(const QByteArray& path)
{
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0;
}

// A name component as other tools print one whose bytes are not UTF-8: the
// escapes \ooo (ls -b) and \xHH (bash's $'...') made bytes again.
std::optional<QByteArray> Unescaped(const QByteArray& component)
{
    QByteArray bytes;
    bool escaped = false;
    for (qsizetype i = 0; i < component.size(); ++i) {
        const char c = component[i];
        const auto digits = [&](qsizetype from, int count, int base) -> std::optional<int> {
            if (from + count > component.size())
                return std::nullopt;
            bool ok = false;
            const int value = component.mid(from, count).toInt(&ok, base);
            return ok && value < 256 ? std::optional<int>(value) : std::nullopt;
        };
        if (c == '\\' && digits(i + 1, 3, 8) && component[i + 1] >= '0' && component[i + 1] <= '3') {
            bytes += char(*digits(i + 1, 3, 8));
            i += 3;
            escaped = true;
        } else if (c == '\\' && i + 1 < component.size() && component[i + 1] == 'x' && digits(i + 2, 2, 16)) {
            bytes += char(*digits(i + 2, 2, 16));
            i += 3;
            escaped = true;
        } else {
            bytes += c;
        }
    }
    return escaped ? std::optional<QByteArray>(bytes) : std::nullopt;
}

// The one entry of a folder whose name Qt shows as `name` (its invalid bytes
// as U+FFFD), when exactly one does.
std::optional<QByteArray> EntryShownAs(const QByteArray& folder, const QString& name)
{
    DIR* dir = ::opendir(folder.isEmpty() ? "." : folder.constData());
    if (!dir)
        return std::nullopt;
    std::optional<QByteArray> found;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (QFile::decodeName(entry->d_name) == name) {
            found = QByteArray(entry->d_name);
            ++matches;
        }
    }
    ::closedir(dir);
    return matches == 1 ? found : std::nullopt;
}

} // namespace

QByteArray NativePath(const QString& path)
{
    const QByteArray literal = QFile::encodeName(path);
    if (Exists(literal))
        return literal;
    // Qt holds names as Unicode, so a name whose bytes are not UTF-8 comes
    // back with U+FFFD or as another tool escaped it: find the bytes a
    // component at a time, the name as typed wherever it exists.
    QByteArray resolved;
    const QStringList components = path.split(u'/');
    for (qsizetype i = 0; i < components.size(); ++i) {
        const QByteArray folder = resolved.isEmpty() && i > 0 ? QByteArray("/") : resolved;
        if (i > 0)
            resolved += '/';
        const QByteArray typed = QFile::encodeName(components[i]);
        if (components[i].isEmpty() || Exists(resolved + typed)) {
            resolved += typed;
        } else if (const auto bytes = Unescaped(typed); bytes && Exists(resolved + *bytes)) {
            resolved += *bytes;
        } else if (const auto entry = components[i].contains(QChar::ReplacementCharacter)
                                          ? EntryShownAs(folder, components[i]) : std::nullopt) {
            resolved += *entry;
        } else {
            return literal;
        }
    }
    return resolved;
}

TTailFile::TTailFile(const QString& path)
    : FHandle(OpenRegularLocked(NativePath(path), FSize))
{
    if (FHandle < 0)
        throw TFailure(QStringLiteral("Cannot open file ") + path);
}

TTailFile::~TTailFile()
{
    ::close(FHandle);
}

std::int64_t TTailFile::ReadTail(TTailBlock& block, const std::function<bool(std::int64_t)>& arrived) const
{
    const std::int64_t count = std::min<std::int64_t>(block.Size(), FSize);
    const std::int64_t start = FSize - count;
    char* const data = block.Data();
    // The reader fills a piece while this thread goes through the one before.
    // Bytes already in memory come in small pieces, gone through while they
    // are still in the processor's cache. Bytes the disk must deliver come in
    // large requests, which it serves fastest: a cold 2 GB tail in 1 MB
    // requests came a third slower than in one request, in 64 MB ones as
    // fast. Near the end requests shrink, so that the last piece is gone
    // through soon after it arrives.
    //
    // Read in order, the kernel reads ahead of the pieces by itself. Asking
    // it for the whole range first (POSIX_FADV_WILLNEED) held this thread up
    // before the first byte and made a cold 100 MB tail slower (39 ms against
    // 35). A large request's memory is faulted in by the read itself:
    // faulting it in first kept the disk waiting meanwhile (a cold 2 GB tail
    // 535 ms against 402).
    constexpr std::int64_t SmallPiece = 1 << 20;
    constexpr std::int64_t LargePiece = 64 << 20;
    std::mutex lock;
    std::condition_variable changed;
    std::int64_t done = 0;
    bool finished = false;
    bool wanted = true;
    const auto read = [&] {
        std::int64_t at = 0;
        bool failed = false;
        while (at < count && !failed) {
            const std::int64_t left = count - at;
            const std::int64_t small = std::min(left, SmallPiece);
            Prefault(data + at, small);
            const ssize_t cached = ReadAt(FHandle, data + at, small, start + at, RWF_NOWAIT);
            if (cached > 0) {
                at += cached;
            } else {
                // Not in memory (or the file system cannot tell): wait for
                // the whole request, however many reads it takes.
                const std::int64_t end = at + std::min(left, std::clamp(left / 4, SmallPiece, LargePiece));
                while (at < end && !failed) {
                    const ssize_t got = ReadAt(FHandle, data + at, end - at, start + at, 0);
                    failed = got <= 0;
                    at += std::max<ssize_t>(got, 0);
                }
            }
            const std::scoped_lock hold(lock);
            done = at;
            if (!wanted)
                break;
            changed.notify_one();
        }
        const std::scoped_lock hold(lock);
        finished = true;
        changed.notify_one();
    };
    // A tail of one piece is read here: a thread would only add its start.
    std::jthread reader;
    try {
        if (count > SmallPiece)
            reader = std::jthread(read);
        else
            read();
    } catch (const std::system_error&) {
        read(); // no thread to be had: all of it here, then
    }
    // However this ends, the reader stops before the block can go.
    const auto stop = qScopeGuard([&] {
        const std::scoped_lock hold(lock);
        wanted = false;
    });
    std::int64_t seen = 0;
    for (bool last = false; !last;) {
        std::unique_lock hold(lock);
        changed.wait(hold, [&] { return finished || done > seen; });
        last = finished;
        const bool more = done > seen;
        seen = done;
        hold.unlock();
        if (more && arrived && !arrived(seen))
            return count;
    }
    if (seen < count)
        Fail(u"Stream read error");
    return count;
}
