#include "adapters/sqlcipher/sqlcipher_playlist_store.h"

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

namespace ostrelle {
namespace {

// The texts the store runs for its typed queries.
const QString kListedRowsSql = QStringLiteral("select * from playlist where seq=1 order by seq asc");
const QString kAllRowsSql = QStringLiteral("select * from playlist");
const QString kRowByPathSql = QStringLiteral("select * from playlist where savepath = ?");

const QString kRawKey = QStringLiteral("x'2b7e151628aed2a6abf7158809cf4f3c762e7160f38b4da56a784d9045190cfe'");
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

class PlaylistDatabaseTest : public ::testing::Test {
protected:
    QString DbPath() const { return dir_.filePath(QStringLiteral("quillan.mdb")); }

    std::unique_ptr<SqlCipherPlaylistStore> OpenDb(const QString& key = kRawKey) const {
        OpenResult result = OpenPlaylistStore(DbPath(), key);
        EXPECT_FALSE(result.failure) << result.failure.message.toStdString();
        EXPECT_TRUE(result.store);
        return std::move(result.store);
    }

    static StoreFailure AddRow(SqlCipherPlaylistStore& db, const QString& path, const QString& fileName = {}) {
        QueryResult result = db.RowFor(path);
        if (!result.recordset) return result.failure;
        result.recordset->AddNew();
        result.recordset->SetField(kFileNameField, fileName.isEmpty() ? path.section(u'/', -1) : fileName);
        result.recordset->SetField(kSavePathField, path);
        return result.recordset->Update();
    }

    static std::unique_ptr<Recordset> Select(SqlCipherPlaylistStore& db, const QString& sql,
                                             const QStringList& args = {}) {
        QueryResult result = db.Execute(sql, args);
        EXPECT_FALSE(result.failure) << result.failure.message.toStdString();
        EXPECT_TRUE(result.recordset) << sql.toStdString();
        return std::move(result.recordset);
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
    void MakeDatabaseWithRows(int rows, const QString& key = kRawKey) const {
        auto db = OpenDb(key);
        ASSERT_TRUE(db);
        for (int i = 0; i < rows; ++i)
            ASSERT_FALSE(AddRow(*db, QStringLiteral("/lessons/unit%1/%2.mp3").arg(i).arg(QString(80, u'x'))));
    }

    void ExpectRefusedAndUntouched(const QString& key, StoreError expected) const {
        const QByteArray before = FileBytes();
        const QStringList entries = FolderEntries();
        const OpenResult result = OpenPlaylistStore(DbPath(), key);
        EXPECT_FALSE(result.store);
        EXPECT_EQ(result.failure.code, expected);
        EXPECT_TRUE(result.failure.message.contains(DbPath())) << result.failure.message.toStdString();
        EXPECT_EQ(FileBytes(), before);
        EXPECT_EQ(FolderEntries(), entries);
    }

    QTemporaryDir dir_;
};

// Creation

TEST_F(PlaylistDatabaseTest, NewFileGetsEncryptedPlaylistTableWithColumnsAtTheirPositions) {
    ASSERT_TRUE(OpenDb());
    EXPECT_NE(FileBytes().left(15), QByteArray("SQLite format 3"));

    RawConnection raw(DbPath(), kRawKey);
    const auto columns = raw.Rows("PRAGMA table_info(playlist)");  // cid, name, type, notnull, dflt, pk
    ASSERT_EQ(columns.size(), 56u);
    EXPECT_EQ(columns[kIdField][1], "id");
    EXPECT_EQ(columns[kIdField][5], "1");
    EXPECT_EQ(columns[kFileNameField][1], "filename");
    EXPECT_EQ(columns[kSavePathField][1], "savepath");
    EXPECT_EQ(columns[kPlayTimeField][1], "playtime");
    for (int position = 1; position <= kLastSegmentField; ++position)
        EXPECT_EQ(columns[position][2], "TEXT");
    for (int slot = 1; slot <= kSegmentSlots; ++slot)
        EXPECT_EQ(columns[kFirstSegmentField + slot - 1][1], "segment" + std::to_string(slot));
    EXPECT_EQ(columns[kSeqField][1], "seq");
    EXPECT_EQ(columns[kSeqField][2], "INTEGER");
    EXPECT_EQ(columns[kSeqField][3], "1");
    EXPECT_EQ(columns[kSeqField][4], "1");
    EXPECT_EQ(raw.Rows("PRAGMA journal_mode"), (std::vector<std::vector<std::string>>{{"wal"}}));

    const auto indexes = raw.Rows("PRAGMA index_list(playlist)");  // seq, name, unique, ...
    ASSERT_EQ(indexes.size(), 1u);
    EXPECT_EQ(indexes[0][2], "1");
    const std::string indexInfo = "PRAGMA index_info(" + indexes[0][1] + ")";
    EXPECT_EQ(raw.Rows(indexInfo.c_str()), (std::vector<std::vector<std::string>>{{"0", "2", "savepath"}}));
}

TEST_F(PlaylistDatabaseTest, NewRowHasNullSlotsSeqOneAndIsListed) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    rs->AddNew();
    EXPECT_FALSE(rs->Eof());
    EXPECT_EQ(rs->Field(kSeqField), QStringLiteral("1"));
    EXPECT_EQ(rs->Field(kIdField), std::nullopt);
    rs->SetField(kFileNameField, QStringLiteral("one.mp3"));
    rs->SetField(kSavePathField, QStringLiteral("/a/one.mp3"));
    ASSERT_FALSE(rs->Update());
    const QString id = rs->Field(kIdField).value_or(QString());
    EXPECT_GT(id.toLongLong(), 0);

    auto listed = Select(*db, kListedRowsSql);
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->RecordCount(), 1);
    EXPECT_EQ(listed->Field(kIdField), id);
    EXPECT_EQ(listed->Field(kFileNameField), QStringLiteral("one.mp3"));
    EXPECT_EQ(listed->Field(kSavePathField), QStringLiteral("/a/one.mp3"));
    for (int position = kPlayTimeField; position <= kLastSegmentField; ++position)
        EXPECT_EQ(listed->Field(position), std::nullopt) << position;
    EXPECT_EQ(listed->Field(kSeqField), QStringLiteral("1"));
}

TEST_F(PlaylistDatabaseTest, FieldsReadBackAtTheirPositionsAndByName) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    auto rs = Select(*db, kAllRowsSql);
    ASSERT_TRUE(rs);
    rs->AddNew();
    for (int position = 1; position <= kLastSegmentField; ++position)
        rs->SetField(position, QStringLiteral("v%1").arg(position));
    ASSERT_FALSE(rs->Update());

    auto all = Select(*db, kAllRowsSql);
    ASSERT_TRUE(all);
    for (int position = 1; position <= kLastSegmentField; ++position)
        EXPECT_EQ(all->Field(position), QStringLiteral("v%1").arg(position));
    EXPECT_EQ(all->Field(kSeqField), QStringLiteral("1"));
    EXPECT_EQ(all->Field(kSeqField + 1), std::nullopt);
    EXPECT_EQ(all->Field(-1), std::nullopt);

    auto named = Select(*db, QStringLiteral("select seq, segment50, segment1, savepath from playlist"));
    ASSERT_TRUE(named);
    EXPECT_EQ(named->Field(0), QStringLiteral("1"));
    EXPECT_EQ(named->Field(1), QStringLiteral("v54"));
    EXPECT_EQ(named->Field(2), QStringLiteral("v5"));
    EXPECT_EQ(named->Field(3), QStringLiteral("v2"));
    // Not the whole row, so there is no id to write it back by.
    named->SetField(1, QStringLiteral("changed"));
    EXPECT_EQ(named->Update().code, StoreError::BadCommand);
}

TEST_F(PlaylistDatabaseTest, UnlistedRowIsLeftOutOfTheListedRows) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/listed.mp3")));
    ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/hidden.mp3")));
    auto hidden = Lookup(*db, QStringLiteral("/a/hidden.mp3"));
    ASSERT_TRUE(hidden);
    hidden->SetField(kSeqField, QStringLiteral("0"));
    ASSERT_FALSE(hidden->Update());

    auto listed = Select(*db, kListedRowsSql);
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->RecordCount(), 1);
    EXPECT_EQ(listed->Field(kSavePathField), QStringLiteral("/a/listed.mp3"));
    auto all = Select(*db, kAllRowsSql);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->RecordCount(), 2);
}

TEST_F(PlaylistDatabaseTest, ZeroByteFileIsCreatedFresh) {
    {
        QFile file(DbPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    auto db = OpenDb();
    ASSERT_TRUE(db);
    EXPECT_FALSE(AddRow(*db, QStringLiteral("/a/one.mp3")));
    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->RecordCount(), 1);
}

TEST_F(PlaylistDatabaseTest, ExistingDatabaseWithoutPlaylistTableGetsItAndKeepsItsOtherTables) {
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(DbPath()).constData(), &db), SQLITE_OK);
        const QByteArray key = kRawKey.toUtf8();
        sqlite3_key_v2(db, "main", key.constData(), static_cast<int>(key.size()));
        EXPECT_EQ(sqlite3_exec(db, "create table notes (x); insert into notes values ('kept')", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    auto db = OpenDb();
    ASSERT_TRUE(db);
    EXPECT_FALSE(AddRow(*db, QStringLiteral("/a/one.mp3")));
    auto notes = Select(*db, QStringLiteral("select x from notes"));
    ASSERT_TRUE(notes);
    EXPECT_EQ(notes->Field(0), QStringLiteral("kept"));
}

TEST_F(PlaylistDatabaseTest, PlaylistTableOfAnotherLayoutIsRefusedAndUntouched) {
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(DbPath()).constData(), &db), SQLITE_OK);
        const QByteArray key = kRawKey.toUtf8();
        sqlite3_key_v2(db, "main", key.constData(), static_cast<int>(key.size()));
        EXPECT_EQ(sqlite3_exec(db, "create table playlist (id integer primary key, path text)", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    ExpectRefusedAndUntouched(kRawKey, StoreError::NotADatabase);
}

TEST_F(PlaylistDatabaseTest, ProgramPassphraseOpensWhatItCreatedAndAnotherPassphraseDoesNot) {
    {
        OpenResult created = OpenPlaylistStore(DbPath());
        ASSERT_TRUE(created.store) << created.failure.message.toStdString();
        ASSERT_FALSE(AddRow(*created.store, QStringLiteral("/a/one.mp3")));
    }
    {
        OpenResult reopened =
            OpenPlaylistStore(DbPath(), QString::fromLatin1(SqlCipherPlaylistStore::kPassword));
        ASSERT_TRUE(reopened.store) << reopened.failure.message.toStdString();
        auto rs = Lookup(*reopened.store, QStringLiteral("/a/one.mp3"));
        ASSERT_TRUE(rs);
        EXPECT_EQ(rs->RecordCount(), 1);
    }
    ExpectRefusedAndUntouched(QStringLiteral("73940269"), StoreError::NotADatabase);
    ExpectRefusedAndUntouched(kRawKey, StoreError::NotADatabase);
}

TEST_F(PlaylistDatabaseTest, PassphraseWithQuotesIsAKeyNotSql) {
    const QString key = QStringLiteral("it's \"x'00'\"; --");
    {
        auto db = OpenDb(key);
        ASSERT_TRUE(db);
        ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/one.mp3")));
    }
    auto db = OpenDb(key);
    ASSERT_TRUE(db);
    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->RecordCount(), 1);
    db.reset();
    ExpectRefusedAndUntouched(QStringLiteral("it's"), StoreError::NotADatabase);
}

// Opening what cannot be read

TEST_F(PlaylistDatabaseTest, DatabaseOfAnotherKeyIsRefusedAndUntouched) {
    MakeDatabaseWithRows(5, kOtherRawKey);
    ExpectRefusedAndUntouched(kRawKey, StoreError::NotADatabase);
    ExpectRefusedAndUntouched(QStringLiteral("wrong passphrase"), StoreError::NotADatabase);
}

TEST_F(PlaylistDatabaseTest, GarbageFileIsRefusedAndUntouched) {
    std::mt19937 random(7);
    QByteArray garbage(5000, '\0');
    for (char& byte : garbage)
        byte = static_cast<char>(random());
    QFile file(DbPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(garbage);
    file.close();
    ExpectRefusedAndUntouched(kRawKey, StoreError::NotADatabase);

    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("#EXTM3U\n/a/one.mp3\n");
    file.close();
    ExpectRefusedAndUntouched(kRawKey, StoreError::NotADatabase);
}

TEST_F(PlaylistDatabaseTest, TruncatedDatabaseIsRefusedAndUntouched) {
    MakeDatabaseWithRows(200);
    const QByteArray whole = FileBytes();
    ASSERT_GT(whole.size(), 20 * 1024);
    for (const qsizetype size : {whole.size() / 2 / 1024 * 1024, whole.size() - 1000, qsizetype{700}}) {
        SCOPED_TRACE(size);
        QFile file(DbPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(whole.left(size));
        file.close();
        ExpectRefusedAndUntouched(kRawKey, StoreError::NotADatabase);
    }
}

TEST_F(PlaylistDatabaseTest, FolderInPlaceOfTheFileCannotBeOpened) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("quillan.mdb")));
    const OpenResult result = OpenPlaylistStore(DbPath(), kRawKey);
    EXPECT_FALSE(result.store);
    EXPECT_EQ(result.failure.code, StoreError::CannotOpen);
    EXPECT_FALSE(result.failure.message.isEmpty());
    EXPECT_TRUE(QFileInfo(DbPath()).isDir());
    EXPECT_TRUE(QDir(DbPath()).isEmpty());
}

TEST_F(PlaylistDatabaseTest, MissingFolderCannotBeOpenedAndIsNotCreated) {
    const QString path = dir_.filePath(QStringLiteral("absent/quillan.mdb"));
    const OpenResult result = OpenPlaylistStore(path, kRawKey);
    EXPECT_FALSE(result.store);
    EXPECT_EQ(result.failure.code, StoreError::CannotOpen);
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath(QStringLiteral("absent"))));
}

TEST_F(PlaylistDatabaseTest, MalformedRawKeyIsRefusedBeforeAnyFileIsMade) {
    for (const QString& key :
         {QStringLiteral("x'0102'"), kRawKey.left(66) + QStringLiteral("g'"), QString()}) {
        const OpenResult result = OpenPlaylistStore(DbPath(), key);
        EXPECT_FALSE(result.store);
        EXPECT_EQ(result.failure.code, StoreError::CannotOpen) << key.toStdString();
    }
    EXPECT_TRUE(FolderEntries().isEmpty());
}

// Commands

TEST_F(PlaylistDatabaseTest, InsertUpdateAndDeleteCommandsRunWithoutRecordset) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    QueryResult inserted =
        db->Execute(kInsertSql, {QStringLiteral("one.mp3"), QStringLiteral("/a/one.mp3")});
    EXPECT_FALSE(inserted.failure);
    EXPECT_FALSE(inserted.recordset);
    QueryResult updated =
        db->Execute(QStringLiteral("UPDATE playlist SET playtime = ? WHERE savepath = ?"),
                          {QStringLiteral("03:15"), QStringLiteral("/a/one.mp3")});
    EXPECT_FALSE(updated.failure);
    EXPECT_FALSE(updated.recordset);

    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->Field(kFileNameField), QStringLiteral("one.mp3"));
    EXPECT_EQ(rs->Field(kPlayTimeField), QStringLiteral("03:15"));
    EXPECT_EQ(rs->Field(kSeqField), QStringLiteral("1"));

    QueryResult deleted = db->Execute(kDeleteByPathSql, {QStringLiteral("/a/one.mp3")});
    EXPECT_FALSE(deleted.failure);
    EXPECT_FALSE(deleted.recordset);
    auto gone = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(gone);
    EXPECT_TRUE(gone->Eof());
}

TEST_F(PlaylistDatabaseTest, SelectAndDeleteWorkInAnyLetterCase) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/one.mp3")));
    ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/two.mp3")));
    for (const QString& sql : {QStringLiteral("SELECT * FROM playlist WHERE savepath = ?"),
                               QStringLiteral("  SeLeCt * from playlist where savepath = ?")}) {
        auto rs = Select(*db, sql, {QStringLiteral("/a/two.mp3")});
        ASSERT_TRUE(rs);
        EXPECT_EQ(rs->RecordCount(), 1);
        EXPECT_EQ(rs->Field(kSavePathField), QStringLiteral("/a/two.mp3"));
    }
    QueryResult deleted = db->Execute(QStringLiteral("DeLeTe FROM playlist WHERE savepath = ?"),
                                            {QStringLiteral("/a/one.mp3")});
    EXPECT_FALSE(deleted.failure);
    EXPECT_FALSE(deleted.recordset);
    auto all = Select(*db, kAllRowsSql);
    ASSERT_TRUE(all);
    ASSERT_EQ(all->RecordCount(), 1);
    EXPECT_EQ(all->Field(kSavePathField), QStringLiteral("/a/two.mp3"));
}

TEST_F(PlaylistDatabaseTest, BadCommandTextFailsAndChangesNothing) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/one.mp3")));
    const std::vector<std::pair<QString, QStringList>> commands = {
        {QString(), {}},
        {QStringLiteral("selectt * from playlist"), {}},
        {QStringLiteral("select * from playlists"), {}},
        {QStringLiteral("select * from playlist where"), {}},
        {QStringLiteral("drop table playlist"), {}},
        {QStringLiteral("select 1; delete from playlist"), {}},
        {QStringLiteral("delete from playlist; drop table playlist"), {}},
        {QStringLiteral("delete from playlist where savepath = ?"), {}},
        {QStringLiteral("select * from playlist where savepath = ?"),
         {QStringLiteral("a"), QStringLiteral("b")}},
        {QStringLiteral("begin"), {}},
        {QStringLiteral("pragma rekey = 'other'"), {}},
        {QStringLiteral("attach 'elsewhere.db' as other"), {}},
        {QStringLiteral("update playlist set nosuchcolumn = 1"), {}},
    };
    for (const auto& [sql, args] : commands) {
        const QueryResult result = db->Execute(sql, args);
        EXPECT_EQ(result.failure.code, StoreError::BadCommand) << sql.toStdString();
        EXPECT_FALSE(result.failure.message.isEmpty());
        EXPECT_FALSE(result.recordset);
    }
    auto rs = Select(*db, kAllRowsSql);
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(FolderEntries().filter(QStringLiteral("elsewhere")), QStringList());
    db.reset();
    // Still readable with the same key: nothing was rekeyed.
    auto reopened = OpenDb();
    ASSERT_TRUE(reopened);
    auto again = Lookup(*reopened, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->RecordCount(), 1);
}

// Lookups by path

TEST_F(PlaylistDatabaseTest, LookupOfAbsentPathIsEofAtOnce) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/one.mp3")));
    auto rs = Lookup(*db, QStringLiteral("/a/absent.mp3"));
    ASSERT_TRUE(rs);
    EXPECT_TRUE(rs->Eof());
    EXPECT_EQ(rs->RecordCount(), 0);
    EXPECT_EQ(rs->Field(kSavePathField), std::nullopt);
    rs->MoveNext();
    rs->MoveFirst();
    EXPECT_TRUE(rs->Eof());
}

TEST_F(PlaylistDatabaseTest, FileAddedTwiceKeepsOneRow) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/one.mp3"), QStringLiteral("first")));
    const StoreFailure second = AddRow(*db, QStringLiteral("/a/one.mp3"), QStringLiteral("second"));
    EXPECT_EQ(second.code, StoreError::Constraint);
    EXPECT_FALSE(second.message.isEmpty());
    const QueryResult inserted =
        db->Execute(kInsertSql, {QStringLiteral("third"), QStringLiteral("/a/one.mp3")});
    EXPECT_EQ(inserted.failure.code, StoreError::Constraint);

    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    ASSERT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(rs->Field(kFileNameField), QStringLiteral("first"));
}

TEST_F(PlaylistDatabaseTest, UnusualPathsAreFoundRefreshedAndDeletedByTheirWholePath) {
    QString longPath = QStringLiteral("/media/");
    while (longPath.toUtf8().size() < 996)
        longPath += QStringLiteral("lesson/");
    longPath = longPath.left(996) + QStringLiteral(".mp3");
    ASSERT_EQ(longPath.toUtf8().size(), 1000);
    const QStringList paths = {QStringLiteral("/home/learner/Tom's 'English'/unit 1.mp3"),
                               QStringLiteral("/home/学习者/新概念英语/第一课 课文.mp3"), longPath};

    auto db = OpenDb();
    ASSERT_TRUE(db);
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        ASSERT_FALSE(AddRow(*db, path));
        ASSERT_FALSE(AddRow(*db, path + u' '));  // a different file name, so a different row

        auto found = Lookup(*db, path);
        ASSERT_TRUE(found);
        ASSERT_EQ(found->RecordCount(), 1);
        EXPECT_EQ(found->Field(kSavePathField), path);
        found->SetField(kFirstSegmentField, QStringLiteral("1.50|3.25"));
        ASSERT_FALSE(found->Update());

        auto refreshed = Lookup(*db, path);
        ASSERT_TRUE(refreshed);
        EXPECT_EQ(refreshed->Field(kFirstSegmentField), QStringLiteral("1.50|3.25"));

        const QueryResult deleted = db->Execute(kDeleteByPathSql, {path});
        EXPECT_FALSE(deleted.failure);
        auto gone = Lookup(*db, path);
        ASSERT_TRUE(gone);
        EXPECT_TRUE(gone->Eof());
        auto neighbour = Lookup(*db, path + u' ');
        ASSERT_TRUE(neighbour);
        EXPECT_EQ(neighbour->RecordCount(), 1);
        EXPECT_EQ(neighbour->Field(kFirstSegmentField), std::nullopt);
    }
}

// Recordset

TEST_F(PlaylistDatabaseTest, NullIsTestableAndBlankTextIsNotNull) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/one.mp3")));
    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    rs->SetField(kFirstSegmentField, QString());
    rs->SetField(kFirstSegmentField + 1, QStringLiteral(" "));
    ASSERT_FALSE(rs->Update());

    auto read = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(read);
    ASSERT_TRUE(read->Field(kFirstSegmentField).has_value());
    EXPECT_TRUE(read->Field(kFirstSegmentField)->isEmpty());
    EXPECT_EQ(read->Field(kFirstSegmentField + 1), QStringLiteral(" "));
    EXPECT_EQ(read->Field(kFirstSegmentField + 2), std::nullopt);

    read->SetField(kFirstSegmentField, std::nullopt);
    ASSERT_FALSE(read->Update());
    auto nulls = Select(*db, QStringLiteral("select * from playlist where segment1 is null"));
    ASSERT_TRUE(nulls);
    EXPECT_EQ(nulls->RecordCount(), 1);
}

TEST_F(PlaylistDatabaseTest, MovesWalkTheRowsAndStopAtEof) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    const QStringList paths = {QStringLiteral("/a/1.mp3"), QStringLiteral("/a/2.mp3"),
                               QStringLiteral("/a/3.mp3")};
    for (const QString& path : paths)
        ASSERT_FALSE(AddRow(*db, path));
    auto rs = Select(*db, kSelectByIdSql);
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->RecordCount(), 3);
    QStringList walked;
    for (; !rs->Eof(); rs->MoveNext())
        walked << rs->Field(kSavePathField).value_or(QString());
    EXPECT_EQ(walked, paths);

    rs->MoveNext();
    EXPECT_TRUE(rs->Eof());
    EXPECT_EQ(rs->Field(kSavePathField), std::nullopt);
    rs->SetField(kFileNameField, QStringLiteral("ignored"));
    EXPECT_EQ(rs->Update().code, StoreError::BadCommand);
    EXPECT_EQ(rs->DeleteCurrent().code, StoreError::BadCommand);
    rs->MoveFirst();
    EXPECT_EQ(rs->Field(kSavePathField), paths[0]);
    EXPECT_EQ(rs->Field(kFileNameField), QStringLiteral("1.mp3"));
}

TEST_F(PlaylistDatabaseTest, IdAndOutOfRangePositionsAreNotWritable) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/one.mp3")));
    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    const auto id = rs->Field(kIdField);
    ASSERT_TRUE(id);
    rs->SetField(kIdField, QStringLiteral("999"));
    rs->SetField(kSeqField + 1, QStringLiteral("x"));
    rs->SetField(-1, QStringLiteral("x"));
    EXPECT_EQ(rs->Field(kIdField), id);
    EXPECT_EQ(rs->Field(kSeqField + 1), std::nullopt);
    EXPECT_FALSE(rs->Update());
    auto again = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Field(kIdField), id);
}

TEST_F(PlaylistDatabaseTest, DeletedRowStaysReadableUntilAMoveAndUpdateDoesNotBringItBack) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    const QStringList paths = {QStringLiteral("/a/1.mp3"), QStringLiteral("/a/2.mp3"),
                               QStringLiteral("/a/3.mp3")};
    for (const QString& path : paths)
        ASSERT_FALSE(AddRow(*db, path));
    auto rs = Select(*db, kSelectByIdSql);
    ASSERT_TRUE(rs);

    ASSERT_FALSE(rs->DeleteCurrent());
    EXPECT_FALSE(rs->Eof());
    EXPECT_EQ(rs->Field(kSavePathField), paths[0]);
    EXPECT_EQ(rs->RecordCount(), 2);
    EXPECT_FALSE(rs->Update());
    auto gone = Lookup(*db, paths[0]);
    ASSERT_TRUE(gone);
    EXPECT_TRUE(gone->Eof());

    rs->MoveNext();
    EXPECT_EQ(rs->Field(kSavePathField), paths[1]);
    rs->MoveFirst();
    EXPECT_EQ(rs->Field(kSavePathField), paths[1]);
    rs->MoveNext();
    ASSERT_FALSE(rs->DeleteCurrent());
    rs->MoveNext();
    EXPECT_TRUE(rs->Eof());
    auto left = Select(*db, kAllRowsSql);
    ASSERT_TRUE(left);
    ASSERT_EQ(left->RecordCount(), 1);
    EXPECT_EQ(left->Field(kSavePathField), paths[1]);
}

TEST_F(PlaylistDatabaseTest, RowDeletedBeforeItsFirstUpdateNeverReachesTheTable) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    auto rs = Select(*db, kAllRowsSql);
    ASSERT_TRUE(rs);
    rs->AddNew();
    rs->SetField(kSavePathField, QStringLiteral("/a/one.mp3"));
    EXPECT_EQ(rs->RecordCount(), 1);
    ASSERT_FALSE(rs->DeleteCurrent());
    EXPECT_FALSE(rs->Update());
    EXPECT_EQ(rs->RecordCount(), 0);
    auto all = Select(*db, kAllRowsSql);
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->Eof());
}

TEST_F(PlaylistDatabaseTest, UpdateWritesOnlyTheChangedFields) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/one.mp3")));
    auto first = Lookup(*db, QStringLiteral("/a/one.mp3"));
    auto second = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(first && second);
    first->SetField(kFirstSegmentField, QStringLiteral("1|2"));
    second->SetField(kPlayTimeField, QStringLiteral("04:00"));
    ASSERT_FALSE(first->Update());
    ASSERT_FALSE(second->Update());
    auto read = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Field(kFirstSegmentField), QStringLiteral("1|2"));
    EXPECT_EQ(read->Field(kPlayTimeField), QStringLiteral("04:00"));
}

TEST_F(PlaylistDatabaseTest, UpdateOfARowDeletedElsewhereFailsAndAddsNothing) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/one.mp3")));
    auto stale = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(stale);
    ASSERT_FALSE(db->DeleteAll());
    stale->SetField(kFirstSegmentField, QStringLiteral("1|2"));
    EXPECT_TRUE(stale->Update());
    auto all = Select(*db, kAllRowsSql);
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->Eof());
}

TEST_F(PlaylistDatabaseTest, RecordsetOutlivingTheDatabaseObjectStillWorks) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/one.mp3")));
    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    db.reset();
    EXPECT_EQ(rs->Field(kSavePathField), QStringLiteral("/a/one.mp3"));
    rs->SetField(kFirstSegmentField, QStringLiteral("1|2"));
    EXPECT_FALSE(rs->Update());
    rs.reset();

    auto reopened = OpenDb();
    ASSERT_TRUE(reopened);
    auto read = Lookup(*reopened, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Field(kFirstSegmentField), QStringLiteral("1|2"));
}

// Two programs on one folder

TEST_F(PlaylistDatabaseTest, FailedWriteLeavesNoTransactionOpen) {
    auto db = OpenDb();
    auto other = OpenDb();
    ASSERT_TRUE(db && other);
    ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/one.mp3")));
    EXPECT_EQ(AddRow(*db, QStringLiteral("/a/one.mp3")).code, StoreError::Constraint);
    EXPECT_EQ(db->Execute(kInsertSql, {QString(), QStringLiteral("/a/one.mp3")}).failure.code,
              StoreError::Constraint);
    // A transaction left open would hold the write lock and make these wait out the busy timeout.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(AddRow(*other, QStringLiteral("/a/two.mp3")));
    EXPECT_FALSE(AddRow(*db, QStringLiteral("/a/three.mp3")));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    auto all = Select(*other, kAllRowsSql);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->RecordCount(), 3);
}

TEST_F(PlaylistDatabaseTest, ReaderHoldingASnapshotDoesNotBlockAWriter) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_FALSE(AddRow(*db, QStringLiteral("/a/one.mp3")));
    RawConnection reader(DbPath(), kRawKey);
    ASSERT_EQ(reader.Exec("BEGIN"), SQLITE_OK);
    ASSERT_EQ(reader.Rows("select count(*) from playlist"), (std::vector<std::vector<std::string>>{{"1"}}));

    auto writer = OpenDb();
    ASSERT_TRUE(writer);
    EXPECT_FALSE(AddRow(*writer, QStringLiteral("/a/two.mp3")));
    EXPECT_FALSE(writer->Execute(kDeleteByPathSql, {QStringLiteral("/a/one.mp3")}).failure);
    EXPECT_EQ(reader.Rows("select count(*) from playlist where savepath = '/a/one.mp3'"),
              (std::vector<std::vector<std::string>>{{"1"}}));
    ASSERT_EQ(reader.Exec("COMMIT"), SQLITE_OK);

    auto all = Select(*db, kAllRowsSql);
    ASSERT_TRUE(all);
    ASSERT_EQ(all->RecordCount(), 1);
    EXPECT_EQ(all->Field(kSavePathField), QStringLiteral("/a/two.mp3"));
}

TEST_F(PlaylistDatabaseTest, WriterWaitsOutABriefLockInsteadOfFailing) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    std::promise<void> locked;
    constexpr auto kHeld = std::chrono::milliseconds(300);
    std::thread other([&] {
        RawConnection holder(DbPath(), kRawKey);
        const bool ok = holder.Exec("BEGIN IMMEDIATE") == SQLITE_OK &&
                        holder.Exec("insert into playlist (savepath) values ('/a/other.mp3')") == SQLITE_OK;
        locked.set_value();
        if (!ok) return;
        // The other program holds its write transaction for a while; that is the situation under test.
        std::this_thread::sleep_for(kHeld);
        holder.Exec("COMMIT");
    });
    locked.get_future().wait();
    const auto start = std::chrono::steady_clock::now();
    const StoreFailure failure = AddRow(*db, QStringLiteral("/a/mine.mp3"));
    const auto waited = std::chrono::steady_clock::now() - start;
    other.join();
    EXPECT_FALSE(failure) << failure.message.toStdString();
    EXPECT_GE(waited, kHeld / 2);
    auto all = Select(*db, kAllRowsSql);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->RecordCount(), 2);
}

// A killed program

QString CrashPath(int round, int change) {
    return QStringLiteral("/round%1/change%2.mp3").arg(round).arg(change);
}

// Even changes add a row, odd ones store a segment in the row before; each is reported once committed.
[[noreturn]] void WriteUntilKilled(const QString& dbPath, int round, int reportFd) {
    OpenResult opened = OpenPlaylistStore(dbPath, kRawKey);
    if (!opened.store) _exit(2);
    SqlCipherPlaylistStore& db = *opened.store;
    const QString longName(3000, u'n');  // rows over more than one page
    for (int change = 0; change < 100000; ++change) {
        QueryResult found = db.RowFor(CrashPath(round, change - change % 2));
        if (!found.recordset) _exit(3);
        Recordset& rs = *found.recordset;
        if (change % 2 == 0) {
            rs.AddNew();
            rs.SetField(kFileNameField, longName);
            rs.SetField(kSavePathField, CrashPath(round, change));
        } else {
            rs.SetField(kFirstSegmentField + 1, QStringLiteral("segment %1").arg(change));
        }
        if (rs.Update()) _exit(4);
        if (write(reportFd, &change, sizeof change) != sizeof change) _exit(5);
    }
    _exit(6);
}

TEST_F(PlaylistDatabaseTest, KilledWriterLosesNoReportedChange) {
    const unsigned seed = std::random_device()();
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    constexpr int kRounds = 20;
    int rowsExpected = 0;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(fds[0]);
            WriteUntilKilled(DbPath(), round, fds[1]);
        }
        close(fds[1]);

        std::vector<int> reported;
        const int waitFor = std::uniform_int_distribution<int>(1, 30)(random);
        int change = 0;
        while (static_cast<int>(reported.size()) < waitFor &&
               read(fds[0], &change, sizeof change) == sizeof change)
            reported.push_back(change);
        // A random moment inside the child's next write.
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 1500)(random)));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        while (read(fds[0], &change, sizeof change) == sizeof change)
            reported.push_back(change);
        close(fds[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "child exited with " << WEXITSTATUS(status);
        ASSERT_GE(static_cast<int>(reported.size()), waitFor);

        auto db = OpenDb();
        ASSERT_TRUE(db);
        for (const int done : reported) {
            auto rs = Lookup(*db, CrashPath(round, done - done % 2));
            ASSERT_TRUE(rs);
            ASSERT_EQ(rs->RecordCount(), 1) << "change " << done;
            if (done % 2 == 1) {
                EXPECT_EQ(rs->Field(kFirstSegmentField + 1), QStringLiteral("segment %1").arg(done));
            }
        }
        // At most the one change in flight may be there unreported.
        auto thisRound = Select(*db, QStringLiteral("select * from playlist where savepath like ?"),
                                {QStringLiteral("/round%1/%").arg(round)});
        ASSERT_TRUE(thisRound);
        const int added = (static_cast<int>(reported.size()) + 1) / 2;
        EXPECT_GE(thisRound->RecordCount(), added);
        EXPECT_LE(thisRound->RecordCount(), added + 1);
        rowsExpected += thisRound->RecordCount();
        auto all = Select(*db, kAllRowsSql);
        ASSERT_TRUE(all);
        EXPECT_EQ(all->RecordCount(), rowsExpected);
    }
}

}  // namespace
}  // namespace ostrelle
