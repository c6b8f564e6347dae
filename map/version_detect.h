// Detecting an interchange's implementation-guide version and the map file
// that fits it.
#pragma once

#include <string>
#include <string_view>

#include "core/isa_reader.h"
#include "util/platform.h"

namespace brolvin {

// What the scan of the first 1001 bytes of a source found.
struct InterchangeScan {
    std::string version;  // GS08 of the first GS segment; "" when none
    std::string st01;     // ST01 of the first ST segment; "" when none
    std::string bht02;    // BHT02 of the first BHT segment; "" when none
    std::string bht06;    // BHT06 of the same segment; "" when none
    bool foundSt = false;
    bool foundBht = false;
    std::string trace;    // detection trace; built only with debug on
};

// CTL48400M: one element of a segment, 1 being the identifier.
// Element `elementNumber` of the segment, where 1 is the segment identifier;
// the text is split at every occurrence of `separator`. "" beyond the last.
std::string segmentElement(std::string_view segment, long long elementNumber, std::string_view separator);

// CTL48400Y: the map file name for an exact version text.
// The map file name for an exact version text ("005010X222A2" -> "837p.cfg");
// "" when the version is not in the table. Case-sensitive.
std::string mapForVersion(const std::string& version);

// Scans offsets 0 to 1000 of the source for GS08 (and ST01 and BHT02) with
// the delimiters of its ISA header. Writes nothing.
// `head`, when given, is the source's start already read: the file is not
// opened again.
InterchangeScan scanInterchange(const std::string& source, const std::string& debugSetting,
                                RunContext& ctx, const SourceHead* head = nullptr);

// The version text of the source; with a non-blank debug setting the
// detection trace is written to "tdebug.log".
std::string CTL48400K(const std::string& source, const std::string& debugSetting, RunContext& ctx);

// The map file name from the first ten characters of GS08 (the guide), with
// ST01 or BHT02 deciding between the two maps of one guide, or from ST01
// alone for the sets with one map when the guide is unknown. "" when nothing
// fits. `reason` (optional) receives the evidence used.
std::string guideMapName(const InterchangeScan& scan, std::string* reason = nullptr);

// The map file name an acknowledgment selects by its transaction set alone:
// ST01 997 or 999, or ST01 277 with BHT06 "TH" (a claim acknowledgment).
// Their GS08 may name the guide of the acknowledged claims. "" otherwise.
std::string acknowledgmentMapName(const InterchangeScan& scan);

// The map file name that a scan's ST01, GS08 and BHT select: an
// acknowledgment's set first, then the version table, then the guide.
// `fallbackReason` (optional) receives the guide's evidence when the guide
// decided.
std::string mapNameForScan(const InterchangeScan& scan, std::string* fallbackReason = nullptr);

// The map file name the interchange selects, as mapNameForScan. With debug on
// the trace, including the guide decision, is
// written to "tdebug.log". `scanOut`, when given, receives what the scan saw.
std::string detectMapName(const std::string& source, const std::string& debugSetting,
                          RunContext& ctx, InterchangeScan* scanOut = nullptr, const SourceHead* head = nullptr);

}  // namespace brolvin
