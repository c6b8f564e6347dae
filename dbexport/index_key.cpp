#include "dbexport/index_key.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dbexport/dbf_values.h"
#include "util/text.h"

namespace brolvin {

// One term of an expression tree; `type` is the xBase type it yields:
// C (character), N (number) or D (date).
struct IndexKeyExpression::Node {
    enum class Op { Field, Concat, Upper, TrimRight, TrimLeft, Str, Dtos } op = Op::Field;
    char type = 'C';
    int width = 0;
    int field = -1;                // Op::Field
    int strLength = 10;            // Op::Str
    int strDecimals = 0;           // Op::Str
    std::vector<Node> args;
};

namespace {

using Node = IndexKeyExpression::Node;
using Op = Node::Op;

// A small recursive-descent parser over the upper-cased expression text.
class Parser {
public:
    Parser(std::string text, const std::vector<DbfField>& fields) : text_(std::move(text)), fields_(fields) {}

    bool parse(Node& root, std::string& problem) {
        if (!expression(root)) {
            problem = problem_;
            return false;
        }
        skipSpaces();
        if (at_ != text_.size()) {
            problem = "unexpected \"" + text_.substr(at_) + "\"";
            return false;
        }
        return true;
    }

private:
    bool fail(const std::string& why) {
        if (problem_.empty()) problem_ = why;
        return false;
    }
    void skipSpaces() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
    }
    bool take(char c) {
        skipSpaces();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    std::string name() {
        skipSpaces();
        size_t start = at_;
        while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '_')) ++at_;
        return text_.substr(start, at_ - start);
    }
    bool number(int& value) {
        std::string digits = name();
        if (digits.empty() || digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos)
            return fail("STR() needs whole numbers for its length and decimals");
        value = std::stoi(digits);
        return true;
    }

    // expression := term { "+" term }; "+" joins character terms only.
    bool expression(Node& node) {
        if (!term(node)) return false;
        if (!take('+')) return true;
        Node concat;
        concat.op = Op::Concat;
        concat.args.push_back(std::move(node));
        do {
            Node next;
            if (!term(next)) return false;
            concat.args.push_back(std::move(next));
        } while (take('+'));
        for (const Node& a : concat.args) {
            if (a.type != 'C') return fail("\"+\" joins a numeric or date term; use STR() or DTOS()");
            concat.width += a.width;
        }
        node = std::move(concat);
        return true;
    }

    bool term(Node& node) {
        std::string word = name();
        if (word.empty()) return fail(at_ < text_.size() ? "unexpected \"" + text_.substr(at_) + "\"" : "missing term");
        if (take('(')) return call(word, node);
        skipSpaces();
        if (text_.compare(at_, 2, "->") == 0) {  // alias->field
            at_ += 2;
            word = name();
        }
        for (size_t i = 0; i < fields_.size(); ++i) {
            if (toUpper(fields_[i].name) != word) continue;
            const DbfField& f = fields_[i];
            node.op = Op::Field;
            node.field = static_cast<int>(i);
            node.width = f.length;
            if (f.type == 'C') node.type = 'C';
            else if (f.type == 'N' || f.type == 'F') node.type = 'N';
            else if (f.type == 'D') node.type = 'D';
            else return fail("field " + word + " of type " + std::string(1, f.type) + " cannot be a key");
            return true;
        }
        return fail("no field " + word + " in the table");
    }

    bool call(const std::string& function, Node& node) {
        Node arg;
        if (!expression(arg)) return false;
        if (function == "STR") {
            if (arg.type != 'N') return fail("STR() needs a numeric field");
            // Without a length, STR() of a field has the field's length and decimals.
            node.op = Op::Str;
            const DbfField& f = fields_[static_cast<size_t>(arg.field)];
            node.strLength = f.length;
            node.strDecimals = f.decimals;
            if (take(',')) {
                if (!number(node.strLength)) return false;
                if (take(',') && !number(node.strDecimals)) return false;
            }
            if (node.strLength < 1) return fail("STR() needs a length of at least 1");
            node.type = 'C';
            node.width = node.strLength;
        } else if (function == "DTOS") {
            if (arg.type != 'D') return fail("DTOS() needs a date field");
            node.op = Op::Dtos;
            node.type = 'C';
            node.width = 8;
        } else if (function == "UPPER" || function == "TRIM" || function == "RTRIM" || function == "LTRIM" ||
                   function == "ALLTRIM") {
            if (arg.type != 'C') return fail(function + "() needs a character term");
            node.type = 'C';
            node.width = arg.width;
            if (function == "UPPER") {
                node.op = Op::Upper;
            } else if (function == "LTRIM") {
                node.op = Op::TrimLeft;
            } else {
                node.op = Op::TrimRight;
                if (function == "ALLTRIM") {  // both ends: left trim inside, right trim outside
                    Node inner;
                    inner.op = Op::TrimLeft;
                    inner.type = 'C';
                    inner.width = arg.width;
                    inner.args.push_back(std::move(arg));
                    arg = std::move(inner);
                }
            }
        } else {
            return fail("function " + function + "() is not supported");
        }
        node.args.push_back(std::move(arg));
        if (!take(')')) return fail("missing \")\" after " + function + "(");
        return true;
    }

    std::string text_;
    const std::vector<DbfField>& fields_;
    size_t at_ = 0;
    std::string problem_;
};

// STR(): the number rounded to `decimals`, right-aligned in `length`;
// asterisks when it does not fit, as xBase does.
std::string strText(const std::string& stored, int length, int decimals) {
    DecimalText number;
    if (!parseDecimal(stored, number)) number = DecimalText{};  // a blank field reads as 0
    std::string t = formatDecimal(number, decimals);
    size_t width = static_cast<size_t>(length);
    if (t.size() > width) return std::string(width, '*');
    return std::string(width - t.size(), ' ') + t;
}

// A character term's text.
std::string textOf(const Node& node, const std::vector<std::string>& record) {
    auto fieldText = [&](const Node& n) {
        size_t i = static_cast<size_t>(n.field);
        return i < record.size() ? record[i] : std::string();
    };
    switch (node.op) {
    case Op::Field: return fieldText(node);
    case Op::Concat: {
        std::string t;
        for (const Node& a : node.args) t += textOf(a, record);
        return t;
    }
    case Op::Upper: return toUpper(textOf(node.args[0], record));
    case Op::TrimRight: return trimRightSpaces(textOf(node.args[0], record));
    case Op::TrimLeft: return trimLeftSpaces(textOf(node.args[0], record));
    case Op::Str: return strText(fieldText(node.args[0]), node.strLength, node.strDecimals);
    case Op::Dtos: {
        std::string d = fieldText(node.args[0]);
        return isDateText(d) ? d : std::string(8, ' ');
    }
    }
    return "";
}

}  // namespace

std::string padKey(const std::string& text, size_t length) {
    if (text.size() >= length) return text.substr(0, length);
    return text + std::string(length - text.size(), ' ');
}

std::string cdxNumberKey(double value) {
    if (value == 0) value = 0;  // -0 sorts as 0
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    bits = (bits >> 63) ? ~bits : bits | (uint64_t{1} << 63);
    std::string key(8, '\0');
    for (int i = 0; i < 8; ++i) key[static_cast<size_t>(i)] = static_cast<char>(bits >> (56 - 8 * i));
    return key;
}

std::optional<IndexKeyExpression> IndexKeyExpression::parse(const std::string& expression,
                                                            const std::vector<DbfField>& fields, IndexFormat format,
                                                            std::string& problem) {
    auto root = std::make_shared<Node>();
    Parser parser(toUpper(expression), fields);
    if (!parser.parse(*root, problem)) return std::nullopt;
    IndexKeyExpression e;
    e.format_ = format;
    e.binary_ = format == IndexFormat::Cdx && root->type != 'C';
    e.width_ = e.binary_ ? 8 : root->width;
    e.root_ = std::move(root);
    return e;
}

bool IndexKeyExpression::keyOf(const std::vector<std::string>& record, size_t keyLength, std::string& key,
                               std::string& problem) const {
    const Node& root = *root_;
    if (root.type == 'C') {
        key = padKey(textOf(root, record), keyLength);
        return true;
    }
    std::string stored = static_cast<size_t>(root.field) < record.size() ? record[static_cast<size_t>(root.field)] : "";
    if (root.type == 'D') {
        bool date = isDateText(stored);
        if (binary_) key = cdxNumberKey(date ? static_cast<double>(julianDay(stored)) : 0.0);
        else key = padKey(date ? stored : std::string(), keyLength);
        return true;
    }
    DecimalText number;
    if (!parseDecimal(stored, number)) number = DecimalText{};
    if (binary_) {
        key = cdxNumberKey(std::strtod(formatDecimal(number, static_cast<int>(number.fraction.size())).c_str(), nullptr));
        return true;
    }
    // NTX keeps a numeric key as the field's text, which sorts as the
    // numbers only while they are not negative.
    if (number.negative && !number.isZero()) {
        problem = "a negative number cannot go into the NTX numeric key";
        return false;
    }
    key = padKey(stored, keyLength);
    return true;
}

}  // namespace brolvin
