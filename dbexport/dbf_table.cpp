#include "dbexport/dbf_table.h"

#include <algorithm>
#include <cstring>

#include "dbexport/dbf_values.h"
#include "util/text.h"

namespace brolvin {

namespace {

constexpr uint32_t kDescriptorSize = 32;
constexpr unsigned char kHeaderEnd = 0x0D;
constexpr unsigned char kFileEnd = 0x1A;

void putDate(unsigned char* p, const DateTime& d) {
    p[0] = static_cast<unsigned char>(std::clamp(d.year - 1900, 0, 255));
    p[1] = static_cast<unsigned char>(d.month);
    p[2] = static_cast<unsigned char>(d.day);
}

}  // namespace

bool DbfTable::open(const std::string& path, bool exclusive, int lockWaitMillis) {
    fields_.clear();
    recordCount_ = headerLength_ = recordLength_ = 0;
    if (!file_.open(path, exclusive, lockWaitMillis)) return false;
    unsigned char head[32];
    if (!file_.readAt(0, head, sizeof head)) return close(), false;
    recordCount_ = getLe32(head + 4);
    headerLength_ = getLe16(head + 8);
    recordLength_ = getLe16(head + 10);
    if (headerLength_ < 33 || recordLength_ < 1) return close(), false;
    std::string descriptors;
    if (!file_.readAt(32, descriptors, headerLength_ - 32)) return close(), false;
    int offset = 1;
    for (size_t at = 0; at + kDescriptorSize <= descriptors.size(); at += kDescriptorSize) {
        const auto* d = reinterpret_cast<const unsigned char*>(descriptors.data() + at);
        if (d[0] == kHeaderEnd) break;
        DbfField f;
        f.name.assign(reinterpret_cast<const char*>(d), strnlen(reinterpret_cast<const char*>(d), 11));
        f.type = static_cast<char>(d[11]);
        f.length = d[16];
        f.decimals = d[17];
        // Character fields longer than 255 keep the high byte of the length
        // in the decimals byte.
        if (f.type == 'C') {
            f.length += f.decimals * 256;
            f.decimals = 0;
        }
        f.offset = offset;
        offset += f.length;
        fields_.push_back(std::move(f));
    }
    if (fields_.empty() || static_cast<uint32_t>(offset) > recordLength_) return close(), false;
    // A count beyond the data actually present would make readers run off the end.
    uint64_t present = file_.size() > headerLength_ ? (file_.size() - headerLength_) / recordLength_ : 0;
    if (recordCount_ > present) recordCount_ = static_cast<uint32_t>(present);
    return true;
}

int DbfTable::fieldIndex(const std::string& name) const {
    std::string wanted = toUpper(name);
    for (size_t i = 0; i < fields_.size(); ++i)
        if (toUpper(fields_[i].name) == wanted) return static_cast<int>(i);
    return -1;
}

bool DbfTable::readRecord(uint32_t recno, std::vector<std::string>& values) const {
    values.clear();
    if (recno < 1 || recno > recordCount_) return false;
    std::string rec;
    if (!file_.readAt(headerLength_ + uint64_t(recno - 1) * recordLength_, rec, recordLength_)) return false;
    for (const DbfField& f : fields_) values.push_back(rec.substr(f.offset, f.length));
    return true;
}

bool DbfTable::readColumn(int field, std::vector<std::string>& values) const {
    values.clear();
    if (field < 0 || field >= static_cast<int>(fields_.size())) return false;
    const DbfField& f = fields_[field];
    // About 4 MB at a time, whatever the record length.
    const uint32_t kBlockRecords = std::max<uint32_t>(1, (4u << 20) / recordLength_);
    std::string block;
    for (uint32_t first = 0; first < recordCount_; first += kBlockRecords) {
        uint32_t n = std::min(kBlockRecords, recordCount_ - first);
        if (!file_.readAt(headerLength_ + uint64_t(first) * recordLength_, block, size_t(n) * recordLength_))
            return false;
        for (uint32_t i = 0; i < n; ++i) {
            size_t at = size_t(i) * recordLength_;
            if (block[at] == '*') {  // deleted records keep their slot but carry no data
                values.emplace_back();
                continue;
            }
            values.push_back(block.substr(at + f.offset, f.length));
        }
    }
    return true;
}

std::string DbfTable::formatValue(const DbfField& field, const std::string& text) {
    std::string problem;
    bool truncated = false;
    return storedFieldText(field, text, problem, truncated);
}

bool DbfTable::writeHeaderCount(const DateTime& today) {
    unsigned char head[8];
    if (!file_.readAt(0, head, sizeof head)) return false;
    putDate(head + 1, today);
    putLe32(head + 4, recordCount_);
    return file_.writeAt(0, head, sizeof head);
}

uint32_t DbfTable::appendRecord(const std::vector<std::string>& values, const DateTime& today) {
    if (!file_.isOpen()) return 0;
    std::string rec(recordLength_, ' ');
    for (size_t i = 0; i < fields_.size(); ++i) {
        const DbfField& f = fields_[i];
        std::string text = formatValue(f, i < values.size() ? values[i] : std::string());
        rec.replace(f.offset, f.length, text);
    }
    rec.push_back(static_cast<char>(kFileEnd));
    if (!file_.writeAt(headerLength_ + uint64_t(recordCount_) * recordLength_, rec)) return 0;
    ++recordCount_;
    if (!writeHeaderCount(today)) {
        --recordCount_;
        return 0;
    }
    return recordCount_;
}

bool createDbfTable(const std::string& path, const std::vector<DbfField>& fields, const DateTime& today) {
    if (fields.empty() || fields.size() > 254) return false;
    uint32_t recordLength = 1;
    std::string header(32, '\0');
    for (const DbfField& f : fields) {
        if (f.name.empty() || f.name.size() > 10 || f.length < 1) return false;
        if (f.length > (f.type == 'C' ? 65535 : 255)) return false;
        unsigned char d[kDescriptorSize] = {};
        std::copy(f.name.begin(), f.name.end(), d);
        d[11] = static_cast<unsigned char>(f.type);
        putLe32(d + 12, recordLength);
        d[16] = static_cast<unsigned char>(f.length & 0xFF);
        d[17] = static_cast<unsigned char>(f.type == 'C' ? (f.length >> 8) : f.decimals);
        header.append(reinterpret_cast<const char*>(d), kDescriptorSize);
        recordLength += static_cast<uint32_t>(f.length);
    }
    if (recordLength > 65535) return false;
    header.push_back(static_cast<char>(kHeaderEnd));
    auto* h = reinterpret_cast<unsigned char*>(header.data());
    h[0] = 0x03;  // dBASE III without memo
    putDate(h + 1, today);
    putLe32(h + 4, 0);
    putLe16(h + 8, static_cast<uint32_t>(header.size()));
    putLe16(h + 10, recordLength);
    header.push_back(static_cast<char>(kFileEnd));
    BlockFile file;
    return file.create(path) && file.writeAt(0, header);
}

}  // namespace brolvin
