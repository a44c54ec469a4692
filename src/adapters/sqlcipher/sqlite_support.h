#pragma once

#include "core/ports/playlist_store.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

#define SQLITE_HAS_CODEC
#include <sqlite3.h>

namespace ostrelle::sqlcipher {

inline constexpr int kIdField = 0;
inline constexpr int kSeqField = kListedField;
inline constexpr int kColumnCount = 56;
inline constexpr int kBusyTimeoutMs = 5000;

// The table's column name at a field position.
QByteArray ColumnName(int position);
// Creates the playlist table and its unique path index when they are missing.
QByteArray CreateSchemaSql();
// Creates the table of measured lengths when it is missing.
QByteArray CreateLengthsSql();
// Creates the table of dictation scores when it is missing.
QByteArray CreateScoresSql();
// The shadowing takes' scores, several for each segment of a file.
QByteArray CreateTakeScoresSql();
// The hard sentences with their review state, and the practice diary.
QByteArray CreateReviewSql();

struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// Shared by the store object and its recordsets, so a recordset may outlive the store object.
struct Connection {
    sqlite3* db = nullptr;
    QString path;

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { sqlite3_close_v2(db); }
};
using ConnectionPtr = std::shared_ptr<Connection>;

// The failure code of an SQLite result code that is not a success.
FailureCode CodeOf(int rc);
Failure SqliteFailure(sqlite3* db, int rc);
Result<void> Exec(sqlite3* db, const char* sql);
// Prepares exactly one statement: a second one after ";" would otherwise go unnoticed.
Result<void> PrepareOne(sqlite3* db, const QByteArray& sql, Statement& out);
int BindText(sqlite3_stmt* statement, int index, const std::optional<QString>& value);
Result<void> StepToEnd(sqlite3* db, sqlite3_stmt* statement);
// The first word of a command text, in capitals.
QString FirstWord(const QString& text);

// Runs body in one write transaction; anything but success leaves nothing open and nothing written.
template <typename Body>
Result<void> InTransaction(sqlite3* db, Body body) {
    // IMMEDIATE takes the write lock up front, so the busy timeout applies and no read lock must upgrade.
    Result<void> done = Exec(db, "BEGIN IMMEDIATE");
    if (!done.ok()) return done;
    done = body();
    if (done.ok()) done = Exec(db, "COMMIT");
    if (!done.ok() && !sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return done;
}

}  // namespace ostrelle::sqlcipher
