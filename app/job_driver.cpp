#include "app/job_driver.h"

#include <filesystem>
#include <string_view>

#include "app/options.h"
#include "util/file_io.h"
#include "util/text.h"

namespace brolvin {

namespace {

constexpr const char* kVersion = " 1.25C-31";
constexpr const char* kSubVersion = " 1.20C-28";
constexpr const char* kDefaultRunLog = "parse.log";
constexpr const char* kDebugLog = "debug.log";
const std::string kRule(32, '-');

struct ConversionType {
    std::string_view type;
    std::string_view logLine;
    std::string_view extension;  // replaces the destination extension under "CE"; "" keeps it
    std::string_view notCreatedLine;
    bool converts;  // false: the engine loads its map and runs only its closing steps
};

// Tried in this order against the upper-cased conversion type (begins-with).
constexpr ConversionType kConversionTypes[] = {
    {"XML,X12", " - Parse XML to X12.", "", " - X12 file Not Created ", true},
    {"CSV,X12", " - Parse CSV to X12.", "", " - X12 file Not Created ", true},
    {"X12,CSV", " - Parse X12 to CSV.", "csv", " - CSV Not Created ", true},
    {"X12,XML", " - Parse X12 to XML.", "xml", " - XML Not Created ", true},
    {"XML,HL7", " - Parse XML to HL7.", "", " - HL7 file Not Created ", true},
    {"CSV,HL7", " - Parse CSV to HL7.", "", " - HL7 file Not Created ", true},
    {"HL7,CSV", " - Parse HL7 to CSV.", "csv", " - CSV Not Created ", false},
    {"HL7,XML", " - Parse HL7 to XML.", "xml", " - XML Not Created ", false},
};

// Parsing into database tables: dispatched only when "DBMAP=" names a file.
constexpr ConversionType kDatabaseType{"X12,ODBC", " - Parse X12 to ODBC.", "", " - ODBC Not Created ", true};

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
    h += "   Parser Version Number : " + std::string(kVersion) + kCrLf;
    h += "      Sub Version Number : " + std::string(kSubVersion) + kCrLf;
    h += "       Current Directory : " + p.currentFolder() + kCrLf;
    h += "           Current Drive : " + p.currentDrive() + kCrLf;
    h += "        Compiler version : " + p.compilerVersion() + kCrLf;
    h += "        Operating System : " + p.operatingSystem() + kCrLf;
    h += kRule + kCrLf;
    return h;
}

std::string closingLines(RunContext& ctx) {
    std::string c = kRule + kCrLf;
    c += kCrLf;
    c += "Parse Ended   " + ctx.dateText() + "  " + ctx.timeText() + kCrLf;
    std::string debugLog;
    if (fileExists(kDebugLog) && readWholeFile(kDebugLog, debugLog, true))
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
        if (sourceControl_ != 1) return kExitNotConverted;
        eraseExistingDestination(type);
        if (!prepareOutputName()) return kExitNotConverted;
        int status = dispatch(type);
        line(" ");
        return status;
    }

private:
    void line(const std::string& text) { log_ += ctx_.stampedLine(text); }

    void resolveSource() {
        if (!fileExists(job_.source)) return;
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
    // it. A type that runs no conversion keeps the file, and so does a
    // destination that is the source itself: erasing either would lose data
    // with nothing written in its place.
    void eraseExistingDestination(const ConversionType* type) {
        if (type == nullptr || !settings_.overwriteOn()) return;
        if (!fileExists(requestedDestination_)) return;
        std::error_code ec;
        if (std::filesystem::equivalent(requestedDestination_, job_.source, ec)) return;
        if (deleteFile(requestedDestination_)) line(" -  Erased : " + requestedDestination_);
    }

    // Names the output file; false when the destination already exists.
    bool prepareOutputName() {
        if (fileExists(job_.destination)) {
            line(" - File Exists : " + job_.destination);
            return false;
        }
        std::string part = nameAfterLastSeparator(job_.source, args_.pathSeparator);
        part = CTL48403D(part, job_.conversionType, settings_.extensionMode);
        job_.destination = requestedDestination_ + args_.pathSeparator + part;
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

    int dispatch(const ConversionType* type) {
        if (type == nullptr) return kExitNotConverted;
        line(std::string(type->logLine));
        if (!type->extension.empty())
            job_.currentDestination = CTL48400Q(job_.currentDestination, std::string(type->extension),
                                                settings_.destinationExtensionMode);
        if (!settings_.outputFile.empty()) job_.currentDestination = settings_.outputFile;
        if (!MSGNOYES(job_.currentDestination + " already exists. Overwrite it?", "Overwite File?")) {
            line(std::string(type->notCreatedLine));
            return kExitNotConverted;
        }
        EngineResult result = engine_(engineArgs(), ctx_);
        log_ += result.log;
        if (result.writeFailed) line(" - Write Error : " + result.failedFile);
        if (result.writeFailed || result.mapMissing || result.inputRefused || !type->converts)
            return kExitNotConverted;
        return kExitConverted;
    }

    EngineArgs engineArgs() const {
        EngineArgs a;
        a.runLabel = args_.runLabel;
        a.frontEndContext = args_.frontEndContext;
        a.extraValue = args_.extraValue;
        a.settingsFolder = args_.settingsFolder;
        a.job = job_;
        a.debug = settings_.debug;
        a.mapName = settings_.mapName;
        a.runLogName = settings_.runLogName;
        a.errorFiles = settings_.errorFiles;
        a.mapLog = settings_.mapLog;
        a.displayMode = displayMode_;
        a.mapPath = settings_.mapPath;
        a.renameWithMapName = settings_.renameWithMapName;
        a.pathSeparator = args_.pathSeparator;
        a.requestedDestination = requestedDestination_;
        a.defaultMapPath = settings_.defaultMapPath;
        a.deleteSource = settings_.deleteSource;
        a.segmentCrLf = settings_.segmentCrLf;
        a.merge = settings_.merge;
        a.databaseMapName = settings_.databaseMap;
        return a;
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
};

}  // namespace

DriverResult CTLD48403(const DriverArgs& args, RunContext& ctx, const EngineCall& engine) {
    JobSettings settings;
    if (fileExists(kDebugLog)) deleteFile(kDebugLog);
    DriverResult result;
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
        result.exitStatus = kExitBlankParameter;
    } else {
        job.source = trimRightSpaces(job.source);
        job.destination = trimRightSpaces(job.destination);
        job.currentDestination = job.destination;
        log += splitOptionList(job.options, settings, ctx);
        result.exitStatus = JobRun(args, ctx, engine, job, settings, displayMode, log).run();
    }

    log += closingLines(ctx);
    writeLogFile(settings.runLogName, log);  // an unwritable run log is skipped silently
    return result;
}

JobParams CTLD48401(const std::string&, const std::string&, const std::string&,
                    const std::string&, const JobParams& job) {
    return job;
}

bool LISDIR(const std::string&) { return false; }

std::string CTL48403D(const std::string& name, const std::string& conversionType,
                      int extensionMode) {
    if (extensionMode != 1) return name;
    size_t dot = name.find('.');
    if (dot == std::string::npos) return name;
    std::string extension = conversionType.size() > 4 ? conversionType.substr(4, 3) : "";
    return name.substr(0, dot) + "." + toLower(extension);
}

std::string CTL48400Q(const std::string& name, const std::string& extension, int keepMode) {
    if (keepMode == 1) return name;
    size_t dot = name.rfind('.');
    if (dot == std::string::npos) return name + "." + extension;
    return name.substr(0, dot + 1) + extension;
}

bool MSGNOYES(const std::string&, const std::string&) { return true; }

}  // namespace brolvin
