#include "core/formats/settings_file.h"
#include "core/operations/segment_store.h"
#include "support/app_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace ostrelle {
namespace {

// The texts the store runs for its typed queries.
const QString kAllRowsSql = QStringLiteral("select * from playlist");
const QString kListedRowsSql = QStringLiteral("select * from playlist where seq=1");

// How a child that was not killed ended; a working child is only ever ended by the kill.
constexpr int kChildCannotOpen = 2;
constexpr int kChildStepFailed = 3;
constexpr int kChildCannotReport = 4;

// A child that goes silent this long is stuck, and the test fails instead of hanging.
constexpr int kChildSilenceMs = 20000;

std::string DescribeStatus(int status) {
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    if (WIFEXITED(status)) return "exited with " + std::to_string(WEXITSTATUS(status));
    return "status " + std::to_string(status);
}

// A forked child that is killed and reaped on every way out of the test, so none is left behind.
class ChildProcess {
public:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    ~ChildProcess() {
        if (pid_ > 0) KillAndReap();
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    int KillAndReap() {
        kill(pid_, SIGKILL);
        return Reap();
    }
    int Reap() {
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_;
};

// One int from the pipe: false at its end, or (with a failure) when the child stays silent too long.
bool ReadReport(int fd, int& value) {
    pollfd wanted{fd, POLLIN, 0};
    const int ready = poll(&wanted, 1, kChildSilenceMs);
    if (ready == 0) {
        ADD_FAILURE() << "the child stopped reporting without ending";
        return false;
    }
    return ready > 0 && read(fd, &value, sizeof value) == sizeof value;
}

void Report(int fd, int change) {
    if (write(fd, &change, sizeof change) != sizeof change) _exit(kChildCannotReport);
}

// After its last change a child waits for the kill, so every round ends the same way.
[[noreturn]] void WaitForKill() {
    for (;;)
        pause();
}

// Dialogs that also tell the child how far a list import got.
class ProgressDialogs : public ScriptedDialogs {
public:
    // Progress repeated while a length is awaited tells nothing new and is not passed on.
    bool ReportProgress(const QString& label, int done, int total) override {
        if (onProgress && done != lastDone_) onProgress(done, total);
        lastDone_ = done;
        return ScriptedDialogs::ReportProgress(label, done, total);
    }
    std::function<void(int done, int total)> onProgress;

private:
    int lastDone_ = -1;
};

std::unique_ptr<SqlCipherPlaylistStore> OpenOrExit(const QString& folder) {
    OpenResult opened = OpenPlaylistStore(ProgramFolder{folder, folder}.DatabaseFile(), kTestKey);
    if (!opened.ok()) _exit(kChildCannotOpen);
    return std::move(opened.value());
}

// The controller as the program starts it (window loaded), over the folder's database, inside a child.
struct ChildApp {
    explicit ChildApp(const QString& folder)
        : db(OpenOrExit(folder)),
          app({player, dialogs, probe, device, db.get(), db.get()}, {folder, folder}) {
        app.Start();
    }

    SimulatedPlayer player;
    ProgressDialogs dialogs;
    FakeDurationMeter probe;
    FakeWaveDevice device;
    std::unique_ptr<SqlCipherPlaylistStore> db;
    Controller app;
};

std::vector<QString> SavePaths(SqlCipherPlaylistStore& db, const QString& sql, const QStringList& args = {}) {
    std::vector<QString> paths;
    QueryResult result = db.Execute(sql, args);
    if (!result.ok()) {
        ADD_FAILURE() << FailureMessage(result.failure()).toStdString();
        return paths;
    }
    for (Recordset& rows = *result.value(); !rows.Eof(); rows.MoveNext())
        paths.push_back(rows.Field(kSavePathField).value_or(QString()));
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The used slots of path's row, in order; none when there is no row.
std::vector<QString> StoredSlots(SqlCipherPlaylistStore& db, const QString& path) {
    std::vector<QString> slots;
    QueryResult result = db.RowFor(path);
    if (!result.ok()) {
        ADD_FAILURE() << FailureMessage(result.failure()).toStdString();
        return slots;
    }
    if (result.value()->Eof()) return slots;
    for (int p = kFirstSegmentField; p <= kLastSegmentField; ++p) {
        const std::optional<QString> slot = result.value()->Field(p);
        if (!slot) break;
        slots.push_back(*slot);
    }
    return slots;
}

// Killed at random points

class FaultKilledChild : public ::testing::Test {
protected:
    static constexpr int kRounds = 50;

    FaultKilledChild() : seed_(std::random_device()()), random_(seed_) {
        WriteSettings("[Fist]\r\nrun=1\r\n");
    }

    QString Folder() const { return dir_.path(); }
    QString SettingsPath() const { return ProgramFolder{Folder(), Folder()}.SettingsFile(); }

    void WriteSettings(const QByteArray& bytes) const {
        QFile file(SettingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray SettingsBytes() const {
        QFile file(SettingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    // Forks child(reportFd), lets it report waitFor changes, waits delayUs more, then kills and reaps it.
    // Returns every change it reported; a child that ended any other way fails the test.
    std::vector<int> RunUntilKilled(const std::function<void(int reportFd)>& child, int waitFor,
                                    int delayUs) {
        int fds[2];
        if (pipe(fds) != 0) {
            ADD_FAILURE() << "pipe failed";
            return {};
        }
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            child(fds[1]);
            WaitForKill();
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            ADD_FAILURE() << "fork failed";
            return {};
        }
        ChildProcess process(pid);
        std::vector<int> reported;
        int change = 0;
        while (static_cast<int>(reported.size()) < waitFor && ReadReport(fds[0], change))
            reported.push_back(change);
        // The moment of the kill is the situation under test.
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
        const int status = process.KillAndReap();
        while (read(fds[0], &change, sizeof change) == sizeof change)
            reported.push_back(change);
        close(fds[0]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << DescribeStatus(status);
        return reported;
    }

    // The database opens after the kill; null (with a failure) when it does not.
    std::unique_ptr<SqlCipherPlaylistStore> Reopen() const {
        OpenResult opened = OpenPlaylistStore(ProgramFolder{Folder(), Folder()}.DatabaseFile(), kTestKey);
        EXPECT_TRUE(opened.ok()) << FailureMessage(opened.failure()).toStdString();
        return std::move(opened.value());
    }

    void ExpectSettingsStillRead() const {
        EXPECT_EQ(ReadIniValue(QStringLiteral("Fist"), QStringLiteral("run"), SettingsPath()),
                  QStringLiteral("1"));
    }

    static void ExpectConsecutiveFromZero(const std::vector<int>& reported) {
        for (size_t i = 0; i < reported.size(); ++i)
            ASSERT_EQ(reported[i], static_cast<int>(i)) << "reports arrive in order, none lost";
    }

    QTemporaryDir dir_;
    const unsigned seed_;
    std::mt19937 random_;
};

// Ten hours, so that every mark lies well inside the lesson.
constexpr double kLongLessonSeconds = 36000;

QString MarkedSlot(int change) {
    return SlotText({MarkTime::At(2 * change + 1), MarkTime::At(2 * change + 2)});
}

// The slots after `changes` marks: the newest kSegmentSlots of them.
std::vector<QString> SlotsAfter(int changes) {
    std::vector<QString> slots;
    for (int change = std::max(0, changes - kSegmentSlots); change < changes; ++change)
        slots.push_back(MarkedSlot(change));
    return slots;
}

[[noreturn]] void MarkSegmentsUntilKilled(const QString& folder, const QString& lesson, int reportFd) {
    ChildApp child(folder);
    child.player.duration_ = kLongLessonSeconds;
    child.app.documents().OpenChosenFile(lesson, QFileInfo(lesson).fileName());
    for (int change = 0; change < 10 * kSegmentSlots; ++change) {
        child.player.SetCurrentPosition(2 * change + 1);
        child.app.Run(Command::SetA);
        child.player.Pause();
        child.player.SetCurrentPosition(2 * change + 2);
        child.app.Run(Command::SetB);
        const ABList& list = child.app.state().abList;
        if (!child.dialogs.shown.empty() || list.empty() || SlotText(list.back()) != MarkedSlot(change))
            _exit(kChildStepFailed);
        Report(reportFd, change);
    }
    WaitForKill();
}

TEST_F(FaultKilledChild, KilledWhileSettingBPointsKeepsEveryReportedSegment) {
    SCOPED_TRACE(seed_);
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        const QString lesson = dir_.filePath(QStringLiteral("lesson%1.mp3").arg(round));
        ASSERT_TRUE(QFile(lesson).open(QIODevice::WriteOnly));
        // Past 50 marks sometimes, so the oldest must drop as a whole.
        const std::vector<int> reported = RunUntilKilled(
            [&](int fd) { MarkSegmentsUntilKilled(Folder(), lesson, fd); }, Uniform(0, 60), Uniform(0, 1500));
        ASSERT_NO_FATAL_FAILURE(ExpectConsecutiveFromZero(reported));

        auto db = Reopen();
        ASSERT_TRUE(db);
        const int done = static_cast<int>(reported.size());
        const std::vector<QString> slots = StoredSlots(*db, lesson);
        // The one mark in flight may have landed unreported.
        EXPECT_TRUE(slots == SlotsAfter(done) || slots == SlotsAfter(done + 1))
            << done << " reported, " << slots.size() << " slots, last "
            << (slots.empty() ? std::string() : slots.back().toStdString());
        ExpectSettingsStillRead();
    }
}

constexpr int kFillRows = 40;

QString FillPrefix(int fill) {
    return QStringLiteral("/fill%1/lesson").arg(fill);
}

std::vector<QString> FillPaths(int fill) {
    std::vector<QString> paths;
    for (int row = 1; row <= kFillRows; ++row)
        paths.push_back(FillPrefix(fill) + QString::number(row) + QStringLiteral(".mp3"));
    std::sort(paths.begin(), paths.end());
    return paths;
}

// One command, so a fill is all there or not at all; long segments spread the rows over many pages.
Result<void> Fill(SqlCipherPlaylistStore& db, int fill) {
    const QString sql = QStringLiteral(
                            "insert into playlist (filename, savepath, playtime, segment1) "
                            "with recursive n(x) as (select 1 union all select x + 1 from n where x < %1) "
                            "select 'lesson' || x || '.mp3', ? || x || '.mp3', '1:00', ? from n")
                            .arg(kFillRows);
    QueryResult filled = db.Execute(sql, {FillPrefix(fill), QString(3000, u'x')});
    if (!filled.ok()) return filled.failure();
    return {};
}

// Change 2k is fill k stored and shown; change 2k+1 is the list cleared after it.
[[noreturn]] void FillAndClearUntilKilled(const QString& folder, int reportFd) {
    ChildApp child(folder);
    for (int fill = 0; fill < 1000; ++fill) {
        if (!Fill(*child.db, fill).ok()) _exit(kChildStepFailed);
        child.app.playlist().LoadPlaylistGrid();
        if (child.app.window().playlistGrid.CellText(kFillRows, kFileNameColumn).isEmpty())
            _exit(kChildStepFailed);
        Report(reportFd, 2 * fill);
        child.dialogs.answers = {MessageAnswer::Yes};
        child.app.Run(Command::ClearList);
        QueryResult left = child.db->ListedRows();
        if (!left.ok() || left.value()->RecordCount() != 0 ||
            !child.app.window().playlistGrid.CellText(1, kFileNameColumn).isEmpty())
            _exit(kChildStepFailed);
        Report(reportFd, 2 * fill + 1);
    }
    WaitForKill();
}

TEST_F(FaultKilledChild, KilledWhileClearingTheListLeavesItListedWholeOrNotAtAll) {
    SCOPED_TRACE(seed_);
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        const std::vector<int> reported = RunUntilKilled(
            [&](int fd) { FillAndClearUntilKilled(Folder(), fd); }, Uniform(0, 6), Uniform(0, 3000));
        ASSERT_NO_FATAL_FAILURE(ExpectConsecutiveFromZero(reported));

        auto db = Reopen();
        ASSERT_TRUE(db);
        const int last = reported.empty() ? -1 : reported.back();
        // After fill k the clear may have landed; after a reported clear only the next fill may be there.
        const int fill = last < 0 ? 0 : last / 2 + last % 2;
        // The rows hold segments, so a clear keeps them, off the list.
        const std::vector<QString> rows = SavePaths(*db, kListedRowsSql);
        EXPECT_TRUE(rows.empty() || rows == FillPaths(fill))
            << "last reported change " << last << ": " << rows.size() << " rows, first "
            << (rows.empty() ? std::string() : rows.front().toStdString());
        ExpectSettingsStillRead();
        // Each round starts from an empty table.
        ASSERT_TRUE(db->DeleteAll().ok());
    }
}

constexpr int kListEntries = 40;

QString ImportedPath(int round, int change) {
    return QStringLiteral("/round%1/list%2/entry%3.mp3")
        .arg(round)
        .arg(change / kListEntries)
        .arg(change % kListEntries);
}

// Each list has its own new entries; change n is entry n % kListEntries of list n / kListEntries stored.
[[noreturn]] void ImportListsUntilKilled(const QString& folder, int round, int reportFd) {
    ChildApp child(folder);
    int list = 0;
    // Progress at entry i means the entries before it are stored.
    child.dialogs.onProgress = [&](int done, int total) {
        if (done > 0 && done < total) Report(reportFd, list * kListEntries + done - 1);
    };
    for (; list < 1000; ++list) {
        const QString listPath = folder + QStringLiteral("/round%1-list%2.m3u").arg(round).arg(list);
        QStringList paths;
        for (int entry = 0; entry < kListEntries; ++entry)
            paths << ImportedPath(round, list * kListEntries + entry);
        QFile file(listPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(SerializeM3u(paths, listPath)) < 0)
            _exit(kChildStepFailed);
        file.close();
        child.app.playlistFiles().LoadM3uList(listPath);
        if (!child.dialogs.shown.empty()) _exit(kChildStepFailed);
        const int last = list * kListEntries + kListEntries - 1;
        QueryResult stored = child.db->RowFor(ImportedPath(round, last));
        if (!stored.ok() || stored.value()->Eof()) _exit(kChildStepFailed);
        Report(reportFd, last);
    }
    WaitForKill();
}

TEST_F(FaultKilledChild, KilledWhileImportingAListKeepsEveryReportedEntry) {
    SCOPED_TRACE(seed_);
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        const std::vector<int> reported = RunUntilKilled(
            [&](int fd) { ImportListsUntilKilled(Folder(), round, fd); }, Uniform(0, 100), Uniform(0, 1500));
        ASSERT_NO_FATAL_FAILURE(ExpectConsecutiveFromZero(reported));

        auto db = Reopen();
        ASSERT_TRUE(db);
        const std::vector<QString> rows =
            SavePaths(*db, QStringLiteral("select * from playlist where savepath like ?"),
                      {QStringLiteral("/round%1/%").arg(round)});
        for (const int change : reported)
            EXPECT_TRUE(std::binary_search(rows.begin(), rows.end(), ImportedPath(round, change)))
                << "entry " << change << " was reported stored";
        const int done = static_cast<int>(reported.size());
        EXPECT_GE(static_cast<int>(rows.size()), done);
        EXPECT_LE(static_cast<int>(rows.size()), done + 1) << "only the entry in flight may be unreported";
        ExpectSettingsStillRead();
    }
}

const QByteArray kSettingsWithPath =
    "[Fist]\r\nrun=1\r\n"
    "; \xBF\xCE\xCE\xC4 (GB18030, kept byte for byte)\r\n"
    "[Mp3PrePath]\r\nPath=/lessons/unit0.mp3\r\n"
    "[comb]\r\n0=3\r\n1=2\r\n";

QString PathValue(int change) {
    return QStringLiteral("/lessons/unit%1.mp3").arg(change);
}

QByteArray SettingsWithPath(int change) {
    QByteArray bytes = kSettingsWithPath;
    return bytes.replace("unit0.mp3", PathValue(change).section(u'/', -1).toLatin1());
}

// Change n is the path value n written.
[[noreturn]] void WriteSettingsUntilKilled(const QString& folder, int reportFd) {
    ChildApp child(folder);
    const QString settings = child.app.folder().SettingsFile();
    for (int change = 1; change < 100000; ++change) {
        if (!WriteIniValue(QStringLiteral("Mp3PrePath"), QStringLiteral("Path"), PathValue(change), settings)
                 .ok())
            _exit(kChildStepFailed);
        Report(reportFd, change);
    }
    WaitForKill();
}

TEST_F(FaultKilledChild, KilledWhileWritingASettingLeavesAWholeFileWithTheLastReportedValue) {
    SCOPED_TRACE(seed_);
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        WriteSettings(kSettingsWithPath);
        const std::vector<int> reported = RunUntilKilled(
            [&](int fd) { WriteSettingsUntilKilled(Folder(), fd); }, Uniform(0, 12), Uniform(0, 3000));
        for (size_t i = 0; i < reported.size(); ++i)
            ASSERT_EQ(reported[i], static_cast<int>(i) + 1);
        const int last = reported.empty() ? 0 : reported.back();
        const QByteArray bytes = SettingsBytes();
        // Either the last reported value or the one in flight, with every other line as it was.
        EXPECT_TRUE(bytes == SettingsWithPath(last) || bytes == SettingsWithPath(last + 1))
            << "last reported " << last << ", file:\n"
            << bytes.toStdString();
        ExpectSettingsStillRead();
        ASSERT_TRUE(Reopen());
    }
}

// Two instances on one folder

class FaultTwoInstances : public ::testing::Test {
protected:
    static constexpr int kSegmentsEach = 200;
    static constexpr int kFilesEach = 8;

    QString DbPath() const { return dir_.filePath(QStringLiteral("quillan.mdb")); }

    static QString InstanceFile(int instance, int segment) {
        return QStringLiteral("/instance%1/lesson%2.mp3").arg(instance).arg(segment % kFilesEach);
    }
    static QString InstanceSlot(int instance, int segment) {
        return SlotText({ReadMark(QStringLiteral("%1:%2").arg(instance).arg(segment)),
                         ReadMark(QStringLiteral("00:01"))});
    }

    // Waits for the start signal, then stores its segments; any failure is written to errorFd.
    [[noreturn]] void StoreSegments(int instance, int startFd, int errorFd) const {
        char go = 0;
        if (read(startFd, &go, 1) != 0) _exit(kChildStepFailed);
        OpenResult opened = OpenPlaylistStore(DbPath(), kTestKey);
        const auto fail = [errorFd](const QString& what) {
            const QByteArray bytes = what.toUtf8() + '\n';
            if (write(errorFd, bytes.constData(), bytes.size()) < 0) _exit(kChildCannotReport);
            _exit(kChildStepFailed);
        };
        if (!opened.ok()) fail(QStringLiteral("open: ") + FailureMessage(opened.failure()));
        SegmentStore store(opened.value().get());
        for (int segment = 0; segment < kSegmentsEach; ++segment) {
            const Result<void> failure = store.StoreSegment(InstanceFile(instance, segment),
                                                            ParseAB(InstanceSlot(instance, segment)), 60);
            if (!failure.ok())
                fail(QStringLiteral("segment %1: %2").arg(segment).arg(FailureMessage(failure.failure())));
        }
        _exit(0);
    }

    // Starts both at once and waits for both; then every segment of each must be stored.
    void RunBothAndCheck() const {
        int start[2];
        int errors[2];
        ASSERT_EQ(pipe(start), 0);
        ASSERT_EQ(pipe(errors), 0);
        std::vector<std::unique_ptr<ChildProcess>> children;
        for (int instance = 0; instance < 2; ++instance) {
            const pid_t pid = fork();
            if (pid == 0) {
                close(start[1]);
                close(errors[0]);
                StoreSegments(instance, start[0], errors[1]);
            }
            ASSERT_GT(pid, 0);
            children.push_back(std::make_unique<ChildProcess>(pid));
        }
        close(start[0]);
        close(errors[1]);
        close(start[1]);  // both start at once

        // The pipe ends when both have exited; a stuck child fails the test instead of hanging it.
        std::string failures;
        for (;;) {
            pollfd wanted{errors[0], POLLIN, 0};
            const int ready = poll(&wanted, 1, 60000);
            ASSERT_GT(ready, 0) << "the two instances did not finish";
            char buffer[512];
            const ssize_t got = read(errors[0], buffer, sizeof buffer);
            if (got <= 0) break;
            failures.append(buffer, static_cast<size_t>(got));
        }
        close(errors[0]);
        for (auto& child : children) {
            const int status = child->Reap();
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << DescribeStatus(status);
        }
        EXPECT_TRUE(failures.empty()) << failures;

        OpenResult reopened = OpenPlaylistStore(DbPath(), kTestKey);
        ASSERT_TRUE(reopened.ok()) << FailureMessage(reopened.failure()).toStdString();
        for (int instance = 0; instance < 2; ++instance) {
            for (int file = 0; file < kFilesEach; ++file) {
                std::vector<QString> expected;
                for (int segment = file; segment < kSegmentsEach; segment += kFilesEach)
                    expected.push_back(InstanceSlot(instance, segment));
                EXPECT_EQ(StoredSlots(*reopened.value(), InstanceFile(instance, file)), expected)
                    << "instance " << instance << ", file " << file;
            }
        }
    }

    QTemporaryDir dir_;
};

TEST_F(FaultTwoInstances, TwoProcessesStoringSegmentsTogetherLoseNone) {
    // The folder in use already, as after the program's first start.
    {
        OpenResult created = OpenPlaylistStore(DbPath(), kTestKey);
        ASSERT_TRUE(created.ok()) << FailureMessage(created.failure()).toStdString();
    }
    RunBothAndCheck();
}

TEST_F(FaultTwoInstances, TwoProcessesStartingOnAFolderWithoutADatabaseBothOpenIt) {
    // Each would otherwise key the empty file with its own salt, and one of them could not read it.
    RunBothAndCheck();
}

}  // namespace
}  // namespace ostrelle
