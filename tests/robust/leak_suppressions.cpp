// Under LeakSanitizer: the ODBC driver manager's setup library and the SQLite
// driver keep a few bytes of a failed connection, which no caller can free.
// Both are pinned in memory so their frames keep their module names, and
// those modules' leaks are ignored; leaks anywhere else still fail the run.
#include <string>

#include "dbexport/db_test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define BROLVIN_LEAK_CHECKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BROLVIN_LEAK_CHECKS 1
#endif
#endif

#ifdef BROLVIN_LEAK_CHECKS
#include <dlfcn.h>

extern "C" const char* __lsan_default_suppressions() { return "leak:libsqlite3odbc\nleak:libodbcinst\n"; }

namespace {
const bool driverPinned = [] {
    std::string driver = brolvin::test::findDriver("libsqlite3odbc.so");
    bool pinned = !driver.empty() && dlopen(driver.c_str(), RTLD_NOW | RTLD_NODELETE) != nullptr;
    return dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE) != nullptr && pinned;
}();
}  // namespace
#endif
