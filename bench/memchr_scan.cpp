// The benchmark's yardstick: reads a file in 1 MB blocks and counts the
// bytes "~" with memchr. Prints the best of several passes: wall seconds,
// bytes, terminators, processor seconds.
//
//   memchr_scan FILE [PASSES]
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: memchr_scan FILE [PASSES]\n");
        return 2;
    }
    int passes = argc > 2 ? std::atoi(argv[2]) : 3;
    if (passes < 1) passes = 1;
    std::vector<char> block(1 << 20);
    double best = 1e30, bestCpu = 1e30;
    auto cpuNow = [] {
        struct rusage u {};
        ::getrusage(RUSAGE_SELF, &u);
        return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    long long bytes = 0, hits = 0;
    for (int pass = 0; pass < passes; ++pass) {
        int fd = ::open(argv[1], O_RDONLY);
        if (fd < 0) {
            std::perror(argv[1]);
            return 1;
        }
        auto t0 = std::chrono::steady_clock::now();
        double c0 = cpuNow();
        bytes = hits = 0;
        ssize_t got;
        while ((got = ::read(fd, block.data(), block.size())) > 0) {
            bytes += got;
            const char* p = block.data();
            const char* end = p + got;
            while ((p = static_cast<const char*>(std::memchr(p, '~', static_cast<size_t>(end - p))))) {
                ++hits;
                ++p;
            }
        }
        ::close(fd);
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        double c = cpuNow() - c0;
        if (s < best) best = s;
        if (c > 0 && c < bestCpu) bestCpu = c;
    }
    if (bestCpu > 1e29) bestCpu = best;
    // seconds bytes terminators cpu-seconds
    std::printf("%.6f %lld %lld %.6f\n", best, bytes, hits, bestCpu);
    return 0;
}
