#include "app/NumberField.h"

#include "base/Failure.h"

#include <QCoreApplication>

#include <cmath>
#include <cstdint>

#include <langinfo.h>
#include <locale.h>

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

[[noreturn]] void Fail(const char* source)
{
    throw TFailure(source);
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
        Fail(QT_TRANSLATE_NOOP("Failure", "Floating point overflow"));
    const long double truncated = std::trunc(product);
    constexpr long double TwoTo63 = 9223372036854775808.0L;
    if (std::isnan(truncated) || truncated >= TwoTo63 || truncated < -TwoTo63)
        Fail(QT_TRANSLATE_NOOP("Failure", "Invalid floating point operation"));
    const auto bytes = static_cast<std::int64_t>(truncated);
    if (bytes < 0 || bytes > INT32_MAX)
        Fail(QT_TRANSLATE_NOOP("Failure", "Range check error"));
    return static_cast<std::int32_t>(bytes);
}

std::int32_t BytesToRead(const QString& numberText, QChar decimalSeparator)
{
    const auto megabytes = TextToExtended(numberText, decimalSeparator);
    if (!megabytes) {
        QString message = FailureText(QT_TRANSLATE_NOOP("Failure", "'%s' is not a valid floating point value"),
                                      numberText);
        // Where the separator is not ".", a translation may show how this
        // user writes the number; English reads as it always has.
        //: Follows the invalid-number message where the decimal separator is not "."; %s is 0.5
        //: written with this user's separator. Leave it untranslated where it is not wanted.
        const char* hint = QT_TRANSLATE_NOOP("Failure", " (write it as %s)");
        if (decimalSeparator != u'.' && QCoreApplication::translate("Failure", hint) != QLatin1StringView(hint))
            message += FailureText(hint, u'0' + decimalSeparator + u'5');
        throw TFailure(message);
    }
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
