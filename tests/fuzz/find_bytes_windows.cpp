#include "fuzz/find_bytes.h"

namespace brolvin::fuzz {

size_t findBytes(std::string_view text, std::string_view what) { return text.find(what); }

}  // namespace brolvin::fuzz
