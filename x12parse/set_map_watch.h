// Watching the transaction sets of an X12 source for sets whose GS08, ST01
// and BHT02 would choose another map than the first set's, and interchanges
// whose ISA declares other delimiters than the ones the source is read with.
// A source is converted with one map and one set of delimiters throughout,
// so such sets and interchanges are reported, not switched.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace brolvin {

class SetMapWatch {
public:
    using Warn = std::function<void(const std::string& line)>;

    // `mapPath` is the map the source is converted with; `warn` receives each
    // warning line (without time stamp).
    SetMapWatch(char elementSeparator, char subElementSeparator, std::string mapPath, Warn warn)
        : sep_(elementSeparator), subSep_(subElementSeparator), mapPath_(std::move(mapPath)),
          warn_(std::move(warn)) {}

    // Every segment of the source, in order, with its number.
    void see(std::string_view segment, long long number) {
        // Only ISA, GS, ST and the segment after ST matter; the others are
        // passed over on their first two bytes.
        if (!pending_ && !(segment.size() >= 2 && ((segment[0] == 'G' && segment[1] == 'S') ||
                                                   (segment[0] == 'S' && segment[1] == 'T') ||
                                                   (segment[0] == 'I' && segment[1] == 'S'))))
            return;
        look(segment, number);
    }
    // End of the source: a set whose ST was the last segment is decided.
    void finish();

    static constexpr int kWarningLimit = 10;

private:
    void look(std::string_view segment, long long number);
    void decide(std::string_view bht02, bool foundBht);
    void checkInterchange(std::string_view isa, long long number);

    char sep_;
    char subSep_;
    std::string mapPath_;
    Warn warn_;
    std::string gs08_;
    std::string st01_;
    long long stNumber_ = 0;
    bool pending_ = false;  // an ST was seen; the next segment may be its BHT
    bool haveFirst_ = false;
    std::string firstMap_;  // the map the first set selects ("" for none)
    long long warnings_ = 0;
};

}  // namespace brolvin
