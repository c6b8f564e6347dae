#include "x12parse/field_extraction.h"

#include <algorithm>
#include <cstdint>

#include "util/input_limits.h"
#include "util/text.h"
#include "core/element_split.h"
#include "x12parse/extraction_trace.h"
#include "x12parse/field_match.h"

namespace brolvin {

namespace {

// Field lists are kept for up to this many distinct identifiers of up to this
// length; others (only garbage input has them) are looked up without being kept.
constexpr size_t kMaxCachedIdentifiers = 4096;
constexpr size_t kMaxCachedIdentifierLength = 16;
// Per identifier, field lists are kept for up to this many combinations of
// service line and qualifier elements, with keys up to this length, and all
// kept lists together hold at most this many positions (a few megabytes,
// whatever the map and the source).
constexpr size_t kMaxCachedKeys = 1024;
constexpr size_t kMaxCachedKeyLength = 64;
constexpr size_t kMaxCachedPositions = 1 << 18;

// Position of the first name that begins with `prefix`, or -1. `sorted`
// holds every (name, position) ordered by name.
long long firstNamed(const std::vector<std::pair<std::string_view, size_t>>& sorted,
                     std::string_view prefix) {
    auto it = std::lower_bound(sorted.begin(), sorted.end(), prefix,
                               [](const auto& entry, std::string_view p) { return entry.first < p; });
    long long first = -1;
    for (; it != sorted.end() && beginsWith(it->first, prefix); ++it)
        if (first < 0 || it->second < static_cast<size_t>(first)) first = static_cast<long long>(it->second);
    return first;
}

// The entries each field name stands at (all but the last entry of the
// table), found for every prefix of a toggle name with one pass over it: the
// prefixes' hashes are built a byte at a time.
class ToggleNameIndex {
public:
    // `sorted` holds every (name, position) ordered by name; positions from
    // `count` - 1 on are left out.
    ToggleNameIndex(const std::vector<std::pair<std::string_view, size_t>>& sorted, size_t count)
        : sorted_(sorted) {
        for (size_t b = 0; b < sorted.size();) {
            size_t e = b;
            size_t kept = b;
            while (e < sorted.size() && sorted[e].first == sorted[b].first) {
                if (sorted[e].second + 1 < count) kept = e + 1;
                ++e;
            }
            if (kept > b) runs_.push_back(Run{hashOf(sorted[b].first), b, kept});
            b = e;
        }
        size_t slots = 16;
        while (slots < runs_.size() * 2) slots *= 2;
        slots_.assign(slots, kEmpty);
        for (size_t r = 0; r < runs_.size(); ++r) {
            size_t at = runs_[r].hash & (slots - 1);
            while (slots_[at] != kEmpty) at = (at + 1) & (slots - 1);
            slots_[at] = static_cast<uint32_t>(r);
        }
    }

    // Appends to `out` the positions of the names `name` begins with, shortest
    // name first, each name's positions in table order.
    void addPrefixEntries(std::string_view name, std::vector<size_t>& out) const {
        uint64_t hash = kHashStart;
        for (size_t len = 0;; ++len) {
            addRun(name.substr(0, len), hash, out);
            if (len == name.size()) break;
            hash = step(hash, name[len]);
        }
    }

private:
    static constexpr uint64_t kHashStart = 14695981039346656037ull;
    static constexpr uint32_t kEmpty = UINT32_MAX;
    static uint64_t step(uint64_t hash, char c) {
        return (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    static uint64_t hashOf(std::string_view s) {
        uint64_t hash = kHashStart;
        for (char c : s) hash = step(hash, c);
        return hash;
    }
    void addRun(std::string_view prefix, uint64_t hash, std::vector<size_t>& out) const {
        const size_t mask = slots_.size() - 1;
        for (size_t at = hash & mask; slots_[at] != kEmpty; at = (at + 1) & mask) {
            const Run& run = runs_[slots_[at]];
            if (run.hash != hash || sorted_[run.begin].first != prefix) continue;
            for (size_t j = run.begin; j < run.end; ++j) out.push_back(sorted_[j].second);
            return;
        }
    }

    struct Run {
        uint64_t hash;
        size_t begin, end;  // in sorted_
    };
    const std::vector<std::pair<std::string_view, size_t>>& sorted_;
    std::vector<Run> runs_;
    std::vector<uint32_t> slots_;
};

}  // namespace

FieldExtractor::FieldExtractor(FieldTable& fields, char elementSeparator, char subElementSeparator,
                               FunctionFiles& functions)
    : fields_(fields),
      elementSeparator_(elementSeparator),
      subElementSeparator_(subElementSeparator),
      translateComponents_(subElementSeparator != kComponentSeparator &&
                           subElementSeparator != elementSeparator &&
                           isPlausibleSeparator(subElementSeparator)),
      functions_(functions) {
    rebuildIndex();
}

void FieldExtractor::rebuildIndex() {
    const size_t n = fields_.size();
    plans_.assign(n, FieldPlan{});
    bySegment_.clear();
    byPackedId_.clear();
    cachedPositions_ = 0;

    std::vector<std::pair<std::string_view, size_t>> sortedNames;
    sortedNames.reserve(n);
    for (size_t i = 0; i < n; ++i) sortedNames.emplace_back(fields_[i].name, i);
    std::sort(sortedNames.begin(), sortedNames.end());

    // The toggle-off test examines every entry but the last.
    const ToggleNameIndex toggleNames(sortedNames, n);

    std::vector<const FieldPlan*> previousTests;  // one plan per distinct test
    for (size_t i = 0; i < n; ++i) {
        const FieldEntry& f = fields_[i];
        FieldPlan& plan = plans_[i];
        plan.passedOverOnClaimLevel = !isBlank(f.serviceLineNumber);
        plan.qualifierPosition = leadingNumber(f.qualifierPosition);
        plan.elementPosition = leadingNumber(f.elementPosition);
        plan.subelementPosition = leadingNumber(f.subelementPosition);
        plan.occurence = leadingNumber(f.occurence);
        plan.serviceLine = leadingNumber(f.serviceLineNumber);
        plan.previousQualifierPosition = leadingNumber(f.previousQualifierPosition);
        plan.qualifier = spacesTrimmedView(f.segmentQualifier);
        // Only qualified fields consult the entries.
        if (!plan.qualifier.empty())
            for (std::string_view entry : qualifierListEntries(plan.qualifier)) plan.qualifierEntries.emplace_back(entry);
        plan.condition = spacesTrimmedView(f.conditionField);
        if (!plan.condition.empty()) plan.conditionIndex = firstNamed(sortedNames, plan.condition);
        plan.previousSegment = spacesTrimmedView(f.previousSegment);
        plan.previousQualifier = spacesTrimmedView(f.previousQualifier);
        const std::string_view toggle = spacesTrimmedView(f.toggleOffField);
        plan.hasToggle = !toggle.empty();
        // A toggle may name several fields, divided by ":"; each name a field
        // name begins with is one of its prefixes.
        if (plan.hasToggle)
            for (std::string_view name : toggleOffNames(toggle)) toggleNames.addPrefixEntries(name, plan.toggleCandidates);
        plan.function = spacesTrimmedView(f.function);
        const bool qualified = !plan.qualifier.empty();
        const bool conditioned = !qualified && !plan.condition.empty();
        const bool plain = !qualified && !conditioned;
        plan.counted = plan.occurence > 0;
        const bool unlinedUncounted = plan.subelementPosition <= 0 && plan.serviceLine <= 0 && !plan.counted;
        plan.previousApplies = conditioned && unlinedUncounted && !plan.previousSegment.empty();
        plan.takesComponent = plan.subelementPosition > 0 && (!plain || plan.counted);
        if (plan.previousApplies) {
            auto found = std::find_if(previousTests.begin(), previousTests.end(), [&](const FieldPlan* other) {
                return other->previousSegment == plan.previousSegment &&
                       other->previousQualifier == plan.previousQualifier &&
                       other->previousQualifierPosition == plan.previousQualifierPosition;
            });
            plan.previousTest = static_cast<size_t>(found - previousTests.begin());
            if (found == previousTests.end()) previousTests.push_back(&plan);
        }
    }
    previousAnswers_.assign(previousTests.size(), PreviousAnswer{});

    nextClaimLevel_.assign(n + 1, n);
    for (size_t i = n; i-- > 0;)
        nextClaimLevel_[i] = plans_[i].passedOverOnClaimLevel ? nextClaimLevel_[i + 1] : i;
}

// The look-up every segment makes, kept small enough to be inlined; the
// first segment of an identifier works its fields out.
inline FieldExtractor::IdentifierFields& FieldExtractor::fieldsFor(std::string_view identifier, uint64_t key) {
    if (IdentifierFields** known = byPackedId_.find(key)) return **known;
    return firstFieldsFor(identifier, key);
}

FieldExtractor::IdentifierFields& FieldExtractor::firstFieldsFor(std::string_view identifier, uint64_t key) {
    auto found = bySegment_.find(identifier);
    if (found != bySegment_.end()) {
        byPackedId_.insert(key, &found->second);
        return found->second;
    }
    IdentifierFields fields;
    std::vector<size_t>& all = fields.atServiceLine;
    for (size_t i = 0; i < fields_.size(); ++i)
        if (beginsWith(fields_[i].segment, identifier)) all.push_back(i);
    // At claim level a service-line field at the search position is passed
    // over, and so is every one directly after it; the next candidate at or
    // behind the search position is examined.
    const size_t n = fields_.size();
    size_t p = 0;
    size_t next = 0;
    while (p < n) {
        p = nextClaimLevel_[p];
        if (p >= n) break;
        while (next < all.size() && all[next] < p) ++next;
        if (next == all.size()) {
            fields.claimWalkReachesEnd = false;
            break;
        }
        fields.atClaimLevel.push_back(all[next]);
        p = all[next] + 1;
    }
    fields.lineWalkReachesEnd = n == 0 || (!all.empty() && all.back() == n - 1);
    for (size_t k : all) {
        const FieldPlan& plan = plans_[k];
        if (plan.qualifier.empty() || plan.qualifierPosition <= 0) continue;
        size_t position = static_cast<size_t>(plan.qualifierPosition);
        if (std::find(fields.qualifierPositions.begin(), fields.qualifierPositions.end(), position) ==
            fields.qualifierPositions.end())
            fields.qualifierPositions.push_back(position);
    }
    fields.onlyQualifierPosition = fields.qualifierPositions.empty()       ? 0
                                   : fields.qualifierPositions.size() == 1 ? fields.qualifierPositions[0]
                                                                           : IdentifierFields::kManyQualifiers;
    if (bySegment_.size() >= kMaxCachedIdentifiers || identifier.size() > kMaxCachedIdentifierLength) {
        scratchFields_ = std::move(fields);
        return scratchFields_;
    }
    IdentifierFields& kept = bySegment_.emplace(identifier, std::move(fields)).first->second;
    byPackedId_.insert(key, &kept);
    return kept;
}

// Whether examining field k for this segment can change anything, judged only
// from what does not change during the call: a qualified field whose
// qualifier does not match, or a field of another service line, is examined
// without effect, so a call without tracing may leave it out.
bool FieldExtractor::canChange(size_t k, const SegmentElements& parts, long long serviceLine) const {
    const FieldPlan& plan = plans_[k];
    if (!plan.qualifier.empty()) {
        if (plan.qualifierPosition <= 0 || plan.elementPosition <= 0) return false;
        if (!qualifierMatches(k, parts.element(static_cast<size_t>(plan.qualifierPosition - 1)))) return false;
        return plan.serviceLine <= 0 || plan.serviceLine == serviceLine;
    }
    if (!plan.condition.empty()) {
        if (plan.conditionIndex < 0) return false;
        return plan.serviceLine <= 0 || plan.serviceLine == serviceLine;
    }
    return plan.elementPosition > 0;
}

namespace {

// The key of effectiveFields packed into an integer when the identifier's
// fields read at most one qualifier element (at `qualifierPosition`, 0 for
// none), that element is at most five bytes and the service line is below
// 65536: the element packed with its length, then the service line. 0
// otherwise.
uint64_t packedEffectiveKey(size_t qualifierPosition, const SegmentElements& parts, long long serviceLine) {
    if (serviceLine < 0 || serviceLine > 0xFFFF) return 0;
    const std::string_view value = qualifierPosition == 0 ? std::string_view() : parts.element(qualifierPosition - 1);
    if (value.size() > 5) return 0;
    return (packIdentifier(value) << 16) | static_cast<uint64_t>(serviceLine);
}

// Positions beyond any segment's last element all read the same; capping
// them keeps the step small.
uint32_t cappedPosition(long long position) {
    static_assert(kMaxSegmentBytes < UINT32_MAX);
    if (position <= 0) return 0;
    return position > static_cast<long long>(kMaxSegmentBytes) + 1 ? static_cast<uint32_t>(kMaxSegmentBytes) + 1
                                                                   : static_cast<uint32_t>(position);
}

}  // namespace

FieldExtractor::QuietStep FieldExtractor::quietStep(size_t k) const {
    const FieldPlan& plan = plans_[k];
    QuietStep step{};
    step.field = static_cast<uint32_t>(k);
    step.condition = plan.conditionIndex >= 0 ? static_cast<uint32_t>(plan.conditionIndex) : QuietStep::kNoCondition;
    step.element = cappedPosition(plan.elementPosition);
    step.component = cappedPosition(plan.subelementPosition);
    step.flags = static_cast<uint8_t>((plan.counted ? QuietStep::kCounted : 0) |
                                      (plan.previousApplies ? QuietStep::kPreviousApplies : 0) |
                                      (plan.hasToggle ? QuietStep::kHasToggle : 0) |
                                      (plan.takesComponent ? QuietStep::kTakesComponent : 0) |
                                      (plan.elementPosition < 0 ? QuietStep::kNoElement : 0) |
                                      (plan.function.empty() ? 0 : QuietStep::kFunction));
    return step;
}

inline FieldExtractor::QuietSpan FieldExtractor::effectiveFields(IdentifierFields& fields,
                                                                 const SegmentElements& parts, long long serviceLine) {
    const uint64_t packed = fields.onlyQualifierPosition == IdentifierFields::kManyQualifiers
                                ? 0
                                : packedEffectiveKey(fields.onlyQualifierPosition, parts, serviceLine);
    if (const QuietSpan* known = fields.effectiveByPackedKey.find(packed)) return *known;
    return firstEffectiveFields(fields, parts, serviceLine, packed);
}

FieldExtractor::QuietSpan FieldExtractor::firstEffectiveFields(IdentifierFields& fields,
                                                               const SegmentElements& parts, long long serviceLine,
                                                               uint64_t packed) {
    const QuietSteps& list = effectiveFieldsByText(fields, parts, serviceLine);
    // Only lists the map keeps are named by the packed key (their nodes do not move).
    if (packed != 0 && &list != &scratchEffective_) fields.effectiveByPackedKey.insert(packed, QuietSpan(list));
    return list;
}

const FieldExtractor::QuietSteps& FieldExtractor::effectiveFieldsByText(IdentifierFields& fields,
                                                                       const SegmentElements& parts,
                                                                       long long serviceLine) {
    const std::vector<size_t>& examined = serviceLine == 0 ? fields.atClaimLevel : fields.atServiceLine;
    // The fields left depend only on the service line and the elements the
    // qualifiers read: that is the key, in bytes, each element after its length.
    // A key too long to be kept is not built at all: a qualifier element may
    // be a whole binary segment.
    std::string& key = effectiveKey_;
    key.assign(reinterpret_cast<const char*>(&serviceLine), sizeof serviceLine);
    bool keepable = true;
    for (size_t position : fields.qualifierPositions) {
        std::string_view value = parts.element(position - 1);
        size_t length = value.size();
        if (key.size() + sizeof length + length > kMaxCachedKeyLength) {
            keepable = false;
            break;
        }
        key.append(reinterpret_cast<const char*>(&length), sizeof length);
        key.append(value);
    }
    if (keepable) {
        auto found = fields.effective.find(key);
        if (found != fields.effective.end()) return found->second;
    }
    QuietSteps list;
    for (size_t k : examined)
        if (canChange(k, parts, serviceLine)) list.push_back(quietStep(k));
    if (!keepable || fields.effective.size() >= kMaxCachedKeys ||
        cachedPositions_ + list.size() > kMaxCachedPositions) {
        scratchEffective_ = std::move(list);
        return scratchEffective_;
    }
    cachedPositions_ += list.size();
    return fields.effective.emplace(key, std::move(list)).first->second;
}

// examine() without tracing, for a field canChange() admitted: its qualifier
// matched, its service line fits, and its rule family can set it. What is
// left are the tests whose answer changes during a run.
inline void FieldExtractor::examineQuietly(const QuietStep& step, Call& call) {
    if (step.condition != QuietStep::kNoCondition && isBlank(fields_[step.condition].value)) return;
    const size_t k = step.field;
    if (!fields_[k].value.empty()) return;  // the first value stays for the record
    if (step.flags & (QuietStep::kCounted | QuietStep::kPreviousApplies | QuietStep::kHasToggle)) {
        if ((step.flags & QuietStep::kCounted) && !countReaches(k)) return;
        if ((step.flags & QuietStep::kPreviousApplies) && !previousSegmentMatches(k, call)) return;
        if ((step.flags & QuietStep::kHasToggle) && toggledOff(k)) return;
    }
    std::string_view value;
    if (!(step.flags & QuietStep::kNoElement)) {
        value = call.parts.element(step.element);
        if (step.flags & QuietStep::kTakesComponent) value = componentView(value, subElementSeparator_, step.component);
    }
    if (step.flags & QuietStep::kFunction)
        store(k, value, call);
    else
        storePlain(k, value);
}

void FieldExtractor::extract(std::string_view segment, long long serviceLine, bool traceOn,
                             const SegmentHistory& history, std::string* trace) {
    SegmentElements parts(segment, elementSeparator_);
    extract(segment, parts, serviceLine, traceOn, history, trace);
}

void FieldExtractor::extract(std::string_view segment, const SegmentElements& parts, long long serviceLine,
                             bool traceOn, const SegmentHistory& history, std::string* trace) {
    TraceText tr(traceOn ? trace : nullptr);
    std::string_view identifier = parts.identifier();
    Call call{segment, parts, serviceLine, history, tr};
    IdentifierFields& fields = fieldsFor(identifier, parts.packedIdentifier());
    if (!tr.on()) {
        ++callNumber_;
        for (const QuietStep& step : effectiveFields(fields, parts, serviceLine)) examineQuietly(step, call);
        return;
    }
    tr.line({"Function B Enter Segment = ", spacesTrimmedView(identifier)});
    const std::vector<size_t>& examined = serviceLine == 0 ? fields.atClaimLevel : fields.atServiceLine;
    for (size_t k : examined) examine(k, call);
    if (!(serviceLine == 0 ? fields.claimWalkReachesEnd : fields.lineWalkReachesEnd))
        tr.line({"  Segment ", identifier, " Not in segment map"});
    tr.line({" Function B Exit "});
}

void FieldExtractor::examine(size_t k, Call& call) {
    const FieldPlan& plan = plans_[k];
    FieldEntry& field = fields_[k];
    TraceText& tr = call.trace;
    if (tr.on())
        tr.line({"---------- Segment Map Lookup Valid Map Field# ", numberText(k + 1), "  Conditional= ",
                 plan.condition});

    if (!plan.condition.empty()) {
        if (tr.on())
            tr.line({"- Condition Field Lookup A Valid Map Field# ", numberText(k + 1), "  Conditional= ",
                     field.conditionField});
        if (plan.conditionIndex >= 0) {
            const FieldEntry& condition = fields_[static_cast<size_t>(plan.conditionIndex)];
            if (isBlank(condition.value)) {
                if (tr.on()) tr.line({"Null Field# ", numberText(plan.conditionIndex + 1)});
                return;
            }
            if (tr.on())
                tr.line({"Conditional Field #", numberText(plan.conditionIndex + 1), " Value=",
                         condition.value});
        }
    }
    if (tr.on()) tr.line({" Data = ", field.name, "   ", field.segmentQualifier});

    if (!field.value.empty()) return;  // the first value stays for the record
    if (!plan.qualifier.empty())
        qualifiedRules(k, call);
    else if (!plan.condition.empty())
        conditionRules(k, call);
    else
        plainRules(k, call);
}

// The Segment Qualifier test with the entries divided once: the element
// begins with one of them (an empty entry matches every element).
bool FieldExtractor::qualifierMatches(size_t k, std::string_view value) const {
    for (const std::string& entry : plans_[k].qualifierEntries)
        if (beginsWith(value, entry)) return true;
    return false;
}

void FieldExtractor::dropIfRecordTooLarge(size_t k) {
    if (valueBytes(fields_) <= kMaxRecordBytes) return;
    std::string().swap(fields_[k].value);
    valuesBeyondLimit_ = true;
}


bool FieldExtractor::previousSegmentMatches(size_t k, const Call& call) {
    const FieldPlan& plan = plans_[k];
    PreviousAnswer& answer = previousAnswers_[plan.previousTest];
    if (answer.call != callNumber_) {
        answer.call = callNumber_;
        answer.matches = historyQualifierMatches(call.history, plan.previousSegment, plan.previousQualifier,
                                                 plan.previousQualifierPosition, elementSeparator_);
    }
    return answer.matches;
}

bool FieldExtractor::countReaches(size_t k) {
    FieldEntry& field = fields_[k];
    ++field.occurrenceCount;
    if (setFields_) setFields_->set(k);
    return field.occurrenceCount == plans_[k].occurence;
}

bool FieldExtractor::toggledOff(size_t k) const {
    for (size_t i : plans_[k].toggleCandidates)
        if (!fields_[i].value.empty()) return true;
    return false;
}

std::string_view FieldExtractor::element(size_t k, const Call& call) const {
    long long position = plans_[k].elementPosition;
    if (position < 0) return {};
    return call.parts.element(static_cast<size_t>(position));
}

std::string_view FieldExtractor::component(size_t k, const Call& call) const {
    return componentView(element(k, call), subElementSeparator_, plans_[k].subelementPosition);
}

std::string CTL48400B(FieldTable& fields, const std::vector<std::string>&, std::string_view segment,
                      char elementSeparator, char subElementSeparator,
                      const std::vector<std::string>&, long long serviceLine,
                      std::string_view debugText, long long detailCounter, long long detailLimit,
                      const SegmentHistory& history) {
    FunctionFiles functions;
    FieldExtractor extractor(fields, elementSeparator, subElementSeparator, functions);
    bool traceOn = !debugText.empty() && detailCounter < detailLimit;
    std::string trace;
    extractor.extract(segment, serviceLine, traceOn, history, &trace);
    if (!fields.empty()) fields.front().trace = trace;
    return trace;
}

}  // namespace brolvin
