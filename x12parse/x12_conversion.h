// Conversion of an X12 source into XML or CSV records: preparation of the
// source, the destination's opening and closing lines, and the segment loop.
#pragma once

#include <string>

#include "core/job_outcome.h"
#include "core/job_params.h"
#include "dbexport/db_map.h"
#include "core/field_table.h"
#include "util/platform.h"
#include "core/debug_log.h"
#include "core/isa_reader.h"

namespace brolvin {

// CTL48400AA: the most service lines one claim of the source holds.
// The largest number of Key Line Field segments in one claim of the source.
// Reading stops at a segment longer than kMaxSegmentBytes; `overlongSegment`,
// when given, receives its number (0 when there is none).
long long maxServiceLinesPerClaim(const std::string& source, char terminator, char elementSeparator,
                                  const KeyList& keyField, const KeyList& keyLine, Platform& platform,
                                  long long* overlongSegment = nullptr);

struct X12Preparation {
    Delimiters delimiters;
    long long lineCount = 0;  // the source's line count, with "ML"
    long long linesMade = 0;  // the lines the expansion made of it
    std::string refusal;      // why the source cannot be converted, or ""
};

// Reads the source's delimiters (defaults when the source is missing; taken
// from `head` when given) and, with "ML", expands the service-line block of
// the map to the source's line count.
X12Preparation prepareX12Source(const JobParams& job, LoadedMap& map, Platform& platform,
                                const SourceHead* head = nullptr);

struct X12ConversionRequest {
    const JobParams* job = nullptr;
    std::string pathSeparator;
    std::string merge;  // the "MF" word or ""
    bool replaceExisting = false;  // "OW": a new destination may replace a file of its name
    const DbMapTable* databaseMap = nullptr;
    // The source's delimiters as prepareX12Source read them; null: the run
    // reads them itself.
    const Delimiters* delimiters = nullptr;
};

struct X12ConversionResult {
    std::string runLog;
    long long maxServiceLineCount = 0;
    WriteOutcome write;
    long long failedTableWrites = 0;  // X12,ODBC: rows that did not reach their table
    long long recordsWritten = 0;  // records written to the destination or the database
    bool noRecords = false;        // the source held transaction sets, yet no record was written
    bool readFailed = false;       // the source could not be read to its end
    bool outputInPlace = false;    // the XML or CSV destination is complete under its own name
    // Why the conversion stopped on its input (a segment or a record beyond
    // its size limit, a function file or table refused), or "".
    std::string refusal;
    FirstFailure failure;  // the first failure other than a refusal, in words
};

X12ConversionResult runX12Conversion(const X12ConversionRequest& request, LoadedMap& map, DebugLog& debug,
                                     RunContext& ctx);

}  // namespace brolvin
