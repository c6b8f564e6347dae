// libFuzzer driver of one target, chosen at build time by BROLVIN_FUZZ_TARGET.
// The targets work on files, so the process first moves into a private
// temporary folder, removed again at exit.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_entries.h"

#ifndef BROLVIN_FUZZ_TARGET
#error "BROLVIN_FUZZ_TARGET names the entry to run"
#endif
#define BROLVIN_STRINGIFY2(x) #x
#define BROLVIN_STRINGIFY(x) BROLVIN_STRINGIFY2(x)

namespace {

brolvin::fuzz::Entry chosenEntry = nullptr;
std::string workFolder;

void removeWorkFolder() {
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
    std::filesystem::remove_all(workFolder, ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (const brolvin::fuzz::NamedEntry& e : brolvin::fuzz::allEntries())
        if (std::strcmp(e.name, BROLVIN_STRINGIFY(BROLVIN_FUZZ_TARGET)) == 0) chosenEntry = e.entry;
    if (chosenEntry == nullptr) abort();
    std::string pattern = (std::filesystem::temp_directory_path() / "brolvin-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) abort();
    workFolder = pattern;
    atexit(removeWorkFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return chosenEntry(data, size);
}
