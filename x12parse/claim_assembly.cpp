#include "x12parse/claim_assembly.h"

#include <algorithm>

#include "util/text.h"
#include "x12parse/key_match.h"

namespace brolvin {

namespace {
const std::string kDashes(61, '-');
}

ClaimAssembler::ClaimAssembler(LoadedMap& map, char elementSeparator, DebugLog& debug,
                               AssemblyCallbacks callbacks)
    : map_(map), separator_(elementSeparator), debug_(debug), callbacks_(std::move(callbacks)) {
    // The table is fixed for the run (any service-line expansion comes
    // first), so each field's Level is read once.
    levels_.reserve(map_.fields.size());
    level2_ = FieldBits(map_.fields.size());
    for (const FieldEntry& f : map_.fields) {
        if (leadingNumber(f.level) == 2) level2_.set(levels_.size());
        levels_.push_back(leadingNumber(f.level));
        if (!isBlank(f.serviceLineNumber)) mapLines_ = std::max(mapLines_, leadingNumber(f.serviceLineNumber));
    }
    // The fields each clearing list empties, found once.
    for (const ClearList& clear : map_.clearLists) {
        std::vector<size_t> cleared;
        FieldBits bits(levels_.size());
        for (size_t i = 0; i < levels_.size(); ++i)
            if (levels_[i] >= clear.level) {
                cleared.push_back(i);
                bits.set(i);
            }
        clearedByList_.push_back(std::move(cleared));
        clearedByListBits_.push_back(std::move(bits));
    }
}

// Empties the Values of the fields in `which`: with the set fields known,
// only those among them.
void ClaimAssembler::clearFields(const FieldBits& which, const std::vector<size_t>& list) {
    if (setFields_) {
        forEachInBoth(*setFields_, which, [&](size_t i) { clearValue(map_.fields[i].value); });
        return;
    }
    for (size_t i : list) clearValue(map_.fields[i].value);
}

// Writes the claim that is open, if any; no claim is open afterwards.
bool ClaimAssembler::closeOpenClaim() {
    if (clmctl_ == 0) return false;
    writeRecord();
    clmctl_ = 0;
    slc_ = 0;
    return true;
}

void ClaimAssembler::debugSegmentHeader(std::string_view segment, long long segmentNumber) {
    if (!debug_.detail()) return;
    debug_.line(kDashes + " Segment " + std::to_string(segmentNumber));
    debug_.line({"- Segment Buffer = ", segment});
    for (size_t i = 0; i < history_.size(); ++i)
        debug_.line({"- pba[", std::to_string(i + 1), "]=", history_[i]});
}

// Header-style list test: entry 1 must match; a one-entry list fires, a longer
// one fires when its last non-empty entry k >= 2 matches element k-1.
bool ClaimAssembler::listEvent(const KeyList& list, const SegmentElements& e, bool trace) {
    if (!keyEntryOneMatches(list, e)) return false;
    if (trace && debug_.detail()) {
        debug_.line("- Key Header Field Array Match A = " + list.entries[0]);
        debug_.count();
    }
    if (list.entries.size() == 1) return true;
    bool event = false;
    for (size_t k = 2; k <= list.entries.size(); ++k) {
        const std::string& entry = list.entries[k - 1];
        if (entry.empty()) continue;
        event = keyEntryMatches(list, k, e);
        if (trace && debug_.detail()) {
            debug_.line((event ? "- Key Header Field Array Match B = " : "- Key Header Field Array Match BB = ") +
                        entry);
            debug_.line("- X = " + std::to_string(k));
            debug_.count();
        }
    }
    return event;
}

// Which key lists' entry 1 matches the segment's identifier: the test reads
// nothing else, so its answer is kept per identifier.
unsigned ClaimAssembler::listsFor(const SegmentElements& e) {
    const uint64_t key = packIdentifier(e.identifier());
    if (const unsigned* known = listsById_.find(key)) return *known;
    unsigned lists = 0;
    if (keyEntryOneMatches(map_.keyHeader, e)) lists |= kHeaderList;
    for (const ClearList& clear : map_.clearLists)
        if (keyEntryOneMatches(clear.keys, e)) lists |= kClearLists;
    if (keyEntryOneMatches(map_.keyTrailer, e)) lists |= kTrailerList;
    if (keyEntryOneMatches(map_.keyField, e)) lists |= kFieldList;
    if (keyEntryOneMatches(map_.keyLine, e)) lists |= kLineList;
    if (keyEntryOneMatches(map_.keyDoc, e)) lists |= kDocList;
    listsById_.insert(key, lists);
    return lists;
}

bool ClaimAssembler::headerTest(const SegmentElements& e) { return listEvent(map_.keyHeader, e, true); }

void ClaimAssembler::headerEvent() {
    if (closeOpenClaim() && debug_.detail()) debug_.line("Claim Control set to 0 Key header Control = 1");
    if (setFields_ && !debug_.detail()) {
        forEachInBoth(*setFields_, level2_, [&](size_t i) { clearValue(map_.fields[i].value); });
        return;
    }
    for (size_t i = 0; i < map_.fields.size(); ++i) {
        if (levels_[i] != 2) continue;
        clearValue(map_.fields[i].value);
        if (debug_.detail()) {
            debug_.line("- Clear Key Header Field " + map_.fields[i].name);
            debug_.count();
        }
    }
}

// Hierarchy clearing lists: a match writes the open claim and clears the
// Values of its level and every deeper level.
void ClaimAssembler::clearLists(const SegmentElements& e) {
    for (size_t n = 0; n < map_.clearLists.size(); ++n) {
        const ClearList& clear = map_.clearLists[n];
        if (!listEvent(clear.keys, e, false)) continue;
        closeOpenClaim();
        clearFields(clearedByListBits_[n], clearedByList_[n]);
        if (debug_.detail()) {
            debug_.line("- Clear Key Clear Field Level " + std::to_string(clear.level));
            debug_.count();
        }
        return;
    }
}

void ClaimAssembler::trailerTest(const SegmentElements& e, std::string_view) {
    const KeyList& list = map_.keyTrailer;
    if (!keyEntryOneMatches(list, e)) return;
    if (debug_.detail()) {
        debug_.line("- Key Trailer Field Array Match A = " + list.entries[0]);
        debug_.count();
    }
    for (size_t k = 2; k <= list.entries.size(); ++k) {
        if (list.entries[k - 1].empty() || !keyEntryMatches(list, k, e)) continue;
        if (debug_.detail()) {
            debug_.line("- Key Trailer Field Array Match B = " + list.entries[k - 1]);
            debug_.line("- X = " + std::to_string(k));
            debug_.line("- CLMCTL = " + std::to_string(clmctl_));
            debug_.count();
        }
    }
    writeRecord();
    clmctl_ = 0;
    slc_ = 0;
    if (debug_.detail()) debug_.line("Claim Control set to 0 by Key Trailer Control");
}

void ClaimAssembler::keyFieldTest(const SegmentElements& e, std::string_view segment) {
    const KeyList& list = map_.keyField;
    if (!keyEntryOneMatches(list, e)) return;
    keyFieldMatched_ = true;
    if (debug_.detail()) {
        debug_.line("- Key Field Array Match A = " + list.entries[0]);
        debug_.count();
    }
    if (list.entries.size() == 1) {
        if (clmctl_ == 0 && debug_.detail()) {
            debug_.line("- Key Field Claim Control Set = 0 to 1");
            debug_.line({"- Buffer=", segment});
            debug_.count();
        }
        if (clmctl_ < 2) ++clmctl_;
        return;
    }
    for (size_t k = 2; k <= list.entries.size(); ++k) {
        if (list.entries[k - 1].empty() || !keyEntryMatches(list, k, e)) continue;
        if (debug_.detail()) {
            debug_.line("- Key Field Array Match B = " + list.entries[k - 1]);
            debug_.line("- X = " + std::to_string(k));
            debug_.line("- CLMCTL = " + std::to_string(clmctl_));
            debug_.count();
        }
        if (clmctl_ < 2 && debug_.detail()) {
            debug_.line(clmctl_ == 0 ? "- Key Field Array Claim Control Set = 0 to 1"
                                     : "- Key Field Array Claim Control Set = 1 to 2");
            debug_.line({"- Buffer=", segment});
            debug_.count();
        }
        if (clmctl_ < 2) ++clmctl_;
    }
}

void ClaimAssembler::keyLineTest(const SegmentElements& e) {
    if (!keyEntryOneMatches(map_.keyLine, e)) return;
    ++slc_;
    if (slc_ > maxSlc_) maxSlc_ = slc_;
    if (clmctl_ == 1 && mapLines_ > 0 && slc_ > mapLines_) ++unwrittenLines_;
    if (debug_.detail()) {
        debug_.line("- SLC Increment = " + std::to_string(slc_));
        debug_.line("- Claim Control = " + std::to_string(clmctl_));
        debug_.count();
    }
}

void ClaimAssembler::docTest(const SegmentElements& e) {
    const KeyList& list = map_.keyDoc;
    if (!keyEntryOneMatches(list, e)) return;
    if (debug_.detail()) {
        debug_.line("- Key DOC Field Array Match A = " + list.entries[0]);
        debug_.count();
    }
    for (size_t k = 2; k <= list.entries.size(); ++k) {
        if (list.entries[k - 1].empty() || !keyEntryMatches(list, k, e)) continue;
        if (debug_.detail()) {
            debug_.line("- Key DOC Field Array Match B = " + list.entries[k - 1]);
            debug_.line("- X = " + std::to_string(k));
            debug_.line("- CLMCTL = " + std::to_string(clmctl_));
            debug_.count();
        }
    }
}

void ClaimAssembler::extractSegment(std::string_view segment, long long serviceLine) {
    trace_.clear();
    bool traceOn = debug_.detail();
    callbacks_.extract(segment, serviceLine, traceOn, traceOn ? &trace_ : nullptr);
    if (debug_.on()) {
        debug_.raw(" ");
        debug_.raw(trace_);
    }
}

void ClaimAssembler::writeRecord() { callbacks_.writeRecord(); }

void ClaimAssembler::processSegment(std::string_view segment, long long segmentNumber) {
    debugSegmentHeader(segment, segmentNumber);
    SegmentElements e(segment, separator_);
    current_ = &e;
    struct Reset {
        const SegmentElements*& p;
        ~Reset() { p = nullptr; }
    } reset{current_};

    // Only the lists whose entry 1 matches this identifier are tested.
    const unsigned lists = listsFor(e);
    if ((lists & kHeaderList) && headerTest(e)) headerEvent();
    if (lists & kClearLists) clearLists(e);
    if (lists & kTrailerList) trailerTest(e, segment);
    if (lists & kFieldList) keyFieldTest(e, segment);
    if (lists & kLineList) keyLineTest(e);

    if (clmctl_ == 1) {
        extractSegment(segment, slc_);
        CTL48400S(history_, segment);
        recordPending_ = true;
        if (debug_.detail()) {
            debug_.line("Service Level Claim Control = 1 ");
            debug_.count();
        }
    }
    if (clmctl_ == 2) {
        slc_ = 0;
        writeRecord();
        recordPending_ = false;
        clmctl_ = 1;
        if (debug_.detail()) {
            debug_.line("Service Level Claim Control was 2 Now Set to 1 ");
            debug_.count();
        }
        extractSegment(segment, 0);
        recordPending_ = true;
        if (debug_.detail()) {
            debug_.line("- WRITE CLMCTL = 2");
            debug_.count();
        }
    }
    if (lists & kDocList) docTest(e);
    if (clmctl_ == 0) {
        if (debug_.detail()) {
            debug_.line("- Key Field Array Match AA = ");
            debug_.count();
        }
        extractSegment(segment, 0);
        recordPending_ = true;
    }
    if (debug_.detail()) {
        debug_.line(" Segment Buffer Cleared CLMCTL = " + rightAlign(clmctl_, 10));
        debug_.count();
    }

    // Only the transaction set header itself starts a set: a claim status
    // segment (STC) also begins with "ST" but sits between service lines, and
    // resetting the line count there would put every later line on line 1.
    std::string_view id = e.identifier();
    if (beginsWith(id, "ST") && isBlank(id.substr(2))) {
        slc_ = 0;
        stControl_ = true;
        ++transactionSets_;
        if (debug_.detail()) {
            debug_.line("- ST Control ON ");
            debug_.count();
        }
    }
    if (beginsWith(id, "SE")) {
        stControl_ = false;
        slc_ = 0;
        if (recordPending_) {
            writeRecord();
            if (debug_.detail()) {
                debug_.line("- WRITE SE ");
                debug_.count();
            }
        }
        if (setFields_)
            setFields_->forEach([&](size_t i) { clearValue(map_.fields[i].value); });
        else
            for (FieldEntry& f : map_.fields) clearValue(f.value);
        recordPending_ = false;
        clmctl_ = 0;
        if (debug_.detail()) {
            debug_.line("- SE Table Clear ");
            debug_.line("- Claim Control Set to 0 ");
        }
    }
}

void ClaimAssembler::finish() {
    if (!stControl_) return;
    bool any = false;
    if (setFields_)
        setFields_->forEach([&](size_t i) { any = any || !isBlank(map_.fields[i].value); });
    else
        for (const FieldEntry& f : map_.fields) any = any || !isBlank(f.value);
    if (!any) return;
    writeRecord();
    if (debug_.detail()) debug_.line("- WRITE Table Array ");
}

}  // namespace brolvin
