// XML documents as input for X12 generation: one CLAIM element per record,
// an optional BATCH block of envelope values, LINELEVEL blocks of service
// lines.
#pragma once

#include <string>
#include <string_view>

#include "x12build/envelope.h"
#include "x12build/generation_run.h"

namespace brolvin {

// Opening tags named exactly "CLAIM".
long long countXmlRecords(std::string_view data, ProgressTicker& progress);

// Reads the records from the second byte on: each field element's text goes
// to the field of that name, each "</CLAIM>" completes a record.
// With `perLineRecords` (the "ML" option on a document without LINELEVEL
// blocks, such as the program's own service-line XML, one CLAIM per line), a
// non-blank element named after a later line's field ('CHARGE2') that the map
// does not have is read into that field's line-1 form ('CHARGE1'), so each
// line record keeps its line's data.
void readXmlRecords(std::string_view data, GenerationRun& run, ProgressTicker& progress,
                    bool perLineRecords = false);

// One header value of the XML source for an envelope selector; selector 0
// gives "X" when a BATCH tag exists. "" when no tag carries it.
std::string CTL48400AK(const std::string& sourceFile, int selector);
std::string xmlHeaderValue(std::string_view data, int selector);

// The text from `position` up to the next "<" or the end of the data.
std::string CTL48400AL(std::string_view data, size_t position);

// The largest number of service lines in one LINELEVEL block; 0 without
// blocks.
long long CTLD48400AG(const std::string& sourceFile);
long long xmlLineBlockCount(std::string_view data);

// The envelope values of a BATCH block, in one pass, cut and padded to the
// widths of the fixed-width ISA elements.
EnvelopeValues xmlHeaderValues(std::string_view data);

// Decodes the predefined entities and numeric character references; an "&"
// that starts no such reference is kept as it is.
std::string decodeXmlText(std::string_view text);

}  // namespace brolvin
