// Comma-separated records as input for X12 generation: one record per line
// ended by CR, values taken by position into the field table.
#pragma once

#include <string_view>

#include "x12build/generation_run.h"

namespace brolvin {

// Lines ended by CR that hold at least one comma.
long long countCsvRecords(std::string_view data, ProgressTicker& progress);

// Puts each line's values into the field table and completes a record at
// every CR. Values beyond the last field are dropped (noted in the debug text).
void readCsvRecords(std::string_view data, GenerationRun& run, ProgressTicker& progress);

}  // namespace brolvin
