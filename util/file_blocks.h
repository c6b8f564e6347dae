// Reading a file front to back in fixed-size blocks, so a source of any size
// is processed with a small, fixed amount of memory.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace brolvin {

inline constexpr size_t kSourceBlockSize = 1 << 20;

// Calls `onBlock` with each block of the file in order; every block but the
// last holds exactly `blockSize` bytes. False when the file cannot be opened
// or a read fails (reading stops there); `error` then holds the system error
// code. An empty file gives no block and true.
bool readFileBlocks(const std::string& path, const std::function<void(std::string_view)>& onBlock,
                    int& error, size_t blockSize = kSourceBlockSize);
// The same, stopping after the block for which `onBlock` returns false.
bool readFileBlocksWhile(const std::string& path, const std::function<bool(std::string_view)>& onBlock,
                         int& error, size_t blockSize = kSourceBlockSize);

}  // namespace brolvin
