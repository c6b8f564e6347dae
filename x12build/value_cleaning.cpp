#include "x12build/value_cleaning.h"

namespace brolvin {

X12ValueCleaning::X12ValueCleaning(std::string_view elementSeparator, std::string_view terminator) {
    for (int c = 0; c < 0x20; ++c) replaced_[c] = true;
    replaced_[0x7F] = true;
    replaced_[static_cast<unsigned char>(kRepetitionSeparator)] = true;
    for (char c : elementSeparator) replaced_[static_cast<unsigned char>(c)] = true;
    for (char c : terminator) replaced_[static_cast<unsigned char>(c)] = true;
}

}  // namespace brolvin
