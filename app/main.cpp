#include <string>
#include <vector>

#include "app/entry.h"
#include "util/platform.h"

int main(int argc, char** argv) {
    std::vector<std::string> params;
    for (int i = 1; i < argc; ++i) params.emplace_back(argv[i]);
    brolvin::SystemPlatform platform;
    return brolvin::MAIN(params, platform);
}
