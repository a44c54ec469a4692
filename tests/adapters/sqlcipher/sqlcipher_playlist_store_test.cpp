#include "store_fixture.h"

namespace ostrelle::store_test {
namespace {

// Creation

TEST_F(PlaylistStoreTest, NewFileGetsEncryptedPlaylistTableWithColumnsAtTheirPositions) {
    ASSERT_TRUE(OpenDb());
    EXPECT_NE(FileBytes().left(15), QByteArray("SQLite format 3"));

    RawConnection raw(DbPath(), kTestKey);
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

TEST_F(PlaylistStoreTest, NewRowHasNullSlotsSeqOneAndIsListed) {
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
    ASSERT_TRUE(rs->Update().ok());
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

TEST_F(PlaylistStoreTest, FieldsReadBackAtTheirPositionsAndByName) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    auto rs = Select(*db, kAllRowsSql);
    ASSERT_TRUE(rs);
    rs->AddNew();
    for (int position = 1; position <= kLastSegmentField; ++position)
        rs->SetField(position, QStringLiteral("v%1").arg(position));
    ASSERT_TRUE(rs->Update().ok());

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
    EXPECT_EQ(named->Update().failure().code, FailureCode::DatabaseBadCommand);
}

TEST_F(PlaylistStoreTest, UnlistedRowIsLeftOutOfTheListedRows) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/listed.mp3")).ok());
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/hidden.mp3")).ok());
    auto hidden = Lookup(*db, QStringLiteral("/a/hidden.mp3"));
    ASSERT_TRUE(hidden);
    hidden->SetField(kSeqField, QStringLiteral("0"));
    ASSERT_TRUE(hidden->Update().ok());

    auto listed = Select(*db, kListedRowsSql);
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->RecordCount(), 1);
    EXPECT_EQ(listed->Field(kSavePathField), QStringLiteral("/a/listed.mp3"));
    auto all = Select(*db, kAllRowsSql);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->RecordCount(), 2);
}

TEST_F(PlaylistStoreTest, UnlistingKeepsOnlyRowsWithSegmentsAndRelistingPutsThemLast) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    const auto listed = [&] {
        std::vector<QString> paths;
        auto rows = Select(*db, kListedRowsSql);
        for (rows->MoveFirst(); !rows->Eof(); rows->MoveNext())
            paths.push_back(rows->Field(kSavePathField).value_or(QString()));
        return paths;
    };
    for (const char* name : {"plain", "marked", "blank", "last"}) {
        const QString path = QStringLiteral("/a/%1.mp3").arg(QLatin1String(name));
        ASSERT_TRUE(AddRow(*db, path).ok());
        auto row = Lookup(*db, path);
        if (qstrcmp(name, "marked") == 0) row->SetField(kLastSegmentField, QStringLiteral("A00:01B00:02"));
        if (qstrcmp(name, "blank") == 0) row->SetField(kFirstSegmentField, QString());
        if (qstrcmp(name, "last") == 0) row->SetField(kFirstSegmentField, QStringLiteral("A00:03B00:04"));
        ASSERT_TRUE(row->Update().ok());
    }
    ASSERT_TRUE(db->UnlistAll().ok());
    EXPECT_TRUE(listed().empty());
    EXPECT_EQ(Select(*db, kAllRowsSql)->RecordCount(), 2) << "only the rows with segments stay";

    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/new.mp3")).ok());
    ASSERT_TRUE(db->Relist(QStringLiteral("/a/marked.mp3")).ok());
    ASSERT_TRUE(db->Relist(QStringLiteral("/a/new.mp3")).ok());  // already listed: stays where it is
    ASSERT_TRUE(db->Relist(QStringLiteral("/a/absent.mp3")).ok());
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/newer.mp3")).ok());
    EXPECT_EQ(listed(), (std::vector<QString>{QStringLiteral("/a/new.mp3"), QStringLiteral("/a/marked.mp3"),
                                              QStringLiteral("/a/newer.mp3")}));
    EXPECT_EQ(Lookup(*db, QStringLiteral("/a/marked.mp3"))->Field(kLastSegmentField),
              QStringLiteral("A00:01B00:02"));

    ASSERT_TRUE(db->Unlist(QStringLiteral("/a/new.mp3")).ok());
    ASSERT_TRUE(db->Unlist(QStringLiteral("/a/marked.mp3")).ok());
    EXPECT_TRUE(Lookup(*db, QStringLiteral("/a/new.mp3"))->Eof());
    EXPECT_EQ(Lookup(*db, QStringLiteral("/a/marked.mp3"))->Field(kSeqField), QStringLiteral("0"));
    EXPECT_EQ(listed(), std::vector<QString>{QStringLiteral("/a/newer.mp3")});
}

TEST_F(PlaylistStoreTest, ZeroByteFileIsCreatedFresh) {
    {
        QFile file(DbPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    auto db = OpenDb();
    ASSERT_TRUE(db);
    EXPECT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3")).ok());
    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->RecordCount(), 1);
}

TEST_F(PlaylistStoreTest, ADeletedDatabaseIsCreatedAfreshWhateverLogsItLeftBehind) {
    {
        auto db = OpenDb();
        ASSERT_TRUE(db);
        for (int i = 0; i < 20; ++i)
            ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/%1.mp3").arg(i)).ok());
        // The logs as a learner's file manager leaves them: the database file alone deleted, while open.
        ASSERT_TRUE(QFile::copy(DbPath() + QStringLiteral("-wal"), DbPath() + QStringLiteral(".wal-kept")));
        ASSERT_TRUE(QFile::copy(DbPath() + QStringLiteral("-shm"), DbPath() + QStringLiteral(".shm-kept")));
    }
    ASSERT_TRUE(QFile::remove(DbPath()));
    QFile::remove(DbPath() + QStringLiteral("-wal"));
    QFile::remove(DbPath() + QStringLiteral("-shm"));
    ASSERT_TRUE(QFile::rename(DbPath() + QStringLiteral(".wal-kept"), DbPath() + QStringLiteral("-wal")));
    ASSERT_TRUE(QFile::rename(DbPath() + QStringLiteral(".shm-kept"), DbPath() + QStringLiteral("-shm")));
    ASSERT_GT(QFileInfo(DbPath() + QStringLiteral("-wal")).size(), 0);

    auto fresh = OpenDb();
    ASSERT_TRUE(fresh) << "a stale log must not make the new file unreadable";
    EXPECT_TRUE(AddRow(*fresh, QStringLiteral("/b/one.mp3")).ok());
    auto rs = Lookup(*fresh, QStringLiteral("/a/0.mp3"));
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->RecordCount(), 0);
}

TEST_F(PlaylistStoreTest, ExistingDatabaseWithoutPlaylistTableGetsItAndKeepsItsOtherTables) {
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(DbPath()).constData(), &db), SQLITE_OK);
        const QByteArray key = kTestKey.toUtf8();
        sqlite3_key_v2(db, "main", key.constData(), static_cast<int>(key.size()));
        EXPECT_EQ(sqlite3_exec(db, "create table notes (x); insert into notes values ('kept')", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    auto db = OpenDb();
    ASSERT_TRUE(db);
    EXPECT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3")).ok());
    auto notes = Select(*db, QStringLiteral("select x from notes"));
    ASSERT_TRUE(notes);
    EXPECT_EQ(notes->Field(0), QStringLiteral("kept"));
}

TEST_F(PlaylistStoreTest, PlaylistTableOfAnotherLayoutIsRefusedAndUntouched) {
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(DbPath()).constData(), &db), SQLITE_OK);
        const QByteArray key = kTestKey.toUtf8();
        sqlite3_key_v2(db, "main", key.constData(), static_cast<int>(key.size()));
        EXPECT_EQ(sqlite3_exec(db, "create table playlist (id integer primary key, path text)", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    ExpectRefusedAndUntouched(kTestKey, FailureCode::DatabaseDamaged);
}

TEST_F(PlaylistStoreTest, ProgramPassphraseOpensWhatItCreatedAndAnotherPassphraseDoesNot) {
    {
        OpenResult created = OpenPlaylistStore(DbPath());
        ASSERT_TRUE(created.ok()) << FailureMessage(created.failure()).toStdString();
        ASSERT_TRUE(AddRow(*created.value(), QStringLiteral("/a/one.mp3")).ok());
    }
    {
        OpenResult reopened =
            OpenPlaylistStore(DbPath(), QString::fromLatin1(SqlCipherPlaylistStore::kPassword));
        ASSERT_TRUE(reopened.ok()) << FailureMessage(reopened.failure()).toStdString();
        auto rs = Lookup(*reopened.value(), QStringLiteral("/a/one.mp3"));
        ASSERT_TRUE(rs);
        EXPECT_EQ(rs->RecordCount(), 1);
    }
    ExpectRefusedAndUntouched(QStringLiteral("73940269"), FailureCode::DatabaseDamaged);
    ExpectRefusedAndUntouched(kTestKey, FailureCode::DatabaseDamaged);
}

TEST_F(PlaylistStoreTest, PassphraseWithQuotesIsAKeyNotSql) {
    const QString key = QStringLiteral("it's \"x'00'\"; --");
    {
        auto db = OpenDb(key);
        ASSERT_TRUE(db);
        ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3")).ok());
    }
    auto db = OpenDb(key);
    ASSERT_TRUE(db);
    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->RecordCount(), 1);
    db.reset();
    ExpectRefusedAndUntouched(QStringLiteral("it's"), FailureCode::DatabaseDamaged);
}

// Opening what cannot be read

TEST_F(PlaylistStoreTest, DatabaseOfAnotherKeyIsRefusedAndUntouched) {
    MakeDatabaseWithRows(5, kOtherRawKey);
    ExpectRefusedAndUntouched(kTestKey, FailureCode::DatabaseDamaged);
    ExpectRefusedAndUntouched(QStringLiteral("wrong passphrase"), FailureCode::DatabaseDamaged);
}

TEST_F(PlaylistStoreTest, GarbageFileIsRefusedAndUntouched) {
    std::mt19937 random(7);
    QByteArray garbage(5000, '\0');
    for (char& byte : garbage)
        byte = static_cast<char>(random());
    QFile file(DbPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(garbage);
    file.close();
    ExpectRefusedAndUntouched(kTestKey, FailureCode::DatabaseDamaged);

    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("#EXTM3U\n/a/one.mp3\n");
    file.close();
    ExpectRefusedAndUntouched(kTestKey, FailureCode::DatabaseDamaged);
}

TEST_F(PlaylistStoreTest, TruncatedDatabaseIsRefusedAndUntouched) {
    MakeDatabaseWithRows(200);
    const QByteArray whole = FileBytes();
    ASSERT_GT(whole.size(), 20 * 1024);
    for (const qsizetype size : {whole.size() / 2 / 1024 * 1024, whole.size() - 1000, qsizetype{700}}) {
        SCOPED_TRACE(size);
        QFile file(DbPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(whole.left(size));
        file.close();
        ExpectRefusedAndUntouched(kTestKey, FailureCode::DatabaseDamaged);
    }
}

TEST_F(PlaylistStoreTest, FolderInPlaceOfTheFileCannotBeOpened) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("quillan.mdb")));
    const OpenResult result = OpenPlaylistStore(DbPath(), kTestKey);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.failure().code, FailureCode::DatabaseCannotOpen);
    EXPECT_FALSE(FailureMessage(result.failure()).isEmpty());
    EXPECT_TRUE(QFileInfo(DbPath()).isDir());
    EXPECT_TRUE(QDir(DbPath()).isEmpty());
}

TEST_F(PlaylistStoreTest, MissingFolderCannotBeOpenedAndIsNotCreated) {
    const QString path = dir_.filePath(QStringLiteral("absent/quillan.mdb"));
    const OpenResult result = OpenPlaylistStore(path, kTestKey);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.failure().code, FailureCode::DatabaseCannotOpen);
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath(QStringLiteral("absent"))));
}

TEST_F(PlaylistStoreTest, MalformedRawKeyIsRefusedBeforeAnyFileIsMade) {
    for (const QString& key :
         {QStringLiteral("x'0102'"), kTestKey.left(66) + QStringLiteral("g'"), QString()}) {
        const OpenResult result = OpenPlaylistStore(DbPath(), key);
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.failure().code, FailureCode::DatabaseCannotOpen) << key.toStdString();
    }
    EXPECT_TRUE(FolderEntries().isEmpty());
}

// Commands

TEST_F(PlaylistStoreTest, InsertUpdateAndDeleteCommandsRunWithoutRecordset) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    QueryResult inserted = db->Execute(kInsertSql, {QStringLiteral("one.mp3"), QStringLiteral("/a/one.mp3")});
    EXPECT_TRUE(inserted.ok());
    EXPECT_FALSE(inserted.value());
    QueryResult updated = db->Execute(QStringLiteral("UPDATE playlist SET playtime = ? WHERE savepath = ?"),
                                      {QStringLiteral("03:15"), QStringLiteral("/a/one.mp3")});
    EXPECT_TRUE(updated.ok());
    EXPECT_FALSE(updated.value());

    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->Field(kFileNameField), QStringLiteral("one.mp3"));
    EXPECT_EQ(rs->Field(kPlayTimeField), QStringLiteral("03:15"));
    EXPECT_EQ(rs->Field(kSeqField), QStringLiteral("1"));

    QueryResult deleted = db->Execute(kDeleteByPathSql, {QStringLiteral("/a/one.mp3")});
    EXPECT_TRUE(deleted.ok());
    EXPECT_FALSE(deleted.value());
    auto gone = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(gone);
    EXPECT_TRUE(gone->Eof());
}

TEST_F(PlaylistStoreTest, SelectAndDeleteWorkInAnyLetterCase) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3")).ok());
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/two.mp3")).ok());
    for (const QString& sql : {QStringLiteral("SELECT * FROM playlist WHERE savepath = ?"),
                               QStringLiteral("  SeLeCt * from playlist where savepath = ?")}) {
        auto rs = Select(*db, sql, {QStringLiteral("/a/two.mp3")});
        ASSERT_TRUE(rs);
        EXPECT_EQ(rs->RecordCount(), 1);
        EXPECT_EQ(rs->Field(kSavePathField), QStringLiteral("/a/two.mp3"));
    }
    QueryResult deleted = db->Execute(QStringLiteral("DeLeTe FROM playlist WHERE savepath = ?"),
                                      {QStringLiteral("/a/one.mp3")});
    EXPECT_TRUE(deleted.ok());
    EXPECT_FALSE(deleted.value());
    auto all = Select(*db, kAllRowsSql);
    ASSERT_TRUE(all);
    ASSERT_EQ(all->RecordCount(), 1);
    EXPECT_EQ(all->Field(kSavePathField), QStringLiteral("/a/two.mp3"));
}

TEST_F(PlaylistStoreTest, BadCommandTextFailsAndChangesNothing) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3")).ok());
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
        ASSERT_FALSE(result.ok()) << sql.toStdString();
        EXPECT_EQ(result.failure().code, FailureCode::DatabaseBadCommand) << sql.toStdString();
        EXPECT_FALSE(result.failure().detail.isEmpty());
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

TEST_F(PlaylistStoreTest, LookupOfAbsentPathIsEofAtOnce) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3")).ok());
    auto rs = Lookup(*db, QStringLiteral("/a/absent.mp3"));
    ASSERT_TRUE(rs);
    EXPECT_TRUE(rs->Eof());
    EXPECT_EQ(rs->RecordCount(), 0);
    EXPECT_EQ(rs->Field(kSavePathField), std::nullopt);
    rs->MoveNext();
    rs->MoveFirst();
    EXPECT_TRUE(rs->Eof());
}

TEST_F(PlaylistStoreTest, FileAddedTwiceKeepsOneRow) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3"), QStringLiteral("first")).ok());
    const Result<void> second = AddRow(*db, QStringLiteral("/a/one.mp3"), QStringLiteral("second"));
    EXPECT_EQ(second.failure().code, FailureCode::DatabaseRefused);
    EXPECT_FALSE(FailureMessage(second.failure()).isEmpty());
    const QueryResult inserted =
        db->Execute(kInsertSql, {QStringLiteral("third"), QStringLiteral("/a/one.mp3")});
    EXPECT_EQ(inserted.failure().code, FailureCode::DatabaseRefused);

    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    ASSERT_EQ(rs->RecordCount(), 1);
    EXPECT_EQ(rs->Field(kFileNameField), QStringLiteral("first"));
}

TEST_F(PlaylistStoreTest, UnusualPathsAreFoundRefreshedAndDeletedByTheirWholePath) {
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
        ASSERT_TRUE(AddRow(*db, path).ok());
        ASSERT_TRUE(AddRow(*db, path + u' ').ok());  // a different file name, so a different row

        auto found = Lookup(*db, path);
        ASSERT_TRUE(found);
        ASSERT_EQ(found->RecordCount(), 1);
        EXPECT_EQ(found->Field(kSavePathField), path);
        found->SetField(kFirstSegmentField, QStringLiteral("1.50|3.25"));
        ASSERT_TRUE(found->Update().ok());

        auto refreshed = Lookup(*db, path);
        ASSERT_TRUE(refreshed);
        EXPECT_EQ(refreshed->Field(kFirstSegmentField), QStringLiteral("1.50|3.25"));

        const QueryResult deleted = db->Execute(kDeleteByPathSql, {path});
        EXPECT_TRUE(deleted.ok());
        auto gone = Lookup(*db, path);
        ASSERT_TRUE(gone);
        EXPECT_TRUE(gone->Eof());
        auto neighbour = Lookup(*db, path + u' ');
        ASSERT_TRUE(neighbour);
        EXPECT_EQ(neighbour->RecordCount(), 1);
        EXPECT_EQ(neighbour->Field(kFirstSegmentField), std::nullopt);
    }
}

}  // namespace
}  // namespace ostrelle::store_test
