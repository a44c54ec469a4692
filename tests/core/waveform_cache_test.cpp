#include "core/formats/waveform_cache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace ostrelle {
namespace {

const AudioFileIdentity kLesson{QStringLiteral("/课文/第 1 课 \"问候\".mp3"), 123456, 1700000000123};

WaveformPeaks Ramp(int buckets) {
    WaveformPeaks peaks;
    peaks.durationMs = buckets * 5;
    for (int i = 0; i < buckets; ++i) {
        peaks.max.push_back(static_cast<float>(i % 100) / 100.0f);
        peaks.min.push_back(-peaks.max.back());
    }
    peaks.complete = true;
    return peaks;
}

TEST(WaveformCache, StoredPeaksComeBackForTheSameStateOfTheFile) {
    QTemporaryDir dir;
    const WaveformCache cache(dir.path() + QStringLiteral("/waveforms"));
    const WaveformPeaks peaks = Ramp(1000);
    ASSERT_TRUE(cache.Store(kLesson, peaks).ok());

    const std::optional<WaveformPeaks> found = cache.Find(kLesson);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->complete);
    EXPECT_TRUE(found->fromCache);
    EXPECT_EQ(found->durationMs, 5000);
    ASSERT_EQ(found->max.size(), 1000u);
    for (std::size_t i = 0; i < 1000; ++i) {
        ASSERT_NEAR(found->max[i], peaks.max[i], 1.0 / 32767) << i;
        ASSERT_NEAR(found->min[i], peaks.min[i], 1.0 / 32767) << i;
    }

    AudioFileIdentity changed[3] = {kLesson, kLesson, kLesson};
    changed[0].modifiedMs += 1;
    changed[1].sizeBytes += 1;
    changed[2].absolutePath += u'x';
    for (const AudioFileIdentity& audio : changed)
        EXPECT_FALSE(cache.Find(audio));
}

TEST(WaveformCache, EveryCutOrFlippedByteMakesTheEntryInvalid) {
    const QByteArray bytes = WaveformCache::Encode(kLesson, Ramp(50));
    ASSERT_TRUE(WaveformCache::Decode(bytes, kLesson));
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        QByteArray flipped = bytes;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x10);
        ASSERT_FALSE(WaveformCache::Decode(flipped, kLesson)) << "byte " << at;
        ASSERT_FALSE(WaveformCache::Decode(bytes.left(at), kLesson)) << "cut at " << at;
    }
}

TEST(WaveformCache, TheLeastRecentlyUsedEntriesGoFirstWhenTheFolderIsFull) {
    QTemporaryDir dir;
    const qint64 entryBytes = WaveformCache::Encode(kLesson, Ramp(1000)).size();
    const WaveformCache cache(dir.path(), entryBytes * 3 + 100);  // room for three
    auto lesson = [](int n) {
        AudioFileIdentity audio = kLesson;
        audio.absolutePath += QString::number(n);
        return audio;
    };
    const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-100);
    for (int n = 0; n < 3; ++n) {
        ASSERT_TRUE(cache.Store(lesson(n), Ramp(1000)).ok());
        QFile file(cache.FileFor(lesson(n).absolutePath));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(start.addSecs(n), QFileDevice::FileModificationTime);
    }
    ASSERT_TRUE(cache.Find(lesson(0)));  // now the most recently used

    ASSERT_TRUE(cache.Store(lesson(3), Ramp(1000)).ok());
    EXPECT_TRUE(cache.Find(lesson(0)));
    EXPECT_FALSE(cache.Find(lesson(1)));
    EXPECT_TRUE(cache.Find(lesson(2)));
    EXPECT_TRUE(cache.Find(lesson(3)));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

TEST(WaveformCache, AFolderThatCannotBeWrittenFailsTheStoreAndKeepsNothing) {
    QTemporaryDir dir;
    const QString blocked = dir.path() + QStringLiteral("/file");
    QFile file(blocked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const WaveformCache cache(blocked + QStringLiteral("/waveforms"));  // under a file
    const Result<void> stored = cache.Store(kLesson, Ramp(10));
    ASSERT_FALSE(stored.ok());
    EXPECT_EQ(stored.failure().code, FailureCode::CannotWrite);
    EXPECT_FALSE(cache.Find(kLesson));
}

TEST(IdentifyAudioFile, NamesWhatIsNotAnAudioFile) {
    QTemporaryDir dir;
    const QString empty = dir.path() + QStringLiteral("/空.mp3");
    QFile file(empty);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(IdentifyAudioFile(dir.path() + QStringLiteral("/none.mp3")).failure().code,
              FailureCode::Missing);
    EXPECT_EQ(IdentifyAudioFile(dir.path()).failure().code, FailureCode::NotAFile);
    EXPECT_EQ(IdentifyAudioFile(empty).failure().code, FailureCode::Empty);
    EXPECT_EQ(IdentifyAudioFile(QString()).failure().code, FailureCode::Missing);
}

}  // namespace
}  // namespace ostrelle
