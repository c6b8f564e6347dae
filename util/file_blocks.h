// Reading a file front to back in fixed-size blocks, so a source of any size
// is processed with a small, fixed amount of memory. Every block reader of
// the program is this one.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace brolvin {

inline constexpr size_t kSourceBlockSize = 1 << 20;

// Why a block read ended early.
struct BlockReadError {
    int code = 0;         // the system error code, 0 when the file was read to its end
    bool atOpen = false;  // the file could not be opened at all
};

// The console text of the failed step: "Cfile <ERROR> FC-Open #" or
// "Cfile <ERROR> FC-Fread #" with the error code.
std::string readErrorText(const BlockReadError& error);

// Calls `onBlock` with each block of the file in order, until the end or
// until `onBlock` returns false; every block but the last holds exactly
// `blockSize` bytes. False when the file cannot be opened or a read fails:
// reading stops there and `error` says why, so no byte is made up for the
// ones a failed read did not deliver. An empty file gives no block and true.
// A file of more than two blocks is read ahead by a thread of its own (a few
// blocks at most), so `onBlock` works while the next blocks are read.
bool readFileBlocks(const std::string& path, const std::function<bool(std::string_view)>& onBlock,
                    BlockReadError& error, size_t blockSize = kSourceBlockSize);

}  // namespace brolvin
