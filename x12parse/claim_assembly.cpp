#include "x12parse/claim_assembly.h"

#include <algorithm>

#include "util/text.h"
#include "x12parse/field_extraction.h"
#include "x12parse/key_match.h"

namespace brolvin {

ClaimAssembler::ClaimAssembler(LoadedMap& map, char elementSeparator, DebugLog& debug,
                               AssemblyCallbacks callbacks)
    : map_(map), separator_(elementSeparator), trace_(debug), callbacks_(std::move(callbacks)) {
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

// Header-style list test: entry 1 must match; a one-entry list fires, a longer
// one fires when its last non-empty entry k >= 2 matches element k-1.
bool ClaimAssembler::listEvent(const KeyList& list, const SegmentElements& e, bool trace) {
    if (!keyEntryOneMatches(list, e)) return false;
    if (trace) trace_.entryOneMatched("Key Header Field", list.entries[0]);
    if (list.entries.size() == 1) return true;
    bool event = false;
    for (size_t k = 2; k <= list.entries.size(); ++k) {
        const std::string& entry = list.entries[k - 1];
        if (entry.empty()) continue;
        event = keyEntryMatches(list, k, e);
        if (trace) trace_.headerEntryTested(event, entry, k);
    }
    return event;
}

// Which key lists' entry 1 matches the segment's identifier: the test reads
// nothing else, so its answer is kept per identifier.
inline unsigned ClaimAssembler::listsFor(const SegmentElements& e) {
    if (const unsigned* known = listsById_.find(e.packedIdentifier())) return *known;
    return firstListsFor(e);
}

unsigned ClaimAssembler::firstListsFor(const SegmentElements& e) {
    const uint64_t key = e.packedIdentifier();
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
    if (closeOpenClaim()) trace_.note("Claim Control set to 0 Key header Control = 1");
    if (setFields_ && !trace_.detail()) {
        forEachInBoth(*setFields_, level2_, [&](size_t i) { clearValue(map_.fields[i].value); });
        return;
    }
    for (size_t i = 0; i < map_.fields.size(); ++i) {
        if (levels_[i] != 2) continue;
        clearValue(map_.fields[i].value);
        trace_.headerFieldCleared(map_.fields[i].name);
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
        trace_.levelCleared(clear.level);
        return;
    }
}

void ClaimAssembler::trailerTest(const SegmentElements& e, std::string_view) {
    const KeyList& list = map_.keyTrailer;
    if (!keyEntryOneMatches(list, e)) return;
    trace_.entryOneMatched("Key Trailer Field", list.entries[0]);
    for (size_t k = 2; k <= list.entries.size(); ++k) {
        if (list.entries[k - 1].empty() || !keyEntryMatches(list, k, e)) continue;
        trace_.entryMatched("Key Trailer Field", list.entries[k - 1], k, clmctl_);
    }
    writeRecord();
    clmctl_ = 0;
    slc_ = 0;
    trace_.note("Claim Control set to 0 by Key Trailer Control");
}

void ClaimAssembler::keyFieldTest(const SegmentElements& e, std::string_view segment) {
    const KeyList& list = map_.keyField;
    if (!keyEntryOneMatches(list, e)) return;
    keyFieldMatched_ = true;
    trace_.entryOneMatched("Key Field", list.entries[0]);
    if (list.entries.size() == 1) {
        if (clmctl_ == 0) trace_.claimControlRose("Key Field", "0 to 1", segment);
        if (clmctl_ < 2) ++clmctl_;
        return;
    }
    for (size_t k = 2; k <= list.entries.size(); ++k) {
        if (list.entries[k - 1].empty() || !keyEntryMatches(list, k, e)) continue;
        trace_.entryMatched("Key Field", list.entries[k - 1], k, clmctl_);
        if (clmctl_ < 2) trace_.claimControlRose("Key Field Array", clmctl_ == 0 ? "0 to 1" : "1 to 2", segment);
        if (clmctl_ < 2) ++clmctl_;
    }
}

void ClaimAssembler::keyLineTest(const SegmentElements& e) {
    if (!keyEntryOneMatches(map_.keyLine, e)) return;
    ++slc_;
    if (slc_ > maxSlc_) maxSlc_ = slc_;
    if (clmctl_ == 1 && mapLines_ > 0 && slc_ > mapLines_) ++unwrittenLines_;
    trace_.serviceLineCounted(slc_, clmctl_);
}

void ClaimAssembler::docTest(const SegmentElements& e) {
    const KeyList& list = map_.keyDoc;
    if (!keyEntryOneMatches(list, e)) return;
    trace_.entryOneMatched("Key DOC Field", list.entries[0]);
    for (size_t k = 2; k <= list.entries.size(); ++k) {
        if (list.entries[k - 1].empty() || !keyEntryMatches(list, k, e)) continue;
        trace_.entryMatched("Key DOC Field", list.entries[k - 1], k, clmctl_);
    }
}

inline void ClaimAssembler::extractSegment(std::string_view segment, const SegmentElements& e, long long serviceLine) {
    std::string* trace = trace_.extractionTrace();
    if (callbacks_.extractor)
        callbacks_.extractor->extract(segment, e, serviceLine, trace != nullptr, history_, trace);
    else
        callbacks_.extract(segment, e, serviceLine, history_, trace);
    trace_.extractionDone();
}

void ClaimAssembler::writeRecord() { callbacks_.writeRecord(); }

void ClaimAssembler::processSegment(std::string_view segment, long long segmentNumber) {
    trace_.segment(segment, segmentNumber, history_);
    SegmentElements e(segment, separator_);

    // Only the lists whose entry 1 matches this identifier are tested.
    const unsigned lists = listsFor(e);
    if ((lists & kHeaderList) && headerTest(e)) headerEvent();
    if (lists & kClearLists) clearLists(e);
    if (lists & kTrailerList) trailerTest(e, segment);
    if (lists & kFieldList) keyFieldTest(e, segment);
    if (lists & kLineList) keyLineTest(e);

    if (clmctl_ == 1) {
        extractSegment(segment, e, slc_);
        pushHistory(history_, segment);
        recordPending_ = true;
        trace_.event("Service Level Claim Control = 1 ");
    }
    if (clmctl_ == 2) {
        slc_ = 0;
        writeRecord();
        recordPending_ = false;
        clmctl_ = 1;
        trace_.event("Service Level Claim Control was 2 Now Set to 1 ");
        extractSegment(segment, e, 0);
        recordPending_ = true;
        trace_.event("- WRITE CLMCTL = 2");
    }
    if (lists & kDocList) docTest(e);
    if (clmctl_ == 0) {
        trace_.event("- Key Field Array Match AA = ");
        extractSegment(segment, e, 0);
        recordPending_ = true;
    }
    trace_.bufferCleared(clmctl_);

    // Only the transaction set header itself starts a set: a claim status
    // segment (STC) also begins with "ST" but sits between service lines, and
    // resetting the line count there would put every later line on line 1.
    std::string_view id = e.identifier();
    if (beginsWith(id, "ST") && isBlank(id.substr(2))) {
        slc_ = 0;
        stControl_ = true;
        ++transactionSets_;
        trace_.event("- ST Control ON ");
    }
    if (beginsWith(id, "SE")) {
        stControl_ = false;
        slc_ = 0;
        if (recordPending_) {
            writeRecord();
            trace_.event("- WRITE SE ");
        }
        if (setFields_)
            setFields_->forEach([&](size_t i) { clearValue(map_.fields[i].value); });
        else
            for (FieldEntry& f : map_.fields) clearValue(f.value);
        recordPending_ = false;
        clmctl_ = 0;
        trace_.note("- SE Table Clear ", "- Claim Control Set to 0 ");
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
    trace_.note("- WRITE Table Array ");
}

}  // namespace brolvin
