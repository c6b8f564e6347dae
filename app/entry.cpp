#include "app/entry.h"

#include "app/job_driver.h"
#include "app/usage.h"

namespace brolvin {

namespace {

// An absent source or destination is 255 spaces, which the driver reads as blank.
const std::string kAbsentPath(255, ' ');

// Echoes a given parameter and returns it; an absent one yields `absent`.
std::string takeParameter(const std::vector<std::string>& params, size_t index,
                          const std::string& absent, Platform& platform) {
    if (index >= params.size()) return absent;
    platform.consoleLine(" Parm " + std::to_string(index + 1) + " : " + params[index]);
    return params[index];
}

}  // namespace

int MAIN(const std::vector<std::string>& params, Platform& platform) {
    // Usage and version requests print their text and end before any job
    // starts, so no log is read, written or deleted.
    SelfRequest request = selfRequest(params);
    if (request != SelfRequest::kNone) {
        for (const std::string& line : request == SelfRequest::kUsage ? usageLines() : versionLines())
            platform.consoleLine(line);
        return 0;
    }

    for (const std::string& line : versionLines()) platform.consoleLine(line);
    platform.consoleLine("Brolvin Core Start");

    DriverArgs args;
    bool waitForKey = params.empty();
    if (!params.empty()) {
        args.conversionType = takeParameter(params, 0, "", platform);
        if (params.size() == 1) {
            // A lone parameter is the extra value; no conversion is asked for.
            args.extraValue = args.conversionType;
            args.conversionType = "";
        }
    }
    args.source = takeParameter(params, 1, kAbsentPath, platform);
    args.destination = takeParameter(params, 2, kAbsentPath, platform);
    args.options = takeParameter(params, 3, "", platform);
    if (params.size() > 4) args.extraValue = params[4];
    if (params.size() > 5) args.settingsFolder = params[5];
    args.pathSeparator = "";
    args.displayMode = 0;

    RunContext ctx(platform);
    DriverResult result = CTLD48403(args, ctx);

    platform.consoleLine(result.outcome);
    platform.consoleLine("Brolvin Core Complete");
    // Only someone at a terminal can press a key; scripts and pipes never wait.
    if (waitForKey && platform.inputIsTerminal()) {
        platform.consoleLine("Any key to Continue");
        platform.consoleLine("");
        platform.waitForKey();
    }
    return result.exitStatus;
}

}  // namespace brolvin
