// The texts that numeric, date and logical dBASE fields hold: reading a
// Value as a number or a date, and formatting it for a field so that the
// stored number is never a different one.
#pragma once

#include <string>
#include <string_view>

namespace brolvin {

struct DbfField;

// A decimal number as written: sign, integer digits, fraction digits.
struct DecimalText {
    bool negative = false;
    std::string integer;   // without leading zeros ("" for zero)
    std::string fraction;  // without trailing zeros
    bool isZero() const { return integer.empty() && fraction.empty(); }
};

// Reads "-12.50", "+3", ".5" or "7." (spaces around allowed); false for
// anything else, also for an empty text.
bool parseDecimal(std::string_view text, DecimalText& number);
// The number with exactly `decimals` fraction digits, rounded half away
// from zero ("-" only when the result is not zero).
std::string formatDecimal(const DecimalText& number, int decimals);

// Whether `text` is a calendar date written yyyymmdd.
bool isDateText(std::string_view text);
// The Julian day number of a yyyymmdd date (2451545 for 20000101).
long long julianDay(std::string_view yyyymmdd);

// The text a field stores for `value`, right-aligned, padded or blank as the
// field type wants. When the value does not suit the field (not a number, a
// date or a logical, too many digits for the width or decimals), the field
// stays blank and `problem` says why; a character Value that is longer than
// the field is cut and `truncated` is set.
std::string storedFieldText(const DbfField& field, std::string_view value, std::string& problem, bool& truncated);

}  // namespace brolvin
