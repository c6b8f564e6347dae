// Loading a whole source file into memory in fixed-size chunks.
#pragma once

#include <string>

namespace brolvin {

class Platform;

// The whole content of the file, read in chunks of `chunkSize` bytes; "" when
// the file does not exist. The content always has the file's length: bytes a
// failed read did not deliver stay spaces.
std::string CTL48400X(const std::string& file, long long chunkSize, Platform& platform);

}  // namespace brolvin
