#include "adapters/gst/gst_duration_probe.h"

#include "adapters/gst/mp3_frame_scanner.h"
#include "support/generated_audio.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <optional>
#include <random>
#include <span>

namespace ostrelle {
namespace {

constexpr double kSecondsRounding = 0.001;

std::optional<Mp3FrameCount> CountFramesOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.readAll();
    return CountMp3Frames(
        {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())});
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Files written by GStreamer at test time: a tone of a known number of samples through an encoder.
struct GeneratedKind {
    const char* name;
    int rate;
    int channels;
    const char* encoder;
    const char* suffix;
    // Samples the file may hold beyond the tone: encoders pad to whole frames, and LAME puts its
    // 576-sample delay in front.
    int extraSamplesAtMost;
    // For MP3: whether the first frame is an Xing/Info header.
    std::optional<bool> infoHeader;
};

class GeneratedAudioTest : public ::testing::TestWithParam<GeneratedKind> {
protected:
    QTemporaryDir dir_;
};

TEST_P(GeneratedAudioTest, MeasuresTheToneWithinWhatTheEncoderAdds) {
    const GeneratedKind& kind = GetParam();
    constexpr double kToneSeconds = 3.0;
    const QString path = dir_.filePath(QStringLiteral("tone.") + kind.suffix);
    ASSERT_EQ(testing::WriteTone(kToneSeconds, kind.rate, kind.channels, kind.encoder, path), QString());

    const ProbeResult result = GstDurationProbe().Probe(path);
    ASSERT_TRUE(result.ok()) << result.failure().detail.toStdString();
    EXPECT_GE(result.value(), kToneSeconds - kSecondsRounding);
    EXPECT_LE(result.value(), kToneSeconds + static_cast<double>(kind.extraSamplesAtMost) / kind.rate);

    if (kind.infoHeader) {
        const std::optional<Mp3FrameCount> frames = CountFramesOf(path);
        ASSERT_TRUE(frames);
        EXPECT_EQ(frames->headerFrames.has_value(), *kind.infoHeader);
        // The header's count agrees with the walk; xingmux counts its own header frame, LAME does not.
        if (frames->headerFrames) {
            EXPECT_EQ(*frames->headerFrames, frames->audioFrames + 1);
        }
    }
}

// The shared tone description puts caps (rate, channels) before the encoder.
INSTANTIATE_TEST_SUITE_P(
    Formats, GeneratedAudioTest,
    ::testing::Values(
        // LAME: 576 samples of delay plus the last frame filled: at most 1152 + one frame.
        GeneratedKind{"Mp3ConstantBitRateWithoutXing", 44100, 2,
                      "lamemp3enc target=bitrate cbr=true bitrate=128", "mp3", 1152 + 1152, false},
        GeneratedKind{"Mp3VariableBitRateWithoutXing", 44100, 2, "lamemp3enc target=quality quality=4", "mp3",
                      1152 + 1152, false},
        GeneratedKind{"Mp3WithXing", 44100, 2, "lamemp3enc target=quality quality=4 ! xingmux", "mp3",
                      1152 + 1152, true},
        GeneratedKind{"Mp3WithId3v2Tag", 44100, 2,
                      "taginject tags=\"title=Probe,artist=Ostrelle\" ! lamemp3enc ! id3v2mux", "mp3",
                      1152 + 1152, false},
        GeneratedKind{"Mp3WithApeTagAtTheEnd", 44100, 2,
                      "taginject tags=\"title=Probe,artist=Ostrelle\" ! lamemp3enc ! apev2mux", "mp3",
                      1152 + 1152, false},
        GeneratedKind{"Mpeg2Layer3At22k", 22050, 1, "lamemp3enc", "mp3", 1152 + 576, false},
        GeneratedKind{"Mpeg25Layer3At11k", 11025, 1, "lamemp3enc", "mp3", 1152 + 576, false},
        // Layer II: the last frame filled.
        GeneratedKind{"Mp2Layer2", 44100, 2, "avenc_mp2", "mp2", 1152, false},
        // The length in the ASF header is rounded to whole 2048-sample WMA frames.
        GeneratedKind{"WmaStereo", 44100, 2, "audioconvert ! avenc_wmav2 ! avmux_asf", "wma", 2048,
                      std::nullopt},
        GeneratedKind{"Wav", 44100, 2, "wavenc", "wav", 44, std::nullopt},
        GeneratedKind{"OggVorbis", 44100, 2, "audioconvert ! vorbisenc ! oggmux", "ogg", 44, std::nullopt},
        GeneratedKind{"Flac", 44100, 2, "audioconvert ! flacenc", "flac", 44, std::nullopt}),
    [](const ::testing::TestParamInfo<GeneratedKind>& kind) { return kind.param.name; });

TEST(GstDurationProbeTest, ATruncatedMp3IsAsLongAsTheFramesItStillHolds) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.mp3"));
    ASSERT_EQ(
        testing::WriteTone(20.0, 44100, 2,
                           QStringLiteral("lamemp3enc target=bitrate cbr=true bitrate=128 ! xingmux"), path),
        QString());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(8192));
    file.close();

    const std::optional<double> seconds = GstDurationProbe().ProbeSeconds(path);
    ASSERT_TRUE(seconds);
    // xingmux's header frame takes 156 bytes; 128 kbit/s frames of 417 or 418 bytes follow, of which 19
    // fit whole in 8 KB. The header claims the full 20 s.
    EXPECT_NEAR(*seconds, 19 * 1152.0 / 44100, kSecondsRounding);
}

// Sparse files: the size is set, the disk holds only the bytes written.
TEST(GstDurationProbeTest, AnMp3LargerThanTheScanBoundGetsNoLengthRatherThanThatOfItsStart) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("audiobook.mp3"));
    ASSERT_EQ(testing::WriteTone(3.0, 44100, 2, QStringLiteral("lamemp3enc"), path), QString());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(static_cast<qint64>(GstDurationProbe::kMaxScannedBytes) + 1));
    file.close();

    const ProbeResult result = GstDurationProbe().Probe(path);
    ASSERT_FALSE(result.ok()) << result.value();
    EXPECT_EQ(result.failure().code, FailureCode::TooLarge);
    EXPECT_TRUE(result.failure().detail.contains(QStringLiteral("512 MiB")))
        << result.failure().detail.toStdString();
}

TEST(GstDurationProbeTest, AWavLargerThanTheScanBoundIsMeasuredFromItsHeader) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lecture.wav"));
    constexpr quint32 kRate = 44100;
    constexpr quint32 kBytesPerSecond = kRate * 2 * 2;
    constexpr quint32 kSeconds = 3600;  // 605 MiB of 16-bit stereo
    constexpr quint32 kDataBytes = kSeconds * kBytesPerSecond;
    static_assert(kDataBytes > GstDurationProbe::kMaxScannedBytes);
    QByteArray header;
    const auto le32 = [&header](quint32 value) {
        for (int shift = 0; shift < 32; shift += 8)
            header.append(static_cast<char>((value >> shift) & 0xFF));
    };
    const auto le16 = [&header](quint16 value) {
        header.append(static_cast<char>(value & 0xFF)).append(static_cast<char>(value >> 8));
    };
    header.append("RIFF");
    le32(36 + kDataBytes);
    header.append("WAVEfmt ");
    le32(16);
    le16(1);  // PCM
    le16(2);
    le32(kRate);
    le32(kBytesPerSecond);
    le16(4);
    le16(16);
    header.append("data");
    le32(kDataBytes);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(header), header.size());
    ASSERT_TRUE(file.resize(header.size() + static_cast<qint64>(kDataBytes)));
    file.close();

    const ProbeResult result = GstDurationProbe().Probe(path);
    ASSERT_TRUE(result.ok()) << result.failure().detail.toStdString();
    EXPECT_NEAR(result.value(), kSeconds, kSecondsRounding);
}

// Facts from fixtures/real/PROVENANCE.md: MP3 frame counts (header frame excluded) and WMA header lengths.
struct RealFile {
    const char* name;
    const char* file;
    double seconds;
};

class RealAudioTest : public ::testing::TestWithParam<RealFile> {};

TEST_P(RealAudioTest, MeasuresTheFramesOrTheHeaderLength) {
#ifndef OSTRELLE_REAL_FIXTURES
    GTEST_SKIP() << "no real fixtures";
#else
    const QString path = QStringLiteral(OSTRELLE_REAL_FIXTURES "/audio/") + GetParam().file;
    if (!QFile::exists(path)) GTEST_SKIP() << "missing " << path.toStdString();
    const ProbeResult result = GstDurationProbe().Probe(path);
    ASSERT_TRUE(result.ok()) << result.failure().detail.toStdString();
    EXPECT_NEAR(result.value(), GetParam().seconds, kSecondsRounding);
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, RealAudioTest,
    ::testing::Values(
        RealFile{"Mp3Cbr192kWithInfoHeader", "speech_en-US_little-bottle-of-water.mp3", 46 * 1152.0 / 44100},
        RealFile{"Mp3Mono32kWithInfoHeader", "speech_de-DE_we-are-at-school-x2.mp3", 177 * 1152.0 / 32000},
        // 417 zero bytes before the first frame, no header frame.
        RealFile{"Mp3AfterLeadingZeroBytes", "speech_en_textract-standardized-text_leading-zero-bytes.mp3",
                 152 * 1152.0 / 44100},
        // Bit rate estimates say ~33.2 s.
        RealFile{"Mp3VbrWithoutXing", "vbr_no-xing-header_32k-mono_30s.mp3", 890 * 1152.0 / 32000},
        RealFile{"Mpeg25At8kWithXing", "mpeg25_8k-stereo_xing-header.mp3", 128 * 576.0 / 8000},
        RealFile{"Mpeg1At48kMonoWithXing", "mpeg1_48k-mono_xing-header.mp3", 378 * 1152.0 / 48000},
        // The header claims 1887 s; 17 whole frames follow it, the 18th is cut (not played).
        RealFile{"TruncatedMp3WhoseXingClaims1887s", "corrupt_truncated_xing-claims-1887s.mp3",
                 17 * 1152.0 / 44100},
        RealFile{"WmaMono44k", "wmav2_44k-mono.wma", 3.299},
        RealFile{"WmaStereo48k", "wmav2_48k-stereo_silence.wma", 3.712}),
    [](const ::testing::TestParamInfo<RealFile>& real) { return real.param.name; });

class UnreadableFileTest : public ::testing::Test {
protected:
    void ExpectNothing(const QString& path, FailureCode error) {
        const ProbeResult result = probe_.Probe(path);
        ASSERT_FALSE(result.ok()) << result.value();
        EXPECT_EQ(result.failure().code, error);
        EXPECT_FALSE(result.failure().detail.isEmpty());
        EXPECT_FALSE(probe_.ProbeSeconds(path));
    }

    QTemporaryDir dir_;
    GstDurationProbe probe_;
};

TEST_F(UnreadableFileTest, AMissingFileIsNotFound) {
    ExpectNothing(dir_.filePath(QStringLiteral("gone.mp3")), FailureCode::Missing);
}

TEST_F(UnreadableFileTest, AFolderIsNotAFile) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("album.mp3")));
    ExpectNothing(dir_.filePath(QStringLiteral("album.mp3")), FailureCode::NotAFile);
}

TEST_F(UnreadableFileTest, APipeIsRefusedWithoutWaitingForAWriter) {
    const QString path = dir_.filePath(QStringLiteral("pipe.mp3"));
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    QElapsedTimer timer;
    timer.start();
    ExpectNothing(path, FailureCode::NotAFile);
    EXPECT_LT(timer.elapsed(), 1000);
}

TEST_F(UnreadableFileTest, AnEmptyFileIsEmpty) {
    const QString path = dir_.filePath(QStringLiteral("empty.mp3"));
    ASSERT_TRUE(WriteBytes(path, {}));
    ExpectNothing(path, FailureCode::Empty);
}

TEST_F(UnreadableFileTest, ATextFileNamedMp3IsNotAudio) {
    const QString path = dir_.filePath(QStringLiteral("notes.mp3"));
    ASSERT_TRUE(WriteBytes(path, QByteArray("Lesson 4: at school.\nWir sind in der Schule.\n").repeated(50)));
    ExpectNothing(path, FailureCode::NotAudio);
}

TEST_F(UnreadableFileTest, RandomBytesAreNotAudio) {
    std::mt19937 random(7);
    QByteArray bytes(64 * 1024, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random() & 0xFF);
    const QString path = dir_.filePath(QStringLiteral("noise.mp3"));
    ASSERT_TRUE(WriteBytes(path, bytes));
    ExpectNothing(path, FailureCode::NotAudio);
}

TEST_F(UnreadableFileTest, AFileCutInsideItsTagIsNotAudio) {
#ifndef OSTRELLE_REAL_FIXTURES
    GTEST_SKIP() << "no real fixtures";
#else
    const QString path =
        QStringLiteral(OSTRELLE_REAL_FIXTURES "/audio/corrupt_truncated-inside-id3v2-tag_no-audio.mp3");
    if (!QFile::exists(path)) GTEST_SKIP() << "missing " << path.toStdString();
    ExpectNothing(path, FailureCode::NotAudio);
#endif
}

}  // namespace
}  // namespace ostrelle
