#include "x12build/segment_builder.h"

#include <algorithm>
#include <charconv>

#include "util/text.h"

namespace brolvin {

namespace {

std::string nameKey(std::string_view name) { return toUpper(trimSpaces(name)); }

// isBlank, inlined for the per-record loops.
inline bool blankText(std::string_view s) {
    for (char c : s)
        if (c != ' ') return false;
    return true;
}

std::vector<std::string> splitAt(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t pos = text.find(separator, start);
        if (pos == std::string_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, pos - start));
        start = pos + 1;
    }
}

}  // namespace

FieldNameIndex::FieldNameIndex(const FieldTable& fields) {
    positions_.reserve(fields.size());
    for (size_t i = 0; i < fields.size(); ++i)
        positions_.emplace(nameKey(fields[i].name), static_cast<long>(i));
}

long FieldNameIndex::find(std::string_view name) const { return find(name, {}); }

long FieldNameIndex::find(std::string_view name, std::string_view suffix) const {
    // The key is built in a reused buffer: a look-up allocates nothing. The
    // program runs in the "C" locale, where upper-casing changes ASCII only.
    thread_local std::string key;
    key.assign(name);
    key.append(suffix);
    size_t b = 0, e = key.size();
    while (b < e && key[b] == ' ') ++b;
    while (e > b && key[e - 1] == ' ') --e;
    key.erase(e);
    key.erase(0, b);
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    auto it = positions_.find(key);
    return it == positions_.end() ? -1 : it->second;
}

std::string CTL48400H(std::string_view reference, const FieldTable& fields,
                      const FieldNameIndex& index) {
    if (reference.empty()) return "";
    long pos = index.find(reference.substr(1));
    if (pos < 0 || static_cast<size_t>(pos) >= fields.size()) return "";
    return fields[static_cast<size_t>(pos)].value;
}

std::pair<std::string, std::string> splitCondition(std::string_view text) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos) return {std::string(text), ""};
    std::string rest;
    for (char c : text.substr(colon + 1))
        if (c != ':') rest.push_back(c);
    return {std::string(text.substr(0, colon)), rest};
}

long long filledLineCount(const FieldTable& fields) {
    long long maxLine = 0;
    bool counted = false;
    long long filled = 0;
    for (const FieldEntry& f : fields) {
        if (isBlank(f.serviceLineNumber)) continue;
        long long line = leadingNumber(f.serviceLineNumber);
        if (line > maxLine) {
            maxLine = line;
            counted = false;
        }
        if (!counted && !isBlank(f.value)) {
            ++filled;
            counted = true;
        }
    }
    return filled;
}

SegmentPlan::SegmentPlan(const std::vector<LayoutEntry>& layout, const FieldTable& fields,
                         const FieldNameIndex& index)
    : index_(&index), fieldCount_(fields.size()), slots_(29) {
    for (size_t i = 0; i < fields.size(); ++i)
        if (!isBlank(fields[i].serviceLineNumber))
            lineFields_.emplace_back(i, leadingNumber(fields[i].serviceLineNumber));

    for (const LayoutEntry& source : layout) {
        const long long pass = leadingNumber(source[0]);
        if (pass < 1 || pass > 4) continue;
        const bool suffixed = pass == 3;
        Entry entry;
        auto [segmentId, condition] = splitCondition(source[1]);
        entry.segmentId = std::move(segmentId);
        entry.hasCondition = !condition.empty();
        if (entry.hasCondition)
            entry.conditionRef = valueRef(std::string_view(condition).substr(1), suffixed, index);
        size_t given = source.size();
        while (given > 2 && source[given - 1].empty()) --given;
        entry.slotsUsed = given - 1;

        entry.elements.resize(29);
        for (size_t k = 0; k < 29; ++k) {
            Element& el = entry.elements[k];
            const std::string& text = source[k + 1];
            const size_t colon = text.find(':');
            el.hasCondition = colon != std::string::npos;
            if (el.hasCondition) el.templateText = text;
            if (k == 0) continue;  // the segment id: its condition was handled above

            const std::string_view body = std::string_view(text).substr(0, colon);
            if (!body.empty()) {
                switch (body[0]) {
                    case '$':
                    case '!':
                        el.kind = Kind::Field;
                        el.ref = valueRef(body.substr(1), suffixed, index);
                        el.mandatory = body[0] == '!';
                        el.valueLater = el.hasCondition;
                        break;
                    case '%':
                        el.kind = Kind::Composite;
                        el.parts = parseParts(body.substr(1), false, suffixed, index);
                        break;
                    case '&': {
                        const std::string counter = trimSpaces(body.substr(1));
                        if (counter == "HL")
                            el.kind = Kind::HlCounter;
                        else if (counter == "LX")
                            el.kind = Kind::LxCounter;
                        else if (counter == "HLP")
                            el.kind = Kind::HlpCounter;
                        else {
                            el.kind = Kind::Literal;
                            el.literal = std::string(body);
                        }
                        break;
                    }
                    default:
                        el.kind = Kind::Literal;
                        el.literal = std::string(body);
                }
            }
            if (el.hasCondition) {
                const std::string_view condText = std::string_view(text).substr(colon + 1);
                if (!condText.empty()) el.conditionRef = valueRef(condText.substr(1), false, index);
                std::string withoutMarks;
                for (char c : body)
                    if (c != '%') withoutMarks.push_back(c);
                el.recomputed = parseParts(withoutMarks, true, false, index);
            }
        }
        entry.trimmedId = trimSpaces(entry.segmentId);
        for (size_t k = 1; k < entry.slotsUsed; ++k) {
            Element& el = entry.elements[k];
            if (el.hasCondition) entry.elementConditions = true;
            if (el.kind == Kind::HlCounter || el.kind == Kind::LxCounter || el.kind == Kind::HlpCounter)
                entry.hasCounter = true;
            if (el.kind == Kind::Literal) el.trimmedLiteral = trimSpaces(el.literal);
        }
        byPass_[pass - 1].push_back(entries_.size());
        entries_.push_back(std::move(entry));
    }
    positionsFor(0);
}

long SegmentPlan::valueRef(std::string_view name, bool lineSuffixed, const FieldNameIndex&) {
    refs_.push_back({std::string(name), lineSuffixed});
    return static_cast<long>(refs_.size() - 1);
}

// "$" and "!" parts read fields. `partsWithMark`: the recomputed form of a
// condition, where "!" is no more than a reference; otherwise a "!" part is
// mandatory for its composite.
std::vector<SegmentPlan::Part> SegmentPlan::parseParts(std::string_view body, bool partsWithMark,
                                                       bool lineSuffixed,
                                                       const FieldNameIndex& index) {
    std::vector<Part> parts;
    for (std::string& text : splitAt(body, ';')) {
        Part part;
        if (!text.empty() && (text[0] == '$' || text[0] == '!')) {
            part.ref = valueRef(std::string_view(text).substr(1), lineSuffixed, index);
            part.mandatory = !partsWithMark && text[0] == '!';
        } else {
            part.literal = std::move(text);
        }
        parts.push_back(std::move(part));
    }
    return parts;
}

const std::vector<long>& SegmentPlan::positionsFor(long long line) {
    const size_t slot = static_cast<size_t>(line);
    while (positions_.size() <= slot) {
        const std::string suffix = positions_.empty() ? std::string() : std::to_string(positions_.size());
        std::vector<long> positions(refs_.size(), -1);
        for (size_t r = 0; r < refs_.size(); ++r) {
            long pos = index_->find(refs_[r].name, refs_[r].lineSuffixed ? suffix : std::string());
            if (pos >= 0 && static_cast<size_t>(pos) < fieldCount_) positions[r] = pos;
        }
        positions_.push_back(std::move(positions));
    }
    return positions_[slot];
}

void SegmentPlan::takeFields(const FieldTable& fields) {
    if (valuesOf_ == fields.data() && valuesCount_ == fields.size()) return;
    values_.clear();
    valuesOf_ = fields.data();
    valuesCount_ = fields.size();
}

const std::string* const* SegmentPlan::valuesFor(long long line) {
    const size_t slot = static_cast<size_t>(line);
    while (values_.size() <= slot) {
        // Unsuffixed references read the same field in every line.
        const std::vector<long>& positions = positionsFor(static_cast<long long>(values_.size()));
        std::vector<const std::string*> values(refs_.size() + 1, nullptr);
        for (size_t r = 0; r < refs_.size(); ++r) {
            const long pos = positions[r];
            if (pos >= 0 && static_cast<size_t>(pos) < valuesCount_)
                values[r] = &valuesOf_[static_cast<size_t>(pos)].value;
        }
        values_.push_back(std::move(values));
    }
    return values_[slot].data();
}

std::string_view SegmentPlan::valueOf(long ref, long long line, const FieldTable&) {
    if (ref < 0) return {};
    const std::string* value = valuesFor(line)[static_cast<size_t>(ref)];
    return value ? std::string_view(*value) : std::string_view();
}

void SegmentPlan::appendSafe(std::string& out, std::string_view value, bool trim) const {
    const char* v = value.data();
    size_t b = 0, e = value.size();
    if (trim) {
        auto blank = [&](char c) { return c == ' ' || cleaning_.replaces(c); };
        while (b < e && blank(v[b])) ++b;
        while (e > b && blank(v[e - 1])) --e;
    }
    if (b == e) return;
    const size_t start = out.size();
    out.append(v + b, e - b);
    cleaning_.clean(out, start);
}

long long SegmentPlan::filledLines(const FieldTable& fields) const {
    long long maxLine = 0, filled = 0;
    bool counted = false;
    for (const auto& [pos, line] : lineFields_) {
        if (line > maxLine) {
            maxLine = line;
            counted = false;
        }
        if (!counted && pos < fields.size() && !blankText(fields[pos].value)) {
            ++filled;
            counted = true;
        }
    }
    return filled;
}

// Fills the value slots of the entry; false when a "!" reference is blank.
// Counters advance in element order either way.
bool SegmentPlan::evaluate(const Entry& entry, long long line, const FieldTable& fields,
                           GenerationState& state) {
    slots_[0] = entry.segmentId;
    bool mandatoryBlank = false;
    for (size_t k = 1; k < entry.slotsUsed; ++k) {
        const Element& el = entry.elements[k];
        std::string& slot = slots_[k];
        slot.clear();
        switch (el.kind) {
            case Kind::Empty:
                break;
            case Kind::Field:
                appendSafe(slot, valueOf(el.ref, line, fields), false);
                if (el.mandatory && isBlank(slot)) mandatoryBlank = true;
                if (el.valueLater) slot.clear();
                break;
            case Kind::Composite: {
                size_t keep = 0;
                for (size_t i = 0; i < el.parts.size(); ++i) {
                    if (i > 0) slot += component_;
                    const size_t before = slot.size();
                    const Part& part = el.parts[i];
                    if (part.ref >= 0)
                        appendSafe(slot, valueOf(part.ref, line, fields), true);
                    else
                        slot += part.literal;
                    if (slot.size() > before) {
                        keep = slot.size();
                    } else if (part.mandatory) {
                        keep = 0;
                        break;
                    }
                }
                slot.resize(keep);
                break;
            }
            case Kind::HlCounter:
                state.previousHl = state.hlCounter;
                slot = std::to_string(++state.hlCounter);
                break;
            case Kind::LxCounter:
                slot = std::to_string(++state.lxCounter);
                break;
            case Kind::HlpCounter:
                if (state.previousHl > 0) slot = std::to_string(state.previousHl);
                break;
            case Kind::Literal:
                slot = el.literal;
                break;
        }
    }
    return !mandatoryBlank;
}

void SegmentPlan::write(const Entry& entry, const FieldTable& fields, int crLf,
                        GenerationState& state, const std::string& debug, const X12Delimiters& d) {
    size_t last = 0;
    for (size_t k = entry.slotsUsed; k > 1; --k)
        if (!isBlank(slots_[k - 1])) {
            last = k - 1;
            break;
        }
    if (last == 0) return;

    std::string& out = state.segmentText;
    const size_t segmentStart = out.size();
    size_t keptEnd = segmentStart;  // end of the last non-empty element after the id
    bool cut = false;
    auto trimmed = [](std::string_view s) {
        size_t b = 0, e = s.size();
        while (b < e && s[b] == ' ') ++b;
        while (e > b && s[e - 1] == ' ') --e;
        return s.substr(b, e - b);
    };
    for (size_t k = 0; k <= last; ++k) {
        const Element& el = entry.elements[k];
        if (k > 0) out += d.element;
        const size_t before = out.size();
        const std::string_view value = trimmed(slots_[k]);
        if (!el.hasCondition) {
            if (!debug.empty()) state.traceText += kCrLf;
            out.append(value);
        } else {
            if (!debug.empty()) {
                std::string traceLine = "tdata=" + el.templateText + kCrLf;
                state.traceText += traceLine + traceLine + kCrLf;
            }
            if (k == 0) {
                out.append(value);
            } else {
                if (isBlank(valueOf(el.conditionRef, 0, fields))) {
                    cut = true;
                    break;
                }
                // The value completed by the rest of the template's recomputed text.
                scratch_.clear();
                for (size_t i = 0; i < el.recomputed.size(); ++i) {
                    if (i > 0) scratch_ += component_;
                    const Part& part = el.recomputed[i];
                    if (part.ref >= 0)
                        appendSafe(scratch_, valueOf(part.ref, 0, fields), true);
                    else
                        scratch_ += part.literal;
                }
                out.append(value);
                if (beginsWith(scratch_, value))
                    out.append(trimmed(std::string_view(scratch_).substr(value.size())));
            }
        }
        if (k > 0 && out.size() > before) keptEnd = out.size();
    }
    if (cut) {
        if (keptEnd == segmentStart) {
            out.resize(segmentStart);  // nothing left but the segment id
            return;
        }
        out.resize(keptEnd);
    }
    out += d.terminator;
    if (crLf == 1) out += kCrLf;
    ++state.segmentCount;
}

namespace {

void appendNumber(std::string& out, long long n) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, n);
    out.append(digits, static_cast<size_t>(result.ptr - digits));
}

// Drops the spaces around the text from `from` to the end of `out`.
void trimTail(std::string& out, size_t from) {
    size_t e = out.size();
    while (e > from && out[e - 1] == ' ') --e;
    out.resize(e);
    size_t b = from;
    while (b < e && out[b] == ' ') ++b;
    if (b > from) out.erase(from, b - from);
}

}  // namespace

void SegmentPlan::writeDirect(const Entry& entry, const std::string* const* values, int crLf,
                              GenerationState& state, const X12Delimiters& d) {
    auto value = [&](long ref) {
        const std::string* v = ref >= 0 ? values[ref] : nullptr;
        return v ? std::string_view(*v) : std::string_view();
    };
    auto blankValue = [&](std::string_view v) {
        for (char c : v)
            if (c != ' ' && !cleaning_.replaces(c)) return false;
        return true;
    };
    std::string& out = state.segmentText;
    const size_t segmentStart = out.size();
    out += entry.trimmedId;
    size_t kept = 0;  // end of the last element after the id that has a value
    bool mandatoryBlank = false;
    for (size_t k = 1; k < entry.slotsUsed; ++k) {
        const Element& el = entry.elements[k];
        out += d.element;
        const size_t before = out.size();
        switch (el.kind) {
            case Kind::Empty:
                break;
            case Kind::Field: {
                const std::string_view v = value(el.ref);
                if (el.mandatory && blankValue(v)) {
                    // Nothing is written; only the counters of later elements still move.
                    if (!entry.hasCounter) {
                        out.resize(segmentStart);
                        return;
                    }
                    mandatoryBlank = true;
                }
                appendSafe(out, v, true);
                break;
            }
            case Kind::Composite: {
                size_t keep = before;
                for (size_t i = 0; i < el.parts.size(); ++i) {
                    if (i > 0) out += component_;
                    const size_t partStart = out.size();
                    const Part& part = el.parts[i];
                    if (part.ref >= 0)
                        appendSafe(out, value(part.ref), true);
                    else
                        out += part.literal;
                    if (out.size() > partStart) {
                        keep = out.size();
                    } else if (part.mandatory) {
                        keep = before;
                        break;
                    }
                }
                out.resize(keep);
                trimTail(out, before);
                break;
            }
            case Kind::HlCounter:
                state.previousHl = state.hlCounter;
                appendNumber(out, ++state.hlCounter);
                break;
            case Kind::LxCounter:
                appendNumber(out, ++state.lxCounter);
                break;
            case Kind::HlpCounter:
                if (state.previousHl > 0) appendNumber(out, state.previousHl);
                break;
            case Kind::Literal:
                out += el.trimmedLiteral;
                break;
        }
        if (out.size() > before) kept = out.size();
    }
    if (mandatoryBlank || kept == 0) {
        out.resize(segmentStart);
        return;
    }
    out.resize(kept);
    out += d.terminator;
    if (crLf == 1) out += kCrLf;
    ++state.segmentCount;
}

GenerationState SegmentPlan::generate(const FieldTable& fields, int crLf, GenerationState state,
                                      const std::string& debug, long long recordCount,
                                      long long recordNumber, const X12Delimiters& d) {
    state.segmentText.clear();
    state.traceText.clear();
    state.lxCounter = 0;
    if (d.element != elementSeparator_ || d.terminator != terminator_ || !replacedSet_) {
        cleaning_ = X12ValueCleaning(d.element, d.terminator);
        elementSeparator_ = d.element;
        terminator_ = d.terminator;
        replacedSet_ = true;
    }
    if (component_ != d.component) component_ = d.component;
    takeFields(fields);
    const long long lines = filledLines(fields);
    const bool trace = !debug.empty();

    auto walk = [&](int pass, long long line) {
        const std::string* const* values = valuesFor(line);
        for (size_t i : byPass_[pass - 1]) {
            const Entry& entry = entries_[i];
            if (entry.hasCondition) {
                const std::string* condition = values[entry.conditionRef];
                if (condition == nullptr || blankText(*condition)) continue;
            }
            if (!trace && !entry.elementConditions)
                writeDirect(entry, values, crLf, state, d);
            else if (evaluate(entry, line, fields, state))
                write(entry, fields, crLf, state, debug, d);
        }
    };
    if (recordNumber == 1) walk(1, 0);
    walk(2, 0);
    for (long long line = 1; line <= (lines > 0 ? lines : 1); ++line) walk(3, line);
    if (recordNumber == recordCount) walk(4, 0);
    // Copies of a large Value are not kept for the next record.
    for (std::string& slot : slots_) clearValue(slot);
    clearValue(scratch_);
    return state;
}

GenerationState CTL48400G(const std::vector<LayoutEntry>& layout, const FieldTable& fields,
                          const FieldNameIndex& index, int crLf, GenerationState state,
                          const std::string& debug, long long recordCount, long long recordNumber,
                          const X12Delimiters& d) {
    SegmentPlan plan(layout, fields, index);
    return plan.generate(fields, crLf, std::move(state), debug, recordCount, recordNumber, d);
}

}  // namespace brolvin
