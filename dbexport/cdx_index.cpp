#include "dbexport/cdx_index.h"

#include <algorithm>
#include <cstring>

#include "dbexport/index_key.h"
#include "util/text.h"

namespace brolvin {

namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kHeaderSize = 1024;
constexpr size_t kLeafArea = CdxIndex::kNodeSize - 24;      // 488 bytes after the leaf header
constexpr size_t kInteriorArea = CdxIndex::kNodeSize - 12;  // 500 bytes after the node header
constexpr size_t kTagNameLength = 10;
constexpr int kMaxDepth = 64;
constexpr uint16_t kRoot = 1;
constexpr uint16_t kLeaf = 2;

int bitsFor(uint64_t value) {
    int bits = 1;
    while (bits < 63 && (value >> bits) != 0) ++bits;
    return bits;
}

bool lessThan(const std::string& k1, uint32_t r1, const std::string& k2, uint32_t r2) {
    int c = k1.compare(k2);
    return c < 0 || (c == 0 && r1 < r2);
}

int comparePrefix(const std::string& key, const std::string& text) { return key.compare(0, text.size(), text); }

// Leaf layout: entry info words grow from byte 24, key texts grow from the
// end of the node backwards. Each info word holds the record number, then
// the count of leading bytes shared with the previous key, then the count of
// trailing spaces left out.
bool encodeLeaf(const std::vector<std::string>& keys, const std::vector<uint32_t>& recnos, size_t keyLength,
                unsigned char* node, char trailByte = ' ') {
    int countBits = bitsFor(keyLength);
    uint32_t maxRec = 1;
    for (uint32_t r : recnos) maxRec = std::max(maxRec, r);
    int recBits = bitsFor(maxRec);
    int bytes = std::max(3, (recBits + 2 * countBits + 7) / 8);
    if (bytes > 8) return false;
    recBits = bytes * 8 - 2 * countBits;
    if (recBits > 32) recBits = 32;
    size_t used = 0;
    size_t keyEnd = CdxIndex::kNodeSize;
    const std::string* previous = nullptr;
    for (size_t i = 0; i < keys.size(); ++i) {
        const std::string& key = keys[i];
        size_t trail = 0;
        while (trail < keyLength && key[keyLength - 1 - trail] == trailByte) ++trail;
        size_t dup = 0;
        if (previous)
            while (dup < keyLength && (*previous)[dup] == key[dup]) ++dup;
        dup = std::min(dup, keyLength - trail);
        size_t stored = keyLength - dup - trail;
        used += static_cast<size_t>(bytes) + stored;
        if (used > kLeafArea) return false;
        keyEnd -= stored;
        std::memcpy(node + keyEnd, key.data() + dup, stored);
        uint64_t info = recnos[i] | (uint64_t(dup) << recBits) | (uint64_t(trail) << (recBits + countBits));
        for (int b = 0; b < bytes; ++b) node[24 + i * bytes + b] = static_cast<unsigned char>(info >> (8 * b));
        previous = &key;
    }
    putLe16(node + 12, static_cast<uint32_t>(kLeafArea - used));
    putLe32(node + 14, recBits >= 32 ? 0xFFFFFFFFu : ((1u << recBits) - 1));
    node[18] = static_cast<unsigned char>((1u << countBits) - 1);
    node[19] = node[18];
    node[20] = static_cast<unsigned char>(recBits);
    node[21] = static_cast<unsigned char>(countBits);
    node[22] = static_cast<unsigned char>(countBits);
    node[23] = static_cast<unsigned char>(bytes);
    return true;
}

// Shifts and masks of a whole 64-bit info word: a damaged node may ask for
// 64 bits, which the shift operators do not allow.
uint64_t shiftedRight(uint64_t value, int bits) { return bits >= 64 ? 0 : value >> bits; }
uint64_t lowBits(int bits) { return bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1; }

bool decodeLeaf(const unsigned char* node, size_t count, size_t keyLength, std::vector<std::string>& keys,
                std::vector<uint32_t>& recnos, char trailByte = ' ') {
    int recBits = node[20], dupBits = node[21], trailBits = node[22], bytes = node[23];
    if (bytes < 1 || bytes > 8 || recBits + dupBits + trailBits > bytes * 8 || count * bytes > kLeafArea)
        return false;
    uint32_t recMask = getLe32(node + 14);
    uint64_t dupMask = lowBits(dupBits), trailMask = lowBits(trailBits);
    size_t keyEnd = CdxIndex::kNodeSize;
    size_t infoEnd = 24 + count * bytes;
    std::string previous(keyLength, ' ');
    for (size_t i = 0; i < count; ++i) {
        uint64_t info = 0;
        for (int b = 0; b < bytes; ++b) info |= uint64_t(node[24 + i * bytes + b]) << (8 * b);
        size_t dup = shiftedRight(info, recBits) & dupMask;
        size_t trail = shiftedRight(info, recBits + dupBits) & trailMask;
        if (dup + trail > keyLength) return false;
        size_t stored = keyLength - dup - trail;
        if (keyEnd < infoEnd + stored) return false;
        keyEnd -= stored;
        std::string key = previous.substr(0, dup);
        key.append(reinterpret_cast<const char*>(node + keyEnd), stored);
        key.append(trail, trailByte);
        recnos.push_back(static_cast<uint32_t>(info & recMask));
        previous = key;
        keys.push_back(std::move(key));
    }
    return true;
}

void writeHeader(unsigned char* h, uint32_t root, size_t keyLength, unsigned char options,
                 const std::string& expression) {
    std::memset(h, 0, kHeaderSize);
    putLe32(h, root);
    putLe32(h + 4, 0);
    putLe16(h + 12, static_cast<uint32_t>(keyLength));
    h[14] = options;
    h[15] = 1;
    putLe16(h + 502, 0);  // ascending
    putLe16(h + 506, 1);  // FOR expression pool: only its terminating zero
    putLe16(h + 510, static_cast<uint32_t>(expression.size() + 1));
    std::memcpy(h + 512, expression.data(), expression.size());
}

void emptyLeaf(unsigned char* node, uint16_t attributes, size_t keyLength) {
    std::memset(node, 0, CdxIndex::kNodeSize);
    putLe16(node, attributes);
    putLe32(node + 4, kNone);
    putLe32(node + 8, kNone);
    encodeLeaf({}, {}, keyLength, node);
}

}  // namespace

bool CdxIndex::readNode(uint32_t offset, size_t keyLength, Node& node, char trail) const {
    node = Node{};
    if (offset == 0 || offset == kNone || offset % kNodeSize != 0) return false;
    unsigned char n[kNodeSize];
    if (!file_.readAt(offset, n, kNodeSize)) return false;
    node.attributes = getLe16(n);
    size_t count = getLe16(n + 2);
    node.left = getLe32(n + 4);
    node.right = getLe32(n + 8);
    if (node.leaf()) {
        std::vector<std::string> keys;
        std::vector<uint32_t> recnos;
        if (!decodeLeaf(n, count, keyLength, keys, recnos, trail)) return false;
        for (size_t i = 0; i < count; ++i) node.entries.push_back({std::move(keys[i]), recnos[i], 0});
        return true;
    }
    size_t entrySize = keyLength + 8;
    if (count * entrySize > kInteriorArea) return false;
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* at = n + 12 + i * entrySize;
        Entry e;
        e.key.assign(reinterpret_cast<const char*>(at), keyLength);
        e.recno = getBe32(at + keyLength);
        e.child = getBe32(at + keyLength + 4);
        node.entries.push_back(std::move(e));
    }
    return true;
}

bool CdxIndex::writeNode(uint32_t offset, size_t keyLength, const Node& node, char trail) {
    unsigned char n[kNodeSize] = {};
    putLe16(n, node.attributes);
    putLe16(n + 2, static_cast<uint32_t>(node.entries.size()));
    putLe32(n + 4, node.left);
    putLe32(n + 8, node.right);
    if (node.leaf()) {
        std::vector<std::string> keys;
        std::vector<uint32_t> recnos;
        for (const Entry& e : node.entries) {
            keys.push_back(e.key);
            recnos.push_back(e.recno);
        }
        if (!encodeLeaf(keys, recnos, keyLength, n, trail)) return false;
    } else {
        size_t entrySize = keyLength + 8;
        if (node.entries.size() * entrySize > kInteriorArea) return false;
        for (size_t i = 0; i < node.entries.size(); ++i) {
            unsigned char* at = n + 12 + i * entrySize;
            std::memcpy(at, node.entries[i].key.data(), keyLength);
            putBe32(at + keyLength, node.entries[i].recno);
            putBe32(at + keyLength + 4, node.entries[i].child);
        }
    }
    return file_.writeAt(offset, n, kNodeSize);
}

bool CdxIndex::allocateNode(uint32_t& offset) {
    uint64_t end = (file_.size() + kNodeSize - 1) / kNodeSize * kNodeSize;
    if (end >= kNone - kNodeSize) return false;
    offset = static_cast<uint32_t>(end);
    // Reserve the node at once so a second allocation gets the next one.
    unsigned char blank[kNodeSize] = {};
    return file_.writeAt(offset, blank, kNodeSize);
}

bool CdxIndex::loadTag(const std::string& name, uint32_t header, Tag& tag) const {
    unsigned char h[kHeaderSize];
    if (header % kNodeSize != 0 || !file_.readAt(header, h, kHeaderSize)) return false;
    tag.name = trimRightSpaces(name);
    tag.header = header;
    tag.root = getLe32(h);
    tag.keyLength = getLe16(h + 12);
    size_t poolLength = std::min<size_t>(getLe16(h + 510), 512);
    const char* pool = reinterpret_cast<const char*>(h + 512);
    tag.expression.assign(pool, strnlen(pool, poolLength));
    return tag.keyLength > 0 && tag.keyLength <= 240;
}

bool CdxIndex::open(const std::string& path, bool exclusive, int lockWaitMillis) {
    tags_.clear();
    if (!file_.open(path, exclusive, lockWaitMillis)) return false;
    Tag directory;
    std::vector<IndexEntry> names;
    if (!loadTag("", 0, directory) || !walkTree(directory.root, directory.keyLength, names)) return close(), false;
    for (const IndexEntry& e : names) {
        Tag tag;
        if (!loadTag(e.key, e.recno, tag)) return close(), false;
        tags_.push_back(std::move(tag));
    }
    if (tags_.empty()) return close(), false;
    return true;
}

void CdxIndex::setBinaryKeys(size_t tagNumber, bool binary) {
    if (tagNumber < tags_.size()) tags_[tagNumber].trail = binary ? '\0' : ' ';
}

bool CdxIndex::seek(size_t tagNumber, const std::string& text, bool exact, bool& found) {
    found = false;
    if (tagNumber >= tags_.size()) return false;
    const Tag& tag = tags_[tagNumber];
    std::string wanted = exact ? padKey(text, tag.keyLength) : text.substr(0, tag.keyLength);
    uint32_t offset = tag.root;
    for (int depth = 0; depth <= kMaxDepth; ++depth) {
        Node node;
        if (!readNode(offset, tag.keyLength, node, tag.trail)) return false;
        auto it = std::find_if(node.entries.begin(), node.entries.end(),
                               [&](const Entry& e) { return comparePrefix(e.key, wanted) >= 0; });
        if (node.leaf()) {
            found = it != node.entries.end() && comparePrefix(it->key, wanted) == 0;
            return true;
        }
        if (it == node.entries.end()) return true;  // beyond the highest key
        offset = it->child;
    }
    return false;
}

bool CdxIndex::insertInto(uint32_t offset, const Tag& tag, const Entry& entry, InsertResult& result, int depth) {
    if (depth > kMaxDepth) return false;
    const size_t keyLength = tag.keyLength;
    Node node;
    if (!readNode(offset, keyLength, node, tag.trail)) return false;
    auto pos = std::find_if(node.entries.begin(), node.entries.end(), [&](const Entry& e) {
        return lessThan(entry.key, entry.recno, e.key, e.recno);
    });
    size_t i = static_cast<size_t>(pos - node.entries.begin());
    if (node.leaf()) {
        node.entries.insert(pos, entry);
    } else {
        if (node.entries.empty()) return false;
        // Interior entries carry the highest key of their child; a key above
        // all of them goes into the last child.
        if (i == node.entries.size()) --i;
        InsertResult below;
        if (!insertInto(node.entries[i].child, tag, entry, below, depth + 1)) return false;
        node.entries[i].key = below.last.key;
        node.entries[i].recno = below.last.recno;
        if (below.split) node.entries.insert(node.entries.begin() + static_cast<long>(i) + 1, below.newRight);
    }
    result.split = false;
    result.last = node.entries.back();
    if (writeNode(offset, keyLength, node, tag.trail)) return true;

    // The node overflows: the upper half moves to a new node on its right.
    size_t half = node.entries.size() / 2;
    Node right;
    right.attributes = node.attributes & ~kRoot;
    right.entries.assign(node.entries.begin() + static_cast<long>(half), node.entries.end());
    node.entries.resize(half);
    node.attributes &= ~kRoot;
    uint32_t rightOffset = 0;
    if (!allocateNode(rightOffset)) return false;
    right.left = offset;
    right.right = node.right;
    node.right = rightOffset;
    if (!writeNode(rightOffset, keyLength, right, tag.trail) || !writeNode(offset, keyLength, node, tag.trail))
        return false;
    if (right.right != kNone) {
        unsigned char p[4];
        putLe32(p, rightOffset);
        if (!file_.writeAt(uint64_t(right.right) + 4, p, 4)) return false;
    }
    result.last = node.entries.back();
    result.split = true;
    result.newRight = right.entries.back();
    result.newRight.child = rightOffset;
    return true;
}

bool CdxIndex::insert(size_t tagNumber, const std::string& key, uint32_t recno) {
    if (tagNumber >= tags_.size() || !file_.isOpen()) return false;
    Tag& tag = tags_[tagNumber];
    Entry entry{padKey(key, tag.keyLength), recno, 0};
    InsertResult result;
    if (!insertInto(tag.root, tag, entry, result, 0)) return false;
    if (!result.split) return true;
    Node root;
    root.attributes = kRoot;
    Entry leftEntry = result.last;
    leftEntry.child = tag.root;
    root.entries = {leftEntry, result.newRight};
    uint32_t rootOffset = 0;
    if (!allocateNode(rootOffset) || !writeNode(rootOffset, tag.keyLength, root)) return false;
    unsigned char p[4];
    putLe32(p, rootOffset);
    if (!file_.writeAt(tag.header, p, 4)) return false;
    tag.root = rootOffset;
    return true;
}

bool CdxIndex::walk(uint32_t offset, size_t keyLength, std::vector<IndexEntry>& out, int depth,
                    uint64_t& nodesLeft, char trail) {
    // A sound tree reaches each node once: more visits than the file has
    // nodes mean a damaged tree, which could otherwise take exponential time.
    if (depth > kMaxDepth || nodesLeft == 0) return false;
    --nodesLeft;
    Node node;
    if (!readNode(offset, keyLength, node, trail)) return false;
    for (const Entry& e : node.entries) {
        if (node.leaf()) out.push_back({e.key, e.recno});
        else if (!walk(e.child, keyLength, out, depth + 1, nodesLeft, trail)) return false;
    }
    return true;
}

bool CdxIndex::walkTree(uint32_t root, size_t keyLength, std::vector<IndexEntry>& out, char trail) {
    uint64_t nodesLeft = file_.size() / kNodeSize;
    return walk(root, keyLength, out, 0, nodesLeft, trail);
}

bool CdxIndex::allEntries(size_t tagNumber, std::vector<IndexEntry>& out) {
    out.clear();
    if (tagNumber >= tags_.size()) return false;
    return walkTree(tags_[tagNumber].root, tags_[tagNumber].keyLength, out, tags_[tagNumber].trail);
}

bool CdxIndex::leafChainEntries(size_t tagNumber, std::vector<IndexEntry>& out) {
    out.clear();
    if (tagNumber >= tags_.size()) return false;
    const Tag& tag = tags_[tagNumber];
    uint32_t offset = tag.root;
    Node node;
    for (int depth = 0;; ++depth) {  // down the leftmost edge
        if (depth > kMaxDepth || !readNode(offset, tag.keyLength, node, tag.trail)) return false;
        if (node.leaf()) break;
        if (node.entries.empty()) return false;
        offset = node.entries.front().child;
    }
    if (node.left != kNone) return false;
    uint64_t limit = file_.size() / kNodeSize + 1;
    for (uint64_t steps = 0;; ++steps) {
        if (steps > limit) return false;
        for (const Entry& e : node.entries) out.push_back({e.key, e.recno});
        if (node.right == kNone) return true;
        uint32_t previous = offset;
        offset = node.right;
        if (!readNode(offset, tag.keyLength, node, tag.trail) || !node.leaf() || node.left != previous) return false;
    }
}

bool createCdxIndex(const std::string& path, const std::vector<CdxTagSpec>& specs) {
    if (specs.empty()) return false;
    std::vector<CdxTagSpec> sorted = specs;
    for (CdxTagSpec& s : sorted) {
        s.name = toUpper(s.name);
        if (s.name.empty() || s.name.size() > kTagNameLength || s.keyLength == 0 || s.keyLength > 240 ||
            s.expression.empty() || s.expression.size() > 500)
            return false;
    }
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    // Layout: compound header, tag directory leaf, then per tag its header and root leaf.
    std::string file(kHeaderSize + CdxIndex::kNodeSize + sorted.size() * (kHeaderSize + CdxIndex::kNodeSize), '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(file.data());
    writeHeader(bytes, kHeaderSize, kTagNameLength, 0xE0, "");
    std::vector<std::string> names;
    std::vector<uint32_t> headers;
    uint32_t at = kHeaderSize + CdxIndex::kNodeSize;
    for (const CdxTagSpec& s : sorted) {
        names.push_back(padKey(s.name, kTagNameLength));
        headers.push_back(at);
        writeHeader(bytes + at, at + kHeaderSize, s.keyLength, 0x60, s.expression);
        emptyLeaf(bytes + at + kHeaderSize, kRoot | kLeaf, s.keyLength);
        at += kHeaderSize + CdxIndex::kNodeSize;
    }
    unsigned char* directory = bytes + kHeaderSize;
    emptyLeaf(directory, kRoot | kLeaf, kTagNameLength);
    putLe16(directory + 2, static_cast<uint32_t>(names.size()));
    if (!encodeLeaf(names, headers, kTagNameLength, directory)) return false;
    BlockFile out;
    return out.create(path) && out.writeAt(0, file);
}

bool createCdxIndex(const std::string& path, const std::string& tag, const std::string& expression,
                    size_t keyLength) {
    return createCdxIndex(path, {CdxTagSpec{tag, expression, keyLength}});
}

}  // namespace brolvin
