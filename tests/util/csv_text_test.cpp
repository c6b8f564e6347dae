#include "util/csv_text.h"

#include <gtest/gtest.h>

#include <string>

#include "support/byte_cases.h"

namespace brolvin {
namespace {

// Every byte at every position of values of every length up to three words:
// the word-at-a-time test must agree with a byte-by-byte one.
TEST(CsvText, NeedsQuotesAgreesWithEveryByte) {
    test::forEveryBytePlacement(24, [](const std::string& value, size_t at, int byte) {
        const bool expected = byte == '"' || byte == ',' || byte == '\r' || byte == '\n';
        ASSERT_EQ(csvNeedsQuotes(value), expected) << value.size() << ' ' << at << ' ' << byte;
    });
    EXPECT_FALSE(csvNeedsQuotes(""));
    EXPECT_TRUE(csvNeedsQuotes(std::string(17, ' ') + ","));
}

}  // namespace
}  // namespace brolvin
