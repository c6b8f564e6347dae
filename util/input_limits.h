// Size limits on what a job reads and holds, so that no input, however large
// or malformed, can grow the program's memory without bound. Each limit lies
// far above what real interchanges, documents, maps and tables need; an input
// beyond one stops the job with a run-log line (" - Input Refused : ...").
#pragma once

#include <cstddef>
#include <string>

namespace brolvin {

inline constexpr size_t kMiB = size_t{1} << 20;

// One X12 segment, binary (BIN) segments included.
inline constexpr size_t kMaxSegmentBytes = 64 * kMiB;
// The Values one record holds together. Below the segment limit: a binary
// segment passes through a conversion, but a record does not hold it whole.
inline constexpr size_t kMaxRecordBytes = 32 * kMiB;
// A stored Value at least this long makes the record's Values be summed.
inline constexpr size_t kLargeValueBytes = 1 * kMiB;
// One line of a CSV source.
inline constexpr size_t kMaxCsvLineBytes = 32 * kMiB;
// The text of one element of an XML source, and of its header values together.
inline constexpr size_t kMaxXmlTextBytes = 32 * kMiB;
// One tag of an XML source, from "<" to ">".
inline constexpr size_t kMaxXmlTagBytes = 1 * kMiB;
// A map file or a database map file.
inline constexpr long long kMaxMapFileBytes = 1 * static_cast<long long>(kMiB);
// FIELD=, SEGMENT= and SCREEN= lines of one map file together.
inline constexpr long long kMaxMapTableLines = 20000;
// One function file or lookup table.
inline constexpr long long kMaxFunctionFileBytes = 16 * static_cast<long long>(kMiB);
// All function files and lookup tables one job holds, as parsed.
inline constexpr size_t kMaxFunctionFilesHeld = 64 * kMiB;
// Debug text beyond this size takes no more detail.
inline constexpr size_t kMaxDebugTextBytes = 16 * kMiB;

// The run-log text in front of the reason a job was refused.
inline constexpr const char* kInputRefusedLine = " - Input Refused : ";

// "64 MB" for a limit of 64 MiB: how the refusal lines state a limit.
inline std::string limitText(size_t bytes) { return std::to_string(bytes / kMiB) + " MB"; }

}  // namespace brolvin
