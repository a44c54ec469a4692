#pragma once

#include "adapters/sqlcipher/sqlcipher_playlist_store.h"
#include "support/test_database.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

// Only to look at the file from outside the store: layout, locks held by another program.
#define SQLITE_HAS_CODEC
#include <sqlcipher/sqlite3.h>

namespace ostrelle::store_test {

// The texts the store runs for its typed queries.
const QString kListedRowsSql = QStringLiteral("select * from playlist where seq=1 order by seq asc");
const QString kAllRowsSql = QStringLiteral("select * from playlist");
const QString kRowByPathSql = QStringLiteral("select * from playlist where savepath = ?");

const QString kOtherRawKey =
    QStringLiteral("x'603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4'");
constexpr int kIdField = 0;
constexpr int kSeqField = 55;

const QString kSelectByIdSql = QStringLiteral("select * from playlist order by id");
const QString kInsertSql = QStringLiteral("insert into playlist (filename, savepath) values (?, ?)");
const QString kDeleteByPathSql = QStringLiteral("delete from playlist where savepath = ?");

// A connection of another program, opened with the SQLite API itself.
class RawConnection {
public:
    RawConnection(const QString& path, const QString& key) {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
        const QByteArray bytes = key.toUtf8();
        sqlite3_key_v2(db_, "main", bytes.constData(), static_cast<int>(bytes.size()));
        sqlite3_busy_timeout(db_, 5000);
    }
    ~RawConnection() { sqlite3_close_v2(db_); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    int Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

    // All rows as text, "NULL" for Null.
    std::vector<std::vector<std::string>> Rows(const char* sql) {
        std::vector<std::vector<std::string>> rows;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) return rows;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            std::vector<std::string>& row = rows.emplace_back();
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
                row.push_back(text ? text : "NULL");
            }
        }
        sqlite3_finalize(statement);
        return rows;
    }

private:
    sqlite3* db_ = nullptr;
};

class PlaylistStoreTest : public ::testing::Test {
protected:
    QString DbPath() const { return dir_.filePath(QStringLiteral("quillan.mdb")); }

    std::unique_ptr<SqlCipherPlaylistStore> OpenDb(const QString& key = kTestKey) const {
        OpenResult result = OpenPlaylistStore(DbPath(), key);
        EXPECT_TRUE(result.ok()) << FailureMessage(result.failure()).toStdString();
        EXPECT_TRUE(result.ok());
        return std::move(result.value());
    }

    static Result<void> AddRow(SqlCipherPlaylistStore& db, const QString& path,
                               const QString& fileName = {}) {
        QueryResult result = db.RowFor(path);
        if (!result.ok()) return result.failure();
        result.value()->AddNew();
        result.value()->SetField(kFileNameField, fileName.isEmpty() ? path.section(u'/', -1) : fileName);
        result.value()->SetField(kSavePathField, path);
        return result.value()->Update();
    }

    static std::unique_ptr<Recordset> Select(SqlCipherPlaylistStore& db, const QString& sql,
                                             const QStringList& args = {}) {
        QueryResult result = db.Execute(sql, args);
        EXPECT_TRUE(result.ok()) << FailureMessage(result.failure()).toStdString();
        EXPECT_TRUE(result.value()) << sql.toStdString();
        return std::move(result.value());
    }

    static std::unique_ptr<Recordset> Lookup(SqlCipherPlaylistStore& db, const QString& path) {
        return Select(db, kRowByPathSql, {path});
    }

    QByteArray FileBytes() const {
        QFile file(DbPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QStringList FolderEntries() const {
        return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    // A closed database with rows over many pages, as the program leaves it.
    void MakeDatabaseWithRows(int rows, const QString& key = kTestKey) const {
        auto db = OpenDb(key);
        ASSERT_TRUE(db);
        for (int i = 0; i < rows; ++i)
            ASSERT_TRUE(
                AddRow(*db, QStringLiteral("/lessons/unit%1/%2.mp3").arg(i).arg(QString(80, u'x'))).ok());
    }

    void ExpectRefusedAndUntouched(const QString& key, FailureCode expected) const {
        const QByteArray before = FileBytes();
        const QStringList entries = FolderEntries();
        const OpenResult result = OpenPlaylistStore(DbPath(), key);
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.failure().code, expected);
        EXPECT_TRUE(FailureMessage(result.failure()).contains(DbPath()))
            << FailureMessage(result.failure()).toStdString();
        EXPECT_EQ(FileBytes(), before);
        EXPECT_EQ(FolderEntries(), entries);
    }

    QTemporaryDir dir_;
};

}  // namespace ostrelle::store_test
