// Entry points of the fuzz targets. Each takes one input, works on files in
// the current folder (which must be a private temporary folder) and returns 0.
// The fuzzer executables and the regression unit test call the same entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brolvin::fuzz {

using Entry = int (*)(const uint8_t* data, size_t size);

// Map loader: the input is the map file.
int mapLoader(const uint8_t* data, size_t size);
// Database map loader: the input is the database map file.
int databaseMap(const uint8_t* data, size_t size);
// Whole X12 conversion with a fixed map: byte 0 picks the options, the rest
// is the source.
int x12FixedMap(const uint8_t* data, size_t size);
// Whole X12 conversion with a fuzzed map: byte 0 picks the options, then the
// map, the divider line and the source.
int x12FuzzedMap(const uint8_t* data, size_t size);
// CSV records to X12: byte 0 picks the options; with its map bit the map
// comes first and the divider line separates it from the records.
int csvInput(const uint8_t* data, size_t size);
// XML documents to X12, the same layout as the CSV target.
int xmlInput(const uint8_t* data, size_t size);
// Function file, lookup table and value, separated by divider lines.
int fieldFunctions(const uint8_t* data, size_t size);
// The job's file names against its source: byte 0 picks the options, byte 1
// the source's name and the conversion type, then up to three names
// (destination, OUTFILE=, PARSELOG=) separated by divider lines; a one-byte
// name picks a name that reaches the source. Aborts when the source did not
// come through whole (unless "DS" deleted it after a job that succeeded) or
// an unfinished output file was left behind.
int jobNames(const uint8_t* data, size_t size);
// dBASE table, NTX index and CDX index readers: the input is the file.
int dbfTable(const uint8_t* data, size_t size);
int ntxIndex(const uint8_t* data, size_t size);
int cdxIndex(const uint8_t* data, size_t size);

// The divider between the parts of an input.
inline constexpr const char* kDivider = "\n#--#\n";

struct NamedEntry {
    const char* name;
    Entry entry;
};
// Every target, by the name of its corpus folder.
const std::vector<NamedEntry>& allEntries();

}  // namespace brolvin::fuzz
