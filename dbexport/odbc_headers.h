// The ODBC headers; on Windows they need the system's base types first.
#pragma once

#include "util/windows_api.h"
#include <sql.h>
#include <sqlext.h>
