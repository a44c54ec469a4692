// text_align: the text aligner on real recorded speech. A lesson strings prompts recorded by one speaker
// (the telephone prompts of Debian's asterisk-core-sounds packages, each with its transcript: US English,
// Mexican Spanish, Canadian French, Italian, Russian) with pauses of known length. Its text is written as
// paragraphs and carries what real texts carry: a title nobody reads, a sentence the speaker skipped, and
// no line for a sentence the speaker added. The truth for a sentence is its prompt's speech, the prompt's
// own leading and trailing silence measured and cut off.
// Each lesson is written to a WAV file and aligned by EspeakTextAligner as the program does it (decode,
// synthesis, warping), timed. A sentence is placed when both its edges lie within 1 s of the truth; wrong
// when it is placed but not spoken, or more than 1 s off. Errors are of the start and end of placed ones.
// Needs the packages scripts/install-bench-deps installs.
#include "adapters/espeak/espeak_text_aligner.h"
#include "adapters/gst/audio_file_decoding.h"
#include "core/analysis/text_language.h"
#include "core/analysis/text_sentences.h"
#include "text/document_reader.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLessonsPerLanguage = 2;
constexpr int kSentencesPerLesson = 24;  // written in the text; one of them is skipped by the speaker
constexpr double kMargin = 0.12;         // of its own silence kept around each prompt's speech
constexpr double kTolerance = 1.0;       // seconds off that make a placed sentence wrong

struct Speaker {
    const char* language;
    const char* folder;
    const char* title;  // the lesson's title line, never spoken
};

const Speaker kSpeakers[] = {
    {"en", "en_US_f_Allison", "Lesson %d"},  {"es", "es_MX_f_Allison", "Leccion %d"},
    {"fr", "fr_CA_f_June", "Leçon %d"},      {"it", "it_IT_m_Carlo", "Lezione %d"},
    {"ru", "ru_RU_f_IvrvoiceRU", "Урок %d"},
};

[[noreturn]] void Fail(const QString& why) {
    std::fprintf(stderr, "text_align: %s\n", qPrintable(why));
    std::exit(1);
}

struct Prompt {
    QString text;
    std::vector<float> samples;  // 8 kHz, as recorded
    int rate = 0;
    double speechFrom = 0;  // seconds into the samples
    double speechTo = 0;
};

// A mono 16-bit PCM WAV file's samples and rate; empty when it is anything else.
std::vector<float> ReadWav(const QString& path, int& rate) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") return {};
    const auto u32 = [&](qsizetype at) {
        std::uint32_t v = 0;
        std::memcpy(&v, bytes.constData() + at, 4);
        return v;
    };
    const auto u16 = [&](qsizetype at) {
        std::uint16_t v = 0;
        std::memcpy(&v, bytes.constData() + at, 2);
        return v;
    };
    bool pcm16Mono = false;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const QByteArray id = bytes.mid(at, 4);
        const qsizetype size = u32(at + 4);
        const qsizetype body = at + 8;
        if (body + size > bytes.size()) return {};
        if (id == "fmt " && size >= 16) {
            pcm16Mono = u16(body) == 1 && u16(body + 2) == 1 && u16(body + 14) == 16;
            rate = static_cast<int>(u32(body + 4));
        } else if (id == "data" && pcm16Mono) {
            std::vector<float> samples(static_cast<std::size_t>(size / 2));
            for (std::size_t i = 0; i < samples.size(); ++i) {
                std::int16_t s = 0;
                std::memcpy(&s, bytes.constData() + body + 2 * static_cast<qsizetype>(i), 2);
                samples[i] = s / 32768.0f;
            }
            return samples;
        }
        at = body + size + (size & 1);
    }
    return {};
}

bool WriteWav(const QString& path, const std::vector<float>& samples, int rate) {
    QByteArray data;
    data.reserve(static_cast<qsizetype>(samples.size()) * 2);
    for (const float s : samples) {
        const auto v = static_cast<std::int16_t>(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f));
        data.append(reinterpret_cast<const char*>(&v), 2);
    }
    QByteArray header;
    const auto put32 = [&](std::uint32_t v) { header.append(reinterpret_cast<const char*>(&v), 4); };
    const auto put16 = [&](std::uint16_t v) { header.append(reinterpret_cast<const char*>(&v), 2); };
    header.append("RIFF");
    put32(static_cast<std::uint32_t>(36 + data.size()));
    header.append("WAVEfmt ");
    put32(16);
    put16(1);
    put16(1);
    put32(static_cast<std::uint32_t>(rate));
    put32(static_cast<std::uint32_t>(rate * 2));
    put16(2);
    put16(16);
    header.append("data");
    put32(static_cast<std::uint32_t>(data.size()));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(header + data) == header.size() + data.size();
}

// The prompt's speech: from the first to the last 10 ms frame within 40 dB of its loudest.
void MeasureSpeech(Prompt& prompt) {
    const std::size_t frame = static_cast<std::size_t>(prompt.rate / 100);
    std::vector<double> levels;
    for (std::size_t at = 0; at + frame <= prompt.samples.size(); at += frame) {
        double sum = 0;
        for (std::size_t i = at; i < at + frame; ++i)
            sum += double(prompt.samples[i]) * prompt.samples[i];
        levels.push_back(10 * std::log10(sum / double(frame) + 1e-12));
    }
    if (levels.empty()) return;
    const double floor = *std::max_element(levels.begin(), levels.end()) - 40;
    const auto first = std::find_if(levels.begin(), levels.end(), [&](double l) { return l >= floor; });
    const auto last = std::find_if(levels.rbegin(), levels.rend(), [&](double l) { return l >= floor; });
    prompt.speechFrom = double(first - levels.begin()) / 100;
    prompt.speechTo = double(levels.rend() - last) / 100;
}

// The speaker's prompts that say one whole sentence of three words or more (not a fragment of one), in a
// shuffled order.
std::vector<Prompt> LoadPrompts(const Speaker& speaker) {
    const QString transcripts = QStringLiteral("/usr/share/doc/asterisk-core-sounds-%1/core-sounds-%1.txt.gz")
                                    .arg(QString::fromUtf8(speaker.language));
    QProcess gunzip;
    gunzip.start(QStringLiteral("gzip"), {QStringLiteral("-dc"), transcripts});
    if (!gunzip.waitForFinished(30000) || gunzip.exitCode() != 0)
        Fail(transcripts + QStringLiteral(" cannot be read: run scripts/install-bench-deps"));
    const QDir sounds(QStringLiteral("/usr/share/asterisk/sounds/") + QString::fromUtf8(speaker.folder));
    std::vector<Prompt> prompts;
    for (const QString& line : QString::fromUtf8(gunzip.readAllStandardOutput()).split(u'\n')) {
        const qsizetype colon = line.indexOf(QStringLiteral(": "));
        if (line.startsWith(u';') || colon <= 0) continue;
        Prompt prompt;
        prompt.text = line.mid(colon + 2).simplified();
        if (prompt.text.contains(u'[') || prompt.text.contains(u'<') || prompt.text.contains(u'(') ||
            prompt.text.count(u' ') < 2 || !QStringLiteral(".?!").contains(prompt.text.back()) ||
            prompt.text.contains(QStringLiteral("..")) || prompt.text.contains(QString::fromUtf8("…")) ||
            !prompt.text.front().isUpper())
            continue;
        const std::vector<ostrelle::TextSentence> split = ostrelle::SplitTextSentences(prompt.text);
        if (split.size() != 1) continue;
        prompt.text = split[0].text;
        prompt.samples = ReadWav(sounds.filePath(line.left(colon) + QStringLiteral(".wav")), prompt.rate);
        if (prompt.samples.empty() || prompt.rate != 8000) continue;
        MeasureSpeech(prompt);
        if (prompt.speechTo - prompt.speechFrom < 0.8) continue;
        prompts.push_back(std::move(prompt));
    }
    std::mt19937 random(20261209);
    std::shuffle(prompts.begin(), prompts.end(), random);
    return prompts;
}

struct Truth {
    QString text;
    bool spoken = false;
    double start = 0;
    double end = 0;
};

struct Lesson {
    QString audioPath;
    QString textPath;
    double seconds = 0;
    std::vector<Truth> sentences;  // in the text's order
};

// Writes the lesson's text in paragraphs of four to six sentences, the title on a line of its own.
void WriteText(const Lesson& lesson, std::mt19937& random) {
    QString text = lesson.sentences[0].text + QStringLiteral("\n\n");
    std::uniform_int_distribution<int> paragraph(4, 6);
    int left = paragraph(random);
    for (std::size_t i = 1; i < lesson.sentences.size(); ++i) {
        text += lesson.sentences[i].text;
        if (--left == 0 || i + 1 == lesson.sentences.size()) {
            text += QStringLiteral("\n\n");
            left = paragraph(random);
        } else {
            text += u' ';
        }
    }
    QFile file(lesson.textPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
        Fail(QStringLiteral("cannot write ") + lesson.textPath);
}

// Writes a lesson of the given prompts: the first is spoken but not written, the one at skip written but
// not spoken; pauses of 0.15 to 0.7 s between, over a faint hiss.
Lesson WriteLesson(const QString& dir, const Speaker& speaker, int number, std::vector<Prompt> prompts,
                   std::mt19937& random) {
    constexpr int kRate = 8000;
    std::uniform_real_distribution<double> pause(0.15, 0.7);
    std::normal_distribution<float> hiss(0, 0.0008f);
    Lesson lesson;
    lesson.sentences.push_back({QString::asprintf(speaker.title, number), false, 0, 0});
    std::vector<float> audio;
    const auto addSilence = [&](double seconds) {
        for (int i = 0; i < int(seconds * kRate); ++i)
            audio.push_back(0);
    };
    const std::size_t added = prompts.size() * 2 / 3;
    const std::size_t skipped = prompts.size() / 3;
    addSilence(pause(random) + 0.5);
    for (std::size_t i = 0; i < prompts.size(); ++i) {
        const Prompt& prompt = prompts[i];
        if (i != added) lesson.sentences.push_back({prompt.text, i != skipped, 0, 0});
        if (i == skipped) continue;
        const double from = std::max(0.0, prompt.speechFrom - kMargin);
        const double to = std::min(double(prompt.samples.size()) / kRate, prompt.speechTo + kMargin);
        const double at = double(audio.size()) / kRate;
        if (i != added) {
            lesson.sentences.back().start = at + prompt.speechFrom - from;
            lesson.sentences.back().end = at + prompt.speechTo - from;
        }
        audio.insert(audio.end(), prompt.samples.begin() + std::ptrdiff_t(from * kRate),
                     prompt.samples.begin() + std::ptrdiff_t(to * kRate));
        addSilence(pause(random));
    }
    addSilence(1.0);
    for (float& s : audio)
        s += hiss(random);
    const QString name = QStringLiteral("%1/%2-%3").arg(dir, QString::fromUtf8(speaker.language)).arg(number);
    lesson.audioPath = name + QStringLiteral(".wav");
    lesson.textPath = name + QStringLiteral(".txt");
    lesson.seconds = double(audio.size()) / kRate;
    if (!WriteWav(lesson.audioPath, audio, kRate)) Fail(QStringLiteral("cannot write ") + lesson.audioPath);
    WriteText(lesson, random);
    return lesson;
}

struct Tally {
    int lessons = 0;
    double audioSeconds = 0;
    double alignSeconds = 0;
    int spoken = 0;
    int placed = 0;
    int wrong = 0;
    std::vector<double> errorsMs;

    void Add(const Tally& other) {
        lessons += other.lessons;
        audioSeconds += other.audioSeconds;
        alignSeconds += other.alignSeconds;
        spoken += other.spoken;
        placed += other.placed;
        wrong += other.wrong;
        errorsMs.insert(errorsMs.end(), other.errorsMs.begin(), other.errorsMs.end());
    }
    double Quantile(double q) const {
        if (errorsMs.empty()) return 0;
        std::vector<double> sorted = errorsMs;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(q * double(sorted.size())))];
    }
    QString Figures() const {
        return QString::asprintf(
            "lessons=%d audio_s=%.0f x_realtime=%.0f placed=%.3f wrong=%d median_ms=%.0f "
            "p95_ms=%.0f",
            lessons, audioSeconds, audioSeconds / std::max(alignSeconds, 1e-9),
            spoken ? double(placed) / spoken : 0.0, wrong, Quantile(0.5), Quantile(0.95));
    }
};

// Aligns the lesson as the program does and scores it against the truth.
Tally Score(const Lesson& lesson, bool verbose) {
    const ostrelle::TextReadResult text = ostrelle::LoadDocumentText(lesson.textPath);
    if (!text.ok()) Fail(lesson.textPath + QStringLiteral(": unreadable"));
    QStringList sentences;
    for (const ostrelle::TextSentence& sentence : ostrelle::SplitTextSentences(text.value()))
        sentences << sentence.text;
    if (static_cast<std::size_t>(sentences.size()) != lesson.sentences.size())
        Fail(sentences.join(u'|') + QStringLiteral("\n") + lesson.textPath +
             QStringLiteral(": split into %1 sentences, not %2")
                 .arg(sentences.size())
                 .arg(lesson.sentences.size()));
    ostrelle::EspeakTextAligner aligner(&ostrelle::DecodeSpeech);
    QEventLoop loop;
    aligner.SetUpdateHandler([&] {
        if (!aligner.Running()) loop.quit();
    });
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    const auto start = Clock::now();
    aligner.Align(lesson.audioPath, sentences, ostrelle::GuessVoice(text.value()));
    loop.exec();
    Tally tally;
    tally.alignSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (aligner.Running() || aligner.Problem())
        Fail(
            lesson.audioPath + QStringLiteral(": ") +
            (aligner.Running() ? QStringLiteral("no result") : ostrelle::FailureMessage(*aligner.Problem())));
    tally.lessons = 1;
    tally.audioSeconds = lesson.seconds;
    for (std::size_t i = 0; i < lesson.sentences.size(); ++i) {
        const Truth& truth = lesson.sentences[i];
        const std::optional<ostrelle::PlacedSentence>& placed = aligner.Result()[i];
        tally.spoken += truth.spoken;
        if (verbose)
            std::fprintf(
                stderr, "%s  %s %.2f-%.2f  placed %s\n", qPrintable(truth.text.left(50)),
                truth.spoken ? "spoken" : "unspoken", truth.start, truth.end,
                placed ? qPrintable(QString::asprintf("%.2f-%.2f", placed->start, placed->end)) : "-");
        if (!placed) continue;
        const double startError = std::abs(placed->start - truth.start);
        const double endError = std::abs(placed->end - truth.end);
        if (!truth.spoken || startError > kTolerance || endError > kTolerance) {
            ++tally.wrong;
            std::fprintf(stderr, "wrong: %s %.2f-%.2f (%s %.2f-%.2f)\n", qPrintable(truth.text),
                         placed->start, placed->end, truth.spoken ? "spoken" : "not spoken", truth.start,
                         truth.end);
            continue;
        }
        ++tally.placed;
        tally.errorsMs.push_back(startError * 1000);
        tally.errorsMs.push_back(endError * 1000);
    }
    return tally;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const bool verbose = application.arguments().contains(QStringLiteral("-v"));  // every sentence
    QTemporaryDir dir;
    if (!dir.isValid()) Fail(QStringLiteral("no temporary folder"));
    Tally all;
    for (const Speaker& speaker : kSpeakers) {
        std::vector<Prompt> prompts = LoadPrompts(speaker);
        const std::size_t perLesson = kSentencesPerLesson + 1;  // the added one is not written
        if (prompts.size() < perLesson * kLessonsPerLanguage)
            Fail(QStringLiteral("too few prompts for ") + QString::fromUtf8(speaker.language));
        std::mt19937 random(static_cast<unsigned>(&speaker - kSpeakers) + 7);
        Tally language;
        for (int number = 1; number <= kLessonsPerLanguage; ++number) {
            const auto first = prompts.begin() + std::ptrdiff_t((number - 1) * perLesson);
            const Lesson lesson =
                WriteLesson(dir.path(), speaker, number, {first, first + std::ptrdiff_t(perLesson)}, random);
            language.Add(Score(lesson, verbose));
        }
        std::printf("%s %s\n", speaker.language, qPrintable(language.Figures()));
        all.Add(language);
    }
    // Not in the figures: a long lesson of every English prompt, aligned with its whole text and with the
    // text of its middle third only (the band of the first warp then spans most of the lesson).
    {
        std::mt19937 random(99);
        const Lesson whole = WriteLesson(dir.path(), kSpeakers[0], 99, LoadPrompts(kSpeakers[0]), random);
        const Tally wholeTally = Score(whole, false);
        Lesson third = whole;
        const std::size_t n = whole.sentences.size();
        third.sentences = {whole.sentences[0]};
        third.sentences.insert(third.sentences.end(), whole.sentences.begin() + std::ptrdiff_t(n / 3),
                               whole.sentences.begin() + std::ptrdiff_t(2 * n / 3));
        third.textPath = dir.path() + QStringLiteral("/third.txt");
        WriteText(third, random);
        const Tally thirdTally = Score(third, verbose);
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf(
            "long audio_s=%.0f x_realtime=%.0f placed=%.3f wrong=%d; its middle third's text: "
            "x_realtime=%.0f "
            "placed=%.3f wrong=%d; peak_rss_mb=%ld\n",
            wholeTally.audioSeconds, wholeTally.audioSeconds / wholeTally.alignSeconds,
            double(wholeTally.placed) / wholeTally.spoken, wholeTally.wrong,
            thirdTally.audioSeconds / thirdTally.alignSeconds, double(thirdTally.placed) / thirdTally.spoken,
            thirdTally.wrong, usage.ru_maxrss / 1024);
    }
    std::printf("text-align %s\n", qPrintable(all.Figures()));
    return 0;
}
