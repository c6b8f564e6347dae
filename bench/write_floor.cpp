// The least time any converter needs to put an output of a given size on
// disk: writes that many bytes to a new file in pieces of a given size (one
// write per record) and prints the wall seconds.
//
//   write_floor FILE BYTES [PIECE]
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: write_floor FILE BYTES [PIECE]\n");
        return 2;
    }
    long long total = std::atoll(argv[2]);
    size_t piece = argc > 3 ? static_cast<size_t>(std::atoll(argv[3])) : 4096;
    if (piece == 0) piece = 4096;
    std::vector<char> data(piece, 'x');
    auto t0 = std::chrono::steady_clock::now();
    int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0666);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    for (long long done = 0; done < total;) {
        size_t n = static_cast<size_t>(total - done < static_cast<long long>(piece) ? total - done : static_cast<long long>(piece));
        ssize_t w = ::write(fd, data.data(), n);
        if (w <= 0) {
            std::perror("write");
            return 1;
        }
        done += w;
    }
    ::close(fd);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ::unlink(argv[1]);
    std::printf("%.6f\n", s);
    return 0;
}
