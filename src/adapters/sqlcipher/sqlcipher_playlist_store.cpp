#include "adapters/sqlcipher/sqlcipher_playlist_store.h"

#include "adapters/sqlcipher/sqlcipher_recordset.h"
#include "adapters/sqlcipher/sqlite_support.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>

#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace ostrelle {

using namespace sqlcipher;

namespace {

bool IsHex(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// A raw key is x'…' with 64 hex digits (or 96: key and salt), exactly as SQLCipher reads it; anything
// else starting with x' would silently become a passphrase.
bool IsRawKey(const QString& key) {
    if (key.size() != 67 && key.size() != 99) return false;
    if (!key.startsWith(u"x'", Qt::CaseInsensitive) || !key.endsWith(u'\'')) return false;
    for (qsizetype i = 2; i < key.size() - 1; ++i)
        if (!IsHex(key.at(i))) return false;
    return true;
}

Failure OpenFailure(FailureCode code, const QString& path, const QString& reason, sqlite3* db = nullptr) {
    QString detail = reason.isEmpty() ? path : QStringLiteral("%1（%2）").arg(path, reason);
    if (db) detail += u'\n' + QString::fromUtf8(sqlite3_errmsg(db));
    return {code, detail};
}

Failure OpenFailure(int rc, const QString& path, sqlite3* db) {
    const FailureCode code = CodeOf(rc);
    const bool kept = code == FailureCode::DatabaseDamaged || code == FailureCode::DatabaseBusy ||
                      code == FailureCode::DatabaseIo;
    return OpenFailure(kept ? code : FailureCode::DatabaseCannotOpen, path, {}, db);
}

// Reads the first column of the first row as text; nothing when there is no row.
Result<void> QueryText(sqlite3* db, const char* sql, std::optional<QString>& out, int& rc) {
    Statement statement;
    sqlite3_stmt* raw = nullptr;
    rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    statement.reset(raw);
    if (rc == SQLITE_OK) rc = sqlite3_step(statement.get());
    if (rc == SQLITE_ROW) {
        out = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0)));
        rc = SQLITE_OK;
    } else if (rc == SQLITE_DONE) {
        out.reset();
        rc = SQLITE_OK;
    }
    return rc == SQLITE_OK ? Result<void>() : SqliteFailure(db, rc);
}

// The existing table must have our columns at our positions, or every field read would be wrong.
bool HasPlaylistLayout(sqlite3* db) {
    Statement statement;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA table_info(playlist)", -1, &raw, nullptr) != SQLITE_OK) return false;
    statement.reset(raw);
    int position = 0;
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 1));
        if (position >= kColumnCount || ColumnName(position).compare(name, Qt::CaseInsensitive) != 0)
            return false;
        ++position;
    }
    return position == kColumnCount;
}

// Opens an existing (or, for a fresh temporary name, empty) file with key: checks the key and every page,
// switches to WAL and makes the playlist table when it is missing.
OpenResult OpenChecked(const QString& path, const QString& key) {
    auto connection = std::make_shared<Connection>();
    connection->path = path;
    // NOMUTEX: the database and its recordsets are used by one thread at a time (their own state is not
    // locked either), so SQLite need not lock on every column read.
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &connection->db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK || !connection->db)
        return OpenFailure(FailureCode::DatabaseCannotOpen, path, QStringLiteral("无法打开或创建文件"),
                           connection->db);
    sqlite3* db = connection->db;
    sqlite3_busy_timeout(db, kBusyTimeoutMs);

    // Passed as bytes, never spliced into SQL; SQLCipher itself tells a raw x'…' key from a passphrase.
    const QByteArray keyBytes = key.toUtf8();
    rc = sqlite3_key_v2(db, "main", keyBytes.constData(), static_cast<int>(keyBytes.size()));
    if (rc != SQLITE_OK) return OpenFailure(rc, path, db);

    // A wrong key or a damaged file shows only at the first read. Nothing is written before this passes.
    std::optional<QString> tableName;
    if (!QueryText(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'playlist'", tableName,
                   rc)
             .ok())
        return OpenFailure(rc, path, db);
    // Reads every page once, so a file cut short or damaged past page 1 is refused now, not written to later.
    std::optional<QString> check;
    if (!QueryText(db, "PRAGMA quick_check(1)", check, rc).ok()) return OpenFailure(rc, path, db);
    if (check != u"ok") {
        return OpenFailure(FailureCode::DatabaseDamaged, path,
                           QStringLiteral("文件已损坏 (%1)").arg(check.value_or(QString())));
    }
    if (sqlite3_db_readonly(db, "main") == 1)
        return OpenFailure(FailureCode::DatabaseCannotOpen, path, QStringLiteral("文件是只读的"));
    if (tableName && !HasPlaylistLayout(db)) {
        return OpenFailure(FailureCode::DatabaseDamaged, path,
                           QStringLiteral("表 playlist 的栏位与本程序不符"));
    }

    // WAL with synchronous=NORMAL: a killed process loses no commit, and a commit needs no fsync.
    // Switching to WAL takes the file's lock for a moment; another program opening it waits its turn.
    std::optional<QString> mode;
    QDeadlineTimer lockDeadline(kBusyTimeoutMs);
    while (!QueryText(db, "PRAGMA journal_mode = WAL", mode, rc).ok()) {
        if ((rc & 0xFF) != SQLITE_BUSY || lockDeadline.hasExpired()) return OpenFailure(rc, path, db);
        QThread::msleep(10);
    }
    if (!mode || mode->compare(u"wal", Qt::CaseInsensitive) != 0)
        return OpenFailure(FailureCode::DatabaseIo, path, QStringLiteral("无法切换到 WAL 日志模式"));
    if (!Exec(db, "PRAGMA synchronous = NORMAL").ok())
        return OpenFailure(FailureCode::DatabaseIo, path, QStringLiteral("无法设置同步方式"), db);
    // Pages are kept decrypted: a list of 10,000 files fits, so filling the grid again decrypts nothing.
    (void)Exec(db, "PRAGMA cache_size = -16384");

    std::optional<QString> sideTables;
    if (!QueryText(
             db,
             "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
             "name IN ('durations', 'dictation_scores', 'take_scores', 'hard_sentences', 'practice_days')",
             sideTables, rc)
             .ok())
        return OpenFailure(rc, path, db);
    if (!tableName || sideTables != u"5") {
        // A database from before lengths or scores were kept gains their tables and nothing else.
        const QByteArray schema = (tableName ? QByteArray() : CreateSchemaSql()) + CreateLengthsSql() +
                                  CreateScoresSql() + CreateTakeScoresSql() + CreateReviewSql();
        const Result<void> made = InTransaction(db, [&] { return Exec(db, schema.constData()); });
        if (!made.ok()) return OpenFailure(made.failure().code, path, made.failure().detail);
    }
    return OpenResult(std::make_unique<SqlCipherPlaylistStore>(std::move(connection)));
}

// A new database is made whole under a temporary name and then linked into place, so that two programs
// starting at once never key or half-see each other's new file.
Result<void> CreateInPlace(const QString& path, const QString& key) {
    const QByteArray target = QFile::encodeName(path);
    QByteArray temp = target + ".new-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return OpenFailure(FailureCode::DatabaseCannotOpen, path,
                           QString::fromLocal8Bit(std::strerror(errno)));
    ::close(fd);
    const auto removeTemp = qScopeGuard([&] { ::unlink(temp.constData()); });
    if (OpenResult made = OpenChecked(QFile::decodeName(temp), key); !made.ok()) return made.failure();
    // Closed again: its log is folded in, so the one file holds everything.
    if (::link(temp.constData(), target.constData()) == 0) return {};
    const int error = errno;
    // Another program made it first; only an empty file standing there is replaced.
    if (error == EEXIST) {
        if (QFileInfo(path).size() == 0) ::rename(temp.constData(), target.constData());
        return {};
    }
    // A file system without hard links: a rename does, unless the name has been taken meanwhile.
    if (!QFileInfo::exists(path) && ::rename(temp.constData(), target.constData()) == 0) return {};
    return OpenFailure(FailureCode::DatabaseCannotOpen, path, QString::fromLocal8Bit(std::strerror(error)));
}

}  // namespace

OpenResult OpenPlaylistStore(const QString& path, const QString& key) {
    if (path.isEmpty())
        return OpenFailure(FailureCode::DatabaseCannotOpen, path, QStringLiteral("没有文件名"));
    if (key.isEmpty()) return OpenFailure(FailureCode::DatabaseCannotOpen, path, QStringLiteral("没有密码"));
    if (key.startsWith(u"x'", Qt::CaseInsensitive) && !IsRawKey(key))
        return OpenFailure(FailureCode::DatabaseCannotOpen, path, QStringLiteral("密钥格式不对"));
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return OpenFailure(FailureCode::DatabaseCannotOpen, path, QStringLiteral("这不是一个文件"));

    if (!info.exists()) {
        // Logs left beside a file that is gone (deleted by the learner to start afresh) cannot belong to the
        // new one: applied to it, they would make it unreadable.
        for (const char* log : {"-wal", "-shm", "-journal"})
            QFile::remove(path + QLatin1String(log));
    }
    if (!info.exists() || info.size() == 0) {
        if (Result<void> made = CreateInPlace(path, key); !made.ok()) return made.failure();
    }
    return OpenChecked(path, key);
}

namespace {

const QString kListedRowsSql = QStringLiteral("select * from playlist where seq=1 order by seq asc");
const QString kAllRowsSql = QStringLiteral("select * from playlist");
const QString kRowByPathSql = QStringLiteral("select * from playlist where savepath = ?");
const QString kDeleteAllRowsSql = QStringLiteral("delete from playlist");
const QString kKeptLengthSql = QStringLiteral("select size, mtime, seconds from durations where path = ?");
const QString kKeepLengthsSql =
    QStringLiteral("insert or replace into durations (path, size, mtime, seconds) values ");
const QString kKeepScoreSql =
    QStringLiteral("insert or replace into dictation_scores (path, line_ms, percent) values (?, ?, ?)");
const QString kScoresSql = QStringLiteral("select line_ms, percent from dictation_scores where path = ?");
const QString kKeepTakeScoreSql = QStringLiteral(
    "insert into take_scores (path, a_ms, b_ms, when_ms, content, timing, intonation) values (?, ?, ?, ?, ?, "
    "?, ?)");
const QString kTakeScoresSql = QStringLiteral(
    "select when_ms, content, timing, intonation from take_scores where path = ? and a_ms = ? and b_ms = ? "
    "order by when_ms desc, rowid desc limit ?");
// Rows per insert: four parameters each, within SQLite's 999.
constexpr std::size_t kLengthsPerInsert = 200;

// The condition of a row without any segment: every slot Null or empty.
QByteArray WithoutSegmentsSql() {
    QByteArray sql;
    for (int position = kFirstSegmentField; position <= kLastSegmentField; ++position) {
        if (!sql.isEmpty()) sql += " and ";
        sql += "coalesce(" + ColumnName(position) + ",'')=''";
    }
    return sql;
}

}  // namespace

SqlCipherPlaylistStore::SqlCipherPlaylistStore(ConnectionPtr connection)
    : connection_(std::move(connection)) {}

QueryResult SqlCipherPlaylistStore::ListedRows() {
    return Execute(kListedRowsSql);
}

QueryResult SqlCipherPlaylistStore::AllRows() {
    return Execute(kAllRowsSql);
}

QueryResult SqlCipherPlaylistStore::RowFor(const QString& path) {
    return Execute(kRowByPathSql, {path});
}

Result<void> SqlCipherPlaylistStore::DeleteAll() {
    QueryResult deleted = Execute(kDeleteAllRowsSql);
    if (!deleted.ok()) return deleted.failure();
    return {};
}

Result<void> SqlCipherPlaylistStore::Unlist(const QString& path) {
    return WriteTogether({"delete from playlist where savepath=? and " + WithoutSegmentsSql(),
                          "update playlist set seq=0 where savepath=?"},
                         path);
}

Result<void> SqlCipherPlaylistStore::UnlistAll() {
    return WriteTogether({"delete from playlist where " + WithoutSegmentsSql(), "update playlist set seq=0"});
}

Result<void> SqlCipherPlaylistStore::Relist(const QString& path) {
    // The list is in id order: a fresh id puts the row last. Ids are never reused, so the counter of
    // given ids moves on with it.
    return WriteTogether({"update playlist set seq=1, id=1+max((select coalesce(max(id),0) from playlist),"
                          " coalesce((select seq from sqlite_sequence where name='playlist'),0))"
                          " where savepath=? and seq<>1",
                          "update sqlite_sequence set seq=max(seq,(select coalesce(max(id),0) from playlist))"
                          " where name='playlist'"},
                         path);
}

Result<void> SqlCipherPlaylistStore::WriteTogether(std::initializer_list<QByteArray> commands,
                                                   const QString& path) {
    sqlite3* db = connection_->db;
    return InTransaction(db, [&]() -> Result<void> {
        for (const QByteArray& command : commands) {
            Statement statement;
            if (Result<void> prepared = PrepareOne(db, command, statement); !prepared.ok()) return prepared;
            if (sqlite3_bind_parameter_count(statement.get()) > 0) {
                if (const int rc = BindText(statement.get(), 1, path); rc != SQLITE_OK)
                    return SqliteFailure(db, rc);
            }
            if (Result<void> done = StepToEnd(db, statement.get()); !done.ok()) return done;
        }
        return {};
    });
}

std::optional<KeptLength> SqlCipherPlaylistStore::KeptLengthOf(const QString& path) {
    QueryResult result = Execute(kKeptLengthSql, {path});
    if (!result.ok() || result.value()->Eof()) return std::nullopt;
    const Recordset& row = *result.value();
    bool sizeOk = false, timeOk = false, secondsOk = false;
    const KeptLength kept{row.Field(0).value_or(QString()).toLongLong(&sizeOk),
                          row.Field(1).value_or(QString()).toLongLong(&timeOk),
                          row.Field(2).value_or(QString()).toDouble(&secondsOk)};
    if (!sizeOk || !timeOk || !secondsOk) return std::nullopt;
    return kept;
}

Result<void> SqlCipherPlaylistStore::KeepLengths(const std::vector<std::pair<QString, KeptLength>>& lengths) {
    // A few hundred rows per statement: a list import keeps its lengths in a few commits, not one per file.
    for (std::size_t first = 0; first < lengths.size(); first += kLengthsPerInsert) {
        const std::size_t count = std::min(kLengthsPerInsert, lengths.size() - first);
        QString command = kKeepLengthsSql;
        QStringList parameters;
        for (std::size_t i = first; i < first + count; ++i) {
            const auto& [path, length] = lengths[i];
            command += i == first ? QStringLiteral("(?, ?, ?, ?)") : QStringLiteral(", (?, ?, ?, ?)");
            parameters << path << QString::number(length.sizeBytes) << QString::number(length.modifiedMs)
                       << QString::number(length.seconds, 'g', 17);
        }
        if (const QueryResult kept = Execute(command, parameters); !kept.ok()) return kept.failure();
    }
    return {};
}

Result<void> SqlCipherPlaylistStore::KeepScore(const QString& path, qint64 lineMs, int percent) {
    const QueryResult kept =
        Execute(kKeepScoreSql, {path, QString::number(lineMs), QString::number(percent)});
    if (!kept.ok()) return kept.failure();
    return {};
}

Result<std::map<qint64, int>> SqlCipherPlaylistStore::ScoresOf(const QString& path) {
    QueryResult result = Execute(kScoresSql, {path});
    if (!result.ok()) return result.failure();
    std::map<qint64, int> scores;
    for (Recordset& row = *result.value(); !row.Eof(); row.MoveNext())
        scores[row.Field(0).value_or(QString()).toLongLong()] = row.Field(1).value_or(QString()).toInt();
    return scores;
}

Result<void> SqlCipherPlaylistStore::KeepTakeScore(const QString& path, qint64 aMs, qint64 bMs,
                                                   const Entry& entry) {
    const QueryResult kept =
        Execute(kKeepTakeScoreSql, {path, QString::number(aMs), QString::number(bMs),
                                    QString::number(entry.whenMs), QString::number(entry.content),
                                    QString::number(entry.timing), QString::number(entry.intonation)});
    if (!kept.ok()) return kept.failure();
    return {};
}

Result<std::vector<TakeScoreHistory::Entry>> SqlCipherPlaylistStore::TakeScoresOf(const QString& path,
                                                                                  qint64 aMs, qint64 bMs,
                                                                                  int count) {
    QueryResult result =
        Execute(kTakeScoresSql, {path, QString::number(aMs), QString::number(bMs), QString::number(count)});
    if (!result.ok()) return result.failure();
    std::vector<Entry> entries;
    for (Recordset& row = *result.value(); !row.Eof(); row.MoveNext()) {
        const auto field = [&row](int at) { return row.Field(at).value_or(QString()).toLongLong(); };
        entries.push_back(
            {field(0), static_cast<int>(field(1)), static_cast<int>(field(2)), static_cast<int>(field(3))});
    }
    return entries;
}

QString SqlCipherPlaylistStore::Path() const {
    return connection_->path;
}

QueryResult SqlCipherPlaylistStore::Execute(const QString& commandText, const QStringList& parameters) {
    sqlite3* db = connection_->db;
    const QString word = FirstWord(commandText);
    const bool write = word == u"INSERT" || word == u"DELETE" || word == u"UPDATE";
    // Only selects are read: a PRAGMA could rekey the file, an ATTACH create one, a BEGIN stay open.
    if (!write && word != u"SELECT" && word != u"WITH" && word != u"VALUES")
        return Failure{FailureCode::DatabaseBadCommand, QStringLiteral("不是查询命令: %1").arg(word)};

    Statement statement;
    if (Result<void> prepared = PrepareOne(db, commandText.toUtf8(), statement); !prepared.ok())
        return prepared.failure();
    if (!write && !sqlite3_stmt_readonly(statement.get()))
        return Failure{FailureCode::DatabaseBadCommand, QStringLiteral("查询命令不能修改数据")};
    if (sqlite3_bind_parameter_count(statement.get()) != parameters.size()) {
        return Failure{FailureCode::DatabaseBadCommand,
                       QStringLiteral("命令需要 %1 个参数，给了 %2 个")
                           .arg(sqlite3_bind_parameter_count(statement.get()))
                           .arg(parameters.size())};
    }
    for (int i = 0; i < parameters.size(); ++i) {
        if (const int rc = BindText(statement.get(), i + 1, parameters[i]); rc != SQLITE_OK)
            return SqliteFailure(db, rc);
    }

    if (write) {
        const Result<void> written = InTransaction(db, [&] { return StepToEnd(db, statement.get()); });
        if (!written.ok()) return written.failure();
        return QueryResult(std::unique_ptr<Recordset>());
    }

    const int columns = sqlite3_column_count(statement.get());
    bool updatable = columns == kColumnCount;
    for (int i = 0; updatable && i < columns; ++i)
        updatable = ColumnName(i).compare(sqlite3_column_name(statement.get(), i), Qt::CaseInsensitive) == 0;
    QueryResult read = ReadRecordset(connection_, statement.get(), columns, updatable);
    statement.reset();
    if (!sqlite3_get_autocommit(db)) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        if (read.ok())
            return Failure{FailureCode::DatabaseBadCommand, QStringLiteral("查询留下了未结束的事务")};
    }
    return read;
}

}  // namespace ostrelle
