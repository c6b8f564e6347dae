#include "x12parse/set_map_watch.h"

#include "map/version_detect.h"
#include "util/text.h"
#include "core/element_split.h"

namespace brolvin {

// An ISA read with its own delimiters has the element separator after "ISA"
// and ends with ISA16, the sub-element separator, after its sixteenth one.
void SetMapWatch::checkInterchange(std::string_view isa, long long number) {
    int separators = 0;
    size_t at = 3;
    if (isa.size() > 3 && isa[3] == sep_)
        for (; at < isa.size() && separators < 16; ++at) separators += isa[at] == sep_;
    if (separators == 16 && at + 1 == isa.size() && isa[at] == subSep_) return;
    warn_(" - Warning : Segment " + std::to_string(number) +
          " starts an interchange whose delimiters differ from those the file is read with; its segments are "
          "not read correctly");
}

void SetMapWatch::look(std::string_view segment, long long number) {
    if (segment[0] == 'I') {
        if (segment.size() >= 3 && segment[2] == 'A') checkInterchange(segment, number);
        if (!pending_) return;
    }
    const std::string_view id = spacesTrimmedView(elementView(segment, 0, sep_));
    if (pending_) {
        pending_ = false;
        if (id == "BHT")
            decide(spacesTrimmedView(elementView(segment, 2, sep_)), true);
        else
            decide({}, false);
    }
    if (id == "GS") {
        gs08_ = trimSpaces(elementView(segment, 8, sep_));
    } else if (id == "ST") {
        st01_ = trimSpaces(elementView(segment, 1, sep_));
        stNumber_ = number;
        pending_ = true;
    }
}

void SetMapWatch::decide(std::string_view bht02, bool foundBht) {
    InterchangeScan scan;
    scan.version = gs08_;
    scan.st01 = st01_;
    scan.foundSt = true;
    scan.bht02 = std::string(bht02);
    scan.foundBht = foundBht;
    std::string name = mapNameForScan(scan);
    if (!haveFirst_) {
        haveFirst_ = true;
        firstMap_ = name;
        return;
    }
    if (name.empty() || name == firstMap_) return;
    if (++warnings_ > kWarningLimit) return;
    warn_(" - Warning : Segment " + std::to_string(stNumber_) + " starts a transaction set (ST01 " + st01_ +
          ", GS08 " + gs08_ + ") that would choose map " + name + "; it is converted with " + mapPath_);
}

void SetMapWatch::finish() {
    if (pending_) {
        pending_ = false;
        decide({}, false);
    }
    if (warnings_ > kWarningLimit)
        warn_(" - Warning : " + std::to_string(warnings_ - kWarningLimit) +
              " more transaction sets would choose another map");
}

}  // namespace brolvin
