// Key expressions of index files, evaluated for a record: field names
// (optionally with an alias, "CLAIMS->CLAIMID"), character terms joined by
// "+", UPPER(), TRIM(), RTRIM(), LTRIM(), ALLTRIM(), STR(number[, length
// [, decimals]]) and DTOS(date). A lone numeric or date field is a key of
// its own type: in a CDX index an 8-byte binary number (a date as its
// Julian day), in an NTX index the number's text or the date as yyyymmdd.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbexport/dbf_table.h"

namespace brolvin {

enum class IndexFormat { Ntx, Cdx };

class IndexKeyExpression {
public:
    // Parses `expression` against the table's fields; nothing, with
    // `problem` saying why, when the expression uses something this reader
    // does not evaluate.
    static std::optional<IndexKeyExpression> parse(const std::string& expression, const std::vector<DbfField>& fields,
                                                   IndexFormat format, std::string& problem);

    // Width of the key the expression yields.
    int width() const { return width_; }
    // Whether the key is an 8-byte binary number (CDX numeric or date key).
    bool binary() const { return binary_; }
    // The key of a record, given its field texts as stored, padded or cut to
    // `keyLength`; false, with `problem`, when the record gives no key.
    bool keyOf(const std::vector<std::string>& record, size_t keyLength, std::string& key,
               std::string& problem) const;

    struct Node;

private:
    std::shared_ptr<const Node> root_;
    IndexFormat format_ = IndexFormat::Ntx;
    int width_ = 0;
    bool binary_ = false;
};

// Pads with spaces or cuts `text` to `length`.
std::string padKey(const std::string& text, size_t length);

// The 8-byte key of a number in a CDX index: the IEEE double, big-endian,
// with the sign bit set for positive numbers and every bit inverted for
// negative ones, so that the bytes sort as the numbers do.
std::string cdxNumberKey(double value);

}  // namespace brolvin
