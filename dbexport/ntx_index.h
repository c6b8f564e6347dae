// Clipper NTX single-key index files: 1024-byte pages, a header page with the
// key expression, B-tree pages whose items carry a child page, a record
// number and the key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dbexport/block_file.h"

namespace brolvin {

struct IndexEntry {
    std::string key;
    uint32_t recno = 0;
};

class NtxIndex {
public:
    // With `exclusive`, waits up to `lockWaitMillis` for the lock (see BlockFile).
    bool open(const std::string& path, bool exclusive, int lockWaitMillis = 0);
    bool lockTimedOut() const { return file_.lockTimedOut(); }
    void close() { file_.close(); }

    const std::string& expression() const { return expression_; }
    size_t keyLength() const { return keyLength_; }
    bool unique() const { return unique_; }

    // Whether some key equals `text` (`exact`) or begins with it.
    bool seek(const std::string& text, bool exact, bool& found);
    // Inserts a key (padded or cut to the key length) for a record.
    bool insert(const std::string& key, uint32_t recno);
    // Every entry in key order, walking the whole tree (for checks).
    bool allEntries(std::vector<IndexEntry>& out);

    static constexpr uint32_t kPageSize = 1024;

private:
    struct Item {
        uint32_t child = 0;
        uint32_t recno = 0;
        std::string key;
    };
    struct Page {
        std::vector<Item> items;
        uint32_t rightChild = 0;
    };
    bool readPage(uint32_t offset, Page& page);
    bool writePage(uint32_t offset, const Page& page);
    bool allocatePage(uint32_t& offset);
    // Inserts below `offset`; on a split, `promoted` carries the middle item
    // whose child is the new left page.
    bool insertInto(uint32_t offset, const Item& item, bool& split, Item& promoted, int depth);
    bool walk(uint32_t offset, std::vector<IndexEntry>& out, int depth, uint64_t& pagesLeft);

    BlockFile file_;
    std::string expression_;
    uint32_t root_ = 0;
    size_t keyLength_ = 0;
    size_t itemSize_ = 0;
    size_t maxItems_ = 0;
    bool unique_ = false;
};

// Creates an empty NTX index with the given key expression and key length.
bool createNtxIndex(const std::string& path, const std::string& expression, size_t keyLength);

}  // namespace brolvin
