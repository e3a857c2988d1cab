// The ODBC driver manager's calls, through a table filled on first use: the
// manager (unixODBC on Linux, odbc32.dll on Windows) is loaded then, so a
// program that opens no server table never maps it (on Windows, nor what
// odbc32 brings with it: the window and graphics libraries).
#pragma once

#include "platform/db/odbc/odbc_connection.h"  // the ODBC headers, as the system needs them

// Every ODBC function the backend calls.
#define DORVANE_ODBC_CALLS(X) \
  X(SQLAllocHandle)           \
  X(SQLFreeHandle)            \
  X(SQLSetEnvAttr)            \
  X(SQLSetConnectAttr)        \
  X(SQLGetConnectAttr)        \
  X(SQLDriverConnectW)        \
  X(SQLDisconnect)            \
  X(SQLGetDiagRecW)           \
  X(SQLSetStmtAttr)           \
  X(SQLExecDirectW)           \
  X(SQLPrepareW)              \
  X(SQLBindParameter)         \
  X(SQLExecute)               \
  X(SQLFetch)                 \
  X(SQLFreeStmt)              \
  X(SQLNumResultCols)         \
  X(SQLDescribeColW)          \
  X(SQLColAttributeW)         \
  X(SQLGetData)               \
  X(SQLTablesW)               \
  X(SQLColumnsW)              \
  X(SQLStatisticsW)

namespace dorvane::db {

struct OdbcApi {
#define DORVANE_ODBC_MEMBER(name) decltype(&::name) name = nullptr;
  DORVANE_ODBC_CALLS(DORVANE_ODBC_MEMBER)
#undef DORVANE_ODBC_MEMBER
};

// The calls, loaded on the first use (thread-safe). Raises 3151 naming the
// loader's reason when the driver manager cannot be loaded.
const OdbcApi& driverManager();

}  // namespace dorvane::db
