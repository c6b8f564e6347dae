#include "x12parse/record_writer.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "util/csv_text.h"
#include "util/output_appender.h"
#include "util/output_file.h"
#include "util/text.h"
#include "x12parse/database_branch.h"

namespace brolvin {

namespace {

bool anyValue(const FieldTable& fields) {
    for (const FieldEntry& f : fields)
        if (!isBlank(f.value)) return true;
    return false;
}

void resetCounts(FieldTable& fields) {
    for (FieldEntry& f : fields) f.occurrenceCount = 0;
}

// A record text that could grow beyond this is written out in pieces of
// about this size while it is built.
constexpr size_t kSpillBytes = size_t{8} << 20;
// Values are escaped this much at a time while spilling.
constexpr size_t kEscapeChunk = size_t{1} << 20;

}  // namespace

RecordWriter::RecordWriter(const FieldTable& fields) {
    plans_.resize(fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        const FieldEntry& f = fields[i];
        FieldPlan& p = plans_[i];
        p.named = !f.name.empty();
        p.hasLine = !isBlank(f.serviceLineNumber);
        p.line = p.hasLine ? leadingNumber(f.serviceLineNumber) : 0;
        p.level = leadingNumber(f.level);
        if (p.level == 0) recordLevelFields_.push_back(static_cast<uint32_t>(i));
        if (p.level == 5 || p.level == 6) fileLevelFields_.push_back(static_cast<uint32_t>(i));
        if (!p.named) continue;
        namedFields_.push_back(static_cast<uint32_t>(i));
        p.openTag = "<" + f.name + ">";
        p.closeTag = "</" + f.name + ">\r\n";
        p.emptyElement = p.openTag + p.closeTag;
        tagBytes_ += p.emptyElement.size();
        if (p.line == 0)
            everyLineFields_.push_back(static_cast<uint32_t>(i));
        else if (p.hasLine)
            lineFields_[p.line].push_back(static_cast<uint32_t>(i));
    }
}

void RecordWriter::appendElement(size_t i, std::string_view value) {
    text_ += plans_[i].openTag;
    if (!spilling_) {
        appendXmlEscaped(text_, value);
        text_ += plans_[i].closeTag;
        return;
    }
    for (size_t at = 0; at < value.size(); at += kEscapeChunk) {
        appendXmlEscaped(text_, value.substr(at, kEscapeChunk));
        if (text_.size() >= kSpillBytes) spill();
    }
    text_ += plans_[i].closeTag;
    if (text_.size() >= kSpillBytes) spill();
}

void RecordWriter::appendPiece(std::string_view piece) {
    if (spilling_ && piece.size() >= kSpillBytes) {
        // Written straight out after what is held, without a copy.
        spill();
        emit(piece);
        return;
    }
    text_ += piece;
    if (spilling_ && text_.size() >= kSpillBytes) spill();
}

// A CSV column's Value, quoted when it must be; a quoted copy (rare) is built
// apart and then appended like any piece.
void RecordWriter::appendCsvPiece(std::string_view value) {
    if (!csvNeedsQuotes(value)) {
        appendPiece(value);
        return;
    }
    std::string quoted;
    appendCsvValue(quoted, value);
    appendPiece(quoted);
}

void RecordWriter::emit(std::string_view text) {
    const RecordWriteRequest& r = *request_;
    bool ok = r.appender ? r.appender->append(text, r.destination)
                         : CSC_0001E(std::string(text), r.destination, kAppend);
    if (!ok) spillFailed_ = true;
}

void RecordWriter::spill() {
    if (text_.empty()) return;
    emit(text_);
    text_.clear();
}

// Each line of the record at most repeats the tags and every Value, each
// Value escaped to at most five times its length (XML) or as it is (CSV).
bool RecordWriter::recordIsLarge(const FieldTable& fields, long long lines, bool xml) const {
    size_t values = 0;
    for (const FieldEntry& f : fields) values += f.value.size();
    const double perLine = static_cast<double>(xml ? tagBytes_ + 20 + 5 * values : fields.size() + values);
    return perLine * static_cast<double>(lines) > static_cast<double>(kSpillBytes);
}


void RecordWriter::clearRecordLevel(FieldTable& fields) const {
    for (size_t i : recordLevelFields_) clearValue(fields[i].value);
}

void RecordWriter::plainXml(FieldTable& fields) {
    text_ += "<CLAIM>\r\n";
    for (size_t i = 0; i < fields.size(); ++i)
        if (plans_[i].named) appendElement(i, fields[i].value);
    text_ += "</CLAIM>\r\n";
    clearRecordLevel(fields);
    resetCounts(fields);
}

// One CLAIM element per service line. Claim-level fields carry their Values
// on every line, as the service-line CSV does; a line's own fields are
// cleared (Level 0 and 4) once written.
void RecordWriter::serviceLineXml(FieldTable& fields, long long count) {
    for (long long k = 1; k <= count; ++k) {
        text_ += "<CLAIM>\r\n";
        if (spilling_) {
            // Each line from the Values, as line 1 is; the shared text is not kept.
            for (uint32_t i : namedFields_) appendXmlElementOfLine(fields, i, k);
        } else if (k == 1) {
            lineOneSpans_.clear();
            for (uint32_t i : namedFields_) {
                size_t start = text_.size();
                appendXmlElementOfLine(fields, i, 1);
                lineOneSpans_.emplace_back(start, text_.size());
            }
        } else {
            if (k == 2) buildStableText(namedFields_, false);
            appendLineFromStableText(fields, namedFields_, k, false);
        }
        text_ += "</CLAIM>\r\n";
    }
    clearRecordLevel(fields);
    resetCounts(fields);
}

// Field i's element on line k (k >= 1): with its Value when written on every line or
// on line k, empty when it belongs to another line.
void RecordWriter::appendXmlElementOfLine(FieldTable& fields, size_t i, long long k) {
    const FieldPlan& p = plans_[i];
    FieldEntry& f = fields[i];
    if (p.line == k && p.hasLine) {
        appendElement(i, f.value);
        if (p.level == 0 || p.level == 4) clearValue(f.value);
    } else if (p.line == 0) {
        appendElement(i, f.value);
        if (p.level == 4) clearValue(f.value);
    } else {
        text_ += p.emptyElement;
    }
}

// From line 2 on, every field but the line's own has the same text on each
// line: the every-line Values no longer change (line 1 cleared its Level-4
// ones) and other lines' fields are empty or absent. That text is taken once
// per record from line 1 (`lineOneSpans_`, one span per position of `order`),
// with the fields line 1 emptied written empty, and each field's offset is
// kept so the later lines copy it around their own fields.
void RecordWriter::buildStableText(const std::vector<uint32_t>& order, bool csv) {
    stableText_.clear();
    stableOffsets_.resize(order.size() + 1);
    size_t runStart = 0, runEnd = 0;  // line-1 text not yet copied
    auto flush = [&] {
        if (runEnd > runStart) stableText_.append(text_, runStart, runEnd - runStart);
        runStart = runEnd = 0;
    };
    for (size_t a = 0; a < order.size(); ++a) {
        const size_t i = order[a];
        const FieldPlan& p = plans_[i];
        const bool emptied = p.line == 0 ? p.level == 4 : (!csv && p.hasLine && p.line == 1);
        if (emptied) {
            flush();
            stableOffsets_[a] = stableText_.size();
            if (!csv)
                stableText_ += p.emptyElement;
            else if (i > 0)
                stableText_ += ',';
            continue;
        }
        const auto [start, end] = lineOneSpans_[a];
        if (runEnd == runStart || start != runEnd) {
            flush();
            runStart = runEnd = start;
        }
        stableOffsets_[a] = stableText_.size() + (start - runStart);
        runEnd = end;
    }
    flush();
    stableOffsets_[order.size()] = stableText_.size();
}

void RecordWriter::appendLineFromStableText(FieldTable& fields, const std::vector<uint32_t>& order, long long k,
                                            bool csv) {
    static const std::vector<uint32_t> kNoFields;
    auto own = lineFields_.find(k);
    const std::vector<uint32_t>& lineOwn = own == lineFields_.end() ? kNoFields : own->second;
    size_t a = 0;
    for (uint32_t i : lineOwn) {
        // The line's own field takes its place in table order: in the XML
        // order it replaces its empty element, in the CSV order it is inserted.
        size_t at = static_cast<size_t>(std::lower_bound(order.begin() + static_cast<std::ptrdiff_t>(a),
                                                         order.end(), i) -
                                        order.begin());
        text_.append(stableText_, stableOffsets_[a], stableOffsets_[at] - stableOffsets_[a]);
        if (csv) {
            appendCsvColumn(fields, i);
            a = at;
        } else {
            appendXmlElementOfLine(fields, i, k);
            a = at + 1;
        }
    }
    text_.append(stableText_, stableOffsets_[a], stableOffsets_.back() - stableOffsets_[a]);
}

void RecordWriter::plainCsv(FieldTable& fields) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!plans_[i].named) continue;
        if (i > 0) text_ += ',';
        appendCsvPiece(fields[i].value);
    }
    text_ += "\r\n";
    clearRecordLevel(fields);
    resetCounts(fields);
}

// One CSV line per service line: the claim-level columns and the columns of
// that line. A Level-4 Value is cleared right after its own line is written,
// so neither a later line loses it nor the next claim inherits it.
void RecordWriter::serviceLineCsv(FieldTable& fields, long long count) {
    resetCounts(fields);
    for (long long k = 1; k <= count; ++k) {
        if (spilling_) {
            // Each line from the Values; the shared text is not kept.
            takeLineColumns(k);
            for (uint32_t i : lineColumns_) appendCsvColumn(fields, i);
        } else if (k == 1) {
            takeLineColumns(1);
            appendCsvLineOne(fields);
        } else {
            if (k == 2) buildStableText(everyLineFields_, true);
            appendLineFromStableText(fields, everyLineFields_, k, true);
        }
        text_ += "\r\n";
    }
    clearRecordLevel(fields);
}

// Line k's columns: the every-line columns and the line's own, merged back
// into table order.
void RecordWriter::takeLineColumns(long long k) {
    static const std::vector<uint32_t> kNoFields;
    auto own = lineFields_.find(k);
    const std::vector<uint32_t>& lineOwn = own == lineFields_.end() ? kNoFields : own->second;
    lineColumns_.clear();
    std::merge(everyLineFields_.begin(), everyLineFields_.end(), lineOwn.begin(), lineOwn.end(),
               std::back_inserter(lineColumns_));
}

// Line 1's columns (lineColumns_): the line's length is summed first so the
// text grows once and each column is copied straight into place. Where each
// every-line column lies is kept for the later lines.
void RecordWriter::appendCsvLineOne(FieldTable& fields) {
    size_t length = 0;
    bool quoting = false;  // some value needs quotes: each is looked at again when copied
    for (uint32_t i : lineColumns_) {
        const std::string& v = fields[i].value;
        const bool quoted = csvNeedsQuotes(v);
        quoting |= quoted;
        length += (i > 0 ? 1 : 0) + (quoted ? csvWrittenSize(v) : v.size());
    }
    size_t at = text_.size();
    text_.resize(at + length);
    char* out = text_.data();
    lineOneSpans_.clear();
    for (uint32_t i : lineColumns_) {
        size_t start = at;
        if (i > 0) out[at++] = ',';
        FieldEntry& f = fields[i];
        if (quoting && csvNeedsQuotes(f.value)) {
            at = static_cast<size_t>(writeCsvQuoted(out + at, f.value) - out);
        } else if (!f.value.empty()) {
            std::memcpy(out + at, f.value.data(), f.value.size());
            at += f.value.size();
        }
        const FieldPlan& p = plans_[i];
        if (p.line == 0) lineOneSpans_.emplace_back(start, at);
        if (p.level == 4) clearValue(f.value);
    }
}

void RecordWriter::appendCsvColumn(FieldTable& fields, size_t i) {
    if (i > 0) text_ += ',';
    FieldEntry& f = fields[i];
    appendCsvPiece(f.value);
    if (plans_[i].level == 4) clearValue(f.value);
}

// Number of service lines with data, at least 1. All fields but the last take
// part; a line counts once when any of its fields, from the rise of the line
// number to the next rise, holds a value.
long long RecordWriter::lineCount(const FieldTable& fields) const {
    long long count = 0;
    long long highest = 0;
    bool lineHasData = false;
    for (size_t i = 0; i + 1 < fields.size(); ++i) {
        const FieldPlan& p = plans_[i];
        if (!p.hasLine) continue;
        if (p.line > highest) {
            highest = p.line;
            lineHasData = false;
        }
        if (!lineHasData && !isBlank(fields[i].value)) {
            lineHasData = true;
            ++count;
        }
    }
    return count == 0 ? 1 : count;
}

// What the job asks of the writer, read from its options once per job
// instead of once per record.
const RecordWriter::JobSense& RecordWriter::senseOf(const JobParams* job) {
    if (senseRead_ && senseJob_ == job && (!job || (senseType_ == job->conversionType && senseOptions_ == job->options)))
        return sense_;
    sense_ = JobSense{};
    senseRead_ = true;
    senseJob_ = job;
    if (!job) return sense_;
    senseType_ = job->conversionType;
    senseOptions_ = job->options;
    sense_.serviceLineMode = hasOption(*job, OptionCode::ServiceLines) || hasOption(*job, OptionCode::EveryLine);
    sense_.ml = hasOption(*job, OptionCode::EveryLine);
    sense_.database = beginsWith(trimSpaces(senseType_), "X12,ODBC");
    sense_.xml = beginsWith(senseType_, "X12,XML");
    sense_.csv = beginsWith(senseType_, "X12,CSV");
    return sense_;
}

RecordWriteResult RecordWriter::write(FieldTable& fields, const RecordWriteRequest& request, RunContext& ctx,
                                      bool wantValues) {
    RecordWriteResult result;
    if (wantValues) result.values.assign(fields.size(), std::string());
    bool any = anyValue(fields);
    for (size_t i : fileLevelFields_) {
        if (plans_[i].level == 5 && request.sourceName) fields[i].value = *request.sourceName;
        if (plans_[i].level == 6 && request.level6Destination) fields[i].value = *request.level6Destination;
    }
    if (!any) return result;

    const JobSense& sense = senseOf(request.job);
    const bool serviceLineMode = sense.serviceLineMode;
    const bool ml = sense.ml;

    if (sense.database) {
        std::optional<long long> lines;
        if (serviceLineMode) lines = lineCount(fields);
        result.databaseLog = writeToDatabase(fields, request, lines, ml, ctx);
        result.recordWritten = true;
        return result;
    }

    text_.clear();
    request_ = &request;
    spillFailed_ = false;
    if (sense.xml || sense.csv) {
        const long long lines = serviceLineMode ? lineCount(fields) : 1;
        spilling_ = recordIsLarge(fields, lines, sense.xml);
        if (sense.xml && serviceLineMode)
            serviceLineXml(fields, lines);
        else if (sense.xml)
            plainXml(fields);
        else if (serviceLineMode)
            serviceLineCsv(fields, lines);
        else
            plainCsv(fields);
    } else {
        if (!serviceLineMode) {
            if (wantValues)
                for (size_t i = 0; i < fields.size(); ++i)
                    if (plans_[i].named) result.values[i] = fields[i].value;
            clearRecordLevel(fields);
            resetCounts(fields);
        }
        return result;
    }
    bool ok = request.appender ? request.appender->append(text_, request.destination)
                               : CSC_0001E(text_, request.destination, kAppend);
    result.writeFailed = !ok || spillFailed_;
    result.recordWritten = !result.writeFailed;
    if (spilling_) {
        std::string().swap(text_);  // a large record's memory is given back
        spilling_ = false;
    }
    request_ = nullptr;
    return result;
}

namespace {

// The bytes element text cannot carry as they are: the three markup
// characters and the control bytes XML 1.0 forbids.
struct XmlSpecialBytes {
    bool special[256] = {};
    constexpr XmlSpecialBytes() {
        for (int c = 0; c < 0x20; ++c) special[c] = c != '\t' && c != '\n' && c != '\r';
        special[static_cast<unsigned char>('&')] = true;
        special[static_cast<unsigned char>('<')] = true;
        special[static_cast<unsigned char>('>')] = true;
    }
};
constexpr XmlSpecialBytes kXmlSpecial;

}  // namespace

void appendXmlEscaped(std::string& out, std::string_view text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!kXmlSpecial.special[static_cast<unsigned char>(c)]) continue;
        out.append(text, start, i - start);
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += ' '; break;
        }
        start = i + 1;
    }
    out.append(text, start, std::string_view::npos);
}

RecordWriteResult CTL48400C(FieldTable& fields, const RecordWriteRequest& request, RunContext& ctx) {
    RecordWriter writer(fields);
    return writer.write(fields, request, ctx, true);
}

void CTL48400W(const std::vector<std::string>& values, std::vector<std::vector<std::string>>& records) {
    if (records.size() == 1 && records[0].empty()) {
        records[0] = values;
        return;
    }
    records.push_back(values);
}

}  // namespace brolvin
