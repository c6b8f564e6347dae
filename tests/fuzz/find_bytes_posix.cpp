#include <string.h>

#include "fuzz/find_bytes.h"

namespace brolvin::fuzz {

size_t findBytes(std::string_view text, std::string_view what) {
    const void* found = memmem(text.data(), text.size(), what.data(), what.size());
    return found ? static_cast<size_t>(static_cast<const char*>(found) - text.data()) : std::string_view::npos;
}

}  // namespace brolvin::fuzz
