#include "x12parse/record_writer.h"

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
        if (!p.named) continue;
        p.openTag = "<" + f.name + ">";
        p.closeTag = "</" + f.name + ">\r\n";
        if (p.line == 0)
            everyLineFields_.push_back(static_cast<uint32_t>(i));
        else if (p.hasLine)
            lineFields_[p.line].push_back(static_cast<uint32_t>(i));
    }
}

void RecordWriter::appendElement(size_t i, const std::string& value) {
    text_ += plans_[i].openTag;
    appendXmlEscaped(text_, value);
    text_ += plans_[i].closeTag;
}

void RecordWriter::appendEmptyElement(size_t i) {
    text_ += plans_[i].openTag;
    text_ += plans_[i].closeTag;
}

void RecordWriter::clearRecordLevel(FieldTable& fields) const {
    for (size_t i = 0; i < fields.size(); ++i)
        if (plans_[i].level == 0) fields[i].value.clear();
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
        for (size_t i = 0; i < fields.size(); ++i) {
            const FieldPlan& p = plans_[i];
            if (!p.named) continue;
            FieldEntry& f = fields[i];
            if (p.line == k && p.hasLine) {
                appendElement(i, f.value);
                if (p.level == 0 || p.level == 4) f.value.clear();
            } else if (p.line == 0) {
                appendElement(i, f.value);
                if (p.level == 4) f.value.clear();
            } else {
                appendEmptyElement(i);
            }
        }
        text_ += "</CLAIM>\r\n";
    }
    clearRecordLevel(fields);
    resetCounts(fields);
}

void RecordWriter::plainCsv(FieldTable& fields) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!plans_[i].named) continue;
        if (i > 0) text_ += ',';
        text_ += fields[i].value;
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
    static const std::vector<uint32_t> kNoFields;
    for (long long k = 1; k <= count; ++k) {
        // The columns of line k are the every-line fields and line k's own,
        // merged back into table order.
        auto own = lineFields_.find(k);
        const std::vector<uint32_t>& lineOwn = own == lineFields_.end() ? kNoFields : own->second;
        auto a = everyLineFields_.begin(), aEnd = everyLineFields_.end();
        auto b = lineOwn.begin(), bEnd = lineOwn.end();
        while (a != aEnd || b != bEnd) {
            if (b == bEnd || (a != aEnd && *a < *b))
                appendCsvColumn(fields, *a++);
            else
                appendCsvColumn(fields, *b++);
        }
        text_ += "\r\n";
    }
    clearRecordLevel(fields);
}

void RecordWriter::appendCsvColumn(FieldTable& fields, size_t i) {
    if (i > 0) text_ += ',';
    FieldEntry& f = fields[i];
    text_ += f.value;
    if (plans_[i].level == 4) f.value.clear();
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

RecordWriteResult RecordWriter::write(FieldTable& fields, const RecordWriteRequest& request, RunContext& ctx,
                                      bool wantValues) {
    RecordWriteResult result;
    if (wantValues) result.values.assign(fields.size(), std::string());
    bool any = anyValue(fields);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (plans_[i].level == 5 && request.sourceName) fields[i].value = *request.sourceName;
        if (plans_[i].level == 6 && request.level6Destination) fields[i].value = *request.level6Destination;
    }
    if (!any) return result;

    const JobParams* job = request.job;
    const std::string& type = job ? job->conversionType : std::string();
    bool serviceLineMode = job && (CTL48400J(*job, 4) || CTL48400J(*job, 5));
    bool ml = job && CTL48400J(*job, 5);

    if (beginsWith(trimSpaces(type), "X12,ODBC")) {
        std::optional<long long> lines;
        if (serviceLineMode) lines = lineCount(fields);
        result.databaseLog = writeToDatabase(fields, request, lines, ml, ctx);
        return result;
    }

    text_.clear();
    if (beginsWith(type, "X12,XML")) {
        if (serviceLineMode)
            serviceLineXml(fields, lineCount(fields));
        else
            plainXml(fields);
    } else if (beginsWith(type, "X12,CSV")) {
        if (serviceLineMode)
            serviceLineCsv(fields, lineCount(fields));
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
    if (!ok) result.writeFailed = true;
    return result;
}

void appendXmlEscaped(std::string& out, const std::string& text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char* entity = nullptr;
        switch (text[i]) {
            case '&': entity = "&amp;"; break;
            case '<': entity = "&lt;"; break;
            case '>': entity = "&gt;"; break;
            default: continue;
        }
        out.append(text, start, i - start);
        out += entity;
        start = i + 1;
    }
    out.append(text, start, std::string::npos);
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
