#pragma once

// The ODBC headers, for every file of the library that calls ODBC. Windows'
// own ODBC headers use the types of <windows.h> without including it.
#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include <sql.h>
#include <sqlext.h>
