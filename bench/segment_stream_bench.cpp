// Throughput of the segment stream against a plain memchr scan for the
// segment terminator over the same generated 837P-like interchange.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "util/file_io.h"
#include "core/history.h"
#include "x12parse/segment_stream.h"

namespace {

std::string makeInterchange(size_t targetBytes) {
    std::string s;
    s.reserve(targetBytes + 4096);
    s += "ISA*00*          *00*          *ZZ*SUBMITTER      *ZZ*RECEIVER       *240101*1200*^*00501*000000001*0*P*:~\n";
    s += "GS*HC*SUBMITTER*RECEIVER*20240101*1200*1*X*005010X222A1~\n";
    long long claim = 0;
    while (s.size() < targetBytes) {
        s += "ST*837*0001*005010X222A1~\nBHT*0019*00*1*20240101*1200*CH~\n";
        s += "HL*1**20*1~\nNM1*85*2*GENERAL CLINIC*****XX*1234567893~\n";
        s += "N3*123 MAIN STREET~\nN4*SPRINGFIELD*IL*627010000~\nREF*EI*123456789~\n";
        for (int c = 0; c < 20; ++c) {
            ++claim;
            s += "HL*2*1*22*0~\nSBR*P*18*******CI~\nNM1*IL*1*DOE, JOHN****MI*W" + std::to_string(claim) + "~\n";
            s += "CLM*" + std::to_string(claim) + "*150***11:B:1*Y*A*Y*Y~\nHI*ABK:J029~\n";
            for (int line = 1; line <= 3; ++line) {
                s += "LX*" + std::to_string(line) + "~\nSV1*HC:99213*50*UN*1***1~\nDTP*472*D8*20240101~\n";
            }
        }
        s += "SE*200*0001~\n";
    }
    s += "GE*1*1~\nIEA*1*000000001~\n";
    return s;
}

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

}  // namespace

int main(int argc, char** argv) {
    size_t megabytes = argc > 1 ? static_cast<size_t>(std::atol(argv[1])) : 50;
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("brolvin-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string path = (dir / "bench.x12").string();
    if (!brolvin::writeWholeFile(path, makeInterchange(megabytes << 20))) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    double mb = static_cast<double>(brolvin::fileSize(path)) / (1 << 20);

    // Warm the page cache so both runs read from memory.
    {
        std::string warm;
        brolvin::readWholeFile(path, warm);
    }

    auto t0 = std::chrono::steady_clock::now();
    brolvin::SegmentHistory history;
    size_t bytesSeen = 0;
    long long segments = brolvin::streamFile(path, '~', [&](std::string_view seg) { bytesSeen += seg.size(); },
                                             &history);
    auto t1 = std::chrono::steady_clock::now();

    long long terminators = 0;
    {
        int fd = ::open(path.c_str(), O_RDONLY);
        std::vector<char> block(1 << 20);
        ssize_t got;
        while ((got = ::read(fd, block.data(), block.size())) > 0) {
            const char* p = block.data();
            const char* end = p + got;
            while ((p = static_cast<const char*>(std::memchr(p, '~', static_cast<size_t>(end - p))))) {
                ++terminators;
                ++p;
            }
        }
        ::close(fd);
    }
    auto t2 = std::chrono::steady_clock::now();

    double streamSec = seconds(t0, t1), scanSec = seconds(t1, t2);
    std::printf("source: %.1f MB, %lld segments (%zu segment bytes), %lld terminators\n", mb, segments,
                bytesSeen, terminators);
    std::printf("segment stream: %.3f s, %.0f segments/s, %.1f MB/s\n", streamSec, segments / streamSec,
                mb / streamSec);
    std::printf("memchr scan:    %.3f s, %.0f segments/s, %.1f MB/s\n", scanSec, terminators / scanSec,
                mb / scanSec);
    std::printf("ratio (stream / memchr throughput): %.2f\n", scanSec / streamSec);
    fs::remove_all(dir);
    return segments == terminators ? 0 : 2;
}
