#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

#include <cfloat>
#include <cstdint>
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
