#include "x12build/generation_mode.h"

#include <cerrno>
#include <optional>

#include "app/job_params.h"
#include "map/service_line_expansion.h"
#include "util/file_blocks.h"
#include "util/file_io.h"
#include "util/input_limits.h"
#include "util/output_file.h"
#include "util/progress.h"
#include "util/text.h"
#include "x12build/csv_input.h"
#include "x12build/envelope.h"
#include "x12build/generation_run.h"
#include "x12build/xml_input.h"

namespace brolvin {

namespace {

void expandServiceLines(LoadedMap& map, long long lineCount) {
    map.fields = CTL48400Z(map.fields, lineCount);
    map.names = CTL48400AB(map.fields, 1);
    map.segmentMap = CTL48400AB(map.fields, 2);
}

}  // namespace

GenerationResult runGenerationMode(const EngineArgs& args, LoadedMap& map, RunContext& ctx,
                                   long long& debugCounter) {
    GenerationResult result;
    const JobParams& job = args.job;
    const std::string kind = toUpper(job.conversionType.substr(0, 3));
    const bool xml = kind == "XML";
    if (!xml && kind != "CSV") return result;
    if (!fileExists(job.source)) return result;

    // The pre-pass: the record count, and for XML the header values and the
    // line-block count; the source is streamed, never held whole.
    CsvRecordCounter csvCounter;
    XmlPrescan xmlPrescan;
    long long size = 0;
    int error = 0;
    // The pre-pass stops at the first input beyond its size limit.
    auto prescanRefusal = [&]() -> std::string {
        if (xml) return xmlPrescan.refusal(job.source);
        if (csvCounter.overlongLine() == 0) return "";
        return "line " + std::to_string(csvCounter.overlongLine()) + " of " + job.source + " is longer than " +
               limitText(kMaxCsvLineBytes);
    };
    bool readable = readFileBlocksWhile(
        job.source,
        [&](std::string_view block) {
            size += static_cast<long long>(block.size());
            if (xml)
                xmlPrescan.feed(block);
            else
                csvCounter.feed(block);
            return xml ? !xmlPrescan.refused() : csvCounter.overlongLine() == 0;
        },
        error);
    xmlPrescan.finish();
    // Refused before anything is written.
    result.refusal = prescanRefusal();
    if (!result.refusal.empty()) return result;
    if (!readable) {
        // An unreadable source counts as empty.
        ctx.platform.consoleLine(fileErrorText("Cfile <ERROR> FC-Open #", error));
        size = 0;
        csvCounter = CsvRecordCounter();
        xmlPrescan = XmlPrescan();
    }

    EnvelopeValues headerValues = blankEnvelopeValues();
    if (xml) {
        if (CTL48400J(job, 5)) {
            const long long linesMade = expandedLineCount(map.fields, xmlPrescan.lineBlockCount());
            expandServiceLines(map, xmlPrescan.lineBlockCount());
            std::string limit = serviceLineLimitNote(xmlPrescan.lineBlockCount(), linesMade);
            if (!limit.empty()) result.runLog += ctx.stampedLine(limit);
        }
        if (xmlPrescan.batchPresent()) headerValues = xmlPrescan.headerValues();
    }

    GenerationRun run(map, debugCounter);
    run.source = job.source;
    run.index = FieldNameIndex(map.fields);
    run.destination = job.currentDestination;
    run.crLf = args.segmentCrLf;
    run.debugSetting = args.debug;

    if (!run.destination.empty() && !CSC_0001E("", run.destination, kCreateEmpty)) {
        run.writeFailed = true;
        run.failedFile = run.destination;
    }
    ProgressHandle progressHandle;
    if (args.displayMode == 0)
        progressHandle = CTL394MTRA(progressHandle, "Creating X12 files ", "Please Stand By..");

    run.debugLine("- Parse Type = " + job.conversionType);
    run.debugLine("- Source File = " + job.source);
    run.debugLine("- SLP = 0");
    run.debugLine("- TA = " + std::to_string(map.fields.size()));

    std::optional<EnvelopeHeader> header;
    if (run.destinationExists()) {
        header = CTL48400E(map.transactionType, map.version, run.crLf, run.delimiters.component,
                           run.delimiters.element, run.delimiters.terminator, map.path,
                           headerValues, ctx);
        run.append(header->text);
    }

    ProgressTicker counting(args.displayMode, size);
    counting.at(size);
    run.recordCount = xml ? xmlPrescan.recordCount() : csvCounter.count();

    if (run.debugOn()) {
        run.debugEntry(std::string(xml ? "Total XML Record Count=" : "Total CSV Record Count=") +
                       rightAlign(run.recordCount, 10) + kCrLf);
        run.debugEntry("File Max=" + rightAlign(size, 10) + kCrLf + "Source File =" + job.source +
                       kCrLf);
    }

    ProgressTicker reading(args.displayMode, size);
    if (readable) {
        XmlRecordReader xmlReader(run, CTL48400J(job, 5) && xmlPrescan.lineBlockCount() == 0);
        CsvRecordReader csvReader(run);
        long long position = 0;
        readFileBlocksWhile(
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
    }

    // A refused run gets no trailer: the interchange shows it is incomplete.
    if (run.destinationExists() && !run.refused()) {
        if (!header)
            header = CTL48400E(map.transactionType, map.version, run.crLf,
                               run.delimiters.component, run.delimiters.element,
                               run.delimiters.terminator, map.path, headerValues, ctx);
        run.append(CTL48400F(run.crLf, run.delimiters.component, run.delimiters.element,
                             run.delimiters.terminator, run.state.segmentCount,
                             header->resolved.isa13, header->resolved.gs06,
                             header->resolved.st02));
    }
    run.closeDestination();
    if (args.displayMode == 0) CTL394MTRB(progressHandle);

    result.debugText = std::move(run.debugText);
    result.writeFailed = run.writeFailed;
    result.failedFile = run.failedFile;
    result.refusal = run.refusal;
    return result;
}

}  // namespace brolvin
