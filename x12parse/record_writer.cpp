#include "x12parse/record_writer.h"

#include "util/output_file.h"
#include "util/text.h"
#include "x12parse/database_branch.h"

namespace brolvin {

namespace {

long long levelOf(const FieldEntry& f) { return leadingNumber(f.level); }
bool hasServiceLine(const FieldEntry& f) { return !isBlank(f.serviceLineNumber); }
long long lineOf(const FieldEntry& f) { return hasServiceLine(f) ? leadingNumber(f.serviceLineNumber) : 0; }

bool anyValue(const FieldTable& fields) {
    for (const FieldEntry& f : fields)
        if (!isBlank(f.value)) return true;
    return false;
}

void setFileLevels(FieldTable& fields, const RecordWriteRequest& request) {
    for (FieldEntry& f : fields) {
        long long level = levelOf(f);
        if (level == 5 && request.sourceName) f.value = *request.sourceName;
        if (level == 6 && request.level6Destination) f.value = *request.level6Destination;
    }
}

void clearRecordLevel(FieldTable& fields) {
    for (FieldEntry& f : fields)
        if (levelOf(f) == 0) f.value.clear();
}

void resetCounts(FieldTable& fields) {
    for (FieldEntry& f : fields) f.occurrenceCount = 0;
}

void appendElement(std::string& out, const std::string& name, const std::string& value) {
    out += '<';
    out += name;
    out += '>';
    appendXmlEscaped(out, value);
    out += "</";
    out += name;
    out += ">\r\n";
}

std::string plainXml(FieldTable& fields) {
    std::string out = "<CLAIM>\r\n";
    for (const FieldEntry& f : fields)
        if (!f.name.empty()) appendElement(out, f.name, f.value);
    out += "</CLAIM>\r\n";
    clearRecordLevel(fields);
    resetCounts(fields);
    return out;
}

// One CLAIM element per service line. Claim-level fields carry their Values
// on every line, as the service-line CSV does; a line's own fields are
// cleared (Level 0 and 4) once written.
std::string serviceLineXml(FieldTable& fields, long long count) {
    std::string out;
    for (long long k = 1; k <= count; ++k) {
        out += "<CLAIM>\r\n";
        for (FieldEntry& f : fields) {
            if (f.name.empty()) continue;
            long long line = lineOf(f);
            if (line == k && hasServiceLine(f)) {
                appendElement(out, f.name, f.value);
                long long level = levelOf(f);
                if (level == 0 || level == 4) f.value.clear();
            } else if (line == 0) {
                appendElement(out, f.name, f.value);
                if (levelOf(f) == 4) f.value.clear();
            } else {
                appendElement(out, f.name, std::string());
            }
        }
        out += "</CLAIM>\r\n";
    }
    clearRecordLevel(fields);
    resetCounts(fields);
    return out;
}

std::string plainCsv(FieldTable& fields) {
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i) {
        const FieldEntry& f = fields[i];
        if (f.name.empty()) continue;
        if (i > 0) out += ',';
        out += f.value;
    }
    out += "\r\n";
    clearRecordLevel(fields);
    resetCounts(fields);
    return out;
}

// One CSV line per service line: the claim-level columns and the columns of
// that line. A Level-4 Value is cleared right after its own line is written,
// so neither a later line loses it nor the next claim inherits it.
std::string serviceLineCsv(FieldTable& fields, long long count) {
    std::string out;
    for (long long k = 1; k <= count; ++k) {
        for (size_t i = 0; i < fields.size(); ++i) {
            FieldEntry& f = fields[i];
            f.occurrenceCount = 0;
            if (f.name.empty()) continue;
            long long line = lineOf(f);
            if (line == k && hasServiceLine(f)) {
                if (i > 0) out += ',';
                out += f.value;
                if (levelOf(f) == 4) f.value.clear();
            } else if (line == 0) {
                if (i > 0) out += ',';
                out += f.value;
                if (levelOf(f) == 4) f.value.clear();
            }
        }
        out += "\r\n";
    }
    clearRecordLevel(fields);
    return out;
}

}  // namespace

long long serviceLineCount(const FieldTable& fields) {
    long long count = 0;
    long long highest = 0;
    bool lineHasData = false;
    for (size_t i = 0; i + 1 < fields.size(); ++i) {
        const FieldEntry& f = fields[i];
        if (!hasServiceLine(f)) continue;
        long long line = leadingNumber(f.serviceLineNumber);
        if (line > highest) {
            highest = line;
            lineHasData = false;
        }
        if (!lineHasData && !isBlank(f.value)) {
            lineHasData = true;
            ++count;
        }
    }
    return count == 0 ? 1 : count;
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
    RecordWriteResult result;
    result.values.assign(fields.size(), std::string());
    bool any = anyValue(fields);
    setFileLevels(fields, request);
    if (!any) return result;

    const std::string type = request.job ? request.job->conversionType : std::string();
    bool serviceLineMode = request.job && (CTL48400J(*request.job, 4) || CTL48400J(*request.job, 5));
    bool ml = request.job && CTL48400J(*request.job, 5);

    if (beginsWith(trimSpaces(type), "X12,ODBC")) {
        result.databaseLog = writeToDatabase(fields, request, serviceLineMode, ml, ctx);
        return result;
    }

    std::string text;
    bool isXml = beginsWith(type, "X12,XML");
    bool isCsv = beginsWith(type, "X12,CSV");
    if (isXml) {
        text = serviceLineMode ? serviceLineXml(fields, serviceLineCount(fields)) : plainXml(fields);
    } else if (isCsv) {
        text = serviceLineMode ? serviceLineCsv(fields, serviceLineCount(fields)) : plainCsv(fields);
    } else {
        if (!serviceLineMode) {
            for (size_t i = 0; i < fields.size(); ++i)
                if (!fields[i].name.empty()) result.values[i] = fields[i].value;
            clearRecordLevel(fields);
            resetCounts(fields);
        }
        return result;
    }
    if (!CSC_0001E(text, request.destination, kAppend)) result.writeFailed = true;
    return result;
}

void CTL48400W(const std::vector<std::string>& values, std::vector<std::vector<std::string>>& records) {
    if (records.size() == 1 && records[0].empty()) {
        records[0] = values;
        return;
    }
    records.push_back(values);
}

}  // namespace brolvin
