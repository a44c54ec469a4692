// sentence_split: the automatic sentence split on a labelled set built at run time. Each file strings
// sentences spoken by espeak-ng (five languages, several voices and speeds) together with pauses of known
// length; the truth is each sentence's speech, its own leading and trailing silence measured and cut off.
// Each recording comes clean, over hiss, in a reverberant room (sox) and over a music bed.
// Every file is analysed by GstSentenceAnalyzer, as the program does it, and timed. A true sentence is
// found when a detected one overlaps it with an IoU of at least 0.5 (each detected one counts once).
// The baseline, scored in the same run on the same audio, is a plain energy-threshold splitter.
#include "adapters/gst/gst_sentence_analyzer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

using ostrelle::Sentence;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 22050;  // espeak-ng's
constexpr int kSentencesPerFile = 8;

struct Language {
    const char* code;
    std::vector<const char*> voices;
    std::vector<const char*> sentences;
};

const std::vector<Language>& Languages() {
    static const std::vector<Language> languages = {
        {"en",
         {"en-us+m3", "en-gb+f2", "en-us+f4", "en-gb+m1"},
         {"The train to the city leaves at nine in the morning.",
          "My sister likes to read books about old ships.", "Please close the window before you go to bed.",
          "We bought fresh bread and cheese at the market.", "The weather will be cold and windy tomorrow.",
          "He forgot his umbrella at the office again.", "Learning a new language takes time and patience.",
          "The children played in the garden until dark.", "Could you tell me the way to the station?",
          "Our teacher speaks slowly so everybody understands.",
          "When the rain stops, we will walk to the old bridge.",
          "If you are hungry, there is soup in the kitchen."}},
        {"de",
         {"de+f3", "de+m2", "de+f1", "de+m4"},
         {"Der Zug in die Stadt fährt um neun Uhr ab.",
          "Meine Schwester liest gern Bücher über alte Schiffe.",
          "Bitte schließ das Fenster bevor du schlafen gehst.",
          "Wir haben frisches Brot und Käse auf dem Markt gekauft.",
          "Morgen wird das Wetter kalt und windig sein.",
          "Er hat seinen Regenschirm wieder im Büro vergessen.",
          "Eine neue Sprache zu lernen braucht Zeit und Geduld.",
          "Die Kinder spielten im Garten bis es dunkel wurde.", "Können Sie mir den Weg zum Bahnhof zeigen?",
          "Unsere Lehrerin spricht langsam damit alle sie verstehen.",
          "Wenn der Regen aufhört, gehen wir zur alten Brücke.",
          "Wenn du Hunger hast, gibt es Suppe in der Küche."}},
        {"fr",
         {"fr+m2", "fr+f3", "fr+m5", "fr+f1"},
         {"Le train pour la ville part à neuf heures du matin.",
          "Ma sœur aime lire des livres sur les vieux bateaux.", "Ferme la fenêtre avant d'aller au lit.",
          "Nous avons acheté du pain frais et du fromage au marché.",
          "Demain il fera froid et il y aura du vent.", "Il a encore oublié son parapluie au bureau.",
          "Apprendre une nouvelle langue demande du temps et de la patience.",
          "Les enfants ont joué dans le jardin jusqu'à la nuit.",
          "Pouvez-vous m'indiquer le chemin de la gare?",
          "Notre professeur parle lentement pour que tout le monde comprenne.",
          "Quand la pluie s'arrête, nous irons au vieux pont.",
          "Si tu as faim, il y a de la soupe dans la cuisine."}},
        {"es",
         {"es+f2", "es+m3", "es+f4", "es+m1"},
         {"El tren a la ciudad sale a las nueve de la mañana.",
          "A mi hermana le gusta leer libros sobre barcos antiguos.",
          "Por favor cierra la ventana antes de acostarte.", "Compramos pan fresco y queso en el mercado.",
          "Mañana hará frío y mucho viento.", "Él olvidó otra vez su paraguas en la oficina.",
          "Aprender un idioma nuevo requiere tiempo y paciencia.",
          "Los niños jugaron en el jardín hasta que oscureció.", "¿Me puede decir cómo llegar a la estación?",
          "Nuestro profesor habla despacio para que todos entiendan.",
          "Cuando pare la lluvia, caminaremos al puente viejo.", "Si tienes hambre, hay sopa en la cocina."}},
        {"zh",
         {"cmn+m4", "cmn+f2", "cmn+m1", "cmn+f4"},
         {"去城里的火车早上九点出发。", "我姐姐喜欢看关于老船的书。", "睡觉以前请把窗户关上。",
          "我们在市场买了新鲜的面包和奶酪。", "明天的天气会很冷而且有风。", "他又把雨伞忘在办公室了。",
          "学习一门新的语言需要时间和耐心。", "孩子们在花园里一直玩到天黑。", "请问去火车站怎么走？",
          "我们的老师说话很慢大家都听得懂。", "雨停了以后，我们去老桥走走。", "如果你饿了，厨房里有汤。"}},
    };
    return languages;
}

const char* const kVariants[] = {"clean", "hiss", "reverb", "music"};
const int kSpeeds[] = {135, 160, 185, 150};
// Per language: how loud the hiss and the music are against the speech (RMS), and the room of sox's reverb
// (reverberance and room scale, in percent).
const double kHissLevels[] = {0.06, 0.1, 0.08, 0.14, 0.05};
const double kMusicLevels[] = {0.125, 0.18, 0.1, 0.15, 0.2};
const char* const kRooms[][2] = {{"30", "50"}, {"50", "70"}, {"40", "60"}, {"50", "80"}, {"20", "40"}};

[[noreturn]] void Fail(const QString& what) {
    std::fprintf(stderr, "sentence_split: %s\n", what.toUtf8().constData());
    std::exit(1);
}

void Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        Fail(program + QStringLiteral(" failed: ") + QString::fromUtf8(process.readAllStandardError()));
}

const QStringList kRawFloats = {"-t", "raw", "-e", "floating-point", "-b", "32", "-c", "1", "-r", "22050"};

std::vector<float> ReadAudio(const QString& wav, const QString& scratch) {
    Run("sox", QStringList{wav} + kRawFloats + QStringList{scratch});
    QFile file(scratch);
    if (!file.open(QIODevice::ReadOnly)) Fail("cannot read " + scratch);
    const QByteArray bytes = file.readAll();
    std::vector<float> samples(static_cast<std::size_t>(bytes.size()) / sizeof(float));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
    return samples;
}

void WriteWav(const std::vector<float>& samples, const QString& wav, const QString& scratch) {
    QFile file(scratch);
    if (!file.open(QIODevice::WriteOnly) || file.write(reinterpret_cast<const char*>(samples.data()),
                                                       static_cast<qint64>(samples.size() * sizeof(float))) !=
                                                static_cast<qint64>(samples.size() * sizeof(float)))
        Fail("cannot write " + scratch);
    file.close();
    Run("sox", kRawFloats + QStringList{scratch, "-b", "16", wav});
}

// Mean power over 10 ms frames, in dB of full scale.
std::vector<double> FrameLevels(const std::vector<float>& samples, int rate) {
    const int length = rate / 100;
    std::vector<double> levels;
    for (std::size_t at = 0; at + length <= samples.size(); at += length) {
        double sum = 0;
        for (int i = 0; i < length; ++i)
            sum += samples[at + i] * samples[at + i];
        levels.push_back(10 * std::log10(sum / length + 1e-12));
    }
    return levels;
}

// A sentence as espeak-ng says it, from its first sound to its last, and the pauses of a quarter second
// or more inside it (after a comma, at a slow speed): by the split's own rule they part two sentences.
struct Said {
    std::vector<float> samples;
    std::vector<Sentence> pauses;  // seconds from the first sound
};

Said Speak(const char* voice, int speed, const char* text, const QString& dir) {
    const QString wav = dir + "/said.wav";
    Run("espeak-ng", {"-v", voice, "-s", QString::number(speed), "-w", wav, QString::fromUtf8(text)});
    const std::vector<float> said = ReadAudio(wav, dir + "/said.raw");
    constexpr float kSound = 0.004f;  // about -48 dBFS
    auto loud = [&](float s) { return std::abs(s) > kSound; };
    const auto first = std::find_if(said.begin(), said.end(), loud);
    const auto last = std::find_if(said.rbegin(), said.rend(), loud).base();
    if (first >= last) Fail(QStringLiteral("espeak-ng said nothing for ") + QString::fromUtf8(text));
    Said result{std::vector<float>(first, last), {}};
    const std::vector<double> levels = FrameLevels(result.samples, kRate);
    int quiet = 0;
    for (std::size_t i = 0; i <= levels.size(); ++i) {
        if (i < levels.size() && levels[i] < -55) {
            ++quiet;
            continue;
        }
        if (quiet >= 25)
            result.pauses.push_back({static_cast<double>(i - quiet) / 100, static_cast<double>(i) / 100});
        quiet = 0;
    }
    return result;
}

// Soft chords changing every two seconds and a plucked note every quarter second, at the given RMS.
std::vector<float> MusicBed(std::size_t length, double rms) {
    const double chords[4][3] = {
        {220.0, 261.6, 329.6}, {174.6, 220.0, 261.6}, {196.0, 246.9, 293.7}, {164.8, 207.7, 246.9}};
    std::vector<double> music(length);
    double power = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const auto bar = static_cast<std::size_t>(t / 2) % 4;
        const double inBar = std::fmod(t, 2.0);
        const double swell = std::min({1.0, inBar / 0.2, (2.0 - inBar) / 0.2});
        double pad = 0;
        for (double f : chords[bar])
            pad += std::sin(2 * std::numbers::pi * f * t);
        const double inNote = std::fmod(t, 0.25);
        const double pluck =
            std::exp(-inNote * 14) *
            std::sin(2 * std::numbers::pi * chords[bar][static_cast<int>(t * 4) % 3] * 2 * t);
        music[i] = 0.5 * swell * pad + 0.8 * pluck;
        power += music[i] * music[i];
    }
    const double scale = rms / std::sqrt(power / static_cast<double>(length));
    std::vector<float> out(length);
    for (std::size_t i = 0; i < length; ++i)
        out[i] = static_cast<float>(music[i] * scale);
    return out;
}

struct LabelledFile {
    QString path;
    QString variant;
    double seconds = 0;
    std::vector<Sentence> truth;
    std::vector<float> samples;  // as written, for the baseline
};

std::vector<LabelledFile> BuildSet(const QString& dir, int& innerPauses) {
    std::mt19937 random(20261208);
    auto uniform = [&](double low, double high) {
        return std::uniform_real_distribution<>(low, high)(random);
    };
    std::vector<LabelledFile> files;
    int index = 0;
    int l = -1;
    for (const Language& language : Languages()) {
        ++l;
        for (int v = 0; v < 4; ++v, ++index) {
            LabelledFile file;
            file.variant = kVariants[v];
            file.path = QStringLiteral("%1/%2-%3.wav").arg(dir, language.code, file.variant);
            const char* voice = language.voices[static_cast<std::size_t>(v)];
            const int speed = kSpeeds[(index + v) % 4];
            std::vector<float> signal(static_cast<std::size_t>(uniform(0.5, 1.2) * kRate), 0.0f);
            double speechPower = 0;
            std::size_t speechSamples = 0;
            for (int s = 0; s < kSentencesPerFile; ++s) {
                const char* text =
                    language.sentences[(static_cast<std::size_t>(s + 3 * v)) % language.sentences.size()];
                Said said = Speak(voice, speed, text, dir);
                std::vector<float>& speech = said.samples;
                // Sentences are not all equally loud: up to 12 dB apart.
                const auto gain = static_cast<float>(std::pow(10.0, uniform(-12, 0) / 20));
                for (float& x : speech)
                    x *= gain;
                double start = static_cast<double>(signal.size()) / kRate;
                for (const Sentence& pause : said.pauses) {
                    file.truth.push_back({start, static_cast<double>(signal.size()) / kRate + pause.start});
                    start = static_cast<double>(signal.size()) / kRate + pause.end;
                    ++innerPauses;
                }
                signal.insert(signal.end(), speech.begin(), speech.end());
                file.truth.push_back({start, static_cast<double>(signal.size()) / kRate});
                for (float x : speech)
                    speechPower += x * x;
                speechSamples += speech.size();
                const double pause = s + 1 < kSentencesPerFile ? uniform(0.3, 1.3) : uniform(0.8, 1.5);
                signal.resize(signal.size() + static_cast<std::size_t>(pause * kRate), 0.0f);
            }
            const double speechRms = std::sqrt(speechPower / static_cast<double>(speechSamples));
            if (file.variant == "hiss") {
                // 17 to 26 dB under the speech: a cheap recorder in a quiet room.
                std::normal_distribution<float> noise(0, static_cast<float>(speechRms * kHissLevels[l]));
                // Its level drifts by 3 dB either way, as a recorder's gain control breathes.
                for (std::size_t i = 0; i < signal.size(); ++i)
                    signal[i] +=
                        noise(random) *
                        static_cast<float>(1 + 0.4 * std::sin(2 * std::numbers::pi * static_cast<double>(i) /
                                                              (11.0 * kRate)));
            } else if (file.variant == "music") {
                // 14 to 20 dB under the speech, as lessons put a tune under the voice.
                const std::vector<float> music = MusicBed(signal.size(), speechRms * kMusicLevels[l]);
                for (std::size_t i = 0; i < signal.size(); ++i)
                    signal[i] += music[i];
            }
            if (file.variant == "reverb") {
                const QString dry = QStringLiteral("%1/%2-dry.wav").arg(dir, language.code);
                WriteWav(signal, dry, dir + "/scratch.raw");
                Run("sox", {dry, file.path, "gain", "-3", "reverb", kRooms[l][0], "50", kRooms[l][1]});
                file.samples = ReadAudio(file.path, dir + "/scratch.raw");
            } else {
                WriteWav(signal, file.path, dir + "/scratch.raw");
                file.samples = std::move(signal);
            }
            file.seconds = static_cast<double>(file.samples.size()) / kRate;
            files.push_back(std::move(file));
        }
    }
    return files;
}

// Speech wherever a frame is louder than halfway (in dB) between the file's quiet tenth and its loud tenth;
// pauses of 250 ms or more part sentences.
std::vector<Sentence> BaselineSplit(const std::vector<float>& samples) {
    const std::vector<double> levels = FrameLevels(samples, kRate);
    std::vector<double> sorted = levels;
    std::sort(sorted.begin(), sorted.end());
    const double threshold = (sorted[sorted.size() / 10] + sorted[sorted.size() * 9 / 10]) / 2;
    std::vector<Sentence> found;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        if (levels[i] < threshold) continue;
        const double at = static_cast<double>(i) / 100;
        if (!found.empty() && at - found.back().end < 0.25)
            found.back().end = at + 0.01;
        else
            found.push_back({at, at + 0.01});
    }
    std::erase_if(found, [](const Sentence& s) { return s.end - s.start < 0.1; });
    return found;
}

struct Score {
    int truths = 0;
    int detected = 0;
    int matched = 0;
    std::vector<double> boundaryMs;
    std::vector<double> startMs;  // signed: detected less true
    std::vector<double> endMs;

    void Add(const std::vector<Sentence>& truth, const std::vector<Sentence>& found) {
        truths += static_cast<int>(truth.size());
        detected += static_cast<int>(found.size());
        std::vector<bool> used(found.size(), false);
        for (const Sentence& t : truth) {
            std::size_t best = found.size();
            double bestIou = 0.5;
            for (std::size_t k = 0; k < found.size(); ++k) {
                const double overlap = std::min(t.end, found[k].end) - std::max(t.start, found[k].start);
                const double iou =
                    overlap / (std::max(t.end, found[k].end) - std::min(t.start, found[k].start));
                if (!used[k] && iou >= bestIou) {
                    best = k;
                    bestIou = iou;
                }
            }
            if (best == found.size()) continue;
            used[best] = true;
            ++matched;
            boundaryMs.push_back(std::abs(found[best].start - t.start) * 1000);
            boundaryMs.push_back(std::abs(found[best].end - t.end) * 1000);
            startMs.push_back((found[best].start - t.start) * 1000);
            endMs.push_back((found[best].end - t.end) * 1000);
        }
    }
    double Recall() const { return truths ? static_cast<double>(matched) / truths : 0; }
    double Precision() const { return detected ? static_cast<double>(matched) / detected : 0; }
    double P95() const {
        if (boundaryMs.empty()) return 0;
        std::vector<double> sorted = boundaryMs;
        std::sort(sorted.begin(), sorted.end());
        return sorted[static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(sorted.size()))) - 1];
    }
    // The 5th, 50th and 95th percentile of signed errors: where a boundary tends to land.
    static std::string Spread(std::vector<double> values) {
        if (values.empty()) return "-";
        std::sort(values.begin(), values.end());
        auto at = [&](double p) {
            return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
        };
        char text[64];
        std::snprintf(text, sizeof text, "%.0f/%.0f/%.0f", at(0.05), at(0.5), at(0.95));
        return text;
    }
    std::string Text() const {
        char line[160];
        std::snprintf(line, sizeof line, "recall=%.3f precision=%.3f boundary_p95_ms=%.0f", Recall(),
                      Precision(), P95());
        return line;
    }
};

// The analyser's sentences for the file and the wall-clock seconds they took.
std::vector<Sentence> Analyze(const QString& path, double& seconds) {
    ostrelle::GstSentenceAnalyzer analyzer;
    QEventLoop loop;
    analyzer.SetUpdateHandler([&] {
        if (!analyzer.Running()) loop.quit();
    });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    const auto start = Clock::now();
    analyzer.Analyze(path, 0);
    loop.exec();
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
    if (analyzer.Running() || analyzer.Problem())
        Fail(path + QStringLiteral(": ") +
             (analyzer.Running() ? QStringLiteral("no result")
                                 : ostrelle::FailureMessage(*analyzer.Problem())));
    return analyzer.Result();
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) Fail("no temporary folder");
    int innerPauses = 0;
    const std::vector<LabelledFile> files = BuildSet(dir.path(), innerPauses);
    if (innerPauses > 0)
        std::fprintf(stderr, "note: %d inner pauses of 250 ms or more part sentences\n", innerPauses);

    Score ours;
    Score baseline;
    std::map<QString, Score> byVariant;
    double audioSeconds = 0;
    double analysisSeconds = 0;
    for (const LabelledFile& file : files) {
        const std::vector<Sentence> found = Analyze(file.path, analysisSeconds);
        audioSeconds += file.seconds;
        ours.Add(file.truth, found);
        byVariant[file.variant].Add(file.truth, found);
        baseline.Add(file.truth, BaselineSplit(file.samples));
        if (argc > 1) {  // any argument: each file's misses, for tuning
            Score one;
            one.Add(file.truth, found);
            if (file.path.contains(QString::fromUtf8(argv[1]))) {
                std::printf("  truth");
                for (const Sentence& t : file.truth)
                    std::printf(" %.2f-%.2f", t.start, t.end);
                std::printf("\n  found");
                for (const Sentence& t : found)
                    std::printf(" %.2f-%.2f", t.start, t.end);
                std::printf("\n");
            }
            std::printf("%s %s found=%zu truth=%zu\n", qPrintable(file.path.section('/', -1)),
                        one.Text().c_str(), found.size(), file.truth.size());
        }
    }
    for (const auto& [variant, score] : byVariant)
        std::printf("variant %s %s start_ms=%s end_ms=%s\n", qPrintable(variant), score.Text().c_str(),
                    Score::Spread(score.startMs).c_str(), Score::Spread(score.endMs).c_str());
    std::printf("baseline energy-threshold %s\n", baseline.Text().c_str());
    std::printf("sentence-split files=%zu audio_s=%.1f x_realtime=%.0f %s\n", files.size(), audioSeconds,
                audioSeconds / analysisSeconds, ours.Text().c_str());
    return 0;
}
