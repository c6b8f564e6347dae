// Compares the indexed extractor with a plain walk over every field that
// re-reads every attribute for every segment, on random small maps.
#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "util/text.h"
#include "core/element_split.h"
#include "x12parse/field_extraction.h"
#include "x12parse/field_match.h"

namespace brolvin {
namespace {

void referenceExtract(FieldTable& t, std::string_view seg, long long line, const SegmentHistory& h) {
    const size_t n = t.size();
    const std::string id = CTL39400AU(seg, 0, '*');
    auto num = [](const std::string& s) { return leadingNumber(s); };
    size_t p = 0;
    while (p < n) {
        if (line == 0 && !isBlank(t[p].serviceLineNumber)) {
            ++p;
            continue;
        }
        size_t k = p;
        while (k < n && !beginsWith(t[k].segment, id)) ++k;
        if (k == n) break;
        p = k + 1;
        FieldEntry& f = t[k];
        const std::string cond = trimSpaces(f.conditionField);
        long long ci = -1;
        for (size_t i = 0; !cond.empty() && ci < 0 && i < n; ++i)
            if (beginsWith(t[i].name, cond)) ci = static_cast<long long>(i);
        if (ci >= 0 && isBlank(t[ci].value)) continue;
        if (!f.value.empty()) continue;

        const long long ep = num(f.elementPosition), sp = num(f.subelementPosition);
        const long long occ = num(f.occurence), sl = num(f.serviceLineNumber);
        const std::string elem = CTL39400AU(seg, ep, '*');
        const std::string comp = CTL48400D(elem, ':', sp);
        const std::string toggle = trimSpaces(f.toggleOffField);
        const bool toggleOk = toggle.empty() || !CTL48400U(t, toggle);
        auto counted = [&] { return ++f.occurrenceCount == occ; };
        std::optional<std::string> v;
        if (!trimSpaces(f.segmentQualifier).empty()) {
            long long qp = num(f.qualifierPosition);
            if (qp <= 0 || !CTL48400V(CTL39400AU(seg, qp - 1, '*'), f.segmentQualifier) || ep <= 0) continue;
            const std::string& x = sp > 0 ? comp : elem;
            if (sl > 0) {
                if (line == sl && (occ <= 0 || counted()) && toggleOk) v = x;
            } else if (occ > 0) {
                if (counted() && toggleOk) v = x;
            } else if (toggleOk) {
                v = x;
            }
        } else if (!cond.empty()) {
            if (ci < 0) continue;
            if (sl > 0) {
                if (line == sl && (occ <= 0 || counted()) && toggleOk) v = sp > 0 ? comp : elem;
            } else if (occ > 0) {
                if (counted() && toggleOk) v = sp > 0 ? comp : elem;
            } else if (sp > 0) {
                if (toggleOk) v = comp;
            } else if (!trimSpaces(f.previousSegment).empty()) {
                if (historyQualifierMatches(h, f.previousSegment, f.previousQualifier, num(f.previousQualifierPosition), '*') &&
                    toggleOk)
                    v = elem;
            } else if (toggleOk) {
                v = elem;
            }
        } else if (ep > 0) {
            if (occ <= 0) {
                if (toggleOk) v = elem;
            } else if (counted() && toggleOk) {
                v = sp > 0 ? comp : elem;
            }
        }
        if (v) f.value = *v;
    }
}

template <size_t N>
std::string pick(std::mt19937& rng, const char* const (&pool)[N]) {
    return pool[std::uniform_int_distribution<size_t>(0, N - 1)(rng)];
}

FieldTable randomTable(std::mt19937& rng) {
    static const char* const names[] = {"A", "AB", "B", "C", "", "AB"};
    static const char* const segments[] = {"", "N", "NM1", "NM", "REF", "CLM", "NM1"};
    static const char* const qualifiers[] = {"", "", "85", "85:", "8", ":87", " 87 ", "6R"};
    static const char* const positions[] = {"", "0", "1", "2", "3", "-1", " 2"};
    static const char* const subs[] = {"", "", "0", "1", "2"};
    static const char* const conditions[] = {"", "", "", "A", "B", "Z", " A "};
    static const char* const occurrences[] = {"", "", "0", "1", "2"};
    static const char* const lines[] = {"", "", " ", "0", "1", "2", "x"};
    static const char* const previous[] = {"", "", "NM1", "REF", "N"};
    static const char* const prevQualifiers[] = {"", "85", "8"};
    static const char* const prevPositions[] = {"", "0", "2"};
    static const char* const toggles[] = {"", "", "A", "AB", "C", "ABX", "C:AB", " Z : A "};
    FieldTable t(std::uniform_int_distribution<size_t>(1, 10)(rng));
    for (FieldEntry& f : t) {
        f.name = pick(rng, names);
        f.segment = pick(rng, segments);
        f.segmentQualifier = pick(rng, qualifiers);
        f.qualifierPosition = pick(rng, positions);
        f.elementPosition = pick(rng, positions);
        f.subelementPosition = pick(rng, subs);
        f.conditionField = pick(rng, conditions);
        f.occurence = pick(rng, occurrences);
        f.serviceLineNumber = pick(rng, lines);
        f.previousSegment = pick(rng, previous);
        f.previousQualifier = pick(rng, prevQualifiers);
        f.previousQualifierPosition = pick(rng, prevPositions);
        f.toggleOffField = pick(rng, toggles);
    }
    return t;
}

TEST(FieldExtractionReference, IndexedWalkMatchesThePlainWalk) {
    static const char* const segments[] = {"NM1*85*2*CLINIC", "NM1*IL*1*DOE", "REF*87*X:Y:Z", "REF*6R*1",
                                           "CLM*1**3",        "N*8",          "",             "*85",
                                           "NM1*  *A",        "REF",          "NM*8:7*Q",     "CLM*  ",
                                           "NM1234567890123456789*85", "NM1*8*Q", "REF* 87 *W",
                                           "NM1*87",          "REF*6R*2:3"};
    std::mt19937 rng(20240607);
    for (int round = 0; round < 3000; ++round) {
        FieldTable indexed = randomTable(rng);
        FieldTable plain = indexed;
        FunctionFiles functions;
        FieldExtractor extractor(indexed, '*', ':', functions);
        SegmentHistory history{};
        for (int s = 0; s < 25; ++s) {
            if (std::uniform_int_distribution<int>(0, 9)(rng) == 0) {
                for (FieldTable* t : {&indexed, &plain})
                    for (FieldEntry& f : *t) f.value.clear(), f.occurrenceCount = 0;
            }
            std::string segment = pick(rng, segments);
            long long line = std::uniform_int_distribution<int>(0, 2)(rng);
            pushHistory(history, segment);
            referenceExtract(plain, segment, line, history);
            std::string trace;
            extractor.extract(segment, line, s % 2 == 0, history, &trace);
            for (size_t i = 0; i < plain.size(); ++i) {
                ASSERT_EQ(indexed[i].value, plain[i].value) << "round " << round << " field " << i + 1;
                ASSERT_EQ(indexed[i].occurrenceCount, plain[i].occurrenceCount)
                    << "round " << round << " field " << i + 1;
            }
        }
    }
}

}  // namespace
}  // namespace brolvin
