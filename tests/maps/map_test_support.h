// Shared by the tests of the shipped maps: paths into the source tree, runs
// of the real program, and reading its XML output back into records.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/fixed_platform.h"
#include "support/process.h"
#include "util/file_io.h"
#include "util/os.h"
#include "x12build/xml_input.h"

namespace brolvin::test {

inline const std::string kSource = BROLVIN_SOURCE_DIR;

inline std::string mapPath(const std::string& map) { return kSource + "/maps/" + map; }
// A shipped map as the program names it: the maps folder joined with the name.
inline std::string shippedMapPath(const std::string& map) { return kSource + "/maps" + os::kNativeSeparator + map; }
inline std::string expectedPath(const std::string& name) { return kSource + "/tests/data/expected/" + name; }

using Record = std::map<std::string, std::string>;

// Splits the program's XML output into records of element name -> text.
inline std::vector<Record> recordsOf(const std::string& xml) {
    std::vector<Record> records;
    std::istringstream in(xml);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "<CLAIM>") {
            records.emplace_back();
            continue;
        }
        if (records.empty() || line.size() < 3 || line[0] != '<' || line[1] == '/') continue;
        size_t close = line.find('>');
        size_t end = line.rfind("</");
        if (close == std::string::npos || end == std::string::npos || end < close) continue;
        records.back()[line.substr(1, close - 1)] = decodeXmlText(line.substr(close + 1, end - close - 1));
    }
    return records;
}

// Where two texts first differ, for a readable failure message.
inline std::string firstDifference(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    size_t from = i > 80 ? i - 80 : 0;
    return "at byte " + std::to_string(i) + "\n--- got:\n" + a.substr(from, 200) + "\n--- expected:\n" +
           b.substr(from, 200);
}

class MapRunTest : public TempDirTest {
protected:
    // Runs the program; true when it ended normally.
    bool run(const std::string& type, const std::string& source, const std::string& destination,
             const std::string& options) {
        Outcome o = runProgram({type, source, destination, options}, "", 60);
        return o.exitedNormally && o.status == 0;
    }
    void expectFile(const std::string& actual, const std::string& expectedName) {
        std::string expected;
        ASSERT_TRUE(readWholeFile(expectedPath(expectedName), expected)) << expectedName;
        EXPECT_TRUE(actual == expected) << expectedName << " " << firstDifference(actual, expected);
    }
    static bool havePython() { return runCommand({"python3", "-c", "import xml.dom.minidom"}) == 0; }
    static bool wellFormed(const std::string& path) {
        return runCommand({"python3", "-c", "import xml.dom.minidom,sys; xml.dom.minidom.parse(sys.argv[1])", path}) == 0;
    }
};

}  // namespace brolvin::test
