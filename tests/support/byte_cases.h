// Values of every length up to a bound with one byte of every value at every
// position (the others 'A'): the cases on which a test of eight or sixteen
// bytes at a time must agree with a byte-by-byte one.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace brolvin::test {

// Calls check(value, at, byte) for each case; stops at the first fatal failure.
template <class Check>
void forEveryBytePlacement(size_t maxLength, Check check) {
    for (size_t length = 1; length <= maxLength; ++length)
        for (size_t at = 0; at < length; ++at)
            for (int byte = 0; byte < 256; ++byte) {
                std::string value(length, 'A');
                value[at] = static_cast<char>(byte);
                check(value, at, byte);
                if (::testing::Test::HasFatalFailure()) return;
            }
}

}  // namespace brolvin::test
