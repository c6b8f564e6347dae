// Every seed and every kept crash input of the fuzz targets runs through the
// same entry the fuzzer uses, so a fixed crash stays fixed in every build.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "fuzz/fuzz_entries.h"
#include "support/fixed_platform.h"
#include "util/file_io.h"

namespace brolvin {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputsOf(const std::string& folder, const std::string& target) {
    std::vector<fs::path> files;
    fs::path dir = fs::path(BROLVIN_SOURCE_DIR) / "tests" / "fuzz" / folder / target;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

class FuzzInputs : public test::TempDirTest {
protected:
    void runAll(const std::string& folder) {
        for (const fuzz::NamedEntry& target : fuzz::allEntries()) {
            for (const fs::path& file : inputsOf(folder, target.name)) {
                SCOPED_TRACE(file.string());
                std::string data;
                ASSERT_TRUE(readWholeFile(file.string(), data));
                EXPECT_EQ(target.entry(reinterpret_cast<const uint8_t*>(data.data()), data.size()), 0);
                ++ran_;
            }
        }
    }
    int ran_ = 0;
};

TEST_F(FuzzInputs, SeedCorporaRunCleanly) {
    runAll("corpus");
    EXPECT_GE(ran_, 7);  // at least one seed per target
}

TEST_F(FuzzInputs, KeptCrashInputsRunCleanly) { runAll("regressions"); }

TEST_F(FuzzInputs, EveryTargetTakesEmptyAndOneByteInputs) {
    const uint8_t bytes[] = {0xFF};
    for (const fuzz::NamedEntry& target : fuzz::allEntries()) {
        SCOPED_TRACE(target.name);
        EXPECT_EQ(target.entry(bytes, 0), 0);
        EXPECT_EQ(target.entry(bytes, 1), 0);
    }
}

}  // namespace
}  // namespace brolvin
