// The ODBC headers; on Windows they need the system's base types first.
#pragma once

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
