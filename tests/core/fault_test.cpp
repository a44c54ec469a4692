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
    bool ReportProgress(const QString& label, int done, int total) override {
        if (onProgress) onProgress(done, total);
        return ScriptedDialogs::ReportProgress(label, done, total);
    }
    std::function<void(int done, int total)> onProgress;
};

std::unique_ptr<SqlCipherPlaylistStore> OpenOrExit(const QString& folder) {
    OpenResult opened = OpenPlaylistStore(ProgramFolder{folder, folder}.DatabaseFile(), kTestKey);
    if (!opened.store) _exit(kChildCannotOpen);
    return std::move(opened.store);
}

// The controller as the program starts it (window loaded), over the folder's database, inside a child.
struct ChildApp {
    explicit ChildApp(const QString& folder)
        : db(OpenOrExit(folder)), app({player, dialogs, probe, device, db.get()}, {folder, folder}) {
        app.Start();
    }

    SimulatedPlayer player;
    ProgressDialogs dialogs;
    FakeDurationProbe probe;
    FakeWaveDevice device;
    std::unique_ptr<SqlCipherPlaylistStore> db;
    Controller app;
};

std::vector<QString> SavePaths(SqlCipherPlaylistStore& db, const QString& sql, const QStringList& args = {}) {
    std::vector<QString> paths;
    QueryResult result = db.Execute(sql, args);
    if (result.failure) {
        ADD_FAILURE() << result.failure.message.toStdString();
        return paths;
    }
    for (Recordset& rows = *result.recordset; !rows.Eof(); rows.MoveNext())
        paths.push_back(rows.Field(kSavePathField).value_or(QString()));
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The used slots of path's row, in order; none when there is no row.
std::vector<QString> StoredSlots(SqlCipherPlaylistStore& db, const QString& path) {
    std::vector<QString> slots;
    QueryResult result = db.RowFor(path);
    if (result.failure) {
        ADD_FAILURE() << result.failure.message.toStdString();
        return slots;
    }
    if (result.recordset->Eof()) return slots;
    for (int p = kFirstSegmentField; p <= kLastSegmentField; ++p) {
        const std::optional<QString> slot = result.recordset->Field(p);
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
        OpenResult opened =
            OpenPlaylistStore(ProgramFolder{Folder(), Folder()}.DatabaseFile(), kTestKey);
        EXPECT_TRUE(opened.store) << opened.failure.message.toStdString();
        return std::move(opened.store);
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

// Ten hours, so every mark reads H:MM:SS and each change gets its own texts.
constexpr double kLongLessonSeconds = 36000;

QString Clock(int seconds) {
    return QString::asprintf("%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

QString MarkedSlot(int change) {
    return SlotText(Clock(2 * change + 1), Clock(2 * change + 2));
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
        if (!child.dialogs.shown.empty() || list.empty() ||
            SlotText(list.back().aText, list.back().bText) != MarkedSlot(change))
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
StoreFailure Fill(SqlCipherPlaylistStore& db, int fill) {
    const QString sql = QStringLiteral(
                            "insert into playlist (filename, savepath, playtime, segment1) "
                            "with recursive n(x) as (select 1 union all select x + 1 from n where x < %1) "
                            "select 'lesson' || x || '.mp3', ? || x || '.mp3', '1:00', ? from n")
                            .arg(kFillRows);
    return db.Execute(sql, {FillPrefix(fill), QString(3000, u'x')}).failure;
}

// Change 2k is fill k stored and shown; change 2k+1 is the list cleared after it.
[[noreturn]] void FillAndClearUntilKilled(const QString& folder, int reportFd) {
    ChildApp child(folder);
    for (int fill = 0; fill < 1000; ++fill) {
        if (Fill(*child.db, fill)) _exit(kChildStepFailed);
        child.app.playlist().LoadPlaylistGrid();
        if (child.app.window().playlistGrid.CellText(kFillRows, 2).isEmpty()) _exit(kChildStepFailed);
        Report(reportFd, 2 * fill);
        child.dialogs.answers = {MessageAnswer::Yes};
        child.app.Run(Command::ClearList);
        QueryResult left = child.db->AllRows();
        if (left.failure || left.recordset->RecordCount() != 0 ||
            !child.app.window().playlistGrid.CellText(1, 2).isEmpty())
            _exit(kChildStepFailed);
        Report(reportFd, 2 * fill + 1);
    }
    WaitForKill();
}

TEST_F(FaultKilledChild, KilledWhileClearingTheListLeavesItWholeOrEmpty) {
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
        const std::vector<QString> rows = SavePaths(*db, kAllRowsSql);
        EXPECT_TRUE(rows.empty() || rows == FillPaths(fill))
            << "last reported change " << last << ": " << rows.size() << " rows, first "
            << (rows.empty() ? std::string() : rows.front().toStdString());
        ExpectSettingsStillRead();
        // Each round starts from an empty table.
        ASSERT_FALSE(db->DeleteAll());
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
        if (stored.failure || stored.recordset->Eof()) _exit(kChildStepFailed);
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
                 .ok)
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

// Disk full

class FaultDiskFull : public AppFixture {
protected:
    // A file-size limit makes a write fail part-way, as a full disk would.
    static void WithFullDisk(const std::function<void()>& action) {
        struct rlimit old {};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        struct rlimit tiny = old;
        tiny.rlim_cur = 4096;
        auto* previous = std::signal(SIGXFSZ, SIG_IGN);
        const bool limited = setrlimit(RLIMIT_FSIZE, &tiny) == 0;
        if (limited) action();
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
        ASSERT_TRUE(limited);
    }

    QStringList FolderEntries() const {
        return QDir(dir_.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    QString WriteFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return path;
    }

    static QByteArray Bytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Twenty listed files whose paths together pass the limit.
    void ListLongPaths() {
        for (int i = 0; i < 20; ++i)
            AddRow(QStringLiteral("/lessons/%1/unit%2.mp3").arg(QString(300, u'u')).arg(i));
        app_.playlist().LoadPlaylistGrid();
    }
};

TEST_F(FaultDiskFull, SavingAListOverAnExistingOneTellsOnceAndKeepsTheOldList) {
    ListLongPaths();
    const QByteArray old = "/old/one.mp3\r\n/old/two.mp3\r\n";
    const QString listPath = WriteFile(QStringLiteral("old.m3u"), old);
    const QStringList entries = FolderEntries();
    dialogs_.files = {{listPath, QStringLiteral("old.m3u")}, {listPath, QStringLiteral("old.m3u")}};

    ASSERT_NO_FATAL_FAILURE(WithFullDisk([&] { app_.Run(Command::SaveList); }));
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(dialogs_.shown[0].text.startsWith(QString::fromUtf8("无法保存播放列表：")))
        << dialogs_.shown[0].text.toStdString();
    EXPECT_TRUE(dialogs_.shown[0].text.contains(QStringLiteral("old.m3u")));
    EXPECT_EQ(dialogs_.shown[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(Bytes(listPath), old);
    EXPECT_EQ(FolderEntries(), entries) << "no temporary file is left";

    // With room again the same save goes through, so it was the full disk that stopped it.
    app_.Run(Command::SaveList);
    EXPECT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(Bytes(listPath).startsWith("/lessons/"));
    EXPECT_EQ(FolderEntries(), entries);
}

TEST_F(FaultDiskFull, SavingTheRecordingOverAnExistingFileTellsOnceAndKeepsTheOldFile) {
    const QByteArray recording = "RIFF" + QByteArray(10000, 'r');
    WriteFile(app_.folder().RecordingFile().section(u'/', -1), recording);
    const QByteArray old = "RIFF old copy";
    const QString copyPath = WriteFile(QStringLiteral("copy.wav"), old);
    const QStringList entries = FolderEntries();
    dialogs_.files = {{copyPath, QStringLiteral("copy.wav")}, {copyPath, QStringLiteral("copy.wav")}};

    ASSERT_NO_FATAL_FAILURE(WithFullDisk([&] { app_.Run(Command::SaveRecording); }));
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(dialogs_.shown[0].text.startsWith(
        QString::fromUtf8("录音没有另存。无法写入文件，请检查文件夹是否可写、磁盘是否已满。\n")))
        << dialogs_.shown[0].text.toStdString();
    EXPECT_TRUE(dialogs_.shown[0].text.contains(QStringLiteral("copy.wav")));
    EXPECT_EQ(Bytes(copyPath), old);
    EXPECT_EQ(Bytes(app_.folder().RecordingFile()), recording);
    EXPECT_EQ(FolderEntries(), entries) << "no temporary file is left";

    app_.Run(Command::SaveRecording);
    EXPECT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(Bytes(copyPath), recording);
    EXPECT_EQ(FolderEntries(), entries);
}

// A settings file already past the limit, so any rewrite of it fails.
const QByteArray kBigSettings =
    "[Fist]\r\nrun=1\r\n[comb]\r\n0=1\r\n1=0\r\n" + QByteArray(5000, ';') + "\r\n";

TEST_F(FaultDiskFull, StoringARepeatSettingOnAFullDiskKeepsTheOldSettingsFile) {
    const QString settings = WriteFile(QStringLiteral("OSTRELLE.ini"), kBigSettings);
    ASSERT_EQ(settings, app_.folder().SettingsFile());
    const QStringList entries = FolderEntries();
    window().repeatCountBox.text = QString::fromUtf8("3次");
    window().pauseBox.text = QString::fromUtf8("2秒");

    ASSERT_NO_FATAL_FAILURE(WithFullDisk([&] { app_.StoreRepeatChoices(); }));
    EXPECT_EQ(Bytes(settings), kBigSettings);
    EXPECT_EQ(FolderEntries(), entries) << "no temporary file is left";

    app_.StoreRepeatChoices();
    EXPECT_EQ(ReadIniValue(QStringLiteral("comb"), QStringLiteral("0"), settings), QStringLiteral("3"));
    EXPECT_EQ(ReadIniValue(QStringLiteral("comb"), QStringLiteral("1"), settings), QStringLiteral("2"));
}

TEST_F(FaultDiskFull, StoringARepeatSettingOnAFullDiskTellsTheLearnerOnce) {
    WriteFile(QStringLiteral("OSTRELLE.ini"), kBigSettings);
    window().repeatCountBox.text = QString::fromUtf8("3次");
    ASSERT_NO_FATAL_FAILURE(WithFullDisk([&] { app_.StoreRepeatChoices(); }));
    EXPECT_EQ(dialogs_.shown.size(), 1u) << "the choice was not kept, and the learner should know";
}

// Bad files at run time

class FaultBadFiles : public AppFixture {
protected:
    void ListAndDoubleClick(const QString& path) {
        AddRow(path);
        app_.playlist().LoadPlaylistGrid();
        ASSERT_EQ(grid().CellText(1, 4), path);
        grid().SetActiveCell(1, 2);
        app_.playlist().PlayEntry();
    }

    void ExpectEntryGoneWithTheMessage() {
        ASSERT_EQ(dialogs_.shown.size(), 1u);
        EXPECT_EQ(dialogs_.shown[0].text,
                  QString::fromUtf8("播放文件不存在或被删除，此列表内容将会被删除！"));
        EXPECT_EQ(TableRows(), 0);
        EXPECT_EQ(grid().CellText(1, 2), QString());
        EXPECT_EQ(player_.Url(), QString()) << "nothing was handed to the player";
        EXPECT_FALSE(window().listingTimer.Running());
    }
};

TEST_F(FaultBadFiles, AFileDeletedAfterListingIsDroppedWithAMessageWhenDoubleClicked) {
    const QString path = MakeFile(QStringLiteral("lesson.mp3"));
    AddRow(path);
    app_.playlist().LoadPlaylistGrid();
    ASSERT_TRUE(QFile::remove(path));
    grid().SetActiveCell(1, 2);
    app_.playlist().PlayEntry();
    ExpectEntryGoneWithTheMessage();
}

TEST_F(FaultBadFiles, AFolderNamedLikeAnAudioFileIsNotPlayedButDroppedLikeAMissingFile) {
    const QString folder = dir_.filePath(QStringLiteral("lesson.mp3"));
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_NO_FATAL_FAILURE(ListAndDoubleClick(folder));
    ExpectEntryGoneWithTheMessage();
    EXPECT_TRUE(QFileInfo(folder).isDir()) << "the folder itself is left alone";
}

// Opens the FIFO's other end if a reader is still waiting on it after a long while, so that a blocking
// read ends (and is reported) instead of hanging the whole suite.
class FifoRescue {
public:
    explicit FifoRescue(const QString& fifo) : path_(QFile::encodeName(fifo)), thread_([this] { Watch(); }) {}
    ~FifoRescue() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    bool Rescued() const { return rescued_; }

private:
    void Watch() {
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, std::chrono::seconds(10), [this] { return done_; })) return;
        while (!done_) {
            const int fd = ::open(path_.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                rescued_ = true;
                ::close(fd);
            }
            wake_.wait_for(lock, std::chrono::milliseconds(50), [this] { return done_; });
        }
    }

    QByteArray path_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::atomic<bool> rescued_{false};
    std::thread thread_;
};

TEST_F(FaultBadFiles, AFifoNamedLikeTheCompanionTextNeitherHangsNorFillsThePane) {
    const QString audio = MakeFile(QStringLiteral("lesson.mp3"));
    const QString fifo = dir_.filePath(QStringLiteral("lesson.txt"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    window().textPane.text = QStringLiteral("before");
    {
        FifoRescue rescue(fifo);
        app_.documents().StartAudioFile(audio);
        EXPECT_FALSE(rescue.Rescued()) << "starting the audio file waited on the FIFO";
    }
    EXPECT_EQ(player_.Url(), audio);
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
    EXPECT_TRUE(window().textPane.text == QStringLiteral("before") ||
                window().textPane.text.isEmpty())
        << window().textPane.text.left(80).toStdString();

    // Chosen directly in the open dialog it is refused the same way.
    {
        FifoRescue rescue(fifo);
        app_.documents().OpenChosenFile(fifo, QStringLiteral("lesson.txt"));
        EXPECT_FALSE(rescue.Rescued()) << "opening the FIFO as a text waited on it";
    }
    EXPECT_LE(window().textPane.text.size(), 6);
}

TEST_F(FaultBadFiles, AnEmptyMp3StartsWithoutCrashingAndIsNotListedWithAMadeUpLength) {
    const QString path = MakeFile(QStringLiteral("empty.mp3"));
    // What a real player and probe make of a file with no frames: no length at all.
    player_.duration_ = 0;
    probe_.seconds[path] = 0;
    app_.documents().OpenChosenFile(path, QStringLiteral("empty.mp3"));
    EXPECT_EQ(player_.Url(), path);
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
    int ticks = 0;
    for (; window().listingTimer.Running() && ticks < 100; ++ticks)
        app_.ListPlayingFile();
    EXPECT_FALSE(window().listingTimer.Running()) << "the listing gives up after a bounded number of looks";
    EXPECT_GT(ticks, 1) << "it looked again while the file might still be opening";
    EXPECT_EQ(TableRows(), 0);
    EXPECT_EQ(grid().CellText(1, 2), QString());
    EXPECT_EQ(grid().CellText(1, 3), QString());
}

TEST_F(FaultBadFiles, AFourGigabyteSparseCompanionTextIsNotLoadedIntoThePane) {
    const QString audio = MakeFile(QStringLiteral("lesson.mp3"));
    const QString text = dir_.filePath(QStringLiteral("lesson.txt"));
    {
        QFile file(text);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64{4} * 1024 * 1024 * 1024));
    }
    window().textPane.text = QStringLiteral("before");
    app_.documents().StartAudioFile(audio);
    EXPECT_EQ(player_.Url(), audio);
    EXPECT_LE(window().textPane.text.size(), 1024) << "the pane got the file";

    app_.documents().OpenChosenFile(text, QStringLiteral("lesson.txt"));
    EXPECT_LE(window().textPane.text.size(), 1024) << "the pane got the file";
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
        return SlotText(QStringLiteral("%1:%2").arg(instance).arg(segment), QStringLiteral("00:01"));
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
        if (!opened.store) fail(QStringLiteral("open: ") + opened.failure.message);
        SegmentStore store(opened.store.get());
        for (int segment = 0; segment < kSegmentsEach; ++segment) {
            const StoreFailure failure = store.StoreSegment(
                InstanceFile(instance, segment), InstanceSlot(instance, segment), QStringLiteral("1:00"));
            if (failure) fail(QStringLiteral("segment %1: %2").arg(segment).arg(failure.message));
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
        ASSERT_TRUE(reopened.store) << reopened.failure.message.toStdString();
        for (int instance = 0; instance < 2; ++instance) {
            for (int file = 0; file < kFilesEach; ++file) {
                std::vector<QString> expected;
                for (int segment = file; segment < kSegmentsEach; segment += kFilesEach)
                    expected.push_back(InstanceSlot(instance, segment));
                EXPECT_EQ(StoredSlots(*reopened.store, InstanceFile(instance, file)), expected)
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
        ASSERT_TRUE(created.store) << created.failure.message.toStdString();
    }
    RunBothAndCheck();
}

TEST_F(FaultTwoInstances, TwoProcessesStartingOnAFolderWithoutADatabaseBothOpenIt) {
    // Each would otherwise key the empty file with its own salt, and one of them could not read it.
    RunBothAndCheck();
}

}  // namespace
}  // namespace ostrelle
