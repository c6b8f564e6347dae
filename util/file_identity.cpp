#include "util/file_identity.h"

#include "util/os.h"

namespace brolvin {

bool sameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    os::FileId ia, ib;
    return os::fileId(a, ia) && os::fileId(b, ib) && ia == ib;
}

}  // namespace brolvin
