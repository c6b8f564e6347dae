#include "x12parse/x12_conversion.h"

#include <cerrno>
#include <chrono>
#include <optional>
#include <utility>

#include "dbexport/export_session.h"
#include "map/csv_header.h"
#include "map/service_line_expansion.h"
#include "util/file_io.h"
#include "util/locked_append.h"
#include "util/os.h"
#include "util/input_limits.h"
#include "util/output_appender.h"
#include "util/output_file.h"
#include "util/staged_output.h"
#include "util/text.h"
#include "x12parse/claim_assembly.h"
#include "x12parse/field_extraction.h"
#include "x12parse/field_functions.h"
#include "x12parse/key_match.h"
#include "x12parse/record_writer.h"
#include "x12parse/segment_stream.h"
#include "x12parse/set_map_watch.h"

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
    return csvHeaderText(fields, serviceLineMode) + "\r\n";
}

// An existing XML destination that is merged into must stay one document:
// its closing "</EXPORTDATA>" line (with trailing white space or 0x1A) is cut
// off before new records are appended, and kept by `file` so a failed append
// can put it back. Only the end of the file is read; a closing line behind
// more white space than the file keeps for undoing stays where it is.
bool removeXmlClosingLine(LockedAppend& file) {
    const long long size = file.originalSize();
    const int fd = file.fd();
    auto isTrailing = [](char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == kEofMark; };
    const std::string closing = "</EXPORTDATA>";
    // Walk back over the trailing white space, one block at a time.
    long long end = size;
    std::string block;
    while (end > 0 && size - end <= LockedAppend::kMaxCut) {
        long long start = end > (1 << 16) ? end - (1 << 16) : 0;
        block.assign(static_cast<size_t>(end - start), '\0');
        if (os::readAt(fd, block.data(), block.size(), start) != static_cast<long long>(block.size()))
            return false;
        size_t i = block.size();
        while (i > 0 && isTrailing(block[i - 1])) --i;
        end = start + static_cast<long long>(i);
        if (i > 0) break;
    }
    const long long tagStart = end - static_cast<long long>(closing.size());
    if (tagStart < 0 || size - tagStart > LockedAppend::kMaxCut) return true;
    std::string tail(closing.size(), '\0');
    if (os::readAt(fd, tail.data(), tail.size(), tagStart) != static_cast<long long>(tail.size()))
        return false;
    return tail != closing || file.cut(tagStart);
}

// How long a merge waits for another job's merge into the same file.
constexpr std::chrono::milliseconds kMergeLockWait{60000};

// "ISA" or "IEA" when the segment is an interchange header or trailer, else "".
std::string_view envelopeSegment(std::string_view segment, char elementSeparator) {
    segment = spacesTrimmedView(segment);
    if (segment.size() < 3 || (segment.size() > 3 && segment[3] != elementSeparator && segment[3] != ' '))
        return {};
    std::string_view id = segment.substr(0, 3);
    return id == "ISA" || id == "IEA" ? id : std::string_view();
}

// Why a source with transaction sets gave no record, as far as the map tells.
std::string noRecordReason(const LoadedMap& map, bool keyFieldMatched) {
    bool named = false;
    for (const FieldEntry& f : map.fields) named = named || !f.name.empty();
    if (!named) return "the map has no FIELD lines";
    if (map.keyField.kind == KeyList::Kind::Given && !keyFieldMatched)
        return "no key field of the map matched a segment of the source";
    return "no field of the map took a value from the source";
}

class X12Run {
public:
    X12Run(const X12ConversionRequest& request, LoadedMap& map, DebugLog& debug, RunContext& ctx)
        : request_(request), job_(*request.job), map_(map), debug_(debug), ctx_(ctx) {}

    X12ConversionResult run();

private:
    void frameDebugLines(const Delimiters& d);
    bool openOutput(bool xml);
    bool openMerge(bool xml);
    void openNew();
    void finishOutput();
    void openXml();
    void openCsv();
    void setFileLevels();
    void writeRecord();
    void line(const std::string& text) { result_.runLog += ctx_.stampedLine(text); }
    // A warning line for the run log and standard error.
    void warn(const std::string& line) {
        result_.runLog += ctx_.stampedLine(line);
        ctx_.platform.warningLine(line);
    }
    void checkAfterSegment(const FieldExtractor& extractor, const FunctionFiles& functions,
                           long long segmentNumber);
    void noteWrite(bool ok) {
        if (!ok && !result_.write.failed) result_.failure.note("could not write " + job_.currentDestination);
        result_.write.note(ok, job_.currentDestination);
    }

    const X12ConversionRequest& request_;
    const JobParams& job_;
    LoadedMap& map_;
    DebugLog& debug_;
    RunContext& ctx_;
    X12ConversionResult result_;
    // A new destination is written beside its final name and published at
    // the end; a merged one is appended to under its lock.
    StagedOutput staged_;
    LockedAppend merged_;
    bool merging_ = false;
    std::string writePath_;  // the file the records go to now
    // The destination stays open from the first record to the closing line;
    // records go out in batches of about one and a half megabytes, each
    // record whole.
    OutputAppender appender_{1 << 20};
    RecordWriteRequest writeRequest_;
    std::optional<RecordWriter> writer_;
    // X12,ODBC: connections and open transactions for the whole source.
    std::optional<ExportSession> exportSession_;
    // The fields whose Value or Occurrence Count may be set, kept by
    // extraction, claim assembly and the record writer.
    FieldBits setFields_;
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

// Locks an existing destination for the merge. False when the merge cannot
// go ahead: the job then writes nothing.
bool X12Run::openMerge(bool xml) {
    const std::string& dest = job_.currentDestination;
    switch (merged_.open(dest, kMergeLockWait)) {
        case LockedAppend::Opened::kLocked:
            merging_ = true;
            writePath_ = dest;
            if (!xml || removeXmlClosingLine(merged_)) return true;
            break;
        case LockedAppend::Opened::kBusy:
            line(" - File Locked : " + dest);
            result_.failure.note("another job's merge into " + dest + " held it too long (File Locked)");
            break;
        case LockedAppend::Opened::kMissing:
        case LockedAppend::Opened::kFailed:
            break;
    }
    noteWrite(false);
    return false;
}

void X12Run::openNew() {
    if (staged_.begin(job_.currentDestination)) {
        writePath_ = staged_.path();
        noteWrite(CSC_0001E("", writePath_, kCreateEmpty));
    } else {
        noteWrite(false);
    }
}

void X12Run::openXml() {
    const std::string& dest = job_.currentDestination;
    if (beginsWith(request_.merge, "MF") && fileExists(dest)) {
        openMerge(true);
    } else {
        openNew();
        if (!result_.write.failed) noteWrite(CSC_0001E(kXmlHeader, writePath_, kAppend));
    }
    debug_.line("-  Destination XML File Created = " + dest);
}

void X12Run::openCsv() {
    const std::string& dest = job_.currentDestination;
    line(" - Source : " + job_.source);
    line(" - Destination : " + dest);
    bool serviceLineMode = hasOption(job_, OptionCode::ServiceLines) || hasOption(job_, OptionCode::EveryLine);
    std::string header = csvHeaderLine(map_.fields, serviceLineMode);
    bool merge = beginsWith(request_.merge, "MF");
    if (merge && fileExists(dest)) {
        openMerge(false);
    } else {
        openNew();
        if (!result_.write.failed && hasOption(job_, OptionCode::HeaderLine)) noteWrite(CSC_0001E(header, writePath_, kAppend));
    }
    debug_.line((merge ? "- Destination CSV File Created (Merge) = " : "- Destination CSV File Created = ") + dest);
}

// A complete new destination takes its final name; a failed one leaves
// nothing there, and a failed merge leaves the earlier content as it was.
void X12Run::finishOutput() {
    const std::string& dest = job_.currentDestination;
    const bool failed = result_.write.failed || result_.readFailed || !result_.refusal.empty();
    if (merging_) {
        if (failed && !merged_.restore()) line(" - Merge Not Undone : " + dest);
        merged_.release();
        result_.outputInPlace = !failed;
        return;
    }
    if (failed) {
        staged_.discard();
        return;
    }
    Published published = staged_.publish(request_.replaceExisting);
    if (published == Published::kExists) {
        line(" - File Exists : " + dest);
        result_.failure.note("output exists: " + dest + " (OW replaces it)");
    }
    noteWrite(published == Published::kDone);
    if (published != Published::kDone) staged_.discard();
    result_.outputInPlace = published == Published::kDone;
}

void X12Run::setFileLevels() {
    for (size_t i = 0; i < map_.fields.size(); ++i) {
        FieldEntry& f = map_.fields[i];
        long long level = leadingNumber(f.level);
        if (level == 5) f.value = job_.source;
        if (level == 6) f.value = job_.currentDestination;
        if (!f.value.empty() || f.occurrenceCount != 0) setFields_.set(i);
    }
}

void X12Run::writeRecord() {
    RecordWriteResult written = writer_->write(map_.fields, writeRequest_, ctx_);
    result_.runLog += written.databaseLog;
    noteWrite(!written.writeFailed);
    if (written.recordWritten) ++result_.recordsWritten;
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
    const Delimiters d = request_.delimiters ? *request_.delimiters : readDelimiters(source, ctx_.platform);
    frameDebugLines(d);

    bool xml = typeIs(job_, "X12,XML");
    bool csv = typeIs(job_, "X12,CSV");
    if (xml) openXml();
    if (csv) openCsv();
    // Nothing is read when there is nowhere to put the records.
    if (result_.write.failed) {
        finishOutput();
        return result_;
    }
    setFields_ = FieldBits(map_.fields.size());
    setFileLevels();

    writeRequest_.job = &job_;
    writeRequest_.setFields = &setFields_;
    writeRequest_.destination = writePath_;
    writeRequest_.databaseMap = request_.databaseMap;
    writeRequest_.pathSeparator = request_.pathSeparator;
    writeRequest_.appender = &appender_;
    if (request_.databaseMap && beginsWith(trimSpaces(job_.conversionType), "X12,ODBC")) {
        exportSession_.emplace();
        writeRequest_.databaseSession = &*exportSession_;
    }

    // The extractor's index, the largest of the set-up's tables, is built
    // first, while the memory the table expansion gave back is still whole.
    FunctionFiles functions;
    FieldExtractor extractor(map_.fields, d.elementSeparator, d.subElementSeparator, functions);
    extractor.trackSetFields(&setFields_);
    writer_.emplace(map_.fields);
    AssemblyCallbacks callbacks;
    callbacks.extractor = &extractor;
    callbacks.writeRecord = [this]() { writeRecord(); };
    ClaimAssembler assembler(map_, d.elementSeparator, debug_, std::move(callbacks));
    assembler.trackSetFields(&setFields_);

    bool insideInterchange = false;
    SetMapWatch sets(d.elementSeparator, d.subElementSeparator, map_.path,
                     [this](const std::string& line) { warn(line); });
    SegmentStream stream(d.terminator, &assembler.history());
    result_.readFailed = !streamFile(
        source, stream,
        [&](std::string_view segment) {
            std::string_view envelope = envelopeSegment(segment, d.elementSeparator);
            if (!envelope.empty()) insideInterchange = envelope == "ISA";
            sets.see(segment, stream.segmentCount());
            assembler.processSegment(segment, stream.segmentCount());
            checkAfterSegment(extractor, functions, stream.segmentCount());
            if (!result_.refusal.empty()) stream.stop();
        },
        &ctx_.platform);
    if (stream.overlong()) result_.refusal = overlongSegmentText(stream.segmentCount() + 1, source);
    if (result_.readFailed && result_.refusal.empty()) {
        line(" - Read Error : " + source);
        result_.failure.note("could not read the source " + source + " to its end");
    }

    // A stopped conversion writes neither its open record nor the closing
    // line, and its new output is discarded.
    const bool refused = !result_.refusal.empty();
    if (!refused) {
        assembler.finish();
        sets.finish();
        if (assembler.unwrittenServiceLines() > 0 && !hasOption(job_, OptionCode::EveryLine))
            warn(" - Warning : " + std::to_string(assembler.unwrittenServiceLines()) +
                 " service line(s) were not written: the map holds " + std::to_string(assembler.mapServiceLines()) +
                 " per claim; the option ML writes every line");
        if (xml) noteWrite(appender_.append(kXmlClose, writePath_));
    }
    noteWrite(appender_.close());
    if (exportSession_) {
        result_.runLog += exportSession_->finish();
        result_.failedTableWrites = exportSession_->failedWrites();
    }
    if (xml || csv) finishOutput();
    result_.maxServiceLineCount = assembler.maxServiceLineCount();
    if (refused) return result_;
    if (insideInterchange) warn(" - Warning : the source ends inside an interchange (no IEA after the last ISA)");
    if (assembler.transactionSets() > 0 && result_.recordsWritten == 0) {
        result_.noRecords = true;
        const std::string why = noRecordReason(map_, assembler.keyFieldMatched());
        line(" - No Records Written : " + why);
        result_.failure.note("no record written: " + why);
    }
    return result_;
}

}  // namespace

long long maxServiceLinesPerClaim(const std::string& source, char terminator, char elementSeparator,
                                  const KeyList& keyField, const KeyList& keyLine, Platform& platform,
                                  long long* overlongSegment) {
    long long result = 0;
    long long lines = 0;
    if (fileSize(source) < 0) platform.warningLine(fileErrorText("48400aa Cfile <ERROR> FC-Open #", errno));
    // Only the identifiers are tested: the segments need not be cleaned or split.
    IdentifierStream identifiers(terminator, elementSeparator);
    // Only identifiers that begin like entry 1 of either list can match it.
    std::string firstBytes;
    for (const KeyList* list : {&keyField, &keyLine})
        if (list->kind != KeyList::Kind::MatchesNothing && !list->entries.empty() && !list->entries[0].empty())
            firstBytes.push_back(list->entries[0][0]);
    identifiers.screen(firstBytes);
    auto count = [&](std::string_view id) {
        if (entryOneMatches(keyField, id)) lines = 0;
        if (entryOneMatches(keyLine, id)) {
            ++lines;
            if (lines > result) result = lines;
        }
    };
    readSourceBlocks(
        source,
        [&](std::string_view block) {
            identifiers.feed(block.data(), block.size(), count);
            return !identifiers.overlong();
        },
        &platform);
    if (overlongSegment) *overlongSegment = identifiers.overlong() ? identifiers.segmentCount() + 1 : 0;
    return result;
}

X12Preparation prepareX12Source(const JobParams& job, LoadedMap& map, Platform& platform,
                                const SourceHead* head) {
    X12Preparation p;
    Delimiters& d = p.delimiters;
    if (head)
        d = head->delimiters;
    else if (fileExists(job.source))
        d = readDelimiters(job.source, platform);
    if (hasOption(job, OptionCode::EveryLine)) {
        long long overlong = 0;
        p.lineCount = maxServiceLinesPerClaim(job.source, d.terminator, d.elementSeparator, map.keyField, map.keyLine,
                                              platform, &overlong);
        if (overlong > 0) {
            p.refusal = overlongSegmentText(overlong, job.source);
            return p;
        }
        p.linesMade = expandedLineCount(map.fields, p.lineCount);
        expandServiceLines(map, p.lineCount);
    }
    return p;
}

X12ConversionResult runX12Conversion(const X12ConversionRequest& request, LoadedMap& map, DebugLog& debug,
                                     RunContext& ctx) {
    X12Run run(request, map, debug, ctx);
    return run.run();
}

}  // namespace brolvin
