#include "x12parse/claim_trace.h"

#include "util/text.h"

namespace brolvin {

namespace {
const std::string kDashes(61, '-');
}

void ClaimTrace::writeSegment(std::string_view segment, long long number, const SegmentHistory& history) {
    log_.line(kDashes + " Segment " + std::to_string(number));
    log_.line({"- Segment Buffer = ", segment});
    for (size_t i = 0; i < history.size(); ++i)
        log_.line({"- pba[", std::to_string(i + 1), "]=", history[i]});
}

void ClaimTrace::writeEntryOne(std::string_view list, std::string_view entry) {
    log_.line({"- ", list, " Array Match A = ", entry});
    log_.count();
}

void ClaimTrace::writeHeaderEntry(bool matched, std::string_view entry, size_t k) {
    log_.line({matched ? "- Key Header Field Array Match B = " : "- Key Header Field Array Match BB = ", entry});
    log_.line("- X = " + std::to_string(k));
    log_.count();
}

void ClaimTrace::writeEntry(std::string_view list, std::string_view entry, size_t k, int clmctl) {
    log_.line({"- ", list, " Array Match B = ", entry});
    log_.line("- X = " + std::to_string(k));
    log_.line("- CLMCTL = " + std::to_string(clmctl));
    log_.count();
}

void ClaimTrace::writeControlRose(std::string_view list, std::string_view change, std::string_view segment) {
    log_.line({"- ", list, " Claim Control Set = ", change});
    log_.line({"- Buffer=", segment});
    log_.count();
}

void ClaimTrace::writeServiceLine(long long slc, int clmctl) {
    log_.line("- SLC Increment = " + std::to_string(slc));
    log_.line("- Claim Control = " + std::to_string(clmctl));
    log_.count();
}

void ClaimTrace::writeCounted(std::initializer_list<std::string_view> parts) {
    log_.line(parts);
    log_.count();
}

std::string ClaimTrace::rightAlignedControl(int clmctl) { return rightAlign(clmctl, 10); }

}  // namespace brolvin
