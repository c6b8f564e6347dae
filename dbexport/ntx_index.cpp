#include "dbexport/ntx_index.h"

#include <algorithm>
#include <cstring>

#include "dbexport/index_key.h"

namespace brolvin {

namespace {

constexpr size_t kMaxExpression = 256;
constexpr int kMaxDepth = 64;  // guards against cycles in a damaged file

size_t maxItemsFor(size_t itemSize) {
    size_t n = (NtxIndex::kPageSize - 2) / (itemSize + 2) - 1;
    return n & ~size_t{1};  // an even count splits into two equal halves
}

bool lessThan(const std::string& k1, uint32_t r1, const std::string& k2, uint32_t r2) {
    int c = k1.compare(k2);
    return c < 0 || (c == 0 && r1 < r2);
}

// Compares the first text.size() bytes of `key` with `text`.
int comparePrefix(const std::string& key, const std::string& text) {
    return key.compare(0, text.size(), text);
}

}  // namespace

bool NtxIndex::open(const std::string& path, bool exclusive, int lockWaitMillis) {
    if (!file_.open(path, exclusive, lockWaitMillis)) return false;
    unsigned char h[kPageSize] = {};
    if (!file_.readAt(0, h, kPageSize)) return close(), false;
    root_ = getLe32(h + 4);
    itemSize_ = getLe16(h + 12);
    keyLength_ = getLe16(h + 14);
    maxItems_ = getLe16(h + 18);
    const char* expr = reinterpret_cast<const char*>(h + 22);
    expression_.assign(expr, strnlen(expr, kMaxExpression));
    unique_ = h[278] != 0;
    if (keyLength_ == 0 || itemSize_ != keyLength_ + 8 || maxItems_ < 2 ||
        (maxItems_ + 1) * (itemSize_ + 2) + 2 > kPageSize || root_ == 0 || root_ % kPageSize != 0)
        return close(), false;
    return true;
}

bool NtxIndex::readPage(uint32_t offset, Page& page) {
    page.items.clear();
    page.rightChild = 0;
    if (offset == 0 || offset % kPageSize != 0) return false;
    unsigned char p[kPageSize];
    if (!file_.readAt(offset, p, kPageSize)) return false;
    size_t count = getLe16(p);
    if (count > maxItems_) return false;
    for (size_t i = 0; i <= count; ++i) {
        size_t at = getLe16(p + 2 + 2 * i);
        if (at + itemSize_ > kPageSize) return false;
        if (i == count) {
            page.rightChild = getLe32(p + at);
            break;
        }
        Item item;
        item.child = getLe32(p + at);
        item.recno = getLe32(p + at + 4);
        item.key.assign(reinterpret_cast<const char*>(p + at + 8), keyLength_);
        page.items.push_back(std::move(item));
    }
    return true;
}

bool NtxIndex::writePage(uint32_t offset, const Page& page) {
    unsigned char p[kPageSize] = {};
    putLe16(p, static_cast<uint32_t>(page.items.size()));
    size_t first = 2 + 2 * (maxItems_ + 1);
    for (size_t i = 0; i <= maxItems_; ++i) putLe16(p + 2 + 2 * i, static_cast<uint32_t>(first + i * itemSize_));
    for (size_t i = 0; i < page.items.size(); ++i) {
        unsigned char* at = p + first + i * itemSize_;
        putLe32(at, page.items[i].child);
        putLe32(at + 4, page.items[i].recno);
        std::memcpy(at + 8, page.items[i].key.data(), keyLength_);
    }
    putLe32(p + first + page.items.size() * itemSize_, page.rightChild);
    return file_.writeAt(offset, p, kPageSize);
}

bool NtxIndex::allocatePage(uint32_t& offset) {
    uint64_t end = file_.size();
    end = (end + kPageSize - 1) / kPageSize * kPageSize;
    if (end > 0xFFFFFFFFull - kPageSize) return false;
    offset = static_cast<uint32_t>(end);
    return true;
}

bool NtxIndex::seek(const std::string& text, bool exact, bool& found) {
    found = false;
    std::string wanted = exact ? padKey(text, keyLength_) : text.substr(0, keyLength_);
    uint32_t offset = root_;
    for (int depth = 0; offset != 0; ++depth) {
        if (depth > kMaxDepth) return false;
        Page page;
        if (!readPage(offset, page)) return false;
        size_t i = 0;
        while (i < page.items.size() && comparePrefix(page.items[i].key, wanted) < 0) ++i;
        if (i < page.items.size() && comparePrefix(page.items[i].key, wanted) == 0) {
            found = true;
            return true;
        }
        offset = i < page.items.size() ? page.items[i].child : page.rightChild;
    }
    return true;
}

bool NtxIndex::insertInto(uint32_t offset, const Item& item, bool& split, Item& promoted, int depth) {
    split = false;
    if (depth > kMaxDepth) return false;
    Page page;
    if (!readPage(offset, page)) return false;
    size_t i = 0;
    while (i < page.items.size() && !lessThan(item.key, item.recno, page.items[i].key, page.items[i].recno)) ++i;
    uint32_t child = i < page.items.size() ? page.items[i].child : page.rightChild;
    Item toAdd = item;
    if (child != 0) {
        bool childSplit = false;
        if (!insertInto(child, item, childSplit, toAdd, depth + 1)) return false;
        if (!childSplit) return true;
    }
    page.items.insert(page.items.begin() + static_cast<long>(i), toAdd);
    if (page.items.size() <= maxItems_) return writePage(offset, page);

    // Split: the left half moves to a new page, the middle item goes up, the
    // right half stays here so the parent's pointer to this page stays valid.
    size_t middle = page.items.size() / 2;
    Page left;
    left.items.assign(page.items.begin(), page.items.begin() + static_cast<long>(middle));
    left.rightChild = page.items[middle].child;
    Page right;
    right.items.assign(page.items.begin() + static_cast<long>(middle) + 1, page.items.end());
    right.rightChild = page.rightChild;
    uint32_t leftOffset = 0;
    if (!allocatePage(leftOffset) || !writePage(leftOffset, left) || !writePage(offset, right)) return false;
    promoted = page.items[middle];
    promoted.child = leftOffset;
    split = true;
    return true;
}

bool NtxIndex::insert(const std::string& key, uint32_t recno) {
    if (!file_.isOpen()) return false;
    Item item;
    item.key = padKey(key, keyLength_);
    item.recno = recno;
    bool split = false;
    Item promoted;
    if (!insertInto(root_, item, split, promoted, 0)) return false;
    if (!split) return true;
    Page newRoot;
    newRoot.items.push_back(promoted);
    newRoot.rightChild = root_;
    uint32_t offset = 0;
    if (!allocatePage(offset) || !writePage(offset, newRoot)) return false;
    unsigned char r[4];
    putLe32(r, offset);
    if (!file_.writeAt(4, r, 4)) return false;
    root_ = offset;
    return true;
}

bool NtxIndex::walk(uint32_t offset, std::vector<IndexEntry>& out, int depth, uint64_t& pagesLeft) {
    if (offset == 0) return true;
    // A sound tree reaches each page once: more visits than the file has
    // pages mean a damaged tree, which could otherwise take exponential time.
    if (depth > kMaxDepth || pagesLeft == 0) return false;
    --pagesLeft;
    Page page;
    if (!readPage(offset, page)) return false;
    for (const Item& item : page.items) {
        if (!walk(item.child, out, depth + 1, pagesLeft)) return false;
        out.push_back({item.key, item.recno});
    }
    return walk(page.rightChild, out, depth + 1, pagesLeft);
}

bool NtxIndex::allEntries(std::vector<IndexEntry>& out) {
    out.clear();
    uint64_t pagesLeft = file_.size() / kPageSize;
    return file_.isOpen() && walk(root_, out, 0, pagesLeft);
}

bool createNtxIndex(const std::string& path, const std::string& expression, size_t keyLength) {
    if (keyLength == 0 || keyLength > 250 || expression.empty() || expression.size() >= kMaxExpression)
        return false;
    size_t itemSize = keyLength + 8;
    unsigned char h[NtxIndex::kPageSize] = {};
    putLe16(h, 6);       // signature
    putLe16(h + 2, 1);   // indexing version
    putLe32(h + 4, NtxIndex::kPageSize);
    putLe32(h + 8, 0);   // no free pages
    putLe16(h + 12, static_cast<uint32_t>(itemSize));
    putLe16(h + 14, static_cast<uint32_t>(keyLength));
    putLe16(h + 16, 0);
    size_t maxItems = maxItemsFor(itemSize);
    putLe16(h + 18, static_cast<uint32_t>(maxItems));
    putLe16(h + 20, static_cast<uint32_t>(maxItems / 2));
    std::memcpy(h + 22, expression.data(), expression.size());
    unsigned char root[NtxIndex::kPageSize] = {};
    size_t first = 2 + 2 * (maxItems + 1);
    for (size_t i = 0; i <= maxItems; ++i) putLe16(root + 2 + 2 * i, static_cast<uint32_t>(first + i * itemSize));
    BlockFile file;
    return file.create(path) && file.writeAt(0, h, sizeof h) && file.writeAt(NtxIndex::kPageSize, root, sizeof root);
}

}  // namespace brolvin
