// take_score: how well the take scorer tells a good take from a bad one. Originals are sentences spoken by
// espeak-ng in four languages; each is scored against takes by other voices (another accent or voice
// quality, 20 % faster or slower, time-stretched by sox): the same sentence (good), the next sentence
// (other), and the same sentence with its middle word dropped or replaced by a word of another sentence
// (word). auc_other and auc_word: the chance a good take's content score is over an other's or a word's;
// flag_hit: the share of word takes whose first flag overlaps the changed word in the original, whose
// words espeak-ng times; ms_per_take: the mean time to score a take, with the longest one's printed above.
// Needs espeak-ng and sox.
#include "adapters/espeak/espeak_synthesizer.h"
#include "core/analysis/take_score.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = ostrelle::SpeechSynthesizer::kSampleRate;

struct Language {
    const char* voice;                // the original's
    std::vector<const char*> others;  // the takes'
    std::vector<const char*> sentences;
};

const std::vector<Language>& Languages() {
    static const std::vector<Language> languages = {
        {"en",
         {"en-us+female2", "en-gb-scotland+male3", "en-029+Andrea", "en-gb-x-rp+klatt2"},
         {"The museum opens at nine in the morning every day.",
          "Please leave your heavy bags in the cloakroom downstairs.",
          "My brother bought a new bicycle for his long trip.",
          "We walked along the river until the sun went down.",
          "The teacher asked the children to read the story aloud.",
          "Could you tell me where the nearest train station is?",
          "She has been learning French for almost three years.",
          "The weather was cold, so we stayed inside and played cards."}},
        {"fr",
         {"fr-be+female2", "fr-ch+male3", "fr+Andrea", "fr-be+klatt2"},
         {"Le musée ouvre à neuf heures tous les matins.", "Mon frère a acheté un vélo neuf pour son voyage.",
          "Nous avons marché le long de la rivière jusqu'au soir.",
          "La maîtresse demande aux enfants de lire l'histoire.",
          "Pouvez-vous me dire où se trouve la gare la plus proche?",
          "Elle apprend l'allemand depuis presque trois ans.",
          "Il faisait froid, alors nous sommes restés à la maison.",
          "Le boulanger prépare le pain avant le lever du soleil."}},
        {"de",
         {"de+female2", "de+male3", "de+Andrea", "de+klatt2"},
         {"Das Museum öffnet jeden Tag um neun Uhr morgens.",
          "Mein Bruder hat ein neues Fahrrad für seine Reise gekauft.",
          "Wir sind am Fluss entlang gelaufen, bis die Sonne unterging.",
          "Die Lehrerin bittet die Kinder, die Geschichte laut zu lesen.",
          "Können Sie mir sagen, wo der nächste Bahnhof ist?", "Sie lernt seit fast drei Jahren Französisch.",
          "Es war kalt, also sind wir zu Hause geblieben.",
          "Der Bäcker backt das Brot vor dem Sonnenaufgang."}},
        {"es",
         {"es-419+female2", "es+male3", "es+Andrea", "es-419+klatt2"},
         {"El museo abre a las nueve de la mañana todos los días.",
          "Mi hermano compró una bicicleta nueva para su viaje.",
          "Caminamos junto al río hasta que se puso el sol.",
          "La maestra pide a los niños que lean la historia.",
          "¿Puede decirme dónde está la estación más cercana?",
          "Ella estudia francés desde hace casi tres años.",
          "Hacía frío, así que nos quedamos en casa jugando.",
          "El panadero prepara el pan antes de que salga el sol."}},
    };
    return languages;
}

[[noreturn]] void Fail(const QString& why) {
    std::fprintf(stderr, "take_score: %s\n", qPrintable(why));
    std::exit(1);
}

ostrelle::EspeakSynthesizer::Words Say(ostrelle::EspeakSynthesizer& synthesizer, const QString& text,
                                       const char* voice) {
    ostrelle::Result<ostrelle::EspeakSynthesizer::Words> spoken =
        synthesizer.SpeakWords(text, QString::fromUtf8(voice));
    if (!spoken.ok()) Fail(QString::fromUtf8(voice) + ": " + ostrelle::FailureMessage(spoken.failure()));
    return std::move(spoken.value());
}

// The samples at tempo times the speed, their pitch kept (sox's tempo for speech).
std::vector<float> AtTempo(const std::vector<float>& samples, double tempo, const QString& dir) {
    if (tempo == 1.0) return samples;
    const QString in = dir + "/in.f32", out = dir + "/out.f32";
    QFile file(in);
    if (!file.open(QIODevice::WriteOnly)) Fail("cannot write " + in);
    file.write(reinterpret_cast<const char*>(samples.data()),
               static_cast<qint64>(samples.size() * sizeof(float)));
    file.close();
    const QStringList raw = {"-t", "f32", "-r", QString::number(kRate), "-c", "1"};
    QProcess sox;
    sox.start("sox", raw + QStringList{in} + raw + QStringList{out, "tempo", "-s", QString::number(tempo)});
    if (!sox.waitForFinished(30000) || sox.exitCode() != 0)
        Fail("sox failed: run scripts/install-bench-deps");
    QFile result(out);
    if (!result.open(QIODevice::ReadOnly)) Fail("sox wrote nothing");
    const QByteArray bytes = result.readAll();
    std::vector<float> stretched(static_cast<std::size_t>(bytes.size()) / sizeof(float));
    std::memcpy(stretched.data(), bytes.constData(), stretched.size() * sizeof(float));
    return stretched;
}

// A take as a learner's microphone gives it: quiet before and after, a faint hiss throughout.
std::vector<float> Recorded(const std::vector<float>& speech, unsigned seed) {
    std::vector<float> take(kRate * 3 / 10, 0.0f);
    take.insert(take.end(), speech.begin(), speech.end());
    take.resize(take.size() + kRate / 2, 0.0f);
    unsigned state = seed * 2654435761u + 1;
    for (float& s : take) {
        state = state * 1664525u + 1013904223u;
        s += (static_cast<float>(state >> 8) / 16777216.0f - 0.5f) * 0.002f;
    }
    return take;
}

double Auc(const std::vector<int>& positives, const std::vector<int>& negatives) {
    double wins = 0;
    for (const int p : positives)
        for (const int n : negatives)
            wins += p > n ? 1.0 : p == n ? 0.5 : 0.0;
    return wins / static_cast<double>(std::max<std::size_t>(1, positives.size() * negatives.size()));
}

struct Timed {
    ostrelle::TakeScore score;
    double ms = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const bool verbose = application.arguments().contains("-v");
    QTemporaryDir dir;
    if (!dir.isValid()) Fail("no temporary folder");
    ostrelle::EspeakSynthesizer synthesizer;
    std::vector<int> good, other, word;
    int hits = 0;
    double totalMs = 0, longestSeconds = 0, longestMs = 0;
    int scored = 0;
    const auto score = [&](const std::vector<float>& original, const std::vector<float>& take) {
        const auto start = Clock::now();
        Timed timed{ostrelle::ScoreTake(original, take), 0};
        timed.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        totalMs += timed.ms;
        ++scored;
        const double seconds = static_cast<double>(take.size()) / kRate;
        if (seconds > longestSeconds) longestSeconds = seconds, longestMs = timed.ms;
        if (timed.score.problem) Fail("a clean take was refused");
        return timed;
    };
    const double tempos[] = {0.8, 1.0, 1.2, 0.9};
    unsigned seed = 1;
    for (const Language& language : Languages()) {
        const std::size_t count = language.sentences.size();
        for (std::size_t s = 0; s < count; ++s) {
            const QString text = QString::fromUtf8(language.sentences[s]);
            const ostrelle::EspeakSynthesizer::Words original = Say(synthesizer, text, language.voice);
            const std::vector<float> originalAudio = Recorded(original.samples, seed++);
            const double lead = 0.3;  // Recorded's quiet before the speech
            QStringList words = text.split(' ', Qt::SkipEmptyParts);
            const int changed = static_cast<int>(words.size()) / 2;
            const QStringList otherWords =
                QString::fromUtf8(language.sentences[(s + 3) % count]).split(' ', Qt::SkipEmptyParts);
            QStringList dropped = words, replaced = words;
            dropped.removeAt(changed);
            replaced[changed] = otherWords[otherWords.size() / 2];
            if (replaced[changed] == words[changed]) replaced[changed] = otherWords.front();
            for (std::size_t v = 0; v < language.others.size(); ++v) {
                const char* voice = language.others[v];
                const double tempo = tempos[(s + v) % 4];
                const auto take = [&](const QString& said) {
                    return Recorded(AtTempo(Say(synthesizer, said, voice).samples, tempo, dir.path()),
                                    seed++);
                };
                const Timed same = score(originalAudio, take(text));
                const Timed next =
                    score(originalAudio, take(QString::fromUtf8(language.sentences[(s + 1) % count])));
                good.push_back(same.score.content);
                other.push_back(next.score.content);
                if (verbose)
                    std::fprintf(stderr, "%s %s x%.1f  good %d/%d/%d  other %d/%d/%d\n", language.voice,
                                 voice, tempo, same.score.content, same.score.timing, same.score.intonation,
                                 next.score.content, next.score.timing, next.score.intonation);
                for (const QStringList& changedWords : {dropped, replaced}) {
                    const Timed changedTake = score(originalAudio, take(changedWords.join(' ')));
                    word.push_back(changedTake.score.content);
                    const std::size_t k = static_cast<std::size_t>(changed);
                    const double wordStart = lead + (k < original.starts.size() ? original.starts[k] : 0);
                    const double wordEnd =
                        lead + (k + 1 < original.starts.size()
                                    ? original.starts[k + 1]
                                    : static_cast<double>(original.samples.size()) / kRate);
                    const bool hit = !changedTake.score.flags.empty() &&
                                     changedTake.score.flags.front().start < wordEnd &&
                                     changedTake.score.flags.front().end > wordStart;
                    hits += hit;
                    if (verbose)
                        std::fprintf(
                            stderr, "   word %d%s  flag %s  word %.2f-%.2f\n", changedTake.score.content,
                            hit ? " hit" : "",
                            changedTake.score.flags.empty()
                                ? "-"
                                : qPrintable(QString::asprintf("%.2f-%.2f", changedTake.score.flags[0].start,
                                                               changedTake.score.flags[0].end)),
                            wordStart, wordEnd);
                }
            }
        }
    }
    const auto mean = [](const std::vector<int>& values) {
        double sum = 0;
        for (const int v : values)
            sum += v;
        return values.empty() ? 0.0 : sum / static_cast<double>(values.size());
    };
    std::printf("content means: good %.1f other %.1f word %.1f; longest take %.1f s scored in %.0f ms\n",
                mean(good), mean(other), mean(word), longestSeconds, longestMs);
    std::printf("take-score pairs=%zu auc_other=%.3f auc_word=%.3f flag_hit=%.2f ms_per_take=%.0f\n",
                good.size() + other.size() + word.size(), Auc(good, other), Auc(good, word),
                static_cast<double>(hits) / static_cast<double>(std::max<std::size_t>(1, word.size())),
                totalMs / std::max(1, scored));
    return 0;
}
