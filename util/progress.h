// Progress reporting of the X12 generation modes. The console program shows
// no progress display, so these do nothing; callers still invoke them only
// when the whole-number percentage changes.
#pragma once

#include <string>

namespace brolvin {

struct ProgressHandle {};

ProgressHandle CTL394MTRA(const ProgressHandle& handle, const std::string& title,
                          const std::string& message);
void CTL394MTRC(double percent);
void CTL394MTRE(double percent);
void CTL394MTRB(const ProgressHandle& handle);

}  // namespace brolvin
