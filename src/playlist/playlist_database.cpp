#include "playlist/playlist_database.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>

#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#define SQLITE_HAS_CODEC
#include <sqlite3.h>

namespace ostrelle {
namespace {

constexpr int kIdField = 0;
constexpr int kSeqField = 55;
constexpr int kColumnCount = 56;
constexpr int kBusyTimeoutMs = 5000;

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

struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// Shared by the database object and its recordsets, so a recordset may outlive the database object.
struct Connection {
    sqlite3* db = nullptr;
    QString path;

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { sqlite3_close_v2(db); }
};
using ConnectionPtr = std::shared_ptr<Connection>;

QString Summary(StoreError code) {
    switch (code) {
        case StoreError::None:
            return {};
        case StoreError::CannotOpen:
            return QStringLiteral("无法打开播放列表数据库");
        case StoreError::NotADatabase:
            return QStringLiteral("播放列表数据库已损坏或密码错误");
        case StoreError::Busy:
            return QStringLiteral("播放列表数据库正被另一个程序使用，请稍后再试");
        case StoreError::Constraint:
            return QStringLiteral("播放列表数据库拒绝了这次修改（例如同一个文件已在列表中）");
        case StoreError::BadCommand:
            return QStringLiteral("播放列表数据库命令有误");
        case StoreError::Io:
            return QStringLiteral("读写播放列表数据库时出错");
        case StoreError::Unavailable:
            return QStringLiteral("播放列表数据库不可用");
    }
    return {};
}

StoreFailure Failure(StoreError code, const QString& detail) {
    if (code == StoreError::None) return {};
    return {code, QStringLiteral("%1: %2").arg(Summary(code), detail)};
}

StoreError CodeOf(int rc) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW:
            return StoreError::None;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return StoreError::Busy;
        case SQLITE_CONSTRAINT:
            return StoreError::Constraint;
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            return StoreError::NotADatabase;
        case SQLITE_CANTOPEN:
            return StoreError::CannotOpen;
        case SQLITE_ERROR:
        case SQLITE_RANGE:
        case SQLITE_MISUSE:
        case SQLITE_TOOBIG:
        case SQLITE_MISMATCH:
            return StoreError::BadCommand;
        default:
            return StoreError::Io;  // FULL, IOERR, READONLY, PERM, NOMEM, ...
    }
}

StoreFailure SqliteFailure(sqlite3* db, int rc) {
    return Failure(CodeOf(rc), QString::fromUtf8(sqlite3_errmsg(db)));
}

StoreFailure Exec(sqlite3* db, const char* sql) {
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? StoreFailure{} : SqliteFailure(db, rc);
}

// Prepares exactly one statement: a second one after ";" would otherwise go unnoticed.
StoreFailure PrepareOne(sqlite3* db, const QByteArray& sql, Statement& out) {
    if (sql.size() >= INT_MAX) return Failure(StoreError::BadCommand, QStringLiteral("命令太长"));
    const char* end = sql.constData() + sql.size();
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &raw, &tail);
    out.reset(raw);
    if (rc != SQLITE_OK) {
        // Locks and damage keep their own codes; everything else is a text the store cannot run.
        const StoreError code = CodeOf(rc);
        const bool kept =
            code == StoreError::Busy || code == StoreError::NotADatabase || code == StoreError::Io;
        return Failure(kept ? code : StoreError::BadCommand, QString::fromUtf8(sqlite3_errmsg(db)));
    }
    if (!out) return Failure(StoreError::BadCommand, QStringLiteral("空命令"));
    while (tail && tail < end) {
        sqlite3_stmt* extra = nullptr;
        const char* next = nullptr;
        rc = sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &extra, &next);
        sqlite3_finalize(extra);
        if (rc != SQLITE_OK || extra) {
            out.reset();
            return Failure(StoreError::BadCommand, QStringLiteral("一次只能执行一条命令"));
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

StoreFailure StepToEnd(sqlite3* db, sqlite3_stmt* statement) {
    int rc;
    do {
        rc = sqlite3_step(statement);
    } while (rc == SQLITE_ROW);
    return rc == SQLITE_DONE ? StoreFailure{} : SqliteFailure(db, rc);
}

// Runs body in one write transaction; anything but success leaves nothing open and nothing written.
template <typename Body>
StoreFailure InTransaction(sqlite3* db, Body body) {
    // IMMEDIATE takes the write lock up front, so the busy timeout applies and no read lock must upgrade.
    StoreFailure failure = Exec(db, "BEGIN IMMEDIATE");
    if (failure) return failure;
    failure = body();
    if (!failure) failure = Exec(db, "COMMIT");
    if (failure && !sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return failure;
}

QString FirstWord(const QString& text) {
    const QString trimmed = text.trimmed();
    qsizetype length = 0;
    while (length < trimmed.size() && trimmed.at(length).isLetter())
        ++length;
    return trimmed.left(length).toUpper();
}

// One row as read: the UTF-8 of its fields back to back, decoded only when a field is asked for.
struct Row {
    QByteArray text;
    std::vector<std::pair<int, int>> spans;         // start and length per field; length -1 for Null
    std::map<int, std::optional<QString>> changed;  // values set since the read
    std::set<int> pending;                          // changed fields not yet written
    qint64 id = 0;
    bool fresh = false;  // added, not yet inserted
    bool deleted = false;
};

class SqlRecordset final : public Recordset {
public:
    SqlRecordset(ConnectionPtr connection, int columns, bool updatable)
        : connection_(std::move(connection)), columns_(columns), updatable_(updatable) {}

    StoreFailure ReadAll(sqlite3_stmt* statement) {
        std::vector<const char*> data(static_cast<size_t>(columns_));
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            Row row;
            row.spans.reserve(static_cast<size_t>(columns_));
            int total = 0;
            for (int i = 0; i < columns_; ++i) {
                if (sqlite3_column_type(statement, i) == SQLITE_NULL) {
                    row.spans.emplace_back(0, -1);
                    continue;
                }
                data[static_cast<size_t>(i)] =
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
                const int bytes = sqlite3_column_bytes(statement, i);
                if (bytes > INT_MAX - total) return Failure(StoreError::Io, QStringLiteral("一行数据太大"));
                row.spans.emplace_back(total, bytes);
                total += bytes;
            }
            // One allocation per row: the pointers stay valid until the next step.
            row.text.resize(total);
            for (int i = 0; i < columns_; ++i) {
                const auto [start, length] = row.spans[static_cast<size_t>(i)];
                if (length > 0) std::memcpy(row.text.data() + start, data[static_cast<size_t>(i)], length);
            }
            if (updatable_) row.id = sqlite3_column_int64(statement, kIdField);
            rows_.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) return SqliteFailure(connection_->db, rc);
        live_ = static_cast<int>(rows_.size());
        current_ = 0;
        return {};
    }

    bool Eof() const override { return current_ >= rows_.size(); }

    void MoveFirst() override { SkipDeletedFrom(0); }

    void MoveNext() override {
        if (!Eof()) SkipDeletedFrom(current_ + 1);
    }

    int RecordCount() const override { return live_; }

    std::optional<QString> Field(int position) const override {
        if (Eof() || position < 0 || position >= columns_) return std::nullopt;
        const Row& row = rows_[current_];
        if (const auto it = row.changed.find(position); it != row.changed.end()) return it->second;
        const auto [start, length] = row.spans[static_cast<size_t>(position)];
        if (length < 0) return std::nullopt;
        return QString::fromUtf8(row.text.constData() + start, length);
    }

    void SetField(int position, const std::optional<QString>& value) override {
        if (Eof() || position <= kIdField || position >= columns_) return;
        Row& row = rows_[current_];
        if (row.deleted) return;
        row.changed[position] = value;
        row.pending.insert(position);
    }

    void AddNew() override {
        Row row;
        row.spans.assign(static_cast<size_t>(columns_), {0, -1});
        row.fresh = true;
        if (updatable_) row.changed[kSeqField] = QStringLiteral("1");
        rows_.push_back(std::move(row));
        current_ = rows_.size() - 1;
        ++live_;
    }

    StoreFailure Update() override {
        if (Eof()) return Failure(StoreError::BadCommand, QStringLiteral("没有当前行"));
        Row& row = rows_[current_];
        if (row.deleted || (!row.fresh && row.pending.empty())) return {};
        if (!updatable_) return NotUpdatable();
        sqlite3* db = connection_->db;
        const std::vector<int> fields(row.pending.begin(), row.pending.end());
        QByteArray sql;
        if (row.fresh && fields.empty()) {
            sql = "INSERT INTO playlist DEFAULT VALUES";
        } else if (row.fresh) {
            QByteArray values;
            for (const int field : fields) {
                sql += (sql.isEmpty() ? "" : ", ") + ColumnName(field);
                values += values.isEmpty() ? "?" : ", ?";
            }
            sql = "INSERT INTO playlist (" + sql + ") VALUES (" + values + ")";
        } else {
            for (const int field : fields)
                sql += (sql.isEmpty() ? "" : ", ") + ColumnName(field) + " = ?";
            sql = "UPDATE playlist SET " + sql + " WHERE id = ?";
        }
        qint64 insertedId = 0;
        const StoreFailure failure = InTransaction(db, [&]() -> StoreFailure {
            Statement statement;
            if (StoreFailure f = PrepareOne(db, sql, statement)) return f;
            int index = 1;
            for (const int field : fields) {
                if (const int rc = BindText(statement.get(), index++, row.changed[field]); rc != SQLITE_OK)
                    return SqliteFailure(db, rc);
            }
            if (!row.fresh) sqlite3_bind_int64(statement.get(), index, row.id);
            if (StoreFailure f = StepToEnd(db, statement.get())) return f;
            if (!row.fresh && sqlite3_changes(db) == 0)
                return Failure(StoreError::BadCommand, QStringLiteral("这一行已不在播放列表中"));
            insertedId = sqlite3_last_insert_rowid(db);
            return {};
        });
        if (failure) return failure;  // the changes stay pending, so the caller may try again
        if (row.fresh) {
            row.fresh = false;
            row.id = insertedId;
            row.changed[kIdField] = QString::number(insertedId);
        }
        row.pending.clear();
        return {};
    }

    StoreFailure DeleteCurrent() override {
        if (Eof()) return Failure(StoreError::BadCommand, QStringLiteral("没有当前行"));
        Row& row = rows_[current_];
        if (row.deleted) return {};
        if (!row.fresh) {
            if (!updatable_) return NotUpdatable();
            sqlite3* db = connection_->db;
            const qint64 id = row.id;
            const StoreFailure failure = InTransaction(db, [db, id]() -> StoreFailure {
                Statement statement;
                if (StoreFailure f = PrepareOne(db, "DELETE FROM playlist WHERE id = ?", statement)) return f;
                sqlite3_bind_int64(statement.get(), 1, id);
                return StepToEnd(db, statement.get());
            });
            if (failure) return failure;
        }
        row.deleted = true;
        row.pending.clear();
        --live_;
        return {};
    }

private:
    static StoreFailure NotUpdatable() {
        return Failure(StoreError::BadCommand,
                       QStringLiteral("这个查询结果不能修改（需要 select * from playlist）"));
    }

    void SkipDeletedFrom(size_t index) {
        while (index < rows_.size() && rows_[index].deleted)
            ++index;
        current_ = index;
    }

    ConnectionPtr connection_;
    int columns_;
    bool updatable_;
    std::vector<Row> rows_;
    size_t current_ = 0;
    int live_ = 0;
};

class SqlCipherPlaylistDatabase final : public PlaylistDatabase {
public:
    explicit SqlCipherPlaylistDatabase(ConnectionPtr connection) : connection_(std::move(connection)) {}

    QueryResult QueryPlaylist(const QString& commandText, const QStringList& parameters) override {
        sqlite3* db = connection_->db;
        const QString word = FirstWord(commandText);
        const bool write = word == u"INSERT" || word == u"DELETE" || word == u"UPDATE";
        // Only selects are read: a PRAGMA could rekey the file, an ATTACH create one, a BEGIN stay open.
        if (!write && word != u"SELECT" && word != u"WITH" && word != u"VALUES")
            return {nullptr, Failure(StoreError::BadCommand, QStringLiteral("不是查询命令: %1").arg(word))};

        Statement statement;
        if (StoreFailure f = PrepareOne(db, commandText.toUtf8(), statement)) return {nullptr, f};
        if (!write && !sqlite3_stmt_readonly(statement.get()))
            return {nullptr, Failure(StoreError::BadCommand, QStringLiteral("查询命令不能修改数据"))};
        if (sqlite3_bind_parameter_count(statement.get()) != parameters.size()) {
            return {nullptr,
                    Failure(StoreError::BadCommand, QStringLiteral("命令需要 %1 个参数，给了 %2 个")
                                                        .arg(sqlite3_bind_parameter_count(statement.get()))
                                                        .arg(parameters.size()))};
        }
        for (int i = 0; i < parameters.size(); ++i) {
            if (const int rc = BindText(statement.get(), i + 1, parameters[i]); rc != SQLITE_OK)
                return {nullptr, SqliteFailure(db, rc)};
        }

        if (write) return {nullptr, InTransaction(db, [&] { return StepToEnd(db, statement.get()); })};

        const int columns = sqlite3_column_count(statement.get());
        bool updatable = columns == kColumnCount;
        for (int i = 0; updatable && i < columns; ++i)
            updatable =
                ColumnName(i).compare(sqlite3_column_name(statement.get(), i), Qt::CaseInsensitive) == 0;
        auto recordset = std::make_unique<SqlRecordset>(connection_, columns, updatable);
        StoreFailure failure = recordset->ReadAll(statement.get());
        statement.reset();
        if (!sqlite3_get_autocommit(db)) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            if (!failure) failure = Failure(StoreError::BadCommand, QStringLiteral("查询留下了未结束的事务"));
        }
        if (failure) return {nullptr, failure};
        return {std::move(recordset), {}};
    }

    QString Path() const override { return connection_->path; }

private:
    ConnectionPtr connection_;
};

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

StoreFailure OpenFailure(StoreError code, const QString& path, const QString& reason, sqlite3* db = nullptr) {
    QString message = QStringLiteral("无法打开播放列表数据库 %1: %2").arg(path, reason);
    if (db) message += QStringLiteral(" (%1)").arg(QString::fromUtf8(sqlite3_errmsg(db)));
    return {code, message};
}

StoreFailure OpenFailure(int rc, const QString& path, sqlite3* db) {
    switch (CodeOf(rc)) {
        case StoreError::NotADatabase:
            return OpenFailure(StoreError::NotADatabase, path, QStringLiteral("密码错误或文件已损坏"), db);
        case StoreError::Busy:
            return OpenFailure(StoreError::Busy, path, QStringLiteral("文件正被另一个程序使用"), db);
        case StoreError::Io:
            return OpenFailure(StoreError::Io, path, QStringLiteral("读写文件时出错"), db);
        default:
            return OpenFailure(StoreError::CannotOpen, path, QStringLiteral("无法读取文件"), db);
    }
}

// Reads the first column of the first row as text; nothing when there is no row.
StoreFailure QueryText(sqlite3* db, const char* sql, std::optional<QString>& out, int& rc) {
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
    return rc == SQLITE_OK ? StoreFailure{} : SqliteFailure(db, rc);
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

}  // namespace

namespace {

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
        return {nullptr, OpenFailure(StoreError::CannotOpen, path, QStringLiteral("无法打开或创建文件"),
                                     connection->db)};
    sqlite3* db = connection->db;
    sqlite3_busy_timeout(db, kBusyTimeoutMs);

    // Passed as bytes, never spliced into SQL; SQLCipher itself tells a raw x'…' key from a passphrase.
    const QByteArray keyBytes = key.toUtf8();
    rc = sqlite3_key_v2(db, "main", keyBytes.constData(), static_cast<int>(keyBytes.size()));
    if (rc != SQLITE_OK) return {nullptr, OpenFailure(rc, path, db)};

    // A wrong key or a damaged file shows only at the first read. Nothing is written before this passes.
    std::optional<QString> tableName;
    if (QueryText(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'playlist'", tableName,
                  rc))
        return {nullptr, OpenFailure(rc, path, db)};
    // Reads every page once, so a file cut short or damaged past page 1 is refused now, not written to later.
    std::optional<QString> check;
    if (QueryText(db, "PRAGMA quick_check(1)", check, rc)) return {nullptr, OpenFailure(rc, path, db)};
    if (check != u"ok") {
        return {nullptr, OpenFailure(StoreError::NotADatabase, path,
                                     QStringLiteral("文件已损坏 (%1)").arg(check.value_or(QString())))};
    }
    if (sqlite3_db_readonly(db, "main") == 1)
        return {nullptr, OpenFailure(StoreError::CannotOpen, path, QStringLiteral("文件是只读的"))};
    if (tableName && !HasPlaylistLayout(db)) {
        return {nullptr, OpenFailure(StoreError::NotADatabase, path,
                                     QStringLiteral("表 playlist 的栏位与本程序不符"))};
    }

    // WAL with synchronous=NORMAL: a killed process loses no commit, and a commit needs no fsync.
    // Switching to WAL takes the file's lock for a moment; another program opening it waits its turn.
    std::optional<QString> mode;
    QDeadlineTimer lockDeadline(kBusyTimeoutMs);
    while (QueryText(db, "PRAGMA journal_mode = WAL", mode, rc)) {
        if ((rc & 0xFF) != SQLITE_BUSY || lockDeadline.hasExpired())
            return {nullptr, OpenFailure(rc, path, db)};
        QThread::msleep(10);
    }
    if (!mode || mode->compare(u"wal", Qt::CaseInsensitive) != 0)
        return {nullptr, OpenFailure(StoreError::Io, path, QStringLiteral("无法切换到 WAL 日志模式"))};
    if (Exec(db, "PRAGMA synchronous = NORMAL"))
        return {nullptr, OpenFailure(StoreError::Io, path, QStringLiteral("无法设置同步方式"), db)};
    // Pages are kept decrypted: a list of 10,000 files fits, so filling the grid again decrypts nothing.
    Exec(db, "PRAGMA cache_size = -16384");

    if (!tableName) {
        const QByteArray schema = CreateSchemaSql();
        const StoreFailure failure = InTransaction(db, [&] { return Exec(db, schema.constData()); });
        if (failure) return {nullptr, OpenFailure(failure.code, path, failure.message)};
    }
    return {std::make_unique<SqlCipherPlaylistDatabase>(std::move(connection)), {}};
}

// A new database is made whole under a temporary name and then linked into place, so that two programs
// starting at once never key or half-see each other's new file.
StoreFailure CreateInPlace(const QString& path, const QString& key) {
    const QByteArray target = QFile::encodeName(path);
    QByteArray temp = target + ".new-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return OpenFailure(StoreError::CannotOpen, path, QString::fromLocal8Bit(std::strerror(errno)));
    ::close(fd);
    const auto removeTemp = qScopeGuard([&] { ::unlink(temp.constData()); });
    if (OpenResult made = OpenChecked(QFile::decodeName(temp), key); made.failure) return made.failure;
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
    return OpenFailure(StoreError::CannotOpen, path, QString::fromLocal8Bit(std::strerror(error)));
}

}  // namespace

OpenResult PlaylistDatabase::Open(const QString& path, const QString& key) {
    if (path.isEmpty())
        return {nullptr, OpenFailure(StoreError::CannotOpen, path, QStringLiteral("没有文件名"))};
    if (key.isEmpty())
        return {nullptr, OpenFailure(StoreError::CannotOpen, path, QStringLiteral("没有密码"))};
    if (key.startsWith(u"x'", Qt::CaseInsensitive) && !IsRawKey(key))
        return {nullptr, OpenFailure(StoreError::CannotOpen, path, QStringLiteral("密钥格式不对"))};
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return {nullptr, OpenFailure(StoreError::CannotOpen, path, QStringLiteral("这不是一个文件"))};

    if (!info.exists() || info.size() == 0) {
        if (const StoreFailure failure = CreateInPlace(path, key)) return {nullptr, failure};
    }
    return OpenChecked(path, key);
}

}  // namespace ostrelle
