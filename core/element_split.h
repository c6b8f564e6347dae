// Splitting a segment into elements (or an element into components).
#pragma once

#include <string>
#include <string_view>

namespace brolvin {

// Element `index` of the segment: 0 is the segment identifier, 1 the first
// data element. An index beyond the last element yields "" (or the spaces of
// a last element made only of spaces); a negative index yields "".
std::string CTL39400AU(std::string_view segment, long long index, char separator);
// The same without copying: a view into `segment`.
std::string_view elementView(std::string_view segment, long long index, char separator);

}  // namespace brolvin
