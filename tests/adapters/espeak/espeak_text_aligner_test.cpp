#include "adapters/espeak/espeak_text_aligner.h"
#include "adapters/espeak/espeak_synthesizer.h"
#include "adapters/gst/audio_file_decoding.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

// 16-bit PCM at 16 kHz, mono.
void WriteWav(const QString& path, const std::vector<float>& samples) {
    QByteArray data;
    for (const float s : samples) {
        const auto v = static_cast<qint16>(std::clamp(s, -1.0f, 1.0f) * 32767);
        data.append(reinterpret_cast<const char*>(&v), 2);
    }
    QByteArray header("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\0\0\0\0\0\0\0\0\x02\0\x10\0data\0\0\0\0",
                      44);
    qToLittleEndian<quint32>(static_cast<quint32>(36 + data.size()), header.data() + 4);
    qToLittleEndian<quint32>(16000, header.data() + 24);
    qToLittleEndian<quint32>(32000, header.data() + 28);
    qToLittleEndian<quint32>(static_cast<quint32>(data.size()), header.data() + 40);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(header + data);
}

TEST(EspeakTextAlignerTest, ALessonFileIsAlignedInTheBackgroundAndAStoppedOneIsNeverHeardFrom) {
    QTemporaryDir dir;
    EspeakSynthesizer synthesizer;
    const QStringList sentences = {QStringLiteral("Good morning, everybody."),
                                   QStringLiteral("Today we read the second lesson.")};
    std::vector<float> lesson(8000, 0.0f);
    for (const QString& sentence : sentences) {
        const std::vector<float> spoken = synthesizer.Speak(sentence, QStringLiteral("en-us")).value();
        lesson.insert(lesson.end(), spoken.begin(), spoken.end());
        lesson.insert(lesson.end(), 8000, 0.0f);
    }
    const QString path = dir.filePath(QString::fromUtf8("第一课 \"lesson\".wav"));
    WriteWav(path, lesson);

    int updates = 0;
    {
        EspeakTextAligner aligner(&DecodeSpeech);
        aligner.SetUpdateHandler([&] { ++updates; });
        aligner.Align(path, sentences, QStringLiteral("en"));
        EXPECT_TRUE(aligner.Running());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !aligner.Running(); }, 30000));
        EXPECT_FALSE(aligner.Problem());
        ASSERT_EQ(aligner.Result().size(), 2u);
        EXPECT_TRUE(aligner.Result()[0] && aligner.Result()[1]);
        EXPECT_NEAR(aligner.Result()[0]->start, 0.5, 0.1);
        EXPECT_GT(updates, 0);

        // One stopped, then another left running as the aligner goes: neither is waited for to the end, and
        // the stopped one's news never replace the next one's.
        aligner.Align(dir.filePath(QStringLiteral("missing.wav")), sentences, QStringLiteral("en"));
        aligner.Cancel();
        EXPECT_FALSE(aligner.Running());
        aligner.Align(path, sentences, QStringLiteral("en"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !aligner.Running(); }, 30000));
        EXPECT_FALSE(aligner.Problem()) << "the missing file's problem is not this one's";
        aligner.Align(path, sentences, QStringLiteral("en"));
    }
}

TEST(EspeakTextAlignerTest, AFileThatIsNotAudioIsAProblem) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("notes.mp3"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("These are my notes, not audio.\n");
    file.close();
    EspeakTextAligner aligner(&DecodeSpeech);
    aligner.Align(path, {QStringLiteral("Hello.")}, QStringLiteral("en"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !aligner.Running(); }, 30000));
    ASSERT_TRUE(aligner.Problem());
    EXPECT_EQ(aligner.Problem()->code, FailureCode::NotAudio);
}

}  // namespace
}  // namespace ostrelle
