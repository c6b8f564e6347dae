#include "dbexport/index_key.h"

#include <cctype>

#include "util/text.h"

namespace brolvin {

namespace {

std::string stripSpaces(const std::string& s) {
    std::string r;
    for (char c : s)
        if (c != ' ' && c != '\t') r.push_back(c);
    return r;
}

}  // namespace

std::string padKey(const std::string& text, size_t length) {
    if (text.size() >= length) return text.substr(0, length);
    return text + std::string(length - text.size(), ' ');
}

bool IndexKeyExpression::Term::trims() const {
    for (Func f : funcs)
        if (f != Func::Upper) return true;
    return false;
}

std::optional<IndexKeyExpression> IndexKeyExpression::parse(const std::string& expression,
                                                            const std::vector<DbfField>& fields) {
    IndexKeyExpression result;
    std::string text = toUpper(stripSpaces(expression));
    if (text.empty()) return std::nullopt;
    size_t start = 0;
    while (start <= text.size()) {
        size_t plus = text.find('+', start);
        std::string part = text.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        Term term;
        // Peel function calls from the outside in.
        for (;;) {
            size_t open = part.find('(');
            if (open == std::string::npos) break;
            if (part.back() != ')') return std::nullopt;
            std::string name = part.substr(0, open);
            if (name == "UPPER") term.funcs.insert(term.funcs.begin(), Func::Upper);
            else if (name == "TRIM" || name == "RTRIM") term.funcs.insert(term.funcs.begin(), Func::TrimRight);
            else if (name == "LTRIM") term.funcs.insert(term.funcs.begin(), Func::TrimLeft);
            else if (name == "ALLTRIM") {
                term.funcs.insert(term.funcs.begin(), Func::TrimLeft);
                term.funcs.insert(term.funcs.begin(), Func::TrimRight);
            } else return std::nullopt;
            part = part.substr(open + 1, part.size() - open - 2);
        }
        size_t arrow = part.find("->");
        if (arrow != std::string::npos) part = part.substr(arrow + 2);
        for (size_t i = 0; i < fields.size(); ++i)
            if (toUpper(fields[i].name) == part) term.field = static_cast<int>(i);
        if (term.field < 0) return std::nullopt;
        term.def = fields[term.field];
        if (term.def.type != 'C' && term.def.type != 'D') return std::nullopt;
        result.width_ += term.def.length;
        result.terms_.push_back(std::move(term));
        if (plus == std::string::npos) break;
        start = plus + 1;
    }
    return result;
}

std::string IndexKeyExpression::apply(const Term& term, const std::string& stored) {
    std::string v = stored;
    for (Func f : term.funcs) {
        if (f == Func::Upper) v = toUpper(v);
        else if (f == Func::TrimRight) v = trimRightSpaces(v);
        else v = trimLeftSpaces(v);
    }
    return v;
}

std::string IndexKeyExpression::keyOf(const std::vector<std::string>& record, size_t keyLength) const {
    std::string key;
    for (const Term& t : terms_)
        key += apply(t, static_cast<size_t>(t.field) < record.size() ? record[t.field] : std::string());
    return padKey(key, keyLength);
}

std::string IndexKeyExpression::seekText(const std::string& recordKey, size_t keyLength, bool& exact) const {
    const Term& first = terms_.front();
    std::string v = apply(first, DbfTable::formatValue(first.def, recordKey));
    exact = terms_.size() == 1;
    if (exact) return padKey(v, keyLength);
    return v.substr(0, keyLength);
}

}  // namespace brolvin
