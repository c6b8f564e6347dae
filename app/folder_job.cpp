#include "app/folder_job.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "util/file_identity.h"
#include "util/file_io.h"
#include "util/os.h"
#include "util/text.h"
#include "util/threads.h"

namespace brolvin {

namespace {

// The platform shared by the workers: one call at a time, so console lines
// and test doubles see whole calls.
class SerialPlatform : public Platform {
public:
    explicit SerialPlatform(Platform& inner) : inner_(inner) {}
    template <class F>
    auto locked(F f) {
        std::lock_guard<std::mutex> hold(mutex_);
        return f();
    }
    DateTime now() override { return locked([&] { return inner_.now(); }); }
    std::string currentFolder() override { return locked([&] { return inner_.currentFolder(); }); }
    std::string currentDrive() override { return locked([&] { return inner_.currentDrive(); }); }
    std::string operatingSystem() override { return locked([&] { return inner_.operatingSystem(); }); }
    std::string compilerVersion() override { return locked([&] { return inner_.compilerVersion(); }); }
    void consoleLine(const std::string& text) override { locked([&] { inner_.consoleLine(text); }); }
    void warningLine(const std::string& text) override { locked([&] { inner_.warningLine(text); }); }
    bool inputIsTerminal() override { return locked([&] { return inner_.inputIsTerminal(); }); }
    void waitForKey() override { locked([&] { inner_.waitForKey(); }); }

private:
    Platform& inner_;
    std::mutex mutex_;
};

// One file's view of the shared platform: its warnings name the file, since
// several files' warnings reach standard error together.
class FilePlatform : public Platform {
public:
    FilePlatform(Platform& shared, const std::string& file) : shared_(shared), prefix_(file + ": ") {}
    DateTime now() override { return shared_.now(); }
    std::string currentFolder() override { return shared_.currentFolder(); }
    std::string currentDrive() override { return shared_.currentDrive(); }
    std::string operatingSystem() override { return shared_.operatingSystem(); }
    std::string compilerVersion() override { return shared_.compilerVersion(); }
    void consoleLine(const std::string& text) override { shared_.consoleLine(text); }
    void warningLine(const std::string& text) override { shared_.warningLine(prefix_ + text); }
    bool inputIsTerminal() override { return shared_.inputIsTerminal(); }
    void waitForKey() override { shared_.waitForKey(); }

private:
    Platform& shared_;
    std::string prefix_;
};

struct FolderFile {
    std::string source;  // folder + "/" + name
    std::string output;  // destination folder + "/" + output name
    std::string sharedWith;  // an earlier file with the same output name
    FileJobResult result;
};

// The regular files of the folder (symbolic links to files included), by
// name in byte order; the job's own run log is left out. A listing that
// fails, at the start or part way, sets `error`: no file may be passed over
// unsaid.
std::vector<std::string> folderFileNames(const std::string& folder, const std::string& runLogName,
                                         std::string& error) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(os::fsPath(folder), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        std::string name = os::utf8Path(it->path().filename());
        if (sameFile(runLogName, inFolder(folder, name))) continue;
        names.push_back(std::move(name));
    }
    if (ec) error = ec.message();
    std::sort(names.begin(), names.end());
    return names;
}

unsigned workerCount(const JobSettings& settings, size_t files) {
    unsigned n = settings.jobs > 0 ? static_cast<unsigned>(settings.jobs) : std::thread::hardware_concurrency();
    // Database tables are shared by every file: one writer at a time.
    if (!settings.databaseMap.empty()) n = 1;
    return static_cast<unsigned>(std::clamp<size_t>(n, 1, std::max<size_t>(files, 1)));
}

class FolderRun {
public:
    FolderRun(const DriverArgs& args, RunContext& ctx, const EngineCall& engine, const JobParams& job,
              const JobSettings& settings, int displayMode, std::string& log)
        : args_(args), ctx_(ctx), engine_(engine), job_(job), settings_(settings), displayMode_(displayMode),
          log_(log) {}

    FolderJobResult run() {
        line(" - The source is a folder.");
        line(" - Source Folder : " + job_.source);
        std::string listError;
        const std::vector<std::string> names = folderFileNames(job_.source, settings_.runLogName, listError);
        // No destination folder is made for a job that will convert nothing.
        const bool convertible = knownConversionType(job_.conversionType, settings_) &&
                                 settings_.outputFile.empty() && listError.empty();
        bool ready = destinationReady(!names.empty() && convertible);
        line(" - Type Paramter : " + job_.conversionType);
        line(" - Source Parameter : " + job_.source);
        line(" - Destination Parameter : " + job_.destination);
        line(" - Options Paramter : " + job_.options);
        line(" - Destination Control : " + std::string(ready ? "2" : "0"));
        if (!listError.empty()) {
            line(" - Source Folder Read Error : " + job_.source + " : " + listError);
            return failed("the source folder " + job_.source + " could not be read: " + listError);
        }
        if (!ready) return failed();
        if (!knownConversionType(job_.conversionType, settings_)) {
            line(" - Unknown Conversion Type : " + job_.conversionType);
            return failed("unknown conversion type " + job_.conversionType);
        }
        if (!settings_.outputFile.empty()) {
            line(" - OutFile Not Used With A Source Folder : " + settings_.outputFile);
            return failed("OUTFILE= names one file; a folder source writes one output per file");
        }
        listFiles(names);
        line(" - Folder Files : " + std::to_string(files_.size()));
        if (files_.empty()) return failed("the source folder " + job_.source + " holds no files");
        convertAll();
        return summary();
    }

private:
    void line(const std::string& text) { log_ += ctx_.stampedLine(text); }

    FolderJobResult failed(const std::string& reason = "") {
        line(" ");
        FolderJobResult r;
        r.outcome = "Error: " + (reason.empty() ? reason_ : reason);
        return r;
    }

    // The destination must be a folder; a missing one is created.
    bool destinationReady(bool create) {
        const std::string& dest = job_.destination;
        if (dest.empty()) {
            line(" - The Destination Folder is not given.");
            reason_ = "a source folder needs a destination folder";
            return false;
        }
        if (folderExists(dest)) {
            line(" - The Destination Folder exists.");
        } else if (fileExists(dest)) {
            line(" - The destination is a file, not a folder.");
            reason_ = "the destination " + dest + " is a file; a source folder needs a destination folder";
            return false;
        } else if (!create) {
            line(" - The Destination Folder does Not exist.");
        } else {
            std::error_code ec;
            std::filesystem::create_directories(os::fsPath(dest), ec);
            if (ec || !folderExists(dest)) {
                line(" - The Destination Folder could not be created.");
                reason_ = "the destination folder " + dest + " could not be created: " + ec.message();
                return false;
            }
            line(" - The Destination Folder Created.");
        }
        line(" - Destination : " + dest);
        return true;
    }

    void listFiles(const std::vector<std::string>& names) {
        std::map<std::string, std::string> outputs;  // output name -> first source with it
        for (const std::string& name : names) {
            FolderFile f;
            f.source = inFolder(job_.source, name);
            std::string outputName = folderOutputName(name, job_.conversionType, settings_);
            f.output = inFolder(job_.destination, outputName);
            auto [it, fresh] = outputs.emplace(outputName, f.source);
            if (!fresh) f.sharedWith = it->second;
            files_.push_back(std::move(f));
        }
    }

    // One file's part: the single-file job with the output name as its
    // destination, in a context of its own that keeps side logs in memory.
    void convert(FolderFile& f, Platform& shared) {
        FilePlatform platform(shared, f.source);
        RunContext fileCtx(platform);
        fileCtx.sideLogFiles = false;
        if (!f.sharedWith.empty()) {
            f.result.runLog = fileCtx.stampedLine(" - Output Name Taken By : " + f.sharedWith);
            f.result.outcome = "Error: its output name " + f.output + " is that of " + f.sharedWith;
            return;
        }
        JobParams fileJob = job_;
        fileJob.source = f.source;
        fileJob.destination = f.output;
        fileJob.currentDestination = f.output;
        f.result = runFileJob(args_, fileCtx, engine_, fileJob, settings_, displayMode_, &maps_);
    }

    void convertAll() {
        SerialPlatform platform(ctx_.platform);
        std::atomic<size_t> next{0};
        auto worker = [&] {
            for (size_t i = next++; i < files_.size(); i = next++) convert(files_[i], platform);
        };
        unsigned n = workerCount(settings_, files_.size());
        std::vector<std::thread> threads;
        for (unsigned i = 1; i < n; ++i) {
            std::thread thread;
            if (!startThread(thread, worker)) break;  // no more threads: the files go to those there are
            threads.push_back(std::move(thread));
        }
        worker();
        for (std::thread& t : threads) t.join();
    }

    FolderJobResult summary() {
        FolderJobResult r;
        size_t converted = 0;
        std::string firstFailure;
        for (size_t i = 0; i < files_.size(); ++i) {
            FolderFile& f = files_[i];
            line(" - Folder File " + std::to_string(i + 1) + " of " + std::to_string(files_.size()) + " : " +
                 f.source);
            log_ += f.result.runLog;
            if (!f.result.sideLog.empty()) log_ += f.result.sideLog + kCrLf + kCrLf;
            r.recordsWritten += f.result.recordsWritten;
            if (f.result.exitStatus == kExitConverted) {
                ++converted;
            } else if (firstFailure.empty()) {
                std::string why = f.result.outcome;
                if (beginsWith(why, "Error: ")) why.erase(0, 7);
                firstFailure = f.source + ": " + why;
            }
        }
        const size_t failedFiles = files_.size() - converted;
        line(" - Folder Files Converted : " + std::to_string(converted) + ", Failed : " +
             std::to_string(failedFiles) + ", Records : " + std::to_string(r.recordsWritten));
        line(" ");
        std::string counts = std::to_string(converted) + (converted == 1 ? " file" : " files") + " converted, " +
                             std::to_string(r.recordsWritten) + (r.recordsWritten == 1 ? " record" : " records") +
                             " written to " + job_.destination;
        if (failedFiles == 0) {
            r.exitStatus = kExitConverted;
            r.outcome = counts;
        } else {
            r.exitStatus = kExitNotConverted;
            r.outcome = "Error: " + std::to_string(failedFiles) + " of " + std::to_string(files_.size()) +
                        " files failed (first: " + firstFailure + "); " + counts;
        }
        return r;
    }

    const DriverArgs& args_;
    RunContext& ctx_;
    const EngineCall& engine_;
    const JobParams& job_;
    const JobSettings& settings_;
    int displayMode_;
    std::string& log_;
    std::string reason_;
    std::vector<FolderFile> files_;
    MapCache maps_;  // each map file is loaded once for the whole folder
};

}  // namespace

std::string folderOutputName(const std::string& fileName, const std::string& conversionType,
                             const JobSettings& settings) {
    const std::string type = toUpper(conversionType);
    std::string extension;
    if (beginsWith(type, "X12,CSV") || beginsWith(type, "HL7,CSV")) {
        extension = "csv";
    } else if (beginsWith(type, "X12,XML") || beginsWith(type, "HL7,XML")) {
        extension = "xml";
    } else if (beginsWith(type, "CSV,") || beginsWith(type, "XML,")) {
        extension = "x12";  // XML,HL7 and CSV,HL7 build X12 as well
    }
    if (extension.empty() || settings.extensionMode == 0) return fileName;
    size_t dot = fileName.rfind('.');
    // A leading dot starts a hidden name, not an extension.
    if (dot == std::string::npos || dot == 0) return fileName + "." + extension;
    return fileName.substr(0, dot + 1) + extension;
}

FolderJobResult runFolderJob(const DriverArgs& args, RunContext& ctx, const EngineCall& engine, const JobParams& job,
                             const JobSettings& settings, int displayMode, std::string& log) {
    FolderRun run(args, ctx, engine, job, settings, displayMode, log);
    return run.run();
}

}  // namespace brolvin
