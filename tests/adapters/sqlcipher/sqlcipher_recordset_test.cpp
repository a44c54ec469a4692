#include "store_fixture.h"

namespace ostrelle::store_test {
namespace {

// Recordset

TEST_F(PlaylistStoreTest, NullIsTestableAndBlankTextIsNotNull) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3")).ok());
    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    rs->SetField(kFirstSegmentField, QString());
    rs->SetField(kFirstSegmentField + 1, QStringLiteral(" "));
    ASSERT_TRUE(rs->Update().ok());

    auto read = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(read);
    ASSERT_TRUE(read->Field(kFirstSegmentField).has_value());
    EXPECT_TRUE(read->Field(kFirstSegmentField)->isEmpty());
    EXPECT_EQ(read->Field(kFirstSegmentField + 1), QStringLiteral(" "));
    EXPECT_EQ(read->Field(kFirstSegmentField + 2), std::nullopt);

    read->SetField(kFirstSegmentField, std::nullopt);
    ASSERT_TRUE(read->Update().ok());
    auto nulls = Select(*db, QStringLiteral("select * from playlist where segment1 is null"));
    ASSERT_TRUE(nulls);
    EXPECT_EQ(nulls->RecordCount(), 1);
}

TEST_F(PlaylistStoreTest, MovesWalkTheRowsAndStopAtEof) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    const QStringList paths = {QStringLiteral("/a/1.mp3"), QStringLiteral("/a/2.mp3"),
                               QStringLiteral("/a/3.mp3")};
    for (const QString& path : paths)
        ASSERT_TRUE(AddRow(*db, path).ok());
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
    EXPECT_EQ(rs->Update().failure().code, FailureCode::DatabaseBadCommand);
    EXPECT_EQ(rs->DeleteCurrent().failure().code, FailureCode::DatabaseBadCommand);
    rs->MoveFirst();
    EXPECT_EQ(rs->Field(kSavePathField), paths[0]);
    EXPECT_EQ(rs->Field(kFileNameField), QStringLiteral("1.mp3"));
}

TEST_F(PlaylistStoreTest, IdAndOutOfRangePositionsAreNotWritable) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3")).ok());
    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    const auto id = rs->Field(kIdField);
    ASSERT_TRUE(id);
    rs->SetField(kIdField, QStringLiteral("999"));
    rs->SetField(kSeqField + 1, QStringLiteral("x"));
    rs->SetField(-1, QStringLiteral("x"));
    EXPECT_EQ(rs->Field(kIdField), id);
    EXPECT_EQ(rs->Field(kSeqField + 1), std::nullopt);
    EXPECT_TRUE(rs->Update().ok());
    auto again = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Field(kIdField), id);
}

TEST_F(PlaylistStoreTest, DeletedRowStaysReadableUntilAMoveAndUpdateDoesNotBringItBack) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    const QStringList paths = {QStringLiteral("/a/1.mp3"), QStringLiteral("/a/2.mp3"),
                               QStringLiteral("/a/3.mp3")};
    for (const QString& path : paths)
        ASSERT_TRUE(AddRow(*db, path).ok());
    auto rs = Select(*db, kSelectByIdSql);
    ASSERT_TRUE(rs);

    ASSERT_TRUE(rs->DeleteCurrent().ok());
    EXPECT_FALSE(rs->Eof());
    EXPECT_EQ(rs->Field(kSavePathField), paths[0]);
    EXPECT_EQ(rs->RecordCount(), 2);
    EXPECT_TRUE(rs->Update().ok());
    auto gone = Lookup(*db, paths[0]);
    ASSERT_TRUE(gone);
    EXPECT_TRUE(gone->Eof());

    rs->MoveNext();
    EXPECT_EQ(rs->Field(kSavePathField), paths[1]);
    rs->MoveFirst();
    EXPECT_EQ(rs->Field(kSavePathField), paths[1]);
    rs->MoveNext();
    ASSERT_TRUE(rs->DeleteCurrent().ok());
    rs->MoveNext();
    EXPECT_TRUE(rs->Eof());
    auto left = Select(*db, kAllRowsSql);
    ASSERT_TRUE(left);
    ASSERT_EQ(left->RecordCount(), 1);
    EXPECT_EQ(left->Field(kSavePathField), paths[1]);
}

TEST_F(PlaylistStoreTest, RowDeletedBeforeItsFirstUpdateNeverReachesTheTable) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    auto rs = Select(*db, kAllRowsSql);
    ASSERT_TRUE(rs);
    rs->AddNew();
    rs->SetField(kSavePathField, QStringLiteral("/a/one.mp3"));
    EXPECT_EQ(rs->RecordCount(), 1);
    ASSERT_TRUE(rs->DeleteCurrent().ok());
    EXPECT_TRUE(rs->Update().ok());
    EXPECT_EQ(rs->RecordCount(), 0);
    auto all = Select(*db, kAllRowsSql);
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->Eof());
}

TEST_F(PlaylistStoreTest, UpdateWritesOnlyTheChangedFields) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3")).ok());
    auto first = Lookup(*db, QStringLiteral("/a/one.mp3"));
    auto second = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(first && second);
    first->SetField(kFirstSegmentField, QStringLiteral("1|2"));
    second->SetField(kPlayTimeField, QStringLiteral("04:00"));
    ASSERT_TRUE(first->Update().ok());
    ASSERT_TRUE(second->Update().ok());
    auto read = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Field(kFirstSegmentField), QStringLiteral("1|2"));
    EXPECT_EQ(read->Field(kPlayTimeField), QStringLiteral("04:00"));
}

TEST_F(PlaylistStoreTest, UpdateOfARowDeletedElsewhereFailsAndAddsNothing) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3")).ok());
    auto stale = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(stale);
    ASSERT_TRUE(db->DeleteAll().ok());
    stale->SetField(kFirstSegmentField, QStringLiteral("1|2"));
    EXPECT_FALSE(stale->Update().ok());
    auto all = Select(*db, kAllRowsSql);
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->Eof());
}

TEST_F(PlaylistStoreTest, RecordsetOutlivingTheDatabaseObjectStillWorks) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3")).ok());
    auto rs = Lookup(*db, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(rs);
    db.reset();
    EXPECT_EQ(rs->Field(kSavePathField), QStringLiteral("/a/one.mp3"));
    rs->SetField(kFirstSegmentField, QStringLiteral("1|2"));
    EXPECT_TRUE(rs->Update().ok());
    rs.reset();

    auto reopened = OpenDb();
    ASSERT_TRUE(reopened);
    auto read = Lookup(*reopened, QStringLiteral("/a/one.mp3"));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Field(kFirstSegmentField), QStringLiteral("1|2"));
}

// Two programs on one folder

TEST_F(PlaylistStoreTest, FailedWriteLeavesNoTransactionOpen) {
    auto db = OpenDb();
    auto other = OpenDb();
    ASSERT_TRUE(db && other);
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3")).ok());
    EXPECT_EQ(AddRow(*db, QStringLiteral("/a/one.mp3")).failure().code, FailureCode::DatabaseRefused);
    EXPECT_EQ(db->Execute(kInsertSql, {QString(), QStringLiteral("/a/one.mp3")}).failure().code,
              FailureCode::DatabaseRefused);
    // A transaction left open would hold the write lock and make these wait out the busy timeout.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(AddRow(*other, QStringLiteral("/a/two.mp3")).ok());
    EXPECT_TRUE(AddRow(*db, QStringLiteral("/a/three.mp3")).ok());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    auto all = Select(*other, kAllRowsSql);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->RecordCount(), 3);
}

TEST_F(PlaylistStoreTest, ReaderHoldingASnapshotDoesNotBlockAWriter) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3")).ok());
    RawConnection reader(DbPath(), kTestKey);
    ASSERT_EQ(reader.Exec("BEGIN"), SQLITE_OK);
    ASSERT_EQ(reader.Rows("select count(*) from playlist"), (std::vector<std::vector<std::string>>{{"1"}}));

    auto writer = OpenDb();
    ASSERT_TRUE(writer);
    EXPECT_TRUE(AddRow(*writer, QStringLiteral("/a/two.mp3")).ok());
    EXPECT_TRUE(writer->Execute(kDeleteByPathSql, {QStringLiteral("/a/one.mp3")}).ok());
    EXPECT_EQ(reader.Rows("select count(*) from playlist where savepath = '/a/one.mp3'"),
              (std::vector<std::vector<std::string>>{{"1"}}));
    ASSERT_EQ(reader.Exec("COMMIT"), SQLITE_OK);

    auto all = Select(*db, kAllRowsSql);
    ASSERT_TRUE(all);
    ASSERT_EQ(all->RecordCount(), 1);
    EXPECT_EQ(all->Field(kSavePathField), QStringLiteral("/a/two.mp3"));
}

TEST_F(PlaylistStoreTest, WriterWaitsOutABriefLockInsteadOfFailing) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    std::promise<void> locked;
    constexpr auto kHeld = std::chrono::milliseconds(300);
    std::thread other([&] {
        RawConnection holder(DbPath(), kTestKey);
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
    const Result<void> failure = AddRow(*db, QStringLiteral("/a/mine.mp3"));
    const auto waited = std::chrono::steady_clock::now() - start;
    other.join();
    EXPECT_TRUE(failure.ok()) << FailureMessage(failure.failure()).toStdString();
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
    OpenResult opened = OpenPlaylistStore(dbPath, kTestKey);
    if (!opened.ok()) _exit(2);
    SqlCipherPlaylistStore& db = *opened.value();
    const QString longName(3000, u'n');  // rows over more than one page
    for (int change = 0; change < 100000; ++change) {
        QueryResult found = db.RowFor(CrashPath(round, change - change % 2));
        if (!found.value()) _exit(3);
        Recordset& rs = *found.value();
        if (change % 2 == 0) {
            rs.AddNew();
            rs.SetField(kFileNameField, longName);
            rs.SetField(kSavePathField, CrashPath(round, change));
        } else {
            rs.SetField(kFirstSegmentField + 1, QStringLiteral("segment %1").arg(change));
        }
        if (!rs.Update().ok()) _exit(4);
        if (write(reportFd, &change, sizeof change) != sizeof change) _exit(5);
    }
    _exit(6);
}

TEST_F(PlaylistStoreTest, KilledWriterLosesNoReportedChange) {
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
}  // namespace ostrelle::store_test
