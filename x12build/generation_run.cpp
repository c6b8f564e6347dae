#include "x12build/generation_run.h"

#include <array>
#include <limits>

#include "util/file_io.h"
#include "util/output_file.h"
#include "util/progress.h"
#include "util/text.h"

namespace brolvin {

ProgressTicker::ProgressTicker(int displayMode, long long size)
    : displayMode_(displayMode), size_(size) {
    if (size_ <= 0 || (displayMode_ != 0 && displayMode_ != 2)) next_ = std::numeric_limits<long long>::max();
}

void ProgressTicker::report(long long position) {
    long long whole = position * 100 / size_;
    if (whole != lastWhole_) {
        double percent = static_cast<double>(position) / static_cast<double>(size_) * 100.0;
        if (displayMode_ == 0)
            CTL394MTRC(percent);
        else
            CTL394MTRE(percent);
        lastWhole_ = whole;
    }
    // First position whose whole percentage is above the one just reported.
    next_ = ((whole + 1) * size_ + 99) / 100;
}

namespace {
constexpr size_t kPendingLimit = size_t{1} << 18;
}

void GenerationRun::append(const std::string& text) {
    if (destinationHeld) {
        if (text.size() >= kPendingLimit) {
            // A large text goes out after what is held, without a copy.
            writePending();
            write.note(appender.append(text, destination), destination);
            return;
        }
        pending += text;
        if (pending.size() >= kPendingLimit) writePending();
        return;
    }
    if (appender.append(text, destination)) {
        destinationHeld = true;
    } else {
        write.note(false, destination);
    }
}

void GenerationRun::writePending() {
    if (pending.empty()) return;
    write.note(appender.append(pending, destination), destination);
    pending.clear();
}

void GenerationRun::closeDestination() {
    writePending();
    destinationHeld = false;
    write.note(appender.close(), destination);
}

namespace {

// Attributes 1 to 15 of a field, as the debug text shows them.
std::array<const std::string*, 15> shownAttributes(const FieldEntry& f) {
    return {&f.name,          &f.width,          &f.segment,          &f.segmentQualifier,
            &f.qualifierPosition, &f.elementPosition, &f.subelementPosition, &f.conditionField,
            &f.occurence,     &f.level,          &f.serviceLineNumber, &f.description,
            &f.dataStart,     &f.dataLength,     &f.value};
}

// At least the size of tableArrayBlock(f, …), known without building it.
size_t tableArrayBlockSize(const FieldEntry& f) {
    size_t size = 40;
    for (const std::string* a : shownAttributes(f)) size += a->size() + 16;
    return size;
}

std::string tableArrayBlock(const FieldEntry& f, size_t number) {
    const std::array<const std::string*, 15> attributes = shownAttributes(f);
    std::string block = "----- Table Array " + rightAlign(static_cast<long long>(number), 10) + kCrLf;
    for (size_t a = 0; a < 15; ++a)
        if (!isBlank(*attributes[a]))
            block += "- TA " + std::to_string(a + 1) + " = " + *attributes[a] + kCrLf;
    return block;
}

}  // namespace

void GenerationRun::checkRecordValues() {
    if (refused() || valueBytes(map.fields) <= kMaxRecordBytes) return;
    refuse("the values of record " + std::to_string(recordNumber + 1) + " of " + source + " are larger than " +
           limitText(kMaxRecordBytes));
}

void GenerationRun::completeRecord() {
    if (refused() || !destinationExists()) return;
    ++recordNumber;
    if (!plan) {
        plan.emplace(map.segmentLayout, map.fields, index);
        levelZeroFields.clear();
        for (size_t i = 0; i < map.fields.size(); ++i)
            if (leadingNumber(map.fields[i].level) == 0) levelZeroFields.push_back(i);
    }
    state = plan->generate(map.fields, crLf, std::move(state), debugSetting, recordCount,
                           recordNumber, delimiters);
    if (debugRoom(state.traceText.size() + 2)) debug.entry(state.traceText + kCrLf);
    append(state.segmentText);
    if (state.segmentText.capacity() > kLargeValueBytes) std::string().swap(state.segmentText);
    for (size_t i = 0; i < map.fields.size() && debugRoom(); ++i)
        if (debugRoom(tableArrayBlockSize(map.fields[i]))) debug.entry(tableArrayBlock(map.fields[i], i + 1));
    for (size_t i : levelZeroFields)
        if (i < map.fields.size()) clearValue(map.fields[i].value);
}

}  // namespace brolvin
