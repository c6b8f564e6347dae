#include "app/job_driver.h"

#include <string_view>
#include <vector>

#include "app/folder_job.h"
#include "app/options.h"
#include "core/version.h"
#include "util/file_identity.h"
#include "util/file_io.h"
#include "util/text.h"

namespace brolvin {

namespace {

constexpr const char* kDefaultRunLog = "parse.log";
constexpr const char* kDebugLog = "debug.log";
constexpr const char* kTraceLog = "tdebug.log";
constexpr const char* kMapLog = "qzmap.log";
const std::string kRule(32, '-');

struct ConversionType {
    std::string_view type;
    std::string_view logLine;
    std::string_view extension;  // replaces the destination extension under "CE"; "" keeps it
    std::string_view notCreatedLine;
    bool converts;  // false: the engine loads its map and runs only its closing steps
    bool merges;    // under "MF" an existing output file is appended to
};

// Tried in this order against the upper-cased conversion type (begins-with).
constexpr ConversionType kConversionTypes[] = {
    {"XML,X12", " - Parse XML to X12.", "", " - X12 file Not Created ", true, false},
    {"CSV,X12", " - Parse CSV to X12.", "", " - X12 file Not Created ", true, false},
    {"X12,CSV", " - Parse X12 to CSV.", "csv", " - CSV Not Created ", true, true},
    {"X12,XML", " - Parse X12 to XML.", "xml", " - XML Not Created ", true, true},
    {"XML,HL7", " - Parse XML to HL7.", "", " - HL7 file Not Created ", true, false},
    {"CSV,HL7", " - Parse CSV to HL7.", "", " - HL7 file Not Created ", true, false},
    {"HL7,CSV", " - Parse HL7 to CSV.", "csv", " - CSV Not Created ", false, false},
    {"HL7,XML", " - Parse HL7 to XML.", "xml", " - XML Not Created ", false, false},
};

// Parsing into database tables: dispatched only when "DBMAP=" names a file.
constexpr ConversionType kDatabaseType{"X12,ODBC", " - Parse X12 to ODBC.", "", " - ODBC Not Created ", true, false};

// The types a user may give, for the outcome of an unknown one: those that
// read X12 first.
std::string knownTypes() {
    std::string list;
    for (bool readsX12 : {true, false})
        for (const ConversionType& t : kConversionTypes)
            if (t.type.starts_with("X12") == readsX12) list += std::string(list.empty() ? "" : ", ") + std::string(t.type);
    return list + ", " + std::string(kDatabaseType.type) + " with DBMAP=";
}

const ConversionType* findConversionType(const std::string& type) {
    std::string upper = toUpper(type);
    for (const ConversionType& t : kConversionTypes)
        if (beginsWith(upper, t.type)) return &t;
    return nullptr;
}

std::string runLogHeader(RunContext& ctx, const DateTime& start) {
    Platform& p = ctx.platform;
    std::string h;
    h += "Drenik Software Brolvin Log" + std::string(kCrLf);
    h += "Brolvin " + std::string(kCrLf);
    h += "Started " + ctx.formatDate(start) + "  " + ctx.formatTime(start) + kCrLf;
    h += kRule + kCrLf;
    h += "   Parser Version Number : " + std::string(VERNUM) + kCrLf;
    h += "      Sub Version Number : " + std::string(SUBVER) + kCrLf;
    h += "       Current Directory : " + p.currentFolder() + kCrLf;
    h += "           Current Drive : " + p.currentDrive() + kCrLf;
    h += "        Compiler version : " + p.compilerVersion() + kCrLf;
    h += "        Operating System : " + p.operatingSystem() + kCrLf;
    h += kRule + kCrLf;
    return h;
}

// A source named like the debug log is no debug log: it is not merged. A
// folder job writes none (its files' debug texts are in their sections), so
// a debug.log there may be one of its sources.
std::string closingLines(RunContext& ctx, const std::string& source) {
    std::string c = kRule + kCrLf;
    c += kCrLf;
    c += "Parse Ended   " + ctx.dateText() + "  " + ctx.timeText() + kCrLf;
    std::string debugLog;
    if (fileExists(kDebugLog) && !folderExists(source) && !sameFile(kDebugLog, source) &&
        readWholeFile(kDebugLog, debugLog, true))
        c += debugLog + kCrLf + kCrLf;
    return c;
}

// A destination that is not an existing file is a file to create unless its
// leftmost "." (ignoring the last character) stands in the last-but-one place.
bool namesFileToCreate(const std::string& destination) {
    size_t dot = 0;  // 1-based position, 0 when there is none
    if (destination.size() > 1) {
        size_t pos = std::string_view(destination).substr(0, destination.size() - 1).find('.');
        if (pos != std::string::npos) dot = pos + 1;
    }
    return destination.size() - dot > 1;
}

// The file-name part of `source` after its last separator character. A
// character counts as a separator when it begins with the separator text, so
// the empty separator makes every character one and the part is empty.
std::string nameAfterLastSeparator(const std::string& source, const std::string& separator) {
    for (size_t i = source.size(); i > 0; --i)
        if (beginsWith(std::string_view(&source[i - 1], 1), separator)) return source.substr(i);
    return source;
}

// The back half of one job, once type, source and settings are known.
class JobRun {
public:
    JobRun(const DriverArgs& args, RunContext& ctx, const EngineCall& engine, JobParams& job,
           const JobSettings& settings, int displayMode, std::string& log)
        : args_(args), ctx_(ctx), engine_(engine), job_(job), settings_(settings),
          displayMode_(displayMode), log_(log) {}

    int run() {
        resolveSource();
        resolveDestination();
        logParameters();
        const ConversionType* type = conversionType();
        if (type == nullptr) reportUnknownType();
        if (sourceControl_ != 1) return kExitNotConverted;
        if (type != nullptr && !namesAvoidSource(*type)) return kExitNotConverted;
        eraseExistingDestination(type);
        if (!prepareOutputName()) return kExitNotConverted;
        int status = dispatch(type);
        line(" ");
        return status;
    }

    long long recordsWritten() const { return recordsWritten_; }
    std::string& sideLog() { return sideLog_; }
    // Maps are taken from `maps`, which keeps those this run loads.
    void shareMaps(MapCache* maps) { maps_ = maps; }
    // The console's line on what the job did.
    std::string outcomeLine(int status) const {
        if (status != kExitConverted)
            return "Error: " + (failure_.failed() ? failure_.reason() : std::string("nothing was converted"));
        return success_;
    }

private:
    void line(const std::string& text) { log_ += ctx_.stampedLine(text); }
    // A run-log line that stops the job, with its reason for the console.
    void stopLine(const std::string& text, const std::string& reason) {
        line(text);
        failure_.note(reason);
    }

    void reportUnknownType() {
        const std::string& type = job_.conversionType;
        line(" - Unknown Conversion Type : " + type);
        if (beginsWith(toUpper(type), kDatabaseType.type))
            failure_.note(type + " needs DBMAP= naming an existing database map file" +
                          (settings_.databaseMap.empty() ? "" : " (not found: " + settings_.databaseMap + ")"));
        else
            failure_.note("unknown conversion type " + type + " (types: " + knownTypes() + ")");
    }

    // The success line: how many records went where, under which map.
    void noteSuccess(const EngineResult& result) {
        const long long n = result.recordsWritten;
        std::string where = result.output.empty() ? "the database tables of " + settings_.databaseMap : result.output;
        success_ = std::to_string(n) + (n == 1 ? " record" : " records") + " written to " + where + " (map " +
                   result.mapFile + ")";
    }

    // The destination named from the source (step 5 of the per-file step).
    std::string derivedDestination() const {
        std::string part = nameAfterLastSeparator(job_.source, args_.pathSeparator);
        part = typeExtensionName(part, job_.conversionType, settings_.extensionMode);
        return requestedDestination_ + args_.pathSeparator + part;
    }

    // The file the engine writes: the destination with its extension
    // replaced under "CE", or the "OUTFILE=" name.
    std::string outputFile(const ConversionType& type, const std::string& destination) const {
        std::string output = destination;
        if (!type.extension.empty())
            output = replaceExtension(output, std::string(type.extension), settings_.destinationExtensionMode);
        if (!settings_.outputFile.empty()) output = settings_.outputFile;
        return output;
    }

    // Every file the job may write or delete, compared with the source by
    // identity before anything is touched. The run log is checked by the
    // driver itself; the "RPMN" name, known only once the map is chosen, by
    // the engine.
    bool namesAvoidSource(const ConversionType& type) {
        std::vector<std::string> names{outputFile(type, derivedDestination())};
        if (settings_.overwriteOn()) names.push_back(requestedDestination_);  // erased under "OW"
        // Side logs count only where they are written (not by folder jobs).
        if (!settings_.debug.empty() && ctx_.sideLogFiles) {
            names.push_back(kDebugLog);
            names.push_back(kTraceLog);
        }
        if (settings_.mapLog == 1 && ctx_.sideLogFiles) names.push_back(kMapLog);
        for (const std::string& name : names) {
            if (!sameFile(name, job_.source)) continue;
            stopLine(kSameFileAsSourceLine + name, name + " is the source file itself; nothing was written");
            return false;
        }
        return true;
    }

    void resolveSource() {
        if (!fileExists(job_.source)) {
            failure_.note((folderExists(job_.source) ? "the source is a folder, not a file: " : "source not found: ") +
                          job_.source);
            return;
        }
        line(" - The source is a file.");
        line(" - Source File : " + job_.source);
        sourceControl_ = 1;
        LISDIR(job_.source);
    }

    void resolveDestination() {
        const std::string& dest = job_.destination;
        if (dest.empty()) return;
        if (fileExists(dest)) {
            line(" - The destination file exists.");
            line(" - File : " + dest);
        } else if (!LISDIR(dest) && namesFileToCreate(dest)) {
            job_.currentDestination = dest;
            line(" - The Destination File to Create.");
            line(" - Destination : " + dest);
        } else {
            line(" - The Destination Folder does Not exist.");
            line(" - Destination : " + dest);
            failure_.note("the destination " + dest + " names a folder that does not exist");
            sourceControl_ = 0;
        }
    }

    void logParameters() {
        line(" - Type Paramter : " + job_.conversionType);
        line(" - Source Parameter : " + job_.source);
        line(" - Destination Parameter : " + job_.destination);
        line(" - Options Paramter : " + job_.options);
        line(" - Destination Control : " + std::to_string(sourceControl_));
        requestedDestination_ = job_.destination;
    }

    // Under "OW" an existing destination is erased so the conversion can write
    // it. A type that runs no conversion keeps the file: erasing it would lose
    // data with nothing written in its place. (A destination that is the
    // source has stopped the job before.)
    void eraseExistingDestination(const ConversionType* type) {
        if (type == nullptr || !settings_.overwriteOn()) return;
        if (!fileExists(requestedDestination_)) return;
        if (deleteFile(requestedDestination_)) line(" -  Erased : " + requestedDestination_);
    }

    // Names the output file; false when the destination already exists.
    bool prepareOutputName() {
        if (fileExists(job_.destination)) {
            stopLine(" - File Exists : " + job_.destination,
                     "destination exists: " + job_.destination + " (OW replaces it)");
            return false;
        }
        job_.destination = derivedDestination();
        job_.currentDestination = job_.destination;
        line(" - Reading File : " + job_.source);
        line(" - Writing File : " + job_.destination);
        return true;
    }

    const ConversionType* conversionType() const {
        const ConversionType* type = findConversionType(job_.conversionType);
        if (type == nullptr && beginsWith(toUpper(job_.conversionType), kDatabaseType.type) &&
            fileExists(settings_.databaseMap))
            return &kDatabaseType;
        return type;
    }

    // An output file that exists already (named by "OUTFILE=" or by "CE")
    // is replaced only under "OW" and appended to only under "MF" by a type
    // that merges; otherwise it is kept and the job stops.
    bool outputMayBeWritten(const ConversionType& type) {
        const std::string& output = job_.currentDestination;
        if (!fileExists(output) || settings_.overwriteOn()) return true;
        if (type.merges && settings_.mergeOn()) return true;
        stopLine(" - File Exists : " + output, "output exists: " + output + " (OW replaces it" +
                                                   (type.merges ? ", MF appends to it)" : ")"));
        return false;
    }

    int dispatch(const ConversionType* type) {
        if (type == nullptr) return kExitNotConverted;
        line(std::string(type->logLine));
        job_.currentDestination = outputFile(*type, job_.currentDestination);
        if (!outputMayBeWritten(*type) ||
            !MSGNOYES(job_.currentDestination + " already exists. Overwrite it?", "Overwite File?")) {
            line(std::string(type->notCreatedLine));
            return kExitNotConverted;
        }
        EngineResult result = engine_(engineArgs(), ctx_);
        log_ += result.log;
        sideLog_ = std::move(result.sideLogText);
        recordsWritten_ = result.recordsWritten;
        if (result.write.failed) line(" - Write Error : " + result.write.file);
        if (result.failedTableWrites > 0)
            line(" - Database Write Errors : " + std::to_string(result.failedTableWrites) +
                 " (rows not written, see the Error lines above)");
        failure_.note(result.failure);
        if (!result.succeeded()) return kExitNotConverted;
        if (!type->converts) {
            failure_.note(job_.conversionType + " converts nothing: there is no HL7 reader or writer");
            return kExitNotConverted;
        }
        noteSuccess(result);
        return kExitConverted;
    }

    EngineArgs engineArgs() const {
        return EngineArgs{args_.runLabel, job_, settings_, displayMode_, args_.pathSeparator, requestedDestination_,
                          maps_};
    }

    const DriverArgs& args_;
    RunContext& ctx_;
    const EngineCall& engine_;
    JobParams& job_;
    const JobSettings& settings_;
    int displayMode_;
    std::string& log_;
    int sourceControl_ = 0;
    std::string requestedDestination_;
    long long recordsWritten_ = 0;
    FirstFailure failure_;
    std::string success_;
    std::string sideLog_;
    MapCache* maps_ = nullptr;
};

}  // namespace

DriverResult CTLD48403(const DriverArgs& args, RunContext& ctx, const EngineCall& engine) {
    JobSettings settings;
    // A stale debug log goes, but never when it is the source itself or may
    // be a file of a source folder.
    const std::string source = trimRightSpaces(args.source);
    if (fileExists(kDebugLog) && !folderExists(source) && !sameFile(kDebugLog, source)) deleteFile(kDebugLog);
    DriverResult result;
    bool runLogIsSource = false;
    std::string& log = result.runLog;
    log = runLogHeader(ctx, ctx.platform.now());

    JobParams job{args.conversionType, args.source, args.destination, args.options,
                  args.destination, ""};
    int displayMode = args.displayMode;
    auto frontEnd = [&] {
        return CTLD48401(args.frontEndContext, args.settingsFolder, args.extraValue,
                         args.pathSeparator, job);
    };
    if (displayMode == 3) {
        job = frontEnd();
        displayMode = 0;
    } else if (isBlank(args.conversionType) || isBlank(args.source)) {
        log += ctx.stampedLine(" - Parameter 1 and 2 are empty. Start User Interface ");
        std::string previous;
        if (fileExists(kDefaultRunLog) && readWholeFile(kDefaultRunLog, previous, true))
            log += kCrLf + previous + kCrLf;
        job = frontEnd();
    }

    if (isBlank(job.conversionType) || isBlank(job.source)) {
        log += ctx.stampedLine(isBlank(job.conversionType) ? " - Parameter 1 empty. "
                                                           : " - Parameter 2 empty.");
        result.outcome = isBlank(job.conversionType) ? "Error: no conversion type given (brolvin --help shows the usage)"
                                                     : "Error: no source file given (brolvin --help shows the usage)";
        result.exitStatus = kExitBlankParameter;
    } else {
        job.source = trimRightSpaces(job.source);
        job.destination = trimRightSpaces(job.destination);
        job.currentDestination = job.destination;
        log += splitOptionList(job.options, settings, ctx);
        if (sameFile(settings.runLogName, job.source)) {
            // The run log cannot be written where the source is: the job
            // stops, and the console is the only place left to say so.
            runLogIsSource = true;
            log += ctx.stampedLine(kSameFileAsSourceLine + settings.runLogName);
            result.outcome = "Error: the run log " + settings.runLogName +
                             " is the source file itself; nothing was written (run log not written)";
            result.exitStatus = kExitNotConverted;
        } else if (folderExists(job.source)) {
            FolderJobResult folder = runFolderJob(args, ctx, engine, job, settings, displayMode, log);
            result.exitStatus = folder.exitStatus;
            result.recordsWritten = folder.recordsWritten;
            result.outcome = folder.outcome;
        } else {
            JobRun jobRun(args, ctx, engine, job, settings, displayMode, log);
            result.exitStatus = jobRun.run();
            result.recordsWritten = jobRun.recordsWritten();
            result.outcome = jobRun.outcomeLine(result.exitStatus);
        }
    }

    log += closingLines(ctx, job.source);
    if (!runLogIsSource) writeLogFile(settings.runLogName, log);  // an unwritable run log is skipped silently
    return result;
}

FileJobResult runFileJob(const DriverArgs& args, RunContext& ctx, const EngineCall& engine, JobParams job,
                         const JobSettings& settings, int displayMode, MapCache* maps) {
    FileJobResult result;
    JobRun jobRun(args, ctx, engine, job, settings, displayMode, result.runLog);
    jobRun.shareMaps(maps);
    result.exitStatus = jobRun.run();
    result.recordsWritten = jobRun.recordsWritten();
    result.outcome = jobRun.outcomeLine(result.exitStatus);
    result.sideLog = std::move(jobRun.sideLog());
    return result;
}

bool knownConversionType(const std::string& type, const JobSettings& settings) {
    return findConversionType(type) != nullptr ||
           (beginsWith(toUpper(type), kDatabaseType.type) && fileExists(settings.databaseMap));
}

JobParams CTLD48401(const std::string&, const std::string&, const std::string&,
                    const std::string&, const JobParams& job) {
    return job;
}

bool LISDIR(const std::string&) { return false; }

std::string typeExtensionName(const std::string& name, const std::string& conversionType,
                              int extensionMode) {
    if (extensionMode != 1) return name;
    size_t dot = name.find('.');
    if (dot == std::string::npos) return name;
    std::string extension = conversionType.size() > 4 ? conversionType.substr(4, 3) : "";
    return name.substr(0, dot) + "." + toLower(extension);
}

std::string replaceExtension(const std::string& name, const std::string& extension, int keepMode) {
    if (keepMode == 1) return name;
    size_t dot = name.rfind('.');
    if (dot == std::string::npos) return name + "." + extension;
    return name.substr(0, dot + 1) + extension;
}

bool MSGNOYES(const std::string&, const std::string&) { return true; }

}  // namespace brolvin
