// The ISA/GS/ST header and SE/GE/IEA trailer of a generated interchange, and
// the envelope keys a map file may carry ("ISA06=", "GS1=" ...).
#pragma once

#include <string>

#include "util/platform.h"

namespace brolvin {

// The seventeen envelope values the input supplies. Blank values are filled
// from the map file's envelope keys, then from fixed defaults.
struct EnvelopeValues {
    std::string isa03;  // security information qualifier
    std::string isa04;  // security information
    std::string isa05;  // interchange sender id qualifier
    std::string isa06;  // interchange sender id
    std::string isa07;  // interchange receiver id qualifier
    std::string isa08;  // interchange receiver id
    std::string isa11;  // repetition separator / standards id
    std::string isa12;  // taken from the input but never written (built from the version)
    std::string isa13;  // interchange control number
    std::string isa15;  // usage indicator
    std::string gs01;   // functional identifier code
    std::string gs02;   // application sender's code
    std::string gs03;   // application receiver's code
    std::string gs06;   // group control number
    std::string gs08;   // version / release / industry identifier code
    std::string st02;   // transaction set control number
    std::string st03;   // implementation convention reference
};

// The values the CSV mode (and the XML mode without a BATCH block) hands
// over: every keyed value blank, so the map's envelope keys and the defaults decide.
EnvelopeValues blankEnvelopeValues();

// Envelope selectors: the numbers that name the envelope values in the map
// key reader and the XML header reader.
enum EnvelopeSelector {
    kSelBatchPresent = 0,
    kSelIsa06 = 1,
    kSelIsa08 = 2,
    kSelIsa13 = 3,
    kSelIsa15 = 4,
    kSelGs01 = 5,
    kSelGs02 = 6,
    kSelGs03 = 7,
    kSelGs06 = 8,
    kSelSt02 = 9,
    kSelSt03 = 10,
    kSelGs08 = 11,
    kSelIsa03 = 12,
    kSelIsa04 = 13,
    kSelIsa05 = 14,
    kSelIsa07 = 15,
    kSelIsa12 = 16,
    kSelIsa12Xml = 17,
    kSelIsa11 = 18,
};

struct EnvelopeHeader {
    std::string text;         // ISA, GS and ST segments
    EnvelopeValues resolved;  // the values as written; ISA13, GS06, ST02 feed the trailer
};

// CTL48400E: the ISA, GS and ST segments of a generated interchange.
// Builds the ISA, GS and ST segments. `crLf` 1 puts CR LF after every
// segment terminator. The clock is read once for the ISA and again for the GS.
EnvelopeHeader buildEnvelopeHeader(const std::string& transactionType, const std::string& version, int crLf,
                                   const std::string& componentSeparator,
                                   const std::string& elementSeparator,
                                   const std::string& segmentTerminator, const std::string& mapFile,
                                   const EnvelopeValues& given, RunContext& ctx);

// CTL48400F: the SE, GE and IEA segments of a generated interchange.
// Builds SE, GE and IEA. `segmentCount` counts the segments between ST and
// SE; the SE count adds ST and SE themselves.
std::string buildEnvelopeTrailer(int crLf, const std::string& componentSeparator,
                                 const std::string& elementSeparator, const std::string& segmentTerminator,
                                 long long segmentCount, const std::string& isa13, const std::string& gs06,
                                 const std::string& st02);

// The value of one envelope key of the map file, shaped to its width; "" when
// the file, the key or a key for the selector is missing.
std::string CTLD48400AH(const std::string& mapFile, int selector);

// The same lookup on map file text already read; lets the header builder read
// the map file once for all its keys.
std::string envelopeKeyFromText(const std::string& mapText, int selector);

}  // namespace brolvin
