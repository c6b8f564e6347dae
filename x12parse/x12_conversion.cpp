#include "x12parse/x12_conversion.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "map/service_line_expansion.h"
#include "util/file_io.h"
#include "util/input_limits.h"
#include "util/output_appender.h"
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
// keyEntryOneMatches for a bare identifier.
bool entryOneMatches(const KeyList& list, std::string_view identifier) {
    if (list.kind == KeyList::Kind::MatchesNothing || list.entries.empty()) return false;
    return beginsWith(list.entries[0], identifier);
}

const char* const kXmlClose = "</EXPORTDATA>\r\n";

std::string overlongSegmentText(long long segmentNumber, const std::string& source) {
    return "segment " + std::to_string(segmentNumber) + " of " + source + " is longer than " +
           limitText(kMaxSegmentBytes);
}

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
// removed before new records are appended. Only the end of the file is read.
bool removeXmlClosingLine(const std::string& path) {
    long long size = fileSize(path);
    if (size < 0) return false;
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    auto isTrailing = [](char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == kEofMark; };
    const std::string closing = "</EXPORTDATA>";
    // Walk back over the trailing white space, one block at a time.
    long long end = size;
    std::string block;
    bool ok = true;
    while (end > 0) {
        long long start = end > (1 << 16) ? end - (1 << 16) : 0;
        block.assign(static_cast<size_t>(end - start), '\0');
        if (::pread(fd, block.data(), block.size(), static_cast<off_t>(start)) !=
            static_cast<ssize_t>(block.size())) {
            ok = false;
            break;
        }
        size_t i = block.size();
        while (i > 0 && isTrailing(block[i - 1])) --i;
        end = start + static_cast<long long>(i);
        if (i > 0) break;
    }
    bool closed = false;
    if (ok && end >= static_cast<long long>(closing.size())) {
        std::string tail(closing.size(), '\0');
        off_t at = static_cast<off_t>(end - static_cast<long long>(closing.size()));
        ok = ::pread(fd, tail.data(), tail.size(), at) == static_cast<ssize_t>(tail.size());
        closed = ok && tail == closing;
    }
    ::close(fd);
    if (!ok) return false;
    if (!closed) return true;
    return ::truncate(path.c_str(), static_cast<off_t>(end - static_cast<long long>(closing.size()))) == 0;
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
    void checkAfterSegment(const FieldExtractor& extractor, const FunctionFiles& functions,
                           long long segmentNumber);
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
    // The destination stays open from the first record to the closing line;
    // records go out in batches of about a megabyte, each record whole.
    OutputAppender appender_{1 << 20};
    RecordWriteRequest writeRequest_;
    std::optional<RecordWriter> writer_;
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
    RecordWriteResult written = writer_->write(map_.fields, writeRequest_, ctx_);
    result_.runLog += written.databaseLog;
    noteWrite(!written.writeFailed);
}

void X12Run::checkAfterSegment(const FieldExtractor& extractor, const FunctionFiles& functions,
                               long long segmentNumber) {
    if (!functions.refusal().empty()) {
        result_.refusal = functions.refusal();
    } else if (extractor.valuesBeyondLimit()) {
        result_.refusal = "the values of the record at segment " + std::to_string(segmentNumber) + " of " +
                          job_.source + " are larger than " + limitText(kMaxRecordBytes);
    }
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

    writeRequest_.job = &job_;
    writeRequest_.destination = job_.currentDestination;
    writeRequest_.databaseMap = request_.databaseMap;
    writeRequest_.pathSeparator = request_.pathSeparator;
    writeRequest_.appender = &appender_;
    writer_.emplace(map_.fields);

    FunctionFiles functions;
    FieldExtractor extractor(map_.fields, d.elementSeparator, d.subElementSeparator, functions);
    ClaimAssembler* assemblerPtr = nullptr;
    AssemblyCallbacks callbacks;
    callbacks.extract = [&](std::string_view segment, long long line, bool traceOn, std::string* trace) {
        const SegmentElements* parts = assemblerPtr->currentElements();
        if (parts)
            extractor.extract(segment, *parts, line, traceOn, assemblerPtr->history(), trace);
        else
            extractor.extract(segment, line, traceOn, assemblerPtr->history(), trace);
    };
    callbacks.writeRecord = [this]() { writeRecord(); };
    ClaimAssembler assembler(map_, d.elementSeparator, debug_, std::move(callbacks));
    assemblerPtr = &assembler;

    SegmentStream stream(d.terminator, &assembler.history());
    streamFile(
        source, stream,
        [&](std::string_view segment) {
            assembler.processSegment(segment, stream.segmentCount());
            checkAfterSegment(extractor, functions, stream.segmentCount());
            if (!result_.refusal.empty()) stream.stop();
        },
        &ctx_.platform);
    if (stream.overlong()) result_.refusal = overlongSegmentText(stream.segmentCount() + 1, source);

    // A stopped conversion writes neither its open record nor the closing
    // line: the destination shows it is incomplete.
    if (result_.refusal.empty()) {
        assembler.finish();
        if (xml) noteWrite(appender_.append(kXmlClose, job_.currentDestination));
    }
    noteWrite(appender_.close());
    result_.maxServiceLineCount = assembler.maxServiceLineCount();
    return result_;
}

}  // namespace

long long CTL48400AA(const std::string& source, char terminator, char elementSeparator,
                     const KeyList& keyField, const KeyList& keyLine, Platform& platform,
                     long long* overlongSegment) {
    long long result = 0;
    long long lines = 0;
    if (fileSize(source) < 0) platform.consoleLine(fileErrorText("48400aa Cfile <ERROR> FC-Open #", errno));
    // Only the identifiers are tested: the segments need not be cleaned or split.
    IdentifierStream identifiers(terminator, elementSeparator);
    auto count = [&](std::string_view id) {
        if (entryOneMatches(keyField, id)) lines = 0;
        if (entryOneMatches(keyLine, id)) {
            ++lines;
            if (lines > result) result = lines;
        }
    };
    readFileBlocks(
        source,
        [&](const char* data, size_t n) {
            identifiers.feed(data, n, count);
            return !identifiers.overlong();
        },
        &platform);
    if (overlongSegment) *overlongSegment = identifiers.overlong() ? identifiers.segmentCount() + 1 : 0;
    return result;
}

X12Preparation prepareX12Source(const JobParams& job, LoadedMap& map, Platform& platform) {
    X12Preparation p;
    Delimiters& d = p.delimiters;
    if (fileExists(job.source)) d = readDelimiters(job.source, platform);
    if (CTL48400J(job, 5)) {
        long long overlong = 0;
        p.lineCount = CTL48400AA(job.source, d.terminator, d.elementSeparator, map.keyField, map.keyLine,
                                 platform, &overlong);
        if (overlong > 0) {
            p.refusal = overlongSegmentText(overlong, job.source);
            return p;
        }
        p.linesMade = expandedLineCount(map.fields, p.lineCount);
        map.fields = CTL48400Z(map.fields, p.lineCount);
        map.names = CTL48400AB(map.fields, 1);
        map.segmentMap = CTL48400AB(map.fields, 2);
    }
    return p;
}

X12ConversionResult runX12Conversion(const X12ConversionRequest& request, LoadedMap& map, DebugLog& debug,
                                     RunContext& ctx) {
    X12Run run(request, map, debug, ctx);
    return run.run();
}

}  // namespace brolvin
