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
    EXPECT_TRUE(dialogs_.shown[0].text.startsWith(QString::fromUtf8("无法保存播放列表。")))
        << dialogs_.shown[0].text.toStdString();
    EXPECT_TRUE(dialogs_.shown[0].text.contains(QStringLiteral("old.m3u")));
    EXPECT_EQ(dialogs_.shown[0].kind, MessageKind::Error);
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

TEST_F(FaultDiskFull, FailedListWritesAreToldOnceAndTheGridShowsWhatIsStored) {
    ListLongPaths();
    const QString first = grid().CellText(1, kPathColumn);
    const QString list = WriteFile(QStringLiteral("new.m3u"), "/new/1.mp3\r\n/new/2.mp3\r\n");
    dialogs_.answers = {MessageAnswer::Yes};
    ASSERT_NO_FATAL_FAILURE(WithFullDisk([&] {
        app_.Run(Command::ClearList);
        app_.playlist().SelectPlaylistRow(1);
        app_.Run(Command::DeleteEntry);
        app_.playlistFiles().LoadM3uList(list);
    }));
    // The question, then one message for each command that stored nothing.
    ASSERT_EQ(dialogs_.shown.size(), 4u);
    for (const char* what : {"播放列表没有清空。", "列表项没有删除。", "播放列表没有全部读入。"})
        EXPECT_EQ(
            std::count_if(dialogs_.shown.begin(), dialogs_.shown.end(),
                          [&](const auto& shown) { return shown.text.startsWith(QString::fromUtf8(what)); }),
            1)
            << what;
    EXPECT_EQ(TableRows(), 20);
    EXPECT_EQ(grid().CellText(1, kPathColumn), first);
    EXPECT_EQ(grid().CellText(20, kFileNameColumn).isEmpty(), false);
    EXPECT_EQ(grid().CellText(21, kFileNameColumn), QString());
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

TEST_F(FaultDiskFull, AReadOnlySettingsFileStaysAsItIsAndIsToldOnce) {
    const QString settings = WriteFile(QStringLiteral("OSTRELLE.ini"), "[comb]\r\n0=1\r\n");
    ASSERT_TRUE(QFile::setPermissions(settings, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    window().repeatCountBox.text = QString::fromUtf8("3次");
    app_.StoreRepeatChoices();
    app_.StoreRepeatChoices();
    EXPECT_EQ(Bytes(settings), "[comb]\r\n0=1\r\n");
    EXPECT_FALSE(QFileInfo(settings).permissions() & QFile::WriteOwner);
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(dialogs_.shown[0].text.startsWith(QString::fromUtf8("设置没有保存。")));
    EXPECT_TRUE(dialogs_.shown[0].text.contains(QString::fromUtf8("只读")))
        << dialogs_.shown[0].text.toStdString();

    // Writable again, the choice is kept; a later failure is told again.
    ASSERT_TRUE(QFile::setPermissions(settings, QFile::ReadOwner | QFile::WriteOwner));
    app_.StoreRepeatChoices();
    EXPECT_EQ(ReadIniValue(QStringLiteral("comb"), QStringLiteral("0"), settings), QStringLiteral("3"));
    ASSERT_TRUE(QFile::setPermissions(settings, QFile::ReadOwner));
    app_.StoreRepeatChoices();
    EXPECT_EQ(dialogs_.shown.size(), 2u);
}

// Bad files at run time

class FaultBadFiles : public AppFixture {
protected:
    void ListAndDoubleClick(const QString& path) {
        AddRow(path);
        app_.playlist().LoadPlaylistGrid();
        ASSERT_EQ(grid().CellText(1, kPathColumn), path);
        grid().SetActiveCell(1, kFileNameColumn);
        app_.playlist().PlayEntry();
    }

    void ExpectEntryGoneWithTheMessage() {
        ASSERT_EQ(dialogs_.shown.size(), 1u);
        EXPECT_EQ(dialogs_.shown[0].text,
                  QString::fromUtf8("播放文件不存在或被删除，此列表内容将会被删除！"));
        EXPECT_EQ(TableRows(), 0);
        EXPECT_EQ(grid().CellText(1, kFileNameColumn), QString());
        EXPECT_EQ(player_.Url(), QString()) << "nothing was handed to the player";
        EXPECT_FALSE(window().listingTimer.Running());
    }
};

TEST_F(FaultBadFiles, AFileDeletedAfterListingIsDroppedWithAMessageWhenDoubleClicked) {
    const QString path = MakeFile(QStringLiteral("lesson.mp3"));
    AddRow(path);
    app_.playlist().LoadPlaylistGrid();
    ASSERT_TRUE(QFile::remove(path));
    grid().SetActiveCell(1, kFileNameColumn);
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
    EXPECT_TRUE(window().textPane.text == QStringLiteral("before") || window().textPane.text.isEmpty())
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
    for (; window().listingTimer.Running() && ticks < 100; ++ticks) {
        app_.ListPlayingFile();
        probe_.DeliverAll();
    }
    EXPECT_FALSE(window().listingTimer.Running()) << "the listing gives up after a bounded number of looks";
    EXPECT_GT(ticks, 1) << "it looked again while the file might still be opening";
    EXPECT_EQ(TableRows(), 0);
    EXPECT_EQ(grid().CellText(1, kFileNameColumn), QString());
    EXPECT_EQ(grid().CellText(1, kDurationColumn), QString());
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

}  // namespace
}  // namespace ostrelle
