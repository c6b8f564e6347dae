#include "x12parse/field_extraction.h"

#include <algorithm>

#include "util/text.h"
#include "x12parse/element_split.h"
#include "x12parse/extraction_trace.h"
#include "x12parse/field_match.h"

namespace brolvin {

namespace {

// Field lists are kept for up to this many distinct identifiers of up to this
// length; others (only garbage input has them) are looked up without being kept.
constexpr size_t kMaxCachedIdentifiers = 4096;
constexpr size_t kMaxCachedIdentifierLength = 16;

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

}  // namespace

FieldExtractor::FieldExtractor(FieldTable& fields, char elementSeparator, char subElementSeparator,
                               FunctionFiles& functions)
    : fields_(fields),
      elementSeparator_(elementSeparator),
      subElementSeparator_(subElementSeparator),
      functions_(functions) {
    rebuildIndex();
}

void FieldExtractor::rebuildIndex() {
    const size_t n = fields_.size();
    plans_.assign(n, FieldPlan{});
    bySegment_.clear();

    std::vector<std::pair<std::string_view, size_t>> sortedNames;
    sortedNames.reserve(n);
    for (size_t i = 0; i < n; ++i) sortedNames.emplace_back(fields_[i].name, i);
    std::sort(sortedNames.begin(), sortedNames.end());

    // The toggle-off test examines every entry but the last.
    std::unordered_map<std::string_view, std::vector<size_t>> toggleNames;
    for (size_t i = 0; i + 1 < n; ++i) toggleNames[fields_[i].name].push_back(i);

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
        plan.qualifier = trimSpaces(f.segmentQualifier);
        plan.condition = trimSpaces(f.conditionField);
        if (!plan.condition.empty()) plan.conditionIndex = firstNamed(sortedNames, plan.condition);
        plan.previousSegment = trimSpaces(f.previousSegment);
        plan.previousQualifier = trimSpaces(f.previousQualifier);
        std::string toggle = trimSpaces(f.toggleOffField);
        plan.hasToggle = !toggle.empty();
        if (plan.hasToggle) {
            // Every name the toggle text begins with is one of its prefixes.
            for (size_t len = 0; len <= toggle.size(); ++len) {
                auto found = toggleNames.find(std::string_view(toggle).substr(0, len));
                if (found == toggleNames.end()) continue;
                plan.toggleCandidates.insert(plan.toggleCandidates.end(), found->second.begin(),
                                             found->second.end());
            }
        }
        plan.function = trimSpaces(f.function);
    }

    nextClaimLevel_.assign(n + 1, n);
    for (size_t i = n; i-- > 0;)
        nextClaimLevel_[i] = plans_[i].passedOverOnClaimLevel ? nextClaimLevel_[i + 1] : i;
}

const std::vector<size_t>& FieldExtractor::fieldsFor(const std::string& identifier) {
    auto found = bySegment_.find(identifier);
    if (found != bySegment_.end()) return found->second;
    std::vector<size_t> list;
    for (size_t i = 0; i < fields_.size(); ++i)
        if (beginsWith(fields_[i].segment, identifier)) list.push_back(i);
    if (bySegment_.size() >= kMaxCachedIdentifiers || identifier.size() > kMaxCachedIdentifierLength) {
        scratch_ = std::move(list);
        return scratch_;
    }
    return bySegment_.emplace(identifier, std::move(list)).first->second;
}

void FieldExtractor::extract(std::string_view segment, long long serviceLine, bool traceOn,
                             const SegmentHistory& history, std::string* trace) {
    TraceText tr(traceOn ? trace : nullptr);
    std::string identifier(elementView(segment, 0, elementSeparator_));
    if (tr.on()) tr.line({"Function B Enter Segment = ", trimSpaces(identifier)});

    Call call{segment, serviceLine, history, tr};
    const std::vector<size_t>& candidates = fieldsFor(identifier);
    const size_t n = fields_.size();
    size_t p = 0;
    size_t next = 0;  // index into candidates
    while (p < n) {
        // At claim level a service-line field at the search position is
        // passed over, and so is every one directly after it.
        if (serviceLine == 0) {
            p = nextClaimLevel_[p];
            if (p >= n) break;
        }
        while (next < candidates.size() && candidates[next] < p) ++next;
        if (next == candidates.size()) {
            if (tr.on()) tr.line({"  Segment ", identifier, " Not in segment map"});
            break;
        }
        size_t k = candidates[next];
        examine(k, call);
        p = k + 1;
    }
    if (tr.on()) tr.line({" Function B Exit "});
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

bool FieldExtractor::countReaches(size_t k) {
    FieldEntry& field = fields_[k];
    ++field.occurrenceCount;
    return field.occurrenceCount == plans_[k].occurence;
}

bool FieldExtractor::toggledOff(size_t k) const {
    for (size_t i : plans_[k].toggleCandidates)
        if (!fields_[i].value.empty()) return true;
    return false;
}

std::string_view FieldExtractor::element(size_t k, std::string_view segment) const {
    return elementView(segment, plans_[k].elementPosition, elementSeparator_);
}

std::string FieldExtractor::component(size_t k, std::string_view segment) const {
    return CTL48400D(element(k, segment), subElementSeparator_, plans_[k].subelementPosition);
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
