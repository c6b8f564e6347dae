#include "x12parse/x12_conversion.h"

#include <unistd.h>

#include <cerrno>

#include "map/service_line_expansion.h"
#include "util/file_io.h"
#include "util/output_file.h"
#include "util/text.h"
#include "x12parse/claim_assembly.h"
#include "x12parse/field_extraction.h"
#include "x12parse/field_functions.h"
#include "x12parse/key_match.h"
#include "x12parse/record_writer.h"
#include "x12parse/segment_stream.h"

namespace brolvin {

namespace {

const char* const kXmlHeader = "<?xml version=\"1.0\"  encoding=\"ISO-8859-1\"?>\r\n<EXPORTDATA>\r\n";
const char* const kXmlClose = "</EXPORTDATA>\r\n";

bool typeIs(const JobParams& job, const char* type) { return beginsWithNoCase(job.conversionType, type); }

// The CSV header line: with "SL"/"ML" only claim-level and line-1 columns.
std::string csvHeaderLine(const FieldTable& fields, bool serviceLineMode) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        const FieldEntry& f = fields[i];
        if (serviceLineMode && !isBlank(f.serviceLineNumber) && leadingNumber(f.serviceLineNumber) != 1)
            continue;
        if (i > 0) line += ',';
        std::string title = trimSpaces(f.description);
        line += title.empty() ? trimSpaces(f.name) : title;
    }
    return line + "\r\n";
}

// An existing XML destination that is merged into must stay one document:
// its closing "</EXPORTDATA>" line (with trailing white space or 0x1A) is
// removed before new records are appended.
bool removeXmlClosingLine(const std::string& path) {
    std::string content;
    if (!readWholeFile(path, content)) return false;
    size_t end = content.size();
    while (end > 0 && (content[end - 1] == ' ' || content[end - 1] == '\r' || content[end - 1] == '\n' ||
                       content[end - 1] == '\t' || content[end - 1] == kEofMark))
        --end;
    const std::string closing = "</EXPORTDATA>";
    if (end < closing.size() || content.compare(end - closing.size(), closing.size(), closing) != 0) return true;
    size_t cut = end - closing.size();
    return ::truncate(path.c_str(), static_cast<off_t>(cut)) == 0;
}

class X12Run {
public:
    X12Run(const X12ConversionRequest& request, LoadedMap& map, DebugLog& debug, RunContext& ctx)
        : request_(request), job_(*request.job), map_(map), debug_(debug), ctx_(ctx) {}

    X12ConversionResult run();

private:
    void frameDebugLines(const Delimiters& d);
    void openXml();
    void openCsv();
    void setFileLevels();
    void writeRecord();
    void noteWrite(bool ok) {
        if (!ok && !result_.writeFailed) {
            result_.writeFailed = true;
            result_.failedFile = job_.currentDestination;
        }
    }

    const X12ConversionRequest& request_;
    const JobParams& job_;
    LoadedMap& map_;
    DebugLog& debug_;
    RunContext& ctx_;
    X12ConversionResult result_;
};

void X12Run::frameDebugLines(const Delimiters& d) {
    if (!debug_.detail()) return;
    debug_.line("- Parse Type = " + job_.conversionType);
    debug_.line("- Source File = " + job_.source);
    debug_.line("- SLP = " + std::to_string(d.headerOffset));
    debug_.line("- ST = " + std::string(1, d.terminator));
    debug_.line("- DS = " + std::string(1, d.elementSeparator));
    debug_.line("- XS = " + std::string(1, d.subElementSeparator));
    debug_.line("- TA = " + std::to_string(map_.fields.size()));
    for (size_t i = 0; i < map_.fields.size(); ++i)
        debug_.line("- Field" + std::to_string(i + 1) + " = " + map_.fields[i].name + " --cond " +
                    map_.fields[i].conditionField);
}

void X12Run::openXml() {
    const std::string& dest = job_.currentDestination;
    if (beginsWith(request_.merge, "MF") && fileExists(dest)) {
        noteWrite(removeXmlClosingLine(dest));
    } else {
        noteWrite(CSC_0001E("", dest, kCreateEmpty));
        noteWrite(CSC_0001E(kXmlHeader, dest, kAppend));
    }
    debug_.line("-  Destination XML File Created = " + dest);
}

void X12Run::openCsv() {
    const std::string& dest = job_.currentDestination;
    result_.runLog += ctx_.stampedLine(" - Source : " + job_.source);
    result_.runLog += ctx_.stampedLine(" - Destination : " + dest);
    bool serviceLineMode = CTL48400J(job_, 4) || CTL48400J(job_, 5);
    std::string header = csvHeaderLine(map_.fields, serviceLineMode);
    bool merge = beginsWith(request_.merge, "MF");
    if (!(merge && fileExists(dest))) {
        noteWrite(CSC_0001E("", dest, kCreateEmpty));
        if (CTL48400J(job_, 1)) noteWrite(CSC_0001E(header, dest, kAppend));
    }
    debug_.line((merge ? "- Destination CSV File Created (Merge) = " : "- Destination CSV File Created = ") + dest);
}

void X12Run::setFileLevels() {
    for (FieldEntry& f : map_.fields) {
        long long level = leadingNumber(f.level);
        if (level == 5) f.value = job_.source;
        if (level == 6) f.value = job_.currentDestination;
    }
}

void X12Run::writeRecord() {
    RecordWriteRequest request;
    request.job = &job_;
    request.destination = job_.currentDestination;
    request.databaseMap = request_.databaseMap;
    request.pathSeparator = request_.pathSeparator;
    RecordWriteResult written = CTL48400C(map_.fields, request, ctx_);
    result_.runLog += written.databaseLog;
    noteWrite(!written.writeFailed);
}

X12ConversionResult X12Run::run() {
    const std::string& source = job_.source;
    if (!fileExists(source)) return result_;
    Delimiters d = readDelimiters(source, ctx_.platform);
    frameDebugLines(d);

    bool xml = typeIs(job_, "X12,XML");
    bool csv = typeIs(job_, "X12,CSV");
    if (xml) openXml();
    if (csv) openCsv();
    setFileLevels();

    FunctionFiles functions;
    FieldExtractor extractor(map_.fields, d.elementSeparator, d.subElementSeparator, functions);
    ClaimAssembler* assemblerPtr = nullptr;
    AssemblyCallbacks callbacks;
    callbacks.extract = [&](std::string_view segment, long long line, bool traceOn, std::string* trace) {
        extractor.extract(segment, line, traceOn, assemblerPtr->history(), trace);
    };
    callbacks.writeRecord = [this]() { writeRecord(); };
    ClaimAssembler assembler(map_, d.elementSeparator, debug_, std::move(callbacks));
    assemblerPtr = &assembler;

    SegmentStream stream(d.terminator, &assembler.history());
    streamFile(source, stream,
               [&](std::string_view segment) { assembler.processSegment(segment, stream.segmentCount()); },
               &ctx_.platform);
    assembler.finish();

    if (xml) noteWrite(CSC_0001E(kXmlClose, job_.currentDestination, kAppend));
    result_.maxServiceLineCount = assembler.maxServiceLineCount();
    return result_;
}

}  // namespace

long long CTL48400AA(const std::string& source, char terminator, char elementSeparator,
                     const KeyList& keyField, const KeyList& keyLine, Platform& platform) {
    long long result = 0;
    long long lines = 0;
    if (fileSize(source) < 0) platform.consoleLine(fileErrorText("48400aa Cfile <ERROR> FC-Open #", errno));
    streamFile(
        source, terminator,
        [&](std::string_view segment) {
            SegmentElements e(segment, elementSeparator);
            if (keyEntryOneMatches(keyField, e)) lines = 0;
            if (keyEntryOneMatches(keyLine, e)) {
                ++lines;
                if (lines > result) result = lines;
            }
        },
        nullptr, &platform);
    return result;
}

Delimiters prepareX12Source(const JobParams& job, LoadedMap& map, Platform& platform) {
    Delimiters d;
    if (fileExists(job.source)) d = readDelimiters(job.source, platform);
    if (CTL48400J(job, 5)) {
        long long count = CTL48400AA(job.source, d.terminator, d.elementSeparator, map.keyField, map.keyLine, platform);
        map.fields = CTL48400Z(map.fields, count);
        map.names = CTL48400AB(map.fields, 1);
        map.segmentMap = CTL48400AB(map.fields, 2);
    }
    return d;
}

X12ConversionResult runX12Conversion(const X12ConversionRequest& request, LoadedMap& map, DebugLog& debug,
                                     RunContext& ctx) {
    X12Run run(request, map, debug, ctx);
    return run.run();
}

}  // namespace brolvin
