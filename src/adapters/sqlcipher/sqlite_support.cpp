#include "adapters/sqlcipher/sqlite_support.h"

#include <climits>

namespace ostrelle::sqlcipher {

QByteArray ColumnName(int position) {
    switch (position) {
        case kIdField:
            return "id";
        case kFileNameField:
            return "filename";
        case kSavePathField:
            return "savepath";
        case kPlayTimeField:
            return "playtime";
        case 4:
            return "reserved";
        case kSeqField:
            return "seq";
        default:
            return "segment" + QByteArray::number(position - kFirstSegmentField + 1);
    }
}

QByteArray CreateSchemaSql() {
    // AUTOINCREMENT: an id is never reused, so a stale recordset cannot update or delete a newer row.
    QByteArray sql = "CREATE TABLE IF NOT EXISTS playlist (id INTEGER PRIMARY KEY AUTOINCREMENT";
    for (int position = 1; position < kSeqField; ++position)
        sql += ", " + ColumnName(position) + " TEXT";
    sql +=
        ", seq INTEGER NOT NULL DEFAULT 1);"
        "CREATE UNIQUE INDEX IF NOT EXISTS playlist_savepath ON playlist (savepath);";
    return sql;
}

QByteArray CreateLengthsSql() {
    return "CREATE TABLE IF NOT EXISTS durations (path TEXT PRIMARY KEY NOT NULL, size INTEGER NOT NULL, "
           "mtime INTEGER NOT NULL, seconds REAL NOT NULL);";
}

QByteArray CreateScoresSql() {
    // The checks make a score out of range a refused write rather than a row the program misreads.
    return "CREATE TABLE IF NOT EXISTS dictation_scores (path TEXT NOT NULL, "
           "line_ms INTEGER NOT NULL CHECK (line_ms >= 0), "
           "percent INTEGER NOT NULL CHECK (percent BETWEEN 0 AND 100), PRIMARY KEY (path, line_ms));";
}

QByteArray CreateTakeScoresSql() {
    return "CREATE TABLE IF NOT EXISTS take_scores (path TEXT NOT NULL, a_ms INTEGER NOT NULL, "
           "b_ms INTEGER NOT NULL, when_ms INTEGER NOT NULL, "
           "content INTEGER NOT NULL CHECK (content BETWEEN 0 AND 100), "
           "timing INTEGER NOT NULL CHECK (timing BETWEEN 0 AND 100), "
           "intonation INTEGER NOT NULL CHECK (intonation BETWEEN 0 AND 100));"
           "CREATE INDEX IF NOT EXISTS take_scores_segment ON take_scores (path, a_ms, b_ms, when_ms);";
}

QByteArray CreateReviewSql() {
    return "CREATE TABLE IF NOT EXISTS hard_sentences (path TEXT NOT NULL, a_ms INTEGER NOT NULL, "
           "b_ms INTEGER NOT NULL CHECK (b_ms > a_ms), segment INTEGER NOT NULL, reason INTEGER NOT NULL, "
           "since_ms INTEGER NOT NULL, text TEXT NOT NULL DEFAULT '', phase INTEGER NOT NULL, "
           "step INTEGER NOT NULL, stability REAL NOT NULL, difficulty REAL NOT NULL, due_ms INTEGER NOT "
           "NULL, "
           "last_ms INTEGER NOT NULL, reviews INTEGER NOT NULL, lapses INTEGER NOT NULL, "
           "PRIMARY KEY (path, a_ms, b_ms));"
           "CREATE INDEX IF NOT EXISTS hard_sentences_due ON hard_sentences (due_ms);"
           "CREATE TABLE IF NOT EXISTS practice_days (day TEXT PRIMARY KEY NOT NULL, "
           "played_ms INTEGER NOT NULL DEFAULT 0, passes INTEGER NOT NULL DEFAULT 0, "
           "takes INTEGER NOT NULL DEFAULT 0, dictated INTEGER NOT NULL DEFAULT 0, "
           "reviewed INTEGER NOT NULL DEFAULT 0);";
}

FailureCode CodeOf(int rc) {
    switch (rc & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return FailureCode::DatabaseBusy;
        case SQLITE_CONSTRAINT:
            return FailureCode::DatabaseRefused;
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            return FailureCode::DatabaseDamaged;
        case SQLITE_CANTOPEN:
            return FailureCode::DatabaseCannotOpen;
        case SQLITE_ERROR:
        case SQLITE_RANGE:
        case SQLITE_MISUSE:
        case SQLITE_TOOBIG:
        case SQLITE_MISMATCH:
            return FailureCode::DatabaseBadCommand;
        default:
            return FailureCode::DatabaseIo;  // FULL, IOERR, READONLY, PERM, NOMEM, ...
    }
}

Failure SqliteFailure(sqlite3* db, int rc) {
    return {CodeOf(rc), QString::fromUtf8(sqlite3_errmsg(db))};
}

Result<void> Exec(sqlite3* db, const char* sql) {
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? Result<void>() : SqliteFailure(db, rc);
}

Result<void> PrepareOne(sqlite3* db, const QByteArray& sql, Statement& out) {
    if (sql.size() >= INT_MAX) return Failure{FailureCode::DatabaseBadCommand, QStringLiteral("命令太长")};
    const char* end = sql.constData() + sql.size();
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &raw, &tail);
    out.reset(raw);
    if (rc != SQLITE_OK) {
        // Locks and damage keep their own codes; everything else is a text the store cannot run.
        const FailureCode code = CodeOf(rc);
        const bool kept = code == FailureCode::DatabaseBusy || code == FailureCode::DatabaseDamaged ||
                          code == FailureCode::DatabaseIo;
        return Failure{kept ? code : FailureCode::DatabaseBadCommand, QString::fromUtf8(sqlite3_errmsg(db))};
    }
    if (!out) return Failure{FailureCode::DatabaseBadCommand, QStringLiteral("空命令")};
    while (tail && tail < end) {
        sqlite3_stmt* extra = nullptr;
        const char* next = nullptr;
        rc = sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &extra, &next);
        sqlite3_finalize(extra);
        if (rc != SQLITE_OK || extra) {
            out.reset();
            return Failure{FailureCode::DatabaseBadCommand, QStringLiteral("一次只能执行一条命令")};
        }
        if (next == tail) break;
        tail = next;
    }
    return {};
}

int BindText(sqlite3_stmt* statement, int index, const std::optional<QString>& value) {
    if (!value) return sqlite3_bind_null(statement, index);
    const QByteArray utf8 = value->toUtf8();
    return sqlite3_bind_text64(statement, index, utf8.constData(), static_cast<sqlite3_uint64>(utf8.size()),
                               SQLITE_TRANSIENT, SQLITE_UTF8);
}

Result<void> StepToEnd(sqlite3* db, sqlite3_stmt* statement) {
    int rc;
    do {
        rc = sqlite3_step(statement);
    } while (rc == SQLITE_ROW);
    return rc == SQLITE_DONE ? Result<void>() : SqliteFailure(db, rc);
}

QString FirstWord(const QString& text) {
    const QString trimmed = text.trimmed();
    qsizetype length = 0;
    while (length < trimmed.size() && trimmed.at(length).isLetter())
        ++length;
    return trimmed.left(length).toUpper();
}

}  // namespace ostrelle::sqlcipher
