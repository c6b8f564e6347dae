#include "util/progress.h"

namespace brolvin {

ProgressHandle CTL394MTRA(const ProgressHandle&, const std::string&, const std::string&) {
    return {};
}
void CTL394MTRC(double) {}
void CTL394MTRE(double) {}
void CTL394MTRB(const ProgressHandle&) {}

}  // namespace brolvin
