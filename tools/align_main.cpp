// ostrelle-align AUDIO TEXT [VOICE]: where each sentence of a lesson's text is spoken in its audio.
// Prints "<start>\t<end>\t<sentence>" per sentence of the text, in order, in seconds with three decimals,
// or "-\t-\t<sentence>" for one it cannot place. The text may be TXT, RTF, DOC or DOCX; the voice (an
// espeak-ng voice name) is guessed from the text unless given. Errors go to stderr with exit code 1; a
// wrong call prints the usage with exit code 2.

#include "adapters/espeak/espeak_synthesizer.h"
#include "adapters/gst/audio_file_decoding.h"
#include "core/analysis/text_alignment.h"
#include "core/analysis/text_language.h"
#include "core/analysis/text_sentences.h"
#include "text/document_reader.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

namespace {

ostrelle::SpeechFeatures::Track FeaturesOf(const std::vector<float>& samples) {
    ostrelle::SpeechFeatures features;
    features.Feed(samples.data(), samples.size());
    return features.Taken();
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (arguments.size() < 2 || arguments.size() > 3) {
        err << "usage: ostrelle-align AUDIO TEXT [VOICE]\n";
        return 2;
    }
    const ostrelle::TextReadResult text = ostrelle::LoadDocumentText(arguments[1]);
    if (!text.ok()) {
        err << "ostrelle-align: " << arguments[1] << ": "
            << ostrelle::FailureMessage(text.failure()).replace(u'\n', u' ') << '\n';
        return 1;
    }
    ostrelle::SpeechFeatures lesson;
    const ostrelle::Result<void> audio = ostrelle::DecodeSpeech(
        arguments[0], [&lesson](const float* samples, std::size_t count) { lesson.Feed(samples, count); });
    if (!audio.ok()) {
        err << "ostrelle-align: " << arguments[0] << ": "
            << ostrelle::FailureMessage(audio.failure()).replace(u'\n', u' ') << '\n';
        return 1;
    }
    const std::vector<ostrelle::TextSentence> sentences = ostrelle::SplitTextSentences(text.value());
    const QString voice = arguments.size() == 3 ? arguments[2] : ostrelle::GuessVoice(text.value());
    ostrelle::EspeakSynthesizer synthesizer;
    std::vector<ostrelle::SpeechFeatures::Track> spoken;
    for (const ostrelle::TextSentence& sentence : sentences) {
        if (!ostrelle::Speakable(sentence.text)) {
            spoken.emplace_back();  // a rule of stars or dashes is never placed
            continue;
        }
        const ostrelle::Result<std::vector<float>> samples = synthesizer.Speak(sentence.text, voice);
        if (!samples.ok()) {
            err << "ostrelle-align: " << voice << ": "
                << ostrelle::FailureMessage(samples.failure()).replace(u'\n', u' ') << '\n';
            return 1;
        }
        spoken.push_back(FeaturesOf(samples.value()));
    }
    std::vector<bool> headings;
    for (const ostrelle::TextSentence& sentence : sentences)
        headings.push_back(ostrelle::TextHeading(sentence.text));
    const auto placed = ostrelle::AlignSentences(lesson.Taken(), spoken, headings);
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        if (placed[i])
            out << QString::number(placed[i]->start, 'f', 3) << '\t'
                << QString::number(placed[i]->end, 'f', 3);
        else
            out << "-\t-";
        out << '\t' << sentences[i].text << '\n';
    }
    return 0;
}
