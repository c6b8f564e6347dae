#include "x12build/generation_mode.h"

#include <cerrno>
#include <optional>

#include "core/job_params.h"
#include "map/csv_header.h"
#include "map/service_line_expansion.h"
#include "util/file_blocks.h"
#include "util/file_io.h"
#include "util/input_limits.h"
#include "util/output_file.h"
#include "util/progress.h"
#include "util/staged_output.h"
#include "util/text.h"
#include "x12build/csv_input.h"
#include "x12build/envelope.h"
#include "x12build/generation_run.h"
#include "x12build/xml_input.h"

namespace brolvin {

namespace {

// A reason the job stops: its run-log text, and the same in the job's
// outcome, which begins in lower case.
void stop(GenerationResult& result, RunContext& ctx, const std::string& reason) {
    result.stopped = true;
    result.runLog += ctx.stampedLine(" - " + reason);
    result.failure.note(reason.starts_with("The ") ? "the " + reason.substr(4) : reason);
}

}  // namespace

GenerationResult runGenerationMode(const EngineArgs& args, LoadedMap& map, RunContext& ctx, DebugLog& debug) {
    GenerationResult result;
    const JobParams& job = args.job;
    const std::string kind = toUpper(job.conversionType.substr(0, 3));
    const bool xml = kind == "XML";
    if (!xml && kind != "CSV") return result;
    if (!fileExists(job.source)) return result;
    if (map.segmentLayout.empty()) {
        stop(result, ctx, "The map " + map.path + " has no SEGMENT= lines: no X12 can be generated from it");
        return result;
    }

    // The pre-pass: the record count, and for XML the header values and the
    // line-block count; the source is streamed, never held whole.
    CsvRecordCounter csvCounter;
    CsvFirstLine csvFirstLine;
    XmlPrescan xmlPrescan;
    long long size = 0;
    BlockReadError error;
    // The pre-pass stops at the first input beyond its size limit.
    auto prescanRefusal = [&]() -> std::string {
        if (xml) return xmlPrescan.refusal(job.source);
        if (csvCounter.overlongLine() == 0) return "";
        return "line " + std::to_string(csvCounter.overlongLine()) + " of " + job.source + " is longer than " +
               limitText(kMaxCsvLineBytes);
    };
    bool readable = readFileBlocks(
        job.source,
        [&](std::string_view block) {
            size += static_cast<long long>(block.size());
            if (xml) {
                xmlPrescan.feed(block);
            } else {
                csvCounter.feed(block);
                csvFirstLine.feed(block);
            }
            return xml ? !xmlPrescan.refused() : csvCounter.overlongLine() == 0;
        },
        error);
    xmlPrescan.finish();
    csvCounter.finish();
    // Refused before anything is written.
    result.refusal = prescanRefusal();
    if (!result.refusal.empty()) return result;
    if (!readable) {
        // An unreadable source counts as empty.
        ctx.platform.warningLine(readErrorText(error));
        size = 0;
        csvCounter = CsvRecordCounter();
        csvFirstLine = CsvFirstLine();
        xmlPrescan = XmlPrescan();
    }
    // The header line that CSV output writes for this map ("HO") is no record.
    const bool skipCsvHeader =
        !xml && csvFirstLine.equalsOneOf({csvHeaderText(map.fields, false), csvHeaderText(map.fields, true)});

    EnvelopeValues headerValues = blankEnvelopeValues();
    if (xml) {
        if (hasOption(job, OptionCode::EveryLine)) {
            const long long linesMade = expandedLineCount(map.fields, xmlPrescan.lineBlockCount());
            expandServiceLines(map, xmlPrescan.lineBlockCount());
            std::string limit = serviceLineLimitNote(xmlPrescan.lineBlockCount(), linesMade);
            if (!limit.empty()) result.runLog += ctx.stampedLine(limit);
        }
        if (xmlPrescan.batchPresent()) headerValues = xmlPrescan.headerValues();
    }

    GenerationRun run(map, debug);
    run.source = job.source;
    run.index = FieldNameIndex(map.fields);
    run.crLf = args.settings.segmentCrLf;
    run.debugSetting = args.settings.debug;

    // The interchange is written beside its final name and published whole.
    StagedOutput staged;
    if (staged.begin(job.currentDestination)) run.destination = staged.path();
    run.write.note(CSC_0001E("", run.destination, kCreateEmpty), job.currentDestination);
    ProgressHandle progressHandle;
    if (args.displayMode == 0)
        progressHandle = CTL394MTRA(progressHandle, "Creating X12 files ", "Please Stand By..");

    debug.line("- Parse Type = " + job.conversionType);
    debug.line("- Source File = " + job.source);
    debug.line("- SLP = 0");
    debug.line("- TA = " + std::to_string(map.fields.size()));

    std::optional<EnvelopeHeader> header;
    if (run.destinationExists()) {
        header = buildEnvelopeHeader(map.transactionType, map.version, run.crLf, run.delimiters.component,
                                     run.delimiters.element, run.delimiters.terminator, map.path,
                                     headerValues, ctx);
        run.append(header->text);
    }

    ProgressTicker counting(args.displayMode, size);
    counting.at(size);
    run.recordCount = xml ? xmlPrescan.recordCount()
                          : csvCounter.count() - (skipCsvHeader && csvCounter.firstLineCounted() ? 1 : 0);

    if (run.debugOn()) {
        debug.entry(std::string(xml ? "Total XML Record Count=" : "Total CSV Record Count=") +
                       rightAlign(run.recordCount, 10) + kCrLf);
        debug.entry("File Max=" + rightAlign(size, 10) + kCrLf + "Source File =" + job.source +
                       kCrLf);
    }

    ProgressTicker reading(args.displayMode, size);
    if (readable) {
        XmlRecordReader xmlReader(run);
        CsvRecordReader csvReader(run, skipCsvHeader);
        long long position = 0;
        readable = readFileBlocks(
            job.source,
            [&](std::string_view block) {
                if (xml)
                    xmlReader.feed(block);
                else
                    csvReader.feed(block);
                position += static_cast<long long>(block.size());
                reading.at(position);
                return !run.refused();
            },
            error);
        if (xml) {
            xmlReader.finish();
        } else {
            csvReader.finish();
            if (csvReader.unclosedQuote() && run.stopReason.empty())
                run.stopReason = "CSV line " + std::to_string(csvReader.unclosedQuoteLine()) +
                                 " opens a quoted value that is never closed";
        }
    }

    if (!run.stopReason.empty()) {
        // Records up to the fault were written; a partial interchange is
        // not left behind as if it were the conversion.
        run.closeDestination();
        if (!run.destination.empty()) deleteFile(run.destination);
        if (args.displayMode == 0) CTL394MTRB(progressHandle);
        stop(result, ctx, run.stopReason + " : " + job.source + " not converted");
        return result;
    }

    // A refused run gets no trailer: the interchange shows it is incomplete.
    if (run.destinationExists() && !run.refused()) {
        if (!header)
            header = buildEnvelopeHeader(map.transactionType, map.version, run.crLf,
                                         run.delimiters.component, run.delimiters.element,
                                         run.delimiters.terminator, map.path, headerValues, ctx);
        run.append(buildEnvelopeTrailer(run.crLf, run.delimiters.component, run.delimiters.element,
                                        run.delimiters.terminator, run.state.segmentCount,
                                        header->resolved.isa13, header->resolved.gs06,
                                        header->resolved.st02));
    }
    run.closeDestination();
    if (args.displayMode == 0) CTL394MTRB(progressHandle);
    if (!readable) {
        // Records the source still held are missing: the output is not published.
        result.readFailed = true;
        result.runLog += ctx.stampedLine(" - Read Error : " + job.source);
        result.failure.note("could not read the source " + job.source + " to its end");
    } else if (run.refused()) {
        staged.discard();  // an input beyond its limit: nothing is published
    } else if (run.write.failed) {
        run.write.file = job.currentDestination;  // the name the user knows, not the staged one
    } else {
        Published published = staged.publish(hasOption(job, OptionCode::Overwrite));
        if (published == Published::kExists) {
            result.runLog += ctx.stampedLine(" - File Exists : " + job.currentDestination);
            result.failure.note("output exists: " + job.currentDestination + " (OW replaces it)");
        }
        result.outputInPlace = published == Published::kDone;
        run.write.note(result.outputInPlace, job.currentDestination);
    }

    result.write = run.write;
    result.recordsWritten = run.recordNumber;
    result.refusal = run.refusal;
    return result;
}

}  // namespace brolvin
