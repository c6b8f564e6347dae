#include "x12build/segment_builder.h"

#include "util/text.h"

namespace brolvin {

namespace {

std::string nameKey(std::string_view name) { return toUpper(trimSpaces(name)); }

// Separator or terminator characters inside a Value would split or end the
// segment; they are written as spaces. The component separator stays, so a
// Value may carry a ready composite.
std::string safeValue(std::string value, const X12Delimiters& d) {
    for (char& c : value)
        if (d.element.find(c) != std::string::npos || d.terminator.find(c) != std::string::npos)
            c = ' ';
    return value;
}

std::string fieldValue(std::string_view reference, const FieldTable& fields,
                       const FieldNameIndex& index, const X12Delimiters& d) {
    return safeValue(CTL48400H(reference, fields, index), d);
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

// "%" template body: parts divided by ";", "$" parts read fields; joined by the
// component separator up to the last non-empty part.
std::string composite(std::string_view body, const std::string& suffix, const FieldTable& fields,
                      const FieldNameIndex& index, const X12Delimiters& d) {
    std::vector<std::string> parts = splitAt(body, ';');
    for (std::string& part : parts)
        if (!part.empty() && part[0] == '$')
            part = trimSpaces(fieldValue(part + suffix, fields, index, d));
    size_t end = parts.size();
    while (end > 0 && parts[end - 1].empty()) --end;
    std::string result;
    for (size_t i = 0; i < end; ++i) {
        if (i > 0) result += d.component;
        result += parts[i];
    }
    return result;
}

struct TemplateResult {
    std::string value;
    bool mandatoryBlank = false;
};

TemplateResult evaluateTemplate(const std::string& text, const std::string& suffix,
                                const FieldTable& fields, const FieldNameIndex& index,
                                GenerationState& state, const X12Delimiters& d) {
    size_t colon = text.find(':');
    bool conditional = colon != std::string::npos;
    std::string body = conditional ? text.substr(0, colon) : text;
    if (body.empty()) return {};
    switch (body[0]) {
        case '$':
        case '!': {
            std::string value = fieldValue(body + suffix, fields, index, d);
            bool mandatoryBlank = body[0] == '!' && isBlank(value);
            // A conditional reference gets its value when the condition is applied.
            return {conditional ? std::string() : value, mandatoryBlank};
        }
        case '%':
            return {composite(std::string_view(body).substr(1), suffix, fields, index, d)};
        case '&': {
            std::string counter = trimSpaces(std::string_view(body).substr(1));
            if (counter == "HL") {
                state.previousHl = state.hlCounter;
                return {std::to_string(++state.hlCounter)};
            }
            if (counter == "LX") return {std::to_string(++state.lxCounter)};
            if (counter == "HLP")
                return {state.previousHl > 0 ? std::to_string(state.previousHl) : std::string()};
            return {body};
        }
        default:
            return {body};
    }
}

long long lastNonBlank(const std::vector<std::string>& values) {
    for (size_t k = values.size(); k > 1; --k)
        if (!isBlank(values[k - 1])) return static_cast<long long>(k - 1);
    return 0;
}

void writeEntry(const std::vector<std::string>& elements, size_t entryIndex,
                const std::vector<LayoutEntry>& layout, const FieldTable& fields,
                const FieldNameIndex& index, int crLf, GenerationState& state,
                const std::string& debug, const X12Delimiters& d) {
    long long last = lastNonBlank(elements);
    if (last == 0) return;
    std::vector<std::string> written;
    written.reserve(static_cast<size_t>(last) + 1);
    bool cut = false;
    for (long long k = 0; k <= last; ++k) {
        ElementWrite w = CTL48400AJ(static_cast<size_t>(k) + 1, trimSpaces(elements[k]),
                                    entryIndex, layout, fields, index, d, debug);
        if (!debug.empty()) state.traceText += w.trace + kCrLf;
        if (w.cut) {
            cut = true;
            break;
        }
        written.push_back(std::move(w.value));
    }
    if (cut) {
        while (written.size() > 1 && isBlank(written.back())) written.pop_back();
        if (written.size() <= 1) return;  // nothing left but the segment id
    }
    for (size_t k = 0; k < written.size(); ++k) {
        if (k > 0) state.segmentText += d.element;
        state.segmentText += written[k];
    }
    state.segmentText += d.terminator;
    if (crLf == 1) state.segmentText += kCrLf;
    ++state.segmentCount;
}

}  // namespace

FieldNameIndex::FieldNameIndex(const FieldTable& fields) {
    positions_.reserve(fields.size());
    for (size_t i = 0; i < fields.size(); ++i)
        positions_.emplace(nameKey(fields[i].name), static_cast<long>(i));
}

long FieldNameIndex::find(std::string_view name) const {
    auto it = positions_.find(nameKey(name));
    return it == positions_.end() ? -1 : it->second;
}

std::string CTL48400H(std::string_view reference, const FieldTable& fields,
                      const FieldNameIndex& index) {
    if (reference.empty()) return "";
    long pos = index.find(reference.substr(1));
    if (pos < 0 || static_cast<size_t>(pos) >= fields.size()) return "";
    return fields[static_cast<size_t>(pos)].value;
}

std::pair<std::string, std::string> CTLD48400AF(std::string_view text) {
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

std::vector<std::string> CTL48400I(const std::vector<LayoutEntry>& layout,
                                   const FieldTable& fields, const FieldNameIndex& index,
                                   int pass, size_t entryIndex, long long recordCount,
                                   long long recordNumber, long long lineNumber,
                                   GenerationState& state, const X12Delimiters& d) {
    const std::vector<std::string> notProduced;
    if (entryIndex >= layout.size()) return notProduced;
    if (pass == 1 && recordNumber != 1) return notProduced;
    if (pass == 4 && recordNumber != recordCount) return notProduced;
    const LayoutEntry& entry = layout[entryIndex];
    if (leadingNumber(entry[0]) != pass) return notProduced;
    const std::string suffix = pass == 3 ? std::to_string(lineNumber) : std::string();

    auto [segmentId, condition] = CTLD48400AF(entry[1]);
    if (!condition.empty() && isBlank(CTL48400H(condition + suffix, fields, index)))
        return notProduced;

    std::vector<std::string> elements(29);
    elements[0] = segmentId;
    bool mandatoryBlank = false;
    for (size_t k = 2; k < entry.size(); ++k) {
        TemplateResult r = evaluateTemplate(entry[k], suffix, fields, index, state, d);
        elements[k - 1] = std::move(r.value);
        mandatoryBlank = mandatoryBlank || r.mandatoryBlank;
    }
    if (mandatoryBlank) return notProduced;
    return elements;
}

ElementWrite CTL48400AJ(size_t elementIndex, const std::string& value, size_t entryIndex,
                        const std::vector<LayoutEntry>& layout, const FieldTable& fields,
                        const FieldNameIndex& index, const X12Delimiters& d,
                        const std::string& debug) {
    ElementWrite w;
    w.value = value;
    if (entryIndex >= layout.size() || elementIndex >= layout[entryIndex].size()) return w;
    const std::string& tmpl = layout[entryIndex][elementIndex];
    size_t colon = tmpl.find(':');
    if (colon == std::string::npos) return w;
    if (!debug.empty()) {
        std::string line = "tdata=" + tmpl + kCrLf;
        w.trace = line + line;
    }
    // The segment id's condition was already applied, with the line suffix,
    // when the entry was evaluated.
    if (elementIndex == 1) return w;

    std::string_view condition = std::string_view(tmpl).substr(colon + 1);
    if (isBlank(CTL48400H(condition, fields, index))) {
        w.cut = true;
        w.value.clear();
        return w;
    }
    std::string body;
    for (char c : std::string_view(tmpl).substr(0, colon))
        if (c != '%') body.push_back(c);
    std::string recomputed;
    std::vector<std::string> parts = splitAt(body, ';');
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) recomputed += d.component;
        const std::string& part = parts[i];
        if (!part.empty() && (part[0] == '$' || part[0] == '!'))
            recomputed += trimSpaces(fieldValue(part, fields, index, d));
        else
            recomputed += part;
    }
    if (beginsWith(recomputed, value))
        w.value = value + trimSpaces(std::string_view(recomputed).substr(value.size()));
    return w;
}

GenerationState CTL48400G(const std::vector<LayoutEntry>& layout, const FieldTable& fields,
                          const FieldNameIndex& index, int crLf, GenerationState state,
                          const std::string& debug, long long recordCount, long long recordNumber,
                          const X12Delimiters& d) {
    state.segmentText.clear();
    state.traceText.clear();
    state.lxCounter = 0;
    const long long lines = filledLineCount(fields);

    auto walk = [&](int pass, long long line) {
        for (size_t i = 0; i < layout.size(); ++i) {
            std::vector<std::string> elements = CTL48400I(layout, fields, index, pass, i,
                                                          recordCount, recordNumber, line, state, d);
            if (elements.size() > 1)
                writeEntry(elements, i, layout, fields, index, crLf, state, debug, d);
        }
    };
    walk(1, 0);
    walk(2, 0);
    for (long long line = 1; line <= (lines > 0 ? lines : 1); ++line) walk(3, line);
    walk(4, 0);
    return state;
}

}  // namespace brolvin
