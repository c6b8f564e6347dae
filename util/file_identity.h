// Whether two paths name one file. Names are compared by what they reach on
// disk (device and inode, or volume and file index), so hard links, symbolic links and spellings such
// as "./a" or "sub/../a" all count as the file they lead to.
#pragma once

#include <string>

namespace brolvin {

// True when both paths exist and reach the same file.
bool sameFile(const std::string& a, const std::string& b);

}  // namespace brolvin
