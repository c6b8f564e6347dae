#include "app/entry.h"

namespace brolvin {

const char* const VERNUM = " 1.25C-31";
const char* const SUBVER = " 1.20C-28";

int MAIN(const std::vector<std::string>&, Platform& platform) {
    platform.consoleLine("Brolvin Core");
    return 0;
}

}  // namespace brolvin
