// Times the map loader on generated maps of 1,000 and 10,000 FIELD= lines;
// a ratio near 10 shows that loading grows linearly with the map.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "map/map_loader.h"
#include "util/file_io.h"
#include "util/platform.h"

namespace {

std::string generateMap(int fields) {
    std::string text = "KEYHEADERFIELD=HL,,,20\r\nKEYFIELD=CLM\r\nKEYLINEFIELD=LX\r\n";
    for (int i = 1; i <= fields; ++i) {
        std::string n = std::to_string(i);
        text += "FIELD=F" + n + ",10,NM1,QC:IL,2,3,,,,2," + std::to_string(i % 3) +
                ",Field " + n + ",,,,LX,,," + "\r\n";
        if (i % 10 == 0) text += "SEGMENT=1,NM1,F" + n + ",QC,,,,\r\n";
    }
    return text;
}

double msPerLoad(const std::string& path, int repeats, brolvin::RunContext& ctx) {
    brolvin::DateTime start = ctx.platform.now();
    auto t0 = std::chrono::steady_clock::now();
    size_t sink = 0;
    for (int i = 0; i < repeats; ++i)
        sink += brolvin::loadMap(path, false, "", start, ctx).map.fields.size();
    auto t1 = std::chrono::steady_clock::now();
    if (sink == 0) std::puts("no fields loaded");
    return std::chrono::duration<double, std::milli>(t1 - t0).count() / repeats;
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "brolvin-bench-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
        std::puts("cannot create a temporary folder");
        return 1;
    }
    fs::path dir = buf.data();

    brolvin::SystemPlatform platform;
    brolvin::RunContext ctx(platform);
    const int sizes[] = {1000, 10000};
    double ms[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        std::string path = (dir / ("map" + std::to_string(sizes[i]) + ".cfg")).string();
        brolvin::writeWholeFile(path, generateMap(sizes[i]));
        msPerLoad(path, 2, ctx);  // warm-up
        ms[i] = msPerLoad(path, 10, ctx);
        std::printf("%6d FIELD= lines: %9.3f ms per load\n", sizes[i], ms[i]);
    }
    std::printf("ratio 10,000 / 1,000: %.2f (10 is linear)\n", ms[0] > 0 ? ms[1] / ms[0] : 0.0);

    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
