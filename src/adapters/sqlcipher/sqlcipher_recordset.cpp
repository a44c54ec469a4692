#include "adapters/sqlcipher/sqlcipher_recordset.h"

#include <climits>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace ostrelle::sqlcipher {
namespace {

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

    Result<void> ReadAll(sqlite3_stmt* statement) {
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
                if (bytes > INT_MAX - total)
                    return Failure{FailureCode::DatabaseIo, QStringLiteral("一行数据太大")};
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

    Result<void> Update() override {
        if (Eof()) return Failure{FailureCode::DatabaseBadCommand, QStringLiteral("没有当前行")};
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
        const Result<void> done = InTransaction(db, [&]() -> Result<void> {
            Statement statement;
            if (Result<void> prepared = PrepareOne(db, sql, statement); !prepared.ok()) return prepared;
            int index = 1;
            for (const int field : fields) {
                if (const int rc = BindText(statement.get(), index++, row.changed[field]); rc != SQLITE_OK)
                    return SqliteFailure(db, rc);
            }
            if (!row.fresh) sqlite3_bind_int64(statement.get(), index, row.id);
            if (Result<void> stepped = StepToEnd(db, statement.get()); !stepped.ok()) return stepped;
            if (!row.fresh && sqlite3_changes(db) == 0)
                return Failure{FailureCode::DatabaseBadCommand, QStringLiteral("这一行已不在播放列表中")};
            insertedId = sqlite3_last_insert_rowid(db);
            return {};
        });
        if (!done.ok()) return done;  // the changes stay pending, so the caller may try again
        if (row.fresh) {
            row.fresh = false;
            row.id = insertedId;
            row.changed[kIdField] = QString::number(insertedId);
        }
        row.pending.clear();
        return {};
    }

    Result<void> DeleteCurrent() override {
        if (Eof()) return Failure{FailureCode::DatabaseBadCommand, QStringLiteral("没有当前行")};
        Row& row = rows_[current_];
        if (row.deleted) return {};
        if (!row.fresh) {
            if (!updatable_) return NotUpdatable();
            sqlite3* db = connection_->db;
            const qint64 id = row.id;
            const Result<void> done = InTransaction(db, [db, id]() -> Result<void> {
                Statement statement;
                if (Result<void> prepared = PrepareOne(db, "DELETE FROM playlist WHERE id = ?", statement);
                    !prepared.ok())
                    return prepared;
                sqlite3_bind_int64(statement.get(), 1, id);
                return StepToEnd(db, statement.get());
            });
            if (!done.ok()) return done;
        }
        row.deleted = true;
        row.pending.clear();
        --live_;
        return {};
    }

private:
    static Failure NotUpdatable() {
        return Failure{FailureCode::DatabaseBadCommand,
                       QStringLiteral("这个查询结果不能修改（需要 select * from playlist）")};
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

}  // namespace

QueryResult ReadRecordset(ConnectionPtr connection, sqlite3_stmt* statement, int columns, bool updatable) {
    auto recordset = std::make_unique<SqlRecordset>(std::move(connection), columns, updatable);
    if (Result<void> read = recordset->ReadAll(statement); !read.ok()) return read.failure();
    return QueryResult(std::unique_ptr<Recordset>(std::move(recordset)));
}

}  // namespace ostrelle::sqlcipher
