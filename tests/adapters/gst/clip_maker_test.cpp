#include "adapters/gst/clip_maker.h"
#include "adapters/gst/audio_file_decoding.h"
#include "support/generated_audio.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace ostrelle {
namespace {

const QString kAudio = QStringLiteral(OSTRELLE_REAL_FIXTURES "/audio/");
constexpr double kPadSeconds = 0.15;
constexpr double kTolerance = 0.03;
// LAME's output starts 1105 samples late and fills its last frame of 1152; without a LAME tag the MP3
// cannot say so, and decoders keep both.
constexpr double kMp3DelaySeconds = 1105.0 / 44100;
constexpr double kMp3FillSeconds = 1152.0 / 44100;

// The clip decoded back, as speech is decoded.
std::vector<float> DecodedBack(const QString& path) {
    std::vector<float> samples;
    const Result<void> decoded = DecodeSpeech(path, [&](const float* piece, std::size_t count) {
        samples.insert(samples.end(), piece, piece + count);
    });
    EXPECT_TRUE(decoded.ok()) << path.toStdString();
    return samples;
}
constexpr double kDecodedRate = 16000;

// Loudness and sample peak as an independent meter (ffmpeg's EBU R128 filter) reads them.
struct Meter {
    double lufs = 0;
    double peakDbfs = 0;
};
std::optional<Meter> Measure(const QString& path) {
    const testing::ToolRun run = testing::RunTool(
        QStringLiteral("ffmpeg"),
        {"-nostdin", "-hide_banner", "-i", path, "-af", "ebur128=peak=sample", "-f", "null", "-"});
    const QString summary = run.err.mid(run.err.lastIndexOf("Summary:"));
    const QRegularExpressionMatch lufs = QRegularExpression(R"(I:\s+(-?[\d.]+) LUFS)").match(summary);
    const QRegularExpressionMatch peak = QRegularExpression(R"(Peak:\s+(-?[\d.]+) dBFS)").match(summary);
    if (run.exitCode != 0 || !lufs.hasMatch() || !peak.hasMatch()) return std::nullopt;
    return Meter{lufs.captured(1).toDouble(), peak.captured(1).toDouble()};
}

// A path as a gst-launch description quotes it.
QString Quoted(QString path) {
    return '"' + path.replace('"', "\\\"") + '"';
}

class ClipMakerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // Silence, then a tone from 2 s to 5 s, then silence to 8 s; a name as lessons have.
        burst_ = dir_.filePath(QString::fromUtf8("第一课 \"它's\".wav"));
        ASSERT_EQ(testing::WriteToneBurstWav(8, 2, 3, burst_), QString());
        tone_ = Out("tone.wav");
        ASSERT_EQ(testing::WriteTone(4.0, 44100, 1, "wavenc", tone_), QString());
    }

    QString Out(const char* name) const { return dir_.filePath(QString::fromUtf8(name)); }

    // Every file in the folder: a failed clip leaves no temporary file behind.
    std::string Files() const {
        return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).join(" | ").toStdString();
    }

    QTemporaryDir dir_;
    QString burst_;
    QString tone_;  // 4 s of 440 Hz
};

TEST_F(ClipMakerTest, AClipHoldsTheSegmentAndItsPaddingInEitherFormat) {
    const QString german = dir_.filePath(QString::fromUtf8("德语 课.mp3"));
    if (!QFile::copy(kAudio + "speech_de-DE_we-are-at-school-x2.mp3", german))
        GTEST_SKIP() << "real fixtures not available";
    const struct {
        QString lesson;
        double from, to;
        ClipFormat format;
        const char* out;
        double delaySeconds, fillSeconds;
    } cases[] = {
        {burst_, 2.0, 5.0, ClipFormat::OggVorbis, "句子 \"一\".ogg", 0, 0},
        {burst_, 2.0, 5.0, ClipFormat::Mp3, "句子 \"一\".mp3", kMp3DelaySeconds, kMp3FillSeconds},
        // An MP3 lesson is decoded from a seek in its middle.
        {german, 3.4, 5.2, ClipFormat::OggVorbis, "句子二.ogg", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        const QString out = Out(c.out);
        const Result<void> made = MakeClip({c.lesson, c.from, c.to, kPadSeconds, out, c.format});
        ASSERT_TRUE(made.ok()) << FailureMessage(made.failure()).toStdString();
        const std::vector<float> clip = DecodedBack(out);
        const double seconds = static_cast<double>(clip.size()) / kDecodedRate;
        const double expected = c.to - c.from + 2 * kPadSeconds + c.delaySeconds;
        EXPECT_GT(seconds, expected - kTolerance);
        EXPECT_LT(seconds, expected + c.fillSeconds + kTolerance);
        if (c.lesson == burst_) {
            // The tone starts where the padding ends.
            const auto onset =
                std::find_if(clip.begin(), clip.end(), [](float s) { return std::abs(s) > 0.02f; });
            EXPECT_NEAR(static_cast<double>(onset - clip.begin()) / kDecodedRate,
                        kPadSeconds + c.delaySeconds, kTolerance);
        }
    }
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), std::ssize(cases) + 3);
}

TEST_F(ClipMakerTest, QuietAndLoudLessonsGiveClipsOfOneLoudnessWithRoomAtThePeaks) {
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty()) GTEST_SKIP() << "ffmpeg is not installed";
    const QString german = kAudio + "speech_de-DE_we-are-at-school-x2.mp3";
    if (!QFile::exists(german)) GTEST_SKIP() << "real fixtures not available";
    // The speech 20 dB down; other speech by another voice at full level; and a high tone, which the ear
    // (and the loudness weighting) hears louder than its level.
    const QString quiet = Out("quiet.wav");
    ASSERT_EQ(testing::WriteAudioFile("filesrc location=" + Quoted(german) +
                                          " ! decodebin ! audioconvert ! "
                                          "volume volume=0.1 ! wavenc ! filesink name=out",
                                      quiet),
              QString());
    const QString high = Out("high.wav");
    ASSERT_EQ(testing::WriteAudioFile("audiotestsrc wave=sine freq=3000 volume=0.05 num-buffers=100 ! "
                                      "audio/x-raw,rate=44100,channels=1 ! wavenc ! filesink name=out",
                                      high),
              QString());
    const struct {
        QString lesson;
        double from, to;
        ClipFormat format;
        const char* out;
        bool peaky;  // its peaks stand so high over its loudness that they, not the target, set the gain
    } cases[] = {
        {quiet, 0.7, 2.5, ClipFormat::OggVorbis, "quiet.ogg", false},
        {quiet, 0.7, 2.5, ClipFormat::Mp3, "quiet.mp3", false},
        {kAudio + "speech_en_textract-standardized-text_leading-zero-bytes.mp3", 0.3, 3.6, ClipFormat::Mp3,
         "loud.mp3", false},
        {burst_, 2.0, 5.0, ClipFormat::OggVorbis, "tone.ogg", false},
        {high, 0.5, 1.5, ClipFormat::OggVorbis, "high.ogg", false},
        {kAudio + "wmav2_44k-mono.wma", 0.5, 3.0, ClipFormat::Mp3, "peaky.mp3", true},
        {kAudio + "wmav2_44k-mono.wma", 0.5, 3.0, ClipFormat::OggVorbis, "peaky.ogg", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        const Result<void> made = MakeClip({c.lesson, c.from, c.to, kPadSeconds, Out(c.out), c.format});
        ASSERT_TRUE(made.ok()) << FailureMessage(made.failure()).toStdString();
        const std::optional<Meter> meter = Measure(Out(c.out));
        ASSERT_TRUE(meter);
        EXPECT_LE(meter->peakDbfs, -1.0);
        if (!c.peaky) {
            EXPECT_NEAR(meter->lufs, -18, 0.75);
        }
    }

    // Near silence is raised by no more than the cap, not up to the others' level.
    const QString hush = Out("hush.wav");
    ASSERT_EQ(testing::WriteAudioFile("filesrc location=" + Quoted(burst_) +
                                          " ! wavparse ! audioconvert ! "
                                          "audio/x-raw,channels=1 ! volume volume=0.003 ! wavenc ! "
                                          "filesink name=out",
                                      hush),
              QString());
    ASSERT_TRUE(MakeClip({hush, 2.0, 5.0, kPadSeconds, Out("hush.ogg")}).ok());
    const std::optional<Meter> before = Measure(hush);
    const std::optional<Meter> after = Measure(Out("hush.ogg"));
    ASSERT_TRUE(before && after);
    EXPECT_NEAR(after->lufs - before->lufs, 24, 1.0);
}

TEST_F(ClipMakerTest, ThePaddingStopsAtTheEndsOfTheFile) {
    const struct {
        double from, to, expected;
    } cases[] = {{0.1, 1.0, 1.15}, {3.0, 3.95, 1.15}, {0.0, 4.0, 4.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        const QString out = Out("clip.ogg");
        ASSERT_TRUE(MakeClip({tone_, c.from, c.to, kPadSeconds, out}).ok());
        EXPECT_NEAR(static_cast<double>(DecodedBack(out).size()) / kDecodedRate, c.expected, kTolerance);
    }
}

TEST_F(ClipMakerTest, AClipCutInTheMiddleOfASoundFadesInAndOut) {
    const QString out = Out("cut.ogg");
    ASSERT_TRUE(MakeClip({tone_, 1.0, 2.0, 0, out}).ok());
    const std::vector<float> clip = DecodedBack(out);
    ASSERT_GT(clip.size(), 1000u);
    // 2 ms hold nearly a whole period of the tone: unfaded, its full height.
    const auto height = [&](std::size_t from) {
        float most = 0;
        for (std::size_t i = from; i < from + 32; ++i)
            most = std::max(most, std::abs(clip[i]));
        return most;
    };
    const float middle = height(clip.size() / 2);
    EXPECT_LT(height(0), 0.35f * middle);
    EXPECT_LT(height(clip.size() - 32), 0.35f * middle);
}

TEST_F(ClipMakerTest, AClipThatCannotBeMadeLeavesTheOldFileAsItWas) {
    const QString text = testing::WriteTestFile(Out("notes.mp3"), "not audio\n");
    const QString corrupt = kAudio + "corrupt_truncated-inside-id3v2-tag_no-audio.mp3";
    const QString old = Out("old.ogg");
    const std::atomic<bool> stopped{true};
    const struct {
        QString lesson;
        double from, to;
        QString out;
        FailureCode problem;
        const std::atomic<bool>* stop = nullptr;
    } cases[] = {
        {Out("gone.mp3"), 1, 2, old, FailureCode::Missing},
        {text, 1, 2, old, FailureCode::NotAudio},
        {corrupt, 1, 2, old, FailureCode::NotAudio},
        {burst_, 3, 2, old, FailureCode::NoSound},
        {burst_, 9, 10, old, FailureCode::NoSound},  // past the file's end
        {burst_, 0, 601, old, FailureCode::TooLarge},
        {burst_, 2, 3, old, FailureCode::CannotWrite, &stopped},
        {burst_, 2, 3, Out("no folder/clip.ogg"), FailureCode::CannotWrite},
        {burst_, 2, 3, Out("folder.ogg"), FailureCode::CannotWrite},  // a folder is in the way
    };
    ASSERT_TRUE(QDir(dir_.path()).mkdir("folder.ogg"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lesson.toStdString() + " to " + c.out.toStdString());
        if (c.lesson == corrupt && !QFile::exists(corrupt)) continue;
        testing::WriteTestFile(old, "old clip");
        const std::string before = Files();
        const Result<void> made = MakeClip({c.lesson, c.from, c.to, kPadSeconds, c.out}, c.stop);
        ASSERT_FALSE(made.ok());
        EXPECT_EQ(made.failure().code, c.problem);
        EXPECT_EQ(Files(), before);
        QFile kept(old);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), "old clip");
    }
    EXPECT_FALSE(QFile::exists(Out("no folder")));
}

}  // namespace
}  // namespace ostrelle
