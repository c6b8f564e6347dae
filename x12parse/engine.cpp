#include "x12parse/engine.h"

#include <optional>

#include "dbexport/db_map.h"
#include "map/map_choice.h"
#include "map/map_loader.h"
#include "map/service_line_expansion.h"
#include "map/shipped_maps.h"
#include "util/file_io.h"
#include "util/input_limits.h"
#include "util/text.h"
#include "x12build/generation_mode.h"
#include "x12parse/debug_log.h"
#include "x12parse/x12_conversion.h"

namespace brolvin {

namespace {

const char* const kDebugStart = "Start Debug Log ------------------------";
const char* const kDebugEnd = "End Debug Log ------------------------";

std::string fileNamePart(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderPart(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The rename prefix: the map name (the map prefix without its "_") without
// folder and ".cfg", then "_".
std::string renamePrefix(const std::string& mapPrefix) {
    if (mapPrefix.empty()) return "";
    std::string name(baseName(std::string_view(mapPrefix).substr(0, mapPrefix.size() - 1)));
    if (endsWithCfg(name)) name.resize(name.size() - 4);
    return name.empty() ? "" : name + "_";
}

class EngineCall {
public:
    EngineCall(const EngineArgs& args, RunContext& ctx)
        : args_(args), ctx_(ctx), debug_(!args.debug.empty()), job_(args.job) {}

    EngineResult run();

private:
    void writeDebugLog();
    void renameAfterMap(const std::string& mapPrefix);
    void deleteSource();
    // Stops the job on an input beyond its size limit.
    void refuse(const std::string& reason) {
        result_.log += ctx_.stampedLine(kInputRefusedLine + reason);
        result_.inputRefused = true;
    }
    void noteFailure(bool failed, const std::string& file) {
        if (failed && !result_.writeFailed) {
            result_.writeFailed = true;
            result_.failedFile = file;
        }
    }

    const EngineArgs& args_;
    RunContext& ctx_;
    DebugLog debug_;
    const JobParams& job_;
    EngineResult result_;
};

void EngineCall::writeDebugLog() {
    if (!debug_.on()) return;
    debug_.closingLine(kDebugEnd);
    writeLogFile("debug.log", debug_.text());
}

void EngineCall::renameAfterMap(const std::string& mapPrefix) {
    const std::string& destination = job_.currentDestination;
    if (args_.renameWithMapName != 1 || !fileExists(destination)) return;
    std::string prefix = renamePrefix(mapPrefix);
    // Without a prefix the new path would be the destination itself, and
    // copying then deleting would lose the output.
    if (prefix.empty()) return;
    std::string renamed = folderPart(destination) + prefix + fileNamePart(destination);
    result_.log += ctx_.stampedLine(" - RPMN : " + renamed);
    if (copyFile(destination, renamed)) deleteFile(destination);
}

void EngineCall::deleteSource() {
    if (args_.deleteSource != 1) return;
    // A source whose output could not be written, or that was refused, is
    // kept: deleting it would lose the data.
    if (result_.writeFailed || result_.inputRefused) {
        result_.log += ctx_.stampedLine(" - Source File Kept : " + job_.source);
        return;
    }
    deleteFile(job_.source);
}

EngineResult EngineCall::run() {
    const DateTime start = ctx_.platform.now();
    if (fileSize(args_.databaseMapName) > kMaxMapFileBytes) {
        refuse("database map file " + args_.databaseMapName + " is larger than " + limitText(kMaxMapFileBytes));
        return result_;
    }
    std::optional<DbMapTable> databaseMap = CTLD48400AD(args_.databaseMapName);

    result_.log += ctx_.stampedLine(" - Debug set to " + args_.debug);
    if (debug_.on()) {
        debug_.line("");
        debug_.line("");
        debug_.line(kDebugStart);
    }

    MapChoiceRequest choiceRequest;
    choiceRequest.mapName = args_.mapName;
    choiceRequest.source = job_.source;
    choiceRequest.debug = args_.debug;
    choiceRequest.mapFolder = args_.mapPath;
    choiceRequest.pathSeparator = args_.pathSeparator;
    choiceRequest.defaultMapPath = args_.defaultMapPath;
    choiceRequest.databaseMapName = args_.databaseMapName;
    choiceRequest.databaseMap = databaseMap ? &*databaseMap : nullptr;
    MapChoice choice = chooseMap(choiceRequest, ctx_);
    result_.log += choice.runLog;
    debug_.raw(choice.debugText);

    MapLoadResult loaded = loadMap(choice.pathToLoad, args_.mapLog == 1, args_.runLabel, start, ctx_);
    result_.log += loaded.runLog;
    if (!loaded.map.hasFieldTable) {
        result_.mapMissing = true;
        result_.inputRefused = loaded.refused;
        writeDebugLog();
        return result_;
    }
    LoadedMap& map = loaded.map;

    const std::string type = toUpper(job_.conversionType.substr(0, 3));
    long long maxServiceLines = 0;
    if (type == "X12") {
        X12Preparation prepared = prepareX12Source(job_, map, ctx_.platform);
        if (!prepared.refusal.empty()) {
            refuse(prepared.refusal);
            writeDebugLog();
            return result_;
        }
        std::string limit = serviceLineLimitNote(prepared.lineCount, prepared.linesMade);
        if (!limit.empty()) result_.log += ctx_.stampedLine(limit);
        X12ConversionRequest request;
        request.job = &job_;
        request.pathSeparator = args_.pathSeparator;
        request.merge = args_.merge;
        request.databaseMap = databaseMap ? &*databaseMap : nullptr;
        X12ConversionResult converted = runX12Conversion(request, map, debug_, ctx_);
        result_.log += converted.runLog;
        maxServiceLines = converted.maxServiceLineCount;
        noteFailure(converted.writeFailed, converted.failedFile);
        if (!converted.refusal.empty()) refuse(converted.refusal);
    } else if (type == "CSV" || type == "XML") {
        GenerationResult generated = runGenerationMode(args_, map, ctx_, debug_.counterRef());
        debug_.raw(generated.debugText);
        result_.log += generated.runLog;
        noteFailure(generated.writeFailed, generated.failedFile);
        if (!generated.refusal.empty()) refuse(generated.refusal);
    }

    renameAfterMap(choice.mapPrefix);
    deleteSource();
    writeDebugLog();
    result_.log += ctx_.stampedLine(" - Maximum Service Line Count : " + rightAlign(maxServiceLines, 10));
    return result_;
}

}  // namespace

EngineResult CTL48400A(const EngineArgs& args, RunContext& ctx) {
    EngineCall call(args, ctx);
    return call.run();
}

}  // namespace brolvin
