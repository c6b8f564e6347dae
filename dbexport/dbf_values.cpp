#include "dbexport/dbf_values.h"

#include "dbexport/dbf_table.h"
#include "util/text.h"

namespace brolvin {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string fieldShape(const DbfField& f) {
    return std::string(1, f.type) + "(" + std::to_string(f.length) + "," + std::to_string(f.decimals) + ")";
}

// Adds one unit in the last place of a digit string; true when it carries
// out of the first digit.
bool incrementDigits(std::string& digits) {
    for (size_t i = digits.size(); i > 0; --i) {
        if (digits[i - 1] != '9') {
            ++digits[i - 1];
            return false;
        }
        digits[i - 1] = '0';
    }
    return true;
}

}  // namespace

bool parseDecimal(std::string_view text, DecimalText& number) {
    number = DecimalText{};
    std::string_view t = spacesTrimmedView(text);
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) number.negative = t[i++] == '-';
    size_t intStart = i;
    while (i < t.size() && isDigit(t[i])) ++i;
    std::string_view integer = t.substr(intStart, i - intStart);
    std::string_view fraction;
    if (i < t.size() && t[i] == '.') {
        size_t fracStart = ++i;
        while (i < t.size() && isDigit(t[i])) ++i;
        fraction = t.substr(fracStart, i - fracStart);
    }
    if (i != t.size() || (integer.empty() && fraction.empty())) return false;
    while (!integer.empty() && integer.front() == '0') integer.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
    number.integer = std::string(integer);
    number.fraction = std::string(fraction);
    return true;
}

std::string formatDecimal(const DecimalText& number, int decimals) {
    std::string digits = (number.integer.empty() ? "0" : number.integer);
    std::string fraction = number.fraction;
    bool roundUp = decimals < static_cast<int>(fraction.size()) && fraction[static_cast<size_t>(decimals)] >= '5';
    if (static_cast<int>(fraction.size()) > decimals) fraction.resize(static_cast<size_t>(decimals));
    fraction.append(static_cast<size_t>(decimals) - fraction.size(), '0');
    if (roundUp) {
        std::string all = digits + fraction;
        if (incrementDigits(all)) all.insert(all.begin(), '1');
        digits = all.substr(0, all.size() - fraction.size());
        fraction = all.substr(all.size() - fraction.size());
    }
    bool zero = digits.find_first_not_of('0') == std::string::npos && fraction.find_first_not_of('0') == std::string::npos;
    std::string out = (number.negative && !zero ? "-" : "") + digits;
    if (decimals > 0) out += "." + fraction;
    return out;
}

bool isDateText(std::string_view text) {
    if (text.size() != 8) return false;
    for (char c : text)
        if (!isDigit(c)) return false;
    int year = std::stoi(std::string(text.substr(0, 4)));
    int month = std::stoi(std::string(text.substr(4, 2)));
    int day = std::stoi(std::string(text.substr(6, 2)));
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return !(month == 2 && day == 29 && !leap);
}

long long julianDay(std::string_view yyyymmdd) {
    long long y = std::stoll(std::string(yyyymmdd.substr(0, 4)));
    long long m = std::stoll(std::string(yyyymmdd.substr(4, 2)));
    long long d = std::stoll(std::string(yyyymmdd.substr(6, 2)));
    long long a = (14 - m) / 12;
    long long yy = y + 4800 - a;
    long long mm = m + 12 * a - 3;
    return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

std::string storedFieldText(const DbfField& field, std::string_view value, std::string& problem, bool& truncated) {
    problem.clear();
    truncated = false;
    const size_t width = static_cast<size_t>(field.length);
    const std::string blank(width, ' ');
    auto rightAligned = [&](const std::string& t) { return std::string(width - t.size(), ' ') + t; };
    switch (field.type) {
    case 'C': {
        std::string t(value.substr(0, width));
        truncated = value.size() > width;
        return t + std::string(width - t.size(), ' ');
    }
    case 'N':
    case 'F': {
        if (isBlank(value)) return blank;
        DecimalText number;
        if (!parseDecimal(value, number)) {
            problem = "not a number";
            return blank;
        }
        if (static_cast<int>(number.fraction.size()) > field.decimals) {
            problem = "has more decimals than " + fieldShape(field);
            return blank;
        }
        std::string t = formatDecimal(number, field.decimals);
        if (t.size() > width) {
            problem = "does not fit " + fieldShape(field);
            return blank;
        }
        return rightAligned(t);
    }
    case 'D': {
        std::string_view t = spacesTrimmedView(value);
        if (t.empty()) return blank;
        if (!isDateText(t) || width != 8) {
            problem = "not a date (yyyymmdd)";
            return blank;
        }
        return std::string(t);
    }
    case 'L': {
        std::string_view t = spacesTrimmedView(value);
        if (t.empty()) return blank;
        if (t.size() != 1 || std::string_view("TtFfYyNn?").find(t[0]) == std::string_view::npos) {
            problem = "not a logical value (T, F, Y or N)";
            return blank;
        }
        return std::string(1, t[0]) + std::string(width > 0 ? width - 1 : 0, ' ');
    }
    default:
        // Memo and binary fields are not written; a dBASE memo reference
        // is blank as spaces, binary types as zero bytes.
        if (!isBlank(value)) problem = std::string("field type ") + field.type + " is not written";
        if ((field.type == 'M' || field.type == 'G' || field.type == 'B' || field.type == 'P') && width == 10)
            return blank;
        return std::string(width, '\0');
    }
}

}  // namespace brolvin
