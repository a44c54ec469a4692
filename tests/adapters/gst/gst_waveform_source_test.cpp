#include "adapters/gst/gst_waveform_source.h"
#include "core/formats/waveform_cache.h"
#include "core/model/waveform_columns.h"
#include "support/generated_audio.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace ostrelle {
namespace {

// Generous: the machine may be loaded; every wait ends as soon as its condition holds.
constexpr int kDeadlineMs = 30000;

// 5 s of silence with a tone of amplitude 0.5 from 2 s to 3 s.
constexpr qint64 kLengthMs = 5000;
constexpr qint64 kBurstFromMs = 2000;
constexpr qint64 kBurstToMs = 3000;

class GstWaveformSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // A name with Chinese, quotes and spaces, as lessons have.
        wav_ = dir_.filePath(QString::fromUtf8("第一课 \"问候\" it's.wav"));
        ASSERT_EQ(testing::WriteToneBurstWav(kLengthMs / 1000.0, kBurstFromMs / 1000.0,
                                             (kBurstToMs - kBurstFromMs) / 1000.0, wav_),
                  QString());
        cacheFolder_ = dir_.filePath(QStringLiteral("waveforms"));
    }

    // The MP3 of the same signal (LAME's delay shifts it by about 26 ms).
    QString Mp3(const QString& encoder = QStringLiteral("lamemp3enc target=bitrate cbr=true bitrate=128")) {
        const QString mp3 = dir_.filePath(QString::fromUtf8("第一课 \"问候\" it's %1.mp3").arg(++mp3s_));
        const QString wav = dir_.filePath(QStringLiteral("plain.wav"));
        if (!QFile::exists(wav)) {
            EXPECT_TRUE(QFile::copy(wav_, wav));
        }
        EXPECT_EQ(testing::WriteAudioFile(
                      QStringLiteral("filesrc location=%1 ! wavparse ! audioconvert ! %2 ! filesink name=out")
                          .arg(wav, encoder),
                      mp3),
                  QString());
        return mp3;
    }

    static const WaveformPeaks& WaitForRange(GstWaveformSource& source, const QString& path, qint64 startMs,
                                             qint64 endMs) {
        source.LoadRange(path, startMs, endMs);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !source.RangePeaks().Loading(); }, kDeadlineMs));
        return source.RangePeaks();
    }

    static bool WaitUntilDone(const WaveformSource& source) {
        return QTest::qWaitFor([&] { return !source.Peaks().Loading(); }, kDeadlineMs);
    }

    QTemporaryDir dir_;
    QString wav_;
    QString cacheFolder_;
    int mp3s_ = 0;
};

// Every bucket wholly inside the burst (less tolerance) is loud, every bucket wholly outside it quiet.
void ExpectBurstBetween(const WaveformPeaks& peaks, qint64 fromMs, qint64 toMs, qint64 toleranceMs) {
    ASSERT_EQ(peaks.min.size(), peaks.max.size());
    for (std::size_t i = 0; i < peaks.max.size(); ++i) {
        const qint64 begins = peaks.startMs + static_cast<qint64>(i) * peaks.bucketMs;
        const qint64 ends = begins + peaks.bucketMs;
        if (begins >= fromMs + toleranceMs && ends <= toMs - toleranceMs) {
            // A 1 ms bucket holds under half a period of the tone: one of its extremes.
            ASSERT_GT(std::max(peaks.max[i], -peaks.min[i]), 0.45f) << "at " << begins << " ms";
            ASSERT_LE(peaks.min[i], peaks.max[i]) << "at " << begins << " ms";
        } else if (ends <= fromMs - toleranceMs || begins >= toMs + toleranceMs) {
            ASSERT_LT(std::max(peaks.max[i], -peaks.min[i]), 0.01f) << "at " << begins << " ms";
        }
    }
}

TEST_F(GstWaveformSourceTest, TheBurstOfAGeneratedSignalLandsInItsBucketsAndColumns) {
    struct Case {
        const char* name;
        QString path;
        qint64 toleranceMs;
    } const cases[] = {{"wav", wav_, 0}, {"mp3", Mp3(), 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GstWaveformSource source(cacheFolder_);
        int updates = 0;
        source.SetUpdateHandler([&] { ++updates; });
        source.Load(c.path);
        ASSERT_TRUE(WaitUntilDone(source));
        const WaveformPeaks& peaks = source.Peaks();
        ASSERT_TRUE(peaks.complete) << !peaks.problem;
        EXPECT_GE(updates, 1);
        EXPECT_FALSE(peaks.fromCache);
        EXPECT_NEAR(peaks.durationMs, kLengthMs, 2 * c.toleranceMs + 5);
        EXPECT_NEAR(static_cast<double>(peaks.min.size()), kLengthMs / 5.0, (2 * c.toleranceMs + 5) / 5.0);
        ExpectBurstBetween(peaks, kBurstFromMs, kBurstToMs, c.toleranceMs);

        // 50 columns of 100 ms: the burst fills columns 20 to 29 (30 too for the MP3's delay).
        const std::vector<WaveformColumn> columns = WaveformColumns(peaks, 0, kLengthMs, 50);
        for (int column = 0; column < 50; ++column) {
            const bool loud = columns[column].max > 0.45f;
            if (column >= 20 && column < 30) {
                EXPECT_TRUE(loud) << column;
            } else if (column != 30) {
                EXPECT_FALSE(loud) << column;
            }
        }
    }
}

TEST_F(GstWaveformSourceTest, ARangeIsDecodedAtOneMillisecondFromWhereItStarts) {
    GstWaveformSource source(cacheFolder_);
    const WaveformPeaks& range = WaitForRange(source, wav_, 1500, 3500);
    ASSERT_TRUE(range.complete) << !range.problem;
    EXPECT_EQ(range.startMs, 1500);
    EXPECT_EQ(range.bucketMs, 1);
    EXPECT_EQ(range.min.size(), 2000u);
    ExpectBurstBetween(range, kBurstFromMs, kBurstToMs, 0);
    EXPECT_TRUE(source.Peaks().path.isEmpty());  // the whole file was not loaded

    // A window past the end of the audio ends with it.
    EXPECT_TRUE(WaitForRange(source, wav_, 4000, 7000).complete);
    EXPECT_EQ(source.RangePeaks().min.size(), 1000u);
}

// A range of an MP3 is cut from the file at a frame found by walking the headers (or, behind an Xing
// header, reached by an accurate seek); either way its buckets are those of a decode from the start.
TEST_F(GstWaveformSourceTest, AnMp3RangeHasTheBucketsOfADecodeFromTheStart) {
    for (const QString& encoder : {QStringLiteral("lamemp3enc target=bitrate cbr=true bitrate=128"),
                                   QStringLiteral("lamemp3enc target=quality quality=4 ! xingmux")}) {
        SCOPED_TRACE(encoder.toStdString());
        const QString mp3 = Mp3(encoder);
        GstWaveformSource source(cacheFolder_);
        const WaveformPeaks fromStart = WaitForRange(source, mp3, 0, 4000);
        const WaveformPeaks& range = WaitForRange(source, mp3, 1700, 3700);
        ASSERT_TRUE(fromStart.complete);
        ASSERT_TRUE(range.complete);
        ASSERT_EQ(range.min.size(), 2000u);
        ExpectBurstBetween(range, kBurstFromMs, kBurstToMs, 40);
        for (std::size_t i = 0; i < range.min.size(); ++i) {
            ASSERT_NEAR(range.max[i], fromStart.max[1700 + i], 0.01) << "at " << 1700 + i << " ms";
            ASSERT_NEAR(range.min[i], fromStart.min[1700 + i], 0.01) << "at " << 1700 + i << " ms";
        }

        const WaveformPeaks& end = WaitForRange(source, mp3, 4500, 7000);
        EXPECT_TRUE(end.complete);
        EXPECT_NEAR(static_cast<double>(end.min.size()), 500, 80);  // to the end of the audio
        const WaveformPeaks& beyond = WaitForRange(source, mp3, 8000, 9000);
        EXPECT_TRUE(beyond.complete) << !beyond.problem;
        EXPECT_TRUE(beyond.min.empty());
    }
}

TEST_F(GstWaveformSourceTest, ASecondLoadComesFromTheCacheWithTheSamePeaks) {
    const QString mp3 = Mp3();
    GstWaveformSource first(cacheFolder_);
    first.Load(mp3);
    ASSERT_TRUE(WaitUntilDone(first));
    ASSERT_TRUE(first.Peaks().complete);
    ASSERT_FALSE(first.Peaks().fromCache);

    GstWaveformSource second(cacheFolder_);
    second.Load(mp3);
    ASSERT_TRUE(WaitUntilDone(second));
    const WaveformPeaks& cached = second.Peaks();
    ASSERT_TRUE(cached.complete);
    EXPECT_TRUE(cached.fromCache);
    EXPECT_EQ(cached.durationMs, first.Peaks().durationMs);
    ASSERT_EQ(cached.max.size(), first.Peaks().max.size());
    for (std::size_t i = 0; i < cached.max.size(); ++i) {
        ASSERT_NEAR(cached.max[i], first.Peaks().max[i], 1e-4) << i;
        ASSERT_NEAR(cached.min[i], first.Peaks().min[i], 1e-4) << i;
    }
}

TEST_F(GstWaveformSourceTest, ACorruptCacheFileIsIgnoredAndRewritten) {
    const QString cacheFile = WaveformCache(cacheFolder_).FileFor(QFileInfo(wav_).absoluteFilePath());
    for (const QByteArray& corrupt : {QByteArray("OSTWPK01 garbage"), QByteArray()}) {
        ASSERT_TRUE(QDir().mkpath(cacheFolder_));
        QFile file(cacheFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(corrupt);
        file.close();

        GstWaveformSource source(cacheFolder_);
        source.Load(wav_);
        ASSERT_TRUE(WaitUntilDone(source));
        ASSERT_TRUE(source.Peaks().complete);
        EXPECT_FALSE(source.Peaks().fromCache);
        ExpectBurstBetween(source.Peaks(), kBurstFromMs, kBurstToMs, 0);
        source.Load(wav_);
        ASSERT_TRUE(WaitUntilDone(source));
        EXPECT_TRUE(source.Peaks().fromCache);
    }
}

TEST_F(GstWaveformSourceTest, ACacheFolderThatCannotBeMadeOnlyCostsTheCache) {
    QFile blocker(dir_.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    GstWaveformSource source(blocker.fileName() + QStringLiteral("/waveforms"));
    for (int load = 0; load < 2; ++load) {
        source.Load(wav_);
        ASSERT_TRUE(WaitUntilDone(source));
        EXPECT_TRUE(source.Peaks().complete);
        EXPECT_FALSE(source.Peaks().fromCache);
    }
}

TEST_F(GstWaveformSourceTest, WhatCannotBeDecodedGetsAReasonAndNoPeaks) {
    const QString text = dir_.filePath(QStringLiteral("notes.mp3"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(20000, 'x'));
    file.close();
    const QString empty = dir_.filePath(QStringLiteral("empty.mp3"));
    QFile(empty).open(QIODevice::WriteOnly);

    struct Case {
        QString path;
        FailureCode problem;
    } const cases[] = {
        {dir_.filePath(QStringLiteral("missing.mp3")), FailureCode::Missing},
        {dir_.path(), FailureCode::NotAFile},
        {empty, FailureCode::Empty},
        {text, FailureCode::NotAudio},
    };
    GstWaveformSource source(cacheFolder_);
    for (const Case& c : cases) {
        source.Load(c.path);
        ASSERT_TRUE(WaitUntilDone(source)) << c.path.toStdString();
        ASSERT_TRUE(source.Peaks().problem);
        EXPECT_EQ(source.Peaks().problem->code, c.problem);
        EXPECT_FALSE(source.Peaks().complete);
        EXPECT_TRUE(source.Peaks().min.empty());
        source.LoadRange(c.path, 0, 1000);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !source.RangePeaks().Loading(); }, kDeadlineMs));
        ASSERT_TRUE(source.RangePeaks().problem);
        EXPECT_EQ(source.RangePeaks().problem->code, c.problem);
    }
}

TEST_F(GstWaveformSourceTest, ATruncatedMp3GivesThePeaksOfWhatItHolds) {
    const QString mp3 = Mp3();
    QFile file(mp3);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(file.size() / 2 + 101));  // mid-frame, in the burst
    file.close();
    GstWaveformSource source(cacheFolder_);
    source.Load(mp3);
    ASSERT_TRUE(WaitUntilDone(source));
    ASSERT_TRUE(source.Peaks().complete) << !source.Peaks().problem;
    EXPECT_NEAR(source.Peaks().durationMs, kLengthMs / 2, 60);
    ExpectBurstBetween(source.Peaks(), kBurstFromMs, kBurstToMs, 40);
}

TEST_F(GstWaveformSourceTest, AnotherLoadReplacesTheFirstAndDestroyingWhileLoadingIsSafe) {
    const QString longWav = dir_.filePath(QStringLiteral("long.wav"));
    ASSERT_EQ(testing::WriteToneBurstWav(120, 10, 1, longWav), QString());
    GstWaveformSource source(cacheFolder_);
    QStringList updatedPaths;
    source.SetUpdateHandler([&] { updatedPaths << source.Peaks().path; });
    source.Load(longWav);
    source.LoadRange(longWav, 10000, 20000);
    source.Load(wav_);
    ASSERT_TRUE(WaitUntilDone(source));
    EXPECT_TRUE(source.Peaks().complete);
    EXPECT_EQ(source.Peaks().path, wav_);
    EXPECT_TRUE(source.RangePeaks().path.isEmpty());  // the range of the other file stopped too
    EXPECT_FALSE(updatedPaths.contains(longWav));

    source.Cancel();
    EXPECT_TRUE(source.Peaks().path.isEmpty());
    auto abandoned = std::make_unique<GstWaveformSource>(cacheFolder_);
    abandoned->Load(longWav);
    abandoned->LoadRange(longWav, 0, 60000);
    abandoned.reset();
}

}  // namespace
}  // namespace ostrelle
