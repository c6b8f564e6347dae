// Cleaning of values written into generated X12. A byte that would end or
// divide a segment where the value does not mean to (the element separator,
// the segment terminator, the repetition separator "^") and every control
// byte is written as a space, so the interchange stays well formed whatever
// the values hold. The component separator stays: a value may carry a ready
// composite. Envelope values and record values are cleaned alike.
#pragma once

#include <string>
#include <string_view>

namespace brolvin {

inline constexpr char kRepetitionSeparator = '^';

class X12ValueCleaning {
public:
    // For the delimiters every generated interchange uses, "*" and "~".
    X12ValueCleaning() : X12ValueCleaning("*", "~") {}
    // Every character of either text is replaced.
    X12ValueCleaning(std::string_view elementSeparator, std::string_view terminator);

    bool replaces(char c) const { return replaced_[static_cast<unsigned char>(c)]; }
    // Writes every byte from `from` on that replaces() names as a space.
    void clean(std::string& value, size_t from = 0) const {
        for (size_t i = from; i < value.size(); ++i)
            if (replaces(value[i])) value[i] = ' ';
    }
    std::string cleaned(std::string value) const {
        clean(value);
        return value;
    }

private:
    bool replaced_[256] = {};
};

}  // namespace brolvin
