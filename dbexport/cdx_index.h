// FoxPro CDX compound index files: 512-byte nodes, a compound header whose
// tree maps tag names to tag headers, and per tag a B+ tree of interior nodes
// (key, record number, child) and compressed leaf nodes chained left to right.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dbexport/block_file.h"
#include "dbexport/ntx_index.h"

namespace brolvin {

struct CdxTagSpec {
    std::string name;        // at most 10 characters, stored upper case
    std::string expression;
    size_t keyLength = 0;
};

class CdxIndex {
public:
    struct Tag {
        std::string name;
        uint32_t header = 0;  // file offset of the tag header
        uint32_t root = 0;
        size_t keyLength = 0;
        std::string expression;
        char trail = ' ';  // byte the leaves leave out at the end of a key
    };

    // With `exclusive`, waits up to `lockWaitMillis` for the lock (see BlockFile).
    bool open(const std::string& path, bool exclusive, int lockWaitMillis = 0);
    bool lockTimedOut() const { return file_.lockTimedOut(); }
    void close() { file_.close(); }

    // The tags in the order of the tag directory (by name).
    const std::vector<Tag>& tags() const { return tags_; }
    // Numeric and date tags hold 8-byte binary keys whose leaves leave out
    // trailing zero bytes instead of trailing spaces; the caller knows the
    // kind from the tag's expression.
    void setBinaryKeys(size_t tag, bool binary);

    bool seek(size_t tag, const std::string& text, bool exact, bool& found);
    bool insert(size_t tag, const std::string& key, uint32_t recno);
    // Every entry of a tag in key order, found by descending the whole tree.
    bool allEntries(size_t tag, std::vector<IndexEntry>& out);
    // The same entries read along the chain of leaf nodes (for checks).
    bool leafChainEntries(size_t tag, std::vector<IndexEntry>& out);

    static constexpr uint32_t kNodeSize = 512;

private:
    struct Entry {
        std::string key;
        uint32_t recno = 0;
        uint32_t child = 0;  // interior nodes only
    };
    struct Node {
        uint16_t attributes = 0;  // 1 root, 2 leaf
        uint32_t left = 0xFFFFFFFF;
        uint32_t right = 0xFFFFFFFF;
        std::vector<Entry> entries;
        bool leaf() const { return attributes & 2; }
    };
    struct InsertResult {
        Entry last;           // the node's highest entry after the insert
        bool split = false;
        Entry newRight;       // highest entry of the new right node, child = its offset
    };

    bool readNode(uint32_t offset, size_t keyLength, Node& node, char trail = ' ') const;
    bool writeNode(uint32_t offset, size_t keyLength, const Node& node, char trail = ' ');
    bool allocateNode(uint32_t& offset);
    bool insertInto(uint32_t offset, const Tag& tag, const Entry& entry, InsertResult& result, int depth);
    bool walk(uint32_t offset, size_t keyLength, std::vector<IndexEntry>& out, int depth, uint64_t& nodesLeft,
              char trail = ' ');
    // Every leaf entry below `root`, each node visited at most once.
    bool walkTree(uint32_t root, size_t keyLength, std::vector<IndexEntry>& out, char trail = ' ');
    bool loadTag(const std::string& name, uint32_t header, Tag& tag) const;

    BlockFile file_;
    std::vector<Tag> tags_;
};

// Creates a CDX file holding the given tags, each with an empty tree.
bool createCdxIndex(const std::string& path, const std::vector<CdxTagSpec>& tags);
bool createCdxIndex(const std::string& path, const std::string& tag, const std::string& expression,
                    size_t keyLength);

}  // namespace brolvin
