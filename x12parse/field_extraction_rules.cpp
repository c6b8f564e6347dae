// The rules that decide whether a field that passed the condition gate takes
// its value from the segment, in three families: fields with a segment
// qualifier, fields with a condition field, and plain fields. A Toggle Off
// Field switches a field off under every rule.
#include "util/text.h"
#include "core/element_split.h"
#include "x12parse/extraction_trace.h"
#include "x12parse/field_extraction.h"
#include "x12parse/field_match.h"

namespace brolvin {

void FieldExtractor::set(size_t k, std::string_view rule, std::string_view extracted, Call& call) {
    store(k, extracted, call);
    const FieldEntry& field = fields_[k];
    TraceText& tr = call.trace;
    if (!tr.on()) return;
    if (rule == "D" || rule == "DDD")
        tr.line({" Field SET ", rule, " = ", numberText(k + 1), " - ", field.name, " - ",
                 numberText(plans_[k].elementPosition), " - ", field.value});
    else
        tr.line({" Field SET ", rule, " = ", field.name, "  ", field.value});
}

void FieldExtractor::qualifiedRules(size_t k, Call& call) {
    const FieldPlan& plan = plans_[k];
    const FieldEntry& field = fields_[k];
    TraceText& tr = call.trace;
    if (tr.on()) tr.line({" Point AA1 = ", field.name, "   ", field.segmentQualifier});
    if (plan.qualifierPosition <= 0) return;
    if (tr.on()) tr.line({" Point AA2 = ", field.name, "   ", field.segmentQualifier});
    std::string_view qualifier = call.parts.element(static_cast<size_t>(plan.qualifierPosition - 1));
    if (tr.on())
        tr.line({" Point AA3  Field Position=", rightAlign(static_cast<long long>(k + 1), 10),
                 " Return value=", qualifier, "   Segment Qulifier = ", field.segmentQualifier});
    if (!qualifierMatches(k, qualifier)) return;
    if (tr.on())
        tr.line({" Point AA4 = ", field.name, " TA4=", field.segmentQualifier, " Matches ", qualifier,
                 " TA5=", numberText(plan.qualifierPosition)});
    if (plan.elementPosition <= 0) {
        if (tr.on()) tr.line({" Err A  ", field.name, "  ", field.value});
        return;
    }

    if (plan.subelementPosition > 0) {
        if (tr.on()) tr.line({" Point B1 = ", field.name, "   ", field.segmentQualifier});
        if (plan.serviceLine > 0) {
            if (tr.on()) tr.line({"Point B "});
            if (call.serviceLine != plan.serviceLine) return;
            if (plan.occurence > 0) {
                if (countReaches(k) && !switchedOff(k)) set(k, "AA", component(k, call), call);
            } else if (!switchedOff(k)) {
                set(k, "A", component(k, call), call);
            }
            return;
        }
        if (tr.on()) tr.line({" Test Point A"});
        if (plan.occurence > 0) {
            bool reached = countReaches(k);
            if (tr.on())
                tr.line({" Test Point B", numberText(plan.occurence), " ",
                         rightAlign(fields_[k].occurrenceCount, 10)});
            if (reached && !switchedOff(k)) set(k, "BB", component(k, call), call);
        } else if (!switchedOff(k)) {
            set(k, "B", component(k, call), call);
        }
        return;
    }

    if (tr.on()) tr.line({" Point BB = ", field.name, "   ", field.segmentQualifier});
    if (plan.serviceLine > 0) {
        if (tr.on()) tr.line({" Point C  "});
        if (call.serviceLine != plan.serviceLine) return;
        if (plan.occurence > 0) {
            if (countReaches(k) && !switchedOff(k)) set(k, "CC", element(k, call), call);
        } else if (!switchedOff(k)) {
            set(k, "C", element(k, call), call);
        }
    } else if (plan.occurence > 0) {
        if (countReaches(k) && !switchedOff(k)) set(k, "DD", element(k, call), call);
    } else if (plan.hasToggle) {
        if (!toggledOff(k)) set(k, "DDD", element(k, call), call);
    } else {
        set(k, "D", element(k, call), call);
    }
}

void FieldExtractor::conditionRules(size_t k, Call& call) {
    const FieldPlan& plan = plans_[k];
    const FieldEntry& field = fields_[k];
    TraceText& tr = call.trace;
    if (tr.on()) {
        tr.line({" Point X1 = ", field.name, "   ", field.segmentQualifier});
        tr.line({"- Condition Field Lookup B Valid Map Field# ", numberText(k + 1), "  Conditional= ",
                 field.conditionField});
    }
    // A condition field that names no field never lets an unqualified field be set.
    if (plan.conditionIndex < 0) {
        if (tr.on()) tr.line({" Point X  "});
        return;
    }

    if (plan.subelementPosition > 0) {
        if (plan.serviceLine > 0) {
            if (call.serviceLine != plan.serviceLine) return;
            if (plan.occurence > 0) {
                if (countReaches(k) && !switchedOff(k)) set(k, "EE", component(k, call), call);
            } else if (!switchedOff(k)) {
                set(k, "E", component(k, call), call);
            }
        } else if (plan.occurence > 0) {
            if (countReaches(k) && !switchedOff(k)) set(k, "FF", component(k, call), call);
        } else if (!switchedOff(k)) {
            set(k, "F", component(k, call), call);
        }
        return;
    }

    if (plan.serviceLine > 0) {
        if (tr.on())
            tr.line({" Point D  Servive Line ", trimSpaces(field.serviceLineNumber), " -> ",
                     numberText(call.serviceLine)});
        if (call.serviceLine != plan.serviceLine) return;
        if (plan.occurence > 0) {
            if (countReaches(k) && !switchedOff(k)) set(k, "GG", element(k, call), call);
        } else if (!switchedOff(k)) {
            set(k, "G", element(k, call), call);
        }
        return;
    }
    if (plan.occurence > 0) {
        if (countReaches(k) && !switchedOff(k)) set(k, "H2", element(k, call), call);
        return;
    }
    if (!plan.previousSegment.empty()) {
        if (!historyQualifierMatches(call.history, plan.previousSegment, plan.previousQualifier,
                                     plan.previousQualifierPosition, elementSeparator_))
            return;
        if (tr.on()) {
            tr.line({" H4 True = ", field.name, "  ", field.value});
            tr.line({" ----", field.previousSegment, "  ", field.previousQualifier, "  ",
                     field.previousQualifierPosition});
            for (size_t i = 0; i < call.history.size(); ++i)
                tr.line({"pba[", numberText(static_cast<long long>(i + 1)), "]=", call.history[i]});
        }
        if (!plan.hasToggle)
            set(k, "H6", element(k, call), call);
        else if (!toggledOff(k))
            set(k, "H4", element(k, call), call);
        return;
    }
    if (!plan.hasToggle)
        set(k, "H0", element(k, call), call);
    else if (!toggledOff(k))
        set(k, "H5", element(k, call), call);
}

void FieldExtractor::plainRules(size_t k, Call& call) {
    const FieldPlan& plan = plans_[k];
    const FieldEntry& field = fields_[k];
    TraceText& tr = call.trace;
    if (tr.on()) tr.line({" Point X2 = ", field.name, "   ", field.segmentQualifier});
    if (plan.elementPosition <= 0) return;
    if (tr.on()) tr.line({" Point X3 = ", field.name, "   ", field.segmentQualifier});
    if (plan.occurence > 0) {
        if (!countReaches(k) || switchedOff(k)) return;
        if (plan.subelementPosition > 0)
            set(k, "IIa", component(k, call), call);
        else
            set(k, "II", element(k, call), call);
        return;
    }
    if (!switchedOff(k)) set(k, "I", element(k, call), call);
}

}  // namespace brolvin
