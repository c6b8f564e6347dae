#include "app/entry.h"
#include "util/os.h"
#include "util/platform.h"

int main(int argc, char** argv) {
    brolvin::os::keepFreedMemoryForReuse();
    brolvin::os::reportWriteFaultsAsErrors();
    const auto params = brolvin::os::programArguments(argc, argv);
    brolvin::SystemPlatform platform;
    return brolvin::MAIN(params, platform);
}
