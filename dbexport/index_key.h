// Key expressions of index files: a field name, optionally with an alias
// ("CLAIMS->CLAIMID"), wrapped in UPPER(), TRIM(), RTRIM(), LTRIM() or
// ALLTRIM(), and several such terms joined by "+". Only character and date
// fields take part; the key is the text of the terms, padded to the key
// length with spaces.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dbexport/dbf_table.h"

namespace brolvin {

class IndexKeyExpression {
public:
    // Parses `expression` against the table's fields; nothing when the
    // expression uses something this reader does not understand.
    static std::optional<IndexKeyExpression> parse(const std::string& expression,
                                                   const std::vector<DbfField>& fields);

    // Width of the key the expression yields (sum of its terms' widths).
    int width() const { return width_; }
    // The key of a record, given its field texts as stored; `keyLength`
    // pads or cuts to the index's key length.
    std::string keyOf(const std::vector<std::string>& record, size_t keyLength) const;
    // The text to look up for a record key that stands for the first term's
    // field. `exact` tells whether the whole index key must equal it (one
    // term) or only begin with it (several terms).
    std::string seekText(const std::string& recordKey, size_t keyLength, bool& exact) const;

private:
    enum class Func { Upper, TrimRight, TrimLeft };
    struct Term {
        int field = -1;
        DbfField def;
        std::vector<Func> funcs;  // innermost first
        bool trims() const;
    };
    static std::string apply(const Term& term, const std::string& stored);
    std::vector<Term> terms_;
    int width_ = 0;
};

// Pads with spaces or cuts `text` to `length`.
std::string padKey(const std::string& text, size_t length);

}  // namespace brolvin
