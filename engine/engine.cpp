#include "engine/engine.h"

#include <unistd.h>

#include <algorithm>
#include <optional>

#include "core/debug_log.h"
#include "core/isa_reader.h"
#include "dbexport/db_map.h"
#include "map/map_choice.h"
#include "map/map_loader.h"
#include "map/service_line_expansion.h"
#include "map/shipped_maps.h"
#include "util/file_handle.h"
#include "util/file_identity.h"
#include "util/file_io.h"
#include "util/os.h"
#include "util/staged_output.h"
#include "util/input_limits.h"
#include "util/text.h"
#include "x12build/generation_mode.h"
#include "x12parse/x12_conversion.h"

namespace brolvin {

namespace {

const char* const kDebugStart = "Start Debug Log ------------------------";
const char* const kDebugEnd = "End Debug Log ------------------------";

std::string fileNamePart(const std::string& path) {
    size_t slash = path.find_last_of(os::kFolderSeparators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderPart(const std::string& path) {
    size_t slash = path.find_last_of(os::kFolderSeparators);
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

// Whether the text begins like UTF-16 text: a byte-order mark of either
// order, or a zero byte beside each of its first two characters.
bool beginsLikeUtf16(std::string_view start) {
    const size_t got = std::min<size_t>(start.size(), 4);
    auto b = [&](size_t i) { return static_cast<unsigned char>(start[i]); };
    if (got < 2) return false;
    if ((b(0) == 0xFF && b(1) == 0xFE) || (b(0) == 0xFE && b(1) == 0xFF)) return true;
    return got == 4 && ((b(0) != 0 && b(1) == 0 && b(2) != 0 && b(3) == 0) ||
                        (b(0) == 0 && b(1) != 0 && b(2) == 0 && b(3) != 0));
}

// The same for the start of a file; false when it cannot be read.
bool isUtf16Text(const std::string& path) {
    char b[4] = {};
    FileHandle file(path, O_RDONLY);
    if (!file.valid()) return false;
    const ssize_t got = ::read(file.fd(), b, sizeof b);
    return got > 0 && beginsLikeUtf16(std::string_view(b, static_cast<size_t>(got)));
}

class EngineCall {
public:
    EngineCall(const EngineArgs& args, RunContext& ctx)
        : args_(args), settings_(args.settings), ctx_(ctx), debug_(!args.settings.debug.empty()), job_(args.job),
          overwrite_(hasOption(args.job, OptionCode::Overwrite)) {}

    EngineResult run();

private:
    void line(const std::string& text) { result_.log += ctx_.stampedLine(text); }
    void writeDebugLog();
    std::string renamedOutput(const std::string& mapPrefix) const;
    bool renameTargetFree(const std::string& renamed);
    void renameAfterMap(const std::string& renamed);
    void deleteSource(bool converted);
    // Stops the job on an input beyond its size limit.
    void refuse(const std::string& reason) {
        line(kInputRefusedLine + reason);
        result_.inputRefused = true;
        result_.failure.note("input refused: " + reason);
    }
    void noteWrite(bool ok, const std::string& file) {
        if (!ok && !result_.write.failed) result_.failure.note("could not write " + file);
        result_.write.note(ok, file);
    }

    const EngineArgs& args_;
    const JobSettings& settings_;
    RunContext& ctx_;
    DebugLog debug_;
    const JobParams& job_;
    const bool overwrite_;  // "OW": outputs may replace existing files
    EngineResult result_;
};

void EngineCall::writeDebugLog() {
    if (!debug_.on()) return;
    debug_.closingLine(kDebugEnd);
    if (ctx_.sideLogFiles)
        writeLogFile("debug.log", debug_.text());
    else
        result_.sideLogText.insert(0, debug_.text());
}

// The name "RPMN" gives the output: the map name put before its file name.
// "" when nothing is to be renamed; without a prefix the new name would be
// the output's own.
std::string EngineCall::renamedOutput(const std::string& mapPrefix) const {
    const std::string& destination = job_.currentDestination;
    std::string prefix = renamePrefix(mapPrefix);
    if (settings_.renameWithMapName != 1 || prefix.empty() || destination.empty()) return "";
    return folderPart(destination) + prefix + fileNamePart(destination);
}

// The rename target is checked before anything is written: it must not be
// the source, and an existing file is replaced only under "OW".
bool EngineCall::renameTargetFree(const std::string& renamed) {
    if (renamed.empty()) return true;
    if (sameFile(renamed, job_.source)) {
        line(kSameFileAsSourceLine + renamed);
        result_.failure.note("the RPMN name " + renamed + " is the source file itself; nothing was written");
    } else if (fileExists(renamed) && !overwrite_) {
        line(" - File Exists : " + renamed);
        result_.failure.note("the RPMN name " + renamed + " exists (OW replaces it)");
    } else {
        return true;
    }
    result_.stopped = true;
    return false;
}

void EngineCall::renameAfterMap(const std::string& renamed) {
    line(" - RPMN : " + renamed);
    Published moved = moveFile(job_.currentDestination, renamed, overwrite_);
    if (moved == Published::kExists) {
        line(" - File Exists : " + renamed);
        result_.failure.note("the RPMN name " + renamed + " exists (OW replaces it)");
    }
    noteWrite(moved == Published::kDone, renamed);
    if (moved == Published::kDone) result_.output = renamed;
}

// The source goes only after a job that converted; otherwise it is kept and
// the run log says so.
void EngineCall::deleteSource(bool converted) {
    if (settings_.deleteSource != 1) return;
    if (!converted) {
        line(" - Source File Kept : " + job_.source);
    } else if (deleteFile(job_.source)) {
        line(" - Source File Deleted : " + job_.source);
    } else {
        line(" - Source File Not Deleted : " + job_.source);
        result_.deleteFailed = true;
        result_.failure.note("the source " + job_.source + " could not be deleted (DS)");
    }
}

EngineResult EngineCall::run() {
    const DateTime start = ctx_.platform.now();
    if (fileSize(settings_.databaseMap) > kMaxMapFileBytes) {
        refuse("database map file " + settings_.databaseMap + " is larger than " + limitText(kMaxMapFileBytes));
        return result_;
    }
    std::optional<DbMapTable> databaseMap = loadDatabaseMap(settings_.databaseMap);

    line(" - Debug set to " + settings_.debug);
    if (debug_.on()) {
        debug_.line("");
        debug_.line("");
        debug_.line(kDebugStart);
    }

    // A source in UTF-16 has a zero byte beside every character: no reader
    // of this program can take it.
    const std::string type = toUpper(job_.conversionType.substr(0, 3));
    // An X12 source's start and delimiters are read once for the checks, the
    // detection and the conversion.
    const std::optional<SourceHead> head = type == "X12" ? readSourceHead(job_.source, beginsLikeUtf16) : std::nullopt;
    if ((type == "X12" || type == "CSV" || type == "XML") &&
        (head ? beginsLikeUtf16(head->start) : isUtf16Text(job_.source))) {
        line(" - The source is UTF-16 text, which cannot be read; save it as UTF-8 or ASCII : " + job_.source);
        result_.failure.note("the source " + job_.source +
                             " is UTF-16 text, which cannot be read; save it as UTF-8 or ASCII");
        result_.stopped = true;
        writeDebugLog();
        return result_;
    }

    MapChoiceRequest choiceRequest;
    choiceRequest.mapName = settings_.mapName;
    choiceRequest.source = job_.source;
    choiceRequest.debug = settings_.debug;
    choiceRequest.mapFolder = settings_.mapPath;
    choiceRequest.pathSeparator = args_.pathSeparator;
    choiceRequest.defaultMapPath = settings_.defaultMapPath;
    choiceRequest.databaseMapName = settings_.databaseMap;
    choiceRequest.databaseMap = databaseMap ? &*databaseMap : nullptr;
    choiceRequest.sourceHead = head ? &*head : nullptr;
    MapChoice choice = chooseMap(choiceRequest, ctx_);
    result_.log += choice.runLog;
    debug_.raw(choice.debugText);

    MapLoadResult loaded =
        args_.maps ? loadMapCached(*args_.maps, choice.pathToLoad, settings_.mapLog == 1, args_.runLabel, start, ctx_)
                   : loadMap(choice.pathToLoad, settings_.mapLog == 1, args_.runLabel, start, ctx_);
    result_.log += loaded.runLog;
    if (settings_.mapLog == 1 && !ctx_.sideLogFiles) result_.sideLogText += loaded.mapLogText;
    if (!loaded.map.hasFieldTable) {
        result_.mapMissing = true;
        result_.inputRefused = loaded.refused;
        result_.failure.note(loaded.refused ? "input refused: " + loaded.refusal : noMapReason(choice, type));
        writeDebugLog();
        return result_;
    }
    LoadedMap& map = loaded.map;
    result_.mapFile = std::string(baseName(map.path));

    const bool x12 = type == "X12";
    const bool generation = type == "CSV" || type == "XML";
    // Types that write an output file, which "RPMN" may rename.
    const bool writesFile = generation || (x12 && (beginsWithNoCase(job_.conversionType, "X12,XML") ||
                                                   beginsWithNoCase(job_.conversionType, "X12,CSV")));
    if (writesFile) result_.output = job_.currentDestination;
    const std::string renamed = writesFile ? renamedOutput(choice.mapPrefix) : "";
    if (!renameTargetFree(renamed)) {
        writeDebugLog();
        return result_;
    }

    long long maxServiceLines = 0;
    bool outputInPlace = false;
    if (x12) {
        X12Preparation prepared = prepareX12Source(job_, map, ctx_.platform, head ? &*head : nullptr);
        if (!prepared.refusal.empty()) {
            refuse(prepared.refusal);
            writeDebugLog();
            return result_;
        }
        std::string limit = serviceLineLimitNote(prepared.lineCount, prepared.linesMade);
        if (!limit.empty()) line(limit);
        X12ConversionRequest request;
        request.job = &job_;
        request.pathSeparator = args_.pathSeparator;
        request.merge = settings_.merge;
        request.replaceExisting = overwrite_;
        request.databaseMap = databaseMap ? &*databaseMap : nullptr;
        // Read once when the source opened; otherwise each reader says why
        // it could not, as it always has.
        request.delimiters = head ? &prepared.delimiters : nullptr;
        X12ConversionResult converted = runX12Conversion(request, map, debug_, ctx_);
        result_.log += converted.runLog;
        result_.failure.note(converted.failure);
        maxServiceLines = converted.maxServiceLineCount;
        noteWrite(!converted.write.failed, converted.write.file);
        result_.failedTableWrites = converted.failedTableWrites;
        if (converted.failedTableWrites > 0)
            result_.failure.note(std::to_string(converted.failedTableWrites) +
                                 " row(s) did not reach their database table (see the run log)");
        result_.recordsWritten = converted.recordsWritten;
        result_.noRecords = converted.noRecords;
        result_.readFailed = converted.readFailed;
        outputInPlace = converted.outputInPlace;
        if (!converted.refusal.empty()) refuse(converted.refusal);
    } else if (generation) {
        GenerationResult generated = runGenerationMode(args_, map, ctx_, debug_);
        result_.log += generated.runLog;
        result_.failure.note(generated.failure);
        noteWrite(!generated.write.failed, generated.write.file);
        result_.recordsWritten = generated.recordsWritten;
        result_.readFailed = generated.readFailed;
        outputInPlace = generated.outputInPlace;
        if (generated.stopped) result_.stopped = true;
        if (!generated.refusal.empty()) refuse(generated.refusal);
    }

    // Only a finished output of this job is renamed.
    if (!renamed.empty() && outputInPlace && !result_.write.failed) renameAfterMap(renamed);
    const bool converted = (x12 || generation) && (outputInPlace || !writesFile) && result_.recordsWritten > 0;
    deleteSource(converted && result_.succeeded());
    writeDebugLog();
    line(" - Maximum Service Line Count : " + rightAlign(maxServiceLines, 10));
    return result_;
}

}  // namespace

EngineResult convertFile(const EngineArgs& args, RunContext& ctx) {
    EngineCall call(args, ctx);
    return call.run();
}

}  // namespace brolvin
