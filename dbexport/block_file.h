// Random-access file for the table and index files: positioned reads and
// writes of whole blocks on a FileHandle, an optional exclusive lock,
// little- and big-endian number helpers.
#pragma once

#include <cstdint>
#include <string>

#include "util/file_handle.h"

namespace brolvin {

class BlockFile {
public:
    BlockFile() = default;

    // Opens an existing file for reading and writing; with `exclusive`, takes
    // an exclusive lock, waiting up to `lockWaitMillis` for another holder to
    // let go, and fails (lockTimedOut() true) when it does not.
    bool open(const std::string& path, bool exclusive, int lockWaitMillis = 0);
    bool lockTimedOut() const { return lockTimedOut_; }
    // Creates (or empties) a file for reading and writing.
    bool create(const std::string& path);
    void close();
    bool isOpen() const { return file_.valid(); }

    // Reads exactly `size` bytes at `offset`; false on a short read.
    bool readAt(uint64_t offset, void* data, size_t size) const;
    bool readAt(uint64_t offset, std::string& out, size_t size) const;
    bool writeAt(uint64_t offset, const void* data, size_t size);
    bool writeAt(uint64_t offset, const std::string& data) {
        return writeAt(offset, data.data(), data.size());
    }
    uint64_t size() const;
    bool truncate(uint64_t size);

private:
    FileHandle file_;
    bool lockTimedOut_ = false;
};

inline uint16_t getLe16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t getLe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t getBe32(const unsigned char* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline void putLe16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void putLe32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void putBe32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

}  // namespace brolvin
