#pragma once

#include "adapters/sqlcipher/sqlite_support.h"

namespace ostrelle::sqlcipher {

// Steps the statement to its end and keeps every row as a recordset. An updatable recordset (the statement
// reads the playlist table's columns in order) writes changes back to the table by row id.
QueryResult ReadRecordset(ConnectionPtr connection, sqlite3_stmt* statement, int columns, bool updatable);

}  // namespace ostrelle::sqlcipher
